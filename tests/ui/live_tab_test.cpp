// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/window_fixture.h"
#include "ui/live_chart.h"
#include "ui/live_tab.h"

namespace kv770::ui {
namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

// The Live Values tab from outside: Start/Stop (Button61), its interval
// (SpinEdit1), the status line (Label150) and the table (StringGrid1). The
// chart and CSV cases feed samples without a gateway through LiveValues().
class LiveTabTest : public WindowFixture {
 protected:
  // The tab's own feed, for polls without a gateway.
  LiveTab& LiveValues() { return *form->findChild<LiveTab*>(); }

  void Start(int intervalMs = 200) {
    Find<QSpinBox>("SpinEdit1")->setValue(intervalMs);
    Click("Button61");
  }
  bool Running() const { return Find<QPushButton>("Button61")->text() == QLatin1String("Stop"); }
  QString Status() const { return Shown("Label150"); }
  QTableWidget* Table() const { return Find<QTableWidget>("StringGrid1"); }
  // The polls the status line counts while polling; -1 before that.
  int PollsCounted() const {
    static const QRegularExpression counted(QStringLiteral("^Polling every \\d+ ms: (\\d+) poll"));
    const QRegularExpressionMatch m = counted.match(Status());
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  }
  bool PolledAtLeast(int polls, int withinMs) {
    return QTest::qWaitFor([&] { return PollsCounted() >= polls; }, withinMs);
  }
  // Polls of two meters' currents, one a second from `t0`.
  static std::vector<live::Sample> Samples(std::int64_t t0, std::initializer_list<double> meter1,
                                           double meter2 = 12.0) {
    std::vector<live::Sample> samples;
    std::int64_t t = t0;
    for (double v : meter1) {
      for (int meter : {1, 2}) {
        const double value = meter == 1 ? v : meter2;
        const live::Status status = std::isnan(value) ? live::Status::kNoAnswer : live::Status::kOk;
        samples.push_back({t, meter, 0, value, "mA", status});
      }
      t += 1000;
    }
    return samples;
  }
};

// ---- against the simulated gateway -------------------------------------------

class SimulatorTest : public LiveTabTest {
 protected:
  void SetUp() override {
    LiveTabTest::SetUp();
    simStartedBefore = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(gateway.Start());
    simStartedAfter = QDateTime::currentMSecsSinceEpoch();
  }
  void OpenLink(bool serial) {
    if (serial) {
      const QString line = gateway.StartPty();
      ASSERT_FALSE(line.isEmpty());
      ASSERT_TRUE(OpenSerial(line)) << messages.shown.join('|').toStdString();
    } else {
      ASSERT_TRUE(ConnectPort(gateway.Port()));
    }
  }
  void SetWorkingMode(bool modbus) {
    Choose("ComboBox7", modbus ? 1 : 0);
    Click("Button24");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea().startsWith("OK:"); }, 3000))
        << ReceiveArea().toStdString();
  }
  // Whether `value` is what the simulator showed for the row's meter and
  // quantity at some moment of the poll that began at `polledMs` (wall
  // clock); the simulator's clock began with its Start.
  bool FromTheSimulator(int meter, int quantity, double value, std::int64_t polledMs) {
    sim::Engine reference;
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (std::int64_t t = polledMs - simStartedAfter - 10; t <= polledMs - simStartedBefore + 1000;
         t += 5) {
      const double v =
          quantity == 0 ? reference.LoopCurrent(meter, t) : reference.Variable(meter, quantity, t);
      low = std::min(low, v);
      high = std::max(high, v);
    }
    const double tolerance = 1e-5 * std::max(1.0, std::abs(value));
    return value >= low - tolerance && value <= high + tolerance;
  }

  sim::SimThread gateway;
  std::int64_t simStartedBefore = 0;
  std::int64_t simStartedAfter = 0;
};

struct LinkCase {
  const char* name;
  bool modbusMode;  // else transparent
  bool serial;      // else TCP
  // Transparent mode asks each channel in turn, each request ending in a
  // pause the gateway waits for: eight take longer than 200 ms.
  int intervalMs;
  // Polls counted to time them: enough that a receive handler's wait on
  // each reply (300 ms serial, 500 ms TCP) would show, however late one
  // poll runs on a busy machine.
  int timedPolls;
};

