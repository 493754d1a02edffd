// SPDX-License-Identifier: GPL-3.0-or-later
// The live-value monitor driven against the simulator's engine, with no
// link between: each exchange's bytes go to Engine::Handle at the driver's
// clock and its reply comes straight back.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <utility>

#include "live/monitor.h"
#include "live/poll_replies.h"
#include "sim/engine.h"
#include "sim/instruments.h"

namespace kv770::live {
namespace {

constexpr std::int64_t kStart = 1'765'000'000'000;  // a wall-clock time, ms
constexpr int kInterval = 1000;

// What the gateway does to the replies of a poll's data exchanges (the
// MODBUS read, HART frames); its ASCII commands are answered as usual.
// kLate holds a reply back and lets it arrive just before the next one.
enum class Fault { kNone, kSilent, kSpoiled, kLate };

struct Driver {
  sim::Engine engine;
  sim::Transport transport = sim::Transport::Tcp;
  Fault fault = Fault::kNone;
  std::int64_t now = kStart;
  std::string held;  // kLate's reply, not yet arrived

  std::string Answer(const Exchange& e) {
    const std::string request(e.bytes.begin(), e.bytes.end());
    std::string reply = engine.Handle(request, now, transport);
    if (request.starts_with("QQ")) return reply;
    if (fault == Fault::kNone) return std::exchange(held, {}) + reply;
    if (fault == Fault::kLate) held = reply;
    if (fault == Fault::kSilent || fault == Fault::kLate) return {};
    if (!reply.empty()) reply.pop_back();  // cut short, as by a line dropout
    return reply;
  }

