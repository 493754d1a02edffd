// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>
#include <algorithm>

#include "base/hex_text.h"
#include "cli/failure.h"
#include "gateway/config.h"
#include "link/block_former.h"
#include "link/errors.h"
#include "link/exchange.h"
#include "link/file_output.h"

namespace kv770::cli {

QString ParityName(int parity) {
  const std::string_view name = gateway::NameOf(gateway::kParityNames, parity);
  return name.empty() ? QString::number(parity)
                      : QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

namespace {

// Ends `loop` once `ms` have passed on the monotonic clock, never before:
// a timer may fire a little early, and then it is armed again for the
// rest. `expired` tells afterwards whether the time ran out.
class Deadline {
 public:
  Deadline(QEventLoop& loop, int ms) : ms_(ms) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &loop, [this, &loop] {
      const qint64 left = ms_ - since_.elapsed();
      if (left > 0) {
        timer_.start(static_cast<int>(left));
        return;
      }
      expired_ = true;
      loop.quit();
    });
    since_.start();
    timer_.start(ms_);
  }
  bool expired() const { return expired_; }

 private:
  int ms_;
  bool expired_ = false;
  QElapsedTimer since_;
  QTimer timer_;
};

// A reply beyond any gateway's length: what it begins with.
Failure TooLong(const QByteArray& reply) {
  return {kDeviceFailed, QStringLiteral("reply too long: more than %1 bytes; it begins %2")
                             .arg(TcpLink::kMaxReplyBytes)
                             .arg(QString::fromStdString(base::HexText(reply, {.limit = 16})))};
}

}  // namespace

// ---- TCP ---------------------------------------------------------------------

TcpLink::TcpLink(const QString& host, int port, int timeoutMs, int gapMs)
    : host_(host), port_(port), timeoutMs_(timeoutMs), gapMs_(gapMs) {}

QString TcpLink::Describe() const {
  return QStringLiteral("tcp %1:%2").arg(host_).arg(port_);
}

void TcpLink::Open() {
  // The client takes numeric addresses only, as the window's box does; a
  // host name is looked up here.
  QHostAddress address;
  if (!address.setAddress(host_)) {
    const QHostInfo info = QHostInfo::fromName(host_);
    for (const QHostAddress& candidate : info.addresses()) {
      if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
        address = candidate;
        break;
      }
    }
    if (address.isNull())
      throw Failure{kDeviceFailed, QStringLiteral("cannot find the address of %1").arg(host_)};
  }

  QString failure;
  QObject scope;  // ends every connection below with this call
  QEventLoop loop;
  QObject::connect(&socket_, &link::TClientSocket::OnConnect, &loop, &QEventLoop::quit);
  QObject::connect(&socket_, &link::TClientSocket::OnError, &scope, [&](int* code) {
    failure = link::SystemReason(*code);
    *code = 0;  // reported here, not raised by the client
    loop.quit();
  });
  try {
    socket_.SetAddress(address.toString());
    socket_.SetPort(port_);
    socket_.Open();
  } catch (const Error& e) {
    throw Failure{kDeviceFailed, e.Message()};
  }
  if (!failure.isEmpty() || !socket_.Connecting()) {
    if (failure.isEmpty()) failure = QStringLiteral("the connection could not be started");
  } else {
    const Deadline deadline(loop, timeoutMs_);
    loop.exec();
  }
  if (socket_.Active()) return;
  socket_.Close();
  if (failure.isEmpty()) failure = QStringLiteral("no connection within %1 ms").arg(timeoutMs_);
  throw Failure{kDeviceFailed,
                QStringLiteral("cannot connect to %1:%2: %3").arg(host_).arg(port_).arg(failure)};
}

link::ReplyRule TcpLink::Rule(const Completion& complete) const {
  link::ReplyRule rule{complete, timeoutMs_, gapMs_, kMaxReplyBytes};
  if (complete) rule.byteTimeoutMs = std::max(gapMs_, waits::kStalledReplyMs);
  return rule;
}

