// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

namespace kv770::link {

class Trace;

// Non-blocking TCP client with the events the window needs: connecting,
// connect, disconnect, read and error, all on the UI thread. The target is a
// numeric IPv4 address; no name lookup.
class TClientSocket : public QObject {
  Q_OBJECT

 public:
  // A gateway's reply is a few hundred bytes. A peer that sends more is
  // read at most this much at a time: the socket buffers no more than
  // this, and one ReceiveText takes at most twice as much, so a flooding
  // peer cannot grow a program's memory.
  static constexpr qint64 kReadLimit = 64 * 1024;

  explicit TClientSocket(QObject* parent = nullptr);
  ~TClientSocket() override;

  QString Address() const { return address_; }
  // Both setters refuse a change while active (ESocketError "Can't change
  // value while socket is active"); the same value, ignoring case, passes.
  void SetAddress(const QString& address);
  int Port() const { return port_; }
  void SetPort(int port);

  // Active from the connect event to the disconnect event.
  bool Active() const { return active_; }
  // A connect attempt has been started and has not ended yet.
  bool Connecting() const { return connecting_; }

  // Starts an asynchronous connect. An empty or non-numeric address raises
  // ESocketError after the error event, and nothing is attempted.
  void Open();
  // Closes the connection or abandons an attempt; the disconnect event
  // follows when the client was active.
  void Close();

  // Sends the bytes when connected, nothing otherwise; returns the count
  // handed to the socket.
  int SendText(const QByteArray& bytes);
  qint64 ReceiveLength() const;
  QByteArray ReceiveText();

  // Every block sent and read goes to `trace` as well (nullptr: none). The
  // trace must outlive the client or be taken away first.
  void SetTrace(Trace* trace) { trace_ = trace; }

  // Errors carry the system's error number (errno values); the handler may
  // clear it, otherwise the client raises the socket layer's message.
  static int ErrorNumber(QAbstractSocket::SocketError error);

 signals:
  void OnConnecting();
  void OnConnect();
  void OnDisconnect();
  void OnRead();
  void OnError(int* errorCode);
  // The message the socket layer raises after an error event whose code the
  // handler did not clear. The window raises it as an error of its handler.
  void OnSocketException(const QString& message);

 private:
  void RaiseError(int errorCode, const QString& message);

  QTcpSocket socket_;
  QString address_;
  int port_ = 0;
  bool active_ = false;
  bool connecting_ = false;
  Trace* trace_ = nullptr;
};

}  // namespace kv770::link
