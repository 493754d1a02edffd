// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/tcp_client.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include "link/errors.h"

namespace kv770::link {
namespace {

struct Events {
  QStringList seen;
  QList<int> errors;
  QStringList raised;
  explicit Events(TClientSocket& client) {
    QObject::connect(&client, &TClientSocket::OnConnecting, [this] { seen << "connecting"; });
    QObject::connect(&client, &TClientSocket::OnConnect, [this] { seen << "connect"; });
    QObject::connect(&client, &TClientSocket::OnDisconnect, [this] { seen << "disconnect"; });
    QObject::connect(&client, &TClientSocket::OnRead, [this] { seen << "read"; });
    QObject::connect(&client, &TClientSocket::OnError, [this](int* code) { errors << *code; });
    QObject::connect(&client, &TClientSocket::OnSocketException,
                     [this](const QString& m) { raised << m; });
  }
};

class TcpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }

  // Connects the client and returns the server's side of the connection.
  QTcpSocket* ConnectClient() {
    client.SetAddress(QStringLiteral("127.0.0.1"));
    client.SetPort(server.serverPort());
    client.Open();
    if (!QTest::qWaitFor([&] { return client.Active() && server.hasPendingConnections(); }, 3000))
      return nullptr;
    return server.nextPendingConnection();
  }

  QTcpServer server;
  TClientSocket client;
  Events events{client};
};

TEST_F(TcpClientTest, ConnectsReadsEverythingPendingAndSeesThePeerLeave) {
  QTcpSocket* peer = ConnectClient();
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(events.seen, QStringList({"connecting", "connect"}));

  EXPECT_EQ(client.SendText("PPPPPP#VAR#"), 11);
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 11; }, 3000));
  EXPECT_EQ(peer->readAll(), QByteArray("PPPPPP#VAR#"));

  // Two writes with a gap: the read after the gap takes both, as the
  // window's receive handler relies on.
  peer->write("QV:");
  peer->flush();
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.seen.contains("read"); }, 3000));
  peer->write("1.0#");
  peer->flush();
  QThread::msleep(100);
  EXPECT_EQ(client.ReceiveText(), QByteArray("QV:1.0#"));

  peer->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.seen.contains("disconnect"); }, 3000));
  EXPECT_FALSE(client.Active());
  EXPECT_TRUE(events.errors.isEmpty());
  EXPECT_EQ(events.seen.count("read"), 1) << events.seen.join(',').toStdString();
}

TEST_F(TcpClientTest, ChangesWhileActiveAreRefusedUnlessUnchanged) {
  ASSERT_NE(ConnectClient(), nullptr);
  EXPECT_NO_THROW(client.SetAddress(QStringLiteral("127.0.0.1")));
  EXPECT_NO_THROW(client.SetPort(server.serverPort()));
  EXPECT_THROW(client.SetAddress(QStringLiteral("127.0.0.2")), ESocketError);
  EXPECT_THROW(client.SetPort(server.serverPort() + 1), ESocketError);
  EXPECT_TRUE(client.Active());

  client.Close();
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(events.seen.last(), QStringLiteral("disconnect"));
  EXPECT_NO_THROW(client.SetPort(1));
}

TEST_F(TcpClientTest, RefusedConnectionRaisesTheSocketLayersMessage) {
  const quint16 port = server.serverPort();
  server.close();
  client.SetAddress(QStringLiteral("127.0.0.1"));
  client.SetPort(port);
  client.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.raised.isEmpty(); }, 3000));
  EXPECT_EQ(events.errors, QList<int>({ECONNREFUSED}));
  EXPECT_EQ(events.raised,
            QStringList({QStringLiteral("Asynchronous socket error %1").arg(ECONNREFUSED)}));
  EXPECT_FALSE(client.Active());
  EXPECT_FALSE(client.Connecting());
}

TEST_F(TcpClientTest, EmptyOrNamedAddressIsRefusedAfterTheErrorEvent) {
  EXPECT_THROW(client.Open(), ESocketError);
  EXPECT_EQ(events.errors.size(), 1);
  client.SetAddress(QStringLiteral("gateway.local"));
  EXPECT_THROW(client.Open(), ESocketError);
  EXPECT_FALSE(client.Connecting());
  EXPECT_FALSE(events.seen.contains("connecting"));
}

TEST_F(TcpClientTest, SecondOpenDuringAnAttemptStartsNoSecondAttempt) {
  client.SetAddress(QStringLiteral("127.0.0.1"));
  client.SetPort(server.serverPort());
  client.Open();
  client.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return client.Active(); }, 3000));
  QTest::qWait(100);
  EXPECT_EQ(events.seen.count("connecting"), 1);
  EXPECT_NE(server.nextPendingConnection(), nullptr);
  EXPECT_EQ(server.nextPendingConnection(), nullptr);
}

TEST_F(TcpClientTest, NothingIsSentWhileNotConnected) {
  EXPECT_EQ(client.SendText("PPPPPP#VAR#"), 0);
  EXPECT_EQ(client.ReceiveLength(), 0);
}

}  // namespace
}  // namespace kv770::link
