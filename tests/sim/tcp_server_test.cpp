#include "sim/tcp_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "sim/sim_thread.h"

namespace kv770::sim {
namespace {

const QByteArray kCheck = "PPPPPP#VAR#";
const QByteArray kCheckReply = QByteArray("QV:") + Engine::kFirmware + "#";

// What a client saw: the bytes and in how many reads they came.
struct Received {
  QByteArray bytes;
  int reads = 0;
};

// Client side against a server in another thread, so blocking waits are
// fine: reads until `want` bytes are in or `timeoutMs` has passed.
Received ReadBlocking(QTcpSocket& socket, qsizetype want, int timeoutMs) {
  Received got;
  QElapsedTimer clock;
  clock.start();
  while (got.bytes.size() < want) {
    const qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0 || !socket.waitForReadyRead(static_cast<int>(left))) break;
    got.bytes += socket.readAll();
    ++got.reads;
  }
  return got;
}

std::unique_ptr<QTcpSocket> ConnectTo(quint16 port) {
  auto socket = std::make_unique<QTcpSocket>();
  socket->connectToHost(QHostAddress::LocalHost, port);
  EXPECT_TRUE(socket->waitForConnected(3000)) << socket->errorString().toStdString();
  return socket;
}

// Runs the event loop of this thread, for a server living here.
void Pump(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class SimThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_.Start()); }
  SimThread sim_;
};

TEST_F(SimThreadTest, AnswersCommunicationCheckOverTcp) {
  EXPECT_TRUE(sim_.Running());
  EXPECT_NE(sim_.Port(), 0);
  auto client = ConnectTo(sim_.Port());
  client->write(kCheck);
  EXPECT_EQ(ReadBlocking(*client, kCheckReply.size(), 3000).bytes, kCheckReply);

  // The connection stays open for the next request, and unknown input is
  // answered rather than dropped.
  client->write("HELLO");
  EXPECT_EQ(ReadBlocking(*client, 20, 3000).bytes, Engine::kUnknownCommand);
}

TEST_F(SimThreadTest, ServesSeveralClientsAtOnce) {
  auto first = ConnectTo(sim_.Port());
  auto second = ConnectTo(sim_.Port());
  second->write("XYZ");
  first->write(kCheck);
  EXPECT_EQ(ReadBlocking(*first, kCheckReply.size(), 3000).bytes, kCheckReply);
  EXPECT_EQ(ReadBlocking(*second, 20, 3000).bytes, Engine::kUnknownCommand);
}

TEST_F(SimThreadTest, SilentNeverAnswers) {
  sim_.SetBehaviour({.silent = true});
  auto client = ConnectTo(sim_.Port());
  client->write(kCheck);
  EXPECT_TRUE(ReadBlocking(*client, 1, 600).bytes.isEmpty());

  // Back to normal, the same connection gets answers again.
  sim_.SetBehaviour({});
  client->write(kCheck);
  EXPECT_EQ(ReadBlocking(*client, kCheckReply.size(), 3000).bytes, kCheckReply);
}

TEST_F(SimThreadTest, DelayedReplyComesLateButWhole) {
  sim_.SetBehaviour({.delayMs = 700});
  auto client = ConnectTo(sim_.Port());
  QElapsedTimer clock;
  clock.start();
  client->write(kCheck);
  EXPECT_TRUE(ReadBlocking(*client, 1, 300).bytes.isEmpty());
  const Received got = ReadBlocking(*client, kCheckReply.size(), 5000);
  EXPECT_EQ(got.bytes, kCheckReply);
  EXPECT_GE(clock.elapsed(), 650);
}

TEST_F(SimThreadTest, ByteByByteArrivesInPieces) {
  sim_.SetBehaviour({.byteByByte = true, .byteGapMs = 40});
  auto client = ConnectTo(sim_.Port());
  QElapsedTimer clock;
  clock.start();
  client->write(kCheck);
  const Received got = ReadBlocking(*client, kCheckReply.size(), 10000);
  EXPECT_EQ(got.bytes, kCheckReply);
  // 18 bytes 40 ms apart: even a busy machine cannot fold them into a few
  // reads, and the whole takes at least the sum of the gaps.
  EXPECT_GE(got.reads, 4);
  EXPECT_GE(clock.elapsed(), (kCheckReply.size() - 1) * 40 - 40);
}

TEST_F(SimThreadTest, RequestInSeveralSegmentsIsOneRequest) {
  auto client = ConnectTo(sim_.Port());
  client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  for (char c : kCheck) {
    client->write(&c, 1);
    client->flush();
  }
  EXPECT_EQ(ReadBlocking(*client, 2 * kCheckReply.size(), 1500).bytes, kCheckReply);
}

