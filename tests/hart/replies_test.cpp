// SPDX-License-Identifier: GPL-3.0-or-later
#include "hart/replies.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kv770::hart {
namespace {

// The identity reply of an instrument with manufacturer 0x26, device type
// 6, five preambles and device id 12 34 56, after three preamble bytes.
Bytes IdentityReply() {
  Bytes reply{0xFF, 0xFF, 0xFF, 0x06, 0x80, 0x00, 0x0E, 0x00, 0x00, 0xFE, 0x26,
              0x06, 0x05, 0x05, 0x01, 0x01, 0x08, 0x00, 0x12, 0x34, 0x56};
  reply.push_back(CheckByte(std::span(reply).subspan(3)));
  return reply;
}

TEST(DecodeIdentity, ReadsTheFieldsAtTheirDistancesFromTheMatch) {
  const auto id = DecodeIdentity(IdentityReply());
  ASSERT_TRUE(id);
  EXPECT_EQ(id->manufacturer, 38);
  EXPECT_EQ(id->deviceType, 6);
  EXPECT_EQ(id->preambles, 5);
  EXPECT_EQ(id->deviceId, 1193046u);

  Bytes small = IdentityReply();
  small[18] = 0x00;
  small[19] = 0x00;
  small[20] = 0x01;
  EXPECT_EQ(DecodeIdentity(small)->deviceId, 1u);
}

TEST(DecodeIdentity, FirstMatchWins) {
  Bytes reply = IdentityReply();
  Bytes later = IdentityReply();
  later[10] = 0x11;
  reply.insert(reply.end(), later.begin(), later.end());
  EXPECT_EQ(DecodeIdentity(reply)->manufacturer, 0x26);

  // A pair inside the fields of the first does not count as a second reply.
  Bytes inner = IdentityReply();
  inner[11] = 0xFF;  // device type FF followed by preambles 06
  inner[12] = 0x06;
  EXPECT_EQ(DecodeIdentity(inner)->deviceType, 0xFF);
}

TEST(DecodeIdentity, NoMatchWithoutTheWholeReply) {
  EXPECT_FALSE(DecodeIdentity(Bytes{}));
  EXPECT_FALSE(DecodeIdentity(Bytes{0xFF, 0x06, 0x26, 0x06}));  // 4 bytes: no search
  EXPECT_FALSE(DecodeIdentity(Bytes{'Q', 'Q', 'S', '#', 'O', 'K', '#'}));
  Bytes longReply = IdentityReply();
  longReply[3] = 0x86;
  EXPECT_FALSE(DecodeIdentity(longReply));

  // Cut before the last device-id byte: what is missing is not guessed.
  const Bytes whole = IdentityReply();
  for (std::size_t size = 5; size < 21; ++size)
    EXPECT_FALSE(DecodeIdentity(std::span(whole).first(size))) << size;
  EXPECT_TRUE(DecodeIdentity(std::span(whole).first(21)));

  // An error reply without data.
  EXPECT_FALSE(DecodeIdentity(Bytes{0xFF, 0xFF, 0x06, 0x80, 0x00, 0x02, 0x40, 0x00, 0xC4}));
}

struct Var {
  std::uint8_t unit;
  std::array<std::uint8_t, 4> value;
};

// A command 3 reply after five preamble bytes: the byte count as given,
// loop current 12 mA, then the variables.
Bytes Command3Reply(std::uint8_t bc, std::initializer_list<Var> vars) {
  Bytes reply{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0xA6, 0x06, 0x12, 0x34,
              0x56, 0x03, bc,   0x00, 0x00, 0x41, 0x40, 0x00, 0x00};
  for (const Var& v : vars) {
    reply.push_back(v.unit);
    reply.insert(reply.end(), v.value.begin(), v.value.end());
  }
  reply.push_back(CheckByte(std::span(reply).subspan(5)));
  return reply;
}

const Var kTen{32, {0x41, 0x20, 0x00, 0x00}};
const Var kOnePointTwoThree{237, {0x3F, 0x9D, 0x70, 0xA4}};
const Var kMinusQuarter{57, {0xBE, 0x80, 0x00, 0x00}};
const Var kTiny{61, {0x35, 0xA5, 0x16, 0x7A}};

TEST(DecodeDynamicVariables, FullReplyGivesFourVariablesWithTheirUnits) {
  const auto vars =
      DecodeDynamicVariables(Command3Reply(26, {kTen, kOnePointTwoThree, kMinusQuarter, kTiny}));
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(vars[0].value, 10.0f);
  EXPECT_EQ(vars[0].unitCode, 32);
  EXPECT_EQ(vars[1].value, 1.23f);
  EXPECT_EQ(vars[1].unitCode, 237);
  EXPECT_EQ(vars[2].value, -0.25f);
  EXPECT_EQ(vars[2].unitCode, 57);
  EXPECT_NEAR(vars[3].value, 1.23e-6f, 1e-12f);
  EXPECT_EQ(vars[3].unitCode, 61);
}

TEST(DecodeDynamicVariables, ByteCountDecidesHowManyFollowThePrimary) {
  const auto all = {kTen, kOnePointTwoThree, kMinusQuarter, kTiny};
  struct Case {
    std::uint8_t bc;
    std::size_t shown;
  };
  for (Case c : {Case{0, 1}, Case{11, 1}, Case{12, 2}, Case{16, 2}, Case{17, 3}, Case{21, 3},
                 Case{22, 4}, Case{26, 4}, Case{255, 4}})
    EXPECT_EQ(DecodeDynamicVariables(Command3Reply(c.bc, all)).size(), c.shown) << int(c.bc);

  // bc = 12 announces one byte of the secondary variable; the bytes that
  // arrived are read all the same.
  const auto twelve = DecodeDynamicVariables(Command3Reply(12, all));
  EXPECT_EQ(twelve[1].value, 1.23f);
  EXPECT_EQ(twelve[1].unitCode, 237);
}

TEST(DecodeDynamicVariables, StopsAtTheFirstVariableThatDidNotArrive) {
  const Bytes whole = Command3Reply(26, {kTen, kOnePointTwoThree, kMinusQuarter, kTiny});
  // The match is at offset 4, so the primary variable's last byte is at 23.
  auto shownFor = [&](std::size_t size) {
    return DecodeDynamicVariables(std::span(whole).first(size)).size();
  };
  EXPECT_EQ(shownFor(23), 0u);
  EXPECT_EQ(shownFor(24), 1u);
  EXPECT_EQ(shownFor(28), 1u);  // secondary's last byte missing
  EXPECT_EQ(shownFor(29), 2u);
  EXPECT_EQ(shownFor(34), 3u);
  EXPECT_EQ(shownFor(38), 3u);
  EXPECT_EQ(shownFor(39), 4u);

  // bc = 12 with nothing after the primary: no secondary from nowhere.
  EXPECT_EQ(DecodeDynamicVariables(Command3Reply(12, {kTen})).size(), 1u);
}

TEST(DecodeDynamicVariables, NothingWithoutALongReply) {
  EXPECT_TRUE(DecodeDynamicVariables(Bytes{}).empty());
  EXPECT_TRUE(DecodeDynamicVariables(Bytes{0xFF, 0x86, 0, 0}).empty());
  Bytes shortDelimiter = Command3Reply(26, {kTen});
  shortDelimiter[5] = 0x06;
  EXPECT_TRUE(DecodeDynamicVariables(shortDelimiter).empty());
  EXPECT_TRUE(DecodeDynamicVariables(Bytes{'E', 'R', 'R', ':', '#', 0xFF}).empty());
}

TEST(DecodeDynamicVariables, FirstMatchWins) {
  Bytes reply = Command3Reply(11, {kTen});
  const Bytes second = Command3Reply(26, {kMinusQuarter, kTen, kTen, kTen});
  reply.insert(reply.end(), second.begin(), second.end());
  const auto vars = DecodeDynamicVariables(reply);
  ASSERT_EQ(vars.size(), 1u);
  EXPECT_EQ(vars[0].value, 10.0f);
}

TEST(FloatFromBytes, MostSignificantByteFirst) {
  EXPECT_EQ(FloatFromBytes(std::array<std::uint8_t, 4>{0x41, 0x20, 0x00, 0x00}), 10.0f);
  EXPECT_EQ(FloatFromBytes(std::array<std::uint8_t, 4>{0xBE, 0x80, 0x00, 0x00}), -0.25f);
  EXPECT_TRUE(std::isnan(FloatFromBytes(std::array<std::uint8_t, 4>{0x7F, 0xC0, 0x00, 0x00})));
}

}  // namespace
}  // namespace kv770::hart
