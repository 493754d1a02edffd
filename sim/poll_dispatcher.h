// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QVarLengthArray>
#include <atomic>
#include <chrono>
#include <vector>

namespace kv770::sim {

// The simulator's event loop: one poll() over the socket notifiers'
// descriptors and a wake-up descriptor, and a short list of timers. It
// does what a server thread needs (socket notifiers, timers, posted
// events, wake-ups and quitting from other threads) and nothing a window
// needs, for a fraction of the work Qt's general loops do on each
// wake-up, which every request of a MODBUS TCP client costs.
//
// Install it before the thread's loop starts: QCoreApplication::
// setEventDispatcher before the application object, QThread::
// setEventDispatcher before start(). Timers are kept to the millisecond,
// whatever their type.
class PollDispatcher : public QAbstractEventDispatcher {
 public:
  explicit PollDispatcher(QObject* parent = nullptr);
  ~PollDispatcher() override;

  bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

  void registerSocketNotifier(QSocketNotifier* notifier) override;
  void unregisterSocketNotifier(QSocketNotifier* notifier) override;

  void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                     QObject* object) override;
  bool unregisterTimer(int timerId) override;
  bool unregisterTimers(QObject* object) override;
  QList<TimerInfo> registeredTimers(QObject* object) const override;
  int remainingTime(int timerId) override;

  // Both may come from any thread.
  void wakeUp() override;
  void interrupt() override;

 protected:
  // awake() and aboutToBlock() are sent only while someone listens.
  void connectNotify(const QMetaMethod& signal) override;
  void disconnectNotify(const QMetaMethod& signal) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    int id;
    qint64 intervalMs;
    Qt::TimerType type;
    QObject* object;
    Clock::time_point due;
  };

  // Sends the timers due by now their events; how many.
  int FireTimers();
  // Sends the notifiers whose descriptors are ready their events; how many.
  int ActivateNotifiers();
  void Rebuild();

  int wakeFd_ = -1;
  std::atomic<bool> woken_{false};
  std::atomic<bool> interrupted_{false};
  std::atomic<int> listeners_{0};

  std::vector<QSocketNotifier*> notifiers_;
  // The wake-up descriptor first, then one entry per notifier in order;
  // rebuilt when the notifiers change.
  std::vector<pollfd> polled_;
  bool changed_ = true;
  // Notifiers ready in the rounds being dispatched (one list per nested
  // loop); one unregistered meanwhile is taken off.
  using Ready = QVarLengthArray<QSocketNotifier*, 64>;
  std::vector<Ready*> dispatching_;

  std::vector<Timer> timers_;
};

}  // namespace kv770::sim
