// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/block_former.h"

#include <algorithm>

namespace kv770::link {

std::optional<BlockFormer::Clock::time_point> BlockFormer::Deadline(const Timeouts& t) const {
  using std::chrono::milliseconds;
  std::optional<Clock::time_point> deadline;
  if (count_ > 0 && t.interval != 0) deadline = lastByte_ + milliseconds(t.interval);
  if (t.totalMultiplier != 0 || t.totalConstant != 0) {
    const Clock::time_point end =
        start_ + milliseconds(std::uint64_t{t.totalMultiplier} * capacity_ + t.totalConstant);
    deadline = deadline ? std::min(*deadline, end) : end;
  }
  return deadline;
}

bool BlockFormer::Arrived(std::size_t n, Clock::time_point now, const Timeouts& t) {
  count_ += n;
  lastByte_ = now;
  const bool total = t.totalMultiplier != 0 || t.totalConstant != 0;
  return count_ >= capacity_ || (t.interval == kNoWait && !total);
}

std::size_t BlockFormer::Take(Clock::time_point now) {
  const std::size_t count = count_;
  count_ = 0;
  start_ = now;
  return count;
}

}  // namespace kv770::link