class LiveValuesTest : public SimulatorTest, public ::testing::WithParamInterface<LinkCase> {};

// The units of the simulated instruments, channel by channel, as the table
// writes them: command 3 replies carry their codes.
const char* const kChannelUnits[8][4] = {
    {"m³/h", "°C", "MPa", "m³"},     {"l/min", "°C", "kPa", "l"}, {"kg/min", "°C", "bar", "kg"},
    {"gal/min", "°F", "psi", "gal"}, {"t/min", "K", "MPa", "t"},  {"l/s", "°C", "Pa", "l"},
    {"m³/h", "°C", "kPa", "m³"},     {"kg/h", "°C", "bar", "kg"}};

// Every row of the table holds a value with its unit, the one the simulated
// gateway showed when the poll read it, and every column is in sight at the
// window's designed size.
TEST_P(LiveValuesTest, TableShowsTheGatewaysValues) {
  form->show();
  Find<QTabWidget>("PageControl1")->setCurrentWidget(Find("TabSheet6"));
  OpenLink(GetParam().serial);
  SetWorkingMode(GetParam().modbusMode);
  const QString acknowledged = ReceiveArea();
  const int interval = GetParam().intervalMs;
  Start(interval);
  ASSERT_TRUE(PolledAtLeast(1, 15000)) << Status().toStdString();
  const int first = PollsCounted();
  // From the first poll on, one every interval.
  const int timed = GetParam().timedPolls;
  EXPECT_TRUE(PolledAtLeast(first + timed, (timed + 2) * interval)) << Status().toStdString();
  const QTableWidget* table = Table();
  ASSERT_EQ(table->rowCount(), 8 * 5);
  for (int r = 0; r < table->rowCount(); ++r) {
    const int meter = table->item(r, 0)->text().toInt();
    const int quantity = r % 5;
    bool number = false;
    const double value = table->item(r, 2)->text().toDouble(&number);
    ASSERT_TRUE(number) << "row " << r << ": '" << table->item(r, 2)->text().toStdString() << "'";
    EXPECT_EQ(meter, r / 5 + 1);
    // MODBUS mode knows the current's unit and the variables' coefficients
    // (the simulator's are 1), transparent mode each unit.
    const QString unit = quantity == 0           ? QStringLiteral("mA")
                         : GetParam().modbusMode ? QStringLiteral("×1.000")
                                                 : kChannelUnits[meter - 1][quantity - 1];
    EXPECT_EQ(table->item(r, 3)->text(), unit) << "row " << r;
    EXPECT_EQ(table->item(r, 4)->text(), QStringLiteral("ok"));
    QDateTime polled(QDate::currentDate(),
                     QTime::fromString(table->item(r, 5)->text(), QStringLiteral("HH:mm:ss.zzz")));
    if (polled.toMSecsSinceEpoch() > QDateTime::currentMSecsSinceEpoch() + 3600000)
      polled = polled.addDays(-1);  // polled before midnight
    EXPECT_TRUE(FromTheSimulator(meter, quantity, value, polled.toMSecsSinceEpoch()))
        << "meter " << meter << " quantity " << quantity << ": " << value;
  }
  EXPECT_TRUE(Status().startsWith(QStringLiteral("Polling every %1 ms").arg(interval)))
      << Status().toStdString();
  // Neither the table nor the page scrolls sideways.
  EXPECT_FALSE(table->horizontalScrollBar()->isVisible());
  EXPECT_LE(table->horizontalHeader()->length(), table->viewport()->width());
  EXPECT_FALSE(Find<QScrollArea>("TabSheet6")->horizontalScrollBar()->isVisible());
  Click("Button61");
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Status().startsWith("Stopped after ")) << Status().toStdString();
  // Transparent mode moved the gateway from channel to channel.
  EXPECT_EQ(Status().contains("HART address is left at 8"), !GetParam().modbusMode)
      << Status().toStdString();
  // The session's replies went to it alone, not to the receive area.
  EXPECT_EQ(ReceiveArea(), acknowledged);
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Links, LiveValuesTest,
                         ::testing::Values(LinkCase{"TransparentOverTcp", false, false, 1000, 2},
                                           LinkCase{"ModbusOverTcp", true, false, 200, 8},
                                           LinkCase{"ModbusOverSerial", true, true, 200, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

// A gateway gone silent leaves gaps, and the status line says so; its
// values come back with its answers.
TEST_F(SimulatorTest, SilenceShowsAsGapsUntilTheGatewayAnswersAgain) {
  OpenLink(false);
  SetWorkingMode(true);
  Start();
  ASSERT_TRUE(PolledAtLeast(1, 10000)) << Status().toStdString();
  gateway.SetBehaviour({.silent = true});
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status().contains("no values for 2 polls"); }, 8000))
      << Status().toStdString();
  EXPECT_TRUE(Status().contains("The gateway did not answer")) << Status().toStdString();
  EXPECT_TRUE(Table()->item(0, 2)->text().isEmpty());
  EXPECT_EQ(Table()->item(0, 4)->text(), QStringLiteral("no answer"));

  gateway.SetBehaviour({});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Status().contains("did not answer"); }, 5000))
      << Status().toStdString();
  EXPECT_EQ(Table()->item(0, 4)->text(), QStringLiteral("ok"));
  EXPECT_TRUE(Running());
}

