// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "gateway/commands.h"
#include "sim/engine.h"

namespace kv770::sim {
namespace {

bool Refused(const std::string& reply) {
  return reply.starts_with("ERR:");
}

TEST(HartSettings, AddressAndChannelTestChooseTheTransparentChannel) {
  Engine engine;
  EXPECT_EQ(engine.Handle(gateway::HartAddressCommand(7), 0), "OK:HCS#");
  EXPECT_EQ(engine.Model().hartAddress, 8);
  EXPECT_EQ(engine.Handle(gateway::ChannelTestCommand(2), 0), "OK:MCS#");
  EXPECT_EQ(engine.Model().hartAddress, 3);
  EXPECT_EQ(engine.Handle("QQS#HCS:5#\r\n", 0), "OK:HCS#");
  EXPECT_EQ(engine.Model().hartAddress, 5);

  // The window sends '0' while no address is picked: not a channel.
  for (const char* bad : {"QQS#HCS:0#", "QQS#HCS:9#", "QQS#HCS:12#", "QQS#HCS:3", "QQS#MCS:/#",
                          "QQS#HCS:#", "QQS#MCS:3#x"})
    EXPECT_TRUE(Refused(engine.Handle(bad, 0))) << bad;
  EXPECT_EQ(engine.Model().hartAddress, 5);
}

TEST(HartSettings, ReadMeterCommandsAreStoredByteForByte) {
  Engine engine;
  const std::uint8_t two[] = {0x01, 0x03};
  EXPECT_EQ(engine.Handle(gateway::ReadMeterCommand(0, 1, 1, two), 0), "OK:CAMD#");
  // Byte values that look like the command's own characters.
  const std::uint8_t tricky[] = {'#', 0x00, 0xFF, ',', '\n'};
  EXPECT_EQ(engine.Handle(gateway::ReadMeterCommand(2, 2, 0, tricky), 0), "OK:CAMD#");
  EXPECT_EQ(engine.Model().meters[0].readCommands[0].enable, 1);
  EXPECT_EQ(engine.Model().meters[0].readCommands[0].bytes, (std::vector<std::uint8_t>{1, 3}));
  EXPECT_EQ(engine.Model().meters[2].readCommands[1].enable, 0);
  EXPECT_EQ(engine.Model().meters[2].readCommands[1].bytes,
            std::vector<std::uint8_t>(std::begin(tricky), std::end(tricky)));
}

TEST(HartSettings, MalformedReadMeterCommandChangesNothing) {
  Engine engine;
  const std::uint8_t two[] = {0x01, 0x03};
  ASSERT_EQ(engine.Handle(gateway::ReadMeterCommand(0, 1, 1, two), 0), "OK:CAMD#");
  const std::string good = gateway::ReadMeterCommand(0, 1, 0, two);
  for (const std::string& bad : {good.substr(0, good.size() - 1),           // a byte missing
                                 good + "\x05",                             // a byte too many
                                 gateway::ReadMeterCommand(0, 1, -1, two),  // no enable chosen
                                 gateway::ReadMeterCommand(-1, 1, 1, two),  // no meter
                                 std::string("QQS#CAMD03:1<02,\x01\x03"),   // command 3
                                 std::string("QQS#CAMD01:1<00,"),           // no bytes
                                 std::string("QQS#CAMD01:1<15,") + std::string(15, '\x01'),
                                 std::string("QQS#CAMD01:1,02,\x01\x03")})
    EXPECT_TRUE(Refused(engine.Handle(bad, 0))) << bad;
  EXPECT_EQ(engine.Model().meters[0].readCommands[0].enable, 1);
  EXPECT_EQ(engine.Model().meters[0].readCommands[0].bytes, (std::vector<std::uint8_t>{1, 3}));
}

TEST(HartSettings, ParsingFormatSetsBitsAndTheFourVariables) {
  Engine engine;
  EXPECT_EQ(engine.Handle("QQS#MDBS0:8,1050,0000,0000,0000#", 0), "OK:MDBS#");
  const MeterMapping& m0 = engine.Model().meters[0];
  EXPECT_EQ(m0.addressBits, 8);
  EXPECT_EQ(m0.parse[0].command, 1);
  EXPECT_EQ(m0.parse[0].start, 5);
  EXPECT_EQ(m0.parse[0].length, 0);

  EXPECT_EQ(engine.Handle(gateway::ParsingFormatCommand(
                              7, 0, {{{2, 99, 1}, {1, 10, 0}, {2, 0, 1}, {1, 42, 1}}}),
                          0),
            "OK:MDBS#");
  const MeterMapping& m7 = engine.Model().meters[7];
  EXPECT_EQ(m7.addressBits, 3);
  EXPECT_EQ(m7.parse[3].command, 1);
  EXPECT_EQ(m7.parse[3].start, 42);
  EXPECT_EQ(m7.parse[3].length, 1);
}

TEST(HartSettings, ParsingFormatWithoutSelectionsIsRefused) {
  Engine engine;
  ASSERT_EQ(engine.Handle("QQS#MDBS0:8,1050,0000,0000,0000#", 0), "OK:MDBS#");
  for (const char* bad : {"QQS#MDBS0:2,/05/,/00/,/00/,/00/#", "QQS#MDBS0:8,3050,0000,0000,0000#",
                          "QQS#MDBS0:8,1:00,0000,0000,0000#", "QQS#MDBS0:8,1052,0000,0000,0000#",
                          "QQS#MDBS8:8,1050,0000,0000,0000#", "QQS#MDBS0:8,1050,0000,0000,0000",
                          "QQS#MDBS0:8,1050,0000,0000#"})
    EXPECT_TRUE(Refused(engine.Handle(bad, 0))) << bad;
  EXPECT_EQ(engine.Model().meters[0].addressBits, 8);
  EXPECT_EQ(engine.Model().meters[0].parse[0].start, 5);
}

}  // namespace
}  // namespace kv770::sim
