// SPDX-License-Identifier: GPL-3.0-or-later
// --fleet: one command on many gateways, several at once.
#include "cli/fleet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "cli/commands.h"
#include "cli/ctl.h"
#include "cli/failure.h"
#include "cli/stop_signals.h"
#include "cli/values.h"
#include "link/errors.h"
#include "link/port_names.h"

namespace kv770::cli {

namespace {

constexpr int kMaxDefaultJobs = 16;
constexpr int kMaxJobs = 64;
constexpr qint64 kMaxFleetFileBytes = 1024 * 1024;
// Ctrl+C, a kill, a hang-up or a closed output pipe: no gateway starts
// after it, and each running one stops between two requests.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// How often the waiting thread looks for such a signal.
constexpr std::chrono::milliseconds kStopPoll{100};

// One gateway of the fleet file.
struct Gateway {
  int line = 0;
  QString link;           // as the summary shows it: "tcp 127.0.0.1:7001"
  QStringList arguments;  // the link as kv770ctl takes it
  QString device;         // serial: the device it holds; empty for TCP
  QString fileName;       // backup DIR: its file in DIR
};

// "tcp_127.0.0.1_7001" or "serial_ttyUSB0": a file name made of the link.
QString FileNameOf(const QString& kind, const QString& where) {
  QString name = where;
  name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]+")), QStringLiteral("_"));
  return kind + QLatin1Char('_') + name;
}

Gateway TcpGateway(const QStringList& words) {
  if (words.size() != 2) BadUsage(QStringLiteral("a TCP line is \"tcp HOST[:PORT]\""));
  QString host = words[1];
  int port = TcpLink::kDefaultPort;
  const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
  if (colon >= 0) {
    port = Integer(host.mid(colon + 1), 1, 65535);
    host = host.left(colon);
  }
  if (host.isEmpty()) BadUsage(QStringLiteral("no host in '%1'").arg(words[1]));
  const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
  Gateway g;
  g.link = QStringLiteral("tcp ") + where;
  g.arguments = {QStringLiteral("--tcp"), where};
  g.fileName = FileNameOf(QStringLiteral("tcp"), where);
  return g;
}

Gateway SerialGateway(const QStringList& words) {
  if (words.size() < 2 || words.size() > 4)
    BadUsage(QStringLiteral("a serial line is \"serial DEV [BAUD [PARITY]]\""));
  const int baud = words.size() > 2 ? BaudRate(QString(), words[2]) : 9600;
  const int parity =
      words.size() > 3 ? Choice("parity", words[3], Names(gateway::kParityNames)) : 0;
  Gateway g;
  g.link = QStringLiteral("serial %1 %2 %3").arg(words[1]).arg(baud).arg(ParityName(parity));
  g.arguments = {QStringLiteral("--serial"), words[1],
                 QStringLiteral("--baud"),   QString::number(baud),
                 QStringLiteral("--parity"), ParityName(parity)};
  const QString path = link::PortMap().DevicePath(words[1]);
  const QString canonical = QFileInfo(path).canonicalFilePath();
  g.device = canonical.isEmpty() ? path : canonical;
  g.fileName = FileNameOf(QStringLiteral("serial"), QFileInfo(path).fileName());
  return g;
}

// One line of the fleet file; nullopt for a blank or comment line.
std::optional<Gateway> ParseLine(QString text) {
  const qsizetype hash = text.indexOf(QLatin1Char('#'));
  if (hash >= 0) text.truncate(hash);
  const QStringList words =
      text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  if (words.isEmpty()) return std::nullopt;
  if (words[0] == QLatin1String("tcp")) return TcpGateway(words);
  if (words[0] == QLatin1String("serial")) return SerialGateway(words);
  BadUsage(QStringLiteral("'%1': a line is \"tcp HOST[:PORT]\" or \"serial DEV [BAUD [PARITY]]\"")
               .arg(words[0]));
}

// Every gateway of the file; every bad line is named before anything is
// sent.
std::vector<Gateway> ReadFleetFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    RefuseFile(QStringLiteral("cannot read the fleet file %1: %2").arg(path, file.errorString()));
  const QByteArray contents = file.read(kMaxFleetFileBytes + 1);
  if (contents.size() > kMaxFleetFileBytes)
    RefuseFile(QStringLiteral("%1: more than %2 bytes; no fleet file is that long")
                   .arg(path)
                   .arg(kMaxFleetFileBytes));
  std::vector<Gateway> fleet;
  QStringList errors;
  const QStringList lines = QString::fromUtf8(contents).split(QLatin1Char('\n'));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString where = QStringLiteral("%1:%2: ").arg(path).arg(i + 1);
    try {
      std::optional<Gateway> g = ParseLine(lines[i]);
      if (!g) continue;
      g->line = static_cast<int>(i + 1);
      for (const Gateway& earlier : fleet)
        if (earlier.link == g->link)
          BadUsage(QStringLiteral("%1 again (line %2)").arg(g->link).arg(earlier.line));
      fleet.push_back(*g);
    } catch (const Failure& f) {
      errors << where + f.message;
    } catch (const EConvertError& e) {
      errors << where + e.Message();
    }
  }
  if (!errors.isEmpty()) BadUsage(errors.join(QStringLiteral("\nkv770ctl: ")));
  if (fleet.empty()) BadUsage(QStringLiteral("%1 lists no gateway").arg(path));
  // Two backups must not land in one file.
  std::set<QString> names;
  for (Gateway& g : fleet)
    if (!names.insert(g.fileName).second)
      names.insert(g.fileName += QStringLiteral("_line%1").arg(g.line));
  return fleet;
}