TEST_F(SimulatorTest, ClosingTheSerialPortEndsTheSession) {
  OpenLink(true);
  Start();
  ASSERT_TRUE(Running());
  Click("Button1");
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Status().contains(QStringLiteral("the serial port was closed")))
      << Status().toStdString();
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

// ---- the link while it runs ---------------------------------------------------

// A gateway that never answers: what the window puts on the line is all
// there is to see. The session's first request is the system report query,
// and it gives up after 3 s without an answer.
class SilentGatewayTest : public LiveTabTest {
 protected:
  void SetUp() override {
    LiveTabTest::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    peer = ConnectPeer(server);
    ASSERT_TRUE(peer);
  }

  QTcpServer server;
  std::unique_ptr<QTcpSocket> peer;
};

// The session owns the link: a query waiting when it starts is given up
// (no time-out report, its late reply not read), and the other tabs'
// requests are refused without going out or arming anything.
TEST_F(SilentGatewayTest, OtherRequestsAreGivenUpOrRefusedWhileItRuns) {
  Click("Button23");
  Start();
  ASSERT_TRUE(Running());
  Click("Button6");
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Live Values is running")));
  EXPECT_EQ(SendArea(), QStringLiteral("QQQ#QX#"));

  // The session ends on its own after 3 s, as the query and the refused
  // check would have timed out; neither does.
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages.shown.size() > 1; }, 5000));
  QTest::qWait(400);
  ASSERT_EQ(messages.shown.size(), 2) << messages.shown.join('|').toStdString();
  EXPECT_TRUE(messages.shown[1].startsWith("Live Values: the gateway's configuration could not"))
      << messages.shown[1].toStdString();
  EXPECT_FALSE(Running());

  const QString before = ReceiveArea();
  peer->write("QX#JTM:123#");
  ASSERT_TRUE(ReplyShown(before));
  EXPECT_FALSE(QTest::qWaitFor([&] { return Shown("Edit6") == "123"; }, 800));
  // The query, then the session's own; not the check.
  EXPECT_EQ(WindowSent(*peer), QByteArray("QQQ#QX#QQQ#QX#"));
}

// Stop hands the link back: the next request goes out and its reply is
// read.
TEST_F(SilentGatewayTest, StopHandsTheLinkBack) {
  SetEnabled(CheckEnables(), false);
  Start();
  ASSERT_TRUE(Running());
  Click("Button61");
  EXPECT_FALSE(Running());
  EXPECT_EQ(Find<QPushButton>("Button61")->text(), QStringLiteral("Start"));
  EXPECT_EQ(Status(), QStringLiteral("Stopped after 0 polls."));
  Click("Button6");
  peer->write("QV:1#");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 3000));
  EXPECT_EQ(WindowSent(*peer), QByteArray("QQQ#QX#PPPPPP#VAR#"));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

