// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/poll_dispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaMethod>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace kv770::sim {

namespace {

short Events(QSocketNotifier::Type type) {
  switch (type) {
    case QSocketNotifier::Read:
      return POLLIN;
    case QSocketNotifier::Write:
      return POLLOUT;
    case QSocketNotifier::Exception:
      return POLLPRI;
  }
  return 0;
}

// Whether what poll() reported concerns a notifier of `type`: a hang-up or
// an error is news to readers and writers alike, who find it out by
// reading or writing.
bool Concerns(short revents, QSocketNotifier::Type type) {
  switch (type) {
    case QSocketNotifier::Read:
      return revents & (POLLIN | POLLHUP | POLLERR);
    case QSocketNotifier::Write:
      return revents & (POLLOUT | POLLHUP | POLLERR);
    case QSocketNotifier::Exception:
      return revents & POLLPRI;
  }
  return false;
}

}  // namespace

PollDispatcher::PollDispatcher(QObject* parent) : QAbstractEventDispatcher(parent) {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) qFatal("kv770-sim: no event descriptor for the event loop");
}

PollDispatcher::~PollDispatcher() {
  ::close(wakeFd_);
}

void PollDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
  notifiers_.push_back(notifier);
  changed_ = true;
}

void PollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
  if (const auto at = std::ranges::find(notifiers_, notifier); at != notifiers_.end()) {
    notifiers_.erase(at);
    changed_ = true;
  }
  for (Ready* ready : dispatching_)
    std::replace(ready->begin(), ready->end(), notifier, static_cast<QSocketNotifier*>(nullptr));
}

void PollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                   QObject* object) {
  const qint64 ms = std::max<qint64>(interval, 0);
  timers_.push_back({timerId, ms, timerType, object, Clock::now() + std::chrono::milliseconds(ms)});
}

bool PollDispatcher::unregisterTimer(int timerId) {
  return std::erase_if(timers_, [timerId](const Timer& t) { return t.id == timerId; }) > 0;
}

bool PollDispatcher::unregisterTimers(QObject* object) {
  return std::erase_if(timers_, [object](const Timer& t) { return t.object == object; }) > 0;
}

QList<QAbstractEventDispatcher::TimerInfo> PollDispatcher::registeredTimers(QObject* object) const {
  QList<TimerInfo> found;
  for (const Timer& t : timers_) {
    if (t.object == object) found.append(TimerInfo(t.id, static_cast<int>(t.intervalMs), t.type));
  }
  return found;
}

int PollDispatcher::remainingTime(int timerId) {
  const auto at = std::ranges::find(timers_, timerId, &Timer::id);
  if (at == timers_.end()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(at->due - Clock::now());
  return static_cast<int>(std::max<qint64>(left.count(), 0));
}

void PollDispatcher::wakeUp() {
  // One write until the loop has seen it.
  if (woken_.exchange(true)) return;
  const std::uint64_t one = 1;
  while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void PollDispatcher::interrupt() {
  interrupted_ = true;
  wakeUp();
}

namespace {

bool IsLoopSignal(const QMetaMethod& signal) {
  return signal == QMetaMethod::fromSignal(&QAbstractEventDispatcher::awake) ||
         signal == QMetaMethod::fromSignal(&QAbstractEventDispatcher::aboutToBlock);
}

}  // namespace

void PollDispatcher::connectNotify(const QMetaMethod& signal) {
  if (IsLoopSignal(signal)) ++listeners_;
}

void PollDispatcher::disconnectNotify(const QMetaMethod& signal) {
  // Disconnecting everything names no signal: then they go on being sent.
  if (IsLoopSignal(signal)) --listeners_;
}

void PollDispatcher::Rebuild() {
  polled_.clear();
  polled_.push_back({wakeFd_, POLLIN, 0});
  for (QSocketNotifier* notifier : notifiers_)
    polled_.push_back({static_cast<int>(notifier->socket()), Events(notifier->type()), 0});
  changed_ = false;
}

bool PollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
  interrupted_ = false;
  const bool listened = listeners_ > 0;
  if (listened) emit awake();
  QCoreApplication::sendPostedEvents();

  // How long to wait: not at all when told not to, or interrupted, or a
  // timer is due; else until the next timer, or for ever.
  const bool wait = (flags & QEventLoop::WaitForMoreEvents) && !interrupted_;
  timespec timeout{0, 0};
  timespec* limit = &timeout;
  if (wait) {
    const auto next = std::ranges::min_element(timers_, {}, &Timer::due);
    if (next == timers_.end()) {
      limit = nullptr;
    } else {
      const auto left = std::max(next->due - Clock::now(), Clock::duration::zero());
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
      timeout = {static_cast<time_t>(seconds.count()),
                 static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
    }
    if (listened) emit aboutToBlock();
  }

  if (changed_) Rebuild();
  for (pollfd& p : polled_) p.revents = 0;
  int handled = 0;
  const int ready = ::ppoll(polled_.data(), polled_.size(), limit, nullptr);
  if (ready > 0) {
    if (polled_[0].revents & POLLIN) {
      std::uint64_t count;
      while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
      }
      woken_ = false;
      ++handled;
    }
    if (!(flags & QEventLoop::ExcludeSocketNotifiers)) handled += ActivateNotifiers();
  } else if (ready < 0 && errno != EINTR) {
    qWarning("kv770-sim: poll: %s", qPrintable(qt_error_string(errno)));
  }
  if (!(flags & QEventLoop::X11ExcludeTimers)) handled += FireTimers();
  return handled > 0;
}

int PollDispatcher::ActivateNotifiers() {
  Ready ready;
  for (std::size_t i = 1; i < polled_.size(); ++i) {
    const pollfd& p = polled_[i];
    if (p.revents == 0) continue;
    QSocketNotifier* notifier = notifiers_[i - 1];
    if (p.revents & POLLNVAL) {
      // A descriptor closed under its notifier: it would be reported at
      // once, for ever.
      qWarning("kv770-sim: socket notifier on a closed descriptor %d", p.fd);
      notifier->setEnabled(false);
      continue;
    }
    if (Concerns(p.revents, notifier->type())) ready.push_back(notifier);
  }
  // A notifier's handler may disable or delete others (or itself).
  dispatching_.push_back(&ready);
  int handled = 0;
  for (QSocketNotifier*& notifier : ready) {
    if (!notifier) continue;
    QSocketNotifier* const target = std::exchange(notifier, nullptr);
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(target, &event);
    ++handled;
  }
  dispatching_.pop_back();
  return handled;
}

int PollDispatcher::FireTimers() {
  if (timers_.empty()) return 0;
  const Clock::time_point now = Clock::now();
  // Each timer due now fires once; one started or stopped by a handler
  // meanwhile is taken as it is then.
  // In the order they fell due.
  QVarLengthArray<std::pair<Clock::time_point, int>, 16> due;
  for (const Timer& t : timers_) {
    if (t.due <= now) due.append({t.due, t.id});
  }
  std::stable_sort(due.begin(), due.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  int fired = 0;
  for (const auto& [when, id] : due) {
    const auto at = std::ranges::find(timers_, id, &Timer::id);
    if (at == timers_.end() || at->due > now) continue;
    // The next period counts from when this one was due, unless that has
    // already passed too.
    at->due += std::chrono::milliseconds(at->intervalMs);
    if (at->due <= now) at->due = now + std::chrono::milliseconds(at->intervalMs);
    QTimerEvent event(id);
    QCoreApplication::sendEvent(at->object, &event);
    ++fired;
  }
  return fired;
}

}  // namespace kv770::sim
