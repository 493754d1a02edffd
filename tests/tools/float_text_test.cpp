// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/float_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace kv770::tools {
namespace {

float F(std::uint32_t pattern) {
  return std::bit_cast<float>(pattern);
}

// ---- an independent reference ----------------------------------------------
//
// Exact decimal digits of a float by big-number arithmetic (no printf, no
// double): |f| = m * 2^b is m * 2^b for b >= 0 and m * 5^-b / 10^-b below.

struct Exact {
  std::string digits;  // significant digits, no leading zeros
  int pointAfter = 0;  // value = 0.digits * 10^pointAfter
};

// Little-endian decimal digits times `factor`.
void Multiply(std::vector<std::uint8_t>& digits, std::uint64_t factor) {
  std::uint64_t carry = 0;
  for (std::uint8_t& d : digits) {
    const std::uint64_t x = d * factor + carry;
    d = static_cast<std::uint8_t>(x % 10);
    carry = x / 10;
  }
  for (; carry; carry /= 10) digits.push_back(static_cast<std::uint8_t>(carry % 10));
}

Exact ExactDecimal(float f) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
  const int biased = static_cast<int>(bits >> 23 & 0xFF);
  std::uint64_t m = bits & 0x7FFFFF;
  int b = -149;
  if (biased != 0) {
    m |= 0x800000;
    b = biased - 150;
  }
  std::vector<std::uint8_t> n;
  for (std::uint64_t x = m; x; x /= 10) n.push_back(static_cast<std::uint8_t>(x % 10));
  int scale = 0;  // value = n * 10^scale
  if (b >= 0) {
    for (int left = b; left > 0; left -= 30) Multiply(n, std::uint64_t{1} << std::min(left, 30));
  } else {
    for (int left = -b; left > 0; left -= 13) {
      std::uint64_t p = 1;
      for (int i = 0; i < std::min(left, 13); ++i) p *= 5;
      Multiply(n, p);
    }
    scale = b;
  }
  Exact e;
  for (auto it = n.rbegin(); it != n.rend(); ++it) e.digits += static_cast<char>('0' + *it);
  e.pointAfter = static_cast<int>(e.digits.size()) + scale;
  e.digits.erase(e.digits.find_last_not_of('0') + 1);
  return e;
}

// 15 significant digits, an exact half rounded away from zero.
Exact Round15(Exact e) {
  if (e.digits.size() > 15) {
    const bool up = e.digits[15] >= '5';
    e.digits.resize(15);
    if (up) {
      int i = 14;
      while (i >= 0 && e.digits[i] == '9') e.digits[i--] = '0';
      if (i < 0) {
        e.digits.insert(0, "1");
        e.digits.pop_back();
        ++e.pointAfter;
      } else {
        ++e.digits[i];
      }
    }
  }
  while (!e.digits.empty() && e.digits.back() == '0') e.digits.pop_back();
  return e;
}

// The general format: fixed for lowest <= E <= 15, else d.ddd E exp.
std::string Reference(float f, int lowest, char sep = '.') {
  if (std::isnan(f)) return "NAN";
  if (std::isinf(f)) return f > 0 ? "INF" : "-INF";
  if (f == 0) return "0";
  const Exact r = Round15(ExactDecimal(f));
  std::string body;
  const int E = r.pointAfter;
  if (E >= lowest && E <= 15) {
    std::string all = E > 0 ? r.digits : std::string(-E, '0') + r.digits;
    const int point = std::max(E, 0);
    if (static_cast<int>(all.size()) < point) all.append(point - all.size(), '0');
    std::string integer = all.substr(0, point);
    std::string fraction = all.substr(point);
    body = (integer.empty() ? "0" : integer) + (fraction.empty() ? "" : sep + fraction);
  } else {
    body = r.digits.substr(0, 1);
    if (r.digits.size() > 1) body += sep + r.digits.substr(1);
    body += "E" + std::to_string(E - 1);
  }
  return (std::signbit(f) ? "-" : "") + body;
}

// What a box of `width` shows: fraction digits may be cut, nothing else.
std::string ReferenceCut(const std::string& text, std::size_t width, char sep = '.') {
  if (text.size() <= width || text.find('E') != std::string::npos) return text;
  const std::size_t point = text.find(sep);
  if (point == std::string::npos || point > width) return text;
  return text.substr(0, width);
}

