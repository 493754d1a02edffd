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

}  // namespace

int UnitPosition(std::uint8_t code) {
  return kPositions[code];
}

std::string_view UnitText(int position, int box) {
  if (position < 0 || position >= kUnitCount || box < 0 || box >= kUnitBoxes)
    throw std::out_of_range("no such unit entry");
  return position == kRankine ? kRankineTexts[box] : kUnits[position].text;
}

int UnitCode(int position) {
  if (position < 0 || position >= kUnitCount) throw std::out_of_range("no such unit entry");
  return kUnits[position].code;
}

}  // namespace kv770::hart
