// SPDX-License-Identifier: GPL-3.0-or-later
// The window's start-up state, its link controls, and the request cycle as
// a gateway sees it: what goes out, what is shown, what is decoded and
// which time-out is reported.
#include <gtest/gtest.h>
#include <QAccessible>
#include <QElapsedTimer>
#include <QTabWidget>
#include <algorithm>
#include <memory>

#include "sim/sim_thread.h"
#include "support/window_fixture.h"

namespace kv770::ui {
namespace {

using WindowTest = WindowFixture;

const QStringList kSerialControls = {"GroupBox1", "Button1"};
const QStringList kTcpControls = {"GroupBox4", "Button8", "Button11", "Button14"};

TEST_F(WindowTest, StartsInTheSerialStateAndTheLinkChoiceSwapsTheControls) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("KV770-W"));
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->count(), 5);
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->currentIndex(), 0);
  EXPECT_EQ(Combo("ComboBox2")->currentText(), QStringLiteral("Serial Port"));
  const QStringList enabled = kSerialControls + CheckEnables() + QStringList{"Button6"};
  EXPECT_EQ(EnabledOf(enabled), enabled);
  EXPECT_EQ(EnabledOf(kTcpControls), QStringList());
  EXPECT_EQ(Find<QPushButton>("Button1")->text(), QStringLiteral("Open"));
  EXPECT_EQ(Find<QLabel>("Label146")->text(), QStringLiteral("***"));
  EXPECT_TRUE(SendArea().isEmpty());
  EXPECT_TRUE(ReceiveArea().isEmpty());

  // The selectors cleared at start-up show empty text, not their first item.
  for (const char* name : {"ComboBox6", "RADCOM1", "RADCOM3", "RADCOM5", "RADCOM7", "READLG1",
                           "READLG3", "READLG5", "READLG7", "FAMOUT1", "FAMOUT3", "FAMOUT5",
                           "FAMOUT7", "FAMOUT9", "ComboBox28", "ComboBox29"}) {
    EXPECT_EQ(Combo(name)->currentIndex(), -1) << name;
    EXPECT_TRUE(Combo(name)->currentText().isEmpty()) << name;
  }
  for (const char* name :
       {"Edit1", "READADR1", "READADR3", "READADR5", "READADR7", "Edit4", "Edit5"})
    EXPECT_TRUE(Edit(name)->text().isEmpty()) << name;

  Choose("ComboBox2", 1);
  EXPECT_EQ(EnabledOf(kSerialControls), QStringList());
  EXPECT_EQ(EnabledOf(kTcpControls), kTcpControls);
  Choose("ComboBox2", 0);
  EXPECT_EQ(EnabledOf(kSerialControls), kSerialControls);
  EXPECT_EQ(EnabledOf(kTcpControls), QStringList());
}

// The program's window builds its other pages after the first paint: once
// built they hold the same controls, in the same keyboard order, as a
// window built whole.
TEST(WindowPages, BuiltAfterTheFirstPaintTheyMatchAWindowBuiltWhole) {
  const auto layout = [](QWidget& window) {
    QStringList names;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
      if (!w->objectName().isEmpty()) names << w->objectName();
    for (const QObject* o : window.findChildren<QObject*>())
      if (!o->objectName().isEmpty() && !o->objectName().startsWith("qt_"))
        names << o->objectName();
    return names.join(QLatin1Char(' ')).toStdString();
  };
  RecordingMessageSink messages;
  const std::unique_ptr<QWidget> whole = app::MakeWindow(&messages);
  const std::unique_ptr<QWidget> lazy = app::MakeWindow(&messages, true);
  lazy->show();
  auto* tabs = lazy->findChild<QTabWidget*>();
  ASSERT_NE(tabs, nullptr);
  QElapsedTimer clock;
  clock.start();
  while (layout(*lazy).size() < layout(*whole).size() && clock.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(layout(*lazy), layout(*whole));
  EXPECT_EQ(tabs->count(), 5);
}

TEST_F(WindowTest, EveryInputIsFoundByItsLabel) {
  for (QWidget* w : form->findChildren<QWidget*>()) {
    if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w) &&
        !qobject_cast<QPlainTextEdit*>(w))
      continue;
    if (qobject_cast<QComboBox*>(w->parentWidget())) continue;  // a combo's own line edit
    EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
  }
  for (QPushButton* b : form->findChildren<QPushButton*>())
    EXPECT_EQ(QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name), b->text())
        << b->objectName().toStdString();
  EXPECT_EQ(Edit("Edit8")->accessibleName(), QStringLiteral("Send Buffer:"));
  EXPECT_EQ(Find("Memo10")->accessibleName(), QStringLiteral("Receive Buffer:"));
  EXPECT_EQ(Edit("Edit2")->accessibleName(), QStringLiteral("Target IP Address:"));
  EXPECT_EQ(Find<QLabel>("Label40")->buddy(), Find("Edit8"));
}

