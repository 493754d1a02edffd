// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/line_noise.h"

#include <cstdint>
#include <vector>

namespace kv770::sim {

namespace {

constexpr int kFrameBits = 10;  // start, eight data bits, stop

// The line as the sender drives it: one level per bit time.
std::vector<bool> LineLevels(std::string_view bytes) {
  std::vector<bool> levels;
  levels.reserve(bytes.size() * kFrameBits);
  for (char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    levels.push_back(false);
    for (int bit = 0; bit < 8; ++bit) levels.push_back((b >> bit) & 1);
    levels.push_back(true);
  }
  return levels;
}

}  // namespace

std::string Resample(std::string_view bytes, int sentBaud, int readBaud) {
  if (sentBaud <= 0 || readBaud <= 0) return {};
  const std::vector<bool> levels = LineLevels(bytes);
  const auto count = static_cast<std::int64_t>(levels.size());
  // Time in units of 1 / (2 * sentBaud * readBaud) s, so that a sent bit
  // (2 * readBaud units) and half a received bit (sentBaud units) are both
  // whole numbers.
  const std::int64_t sentBit = 2LL * readBaud;
  const std::int64_t halfReadBit = sentBaud;
  const auto levelAt = [&](std::int64_t t) {
    const std::int64_t k = t / sentBit;
    return k >= count || levels[static_cast<std::size_t>(k)];
  };
  // The first falling edge at or after `from`: a 0 bit after a 1 bit (or
  // after the idle line before the first); -1 when there is none.
  const auto fallingEdge = [&](std::int64_t from) -> std::int64_t {
    for (std::int64_t k = (from + sentBit - 1) / sentBit; k < count; ++k) {
      const auto i = static_cast<std::size_t>(k);
      if (!levels[i] && (k == 0 || levels[i - 1])) return k * sentBit;
    }
    return -1;
  };

  std::string received;
  for (std::int64_t start = fallingEdge(0); start >= 0;) {
    std::uint8_t byte = 0;
    // Data bit i lies in received bit time i + 1; its middle is 2i + 3
    // half bits from the start edge; the stop bit's is 19.
    for (int bit = 0; bit < 8; ++bit)
      if (levelAt(start + (2 * bit + 3) * halfReadBit)) byte |= static_cast<std::uint8_t>(1 << bit);
    received.push_back(static_cast<char>(byte));
    start = fallingEdge(start + 19 * halfReadBit + 1);
  }
  return received;
}

}  // namespace kv770::sim
