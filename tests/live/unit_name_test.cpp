// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "live/poll_replies.h"

namespace kv770::live {
namespace {

struct UnitCase {
  int code;
  const char* name;  // as the table, the chart, the CSV and kv770ctl write it
};

class UnitNameTest : public ::testing::TestWithParam<UnitCase> {};

// A command 3 reply's unit code as written beside its value: the symbol,
// or the code itself where the code has none.
TEST_P(UnitNameTest, CodeGivesItsSymbol) {
  EXPECT_EQ(UnitName(static_cast<std::uint8_t>(GetParam().code)), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UnitNameTest,
    ::testing::Values(
        UnitCase{1, "inH2O"}, UnitCase{7, "bar"}, UnitCase{12, "kPa"}, UnitCase{237, "MPa"},
        UnitCase{32, "°C"}, UnitCase{33, "°F"}, UnitCase{34, "°R"}, UnitCase{35, "K"},
        UnitCase{17, "l/min"}, UnitCase{19, "m³/h"}, UnitCase{131, "m³/min"}, UnitCase{41, "l"},
        UnitCase{43, "m³"}, UnitCase{45, "m"}, UnitCase{62, "t"}, UnitCase{74, "kg/min"},
        UnitCase{75, "kg/h"}, UnitCase{77, "t/min"}, UnitCase{92, "kg/m³"}, UnitCase{96, "kg/l"},
        UnitCase{69, "N·m"}, UnitCase{57, "%"},
        // codes the unit list does not carry
        UnitCase{0, "unit code 0"}, UnitCase{76, "unit code 76"}, UnitCase{250, "unit code 250"}));

}  // namespace
}  // namespace kv770::live
