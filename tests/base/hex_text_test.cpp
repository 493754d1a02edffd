// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/hex_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kv770::base {
namespace {

using namespace std::string_literals;

// Every way the program writes bytes: the window's areas (a blank after
// each pair), messages and traces (blanks between), the start of a long
// reply (a limit). Bytes held as characters above 0x7F are negative chars:
// they must still give two digits.
TEST(HexText, EveryLayoutTheProgramWrites) {
  struct Row {
    std::string bytes;
    HexLayout layout;
    std::string text;
  };
  const Row rows[] = {
      {"", {}, ""},
      {"", {.trailing = true}, ""},
      {"\x0A"s, {}, "0A"},
      {"\x00"s, {}, "00"},
      {"\xFF"s, {}, "FF"},
      {"\x02\x80\x00\x00"s, {}, "02 80 00 00"},
      {"\xFF\x06"s, {.trailing = true}, "FF 06 "},
      {"\x01\x03\x00\x00\x00\x0A\xC5\xCD"s, {.trailing = true}, "01 03 00 00 00 0A C5 CD "},
      {"\xAB\xCD\xEF"s, {.separator = ':'}, "AB:CD:EF"},
      {"\x01\x02\x03"s, {.limit = 2}, "01 02"},
      {"\x01\x02\x03"s, {.trailing = true, .limit = 2}, "01 02 "},
      {"\x01\x02"s, {.limit = 16}, "01 02"},
      {"\x01\x02"s, {.trailing = true, .limit = 0}, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(HexText(std::span<const char>(row.bytes), row.layout), row.text) << row.text;
    const std::vector<std::uint8_t> unsignedBytes(row.bytes.begin(), row.bytes.end());
    EXPECT_EQ(HexText(unsignedBytes, row.layout), row.text) << row.text;
  }
}

}  // namespace
}  // namespace kv770::base
