// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/hex_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace kv770::gateway {
namespace {

using B = std::vector<std::uint8_t>;

B Bytes(std::string_view text, int limit = kManualCommandLimit) {
  const HexBytes parsed = ParseHexBytes(text, limit);
  EXPECT_TRUE(parsed.ok()) << text << ": " << parsed.error;
  return parsed.bytes;
}

std::string Error(std::string_view text, int limit = kManualCommandLimit) {
  const HexBytes parsed = ParseHexBytes(text, limit);
  EXPECT_TRUE(parsed.bytes.empty()) << text;
  return parsed.error;
}

TEST(ParseHexBytes, ReadsPairsWithOrWithoutTheLastBlank) {
  EXPECT_EQ(Bytes("02 80 00 00"), (B{0x02, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Bytes("02 80 00 00 "), (B{0x02, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Bytes("FF"), (B{0xFF}));
  EXPECT_EQ(Bytes("AB CD EF 09"), (B{0xAB, 0xCD, 0xEF, 0x09}));
}

TEST(ParseHexBytes, IgnoresWhatDoesNotMakeAWholePair) {
  EXPECT_EQ(Bytes("0280"), (B{0x02}));  // 4 characters: one pair
  EXPECT_EQ(Bytes("02 8"), (B{0x02}));  // lone trailing digit
  EXPECT_EQ(Bytes("02 80 0"), (B{0x02, 0x80}));
  EXPECT_EQ(Bytes("02 80 g"), (B{0x02, 0x80}));  // the ignored text is not checked
}

TEST(ParseHexBytes, TakesAtMostTheLimit) {
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += std::string{'0', "0123456789ABCDEF"[i % 16], ' '};
  const B manual = Bytes(twenty, kManualCommandLimit);
  ASSERT_EQ(manual.size(), 15u);
  EXPECT_EQ(manual.back(), 0x0E);
  EXPECT_EQ(Bytes(twenty, kReadMeterCommandLimit).size(), 14u);
  // Beyond the limit even a missing blank does not matter.
  EXPECT_EQ(Bytes("01 02 0304 05", 3), (B{0x01, 0x02, 0x03}));
  EXPECT_EQ(Error("01 02 0304 05", 4), kNoSeparator);
}

TEST(ParseHexBytes, MissingBlankOrNothingToReadIsNoSeparator) {
  for (const char* text : {"", "0", "02 80x00", "0280 00", "02-80"})
    EXPECT_EQ(Error(text), kNoSeparator) << '"' << text << '"';
  EXPECT_STREQ(kNoSeparator, "NO SPACK");
}

TEST(ParseHexBytes, AnythingButCapitalHexDigitsIsADataError) {
  for (const char* text : {"02 8g 00", "02 80 0a", "02  0", "-1", " 2 80", "02 80 ?? 00"})
    EXPECT_EQ(Error(text), kBadDigit) << '"' << text << '"';
  EXPECT_STREQ(kBadDigit, "Data eeore!");
  // A separator fault is found before any digit is looked at.
  EXPECT_EQ(Error("zz zzz z"), kNoSeparator);
}

}  // namespace
}  // namespace kv770::gateway
