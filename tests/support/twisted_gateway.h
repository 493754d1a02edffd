// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated gateway's engine behind a TCP server of the test's own,
// with some requests answered otherwise: a gateway that forgets a setting,
// refuses one, or stops answering half-way; or with the engine's own reply
// damaged on its way out. Served from the test's event loop, which
// kv770ctl's exchanges run.

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sim/engine.h"

namespace kv770::test {

// The reply to send instead (empty: none), or nothing to let the engine
// answer.
using Twist =
    std::function<std::optional<std::string>(const std::string& request, sim::GatewayModel&)>;
// Changes the engine's reply to `request` in place (a byte spoiled, the
// end cut off).
using Spoil =
    std::function<void(const std::string& request, std::string& reply, const sim::GatewayModel&)>;

class TwistedGateway {
 public:
  explicit TwistedGateway(Twist twist, Spoil spoil = {})
      : twist_(std::move(twist)), spoil_(std::move(spoil)) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) Serve(socket);
    });
  }
  QStringList Link() const {
    return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()), "--gap", "30"};
  }
  sim::GatewayModel& Model() { return engine_.Model(); }

 private:
  void Serve(QTcpSocket* socket) {
    auto* quiet = new QTimer(socket);
    quiet->setSingleShot(true);
    quiet->setInterval(10);
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer, quiet] {
      *buffer += socket->readAll();
      quiet->start();
    });
    QObject::connect(quiet, &QTimer::timeout, socket, [this, socket, buffer] {
      const std::string request = buffer->toStdString();
      buffer->clear();
      const std::optional<std::string> twisted =
          twist_ ? twist_(request, engine_.Model()) : std::nullopt;
      std::string reply = twisted ? *twisted : engine_.Handle(request, 0);
      if (!twisted && spoil_) spoil_(request, reply, engine_.Model());
      socket->write(reply.data(), static_cast<qint64>(reply.size()));
    });
  }

  Twist twist_;
  Spoil spoil_;
  QTcpServer server_;
  sim::Engine engine_;
};

}  // namespace kv770::test
