// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "hart/frame.h"
#include "hart/replies.h"
#include "sim/engine.h"
#include "sim/instruments.h"

namespace kv770::sim {
namespace {

using hart::Bytes;

std::string Wire(const Bytes& frame) {
  return std::string(frame.begin(), frame.end());
}

Bytes Received(const std::string& reply) {
  return Bytes(reply.begin(), reply.end());
}

// The window's identity query with seven preamble bytes.
std::string IdentityQuery(std::uint8_t master = 0x80) {
  return Wire(hart::Frame(6, hart::IdentityRequestBody(master)));
}

hart::Identity IdentityOf(const Instrument& i) {
  return {.manufacturer = i.manufacturer,
          .deviceType = i.deviceType,
          .preambles = i.preambles,
          .deviceId = i.deviceId};
}

std::string VariablesQuery(const hart::Identity& id, std::uint8_t master = 0x80) {
  return Wire(hart::Frame(6, hart::VariablesRequestBody(master, id)));
}

// A well-formed reply: five preamble bytes, then the frame with a byte
// count that matches its length and a correct check byte.
::testing::AssertionResult Framed(const std::string& reply, std::uint8_t delimiter,
                                  std::uint8_t command) {
  const Bytes b = Received(reply);
  if (b.size() < 5 + 1 + 1 + 4 + 1) return ::testing::AssertionFailure() << "too short";
  for (int k = 0; k < 5; ++k)
    if (b[k] != 0xFF) return ::testing::AssertionFailure() << "preamble byte " << k;
  if (b[5] != delimiter) return ::testing::AssertionFailure() << "delimiter " << int(b[5]);
  const std::size_t commandAt = 5 + 1 + (delimiter == hart::kLongReply ? 5 : 1);
  if (b[commandAt] != command) return ::testing::AssertionFailure() << "command";
  if (commandAt + 2 + b[commandAt + 1] + 1 != b.size())
    return ::testing::AssertionFailure() << "byte count " << int(b[commandAt + 1]);
  if (hart::CheckByte(std::span(b).subspan(5, b.size() - 6)) != b.back())
    return ::testing::AssertionFailure() << "check byte";
  return ::testing::AssertionSuccess();
}

TEST(HartInstruments, IdentityQueryReachesTheChosenChannel) {
  Engine engine;
  for (int address = 1; address <= kInstrumentCount; ++address) {
    engine.Model().hartAddress = address;
    const std::string reply = engine.Handle(IdentityQuery(), 1000);
    ASSERT_TRUE(Framed(reply, hart::kShortReply, 0)) << address;
    const Bytes b = Received(reply);
    EXPECT_EQ(b[6], 0x80);  // polling address 0, primary master echoed
    EXPECT_EQ(b[8], 14);    // response code, status and 12 data bytes
    EXPECT_EQ(b[9], 0x00);  // response code
    EXPECT_EQ(b[11], 254);  // expansion code
    EXPECT_EQ(hart::DecodeIdentity(b), IdentityOf(InstrumentAt(address))) << address;
  }
}

TEST(HartInstruments, EightDistinctInstruments) {
  for (int a = 1; a <= kInstrumentCount; ++a)
    for (int b = a + 1; b <= kInstrumentCount; ++b)
      EXPECT_NE(IdentityOf(InstrumentAt(a)), IdentityOf(InstrumentAt(b)));
  EXPECT_THROW(InstrumentAt(0), std::out_of_range);
  EXPECT_THROW(InstrumentAt(9), std::out_of_range);
}

TEST(HartInstruments, DynamicVariablesAtTheLongAddress) {
  Engine engine;
  for (int address = 1; address <= kInstrumentCount; ++address) {
    engine.Model().hartAddress = address;
    const Instrument& instrument = InstrumentAt(address);
    const auto id = hart::DecodeIdentity(Received(engine.Handle(IdentityQuery(), 0)));
    ASSERT_TRUE(id);
    const std::int64_t now = 123'456;
    const std::string reply = engine.Handle(VariablesQuery(*id), now);
    ASSERT_TRUE(Framed(reply, hart::kLongReply, 3)) << address;
    EXPECT_EQ(static_cast<std::uint8_t>(reply[12]), 26);  // the complete command 3 reply

    const auto vars = hart::DecodeDynamicVariables(Received(reply));
    ASSERT_EQ(vars.size(), 4u);
    for (int v = 0; v < 4; ++v) {
      EXPECT_EQ(vars[v].unitCode, instrument.units[v]);
      EXPECT_EQ(vars[v].value, static_cast<float>(engine.Variable(address, v + 1, now)));
    }
    const Bytes b = Received(reply);
    EXPECT_EQ(hart::FloatFromBytes(std::span(b).subspan(15).first<4>()),
              static_cast<float>(engine.LoopCurrent(address, now)));
  }
}

TEST(HartInstruments, SecondaryMasterGetsItsAddressEchoed) {
  Engine engine;
  engine.Model().hartAddress = 6;  // manufacturer code above 63
  const std::string identity = engine.Handle(IdentityQuery(0x00), 0);
  ASSERT_TRUE(Framed(identity, hart::kShortReply, 0));
  EXPECT_EQ(static_cast<std::uint8_t>(identity[6]), 0x00);
  const auto id = hart::DecodeIdentity(Received(identity));
  const std::string reply = engine.Handle(VariablesQuery(*id, 0x00), 0);
  ASSERT_TRUE(Framed(reply, hart::kLongReply, 3));
  EXPECT_EQ(static_cast<std::uint8_t>(reply[6]), id->manufacturer & 0x3F);
}

TEST(HartInstruments, SilentToFramesNotForIt) {
  Engine engine;
  engine.Model().hartAddress = 1;
  const hart::Identity own = IdentityOf(InstrumentAt(1));
  // Before an identity query the window sends an all-zero long address.
  EXPECT_EQ(engine.Handle(VariablesQuery(hart::Identity{}), 0), "");
  hart::Identity other = own;
  other.deviceId ^= 1;
  EXPECT_EQ(engine.Handle(VariablesQuery(other), 0), "");
  // Another channel's instrument is not on this line.
  EXPECT_EQ(engine.Handle(VariablesQuery(IdentityOf(InstrumentAt(2))), 0), "");

  std::string bad = VariablesQuery(own);
  bad.back() ^= 0x01;
  EXPECT_EQ(engine.Handle(bad, 0), "");
  const std::string good = VariablesQuery(own);
  for (std::size_t size = 1; size < good.size(); ++size)
    EXPECT_EQ(engine.Handle(good.substr(0, size), 0), "") << size;

  // A short frame carries command 0 to polling address 0 only.
  EXPECT_EQ(engine.Handle(Wire(hart::Frame(5, Bytes{0x02, 0x81, 0x00, 0x00})), 0), "");
  EXPECT_EQ(engine.Handle(Wire(hart::Frame(5, Bytes{0x02, 0x80, 0x03, 0x00})), 0), "");
  // Not a delimiter the instrument knows.
  EXPECT_EQ(engine.Handle(Wire(hart::Frame(5, Bytes{0x01, 0x80, 0x00, 0x00})), 0), "");
}

TEST(HartInstruments, MultidropLoopsAnswerAtTheirPlacesOnly) {
  Engine engine;
  const std::vector<InstrumentPlace> places{{1, 0}, {2, 0}, {2, 5}, {2, 63}, {8, 15}};
  engine.SetInstruments(places);
  for (int channel : {2, 3, 8}) {
    engine.Model().hartAddress = channel;
    for (int polling = 0; polling <= kMaxPollingAddress; ++polling) {
      SCOPED_TRACE(testing::Message() << "channel " << channel << " address " << polling);
      const bool placed =
          std::ranges::find(places, InstrumentPlace{channel, polling}) != places.end();
      const std::string reply =
          engine.Handle(Wire(hart::Frame(5, hart::IdentityRequestBody(0x80, polling))), 0);
      const Instrument there = InstrumentAt(channel, polling);
      // A long frame reaches the instrument with that address, wherever it polls.
      const std::string variables = engine.Handle(VariablesQuery(IdentityOf(there)), 0);
      if (!placed) {
        EXPECT_EQ(reply, "");
        EXPECT_EQ(variables, "");
        continue;
      }
      ASSERT_TRUE(Framed(reply, hart::kShortReply, 0));
      EXPECT_EQ(static_cast<std::uint8_t>(reply[6]), 0x80 | polling);
      EXPECT_EQ(hart::DecodeIdentity(Received(reply)), IdentityOf(there));
      EXPECT_TRUE(Framed(variables, hart::kLongReply, 3));
    }
  }
  // Address 0 is the channel's own instrument; the others have long
  // addresses of their own.
  EXPECT_EQ(IdentityOf(InstrumentAt(2, 0)), IdentityOf(InstrumentAt(2)));
  std::set<std::uint32_t> ids;
  for (int polling = 0; polling <= kMaxPollingAddress; ++polling)
    ids.insert(InstrumentAt(7, polling).deviceId);
  EXPECT_EQ(ids.size(), 64u);
  EXPECT_THROW(InstrumentAt(1, 64), std::out_of_range);
}

TEST(HartInstruments, PlacesNoGatewayHasAreLeftOut) {
  Engine engine;
  engine.SetInstruments({{0, 0}, {9, 0}, {1, 64}, {1, 2}, {1, 2}});
  EXPECT_EQ(engine.Instruments(), (std::vector<InstrumentPlace>{{1, 2}}));
}

TEST(HartInstruments, UnknownCommandIsAnsweredNotImplemented) {
  Engine engine;
  const hart::Identity id = IdentityOf(InstrumentAt(engine.Model().hartAddress));
  Bytes body = hart::VariablesRequestBody(0x80, id);
  body[6] = 200;
  const std::string reply = engine.Handle(Wire(hart::Frame(5, body)), 0);
  ASSERT_TRUE(Framed(reply, hart::kLongReply, 200));
  EXPECT_EQ(static_cast<std::uint8_t>(reply[12]), 2);   // byte count
  EXPECT_EQ(static_cast<std::uint8_t>(reply[13]), 64);  // command not implemented
}

TEST(HartInstruments, TypedCommandsWithDataAreFramedByTheirByteCount) {
  Engine engine;
  const hart::Identity id = IdentityOf(InstrumentAt(1));
  // Command 1 with one (ignored) data byte, and with one preamble byte.
  Bytes body = hart::VariablesRequestBody(0x80, id);
  body[6] = 1;
  body[7] = 1;
  body.push_back(0x00);
  const std::string reply = engine.Handle(Wire(hart::Frame(0, body)), 0);
  ASSERT_TRUE(Framed(reply, hart::kLongReply, 1));
  EXPECT_EQ(static_cast<std::uint8_t>(reply[15]), InstrumentAt(1).units[0]);
}

TEST(HartInstruments, OnlyInTransparentMode) {
  Engine engine;
  engine.Model().workingMode = 1;
  EXPECT_EQ(engine.Handle(IdentityQuery(), 0), "");
}

TEST(HartInstruments, ValuesWanderInTheirBandRepeatAndTheTotalOnlyGrows) {
  Engine engine;
  const Engine other;
  for (int meter = 1; meter <= kInstrumentCount; ++meter) {
    const Instrument& instrument = InstrumentAt(meter);
    const Instrument::Wave* waves[] = {&instrument.flow, &instrument.temperature,
                                       &instrument.pressure};
    double lastTotal = engine.Variable(meter, 4, 0);
    std::set<double> seen[3];
    for (std::int64_t t = 1000; t <= 600'000; t += 1000) {
      const double total = engine.Variable(meter, 4, t);
      EXPECT_GT(total, lastTotal) << meter << " at " << t;
      lastTotal = total;
      for (int v = 1; v <= 3; ++v) {
        const Instrument::Wave& w = *waves[v - 1];
        const double value = engine.Variable(meter, v, t);
        EXPECT_NEAR(value, w.base, w.amplitude) << meter << " variable " << v << " at " << t;
        if (t <= 60'000 && t % 10'000 == 0) seen[v - 1].insert(value);
        // Deterministic: another engine says the same at the same instant.
        EXPECT_EQ(value, other.Variable(meter, v, t));
      }
      const double current = engine.LoopCurrent(meter, t);
      EXPECT_NEAR(current, 4 + 16 * engine.Variable(meter, 1, t) / instrument.flowAt20mA, 1e-9);
      EXPECT_GE(current, 3.8);
      EXPECT_LE(current, 20.5);
    }
    // Not constant over a minute: six samples, six values.
    for (const auto& values : seen) EXPECT_EQ(values.size(), 6u) << meter;
  }
  EXPECT_EQ(engine.Variable(0, 1, 0), 0);
  EXPECT_EQ(engine.Variable(9, 1, 0), 0);
  EXPECT_EQ(engine.Variable(1, 5, 0), 0);
  EXPECT_EQ(engine.LoopCurrent(9, 0), 0);
}

// Meter 3's flow (95 +- 5 kg/min, 20 mA at 150) stepped to 120 at 20 s: it
// leaves its band smoothly, settles within a few seconds, and the loop
// current, the total's rate and the instrument's HART answer go with it.
TEST(HartInstruments, StepMovesTheFlowLikeAProcess) {
  Engine engine;
  const Instrument& instrument = InstrumentAt(3);
  ASSERT_TRUE(engine.Step(3, 120, 20'000));
  for (std::int64_t t : {0, 10'000, 19'900, 20'000, 20'100}) {
    EXPECT_NEAR(engine.Variable(3, 1, t), instrument.flow.base, instrument.flow.amplitude) << t;
  }
  EXPECT_GT(engine.Variable(3, 1, 22'000), instrument.flow.base + instrument.flow.amplitude);
  for (std::int64_t t : {30'000, 40'000, 300'000}) {
    EXPECT_NEAR(engine.Variable(3, 1, t), 120, 1.2) << t;
    EXPECT_NEAR(engine.LoopCurrent(3, t), 4 + 16 * 120.0 / instrument.flowAt20mA, 0.13) << t;
  }
  // 120 kg/min for ten minutes.
  EXPECT_NEAR(engine.Variable(3, 4, 900'000) - engine.Variable(3, 4, 300'000), 1200, 12);
  EXPECT_NEAR(engine.Variable(2, 1, 30'000), InstrumentAt(2).flow.base,
              InstrumentAt(2).flow.amplitude);

  engine.Model().hartAddress = 3;
  const auto vars = hart::DecodeDynamicVariables(
      Received(engine.Handle(VariablesQuery(IdentityOf(instrument)), 30'000)));
  ASSERT_EQ(vars.size(), 4u);
  EXPECT_EQ(vars[0].value, static_cast<float>(engine.Variable(3, 1, 30'000)));
}

TEST(HartInstruments, StepRefusesWhatNoProcessCanDo) {
  Engine engine;
  EXPECT_FALSE(engine.Step(0, 10, 0));
  EXPECT_FALSE(engine.Step(9, 10, 0));
  EXPECT_FALSE(engine.Step(1, -0.5, 0));
  EXPECT_FALSE(engine.Step(1, std::numeric_limits<double>::quiet_NaN(), 0));
  EXPECT_FALSE(engine.Step(1, std::numeric_limits<double>::infinity(), 0));
  EXPECT_FALSE(engine.Step(1, 10, -1));
  for (int meter = 1; meter <= kInstrumentCount; ++meter) EXPECT_TRUE(engine.Steps(meter).empty());
  EXPECT_EQ(engine.Variable(1, 1, 5000), Engine().Variable(1, 1, 5000));
}

}  // namespace
}  // namespace kv770::sim
