// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/replay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "link/tcp_client.h"
#include "link/trace.h"
#include "sim/sim_thread.h"
#include "tools/modbus_frames.h"

namespace kv770::sim {
namespace {

using Direction = link::Trace::Direction;

// A trace line as the tool writes it, at 07:30:SECONDS on one day.
QByteArray At(double seconds, const QString& link, Direction direction, const QByteArray& bytes) {
  return QStringLiteral("2026-12-08 07:30:%1 ").arg(seconds, 6, 'f', 3, QLatin1Char('0')).toUtf8() +
         link::Trace::Format(link, direction, bytes).toUtf8() + '\n';
}
QByteArray Sent(double s, const QByteArray& b, const QString& link = "tcp") {
  return At(s, link, Direction::Sent, b);
}
QByteArray Got(double s, const QByteArray& b, const QString& link = "tcp") {
  return At(s, link, Direction::Received, b);
}

// A conversation as "REQUEST => BLOCK | +GAP BLOCK; ...", or "line N: WHY".
std::string Shown(const Conversation& conversation) {
  if (!conversation.error.isEmpty())
    return QStringLiteral("line %1: %2")
        .arg(conversation.line)
        .arg(conversation.error)
        .toStdString();
  QStringList exchanges;
  for (const Exchange& exchange : conversation.exchanges) {
    QStringList blocks;
    for (const Exchange::Block& block : exchange.reply)
      blocks << (block.gapMs ? QStringLiteral("+%1 ").arg(block.gapMs) : QString()) +
                    QString::fromLatin1(block.bytes);
    exchanges << QString::fromLatin1(exchange.request) + " => " + blocks.join(" | ");
  }
  return exchanges.join("; ").toStdString();
}

TEST(ReplayTrace, ReadsTheToolsConversationOrRefusesTheFirstBadLine) {
  const QByteArray good = Sent(1, "PPPPPP#VAR#") + Got(1.1, "QV:1#");
  const QByteArray longLine(kMaxTraceLineLength + 1, 'x');
  const struct {
    const char* what;
    QByteArray trace;
    std::string shown;  // a refusal need only start so
  } cases[] = {
      {"one exchange", good, "PPPPPP#VAR# => QV:1#"},
      {"a reply in blocks keeps their gaps, at most 1 s",
       Sent(1, "QQQ#") + Got(1.2, "QQ0#") + Got(1.5, "A#") + Got(9, "B#"),
       "QQQ# => QQ0# | +300 A# | +1000 B#"},
      {"pieces sent back to back are one request",
       Sent(1, "PPPPPP#") + Sent(1.05, "VAR#") + Got(1.2, "QV:1#"), "PPPPPP#VAR# => QV:1#"},
      {"a request followed by another after a pause went unanswered",
       Sent(1, "QQQ#") + Sent(4, "QQQ#") + Got(4.1, "QQ0#"), "QQQ# => ; QQQ# => QQ0#"},
      {"links are paired apart, in the order asked",
       Sent(1, "A#") + Sent(1.01, "B#", "serial") + Got(1.2, "a#") + Got(1.3, "b#", "serial"),
       "A# => a#; B# => b#"},
      {"bytes received before any request are no reply", Got(0.5, "noise") + good,
       "PPPPPP#VAR# => QV:1#"},
      {"blank lines and CRLF line ends", "\n" + QByteArray(good).replace("\n", "\r\n") + "\n",
       "PPPPPP#VAR# => QV:1#"},
      {"a bad time stamp", good + "2026-13-08 07:30:02.000 tcp    > 41  |A|\n",
       "line 3: no time stamp"},
      {"no direction", "2026-12-08 07:30:02.000 tcp    = 41  |A|\n", "line 1: no direction"},
      {"not hexadecimal", good + "2026-12-08 07:30:02.000 tcp    > 41 G2  |A.|\n",
       "line 3: 'G2' at column 37 is not a byte"},
      {"a line shortened by hand", good + "2026-12-08 07:30:02.000 tcp    > 41 42 ...  |AB|\n",
       "line 3: '..' at column 40 is not a byte"},
      {"an ASCII column that disagrees", "2026-12-08 07:30:02.000 tcp    > 41 42  |AC|\n",
       "line 1: the ASCII column does not match"},
      {"a line cut off", good + "2026-12-08 07:30:02.000 tcp    > 41 42  |A",
       "line 3: the ASCII column does not match"},
      {"a line too long", good + longLine + "\n" + good, "line 3: longer than 1048576"},
      {"no request at all", Got(1, "QV:1#"), "line 0: it holds no request"},
  };
  for (const auto& c : cases) {
    QBuffer trace;
    trace.setData(c.trace);
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    const std::string shown = Shown(ReadConversation(trace));
    EXPECT_EQ(shown.substr(0, c.shown.size()), c.shown) << c.what << "\n" << shown;
  }
}

// ---- the program -----------------------------------------------------------

QString SimProgram() {
  const QString path = QCoreApplication::applicationDirPath() + "/kv770-sim";
  return QFileInfo(path).isExecutable() ? path : QString();
}

// kv770-sim run for one test, and stopped by its end.
struct SimProcess {
  ~SimProcess() {
    process.kill();
    process.waitForFinished(3000);
  }
  QByteArray ReadLine() {
    while (!process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    return process.readLine().trimmed();
  }
  // Starts it and returns the port it announces, 0 when it does not.
  quint16 Start(const QStringList& args) {
    process.start(SimProgram(), args);
    const QByteArray line = ReadLine();
    if (!line.startsWith("kv770-sim listening on 127.0.0.1:")) return 0;
    return line.mid(line.lastIndexOf(':') + 1).toUShort();
  }
  QProcess process;
};

// What comes back for `request` until 200 ms pass without a byte.
QByteArray Ask(QTcpSocket& socket, const QByteArray& request) {
  socket.write(request);
  QByteArray reply;
  while (socket.waitForReadyRead(reply.isEmpty() ? 1000 : 200)) reply += socket.readAll();
  return reply;
}

// The tool's own TCP link, tracing to `path`, asks a simulated gateway
// three questions, the live values twice; then kv770-sim replays the trace
// to a client that asks the same, and gets what the tool got, the second
// values after the first. The client leaving ends the replay: all matched.
TEST(ReplayProgram, GivesBackWhatTheToolReceived) {
  if (SimProgram().isEmpty()) GTEST_SKIP() << "kv770-sim not built";
  QTemporaryDir dir;
  const QString field = dir.filePath("field.trace");
  const auto poll = tools::TcpReadRequest(1, 0, 20);
  const QByteArray values(reinterpret_cast<const char*>(poll.data()), poll.size());
  const QByteArray requests[] = {"PPPPPP#VAR#", values, values};
  std::vector<QByteArray> heard;
  {
    SimThread gateway;
    ASSERT_TRUE(gateway.Start());
    link::Trace trace;
    ASSERT_TRUE(trace.Open(field));
    link::TClientSocket tool;
    tool.SetAddress("127.0.0.1");
    tool.SetPort(gateway.Port());
    tool.SetTrace(&trace);
    tool.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tool.Active(); }));
    for (const QByteArray& request : requests) {
      QTest::qWait(300);  // the values move on meanwhile
      tool.SendText(request);
      QByteArray reply;
      ASSERT_TRUE(QTest::qWaitFor([&] { return (reply += tool.ReceiveText()).size() >= 18; }));
      QTest::qWait(100);
      heard.push_back(reply + tool.ReceiveText());
    }
    tool.Close();
  }
  ASSERT_NE(heard[1], heard[2]) << "the live values did not move";

