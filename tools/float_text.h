// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace kv770::tools {

// Value texts of single-precision numbers, widened exactly to double and
// written with at most 15 significant digits, trailing zeros dropped.
//
// Both texts are cut to a width for their box. A cut may drop fraction
// digits only: where it would drop integer digits or the exponent, the whole
// text is shown, since a cut there would show another number.

// The IEEE 754 calculator: the bit pattern (most significant byte first),
// general format (fixed when -3 <= E <= 15, else scientific; "INF", "-INF",
// "NAN"), cut to 10 characters.
std::string CalculatorText(std::uint32_t pattern, char decimalSeparator = '.');
// The same text before the cut.
std::string CalculatorTextUncut(std::uint32_t pattern, char decimalSeparator = '.');

// A HART dynamic variable: fixed notation when |v| >= 0.00001 with at most 15
// integer digits, scientific otherwise; cut to 9 characters.
std::string HartValueText(float value, char decimalSeparator = '.');
std::string HartValueTextUncut(float value, char decimalSeparator = '.');

}  // namespace kv770::tools