  // Runs until `polls` more polls have given their samples (or the monitor
  // fails); the clock moves only to the next poll's time.
  std::vector<Sample> Polls(Monitor& m, int polls) {
    std::vector<Sample> samples;
    int done = 0;
    for (int guard = 0; guard < 1000 && done < polls && m.State() != Phase::kFailed; ++guard) {
      if (const std::optional<Exchange> e = m.Next(now)) {
        EXPECT_TRUE(e->complete);
        EXPECT_GT(e->waitMs, 0);
        const std::string reply = Answer(*e);
        m.Reply({reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size()}, now);
      } else {
        now = std::max(now, m.NextPollAt());
      }
      std::vector<Sample> taken = m.TakeSamples();
      if (!taken.empty()) ++done;
      samples.insert(samples.end(), taken.begin(), taken.end());
    }
    return samples;
  }
};

double Coefficient(const sim::MeterMapping& m, int quantity) {
  return std::stod(m.coefficients[static_cast<std::size_t>(quantity - 1)]);
}

// What the gateway's register holds for a value: the engine's reading, times
// the coefficient for a variable, as float or rounded unsigned.
double RegisterTruth(const sim::Engine& e, int meter, int quantity, std::int64_t t) {
  const sim::MeterMapping& m = e.Model().meters[static_cast<std::size_t>(meter - 1)];
  const double reading = quantity == 0 ? e.LoopCurrent(meter, t)
                                       : e.Variable(meter, quantity, t) * Coefficient(m, quantity);
  const int order = m.byteOrders[static_cast<std::size_t>(quantity)];
  if (order == 2 || order == 3)
    return reading > 0 ? std::min(std::round(reading), 4294967295.0) : 0;
  return static_cast<float>(reading);
}

struct ModeCase {
  const char* name;
  sim::Transport transport;
  bool modbus;
  std::vector<int> meters;    // Options::meters
  std::vector<int> expected;  // the meters (channels) polled
};

class MonitorModes : public ::testing::TestWithParam<ModeCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorModes,
    ::testing::Values(ModeCase{"RtuEnabledMeters", sim::Transport::Serial, true, {}, {1, 3, 4}},
                      ModeCase{"TcpEnabledMeters", sim::Transport::Tcp, true, {}, {1, 3, 4}},
                      ModeCase{"TcpChosenMeters", sim::Transport::Tcp, true, {4, 2}, {2, 4}},
                      ModeCase{"TransparentOneChannel", sim::Transport::Tcp, false, {6}, {6}},
                      ModeCase{
                          "TransparentChannels", sim::Transport::Serial, false, {}, {1, 3, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every poll gives one sample per column, stamped with the poll's start,
// each value the one the gateway or the instrument holds at that moment.
TEST_P(MonitorModes, ValuesAreTheGatewaysOwn) {
  const ModeCase& c = GetParam();
  Driver d;
  d.transport = c.transport;
  d.engine.Model().workingMode = c.modbus ? 1 : 0;
  d.engine.Model().slaveAddress = 17;
  for (int m = 1; m <= 8; ++m) {
    sim::MeterMapping& mapping = d.engine.Model().meters[static_cast<std::size_t>(m - 1)];
    mapping.enable = (m == 1 || m == 3 || m == 4) ? 1 : 0;
    mapping.byteOrders = {m % 2, m % 4, (m + 1) % 4, (m + 2) % 4, (m + 3) % 4};
    mapping.coefficients = {"2.500", "1.000", "-0.50", "10.00"};
  }
  Monitor monitor({.serial = c.transport == sim::Transport::Serial,
                   .intervalMs = kInterval,
                   .meters = c.meters});
  const std::vector<Sample> samples = d.Polls(monitor, 3);
  ASSERT_EQ(monitor.State(), Phase::kPolling) << monitor.Error();
  EXPECT_EQ(monitor.ModbusMode(), c.modbus);

  const std::vector<Column> columns = monitor.Columns();
  ASSERT_EQ(columns.size(), 5 * c.expected.size());
  ASSERT_EQ(samples.size(), 3 * columns.size());
  const std::int64_t first = samples.front().timeMs;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    const Column& col = columns[i % columns.size()];
    SCOPED_TRACE("meter " + std::to_string(s.meter) + " " + QuantityName(s.quantity));
    EXPECT_EQ(s.meter, c.expected[i % columns.size() / 5]);
    EXPECT_EQ(s.meter, col.meter);
    EXPECT_EQ(s.quantity, col.quantity);
    EXPECT_EQ(s.timeMs, first + static_cast<std::int64_t>(i / columns.size()) * kInterval);
    ASSERT_EQ(s.status, Status::kOk);
    if (c.modbus) {
      EXPECT_EQ(s.value, RegisterTruth(d.engine, s.meter, s.quantity, s.timeMs));
      const sim::MeterMapping& mapping =
          d.engine.Model().meters[static_cast<std::size_t>(s.meter - 1)];
      EXPECT_EQ(
          col.coefficient,
          s.quantity == 0 ? "" : mapping.coefficients[static_cast<std::size_t>(s.quantity - 1)]);
      EXPECT_EQ(s.unit, s.quantity == 0 ? "mA" : "");
      continue;
    }
    const sim::Instrument instrument = sim::InstrumentAt(s.meter);
    const double truth = s.quantity == 0 ? sim::LoopCurrentAt(instrument, s.timeMs)
                                         : sim::VariableAt(instrument, s.quantity, s.timeMs);
    EXPECT_EQ(s.value, static_cast<float>(truth));
    EXPECT_EQ(s.unit, s.quantity == 0
                          ? "mA"
                          : UnitName(instrument.units[static_cast<std::size_t>(s.quantity - 1)]));
    EXPECT_EQ(col.unit, s.unit);
  }
}

struct FaultCase {
  const char* name;
  sim::Transport transport;
  bool modbus;
  Fault fault;
  Status status;
};

class MonitorFaults : public ::testing::TestWithParam<FaultCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorFaults,
    ::testing::Values(
        FaultCase{"RtuSilent", sim::Transport::Serial, true, Fault::kSilent, Status::kNoAnswer},
        FaultCase{"RtuSpoiled", sim::Transport::Serial, true, Fault::kSpoiled, Status::kBadReply},
        FaultCase{"TcpSilent", sim::Transport::Tcp, true, Fault::kSilent, Status::kNoAnswer},
        FaultCase{"TcpSpoiled", sim::Transport::Tcp, true, Fault::kSpoiled, Status::kBadReply},
        FaultCase{"HartSilent", sim::Transport::Tcp, false, Fault::kSilent, Status::kNoAnswer},
        FaultCase{"HartSpoiled", sim::Transport::Tcp, false, Fault::kSpoiled, Status::kBadReply}),
    [](const auto& info) { return std::string(info.param.name); });

// After a sound poll the gateway goes quiet or garbles its replies: the
// next poll's values are gaps with that status, never the earlier values.
TEST_P(MonitorFaults, AFaultyPollGivesGaps) {
  const FaultCase& c = GetParam();
  Driver d;
  d.transport = c.transport;
  d.engine.Model().workingMode = c.modbus ? 1 : 0;
  Monitor monitor({.serial = c.transport == sim::Transport::Serial, .meters = {2, 5}});
  ASSERT_EQ(d.Polls(monitor, 1).size(), 10u);
  d.fault = c.fault;
  const std::vector<Sample> faulty = d.Polls(monitor, 1);
  ASSERT_EQ(faulty.size(), 10u);
  for (const Sample& s : faulty) {
    EXPECT_EQ(s.status, c.status) << s.meter << " " << s.quantity;
    EXPECT_TRUE(std::isnan(s.value));
  }
  d.fault = Fault::kNone;
  for (const Sample& s : d.Polls(monitor, 1)) EXPECT_EQ(s.status, Status::kOk);
}

// A register holding NaN is the gateway's sign that the meter's instrument
// did not answer it: a gap, not a value.
TEST(Monitor, ANanRegisterIsAGap) {
  Driver d;
  d.engine.Model().workingMode = 1;
  Monitor monitor({.meters = {1, 2}});
  ASSERT_EQ(d.Polls(monitor, 1).size(), 10u);
  const std::optional<Exchange> e = monitor.Next(d.now = monitor.NextPollAt());
  ASSERT_TRUE(e);
  std::string reply = d.Answer(*e);
  // Meter 2's variable 1 (byte order 0): registers 12 and 13.
  reply.replace(9 + 2 * 12, 4, std::string("\x7F\xC0\x00\x00", 4));
  monitor.Reply({reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size()}, d.now);
  for (const Sample& s : monitor.TakeSamples()) {
    const bool nan = s.meter == 2 && s.quantity == 1;
    EXPECT_EQ(s.status, nan ? Status::kNoAnswer : Status::kOk) << s.meter << " " << s.quantity;
    EXPECT_EQ(std::isnan(s.value), nan);
  }
}

// MODBUS TCP: the reply that came late for one poll arrives just before
// the next poll's own; that poll takes its own values, not the stale ones.
TEST(Monitor, ALateTcpReplyIsNotTakenForTheNextPoll) {
  Driver d;
  d.engine.Model().workingMode = 1;
  Monitor monitor({.intervalMs = kInterval, .meters = {1}});
  d.fault = Fault::kLate;
  for (const Sample& s : d.Polls(monitor, 1)) EXPECT_EQ(s.status, Status::kNoAnswer);
  d.fault = Fault::kNone;
  for (const Sample& s : d.Polls(monitor, 1)) {
    ASSERT_EQ(s.status, Status::kOk);
    EXPECT_EQ(s.value, RegisterTruth(d.engine, 1, s.quantity, s.timeMs)) << s.quantity;
  }
}

// A poll started a little late keeps the next on time; polls missed
// altogether (the driver was held up) are not made up in a burst.
TEST(Monitor, PollsKeepTheirPaceAndSkipWhatWasMissed) {
  Driver d;
  d.engine.Model().workingMode = 1;
  Monitor monitor({.intervalMs = kInterval, .meters = {1}});
  d.Polls(monitor, 1);
  const std::int64_t due = monitor.NextPollAt();
  const auto pollAt = [&](std::int64_t t) {
    d.now = t;
    ASSERT_TRUE(monitor.Next(t));
    monitor.Reply({}, t);
    EXPECT_EQ(monitor.TakeSamples().front().timeMs, t);
  };
  pollAt(due + 10);
  EXPECT_EQ(monitor.NextPollAt(), due + kInterval);
  pollAt(due + 5 * kInterval + 3);
  EXPECT_EQ(monitor.NextPollAt(), due + 6 * kInterval + 3);
  EXPECT_FALSE(monitor.Next(due + 6 * kInterval));
}

TEST(Monitor, AChannelWithoutInstrumentIsLeftOutWithANote) {
  Driver d;
  d.engine.SetInstruments({{1, 0}, {3, 0}});
  Monitor monitor({.meters = {1, 2, 3}});
  EXPECT_EQ(d.Polls(monitor, 1).size(), 10u);
  std::vector<int> channels;
  for (const Column& c : monitor.Columns())
    if (c.quantity == 0) channels.push_back(c.meter);
  EXPECT_EQ(channels, (std::vector<int>{1, 3}));
  ASSERT_EQ(monitor.Notes().size(), 1u);
  EXPECT_EQ(monitor.Notes()[0], "channel 2 left out: no instrument answered command 0");
}

TEST(Monitor, NoConfigurationIsAFailureNamingTheQuery) {
  Monitor silent({});
  ASSERT_TRUE(silent.Next(kStart));
  silent.Reply({}, kStart);
  EXPECT_EQ(silent.State(), Phase::kFailed);
  EXPECT_EQ(silent.Error(), "no answer from the gateway to QQQ#QX#");
  EXPECT_FALSE(silent.Next(kStart + 5000));

  Monitor wrongMeter({.meters = {0, 3}});
  EXPECT_EQ(wrongMeter.State(), Phase::kFailed);
}

}  // namespace
}  // namespace kv770::live
