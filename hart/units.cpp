// SPDX-License-Identifier: GPL-3.0-or-later
#include "hart/units.h"

#include <array>
#include <stdexcept>

namespace kv770::hart {

namespace {

struct Unit {
  std::string_view text;
  int code;
};

constexpr int kRankine = 14;

// Codes from the HART engineering-unit code table. Metric tons per minute
// is code 77 there (75 is kilograms per hour, which the list does not
// carry, so 75 shows "other").
constexpr std::array<Unit, kUnitCount> kUnits{{
    {"inH20 ", 1},
    {"inhg  ", 2},
    {"FtH20  ", 3},
    {"mmH20 ", 4},
    {"mmHg   ", 5},
    {"psi   ", 6},
    {"bar    ", 7},
    {"mbar   ", 8},
    {"Pa     ", 11},
    {"KPa   ", 12},
    {"ATM    ", 14},
    {"MPa    ", 237},
    {"\xE2\x84\x83  ", 32},  // degree Celsius sign
    {"\xE2\x84\x89  ", 33},  // degree Fahrenheit sign
    {"R ", 34},
    {"Kelvin ", 35},
    {"CuFt_min ", 15},
    {"gal_min  ", 16},
    {"l_min   ", 17},
    {"CuMtr_hr ", 19},
    {"l_s      ", 24},
    {"Cuft_s  ", 26},
    {"CuMtr_s  ", 28},
    {"CuMtr_min ", 131},
    {"gal_hr    ", 136},
    {"l_hr      ", 138},
    {"ft_s      ", 20},
    {"mtr_s    ", 21},
    {"in_s      ", 114},
    {"in_min    ", 115},
    {"ft_min   ", 116},
    {"mtr_hr    ", 120},
    {"gal      ", 40},
    {"liter    ", 41},
    {"CuMtr       ", 43},
    {"bbl      ", 46},
    {"CuYd     ", 111},
    {"CuFt      ", 112},
    {"CuIn", 113},
    {"bbl_liq      ", 124},
    {"ft        ", 44},
    {"M    ", 45},
    {"in         ", 47},
    {"cm       ", 48},
    {"mm       ", 49},
    {"gram     ", 60},
    {"kg        ", 61},
    {"MetTon    ", 62},
    {"lb       ", 63},
    {"ounce     ", 125},
    {"g_s       ", 70},
    {"g_min     ", 71},
    {"g_hr     ", 72},
    {"kg_s     ", 73},
    {"kg_min   ", 74},
    {"metTOM_min ", 77},
    {"metton_hr  ", 78},
    {"lb_s       ", 80},
    {"lb_min     ", 81},
    {"lb_hr      ", 82},
    {"g_CuCM     ", 91},
    {"KG_CuMtr   ", 92},
    {"lb_gal    ", 93},
    {"lb_Cuft    ", 94},
    {"g_ml      ", 95},
    {"kb_l       ", 96},
    {"g_l        ", 97},
    {"centi_stokes ", 54},
    {"cpoise       ", 55},
    {"mewtom_meter  ", 69},
    {"deka_therm    ", 89},
    {"foot_pound_force ", 126},
    {"kilo_watt_hour    ", 128},
    {"mega_joule       ", 164},
    {"british_thermal_unit ", 165},
    {"%", 57},
    {"other", -1},
}};

constexpr std::array<std::string_view, kUnitBoxes> kRankineTexts{"R ", "R   ", "R     ", "R    "};

constexpr std::array<std::int8_t, 256> PositionsByCode() {
  std::array<std::int8_t, 256> positions{};
  for (auto& p : positions) p = kOtherUnit;
  for (int i = 0; i < kUnitCount; ++i)
    if (kUnits[i].code >= 0) positions[kUnits[i].code] = static_cast<std::int8_t>(i);
  return positions;
}

constexpr std::array<std::int8_t, 256> kPositions = PositionsByCode();

struct Symbol {
  int code;
  std::string_view text;
};

// Each code of the list above with the symbol a reader expects beside a
// value, and kilograms per hour, which instruments send though the list
// lacks it. Litres as "l", US gallons as "gal", metric tons as "t".
constexpr auto kSymbols = std::to_array<Symbol>({
    {1, "inH2O"},
    {2, "inHg"},
    {3, "ftH2O"},
    {4, "mmH2O"},
    {5, "mmHg"},
    {6, "psi"},
    {7, "bar"},
    {8, "mbar"},
    {11, "Pa"},
    {12, "kPa"},
    {14, "atm"},
    {237, "MPa"},
    {32, "\302\260C"},  // degree sign (octal: a hex escape would take the C)
    {33, "\302\260F"},
    {34, "\302\260R"},
    {35, "K"},
    {15, "ft\xC2\xB3/min"},  // superscript three
    {16, "gal/min"},
    {17, "l/min"},
    {19, "m\xC2\xB3/h"},
    {24, "l/s"},
    {26, "ft\xC2\xB3/s"},
    {28, "m\xC2\xB3/s"},
    {131, "m\xC2\xB3/min"},
    {136, "gal/h"},
    {138, "l/h"},
    {20, "ft/s"},
    {21, "m/s"},
    {114, "in/s"},
    {115, "in/min"},
    {116, "ft/min"},
    {120, "m/h"},
    {40, "gal"},
    {41, "l"},
    {43, "m\xC2\xB3"},
    {46, "bbl"},
    {111, "yd\xC2\xB3"},
    {112, "ft\xC2\xB3"},
    {113, "in\xC2\xB3"},
    {124, "bbl liq"},
    {44, "ft"},
    {45, "m"},
    {47, "in"},
    {48, "cm"},
    {49, "mm"},
    {60, "g"},
    {61, "kg"},
    {62, "t"},
    {63, "lb"},
    {125, "oz"},
    {70, "g/s"},
    {71, "g/min"},
    {72, "g/h"},
    {73, "kg/s"},
    {74, "kg/min"},
    {75, "kg/h"},  // "other" in the list
    {77, "t/min"},
    {78, "t/h"},
    {80, "lb/s"},
    {81, "lb/min"},
    {82, "lb/h"},
    {91, "g/cm\xC2\xB3"},
    {92, "kg/m\xC2\xB3"},
    {93, "lb/gal"},
    {94, "lb/ft\xC2\xB3"},
    {95, "g/ml"},
    {96, "kg/l"},
    {97, "g/l"},
    {54, "cSt"},
    {55, "cP"},
    {69, "N\xC2\xB7m"},  // middle dot
    {89, "Dth"},
    {126, "ft\xC2\xB7lbf"},
    {128, "kWh"},
    {164, "MJ"},
    {165, "Btu"},
    {57, "%"},
});

constexpr std::array<std::string_view, 256> SymbolsByCode() {
  std::array<std::string_view, 256> symbols{};
  for (const Symbol& s : kSymbols) symbols[s.code] = s.text;
  return symbols;
}

constexpr std::array<std::string_view, 256> kSymbolsByCode = SymbolsByCode();

// Every code of the list has its symbol.
static_assert([] {
  for (const Unit& u : kUnits)
    if (u.code >= 0 && kSymbolsByCode[u.code].empty()) return false;
  return true;
}());

}  // namespace

int UnitPosition(std::uint8_t code) {
  return kPositions[code];
}

std::string_view UnitText(int position, int box) {
  if (position < 0 || position >= kUnitCount || box < 0 || box >= kUnitBoxes)
    throw std::out_of_range("no such unit entry");
  return position == kRankine ? kRankineTexts[box] : kUnits[position].text;
}

std::string_view UnitSymbol(std::uint8_t code) {
  return kSymbolsByCode[code];
}

int UnitCode(int position) {
  if (position < 0 || position >= kUnitCount) throw std::out_of_range("no such unit entry");
  return kUnits[position].code;
}

}  // namespace kv770::hart
