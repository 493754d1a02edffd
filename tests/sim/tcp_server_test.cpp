// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tcp_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <bit>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <vector>

#include "sim/sim_thread.h"
#include "support/process_counts.h"
#include "tools/modbus_frames.h"

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

// Whole replies again while one still goes out byte by byte: the next
// waits its turn rather than cutting into it.
TEST_F(SimThreadTest, ReplyWaitsBehindOneGoingOutByteByByte) {
  sim_.SetBehaviour({.byteByByte = true, .byteGapMs = 30});
  auto client = ConnectTo(sim_.Port());
  client->write(kCheck);
  QByteArray got = ReadBlocking(*client, 1, 3000).bytes;
  ASSERT_FALSE(got.isEmpty());
  sim_.SetBehaviour({});
  client->write(kCheck);
  got += ReadBlocking(*client, 2 * kCheckReply.size() - got.size(), 10000).bytes;
  EXPECT_EQ(got, kCheckReply + kCheckReply);
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

// A read of `count` registers from 0 with the given transaction number.
QByteArray ReadRequest(std::uint16_t transaction, std::uint8_t count) {
  auto frame = tools::TcpReadRequest(1, 0, count);
  frame[0] = static_cast<std::uint8_t>(transaction >> 8);
  frame[1] = static_cast<std::uint8_t>(transaction);
  return QByteArray(reinterpret_cast<const char*>(frame.data()), frame.size());
}

TEST_F(SimThreadTest, PipelinedModbusTcpRequestsAreAnsweredInOrder) {
  // Numbers starting with FF, as a HART preamble does.
  const std::vector<std::uint16_t> transactions{0xFF00, 0xFFFF, 0xFF01, 0xFF02};
  QByteArray requests;
  for (std::uint16_t t : transactions) requests += ReadRequest(t, 2);
  auto client = ConnectTo(sim_.Port());
  client->write(requests);
  constexpr qsizetype kReply = 7 + 2 + 4;
  const QByteArray replies = ReadBlocking(*client, 4 * kReply, 3000).bytes;
  ASSERT_EQ(replies.size(), 4 * kReply);
  for (std::size_t i = 0; i < transactions.size(); ++i) {
    const auto at = static_cast<qsizetype>(i) * kReply;
    EXPECT_EQ(
        static_cast<std::uint8_t>(replies[at]) << 8 | static_cast<std::uint8_t>(replies[at + 1]),
        transactions[i])
        << i;
  }
  // A request framed by the pause still works on the same connection.
  client->write(kCheck);
  EXPECT_EQ(ReadBlocking(*client, kCheckReply.size(), 3000).bytes, kCheckReply);
}

// A client that writes requests as long as the server takes them and reads
// only when it cannot write: the server sees one long stream cut anywhere,
// and its unread replies pile up until it must stop reading.
TEST_F(SimThreadTest, BurstOfRequestsIsAnsweredInOrder) {
  constexpr int kRequests = 20000;
  constexpr std::uint8_t kRegisters = 80;  // the largest reply
  constexpr std::size_t kReply = 7 + 2 + 2 * kRegisters;
  const auto transaction = [](int i) { return static_cast<std::uint16_t>(0xFF00 + i); };
  QByteArray requests;
  for (int i = 0; i < kRequests; ++i) requests += ReadRequest(transaction(i), kRegisters);

  // Plain calls on the socket's descriptor: nothing here runs its events.
  auto client = ConnectTo(sim_.Port());
  const int fd = static_cast<int>(client->socketDescriptor());
  qsizetype written = 0;
  std::string replies;
  std::size_t checked = 0;
  int answered = 0;
  // Only a hang runs into this.
  const QDeadlineTimer deadline(120000);
  while (answered < kRequests && !deadline.hasExpired()) {
    pollfd p{fd, static_cast<short>(POLLIN | (written < requests.size() ? POLLOUT : 0)), 0};
    if (::poll(&p, 1, 1000) <= 0) continue;
    if (p.revents & POLLOUT) {
      const ssize_t n = ::send(fd, requests.constData() + written,
                               static_cast<std::size_t>(requests.size() - written), MSG_NOSIGNAL);
      if (n > 0) {
        written += n;
        continue;
      }
    }
    if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char chunk[64 * 1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    ASSERT_GT(n, 0) << "the server closed the connection after " << answered << " replies";
    replies.append(chunk, static_cast<std::size_t>(n));
    for (; replies.size() - checked >= kReply; checked += kReply, ++answered) {
      const auto* r = reinterpret_cast<const std::uint8_t*>(replies.data() + checked);
      ASSERT_EQ(r[0] << 8 | r[1], transaction(answered)) << "reply " << answered;
      ASSERT_EQ((std::vector<int>{r[2], r[3], r[4], r[5], r[6], r[7], r[8]}),
                (std::vector<int>{0, 0, 0, kReply - 6, 1, 3, 2 * kRegisters}))
          << "reply " << answered;
    }
    replies.erase(0, checked);
    checked = 0;
  }
  EXPECT_EQ(answered, kRequests);
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
  // The options, and what the complaint must name.
  const std::pair<QStringList, QByteArray> cases[] = {
      {{"--port", "70000"}, "70000"},
      {{"--delay", "x"}, "'x'"},
      {{"--listen", "not-an-address"}, "not-an-address"},
      {{"--pty", "--baud", "9601"}, "'9601'"},
      {{"--baud", "9600"}, "--pty"},
      {{"--instruments", "1,9:0"}, "'9:0'"},
      {{"--instruments", "1,2:64"}, "'2:64'"},
      {{"--instruments", "2,2:0"}, "'2:0'"},
      {{"--instruments", "1,,2"}, "''"},
      {{"--refuse", "BA1", "--refuse", "BA2"}, "'BA2'"},
      {{"--step", "9=80"}, "meter '9'"},
      {{"--step", "3=-1"}, "flow '-1'"},
      {{"--step", "3=nan"}, "flow 'nan'"},
      {{"--step", "3=80@x"}, "time 'x'"},
      {{"--step", "3=80@-5"}, "time '-5'"},
      {{"--step", "3"}, "'3'"},
      {{"--step", "3=80", "--step", "3=80@1=2"}, "'3=80@1=2'"},
      {{"--no-such-option"}, "'no-such-option'"},
      {{"--replay", "field.trace", "--silent"}, "--silent"},
      {{"--replay", "field.trace", "--instruments", "1"}, "--instruments"},
      {{"--replay", "/nonexistent/field.trace"}, "/nonexistent/field.trace"},
  };
  for (const auto& [args, named] : cases) {
    QProcess sim;
    sim.start(program, args);
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 2) << args.join(' ').toStdString();
    const QByteArray complaint = sim.readAllStandardError();
    EXPECT_TRUE(complaint.contains(named)) << complaint.toStdString();
  }
}

// kv770-sim run for one test, and stopped by its end.
struct SimProcess {
  ~SimProcess() {
    process.kill();
    process.waitForFinished(3000);
  }
  // The next line it prints, empty when none comes.
  QByteArray ReadLine() {
    while (!process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    return process.readLine().trimmed();
  }
  // Starts it and returns the port it announces, 0 when it does not.
  quint16 Start(const QString& program, const QStringList& args) {
    process.start(program, args);
    const QByteArray line = ReadLine();
    if (!line.startsWith("kv770-sim listening on 127.0.0.1:")) return 0;
    return line.mid(line.lastIndexOf(':') + 1).toUShort();
  }
  QProcess process;
};

// The flow in a MODBUS TCP reply to ReadRequest(_, count) from register 0:
// meter METER's registers 10 * (METER - 1) + 2 and + 3, FF4 first.
float FlowIn(const QByteArray& reply, int meter) {
  const qsizetype at = 9 + 2 * (10 * (meter - 1) + 2);
  std::uint32_t bits = 0;
  for (qsizetype k = 0; k < 4; ++k) bits = bits << 8 | static_cast<std::uint8_t>(reply[at + k]);
  return std::bit_cast<float>(bits);
}

// A step given as an option and one typed on stdin while running: both
// take the meter's flow far out of its band within a second. A bad line
// gets a complaint, and the simulator goes on.
TEST(SimProgram, StepsFromTheCommandLineAndFromStdin) {
  const QString program = SimProgram();
  if (program.isEmpty()) GTEST_SKIP() << "kv770-sim not built";
  SimProcess sim;
  const quint16 port = sim.Start(program, {"--port", "0", "--step", "1=1000@0"});
  ASSERT_NE(port, 0);
  sim.process.write("step 9 1\nstep 2 5000\n");
  const QByteArray said = sim.ReadLine();
  EXPECT_TRUE(said.startsWith("step: meter 2 flow to 5000 at ")) << said.toStdString();
  QByteArray complaint;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return (complaint += sim.process.readAllStandardError()).contains("meter '9'"); },
      3000))
      << complaint.toStdString();

  QThread::msleep(1000);
  auto client = ConnectTo(port);
  client->write(ReadRequest(1, 14));
  const QByteArray reply = ReadBlocking(*client, 9 + 28, 3000).bytes;
  ASSERT_EQ(reply.size(), 9 + 28);
  EXPECT_GT(FlowIn(reply, 1), 100) << "meter 1, 42.5 +- 3 before";
  EXPECT_GT(FlowIn(reply, 2), 500) << "meter 2, 180 +- 12 before";
  EXPECT_EQ(sim.process.state(), QProcess::Running);
}

