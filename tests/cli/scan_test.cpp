#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "cli/ctl.h"
#include "cli/scan.h"
#include "sim/sim_thread.h"
#include "support/ctl_run.h"
#include "support/pty_peer.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Outcome;

// A simulated gateway on a pseudo-terminal that answers only at `baud`
// (0: any) and with line noise at any other speed.
std::unique_ptr<sim::SimThread> SerialGateway(int baud) {
  auto sim = std::make_unique<sim::SimThread>();
  if (!sim->Start() || sim->StartPty().isEmpty()) return nullptr;
  sim->SetLineBaud(baud);
  return sim;
}

// A device node no driver stands behind (ENXIO), else a plain file.
QString UnreadableDevice(const QTemporaryDir& dir, QString* reason) {
  const QString node = dir.filePath("gone");
  if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(121, 0)) == 0) {
    *reason = QStringLiteral("cannot open: No such device or address");
    return node;
  }
  const QString file = dir.filePath("plain");
  QFile f(file);
  (void)f.open(QIODevice::WriteOnly);
  *reason = QStringLiteral("cannot open: not a serial device");
  return file;
}

// A port that was free a moment ago and is closed now.
quint16 ClosedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  return server.serverPort();
}

TEST(ScanTest, SerialDevicesEachFoundAtTheirSpeedOrNamedWithWhyNot) {
  std::vector<std::unique_ptr<sim::SimThread>> gateways;
  for (int baud : {9600, 4800, 57600}) {
    gateways.push_back(SerialGateway(baud));
    ASSERT_TRUE(gateways.back());
  }
  test::PtyPeer silent;
  ASSERT_TRUE(silent.Ok());
  // An answer left over from before the scan is no answer to it.
  ASSERT_TRUE(silent.Write("QV:stale#"));
  QTemporaryDir dir;
  QString reason;
  const QString unreadable = UnreadableDevice(dir, &reason);

  QStringList arguments = {"scan"};
  for (const auto& g : gateways) arguments << "--serial" << g->PtyPath();
  arguments << "--serial" << silent.Path() << "--serial" << unreadable;
  // Serial and TCP mixed: the addresses come after the devices.
  const QString closed = QStringLiteral("127.0.0.1:%1").arg(ClosedPort());
  arguments << "--tcp" << closed;
  const Outcome o = Ctl(arguments);
  EXPECT_EQ(o.code, 0) << o.err.toStdString();

  const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 8) << o.out.toStdString();
  const QStringList expected[] = {
      {gateways[0]->PtyPath(), "9600", "none", "QV:KV770-W V2.1.0#"},
      {gateways[1]->PtyPath(), "4800", "none", "QV:KV770-W V2.1.0#"},
      {gateways[2]->PtyPath(), "57600", "none", "QV:KV770-W V2.1.0#"},
      {silent.Path(), "-", "-", "no gateway answered at any of 21 settings"},
      {unreadable, "-", "-", reason},
      {closed, "-", "-", "cannot connect to " + closed + ": Connection refused"}};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(lines[i + 1].simplified(), expected[i].join(' ')) << o.out.toStdString();
  EXPECT_EQ(lines[7], "6 scanned: 3 with a gateway, 1 without an answer, 2 failed");
  EXPECT_TRUE(o.err.contains(QStringLiteral("scanning %1 ...").arg(silent.Path())));

  const Outcome json = Ctl(arguments + QStringList{"--json"});
  EXPECT_EQ(json.code, 0);
  const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
  const QJsonArray results = object["results"].toArray();
  ASSERT_EQ(results.size(), 6) << json.out.toStdString();
  for (int i = 0; i < 6; ++i) {
    const QJsonObject r = results[i].toObject();
    EXPECT_EQ(r.contains("host")
                  ? QStringLiteral("%1:%2").arg(r["host"].toString()).arg(r["port"].toInt())
                  : r["device"].toString(),
              expected[i][0]);
    EXPECT_EQ(r["baud"].toInt(), expected[i][1].toInt());
    EXPECT_EQ(r.contains("answer") ? r["answer"].toString() : r["error"].toString(),
              expected[i][3]);
  }
  EXPECT_EQ(object["found"].toInt(), 3);
}

TEST(ScanTest, AllListsEverySettingThatAnswers) {
  const auto gateway = SerialGateway(57600);
  ASSERT_TRUE(gateway);
  const Outcome o = Ctl({"scan", "--all", "--serial", gateway->PtyPath()});
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  // A pseudo-terminal carries no parity: the gateway answers at all three.
  const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
  const QString answer = gateway->PtyPath() + " 57600 %1 QV:KV770-W V2.1.0#";
  ASSERT_EQ(lines.size(), 5) << o.out.toStdString();
  EXPECT_EQ(lines[1].simplified(), answer.arg("none"));
  EXPECT_EQ(lines[2].simplified(), answer.arg("even"));
  EXPECT_EQ(lines[3].simplified(), answer.arg("odd"));
  EXPECT_EQ(lines[4], "1 scanned: 1 with a gateway, 0 without an answer, 0 failed");
}