// ---- the command -----------------------------------------------------------------------------

bool IsFlag(const QString& name) {
  const auto flagIn = [&](const std::vector<OptionHelp>& entries) {
    for (const OptionHelp& e : entries)
      for (const Option& o : e.options)
        if (o.names.contains(name)) return o.value.isEmpty();
    return false;
  };
  for (const Command& c : Commands())
    if (flagIn(c.options)) return true;
  return flagIn(RunOptions());
}

// "--name value" for every value `p` holds of each name in `names`.
QStringList Reissued(const QCommandLineParser& p, const QStringList& names) {
  QStringList arguments;
  for (const QString& name : names) {
    if (!p.isSet(name)) continue;
    if (IsFlag(name)) {
      arguments << QStringLiteral("--") + name;
      continue;
    }
    for (const QString& value : p.values(name)) arguments << QStringLiteral("--") + name << value;
  }
  return arguments;
}

// Options of one kind of link: each gateway gets those of its own (a
// single run refuses the others).
const QStringList kSerialOnly = {QStringLiteral("dtr"), QStringLiteral("rts"),
                                 QStringLiteral("com")};
const QStringList kTcpOnly = {QStringLiteral("gap")};

QStringList Except(QStringList names, const QStringList& left) {
  for (const QString& name : left) names.removeAll(name);
  return names;
}

// The run's options and the command's, as arguments, for one kind of link.
struct Arguments {
  QStringList run;      // before the command
  QStringList command;  // after it: the command's own and the run's it leaves free
};

// The command every gateway gets, checked for what a fleet can run.
struct FleetCommand {
  QString family;
  QStringList words;
  Arguments tcp;
  Arguments serial;
  QString backupDir;  // backup DIR: where the files go
  bool json = false;
  bool help = false;

  QStringList For(const Gateway& g) const {
    QStringList w = words;
    if (!backupDir.isEmpty()) w[0] = QDir(backupDir).filePath(g.fileName + QStringLiteral(".json"));
    const Arguments& a = g.device.isEmpty() ? tcp : serial;
    return g.arguments + a.run + QStringList{family} + w + a.command;
  }
};

const QStringList kNotWithFleet = {QStringLiteral("tcp"),   QStringLiteral("serial"),
                                   QStringLiteral("baud"),  QStringLiteral("parity"),
                                   QStringLiteral("trace"), QStringLiteral("dry-run")};

// Before the command every name is the run's; after it only those the
// command leaves to the run (`system set --baud` is the gateway's RS-485
// rate, not the link's).
void RefuseLinkOptions(const QCommandLineParser& p, const QStringList* runsAfter = nullptr) {
  for (const QString& name : kNotWithFleet)
    if ((!runsAfter || runsAfter->contains(name)) && p.isSet(name))
      BadUsage(QStringLiteral("--%1 does not go with --fleet: %2")
                   .arg(name, name == QLatin1String("trace") || name == QLatin1String("dry-run")
                                  ? QStringLiteral("run it on one gateway without --fleet")
                                  : QStringLiteral("the fleet file names each gateway's link")));
}

