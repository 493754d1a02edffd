// The window when the gateway or its adapter misbehaves: it leaves in the
// middle of a reply, floods the link, never answers or answers slowly, and
// the user connects and disconnects over and over.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <atomic>

#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/process_counts.h"
#include "support/pty_peer.h"
#include "support/tcp_peer.h"
#include "support/window_fixture.h"
#include "ui/gateway_window.h"

namespace kv770::ui {
namespace {

using cycle::RequestCycle;
using test::TcpPeer;

using LinkFaultTest = WindowFixture;

TEST_F(LinkFaultTest, GatewayLeavingMidReplyShowsTheHalfAndTheNextRequestTimesOut) {
  TcpPeer peer([](TcpPeer& p) {
    if (p.Read(7).isEmpty()) return;  // the system report query
    p.Write("QX#BA1:4");
    p.Sleep(20);
    p.Hangup();
  });
  ConnectTo(peer.Port());
  form->system.systemQuery->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ClientSocket1.Active(); }, 5000));
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("already disconnected"));
  // The decoder runs on what came and stops at the missing digit.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 2000));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("QX#BA1:4"));
  EXPECT_EQ(messages.shown, QStringList({"'' is not a valid integer value"}));
  EXPECT_EQ(form->system.rs485Baud->currentIndex(), 4);  // set before the stop

  // With the gateway gone nothing is sent, and the time-out says so.
  messages.shown.clear();
  form->system.communicationQuery->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_TRUE(messages.shown[0].startsWith("Connection timeout"))
      << messages.shown[0].toStdString();
}

TEST_F(LinkFaultTest, OneMebibyteReplyStaysInsideTheReplyAreaAndIsLetGo) {
  QByteArray flood(1 << 20, Qt::Uninitialized);
  for (qsizetype i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>('A' + i % 23);
  TcpPeer peer([&flood](TcpPeer& p) {
    if (p.Read(12).isEmpty()) return;  // the MODBUS request
    p.Write(flood);
    while (p.Read(1, 50).isEmpty() && !p.Stopping()) {
    }
    p.Write("OK#");
  });
  ConnectTo(peer.Port());
  const std::size_t heapBefore = test::HeapInUse();

  form->modbusTest.send->click();  // MODBUS test: replies shown as digit pairs
  const std::array<std::uint8_t, RequestCycle::kBufferSize> staged = form->Cycle.ExchangeBuffer;
  qsizetype received = 0;
  std::size_t heapPeak = 0;
  // Each read takes what is pending; together they are the whole flood.
  QObject::connect(&form->ClientSocket1, &link::TClientSocket::OnRead, form.get(), [&] {
    received += form->Cycle.ReplyText.size();
    heapPeak = std::max(heapPeak, test::HeapInUse());
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return received >= flood.size(); }, 20000)) << received;
  EXPECT_EQ(received, flood.size());
  // Only the reply area changed: the request area still holds the request.
  for (int i = 0; i < RequestCycle::kReplyArea; ++i)
    ASSERT_EQ(form->Cycle.ExchangeBuffer[i], staged[i]) << i;
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText().size(), 3 * form->Cycle.ReplyText.size());
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kModbusReadTest);
  EXPECT_TRUE(messages.shown.isEmpty());
  // A read holds its bytes, their digit pairs and the receive box's copy
  // with its text layout: tens of bytes for each byte received (more
  // under AddressSanitizer), for that read only.
  EXPECT_LT(heapPeak, heapBefore + (160u << 20)) << heapPeak - heapBefore;

  // The next reply replaces it all, and the memory goes with it.
  form->Cycle.Pending = PendingCode::kNone;
  form->shared.clearReceive->click();
  const QByteArray poke = "PPPPPP#VAR#";
  form->ClientSocket1.SendText(poke);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.ReplyText == "OK#"; }, 5000));
  EXPECT_LT(test::HeapInUse(), heapBefore + flood.size()) << test::HeapInUse() - heapBefore;
}

// A peer that never stops sending, met by the window in a child process
// (this same test program, told by KV770_FLOOD_PORT to be the window) so
// that its own peak memory can be read: each read takes a bounded share,
// and the memory stays that of a normal window.
TEST_F(LinkFaultTest, FloodingPeerLeavesTheWindowsMemoryBounded) {
  constexpr int kReads = 6;
  if (const QByteArray port = qgetenv("KV770_FLOOD_PORT"); !port.isEmpty()) {
    ConnectTo(static_cast<quint16>(port.toUShort()));
    int reads = 0;
    QObject::connect(&form->ClientSocket1, &link::TClientSocket::OnRead, form.get(),
                     [&] { ++reads; });
    form->modbusTest.send->click();  // MODBUS test: the reply shown as digit pairs
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads >= kReads; }, 60000)) << reads;
    return;
  }
  std::atomic<qint64> sent{0};
  TcpPeer peer([&](TcpPeer& p) {
    if (p.Read(12).isEmpty()) return;
    const QByteArray block(64 * 1024, 'x');
    while (sent < (qint64{512} << 20) && p.Write(block)) sent += block.size();
  });
  const test::ChildRun window = test::RunChild(
      QCoreApplication::applicationFilePath(),
      {QStringLiteral("--gtest_filter=LinkFaultTest.FloodingPeerLeavesTheWindowsMemoryBounded")},
      {}, {QStringLiteral("KV770_FLOOD_PORT=%1").arg(peer.Port()), test::SmallQuarantine()});
  peer.Stop();
  EXPECT_EQ(window.exitCode, 0) << window.out.toStdString();
  EXPECT_LT(window.peakRssKib, 200 * 1024) << "after " << sent << " bytes sent";
}

