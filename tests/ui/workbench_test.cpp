// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a workbench, from outside: the status line, the traffic
// history, and the gateway's whole configuration read, saved, opened,
// compared and written back against the simulator.
#include <gtest/gtest.h>
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QCoreApplication>

#include "sim/sim_thread.h"
#include "support/window_fixture.h"
#include "ui/traffic_pane.h"

namespace kv770::ui {
namespace {

class Workbench : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(gateway.Start());
  }

  void Trigger(const char* action) {
    auto* found = form->findChild<QAction*>(QLatin1String(action));
    ASSERT_NE(found, nullptr) << action;
    found->trigger();
  }
  QString Status(const char* part) const { return Find<QLabel>(QLatin1String(part))->text(); }
  QString File(const char* name) const { return folder.filePath(QLatin1String(name)); }

  // The configuration window: its table, its messages, its buttons.
  QTableWidget* Table() const { return Find<QTableWidget>(QStringLiteral("ConfigTable")); }
  QString Messages() const {
    return Find<QPlainTextEdit>(QStringLiteral("ConfigMessages"))->toPlainText();
  }
  // The row of `setting` ("meters[0].coefficients[0]"), -1 when none.
  int Row(const QString& setting) const {
    for (int row = 0; row < Table()->rowCount(); ++row)
      if (Table()->item(row, 0)->text() == setting) return row;
    return -1;
  }
  bool Idle() const {
    return QTest::qWaitFor([&] { return Find(QStringLiteral("ConfigRead"))->isEnabled(); }, 15000);
  }

  QTemporaryDir folder;
  sim::SimThread gateway;
};

TEST_F(Workbench, StatusLineSaysWhatTheLinkIsDoing) {
  EXPECT_EQ(Status("LinkStatus"), QStringLiteral("not connected"));
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  EXPECT_EQ(Status("LinkStatus"), QStringLiteral("127.0.0.1:%1 connected").arg(gateway.Port()));

  Click(QStringLiteral("Button23"));  // "System Parameters"
  EXPECT_TRUE(Status("RequestStatus").startsWith(QStringLiteral("waiting for the system parameters, ")))
      << Status("RequestStatus").toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status("RequestStatus").isEmpty(); }, 3000));
  EXPECT_TRUE(Status("ReplyStatus").startsWith(QStringLiteral("last reply ")));

  Click(QStringLiteral("Button11"));  // "Disconnect"
  EXPECT_EQ(Status("LinkStatus"), QStringLiteral("not connected"));
}

TEST_F(Workbench, TrafficHistoryKeepsEveryBlockAndSavesItAsATrace) {
  Trigger("TrafficHistoryAction");
  EXPECT_TRUE(Find(QStringLiteral("TrafficHistory"))->isVisible() || !form->isVisible());
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  Click(QStringLiteral("Button6"));  // "Communication Query"
  ASSERT_TRUE(ReplyShown());
  messages.nextFile = File("field.trace");
  Trigger("SaveTrafficAction");
  QFile saved(messages.nextFile);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = saved.readAll().split('\n');
  ASSERT_EQ(lines.size(), 3);  // request, reply, nothing after the last line end
  EXPECT_TRUE(lines[0].contains(" tcp    > ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains(" tcp    < ")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains("QV:")) << lines[1].toStdString();
}

TEST_F(Workbench, HelpMenuShowsTheManualAndTheVersion) {
  Trigger("ManualAction");
  const QString manual = Find<QTextBrowser>(QStringLiteral("ManualText"))->toPlainText();
  EXPECT_TRUE(manual.contains(QStringLiteral("Quick start"))) << manual.left(200).toStdString();
  Trigger("AboutAction");
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("version 3 or later")));
}

// The support loop: traffic saved in the window, replayed by kv770-sim, the
// same reply read again.
TEST_F(Workbench, SavedTrafficReplaysTheSameReply) {
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  Click(QStringLiteral("Button23"));  // "System Parameters"
  ASSERT_TRUE(ReplyShown());
  const QString recorded = ReceiveArea();
  messages.nextFile = File("field.trace");
  Trigger("SaveTrafficAction");
  Click(QStringLiteral("Button11"));  // "Disconnect"

  QProcess replay;
  replay.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kv770-sim"),
               {QStringLiteral("--replay"), messages.nextFile, QStringLiteral("--port"),
                QStringLiteral("0")});
  ASSERT_TRUE(replay.waitForReadyRead(5000)) << replay.readAllStandardError().toStdString();
  const QByteArray listening = replay.readLine().trimmed();  // "... listening on 127.0.0.1:PORT"
  const quint16 port = listening.mid(listening.lastIndexOf(':') + 1).toUShort();
  ASSERT_NE(port, 0) << listening.toStdString();
  ASSERT_TRUE(ConnectPort(port));
  Click(QStringLiteral("Button26"));  // "Clear Buffer"
  Click(QStringLiteral("Button23"));
  ASSERT_TRUE(ReplyShown());
  EXPECT_EQ(ReceiveArea(), recorded);
  replay.terminate();
  ASSERT_TRUE(replay.waitForFinished(5000));
  EXPECT_TRUE(replay.readAllStandardOutput().contains("1 of 1 requests matched"));
  EXPECT_EQ(replay.exitCode(), 0);
}