// Many bit patterns: uniform, plus every exponent with random mantissas,
// plus neighbours of the notation thresholds.
std::vector<std::uint32_t> Patterns() {
  std::vector<std::uint32_t> out;
  std::mt19937 random(754);
  for (int i = 0; i < 40000; ++i) out.push_back(static_cast<std::uint32_t>(random()));
  for (std::uint32_t exponent = 0; exponent < 256; ++exponent)
    for (int i = 0; i < 40; ++i)
      out.push_back((static_cast<std::uint32_t>(random()) & 0x807FFFFF) | exponent << 23);
  for (float threshold : {1e-5f, 1e-4f, 1e-3f, 1.0f, 1e9f, 1e10f, 1e15f, 1e16f}) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(threshold);
    for (std::uint32_t d = 0; d < 64; ++d) {
      out.push_back(bits + d);
      out.push_back(bits - d);
      out.push_back((bits + d) | 0x80000000u);
    }
  }
  return out;
}

// ---- the calculator ------------------------------------------------------

TEST(CalculatorText, WorkedExamples) {
  EXPECT_EQ(CalculatorText(0x41200000), "10");
  EXPECT_EQ(CalculatorText(0xC1200000), "-10");
  EXPECT_EQ(CalculatorText(0x3F800000), "1");
  EXPECT_EQ(CalculatorText(0x41000000), "8");
  EXPECT_EQ(CalculatorTextUncut(0x3DCCCCCD), "0.100000001490116");
  EXPECT_EQ(CalculatorText(0x3DCCCCCD), "0.10000000");
  EXPECT_EQ(CalculatorTextUncut(0x40490FDB), "3.14159274101257");
  EXPECT_EQ(CalculatorText(0x40490FDB), "3.14159274");
}

TEST(CalculatorText, ZeroOfEitherSignAndSpecialValues) {
  EXPECT_EQ(CalculatorText(0x00000000), "0");
  EXPECT_EQ(CalculatorText(0x80000000), "0");
  EXPECT_EQ(CalculatorText(0x7F800000), "INF");
  EXPECT_EQ(CalculatorText(0xFF800000), "-INF");
  EXPECT_EQ(CalculatorText(0x7FC00000), "NAN");
  EXPECT_EQ(CalculatorText(0xFFC00000), "NAN");
  EXPECT_EQ(CalculatorText(0x7F800001), "NAN");  // a signalling NaN is no infinity
}

// A cut into the exponent or the integer part would show another number, so
// those texts are shown whole.
TEST(CalculatorText, NeverCutsTheExponentOrIntegerDigits) {
  EXPECT_EQ(CalculatorText(0x2EDBE6FF), "1.00000001335143E-10");
  EXPECT_EQ(CalculatorText(0x38D1B717), "9.99999974737875E-5");
  EXPECT_EQ(CalculatorText(0x7F7FFFFF), "3.40282346638529E38");
  EXPECT_EQ(CalculatorText(0x00000001), "1.40129846432482E-45");  // smallest subnormal
  EXPECT_EQ(CalculatorText(0xD4B5E621), "-6250000023552");        // 14 characters, no fraction
  // Integer digits within the width keep their place; only the fraction goes.
  EXPECT_EQ(CalculatorText(0x4B3C614E), "12345678");
  EXPECT_EQ(CalculatorText(0xCB3C614E), "-12345678");
  EXPECT_EQ(CalculatorText(0xC49A522B), "-1234.5677");
}

TEST(CalculatorText, NotationFollowsTheDecimalExponent) {
  // Fixed down to 0.0001: the floats nearest 0.001 and 0.0001 from above
  // (the one just below 0.0001 is scientific, see above).
  EXPECT_EQ(CalculatorTextUncut(0x3F7FFFFF), "0.999999940395355");
  EXPECT_EQ(CalculatorTextUncut(std::bit_cast<std::uint32_t>(1e-3f)), "0.00100000004749745");
  EXPECT_EQ(CalculatorTextUncut(0x38D1B718), "0.000100000004749745");
  // Up to 15 integer digits in fixed notation, then scientific.
  EXPECT_EQ(CalculatorTextUncut(std::bit_cast<std::uint32_t>(1e15f)), "999999986991104");
  EXPECT_EQ(CalculatorTextUncut(std::bit_cast<std::uint32_t>(1e16f)), "1.00000002725642E16");
}

TEST(CalculatorText, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(CalculatorText(0x40490FDB, ','), "3,14159274");
  EXPECT_EQ(CalculatorText(0x2EDBE6FF, ','), "1,00000001335143E-10");
  EXPECT_EQ(CalculatorText(0x41200000, ','), "10");
}

