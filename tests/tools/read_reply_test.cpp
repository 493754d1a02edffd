// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tools/modbus_frames.h"
#include "tools/register_values.h"

namespace kv770::tools {
namespace {

using Status = ReadReply::Status;
using Bytes = std::vector<std::uint8_t>;

// An RTU frame closed by its CRC, low byte first.
Bytes WithCrc(Bytes frame) {
  const std::uint16_t crc = Crc16(frame);
  frame.push_back(crc & 0xFF);
  frame.push_back(crc >> 8);
  return frame;
}

TEST(RtuReadReply, TwoRegistersWithTheirCrc) {
  const ReadReply r = DecodeRtuReadReply(WithCrc({0x11, 0x03, 0x04, 0x41, 0x20, 0x00, 0x00}));
  EXPECT_EQ(r.status, Status::Complete);
  EXPECT_EQ(r.unit, 0x11);
  EXPECT_EQ(r.data, (Bytes{0x41, 0x20, 0x00, 0x00}));
}

TEST(RtuReadReply, EveryShorterPrefixAsksForMore) {
  const Bytes whole = WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
  for (std::size_t n = 0; n < whole.size(); ++n)
    EXPECT_EQ(DecodeRtuReadReply(std::span(whole).first(n)).status, Status::Incomplete) << n;
}

TEST(RtuReadReply, ExceptionCarriesItsCode) {
  const ReadReply r = DecodeRtuReadReply(WithCrc({0x01, 0x83, 0x02}));
  EXPECT_EQ(r.status, Status::Exception);
  EXPECT_EQ(r.exceptionCode, 0x02);
}

TEST(RtuReadReply, CorruptOrForeignFramesAreMalformed) {
  Bytes bad = WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
  bad[3] ^= 0x01;  // one bit flipped on the line
  EXPECT_EQ(DecodeRtuReadReply(bad).status, Status::Malformed);
  EXPECT_EQ(DecodeRtuReadReply(WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x02})).status,
            Status::Malformed);  // another function
  Bytes trailing = WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
  trailing.push_back(0x00);
  EXPECT_EQ(DecodeRtuReadReply(trailing).status, Status::Malformed);
  // An odd byte count cannot hold whole registers.
  EXPECT_EQ(DecodeRtuReadReply(WithCrc({0x01, 0x03, 0x01, 0x12})).status, Status::Malformed);
}

TEST(TcpReadReply, HeaderLengthDecidesWhereTheFrameEnds) {
  const Bytes whole{0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 0x03, 0x04, 0x3F, 0x80, 0x00, 0x00};
  const ReadReply r = DecodeTcpReadReply(whole);
  EXPECT_EQ(r.status, Status::Complete);
  EXPECT_EQ(r.unit, 1);
  EXPECT_EQ(r.data, (Bytes{0x3F, 0x80, 0x00, 0x00}));
  for (std::size_t n = 0; n < whole.size(); ++n)
    EXPECT_EQ(DecodeTcpReadReply(std::span(whole).first(n)).status, Status::Incomplete) << n;
}

TEST(TcpReadReply, ExceptionsAndBrokenHeaders) {
  const ReadReply e = DecodeTcpReadReply(Bytes{0, 1, 0, 0, 0, 3, 0x05, 0x83, 0x0B});
  EXPECT_EQ(e.status, Status::Exception);
  EXPECT_EQ(e.exceptionCode, 0x0B);
  EXPECT_EQ(DecodeTcpReadReply(Bytes{0, 1, 0, 1, 0, 3, 1, 0x83, 2}).status, Status::Malformed);
  // The byte count disagrees with the header's length.
  EXPECT_EQ(DecodeTcpReadReply(Bytes{0, 1, 0, 0, 0, 5, 1, 3, 4, 0, 0}).status, Status::Malformed);
}

TEST(RegisterValues, EachByteOrderCode) {
  // 10.0f is 41 20 00 00; 0x12345678 as an unsigned value.
  EXPECT_EQ(RegisterValueText(std::array<std::uint8_t, 4>{0x41, 0x20, 0x00, 0x00}, 0), "10");
  EXPECT_EQ(RegisterValueText(std::array<std::uint8_t, 4>{0x00, 0x00, 0x41, 0x20}, 1), "10");
  EXPECT_EQ(RegisterValueText(std::array<std::uint8_t, 4>{0x12, 0x34, 0x56, 0x78}, 2), "305419896");
  EXPECT_EQ(RegisterValueText(std::array<std::uint8_t, 4>{0x56, 0x78, 0x12, 0x34}, 3), "305419896");
  // A code the gateway never set reads like code 0.
  EXPECT_EQ(RegisterValueText(std::array<std::uint8_t, 4>{0xC1, 0x20, 0x00, 0x00}, -1), "-10");
}

}  // namespace
}  // namespace kv770::tools
