// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

namespace kv770::cycle {

// A window timer with the semantics the handlers rely on: enabling an
// enabled timer does not restart its countdown, setting the interval it
// already has does nothing, a different interval restarts a running timer.
// It fires repeatedly until disabled; a zero interval never fires.
class FormTimer : public QObject {
  Q_OBJECT

 public:
  explicit FormTimer(int intervalMs = 1000, QObject* parent = nullptr);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return interval_; }
  void SetInterval(int intervalMs);
  // Whether a countdown is running (enabled with a non-zero interval).
  bool Running() const { return timer_.isActive(); }
  // Milliseconds until it fires next; -1 while it is not running.
  int RemainingMs() const { return timer_.remainingTime(); }

 signals:
  void OnTimer();

 private:
  void Update();

  QTimer timer_;
  bool enabled_ = true;
  int interval_;
};

}  // namespace kv770::cycle
