// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A gateway stand-in on 127.0.0.1 that runs a script on a thread of its
// own: it keeps going while the code under test sleeps in a receive
// handler, as a real device does. The script gets the accepted connection
// and does what a faulty adapter does: answer half, answer slowly, answer
// far too much, or never answer.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace kv770::test {

class TcpPeer {
 public:
  using Script = std::function<void(TcpPeer& peer)>;

  explicit TcpPeer(Script script) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, script] {
      if (Accept()) script(*this);
      done_ = true;
    });
  }
  ~TcpPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    Hangup();
    if (listener_ >= 0) close(listener_);
  }
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  quint16 Port() const { return port_; }
  bool Done() const { return done_; }
  // Set by the test to end a script that waits.
  bool Stopping() const { return stop_; }
  void Stop() { stop_ = true; }

  // ---- for the script ------------------------------------------------------

  // Reads until `count` bytes came, the client left, or `timeoutMs` passed.
  QByteArray Read(qsizetype count, int timeoutMs = 3000) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < timeoutMs && !stop_) {
      pollfd p{connection_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char chunk[4096];
      const ssize_t n = recv(connection_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      got.append(chunk, n);
      received_ += n;
    }
    return got;
  }

  // Writes everything; false once the client has gone.
  bool Write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size() && !stop_) {
      const ssize_t n = send(connection_, bytes.constData() + done,
                             static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += n;
    }
    return done == bytes.size();
  }

  void Sleep(int ms) {
    for (int waited = 0; waited < ms && !stop_; waited += 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  // Closes the connection: the client sees the gateway leave.
  void Hangup() {
    if (connection_ >= 0) close(connection_);
    connection_ = -1;
  }

  // Everything the client sent so far, as counted by Read.
  qint64 Received() const { return received_; }

 private:
  bool Accept() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      return connection_ >= 0;
    }
    return false;
  }

  int listener_ = -1;
  int connection_ = -1;
  quint16 port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<qint64> received_{0};
  std::thread thread_;
};

}  // namespace kv770::test
