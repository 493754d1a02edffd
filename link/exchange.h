// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "base/waits.h"

namespace kv770::link {

// True once the bytes received so far make a whole reply.
using Completion = std::function<bool(const QByteArray& reply)>;

// How the reply to one request ends.
struct ReplyRule {
  // Whole by its shape; none for a reply of unknown shape, which ends by
  // silence after its last byte.
  Completion complete;
  // Nothing whole by then: the exchange is over, with whatever came.
  int replyTimeoutMs = waits::kReplyTimeoutMs;
  // Silence after a byte that ends the reply; -1 by the rule's kind: for a
  // reply of unknown shape its end (kUnknownShapeSilenceMs), for one of
  // known shape the guard against a reply that stops short of whole
  // (kStalledReplyMs). 0: the first bytes are the reply, as a serial
  // line's block is.
  int byteTimeoutMs = -1;
  // More than this is no gateway's reply: the exchange ends at once.
  qsizetype maxBytes = 64 * 1024;
  // Above 0: once the first byte is in, the reply has this long from it,
  // and replyTimeoutMs only bounds the wait for that first byte.
  int afterFirstByteMs = 0;
};

enum class ReplyEnd {
  kOpen,      // still under way
  kWhole,     // complete by its shape
  kSilence,   // the line fell silent after it
  kTimedOut,  // the reply time-out passed (with or without bytes)
  kTooLong,   // more than maxBytes came
};

// The course of one reply on a clock of the caller's (milliseconds, any
// origin, never going back), apart from timers so that every split and
// pause can be checked without waiting for them.
class ReplyCourse {
 public:
  ReplyCourse(ReplyRule rule, qint64 startMs);

  // Bytes arrived at `nowMs`; the end they bring, kOpen if none.
  ReplyEnd Arrived(const QByteArray& bytes, qint64 nowMs);
  // A wait ran out at `nowMs`: the end if one is due, kOpen when it is not
  // yet (a timer that fired early).
  ReplyEnd Expire(qint64 nowMs);
  // When Expire has an end to give unless bytes come first.
  qint64 DeadlineMs() const;

  ReplyEnd End() const { return end_; }
  const QByteArray& Reply() const { return reply_; }

 private:
  int ByteTimeout() const;

  ReplyRule rule_;
  qint64 timeoutAtMs_;
  qint64 lastByteMs_ = -1;
  QByteArray reply_;
  ReplyEnd end_ = ReplyEnd::kOpen;
};

// The event face of an exchange: the owner sends the request, calls Start,
// feeds every byte the link hands over to Received, and hears `ended` once
// (unless it cancels). Bytes while none is under way are dropped: they
// came late for an exchange already over.
class Exchange : public QObject {
  Q_OBJECT

 public:
  explicit Exchange(QObject* parent = nullptr);

  void Start(ReplyRule rule);
  void Received(const QByteArray& bytes);
  // Gives up the exchange under way without `ended`.
  void Cancel();
  bool Running() const { return course_.has_value(); }
  // What came so far for the exchange under way.
  QByteArray Partial() const { return course_ ? course_->Reply() : QByteArray(); }

 signals:
  void ended(kv770::link::ReplyEnd end, const QByteArray& reply);

 private:
  void Settle(ReplyEnd end);
  void Arm();

  QElapsedTimer clock_;
  QTimer timer_;
  std::optional<ReplyCourse> course_;
};

}  // namespace kv770::link
