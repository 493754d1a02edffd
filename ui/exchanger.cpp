// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/exchanger.h"

#include <QMetaObject>

#include "ui/tab.h"

namespace kv770::ui {

Exchanger::Exchanger(Requests& requests, QObject* parent) : QObject(parent), requests_(requests) {
  connect(&wire_, &link::Exchange::ended, this,
          [this](link::ReplyEnd, const QByteArray& reply) { Answer(reply); });
}

bool Exchanger::Start(std::vector<Step> steps) {
  if (running_) return false;
  serial_ = requests_.LinkIndex() == 0;
  if (!requests_.LinkOpen(serial_)) {
    requests_.Messages().Show(
        tr("No link to the gateway is open: open the serial port or connect over TCP "
           "on the System Parameter tab first."));
    return false;
  }
  requests_.Idle();
  steps_ = std::move(steps);
  next_ = 0;
  running_ = true;
  cancelled_ = false;
  emit runningChanged();
  Next();
  return true;
}

void Exchanger::Cancel() {
  if (!running_) return;
  // The exchange under way is given up: a reply still coming finds the
  // run over and is dropped.
  cancelled_ = true;
  Finish(true);
}

void Exchanger::Next() {
  if (!running_) return;  // cancelled while this step was queued
  if (cancelled_ || next_ >= steps_.size()) {
    Finish(cancelled_);
    return;
  }
  if (!requests_.LinkOpen(serial_)) {
    // The link went away: every step left gets no reply.
    for (; next_ < steps_.size(); ++next_) emit answered(static_cast<int>(next_), {});
    Finish(false);
    return;
  }
  waiting_ = true;
  const Step& step = steps_[next_];
  // On the serial line a reply of unknown shape is the first block (the
  // port ends a block after the line's silence).
  wire_.Start({step.complete, std::max(1, step.waitMs), serial_ && !step.complete ? 0 : -1,
               kLongestReply - 1});
  requests_.Write(serial_, step.bytes);
}

void Exchanger::Received(const QByteArray& bytes) {
  // Bytes between exchanges are a late reply to one already given up.
  if (waiting_) wire_.Received(bytes);
}

void Exchanger::Answer(const QByteArray& reply) {
  if (!waiting_) return;
  waiting_ = false;
  const int index = static_cast<int>(next_++);
  emit answered(index, reply);
  // The next request after the handlers of this reply have run, so that a
  // handler may cancel the run.
  QMetaObject::invokeMethod(this, &Exchanger::Next, Qt::QueuedConnection);
}

void Exchanger::Finish(bool cancelled) {
  if (!running_) return;
  running_ = false;
  waiting_ = false;
  wire_.Cancel();
  steps_.clear();
  requests_.Idle();
  emit runningChanged();
  emit finished(cancelled);
}

}  // namespace kv770::ui
