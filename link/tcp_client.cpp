// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/tcp_client.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <QHostAddress>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/errors.h"
#include "link/trace.h"

namespace kv770::link {

namespace {
const QString kActiveChange = QStringLiteral("Can't change value while socket is active");
}

TClientSocket::TClientSocket(QObject* parent) : QObject(parent) {
  socket_.setReadBufferSize(kReadLimit);
  connect(&socket_, &QTcpSocket::connected, this, [this] {
    connecting_ = false;
    active_ = true;
    emit OnConnect();
  });
  connect(&socket_, &QTcpSocket::disconnected, this, [this] {
    if (!active_) return;  // Close() has reported it already
    active_ = false;
    emit OnDisconnect();
  });
  connect(&socket_, &QTcpSocket::readyRead, this, &TClientSocket::OnRead);
  connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    if (active_ && error == QAbstractSocket::RemoteHostClosedError) return;  // a plain disconnect
    const int code = ErrorNumber(error);
    if (connecting_) {
      connecting_ = false;
      socket_.abort();
      RaiseError(code, QStringLiteral("Asynchronous socket error %1").arg(code));
    } else if (active_) {
      // A connected socket fails only on sending; the connection is closed.
      active_ = false;
      socket_.abort();
      RaiseError(code, QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                           .arg(QString::fromLocal8Bit(std::strerror(code)))
                           .arg(code)
                           .arg(QStringLiteral("send")));
    }
  });
}

TClientSocket::~TClientSocket() {
  socket_.disconnect(this);
  socket_.abort();
}

void TClientSocket::SetAddress(const QString& address) {
  if (active_ && address.compare(address_, Qt::CaseInsensitive) != 0)
    throw ESocketError(kActiveChange);
  address_ = address;
}

void TClientSocket::SetPort(int port) {
  if (active_ && port != port_) throw ESocketError(kActiveChange);
  port_ = port;
}

void TClientSocket::Open() {
  if (active_ || connecting_) return;  // one attempt at a time
  if (address_.isEmpty()) {
    int code = EDESTADDRREQ;
    emit OnError(&code);
    if (code != 0) throw ESocketError(QStringLiteral("No address specified"));
    return;
  }
  QHostAddress host;
  if (!host.setAddress(address_) || host.protocol() != QAbstractSocket::IPv4Protocol) {
    int code = EINVAL;
    emit OnError(&code);
    if (code != 0)
      throw ESocketError(QStringLiteral("'%1' is not a numeric IPv4 address").arg(address_));
    return;
  }
  connecting_ = true;
  emit OnConnecting();
  socket_.connectToHost(host, static_cast<quint16>(port_));
}

void TClientSocket::Close() {
  if (connecting_) {
    connecting_ = false;
    socket_.abort();
  }
  if (!active_) return;
  active_ = false;
  socket_.abort();
  emit OnDisconnect();
}

int TClientSocket::SendText(const QByteArray& bytes) {
  if (!active_ || bytes.isEmpty()) return 0;
  const auto written = static_cast<int>(socket_.write(bytes));
  if (trace_ && written > 0) trace_->Record(QStringLiteral("tcp"), Trace::Direction::Sent, bytes);
  return written;
}

qint64 TClientSocket::ReceiveLength() const {
  if (!active_) return 0;
  int pending = 0;
  if (::ioctl(static_cast<int>(socket_.socketDescriptor()), FIONREAD, &pending) != 0) pending = 0;
  return socket_.bytesAvailable() + pending;
}

QByteArray TClientSocket::ReceiveText() {
  // Everything pending at this moment: what the socket has buffered, then
  // what the system holds that the socket has not fetched yet. Taking the
  // latter directly leaves the socket's own bookkeeping untouched: its next
  // read notification finds nothing, or the peer's close.
  QByteArray bytes = socket_.readAll();
  if (active_) {
    const auto fd = static_cast<int>(socket_.socketDescriptor());
    int pending = 0;
    if (::ioctl(fd, FIONREAD, &pending) == 0 && pending > 0) {
      pending = static_cast<int>(std::min<qint64>(pending, kReadLimit));
      const qsizetype start = bytes.size();
      bytes.resize(start + pending);
      const ssize_t got =
          ::recv(fd, bytes.data() + start, static_cast<size_t>(pending), MSG_DONTWAIT);
      bytes.resize(start + (got > 0 ? got : 0));
    }
  }
  if (trace_) trace_->Record(QStringLiteral("tcp"), Trace::Direction::Received, bytes);
  return bytes;
}

void TClientSocket::RaiseError(int errorCode, const QString& message) {
  int code = errorCode;
  emit OnError(&code);
  if (code != 0) emit OnSocketException(message);
}

int TClientSocket::ErrorNumber(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
      return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
      return EHOSTUNREACH;
    case QAbstractSocket::SocketTimeoutError:
      return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
      return ENETUNREACH;
    case QAbstractSocket::SocketAccessError:
      return EACCES;
    case QAbstractSocket::SocketResourceError:
      return ENOBUFS;
    case QAbstractSocket::AddressInUseError:
      return EADDRINUSE;
    default:
      return EIO;
  }
}

}  // namespace kv770::link
