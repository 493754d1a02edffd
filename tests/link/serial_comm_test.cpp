// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <memory>

#include "link/SerialComm.h"
#include "link/errors.h"
#include "support/pty_peer.h"

namespace kv770::link {
namespace {

using test::PtyPeer;

// Everything the component raised, copied while the block was valid.
struct Events {
  QList<QByteArray> blocks;
  QList<qint64> arrivalMs;
  int sendEmpty = 0;
  int hangups = 0;
  bool trailingZeroes = true;
  bool onUiThread = true;
  QElapsedTimer clock;

  explicit Events(TComm& comm) {
    clock.start();
    QObject::connect(&comm, &TComm::OnReceiveData, [this](const char* b, std::uint16_t n) {
      blocks << QByteArray(b, n);
      arrivalMs << clock.elapsed();
      trailingZeroes = trailingZeroes && b[n] == 0;
      Note();
    });
    QObject::connect(&comm, &TComm::OnSendDataEmpty, [this] {
      ++sendEmpty;
      Note();
    });
    QObject::connect(&comm, &TComm::OnRequestHangup, [this] {
      ++hangups;
      Note();
    });
  }
  void Note() {
    onUiThread = onUiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
  }
  QByteArray All() const { return blocks.join(); }
  QList<int> Sizes() const {
    QList<int> sizes;
    for (const QByteArray& b : blocks) sizes << b.size();
    return sizes;
  }
};

QByteArray Pattern(int size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

QString OpenError(TComm& comm) {
  try {
    comm.OpenPort();
  } catch (const ECommsError& e) {
    return e.Message();
  }
  return {};
}

class SerialCommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok());
    comm.SetCommName(peer.Path());
    // Binary data as the window sends it: XON/XOFF would take 0x11/0x13.
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
  }

  void Open() {
    comm.OpenPort();
    // The writer announces itself once; after that the line is quiet.
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.sendEmpty == 1; }, 2000));
  }

  PtyPeer peer;
  TComm comm;
  Events events{comm};
};

// ---- opening and closing ---------------------------------------------------

TEST_F(SerialCommTest, OpeningWhatIsNoPortFailsAndLeavesNothingOpen) {
  TComm other;
  other.SetCommName(QStringLiteral("/dev/kv770-no-such-port"));
  const QStringList missing = OpenError(other).split('\n');
  EXPECT_EQ(missing.value(0), QStringLiteral("Error opening serial port"));
  EXPECT_TRUE(missing.value(1).startsWith("/dev/kv770-no-such-port: "))
      << missing.value(1).toStdString();
  EXPECT_FALSE(other.IsOpen());

  // A COM name that leads nowhere names both the device and the port.
  other.SetCommName(QStringLiteral("COM4"));
  other.Ports().Set(4, QStringLiteral("/dev/kv770-no-such-port"));
  EXPECT_TRUE(OpenError(other).contains("/dev/kv770-no-such-port (COM4): "));

  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  for (const QString& path : {file.fileName(), QStringLiteral("/dev/null")}) {
    other.SetCommName(path);
    EXPECT_EQ(
        OpenError(other),
        QStringLiteral("File handle is not a comm handle \n%1: not a serial device").arg(path));
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(other.SendData("x", 1));
  }
}

TEST_F(SerialCommTest, SecondOpenFailsAndTheFirstStaysIntact) {
  Open();
  EXPECT_EQ(OpenError(comm), QStringLiteral("This serial port already opened"));
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_TRUE(comm.SendData("QQQ#QV#", 7));
  EXPECT_EQ(peer.Read(7), QByteArray("QQQ#QV#"));
}

TEST_F(SerialCommTest, PortHeldByAnotherComponentIsBusyUntilReleased) {
  Open();
  {
    TComm second;
    second.SetCommName(peer.Path());
    const QStringList lines = OpenError(second).split('\n');
    EXPECT_EQ(lines.value(0), QStringLiteral("Error opening serial port"));
    EXPECT_TRUE(lines.value(1).contains(peer.Path()));
    EXPECT_TRUE(lines.value(1).contains("busy")) << lines.value(1).toStdString();
    EXPECT_FALSE(second.IsOpen());
  }
  comm.ClosePort();
  TComm third;
  third.SetCommName(peer.Path());
  EXPECT_NO_THROW(third.OpenPort());
  EXPECT_TRUE(third.IsOpen());
}

TEST_F(SerialCommTest, CloseIsHarmlessWhenClosedAndQuickRightAfterOpen) {
  comm.ClosePort();
  EXPECT_FALSE(comm.IsOpen());

  for (int i = 0; i < 3; ++i) {
    comm.OpenPort();
    QElapsedTimer clock;
    clock.start();
    comm.ClosePort();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(comm.IsOpen());
  }
  EXPECT_FALSE(comm.SendData("x", 1));
}

