// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "base/integer_text.h"

namespace kv770::gateway {

// How the window's values become characters of a gateway command. The
// gateway reads every field at a fixed position, so each encoding yields a
// fixed number of characters.

// Largest values that fit a three- or two-digit field. A bigger one would
// put a non-digit character into the frame, so callers refuse it.
inline constexpr int kThreeDigitMax = 999;
inline constexpr int kTwoDigitMax = 99;

// A combo box's list position as one character: '0' + position, and '/'
// (the character before '0') when nothing is selected (-1); the command is
// sent with the '/' in it and the gateway decides what to make of it.
char ListDigit(int position);

// The meter chosen in "Meter ID:" (position 0 for meter 1): '0' to '7'.
char MeterDigit(int meterPosition);

// A list position as two digits, tens first ("05", "13"). No selection
// truncates toward zero like the rest of the arithmetic: "0/".
std::string ListPositionTwoDigits(int position);

// A number as exactly three (or two) decimal digits, zero-filled: 5 gives
// "005". Throws std::out_of_range for a value outside 0..999 (0..99), so a
// caller that skipped the range check cannot send a corrupt frame.
std::string ThreeDigits(int value);
std::string TwoDigits(int value);

// Report fields are numbers as the user types them: the same conversion.
using base::ToInteger;

}  // namespace kv770::gateway
