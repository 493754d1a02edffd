#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include "sim/engine.h"

class QTcpServer;
class QTcpSocket;

namespace kv770::link {
class Trace;
}

namespace kv770::sim {

// Serves one simulated gateway to any number of TCP clients. A client sends
// a request and waits, so a short pause after the last byte ends a request.
// All clients talk to the same engine, as they would to one device.
//
// Lives in one thread: create it, move it there if needed, and call every
// member from that thread (SimThread does this for a worker thread).
class TcpServer : public QObject {
  Q_OBJECT

 public:
  explicit TcpServer(QObject* parent = nullptr);
  ~TcpServer() override;

  // Port 0 picks any free port; Port() then tells which.
  bool Listen(const QHostAddress& address, quint16 port);
  quint16 Port() const;
  QString ErrorString() const;

  // Every request received and every reply (or piece of one) sent goes to
  // `trace` as well; nullptr for none. Set it from the server's thread.
  void SetTrace(link::Trace* trace) { trace_ = trace; }

  // Applies to requests that complete from now on.
  void SetBehaviour(const Behaviour& behaviour) { behaviour_ = behaviour; }
  const Behaviour& GetBehaviour() const { return behaviour_; }
  // The gateway it serves; a serial server may share it (PtyServer).
  Engine& GetEngine() { return engine_; }

  // Silence after the last byte that closes a request.
  static constexpr int kRequestGapMs = 20;
  // A client that never pauses gets its bytes handled in chunks this large
  // rather than growing the buffer without end.
  static constexpr int kMaxRequestBytes = 64 * 1024;

 private:
  void Accept();
  void Answer(QTcpSocket* socket, const QByteArray& request);
  void Send(QTcpSocket* socket, const QByteArray& reply, const Behaviour& behaviour);
  static void SendByteByByte(QTcpSocket* socket, QByteArray reply, qsizetype next, int gapMs,
                             link::Trace* trace);

  QTcpServer* server_;
  Engine engine_;
  Behaviour behaviour_;
  QElapsedTimer clock_;
  link::Trace* trace_ = nullptr;
};

}  // namespace kv770::sim
