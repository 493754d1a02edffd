// SPDX-License-Identifier: GPL-3.0-or-later
// monitor: the gateway's live values, one line per poll.
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "base/iso_time.h"
#include "base/waits.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/stop_signals.h"
#include "cli/values.h"
#include "link/file_output.h"
#include "live/monitor.h"

namespace kv770::cli {

namespace {

struct MonitorOptions {
  int intervalMs = 1000;
  int count = 0;  // 0: until stopped
  QString csv;    // "-": standard output
  std::vector<int> meters;
  int replyWaitMs = 0;  // --timeout: every exchange's wait; 0: the monitor's own
};

// "1,3", "2-5", "1-2,7": each meter once, in order.
std::vector<int> MeterList(const QString& list) {
  return NumberList(QStringLiteral("meters"), list, 1, gateway::kMeters);
}

MonitorOptions ParseOptions(const QCommandLineParser& p) {
  MonitorOptions o;
  if (p.isSet("interval")) o.intervalMs = Integer(p.value("interval"), 0, 24 * 3600 * 1000);
  if (p.isSet("count")) o.count = Integer(p.value("count"), 1, INT_MAX);
  if (p.isSet("csv")) o.csv = p.value("csv");
  if (p.isSet("meters")) o.meters = MeterList(p.value("meters"));
  return o;
}

// ---- showing values ----------------------------------------------------------------------

// A value, or what stands in the column for a missing one.
QString CellText(const live::Sample& s) {
  switch (s.status) {
    case live::Status::kOk:
      return Text(live::ValueText(s.value));
    case live::Status::kNoAnswer:
      return QStringLiteral("—");
    case live::Status::kBadReply:
      return QStringLiteral("bad");
  }
  return {};
}

// "m1 cur", "ch3 v2".
QString ColumnName(const live::Column& c, bool modbus) {
  return QStringLiteral("%1%2 %3")
      .arg(modbus ? "m" : "ch")
      .arg(c.meter)
      .arg(c.quantity == 0 ? QStringLiteral("cur") : QStringLiteral("v%1").arg(c.quantity));
}

// The text table: a line of names and one of units once, then one line
// per poll, each column as wide as its widest heading.
class Table {
 public:
  Table(const std::vector<live::Column>& columns, bool modbus) {
    for (const live::Column& c : columns) {
      names_ << ColumnName(c, modbus);
      units_ << Text(live::UnitLabel(c));
      widths_.push_back(std::max<int>(10, std::max(names_.back().size(), units_.back().size())));
    }
  }
  QStringList Heading() const {
    return {Row(QStringLiteral("time"), names_), Row(QStringLiteral("unit"), units_)};
  }
  QString Line(std::int64_t timeMs, const std::vector<live::Sample>& samples) const {
    QStringList values;
    for (const live::Sample& s : samples) values << CellText(s);
    return Row(QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("HH:mm:ss.zzz")),
               values);
  }

 private:
  QString Row(const QString& first, const QStringList& cells) const {
    QString row = QStringLiteral("%1").arg(first, -12);
    for (qsizetype i = 0; i < cells.size() && i < static_cast<qsizetype>(widths_.size()); ++i)
      row += QStringLiteral("%1").arg(cells[i], widths_[static_cast<std::size_t>(i)] + 1);
    return row;
  }
  QStringList names_;
  QStringList units_;
  std::vector<int> widths_;
};

QJsonObject PollJson(std::int64_t timeMs, const std::vector<live::Column>& columns,
                     const std::vector<live::Sample>& samples) {
  QJsonArray values;
  for (std::size_t i = 0; i < samples.size() && i < columns.size(); ++i) {
    const live::Sample& s = samples[i];
    QJsonObject v{{QStringLiteral("meter"), s.meter},
                  {QStringLiteral("quantity"), Text(live::QuantityName(s.quantity))},
                  {QStringLiteral("value"),
                   s.status == live::Status::kOk ? QJsonValue(s.value) : QJsonValue()},
                  {QStringLiteral("unit"), Text(s.unit)},
                  {QStringLiteral("status"), Text(live::StatusName(s.status))}};
    if (!columns[i].coefficient.empty())
      v.insert(QStringLiteral("coefficient"), Text(columns[i].coefficient));
    values.append(v);
  }
  return {{QStringLiteral("time"), Text(base::IsoTime(timeMs))},
          {QStringLiteral("values"), values}};
}

// ---- the run -----------------------------------------------------------------------------

// The monitor's clock: wall time in ms since 1970 (the CSV's
// and the lines' times), advancing monotonically from the start.
class Clock {
 public:
  Clock() : start_(QDateTime::currentMSecsSinceEpoch()) { since_.start(); }
  std::int64_t Now() const { return start_ + since_.elapsed(); }

