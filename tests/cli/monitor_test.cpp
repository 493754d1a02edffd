// SPDX-License-Identifier: GPL-3.0-or-later
// kv770ctl monitor against the simulated gateway over TCP.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include "cli/ctl.h"
#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/ctl_run.h"
#include "support/twisted_gateway.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Outcome;

// Three polls: a line each after the two heading lines, and a CSV of a
// header and three rows; a second run appends its rows without a header.
TEST(Monitor, CountPollsAreShownAndWrittenToCsv) {
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString csv = dir.filePath("values.csv");
  const QStringList link{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "--gap", "20"};
  const Outcome o = Ctl(link + QStringList{"monitor", "--count", "3", "--interval", "100", "--csv",
                                           csv, "--meters", "1,3"});
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5) << o.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith("time") && lines[0].contains("ch3 v4")) << lines[0].toStdString();
  // Each column's unit symbol, as the simulated instruments' replies name it.
  EXPECT_EQ(lines[1].simplified(), QStringLiteral("unit mA m³/h °C MPa m³ mA kg/min °C bar kg"));
  const QRegularExpression poll(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}( +-?[0-9.]+){10}$"));
  for (int i = 2; i < 5; ++i)
    EXPECT_TRUE(poll.match(lines[i]).hasMatch()) << lines[i].toStdString();

  ASSERT_EQ(
      Ctl(link + QStringList{"monitor", "--count", "1", "--csv", csv, "--meters", "1,3"}).code, 0);
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList rows = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 5);
  EXPECT_EQ(rows[0], QStringLiteral("time,meter 1 current (mA),meter 1 variable 1 (m³/h),"
                                    "meter 1 variable 2 (°C),meter 1 variable 3 (MPa),"
                                    "meter 1 variable 4 (m³),meter 3 current (mA),"
                                    "meter 3 variable 1 (kg/min),meter 3 variable 2 (°C),"
                                    "meter 3 variable 3 (bar),meter 3 variable 4 (kg)"));
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(rows[i].count(','), 10) << rows[i].toStdString();
    EXPECT_FALSE(rows[i].contains(",,"));
  }
}

// Refused before the link is opened, naming what is wrong.
TEST(Monitor, ABadMeterListIsRefused) {
  const std::pair<const char*, const char*> cases[]{{"9", "'9' is out of range"},
                                                    {"0", "'0' is out of range"},
                                                    {"3-1", "'3-1' runs backwards"},
                                                    {"1,x", "'x'"}};
  for (const auto& [list, why] : cases) {
    const Outcome o = Ctl({"--tcp", "127.0.0.1:1", "monitor", "--meters", list});
    EXPECT_EQ(o.code, 2) << list;
    EXPECT_TRUE(o.err.contains(QLatin1String(why))) << o.err.toStdString();
  }
}

// ---- a logger under hostile peers, disks and pipes -----------------------------------------

QStringList TcpLink(const sim::SimThread& sim) {
  return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "--gap", "20"};
}

// The CSV's lines; the last is what follows the last line end ("" when
// the file ends with one).
QStringList CsvLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split("\r\n");
}

// A row is whole when it has the time and meter 1's five values (or gaps).
int WholeRows(const QStringList& lines) {
  int rows = 0;
  for (const QString& line : lines) rows += line.count(',') == 5 && !line.startsWith("time");
  return rows;
}

int GapRows(const QStringList& lines) {
  return static_cast<int>(lines.filter(QRegularExpression(",,,,,$")).size());
}