TEST_F(WindowTest, ConnectAndDisconnectShowTheirStatus) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  const QLabel* status = Find<QLabel>("Label146");
  Choose("ComboBox2", 1);
  Type("Edit2", "127.0.0.1");
  Type("Edit34", QString::number(server.serverPort()));
  Click("Button8");
  EXPECT_EQ(status->text(), QStringLiteral("connecting!"));
  ASSERT_TRUE(Connected());
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
  std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());

  Click("Button8");  // connected with the same target: nothing happens
  Type("Edit34", QString::number(server.serverPort() + 1));
  Click("Button8");
  EXPECT_EQ(messages.shown, QStringList{"Can't change value while socket is active"});
  EXPECT_EQ(status->text(), QStringLiteral("connected"));
  EXPECT_FALSE(server.hasPendingConnections());
  EXPECT_EQ(WindowSent(*peer), QByteArray());  // the one connection still carries requests

  Click("Button11");
  EXPECT_EQ(status->text(), QStringLiteral("disconnected state"));
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return peer->state() != QAbstractSocket::ConnectedState; }, 3000));

  // Connect works again, and the gateway closing its side lets it go too:
  // the next Connect opens a new connection.
  for (int round = 0; round < 2; ++round) {
    peer = ConnectPeer(server);
    ASSERT_TRUE(peer) << round;
    peer->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == "already disconnected"; }, 3000));
  }
}

TEST_F(WindowTest, FailedConnectionsSayWhy) {
  const QLabel* status = Find<QLabel>("Label146");
  Choose("ComboBox2", 1);
  Click("Button11");  // not connected: only the text
  EXPECT_EQ(status->text(), QStringLiteral("disconnected state"));
  EXPECT_TRUE(messages.shown.isEmpty());

  Edit("Edit2")->clear();
  Click("Button8");
  EXPECT_EQ(status->text(), QStringLiteral("connection failed"));
  EXPECT_EQ(messages.shown, QStringList({"No address specified"}));

  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  const quint16 port = server.serverPort();
  server.close();
  messages.shown.clear();
  Type("Edit2", "127.0.0.1");
  Type("Edit34", QString::number(port));
  Click("Button8");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3000));
  EXPECT_EQ(status->text(), QStringLiteral("connection failed"));
  EXPECT_TRUE(messages.shown[0].startsWith("Asynchronous socket error "));

  // Refused before any attempt: no attempt reports later, and the next
  // good target connects.
  messages.shown.clear();
  for (const char* bad : {"70x", "", "70000"}) {
    Type("Edit34", bad);
    Click("Button8");
  }
  const QStringList refusals = {"'70x' is not a valid integer value",
                                "'' is not a valid integer value",
                                "'70000' is out of range (0 to 65535)"};
  EXPECT_EQ(messages.shown, refusals);
  EXPECT_FALSE(QTest::qWaitFor([&] { return messages.shown.size() > 3; }, 500));
  EXPECT_EQ(status->text(), QStringLiteral("connection failed"));
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
  Type("Edit34", QString::number(port));
  Click("Button8");
  EXPECT_TRUE(Connected());
  EXPECT_EQ(messages.shown, refusals);
}

TEST_F(WindowTest, CommunicationCheckAgainstTheSimulatorEnablesTheGatewayButtons) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  SetEnabled(CheckEnables(), false);

  QElapsedTimer clock;
  clock.start();
  Click("Button6");
  EXPECT_EQ(SendArea(), QStringLiteral("PPPPPP#VAR#"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 3000));
  EXPECT_TRUE(ReceiveArea().contains("QV:"));
  EXPECT_EQ(EnabledOf(CheckEnables()), CheckEnables());
  // Answered: no time-out report follows, not even past the reply time-out.
  QTest::qWait(std::max(0, 3500 - static_cast<int>(clock.elapsed())));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

// The check waits the reply time-out; pressing it again sends again but
// does not restart the countdown. A reply after the report is still
// decoded as the check's.
TEST_F(WindowTest, NoReplyReportsTheConnectionTimeoutOnceAtTheFirstDeadline) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  const std::unique_ptr<QTcpSocket> peer = ConnectPeer(server);
  ASSERT_TRUE(peer);
  SetEnabled(CheckEnables(), false);

  Click("Button6");
  EXPECT_FALSE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 2000));
  Click("Button6");  // a restarted countdown would end at 5000 ms
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 2000));
  EXPECT_EQ(messages.shown, QStringList({"Connection timeout, please contact Velmora "
                                         "Electronics400-555-0770!"}));
  EXPECT_TRUE(EnabledOf(CheckEnables()).isEmpty());

  peer->write("QV:late#");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 3000));
  EXPECT_EQ(messages.shown.size(), 1);
  EXPECT_EQ(WindowSent(*peer), QByteArray("PPPPPP#VAR#PPPPPP#VAR#"));
}

