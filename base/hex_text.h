// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

namespace kv770::base {

// How bytes are written as digit pairs ("01 03 00 0A"): capital
// hexadecimal digits, `separator` between pairs and, with `trailing`,
// after the last one too (the window's send and receive areas end every
// pair with a blank). At most `limit` bytes are written, the first ones.
struct HexLayout {
  char separator = ' ';
  bool trailing = false;
  std::size_t limit = std::numeric_limits<std::size_t>::max();
};

std::string HexText(std::span<const std::uint8_t> bytes, HexLayout layout = {});
// The same for bytes held as characters (a QByteArray, a std::string).
std::string HexText(std::span<const char> bytes, HexLayout layout = {});

}  // namespace kv770::base
