// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_thread.h"

#include <QHostAddress>
#include <QMetaObject>

#include "sim/poll_dispatcher.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"

namespace kv770::sim {

SimThread::SimThread() {
  thread_.setObjectName("kv770-sim");
}

SimThread::~SimThread() {
  Stop();
}

bool SimThread::Start(quint16 port) {
  if (server_) return false;
  // Its own loop, lighter than Qt's (PollDispatcher); the thread takes it
  // over, and deletes it when it finishes.
  thread_.setEventDispatcher(new PollDispatcher);
  thread_.start();
  server_ = new TcpServer;
  server_->SetTrace(trace_);
  server_->moveToThread(&thread_);
  // The server, its sockets and its timers are deleted in their own thread,
  // as the thread winds down.
  QObject::connect(&thread_, &QThread::finished, server_, &QObject::deleteLater);

  bool listening = false;
  quint16 bound = 0;
  QElapsedTimer clock;
  TcpServer* server = server_;
  QMetaObject::invokeMethod(
      server_,
      [server, port, &listening, &bound, &clock] {
        listening = server->Listen(QHostAddress(QHostAddress::LocalHost), port);
        bound = server->Port();
        clock = server->Clock();
      },
      Qt::BlockingQueuedConnection);
  if (!listening) {
    Stop();
    return false;
  }
  port_ = bound;
  clock_ = clock;
  if (instruments_) SetInstruments(*instruments_);
  if (!refused_.empty()) SetRefused(refused_);
  const auto steps = steps_;
  OnEngine([&steps](Engine& engine) {
    for (const auto& [meter, step] : steps) engine.Step(meter, step.value, step.atMs);
  });
  return true;
}

QString SimThread::StartPty() {
  if (!server_ || pty_) return ptyPath_;
  TcpServer* server = server_;
  PtyServer* pty = nullptr;
  QString path;
  link::Trace* trace = trace_;
  const int baud = lineBaud_;
  QMetaObject::invokeMethod(
      server_,
      [server, trace, baud, &pty, &path] {
        // A child of the TCP server: same thread, same engine, same clock,
        // same end.
        auto* candidate = new PtyServer(&server->GetEngine(), server);
        candidate->ShareClock(server->Clock());
        candidate->SetBehaviour(server->GetBehaviour());
        candidate->SetTrace(trace);
        candidate->SetLineBaud(baud);
        if (!candidate->Open()) {
          delete candidate;
          return;
        }
        pty = candidate;
        path = candidate->SlavePath();
      },
      Qt::BlockingQueuedConnection);
  pty_ = pty;
  ptyPath_ = path;
  return ptyPath_;
}

void SimThread::SetBehaviour(const Behaviour& behaviour) {
  if (!server_) return;
  TcpServer* server = server_;
  PtyServer* pty = pty_;
  QMetaObject::invokeMethod(
      server_,
      [server, pty, behaviour] {
        server->SetBehaviour(behaviour);
        if (pty) pty->SetBehaviour(behaviour);
      },
      Qt::BlockingQueuedConnection);
}

void SimThread::SetLineBaud(int baud) {
  lineBaud_ = baud;
  if (!pty_) return;
  PtyServer* pty = pty_;
  QMetaObject::invokeMethod(
      pty_, [pty, baud] { pty->SetLineBaud(baud); }, Qt::BlockingQueuedConnection);
}

template <typename Change>
void SimThread::OnEngine(Change change) {
  if (!server_) return;
  TcpServer* server = server_;
  QMetaObject::invokeMethod(
      server_, [server, &change] { change(server->GetEngine()); }, Qt::BlockingQueuedConnection);
}

void SimThread::SetInstruments(std::vector<InstrumentPlace> places) {
  instruments_ = places;
  OnEngine([&places](Engine& engine) { engine.SetInstruments(places); });
}

void SimThread::SetRefused(std::vector<std::string> mnemonics) {
  refused_ = mnemonics;
  OnEngine([&mnemonics](Engine& engine) { engine.SetRefused(mnemonics); });
}

bool SimThread::Step(int meter, double value, std::int64_t atMs) {
  // The engine is the judge of what it takes: ask a spare one.
  if (!Engine().Step(meter, value, atMs)) return false;
  steps_.emplace_back(meter, FlowStep{atMs, value});
  OnEngine([&](Engine& engine) { engine.Step(meter, value, atMs); });
  return true;
}

std::int64_t SimThread::NowMs() const {
  return server_ && clock_.isValid() ? clock_.elapsed() : 0;
}

void SimThread::SetTrace(link::Trace* trace) {
  trace_ = trace;
  if (!server_) return;
  TcpServer* server = server_;
  PtyServer* pty = pty_;
  QMetaObject::invokeMethod(
      server_,
      [server, pty, trace] {
        server->SetTrace(trace);
        if (pty) pty->SetTrace(trace);
      },
      Qt::BlockingQueuedConnection);
}

void SimThread::Stop() {
  if (thread_.isRunning()) {
    thread_.quit();
    thread_.wait();
  }
  server_ = nullptr;  // deleted by the finished connection
  pty_ = nullptr;     // with it
  port_ = 0;
  ptyPath_.clear();
  clock_.invalidate();
}

}  // namespace kv770::sim
