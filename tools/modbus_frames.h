#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

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

}  // namespace kv770::tools
