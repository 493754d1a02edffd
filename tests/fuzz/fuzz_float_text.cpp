// SPDX-License-Identifier: GPL-3.0-or-later
// Value texts of every single-precision pattern, with either decimal
// separator: the whole text reads back as exactly the same number (15
// significant digits are more than a float needs), has at most 15 of them,
// and the text in the box is a cut of it that never drops integer digits or
// the exponent.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "tools/float_text.h"

namespace {

// The text as strtod reads it: '.' for the separator, "INF" and "NAN" as
// they are.
float ReadBack(std::string text, char separator) {
  for (char& c : text)
    if (c == separator) c = '.';
  return std::strtof(text.c_str(), nullptr);
}

std::size_t SignificantDigits(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == 'E') break;
    if (c >= '0' && c <= '9') digits += c;
  }
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? 0 : digits.size() - first;
}

void CheckText(const std::string& shown, const std::string& whole, float value, char separator,
               std::size_t width) {
  FUZZ_CHECK(!whole.empty() && whole.starts_with(shown));
  if (shown != whole) {
    FUZZ_CHECK(shown.size() == width);
    // Only fraction digits (and the separator before them) are dropped.
    FUZZ_CHECK(whole.find('E') == std::string::npos);
    const std::size_t point = whole.find(separator);
    FUZZ_CHECK(point != std::string::npos && point <= shown.size());
  }
  if (std::isnan(value)) {
    FUZZ_CHECK(whole == "NAN");
    return;
  }
  if (std::isinf(value)) {
    FUZZ_CHECK(whole == (value < 0 ? "-INF" : "INF"));
    return;
  }
  FUZZ_CHECK(SignificantDigits(whole) <= 15);
  FUZZ_CHECK(ReadBack(whole, separator) == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t pattern = 0;
  std::memcpy(&pattern, data, 4);
  const char separator = size > 4 && (data[4] & 1) ? ',' : '.';
  const float value = std::bit_cast<float>(pattern);

  CheckText(kv770::tools::CalculatorText(pattern, separator),
            kv770::tools::CalculatorTextUncut(pattern, separator), value, separator, 10);
  CheckText(kv770::tools::HartValueText(value, separator),
            kv770::tools::HartValueTextUncut(value, separator), value, separator, 9);
  return 0;
}
