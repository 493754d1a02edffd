// SPDX-License-Identifier: GPL-3.0-or-later
// The window when the gateway or its adapter misbehaves: it leaves in the
// middle of a reply, floods the link, never answers or answers slowly, and
// the user connects and disconnects over and over.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>

#include "sim/sim_thread.h"
#include "support/child_process.h"
#include "support/process_counts.h"
#include "support/pty_peer.h"
#include "support/tcp_peer.h"
#include "support/window_fixture.h"

namespace kv770::ui {
namespace {

using test::TcpPeer;

class LinkFaultTest : public WindowFixture {
 protected:
  // Calls `shown` with every text the receive area is given that is not
  // empty: one for each reply block the window reads.
  template <typename F>
  QMetaObject::Connection OnEachBlockShown(F shown) {
    auto* area = Find<QPlainTextEdit>("Memo10");
    return QObject::connect(area, &QPlainTextEdit::textChanged, form.get(), [area, shown] {
      if (const QString text = area->toPlainText(); !text.isEmpty()) shown(text);
    });
  }
  QString Status() const { return Find<QLabel>("Label146")->text(); }
};

TEST_F(LinkFaultTest, GatewayLeavingMidReplyShowsTheHalfAndTheNextRequestTimesOut) {
  TcpPeer peer([](TcpPeer& p) {
    if (p.Read(7).isEmpty()) return;  // the system report query
    p.Write("QX#BA1:4");
    p.Sleep(20);
    p.Hangup();
  });
  ASSERT_TRUE(ConnectPort(peer.Port()));
  Click("Button23");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status() == "already disconnected"; }, 5000));
  // The decoder runs on what came and stops at the missing digit.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 2000));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("QX#BA1:4"));
  EXPECT_EQ(messages.shown, QStringList({"'' is not a valid integer value"}));
  EXPECT_EQ(Combo("ComboBox8")->currentIndex(), 4);  // set before the stop

  // With the gateway gone nothing is sent, and the time-out says so.
  messages.shown.clear();
  Click("Button6");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_TRUE(messages.shown[0].startsWith("Connection timeout"))
      << messages.shown[0].toStdString();
}

TEST_F(LinkFaultTest, OneMebibyteReplyIsShownBlockByBlockAndLetGo) {
  QByteArray flood(1 << 20, Qt::Uninitialized);
  for (qsizetype i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>('A' + i % 23);
  TcpPeer peer([&flood](TcpPeer& p) {
    if (p.Read(12).isEmpty()) return;  // the MODBUS request
    p.Write(flood);
    while (p.Read(1, 50).isEmpty() && !p.Stopping()) {
    }
    p.Write("OK#");
  });
  ASSERT_TRUE(ConnectPort(peer.Port()));
  const std::size_t heapBefore = test::HeapInUse();

  // Each block is shown as digit pairs (the MODBUS test's reply) and
  // replaces the one before; together they are the flood, byte for byte.
  QByteArray received;
  std::size_t heapPeak = 0;
  const QMetaObject::Connection watch = OnEachBlockShown([&](const QString& text) {
    received += QByteArray::fromHex(text.toLatin1());
    heapPeak = std::max(heapPeak, test::HeapInUse());
  });
  Click("Button4");
  ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= flood.size(); }, 20000))
      << received.size();
  EXPECT_TRUE(received == flood);
  QObject::disconnect(watch);
  received = QByteArray();
  EXPECT_TRUE(messages.shown.isEmpty());
  // A read holds its bytes, their digit pairs and the receive box's copy
  // with its text layout: tens of bytes for each byte received (more
  // under AddressSanitizer), for that read only.
  EXPECT_LT(heapPeak, heapBefore + (160u << 20)) << heapPeak - heapBefore;

  // The next reply replaces it all, and the memory goes with it.
  Click("Button26");
  Click("Button6");
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea() == "OK#"; }, 5000));
  EXPECT_LT(test::HeapInUse(), heapBefore + flood.size()) << test::HeapInUse() - heapBefore;
}