QByteArray TcpLink::Exchange(const QByteArray& request, const Completion& complete) {
  if (!socket_.Active())
    throw Failure{kDeviceFailed, QStringLiteral("the gateway closed the connection")};
  // Whatever came late for an earlier request is not this one's reply.
  if (socket_.ReceiveLength() > 0) socket_.ReceiveText();

  link::ReplyEnd end = link::ReplyEnd::kOpen;
  QByteArray reply;
  bool closed = false;
  QString failure;
  QObject scope;
  QEventLoop loop;
  link::Exchange exchange;
  QObject::connect(&exchange, &link::Exchange::ended, &loop,
                   [&](link::ReplyEnd e, const QByteArray& r) {
                     end = e;
                     reply = r;
                     loop.quit();
                   });
  QObject::connect(&socket_, &link::TClientSocket::OnDisconnect, &loop, [&] {
    closed = true;
    loop.quit();
  });
  QObject::connect(&socket_, &link::TClientSocket::OnRead, &scope,
                   [&] { exchange.Received(socket_.ReceiveText()); });
  // A failed send closes the connection; the client says why.
  QObject::connect(&socket_, &link::TClientSocket::OnError, &scope, [&](int* code) {
    failure = link::SystemReason(*code);
    *code = 0;
    loop.quit();
  });
  exchange.Start(Rule(complete));
  socket_.SendText(request);
  if (failure.isEmpty() && !closed) loop.exec();
  if (end == link::ReplyEnd::kTooLong) {
    socket_.Close();  // nothing more of it is read
    throw TooLong(reply);
  }
  if (!failure.isEmpty())
    throw Failure{kDeviceFailed,
                  QStringLiteral("the connection to the gateway failed: %1").arg(failure)};
  if (closed && reply.isEmpty()) {
    // What came before the gateway closed is still its reply.
    reply = exchange.Partial();
    if (reply.isEmpty())
      throw Failure{kDeviceFailed, QStringLiteral("the gateway closed the connection")};
  }
  return reply;
}

// ---- serial --------------------------------------------------------------------

SerialLink::SerialLink(const QString& device, int baud, int parity, bool dtr, bool rts,
                       int timeoutMs)
    : device_(device), baud_(baud), parity_(parity), dtr_(dtr), rts_(rts), timeoutMs_(timeoutMs) {}

QString SerialLink::Describe() const {
  QString where = comm_.Ports().DevicePath(device_);
  if (where != device_) where += QStringLiteral(" (%1)").arg(device_);
  return QStringLiteral("serial %1 %2 %3").arg(where).arg(baud_).arg(ParityName(parity_));
}

void SerialLink::Open() {
  // Every read is handed over as it comes: a reply is told whole by its
  // shape, not by the component's block silence.
  comm_.SetReadIntervalTimeout(link::BlockFormer::kNoWait);
  try {
    link::OpenLine(comm_, {device_, static_cast<std::uint32_t>(baud_),
                           static_cast<link::TParity>(parity_), dtr_, rts_});
  } catch (const Error& e) {
    throw Failure{kDeviceFailed, e.Message()};
  }
}

void SerialLink::Reopen(int baud, int parity) {
  baud_ = baud;
  parity_ = parity;
  Open();
}

QByteArray SerialLink::Exchange(const QByteArray& request, const Completion& complete) {
  // A block that came late for an earlier request is not this one's reply.
  QCoreApplication::processEvents();
  QByteArray reply;
  bool hungUp = false;
  QObject scope;
  QEventLoop loop;
  link::Exchange exchange;
  link::ReplyEnd end = link::ReplyEnd::kOpen;
  QObject::connect(&exchange, &link::Exchange::ended, &loop,
                   [&](link::ReplyEnd e, const QByteArray& r) {
                     end = e;
                     reply = r;
                     loop.quit();
                   });
  QObject::connect(&comm_, &link::TComm::OnReceiveData, &scope,
                   [&](const char* buffer, std::uint16_t length) {
                     exchange.Received(QByteArray(buffer, length));
                   });
  QObject::connect(&comm_, &link::TComm::OnRequestHangup, &loop, [&] {
    hungUp = true;
    loop.quit();
  });
  if (request.size() > 0xFFFF ||
      !comm_.SendData(request.constData(), static_cast<std::uint16_t>(request.size())))
    throw Failure{kDeviceFailed, QStringLiteral("the serial port took no request")};
  // The reply is told whole by its shape, or else by the line's silence
  // (the port hands over every read as it comes).
  exchange.Start({complete, timeoutMs_, -1, kMaxReplyBytes});
  loop.exec();
  if (end == link::ReplyEnd::kTooLong) throw TooLong(reply);
  if (hungUp && reply.isEmpty()) reply = exchange.Partial();
  if (hungUp && reply.isEmpty())
    throw Failure{
        kDeviceFailed,
        QStringLiteral("the serial line hung up (%1)").arg(comm_.Ports().DevicePath(device_))};
  return reply;
}

}  // namespace kv770::cli
