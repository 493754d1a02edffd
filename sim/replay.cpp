// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/replay.h"

#include <QDate>
#include <QIODevice>
#include <QTime>
#include <algorithm>
#include <optional>
#include <utility>

namespace kv770::sim {

namespace {

// One line of a trace.
struct Line {
  QByteArray link;
  bool sent = false;  // by the tool: a request
  QByteArray bytes;
  qint64 ms = 0;  // time stamp, as milliseconds on a day count
};

bool Digits(const QByteArray& text, qsizetype from, qsizetype count, int& value) {
  value = 0;
  for (qsizetype i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// "2026-12-08 07:30:12.345": the time the trace writes, in milliseconds.
std::optional<qint64> TimeStamp(const QByteArray& text) {
  static constexpr char kForm[] = "0000-00-00 00:00:00.000";
  constexpr qsizetype kSize = sizeof kForm - 1;
  if (text.size() < kSize) return std::nullopt;
  for (qsizetype i = 0; i < kSize; ++i)
    if (kForm[i] != '0' && text[i] != kForm[i]) return std::nullopt;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (!Digits(text, 0, 4, y) || !Digits(text, 5, 2, mo) || !Digits(text, 8, 2, d) ||
      !Digits(text, 11, 2, h) || !Digits(text, 14, 2, mi) || !Digits(text, 17, 2, s) ||
      !Digits(text, 20, 3, ms))
    return std::nullopt;
  const QDate date(y, mo, d);
  const QTime time(h, mi, s, ms);
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  return date.toJulianDay() * 86'400'000 + time.msecsSinceStartOfDay();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The ASCII column the trace writes for `bytes`.
QByteArray Printable(const QByteArray& bytes) {
  QByteArray ascii = bytes;
  for (char& c : ascii)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '.';
  return ascii;
}

// Reads one line as the trace writes it:
//   TIME LINK DIRECTION HEX  |ASCII|
// the link padded with blanks. Empty on success, otherwise why not.
QString ParseLine(const QByteArray& text, Line& line) {
  const std::optional<qint64> ms = TimeStamp(text);
  if (!ms) return QStringLiteral("no time stamp (yyyy-MM-dd HH:mm:ss.zzz) at its start");
  line.ms = *ms;
  qsizetype at = 23;
  if (at >= text.size() || text[at] != ' ') return QStringLiteral("no blank after the time stamp");
  ++at;
  const qsizetype linkEnd = text.indexOf(' ', at);
  if (linkEnd <= at) return QStringLiteral("no link name after the time stamp");
  line.link = text.sliced(at, linkEnd - at);
  at = linkEnd;
  while (at < text.size() && text[at] == ' ') ++at;
  if (at >= text.size() || (text[at] != '>' && text[at] != '<'))
    return QStringLiteral("no direction ('>' sent or '<' received) after the link name");
  line.sent = text[at] == '>';
  ++at;
  if (at >= text.size() || text[at] != ' ') return QStringLiteral("no blank after the direction");
  ++at;
  line.bytes.clear();
  for (;;) {
    const int high = at + 1 < text.size() ? HexDigit(text[at]) : -1;
    const int low = high >= 0 ? HexDigit(text[at + 1]) : -1;
    if (low < 0) {
      return QStringLiteral("'%1' at column %2 is not a byte in hexadecimal")
          .arg(QString::fromLatin1(text.mid(at, 2)))
          .arg(at + 1);
    }
    line.bytes += static_cast<char>(high << 4 | low);
    at += 2;
    if (text.mid(at, 3) == "  |") break;
    if (at >= text.size() || text[at] != ' ')
      return QStringLiteral("the bytes end at column %1 without the ASCII column").arg(at + 1);
    ++at;
  }
  at += 3;
  if (text.size() - at != line.bytes.size() + 1 || !text.endsWith('|') ||
      text.sliced(at, line.bytes.size()) != Printable(line.bytes))
    return QStringLiteral("the ASCII column does not match the %1 bytes").arg(line.bytes.size());
  return {};
}

// What a block costs in memory beside its bytes, roughly.
constexpr qsizetype kBlockCost = 64;

// Where each link's conversation stands while the trace is read.
struct LinkState {
  std::size_t exchange = 0;
  bool open = false;      // it has a request, whose reply may follow
  bool replying = false;  // the request's reply has started
  qint64 lastMs = 0;      // the time of its last block
};

}  // namespace

Conversation ReadConversation(QIODevice& trace) {
  Conversation result;
  const auto refuse = [&result](qint64 line, const QString& why) {
    result.exchanges.clear();
    result.line = line;
    result.error = why;
    return result;
  };
  std::map<QByteArray, LinkState> links;
  qsizetype total = 0;
  // Room for the longest line, its end ("\r\n"), one more character to
  // tell a longer line, and the terminating zero readLine writes.
  std::vector<char> buffer(kMaxTraceLineLength + 4);
  for (qint64 number = 1; !trace.atEnd(); ++number) {
    const qint64 read = trace.readLine(buffer.data(), static_cast<qint64>(buffer.size()));
    if (read < 0)
      return refuse(number, QStringLiteral("cannot be read: %1").arg(trace.errorString()));
    QByteArray text(buffer.data(), static_cast<qsizetype>(read));
    const bool whole = text.endsWith('\n') || trace.atEnd();
    if (text.endsWith('\n')) text.chop(1);
    if (text.endsWith('\r')) text.chop(1);
    if (!whole || text.size() > kMaxTraceLineLength)
      return refuse(number, QStringLiteral("longer than %1 characters").arg(kMaxTraceLineLength));
    if (text.trimmed().isEmpty()) continue;

    Line line;
    if (const QString why = ParseLine(text, line); !why.isEmpty()) return refuse(number, why);
    // What the line will hold in memory: its bytes, the block or request
    // around them, and the first time, its link's name.
    total += line.bytes.size() + kBlockCost + (links.contains(line.link) ? 0 : line.link.size());
    if (total > kMaxConversationBytes) {
      return refuse(number, QStringLiteral("too much to replay (more than %1 bytes in memory up "
                                           "to here); keep the part to replay")
                                .arg(kMaxConversationBytes));
    }
    LinkState& link = links[line.link];
    const qint64 gap = line.ms - link.lastMs;
    if (line.sent) {
      if (link.open && !link.replying && gap >= 0 && gap <= kPieceGapMs) {
        QByteArray& request = result.exchanges[link.exchange].request;
        request += line.bytes;
        if (request.size() > kMaxReplayRequestBytes) {
          return refuse(number, QStringLiteral("the request from line %1 on is longer than %2 "
                                               "bytes")
                                    .arg(result.exchanges[link.exchange].line)
                                    .arg(kMaxReplayRequestBytes));
        }
      } else {
        if (line.bytes.size() > kMaxReplayRequestBytes) {
          return refuse(
              number, QStringLiteral("a request longer than %1 bytes").arg(kMaxReplayRequestBytes));
        }
        link = {result.exchanges.size(), true, false, line.ms};
        result.exchanges.push_back({line.bytes, {}, number});
      }
    } else if (link.open) {
      const int after =
          link.replying ? static_cast<int>(std::clamp<qint64>(gap, 0, kMaxBlockGapMs)) : 0;
      result.exchanges[link.exchange].reply.push_back({line.bytes, after});
      link.replying = true;
    }
    link.lastMs = line.ms;
  }
  if (result.exchanges.empty()) return refuse(0, QStringLiteral("it holds no request"));
  return result;
}

Replay::Replay(std::vector<Exchange> exchanges) : exchanges_(std::move(exchanges)) {
  for (std::size_t i = 0; i < exchanges_.size(); ++i) {
    const QByteArray& request = exchanges_[i].request;
    auto& places =
        waiting_[std::string(request.constData(), static_cast<std::size_t>(request.size()))];
    if (places.empty()) lengths_.insert(static_cast<std::size_t>(request.size()));
    places.push_back(i);
  }
}

Replay::Waiting::iterator Replay::LongestStart(std::string_view bytes) {
  for (std::size_t length : lengths_) {
    if (length > bytes.size()) continue;
    if (auto it = waiting_.find(bytes.substr(0, length)); it != waiting_.end()) return it;
  }
  return waiting_.end();
}

bool Replay::MayGrow(std::string_view bytes) const {
  // The requests longer than `bytes` that start with them sort right after
  // them.
  const auto it = waiting_.upper_bound(bytes);
  return it != waiting_.end() && it->first.starts_with(bytes);
}

std::vector<Replay::Request> Replay::Take(QByteArray& pending, bool quiet, const QString& link) {
  std::vector<Request> taken;
  qsizetype done = 0;  // bytes of `pending` taken
  while (done < pending.size()) {
    const std::string_view rest(pending.constData() + done,
                                static_cast<std::size_t>(pending.size() - done));
    const auto match = LongestStart(rest);
    if (match != waiting_.end() && (match->first.size() < rest.size() || quiet || !MayGrow(rest))) {
      const auto size = static_cast<qsizetype>(match->first.size());
      taken.push_back({pending.sliced(done, size), &exchanges_[match->second.front()]});
      done += size;
      ++received_;
      ++matched_;
      match->second.pop_front();
      if (match->second.empty()) {
        lengths_.erase(lengths_.find(match->first.size()));
        waiting_.erase(match);
      }
      continue;
    }
    // Not whole yet, or unknown: either way the pause that ends a request
    // tells, unless the bytes have grown past any request.
    if (!quiet && static_cast<qsizetype>(rest.size()) < kMaxReplayRequestBytes) break;
    const QByteArray unknown = pending.sliced(done);
    done = pending.size();
    ++received_;
    taken.push_back({unknown, nullptr});
    if (unknown_) unknown_(link, unknown);
  }
  pending.remove(0, done);
  return taken;
}

BlockSender::BlockSender(std::function<void(const QByteArray&)> send, QObject* parent)
    : QObject(parent), send_(std::move(send)) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &BlockSender::SendDue);
}

void BlockSender::Queue(const Exchange& exchange, int delayMs) {
  if (exchange.reply.empty()) return;
  const bool idle = blocks_.empty();
  blocks_.insert(blocks_.end(), exchange.reply.begin(), exchange.reply.end());
  blocks_[blocks_.size() - exchange.reply.size()].gapMs = std::max(delayMs, 0);
  if (idle) SendDue();
}

// Sends the blocks at the front whose time has come, and waits for the
// next one's. A block's gap is waited for once: set to 0 as the wait starts.
void BlockSender::SendDue() {
  while (!blocks_.empty()) {
    if (blocks_.front().gapMs > 0) {
      timer_.start(std::exchange(blocks_.front().gapMs, 0));
      return;
    }
    send_(blocks_.front().bytes);
    blocks_.pop_front();
  }
}

}  // namespace kv770::sim
