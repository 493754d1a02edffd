// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/modbus_frames.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kv770::tools {
namespace {

// CRC-16/MODBUS bit by bit, the way the polynomial defines it.
std::uint16_t BitwiseCrc(const std::vector<std::uint8_t>& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

TEST(Crc16, CheckValues) {
  const std::vector<std::uint8_t> request{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  const std::uint16_t crc = Crc16(request);
  EXPECT_EQ(crc & 0xFF, 0xC5);  // sent first
  EXPECT_EQ(crc >> 8, 0xCD);
  EXPECT_EQ(Crc16(std::string_view("123456789")), 0x4B37);  // the catalogue's check value
  EXPECT_EQ(Crc16(std::span<const std::uint8_t>{}), 0xFFFF);
}

TEST(Crc16, TableMethodEqualsBitwiseOverRandomMessages) {
  std::mt19937 random(16);
  std::uniform_int_distribution<int> length(0, 300);
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::uint8_t> message(static_cast<std::size_t>(length(random)));
    for (std::uint8_t& b : message) b = static_cast<std::uint8_t>(random());
    ASSERT_EQ(Crc16(message), BitwiseCrc(message)) << "round " << round;
  }
  // Every single byte reaches every table entry.
  for (int b = 0; b < 256; ++b) {
    const std::vector<std::uint8_t> one{static_cast<std::uint8_t>(b)};
    ASSERT_EQ(Crc16(one), BitwiseCrc(one)) << b;
  }
}

TEST(Crc16, AFrameWithItsCrcAppendedChecksToZero) {
  // The receiver's test: the CRC over a whole RTU frame, CRC included, is 0.
  for (int slave : {0, 1, 17, 247, 255}) {
    const auto frame = RtuReadRequest(static_cast<std::uint8_t>(slave), 0x6B, 0x03);
    EXPECT_EQ(Crc16(frame), 0) << slave;
  }
}

TEST(ModbusFrames, RtuReadRequest) {
  EXPECT_EQ(RtuReadRequest(1, 0, 10),
            (std::array<std::uint8_t, 8>{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
  // The example of the MODBUS application protocol (slave 17, 3 registers
  // from 0x6B) with its well-known CRC 76 87.
  EXPECT_EQ(RtuReadRequest(17, 0x6B, 3),
            (std::array<std::uint8_t, 8>{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
}

TEST(ModbusFrames, TcpReadRequest) {
  EXPECT_EQ(TcpReadRequest(1, 0, 10),
            (std::array<std::uint8_t, 12>{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00,
                                          0x00, 0x00, 0x0A}));
  EXPECT_EQ(TcpReadRequest(255, 70, 125),
            (std::array<std::uint8_t, 12>{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0xFF, 0x03, 0x00,
                                          0x46, 0x00, 0x7D}));
}

}  // namespace
}  // namespace kv770::tools