TEST(ValueDigits, ExactHalvesRoundAwayFromZero) {
  // 2048 + 2^-12 = 2048.000244140625 exactly: the 16th digit is a lone 5.
  EXPECT_EQ(CalculatorTextUncut(0x45000001), "2048.00024414063");
  EXPECT_EQ(CalculatorTextUncut(0xC5000001), "-2048.00024414063");
  EXPECT_EQ(HartValueTextUncut(2048.000244140625f), "2048.00024414063");
}

TEST(CalculatorText, AgreesWithAnIndependentReference) {
  int checked = 0;
  for (std::uint32_t p : Patterns()) {
    const float f = F(p);
    const std::string uncut = Reference(f, -3);
    ASSERT_EQ(CalculatorTextUncut(p), uncut) << std::hex << p;
    ASSERT_EQ(CalculatorText(p), ReferenceCut(uncut, 10)) << std::hex << p;
    ++checked;
  }
  EXPECT_GT(checked, 50000);
}

// Whatever the cut leaves, read back, is the value truncated: never another
// number (the fault the cut had when it dropped exponents).
TEST(CalculatorText, ShownTextReadsBackAsTheValue) {
  for (std::uint32_t p : Patterns()) {
    const float f = F(p);
    if (!std::isfinite(f)) continue;
    const std::string shown = CalculatorText(p);
    const double back = std::strtod(shown.c_str(), nullptr);
    const std::size_t point = shown.find('.');
    const bool cutFixed = shown.find('E') == std::string::npos && point != std::string::npos;
    // A cut fixed text is off by less than one unit of its last digit, a
    // whole text by the 15-digit rounding only.
    const double unit = cutFixed ? std::pow(10.0, -static_cast<double>(shown.size() - point - 1))
                                 : std::fabs(static_cast<double>(f)) * 1e-14;
    ASSERT_LE(std::fabs(back - static_cast<double>(f)), unit) << shown << " " << std::hex << p;
  }
}

// ---- the HART value text ---------------------------------------------------

TEST(HartValueText, WorkedExamples) {
  EXPECT_EQ(HartValueText(1.23f), "1.2300000");
  EXPECT_EQ(HartValueTextUncut(1.23f), "1.23000001907349");
  EXPECT_EQ(HartValueText(0.1f), "0.1000000");
  EXPECT_EQ(HartValueText(10.0f), "10");
  EXPECT_EQ(HartValueText(123456.78f), "123456.78");
  EXPECT_EQ(HartValueText(1.23e-5f), "0.0000122");
  EXPECT_EQ(HartValueText(0.0f), "0");
  EXPECT_EQ(HartValueText(-0.0f), "0");
  EXPECT_EQ(HartValueText(-4.5f), "-4.5");
}

TEST(HartValueText, NeverCutsTheExponentOrIntegerDigits) {
  EXPECT_EQ(HartValueText(1.23e-6f), "1.22999995255668E-6");
  EXPECT_EQ(HartValueText(1e10f), "10000000000");
  EXPECT_EQ(HartValueText(-123456789.0f), "-123456792");  // 10 characters, no fraction
  EXPECT_EQ(HartValueText(-1234567.5f), "-1234567.");     // only the fraction went
  EXPECT_EQ(HartValueText(std::bit_cast<float>(0x7F800000u)), "INF");
  EXPECT_EQ(HartValueText(std::bit_cast<float>(0xFF800000u)), "-INF");
  EXPECT_EQ(HartValueText(std::bit_cast<float>(0xFFC00000u)), "NAN");
}

TEST(HartValueText, FixedFromTenMicroUnits) {
  // The float nearest 0.00001 lies below it: scientific. The one above: fixed.
  EXPECT_EQ(HartValueTextUncut(1e-5f), "9.99999974737875E-6");
  EXPECT_EQ(HartValueTextUncut(std::nextafter(1e-5f, 1.0f)), "0.0000100000006568735");
  EXPECT_EQ(HartValueText(std::nextafter(1e-5f, 1.0f)), "0.0000100");
  EXPECT_EQ(HartValueText(5e-5f, ','), "0,0000499");
}

TEST(HartValueText, AgreesWithAnIndependentReference) {
  for (std::uint32_t p : Patterns()) {
    const float f = F(p);
    const std::string uncut = Reference(f, -4, ',');
    ASSERT_EQ(HartValueTextUncut(f, ','), uncut) << std::hex << p;
    ASSERT_EQ(HartValueText(f, ','), ReferenceCut(uncut, 9, ',')) << std::hex << p;
  }
}

}  // namespace
}  // namespace kv770::tools
