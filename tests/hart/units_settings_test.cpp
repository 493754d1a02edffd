// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "hart/units.h"

namespace kv770::hart {
namespace {

TEST(HartUnitTable, CodesSelectTheirEntries) {
  struct Case {
    int code;
    int position;
    const char* text;
  };
  for (Case c :
       {Case{32, 12, "\xE2\x84\x83  "}, Case{33, 13, "\xE2\x84\x89  "}, Case{237, 11, "MPa    "},
        Case{57, 75, "%"}, Case{61, 46, "kg        "}, Case{62, 47, "MetTon    "},
        Case{1, 0, "inH20 "}, Case{165, 74, "british_thermal_unit "}, Case{113, 38, "CuIn"},
        Case{19, 19, "CuMtr_hr "}}) {
    EXPECT_EQ(UnitPosition(static_cast<std::uint8_t>(c.code)), c.position) << c.code;
    EXPECT_EQ(UnitText(c.position), c.text) << c.code;
  }
}

TEST(HartUnitTable, MetricTonsPerMinuteIsCode77AndKilogramsPerHourIsOther) {
  EXPECT_EQ(UnitPosition(77), 55);
  EXPECT_EQ(UnitText(55), "metTOM_min ");
  EXPECT_EQ(UnitPosition(75), kOtherUnit);
}

TEST(HartUnitTable, EveryOtherCodeSelectsOther) {
  EXPECT_EQ(UnitText(kOtherUnit), "other");
  std::set<int> listed;
  for (int p = 0; p < kUnitCount - 1; ++p) {
    const int code = UnitCode(p);
    EXPECT_TRUE(listed.insert(code).second) << "code " << code << " twice";
    EXPECT_EQ(UnitPosition(static_cast<std::uint8_t>(code)), p);
  }
  EXPECT_EQ(listed.size(), 76u);
  for (int code = 0; code < 256; ++code)
    if (!listed.contains(code)) {
      EXPECT_EQ(UnitPosition(static_cast<std::uint8_t>(code)), kOtherUnit);
    }
  for (int code : {0, 250, 255, 75, 9, 10}) EXPECT_EQ(UnitPosition(code), kOtherUnit) << code;
}

TEST(HartUnitTable, BoxesDifferOnlyInRankine) {
  EXPECT_EQ(UnitText(14, 0), "R ");
  EXPECT_EQ(UnitText(14, 1), "R   ");
  EXPECT_EQ(UnitText(14, 2), "R     ");
  EXPECT_EQ(UnitText(14, 3), "R    ");
  for (int box = 1; box < kUnitBoxes; ++box)
    for (int p = 0; p < kUnitCount; ++p)
      if (p != 14) {
        EXPECT_EQ(UnitText(p, box), UnitText(p, 0));
      }
  EXPECT_THROW(UnitText(kUnitCount), std::out_of_range);
  EXPECT_THROW(UnitText(0, kUnitBoxes), std::out_of_range);
}

}  // namespace
}  // namespace kv770::hart
