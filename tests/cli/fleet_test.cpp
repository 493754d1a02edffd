#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "cli/ctl.h"
#include "link/trace.h"
#include "sim/sim_thread.h"
#include "support/ctl_run.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Outcome;

QString Write(const QTemporaryDir& dir, const QString& name, const QString& text) {
  QFile f(dir.filePath(name));
  if (f.open(QIODevice::WriteOnly)) f.write(text.toUtf8());
  return f.fileName();
}

QString Tcp(const sim::SimThread& sim) {
  return QStringLiteral("tcp 127.0.0.1:%1").arg(sim.Port());
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

}  // namespace
}  // namespace kv770::cli