TEST(TrafficPaneTest, KeepsTheNewestLinesOnly) {
  TrafficPane pane;
  for (int i = 0; i < TrafficPane::kMaxLines + 50; ++i) pane.Add(QString::number(i));
  const QStringList lines = pane.Text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), TrafficPane::kMaxLines);
  EXPECT_EQ(lines.first(), QStringLiteral("50"));
  EXPECT_EQ(lines.last(), QString::number(TrafficPane::kMaxLines + 49));
}

// Read, save, change one coefficient in the file, see it as the one
// difference, open and write it, and see it verified.
TEST_F(Workbench, ConfigurationRoundTripThroughAFile) {
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  Trigger("ReadConfigurationAction");
  ASSERT_TRUE(Idle());
  ASSERT_GT(Row(QStringLiteral("system.slaveAddress")), -1) << Messages().toStdString();

  messages.nextFile = File("site.json");
  Click(QStringLiteral("ConfigSave"));
  QFile file(messages.nextFile);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QJsonObject backup = QJsonDocument::fromJson(file.readAll()).object();
  QJsonArray meters = backup[QStringLiteral("meters")].toArray();
  QJsonObject first = meters[0].toObject();
  QJsonArray coefficients = first[QStringLiteral("coefficients")].toArray();
  const QString changed = coefficients[0].toString() == QLatin1String("2.500") ? "1.250" : "2.500";
  coefficients[0] = changed;
  first[QStringLiteral("coefficients")] = coefficients;
  meters[0] = first;
  backup[QStringLiteral("meters")] = meters;
  QFile edited(File("edited.json"));
  ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
  edited.write(QJsonDocument(backup).toJson());
  edited.close();

  messages.nextFile = edited.fileName();
  Click(QStringLiteral("ConfigCompare"));
  ASSERT_TRUE(Idle());
  EXPECT_EQ(Shown(QStringLiteral("ConfigOrigin")),
            QStringLiteral("1 setting(s) differ between the file and the gateway"));
  const int row = Row(QStringLiteral("meters[0].coefficients[0]"));
  ASSERT_GT(row, -1);
  EXPECT_EQ(Table()->item(row, 1)->text(), changed);
  EXPECT_EQ(Table()->item(row, 3)->text(), QStringLiteral("differs"));

  Click(QStringLiteral("ConfigOpen"));
  Click(QStringLiteral("ConfigWrite"));
  EXPECT_TRUE(Messages().contains(QStringLiteral("meter 1 coefficients: QQS#XISH0:")));
  Click(QStringLiteral("ConfigSend"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Messages().contains(QStringLiteral("Verified")); }, 20000))
      << Messages().toStdString();
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();

  Click(QStringLiteral("ConfigCompare"));
  ASSERT_TRUE(Idle());
  EXPECT_EQ(Shown(QStringLiteral("ConfigOrigin")),
            QStringLiteral("0 setting(s) differ between the file and the gateway"));
}

TEST_F(Workbench, RegisterMapOfTheGatewayAsCsvAndPdf) {
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  Trigger("ReadConfigurationAction");
  ASSERT_TRUE(Idle());
  for (const char* name : {"map.csv", "map.pdf"}) {
    messages.nextFile = File(name);
    Trigger("RegisterMapAction");
    QFile map(messages.nextFile);
    ASSERT_TRUE(map.open(QIODevice::ReadOnly)) << name;
    const QByteArray bytes = map.readAll();
    if (QByteArray(name).endsWith(".pdf")) {
      EXPECT_TRUE(bytes.startsWith("%PDF"));
    } else {
      // The factory simulator enables every meter: its eight currents.
      EXPECT_EQ(bytes.count("\r\n"), 1 + 8) << bytes.toStdString();
      EXPECT_TRUE(bytes.contains(",current,")) << bytes.toStdString();
    }
  }
  EXPECT_EQ(Table()->rowCount(), 8);
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

// A gateway that takes the requests and never answers: the read can be
// cancelled, shows nothing it did not see, and gives the link back.
TEST_F(Workbench, SilentGatewayReadIsCancelledAndFreesTheLink) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
  const std::unique_ptr<QTcpSocket> peer = ConnectPeer(server);
  ASSERT_NE(peer, nullptr);
  Trigger("ReadConfigurationAction");
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() > 0; }, 3000));
  Click(QStringLiteral("Button23"));  // another tab's request is refused meanwhile
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("Cancel"))) << messages.shown[0].toStdString();
  Click(QStringLiteral("ConfigCancel"));
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Messages().contains(QStringLiteral("Cancelled"))) << Messages().toStdString();
  EXPECT_EQ(Table()->rowCount(), 0);
  peer->readAll();
  EXPECT_EQ(WindowSent(*peer), QByteArray());  // nothing more than the marker goes out
}

TEST_F(Workbench, RefusedFileNamesItsFieldAndChangesNothing) {
  QFile bad(File("bad.json"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(R"({"format":"kv770-backup","version":1,"system":{"baudRate":9601}})");
  bad.close();
  Trigger("OpenConfigurationAction");
  messages.nextFile = bad.fileName();
  Click(QStringLiteral("ConfigOpen"));
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith(bad.fileName() + QStringLiteral(": ")))
      << messages.shown[0].toStdString();
  EXPECT_EQ(Table()->rowCount(), 0);
  messages.shown.clear();
  Click(QStringLiteral("ConfigWrite"));  // nothing to write: says so, sends nothing
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_FALSE(Find(QStringLiteral("ConfigSend"))->isVisible());
}

}  // namespace
}  // namespace kv770::ui
