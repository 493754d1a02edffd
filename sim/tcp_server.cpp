// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/tcp_server.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <netinet/tcp.h>

#include <QEvent>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <system_error>
#include <utility>

#include "link/trace.h"
#include "sim/replay.h"
#include "sim/request_shape.h"

namespace kv770::sim {

namespace {

QString Reason(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

// "fe80::1%eth0" names its interface; the socket wants its number.
std::uint32_t ScopeIndex(const QString& scope) {
  if (scope.isEmpty()) return 0;
  if (const unsigned index = if_nametoindex(scope.toLocal8Bit().constData())) return index;
  return scope.toUInt();
}

}  // namespace

// What a client's bytes are read in: a request that long is answered as
// it is; the longest a replay takes fits as well.
constexpr std::size_t kReceiveBytes = std::max<std::size_t>(
    TcpServer::kMaxRequestBytes, static_cast<std::size_t>(kMaxReplayRequestBytes));
constexpr std::size_t kMaxKeptBytes = TcpServer::kMaxRequestBytes;
constexpr std::size_t kMaxUnsent = TcpServer::kMaxUnsentBytes;

// A socket notifier that calls its handler straight from the event, for
// less work per request than its signals take.
class Notifier : public QSocketNotifier {
 public:
  Notifier(int fd, Type type, std::function<void()> handler)
      : QSocketNotifier(fd, type), handler_(std::move(handler)) {}

  bool event(QEvent* event) override {
    if (event->type() != QEvent::SockAct) return QSocketNotifier::event(event);
    handler_();
    return true;
  }

 private:
  std::function<void()> handler_;
};

// One client on its own descriptor, read and written with plain calls: its
// bytes not answered yet, the pause that ends a request that is not MODBUS
// TCP, replies the socket has not taken yet, and replies that go out a byte
// at a time. A child of the server.
class TcpServer::Connection : public QObject {
 public:
  Connection(TcpServer* server, int fd)
      : QObject(server),
        server_(*server),
        descriptor_{fd},
        readable_(fd, QSocketNotifier::Read, [this] { Read(); }),
        writable_(fd, QSocketNotifier::Write, [this] { Flush(); }) {
    // Replies, and the pieces of split ones, leave as they are written
    // rather than being held back waiting for more to send.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    writable_.setEnabled(false);
    quiet_.setSingleShot(true);
    quiet_.setInterval(server_.replay_ ? kPieceGapMs : kRequestGapMs);
    trickle_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
      if (server_.replay_) {
        ReadReplayed(true);
      } else {
        server_.Answer(*this, kept_);
        kept_.clear();
      }
    });
    connect(&trickle_, &QTimer::timeout, this, &Connection::SendNextByte);
  }

  // Answers every whole MODBUS TCP frame that has come, in order, as soon
  // as it is whole; the rest waits for more bytes or for the pause.
  void Read() {
    if (server_.replay_) return ReadReplayed(false);
    kept_.erase(0, AnswerWhole(kept_));
    for (bool drained = false; !held_ && !drained && !left_;) {
      const std::size_t room = kMaxKeptBytes - kept_.size();
      const qint64 got = Receive(server_.received_.get(), room);
      if (got < 0) break;
      if (got == 0) return Leave();
      // A short read took all there was: the next comes with the next
      // notification, without a read that finds nothing.
      drained = static_cast<std::size_t>(got) < room;
      std::string_view bytes(server_.received_.get(), static_cast<std::size_t>(got));
      if (kept_.empty()) {
        bytes.remove_prefix(AnswerWhole(bytes));
        kept_.assign(bytes);
      } else {
        kept_.append(bytes);
        kept_.erase(0, AnswerWhole(kept_));
      }
    }
    if (left_) return;
    // A held client's bytes stay with TCP, which holds the client back,
    // and no pause can be told meanwhile.
    readable_.setEnabled(!held_);
    if (held_ || kept_.empty())
      quiet_.stop();
    else
      quiet_.start();
  }

