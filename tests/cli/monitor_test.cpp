// kv770ctl monitor against the simulated gateway over TCP.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli/ctl.h"
#include "sim/sim_thread.h"

namespace kv770::cli {
namespace {

struct Outcome {
  int code = -1;
  QString out;
  QString err;
};

Outcome Ctl(const QStringList& arguments) {
  Outcome o;
  QTextStream out(&o.out);
  QTextStream err(&o.err);
  o.code = Run(arguments, out, err);
  return o;
}

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
  EXPECT_TRUE(lines[1].startsWith("unit") && lines[1].contains("mA"));
  const QRegularExpression poll(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}( +-?[0-9.]+){10}$"));
  for (int i = 2; i < 5; ++i)
    EXPECT_TRUE(poll.match(lines[i]).hasMatch()) << lines[i].toStdString();

  ASSERT_EQ(
      Ctl(link + QStringList{"monitor", "--count", "1", "--csv", csv, "--meters", "1,3"}).code, 0);
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList rows = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 5);
  EXPECT_TRUE(rows[0].startsWith("time,meter 1 current (mA),meter 1 variable 1 ("));
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

}  // namespace
}  // namespace kv770::cli