TEST_F(SerialCommTest, DestroyingAnOpenComponentClosesItsPort) {
  {
    auto doomed = std::make_unique<TComm>();
    doomed->SetCommName(peer.Path());
    doomed->OpenPort();
    ASSERT_TRUE(doomed->SendData("abc", 3));
    ASSERT_EQ(peer.Read(3), QByteArray("abc"));
    peer.Write("late");  // arrives while it goes
  }
  // Both workers are gone and the port is free again.
  Open();
  EXPECT_TRUE(comm.SendData("x", 1));
  EXPECT_EQ(peer.Read(1), QByteArray("x"));
}

// ---- sending ---------------------------------------------------------------

TEST_F(SerialCommTest, NothingIsSentWhenClosedOrEmpty) {
  EXPECT_FALSE(comm.SendData("abc", 3));
  Open();
  EXPECT_FALSE(comm.SendData("abc", 0));
  EXPECT_FALSE(comm.SendData(nullptr, 3));
  EXPECT_TRUE(peer.Read(1, 200).isEmpty());
}

TEST_F(SerialCommTest, BlocksLargerThanTheDriverQueueGoOutWholeAndInOrder) {
  Open();
  const QByteArray first = Pattern(20000);
  const QByteArray second = QByteArray(5000, 'z');
  ASSERT_TRUE(comm.SendData(first.constData(), static_cast<std::uint16_t>(first.size())));
  ASSERT_TRUE(comm.SendData(second.constData(), static_cast<std::uint16_t>(second.size())));
  EXPECT_FALSE(comm.SendDataEmpty());
  // The peer reads slowly at first, so the writer meets a full queue.
  QThread::msleep(100);
  const QByteArray got = peer.Read(first.size() + second.size(), 5000);
  ASSERT_EQ(got.size(), first.size() + second.size());
  EXPECT_EQ(got, first + second);
  // Once more when the queue has run dry, and not again on its own.
  EXPECT_TRUE(QTest::qWaitFor([&] { return events.sendEmpty == 2; }, 2000));
  EXPECT_TRUE(comm.SendDataEmpty());
  QTest::qWait(150);
  EXPECT_EQ(events.sendEmpty, 2);
}

// ---- receiving -------------------------------------------------------------

TEST_F(SerialCommTest, ShortPausesKeepOneBlockLongerOnesSplitIt) {
  Open();
  peer.Write("QV:");
  QThread::msleep(40);
  peer.Write("KV770");
  QThread::msleep(40);
  peer.Write("-W#");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.blocks.isEmpty(); }, 2000));
  QTest::qWait(150);
  EXPECT_EQ(events.blocks, QList<QByteArray>({"QV:KV770-W#"}));

  events.blocks.clear();
  peer.Write("first");
  QThread::msleep(250);
  peer.Write("second");
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.blocks.size() == 2; }, 2000));
  EXPECT_EQ(events.blocks, QList<QByteArray>({"first", "second"}));
  EXPECT_TRUE(events.trailingZeroes);
  EXPECT_TRUE(events.onUiThread);
}

TEST_F(SerialCommTest, ABlockEndsAtTheReadBufferSizeAndAfterSilence) {
  Open();
  QElapsedTimer sent;
  const QByteArray bytes = Pattern(3000);
  peer.Write(bytes);
  sent.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.blocks.size() == 2; }, 2000));
  EXPECT_EQ(events.Sizes(), QList<int>({2048, 952}));
  EXPECT_EQ(events.All(), bytes);
  EXPECT_TRUE(events.trailingZeroes);
  // The tail waits out the silence (where it ends exactly is checked on a
  // clock of the test's own in block_former_test.cpp).
  EXPECT_GE(sent.elapsed(), 95);
}

TEST_F(SerialCommTest, LargeTransfersArriveCompleteAndInOrder) {
  Open();
  const QByteArray bytes = Pattern(64 * 1024);
  peer.Write(bytes);
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.All().size() >= bytes.size(); }, 5000));
  EXPECT_EQ(events.All(), bytes);
  for (int size : events.Sizes()) EXPECT_LE(size, 2048);
}

TEST_F(SerialCommTest, BlocksQueuedBehindABusyHandlerStayInOrder) {
  QObject::connect(&comm, &TComm::OnReceiveData, [](const char*, std::uint16_t) {
    QThread::msleep(300);  // as the window's receive handler does
  });
  Open();
  for (const char* part : {"one", "two", "three"}) {
    peer.Write(part);
    QThread::msleep(150);
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.blocks.size() == 3; }, 5000));
  EXPECT_EQ(events.blocks, QList<QByteArray>({"one", "two", "three"}));
}

TEST_F(SerialCommTest, ReadIntervalChangesApplyToAnOpenPort) {
  Open();
  comm.SetReadIntervalTimeout(20);
  peer.Write("a");
  QThread::msleep(60);
  peer.Write("b");
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.blocks.size() == 2; }, 2000));
  EXPECT_EQ(events.blocks, QList<QByteArray>({"a", "b"}));
}

TEST_F(SerialCommTest, UnassignedEventsAreConsumedQuietly) {
  TComm bare;
  PtyPeer other;
  bare.SetCommName(other.Path());
  bare.SetOutx_XonXoffFlow(false);
  bare.OpenPort();
  other.Write(Pattern(5000));
  QTest::qWait(300);  // every block is raised to nobody and released
  EXPECT_TRUE(bare.SendData("ok", 2));
  EXPECT_EQ(other.Read(2), QByteArray("ok"));
  bare.ClosePort();
}