  SimProcess replay;
  const quint16 port = replay.Start({"--replay", field, "--port", "0"});
  ASSERT_NE(port, 0);
  QTcpSocket client;
  client.connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(client.waitForConnected(3000));
  for (std::size_t i = 0; i < heard.size(); ++i)
    EXPECT_EQ(Ask(client, requests[i]).toHex(' '), heard[i].toHex(' ')) << "request " << i;
  client.disconnectFromHost();
  ASSERT_TRUE(replay.process.waitForFinished(5000));
  EXPECT_EQ(replay.process.exitCode(), 0);
  EXPECT_TRUE(replay.process.readAllStandardOutput().contains(
      "kv770-sim replay: 3 of 3 requests matched, 3 recorded"));
}

// A request the trace does not hold gets no answer and is named on stderr;
// one recorded without a reply gets none either, but matched. The serial
// line replays too; a signal ends the replay, and the unknown request
// makes its exit status 1.
TEST(ReplayProgram, ReportsWhatTheTraceDoesNotHold) {
  if (SimProgram().isEmpty()) GTEST_SKIP() << "kv770-sim not built";
  QTemporaryDir dir;
  const QString field = dir.filePath("field.trace");
  QFile file(field);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Sent(1, "PPPPPP#VAR#", "serial") + Got(1.1, "QV:1#", "serial") + Sent(2, "QQQ#"));
  file.close();

  SimProcess replay;
  replay.process.setChildProcessModifier([] { std::signal(SIGTERM, SIG_DFL); });
  const quint16 port = replay.Start({"--replay", field, "--port", "0", "--pty"});
  ASSERT_NE(port, 0);
  const QByteArray serialLine = replay.ReadLine();
  ASSERT_TRUE(serialLine.startsWith("kv770-sim serial line on ")) << serialLine.toStdString();
  const int serial = ::open(serialLine.mid(25).constData(), O_RDWR | O_NOCTTY);
  ASSERT_GE(serial, 0);
  ASSERT_EQ(::write(serial, "PPPPPP#VAR#", 11), 11);
  char got[16] = {};
  pollfd p{serial, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 3000), 1);
  EXPECT_EQ(QByteArray(got, static_cast<qsizetype>(::read(serial, got, sizeof got))), "QV:1#");
  ::close(serial);

  QTcpSocket client;
  client.connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(client.waitForConnected(3000));
  EXPECT_EQ(Ask(client, "HELLO\x01"), "");
  EXPECT_EQ(Ask(client, "QQQ#"), "");
  QByteArray complaints;
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return (complaints += replay.process.readAllStandardError())
        .contains("not in the trace, not answered: tcp    < 48 45 4C 4C 4F 01  |HELLO.|");
  })) << complaints.toStdString();
  EXPECT_FALSE(complaints.contains("QQQ#")) << complaints.toStdString();

  replay.process.terminate();
  ASSERT_TRUE(replay.process.waitForFinished(5000));
  EXPECT_EQ(replay.process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(replay.process.exitCode(), 1);
  EXPECT_TRUE(replay.process.readAllStandardOutput().contains(
      "kv770-sim replay: 2 of 3 requests matched, 2 recorded"));
}

}  // namespace
}  // namespace kv770::sim
