// SPDX-License-Identifier: GPL-3.0-or-later
// kv770ctl hart scan against the simulated gateway: which instruments it
// lists, and that a gateway found in MODBUS RTU mode goes back to it
// whatever ends the scan.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <csignal>
#include <memory>
#include <optional>

#include "cli/ctl.h"
#include "sim/engine.h"
#include "sim/instruments.h"
#include "sim/sim_thread.h"
#include "support/ctl_run.h"
#include "support/twisted_gateway.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Outcome;

using test::Json;

enum class Via { Tcp, Serial };

struct ScanCase {
  Via via;
  bool modbus;  // the gateway's working mode before the scan
};

class HartScan : public ::testing::TestWithParam<ScanCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start());
    if (GetParam().via == Via::Tcp) {
      link_ = {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim_.Port()), "--gap", "20"};
    } else {
      ASSERT_FALSE(sim_.StartPty().isEmpty());
      link_ = {"--serial", sim_.PtyPath()};
    }
    const char* mode = GetParam().modbus ? "modbus" : "transparent";
    ASSERT_EQ(Run({"system", "set", "--mode", mode}).code, 0);
  }
  Outcome Run(const QStringList& arguments) { return Ctl(link_ + arguments); }

  sim::SimThread sim_;
  QStringList link_;
};

INSTANTIATE_TEST_SUITE_P(BothLinksBothModes, HartScan,
                         ::testing::Values(ScanCase{Via::Tcp, true}, ScanCase{Via::Tcp, false},
                                           ScanCase{Via::Serial, true}),
                         [](const auto& info) {
                           return std::string(info.param.via == Via::Tcp ? "Tcp" : "Serial") +
                                  (info.param.modbus ? "Modbus" : "Transparent");
                         });

TEST_P(HartScan, ListsEachInstrumentAndLeavesTheWorkingModeAsFound) {
  const std::vector<sim::InstrumentPlace> places = {{1, 0}, {3, 0}, {3, 5}, {8, 15}};
  sim_.SetInstruments(places);
  // Each empty place costs a whole wait: short, yet safe for a serial block
  // (it ends after 100 ms of silence) on a loaded machine.
  const QString wait = GetParam().via == Via::Tcp ? "150" : "400";
  const Outcome o = Run({"hart", "scan", "--addresses", "0,5,15", "--timeout", wait, "--json"});
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  const QJsonObject r = Json(o.out);
  const QJsonArray instruments = r["instruments"].toArray();
  ASSERT_EQ(instruments.size(), 4) << o.out.toStdString();
  for (std::size_t i = 0; i < places.size(); ++i) {
    const QJsonObject found = instruments[static_cast<qsizetype>(i)].toObject();
    const sim::Instrument expected = sim::InstrumentAt(places[i]);
    EXPECT_EQ(found["channel"], places[i].channel);
    EXPECT_EQ(found["pollingAddress"], places[i].pollingAddress);
    EXPECT_EQ(found["manufacturer"], expected.manufacturer);
    EXPECT_EQ(found["deviceType"], expected.deviceType);
    EXPECT_EQ(found["deviceId"], static_cast<qint64>(expected.deviceId));
    EXPECT_EQ(found["preambles"], expected.preambles);
  }
  EXPECT_EQ(r["channelsWithoutInstrument"], (QJsonArray{2, 4, 5, 6, 7}));
  EXPECT_EQ(r["workingModeNote"], GetParam().modbus ? "MODBUS RTU; set to transparent for the scan "
                                                      "and back to MODBUS RTU"
                                                    : "transparent, left as it was");
  const QString mode = GetParam().modbus ? "modbus" : "transparent";
  EXPECT_EQ(Json(Run({"system", "get", "--json"}).out)["workingMode"], mode);
  // The channel the gateway reached before: its instrument answers again.
  EXPECT_EQ(r["hartAddress"], 1);
  EXPECT_EQ(r["hartAddressRestored"], true);
}

using test::Spoil;
using test::Twist;

// A gateway in MODBUS RTU mode with some requests answered otherwise.
struct TwistedGateway : test::TwistedGateway {
  explicit TwistedGateway(Twist twist, Spoil spoil = {})
      : test::TwistedGateway(std::move(twist), std::move(spoil)) {
    Model().workingMode = 1;
  }
  QStringList Link() const {
    return test::TwistedGateway::Link() + QStringList{"--timeout", "300"};
  }
};

