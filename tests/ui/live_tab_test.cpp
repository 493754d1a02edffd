#include <gtest/gtest.h>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>

#include "gateway/commands.h"
#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/window_fixture.h"
#include "ui/live_chart.h"
#include "ui/live_tab.h"

namespace kv770::ui {
namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

class LiveTabTest : public WindowFixture {
 protected:
  LiveTab& Live() { return form->Live(); }
  void Start(int intervalMs = 200) {
    form->live.interval->setValue(intervalMs);
    form->live.startStop->click();
  }
  bool PolledAtLeast(int polls, int withinMs) {
    return QTest::qWaitFor([&] { return Live().Polls() >= polls; }, withinMs);
  }
  // The request cycle as after start-up: nothing pending, no timer armed.
  void ExpectIdle() {
    EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
    EXPECT_EQ(form->Cycle.Kind, RequestKind::kNone);
    EXPECT_FALSE(form->parseTimer.Enabled());
    EXPECT_FALSE(form->timeoutTimer.Enabled());
  }
  // Polls of two meters' currents, one a second from `t0`.
  static std::vector<live::Sample> Polls(std::int64_t t0, std::initializer_list<double> meter1,
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
      form->Comm1.Ports().Set(4, line);
      Pick(form->system.linkChoice, 0);
      form->system.openPort->click();
      ASSERT_TRUE(form->SerialOpen) << messages.shown.join('|').toStdString();
    } else {
      ConnectTo(gateway.Port());
    }
  }
  void SetWorkingMode(bool modbus) {
    Pick(form->system.workingMode, modbus ? 1 : 0);
    form->system.workingModeSet->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.Pending == PendingCode::kNone; }, 3000));
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
  QString Status() const { return form->live.status->text(); }

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

// Every row of the table holds a value with its unit, the one the simulated
// gateway showed when the poll read it.
TEST_P(LiveValuesTest, TableShowsTheGatewaysValues) {
  OpenLink(GetParam().serial);
  SetWorkingMode(GetParam().modbusMode);
  const int interval = GetParam().intervalMs;
  Start(interval);
  ASSERT_TRUE(PolledAtLeast(1, 15000)) << form->live.status->text().toStdString();
  const int first = Live().Polls();
  // From the first poll on, one every interval.
  const int timed = GetParam().timedPolls;
  EXPECT_TRUE(PolledAtLeast(first + timed, (timed + 2) * interval)) << Live().Polls();
  const QTableWidget* table = form->live.table;
  ASSERT_EQ(table->rowCount(), 8 * 5);
  for (int r = 0; r < table->rowCount(); ++r) {
    const int meter = table->item(r, 0)->text().toInt();
    const int quantity = r % 5;
    bool number = false;
    const double value = table->item(r, 2)->text().toDouble(&number);
    ASSERT_TRUE(number) << "row " << r << ": '" << table->item(r, 2)->text().toStdString() << "'";
    EXPECT_EQ(meter, r / 5 + 1);
    EXPECT_FALSE(table->item(r, 3)->text().isEmpty()) << "row " << r;
    EXPECT_EQ(table->item(r, 4)->text(), QStringLiteral("ok"));
    QDateTime polled(QDate::currentDate(),
                     QTime::fromString(table->item(r, 5)->text(), QStringLiteral("HH:mm:ss.zzz")));
    if (polled.toMSecsSinceEpoch() > QDateTime::currentMSecsSinceEpoch() + 3600000)
      polled = polled.addDays(-1);  // polled before midnight
    EXPECT_TRUE(FromTheSimulator(meter, quantity, value, polled.toMSecsSinceEpoch()))
        << "meter " << meter << " quantity " << quantity << ": " << value;
  }
  EXPECT_TRUE(
      form->live.status->text().startsWith(QStringLiteral("Polling every %1 ms").arg(interval)))
      << form->live.status->text().toStdString();
  form->live.startStop->click();
  ExpectIdle();
  // Transparent mode moved the gateway from channel to channel.
  EXPECT_EQ(Status().contains("HART address is left at 8"), !GetParam().modbusMode)
      << Status().toStdString();
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
  EXPECT_TRUE(form->live.table->item(0, 2)->text().isEmpty());
  EXPECT_EQ(form->live.table->item(0, 4)->text(), QStringLiteral("no answer"));

  gateway.SetBehaviour({});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Status().contains("did not answer"); }, 5000))
      << Status().toStdString();
  EXPECT_EQ(form->live.table->item(0, 4)->text(), QStringLiteral("ok"));
  EXPECT_TRUE(Live().Running());
}

TEST_F(SimulatorTest, ClosingTheSerialPortEndsTheSession) {
  OpenLink(true);
  Start();
  ASSERT_TRUE(Live().Running());
  form->system.openPort->click();
  EXPECT_FALSE(Live().Running());
  EXPECT_TRUE(Status().contains(QStringLiteral("the serial port was closed")))
      << Status().toStdString();
  ExpectIdle();
}

// ---- the link while it runs ---------------------------------------------------

