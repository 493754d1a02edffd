// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace kv770::hart {

// The engineering-unit list of the four unit boxes. The dynamic-variable
// decoder selects an entry by its position, so order and count are part of
// the window's behaviour; the texts keep their trailing blanks.
inline constexpr int kUnitCount = 77;
inline constexpr int kUnitBoxes = 4;
inline constexpr int kOtherUnit = 76;  // "other": every code not in the list

// Position in the unit list of a HART engineering-unit code.
int UnitPosition(std::uint8_t code);

// Entry `position` (0..76) as unit box `box` (0..3) shows it, in UTF-8. The
// boxes differ only in the blanks after Rankine's "R".
std::string_view UnitText(int position, int box = 0);

// The HART code an entry stands for; -1 for "other".
int UnitCode(int position);

// The symbol written beside a value of a code in the list ("m³/h", "kPa",
// "°C"), or of kilograms per hour (75, "other" in the list), in UTF-8;
// empty for any other code. The list's own texts above stay as the unit
// boxes show them.
std::string_view UnitSymbol(std::uint8_t code);

}  // namespace kv770::hart
