// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tcp_server.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTcpSocket>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "link/trace.h"
#include "sim/replay.h"

namespace kv770::sim {

namespace {

QString Reason(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

std::string_view View(const QByteArray& bytes, qsizetype from = 0) {
  return {bytes.constData() + from, static_cast<std::size_t>(bytes.size() - from)};
}

// "fe80::1%eth0" names its interface; the socket wants its number.
std::uint32_t ScopeIndex(const QString& scope) {
  if (scope.isEmpty()) return 0;
  if (const unsigned index = if_nametoindex(scope.toLocal8Bit().constData())) return index;
  return scope.toUInt();
}

}  // namespace

// One client: its bytes not answered yet, the pause that ends a request that
// is not MODBUS TCP, and replies that go out a byte at a time. A child of
// its socket, so it goes with it.
class TcpServer::Connection : public QObject {
 public:
  Connection(TcpServer* server, QTcpSocket* socket)
      : QObject(socket), server_(*server), socket_(*socket) {
    // Split replies must leave as separate segments, not be held back
    // waiting for more to send.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // What is not read stays with TCP, which then holds the client back.
    socket->setReadBufferSize(kMaxRequestBytes);
    quiet_.setSingleShot(true);
    quiet_.setInterval(server_.replay_ ? kPieceGapMs : kRequestGapMs);
    trickle_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
      if (server_.replay_)
        ReadReplayed(true);
      else
        server_.Answer(*this, std::exchange(pending_, {}));
    });
    connect(&trickle_, &QTimer::timeout, this, &Connection::SendNextByte);
    connect(socket, &QTcpSocket::readyRead, this, &Connection::Read);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
      if (held_ && Unsent() <= kMaxUnsentBytes / 2) Read();
    });
    // A client that leaves in the middle of a request still had it
    // counted: what it sent is taken as if the pause had come.
    connect(socket, &QTcpSocket::disconnected, this, [this] {
      if (server_.replay_) ReadReplayed(true);
      server_.ClientLeft();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }

  // Answers every whole MODBUS TCP frame at the front of what has come, in
  // order; the rest waits for more bytes or for the pause.
  void Read() {
    if (server_.replay_) return ReadReplayed(false);
    qsizetype answered = 0;  // of pending_
    for (;;) {
      held_ = Unsent() > kMaxUnsentBytes;
      if (held_) break;
      const std::string_view rest = View(pending_, answered);
      if (const std::size_t frame = Engine::ModbusTcpFrameSize(rest)) {
        server_.Answer(*this, pending_.sliced(answered, static_cast<qsizetype>(frame)));
        answered += static_cast<qsizetype>(frame);
      } else if (rest.size() >= kMaxRequestBytes) {
        server_.Answer(*this, pending_.sliced(answered));
        answered = pending_.size();
      } else if (socket_.bytesAvailable() > 0) {
        pending_.remove(0, answered);
        answered = 0;
        pending_ += socket_.read(kMaxRequestBytes - pending_.size());
      } else {
        break;
      }
    }
    pending_.remove(0, answered);
    // A held client's bytes are not all read, so no pause can be told yet.
    if (held_ || pending_.isEmpty())
      quiet_.stop();
    else
      quiet_.start();
  }

  // A replay's requests: each taken as soon as the bytes come that make
  // it, the rest at the pause (`quiet`).
  void ReadReplayed(bool quiet) {
    for (;;) {
      held_ = Unsent() > kMaxUnsentBytes;
      if (held_) break;
      const QByteArray more = socket_.read(kMaxReplayRequestBytes - pending_.size());
      if (more.isEmpty()) break;
      pending_ += more;
      TakeReplayed(false);
    }
    if (quiet) TakeReplayed(true);
    if (held_ || pending_.isEmpty())
      quiet_.stop();
    else if (!quiet)
      quiet_.start();
  }

  void TakeReplayed(bool quiet) {
    for (const Replay::Request& request :
         server_.replay_->Take(pending_, quiet, QStringLiteral("tcp"))) {
      if (server_.trace_)
        server_.trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Received,
                               request.bytes);
      if (request.exchange) replies_.Queue(*request.exchange, server_.behaviour_.delayMs);
    }
  }

  void Send(const QByteArray& reply, const Behaviour& behaviour) {
    if (socket_.state() != QAbstractSocket::ConnectedState) return;
    if (!behaviour.byteByByte) {
      socket_.write(reply);
      if (server_.trace_)
        server_.trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Sent, reply);
      return;
    }
    // Replies queue up, so the bytes of two never mix.
    outgoing_ += reply;
    gapMs_ = std::max(behaviour.byteGapMs, 0);
    if (!trickle_.isActive()) SendNextByte();
  }

 private:
  qint64 Unsent() const { return socket_.bytesToWrite() + outgoing_.size(); }

  void SendNextByte() {
    if (outgoing_.isEmpty() || socket_.state() != QAbstractSocket::ConnectedState) return;
    const QByteArray byte = outgoing_.first(1);
    outgoing_.remove(0, 1);
    socket_.write(byte);
    if (server_.trace_)
      server_.trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Sent, byte);
    // Push the byte out now, so it travels in a segment of its own rather
    // than waiting for the event loop to coalesce it with the next one.
    socket_.flush();
    if (!outgoing_.isEmpty()) trickle_.start(gapMs_);
  }

  TcpServer& server_;
  QTcpSocket& socket_;
  QByteArray pending_;
  QTimer quiet_;
  bool held_ = false;
  QByteArray outgoing_;
  QTimer trickle_;
  int gapMs_ = 0;
  // A replay's replies, block by block.
  BlockSender replies_{[this](const QByteArray& block) { Send(block, server_.behaviour_); }};
};

