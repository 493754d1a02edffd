// SPDX-License-Identifier: GPL-3.0-or-later
#include "cycle/form_timer.h"

namespace kv770::cycle {

FormTimer::FormTimer(int intervalMs, QObject* parent) : QObject(parent), interval_(intervalMs) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &FormTimer::OnTimer);
  Update();
}

void FormTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void FormTimer::SetInterval(int intervalMs) {
  if (intervalMs == interval_) return;
  interval_ = intervalMs;
  timer_.stop();
  Update();
}

void FormTimer::Update() {
  if (enabled_ && interval_ > 0) {
    if (!timer_.isActive()) timer_.start(interval_);
  } else {
    timer_.stop();
  }
}

}  // namespace kv770::cycle
