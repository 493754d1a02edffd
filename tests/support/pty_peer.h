// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The far end of a serial line for tests: a pseudo-terminal whose master
// side the test drives while the code under test opens the slave by path.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

namespace kv770::test {

class PtyPeer {
 public:
  PtyPeer() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = QString::fromLocal8Bit(name);
    // Raw, or the line discipline echoes and rewrites what passes. The
    // slave descriptor stays open: without one, reads on the master fail
    // with EIO whenever the code under test has the port closed.
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPeer() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool Ok() const { return master_ >= 0; }
  const QString& Path() const { return path_; }
  int Slave() const { return slave_; }

  // Writes everything, waiting for room as needed.
  bool Write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.constData() + done, bytes.size() - done);
      if (n > 0) {
        done += n;
        continue;
      }
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 2000) <= 0) return false;
    }
    return true;
  }

  // Reads until `count` bytes have come or `timeoutMs` has passed.
  QByteArray Read(qsizetype count, int timeoutMs = 3000) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < timeoutMs) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char chunk[4096];
      const ssize_t n = read(master_, chunk, sizeof chunk);
      if (n > 0) got.append(chunk, n);
    }
    return got;
  }

  // What the slave's settings are now, as the code under test left them.
  termios Settings() const {
    termios t{};
    tcgetattr(slave_, &t);
    return t;
  }

  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  QString path_;
};

}  // namespace kv770::test
