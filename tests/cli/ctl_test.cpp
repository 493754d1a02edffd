// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/commands.h"
#include "cli/ctl.h"
#include "sim/engine.h"
#include "sim/instruments.h"
#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/ctl_run.h"
#include "support/pty_peer.h"
#include "support/tcp_peer.h"
#include "support/twisted_gateway.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Outcome;

using test::Json;

QString ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

enum class Via { Tcp, Serial };

// A simulated gateway reached over TCP, or over its pseudo-terminal as a
// serial port.
class Gateway {
 public:
  explicit Gateway(Via via) : via_(via) {
    ok_ = sim_.Start() && (via == Via::Tcp || !sim_.StartPty().isEmpty());
  }
  bool Ok() const { return ok_; }
  sim::SimThread& Sim() { return sim_; }
  QStringList Link() const {
    if (via_ == Via::Tcp)
      return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim_.Port()), "--gap", "20", "--timeout",
              "2000"};
    return {"--serial", sim_.PtyPath(), "--timeout", "2000"};
  }
  Outcome Run(const QStringList& arguments) const { return Ctl(Link() + arguments); }

 private:
  Via via_;
  sim::SimThread sim_;
  bool ok_ = false;
};

class CtlTest : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override { ASSERT_TRUE(gateway.Ok()); }
  Outcome Run(const QStringList& arguments) { return gateway.Run(arguments); }
  Gateway gateway{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(BothLinks, CtlTest, ::testing::Values(Via::Tcp, Via::Serial),
                         [](const auto& info) {
                           return info.param == Via::Tcp ? "Tcp" : "Serial";
                         });

TEST_P(CtlTest, CheckFindsTheGateway) {
  const Outcome o = Run({"check"});
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_EQ(o.out, QStringLiteral("the gateway answers: QV:KV770-W V2.1.0#\n"));
}

TEST_P(CtlTest, SystemSetIsReadBackAndShown) {
  Outcome o = Run({"system", "set", "--address", "17", "--interval", "100", "--mode", "modbus"});
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_TRUE(o.out.contains("slave address: QQS#ADR:017# -> OK:ADR#"));
  EXPECT_TRUE(o.out.contains("verified"));
  // Parity alone keeps the baud rate the gateway has, and the reverse.
  ASSERT_EQ(Run({"system", "set", "--parity", "odd"}).code, 0);
  ASSERT_EQ(Run({"system", "set", "--baud", "19200"}).code, 0);
  o = Run({"system", "get", "--json"});
  ASSERT_EQ(o.code, 0);
  EXPECT_EQ(Json(o.out), (QJsonObject{{"baudRate", 19200},
                                      {"parity", "odd"},
                                      {"workingMode", "modbus"},
                                      {"slaveAddress", 17},
                                      {"pollingInterval", 100}}));
  EXPECT_TRUE(Run({"system", "get"}).out.contains("polling interval  100 (1000 ms)"));
}

TEST_P(CtlTest, MeterSetWritesEveryGroupOfTheMapping) {
  const Outcome set = Run({"meter",
                           "2",
                           "set",
                           "--enable",
                           "close",
                           "--device-mode",
                           "master",
                           "--preambles",
                           "7",
                           "--clear-time",
                           "30",
                           "--orders",
                           "1,2,3,0,1",
                           "--coefficients",
                           "2.5,-1.5,0.001,9.999",
                           "--address-bits",
                           "6",
                           "--variable",
                           "1=1,5,8",
                           "--variable",
                           "4=2,10,4",
                           "--read1",
                           "01 03 00",
                           "--read1-enable",
                           "open",
                           "--read2",
                           "02"});
  ASSERT_EQ(set.code, 0) << set.err.toStdString();
  const Outcome get = Run({"meter", "2", "get", "--json"});
  ASSERT_EQ(get.code, 0);
  const QJsonObject m = Json(get.out);
  EXPECT_EQ(m["enabled"], false);
  EXPECT_EQ(m["deviceMode"], "master");
  EXPECT_EQ(m["preambles"], 7);
  EXPECT_EQ(m["bufferClearTime"], 30);
  EXPECT_EQ(
      m["byteOrders"],
      (QJsonObject{
          {"current", 1}, {"variable1", 2}, {"variable2", 3}, {"variable3", 0}, {"variable4", 1}}));
  EXPECT_EQ(m["coefficients"], (QJsonArray{"2.500", "-1.50", "0.001", "9.999"}));
  const QJsonObject custom = m["custom"].toObject();
  EXPECT_EQ(custom["addressBits"], 6);
  EXPECT_EQ(custom["variables"].toArray()[0],
            (QJsonObject{{"command", 1}, {"start", 5}, {"length", 8}}));
  EXPECT_EQ(custom["variables"].toArray()[3],
            (QJsonObject{{"command", 2}, {"start", 10}, {"length", 4}}));
  EXPECT_EQ(custom["readCommands"],
            (QJsonArray{QJsonObject{{"enabled", true}, {"bytes", "01 03 00"}},
                        QJsonObject{{"enabled", false}, {"bytes", "02"}}}));
  // Custom parsing on a meter of another type is refused, not sent.
  ASSERT_EQ(Run({"meter", "3", "set", "--type", "5"}).code, 0);
  const Outcome refused = Run({"meter", "3", "set", "--address-bits", "4"});
  EXPECT_EQ(refused.code, 2);
  EXPECT_TRUE(refused.err.contains("meter 3 is type 5"));
}

TEST_P(CtlTest, HartThroughTheGateway) {
  const Outcome address = Run({"hart", "address", "2"});
  ASSERT_EQ(address.code, 0) << address.err.toStdString();
  EXPECT_TRUE(address.out.contains("QQS#HCS:2#"));

  const sim::Instrument& instrument = sim::InstrumentAt(2);
  const QJsonObject id = Json(Run({"hart", "identity", "--json"}).out);
  EXPECT_EQ(id["manufacturer"], instrument.manufacturer);
  EXPECT_EQ(id["deviceType"], instrument.deviceType);
  EXPECT_EQ(id["deviceId"], static_cast<qint64>(instrument.deviceId));

  // Identified first, then asked by its long address.
  const Outcome vars = Run({"hart", "vars", "--json", "--preambles", "3"});
  ASSERT_EQ(vars.code, 0) << vars.err.toStdString();
  const QJsonArray variables = Json(vars.out)["variables"].toArray();
  ASSERT_EQ(variables.size(), 4);
  for (qsizetype i = 0; i < 4; ++i)
    EXPECT_EQ(variables[i].toObject()["unitCode"], instrument.units[static_cast<std::size_t>(i)]);
  // A wrong long address gets no answer from the instrument.
  EXPECT_EQ(Run({"hart", "vars", "--id", "1,2,3", "--timeout", "400"}).code, 1);

  const Outcome send = Run({"hart", "send", "02 80 00 00", "--secondary"});
  ASSERT_EQ(send.code, 0) << send.err.toStdString();
  EXPECT_TRUE(send.out.startsWith("sent   FF FF FF FF FF FF FF 02 80 00 00 82\nreply  "));
  EXPECT_TRUE(send.out.contains(" FF 06 ")) << send.out.toStdString();
}

TEST_P(CtlTest, ModbusReadDecodesEachValueInItsMetersByteOrder) {
  ASSERT_EQ(Run({"meter", "1", "set", "--orders", "0,2,0,0,0"}).code, 0);
  const Outcome o = Run({"modbus", "read", "--count", "4", "--json"});
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  const QJsonObject r = Json(o.out);
  EXPECT_EQ(r["registers"].toArray().size(), 4);
  const QJsonArray values = r["values"].toArray();
  ASSERT_EQ(values.size(), 2);
  // Each value a number for scripts, its text beside it.
  const QJsonObject current = values[0].toObject();
  EXPECT_EQ(current["quantity"], "current");
  EXPECT_EQ(current["byteOrder"], 0);
  EXPECT_TRUE(current["text"].toString().contains('.'));  // a float
  EXPECT_FLOAT_EQ(current["value"].toDouble(), current["text"].toString().toFloat());
  const QJsonObject unsignedValue = values[1].toObject();
  EXPECT_EQ(unsignedValue["byteOrder"], 2);
  EXPECT_TRUE(unsignedValue["value"].isDouble());
  EXPECT_EQ(unsignedValue["value"].toDouble(), unsignedValue["text"].toString().toDouble());
  // A refusal by the slave is a failure of the device.
  const Outcome beyond = Run({"modbus", "read", "--start", "200", "--count", "10"});
  EXPECT_EQ(beyond.code, 1);
  if (GetParam() == Via::Tcp) {
    EXPECT_TRUE(beyond.err.contains("illegal data address"));
  }
}

TEST_P(CtlTest, NoAnswerEndsWithinTheTimeout) {
  gateway.Sim().SetBehaviour({.silent = true});
  QElapsedTimer clock;
  clock.start();
  const Outcome o = Run({"--timeout", "300", "system", "get"});
  EXPECT_EQ(o.code, 1);
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_TRUE(o.err.startsWith("kv770ctl: no answer from the gateway within 300 ms to QQQ#QX#"))
      << o.err.toStdString();
}

// Two gateways: settings of the first, written to the second, read back
// from it as the same backup.
TEST_P(CtlTest, BackupRestoredOntoAnotherGatewayReadsBackIdentical) {
  Gateway second(GetParam());
  ASSERT_TRUE(second.Ok());
  ASSERT_EQ(Run({"system", "set", "--address", "17", "--interval", "100", "--baud", "19200",
                 "--parity", "even"})
                .code,
            0);
  ASSERT_EQ(Run({"meter", "3", "set", "--type", "5", "--preambles", "6", "--orders", "1,2,3,0,1",
                 "--coefficients", "2.5,-1.5,0.001,9.999"})
                .code,
            0);
  ASSERT_EQ(Run({"meter", "1", "set", "--address-bits", "7", "--variable", "1=1,5,8", "--read1",
                 "01 03 00", "--read1-enable", "open"})
                .code,
            0);
  // The second starts out different where the first has factory values.
  ASSERT_EQ(second.Run({"meter", "8", "set", "--coefficients", "3,3,3,3"}).code, 0);

  QTemporaryDir dir;
  const QString first = dir.filePath("first.json");
  const QString again = dir.filePath("again.json");
  const Outcome backup = Run({"backup", first});
  ASSERT_EQ(backup.code, 0) << backup.err.toStdString();
  EXPECT_TRUE(backup.out.contains("system settings and 8 meters (7 custom)"));

  const Outcome restore = second.Run({"restore", first});
  ASSERT_EQ(restore.code, 0) << restore.err.toStdString();
  EXPECT_TRUE(restore.out.contains("verified: the gateway reports what was written"));
  ASSERT_EQ(second.Run({"backup", again}).code, 0);

  const QJsonObject a = Json(ReadAll(first));
  const QJsonObject b = Json(ReadAll(again));
  EXPECT_EQ(a["system"], b["system"]);
  EXPECT_EQ(a["meters"], b["meters"]);
  EXPECT_EQ(a["meters"].toArray()[2].toObject()["instrumentType"], 5);
  EXPECT_EQ(b["meters"].toArray()[7].toObject()["coefficients"],
            (QJsonArray{"1.000", "1.000", "1.000", "1.000"}));
}

// A gateway that acknowledges one command without applying it.
test::TwistedGateway ForgetfulGateway(const std::string& ignored) {
  return test::TwistedGateway([ignored](const std::string& request, sim::GatewayModel&) {
    return request.starts_with(ignored) ? std::optional<std::string>("OK:XISH#") : std::nullopt;
  });
}

TEST(CtlRestore, SettingsTheGatewayDidNotTakeFailTheRestoreByName) {
  Gateway source(Via::Tcp);
  ASSERT_TRUE(source.Ok());
  ASSERT_EQ(source.Run({"meter", "4", "set", "--coefficients", "2.5,1,1,1"}).code, 0);
  QTemporaryDir dir;
  const QString file = dir.filePath("backup.json");
  ASSERT_EQ(source.Run({"backup", file}).code, 0);

  test::TwistedGateway target = ForgetfulGateway("QQS#XISH");
  const Outcome o = Ctl(target.Link() + QStringList{"restore", file});
  EXPECT_EQ(o.code, 1);
  EXPECT_TRUE(
      o.err.contains("not taken: meter 4 coefficient 1: 2.500 wanted, the gateway has 1.000"))
      << o.err.toStdString();
  EXPECT_TRUE(o.err.contains("1 setting(s) did not take"));
}

TEST(CtlRestore, DryRunShowsTheCommandsWithoutALink) {
  Gateway source(Via::Tcp);
  ASSERT_TRUE(source.Ok());
  QTemporaryDir dir;
  const QString file = dir.filePath("backup.json");
  ASSERT_EQ(source.Run({"backup", file}).code, 0);
  const Outcome o = Ctl({"restore", file, "--dry-run"});
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_TRUE(o.out.startsWith("meter 1 polling set-up: QQS#HART0:1,0,00,5,010#\n"));
  EXPECT_TRUE(o.out.endsWith("RS-485 settings: QQS#BA1:30#\n"));
}

// Every refusal comes before the link is touched: the trace stays empty.
TEST(CtlRefusals, BadValuesAreNamedAndNothingIsSent) {
  Gateway gateway(Via::Tcp);
  ASSERT_TRUE(gateway.Ok());
  QTemporaryDir dir;
  const QString trace = dir.filePath("trace.log");
  const QString badBackup = dir.filePath("bad.json");
  {
    QFile f(badBackup);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"format":"kv770-backup","version":1,"system":{"baudRate":9600,"parity":"none",
               "workingMode":"transparent","slaveAddress":1,"pollingInterval":1000}})");
  }
  const struct {
    QStringList arguments;
    QString message;
  } cases[] = {
      {{"system", "set", "--address", "1000"}, "--address: '1000' is out of range (0 to 999)"},
      {{"system", "set", "--interval", "5x"}, "'5x' is not a valid integer value"},
      {{"system", "set", "--baud", "1234"}, "'1234' is not a baud rate of the gateway"},
      {{"system", "set", "--parity", "mark"}, "--parity: 'mark' is not one of none, odd, even"},
      {{"system", "set"}, "system set needs one of"},
      {{"system", "set", "--mode", ""}, "--mode: '' is not one of transparent, modbus"},
      {{"meter", "9", "get"}, "'9' is out of range (1 to 8)"},
      {{"meter", "1", "set", "--preambles", "12"}, "'12' is out of range (4 to 9)"},
      {{"meter", "1", "set", "--orders", "2,0,0,0,0"}, "'2' is out of range (0 to 1)"},
      {{"meter", "1", "set", "--coefficients", "12.345,1,1,1"}, "'12.345' is not a coefficient"},
      {{"meter", "1", "set", "--variable", "1=1,100,4"}, "'100' is out of range (0 to 99)"},
      {{"meter", "1", "set", "--read1", "01 0g"}, "--read1: '01 0g' is not bytes in hexadecimal"},
      {{"meter", "1", "set", "--read1", "01 0"}, "--read1: '01 0' is not bytes"},
      {{"meter", "1", "set", "--read2", "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"},
       "--read2: more than 14 bytes"},
      {{"hart", "address", "0"}, "'0' is out of range (1 to 8)"},
      {{"hart", "send", "0280x00"}, "hart send: '0280x00' is not bytes in hexadecimal"},
      {{"hart", "identity", "--preambles", "-2"}, "'-2' is out of range (-1 to 487)"},
      {{"modbus", "read", "--count", "126"}, "--count: '126' is out of range (1 to 125)"},
      {{"modbus", "read", "--count", "0"}, "--count: '0' is out of range (1 to 125)"},
      {{"ieee754", "4120 0000"}, "ieee754: '4120 0000' is not four bytes in hexadecimal"},
      {{"restore", badBackup}, "system.pollingInterval: '1000' is out of range (0 to 999)"},
      {{"system", "get", "--baud", "9600"}, "'system get' takes no option --baud"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
  };
  for (const auto& c : cases) {
    const Outcome o = gateway.Run(QStringList{"--trace", trace} + c.arguments);
    EXPECT_EQ(o.code, 2) << c.arguments.join(' ').toStdString();
    EXPECT_TRUE(o.err.contains(c.message)) << o.err.toStdString();
    EXPECT_EQ(ReadAll(trace), QString()) << c.arguments.join(' ').toStdString();
  }
}

