// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pty_server.h"

#include "sim/request_shape.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <system_error>

#include "link/trace.h"
#include "sim/line_noise.h"
#include "sim/replay.h"

namespace kv770::sim {

namespace {

QString Reason(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

// A termios speed constant in bit/s; 0 for B0 and anything unknown.
int BitsPerSecond(speed_t speed) {
  struct Speed {
    speed_t code;
    int baud;
  };
  static constexpr Speed kSpeeds[] = {
      {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
      {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
      {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
      {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
      {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
      {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
      {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
      {B3500000, 3500000}, {B4000000, 4000000},
  };
  for (const Speed& s : kSpeeds)
    if (s.code == speed) return s.baud;
  return 0;
}

}  // namespace

PtyServer::PtyServer(Engine* engine, QObject* parent)
    : QObject(parent),
      ownEngine_(engine ? nullptr : std::make_unique<Engine>()),
      engine_(engine ? *engine : *ownEngine_) {
  quiet_.setSingleShot(true);
  quiet_.setInterval(kRequestGapMs);
  connect(&quiet_, &QTimer::timeout, this, &PtyServer::Answer);
  trickleTimer_.setSingleShot(true);
  connect(&trickleTimer_, &QTimer::timeout, this, &PtyServer::SendNextByte);
  clock_.start();
}

void PtyServer::SetReplay(Replay* replay) {
  replay_ = replay;
  quiet_.setInterval(replay ? kPieceGapMs : kRequestGapMs);
  if (replay && !replies_)
    replies_ =
        std::make_unique<BlockSender>([this](const QByteArray& block) { Send(block, behaviour_); });
}

PtyServer::~PtyServer() {
  if (!link_.isEmpty() && QFile::symLinkTarget(link_) == slavePath_) QFile::remove(link_);
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

bool PtyServer::Open(const QString& link) {
  if (master_ >= 0) return false;
  char name[128] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    error_ = QStringLiteral("cannot open a pseudo-terminal: %1").arg(Reason(errno));
    return false;
  }
  slavePath_ = QString::fromLocal8Bit(name);
  // Raw until the tool sets its own line: an echoing terminal would hand
  // every reply back to us as a request.
  termios t{};
  tcgetattr(slave_, &t);
  cfmakeraw(&t);
  tcsetattr(slave_, TCSANOW, &t);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);

  if (!link.isEmpty()) {
    const QByteArray path = QFile::encodeName(link);
    struct stat st {};
    if (lstat(path.constData(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        error_ = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
        return false;
      }
      ::unlink(path.constData());
    }
    if (::symlink(name, path.constData()) != 0) {
      error_ = QStringLiteral("cannot link %1 to %2: %3").arg(link, slavePath_, Reason(errno));
      return false;
    }
    link_ = link;
  }

  readable_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
  connect(readable_, &QSocketNotifier::activated, this, &PtyServer::ReadMaster);
  writable_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
  writable_->setEnabled(false);
  connect(writable_, &QSocketNotifier::activated, this, &PtyServer::Flush);
  if (!sharedClock_) clock_.restart();
  return true;
}

int PtyServer::ToolBaud() const {
  termios t{};
  if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return 0;
  return BitsPerSecond(cfgetospeed(&t));
}

void PtyServer::ReadMaster() {
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n <= 0) break;
    request_.append(chunk, n);
    if (replay_) {
      TakeReplayed(false);
    } else if (request_.size() >= kMaxRequestBytes ||
               RequestWhole(std::string_view(request_.constData(), request_.size()), true)) {
      // A request whole by its shape needs no pause to end it.
      quiet_.stop();
      Answer();
    }
  }
  if (!request_.isEmpty()) quiet_.start();
}

void PtyServer::TakeReplayed(bool quiet) {
  for (const Replay::Request& request : replay_->Take(request_, quiet, QStringLiteral("serial"))) {
    if (trace_)
      trace_->Record(QStringLiteral("serial"), link::Trace::Direction::Received, request.bytes);
    if (request.exchange) replies_->Queue(*request.exchange, behaviour_.delayMs);
  }
}

void PtyServer::Answer() {
  if (replay_) return TakeReplayed(true);
  QByteArray request;
  request.swap(request_);
  if (request.isEmpty()) return;
  if (trace_) trace_->Record(QStringLiteral("serial"), link::Trace::Direction::Received, request);
  // At another speed than the gateway's, both sides hear only noise.
  const int toolBaud = lineBaud_ == 0 ? 0 : ToolBaud();
  const std::string reply =
      lineBaud_ == 0 || toolBaud == lineBaud_
          ? engine_.Handle(std::string_view(request.constData(), request.size()), clock_.elapsed(),
                           Transport::Serial)
          : Resample(Engine::kUnknownCommand, lineBaud_, toolBaud);
  // The behaviour of the moment the request completed holds for its reply.
  const Behaviour behaviour = behaviour_;
  if (reply.empty() || behaviour.silent) return;
  const QByteArray bytes(reply.data(), static_cast<qsizetype>(reply.size()));
  int delayMs = behaviour.delayMs;
  if (const int baud = ToolBaud(); lineTime_ && baud > 0)
    delayMs += static_cast<int>((request.size() + bytes.size()) * 10'000 / baud);
  if (delayMs > 0)
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this,
                       [this, bytes, behaviour] { Send(bytes, behaviour); });
  else
    Send(bytes, behaviour);
}

void PtyServer::Send(const QByteArray& reply, const Behaviour& behaviour) {
  if (!behaviour.byteByByte) return Queue(reply);
  // Behind the bytes of the replies before it, never between them.
  if (trickle_.size() + reply.size() > kMaxPendingOutput) return;
  trickle_ += reply;
  trickleGapMs_ = std::max(behaviour.byteGapMs, 0);
  if (!trickleTimer_.isActive()) SendNextByte();
}

void PtyServer::SendNextByte() {
  if (trickle_.isEmpty()) return;
  Queue(trickle_.first(1));
  trickle_.remove(0, 1);
  if (!trickle_.isEmpty()) trickleTimer_.start(trickleGapMs_);
}

void PtyServer::Queue(const QByteArray& bytes) {
  if (output_.size() + bytes.size() > kMaxPendingOutput) return;
  if (trace_) trace_->Record(QStringLiteral("serial"), link::Trace::Direction::Sent, bytes);
  output_.append(bytes);
  Flush();
}

void PtyServer::Flush() {
  while (!output_.isEmpty()) {
    const ssize_t n = ::write(master_, output_.constData(), output_.size());
    if (n <= 0) break;
    output_.remove(0, n);
  }
  writable_->setEnabled(!output_.isEmpty());
}

}  // namespace kv770::sim