FleetCommand ParseCommand(const QCommandLineParser& before, const QStringList& command) {
  RefuseLinkOptions(before);
  FleetCommand fc;
  fc.family = command.first();
  const Command* c = FindCommand(fc.family);
  if (!c) BadUsage(QStringLiteral("unknown command '%1'").arg(fc.family));
  QCommandLineParser p;
  QStringList shared;
  const QStringList names = SetUpCommand(p, *c, &shared);
  if (!p.parse(QStringList{QStringLiteral("kv770ctl ") + fc.family} + command.mid(1)))
    BadUsage(p.errorText().chopped(p.errorText().endsWith(QLatin1Char('.')) ? 1 : 0));
  fc.help = p.isSet("help");
  RefuseLinkOptions(p, &shared);
  fc.words = p.positionalArguments();
  const QString verb = fc.words.value(c->verbWord);
  const bool runs =
      fc.family == QLatin1String("check") || fc.family == QLatin1String("backup") ||
      fc.family == QLatin1String("restore") ||
      ((fc.family == QLatin1String("system") || fc.family == QLatin1String("meter")) &&
       verb == QLatin1String("set"));
  if (!runs)
    BadUsage(QStringLiteral("--fleet runs check, backup DIR, restore FILE, system set and "
                            "meter N set; not '%1'")
                 .arg(command.join(QLatin1Char(' '))));
  if (fc.family == QLatin1String("backup")) {
    Expect(fc.words, 1, QStringLiteral("--fleet FILE backup DIR"));
    fc.backupDir = fc.words[0];
    if (fc.backupDir == QLatin1String("-"))
      BadUsage(QStringLiteral("--fleet: backup takes a folder, one file per gateway"));
  }
  fc.json = before.isSet("json") || p.isSet("json");
  QStringList runNames;
  for (const OptionHelp& e : RunOptions())
    for (const Option& o : e.options) runNames << o.names.last();
  runNames.removeAll(QStringLiteral("json"));
  runNames.removeAll(QStringLiteral("fleet"));
  runNames.removeAll(QStringLiteral("jobs"));
  // The command's own names, some of which the run has too (system set
  // --baud): those are the command's here.
  const QStringList own = Except(names, shared);
  fc.tcp = {Reissued(before, Except(runNames, kSerialOnly)),
            Reissued(p, own + Except(shared, kSerialOnly))};
  fc.serial = {Reissued(before, Except(runNames, kTcpOnly)),
               Reissued(p, own + Except(shared, kTcpOnly))};
  fc.tcp.command.removeAll(QStringLiteral("--json"));
  fc.serial.command.removeAll(QStringLiteral("--json"));
  return fc;
}

// ---- running it --------------------------------------------------------------------------------

enum class Result { kOk, kRefused, kNoAnswer, kFailed, kInterrupted, kNotStarted };
constexpr int kResults = 6;

QString ResultName(Result r) {
  switch (r) {
    case Result::kOk:
      return QStringLiteral("ok");
    case Result::kRefused:
      return QStringLiteral("refused");
    case Result::kNoAnswer:
      return QStringLiteral("no answer");
    case Result::kInterrupted:
      return QStringLiteral("interrupted");
    case Result::kNotStarted:
      return QStringLiteral("not started");
    case Result::kFailed:
      break;
  }
  return QStringLiteral("failed");
}

struct Done {
  Result result = Result::kNotStarted;
  RunOutcome outcome;
};

Done Judge(const RunOutcome& o) {
  if (o.code == kDone) return {Result::kOk, o};
  if (o.interrupted) return {Result::kInterrupted, o};
  if (!o.refused.isEmpty()) return {Result::kRefused, o};
  return {o.noAnswer ? Result::kNoAnswer : Result::kFailed, o};
}

// Hands out the gateways, never two on one serial device at a time.
class Queue {
 public:
  explicit Queue(const std::vector<Gateway>& fleet) : fleet_(fleet), taken_(fleet.size()) {}

  // The next gateway free to start; -1 when every one has been taken or
  // the run is stopping.
  int Take() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (stopped_) return -1;
      bool left = false;
      for (std::size_t i = 0; i < fleet_.size(); ++i) {
        if (taken_[i]) continue;
        left = true;
        const QString& device = fleet_[i].device;
        if (!device.isEmpty() && busy_.count(device)) continue;
        taken_[i] = true;
        if (!device.isEmpty()) busy_.insert(device);
        return static_cast<int>(i);
      }
      if (!left) return -1;
      freed_.wait(lock);
    }
  }

  // No gateway starts from now on.
  void Stop() {
    {
      const std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    freed_.notify_all();
  }

  void Release(int i) {
    {
      const std::lock_guard lock(mutex_);
      busy_.erase(fleet_[static_cast<std::size_t>(i)].device);
    }
    freed_.notify_all();
  }

 private:
  const std::vector<Gateway>& fleet_;
  std::vector<bool> taken_;
  std::set<QString> busy_;
  bool stopped_ = false;
  std::mutex mutex_;
  std::condition_variable freed_;
};