// ---- what a misbehaving peer, disk or pipe meets -------------------------------------------

bool IsCharDevice(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

TEST(CtlFiles, BackupThatCannotBeWrittenFailsAndLeavesTheDeviceNode) {
  Gateway gateway(Via::Tcp);
  ASSERT_TRUE(gateway.Ok());
  QTemporaryDir dir;
  // A private twin of /dev/full.
  const QString full = dir.filePath("full");
  if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
    GTEST_SKIP() << "no device node can be made here";
  const Outcome o = gateway.Run({"backup", full});
  EXPECT_EQ(o.code, 1);
  EXPECT_TRUE(o.err.contains(QStringLiteral("cannot write %1: No space left on device").arg(full)))
      << o.err.toStdString();
  EXPECT_FALSE(o.out.contains("written"));
  EXPECT_TRUE(IsCharDevice(full));
}

// `backup -` gives standard output to the file alone, and a pipe of two
// kv770ctl clones one gateway onto another.
TEST(CtlFiles, BackupToStandardOutputPipesIntoRestore) {
  Gateway source(Via::Tcp);
  Gateway target(Via::Tcp);
  ASSERT_TRUE(source.Ok() && target.Ok());
  ASSERT_EQ(source.Run({"system", "set", "--address", "42"}).code, 0);
  const QString ctl = test::BuiltProgram("kv770ctl");
  const test::ChildRun backup = test::RunChild(ctl, source.Link() + QStringList{"backup", "-"});
  ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
  EXPECT_TRUE(backup.err.contains("the gateway answers"));
  QJsonParseError error{};
  QJsonDocument::fromJson(backup.out.toUtf8(), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << backup.out.left(200).toStdString();

  const test::ChildRun restore =
      test::RunChild(ctl, target.Link() + QStringList{"restore", "-"}, backup.out.toUtf8());
  EXPECT_EQ(restore.exitCode, 0) << restore.err.toStdString();
  EXPECT_TRUE(restore.out.contains("verified"));
  EXPECT_EQ(Json(target.Run({"system", "get", "--json"}).out)["slaveAddress"], 42);
}

Outcome AgainstPeer(test::TcpPeer& peer, const QStringList& arguments) {
  return Ctl(QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(peer.Port()), "--gap", "50"} +
             arguments);
}

// Replies to command 0 that must not pass for an identity. The sound one
// would be FF FF FF 06 80 00 0E 00 00 FE 11 22 05 05 01 01 00 00 12 34 56 35.
struct BadHartReply {
  const char* name;
  const char* hex;
  const char* says;
};

class CtlHartReplies : public ::testing::TestWithParam<BadHartReply> {};

TEST_P(CtlHartReplies, AreRefusedByName) {
  const QByteArray reply = QByteArray::fromHex(GetParam().hex);
  test::TcpPeer peer([&](test::TcpPeer& p) {
    if (!p.Read(8).isEmpty()) p.Write(reply);
    p.Read(1, 2000);
  });
  const Outcome o = AgainstPeer(peer, {"hart", "identity"});
  EXPECT_EQ(o.code, 1) << o.out.toStdString();
  EXPECT_TRUE(o.err.contains(GetParam().says)) << o.err.toStdString();
  peer.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Spoiled, CtlHartReplies,
    ::testing::Values(BadHartReply{"Noise", "ff06 00000000000000000000000000000000000000000000",
                                   "check byte 00 where 06 was expected"},
                      BadHartReply{"CheckByte", "ffffff 0680000e0000fe112205050101000012345634",
                                   "check byte 34 where 35 was expected"},
                      BadHartReply{"Delimiter", "ffffff 8680000e0000fe112205050101000012345635",
                                   "delimiter 86 where 06 answers the request"},
                      BadHartReply{"AddressEcho", "ffffff 0681000e0000fe112205050101000012345634",
                                   "address 81 where 80 was sent"},
                      BadHartReply{"Command", "ffffff 0680010e0000fe112205050101000012345634",
                                   "command 1 where command 0 was sent"},
                      BadHartReply{"ByteCount", "ffffff 06800014 0000fe11220505010100001234562f",
                                   "byte count 20, but 15 bytes follow it"},
                      BadHartReply{"NotImplemented", "ffffff 068000024000c4",
                                   "response code 64 (command not implemented) and no data"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CtlLinks, AClosedConnectionIsNamedAtOnce) {
  test::TcpPeer peer([](test::TcpPeer& p) {
    if (!p.Read(8).isEmpty()) p.Hangup();
  });
  const Outcome o = AgainstPeer(peer, {"--timeout", "600000", "check"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, QStringLiteral("kv770ctl: the gateway closed the connection\n"));
}

TEST(CtlLinks, AHungUpSerialLineIsNamedAtOnce) {
  test::PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  std::thread hangup([&] {
    if (!peer.Read(8).isEmpty()) peer.CloseMaster();
  });
  const Outcome o = Ctl({"--serial", peer.Path(), "--timeout", "600000", "check"});
  hangup.join();
  EXPECT_EQ(o.code, 1);
  EXPECT_TRUE(o.err.contains(QStringLiteral("the serial line hung up (%1)").arg(peer.Path())))
      << o.err.toStdString();
}

// An answer that comes shortly before the deadline is taken, every time:
// the time-out never ends early.
TEST(CtlLinks, AnswerJustBeforeTheDeadlineIsTaken) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    test::TcpPeer peer([](test::TcpPeer& p) {
      if (p.Read(8).isEmpty()) return;
      // One sleep, not many small ones that add up to more under load.
      std::this_thread::sleep_for(std::chrono::milliseconds(2900));
      p.Write("QV:KV770-W V2.1.0#");
      p.Read(1, 1000);
    });
    const Outcome o = AgainstPeer(peer, {"--timeout", "3000", "check"});
    EXPECT_EQ(o.code, 0) << "attempt " << attempt << ": " << o.err.toStdString();
    peer.Stop();
  }
}

// A report that pauses longer than the silence that ends a reply of unknown
// shape, right after its inner '#', is still read whole: its shape says it
// is not yet complete.
TEST(CtlLinks, AReportPausedAfterItsInnerHashIsReadWhole) {
  test::TcpPeer peer([](test::TcpPeer& p) {
    if (p.Read(7).isEmpty()) return;
    p.Write("QX#");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    p.Write("BA1:30,MD:1,ADR:017,JTM:100#");
    p.Read(1, 1000);
  });
  const Outcome o = AgainstPeer(peer, {"system", "get"});
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_TRUE(o.out.contains("polling interval  100 (1000 ms)")) << o.out.toStdString();
}

// A peer that never stops sending: the command gives up with the first
// bytes, and its memory stays that of a normal run.
TEST(CtlLinks, AFloodingPeerEndsInReplyTooLongWithBoundedMemory) {
  std::atomic<qint64> sent{0};
  test::TcpPeer peer([&](test::TcpPeer& p) {
    if (p.Read(8).isEmpty()) return;
    const QByteArray block(64 * 1024, 'x');
    while (sent < (qint64{256} << 20) && p.Write(block)) sent += block.size();
  });
  const test::ChildRun run = test::RunChild(
      test::BuiltProgram("kv770ctl"),
      {"--tcp", QStringLiteral("127.0.0.1:%1").arg(peer.Port()), "--timeout", "20000", "check"}, {},
      {test::SmallQuarantine()});
  peer.Stop();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.contains("reply too long: more than 65536 bytes; it begins 78 78 78"))
      << run.err.toStdString();
  EXPECT_LT(run.peakRssKib, 100 * 1024) << "after " << sent << " bytes";
}

// An option the parser takes but --help leaves out is one nobody finds.
TEST(CtlUsage, HelpNamesEveryOptionTheParsersTake) {
  const QString help = UsageText();
  QStringList families = {QString()};  // before the command
  for (const Command& c : Commands()) families << QLatin1String(c.family);
  for (const QString& family : families) {
    const QStringList names = AcceptedOptions(family);
    EXPECT_FALSE(names.isEmpty()) << family.toStdString();
    for (const QString& name : names) {
      const QString shown = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
      EXPECT_TRUE(help.contains(QRegularExpression(
          QStringLiteral("(?<![\\w-])%1(?![\\w-])").arg(QRegularExpression::escape(shown)))))
          << family.toStdString() << " " << shown.toStdString();
    }
  }
}

TEST(CtlUsage, LinksHelpAndVersion) {
  EXPECT_EQ(Ctl({}).code, 2);
  EXPECT_EQ(Ctl({"check"}).code, 2);  // no link named
  EXPECT_EQ(Ctl({"--tcp", "127.0.0.1", "--serial", "/dev/null", "check"}).code, 2);
  const Outcome help = Ctl({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.contains("Exit status: 0 done"));
  EXPECT_TRUE(Ctl({"--version"}).out.startsWith("kv770ctl "));
  // A port nobody listens on is the device's failure, not the user's.
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost, 0);
  const quint16 port = closed.serverPort();
  closed.close();
  const Outcome refused = Ctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "check"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_TRUE(refused.err.contains("cannot connect"));
  EXPECT_EQ(Ctl({"ieee754", "41 20 00 00"}).out, QStringLiteral("10\n"));
  const QJsonObject tenth = Json(Ctl({"ieee754", "3D CC CC CD", "--json"}).out);
  EXPECT_EQ(tenth["value"], 0.100000001490116119384765625);  // the float itself, as a number
  EXPECT_EQ(tenth["text"], "0.100000001490116");
}

}  // namespace
}  // namespace kv770::cli
