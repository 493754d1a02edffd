// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <csignal>

#include "cli/ctl.h"
#include "link/trace.h"
#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/ctl_run.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Json;
using test::Outcome;

QString Write(const QTemporaryDir& dir, const QString& name, const QString& text) {
  QFile f(dir.filePath(name));
  if (f.open(QIODevice::WriteOnly)) f.write(text.toUtf8());
  return f.fileName();
}

QString Tcp(const sim::SimThread& sim) {
  return QStringLiteral("tcp 127.0.0.1:%1").arg(sim.Port());
}

QJsonObject SystemOf(const sim::SimThread& sim) {
  return Json(
      Ctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "system", "get", "--json"})
          .out);
}

// A mapping restored onto five gateways: two good ones (one of them over
// its serial line, listed twice so the line must be taken in turn), one
// that refuses coefficients and one that never answers.
TEST(CtlFleet, RestoreReportsEachGatewayAndFailsForTheRefusingAndTheSilent) {
  sim::SimThread source, good, serial, refusing, silent;
  for (sim::SimThread* s : {&source, &good, &serial, &refusing, &silent}) ASSERT_TRUE(s->Start());
  ASSERT_FALSE(serial.StartPty().isEmpty());
  refusing.SetRefused({"XISH"});
  silent.SetBehaviour({.silent = true});

  QTemporaryDir dir;
  const QString backup = dir.filePath("plant.json");
  const QString link = QStringLiteral("127.0.0.1:%1").arg(source.Port());
  ASSERT_EQ(Ctl({"--tcp", link, "meter", "2", "set", "--coefficients", "2.5,1,1,1"}).code, 0);
  ASSERT_EQ(Ctl({"--tcp", link, "backup", backup}).code, 0);

  const QString fleet =
      Write(dir, "fleet.txt",
            QStringLiteral("# line 4\n%1\nserial %2 9600\n  serial %2 19200 none # again\n%3\n%4\n")
                .arg(Tcp(good), serial.PtyPath(), Tcp(refusing), Tcp(silent)));
  const Outcome o = Ctl({"--fleet", fleet, "--timeout", "500", "--gap", "20", "restore", backup});
  EXPECT_EQ(o.code, 1) << o.err.toStdString();
  const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 6) << o.out.toStdString();
  const auto line = [&](const QString& start) {
    for (const QString& l : lines)
      if (l.startsWith(start)) return l.simplified();
    return QString();
  };
  EXPECT_EQ(line(Tcp(good)), Tcp(good) + " ok");
  EXPECT_TRUE(line("serial " + serial.PtyPath() + " 9600").endsWith(" ok"));
  EXPECT_TRUE(line("serial " + serial.PtyPath() + " 19200").endsWith(" ok"));
  EXPECT_EQ(line(Tcp(refusing)),
            Tcp(refusing) + " refused: meter 2 coefficient 1: 2.500 wanted, the gateway has 1.000");
  EXPECT_TRUE(line(Tcp(silent)).startsWith(Tcp(silent) + " no answer: no answer from the gateway"))
      << line(Tcp(silent)).toStdString();
  EXPECT_EQ(lines.last(), "5 gateways: 3 ok, 1 refused, 1 no answer");
}

TEST(CtlFleet, BadLinesAreNamedBeforeAnythingIsSent) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  QTemporaryDir dir;
  link::Trace trace;
  ASSERT_TRUE(trace.Open(dir.filePath("trace.txt")));
  gateway.SetTrace(&trace);
  const QString fleet =
      Write(dir, "fleet.txt",
            Tcp(gateway) + "\nudp 10.0.0.1\ntcp 10.0.0.2:70000\nserial /dev/ttyS0 9601\n" +
                Tcp(gateway) + "\n");
  const Outcome o = Ctl({"--fleet", fleet, "check"});
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.out, "");
  for (const char* expected : {":2: 'udp': a line is", ":3: '70000' is out of range (1 to 65535)",
                               ":4: '9601' is not a baud rate of the gateway", ":5: tcp 127.0.0.1"})
    EXPECT_TRUE(o.err.contains(expected)) << expected << "\n" << o.err.toStdString();
  gateway.SetTrace(nullptr);
  EXPECT_EQ(QFile(dir.filePath("trace.txt")).size(), 0);
}

TEST(CtlFleet, BackupWritesOneFilePerGatewayNamedAfterItsLink) {
  sim::SimThread a, b;
  ASSERT_TRUE(a.Start() && b.Start());
  QTemporaryDir dir;
  const QString fleet = Write(dir, "fleet.txt", Tcp(a) + "\n" + Tcp(b) + "\n");
  const Outcome o = Ctl({"--fleet", fleet, "--jobs", "1", "backup", dir.filePath("out")});
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  for (const sim::SimThread* s : {&a, &b})
    EXPECT_TRUE(
        QFile::exists(dir.filePath(QStringLiteral("out/tcp_127.0.0.1_%1.json").arg(s->Port()))));
}

