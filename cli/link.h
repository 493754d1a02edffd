// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "link/SerialComm.h"
#include "link/exchange.h"
#include "link/tcp_client.h"

namespace kv770::cli {

// True once the bytes received so far make a whole reply, so the exchange
// need not wait for the link's silence.
using Completion = link::Completion;

// One gateway reached over one link, one request at a time: the
// synchronous counterpart of the window's send step and receive handlers,
// on the same link classes.
class Link {
 public:
  virtual ~Link() = default;
  // Connects or opens; Failure(kDeviceFailed) when the gateway cannot be
  // reached.
  virtual void Open() = 0;
  // Sends `request` and waits for its reply, at most the time-out; empty
  // when nothing came. A closed connection, a hung-up line or a reply
  // beyond any gateway's length throws Failure(kDeviceFailed) at once.
  virtual QByteArray Exchange(const QByteArray& request, const Completion& complete = {}) = 0;
  virtual bool IsSerial() const = 0;
  // "tcp 127.0.0.1:7000", "serial /dev/ttyUSB0 9600 none".
  virtual QString Describe() const = 0;
  // Where every block sent and received is recorded; null for nowhere.
  virtual void SetTrace(link::Trace* trace) = 0;
  // How long an exchange waits for its reply from now on.
  virtual int Timeout() const = 0;
  virtual void SetTimeout(int ms) = 0;
};

// A shorter (or longer) wait for the exchanges of its lifetime; the link's
// own comes back however the scope ends.
class WaitFor {
 public:
  WaitFor(Link& link, int ms) : link_(link), before_(link.Timeout()) { link.SetTimeout(ms); }
  ~WaitFor() { link_.SetTimeout(before_); }
  WaitFor(const WaitFor&) = delete;
  WaitFor& operator=(const WaitFor&) = delete;

 private:
  Link& link_;
  int before_;
};

// TCP: a reply ends when `complete` says so; one of unknown shape after
// `gapMs` of silence.
class TcpLink : public Link {
 public:
  static constexpr int kDefaultPort = 7000;
  static constexpr int kDefaultGapMs = waits::kUnknownShapeSilenceMs;
  // More than this is no gateway's reply: the exchange ends with "reply too
  // long" rather than read on.
  static constexpr qsizetype kMaxReplyBytes = link::TClientSocket::kReadLimit;

  TcpLink(const QString& host, int port, int timeoutMs, int gapMs);
  link::TClientSocket& Socket() { return socket_; }

  void Open() override;
  QByteArray Exchange(const QByteArray& request, const Completion& complete) override;
  bool IsSerial() const override { return false; }
  QString Describe() const override;
  void SetTrace(link::Trace* trace) override { socket_.SetTrace(trace); }
  int Timeout() const override { return timeoutMs_; }
  void SetTimeout(int ms) override { timeoutMs_ = ms; }

 private:
  link::ReplyRule Rule(const Completion& complete) const;

  QString host_;
  int port_;
  int timeoutMs_;
  int gapMs_;
  link::TClientSocket socket_;
};

// Serial: a reply ends when `complete` says so; one of unknown shape after
// the line's silence, as a block of the window's port ends.
class SerialLink : public Link {
 public:
  // `device`: "COMn" (through the component's port names) or a path.
  SerialLink(const QString& device, int baud, int parity, bool dtr, bool rts, int timeoutMs);
  link::TComm& Comm() { return comm_; }
  static constexpr qsizetype kMaxReplyBytes = link::TClientSocket::kReadLimit;

  void Open() override;
  QByteArray Exchange(const QByteArray& request, const Completion& complete) override;
  bool IsSerial() const override { return true; }
  QString Describe() const override;
  void SetTrace(link::Trace* trace) override { comm_.SetTrace(trace); }
  int Timeout() const override { return timeoutMs_; }
  void SetTimeout(int ms) override { timeoutMs_ = ms; }

  // After the gateway's RS-485 side was set: the port again, at the new
  // bit rate and parity (the window closes its port for the same reason).
  void Reopen(int baud, int parity);

 private:
  QString device_;
  int baud_;
  int parity_;
  bool dtr_;
  bool rts_;
  int timeoutMs_;
  link::TComm comm_;
};

// "none", "odd", "even" for parity codes 0..2.
QString ParityName(int parity);

}  // namespace kv770::cli
