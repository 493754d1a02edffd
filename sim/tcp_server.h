// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <string_view>

#include "sim/engine.h"

class QSocketNotifier;

namespace kv770::link {
class Trace;
}

namespace kv770::sim {

class Replay;

// Serves one simulated gateway to any number of TCP clients. A MODBUS TCP
// request ends where its header's length says, so requests sent back to
// back are answered one by one, in order. A gateway command or HART frame
// whole by its shape is answered at once; anything else ends with a short
// pause after its last byte: the tool sends one and waits.
// All clients talk to the same engine, as they would to one device.
//
// Lives in one thread: create it, move it there if needed, and call every
// member from that thread (SimThread does this for a worker thread). Any
// event loop will do; PollDispatcher costs each request least, and
// kv770-sim and SimThread run it.
class TcpServer : public QObject {
  Q_OBJECT

 public:
  explicit TcpServer(QObject* parent = nullptr);
  ~TcpServer() override;

  // Port 0 picks any free port; Port() then tells which.
  bool Listen(const QHostAddress& address, quint16 port);
  quint16 Port() const { return port_; }
  QString ErrorString() const { return error_; }

  // Every request received and every reply (or piece of one) sent goes to
  // `trace` as well; nullptr for none. Set it from the server's thread.
  void SetTrace(link::Trace* trace) { trace_ = trace; }

  // Answers from `replay`'s recorded conversation rather than from the
  // engine, gathering each client's bytes into the requests it holds
  // (Replay::Take); nullptr to simulate again. Set it before listening;
  // `replay` must outlive the server.
  void SetReplay(Replay* replay) { replay_ = replay; }

  // Applies to requests that complete from now on.
  void SetBehaviour(const Behaviour& behaviour) { behaviour_ = behaviour; }
  const Behaviour& GetBehaviour() const { return behaviour_; }
  // The gateway it serves; a serial server may share it (PtyServer).
  Engine& GetEngine() { return engine_; }
  // The clock requests are answered at: started when listening starts.
  // A serial server sharing the engine shares it too (PtyServer::ShareClock).
  const QElapsedTimer& Clock() const { return clock_; }

  // Silence after the last byte that closes a request.
  static constexpr int kRequestGapMs = 20;
  // A client that never pauses gets its bytes handled in chunks this large
  // rather than growing the buffer without end.
  static constexpr int kMaxRequestBytes = 64 * 1024;
  // Replies a client has not taken yet. Beyond this its requests stay
  // unread (TCP holds the client back) until half of them have gone.
  static constexpr qint64 kMaxUnsentBytes = 1024 * 1024;
  // Out of descriptors, accepting waits until a client leaves or this long.
  static constexpr int kAcceptRetryMs = 100;

 signals:
  // The last client connected has gone, and its bytes have been taken.
  void LastClientLeft();

 private:
  class Connection;

  void Accept();
  void ResumeAccepting();
  void Answer(Connection& client, std::string_view request);
  void ClientLeft();

  int listener_ = -1;
  QSocketNotifier* acceptable_ = nullptr;
  QTimer acceptRetry_;
  quint16 port_ = 0;
  QString error_;
  Engine engine_;
  Behaviour behaviour_;
  QElapsedTimer clock_;
  link::Trace* trace_ = nullptr;
  Replay* replay_ = nullptr;
  int clients_ = 0;
  // Where a client's bytes land as they are read; requests whole in it are
  // answered from there, and only what is left over is kept per client.
  // One for all: clients are read one at a time.
  std::unique_ptr<char[]> received_;
  // The reply being sent, in room kept from one request to the next.
  std::string reply_;
};

}  // namespace kv770::sim
