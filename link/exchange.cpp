// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/exchange.h"

#include <algorithm>

namespace kv770::link {

ReplyCourse::ReplyCourse(ReplyRule rule, qint64 startMs)
    : rule_(std::move(rule)), timeoutAtMs_(startMs + rule_.replyTimeoutMs) {}

int ReplyCourse::ByteTimeout() const {
  if (rule_.byteTimeoutMs >= 0) return rule_.byteTimeoutMs;
  return rule_.complete ? waits::kStalledReplyMs : waits::kUnknownShapeSilenceMs;
}

ReplyEnd ReplyCourse::Arrived(const QByteArray& bytes, qint64 nowMs) {
  if (end_ != ReplyEnd::kOpen || bytes.isEmpty()) return end_;
  if (reply_.isEmpty() && rule_.afterFirstByteMs > 0) timeoutAtMs_ = nowMs + rule_.afterFirstByteMs;
  reply_ += bytes;
  lastByteMs_ = nowMs;
  if (reply_.size() > rule_.maxBytes)
    end_ = ReplyEnd::kTooLong;
  else if (rule_.complete && rule_.complete(reply_))
    end_ = ReplyEnd::kWhole;
  else if (ByteTimeout() == 0)
    end_ = ReplyEnd::kSilence;
  return end_;
}

qint64 ReplyCourse::DeadlineMs() const {
  if (lastByteMs_ < 0) return timeoutAtMs_;
  return std::min(timeoutAtMs_, lastByteMs_ + ByteTimeout());
}

ReplyEnd ReplyCourse::Expire(qint64 nowMs) {
  if (end_ != ReplyEnd::kOpen || nowMs < DeadlineMs()) return end_;
  end_ = nowMs >= timeoutAtMs_ ? ReplyEnd::kTimedOut : ReplyEnd::kSilence;
  return end_;
}

Exchange::Exchange(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (course_) Settle(course_->Expire(clock_.elapsed()));
  });
}

void Exchange::Start(ReplyRule rule) {
  clock_.start();
  course_.emplace(std::move(rule), 0);
  Arm();
}

void Exchange::Received(const QByteArray& bytes) {
  if (course_) Settle(course_->Arrived(bytes, clock_.elapsed()));
}

void Exchange::Cancel() {
  timer_.stop();
  course_.reset();
}

void Exchange::Arm() {
  timer_.start(static_cast<int>(std::max<qint64>(0, course_->DeadlineMs() - clock_.elapsed())));
}

void Exchange::Settle(ReplyEnd end) {
  if (end == ReplyEnd::kOpen) {
    Arm();  // a byte moved the deadline, or the timer fired early
    return;
  }
  timer_.stop();
  const QByteArray reply = course_->Reply();
  course_.reset();
  emit ended(end, reply);
}

}  // namespace kv770::link