// The descriptors a process has open.
std::set<rlim_t> Descriptors(qint64 pid) {
  std::set<rlim_t> open;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
    open.insert(std::stoul(entry.path().filename().string()));
  return open;
}

// A new descriptor takes the lowest free number below the limit: this limit
// leaves room for `room` more.
rlim_t LimitLeaving(const std::set<rlim_t>& open, int room) {
  rlim_t n = 0;
  for (int free = 0;; ++n) {
    if (!open.contains(n) && ++free > room) return n;
  }
}

// Its main thread's state: 'R' running or about to, 'S' asleep until
// something happens.
char State(qint64 pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end = line.rfind(')');  // the name in parentheses may hold anything
  return end != std::string::npos && end + 2 < line.size() ? line[end + 2] : '?';
}

TEST(SimProgram, AcceptsAgainAfterRunningOutOfDescriptors) {
#ifdef KV770_TEST_ASAN
  // The sanitizers' own checks need descriptors (a pipe to probe memory)
  // and report nonsense once there are none.
  GTEST_SKIP() << "not under the sanitizers";
#endif
  const QString program = SimProgram();
  if (program.isEmpty()) GTEST_SKIP() << "kv770-sim not built";
  SimProcess sim;
  const quint16 port = sim.Start(program, {"--port", "0"});
  ASSERT_NE(port, 0);
  const qint64 pid = sim.process.processId();

  // Room for two clients more.
  rlimit limit{};
  ASSERT_EQ(::prlimit(static_cast<pid_t>(pid), RLIMIT_NOFILE, nullptr, &limit), 0);
  limit.rlim_cur = LimitLeaving(Descriptors(pid), 2);
  ASSERT_EQ(::prlimit(static_cast<pid_t>(pid), RLIMIT_NOFILE, &limit, nullptr), 0);
  // Every descriptor below the limit open.
  const auto full = [&] {
    const std::set<rlim_t> open = Descriptors(pid);
    return std::distance(open.begin(), open.lower_bound(limit.rlim_cur)) ==
           static_cast<std::ptrdiff_t>(limit.rlim_cur);
  };

  std::vector<std::unique_ptr<QTcpSocket>> crowd;
  for (int i = 0; i < 10; ++i) crowd.push_back(ConnectTo(port));
  // Every descriptor taken, the rest of the crowd still queued: the server
  // waits for one to come free rather than retrying without pause. Only a
  // server that never sleeps runs into the deadline.
  const QDeadlineTimer deadline(20000);
  while (!full() && !deadline.hasExpired()) QThread::msleep(5);
  ASSERT_TRUE(full());
  while (State(pid) != 'S' && !deadline.hasExpired()) QThread::msleep(5);
  EXPECT_EQ(State(pid), 'S');

  crowd.clear();
  auto client = ConnectTo(port);
  client->write(kCheck);
  EXPECT_EQ(ReadBlocking(*client, kCheckReply.size(), 10000).bytes, kCheckReply);
}