QString SummaryLine(const Gateway& g, const Done& d) {
  QString line = QStringLiteral("%1  %2").arg(g.link.leftJustified(30), ResultName(d.result));
  if (d.result == Result::kRefused)
    line += QStringLiteral(": ") + d.outcome.refused.join(QStringLiteral("; "));
  else if (d.result != Result::kOk && d.result != Result::kNotStarted)
    line += QStringLiteral(": ") + d.outcome.message;
  return line;
}

QJsonObject ToJson(const Gateway& g, const Done& d, const FleetCommand& fc) {
  QJsonObject o{{QStringLiteral("line"), g.line},
                {QStringLiteral("link"), g.link},
                {QStringLiteral("result"), ResultName(d.result)}};
  if (d.result != Result::kOk && d.result != Result::kNotStarted)
    o.insert(QStringLiteral("message"), d.outcome.message);
  if (!d.outcome.refused.isEmpty())
    o.insert(QStringLiteral("refused"), QJsonArray::fromStringList(d.outcome.refused));
  if (!fc.backupDir.isEmpty() && d.result == Result::kOk)
    o.insert(QStringLiteral("file"), fc.For(g).last());
  return o;
}

int Jobs(const QCommandLineParser& before, std::size_t gateways) {
  if (before.isSet("jobs")) return Integer("--jobs", before.value("jobs"), 1, kMaxJobs);
  return static_cast<int>(std::min<std::size_t>(gateways, kMaxDefaultJobs));
}

// Every gateway's command checked as if it ran, before any is sent.
void CheckEach(const std::vector<Gateway>& fleet, const FleetCommand& fc, const QByteArray* input) {
  QStringList errors;
  QStringList messages;
  for (const Gateway& g : fleet) {
    QString text;
    QTextStream quiet(&text);
    RunInput check;
    check.checkOnly = true;
    check.standardInput = input;
    const RunOutcome o = RunOnce(fc.For(g), quiet, quiet, check);
    if (o.code == kDone) continue;
    errors << QStringLiteral("line %1 (%2): %3").arg(g.line).arg(g.link, o.message);
    messages << o.message;
  }
  if (errors.isEmpty()) return;
  // A fault of the command itself is the same for every gateway: said once.
  messages.removeDuplicates();
  if (messages.size() == 1 && errors.size() == static_cast<qsizetype>(fleet.size()))
    BadUsage(messages.first());
  BadUsage(errors.join(QStringLiteral("\nkv770ctl: ")));
}

// "restore -": standard input read once, whole, for every gateway (a run
// of its own would leave nothing for the next). Restore judges it, so one
// byte more than any backup's size is enough to see it is too long.
QByteArray ReadStandardInput() {
  constexpr qint64 kMaxInputBytes = 1024 * 1024;
  QFile file;
  if (!file.open(stdin, QIODevice::ReadOnly))
    RefuseFile(QStringLiteral("cannot read standard input: %1").arg(file.errorString()));
  QByteArray contents = file.read(kMaxInputBytes + 1);
  if (file.error() != QFileDevice::NoError)
    RefuseFile(QStringLiteral("cannot read standard input: %1").arg(file.errorString()));
  return contents;
}

// A signal meant for the fleet is taken by the thread that waits for the
// gateways, never inside a gateway's exchange (nor the serial threads a
// run starts, which inherit the mask).
void LeaveStopSignalsToTheMainThread() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The gateways never started, then the count (or the whole run as JSON);
// true when every gateway succeeded.
bool ShowSummary(const std::vector<Gateway>& fleet, const std::vector<Done>& done,
                 const FleetCommand& fc, QTextStream& out) {
  int counts[kResults] = {};
  QJsonArray list;
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    ++counts[static_cast<int>(done[i].result)];
    list.append(ToJson(fleet[i], done[i], fc));
    if (done[i].result == Result::kNotStarted && !fc.json)
      out << SummaryLine(fleet[i], done[i]) << Qt::endl;
  }
  const bool allOk = counts[0] == static_cast<int>(fleet.size());
  if (fc.json) {
    out << QJsonDocument(QJsonObject{{QStringLiteral("gateways"), list},
                                     {QStringLiteral("ok"), counts[0]},
                                     {QStringLiteral("refused"), counts[1]},
                                     {QStringLiteral("noAnswer"), counts[2]},
                                     {QStringLiteral("failed"), counts[3]},
                                     {QStringLiteral("interrupted"), counts[4]},
                                     {QStringLiteral("notStarted"), counts[5]}})
               .toJson(QJsonDocument::Indented);
  } else {
    QStringList parts{QStringLiteral("%1 ok").arg(counts[0])};
    for (int r = 1; r < kResults; ++r)
      if (counts[r]) parts << QStringLiteral("%1 %2").arg(counts[r]).arg(ResultName(Result(r)));
    out << QStringLiteral("%1 gateways: %2").arg(fleet.size()).arg(parts.join(QStringLiteral(", ")))
        << Qt::endl;
  }
  return allOk;
}

}  // namespace

