// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kv770::hart {

using Bytes = std::vector<std::uint8_t>;

// What the window keeps of the instrument last identified (command 0): the
// parts of its long address, and the preambles it asks for.
struct Identity {
  std::uint8_t manufacturer = 0;
  std::uint8_t deviceType = 0;
  std::uint8_t preambles = 0;
  std::uint32_t deviceId = 0;  // 24 bits

  friend bool operator==(const Identity&, const Identity&) = default;
};

inline constexpr std::uint8_t kPreambleByte = 0xFF;
inline constexpr std::uint8_t kShortRequest = 0x02;
inline constexpr std::uint8_t kLongRequest = 0x82;
inline constexpr std::uint8_t kShortReply = 0x06;
inline constexpr std::uint8_t kLongReply = 0x86;

// The number typed for the preamble: the frame carries one byte more, so -1
// gives none. The longest frame the window builds (a typed command of 15
// bytes) is n + 17 bytes and has to fit the 504-byte request area.
inline constexpr int kMinPreambleNumber = -1;
inline constexpr int kLongestBody = 15;
inline constexpr int kMaxPreambleNumber = 504 - kLongestBody - 2;

// 0x80 when the window acts as primary master (mode list position 0),
// 0x00 as secondary master or with no mode selected.
std::uint8_t MasterBit(int modePosition);

// Longitudinal parity: XOR of every byte from the delimiter on.
std::uint8_t CheckByte(std::span<const std::uint8_t> body);

// A whole frame: n + 1 preamble bytes, the body, its check byte. A preamble
// number below -1 is a caller's fault and throws std::out_of_range.
Bytes Frame(int preambleNumber, std::span<const std::uint8_t> body);

// Command 0 to polling address 0, the only address the window's short
// frame carries.
Bytes IdentityRequestBody(std::uint8_t masterBit);

// A short frame's address byte holds the polling address in its low six
// bits, beside the master bit (and the burst bit of a reply).
inline constexpr int kMaxPollingAddress = 63;

// Command 0 to `pollingAddress` (0..63), as a scan of a multidrop loop asks
// it; any other address is a caller's fault and throws std::out_of_range.
Bytes IdentityRequestBody(std::uint8_t masterBit, int pollingAddress);

// Command 3 to the long address of `instrument`.
Bytes VariablesRequestBody(std::uint8_t masterBit, const Identity& instrument);

}  // namespace kv770::hart
