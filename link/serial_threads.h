// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The serial component's workers and what they hand to it. Private to the
// component: the window knows only TComm (link/SerialComm.h).

#include <QEvent>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace kv770::link {

// A block that crosses threads: `count` bytes and one trailing zero that is
// not counted. Whoever holds it owns it.
struct Block {
  std::unique_ptr<char[]> bytes;
  std::uint16_t count = 0;

  static Block Copy(const char* data, std::uint16_t count);
};

// One notification from a worker. Posted to the component's notify object,
// so it is raised on the thread the component lives in, in posting order;
// a received block is released when the event is, after the handler ran.
class CommEvent : public QEvent {
 public:
  enum class Kind { Receive, Error, Hangup, Modem, SendEmpty };

  explicit CommEvent(Kind kind, std::uint32_t value = 0, Block block = {});
  static QEvent::Type Type();

  Kind kind;
  std::uint32_t value;  // line-error flags or the modem event value
  Block block;          // Receive only
};

// The read timeouts as last applied, read live by the reader.
struct AppliedTimeouts {
  std::atomic<std::uint32_t> interval{100};
  std::atomic<std::uint32_t> totalMultiplier{0};
  std::atomic<std::uint32_t> totalConstant{0};
};

// A worker thread: Execute() runs once. The owner stops a worker through
// the shared stop descriptor, waits for it with a bound, and then joins it.
// Workers run at normal priority: raising it needs privileges here, and
// their latency comes from poll() waking them, not from the scheduler.
class TWorkerThread {
 public:
  virtual ~TWorkerThread();
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;

  // Throws std::system_error when no thread can be had.
  void Start();
  // Whether Execute() has returned within `bound`.
  bool WaitFor(std::chrono::milliseconds bound);
  void Join();

 protected:
  TWorkerThread(int port, int stop, QObject* notify);
  virtual void Execute() = 0;

  void Post(CommEvent::Kind kind, std::uint32_t value = 0, Block block = {}) const;
  bool StopSignalled() const;

  const int port_;
  const int stop_;  // readable once the owner asks the workers to stop
  QObject* const notify_;

 private:
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
};

// Receives blocks and line events. A block ends after the read interval of
// silence, at the total read time, or when 2048 bytes have come; the reader
// sleeps in poll() on the port and the stop descriptor meanwhile.
//
// Line-error flags (overrun, parity, framing, break) are reported when the
// driver counts them (TIOCGICOUNT), checked as bytes arrive, since an error
// always comes with a received character. Carrier and ring changes are
// watched by a helper thread waiting in TIOCMIWAIT. A pseudo-terminal has
// neither, so there no line events are raised.
class TReadThread : public TWorkerThread {
 public:
  static constexpr std::size_t kBufferSize = 2048;

  TReadThread(int port, int stop, QObject* notify, const AppliedTimeouts& timeouts);
  ~TReadThread() override;

 private:
  void Execute() override;
  void Deliver(const char* data, std::size_t count) const;
  void ReportLineErrors();
  void WatchModemLines();
  void StopModemWatch();

  const AppliedTimeouts& timeouts_;
  bool countersKnown_ = false;
  struct Counters {
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  } counters_;

  std::thread modemWatch_;
  std::atomic<bool> modemWatchStop_{false};
  std::atomic<bool> modemWatchDone_{false};
};

// Transmits queued blocks whole and in order.
class TWriteThread : public TWorkerThread {
 public:
  TWriteThread(int port, int stop, QObject* notify, std::atomic<bool>& sendDataEmpty);
  ~TWriteThread() override;

  // Queues a block; false once the writer has ended.
  bool Queue(Block block);

 private:
  void Execute() override;
  bool WriteWhole(const Block& block) const;

  std::atomic<bool>& sendDataEmpty_;
  int wake_ = -1;  // readable when a block was queued
  std::mutex queueMutex_;
  std::deque<Block> queue_;
  bool ended_ = false;
};

}  // namespace kv770::link