// A gateway that never answers: what the window puts on the line is all
// there is to see.
class SilentGatewayTest : public LiveTabTest {
 protected:
  void SetUp() override {
    LiveTabTest::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    ConnectTo(server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
    peer = server.nextPendingConnection();
  }
  QByteArray Sent() { return SentSince(form->ClientSocket1, *peer); }

  QTcpServer server;
  QTcpSocket* peer = nullptr;
};

TEST_F(SilentGatewayTest, OtherSendersRefusedWhileRunningAndServedAfterStop) {
  form->system.systemQuery->click();  // pending when Live Values starts
  ASSERT_EQ(form->Cycle.Pending, PendingCode::kSystemParametersQuery);
  Sent();
  Start();
  ASSERT_TRUE(Live().Running());
  ExpectIdle();
  const QByteArray check = QByteArray::fromStdString(gateway::CommunicationCheck());
  EXPECT_FALSE(Sent().isEmpty());  // the live tab's first request

  const QString shown = form->shared.sendBuffer->text();
  form->system.communicationQuery->click();
  EXPECT_FALSE(Sent().contains(check));
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Live Values is running")));
  EXPECT_EQ(form->shared.sendBuffer->text(), shown);
  ExpectIdle();

  form->live.startStop->click();
  EXPECT_FALSE(Live().Running());
  EXPECT_EQ(form->live.startStop->text(), QStringLiteral("Start"));
  ExpectIdle();
  form->system.communicationQuery->click();
  EXPECT_EQ(Sent(), check);
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kCommunicationCheck);
  EXPECT_EQ(messages.shown.size(), 1);
}

TEST_F(SilentGatewayTest, ClosingTheConnectionEndsTheSession) {
  Start();
  ASSERT_TRUE(Live().Running());
  form->system.tcpDisconnect->click();
  EXPECT_FALSE(Live().Running());
  EXPECT_TRUE(form->live.status->text().contains(QStringLiteral("TCP connection closed")))
      << form->live.status->text().toStdString();
  ExpectIdle();
}

TEST_F(LiveTabTest, StartRefusedWithoutLinkOrMeter) {
  Start();
  EXPECT_FALSE(Live().Running());
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("No link to the gateway is open")));

  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  ConnectTo(server.serverPort());
  for (QCheckBox* box : form->live.meters) box->setChecked(false);
  Start();
  EXPECT_FALSE(Live().Running());
  ASSERT_EQ(messages.shown.size(), 2);
  EXPECT_TRUE(messages.shown[1].startsWith(QStringLiteral("Choose at least one meter")));
}

// ---- chart and CSV ---------------------------------------------------------------

TEST_F(LiveTabTest, GapBreaksTheLineAndOldPointsAreDropped) {
  const std::int64_t t0 = 1'700'000'000'000;
  Live().Feed(Polls(t0, {4.0, 5.0, kGap, kGap, 6.0, 7.0}));
  EXPECT_EQ(Live().Chart().Segments(0), 2);  // meter 1: 4-5, then 6-7
  EXPECT_EQ(Live().Chart().Segments(1), 1);
  EXPECT_EQ(form->live.table->item(0, 2)->text(), QStringLiteral("7"));
  EXPECT_EQ(form->live.table->item(0, 4)->text(), QStringLiteral("ok"));

  // An hour at one poll a second: the chart keeps its last ten minutes.
  std::vector<double> hour(3600, 10.0);
  std::vector<live::Sample> samples;
  for (std::size_t i = 0; i < hour.size(); ++i)
    for (int meter : {1, 2})
      samples.push_back({t0 + 6000 + static_cast<std::int64_t>(i) * 1000, meter, 0, hour[i], "mA",
                         live::Status::kOk});
  Live().Feed(samples);
  const std::size_t perLine = LiveChart::kKeepMs / 1000 + 1;
  EXPECT_EQ(Live().Chart().PointsKept(), 2 * perLine);
  EXPECT_EQ(Live().Chart().Segments(0), 1);
  EXPECT_EQ(Live().PollsKept(), 3606u);  // for the CSV: every one, up to kKeptPolls
}

TEST_F(LiveTabTest, ChartFollowsTheNewestPollUnlessPausedOrZoomed) {
  const std::int64_t t0 = 1'700'000'000'000;
  const std::int64_t span = LiveChart::kShownMs;
  Live().Feed(Polls(t0, {4.0}));  // the first minutes fill the span from the left
  EXPECT_EQ(Live().Chart().ShownFrom(), t0);
  EXPECT_EQ(Live().Chart().ShownTo(), t0 + span);
  Live().Feed(Polls(t0 + span + 1000, {4.0}));
  EXPECT_EQ(Live().Chart().ShownTo(), t0 + span + 1000);

  form->live.pause->setChecked(true);
  Live().Feed(Polls(t0 + span + 2000, {5.0}));
  EXPECT_EQ(Live().Chart().ShownTo(), t0 + span + 1000);
  form->live.pause->setChecked(false);
  EXPECT_EQ(Live().Chart().ShownTo(), t0 + span + 2000);

  // A rubber band's zoom.
  form->resize(1049, 677);
  form->live.chart->chart()->zoomIn(QRectF(QPointF(50, 50), QSizeF(40, 40)));
  EXPECT_TRUE(Live().Chart().Zoomed());
  const std::int64_t zoomedTo = Live().Chart().ShownTo();
  Live().Feed(Polls(t0 + span + 3000, {6.0}));
  EXPECT_EQ(Live().Chart().ShownTo(), zoomedTo);
  form->live.resetZoom->click();
  EXPECT_FALSE(Live().Chart().Zoomed());
  EXPECT_EQ(Live().Chart().ShownTo(), t0 + span + 3000);
}

TEST_F(LiveTabTest, SaveCsvWritesEveryPollOrSaysWhyNot) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QString path = folder.filePath(QStringLiteral("live.csv"));
  Live().SetCsvPathChooser([&] { return path; });
  form->live.saveCsv->click();  // nothing polled yet
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_FALSE(QFile::exists(path));

  const std::int64_t t0 = 1'700'000'000'000;  // 2023-11-14T22:13:20.000Z
  Live().Feed(Polls(t0, {4.5, kGap, 6.25}));
  form->live.saveCsv->click();
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
  form->live.saveCsv->click();
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
