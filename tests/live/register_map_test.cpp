// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/register_map.h"

#include <gtest/gtest.h>

#include <functional>

#include "gateway/sample_config.h"

namespace kv770::live {
namespace {

using gateway::GatewayConfig;

struct MapCase {
  const char* name;
  std::function<GatewayConfig()> config;
  std::vector<std::string> csvRows;  // without the header and the CR LF
  std::vector<std::string> notes;
};

GatewayConfig WithMeters(std::initializer_list<int> enabled, int workingMode = 1) {
  GatewayConfig c;
  c.system.workingMode = workingMode;
  for (int meter : enabled) {
    c.meters[static_cast<std::size_t>(meter - 1)].enabled = 1;
    c.meters[static_cast<std::size_t>(meter - 1)].instrumentType = 5;
  }
  return c;
}

const MapCase kCases[] = {
    {"CustomMeterListsOnlyParsedVariables",
     gateway::testing::Sample,
     {"40001,0,1,current,IEEE 754 float,FF2 FF1 FF4 FF3,,mA",
      "40003,2,1,variable 1,Uint32,FF4 FF3 FF2 FF1,2.500,"},
     {"Meter 1 (custom meter): variables 2, 3, 4 not parsed from any reply; their registers hold "
      "no value.",
      "Meters 2, 3, 4, 5, 6, 7, 8 disabled: the gateway does not poll them, so their registers "
      "hold no value."}},
    {"FloatAndUint32OrdersInTransparentMode",
     [] {
       GatewayConfig c = WithMeters({2}, 0);
       c.meters[1].byteOrders = {1, 0, 1, 2, 3};
       c.meters[1].coefficients = {"1.000", "0.5", "-2", "10.00"};
       return c;
     },
     {"40011,10,2,current,IEEE 754 float,FF2 FF1 FF4 FF3,,mA",
      "40013,12,2,variable 1,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40015,14,2,variable 2,IEEE 754 float,FF2 FF1 FF4 FF3,0.5,",
      "40017,16,2,variable 3,Uint32,FF4 FF3 FF2 FF1,-2,",
      "40019,18,2,variable 4,Uint32,FF2 FF1 FF4 FF3,10.00,"},
     {"The gateway is in transparent mode: it presents these registers in MODBUS RTU mode only.",
      "Meters 1, 3, 4, 5, 6, 7, 8 disabled: the gateway does not poll them, so their registers "
      "hold no value."}},
    {"DisabledMeterLeavesItsPlaceEmpty",
     [] {
       GatewayConfig c = WithMeters({1, 3, 4, 5, 6, 7, 8});
       c.meters[2].byteOrders = {gateway::kUnset, 3, 0, 0, 0};  // unset reads as 0
       c.meters[3].enabled = c.meters[4].enabled = c.meters[5].enabled = 0;
       c.meters[6].enabled = c.meters[7].enabled = 0;
       return c;
     },
     {"40001,0,1,current,IEEE 754 float,FF4 FF3 FF2 FF1,,mA",
      "40003,2,1,variable 1,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40005,4,1,variable 2,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40007,6,1,variable 3,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40009,8,1,variable 4,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40021,20,3,current,IEEE 754 float,FF4 FF3 FF2 FF1,,mA",
      "40023,22,3,variable 1,Uint32,FF2 FF1 FF4 FF3,1.000,",
      "40025,24,3,variable 2,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40027,26,3,variable 3,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,",
      "40029,28,3,variable 4,IEEE 754 float,FF4 FF3 FF2 FF1,1.000,"},
     {"Meters 2, 4, 5, 6, 7, 8 disabled: the gateway does not poll them, so their registers hold "
      "no value."}},
    {"NothingEnabled",
     [] { return WithMeters({}); },
     {},
     {"No meter is enabled: the registers hold no value."}},
};

class RegisterMapTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(RegisterMapTest, RowsAndNotes) {
  const GatewayConfig config = GetParam().config();
  std::string expected =
      "register,PDU address,meter,quantity,data type,byte order,coefficient,unit\r\n";
  for (const std::string& row : GetParam().csvRows) expected += row + "\r\n";
  EXPECT_EQ(RegisterMapCsv(RegisterMap(config)), expected);
  EXPECT_EQ(RegisterMapNotes(config), GetParam().notes);
}

INSTANTIATE_TEST_SUITE_P(Configurations, RegisterMapTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegisterMapCsv, QuotesFieldsAsRfc4180) {
  RegisterRow row{40001, 0, 1, "current", "IEEE 754 float", "FF4 FF3 FF2 FF1", "1,5", "\"x\""};
  EXPECT_EQ(RegisterMapCsv({row}).substr(RegisterMapCsv({}).size()),
            "40001,0,1,current,IEEE 754 float,FF4 FF3 FF2 FF1,\"1,5\",\"\"\"x\"\"\"\r\n");
}

TEST(RegisterMapHeading, NamesTheMastersSettings) {
  gateway::SystemSettings s{.baudRate = 19200, .parity = 2, .workingMode = 1, .slaveAddress = 17};
  EXPECT_EQ(RegisterMapHeading(s),
            (std::vector<std::string>{"slave address 17", "RS-485 19200 bit/s, parity even",
                                      "working mode MODBUS RTU"}));
}

}  // namespace
}  // namespace kv770::live
