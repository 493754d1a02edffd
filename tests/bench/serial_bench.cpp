// SPDX-License-Identifier: GPL-3.0-or-later
// kv770-serial-bench: the serial component's figures for scripts/bench, on a
// pseudo-terminal whose far end this program drives itself.
//
//   kv770-serial-bench idle SECONDS   CPU used holding an open, quiet port
//   kv770-serial-bench latency RUNS   last byte of a reply to its handler
//   kv770-serial-bench transfer       1 MiB out through SendData, echoed back
//                                     by the far end, in again as blocks
//
// Prints `name value` lines (milliseconds).

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "link/SerialComm.h"
#include "support/pty_peer.h"

namespace {

using kv770::link::TComm;
using kv770::test::PtyPeer;

double CpuMs(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Runs the event loop until `done` holds (checked after each event the
// component raises) or `timeoutMs` passes; sleeps meanwhile.
void WaitUntil(TComm& comm, const std::function<bool()>& done, int timeoutMs) {
  if (done()) return;
  QEventLoop loop;
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  const auto check = [&] {
    if (done()) loop.quit();
  };
  const QMetaObject::Connection received = QObject::connect(&comm, &TComm::OnReceiveData, check);
  loop.exec();
  QObject::disconnect(received);
}

void OpenOn(TComm& comm, const PtyPeer& peer) {
  comm.SetCommName(peer.Path());
  comm.SetOutx_XonXoffFlow(false);  // binary data, as the window sends
  comm.SetInx_XonXoffFlow(false);
  comm.OpenPort();
}

int Idle(int seconds) {
  PtyPeer peer;
  TComm comm;
  OpenOn(comm, peer);
  WaitUntil(
      comm, [] { return false; }, 200);  // the writer's first notice
  const double before = CpuMs(RUSAGE_SELF);
  WaitUntil(
      comm, [] { return false; }, seconds * 1000);
  std::printf("serial_idle_cpu_ms %.1f\n", CpuMs(RUSAGE_SELF) - before);
  return 0;
}

int Latency(int runs) {
  PtyPeer peer;
  TComm comm;
  QElapsedTimer clock;
  qint64 arrived = -1;
  QObject::connect(&comm, &TComm::OnReceiveData,
                   [&](const char*, std::uint16_t) { arrived = clock.nsecsElapsed(); });
  OpenOn(comm, peer);
  std::vector<double> samples;
  for (int i = 0; i < runs; ++i) {
    arrived = -1;
    peer.Write("QX BA1:31 MD:1 ADR:001 JTM:010 #");
    clock.start();  // the last byte has been handed to the line
    WaitUntil(
        comm, [&] { return arrived >= 0; }, 2000);
    if (arrived < 0) return 1;
    samples.push_back(arrived / 1e6);
  }
  std::sort(samples.begin(), samples.end());
  std::printf("serial_block_latency_ms %.1f\n", samples[samples.size() / 2]);
  return 0;
}

int Transfer() {
  constexpr int kTotal = 1 << 20;
  constexpr int kChunk = 32768;
  PtyPeer peer;
  TComm comm;
  int received = 0;
  bool inOrder = true;
  QObject::connect(&comm, &TComm::OnReceiveData, [&](const char* b, std::uint16_t n) {
    for (int i = 0; i < n; ++i)
      inOrder = inOrder && b[i] == static_cast<char>((received + i) % 251);
    received += n;
  });
  OpenOn(comm, peer);

  // The far end echoes on a thread of its own; its CPU is not the component's.
  std::atomic<double> echoCpu{0};
  std::thread echo([&] {
    int echoed = 0;
    while (echoed < kTotal) {
      const QByteArray got = peer.Read(1, 5000);  // whatever one read brings
      if (got.isEmpty() || !peer.Write(got)) break;
      echoed += got.size();
    }
    echoCpu = CpuMs(RUSAGE_THREAD);
  });

  QByteArray chunk(kChunk, Qt::Uninitialized);
  const double cpuBefore = CpuMs(RUSAGE_SELF);
  QElapsedTimer clock;
  clock.start();
  for (int sent = 0; sent < kTotal; sent += kChunk) {
    for (int i = 0; i < kChunk; ++i) chunk[i] = static_cast<char>((sent + i) % 251);
    comm.SendData(chunk.constData(), kChunk);
  }
  WaitUntil(
      comm, [&] { return received >= kTotal; }, 60000);
  const qint64 wall = clock.elapsed();
  echo.join();
  const double cpu = CpuMs(RUSAGE_SELF) - cpuBefore - echoCpu;
  if (received != kTotal || !inOrder) {
    std::fprintf(stderr, "transfer: %d of %d bytes, in order: %d\n", received, kTotal, inOrder);
    return 1;
  }
  std::printf("serial_1mib_wall_ms %lld\nserial_1mib_cpu_ms %.1f\n", static_cast<long long>(wall),
              cpu);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const QString mode = args.value(0);
  if (mode == "idle") return Idle(args.value(1, "10").toInt());
  if (mode == "latency") return Latency(args.value(1, "20").toInt());
  if (mode == "transfer") return Transfer();
  std::fprintf(stderr, "usage: kv770-serial-bench idle SECONDS | latency RUNS | transfer\n");
  return 2;
}