TEST_F(LinkFaultTest, GatewayThatNeverAnswersTimesOutOnceAndLetsGoAtOnce) {
  TcpPeer peer([](TcpPeer& p) {
    while (!p.Stopping()) p.Read(64, 50);  // takes everything, says nothing
  });
  ConnectTo(peer.Port());
  QElapsedTimer clock;
  clock.start();
  form->hart.identityQuery->click();  // HART identity: timeoutTimer keeps its 1000 ms
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3000));
  EXPECT_GE(clock.elapsed(), 900);
  EXPECT_EQ(messages.shown, QStringList({"!"}));
  EXPECT_EQ(form->mapping.currentLabel->text(), QStringLiteral("set timeout"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return peer.Received() > 0; }, 1000));  // it did go out
  QTest::qWait(1200);
  EXPECT_EQ(messages.shown.size(), 1);  // once, not at every interval
  EXPECT_TRUE(form->ClientSocket1.Active());

  clock.restart();
  form->system.tcpDisconnect->click();
  EXPECT_LT(clock.elapsed(), 200);
  EXPECT_FALSE(form->ClientSocket1.Active());
  EXPECT_EQ(form->system.tcpStatus->text(), QStringLiteral("disconnected state"));
}

TEST_F(LinkFaultTest, SlowByteByByteReplyWithinTheWaitIsTakenWhole) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  sim::Behaviour slow;
  slow.byteByByte = true;
  slow.byteGapMs = 15;  // the check's 18 characters take 270 ms
  gateway.SetBehaviour(slow);
  ConnectTo(gateway.Port());
  for (QPushButton* b : CheckedButtons()) b->setEnabled(false);

  form->system.communicationQuery->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->system.systemQuery->isEnabled(); }, 5000));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("QV:KV770-W V2.1.0#"));
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(LinkFaultTest, TwoHundredConnectsAndDisconnectsLeaveNothingBehind) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  const auto round = [&] {
    form->system.tcpConnect->click();
    if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000)) return false;
    if (!QTest::qWaitFor([&] { return form->ClientSocket1.Active(); }, 3000)) return false;
    delete server.nextPendingConnection();
    form->system.tcpDisconnect->click();
    return form->system.tcpStatus->text() == QStringLiteral("disconnected state");
  };
  ChooseLink(1);
  form->system.tcpAddress->setText(QStringLiteral("127.0.0.1"));
  form->system.tcpPort->setText(QString::number(server.serverPort()));
  ASSERT_TRUE(round());
  QTest::qWait(20);
  const int threads = test::ThreadCount();
  const int descriptors = test::OpenDescriptors();
  const std::size_t heap = test::HeapInUse();

  for (int i = 0; i < 200; ++i) ASSERT_TRUE(round()) << "round " << i;
  QTest::qWait(20);
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
  EXPECT_EQ(test::ThreadCount(), threads);
  EXPECT_EQ(test::OpenDescriptors(), descriptors);
  EXPECT_LT(test::HeapInUse(), heap + 64 * 1024) << test::HeapInUse() - heap;
}

TEST_F(LinkFaultTest, SerialAdapterPulledMidReplyThenPluggedBackIn) {
  auto line = std::make_unique<test::PtyPeer>();
  ASSERT_TRUE(line->Ok());
  form->Comm1.Ports().Set(4, line->Path());
  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen);

  form->system.communicationQuery->click();
  ASSERT_EQ(line->Read(11), QByteArray("PPPPPP#VAR#"));
  line->Write("QV:KV7");
  QThread::msleep(20);
  const QString device = line->Path();
  line.reset();  // pulled: both ends of the line go, and the device with them
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !form->shared.receiveBuffer->toPlainText().isEmpty(); }, 3000));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("QV:KV7"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.Pending == PendingCode::kNone; }, 2000));

  // The window says which device is gone. The port is still open in it;
  // what is sent goes nowhere and the time-out reports it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3000));
  form->system.systemQuery->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages.shown.size() == 2; }, 4000));
  EXPECT_EQ(messages.shown, QStringList({QStringLiteral("The serial device %1 is gone").arg(device),
                                         "parameter query timeout!"}));

  // Close, plug a new adapter in, open: the window talks again.
  form->system.openPort->click();
  EXPECT_FALSE(form->Comm1.IsOpen());
  test::PtyPeer replacement;
  form->Comm1.Ports().Set(4, replacement.Path());
  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen) << messages.shown.join('|').toStdString();
  form->system.communicationQuery->click();
  EXPECT_EQ(replacement.Read(11), QByteArray("PPPPPP#VAR#"));
  form->timeoutTimer.SetEnabled(false);
}

}  // namespace
}  // namespace kv770::ui