TEST_F(SilentGatewayTest, ClosingTheConnectionEndsTheSession) {
  Start();
  ASSERT_TRUE(Running());
  Click("Button11");
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Status().contains(QStringLiteral("TCP connection closed"))) << Status().toStdString();
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

TEST_F(LiveTabTest, StartRefusedWithoutLinkOrMeter) {
  Start();
  EXPECT_FALSE(Running());
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("No link to the gateway is open")));

  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  ASSERT_TRUE(ConnectPeer(server));
  for (int box = 11; box <= 18; ++box)  // the eight meters
    Find<QCheckBox>(QStringLiteral("CheckBox%1").arg(box))->setChecked(false);
  Start();
  EXPECT_FALSE(Running());
  ASSERT_EQ(messages.shown.size(), 2);
  EXPECT_TRUE(messages.shown[1].startsWith(QStringLiteral("Choose at least one meter")));
}

// ---- chart and CSV ---------------------------------------------------------------

TEST_F(LiveTabTest, GapBreaksTheLineAndOldPointsAreDropped) {
  const std::int64_t t0 = 1'700'000'000'000;
  LiveValues().Feed(Samples(t0, {4.0, 5.0, kGap, kGap, 6.0, 7.0}));
  EXPECT_EQ(LiveValues().Chart().Segments(0), 2);  // meter 1: 4-5, then 6-7
  EXPECT_EQ(LiveValues().Chart().Segments(1), 1);
  EXPECT_EQ(Table()->item(0, 2)->text(), QStringLiteral("7"));
  EXPECT_EQ(Table()->item(0, 4)->text(), QStringLiteral("ok"));

  // An hour at one poll a second: the chart keeps its last ten minutes.
  std::vector<live::Sample> samples;
  for (std::int64_t i = 0; i < 3600; ++i)
    for (int meter : {1, 2})
      samples.push_back({t0 + 6000 + i * 1000, meter, 0, 10.0, "mA", live::Status::kOk});
  LiveValues().Feed(samples);
  const std::size_t perLine = LiveChart::kKeepMs / 1000 + 1;
  EXPECT_EQ(LiveValues().Chart().PointsKept(), 2 * perLine);
  EXPECT_EQ(LiveValues().Chart().Segments(0), 1);
  EXPECT_EQ(LiveValues().PollsKept(), 3606u);  // for the CSV: every one, up to kKeptPolls
}

// A value wider than the column was sized for widens it, rather than
// showing cut ("10234.0…" for a total that grew a digit).
TEST_F(LiveTabTest, WiderValueWidensItsColumn) {
  const std::int64_t t0 = 1'700'000'000'000;
  LiveValues().Feed(Samples(t0, {4.5}));
  const double wide = 1.2345678901234567e-5;  // no float: all seventeen digits
  LiveValues().Feed(Samples(t0 + 1000, {wide}));
  const QTableWidgetItem* cell = Table()->item(0, 2);
  ASSERT_TRUE(cell->text().startsWith("1.23456789012345")) << cell->text().toStdString();
  // Qt's item delegate leaves this much beside the text on either side.
  const int margin = Table()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
  EXPECT_GE(Table()->columnWidth(2),
            QFontMetrics(Table()->font()).horizontalAdvance(cell->text()) + 2 * margin);
}

