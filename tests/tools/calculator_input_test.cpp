// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/calculator_input.h"

#include <gtest/gtest.h>

#include "tools/float_text.h"

namespace kv770::tools {
namespace {

using Error = CalculatorInput::Error;

// What the calculator's "Value:" box shows for a typed text, or the error.
std::string Calculate(std::string_view text) {
  const CalculatorInput input = ParseCalculatorInput(text);
  switch (input.error) {
    case Error::NoSeparator:
      return "<no separator>";
    case Error::IllegalCharacters:
      return "<illegal>";
    case Error::None:
      break;
  }
  return CalculatorText(input.Pattern());
}

TEST(CalculatorInput, FourPairsMostSignificantFirst) {
  const CalculatorInput input = ParseCalculatorInput("41 20 00 0A");
  EXPECT_EQ(input.error, Error::None);
  EXPECT_EQ(input.bytes, (std::array<std::uint8_t, 4>{0x41, 0x20, 0x00, 0x0A}));
  EXPECT_EQ(input.Pattern(), 0x4120000Au);
  EXPECT_EQ(Calculate("41 20 00 00"), "10");
  EXPECT_EQ(Calculate("C1 20 00 00"), "-10");
  EXPECT_EQ(Calculate("FF FF FF FF"), "NAN");
}

TEST(CalculatorInput, FewerPairsLeaveLowBytesZero) {
  EXPECT_EQ(ParseCalculatorInput("41").Pattern(), 0x41000000u);
  EXPECT_EQ(Calculate("41"), "8");
  EXPECT_EQ(Calculate("41 20"), "10");
  EXPECT_EQ(Calculate("41 20 01"), "10.0002441");
}

TEST(CalculatorInput, PairsBeyondTheFourthAreCheckedThenIgnored) {
  EXPECT_EQ(Calculate("41 20 00 00 12"), "10");
  EXPECT_EQ(Calculate("41 20 00 00 12 34"), "10");
  EXPECT_EQ(Calculate("41 20 00 00 1g"), "<illegal>");
}

TEST(CalculatorInput, EveryThirdCharacterMustBeABlank) {
  EXPECT_EQ(Calculate("4120 0000"), "<no separator>");
  EXPECT_EQ(Calculate("41-20-00-00"), "<no separator>");
  EXPECT_EQ(Calculate("41 20 00 00 1234"), "<no separator>");
  // The separator check comes first: a missing blank wins over a bad digit.
  EXPECT_EQ(Calculate("4x2x"), "<no separator>");
  // Below three characters no separator is looked at.
  EXPECT_EQ(Calculate("4"), "<illegal>");
}

TEST(CalculatorInput, IllegalDigits) {
  EXPECT_EQ(Calculate("41 2G 00 00"), "<illegal>");
  EXPECT_EQ(Calculate("41 20 00 0a"), "<illegal>");  // lower case is not accepted
  EXPECT_EQ(Calculate("41 20 0  00"), "<illegal>");  // a blank as a digit
  EXPECT_EQ(Calculate(std::string_view("41 2\0 00 00", 11)), "<illegal>");
  // A bad pair early does not stop the later ones from being read.
  const CalculatorInput input = ParseCalculatorInput("ZZ 20 00 01");
  EXPECT_EQ(input.error, Error::IllegalCharacters);
  EXPECT_EQ(input.bytes[1], 0x20);
  EXPECT_EQ(input.bytes[3], 0x01);
}

TEST(CalculatorInput, APairRunningPastTheEndIsIllegal) {
  EXPECT_EQ(Calculate(""), "<illegal>");
  EXPECT_EQ(Calculate("41 20 00 0"), "<illegal>");
  EXPECT_EQ(Calculate("41 20 00 00 "), "<illegal>");  // trailing blank
  EXPECT_EQ(Calculate("41 "), "<illegal>");
}

}  // namespace
}  // namespace kv770::tools
