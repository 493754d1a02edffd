#include <gtest/gtest.h>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "sim/sim_thread.h"
#include "support/window_fixture.h"
#include "ui/gateway_window.h"

namespace kv770::ui {
namespace {

using WindowTest = WindowFixture;

TEST_F(WindowTest, StartsInTheSerialStateWithNothingPending) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("KV770-W"));
  EXPECT_EQ(form->frame.pages->count(), 5);
  EXPECT_EQ(form->frame.pages->currentIndex(), 0);
  EXPECT_EQ(form->system.linkChoice->currentText(), QStringLiteral("Serial Port"));
  EXPECT_TRUE(form->system.serialGroup->isEnabled());
  EXPECT_TRUE(form->system.openPort->isEnabled());
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("Open"));
  for (QWidget* w : {static_cast<QWidget*>(form->system.tcpGroup),
                     static_cast<QWidget*>(form->system.tcpConnect),
                     static_cast<QWidget*>(form->system.tcpDisconnect),
                     static_cast<QWidget*>(form->system.makerProgram)})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  for (QPushButton* b : CheckedButtons()) EXPECT_TRUE(b->isEnabled());
  EXPECT_TRUE(form->system.communicationQuery->isEnabled());
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("***"));
  EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().isEmpty());
  EXPECT_FALSE(form->parseTimer.Enabled());
  EXPECT_FALSE(form->timeoutTimer.Enabled());
  EXPECT_FALSE(form->rs485CloseTimer.Enabled());
  EXPECT_EQ(form->timeoutTimer.Interval(), 1000);
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);

  // The selectors cleared at start-up show empty text, not their first item.
  for (QComboBox* c :
       {form->mapping.enable, form->parsing.rows[0].command, form->parsing.rows[1].command,
        form->parsing.rows[2].command, form->parsing.rows[3].command, form->parsing.rows[0].length,
        form->parsing.rows[1].length, form->parsing.rows[2].length, form->parsing.rows[3].length,
        form->mapping.byteOrders[0], form->mapping.byteOrders[1], form->mapping.byteOrders[2],
        form->mapping.byteOrders[3], form->mapping.byteOrders[4],
        form->parsing.readCommands[0].enable, form->parsing.readCommands[1].enable}) {
    EXPECT_EQ(c->currentIndex(), -1) << c->objectName().toStdString();
    EXPECT_TRUE(c->currentText().isEmpty()) << c->objectName().toStdString();
  }
  for (QLineEdit* e :
       {form->mapping.bufferClearTime, form->parsing.rows[0].start, form->parsing.rows[1].start,
        form->parsing.rows[2].start, form->parsing.rows[3].start,
        form->parsing.readCommands[0].bytes, form->parsing.readCommands[1].bytes})
    EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
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
  EXPECT_EQ(form->shared.sendBuffer->accessibleName(), QStringLiteral("Send Buffer:"));
  EXPECT_EQ(form->shared.receiveBuffer->accessibleName(), QStringLiteral("Receive Buffer:"));
  EXPECT_EQ(form->system.tcpAddress->accessibleName(), QStringLiteral("Target IP Address:"));
  EXPECT_EQ(form->shared.sendLabel->buddy(), form->shared.sendBuffer);
}

TEST_F(WindowTest, LinkChoiceSwapsTheEnabledControlsBothWays) {
  ChooseLink(1);
  EXPECT_FALSE(form->system.serialGroup->isEnabled());
  EXPECT_FALSE(form->system.openPort->isEnabled());
  for (QWidget* w : {static_cast<QWidget*>(form->system.tcpGroup),
                     static_cast<QWidget*>(form->system.tcpConnect),
                     static_cast<QWidget*>(form->system.tcpDisconnect),
                     static_cast<QWidget*>(form->system.makerProgram)})
    EXPECT_TRUE(w->isEnabled());
  ChooseLink(0);
  EXPECT_TRUE(form->system.serialGroup->isEnabled());
  EXPECT_TRUE(form->system.openPort->isEnabled());
  EXPECT_FALSE(form->system.tcpGroup->isEnabled());
  EXPECT_FALSE(form->system.makerProgram->isEnabled());
}