TEST_F(WindowTest, SerialLinkClosedStillShowsTheRequestAndTimesOut) {
  Click("Button6");
  EXPECT_EQ(SendArea(), QStringLiteral("PPPPPP#VAR#"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_TRUE(messages.shown[0].startsWith("Connection timeout"));
}

// A scripted gateway: the test decides what it sends and when.
class ScriptedPeerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    peer = ConnectPeer(server);
    ASSERT_TRUE(peer);
  }
  // Sends `bytes` from the gateway's side and waits until the receive
  // area shows something new.
  bool Reply(const QByteArray& bytes) {
    const QString before = ReceiveArea();
    peer->write(bytes);
    return ReplyShown(before);
  }
  // Waits out the parse delay (300 ms) with room to spare: no decoder
  // enabled "System Parameters".
  bool CheckNotTaken() {
    return !QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 800);
  }

  QTcpServer server;
  std::unique_ptr<QTcpSocket> peer;
};

// A setting is answered in plain text: shown, and its time-out is off.
TEST_F(ScriptedPeerTest, PlainReplyEndsTheRequestAtOnce) {
  QElapsedTimer clock;
  clock.start();
  Click("Button30");
  ASSERT_TRUE(Reply("OK#"));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK#"));
  Click("Button26");
  EXPECT_TRUE(ReceiveArea().isEmpty());
  QTest::qWait(std::max(0, 3500 - static_cast<int>(clock.elapsed())));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
  EXPECT_EQ(Find<QLabel>("Label68")->text(), QStringLiteral("Current"));
}

// The MODBUS test shows each reply block as digit pairs and keeps waiting
// for the next one.
TEST_F(ScriptedPeerTest, HexCodesShowEachBlockAndKeepTheCode) {
  Click("Button4");
  ASSERT_TRUE(Reply(QByteArray("\x01\x03\x00", 3)));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("01 03 00 "));
  ASSERT_TRUE(Reply(QByteArray("\xFF\x06", 2)));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("FF 06 "));
  ASSERT_TRUE(Reply(QByteArray(300, '\x5A')));
  EXPECT_EQ(ReceiveArea(), QString("5A ").repeated(300));
}

// No request pending: a long reply is shown whole as text, even one that
// looks like the answer to a communication check.
TEST_F(ScriptedPeerTest, LongReplyWithNothingPendingIsShownAsText) {
  SetEnabled(CheckEnables(), false);
  QByteArray big(1000, 'x');
  big.append("QV:");
  ASSERT_TRUE(Reply(big));
  EXPECT_EQ(ReceiveArea(), QString::fromLatin1(big));
  EXPECT_TRUE(CheckNotTaken());
  EXPECT_TRUE(messages.shown.isEmpty());
}

// While "Serial Port" is chosen a TCP reply is read but neither shown nor
// decoded: the check still times out, and the bytes are gone by the next
// reply.
TEST_F(ScriptedPeerTest, RepliesWhileSerialIsChosenAreTakenButNotShown) {
  SetEnabled(CheckEnables(), false);
  Click("Button6");
  Find<QPlainTextEdit>("Memo10")->setPlainText(QStringLiteral("before"));
  Choose("ComboBox2", 0);
  peer->write("QV:1#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_TRUE(messages.shown[0].startsWith("Connection timeout"));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("before"));
  EXPECT_FALSE(Find("Button23")->isEnabled());

  Choose("ComboBox2", 1);
  ASSERT_TRUE(Reply("OK#"));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK#"));
}

TEST_F(ScriptedPeerTest, CommunicationCheckNeedsTheColon) {
  SetEnabled(CheckEnables(), false);
  for (const char* reply : {"QV", "Q V:", "qv:", "QV;"}) {
    Click("Button6");
    ASSERT_TRUE(Reply(reply)) << reply;
    EXPECT_TRUE(CheckNotTaken()) << reply;
  }
  Click("Button6");
  ASSERT_TRUE(Reply("xxQV:yy"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 2000));
  EXPECT_EQ(WindowSent(*peer), QByteArray("PPPPPP#VAR#").repeated(5));
  EXPECT_TRUE(messages.shown.isEmpty());
}

}  // namespace
}  // namespace kv770::ui
