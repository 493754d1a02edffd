// SPDX-License-Identifier: GPL-3.0-or-later
#include "hart/frame.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kv770::hart {
namespace {

Bytes Preamble(int count) {
  return Bytes(static_cast<std::size_t>(count), 0xFF);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(HartFrame, IdentityQueryInBothMasterModes) {
  EXPECT_EQ(Frame(6, IdentityRequestBody(MasterBit(0))),
            Concat(Preamble(7), {0x02, 0x80, 0x00, 0x00, 0x82}));
  EXPECT_EQ(Frame(0, IdentityRequestBody(MasterBit(0))),
            (Bytes{0xFF, 0x02, 0x80, 0x00, 0x00, 0x82}));
  EXPECT_EQ(Frame(6, IdentityRequestBody(MasterBit(1))),
            Concat(Preamble(7), {0x02, 0x00, 0x00, 0x00, 0x02}));
  // No mode selected counts as secondary master.
  EXPECT_EQ(MasterBit(-1), 0x00);
}

TEST(HartFrame, IdentityQueryToAPollingAddress) {
  EXPECT_EQ(IdentityRequestBody(MasterBit(0), 5), (Bytes{0x02, 0x85, 0x00, 0x00}));
  EXPECT_EQ(IdentityRequestBody(MasterBit(1), 63), (Bytes{0x02, 0x3F, 0x00, 0x00}));
  EXPECT_EQ(IdentityRequestBody(MasterBit(0), 0), IdentityRequestBody(MasterBit(0)));
  // Bit 6 is the reply's burst bit, never an address.
  EXPECT_THROW(IdentityRequestBody(MasterBit(0), 64), std::out_of_range);
  EXPECT_THROW(IdentityRequestBody(MasterBit(0), -1), std::out_of_range);
}

TEST(HartFrame, PreambleIsOneMoreThanTheNumberTyped) {
  EXPECT_EQ(Frame(-1, IdentityRequestBody(0x80)), (Bytes{0x02, 0x80, 0x00, 0x00, 0x82}));
  EXPECT_EQ(Frame(kMaxPreambleNumber, Bytes(kLongestBody, 0x11)).size(), 504u);
  EXPECT_EQ(kMaxPreambleNumber, 487);
  EXPECT_THROW(Frame(-2, IdentityRequestBody(0x80)), std::out_of_range);
}

TEST(HartFrame, VariablesQueryCarriesTheLongAddressOfTheIdentity) {
  // Before any identity query: all zero but the master bit.
  EXPECT_EQ(Frame(0, VariablesRequestBody(MasterBit(0), Identity{})),
            (Bytes{0xFF, 0x82, 0x80, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01}));
  EXPECT_EQ(Frame(0, VariablesRequestBody(MasterBit(1), Identity{})),
            (Bytes{0xFF, 0x82, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x81}));

  // Only the low six bits of the manufacturer code fit beside the master bit.
  const Identity id{.manufacturer = 0xE6, .deviceType = 0x06, .preambles = 5, .deviceId = 0x123456};
  const Bytes frame = Frame(6, VariablesRequestBody(MasterBit(0), id));
  EXPECT_EQ(frame, Concat(Preamble(7), {0x82, 0xA6, 0x06, 0x12, 0x34, 0x56, 0x03, 0x00,
                                        0x82 ^ 0xA6 ^ 0x06 ^ 0x12 ^ 0x34 ^ 0x56 ^ 0x03}));
  EXPECT_EQ(frame.size(), 6u + 10u);
}

TEST(HartFrame, TypedBodyGetsItsCheckByte) {
  EXPECT_EQ(Frame(6, Bytes{0x02, 0x80, 0x00, 0x00}),
            Concat(Preamble(7), {0x02, 0x80, 0x00, 0x00, 0x82}));
  EXPECT_EQ(Frame(6, Bytes{0x02}), Concat(Preamble(7), {0x02, 0x02}));
  EXPECT_EQ(CheckByte(Bytes{}), 0x00);
  EXPECT_EQ(CheckByte(Bytes{0xFF, 0xFF}), 0x00);
}

}  // namespace
}  // namespace kv770::hart
