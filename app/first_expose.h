// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The start-up probe's point of measurement, shared by kv770-config
// --startup-probe and the bare Qt window scripts/bench sets beside it, so
// both are timed at the same moment.

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>

namespace kv770::app {

// Peak resident set size of this process, in KiB; -1 when not known.
inline long PeakRssKib() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

// Calls `then` from the event loop once `window` has been exposed for the
// first time: the expose paints it and hands the picture to the display
// before it returns.
class FirstExpose : public QObject {
 public:
  FirstExpose(QWidget& window, std::function<void()> then)
      : window_(window), then_(std::move(then)) {
    qApp->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Expose || watched != window_.windowHandle() ||
        !window_.windowHandle()->isExposed())
      return false;
    qApp->removeEventFilter(this);
    QTimer::singleShot(0, this, then_);
    return false;
  }

 private:
  QWidget& window_;
  std::function<void()> then_;
};

}  // namespace kv770::app
