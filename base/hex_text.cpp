// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/hex_text.h"

#include <algorithm>

namespace kv770::base {

std::string HexText(std::span<const std::uint8_t> bytes, HexLayout layout) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t count = std::min(bytes.size(), layout.limit);
  std::string text;
  text.reserve(3 * count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += layout.separator;
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  if (layout.trailing && count > 0) text += layout.separator;
  return text;
}

std::string HexText(std::span<const char> bytes, HexLayout layout) {
  return HexText(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                 layout);
}

}  // namespace kv770::base
