// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/reports.h"

#include <gtest/gtest.h>

#include <string>

namespace kv770::gateway {
namespace {

using Opt = std::optional<int>;
using Text = std::optional<std::string>;

// ---- system report -------------------------------------------------------------

TEST(SystemReportDecoder, ReadsEveryGroup) {
  const SystemReport r = DecodeSystemReport("QX#BA1:41,MD:1,ADR:017,JTM:100#");
  EXPECT_TRUE(r.marker);
  EXPECT_EQ(r.baud, 4);  // 19200
  EXPECT_EQ(r.parity, 1);
  EXPECT_EQ(r.workingMode, 1);
  EXPECT_EQ(r.slaveAddress, "017");
  EXPECT_EQ(r.pollingInterval, "100");
  EXPECT_EQ(r.badNumber, std::nullopt);
}

TEST(SystemReportDecoder, GroupsInAnyOrderAndTheFirstCounts) {
  const SystemReport r =
      DecodeSystemReport("JTM:100 noise ADR:017 MD:1..BA1:41 QX ADR:099 BA1:00 MD:0");
  EXPECT_EQ(r.baud, 4);
  EXPECT_EQ(r.parity, 1);
  EXPECT_EQ(r.workingMode, 1);
  EXPECT_EQ(r.slaveAddress, "017");
  EXPECT_EQ(r.pollingInterval, "100");
}

TEST(SystemReportDecoder, NothingWithoutTheMarker) {
  for (const char* reply : {"BA1:30,MD:1,ADR:017,JTM:100#", "Q X BA1:30", "qx BA1:30", ""}) {
    const SystemReport r = DecodeSystemReport(reply);
    EXPECT_FALSE(r.marker) << reply;
    EXPECT_EQ(r.baud, std::nullopt) << reply;
    EXPECT_EQ(r.slaveAddress, std::nullopt) << reply;
  }
}

TEST(SystemReportDecoder, MissingGroupsLeaveTheirFieldsEmpty) {
  const SystemReport r = DecodeSystemReport("QX,JTM:005#");
  EXPECT_TRUE(r.marker);
  EXPECT_EQ(r.baud, std::nullopt);
  EXPECT_EQ(r.parity, std::nullopt);
  EXPECT_EQ(r.workingMode, std::nullopt);
  EXPECT_EQ(r.slaveAddress, std::nullopt);
  EXPECT_EQ(r.pollingInterval, "005");
}

TEST(SystemReportDecoder, StopsAtABadDigitKeepingWhatCameBefore) {
  SystemReport r = DecodeSystemReport("QX#BA1:4x,MD:1,ADR:017,JTM:100#");
  EXPECT_EQ(r.baud, 4);
  EXPECT_EQ(r.parity, std::nullopt);
  EXPECT_EQ(r.workingMode, std::nullopt);
  EXPECT_EQ(r.slaveAddress, std::nullopt);
  EXPECT_EQ(r.pollingInterval, std::nullopt);
  EXPECT_EQ(r.badNumber, "x");

  r = DecodeSystemReport("QX#BA1:41,MD:-,ADR:017#");
  EXPECT_EQ(r.parity, 1);
  EXPECT_EQ(r.workingMode, std::nullopt);
  EXPECT_EQ(r.slaveAddress, std::nullopt);
  EXPECT_EQ(r.badNumber, "-");
}

TEST(SystemReportDecoder, ReplyEndingInsideAField) {
  SystemReport r = DecodeSystemReport("QX#BA1:4");
  EXPECT_EQ(r.baud, 4);
  EXPECT_EQ(r.badNumber, "");  // nothing there to convert
  r = DecodeSystemReport("QX#MD:");
  EXPECT_EQ(r.badNumber, "");
  // Text fields take what is there.
  r = DecodeSystemReport("QX#JTM:1");
  EXPECT_EQ(r.pollingInterval, "1");
  r = DecodeSystemReport("QX#ADR:");
  EXPECT_EQ(r.slaveAddress, "");
  EXPECT_EQ(r.badNumber, std::nullopt);
}

TEST(SystemReportDecoder, TextFieldsAndListNumbersAsTheyStand) {
  const SystemReport r = DecodeSystemReport("QX#BA1:92,ADR:a-1,JTM:9#");
  EXPECT_EQ(r.baud, 9);  // beyond the list: the window selects nothing
  EXPECT_EQ(r.slaveAddress, "a-1");
  EXPECT_EQ(r.pollingInterval, "9#");
}

// ---- MODBUS report ---------------------------------------------------------------

// A custom meter's full report, laid out as the gateway sends it.
const std::string kCustomReport =
    "QQ0#HART0:1,1,00,6,010,DFO0:01230,XISH0:1.000,2.500,0.100,9.999,"
    "ZDY0:8,1120,0000,2051,0991,MD:1,CAMD01:1,03,01 02 03,CAMD02:0,00,#";

TEST(ModbusReportDecoder, PollingSetupOfAStandardMeterHidesTheCustomPart) {
  const ModbusReport r = DecodeModbusReport(
      "QQ0#HART0:1,0,05,6,010,ZDY0:8,1120,0000,0000,0000,MD:1,CAMD01:1,03,01 02 03#", 0);
  EXPECT_TRUE(r.marker);
  EXPECT_EQ(r.enable, 1);
  EXPECT_EQ(r.deviceMode, 0);
  EXPECT_EQ(r.instrumentType, 5);
  EXPECT_EQ(r.preamblePosition, 2);  // "6"
  EXPECT_EQ(r.bufferClearTime, "010");
  EXPECT_EQ(r.custom, false);
  EXPECT_EQ(r.addressBitsPosition, std::nullopt);
  EXPECT_EQ(r.workingMode, std::nullopt);
  EXPECT_EQ(r.readCommands[0].enable, std::nullopt);
  EXPECT_EQ(r.badNumber, std::nullopt);
}

TEST(ModbusReportDecoder, CustomMeterFillsEverything) {
  const ModbusReport r = DecodeModbusReport(kCustomReport, 5);
  EXPECT_EQ(r.instrumentType, 0);
  EXPECT_EQ(r.custom, true);
  EXPECT_EQ(r.byteOrders, (std::array<Opt, 5>{0, 1, 2, 3, 0}));
  EXPECT_EQ(r.coefficients, (std::array<Text, 4>{"1.000", "2.500", "0.100", "9.999"}));
  EXPECT_EQ(r.addressBitsPosition, 5);  // "8"
  EXPECT_EQ(r.variables[0].command, 1);
  EXPECT_EQ(r.variables[0].start, "12");
  EXPECT_EQ(r.variables[0].length, 0);
  EXPECT_EQ(r.variables[1].command, 0);
  EXPECT_EQ(r.variables[1].start, "00");
  EXPECT_EQ(r.variables[2].command, 2);
  EXPECT_EQ(r.variables[2].start, "05");
  EXPECT_EQ(r.variables[2].length, 1);
  EXPECT_EQ(r.variables[3].command, 0);
  EXPECT_EQ(r.variables[3].start, "99");
  EXPECT_EQ(r.variables[3].length, 1);
  EXPECT_EQ(r.workingMode, 1);
  EXPECT_EQ(r.readCommands[0].enable, 1);
  EXPECT_EQ(r.readCommands[0].text, "01 02 03");
  EXPECT_EQ(r.readCommands[1].enable, 0);
  EXPECT_EQ(r.readCommands[1].text, "");
  EXPECT_EQ(r.badNumber, std::nullopt);
}

TEST(ModbusReportDecoder, WithoutPollingSetupTheShownTypeDecides) {
  const std::string reply = "QQ#DFO0:00000,ZDY0:3,1120,0000,0000,0000#";
  ModbusReport r = DecodeModbusReport(reply, 0);
  EXPECT_EQ(r.custom, true);
  EXPECT_EQ(r.addressBitsPosition, 0);
  r = DecodeModbusReport(reply, -1);  // type list cleared by a change of meter
  EXPECT_EQ(r.custom, false);
  EXPECT_EQ(r.addressBitsPosition, std::nullopt);
  EXPECT_EQ(r.byteOrders[4], 0);
}

TEST(ModbusReportDecoder, NumbersBeyondAListAreReturnedAsSent) {
  const ModbusReport r = DecodeModbusReport("QQ#HART0:1,0,20,3,010,ZDY0:2,1120#", 0);
  EXPECT_EQ(r.instrumentType, 20);
  EXPECT_EQ(r.preamblePosition, -1);  // '3': below the list "4".."9"
  EXPECT_EQ(r.custom, false);         // no selection counts as not custom
}

TEST(ModbusReportDecoder, GroupsInAnyOrderAndTheFirstCounts) {
  const ModbusReport r = DecodeModbusReport(
      "CAMD02:1,01,FF,XISH3:5.000,6.000,7.000,8.000,HART3 not a group,QQ,HART3:0,1,00,9,999,"
      "MD:0,DFO3:11111,HART3:1,1,05,4,000,CAMD01:0,02,0A 0B,DFO3:00000",
      7);
  EXPECT_EQ(r.enable, 0);
  EXPECT_EQ(r.deviceMode, 1);
  EXPECT_EQ(r.instrumentType, 0);
  EXPECT_EQ(r.preamblePosition, 5);
  EXPECT_EQ(r.bufferClearTime, "999");
  EXPECT_EQ(r.byteOrders, (std::array<Opt, 5>{1, 1, 1, 1, 1}));
  EXPECT_EQ(r.coefficients[3], "8.000");
  EXPECT_EQ(r.workingMode, 0);
  EXPECT_EQ(r.readCommands[0].text, "0A 0B");
  EXPECT_EQ(r.readCommands[1].text, "FF");
}

TEST(ModbusReportDecoder, NothingWithoutTheMarker) {
  const ModbusReport r = DecodeModbusReport("Q0#HART0:1,0,05,6,010,DFO0:01230#", 0);
  EXPECT_FALSE(r.marker);
  EXPECT_EQ(r.enable, std::nullopt);
  EXPECT_EQ(r.byteOrders[0], std::nullopt);
  EXPECT_EQ(r.custom, std::nullopt);
}

TEST(ModbusReportDecoder, ShortCoefficientShiftsTheOthers) {
  const ModbusReport r = DecodeModbusReport("QQ#XISH0:1.5,2.500,0.100,9.999#", 1);
  EXPECT_EQ(r.coefficients, (std::array<Text, 4>{"1.5,2", "500,0", "100,9", "999#"}));
}

TEST(ModbusReportDecoder, StopsAtABadNumberKeepingWhatCameBefore) {
  // Bad instrument type: the enable and the mode were read, nothing after.
  ModbusReport r = DecodeModbusReport("QQ#HART0:1,1,0x,6,010,DFO0:01230#", 0);
  EXPECT_EQ(r.enable, 1);
  EXPECT_EQ(r.deviceMode, 1);
  EXPECT_EQ(r.instrumentType, std::nullopt);
  EXPECT_EQ(r.byteOrders[0], std::nullopt);
  EXPECT_EQ(r.custom, std::nullopt);
  EXPECT_EQ(r.badNumber, "0x");

  // Within the byte orders.
  r = DecodeModbusReport("QQ#DFO0:01?30,XISH0:1.000,2.500,0.100,9.999#", 0);
  EXPECT_EQ(r.byteOrders, (std::array<Opt, 5>{0, 1, std::nullopt, std::nullopt, std::nullopt}));
  EXPECT_EQ(r.coefficients[0], std::nullopt);
  EXPECT_EQ(r.badNumber, "?");

  // The count of a read-meter command: its enable stays, its text is left.
  r = DecodeModbusReport("QQ#CAMD01:1,0 ,01 02#", 0);
  EXPECT_EQ(r.readCommands[0].enable, 1);
  EXPECT_EQ(r.readCommands[0].text, std::nullopt);
  EXPECT_EQ(r.badNumber, " ");
}

TEST(ModbusReportDecoder, ReplyEndingAfterTheFirstVariable) {
  const ModbusReport r = DecodeModbusReport("QQ#ZDY0:8,1120", 0);
  EXPECT_EQ(r.addressBitsPosition, 5);
  EXPECT_EQ(r.variables[0].command, 1);
  EXPECT_EQ(r.variables[0].start, "12");
  EXPECT_EQ(r.variables[0].length, 0);
  EXPECT_EQ(r.variables[1].command, std::nullopt);
  EXPECT_EQ(r.badNumber, "");
}

TEST(ModbusReportDecoder, ReplyEndingInsideTheTwoDigitType) {
  const ModbusReport r = DecodeModbusReport("QQ#HART0:1,1,1", 0);
  EXPECT_EQ(r.deviceMode, 1);
  EXPECT_EQ(r.instrumentType, std::nullopt);  // not type 1: the second digit is missing
  EXPECT_EQ(r.custom, std::nullopt);
  EXPECT_EQ(r.badNumber, "1");
}

TEST(ModbusReportDecoder, ReadMeterCommandCutWhereTheReplyEnds) {
  ModbusReport r = DecodeModbusReport("QQ#CAMD01:1,03,01 0", 0);
  EXPECT_EQ(r.readCommands[0].text, "01 0");
  r = DecodeModbusReport("QQ#CAMD01:1,99,", 0);
  EXPECT_EQ(r.readCommands[0].text, "");
  EXPECT_EQ(r.badNumber, std::nullopt);
}

// Every truncation of a complete report: what is read agrees with the whole
// report, and a stop names only characters that are there.
TEST(ModbusReportDecoder, EveryTruncationReadsOnlyWhatIsThere) {
  const ModbusReport whole = DecodeModbusReport(kCustomReport, 0);
  for (std::size_t n = 0; n <= kCustomReport.size(); ++n) {
    const std::string cut = kCustomReport.substr(0, n);
    const ModbusReport r = DecodeModbusReport(cut, 0);
    SCOPED_TRACE(cut);
    const auto agrees = [](const auto& part, const auto& full) { return !part || part == full; };
    const auto begins = [](const Text& part, const Text& full) {
      return !part || full->starts_with(*part);
    };
    EXPECT_TRUE(agrees(r.enable, whole.enable));
    EXPECT_TRUE(agrees(r.instrumentType, whole.instrumentType));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(agrees(r.byteOrders[i], whole.byteOrders[i]));
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_TRUE(begins(r.coefficients[i], whole.coefficients[i]));
      EXPECT_TRUE(agrees(r.variables[i].command, whole.variables[i].command));
      EXPECT_TRUE(begins(r.variables[i].start, whole.variables[i].start));
    }
    for (std::size_t c = 0; c < 2; ++c)
      EXPECT_TRUE(begins(r.readCommands[c].text, whole.readCommands[c].text));
    if (r.badNumber) {
      EXPECT_LE(r.badNumber->size(), 2u);
      EXPECT_NE(cut.find(*r.badNumber), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace kv770::gateway