TEST(ScanTest, TcpAddressesAreAskedAtOnce) {
  sim::SimThread first, second;
  ASSERT_TRUE(first.Start() && second.Start());
  // Each answers late; asked one after the other, the two would take twice
  // as long.
  first.SetBehaviour({.delayMs = 1500});
  second.SetBehaviour({.delayMs = 1500});
  const QString closed = QStringLiteral("127.0.0.1:%1").arg(ClosedPort());
  QElapsedTimer clock;
  clock.start();
  const Outcome o =
      Ctl({"scan", "--tcp", QStringLiteral("127.0.0.1:%1").arg(first.Port()), "--tcp",
           QStringLiteral("127.0.0.1:%1").arg(second.Port()), "--tcp", closed, "--json"});
  EXPECT_LT(clock.elapsed(), 2800);
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  const QJsonObject object = QJsonDocument::fromJson(o.out.toUtf8()).object();
  const QJsonArray results = object["results"].toArray();
  ASSERT_EQ(results.size(), 3) << o.out.toStdString();
  EXPECT_EQ(results[0].toObject()["answer"].toString(), "QV:KV770-W V2.1.0#");
  EXPECT_EQ(results[1].toObject()["port"].toInt(), second.Port());
  EXPECT_EQ(results[1].toObject()["answer"].toString(), "QV:KV770-W V2.1.0#");
  EXPECT_EQ(results[2].toObject()["status"].toString(), "failed");
  EXPECT_TRUE(results[2].toObject()["error"].toString().contains("Connection refused"));

  const Outcome none = Ctl({"scan", "--tcp", closed});
  EXPECT_EQ(none.code, 1);
  EXPECT_TRUE(none.out.endsWith("1 scanned: 0 with a gateway, 0 without an answer, 1 failed\n"))
      << none.out.toStdString();
}

TEST(ScanTest, BadUsageSendsNothing) {
  test::PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  QTemporaryDir dir;
  const QStringList bad[] = {
      {"--baud", "9600"},
      {"--parity", "odd"},
      {"--dtr"},
      {"--rts"},
      {"--dry-run"},
      {"--trace", dir.filePath("trace")},
      {"--tcp", ":7000"},
      {"--tcp", "127.0.0.1:0"},
      {"--com", "COM0=/dev/null"},
      {"extra"},
  };
  for (const QStringList& extra : bad) {
    const Outcome o = Ctl(QStringList{"scan", "--serial", peer.Path()} + extra);
    EXPECT_EQ(o.code, 2) << extra.join(' ').toStdString();
    EXPECT_TRUE(o.out.isEmpty());
    EXPECT_TRUE(o.err.startsWith("kv770ctl: ")) << o.err.toStdString();
  }
  EXPECT_TRUE(peer.Read(1, 200).isEmpty());
  EXPECT_TRUE(Ctl({"scan", "--serial", peer.Path(), "--baud", "9600"})
                  .err.contains("scan tries every baud rate and parity itself"));
}

TEST(ScanTest, OrderTriesTheCommonSettingsFirstAndEachOnce) {
  const std::vector<LineSetting> order = ScanOrder();
  ASSERT_EQ(order.size(), 21u);
  EXPECT_EQ(order[0], (LineSetting{9600, 0}));
  EXPECT_EQ(order[1], (LineSetting{19200, 0}));
  EXPECT_EQ(order[2], (LineSetting{1200, 0}));
  EXPECT_EQ(order[3], (LineSetting{1200, 2}));
  EXPECT_EQ(order.back(), (LineSetting{57600, 1}));
  for (std::size_t i = 0; i < order.size(); ++i)
    for (std::size_t j = i + 1; j < order.size(); ++j) EXPECT_FALSE(order[i] == order[j]);
}

TEST(ScanTest, DevicesPresentPutTheBuiltInPortsFirst) {
  const QList<link::EnumeratedPort> ports = {
      {"/dev/ttyUSB10"}, {"/dev/ttyS10"}, {"/dev/ttyUSB2"}, {"/dev/ttyS2"}, {"/dev/ttyS2"}};
  EXPECT_EQ(DevicesPresent(ports),
            (QStringList{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

}  // namespace
}  // namespace kv770::cli
