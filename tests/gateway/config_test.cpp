// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/config.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "gateway/sample_config.h"

namespace kv770::gateway {
namespace {

using testing::Sample;

// The message of the ReportError `f` throws, or "no refusal".
template <typename F>
std::string Refusal(F f) {
  try {
    f();
  } catch (const ReportError& e) {
    return e.what();
  }
  return "no refusal";
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(Reports, SystemReportBecomesSettings) {
  const SystemSettings s = SystemFromReport("QX#BA1:41,MD:1,ADR:017,JTM:100#");
  EXPECT_EQ(s, (SystemSettings{19200, 1, 1, 17, 100}));
}

TEST(Reports, IncompleteOrOddReportsAreTheGatewaysFault) {
  const auto refusal = [](std::string_view reply) {
    return Refusal([&] { SystemFromReport(reply); });
  };
  EXPECT_EQ(refusal("BA1:30,MD:0,ADR:001,JTM:050"),
            std::string("system report: the reply holds no system report (no \"QX\")"));
  EXPECT_EQ(refusal("QX#BA1:30,MD:0,ADR:001#"), std::string("system report: no polling interval"));
  EXPECT_EQ(refusal("QX#BA1:90,MD:0,ADR:001,JTM:050#"),
            std::string("system report: baud rate code 9 is none the window offers (0 to 6)"));
  EXPECT_EQ(refusal("QX#BA1:x0,MD:0,ADR:001,JTM:050#"),
            std::string("system report: 'x' is not a valid integer value"));
  EXPECT_EQ(refusal("QX#BA1:30,MD:0,ADR:0-1,JTM:050#"),
            "system report: slave address '0-1' is not a valid integer value");
}

TEST(Reports, CustomMeterReportCarriesItsParsing) {
  const MeterSettings m = MeterFromReport(
      1,
      "QQ0#HART0:1,1,00,6,030,DFO0:12301,XISH0:2.500,-1.50,0.001,9.999,ZDY0:7,1051,0000,"
      "0000,0000,MD:1,CAMD01:1,03,01 03 00,CAMD02:0,00,#");
  EXPECT_EQ(m, Sample().meters[0]);
  // Another type: the custom groups are neither read nor required.
  const MeterSettings other =
      MeterFromReport(3, "QQ2#HART2:0,0,05,5,000,DFO2:00000,XISH2:1.000,1.000,1.000,1.000#");
  EXPECT_EQ(other.instrumentType, 5);
  EXPECT_FALSE(other.custom);
  EXPECT_EQ(Refusal([] { MeterFromReport(2, "QQ1#HART1:1,0,00,5,010,DFO1:00000#"); }),
            std::string("MODBUS report of meter 2: no coefficient 1"));
}

TEST(Commands, RestoreWritesMetersThenTheLinkSettingsLast) {
  const std::vector<Request> requests = RestoreCommands(Sample());
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().bytes, "QQS#BA1:41#");
  EXPECT_EQ(requests.front().bytes, "QQS#HART0:1,1,00,6,030#");
  std::vector<std::string> all;
  for (const Request& r : requests) all.push_back(r.bytes);
  EXPECT_TRUE(Contains(all, "QQS#MDBS0:7,1051,0000,0000,0000#"));
  EXPECT_TRUE(Contains(all, std::string("QQS#CAMD01:1<03,\x01\x03\x00", 19)));
  // An empty read-meter command cannot be written; a non-custom meter has
  // no parsing commands at all.
  for (const std::string& r : all) EXPECT_FALSE(r.starts_with("QQS#CAMD02")) << r;
  for (const std::string& r : all) EXPECT_FALSE(r.starts_with("QQS#MDBS2")) << r;
  // 3 per meter, the parsing format of the 7 custom meters, meter 1's read
  // command, 4 system.
  EXPECT_EQ(requests.size(), 8u * 3 + 7 + 1 + 4);
}

TEST(Differences, NameEachSettingAndReadCoefficientsAsNumbers) {
  GatewayConfig wanted = Sample();
  GatewayConfig actual = Sample();
  EXPECT_TRUE(Differences(wanted, actual).empty());
  wanted.meters[0].coefficients[0] = "2.5";  // the gateway echoes "2.500"
  EXPECT_TRUE(Differences(wanted, actual).empty());
  actual.meters[0].custom->readCommands[0].bytes = {0x02};
  actual.system.slaveAddress = 1;
  EXPECT_EQ(Differences(wanted, actual),
            (Lines{"slave address: 17 wanted, the gateway has 1",
                   "meter 1 read-meter command 1 bytes: 01 03 00 wanted, the gateway has 02"}));
  actual.meters[0].custom.reset();
  EXPECT_TRUE(Contains(Differences(1, wanted.meters[0], actual.meters[0]),
                       "meter 1 custom parsing: present wanted, the gateway has none reported"));
}

}  // namespace
}  // namespace kv770::gateway