  void Send(std::string_view reply, const Behaviour& behaviour) {
    if (left_) return;
    if (!behaviour.byteByByte && trickled_.empty()) {
      Write(reply);
      if (server_.trace_)
        server_.trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Sent,
                               QByteArray::fromRawData(reply.data(), std::ssize(reply)));
      return;
    }
    // Replies queue up, so the bytes of two never mix: one that need not
    // go byte by byte still waits behind one that does.
    trickled_.append(reply);
    if (behaviour.byteByByte) gapMs_ = std::max(behaviour.byteGapMs, 0);
    if (!trickle_.isActive()) SendNextByte();
  }

 private:
  // Replies not handed to TCP yet.
  std::size_t Unsent() const { return unsent_.size() - unsentFrom_ + trickled_.size(); }

  // Answers the whole requests at the front of `bytes` while the client
  // takes its replies; how many bytes they took. A client that never
  // pauses gets its bytes answered in chunks of kMaxRequestBytes.
  std::size_t AnswerWhole(std::string_view bytes) {
    std::size_t used = 0;
    while (!(held_ = Unsent() > kMaxUnsent) && !left_) {
      const std::string_view rest = bytes.substr(used);
      std::size_t size = Engine::ModbusTcpFrameSize(rest);
      // A gateway command or HART frame whole by its shape needs no pause.
      if (size == 0 && (rest.size() >= kMaxKeptBytes || RequestWhole(rest, false)))
        size = rest.size();
      if (size == 0) break;
      server_.Answer(*this, rest.substr(0, size));
      used += size;
    }
    return used;
  }

  // Up to `room` bytes into `into`: how many; 0 when the client has gone
  // (or the connection broke), -1 when there are none for now.
  qint64 Receive(char* into, std::size_t room) {
    for (;;) {
      const ssize_t n = ::recv(descriptor_.fd, into, room, 0);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
    }
  }

  // Hands `bytes` to TCP after whatever is still waiting; what it does not
  // take now waits for the socket to become writable.
  void Write(std::string_view bytes) {
    if (broken_) return;
    if (unsentFrom_ == unsent_.size()) {
      const qint64 n = SendNow(bytes);
      if (n < 0) return;
      bytes.remove_prefix(static_cast<std::size_t>(n));
      if (bytes.empty()) return;
      writable_.setEnabled(true);
    }
    unsent_.append(bytes);
  }

  // Bytes TCP took of `bytes`; -1 when the connection is broken (then
  // nothing more is sent, and the read that follows finds the end).
  qint64 SendNow(std::string_view bytes) {
    for (;;) {
      const ssize_t n = ::send(descriptor_.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      Break();
      return -1;
    }
  }

  // The socket takes bytes again.
  void Flush() {
    while (unsentFrom_ < unsent_.size()) {
      const qint64 n = SendNow(std::string_view(unsent_).substr(unsentFrom_));
      if (n <= 0) {
        // Compacted once the front has grown past the rest.
        if (n == 0 && unsentFrom_ > unsent_.size() / 2) {
          unsent_.erase(0, unsentFrom_);
          unsentFrom_ = 0;
        }
        if (n < 0) return;
        return Resume();
      }
      unsentFrom_ += static_cast<std::size_t>(n);
    }
    unsent_.clear();
    unsentFrom_ = 0;
    writable_.setEnabled(false);
    Resume();
  }

  // A held client's requests are read again once half its replies are out.
  void Resume() {
    if (held_ && Unsent() <= kMaxUnsent / 2) {
      held_ = false;
      readable_.setEnabled(true);
      Read();
    }
  }

  // Sending failed: the client has gone or reset the connection. What
  // waits for it is dropped; reading sees the end and lets the client go.
  void Break() {
    broken_ = true;
    unsent_.clear();
    unsentFrom_ = 0;
    trickled_.clear();
    trickle_.stop();
    writable_.setEnabled(false);
    readable_.setEnabled(true);
  }

  // A client that leaves in the middle of a request still had it counted
  // in a replay: what it sent is taken as if the pause had come.
  void Leave() {
    left_ = true;
    readable_.setEnabled(false);
    writable_.setEnabled(false);
    quiet_.stop();
    trickle_.stop();
    if (server_.replay_) TakeReplayed(true);
    server_.ClientLeft();
    deleteLater();
  }

  // A replay's requests: each taken as soon as the bytes come that make
  // it, the rest at the pause (`quiet`).
  void ReadReplayed(bool quiet) {
    for (;;) {
      held_ = Unsent() > kMaxUnsent;
      if (held_ || left_) break;
      const qsizetype room = kMaxReplayRequestBytes - replayed_.size();
      const qint64 got =
          room > 0 ? Receive(server_.received_.get(), static_cast<std::size_t>(room)) : -1;
      if (got < 0) break;
      if (got == 0) return Leave();
      replayed_.append(server_.received_.get(), got);
      TakeReplayed(false);
    }
    if (left_) return;
    if (quiet) TakeReplayed(true);
    readable_.setEnabled(!held_);
    if (held_ || replayed_.isEmpty())
      quiet_.stop();
    else if (!quiet)
      quiet_.start();
  }

  void TakeReplayed(bool quiet) {
    for (const Replay::Request& request :
         server_.replay_->Take(replayed_, quiet, QStringLiteral("tcp"))) {
      if (server_.trace_)
        server_.trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Received,
                               request.bytes);
      if (request.exchange) replies_.Queue(*request.exchange, server_.behaviour_.delayMs);
    }
  }

  void SendNextByte() {
    if (trickled_.empty() || left_ || broken_) return;
    const std::string_view byte = std::string_view(trickled_).substr(0, 1);
    // Straight to TCP, which sends it in a segment of its own rather than
    // coalesced with the next one.
    Write(byte);
    if (server_.trace_)
      server_.trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Sent,
                             QByteArray(byte.data(), 1));
    if (broken_) return;
    trickled_.erase(0, 1);
    if (!trickled_.empty()) trickle_.start(gapMs_);
    Resume();
  }

  // Closes the descriptor once the notifiers watching it have gone.
  struct Descriptor {
    ~Descriptor() { ::close(fd); }
    int fd;
  };

  TcpServer& server_;
  Descriptor descriptor_;
  Notifier readable_;
  Notifier writable_;
  // Bytes received after the last whole request, waiting for the rest.
  std::string kept_;
  QTimer quiet_;
  bool held_ = false;
  bool broken_ = false;
  bool left_ = false;
  // Replies TCP has not taken yet, from unsentFrom_ on.
  std::string unsent_;
  std::size_t unsentFrom_ = 0;
  // Replies going out a byte at a time.
  std::string trickled_;
  QTimer trickle_;
  int gapMs_ = 0;
  // A replay's bytes not taken yet, and its replies, block by block.
  QByteArray replayed_;
  BlockSender replies_{[this](const QByteArray& block) {
    Send(std::string_view(block.constData(), static_cast<std::size_t>(block.size())),
         server_.behaviour_);
  }};
};

TcpServer::TcpServer(QObject* parent) : QObject(parent), received_(new char[kReceiveBytes]) {
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
  const QObjectList children = this->children();
  for (QObject* child : children) delete dynamic_cast<Connection*>(child);
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
    ++clients_;
    // Its descriptor is free again once it is destroyed.
    connect(new Connection(this, fd), &QObject::destroyed, this, &TcpServer::ResumeAccepting);
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

void TcpServer::Answer(Connection& client, std::string_view request) {
  if (request.empty()) return;
  if (trace_)
    trace_->Record(QStringLiteral("tcp"), link::Trace::Direction::Received,
                   QByteArray::fromRawData(request.data(), std::ssize(request)));
  engine_.Handle(request, clock_.elapsed(), Transport::Tcp, reply_);
  // The behaviour of the moment the request completed holds for its reply,
  // even if it changes while the reply is on its way.
  const Behaviour behaviour = behaviour_;
  if (reply_.empty() || behaviour.silent) return;

  if (behaviour.delayMs > 0) {
    QTimer::singleShot(behaviour.delayMs, &client,
                       [&client, bytes = reply_, behaviour] { client.Send(bytes, behaviour); });
  } else {
    client.Send(reply_, behaviour);
  }
}

}  // namespace kv770::sim
