// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "sim/engine.h"

class QSocketNotifier;

namespace kv770::link {
class Trace;
}

namespace kv770::sim {

class BlockSender;
class Replay;

// Serves a simulated gateway on a pseudo-terminal: the tool opens the slave
// side (SlavePath(), or a symbolic link to it) as its serial port. The tool
// sends a request and waits, so a short silence after the last byte ends a
// request, as on the TCP server. Requests are answered as serial ones
// (MODBUS RTU).
//
// Lives in one thread: create it, move it there if needed, and call every
// member from that thread.
class PtyServer : public QObject {
  Q_OBJECT

 public:
  // Serves `engine` when given (shared with a TCP server, so both links
  // reach one gateway), an engine of its own otherwise.
  explicit PtyServer(Engine* engine = nullptr, QObject* parent = nullptr);
  // Removes the link it made.
  ~PtyServer() override;

  // Opens the pseudo-terminal, and makes `link` a symbolic link to its
  // slave when given (replacing an older link, never another kind of file).
  bool Open(const QString& link = {});
  QString SlavePath() const { return slavePath_; }
  QString ErrorString() const { return error_; }

  // Every request received and every reply (or piece of one) sent goes to
  // `trace` as well; nullptr for none. Set it from the server's thread.
  void SetTrace(link::Trace* trace) { trace_ = trace; }

  // Answers from `replay`'s recorded conversation rather than from the
  // engine (as TcpServer::SetReplay); nullptr to simulate again. Set it
  // before opening; `replay` must outlive the server.
  void SetReplay(Replay* replay);

  // Applies to requests that complete from now on.
  void SetBehaviour(const Behaviour& behaviour) { behaviour_ = behaviour; }

  // Answers at `clock`'s time (a TCP server's, sharing the engine) rather
  // than at a clock of its own started by Open, so a step or a value is
  // seen at the same moment on both links.
  void ShareClock(const QElapsedTimer& clock) {
    clock_ = clock;
    sharedClock_ = true;
  }

  // The speed the gateway's serial line is set to, in bit/s; 0 (the
  // default) answers at any speed. The tool's speed is read from the line
  // as each request completes: a pseudo-terminal shares its settings
  // between both ends. At another speed the gateway hears garbage and
  // answers it as an unknown command, and the tool gets that answer as its
  // UART samples bytes sent at `baud` (Resample). Parity cannot be seen on
  // a pseudo-terminal (Linux clears it whatever the tool sets), so the line
  // answers at any parity. Applies to requests that complete from now on.
  void SetLineBaud(int baud) { lineBaud_ = baud; }
  int LineBaud() const { return lineBaud_; }
  // Takes the line's time: each reply goes out as late as its request and
  // itself would take on a real line at the tool's speed (ten bits a
  // character), so a pseudo-terminal, which passes bytes at once, shows
  // what the exchange costs on the wire. Off by default.
  void SetLineTime(bool on) { lineTime_ = on; }
  // The tool's speed now, in bit/s; 0 when not open or not a standard one.
  int ToolBaud() const;

  static constexpr int kRequestGapMs = 20;
  static constexpr int kMaxRequestBytes = 64 * 1024;
  // Replies nobody reads are dropped beyond this much.
  static constexpr int kMaxPendingOutput = 64 * 1024;

 private:
  void ReadMaster();
  void Answer();
  void TakeReplayed(bool quiet);
  void Send(const QByteArray& reply, const Behaviour& behaviour);
  void SendNextByte();
  void Queue(const QByteArray& bytes);
  void Flush();

  std::unique_ptr<Engine> ownEngine_;
  Engine& engine_;
  Behaviour behaviour_;
  int lineBaud_ = 0;
  bool lineTime_ = false;
  QElapsedTimer clock_;
  bool sharedClock_ = false;

  int master_ = -1;
  int slave_ = -1;  // held so the master never reads EIO while the tool is away
  QString slavePath_;
  QString link_;
  QString error_;
  QSocketNotifier* readable_ = nullptr;
  QSocketNotifier* writable_ = nullptr;
  QTimer quiet_;
  QByteArray request_;
  QByteArray output_;
  // Replies going out a byte at a time, queued so that two never mix.
  QByteArray trickle_;
  QTimer trickleTimer_;
  int trickleGapMs_ = 0;
  link::Trace* trace_ = nullptr;
  Replay* replay_ = nullptr;
  std::unique_ptr<BlockSender> replies_;
};

}  // namespace kv770::sim
