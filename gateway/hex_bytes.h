// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv770::gateway {

// A typed byte list such as "02 80 00 00": pairs of capital hexadecimal
// digits, one blank between pairs, the last blank optional. At most `limit`
// bytes are taken, text after them is ignored, and so is a lone trailing
// character.
//
// `text` holds one 8-bit character per typed character (a character
// outside Latin-1 may stand as '?': it is no digit either way).
struct HexBytes {
  std::vector<std::uint8_t> bytes;
  std::string error;  // empty when the list was read
  bool ok() const { return error.empty(); }
};

inline constexpr const char* kNoSeparator = "NO SPACK";
inline constexpr const char* kBadDigit = "Data eeore!";
inline constexpr int kManualCommandLimit = 15;
inline constexpr int kReadMeterCommandLimit = 14;

HexBytes ParseHexBytes(std::string_view text, int limit);

// The other way, "02 80 00 00", is base::HexText.

}  // namespace kv770::gateway