// ---- line settings ---------------------------------------------------------

TEST_F(SerialCommTest, LineSettingsReachThePortAndChangesReapplyThem) {
  comm.SetBaudRate(19200);
  comm.SetParity(TParity::Odd);
  Open();
  termios t = peer.Settings();
  EXPECT_EQ(cfgetospeed(&t), speed_t{B19200});
  EXPECT_TRUE(t.c_cflag & PARODD);  // a pty drops PARENB but keeps this
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));

  // Parity alone is only stored...
  comm.SetParity(TParity::None);
  EXPECT_TRUE(peer.Settings().c_cflag & PARODD);
  // ...and goes out with the next setting that re-applies the line.
  comm.SetBaudRate(57600);
  t = peer.Settings();
  EXPECT_EQ(cfgetospeed(&t), speed_t{B57600});
  EXPECT_FALSE(t.c_cflag & PARODD);

  comm.SetInx_XonXoffFlow(true);
  EXPECT_EQ(peer.Settings().c_iflag & (IXON | IXOFF), tcflag_t{IXOFF});

  // The modem lines do not exist on a pty: setting them is no error.
  EXPECT_NO_THROW(comm.SetDtrControl(TDtrControl::DtrDisable));
  EXPECT_NO_THROW(comm.SetRtsControl(TRtsControl::RtsDisable));
  EXPECT_TRUE(comm.SendData("still", 5));
  EXPECT_EQ(peer.Read(5), QByteArray("still"));
}

TEST_F(SerialCommTest, XoffFromThePeerHoldsOutputUntilXon) {
  comm.SetOutx_XonXoffFlow(true);
  Open();
  peer.Write("\x13");
  QThread::msleep(50);
  ASSERT_TRUE(comm.SendData("held", 4));
  EXPECT_TRUE(peer.Read(4, 300).isEmpty());
  EXPECT_TRUE(events.blocks.isEmpty());  // flow control is not data
  peer.Write("\x11");
  EXPECT_EQ(peer.Read(4), QByteArray("held"));
  // Stopping does not wait for a held line.
  peer.Write("\x13");
  QThread::msleep(50);
  comm.SendData("never", 5);
  QElapsedTimer clock;
  clock.start();
  comm.ClosePort();
  EXPECT_LT(clock.elapsed(), 1000);
}

// ---- the far end going away ------------------------------------------------

TEST_F(SerialCommTest, PeerHangingUpIsReportedAndCloseStillWorks) {
  Open();
  peer.Write("last words");
  QThread::msleep(20);
  peer.CloseMaster();
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.hangups >= 1; }, 2000));
  EXPECT_EQ(events.All(), QByteArray("last words"));
  EXPECT_TRUE(comm.IsOpen());  // until the owner closes it

  // The writer finds the line gone on its next block and ends.
  comm.SendData("x", 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !comm.SendData("y", 1); }, 2000));

  QElapsedTimer clock;
  clock.start();
  comm.ClosePort();
  EXPECT_LT(clock.elapsed(), 1000);
  EXPECT_FALSE(comm.IsOpen());
}

// ---- the simulator's serial line ---------------------------------------------

TEST(SimulatorSerialLineTest, AnswersThroughTheLinkItMakesAndRemovesItOnExit) {
  const QString program = QCoreApplication::applicationDirPath() + "/kv770-sim";
  if (!QFileInfo(program).isExecutable()) GTEST_SKIP() << "kv770-sim not built";
  QTemporaryDir dir;
  const QString link = dir.filePath("gateway");
  QProcess sim;
  sim.start(program, {"--port", "0", "--pty", link});
  ASSERT_TRUE(sim.waitForStarted());
  QByteArray out;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        sim.waitForReadyRead(50);
        out += sim.readAllStandardOutput();
        return out.count('\n') >= 2;
      },
      5000))
      << out.toStdString();
  const QList<QByteArray> lines = out.split('\n');
  EXPECT_TRUE(lines[0].startsWith("kv770-sim listening on 127.0.0.1:"));
  EXPECT_TRUE(lines[1].startsWith("kv770-sim serial line on /dev/pts/")) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].endsWith("(link " + link.toLocal8Bit() + ")"));

  TComm comm;
  comm.SetCommName(link);
  comm.SetOutx_XonXoffFlow(false);
  comm.SetInx_XonXoffFlow(false);
  Events events(comm);
  comm.OpenPort();
  ASSERT_TRUE(comm.SendData("PPPPPP#VAR#", 11));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.blocks.isEmpty(); }, 3000));
  EXPECT_TRUE(events.blocks[0].startsWith("QV:"));
  comm.ClosePort();

  sim.terminate();
  ASSERT_TRUE(sim.waitForFinished(3000));
  EXPECT_FALSE(QFileInfo(link).isSymLink());
}

}  // namespace
}  // namespace kv770::link