TEST(SimProgram, HangupRemovesTheSerialLink) {
  const QString program = SimProgram();
  if (program.isEmpty()) GTEST_SKIP() << "kv770-sim not built";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString link = dir.filePath("com");
  SimProcess sim;
  // A test run under nohup would hand its ignoring of SIGHUP on.
  sim.process.setChildProcessModifier([] { std::signal(SIGHUP, SIG_DFL); });
  // With the gateway's own options, which it takes as they are written.
  ASSERT_NE(sim.Start(program, {"--port", "0", "--pty", link, "--baud", "9600", "--instruments",
                                "1,2:0,2:5,8:15", "--refuse", "BA1", "--refuse", "MD"}),
            0);
  const QString line = sim.ReadLine();
  ASSERT_TRUE(line.startsWith("kv770-sim serial line on")) << line.toStdString();
  EXPECT_TRUE(line.contains(" at 9600 bit/s")) << line.toStdString();
  ASSERT_TRUE(QFileInfo(link).isSymLink());

  ::kill(static_cast<pid_t>(sim.process.processId()), SIGHUP);
  ASSERT_TRUE(sim.process.waitForFinished(10000));
  EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
  EXPECT_FALSE(QFileInfo(link).isSymLink());
}

}  // namespace
}  // namespace kv770::sim
