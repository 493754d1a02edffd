// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/calculator_input.h"

namespace kv770::tools {

namespace {

// 0-15, or -1 for anything else: lower-case digits are not accepted.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

CalculatorInput ParseCalculatorInput(std::string_view text) {
  CalculatorInput input;
  const std::size_t pairs = text.size() / 3;
  // Every third character must be a blank, as far as the text goes.
  for (std::size_t k = 1; k <= pairs; ++k) {
    if (text[3 * k - 1] != ' ') {
      input.error = CalculatorInput::Error::NoSeparator;
      return input;
    }
  }
  // One pair more than there are blanks: a text that ends in a blank, or in
  // half a pair, leaves the last pair running past its end. Every pair is
  // checked, even past the fourth; a bad digit does not stop the loop.
  bool illegal = false;
  for (std::size_t k = 0; k <= pairs; ++k) {
    const int high = 3 * k < text.size() ? HexDigit(text[3 * k]) : -1;
    const int low = 3 * k + 1 < text.size() ? HexDigit(text[3 * k + 1]) : -1;
    if (high < 0 || low < 0) {
      illegal = true;
      continue;
    }
    if (k < input.bytes.size()) input.bytes[k] = static_cast<std::uint8_t>(high * 16 + low);
  }
  if (illegal) input.error = CalculatorInput::Error::IllegalCharacters;
  return input;
}

std::string CalculatorChars(std::u16string_view typed) {
  std::string chars;
  chars.reserve(typed.size());
  for (char16_t c : typed) chars += c < 0x80 ? static_cast<char>(c) : '\x7F';
  return chars;
}

std::string_view CalculatorInputMessage(CalculatorInput::Error error) {
  switch (error) {
    case CalculatorInput::Error::NoSeparator:
      return "input data without spaces";
    case CalculatorInput::Error::IllegalCharacters:
      return "there are illegal characters, please re-enter!";
    case CalculatorInput::Error::None:
      break;
  }
  return {};
}

}  // namespace kv770::tools