// A peer that never stops sending, met by the window in a child process
// (this same test program, told by KV770_FLOOD_PORT to be the window) so
// that its own peak memory can be read: each read takes a bounded share,
// and the memory stays that of a normal window.
TEST_F(LinkFaultTest, FloodingPeerLeavesTheWindowsMemoryBounded) {
  constexpr int kReads = 6;
  if (const QByteArray port = qgetenv("KV770_FLOOD_PORT"); !port.isEmpty()) {
    ASSERT_TRUE(ConnectPort(static_cast<quint16>(port.toUShort())));
    int reads = 0;
    OnEachBlockShown([&](const QString&) { ++reads; });
    Click("Button4");  // MODBUS test: each block shown as digit pairs
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

// A HART query sent first keeps the first time-out, 1000 ms; the report
// comes once, and Disconnect does not wait for the silent gateway.
TEST_F(LinkFaultTest, GatewayThatNeverAnswersTimesOutOnceAndLetsGoAtOnce) {
  TcpPeer peer([](TcpPeer& p) {  // takes everything, says nothing, until the client leaves
    for (QElapsedTimer read; !p.Stopping();) {
      read.start();
      if (p.Read(64, 50).isEmpty() && read.elapsed() < 40) return;
    }
  });
  ASSERT_TRUE(ConnectPort(peer.Port()));
  Click("Button7");
  EXPECT_FALSE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 500));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 1500));
  EXPECT_EQ(messages.shown, QStringList({"!"}));
  EXPECT_EQ(Find<QLabel>("Label68")->text(), QStringLiteral("set timeout"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return peer.Received() > 0; }, 1000));  // it did go out
  QTest::qWait(1200);
  EXPECT_EQ(messages.shown.size(), 1);  // once, not at every interval
  EXPECT_FALSE(peer.Done());
  EXPECT_EQ(Status(), QStringLiteral("connected"));

  QElapsedTimer clock;
  clock.start();
  Click("Button11");
  EXPECT_LT(clock.elapsed(), 1000);
  EXPECT_EQ(Status(), QStringLiteral("disconnected state"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return peer.Done(); }, 3000));
}

TEST_F(LinkFaultTest, SlowByteByByteReplyWithinTheWaitIsTakenWhole) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  sim::Behaviour slow;
  slow.byteByByte = true;
  slow.byteGapMs = 15;  // the check's 18 characters take 270 ms
  gateway.SetBehaviour(slow);
  ASSERT_TRUE(ConnectPort(gateway.Port()));
  SetEnabled(CheckEnables(), false);

  Click("Button6");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 5000));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("QV:KV770-W V2.1.0#"));
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(LinkFaultTest, TwoHundredConnectsAndDisconnectsLeaveNothingBehind) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  const auto round = [&] {
    if (!ConnectPort(server.serverPort()) ||
        !QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000))
      return false;
    delete server.nextPendingConnection();
    Click("Button11");
    return Status() == QStringLiteral("disconnected state");
  };
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
  ASSERT_TRUE(OpenSerial(line->Path())) << messages.shown.join('|').toStdString();
  SetEnabled(CheckEnables(), false);

  Click("Button6");
  ASSERT_EQ(line->Read(11), QByteArray("PPPPPP#VAR#"));
  line->Write("QV:KV7");
  QThread::msleep(20);
  const QString device = line->Path();
  line.reset();  // pulled: both ends of the line go, and the device with them
  ASSERT_TRUE(ReplyShown());
  EXPECT_EQ(ReceiveArea(), QStringLiteral("QV:KV7"));
  // Half a reply still holds "QV:": the check is decoded and passes.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 2000));

  // The window says which device is gone. The port is still open in it;
  // what is sent goes nowhere and the time-out reports it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3000));
  Click("Button23");
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages.shown.size() == 2; }, 4000));
  EXPECT_EQ(messages.shown, QStringList({QStringLiteral("The serial device %1 is gone").arg(device),
                                         "parameter query timeout!"}));

  // Close, plug a new adapter in, open: the window talks again.
  ASSERT_EQ(Find<QPushButton>("Button1")->text(), QStringLiteral("close"));
  Click("Button1");
  EXPECT_EQ(Find<QPushButton>("Button1")->text(), QStringLiteral("open"));
  test::PtyPeer replacement;
  ASSERT_TRUE(OpenSerial(replacement.Path())) << messages.shown.join('|').toStdString();
  Click("Button6");
  EXPECT_EQ(replacement.Read(11), QByteArray("PPPPPP#VAR#"));
}

}  // namespace
}  // namespace kv770::ui
