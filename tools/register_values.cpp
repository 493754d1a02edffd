// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/register_values.h"

#include "tools/float_text.h"

namespace kv770::tools {

namespace {

bool WordsSwapped(int byteOrder) {
  return byteOrder == 1 || byteOrder == 3;
}

}  // namespace

std::uint32_t ValuePattern(std::span<const std::uint8_t, 4> b, int byteOrder) {
  const auto word = [&](std::size_t at) { return std::uint32_t{b[at]} << 8 | b[at + 1]; };
  return WordsSwapped(byteOrder) ? word(2) << 16 | word(0) : word(0) << 16 | word(2);
}

bool IsFloatOrder(int byteOrder) {
  return byteOrder != 2 && byteOrder != 3;
}

std::string RegisterValueText(std::span<const std::uint8_t, 4> registerBytes, int byteOrder) {
  const std::uint32_t pattern = ValuePattern(registerBytes, byteOrder);
  return IsFloatOrder(byteOrder) ? CalculatorTextUncut(pattern) : std::to_string(pattern);
}

}  // namespace kv770::tools
