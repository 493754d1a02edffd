// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/commands.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <vector>

#include "gateway/fields.h"

namespace kv770::gateway {
namespace {

TEST(FieldEncodings, ListAndMeterDigits) {
  EXPECT_EQ(ListDigit(0), '0');
  EXPECT_EQ(ListDigit(3), '3');
  EXPECT_EQ(ListDigit(-1), '/');  // nothing selected
  EXPECT_EQ(MeterDigit(0), '0');  // meter 1
  EXPECT_EQ(MeterDigit(7), '7');  // meter 8
  EXPECT_EQ(ListPositionTwoDigits(5), "05");
  EXPECT_EQ(ListPositionTwoDigits(13), "13");
  EXPECT_EQ(ListPositionTwoDigits(-1), "0/");  // truncation toward zero
}

TEST(FieldEncodings, FixedWidthNumbersRefuseWhatDoesNotFit) {
  EXPECT_EQ(ThreeDigits(0), "000");
  EXPECT_EQ(ThreeDigits(5), "005");
  EXPECT_EQ(ThreeDigits(247), "247");
  EXPECT_EQ(ThreeDigits(999), "999");
  EXPECT_EQ(TwoDigits(5), "05");
  EXPECT_EQ(TwoDigits(99), "99");
  // Unchecked, these would put ':' or '/' into a field the gateway reads
  // as digits.
  EXPECT_THROW(ThreeDigits(1000), std::out_of_range);
  EXPECT_THROW(ThreeDigits(-1), std::out_of_range);
  EXPECT_THROW(TwoDigits(100), std::out_of_range);
  EXPECT_THROW(TwoDigits(-1), std::out_of_range);
  EXPECT_THROW(SlaveAddress(1000), std::out_of_range);
  EXPECT_THROW(PollingInterval(-5), std::out_of_range);
  EXPECT_THROW(PollingSetupCommand(0, {.bufferClearTime = 1000}), std::out_of_range);
}

TEST(FieldEncodings, ReportNumbersFollowThePlatformConversion) {
  EXPECT_EQ(ToInteger("7"), 7);
  EXPECT_EQ(ToInteger("05"), 5);
  EXPECT_EQ(ToInteger(" 5"), 5);
  EXPECT_EQ(ToInteger("+5"), 5);
  EXPECT_EQ(ToInteger("-1"), -1);
  EXPECT_EQ(ToInteger("$F"), 15);
  EXPECT_EQ(ToInteger("0x1f"), 31);
  EXPECT_EQ(ToInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ToInteger("2147483647"), INT_MAX);
  EXPECT_EQ(ToInteger("-2147483648"), INT_MIN);
  for (const char* bad :
       {"", " ", "-", "+", "$", "0x", "5 ", "1a", ",", ":", "/", "2147483648", "$100000000"}) {
    EXPECT_EQ(ToInteger(bad), std::nullopt) << '"' << bad << '"';
  }
  EXPECT_EQ(ToInteger(std::string_view("\0", 1)), std::nullopt);
}

TEST(SystemCommands, Rs485Settings) {
  EXPECT_EQ(Rs485Settings(3, 0), "QQS#BA1:30#");  // 9600, none
  EXPECT_EQ(Rs485Settings(6, 2), "QQS#BA1:62#");  // 57600, even
  EXPECT_EQ(Rs485Settings(0, 1), "QQS#BA1:01#");  // 1200, odd
  EXPECT_EQ(Rs485Settings(-1, -1), "QQS#BA1://#");
  EXPECT_EQ(Rs485Settings(3, 0).size(), 11u);
}

TEST(SystemCommands, SingleValueSettings) {
  EXPECT_EQ(WorkingMode(0), "QQS#MD:0#");
  EXPECT_EQ(WorkingMode(1), "QQS#MD:1#");
  EXPECT_EQ(WorkingMode(-1), "QQS#MD:/#");
  EXPECT_EQ(SlaveAddress(1), "QQS#ADR:001#");
  EXPECT_EQ(SlaveAddress(7), "QQS#ADR:007#");
  EXPECT_EQ(SlaveAddress(247), "QQS#ADR:247#");
  EXPECT_EQ(PollingInterval(5), "QQS#JTM:005#");
  EXPECT_EQ(PollingInterval(50), "QQS#JTM:050#");
  EXPECT_EQ(ParameterReset(), "QQS#RESET#");
  EXPECT_EQ(HiddenCommand(0), "QQS#YB:00#");
  EXPECT_EQ(HiddenCommand(1), "QQS#YB:01#");
  EXPECT_EQ(SystemReportQuery(), "QQQ#QX#");
}

TEST(SystemCommands, BoardSerialIsZeroFilledButNeverCut) {
  EXPECT_EQ(BoardSerial(0, 1), "TAVELK#PCBSN:00000000,001#");
  EXPECT_EQ(BoardSerial(0, 1).size(), 26u);
  EXPECT_EQ(BoardSerial(123, 5), "TAVELK#PCBSN:00000123,005#");
  EXPECT_EQ(BoardSerial(123456789, 1234), "TAVELK#PCBSN:123456789,1234#");
  EXPECT_EQ(BoardSerial(-5, 1), "TAVELK#PCBSN:-00000005,001#");
  EXPECT_EQ(BoardSerial(INT_MIN, 0), "TAVELK#PCBSN:-2147483648,000#");
}

TEST(MappingCommands, PollingSetup) {
  // Meter 8, type 13, close, secondary master, 4 preambles, 0 s.
  EXPECT_EQ(PollingSetupCommand(7, {.enable = 0,
                                    .deviceMode = 0,
                                    .instrumentType = 13,
                                    .preamblePosition = 0,
                                    .bufferClearTime = 0}),
            "QQS#HART7:0,0,13,4,000#");
  // Meter 1, open, master, type 5, 6 preambles, 10 s.
  EXPECT_EQ(PollingSetupCommand(0, {.enable = 1,
                                    .deviceMode = 1,
                                    .instrumentType = 5,
                                    .preamblePosition = 2,
                                    .bufferClearTime = 10}),
            "QQS#HART0:1,1,05,6,010#");
  // Everything unselected, as right after a change of meter.
  const std::string unset = PollingSetupCommand(2, {.bufferClearTime = 0});
  EXPECT_EQ(unset, "QQS#HART2:/,/,0/,3,000#");
  EXPECT_EQ(unset.size(), 23u);
}

TEST(MappingCommands, ByteOrders) {
  EXPECT_EQ(ByteOrdersCommand(0, {0, 0, 0, 0, 3}), "QQS#DFOT0:00003#");
  EXPECT_EQ(ByteOrdersCommand(1, {0, 0, 0, 0, 0}), "QQS#DFOT1:00000#");
  EXPECT_EQ(ByteOrdersCommand(7, {1, 2, 3, 0, 1}), "QQS#DFOT7:12301#");
  EXPECT_EQ(ByteOrdersCommand(0, {-1, -1, -1, -1, -1}), "QQS#DFOT0://///#");
}

TEST(MappingCommands, CoefficientsTravelAsTyped) {
  EXPECT_EQ(CoefficientsCommand(3, {"-1.5", "2", "0.001", "1.000"}),
            "QQS#XISH3:-1.5,2,0.001,1.000#");
  const std::string initial = CoefficientsCommand(0, {"1.000", "1.000", "1.000", "1.000"});
  EXPECT_EQ(initial, "QQS#XISH0:1.000,1.000,1.000,1.000#");
  EXPECT_EQ(initial.size(), 34u);
  EXPECT_EQ(CoefficientsCommand(-1, {"", "", "", ""}), "QQS#XISH-1:,,,#");
}

TEST(MappingCommands, ModbusReportQuery) {
  EXPECT_EQ(ModbusReportQuery(0), "QQQ#QQ0#");
  EXPECT_EQ(ModbusReportQuery(1), "QQQ#QQ1#");
  EXPECT_EQ(ModbusReportQuery(7), "QQQ#QQ7#");
}

TEST(CustomMeterCommands, ReadMeterCommandCarriesTheBytesThemselves) {
  const std::uint8_t two[] = {0x01, 0x03};
  EXPECT_EQ(ReadMeterCommand(0, 1, 1, two), std::string("QQS#CAMD01:1<02,\x01\x03", 18));

  std::vector<std::uint8_t> fourteen(14);
  for (int i = 0; i < 14; ++i) fourteen[i] = static_cast<std::uint8_t>(0xF0 + i);
  const std::string command = ReadMeterCommand(2, 2, 0, fourteen);
  EXPECT_EQ(command.size(), 30u);
  EXPECT_EQ(command.substr(0, 16), "QQS#CAMD22:0<14,");
  EXPECT_EQ(static_cast<std::uint8_t>(command.back()), 0xFD);
  EXPECT_EQ(command.find('#', 4), std::string::npos);  // no closing '#'

  EXPECT_EQ(ReadMeterCommand(0, 1, -1, two).substr(0, 16), "QQS#CAMD01:/<02,");
  fourteen.push_back(0);
  EXPECT_THROW(ReadMeterCommand(0, 1, 1, fourteen), std::out_of_range);
  EXPECT_THROW(ReadMeterCommand(0, 1, 1, {}), std::out_of_range);
  EXPECT_THROW(ReadMeterCommand(0, 3, 1, two), std::out_of_range);
}

TEST(CustomMeterCommands, ParsingFormatWithAndWithoutSelections) {
  EXPECT_EQ(ParsingFormatCommand(0, 5, {{{1, 5, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}),
            "QQS#MDBS0:8,1050,0000,0000,0000#");
  EXPECT_EQ(ParsingFormatCommand(0, -1, {{{-1, 5, -1}, {-1, 0, -1}, {-1, 0, -1}, {-1, 0, -1}}}),
            "QQS#MDBS0:2,/05/,/00/,/00/,/00/#");
  const std::string full =
      ParsingFormatCommand(7, 6, {{{2, 99, 1}, {1, 10, 0}, {2, 0, 1}, {1, 42, 1}}});
  EXPECT_EQ(full, "QQS#MDBS7:9,2991,1100,2001,1421#");
  EXPECT_EQ(full.size(), 32u);
  // Two digits cannot carry 100: it would go out as ':' '0'.
  EXPECT_THROW(ParsingFormatCommand(0, 5, {{{1, 100, 0}, {}, {}, {}}}), std::out_of_range);
  EXPECT_THROW(ParsingFormatCommand(0, 5, {{{1, -1, 0}, {}, {}, {}}}), std::out_of_range);
}

}  // namespace
}  // namespace kv770::gateway
