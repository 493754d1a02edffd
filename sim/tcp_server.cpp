#include "sim/tcp_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "link/trace.h"

namespace kv770::sim {

TcpServer::TcpServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
  connect(server_, &QTcpServer::newConnection, this, &TcpServer::Accept);
  clock_.start();
}

TcpServer::~TcpServer() = default;

bool TcpServer::Listen(const QHostAddress& address, quint16 port) {
  if (!server_->listen(address, port)) return false;
  clock_.restart();
  return true;
}

quint16 TcpServer::Port() const {
  return server_->serverPort();
}

QString TcpServer::ErrorString() const {
  return server_->errorString();
}

void TcpServer::Accept() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    // The buffer and the quiet timer belong to this connection and die with
    // it; the socket is the context of every callback below, so nothing runs
    // for a client that has gone.
    // Split replies must leave as separate segments, not be held back
    // waiting for more to send.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto pending = std::make_shared<QByteArray>();
    auto* quiet = new QTimer(socket);
    quiet->setSingleShot(true);
    quiet->setInterval(kRequestGapMs);

    connect(quiet, &QTimer::timeout, socket, [this, socket, pending] {
      QByteArray request;
      request.swap(*pending);
      Answer(socket, request);
    });
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pending, quiet] {
      pending->append(socket->readAll());
      const bool whole = Engine::IsModbusTcpFrame(
          std::string_view(pending->constData(), static_cast<std::size_t>(pending->size())));
      if (whole || pending->size() >= kMaxRequestBytes) {
        quiet->stop();
        QByteArray request;
        request.swap(*pending);
        Answer(socket, request);
        return;
      }
      quiet->start();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }
}

void TcpServer::Answer(QTcpSocket* socket, const QByteArray& request) {
  if (request.isEmpty()) return;
  if (trace_) trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Received, request);
  const std::string reply =
      engine_.Handle(std::string_view(request.constData(), request.size()), clock_.elapsed());
  // The behaviour of the moment the request completed holds for its reply,
  // even if it changes while the reply is on its way.
  const Behaviour behaviour = behaviour_;
  if (reply.empty() || behaviour.silent) return;

  QByteArray bytes(reply.data(), static_cast<qsizetype>(reply.size()));
  if (behaviour.delayMs > 0) {
    QTimer::singleShot(behaviour.delayMs, socket,
                       [this, socket, bytes, behaviour] { Send(socket, bytes, behaviour); });
  } else {
    Send(socket, bytes, behaviour);
  }
}

void TcpServer::Send(QTcpSocket* socket, const QByteArray& reply, const Behaviour& behaviour) {
  if (socket->state() != QAbstractSocket::ConnectedState) return;
  if (behaviour.byteByByte) {
    SendByteByByte(socket, reply, 0, behaviour.byteGapMs, trace_);
  } else {
    socket->write(reply);
    if (trace_) trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Sent, reply);
  }
}

void TcpServer::SendByteByByte(QTcpSocket* socket, QByteArray reply, qsizetype next, int gapMs,
                               link::Trace* trace) {
  if (socket->state() != QAbstractSocket::ConnectedState) return;
  socket->write(reply.constData() + next, 1);
  if (trace) trace->Record(QStringLiteral("tcp"), link::Trace::Direction::Sent, reply.mid(next, 1));
  // Push the byte out now, so it travels in a segment of its own rather
  // than waiting for the event loop to coalesce it with the next one.
  socket->flush();
  if (++next >= reply.size()) return;
  QTimer::singleShot(std::max(gapMs, 0), socket, [socket, reply, next, gapMs, trace] {
    SendByteByByte(socket, reply, next, gapMs, trace);
  });
}

}  // namespace kv770::sim
