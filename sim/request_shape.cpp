// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/request_shape.h"

#include <algorithm>
#include <cstdint>

namespace kv770::sim {

namespace {

constexpr std::string_view kSet = "QQS#";
constexpr std::string_view kQuery = "QQQ#";
constexpr std::string_view kCheck = "PPPPPP#VAR#";
// "QQS#CAMD" meter, command, ':', enable, '<', two-digit count, ',' and
// then that many bytes of the instrument's command, with no closing '#'.
constexpr std::string_view kReadMeter = "QQS#CAMD";
constexpr std::size_t kReadMeterHeader = 16;
constexpr std::size_t kReadMeterCount = 13;

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

bool AsciiWhole(std::string_view b) {
  if (b.starts_with(kReadMeter)) {
    if (b.size() < kReadMeterHeader) return false;
    const char tens = b[kReadMeterCount], ones = b[kReadMeterCount + 1];
    if (!Digit(tens) || !Digit(ones)) return false;
    return b.size() == kReadMeterHeader + static_cast<std::size_t>((tens - '0') * 10 + ones - '0');
  }
  // The prefix's '#' and the one that closes the command; a '#' inside a
  // command is none the tool sends.
  return b.back() == '#' && std::count(b.begin(), b.end(), '#') == 2;
}

// Preambles (FF), a delimiter (bit 7: a five-byte address), the address,
// the command, the byte count, the data and the checksum.
bool HartWhole(std::string_view b) {
  std::size_t i = 0;
  while (i < b.size() && static_cast<std::uint8_t>(b[i]) == 0xFF) ++i;
  if (i < 2 || i >= b.size()) return false;
  const std::size_t address = (static_cast<std::uint8_t>(b[i]) & 0x80) ? 5 : 1;
  const std::size_t countAt = i + 1 + address + 1;
  if (b.size() <= countAt) return false;
  return b.size() == countAt + 1 + static_cast<std::uint8_t>(b[countAt]) + 1;
}

// Slave, function, two 16-bit fields and the CRC.
bool RtuWhole(std::string_view b) {
  if (b.size() < 2) return false;
  const std::uint8_t function = static_cast<std::uint8_t>(b[1]);
  return (function == 3 || function == 4 || function == 6) && b.size() == 8;
}

}  // namespace

bool RequestWhole(std::string_view b, bool serial) {
  if (b.empty()) return false;
  for (std::string_view start : {kSet, kQuery, kCheck}) {
    const std::size_t n = std::min(b.size(), start.size());
    if (b.substr(0, n) != start.substr(0, n)) continue;
    if (b.size() < start.size()) return false;  // may still become one
    return start == kCheck ? b == kCheck : AsciiWhole(b);
  }
  if (static_cast<std::uint8_t>(b[0]) == 0xFF) return HartWhole(b);
  return serial && RtuWhole(b);
}

}  // namespace kv770::sim