// On a full disk the row that did not fit is cut back, so the file ends
// with a whole row; a half row left by an older run is ended before the
// next run's rows.
TEST(MonitorCsv, AFullDiskKeepsWholeRowsAndAHalfRowIsEndedBeforeNewOnes) {
  QTemporaryDir dir;
  const QByteArray mountPoint = QFile::encodeName(dir.path());
  if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  const std::shared_ptr<void> unmount(
      nullptr, [&](void*) { ::umount2(mountPoint.constData(), MNT_DETACH); });
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  // Room for about a page of rows.
  const QString filler = dir.filePath("filler");
  {
    QFile f(filler);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(QByteArray(60 * 1024, 'x')), 60 * 1024);
  }
  const QString csv = dir.filePath("values.csv");
  const QStringList run = TcpLink(sim) + QStringList{"monitor", "--interval", "0", "--meters",
                                                     "1",       "--csv",      csv, "--count"};
  const Outcome full = Ctl(run + QStringList{"1000"});
  EXPECT_EQ(full.code, 1);
  EXPECT_TRUE(
      full.err.contains(QStringLiteral("cannot write %1: No space left on device").arg(csv)))
      << full.err.toStdString();
  QStringList lines = CsvLines(csv);
  EXPECT_EQ(lines.last(), QString()) << "ends in half a row: " << lines.last().toStdString();
  EXPECT_EQ(WholeRows(lines), lines.size() - 2);

  ASSERT_TRUE(QFile::remove(filler));
  const QString half = QStringLiteral("2026-12-08T19:21:53.123Z,12.5");
  {
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(half.toUtf8());
  }
  const int before = WholeRows(lines);
  ASSERT_EQ(Ctl(run + QStringList{"2"}).code, 0);
  lines = CsvLines(csv);
  EXPECT_TRUE(lines.contains(half));
  EXPECT_EQ(WholeRows(lines), before + 2);
}

struct WaitCase {
  const char* name;
  sim::Behaviour behaviour;
  QStringList arguments;
  int code;
  QString says;  // a pattern for standard error
};

class MonitorWaits : public ::testing::TestWithParam<WaitCase> {};

// --timeout is every exchange's wait: a slow gateway's polls get their
// values, and a configuration reply still coming when it runs out is
// named as cut off, not blamed on its content. No gap is ever shown.
TEST_P(MonitorWaits, FollowTimeout) {
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  ASSERT_EQ(Ctl(TcpLink(sim) + QStringList{"system", "set", "--mode", "modbus"}).code, 0);
  sim.SetBehaviour(GetParam().behaviour);
  const Outcome o = Ctl(TcpLink(sim) + GetParam().arguments);
  EXPECT_EQ(o.code, GetParam().code) << o.err.toStdString();
  EXPECT_TRUE(QRegularExpression(GetParam().says).match(o.err).hasMatch()) << o.err.toStdString();
  EXPECT_FALSE(o.out.contains("—")) << o.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    SlowGateways, MonitorWaits,
    ::testing::Values(
        WaitCase{
            "AnswerLaterThanTheInterval",
            {.delayMs = 1100},
            {"--timeout", "3000", "monitor", "--count", "1", "--interval", "500", "--meters", "1"},
            0,
            ""},
        WaitCase{"ConfigurationByteByByte",
                 {.byteByByte = true, .byteGapMs = 30},
                 {"--gap", "200", "--timeout", "1500", "monitor", "--count", "1", "--meters", "1"},
                 1,
                 "the reply to QQQ#QQ0# was cut off after \\d+ bytes within the wait of 1500 ms; "
                 "a longer --timeout may help"}),
    [](const auto& info) { return std::string(info.param.name); });

// A gateway that reads out its configuration and then answers no poll: a
// run of gaps alone is no success.
TEST(Monitor, ARunWithoutAnyValueFails) {
  test::TwistedGateway gateway(
      [](const std::string& request, sim::GatewayModel&) -> std::optional<std::string> {
        if (request.starts_with("QQ")) return std::nullopt;
        return std::string();
      });
  gateway.Model().workingMode = 1;
  const Outcome o = Ctl(
      gateway.Link() + QStringList{"--timeout", "300", "monitor", "--count", "2", "--meters", "1"});
  EXPECT_EQ(o.code, 1);
  EXPECT_TRUE(o.err.contains("no value in 2 polls")) << o.err.toStdString();
}