 private:
  std::int64_t start_;
  QElapsedTimer since_;
};

// With KV770_MONITOR_TIMING set, the run ends by telling how long its polls
// took beyond the link's own exchanges (scripts/bench reads it).
struct Timing {
  bool wanted = qEnvironmentVariableIsSet("KV770_MONITOR_TIMING");
  qint64 exchangeNs = 0;
  qint64 pollNs = 0;
  int polls = 0;
  QElapsedTimer poll;
};

// A reader of standard output that goes away (head, a closed pager) costs
// a failed write, seen and ending the run between rows, not the process
// mid-row. Left so afterwards: Qt's network module ignores SIGPIPE for the
// whole program too, once, and would not do it again.
void IgnoreClosedPipes() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

class MonitorRun {
 public:
  MonitorRun(Session& s, const MonitorOptions& o, live::Monitor& monitor);
  // Polls until --count, a stop signal or an output that takes no more;
  // throws Failure when the configuration cannot be read or an output
  // fails.
  void Run();
  int Polls() const { return polls_; }
  // Polls with at least one value.
  int Answered() const { return answered_; }
  // Standard output's reader has gone.
  bool PipeClosed() const { return pipeClosed_; }
  // The link was lost and not found again before the end.
  bool Away() const { return away_; }

 private:
  bool Ending() const;
  void Exchange(const live::Exchange& e);
  void Lost(const QString& why);
  void Reconnect();
  void SleepUntil(std::int64_t at) const;
  void OpenCsv();
  void Begin();
  void Show(std::int64_t timeMs, const std::vector<live::Sample>& samples);
  void WriteCsv(const std::string& text);
  void CsvFailed();
  void CheckOutput();
  [[noreturn]] void FailConfiguration() const;
  void ShowTiming() const;

