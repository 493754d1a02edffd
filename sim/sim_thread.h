// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <QtGlobal>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/engine.h"

namespace kv770::link {
class Trace;
}

namespace kv770::sim {

class PtyServer;
class TcpServer;

// A simulated gateway on 127.0.0.1, served from a thread of its own so that
// it keeps answering while the caller's thread sleeps or blocks (the
// window's receive handlers do). Stops and joins when destroyed.
class SimThread {
 public:
  SimThread();
  ~SimThread();
  SimThread(const SimThread&) = delete;
  SimThread& operator=(const SimThread&) = delete;

  // Port 0 picks any free port. False when the port cannot be had; then
  // the thread is stopped again and Start may be retried.
  bool Start(quint16 port = 0);
  bool Running() const { return server_ != nullptr; }
  // The port served, 0 while not running.
  quint16 Port() const { return port_; }

  // Also serves the same gateway on a pseudo-terminal, once running; the
  // slave's path to open as a serial port, empty when none could be had.
  QString StartPty();
  QString PtyPath() const { return ptyPath_; }

  // Takes effect for requests completed after the call returns.
  void SetBehaviour(const Behaviour& behaviour);
  // The serial line's speed (PtyServer::SetLineBaud; 0 answers at any),
  // for the line running now or started later. Takes effect for requests
  // completed after the call returns.
  void SetLineBaud(int baud);
  // The instruments behind the gateway (Engine::SetInstruments) and the set
  // commands it refuses (Engine::SetRefused), now or from Start on. Take
  // effect for requests completed after the call returns.
  void SetInstruments(std::vector<InstrumentPlace> places);
  void SetRefused(std::vector<std::string> mnemonics);
  // A step of meter 1..8's flow to `value` at `atMs` on the simulator's
  // clock (Engine::Step), now or from Start on; false when the engine
  // refuses it. Takes effect for requests completed after the call returns.
  bool Step(int meter, double value, std::int64_t atMs);
  // The simulator's clock: milliseconds since Start, the time its requests
  // are answered at (over TCP and the serial line alike); 0 while stopped.
  std::int64_t NowMs() const;
  // Both servers record their traffic in `trace` (nullptr: none) from the
  // call on; a serial line started later does too.
  void SetTrace(link::Trace* trace);

 private:
  void Stop();
  // Runs `change` on the gateway's engine in its thread and waits for it.
  template <typename Change>
  void OnEngine(Change change);

  QThread thread_;
  TcpServer* server_ = nullptr;
  PtyServer* pty_ = nullptr;
  quint16 port_ = 0;
  QString ptyPath_;
  link::Trace* trace_ = nullptr;
  int lineBaud_ = 0;
  std::optional<std::vector<InstrumentPlace>> instruments_;
  std::vector<std::string> refused_;
  std::vector<std::pair<int, FlowStep>> steps_;
  QElapsedTimer clock_;
};

}  // namespace kv770::sim
