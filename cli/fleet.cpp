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
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "cli/commands.h"
#include "cli/ctl.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "link/errors.h"
#include "link/port_names.h"

namespace kv770::cli {

namespace {

constexpr int kMaxDefaultJobs = 16;
constexpr int kMaxJobs = 64;
constexpr qint64 kMaxFleetFileBytes = 1024 * 1024;

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
  const int baud = words.size() > 2 ? BaudRate(words[2]) : 9600;
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
    BadUsage(QStringLiteral("cannot read the fleet file %1: %2").arg(path, file.errorString()));
  const QByteArray contents = file.read(kMaxFleetFileBytes + 1);
  if (contents.size() > kMaxFleetFileBytes)
    BadUsage(QStringLiteral("%1: more than %2 bytes; no fleet file is that long")
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

// The command every gateway gets, checked for what a fleet can run.
struct FleetCommand {
  QString family;
  QStringList words;
  QStringList runOptions;  // the run's, as arguments
  QStringList options;     // the command's own, as arguments
  QString backupDir;       // backup DIR: where the files go
  bool json = false;
  bool help = false;

  QStringList For(const Gateway& g) const {
    QStringList w = words;
    if (!backupDir.isEmpty()) w[0] = QDir(backupDir).filePath(g.fileName + QStringLiteral(".json"));
    return g.arguments + runOptions + QStringList{family} + w + options;
  }
};

const QStringList kNotWithFleet = {QStringLiteral("tcp"),   QStringLiteral("serial"),
                                   QStringLiteral("baud"),  QStringLiteral("parity"),
                                   QStringLiteral("trace"), QStringLiteral("dry-run")};

void RefuseLinkOptions(const QCommandLineParser& p) {
  for (const QString& name : kNotWithFleet)
    if (p.isSet(name))
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
  if (!c) BadUsage(QStringLiteral("unknown command '%1' (see kv770ctl --help)").arg(fc.family));
  QCommandLineParser p;
  QStringList shared;
  const QStringList names = SetUpCommand(p, *c, &shared);
  if (!p.parse(QStringList{QStringLiteral("kv770ctl ") + fc.family} + command.mid(1)))
    BadUsage(p.errorText() + QStringLiteral(" (see kv770ctl --help)"));
  fc.help = p.isSet("help");
  RefuseLinkOptions(p);
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
  QStringList own = names;
  for (const QString& n : runNames) own.removeAll(n);
  fc.runOptions = Reissued(before, runNames);
  fc.options = Reissued(p, own + shared);
  fc.options.removeAll(QStringLiteral("--json"));
  return fc;
}

// ---- running it --------------------------------------------------------------------------------

enum class Result { kOk, kRefused, kNoAnswer, kFailed };

QString ResultName(Result r) {
  switch (r) {
    case Result::kOk:
      return QStringLiteral("ok");
    case Result::kRefused:
      return QStringLiteral("refused");
    case Result::kNoAnswer:
      return QStringLiteral("no answer");
    case Result::kFailed:
      break;
  }
  return QStringLiteral("failed");
}

struct Done {
  Result result = Result::kFailed;
  RunOutcome outcome;
};

Done Judge(const RunOutcome& o) {
  if (o.code == kDone) return {Result::kOk, o};
  if (!o.refused.isEmpty()) return {Result::kRefused, o};
  return {o.noAnswer ? Result::kNoAnswer : Result::kFailed, o};
}

// Hands out the gateways, never two on one serial device at a time.
class Queue {
 public:
  explicit Queue(const std::vector<Gateway>& fleet) : fleet_(fleet), taken_(fleet.size()) {}

  // The next gateway free to start; -1 when every one has been taken.
  int Take() {
    std::unique_lock lock(mutex_);
    for (;;) {
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
  std::mutex mutex_;
  std::condition_variable freed_;
};

QString SummaryLine(const Gateway& g, const Done& d) {
  QString line = QStringLiteral("%1  %2").arg(g.link.leftJustified(30), ResultName(d.result));
  if (d.result == Result::kRefused)
    line += QStringLiteral(": ") + d.outcome.refused.join(QStringLiteral("; "));
  else if (d.result != Result::kOk)
    line += QStringLiteral(": ") + d.outcome.message;
  return line;
}

QJsonObject ToJson(const Gateway& g, const Done& d, const FleetCommand& fc) {
  QJsonObject o{{QStringLiteral("line"), g.line},
                {QStringLiteral("link"), g.link},
                {QStringLiteral("result"), ResultName(d.result)}};
  if (d.result != Result::kOk) o.insert(QStringLiteral("message"), d.outcome.message);
  if (!d.outcome.refused.isEmpty())
    o.insert(QStringLiteral("refused"), QJsonArray::fromStringList(d.outcome.refused));
  if (!fc.backupDir.isEmpty() && d.result == Result::kOk)
    o.insert(QStringLiteral("file"), fc.For(g).last());
  return o;
}

int Jobs(const QCommandLineParser& before, std::size_t gateways) {
  if (before.isSet("jobs")) return Integer(before.value("jobs"), 1, kMaxJobs);
  return static_cast<int>(std::min<std::size_t>(gateways, kMaxDefaultJobs));
}

// Every gateway's command checked as if it ran, before any is sent.
void CheckEach(const std::vector<Gateway>& fleet, const FleetCommand& fc) {
  QStringList errors;
  QStringList messages;
  for (const Gateway& g : fleet) {
    QString text;
    QTextStream quiet(&text);
    const RunOutcome o = RunOnce(fc.For(g), quiet, quiet, true);
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

}  // namespace

int RunFleet(const QCommandLineParser& before, const QStringList& command, QTextStream& out,
             QTextStream& err) {
  const std::vector<Gateway> fleet = ReadFleetFile(before.value("fleet"));
  const FleetCommand fc = ParseCommand(before, command);
  if (fc.help) {
    out << UsageText();
    return kDone;
  }
  const int jobs = Jobs(before, fleet.size());
  CheckEach(fleet, fc);
  if (!fc.backupDir.isEmpty() && !QDir().mkpath(fc.backupDir))
    throw Failure{kDeviceFailed, QStringLiteral("cannot make the folder %1").arg(fc.backupDir)};

  std::vector<Done> done(fleet.size());
  std::mutex report;
  Queue queue(fleet);
  const auto work = [&] {
    for (int i; (i = queue.Take()) >= 0;) {
      const Gateway& g = fleet[static_cast<std::size_t>(i)];
      QString text;
      QTextStream quiet(&text);
      const Done d = Judge(RunOnce(fc.For(g), quiet, quiet));
      queue.Release(i);
      const std::lock_guard lock(report);
      done[static_cast<std::size_t>(i)] = d;
      if (!fc.json) out << SummaryLine(g, d) << Qt::endl;
    }
  };
  std::vector<std::unique_ptr<QThread>> threads;
  for (int j = 0; j < jobs; ++j) {
    threads.emplace_back(QThread::create(work));
    threads.back()->start();
  }
  for (auto& t : threads) t->wait();

  int counts[4] = {};
  QJsonArray list;
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    ++counts[static_cast<int>(done[i].result)];
    list.append(ToJson(fleet[i], done[i], fc));
  }
  const bool allOk = counts[0] == static_cast<int>(fleet.size());
  if (fc.json) {
    out << QJsonDocument(QJsonObject{{QStringLiteral("gateways"), list},
                                     {QStringLiteral("ok"), counts[0]},
                                     {QStringLiteral("refused"), counts[1]},
                                     {QStringLiteral("noAnswer"), counts[2]},
                                     {QStringLiteral("failed"), counts[3]}})
               .toJson(QJsonDocument::Indented);
  } else {
    QStringList parts{QStringLiteral("%1 ok").arg(counts[0])};
    for (int r = 1; r < 4; ++r)
      if (counts[r]) parts << QStringLiteral("%1 %2").arg(counts[r]).arg(ResultName(Result(r)));
    out << QStringLiteral("%1 gateways: %2").arg(fleet.size()).arg(parts.join(QStringLiteral(", ")))
        << Qt::endl;
  }
  if (!allOk) err << "kv770ctl: not every gateway succeeded" << Qt::endl;
  return allOk ? kDone : kDeviceFailed;
}

}  // namespace kv770::cli