TEST_F(SimThreadTest, RequestsSeparatedByAPauseGetOneReplyEach) {
  auto client = ConnectTo(sim_.Port());
  client->write(kCheck);
  client->flush();
  QThread::msleep(300);
  client->write(kCheck);
  const Received got = ReadBlocking(*client, 2 * kCheckReply.size(), 3000);
  EXPECT_EQ(got.bytes, kCheckReply + kCheckReply);
}

TEST(SimThread, StopsCleanlyWithReplyStillPending) {
  auto sim = std::make_unique<SimThread>();
  ASSERT_TRUE(sim->Start());
  {
    SimThread other;  // a second gateway in the same process is independent
    ASSERT_TRUE(other.Start());
    EXPECT_NE(other.Port(), sim->Port());
  }
  sim->SetBehaviour({.delayMs = 2000});
  auto client = ConnectTo(sim->Port());
  client->write(kCheck);
  client->flush();
  QThread::msleep(200);  // let the request complete on the server side
  sim.reset();
  ASSERT_TRUE(client->state() == QAbstractSocket::UnconnectedState ||
              client->waitForDisconnected(3000));
  EXPECT_TRUE(client->readAll().isEmpty());
}

TEST(SimThread, BusyPortFailsAndCanRetry) {
  QTcpServer holder;
  ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
  SimThread sim;
  EXPECT_FALSE(sim.Start(holder.serverPort()));
  EXPECT_FALSE(sim.Running());
  EXPECT_EQ(sim.Port(), 0);
  ASSERT_TRUE(sim.Start(0));
  auto client = ConnectTo(sim.Port());
  client->write(kCheck);
  EXPECT_EQ(ReadBlocking(*client, kCheckReply.size(), 3000).bytes, kCheckReply);
}

TEST(TcpServer, ClientLeavingBeforeDelayedReplyIsHarmless) {
  TcpServer server;
  ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0));
  server.SetBehaviour({.delayMs = 300, .byteByByte = true, .byteGapMs = 10});

  auto leaving = std::make_unique<QTcpSocket>();
  leaving->connectToHost(QHostAddress::LocalHost, server.Port());
  QTcpSocket staying;
  staying.connectToHost(QHostAddress::LocalHost, server.Port());
  Pump(200);
  ASSERT_EQ(leaving->state(), QAbstractSocket::ConnectedState);
  ASSERT_EQ(staying.state(), QAbstractSocket::ConnectedState);
  leaving->write(kCheck);
  staying.write(kCheck);
  Pump(150);  // both requests complete, both replies are waiting
  leaving.reset();
  Pump(1500);
  EXPECT_EQ(staying.readAll(), kCheckReply);
}

// The kv770-sim program next to this test program, when it has been built.
QString SimProgram() {
  const QString path = QCoreApplication::applicationDirPath() + "/kv770-sim";
  return QFileInfo(path).isExecutable() ? path : QString();
}

TEST(SimProgram, AnnouncesItsPortAndRefusesABusyOne) {
  const QString program = SimProgram();
  if (program.isEmpty()) GTEST_SKIP() << "kv770-sim not built";

  QTcpServer holder;
  ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
  QProcess busy;
  busy.start(program, {"--port", QString::number(holder.serverPort())});
  ASSERT_TRUE(busy.waitForFinished(5000));
  EXPECT_EQ(busy.exitCode(), 1);
  EXPECT_TRUE(busy.readAllStandardError().contains("cannot listen"));

  QProcess sim;
  sim.start(program, {"--port", "0", "--delay", "50"});
  ASSERT_TRUE(sim.waitForReadyRead(5000));
  const QByteArray line = sim.readLine().trimmed();
  ASSERT_TRUE(line.startsWith("kv770-sim listening on 127.0.0.1:")) << line.toStdString();
  const quint16 port = line.mid(line.lastIndexOf(':') + 1).toUShort();
  ASSERT_NE(port, 0);
  auto client = ConnectTo(port);
  client->write(kCheck);
  EXPECT_EQ(ReadBlocking(*client, kCheckReply.size(), 3000).bytes, kCheckReply);
  sim.kill();
  sim.waitForFinished(3000);
}

TEST(SimProgram, RejectsBadOptions) {
  const QString program = SimProgram();
  if (program.isEmpty()) GTEST_SKIP() << "kv770-sim not built";
  for (const QStringList& args : {QStringList{"--port", "70000"}, QStringList{"--delay", "x"},
                                  QStringList{"--listen", "not-an-address"}}) {
    QProcess sim;
    sim.start(program, args);
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 1) << args.join(' ').toStdString();
    EXPECT_FALSE(sim.readAllStandardError().isEmpty());
  }
}

}  // namespace
}  // namespace kv770::sim