TEST_F(WindowTest, ConnectAndDisconnectShowTheirStatus) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  ChooseLink(1);
  form->system.tcpAddress->setText(QStringLiteral("127.0.0.1"));
  form->system.tcpPort->setText(QString::number(server.serverPort()));
  form->system.tcpConnect->click();
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("connecting!"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->system.tcpStatus->text() == "connected"; }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
  delete server.nextPendingConnection();

  form->system.tcpConnect->click();  // connected with the same target: nothing happens
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("connected"));
  form->system.tcpPort->setText(QString::number(server.serverPort() + 1));
  form->system.tcpConnect->click();
  EXPECT_EQ(messages.shown.value(0), QStringLiteral("Can't change value while socket is active"));
  EXPECT_TRUE(form->ClientSocket1.Active());

  form->system.tcpDisconnect->click();
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("disconnected state"));
  EXPECT_FALSE(form->ClientSocket1.Active());

  // The gateway closing its side.
  form->system.tcpPort->setText(QString::number(server.serverPort()));
  form->system.tcpConnect->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->ClientSocket1.Active(); }, 3000));
  server.nextPendingConnection()->close();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return form->system.tcpStatus->text() == "already disconnected"; }, 3000));
  EXPECT_FALSE(form->ClientSocket1.Active());
}

TEST_F(WindowTest, FailedConnectionsSayWhy) {
  ChooseLink(1);
  form->system.tcpDisconnect->click();  // not connected: only the text
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("disconnected state"));
  EXPECT_TRUE(messages.shown.isEmpty());

  form->system.tcpAddress->clear();
  form->system.tcpConnect->click();
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("connection failed"));
  EXPECT_EQ(messages.shown, QStringList({"No address specified"}));

  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const quint16 port = closed.serverPort();
  closed.close();
  messages.shown.clear();
  form->system.tcpAddress->setText(QStringLiteral("127.0.0.1"));
  form->system.tcpPort->setText(QString::number(port));
  form->system.tcpConnect->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3000));
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("connection failed"));
  EXPECT_TRUE(messages.shown[0].startsWith("Asynchronous socket error "));

  messages.shown.clear();
  for (const char* bad : {"70x", "", "70000"}) {
    form->system.tcpPort->setText(QString::fromLatin1(bad));
    form->system.tcpConnect->click();
  }
  EXPECT_EQ(messages.shown,
            QStringList({"'70x' is not a valid integer value", "'' is not a valid integer value",
                         "'70000' is out of range (0 to 65535)"}));
  EXPECT_FALSE(form->ClientSocket1.Connecting());
}

TEST_F(WindowTest, CommunicationCheckAgainstTheSimulatorEnablesTheGatewayButtons) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  ConnectTo(gateway.Port());
  for (QPushButton* b : CheckedButtons()) b->setEnabled(false);

  form->system.communicationQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("PPPPPP#VAR#"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kCommunicationCheck);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kConnection);
  EXPECT_EQ(form->timeoutTimer.Interval(), 3000);
  EXPECT_TRUE(form->timeoutTimer.Enabled());

  ASSERT_TRUE(QTest::qWaitFor([&] { return form->system.systemQuery->isEnabled(); }, 3000));
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().contains("QV:"));
  for (QPushButton* b : CheckedButtons()) EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kNone);
  EXPECT_FALSE(form->timeoutTimer.Enabled());
  QTest::qWait(100);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(WindowTest, NoReplyReportsTheConnectionTimeoutOnceAtTheFirstDeadline) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  sim::Behaviour silent;
  silent.silent = true;
  gateway.SetBehaviour(silent);
  ConnectTo(gateway.Port());
  for (QPushButton* b : CheckedButtons()) b->setEnabled(false);

  QElapsedTimer clock;
  clock.start();
  form->system.communicationQuery->click();
  QTest::qWait(1000);
  form->system.communicationQuery->click();  // does not restart the running countdown
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_LT(clock.elapsed(), 3700);
  EXPECT_EQ(messages.shown, QStringList({"Connection timeout, please contact Velmora "
                                         "Electronics400-555-0770!"}));
  EXPECT_EQ(form->Cycle.Pending,
            PendingCode::kCommunicationCheck);  // a late reply is still decoded
  EXPECT_FALSE(form->timeoutTimer.Enabled());
  EXPECT_FALSE(form->system.systemQuery->isEnabled());
}

