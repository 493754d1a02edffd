// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

// The finding: a gateway answering after the wait at 9600 was credited to
// the try after it (19200, or 1200), since its answer came while the port
// was opened anew and a pseudo-terminal passes it on at any rate.
std::unique_ptr<sim::SimThread> LateGateway() {
  auto gateway = SerialGateway(9600);
  // Longer than the first wait at 9600 (about 134 ms).
  if (gateway) gateway->SetBehaviour({.delayMs = 200});
  return gateway;
}

std::string LateAnswer(const sim::SimThread& gateway, const char* parity) {
  return QStringLiteral("%1 9600 %2 QV:KV770-W V2.1.0#")
      .arg(gateway.PtyPath(), QLatin1String(parity))
      .toStdString();
}

TEST(ScanTest, ALateGatewayIsFoundAtItsOwnSetting) {
  const auto gateway = LateGateway();
  ASSERT_TRUE(gateway);
  const Outcome o = Ctl({"scan", "--serial", gateway->PtyPath()});
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << o.out.toStdString();
  EXPECT_EQ(lines[1].simplified().toStdString(), LateAnswer(*gateway, "none"));
}

TEST(ScanTest, ALateGatewayIsListedAtItsOwnSettingsOnly) {
  const auto gateway = LateGateway();
  ASSERT_TRUE(gateway);
  const Outcome o = Ctl({"scan", "--all", "--serial", gateway->PtyPath()});
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  // A pseudo-terminal carries no parity: 9600 with any, and no other rate.
  const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5) << o.out.toStdString();
  EXPECT_EQ(lines[1].simplified().toStdString(), LateAnswer(*gateway, "none"));
  EXPECT_EQ(lines[2].simplified().toStdString(), LateAnswer(*gateway, "even"));
  EXPECT_EQ(lines[3].simplified().toStdString(), LateAnswer(*gateway, "odd"));
}

// Sets the soft descriptor limit for its lifetime.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    ok_ = getrlimit(RLIMIT_NOFILE, &before_) == 0;
    rlimit lowered = before_;
    lowered.rlim_cur = std::min(soft, before_.rlim_max);
    ok_ = ok_ && setrlimit(RLIMIT_NOFILE, &lowered) == 0;
  }
  ~DescriptorLimit() {
    if (ok_) setrlimit(RLIMIT_NOFILE, &before_);
  }
  bool Ok() const { return ok_; }

 private:
  rlimit before_{};
  bool ok_ = false;
};

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    closedir(dir);
  }
  return count;
}

// A port that takes no connection past the first and answers none: the
// listener never accepts and its queue holds one, so a connection either
// waits for an answer or is never made, until the time-out.
class DeafPort {
 public:
  DeafPort() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    socklen_t size = sizeof any;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&any), size) != 0 || listen(fd_, 0) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&any), &size) != 0)
      return;
    port_ = ntohs(any.sin_port);
  }
  ~DeafPort() {
    if (fd_ >= 0) close(fd_);
  }
  quint16 Port() const { return port_; }

 private:
  int fd_ = -1;
  quint16 port_ = 0;
};

// The finding: each address had a thread of its own, and its event loop's
// descriptors; past the limit GLib aborted the program, nothing printed.
TEST(ScanTest, ManyTcpAddressesUnderALowDescriptorLimitGetARowEach) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  const DeafPort deaf;
  ASSERT_NE(deaf.Port(), 0);
  const quint16 closed = ClosedPort();
  // Every loopback address reaches the ports above. Most refuse at once;
  // every third waits out the time-out, so that many checks are under way
  // together.
  constexpr int kAddresses = 300;
  constexpr int kGatewayAt = 151;
  QStringList arguments = {"scan", "--json", "--timeout", "300"};
  QStringList shown;
  for (int i = 0; i < kAddresses; ++i) {
    const quint16 port = i == kGatewayAt ? gateway.Port() : i % 3 == 0 ? deaf.Port() : closed;
    shown << (i == kGatewayAt
                  ? QStringLiteral("127.0.0.1:%1").arg(port)
                  : QStringLiteral("127.0.%1.%2:%3").arg(1 + i / 250).arg(1 + i % 250).arg(port));
    arguments << "--tcp" << shown.back();
  }
  Outcome o;
  {
    // Far fewer descriptors than a thread and a socket for each address.
    const DescriptorLimit limit(OpenDescriptors() + 128);
    ASSERT_TRUE(limit.Ok());
    o = Ctl(arguments);
  }
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  const QJsonObject object = QJsonDocument::fromJson(o.out.toUtf8()).object();
  const QJsonArray results = object["results"].toArray();
  ASSERT_EQ(results.size(), kAddresses) << o.err.toStdString();
  for (int i = 0; i < kAddresses; ++i) {
    const QJsonObject r = results[i].toObject();
    const std::string error = r["error"].toString().toStdString();
    EXPECT_EQ(QStringLiteral("%1:%2").arg(r["host"].toString()).arg(r["port"].toInt()), shown[i]);
    if (i == kGatewayAt)
      EXPECT_EQ(r["answer"].toString(), "QV:KV770-W V2.1.0#");
    else if (i % 3 == 0)
      EXPECT_TRUE(error.ends_with("within 300 ms")) << error;
    else
      EXPECT_TRUE(error.ends_with("Connection refused")) << error;
  }
  EXPECT_EQ(object["found"].toInt(), 1);
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
  EXPECT_TRUE(none.err.endsWith("kv770ctl: no gateway answered\n")) << none.err.toStdString();
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
  QList<link::EnumeratedPort> ports;
  for (const char* path : {"/dev/ttyUSB10", "/dev/ttyS10", "/dev/ttyUSB2", "/dev/ttyS2", "/dev/ttyS2"})
    ports.append({.path = QString::fromLatin1(path), .maker = {}, .product = {}, .serialNumber = {}});
  EXPECT_EQ(DevicesPresent(ports),
            (QStringList{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

}  // namespace
}  // namespace kv770::cli
