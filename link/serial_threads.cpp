// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_threads.h"

#include "link/block_former.h"

#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

namespace kv770::link {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The line-error flags reported through OnReceiveError.
constexpr std::uint32_t kRxOver = 0x0001;  // input buffer overflow
constexpr std::uint32_t kOverrun = 0x0002;
constexpr std::uint32_t kRxParity = 0x0004;
constexpr std::uint32_t kFrame = 0x0008;
constexpr std::uint32_t kBreak = 0x0010;

// Modem event values reported through OnModemStateChange.
constexpr std::uint32_t kCarrierChanged = 8;
constexpr std::uint32_t kRing = 4;

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

// The signal that interrupts the modem watcher's TIOCMIWAIT, which nothing
// else can wake. Its handler does nothing; the point is the EINTR.
int WakeSignal() {
  static const int signal = [] {
    const int s = SIGRTMIN + 4;
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the wait must return
    sigaction(s, &action, nullptr);
    return s;
  }();
  return signal;
}

timespec ToTimespec(Clock::duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(d, {})).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

// ---- Block, CommEvent -----------------------------------------------------

Block Block::Copy(const char* data, std::uint16_t count) {
  Block block;
  block.bytes = std::make_unique<char[]>(std::size_t{count} + 1);  // zero-filled
  if (count > 0) std::memcpy(block.bytes.get(), data, count);
  block.count = count;
  return block;
}

CommEvent::CommEvent(Kind k, std::uint32_t v, Block b)
    : QEvent(Type()), kind(k), value(v), block(std::move(b)) {}

QEvent::Type CommEvent::Type() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// ---- TWorkerThread ----------------------------------------------------------

TWorkerThread::TWorkerThread(int port, int stop, QObject* notify)
    : port_(port), stop_(stop), notify_(notify) {}

TWorkerThread::~TWorkerThread() {
  Join();
}

void TWorkerThread::Start() {
  thread_ = std::thread([this] {
    Execute();
    std::lock_guard lock(mutex_);
    finished_ = true;
    done_.notify_all();
  });
}

bool TWorkerThread::WaitFor(milliseconds bound) {
  std::unique_lock lock(mutex_);
  return done_.wait_for(lock, bound, [this] { return finished_; });
}

void TWorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TWorkerThread::Post(CommEvent::Kind kind, std::uint32_t value, Block block) const {
  QCoreApplication::postEvent(notify_, new CommEvent(kind, value, std::move(block)));
}

bool TWorkerThread::StopSignalled() const {
  return Readable(stop_);
}

// ---- TReadThread ------------------------------------------------------------

TReadThread::TReadThread(int port, int stop, QObject* notify, const AppliedTimeouts& timeouts)
    : TWorkerThread(port, stop, notify), timeouts_(timeouts) {}

TReadThread::~TReadThread() {
  Join();
}

void TReadThread::Execute() {
  serial_icounter_struct start{};
  countersKnown_ = ioctl(port_, TIOCGICOUNT, &start) == 0;
  if (countersKnown_) {
    counters_ = {start.frame, start.overrun, start.parity, start.brk, start.buf_overrun};
    modemWatch_ = std::thread([this] { WatchModemLines(); });
  }

  char buffer[kBufferSize];
  BlockFormer block(kBufferSize, Clock::now());
  for (;;) {
    const BlockFormer::Timeouts timeouts{timeouts_.interval, timeouts_.totalMultiplier,
                                         timeouts_.totalConstant};
    const std::optional<Clock::time_point> deadline = block.Deadline(timeouts);
    pollfd fds[2] = {{stop_, POLLIN, 0}, {port_, POLLIN, 0}};
    timespec wait{};
    if (deadline) wait = ToTimespec(*deadline - Clock::now());
    const int ready = ppoll(fds, 2, deadline ? &wait : nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Post(CommEvent::Kind::Hangup);
      break;
    }
    if (fds[0].revents != 0) break;
    if (ready == 0) {
      if (const std::size_t count = block.Take(Clock::now())) Deliver(buffer, count);
      continue;
    }
    if (fds[1].revents & POLLNVAL) break;

    const std::size_t count = block.Count();
    const ssize_t n = read(port_, buffer + count, block.Room());
    if (n > 0) {
      const Clock::time_point now = Clock::now();
      if (countersKnown_) ReportLineErrors();
      if (block.Arrived(static_cast<std::size_t>(n), now, timeouts))
        Deliver(buffer, block.Take(now));
      continue;
    }
    const bool hungUp = (fds[1].revents & (POLLHUP | POLLERR)) != 0;
    if (n < 0 && (errno == EINTR || (errno == EAGAIN && !hungUp))) continue;
    if (n < 0 && errno == EBADF) break;
    // End of file (the line was hung up, or the other end of a
    // pseudo-terminal went away) or a device error: what came before is
    // still handed over, then the owner is told.
    if (count > 0) Deliver(buffer, count);
    Post(CommEvent::Kind::Hangup);
    break;
  }

  StopModemWatch();
  tcflush(port_, TCIFLUSH);
}

void TReadThread::Deliver(const char* data, std::size_t count) const {
  Post(CommEvent::Kind::Receive, 0, Block::Copy(data, static_cast<std::uint16_t>(count)));
}

void TReadThread::ReportLineErrors() {
  serial_icounter_struct now{};
  if (ioctl(port_, TIOCGICOUNT, &now) != 0) return;
  std::uint32_t flags = 0;
  if (now.buf_overrun != counters_.bufOverrun) flags |= kRxOver;
  if (now.overrun != counters_.overrun) flags |= kOverrun;
  if (now.parity != counters_.parity) flags |= kRxParity;
  if (now.frame != counters_.frame) flags |= kFrame;
  if (now.brk != counters_.brk) flags |= kBreak;
  counters_ = {now.frame, now.overrun, now.parity, now.brk, now.buf_overrun};
  if (flags != 0) Post(CommEvent::Kind::Error, flags);
}

void TReadThread::WatchModemLines() {
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, WakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);

