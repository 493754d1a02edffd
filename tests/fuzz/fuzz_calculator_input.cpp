// SPDX-License-Identifier: GPL-3.0-or-later
// The calculator's input on any text: a text that is accepted is pairs of
// digits and single blanks throughout, its first four pairs are the bytes,
// and the value text of those bytes reads back as the same number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "tools/calculator_input.h"
#include "tools/float_text.h"

namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Input = kv770::tools::CalculatorInput;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Input input = kv770::tools::ParseCalculatorInput(text);

  if (input.error != Input::Error::None) {
    FUZZ_CHECK(input.error == Input::Error::NoSeparator ||
               input.error == Input::Error::IllegalCharacters);
    return 0;
  }
  // "41", "41 20", ...: one pair more than there are blanks.
  FUZZ_CHECK(size % 3 == 2);
  const std::size_t pairs = size / 3 + 1;
  for (std::size_t k = 0; k < pairs; ++k) {
    const int high = Digit(text[3 * k]), low = Digit(text[3 * k + 1]);
    FUZZ_CHECK(high >= 0 && low >= 0);
    if (k + 1 < pairs) FUZZ_CHECK(text[3 * k + 2] == ' ');
    if (k < 4) FUZZ_CHECK(input.bytes[k] == high * 16 + low);
  }
  for (std::size_t k = pairs; k < 4; ++k) FUZZ_CHECK(input.bytes[k] == 0);

  const std::string shown = kv770::tools::CalculatorText(input.Pattern());
  const std::string whole = kv770::tools::CalculatorTextUncut(input.Pattern());
  FUZZ_CHECK(whole.starts_with(shown));
  FUZZ_CHECK(shown.size() <= 10 || shown == whole);
  return 0;
}
