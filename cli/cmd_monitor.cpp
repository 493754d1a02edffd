// monitor: the gateway's live values, one line per poll.
#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>

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
  QString csv;
  std::vector<int> meters;
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

// About six significant digits in plain notation: what a person compares
// from line to line. Whole numbers (a totaliser) keep all their digits.
QString PersonText(double value) {
  const double size = std::fabs(value);
  if (size != 0 && size < 1e-4) return QString::number(value, 'e', 3);
  const int digitsBefore = size < 1 ? 1 : static_cast<int>(std::floor(std::log10(size))) + 1;
  return QString::number(value, 'f', std::clamp(6 - digitsBefore, 0, 6));
}

QString ValueText(const live::Sample& s) {
  switch (s.status) {
    case live::Status::kOk:
      return PersonText(s.value);
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
    for (const live::Sample& s : samples) values << ValueText(s);
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

QString IsoTime(std::int64_t timeMs) {
  return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

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
  return {{QStringLiteral("time"), IsoTime(timeMs)}, {QStringLiteral("values"), values}};
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

class MonitorRun {
 public:
  MonitorRun(Session& s, const MonitorOptions& o, live::Monitor& monitor)
      : s_(s), o_(o), monitor_(monitor) {}
  // Polls until --count or a stop signal; throws Failure when the
  // configuration cannot be read, the link fails or the CSV cannot be
  // written.
  void Run();
  int Polls() const { return polls_; }

 private:
  void Exchange(const live::Exchange& e);
  void SleepUntil(std::int64_t at) const;
  void Begin();
  void Show(std::int64_t timeMs, const std::vector<live::Sample>& samples);
  void WriteCsv(const std::string& text);
  void ShowTiming() const;

  Session& s_;
  const MonitorOptions& o_;
  live::Monitor& monitor_;
  Clock clock_;
  link::AppendFile csv_;
  bool csvHeaderDue_ = false;
  std::vector<live::Column> columns_;
  std::optional<Table> table_;
  int polls_ = 0;
  Timing timing_;
};

void MonitorRun::Exchange(const live::Exchange& e) {
  Link& link = s_.Connected();
  QElapsedTimer took;
  took.start();
  QByteArray reply;
  {
    const WaitFor wait(link, e.waitMs);
    reply =
        link.Exchange(Bytes(e.bytes), [&e](const QByteArray& r) { return e.complete(Span(r)); });
  }
  if (timing_.poll.isValid()) timing_.exchangeNs += took.nsecsElapsed();
  monitor_.Reply(Span(reply), clock_.Now());
}

// In short slices, so that Ctrl+C is noticed at once.
void MonitorRun::SleepUntil(std::int64_t at) const {
  for (std::int64_t left = at - clock_.Now(); left > 0 && !StopOnSignals::Stopped();
       left = at - clock_.Now())
    QThread::msleep(static_cast<unsigned long>(std::min<std::int64_t>(left, 50)));
}

// Polling has begun: what was left out, the heading, the CSV header.
void MonitorRun::Begin() {
  columns_ = monitor_.Columns();
  for (const std::string& note : monitor_.Notes()) s_.Note(Text(note));
  table_.emplace(columns_, monitor_.ModbusMode());
  for (const QString& line : table_->Heading()) s_.Say(line);
  const std::string header = live::CsvHeader(columns_);
  if (csvHeaderDue_) {
    WriteCsv(header);
  } else if (csv_.IsOpen()) {
    // Rows under another file's header would be read as the wrong values.
    QFile file(o_.csv);
    const QByteArray first = file.open(QIODevice::ReadOnly) ? file.readLine() : QByteArray();
    if (first != QByteArray::fromStdString(header))
      throw Failure{kBadUsage,
                    QStringLiteral("%1 holds other columns (%2); name a new file for these")
                        .arg(o_.csv, QString::fromUtf8(first.trimmed().left(120)))};
  }
}

void MonitorRun::WriteCsv(const std::string& text) {
  if (!csv_.IsOpen()) return;
  if (!csv_.Write(QByteArray::fromStdString(text)))
    throw Failure{kDeviceFailed,
                  QStringLiteral("cannot write %1: %2").arg(o_.csv, csv_.ErrorString())};
}

void MonitorRun::Show(std::int64_t timeMs, const std::vector<live::Sample>& samples) {
  if (s_.json) {
    // JSON Lines: one compact object per poll.
    s_.Line(QString::fromUtf8(
        QJsonDocument(PollJson(timeMs, columns_, samples)).toJson(QJsonDocument::Compact)));
  } else {
    s_.Say(table_->Line(timeMs, samples));
  }
  WriteCsv(live::CsvRow(timeMs, columns_, samples));
  ++polls_;
}

void MonitorRun::Run() {
  s_.Connected();
  if (!o_.csv.isEmpty()) {
    csvHeaderDue_ = QFileInfo(o_.csv).size() == 0;  // new or empty
    if (!csv_.Open(o_.csv))
      throw Failure{kBadUsage,
                    QStringLiteral("cannot write %1: %2").arg(o_.csv, csv_.ErrorString())};
  }
  while (!StopOnSignals::Stopped() && (o_.count == 0 || polls_ < o_.count)) {
    const live::Phase before = monitor_.State();
    if (const std::optional<live::Exchange> e = monitor_.Next(clock_.Now())) {
      if (before == live::Phase::kPolling && !timing_.poll.isValid()) timing_.poll.start();
      Exchange(*e);
    } else if (monitor_.State() == live::Phase::kFailed) {
      throw Failure{kDeviceFailed, Text(monitor_.Error())};
    } else {
      SleepUntil(monitor_.NextPollAt());
      continue;
    }
    if (monitor_.State() == live::Phase::kFailed)
      throw Failure{kDeviceFailed, Text(monitor_.Error())};
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

}  // namespace

int RunMonitor(Session& s, const CommandLine& line) {
  Expect(line.words, 0,
         QStringLiteral("monitor [--interval MS] [--count N] [--csv FILE] [--meters LIST]"));
  const MonitorOptions o = ParseOptions(line.options);
  if (!s.link)
    BadUsage(QStringLiteral("say which link: --tcp HOST[:PORT] or --serial DEV (see --help)"));
  live::Monitor monitor(
      {.serial = s.link->IsSerial(), .intervalMs = o.intervalMs, .meters = o.meters});
  const StopOnSignals stop({SIGINT, SIGTERM});
  MonitorRun run(s, o, monitor);
  run.Run();
  if (StopOnSignals::Stopped())
    s.Note(QStringLiteral("stopped (%1) after %2 poll%3")
               .arg(QString::fromLocal8Bit(strsignal(StopOnSignals::Signal())))
               .arg(run.Polls())
               .arg(run.Polls() == 1 ? "" : "s"));
  return kDone;
}

}  // namespace kv770::cli
