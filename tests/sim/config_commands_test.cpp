// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <string>

#include "gateway/commands.h"
#include "gateway/reports.h"
#include "sim/engine.h"

namespace kv770::sim {
namespace {

constexpr const char* kBad = "ERR:BAD PARAMETER#";

class ConfigCommandsTest : public ::testing::Test {
 protected:
  std::string Send(const std::string& request) { return engine.Handle(request, 0); }

  // A command the gateway refuses: error text and nothing changed.
  void ExpectRefused(const std::string& request) {
    const GatewayModel before = engine.Model();
    const std::string reply = Send(request);
    EXPECT_TRUE(reply.starts_with("ERR:") && reply.ends_with("#")) << request << " -> " << reply;
    EXPECT_TRUE(engine.Model() == before) << request;
  }

  Engine engine;
};

TEST_F(ConfigCommandsTest, SystemSettingsChangeTheModel) {
  EXPECT_EQ(Send("QQS#BA1:62#"), "OK:BA1#");
  EXPECT_EQ(Send("QQS#MD:1#"), "OK:MD#");
  EXPECT_EQ(Send("QQS#ADR:247#"), "OK:ADR#");
  EXPECT_EQ(Send("QQS#JTM:005#"), "OK:JTM#");
  EXPECT_EQ(Send("TAVELK#PCBSN:00000123,005#"), "OK:PCBSN#");
  EXPECT_EQ(Send("QQS#YB:01#"), "OK:YB#");
  const GatewayModel& m = engine.Model();
  EXPECT_EQ(m.baudCode, 6);
  EXPECT_EQ(m.parityCode, 2);
  EXPECT_EQ(m.workingMode, 1);
  EXPECT_EQ(m.slaveAddress, 247);
  EXPECT_EQ(m.pollingInterval, 5);
  EXPECT_EQ(m.boardSerial, "00000123");
  EXPECT_EQ(m.inspector, "005");
  EXPECT_EQ(Send("QQQ#QX#"), "QX#BA1:62,MD:1,ADR:247,JTM:005#");
}

TEST_F(ConfigCommandsTest, MappingSettingsChangeOneMeter) {
  EXPECT_EQ(Send("QQS#HART2:0,1,13,9,999#"), "OK:HART#");
  EXPECT_EQ(Send("QQS#DFOT2:13210#"), "OK:DFOT#");
  EXPECT_EQ(Send("QQS#XISH2:-1.5,2,0.001,12.34#"), "OK:XISH#");
  const MeterMapping& m = engine.Model().meters[2];
  EXPECT_EQ(m.enable, 0);
  EXPECT_EQ(m.deviceRole, 1);
  EXPECT_EQ(m.instrumentType, 13);
  EXPECT_EQ(m.preambles, 9);
  EXPECT_EQ(m.bufferClearTime, 999);
  EXPECT_EQ(m.byteOrders, (std::array<int, 5>{1, 3, 2, 1, 0}));
  EXPECT_EQ(m.coefficients, (std::array<std::string, 4>{"-1.50", "2.000", "0.001", "12.34"}));
  EXPECT_TRUE(engine.Model().meters[1] == MeterMapping{});
  EXPECT_EQ(Send("QQQ#QQ2#"), "QQ2#HART2:0,1,13,9,999,DFO2:13210,XISH2:-1.50,2.000,0.001,12.34#");
}

TEST_F(ConfigCommandsTest, CoefficientsAreKeptInFiveCharacters) {
  const std::pair<const char*, const char*> cases[] = {
      {"1", "1.000"},    {"12345", "12345"},  {"1234", "01234"},
      {"-123", "-0123"}, {"-9999", "-9999"},  {".5", "0.500"},
      {"5.", "5.000"},   {"9.9999", "10.00"}, {"007", "7.000"},
  };
  for (const auto& [typed, kept] : cases) {
    ASSERT_EQ(Send(std::string("QQS#XISH0:") + typed + ",1,1,1#"), "OK:XISH#") << typed;
    EXPECT_EQ(engine.Model().meters[0].coefficients[0], kept) << typed;
  }
  for (const char* bad : {"", "-", ".", "1.2.3", "1-2", "--1", "123456", "-12345", "1e3", " 1"})
    ExpectRefused(std::string("QQS#XISH0:") + bad + ",1,1,1#");
}

TEST_F(ConfigCommandsTest, MalformedCommandsChangeNothing) {
  Send("QQS#HART0:1,1,05,6,010#");
  for (const char* request : {
           "QQS#BA1://#",                 // lists with nothing selected
           "QQS#BA1:70#",                 // no eighth baud rate
           "QQS#BA1:33#",                 // no fourth parity
           "QQS#BA1:3#",                  // short
           "QQS#BA1:300#",                // long
           "QQS#BA1:30",                  // unclosed
           "QQS#MD:2#",                   // no third mode
           "QQS#ADR:000#",                // not a slave address
           "QQS#ADR:248#",                //
           "QQS#ADR:1:0#",                // what 1000 would have looked like
           "QQS#ADR:01#",                 //
           "QQS#JTM:0/5#",                //
           "QQS#RESET#X",                 //
           "QQS#YB:02#",                  //
           "QQS#HART8:1,1,05,6,010#",     // no ninth meter
           "QQS#HART/:1,1,05,6,010#",     //
           "QQS#HART0:1,1,14,6,010#",     // no type 14
           "QQS#HART0:1,1,0/,3,010#",     // everything cleared
           "QQS#HART0:1,1,05,6,010",      //
           "QQS#HART0:1;1,05,6,010#",     //
           "QQS#DFOT0:20000#",            // the current is always a float
           "QQS#DFOT0:0004#",             //
           "QQS#XISH-1:1,1,1,1#",         // no meter chosen
           "QQS#XISH0:1,1,1#",            // three coefficients
           "QQS#XISH0:1,1,1,1,1#",        //
           "QQS#XISH0:1,1,1,1",           //
           "TAVELK#PCBSN:123,005#",       // serial shorter than eight digits
           "TAVELK#PCBSN:00000123,05#",   //
           "TAVELK#PCBSN:-0000005,001#",  //
           "QQQ#QX",                      //
           "QQQ#QQ8#",                    //
           "QQQ#QQ0",                     //
       }) {
    ExpectRefused(request);
  }
  EXPECT_EQ(Send("QQS#NOPE:1#"), Engine::kUnknownCommand);
  EXPECT_EQ(Send("QQQ#ZZ#"), Engine::kUnknownCommand);
}

TEST_F(ConfigCommandsTest, ToleratesLineEndFromHandTypedSessions) {
  EXPECT_EQ(Send("QQS#MD:1#\r\n"), "OK:MD#");
  EXPECT_EQ(Send("QQQ#QX#\n").substr(0, 3), "QX#");
}

TEST_F(ConfigCommandsTest, ResetRestoresFactoryValuesButNotTheBoardIdentity) {
  Send("QQS#BA1:62#");
  Send("QQS#ADR:017#");
  Send("QQS#HART4:0,1,13,9,999#");
  Send("QQS#XISH4:2,2,2,2#");
  Send("TAVELK#PCBSN:12345678,101#");
  engine.Model().meters[4].readCommands[0].bytes = {1, 2};
  EXPECT_EQ(Send("QQS#RESET#"), "OK:RESET#");
  GatewayModel factory;
  factory.boardSerial = "12345678";
  factory.inspector = "101";
  EXPECT_TRUE(engine.Model() == factory);
}

// The reports decode, with the tool's own decoders, to what the model holds.
TEST_F(ConfigCommandsTest, ReportsSitWhereTheDecodersReadThem) {
  Send("QQS#BA1:41#");
  Send("QQS#MD:1#");
  Send("QQS#ADR:017#");
  Send("QQS#JTM:100#");
  const gateway::SystemReport s = gateway::DecodeSystemReport(Send("QQQ#QX#"));
  EXPECT_EQ(s.baud, 4);
  EXPECT_EQ(s.parity, 1);
  EXPECT_EQ(s.workingMode, 1);
  EXPECT_EQ(s.slaveAddress, "017");
  EXPECT_EQ(s.pollingInterval, "100");
  EXPECT_EQ(s.badNumber, std::nullopt);

  Send("QQS#HART5:1,1,00,7,020#");
  Send("QQS#DFOT5:13201#");
  Send("QQS#XISH5:0.5,-2,3,4.25#");
  MeterMapping& m = engine.Model().meters[5];
  m.addressBits = 3;
  m.parse = {{{1, 12, 0}, {2, 5, 1}, {0, 0, 0}, {1, 99, 1}}};
  m.readCommands[0] = {1, {0x01, 0xAB, 0xFF}};
  const std::string reply = Send("QQQ#QQ5#");
  EXPECT_NE(reply.find("HART5:"), std::string::npos);  // the meter digit after every tag
  EXPECT_NE(reply.find("ZDY5:"), std::string::npos);
  EXPECT_NE(reply.find("CAMD52:"), std::string::npos);
  const gateway::ModbusReport r = gateway::DecodeModbusReport(reply, -1);
  EXPECT_EQ(r.enable, 1);
  EXPECT_EQ(r.deviceMode, 1);
  EXPECT_EQ(r.instrumentType, 0);
  EXPECT_EQ(r.preamblePosition, 3);
  EXPECT_EQ(r.bufferClearTime, "020");
  EXPECT_EQ(r.byteOrders, (std::array<std::optional<int>, 5>{1, 3, 2, 0, 1}));
  EXPECT_EQ(r.coefficients,
            (std::array<std::optional<std::string>, 4>{"0.500", "-2.00", "3.000", "4.250"}));
  EXPECT_EQ(r.custom, true);
  EXPECT_EQ(r.addressBitsPosition, 0);
  EXPECT_EQ(r.variables[0].command, 1);
  EXPECT_EQ(r.variables[0].start, "12");
  EXPECT_EQ(r.variables[1].start, "05");
  EXPECT_EQ(r.variables[1].length, 1);
  EXPECT_EQ(r.variables[3].start, "99");
  EXPECT_EQ(r.workingMode, 1);
  EXPECT_EQ(r.readCommands[0].enable, 1);
  EXPECT_EQ(r.readCommands[0].text, "01 AB FF");
  EXPECT_EQ(r.readCommands[1].enable, 0);
  EXPECT_EQ(r.readCommands[1].text, "");
  EXPECT_EQ(r.badNumber, std::nullopt);
}

TEST_F(ConfigCommandsTest, StandardMetersReportNoCustomGroups) {
  Send("QQS#HART0:1,0,05,6,010#");
  const std::string reply = Send("QQQ#QQ0#");
  for (const char* tag : {"ZDY", "MD:", "CAMD"}) EXPECT_EQ(reply.find(tag), std::string::npos);
  EXPECT_EQ(gateway::DecodeModbusReport(reply, 0).custom, false);
}

// The serial path hands the decoder at most 255 characters of a reply.
TEST_F(ConfigCommandsTest, LongestReportFitsOneSerialBlock) {
  Send("QQS#ADR:247#");
  for (int meter = 0; meter < 8; ++meter) {
    MeterMapping& m = engine.Model().meters[static_cast<std::size_t>(meter)];
    m.bufferClearTime = 999;
    m.coefficients = {"-9999", "-9999", "-9999", "-9999"};
    m.readCommands[0] = {1, std::vector<std::uint8_t>(14, 0xFF)};
    m.readCommands[1] = {1, std::vector<std::uint8_t>(20, 0xFF)};  // more than a command holds
    const std::string reply = Send(gateway::ModbusReportQuery(meter));
    EXPECT_LE(reply.size(), 255u);
    EXPECT_EQ(gateway::DecodeModbusReport(reply, 0).readCommands[1].text->size(), 14u * 3 - 1);
  }
}

// Random parameters after every head: a printable answer closed by '#',
// and the model changes only when the gateway says OK.
TEST_F(ConfigCommandsTest, RandomParametersNeverCorruptTheModel) {
  std::mt19937 random(770);
  const char heads[][16] = {"QQS#BA1:",  "QQS#MD:",       "QQS#ADR:", "QQS#JTM:",
                            "QQS#RESET", "QQS#YB:",       "QQS#HART", "QQS#DFOT",
                            "QQS#XISH",  "TAVELK#PCBSN:", "QQQ#QX",   "QQQ#QQ"};
  const std::string alphabet = "0123456789,:#.-/ \r\n\xff";
  std::uniform_int_distribution<std::size_t> head(0, std::size(heads) - 1);
  std::uniform_int_distribution<std::size_t> length(0, 30);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string request = heads[head(random)];
    for (std::size_t n = length(random); n > 0; --n) request += alphabet[pick(random)];
    const GatewayModel before = engine.Model();
    const std::string reply = Send(request);
    ASSERT_TRUE(!reply.empty() && reply.back() == '#') << request;
    for (unsigned char c : reply) ASSERT_TRUE(c >= 0x20 && c < 0x7F) << request;
    if (!reply.starts_with("OK:")) {
      ASSERT_TRUE(engine.Model() == before) << request << " -> " << reply;
    }
  }
}

}  // namespace
}  // namespace kv770::sim

