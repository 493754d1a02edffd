// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv770::tools {

// The IEEE 754 calculator's input: up to four bytes as pairs of upper-case
// hexadecimal digits, one blank after each pair but the last, most
// significant byte first ("41 20 00 00").
struct CalculatorInput {
  enum class Error {
    None,
    NoSeparator,        // a blank is missing after a pair
    IllegalCharacters,  // a digit is not 0-9 or A-F, or a pair runs past the end
  };
  Error error = Error::None;
  // Missing low-order bytes stay zero ("41" is 41 00 00 00).
  std::array<std::uint8_t, 4> bytes{};

  std::uint32_t Pattern() const {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
  }
};

// One character per position; a character the window cannot show as one
// byte should arrive as any non-digit, it is illegal either way.
CalculatorInput ParseCalculatorInput(std::string_view text);

// Typed text (UTF-16, as the window's box and the command line hold it) as
// ParseCalculatorInput takes it: one character per position, anything
// beyond ASCII a non-digit.
std::string CalculatorChars(std::u16string_view typed);

// What the user is told of a refused input; empty for none.
std::string_view CalculatorInputMessage(CalculatorInput::Error error);

}  // namespace kv770::tools