  serial_icounter_struct last{};
  if (ioctl(port_, TIOCGICOUNT, &last) == 0) {
    while (!modemWatchStop_) {
      if (ioctl(port_, TIOCMIWAIT, TIOCM_CD | TIOCM_RNG) != 0) {
        if (errno == EINTR) continue;
        break;  // the driver cannot wait for line changes
      }
      serial_icounter_struct now{};
      if (ioctl(port_, TIOCGICOUNT, &now) != 0) break;
      const std::uint32_t value =
          (now.dcd != last.dcd ? kCarrierChanged : 0) | (now.rng != last.rng ? kRing : 0);
      last = now;
      if (value != 0 && !modemWatchStop_) Post(CommEvent::Kind::Modem, value);
    }
  }
  modemWatchDone_ = true;
}

void TReadThread::StopModemWatch() {
  if (!modemWatch_.joinable()) return;
  modemWatchStop_ = true;
  // The signal may land just before the watcher enters its wait, so it is
  // repeated until the watcher has seen the stop.
  while (!modemWatchDone_) {
    pthread_kill(modemWatch_.native_handle(), WakeSignal());
    std::this_thread::sleep_for(milliseconds(5));
  }
  modemWatch_.join();
}

// ---- TWriteThread -----------------------------------------------------------

TWriteThread::TWriteThread(int port, int stop, QObject* notify, std::atomic<bool>& sendDataEmpty)
    : TWorkerThread(port, stop, notify), sendDataEmpty_(sendDataEmpty) {
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TWriteThread::~TWriteThread() {
  Join();
  close(wake_);
}

bool TWriteThread::Queue(Block block) {
  {
    std::lock_guard lock(queueMutex_);
    if (ended_) return false;
    queue_.push_back(std::move(block));
    // Cleared under the lock, so it cannot overtake the writer finding the
    // queue empty.
    sendDataEmpty_ = false;
  }
  const std::uint64_t one = 1;
  return write(wake_, &one, sizeof one) == sizeof one || errno == EAGAIN;
}

void TWriteThread::Execute() {
  bool notifyWhenEmpty = true;
  for (;;) {
    Block block;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty()) {
        sendDataEmpty_ = true;
      } else {
        block = std::move(queue_.front());
        queue_.pop_front();
      }
    }
    if (!block.bytes) {
      if (notifyWhenEmpty) Post(CommEvent::Kind::SendEmpty);
      notifyWhenEmpty = false;
      pollfd fds[2] = {{stop_, POLLIN, 0}, {wake_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        Post(CommEvent::Kind::Hangup);
        break;
      }
      if (fds[0].revents != 0) break;
      // Drains the wake-up counter; a failed read leaves nothing to drain.
      std::uint64_t drained;
      [[maybe_unused]] const ssize_t got = read(wake_, &drained, sizeof drained);
      continue;
    }
    if (StopSignalled()) break;
    if (!WriteWhole(block)) break;
    notifyWhenEmpty = true;
  }

  tcflush(port_, TCOFLUSH);
  std::lock_guard lock(queueMutex_);
  ended_ = true;
  queue_.clear();  // blocks still queued are not transmitted
  sendDataEmpty_ = true;
}

bool TWriteThread::WriteWhole(const Block& block) const {
  std::size_t offset = 0;
  std::size_t remaining = block.count;
  while (remaining > 0) {
    const ssize_t n = write(port_, block.bytes.get() + offset, remaining);
    if (n > 0) {
      offset += static_cast<std::size_t>(n);
      remaining -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EBADF) return false;
    if (n < 0 && errno != EAGAIN) {
      Post(CommEvent::Kind::Hangup);
      return false;
    }
    // The driver's queue is full (or flow control holds it): wait for room.
    pollfd fds[2] = {{stop_, POLLIN, 0}, {port_, POLLOUT, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) {
      Post(CommEvent::Kind::Hangup);
      return false;
    }
    if (fds[0].revents != 0) return false;
    if (fds[1].revents & POLLNVAL) return false;
  }
  return true;
}

}  // namespace kv770::link