  Session& s_;
  const MonitorOptions& o_;
  live::Monitor& monitor_;
  Clock clock_;
  link::AppendFile csv_;
  std::vector<live::Column> columns_;
  std::optional<Table> table_;
  int polls_ = 0;
  int answered_ = 0;
  bool pipeClosed_ = false;
  // The link is gone: polls are gaps, and it is tried again from
  // retryAt_ on; retryMs_ is the wait after a loss or a failed attempt.
  bool away_ = false;
  std::int64_t retryAt_ = 0;
  int retryMs_ = waits::kRetryFirstMs;
  int gapsAway_ = 0;
  // The last reply, when the wait ran out before it was whole: a
  // configuration that then does not decode was cut, not wrong.
  QString cutReply_;
  QTimer stopLook_;
  Timing timing_;
};

MonitorRun::MonitorRun(Session& s, const MonitorOptions& o, live::Monitor& monitor)
    : s_(s), o_(o), monitor_(monitor) {
  // Over TCP a stop ends the wait by closing the connection; a serial
  // wait ends within its time-out.
  stopLook_.setInterval(waits::kStopLookMs);
  QObject::connect(&stopLook_, &QTimer::timeout, [this] {
    if (auto* tcp = dynamic_cast<TcpLink*>(s_.link.get()); tcp && StopOnSignals::Stopped())
      tcp->Socket().Close();
  });
}

bool MonitorRun::Ending() const {
  return StopOnSignals::Stopped() || pipeClosed_ || s_.trace.Failed() ||
         (o_.count != 0 && polls_ >= o_.count);
}

void MonitorRun::Exchange(const live::Exchange& e) {
  if (away_) {
    monitor_.Reply({}, clock_.Now());  // nothing to send it on: a gap
    return;
  }
  Link& link = *s_.link;
  QElapsedTimer took;
  took.start();
  QByteArray reply;
  stopLook_.start();
  try {
    const WaitFor wait(link, e.waitMs);
    reply =
        link.Exchange(Bytes(e.bytes), [&e](const QByteArray& r) { return e.complete(Span(r)); });
  } catch (const Failure& f) {
    stopLook_.stop();
    if (StopOnSignals::Stopped()) return;
    // The configuration is read once, whole; after it a logger carries on.
    if (monitor_.State() != live::Phase::kPolling) throw;
    Lost(f.message);
    reply.clear();
  }
  stopLook_.stop();
  // A poll cut short by a stop gives no row.
  if (StopOnSignals::Stopped()) return;
  if (timing_.poll.isValid()) timing_.exchangeNs += took.nsecsElapsed();
  if (!reply.isEmpty()) retryMs_ = waits::kRetryFirstMs;
  cutReply_.clear();
  if (!reply.isEmpty() && took.elapsed() >= e.waitMs && !e.complete(Span(reply)))
    cutReply_ =
        QStringLiteral("the reply to %1 was cut off after %2 bytes within the wait of %3 ms")
            .arg(Shown(Bytes(e.bytes)))
            .arg(reply.size())
            .arg(e.waitMs);
  monitor_.Reply(Span(reply), clock_.Now());
}

void MonitorRun::Lost(const QString& why) {
  away_ = true;
  gapsAway_ = 0;
  retryAt_ = clock_.Now() + retryMs_;
  s_.Note(QStringLiteral("%1: lost the gateway: %2; polls are gaps until it is back")
              .arg(QDateTime::fromMSecsSinceEpoch(clock_.Now()).toString("HH:mm:ss"), why));
}

void MonitorRun::Reconnect() {
  const std::int64_t now = clock_.Now();
  if (now < retryAt_) return;
  const std::int64_t untilPoll = monitor_.NextPollAt() - now;
  // Longer each time, until a reply comes: a gateway that takes the
  // connection and drops it again is not hammered either.
  retryMs_ = std::min(retryMs_ * 2, waits::kRetryLongestMs);
  // A fresh connection, not what is left of the lost one.
  if (auto* tcp = dynamic_cast<TcpLink*>(s_.link.get())) tcp->Socket().Close();
  try {
    const WaitFor wait(*s_.link, static_cast<int>(std::clamp<std::int64_t>(
                                     untilPoll, waits::kAttemptShortestMs, s_.timeoutMs)));
    s_.link->Open();
  } catch (const Failure&) {
    retryAt_ = clock_.Now() + retryMs_;
    return;
  }
  away_ = false;
  monitor_.LinkRenewed();
  s_.Note(QStringLiteral("%1: connected again (%2) after %3 poll%4 as gaps")
              .arg(QDateTime::fromMSecsSinceEpoch(clock_.Now()).toString("HH:mm:ss"),
                   s_.link->Describe())
              .arg(gapsAway_)
              .arg(gapsAway_ == 1 ? "" : "s"));
}

// In short slices, so that Ctrl+C is noticed at once.
void MonitorRun::SleepUntil(std::int64_t at) const {
  for (std::int64_t left = at - clock_.Now(); left > 0 && !StopOnSignals::Stopped();
       left = at - clock_.Now())
    QThread::msleep(static_cast<unsigned long>(std::min<std::int64_t>(left, waits::kStopLookMs)));
}

// "-" is standard output, the lines for people then go to standard error.
void MonitorRun::OpenCsv() {
  if (o_.csv.isEmpty()) return;
  const bool opened = o_.csv == QLatin1String("-") ? csv_.OpenStandardOutput() : csv_.Open(o_.csv);
  if (!opened)
    throw Failure{kBadUsage,
                  QStringLiteral("cannot write %1: %2").arg(csv_.Path(), csv_.ErrorString())};
}

// Polling has begun: what was left out, the heading, the CSV header.
void MonitorRun::Begin() {
  columns_ = monitor_.Columns();
  for (const std::string& note : monitor_.Notes()) s_.Note(Text(note));
  table_.emplace(columns_, monitor_.ModbusMode());
  for (const QString& line : table_->Heading()) s_.Say(line);
  CheckOutput();
  if (!csv_.IsOpen()) return;
  const std::string header = live::CsvHeader(columns_);
  // A pipe, a terminal or an empty file gets the header; rows under
  // another file's header would be read as the wrong values.
  if (csv_.RegularSize() <= 0) return WriteCsv(header);
  const QByteArray head = csv_.Head(static_cast<qsizetype>(header.size()) + 120);
  const QByteArray first = head.left(head.indexOf('\n') + 1);
  if (first != QByteArray::fromStdString(header))
    throw Failure{kBadUsage,
                  QStringLiteral("%1 holds other columns (%2); name a new file for these")
                      .arg(csv_.Path(), QString::fromUtf8(first.trimmed().left(120)))};
  // A row a killed run left unfinished ends where it stopped.
  if (!csv_.EndLastLine("\r\n")) CsvFailed();
}

void MonitorRun::WriteCsv(const std::string& text) {
  if (csv_.IsOpen() && !csv_.Write(QByteArray::fromStdString(text))) CsvFailed();
}

void MonitorRun::CsvFailed() {
  if (csv_.Error() == EPIPE) {
    pipeClosed_ = true;
    return;
  }
  throw Failure{kDeviceFailed,
                QStringLiteral("cannot write %1: %2").arg(csv_.Path(), csv_.ErrorString())};
}

// Lines for people that can no longer be written end the run: a logger
// that nobody can read would poll on for nothing.
void MonitorRun::CheckOutput() {
  const QString failed = s_.OutputFailure();
  if (failed.isEmpty()) return;
  if (failed == link::SystemReason(EPIPE)) {
    pipeClosed_ = true;
    return;
  }
  throw Failure{kDeviceFailed, QStringLiteral("cannot write standard output: %1").arg(failed)};
}

void MonitorRun::Show(std::int64_t timeMs, const std::vector<live::Sample>& samples) {
  ++polls_;
  if (std::any_of(samples.begin(), samples.end(),
                  [](const live::Sample& x) { return x.status == live::Status::kOk; }))
    ++answered_;
  if (away_) ++gapsAway_;
  // The record first: it is what the run is for.
  WriteCsv(live::CsvRow(timeMs, columns_, samples));
  if (s_.json) {
    // JSON Lines: one compact object per poll.
    s_.Line(QString::fromUtf8(
        QJsonDocument(PollJson(timeMs, columns_, samples)).toJson(QJsonDocument::Compact)));
  } else {
    s_.Say(table_->Line(timeMs, samples));
  }
  CheckOutput();
}

void MonitorRun::FailConfiguration() const {
  if (!cutReply_.isEmpty())
    throw Failure{kDeviceFailed, cutReply_ + QStringLiteral("; a longer --timeout may help")};
  throw Failure{kDeviceFailed, Text(monitor_.Error())};
}

void MonitorRun::Run() {
  s_.Connected();
  OpenCsv();
  while (!Ending()) {
    if (away_) Reconnect();
    const live::Phase before = monitor_.State();
    if (const std::optional<live::Exchange> e = monitor_.Next(clock_.Now())) {
      if (before == live::Phase::kPolling && !timing_.poll.isValid()) timing_.poll.start();
      Exchange(*e);
      if (StopOnSignals::Stopped()) break;
    } else if (monitor_.State() == live::Phase::kFailed) {
      FailConfiguration();
    } else {
      SleepUntil(away_ ? std::min(monitor_.NextPollAt(), retryAt_) : monitor_.NextPollAt());
      continue;
    }
    if (monitor_.State() == live::Phase::kFailed) FailConfiguration();
    if (before != live::Phase::kPolling && monitor_.State() == live::Phase::kPolling) Begin();
    const std::vector<live::Sample> samples = monitor_.TakeSamples();
    // One poll's samples at a time; each poll gives one per column.
    for (std::size_t at = 0; at + columns_.size() <= samples.size() && !columns_.empty();
         at += columns_.size()) {
      const std::vector<live::Sample> poll(
          samples.begin() + static_cast<std::ptrdiff_t>(at),
          samples.begin() + static_cast<std::ptrdiff_t>(at + columns_.size()));
      Show(poll.front().timeMs, poll);
      if (timing_.poll.isValid()) {
        timing_.pollNs += timing_.poll.nsecsElapsed();
        timing_.poll.invalidate();
        ++timing_.polls;
      }
    }
  }
  ShowTiming();
}

void MonitorRun::ShowTiming() const {
  if (!timing_.wanted || timing_.polls == 0) return;
  const double perPoll = 1e-6 / timing_.polls;
  s_.Note(QStringLiteral("timing: %1 polls, %2 ms each, of which %3 ms in the link's exchanges")
              .arg(timing_.polls)
              .arg(static_cast<double>(timing_.pollNs) * perPoll, 0, 'f', 3)
              .arg(static_cast<double>(timing_.exchangeNs) * perPoll, 0, 'f', 3));
}

// Standard output's reader has gone: the run ends as any program does
// whose pipe was closed, silently and by SIGPIPE, now that every row is
// whole.
[[noreturn]] void EndAsClosedPipe() {
  std::signal(SIGPIPE, SIG_DFL);
  std::raise(SIGPIPE);
  std::_Exit(kDeviceFailed);  // SIGPIPE blocked by whoever started us
}

}  // namespace

