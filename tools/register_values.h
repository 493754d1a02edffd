// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kv770::tools {

// The gateway presents each meter as ten holding registers from
// 10 * (meter - 1): the loop current and variables 1 to 4, one 32-bit value
// in two registers each. The mapping's byte-order code tells how the
// value's bytes FF4 (most significant) to FF1 lie in the two registers:
//   0  IEEE 754, FF4 FF3 FF2 FF1     2  unsigned, FF4 FF3 FF2 FF1
//   1  IEEE 754, FF2 FF1 FF4 FF3     3  unsigned, FF2 FF1 FF4 FF3
inline constexpr int kRegistersPerMeter = 10;
inline constexpr int kByteOrderCodes = 4;
// Holding register 0 as a MODBUS master numbers it.
inline constexpr int kFirstHoldingRegister = 40001;

// Where register `r` (counted from 0) lies: its meter (1 up), its value
// (0 the current, 1 to 4 the variables), and whether it is the first of
// the value's two registers.
struct RegisterPlace {
  int meter = 1;
  int value = 0;
  bool first = true;
};
constexpr RegisterPlace PlaceOfRegister(int r) {
  return {r / kRegistersPerMeter + 1, r % kRegistersPerMeter / 2, r % 2 == 0};
}
// The first register (counted from 0) of a meter's value.
constexpr int FirstRegister(int meter, int value) {
  return (meter - 1) * kRegistersPerMeter + 2 * value;
}

// The value's 32 bits from its four register bytes in wire order. Codes
// outside 0..3 read as 0, as the gateway does with a code never set.
std::uint32_t ValuePattern(std::span<const std::uint8_t, 4> registerBytes, int byteOrder);

bool IsFloatOrder(int byteOrder);

// A float as the IEEE 754 calculator writes it (not cut to its box), an
// unsigned value in decimal.
std::string RegisterValueText(std::span<const std::uint8_t, 4> registerBytes, int byteOrder);

}  // namespace kv770::tools
