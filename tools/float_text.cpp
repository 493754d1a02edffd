// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/float_text.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kv770::tools {

namespace {

constexpr int kSignificantDigits = 15;

// A finite value rounded to 15 significant digits: 0.d1d2...dm x 10^exponent
// with d1 non-zero and no trailing zeros; no digits for zero.
struct Rounded {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

Rounded RoundTo15Digits(float value) {
  Rounded r;
  r.negative = std::signbit(value);
  if (value == 0) return r;
  // A float widened to double is exact, and printf writes a double's exact
  // decimal expansion: no float has more than 112 significant digits, so 121
  // leave nothing to printf's own rounding. We round the exact digits
  // ourselves, half away from zero, whatever the floating-point rounding mode.
  char text[160];
  std::snprintf(text, sizeof text, "%.120e", std::fabs(static_cast<double>(value)));
  // "d.ddd...e+XX"
  std::string exact;
  const char* p = text;
  for (; *p != 'e'; ++p)
    if (*p != '.') exact += *p;
  const int exponent10 = std::atoi(p + 1);

  std::string digits = exact.substr(0, kSignificantDigits);
  r.exponent = exponent10 + 1;
  if (exact[kSignificantDigits] >= '5') {
    int i = kSignificantDigits - 1;
    for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');  // 999...9 became 1000...0
      ++r.exponent;
    }
  }
  digits.erase(digits.find_last_not_of('0') + 1);
  r.digits = digits;
  return r;
}

// A value text and how many of its leading characters a cut must keep: the
// integer part of a fixed text, everything of a scientific or special one.
struct ValueText {
  std::string text;
  std::size_t mustKeep = 0;
};

// Fixed notation when lowestFixedExponent <= E <= 15, scientific otherwise.
ValueText Format(float value, int lowestFixedExponent, char separator) {
  if (std::isnan(value)) return {"NAN", 3};
  if (std::isinf(value)) return value < 0 ? ValueText{"-INF", 4} : ValueText{"INF", 3};
  const Rounded r = RoundTo15Digits(value);
  if (r.digits.empty()) return {"0", 1};

  std::string text = r.negative ? "-" : "";
  const int m = static_cast<int>(r.digits.size());
  const int e = r.exponent;
  if (e >= lowestFixedExponent && e <= 15) {
    if (e > 0) {
      text += r.digits.substr(0, std::min(e, m));
      if (e > m) text.append(static_cast<std::size_t>(e - m), '0');
      const std::size_t integerPart = text.size();
      if (m > e) {
        text += separator;
        text += r.digits.substr(static_cast<std::size_t>(e));
      }
      return {text, integerPart};
    }
    text += '0';
    const std::size_t integerPart = text.size();
    text += separator;
    text.append(static_cast<std::size_t>(-e), '0');
    text += r.digits;
    return {text, integerPart};
  }
  text += r.digits[0];
  if (m > 1) {
    text += separator;
    text += r.digits.substr(1);
  }
  text += 'E';
  text += std::to_string(e - 1);  // "-5", "38": no plus sign, no leading zeros
  return {text, text.size()};
}

// Cuts to the box's width, but only ever fraction digits: a cut into the
// integer part or the exponent would show another number.
std::string Cut(const ValueText& v, std::size_t width) {
  if (v.text.size() <= width || v.mustKeep > width) return v.text;
  return v.text.substr(0, width);
}

constexpr int kCalculatorLowestFixed = -3;  // from 0.0001
constexpr int kHartLowestFixed = -4;        // from 0.00001
constexpr std::size_t kCalculatorWidth = 10;
constexpr std::size_t kHartWidth = 9;

}  // namespace

std::string CalculatorText(std::uint32_t pattern, char decimalSeparator) {
  return Cut(Format(std::bit_cast<float>(pattern), kCalculatorLowestFixed, decimalSeparator),
             kCalculatorWidth);
}

std::string CalculatorTextUncut(std::uint32_t pattern, char decimalSeparator) {
  return Format(std::bit_cast<float>(pattern), kCalculatorLowestFixed, decimalSeparator).text;
}

std::string HartValueText(float value, char decimalSeparator) {
  return Cut(Format(value, kHartLowestFixed, decimalSeparator), kHartWidth);
}

std::string HartValueTextUncut(float value, char decimalSeparator) {
  return Format(value, kHartLowestFixed, decimalSeparator).text;
}

}  // namespace kv770::tools