int RunMonitor(Session& s, const CommandLine& line) {
  Expect(line.words, 0,
         QStringLiteral("monitor [--interval MS] [--count N] [--csv FILE] [--meters LIST]"));
  MonitorOptions o = ParseOptions(line.options);
  if (line.run.isSet("timeout")) o.replyWaitMs = s.timeoutMs;
  if (!s.link)
    BadUsage(QStringLiteral("say which link: --tcp HOST[:PORT] or --serial DEV (see --help)"));
  s.fileOnStdout = o.csv == QLatin1String("-");
  live::Monitor monitor({.serial = s.link->IsSerial(),
                         .intervalMs = o.intervalMs,
                         .meters = o.meters,
                         .replyWaitMs = o.replyWaitMs});
  const StopOnSignals stop({SIGINT, SIGTERM, SIGHUP});
  IgnoreClosedPipes();
  MonitorRun run(s, o, monitor);
  run.Run();
  if (run.PipeClosed()) EndAsClosedPipe();
  // A trace that failed ends the run; the caller says why.
  if (s.trace.Failed()) return kDone;
  const QString polls =
      QStringLiteral("%1 poll%2").arg(run.Polls()).arg(run.Polls() == 1 ? "" : "s");
  if (StopOnSignals::Stopped())
    s.Note(QStringLiteral("stopped (%1) after %2")
               .arg(QString::fromLocal8Bit(strsignal(StopOnSignals::Signal())), polls));
  if (run.Away()) s.Note(QStringLiteral("the gateway was still away at the end"));
  if (run.Polls() > 0 && run.Answered() == 0)
    throw Failure{kDeviceFailed,
                  QStringLiteral("no value in %1: the gateway answered none of them").arg(polls)};
  return kDone;
}

}  // namespace kv770::cli
