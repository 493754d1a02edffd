// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/hex_bytes.h"

namespace kv770::gateway {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

HexBytes ParseHexBytes(std::string_view text, int limit) {
  const std::size_t len = text.size();
  std::size_t count = len / 3 + (len % 3 == 2 ? 1 : 0);
  if (limit < 0) limit = 0;
  if (count > static_cast<std::size_t>(limit)) count = static_cast<std::size_t>(limit);

  HexBytes result;
  if (count == 0) {
    result.error = kNoSeparator;
    return result;
  }
  for (std::size_t k = 0; k + 1 < count; ++k) {
    if (text[3 * k + 2] != ' ') {
      result.error = kNoSeparator;
      return result;
    }
  }

  bool allDigits = true;
  result.bytes.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const int high = DigitValue(text[3 * k]);
    const int low = DigitValue(text[3 * k + 1]);
    if (high < 0 || low < 0) allDigits = false;
    result.bytes.push_back(static_cast<std::uint8_t>(16 * (high & 0x0F) + (low & 0x0F)));
  }
  if (!allDigits) {
    result.bytes.clear();
    result.error = kBadDigit;
  }
  return result;
}

}  // namespace kv770::gateway