// The gateway goes away and comes back on the same port: the polls in
// between are gaps at the usual pace, and the run goes on to --count.
TEST(Monitor, ReconnectsToAGatewayThatComesBack) {
  std::optional<sim::SimThread> sim(std::in_place);
  ASSERT_TRUE(sim->Start());
  const quint16 port = sim->Port();
  const QStringList link = TcpLink(*sim);
  std::thread outage([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    sim.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    sim.emplace();
    sim->Start(port);
  });
  QTemporaryDir dir;
  const QString csv = dir.filePath("values.csv");
  const Outcome o = Ctl(link + QStringList{"monitor", "--count", "20", "--interval", "250",
                                           "--meters", "1", "--csv", csv});
  outage.join();
  EXPECT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_TRUE(o.err.contains("lost the gateway")) << o.err.toStdString();
  EXPECT_TRUE(o.err.contains("connected again")) << o.err.toStdString();
  const QStringList lines = CsvLines(csv);
  ASSERT_EQ(lines.size(), 22);  // the header, 20 rows, nothing after the last line end
  EXPECT_EQ(WholeRows(lines), 20);
  EXPECT_GT(GapRows(lines), 0);
  EXPECT_EQ(GapRows(lines.mid(18)), 0) << "not back by the end";
}

// kv770ctl as a program: where its standard output goes.
enum class Out { File, FullDevice, ClosedPipe };

struct OutputCase {
  const char* name;
  Out out;
  QStringList arguments;
  int code;      // -1: ended by SIGPIPE, as a program whose pipe closed
  QString says;  // on standard error; with no code, nothing there from kv770ctl
};

class MonitorOutput : public ::testing::TestWithParam<OutputCase> {};

// An output that takes no more ends the run at once, with the system's
// reason; a closed pipe ends it silently. "--csv -" is standard output.
TEST_P(MonitorOutput, EndsTheRunWhenItFails) {
  const OutputCase& c = GetParam();
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  QTemporaryDir dir;
  const QString full = dir.filePath("full");
  if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
    GTEST_SKIP() << "no device node can be made here";
  int fd = -1;
  int pipeEnds[2] = {-1, -1};
  if (c.out == Out::FullDevice) fd = ::open(QFile::encodeName(full).constData(), O_WRONLY);
  if (c.out == Out::ClosedPipe && ::pipe(pipeEnds) == 0) {
    ::close(pipeEnds[0]);
    fd = pipeEnds[1];
  }
  ASSERT_TRUE(c.out == Out::File || fd >= 0);
  QStringList arguments = c.arguments;
  arguments.replaceInStrings("FULL", full);
  const QString csv = dir.filePath("rows.csv");
  arguments.replaceInStrings("ROWS", csv);
  const test::ChildRun run = test::RunChild(
      test::BuiltProgram("kv770ctl"),
      TcpLink(sim) + arguments + QStringList{"--count", "10", "--interval", "50", "--meters", "1"},
      {}, {}, {}, fd);
  if (fd >= 0) ::close(fd);
  if (c.code < 0) {
    EXPECT_EQ(run.signal, SIGPIPE) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("kv770ctl:")) << run.err.toStdString();
  } else {
    EXPECT_EQ(run.exitCode, c.code) << run.err.toStdString();
    EXPECT_EQ(run.err.count(c.says), 1) << run.err.toStdString();
  }
  if (c.arguments.contains("-")) {
    // The rows alone on standard output, the table on standard error.
    EXPECT_TRUE(run.out.startsWith("time,meter 1 current (mA),")) << run.out.toStdString();
    EXPECT_EQ(run.out.count("\r\n"), 11);
    EXPECT_TRUE(run.err.contains("ch1 cur"));
  } else {
    EXPECT_LT(WholeRows(CsvLines(csv)), 10) << "the run went on";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, MonitorOutput,
    ::testing::Values(
        OutputCase{"CsvToStandardOutput", Out::File, {"monitor", "--csv", "-"}, 0, "ch1 cur"},
        OutputCase{"StandardOutputOnAFullDevice",
                   Out::FullDevice,
                   {"monitor", "--csv", "ROWS"},
                   1,
                   "kv770ctl: cannot write standard output: No space left on device"},
        OutputCase{"TraceOnAFullDevice",
                   Out::File,
                   {"--trace", "FULL", "monitor", "--csv", "ROWS"},
                   1,
                   "kv770ctl: cannot write the trace"},
        OutputCase{
            "StandardOutputPipeClosed", Out::ClosedPipe, {"monitor", "--csv", "ROWS"}, -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kv770::cli
