// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class QIODevice;

namespace kv770::sim {

// One request the tool sent and what it received back, read from a traffic
// trace written at the tool's end (link::Trace: '>' the tool sent, '<' it
// received).
struct Exchange {
  // A block of the reply as the tool received it, `gapMs` after the block
  // before it (0 for the first).
  struct Block {
    QByteArray bytes;
    int gapMs = 0;
  };
  QByteArray request;
  std::vector<Block> reply;  // none: the tool got no answer (a time-out)
  qint64 line = 0;           // the trace line the request starts on
};

// A trace read as a conversation, or why it cannot be (then `line` is
// where, 0 for the file as a whole).
struct Conversation {
  std::vector<Exchange> exchanges;
  QString error;
  qint64 line = 0;
};

// Reads a trace of kv770-config or kv770ctl line by line. On one link,
// blocks sent back to back form one request (a tool may send in pieces);
// a longer pause with no reply between means the earlier request went
// unanswered. The blocks received after a request, up to the link's next
// request, are its reply. Blocks received before any request are no reply
// to anything, and are left out. Lines must be whole and as the trace
// writes them (the ASCII column must agree with the bytes): a trace cut or
// edited by hand is refused at its first bad line rather than replayed
// wrong. Memory is bounded per line and for the whole conversation.
Conversation ReadConversation(QIODevice& trace);

// Blocks a tool sends one right after another belong to one request; a
// pause longer than this ends it. Far shorter than any time-out of the
// tool, far longer than its pieces are apart.
inline constexpr int kPieceGapMs = 100;
// Pauses between the blocks of one reply are replayed up to this long.
inline constexpr int kMaxBlockGapMs = 1000;
// The longest request taken: longer ones are refused in a trace, and
// dropped as unknown from a client.
inline constexpr qsizetype kMaxReplayRequestBytes = 64 * 1024;
// The longest trace line read, and the most memory a conversation read
// from a trace may take.
inline constexpr qsizetype kMaxTraceLineLength = 1024 * 1024;
inline constexpr qsizetype kMaxConversationBytes = 256 * 1024 * 1024;

// Answers requests from a recorded conversation instead of simulating the
// gateway. All links share it, as they would share one gateway.
//
// The matching rule: a request is answered by the earliest recorded
// request, not answered yet, with the same bytes, wherever it stands in
// the trace. Equal requests are thus answered in the order recorded (a
// polled value moves on as it did in the field), while a request asked out
// of the recorded order still finds its reply: the window repeats queries
// (the live values poll, a re-read on a change of tab) and the person
// replaying does not click in the field's order, so insisting on the next
// recorded request, or passing over whatever was skipped, would lose the
// rest of the conversation at the first difference. Each recorded reply is
// given once; a request with no equal left is unknown.
class Replay {
 public:
  explicit Replay(std::vector<Exchange> exchanges);

  // A request taken from a client's bytes: the recorded exchange it
  // matched, or nullptr for one the trace does not hold.
  struct Request {
    QByteArray bytes;
    const Exchange* exchange = nullptr;
  };

  // Takes the requests at the front of `pending`, a client's bytes not
  // taken yet, in order. Bytes that equal a recorded request are one, at
  // once, unless they may still grow into a longer recorded request; bytes
  // that start no recorded request wait for the pause that ends a request
  // (`quiet`: nothing came for kPieceGapMs), and are then one unknown
  // request. At the pause everything pending is taken.
  std::vector<Request> Take(QByteArray& pending, bool quiet, const QString& link);

  // Hears of every unknown request, as it is dropped.
  void OnUnknown(std::function<void(const QString& link, const QByteArray& bytes)> unknown) {
    unknown_ = std::move(unknown);
  }

  qint64 Recorded() const { return static_cast<qint64>(exchanges_.size()); }
  qint64 Received() const { return received_; }
  qint64 Matched() const { return matched_; }

 private:
  // The longest unanswered request `bytes` start with; end() for none.
  using Waiting = std::map<std::string, std::deque<std::size_t>, std::less<>>;
  Waiting::iterator LongestStart(std::string_view bytes);
  // Whether `bytes` are the start of a longer unanswered request.
  bool MayGrow(std::string_view bytes) const;

  std::vector<Exchange> exchanges_;
  // The unanswered requests: each distinct one with its places in
  // exchanges_, earliest first; and their lengths, longest first.
  Waiting waiting_;
  std::multiset<std::size_t, std::greater<>> lengths_;
  std::function<void(const QString&, const QByteArray&)> unknown_;
  qint64 received_ = 0;
  qint64 matched_ = 0;
};

// Sends replies block by block, each after its recorded gap, one reply
// after another so that two never mix.
class BlockSender : public QObject {
 public:
  BlockSender(std::function<void(const QByteArray&)> send, QObject* parent = nullptr);
  // `exchange`'s reply, the first block `delayMs` after the replies queued
  // before it.
  void Queue(const Exchange& exchange, int delayMs);

 private:
  void SendDue();

  std::function<void(const QByteArray&)> send_;
  std::deque<Exchange::Block> blocks_;
  QTimer timer_;
};

}  // namespace kv770::sim