namespace kv770::sim {
namespace {

// A gateway told to refuse one kind of set command answers it as one with
// a bad parameter and keeps its settings; every other kind still works.
TEST(RefusedSetCommands, AnswerAsBadParametersAndChangeNothing) {
  const std::map<std::string_view, std::string> commands{
      {"BA1", "QQS#BA1:62#"},
      {"MD", "QQS#MD:1#"},
      {"ADR", "QQS#ADR:009#"},
      {"JTM", "QQS#JTM:005#"},
      {"RESET", "QQS#RESET#"},
      {"YB", "QQS#YB:01#"},
      {"HART", "QQS#HART0:1,1,05,6,010#"},
      {"DFOT", "QQS#DFOT2:13210#"},
      {"XISH", "QQS#XISH2:-1.5,2,0.001,12.34#"},
      {"HCS", "QQS#HCS:5#"},
      {"MCS", "QQS#MCS:4#"},
      {"CAMD", std::string("QQS#CAMD01:1<02,\x01\x03")},
      {"MDBS", "QQS#MDBS0:5,1001,1041,2001,0000#"},
      {"PCBSN", "TAVELK#PCBSN:00000123,005#"},
  };
  ASSERT_EQ(commands.size(), Engine::SetCommandMnemonics().size());
  for (std::string_view refused : Engine::SetCommandMnemonics()) {
    Engine engine;
    engine.Model().slaveAddress = 7;  // so that a reset changes something
    engine.SetRefused({std::string(refused)});
    const GatewayModel before = engine.Model();
    EXPECT_EQ(engine.Handle(commands.at(refused), 0), Engine::kBadParameter) << refused;
    EXPECT_TRUE(engine.Model() == before) << refused;
    for (const auto& [mnemonic, command] : commands) {
      if (mnemonic == refused) continue;
      EXPECT_EQ(engine.Handle(command, 0), "OK:" + std::string(mnemonic) + "#") << refused;
    }
  }
}

}  // namespace
}  // namespace kv770::sim
