// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include "cli/ctl.h"
#include "link/trace.h"
#include "sim/sim_thread.h"

namespace kv770 {
namespace {

using link::Trace;

QStringList Lines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

// "2026-12-08 07:30:12.345 " before every line.
const QRegularExpression kStamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");

QStringList WithoutStamps(const QStringList& lines) {
  QStringList rest;
  for (const QString& line : lines) {
    EXPECT_TRUE(kStamp.match(line).hasMatch()) << line.toStdString();
    rest << line.mid(24);
  }
  return rest;
}

TEST(Trace, LineShowsLinkDirectionHexAndPrintableAscii) {
  EXPECT_EQ(Trace::Format("tcp", Trace::Direction::Sent, QByteArray("QQQ#QX#")),
            "tcp    > 51 51 51 23 51 58 23  |QQQ#QX#|");
  EXPECT_EQ(Trace::Format("serial", Trace::Direction::Received, QByteArray("\xFF\x06%1\x7F", 5)),
            "serial < FF 06 25 31 7F  |..%1.|");
}

TEST(Trace, ClosedOrEmptyRecordsNothing) {
  QTemporaryDir dir;
  Trace trace;
  trace.Record("tcp", Trace::Direction::Sent, "lost");  // not open yet
  ASSERT_TRUE(trace.Open(dir.filePath("t.log")));
  trace.Record("tcp", Trace::Direction::Sent, QByteArray());
  EXPECT_TRUE(Lines(dir.filePath("t.log")).isEmpty());
  EXPECT_FALSE(Trace().Open(dir.filePath("no/such/dir/t.log")));
}

// One communication check over TCP, seen from both ends: the tool's trace
// and the simulator's, which records the same bytes the other way round.
TEST(Trace, KnownExchangeOnBothEnds) {
  QTemporaryDir dir;
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  Trace simTrace;
  ASSERT_TRUE(simTrace.Open(dir.filePath("sim.log")));
  sim.SetTrace(&simTrace);

  QString out;
  QString err;
  QTextStream o(&out);
  QTextStream e(&err);
  const QString tool = dir.filePath("tool.log");
  ASSERT_EQ(cli::Run({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "--trace", tool,
                      "--gap", "20", "check"},
                     o, e),
            0)
      << err.toStdString();
  sim.SetTrace(nullptr);

  const QStringList expected{
      "tcp    > 50 50 50 50 50 50 23 56 41 52 23  |PPPPPP#VAR#|",
      "tcp    < 51 56 3A 4B 56 37 37 30 2D 57 20 56 32 2E 31 2E 30 23  |QV:KV770-W V2.1.0#|"};
  EXPECT_EQ(WithoutStamps(Lines(tool)), expected);
  EXPECT_EQ(WithoutStamps(Lines(dir.filePath("sim.log"))),
            (QStringList{QString(expected[0]).replace("tcp    >", "tcp    <"),
                         QString(expected[1]).replace("tcp    <", "tcp    >")}));

  // Appended, never truncated: a second run adds its two lines.
  ASSERT_EQ(cli::Run({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "--trace", tool,
                      "--gap", "20", "check"},
                     o, e),
            0);
  EXPECT_EQ(Lines(tool).size(), 4);
}

TEST(Trace, SerialLinkAndTheSimulatorsSerialLine) {
  QTemporaryDir dir;
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  Trace simTrace;
  ASSERT_TRUE(simTrace.Open(dir.filePath("sim.log")));
  sim.SetTrace(&simTrace);
  const QString path = sim.StartPty();  // started after the trace was set
  ASSERT_FALSE(path.isEmpty());

  QString out;
  QString err;
  QTextStream o(&out);
  QTextStream e(&err);
  const QString tool = dir.filePath("tool.log");
  ASSERT_EQ(cli::Run({"--serial", path, "--trace", tool, "hart", "send", "02 80 00 00"}, o, e), 0)
      << err.toStdString();
  sim.SetTrace(nullptr);
  const QStringList lines = WithoutStamps(Lines(tool));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], "serial > FF FF FF FF FF FF FF 02 80 00 00 82  |............|");
  EXPECT_TRUE(lines[1].startsWith("serial < FF FF FF FF FF 06 80 00")) << lines[1].toStdString();
  const QStringList simLines = WithoutStamps(Lines(dir.filePath("sim.log")));
  ASSERT_EQ(simLines.size(), 2);
  EXPECT_EQ(simLines[0], "serial < FF FF FF FF FF FF FF 02 80 00 00 82  |............|");
  EXPECT_EQ(simLines[1].mid(9), lines[1].mid(9));
}

}  // namespace
}  // namespace kv770