TEST_F(WindowTest, SerialLinkClosedStillShowsTheRequestAndTimesOut) {
  form->system.communicationQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("PPPPPP#VAR#"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_TRUE(messages.shown[0].startsWith("Connection timeout"));
}

// A scripted gateway: the test decides what it sends and when.
class ScriptedPeerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    ConnectTo(server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
    peer = server.nextPendingConnection();
  }

  // Sends bytes from the gateway's side and waits until the window has
  // taken them (ReplyText changes).
  void Reply(const QByteArray& bytes) {
    form->Cycle.ReplyText.clear();
    peer->write(bytes);
    peer->flush();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->Cycle.ReplyText.size() >= bytes.size(); }, 3000));
  }

  QTcpServer server;
  QTcpSocket* peer = nullptr;
};

TEST_F(ScriptedPeerTest, PlainReplyEndsTheRequestAtOnce) {
  form->Cycle.Arm(PendingCode::kGatewaySetting, RequestKind::kSetting);
  form->timeoutTimer.SetEnabled(true);
  Reply("OK#");
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("OK#"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
  EXPECT_FALSE(form->timeoutTimer.Enabled());
  EXPECT_FALSE(form->parseTimer.Enabled());

  form->shared.clearReceive->click();
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().isEmpty());
  EXPECT_EQ(form->Cycle.ReplyText, QByteArray("OK#"));
}

TEST_F(ScriptedPeerTest, HexCodesShowEachBlockAndKeepTheCode) {
  form->Cycle.Arm(PendingCode::kModbusReadTest, RequestKind::kConnection);
  Reply(QByteArray("\x01\x03\x00", 3));
  Reply(QByteArray("\xFF\x06", 2));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("FF 06 "));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kModbusReadTest);
  EXPECT_FALSE(form->parseTimer.Enabled());

  QByteArray big(300, '\x5A');
  Reply(big);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText().size(), 900);
}

TEST_F(ScriptedPeerTest, LongReplyIsKeptWholeButWrittenOnlyIntoTheReplyArea) {
  QByteArray big(1000, 'x');
  big.append("QV:");
  Reply(big);
  EXPECT_EQ(form->Cycle.ReplyText.size(), 1003);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText().size(), 1003);
  EXPECT_EQ(form->Cycle.ExchangeBuffer[511], 0);  // request area untouched
}

TEST_F(ScriptedPeerTest, RepliesWhileSerialIsChosenAreCapturedButNotShown) {
  form->shared.receiveBuffer->setPlainText(QStringLiteral("before"));
  form->Cycle.Arm(PendingCode::kCommunicationCheck, RequestKind::kConnection);
  form->timeoutTimer.SetEnabled(true);
  ChooseLink(0);
  Reply("QV:1#");
  EXPECT_EQ(form->Cycle.ReplyText, QByteArray("QV:1#"));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("before"));
  EXPECT_TRUE(form->timeoutTimer.Enabled());
  EXPECT_FALSE(form->parseTimer.Enabled());
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kCommunicationCheck);
}

TEST_F(ScriptedPeerTest, CommunicationCheckNeedsTheColon) {
  for (QPushButton* b : CheckedButtons()) b->setEnabled(false);
  for (const char* reply : {"QV", "Q V:", "qv:", "QV;"}) {
    form->system.communicationQuery->click();
    Reply(reply);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.Pending == PendingCode::kNone; }, 2000));
    EXPECT_FALSE(form->system.systemQuery->isEnabled()) << reply;
  }
  form->system.communicationQuery->click();
  Reply("xxQV:yy");
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->system.systemQuery->isEnabled(); }, 2000));
  form->timeoutTimer.SetEnabled(false);
}

}  // namespace
}  // namespace kv770::ui