bool IsHartFrame(const std::string& request) {
  return !request.empty() && static_cast<unsigned char>(request[0]) == 0xFF;
}

struct TwistCase {
  const char* name;
  Twist twist;
  int code;
  const char* says;  // on standard error, or standard output for a scan that ran through
  int modeAfter;     // what the gateway ends with
};

class HartScanTwisted : public ::testing::TestWithParam<TwistCase> {};

TEST_P(HartScanTwisted, EndsWithTheWorkingModeBackOrSaysSoLoudly) {
  TwistedGateway gateway(GetParam().twist);
  const Outcome o = Ctl(gateway.Link() + QStringList{"hart", "scan"});
  EXPECT_EQ(o.code, GetParam().code) << o.err.toStdString();
  EXPECT_TRUE((o.code == 0 ? o.out : o.err).contains(GetParam().says))
      << o.out.toStdString() << o.err.toStdString();
  EXPECT_EQ(gateway.Model().workingMode, GetParam().modeAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HartScanTwisted,
    ::testing::Values(TwistCase{"ChannelNotAcknowledged",
                                [](const std::string& r, sim::GatewayModel&) {
                                  return r == "QQS#HCS:3#" ? std::optional<std::string>("")
                                                           : std::nullopt;
                                },
                                1, "no answer from the gateway within 300 ms to QQS#HCS:3#", 1},
                      TwistCase{"Interrupted",
                                [](const std::string& r, sim::GatewayModel&) {
                                  if (r == "QQS#HCS:2#") std::raise(SIGINT);
                                  return std::optional<std::string>();
                                },
                                1, "the scan was stopped (Interrupt)", 1},
                      TwistCase{"ModeNotTakenBack",
                                [](const std::string& r, sim::GatewayModel&) {
                                  return r == "QQS#MD:1#" ? std::optional<std::string>("OK:MD#")
                                                          : std::nullopt;
                                },
                                1, "THE GATEWAY MAY STILL BE IN TRANSPARENT MODE", 0},
                      TwistCase{"ChannelAcknowledgedButKept",
                                [](const std::string& r, sim::GatewayModel&) {
                                  return r.starts_with("QQS#HCS:") && r != "QQS#HCS:1#"
                                             ? std::optional<std::string>("OK:HCS#")
                                             : std::nullopt;
                                },
                                1, "the gateway seems not to have changed channel: 7 place(s)", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A reply that is no sound frame is named for its place, and the scan
// goes on: the table, the damaged place, the count and what was done.
TEST(HartScanText, SpoiledReplyIsNamedAndTheRestListed) {
  TwistedGateway gateway([](const std::string& r, sim::GatewayModel& m) {
    return IsHartFrame(r) && m.hartAddress == 2
               ? std::optional<std::string>(std::in_place, "\xFF\x06\x80\x00\x0E\x00", 6)
               : std::nullopt;
  });
  const Outcome o = Ctl(gateway.Link() + QStringList{"hart", "scan"});
  ASSERT_EQ(o.code, 1) << o.err.toStdString();
  EXPECT_TRUE(o.err.contains("1 place(s) gave a damaged reply")) << o.err.toStdString();
  const QStringList lines = o.out.split('\n');
  const sim::Instrument first = sim::InstrumentAt(1, 0);
  ASSERT_GE(lines.size(), 12) << o.out.toStdString();
  EXPECT_EQ(lines[0], "channel  address  manufacturer  type  device id  preambles");
  EXPECT_EQ(lines[1], QStringLiteral("      1        0  %1  %2  %3  %4")
                          .arg(first.manufacturer, 12)
                          .arg(first.deviceType, 4)
                          .arg(first.deviceId, 9)
                          .arg(first.preambles, 9));
  EXPECT_TRUE(lines[2].startsWith("      3        0  ")) << lines[2].toStdString();
  EXPECT_EQ(lines.mid(8),
            (QStringList{"channel 2: damaged reply at address 0: byte count 14, but 1 bytes "
                         "follow it: FF 06 80 00 0E 00",
                         "7 instruments found",
                         "working mode: MODBUS RTU; set to transparent for the scan and back "
                         "to MODBUS RTU",
                         "HART address: back to channel 1, where the instrument it reached "
                         "before the scan was found",
                         ""}))
      << o.out.toStdString();
  EXPECT_EQ(gateway.Model().workingMode, 1);
}

// A scan that meets a damaged reply or a gateway gone silent shows what
// it found, says where and why it failed, and fails; a damaged reply is
// never an empty channel.
struct PartCase {
  const char* name;
  Twist twist;
  Spoil spoil;
  QStringList says;  // in the text output
  QJsonArray found;  // the channels of the instruments listed
  QJsonArray empty;  // channelsWithoutInstrument
  QJsonArray damaged;
  bool complete;
};

void PrintTo(const PartCase& c, std::ostream* os) {
  *os << c.name;
}

class HartScanPart : public ::testing::TestWithParam<PartCase> {};

TEST_P(HartScanPart, ShowsWhatItFoundAndFails) {
  const PartCase& c = GetParam();
  QJsonObject r;
  for (const bool json : {false, true}) {
    TwistedGateway gateway(c.twist, c.spoil);
    const Outcome o = Ctl(gateway.Link() + QStringList{"hart", "scan"} +
                          (json ? QStringList{"--json"} : QStringList{}));
    EXPECT_EQ(o.code, 1) << o.err.toStdString();
    if (json) {
      r = Json(o.out);
      continue;
    }
    for (const QString& text : c.says)
      EXPECT_TRUE(o.out.contains(text)) << text.toStdString() << "\n" << o.out.toStdString();
    EXPECT_FALSE(o.out.contains("no instrument at")) << o.out.toStdString();
  }
  QJsonArray found;
  for (const QJsonValue& i : r["instruments"].toArray()) found.append(i["channel"]);
  EXPECT_EQ(found, c.found);
  EXPECT_EQ(r["channelsWithoutInstrument"], c.empty);
  QJsonArray damaged;
  for (const QJsonValue& i : r["invalidReplies"].toArray()) damaged.append(i["channel"]);
  EXPECT_EQ(damaged, c.damaged);
  EXPECT_EQ(r["complete"], c.complete);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HartScanPart,
    ::testing::Values(
        PartCase{
            "CheckByteSpoiledOnChannel3",
            {},
            [](const std::string& r, std::string& reply, const sim::GatewayModel& m) {
              if (IsHartFrame(r) && m.hartAddress == 3 && !reply.empty()) reply.back() ^= 1;
            },
            {"\nchannel 3: damaged reply at address 0: check byte ", "\n7 instruments found\n"},
            {1, 2, 4, 5, 6, 7, 8},
            {},
            {3},
            true},
        PartCase{"SilentAfterChannel3",
                 [](const std::string& r, sim::GatewayModel& m) {
                   if (r == "QQS#HCS:4#") m.hartAddress = 4;  // taken, never acknowledged
                   return m.hartAddress == 4 ? std::optional<std::string>("") : std::nullopt;
                 },
                 {},
                 {"\n3 instruments found before it stopped\n"
                  "the scan stopped at channel 4 (channels 4 to 8 not scanned whole): no answer "
                  "from the gateway within 300 ms to QQS#HCS:4#\n"
                  "working mode: MODBUS RTU; set to transparent for the scan, NOT set back\n"
                  "HART address: unknown: the scan stopped while choosing channel 4\n"},
                 {1, 2, 3},
                 {},
                 {},
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

// Refused before anything is sent: the trace stays empty.
TEST(HartScanUsage, BadAddressesAndOptionsAreRefused) {
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir dir;
  const QString trace = dir.filePath("trace.log");
  const struct {
    QStringList arguments;
    const char* says;
  } cases[] = {
      {{"--addresses", "64"}, "'64' is out of range (0 to 63)"},
      {{"--addresses", "5-3"}, "--addresses: '5-3' runs backwards"},
      {{"--addresses", "x"}, "'x' is not a valid integer value"},
      {{"--dry-run"}, "'hart scan' finds instruments only by asking them"},
      {{"--id", "1,2,3"}, "--id belongs to 'hart vars'"},
  };
  for (const auto& c : cases) {
    const Outcome o = Ctl(QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()),
                                      "--trace", trace, "hart", "scan"} +
                          c.arguments);
    EXPECT_EQ(o.code, 2) << c.arguments.join(' ').toStdString();
    EXPECT_TRUE(o.err.contains(c.says)) << o.err.toStdString();
    EXPECT_EQ(QFile(trace).size(), 0) << c.arguments.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace kv770::cli
