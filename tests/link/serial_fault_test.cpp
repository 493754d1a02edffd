// SPDX-License-Identifier: GPL-3.0-or-later
// The serial component when the line misbehaves: the far end vanishing in
// the middle of a reply or of a write, a long burst with no pause, bytes
// still coming while the port closes, and many opens and closes in a row.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include "link/SerialComm.h"
#include "support/process_counts.h"
#include "support/pty_peer.h"

namespace kv770::link {
namespace {

using test::PtyPeer;

// What the component raised, copied while each block was valid.
struct Seen {
  QByteArray bytes;
  int blocks = 0;
  int largest = 0;
  int hangups = 0;
  bool terminated = true;  // every block followed by its zero byte

  explicit Seen(TComm& comm) {
    QObject::connect(&comm, &TComm::OnReceiveData, [this](const char* b, std::uint16_t n) {
      bytes.append(b, n);
      ++blocks;
      largest = std::max<int>(largest, n);
      terminated = terminated && b[n] == 0;
    });
    QObject::connect(&comm, &TComm::OnRequestHangup, [this] { ++hangups; });
  }
};

QByteArray Pattern(int size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
  return bytes;
}

class SerialFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer->Ok());
    comm.SetCommName(peer->Path());
    comm.SetOutx_XonXoffFlow(false);  // binary data: 0x11 and 0x13 are bytes
    comm.SetInx_XonXoffFlow(false);
  }

  // Closes the port and says how long that took.
  qint64 TimedClose() {
    QElapsedTimer clock;
    clock.start();
    comm.ClosePort();
    return clock.elapsed();
  }

  std::unique_ptr<PtyPeer> peer = std::make_unique<PtyPeer>();
  TComm comm;
  Seen seen{comm};
};

TEST_F(SerialFaultTest, FarEndVanishingMidReplyKeepsWhatCameAndReportsTheHangupOnce) {
  comm.OpenPort();
  ASSERT_TRUE(peer->Write("QQ0#HART0:1,1,0"));  // a report cut short
  QThread::msleep(30);
  peer.reset();  // the adapter is pulled: both ends of the line go
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.hangups > 0; }, 3000));
  QTest::qWait(150);
  EXPECT_EQ(seen.bytes, QByteArray("QQ0#HART0:1,1,0"));
  EXPECT_EQ(seen.hangups, 1);  // the reader ends once; nothing repeats it
  EXPECT_TRUE(seen.terminated);
  EXPECT_TRUE(comm.IsOpen());  // until the owner closes it

  EXPECT_LT(TimedClose(), 1000);
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_FALSE(comm.SendData("x", 1));
}

TEST_F(SerialFaultTest, FarEndVanishingMidWriteEndsTheWriterWithoutHangingTheClose) {
  comm.OpenPort();
  // More than the terminal's queue holds: the writer is still at it when
  // the far end goes.
  const QByteArray big = Pattern(60000);
  ASSERT_TRUE(comm.SendData(big.constData(), static_cast<std::uint16_t>(big.size())));
  const QByteArray head = peer->Read(1000);
  ASSERT_EQ(head, big.left(head.size()));
  peer->CloseMaster();

  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.hangups > 0; }, 3000));
  // The writer has ended: nothing more is queued.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !comm.SendData("y", 1); }, 3000));
  EXPECT_TRUE(comm.SendDataEmpty());
  EXPECT_LT(TimedClose(), 1000);

  // A new line on the same component works as if nothing had happened.
  PtyPeer fresh;
  comm.SetCommName(fresh.Path());
  comm.OpenPort();
  ASSERT_TRUE(comm.SendData("QQQ#QX#", 7));
  EXPECT_EQ(fresh.Read(7), QByteArray("QQQ#QX#"));
  ASSERT_TRUE(fresh.Write("QX#BA1:30#"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return seen.bytes.endsWith("QX#BA1:30#"); }, 3000));
}

TEST_F(SerialFaultTest, OneMebibyteBurstArrivesWholeInOrderInBoundedBlocks) {
  comm.OpenPort();
  const QByteArray burst = Pattern(1 << 20);
  // The far end writes as fast as the line takes it while this thread
  // raises the blocks; the reader never waits for the window.
  std::thread writer([&] { peer->Write(burst); });
  const bool all = QTest::qWaitFor([&] { return seen.bytes.size() >= burst.size(); }, 30000);
  writer.join();
  ASSERT_TRUE(all) << seen.bytes.size();
  EXPECT_EQ(seen.bytes.size(), burst.size());
  EXPECT_TRUE(seen.bytes == burst);
  EXPECT_LE(seen.largest, 2048);
  EXPECT_GE(seen.blocks, (1 << 20) / 2048);
  EXPECT_TRUE(seen.terminated);
  EXPECT_EQ(seen.hangups, 0);
}

TEST_F(SerialFaultTest, BytesArrivingWhileThePortClosesAreDroppedOrDeliveredNeverHalfHeld) {
  std::atomic<bool> stop{false};
  std::thread chatter([&] {
    const QByteArray chunk(64, 'c');
    while (!stop) peer->Write(chunk);
  });
  for (int i = 0; i < 40; ++i) {
    comm.OpenPort();
    QThread::msleep(i % 4);  // closes at every stage of a block
    EXPECT_LT(TimedClose(), 1000) << "round " << i;
    QCoreApplication::processEvents();  // blocks posted before the close
  }
  // The component goes while bytes keep coming: its unraised blocks go
  // with it.
  {
    TComm doomed;
    doomed.SetCommName(peer->Path());
    doomed.OpenPort();
    QThread::msleep(20);
  }
  // The far end stops; an open port drains what it still had queued.
  stop = true;
  comm.OpenPort();
  chatter.join();
  QTest::qWait(200);
  for (char c : seen.bytes) ASSERT_EQ(c, 'c');
  EXPECT_TRUE(seen.terminated);

  // Afterwards the line is clean: a reply arrives on its own.
  seen.bytes.clear();
  ASSERT_TRUE(peer->Write("QV:KV770-W#"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.bytes.size() >= 11; }, 3000));
  EXPECT_EQ(seen.bytes, QByteArray("QV:KV770-W#"));
}

TEST_F(SerialFaultTest, TwoHundredOpensAndClosesLeaveNoThreadDescriptorOrMemoryBehind) {
  // One round first: Qt and the C library set up what they keep for good.
  comm.OpenPort();
  comm.ClosePort();
  QCoreApplication::processEvents();
  const int threads = test::ThreadCount();
  const int descriptors = test::OpenDescriptors();
  const std::size_t heap = test::HeapInUse();

  for (int i = 0; i < 200; ++i) {
    comm.OpenPort();
    ASSERT_TRUE(comm.SendData("QQQ#QX#", 7));
    comm.ClosePort();
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(test::ThreadCount(), threads);
  EXPECT_EQ(test::OpenDescriptors(), descriptors);
  // Two workers, two event descriptors and a queue per round: a leak of
  // any of them would be far more than this.
  EXPECT_LT(test::HeapInUse(), heap + 16 * 1024) << test::HeapInUse() - heap;
  EXPECT_EQ(seen.hangups, 0);
}

}  // namespace
}  // namespace kv770::link