// The time axis spans the polls from the first to the newest until they
// fill the span shown, then scrolls with the newest; a zoom or a pause
// holds it.
TEST_F(LiveTabTest, ChartSpansThePollsThenScrollsUnlessPausedOrZoomed) {
  const LiveChart& chart = LiveValues().Chart();
  const std::int64_t t0 = 1'700'000'000'000;
  const std::int64_t span = LiveChart::kShownMs;
  LiveValues().Feed(Samples(t0, {4.0}));
  EXPECT_EQ(chart.ShownFrom(), t0);
  EXPECT_EQ(chart.ShownTo(), t0 + LiveChart::kShortestShownMs);
  LiveValues().Feed(Samples(t0 + 60'000, {4.0}));
  EXPECT_EQ(chart.ShownFrom(), t0);
  EXPECT_EQ(chart.ShownTo(), t0 + 60'000);

  // A rubber band's zoom holds the axis; Reset zoom spans the polls again.
  form->resize(1049, 677);
  Find<QChartView>("Chart1")->chart()->zoomIn(QRectF(QPointF(50, 50), QSizeF(40, 40)));
  EXPECT_TRUE(chart.Zoomed());
  const std::int64_t zoomedTo = chart.ShownTo();
  LiveValues().Feed(Samples(t0 + 90'000, {6.0}));
  EXPECT_EQ(chart.ShownTo(), zoomedTo);
  Click("Button62");
  EXPECT_FALSE(chart.Zoomed());
  EXPECT_EQ(chart.ShownFrom(), t0);
  EXPECT_EQ(chart.ShownTo(), t0 + 90'000);

  LiveValues().Feed(Samples(t0 + span + 1000, {4.0}));
  EXPECT_EQ(chart.ShownFrom(), t0 + 1000);
  EXPECT_EQ(chart.ShownTo(), t0 + span + 1000);

  QCheckBox* pause = Find<QCheckBox>("CheckBox19");
  pause->setChecked(true);
  LiveValues().Feed(Samples(t0 + span + 2000, {5.0}));
  EXPECT_EQ(chart.ShownTo(), t0 + span + 1000);
  pause->setChecked(false);
  EXPECT_EQ(chart.ShownTo(), t0 + span + 2000);
}

// The legend names the lines drawn, with their units; a row's check box
// adds its line to it or takes it away.
TEST_F(LiveTabTest, LegendNamesTheLinesShown) {
  LiveValues().Feed(Samples(1'700'000'000'000, {4.0}));
  QLabel* legend = Find<QLabel>("Label153");
  EXPECT_EQ(legend->accessibleName(), QStringLiteral("Legend: 1 current (mA), 2 current (mA)"));
  Table()->item(0, 0)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(legend->accessibleName(), QStringLiteral("Legend: 2 current (mA)"));
}

TEST_F(LiveTabTest, SaveCsvWritesEveryPollOrSaysWhyNot) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QString path = folder.filePath(QStringLiteral("live.csv"));
  messages.nextFile = path;
  Click("Button63");  // nothing polled yet
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_FALSE(QFile::exists(path));

  const std::int64_t t0 = 1'700'000'000'000;  // 2023-11-14T22:13:20.000Z
  LiveValues().Feed(Samples(t0, {4.5, kGap, 6.25}));
  Click("Button63");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), 5);  // header, three polls, nothing after the last "\r\n"
  EXPECT_TRUE(lines[0].startsWith("time,meter 1 current (mA),meter 2 current (mA)"))
      << lines[0].toStdString();
  EXPECT_EQ(lines[1], "2023-11-14T22:13:20.000Z,4.5,12\r");
  EXPECT_EQ(lines[2], "2023-11-14T22:13:21.000Z,,12\r");
  EXPECT_EQ(lines[3], "2023-11-14T22:13:22.000Z,6.25,12\r");

  path = folder.filePath(QStringLiteral("no such folder/live.csv"));
  messages.nextFile = path;
  Click("Button63");
  ASSERT_EQ(messages.shown.size(), 2);
  EXPECT_TRUE(messages.shown[1].startsWith(QStringLiteral("The values could not be saved to")))
      << messages.shown[1].toStdString();
}

// --live-seconds polls the demo's own simulator, and nothing else.
TEST(LiveSecondsUsage, NeedsTheDemoAndANumberOfSeconds) {
  for (const QStringList& arguments :
       {QStringList{"--live-seconds", "5"}, QStringList{"--demo", "--live-seconds", "0"},
        QStringList{"--demo", "--live-seconds", "x"}}) {
    const test::ChildRun run =
        test::RunChild(test::BuiltProgram(QStringLiteral("kv770-config")), arguments, {},
                       {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
    EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains("--live-seconds")) << run.err.toStdString();
  }
}

}  // namespace
}  // namespace kv770::ui
