// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kv770::tools {

// CRC-16/MODBUS (reflected polynomial 0xA001, start 0xFFFF, no final XOR).
// On the wire the low byte goes first: Crc16(...) & 0xFF, then >> 8.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
std::uint16_t Crc16(std::string_view bytes);

// Read holding registers (function 3). The window's fields are one byte
// each, so the high bytes of start address and count are always zero.
constexpr std::uint8_t kReadHoldingRegisters = 0x03;

// RTU frame for the serial line, closed by the CRC.
std::array<std::uint8_t, 8> RtuReadRequest(std::uint8_t slave, std::uint8_t start,
                                           std::uint8_t count);
// MODBUS TCP frame: the MBAP header (transaction 1, protocol 0, length 6)
// and the same request without CRC.
std::array<std::uint8_t, 12> TcpReadRequest(std::uint8_t unit, std::uint8_t start,
                                            std::uint8_t count);

// A reply to read holding registers, as far as it has arrived. Serves as
// the test of whether more bytes are due, too.
struct ReadReply {
  enum class Status {
    Complete,    // `data` holds the registers
    Exception,   // the slave refused; `exceptionCode` says why
    Incomplete,  // the frame is not whole yet
    Malformed,   // no reply to a read: another function, a bad CRC or length
  };
  Status status = Status::Incomplete;
  std::uint8_t unit = 0;  // slave address (RTU) or unit identifier (TCP)
  std::uint8_t exceptionCode = 0;
  std::vector<std::uint8_t> data;  // two bytes per register, high byte first
};
// Address, function, byte count, data, CRC (low byte first).
ReadReply DecodeRtuReadReply(std::span<const std::uint8_t> frame);
// MBAP header (transaction, protocol 0, length), unit, function, byte
// count, data.
ReadReply DecodeTcpReadReply(std::span<const std::uint8_t> frame);

}  // namespace kv770::tools
