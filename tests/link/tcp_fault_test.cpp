// SPDX-License-Identifier: GPL-3.0-or-later
// The TCP client when the gateway misbehaves: it leaves in the middle of a
// reply, trickles a reply byte by byte while the reader is busy, and the
// link is made and dropped many times in a row.
#include <gtest/gtest.h>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include "link/tcp_client.h"
#include "support/process_counts.h"
#include "support/tcp_peer.h"

namespace kv770::link {
namespace {

using test::TcpPeer;

// What a reader that behaves like the window got: each read event waits
// `waitMs` first, then takes everything pending.
struct Reader {
  QList<QByteArray> reads;
  int disconnects = 0;
  QStringList raised;

  Reader(TClientSocket& client, int waitMs) {
    QObject::connect(&client, &TClientSocket::OnRead, [this, &client, waitMs] {
      QThread::msleep(waitMs);
      reads << client.ReceiveText();
    });
    QObject::connect(&client, &TClientSocket::OnDisconnect, [this] { ++disconnects; });
    QObject::connect(&client, &TClientSocket::OnSocketException,
                     [this](const QString& m) { raised << m; });
  }
  QByteArray All() const { return reads.join(); }
};

bool Connect(TClientSocket& client, quint16 port) {
  client.SetAddress(QStringLiteral("127.0.0.1"));
  client.SetPort(port);
  client.Open();
  return QTest::qWaitFor([&] { return client.Active(); }, 3000);
}

TEST(TcpFaultTest, GatewayLeavingMidReplyGivesWhatCameThenOneDisconnect) {
  TcpPeer peer([](TcpPeer& p) {
    if (p.Read(11).isEmpty()) return;
    p.Write("QX#BA1:4");  // the report, cut short
    p.Sleep(20);
    p.Hangup();
  });
  TClientSocket client;
  Reader reader(client, 500);
  ASSERT_TRUE(Connect(client, peer.Port()));
  ASSERT_EQ(client.SendText("PPPPPP#VAR#"), 11);

  ASSERT_TRUE(QTest::qWaitFor([&] { return reader.disconnects > 0; }, 5000));
  QTest::qWait(100);
  EXPECT_EQ(reader.All(), QByteArray("QX#BA1:4"));
  EXPECT_EQ(reader.disconnects, 1);
  EXPECT_TRUE(reader.raised.isEmpty());  // a plain disconnect, no error
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(client.SendText("PPPPPP#VAR#"), 0);
  EXPECT_EQ(client.ReceiveLength(), 0);
}

TEST(TcpFaultTest, ByteByByteReplyToABusyReaderArrivesOnceAndInOrder) {
  const QByteArray reply = "QQ0#HART0:1,1,00,6,010,DFO0:01230,XISH0:1.000,2.500#";
  TcpPeer peer([&reply](TcpPeer& p) {
    if (p.Read(8).isEmpty()) return;
    for (char c : reply) {
      if (!p.Write(QByteArray(1, c))) return;
      p.Sleep(7);
    }
  });
  TClientSocket client;
  // Reads are spread over the reply: some bytes wait in the socket, some
  // still in the system, when a read comes.
  Reader reader(client, 60);
  ASSERT_TRUE(Connect(client, peer.Port()));
  ASSERT_EQ(client.SendText("QQQ#QQ0#"), 8);
  ASSERT_TRUE(QTest::qWaitFor([&] { return reader.All().size() >= reply.size(); }, 5000))
      << reader.All().toStdString();
  QTest::qWait(100);
  EXPECT_EQ(reader.All(), reply);
  EXPECT_GT(reader.reads.size(), 2);
  EXPECT_TRUE(client.Active());
}

TEST(TcpFaultTest, TwoHundredConnectsAndDisconnectsLeaveNothingBehind) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  TClientSocket client;
  Reader reader(client, 0);
  const auto round = [&] {
    if (!Connect(client, server.serverPort())) return false;
    if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000)) return false;
    delete server.nextPendingConnection();
    client.Close();
    return !client.Active();
  };
  ASSERT_TRUE(round());  // what Qt sets up once
  QTest::qWait(20);
  const int threads = test::ThreadCount();
  const int descriptors = test::OpenDescriptors();
  const std::size_t heap = test::HeapInUse();

  for (int i = 0; i < 200; ++i) ASSERT_TRUE(round()) << "round " << i;
  QTest::qWait(20);
  EXPECT_EQ(reader.disconnects, 201);
  EXPECT_TRUE(reader.raised.isEmpty());
  EXPECT_EQ(test::ThreadCount(), threads);
  EXPECT_EQ(test::OpenDescriptors(), descriptors);
  EXPECT_LT(test::HeapInUse(), heap + 64 * 1024) << test::HeapInUse() - heap;
}

}  // namespace
}  // namespace kv770::link
