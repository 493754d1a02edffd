// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/waits.h"

namespace kv770::link {

// How the serial reader cuts what arrives into blocks, apart from the
// reading itself so that it can be checked on a clock of the test's own.
// A block ends when the buffer is full, after the read interval of silence
// that follows a byte, or when the read's total time (multiplier per buffer
// byte plus constant, counted from the read's start) is up. An interval of
// all ones with no total hands over whatever one read gets. A total time
// with nothing received starts the next read: the reader never ends on
// silence.
class BlockFormer {
 public:
  using Clock = std::chrono::steady_clock;
  struct Timeouts {
    std::uint32_t interval = waits::kBlockSilenceMs;  // ms
    std::uint32_t totalMultiplier = 0;
    std::uint32_t totalConstant = 0;
  };
  static constexpr std::uint32_t kNoWait = 0xFFFFFFFFu;

  BlockFormer(std::size_t capacity, Clock::time_point now) : capacity_(capacity), start_(now) {}

  // Bytes of the block under way.
  std::size_t Count() const { return count_; }
  std::size_t Room() const { return capacity_ - count_; }

  // When the block under way ends unless more comes; none: wait for bytes.
  std::optional<Clock::time_point> Deadline(const Timeouts& t) const;
  // `n` bytes arrived at `now`; true when they end the block (take it with
  // Take()).
  bool Arrived(std::size_t n, Clock::time_point now, const Timeouts& t);
  // The block ends (full, or its deadline passed): how many bytes it holds,
  // none when a read's total time passed empty. The next read starts at
  // `now`.
  std::size_t Take(Clock::time_point now);

 private:
  std::size_t capacity_;
  std::size_t count_ = 0;
  Clock::time_point start_;
  Clock::time_point lastByte_{};
};

}  // namespace kv770::link