// `restore -` reads standard input once and gives every gateway the same
// backup; a bad one is refused once, before anything is sent.
TEST(CtlFleet, RestoreFromStandardInputGivesEveryGatewayTheSameFile) {
  sim::SimThread source, a, b;
  ASSERT_TRUE(source.Start() && a.Start() && b.Start());
  QTemporaryDir dir;
  const QString backup = dir.filePath("plant.json");
  const QString link = QStringLiteral("127.0.0.1:%1").arg(source.Port());
  ASSERT_EQ(Ctl({"--tcp", link, "system", "set", "--address", "42"}).code, 0);
  ASSERT_EQ(Ctl({"--tcp", link, "backup", backup}).code, 0);
  QFile file(backup);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray good = file.readAll();
  const QString fleet = Write(dir, "fleet.txt", Tcp(a) + "\n" + Tcp(b) + "\n");
  const struct {
    QByteArray input;
    int code;
    int refusals;  // "not JSON", said once for the whole fleet
    int address;   // each gateway's afterwards
  } cases[] = {{good.left(good.size() / 2), 2, 1, 1}, {good, 0, 0, 42}};
  for (const auto& c : cases) {
    const test::ChildRun run = test::RunChild(
        test::BuiltProgram("kv770ctl"), {"--fleet", fleet, "--gap", "20", "restore", "-"}, c.input);
    EXPECT_EQ(run.exitCode, c.code) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(run.err.count("kv770ctl: -: not JSON"), c.refusals) << run.err.toStdString();
    for (const sim::SimThread* g : {&a, &b}) EXPECT_EQ(SystemOf(*g)["slaveAddress"], c.address);
  }
}

// After the command --baud is the gateway's RS-485 rate; before it, the
// link's, which the fleet file gives.
TEST(CtlFleet, BaudAfterTheCommandIsTheGatewaysBeforeItIsRefused) {
  sim::SimThread a, b;
  ASSERT_TRUE(a.Start() && b.Start());
  QTemporaryDir dir;
  const QString fleet = Write(dir, "fleet.txt", Tcp(a) + "\n" + Tcp(b) + "\n");
  const struct {
    QStringList arguments;
    int code;
    const char* says;
    int baud;  // each gateway's afterwards
  } cases[] = {{{"--fleet", fleet, "system", "set", "--baud", "19200"}, 0, "", 19200},
               {{"--fleet", fleet, "--baud", "4800", "system", "set", "--address", "3"},
                2,
                "--baud does not go with --fleet",
                19200}};
  for (const auto& c : cases) {
    const Outcome o = Ctl(c.arguments);
    EXPECT_EQ(o.code, c.code) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(c.says)) << o.err.toStdString();
    for (const sim::SimThread* g : {&a, &b}) EXPECT_EQ(SystemOf(*g)["baudRate"], c.baud);
  }
}

// A signal while a slow gateway is being written: it stops between two
// requests and is named, the one not reached is named too, and the count
// follows.
class CtlFleetSignal : public ::testing::TestWithParam<int> {};

TEST_P(CtlFleetSignal, NamesTheInterruptedGatewayAndThoseNotStarted) {
  sim::SimThread slow, next;
  ASSERT_TRUE(slow.Start() && next.Start());
  slow.SetBehaviour({.delayMs = 100});
  QTemporaryDir dir;
  const QString backup = dir.filePath("plant.json");
  ASSERT_EQ(Ctl({"--tcp", QStringLiteral("127.0.0.1:%1").arg(next.Port()), "backup", backup}).code,
            0);
  link::Trace trace;
  ASSERT_TRUE(trace.Open(dir.filePath("trace.txt")));
  slow.SetTrace(&trace);
  const QString fleet = Write(dir, "fleet.txt", Tcp(slow) + "\n" + Tcp(next) + "\n");
  const test::ChildRun run =
      test::RunChild(test::BuiltProgram("kv770ctl"),
                     {"--fleet", fleet, "--jobs", "1", "restore", backup}, {}, {}, [&](pid_t pid) {
                       // A few of the restore's set commands taken, many still to come.
                       QFile written(dir.filePath("trace.txt"));
                       for (int i = 0; i < 1000 && written.size() < 600; ++i) QThread::msleep(10);
                       ::kill(pid, GetParam());
                     });
  slow.SetTrace(nullptr);
  EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
  const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
  EXPECT_TRUE(lines[0].simplified().startsWith(Tcp(slow) + " interrupted: stopped after "))
      << lines[0].toStdString();
  EXPECT_EQ(lines[1].simplified(), Tcp(next) + " not started");
  EXPECT_EQ(lines[2], "2 gateways: 0 ok, 1 interrupted, 1 not started");
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, CtlFleetSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(strsignal(info.param)); });

}  // namespace
}  // namespace kv770::cli