int RunFleet(const QCommandLineParser& before, const QStringList& command, QTextStream& out,
             QTextStream& err) {
  const std::vector<Gateway> fleet = ReadFleetFile(before.value("fleet"));
  const FleetCommand fc = ParseCommand(before, command);
  if (fc.help) {
    out << CommandUsageText(*FindCommand(fc.family));
    return kDone;
  }
  const int jobs = Jobs(before, fleet.size());
  std::optional<QByteArray> input;
  if (fc.family == QLatin1String("restore") && fc.words.value(0) == QLatin1String("-"))
    input = ReadStandardInput();
  const QByteArray* given = input ? &*input : nullptr;
  CheckEach(fleet, fc, given);
  if (!fc.backupDir.isEmpty() && !QDir().mkpath(fc.backupDir))
    throw Failure{kDeviceFailed, QStringLiteral("cannot make the folder %1").arg(fc.backupDir)};

  const StopOnSignals onSignal(std::vector<int>(std::begin(kStopSignals), std::end(kStopSignals)));
  std::atomic<bool> stopping = false;
  std::vector<Done> done(fleet.size());
  std::vector<int> finished;  // in the order they finished
  int running = jobs;
  std::mutex mutex;
  std::condition_variable changed;
  Queue queue(fleet);
  const auto work = [&] {
    LeaveStopSignalsToTheMainThread();
    RunInput run;
    run.standardInput = given;
    run.stopRequested = [&] { return stopping.load(); };
    for (int i; (i = queue.Take()) >= 0;) {
      QString text;
      QTextStream quiet(&text);
      const Done d = Judge(RunOnce(fc.For(fleet[static_cast<std::size_t>(i)]), quiet, quiet, run));
      queue.Release(i);
      {
        const std::lock_guard lock(mutex);
        done[static_cast<std::size_t>(i)] = d;
        finished.push_back(i);
      }
      changed.notify_all();
    }
    {
      const std::lock_guard lock(mutex);
      --running;
    }
    changed.notify_all();
  };
  std::vector<std::unique_ptr<QThread>> threads;
  for (int j = 0; j < jobs; ++j) {
    threads.emplace_back(QThread::create(work));
    threads.back()->start();
  }
  // Each gateway's line as it finishes, written from this thread alone.
  std::size_t shown = 0;
  for (std::unique_lock lock(mutex);;) {
    std::vector<int> lines(finished.begin() + static_cast<std::ptrdiff_t>(shown), finished.end());
    shown = finished.size();
    const bool over = running == 0;
    lock.unlock();
    for (int i : lines)
      if (!fc.json)
        out << SummaryLine(fleet[static_cast<std::size_t>(i)], done[static_cast<std::size_t>(i)])
            << Qt::endl;
    if (over) break;
    if (StopOnSignals::Stopped() && !stopping) {
      stopping = true;
      queue.Stop();
    }
    lock.lock();
    if (finished.size() == shown && running > 0) changed.wait_for(lock, kStopPoll);
  }
  for (auto& t : threads) t->wait();

  const bool allOk = ShowSummary(fleet, done, fc, out);
  QStringList said;
  if (stopping)
    said << QStringLiteral(
                "stopped (%1): no gateway started after it; those running stopped between two "
                "requests")
                .arg(QString::fromLocal8Bit(strsignal(StopOnSignals::Signal())));
  if (!allOk) said << QStringLiteral("not every gateway succeeded");
  if (fc.json && !allOk)
    err << FailureJson(said.join(QStringLiteral("; ")), kDeviceFailed);
  else
    for (const QString& line : said) err << "kv770ctl: " << line << Qt::endl;
  return allOk ? kDone : kDeviceFailed;
}

}  // namespace kv770::cli