TcpServer::TcpServer(QObject* parent) : QObject(parent) {
  acceptRetry_.setSingleShot(true);
  acceptRetry_.setInterval(kAcceptRetryMs);
  connect(&acceptRetry_, &QTimer::timeout, this, &TcpServer::ResumeAccepting);
  clock_.start();
}

TcpServer::~TcpServer() {
  // Clients cut off now are no news to anyone.
  blockSignals(true);
  replay_ = nullptr;
  // The clients go first, while what their departure touches is still here.
  qDeleteAll(findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly));
  delete acceptable_;
  if (listener_ >= 0) ::close(listener_);
}

bool TcpServer::Listen(const QHostAddress& address, quint16 port) {
  if (listener_ >= 0) {
    error_ = QStringLiteral("already listening");
    return false;
  }
  sockaddr_storage storage{};
  socklen_t size = 0;
  const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
  if (v4) {
    auto& in = reinterpret_cast<sockaddr_in&>(storage);
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = htonl(address.toIPv4Address());
    size = sizeof in;
  } else {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&in6.sin6_addr, &bytes, sizeof in6.sin6_addr);
    in6.sin6_scope_id = ScopeIndex(address.scopeId());
    size = sizeof in6;
  }

  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = Reason(errno);
    return false;
  }
  // A restarted simulator gets its port back while old connections linger.
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (!v4) {
    // QHostAddress::Any takes both families; an IPv6 address only its own.
    const int only = address.protocol() == QAbstractSocket::IPv6Protocol;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), size) != 0 ||
      ::listen(fd, SOMAXCONN) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &size) != 0) {
    error_ = Reason(errno);
    ::close(fd);
    return false;
  }
  port_ = ntohs(v4 ? reinterpret_cast<sockaddr_in&>(storage).sin_port
                   : reinterpret_cast<sockaddr_in6&>(storage).sin6_port);
  listener_ = fd;
  acceptable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(acceptable_, &QSocketNotifier::activated, this, &TcpServer::Accept);
  clock_.restart();
  return true;
}

void TcpServer::Accept() {
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // A client that gave up before it was taken: take the next.
      if (errno == ECONNABORTED || errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      // Out of descriptors (EMFILE, ENFILE) or memory: the client stays
      // queued and the listener stays readable, so trying again at once
      // would fail at once, forever. Wait for a descriptor to come free.
      acceptable_->setEnabled(false);
      acceptRetry_.start();
      return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
      ::close(fd);
      delete socket;
      continue;
    }
    connect(socket, &QObject::destroyed, this, &TcpServer::ResumeAccepting);
    ++clients_;
    new Connection(this, socket);
  }
}

void TcpServer::ResumeAccepting() {
  if (!acceptable_ || acceptable_->isEnabled()) return;
  acceptRetry_.stop();
  acceptable_->setEnabled(true);
}

void TcpServer::ClientLeft() {
  if (--clients_ == 0) emit LastClientLeft();
}

void TcpServer::Answer(Connection& client, const QByteArray& request) {
  if (request.isEmpty()) return;
  if (trace_) trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Received, request);
  const std::string reply = engine_.Handle(View(request), clock_.elapsed());
  // The behaviour of the moment the request completed holds for its reply,
  // even if it changes while the reply is on its way.
  const Behaviour behaviour = behaviour_;
  if (reply.empty() || behaviour.silent) return;

  QByteArray bytes(reply.data(), static_cast<qsizetype>(reply.size()));
  if (behaviour.delayMs > 0) {
    QTimer::singleShot(behaviour.delayMs, &client,
                       [&client, bytes, behaviour] { client.Send(bytes, behaviour); });
  } else {
    client.Send(bytes, behaviour);
  }
}

}  // namespace kv770::sim
