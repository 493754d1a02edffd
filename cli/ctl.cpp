// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ctl.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <initializer_list>
#include <memory>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/fleet.h"
#include "cli/values.h"
#include "link/errors.h"

#ifndef KV770_VERSION
#define KV770_VERSION "0"
#endif

namespace kv770::cli {

namespace {

// Names of the command's settings given, leaving out those of the run.
QStringList SettingsGiven(const QCommandLineParser& p, const QStringList& runOptions) {
  QStringList names = p.optionNames();
  for (const QString& name : runOptions) names.removeAll(name);
  return names;
}

std::unique_ptr<Link> MakeTcpLink(const RunValues& p, int timeoutMs, int gapMs) {
  QString host = p.value("tcp");
  int port = TcpLink::kDefaultPort;
  const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
  if (colon >= 0) {
    port = Integer("--tcp", host.mid(colon + 1), 1, 65535);
    host = host.left(colon);
  }
  if (host.isEmpty()) BadUsage(QStringLiteral("--tcp: no host in '%1'").arg(p.value("tcp")));
  return std::make_unique<TcpLink>(host, port, timeoutMs, gapMs);
}

std::unique_ptr<Link> MakeSerialLink(const RunValues& p, int timeoutMs) {
  const int baud = p.isSet("baud") ? Integer("--baud", p.value("baud"), 1, 4000000) : 9600;
  const int parity =
      p.isSet("parity") ? Choice("parity", p.value("parity"), Names(gateway::kParityNames)) : 0;
  auto link = std::make_unique<SerialLink>(p.value("serial"), baud, parity, p.isSet("dtr"),
                                           p.isSet("rts"), timeoutMs);
  for (const QString& assignment : p.values("com")) {
    QString why;
    if (!link->Comm().Ports().Assign(assignment, &why))
      BadUsage(QStringLiteral("--com %1").arg(why));
  }
  return link;
}

// The options of `names` that were given, as typed: "--baud, --parity".
QString Given(const RunValues& p, std::initializer_list<const char*> names) {
  QStringList given;
  for (const char* name : names)
    if (p.isSet(QLatin1String(name))) given << QStringLiteral("--") + QLatin1String(name);
  return given.join(QStringLiteral(", "));
}

// An option of the other kind of link would be passed over in silence, and
// the run would not be the one asked for: it is refused by name.
std::unique_ptr<Link> MakeLink(const RunValues& p, int timeoutMs, int gapMs) {
  const bool tcp = p.isSet("tcp");
  const bool serial = p.isSet("serial");
  if (tcp && serial) BadUsage(QStringLiteral("--tcp and --serial: choose one link"));
  const QString serialOnly = Given(p, {"baud", "parity", "dtr", "rts", "com"});
  const QString rs485 =
      p.isSet("baud") || p.isSet("parity")
          ? QStringLiteral("; for the gateway's RS-485 side use 'system set --baud --parity'")
          : QString();
  if (!serial && !serialOnly.isEmpty())
    BadUsage(QStringLiteral("%1: a setting of the serial port (--serial), not of %2%3 (see "
                            "kv770ctl --help)")
                 .arg(serialOnly, tcp ? QStringLiteral("a TCP link") : QStringLiteral("this run"),
                      rs485));
  if (!tcp && p.isSet("gap"))
    BadUsage(
        QStringLiteral("--gap: a setting of a TCP link (--tcp); a serial reply ends after "
                       "the port's own 100 ms of silence (see kv770ctl --help)"));
  if (tcp) return MakeTcpLink(p, timeoutMs, gapMs);
  if (serial) return MakeSerialLink(p, timeoutMs);
  return nullptr;
}

// "Unknown option 'x'", without the parser's full stop: a pointer to the
// help follows.
QString ParseError(const QCommandLineParser& p) {
  QString text = p.errorText();
  if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  return text;
}

// The parser of what comes before the command; returns the names it takes.
QStringList SetUpGlobal(QCommandLineParser& p) {
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  return AddOptions(p, RunOptions());
}

// What applies to every command: --dry-run only where set commands go
// out, the command's options only where it takes them.
void CheckFits(const Command& c, const CommandLine& line, bool dryRun) {
  const QString family = QLatin1String(c.family);
  if (dryRun && !c.sends(line.verb))
    BadUsage(QStringLiteral("--dry-run holds back set commands; '%1 %2' sends none")
                 .arg(family, line.verb)
                 .trimmed());
  const bool bare = c.bare(line.verb);
  if (bare && !line.given.isEmpty())
    BadUsage(QStringLiteral("'%1' takes no option --%2")
                 .arg(QStringLiteral("%1 %2")
                          .arg(family, c.verbInLabel ? line.verb : QString())
                          .trimmed(),
                      line.given.first()));
}

// The run's settings, the link and the trace; then the command.
int RunCommand(Session& s, const Command& c, const RunValues& run, const CommandLine& line,
               bool dryRun) {
  s.json = run.isSet("json");
  s.dryRun = dryRun;
  if (run.isSet("timeout")) s.timeoutMs = Integer("--timeout", run.value("timeout"), 1, 600000);
  const int gapMs =
      run.isSet("gap") ? Integer("--gap", run.value("gap"), 1, 60000) : TcpLink::kDefaultGapMs;
  if (!c.ownLinks) s.link = MakeLink(run, s.timeoutMs, gapMs);
  CheckFits(c, line, dryRun);
  // Everything typed is checked above or in the command's own parse
  // before its first exchange; only then is the link opened.
  // A command with links of its own refuses a trace: none is opened for it.
  if (run.isSet("trace") && !c.ownLinks) {
    if (!s.trace.Open(run.value("trace")))
      RefuseFile(QStringLiteral("cannot write the trace %1: %2")
                     .arg(run.value("trace"), s.trace.ErrorString()));
    if (s.link) s.link->SetTrace(&s.trace);
  }
  return c.run(s, line);
}

int Execute(Session& s, const QStringList& arguments, QTextStream& out) {
  // Hidden: the shell's completion, made from the same table as the parsers.
  if (arguments.value(0) == QLatin1String("--completion")) {
    if (arguments != QStringList{QStringLiteral("--completion"), QStringLiteral("bash")})
      BadUsage(QStringLiteral("--completion: only 'bash' is made"));
    out << BashCompletion();
    return kDone;
  }
  QCommandLineParser global;
  SetUpGlobal(global);
  if (!global.parse(QStringList{QStringLiteral("kv770ctl")} + arguments))
    BadUsage(ParseError(global));
  const QStringList positional = global.positionalArguments();
  // "kv770ctl --help system" as "kv770ctl system --help".
  if (global.isSet("help")) {
    const Command* named = FindCommand(positional.value(0));
    out << (named ? CommandUsageText(*named) : UsageText());
    return kDone;
  }
  if (global.isSet("version")) {
    out << "kv770ctl " << KV770_VERSION << Qt::endl;
    return kDone;
  }
  if (positional.isEmpty()) BadUsage(QStringLiteral("no command given"));
  if (global.isSet("fleet")) return RunFleet(global, positional, out, s.Err());
  if (global.isSet("jobs")) BadUsage(QStringLiteral("--jobs belongs to --fleet"));
  const QString family = positional.first();
  const Command* command = FindCommand(family);
  if (!command) BadUsage(QStringLiteral("unknown command '%1'").arg(family));
  s.family = family;

  QCommandLineParser sub;
  QStringList shared;
  SetUpCommand(sub, *command, &shared);
  if (!sub.parse(QStringList{QStringLiteral("kv770ctl ") + family} + positional.mid(1)))
    BadUsage(ParseError(sub));
  if (sub.isSet("help")) {
    out << CommandUsageText(*command);
    return kDone;
  }
  const RunValues run(global, sub, shared);
  const QStringList words = sub.positionalArguments();
  const CommandLine line{sub, words, words.value(command->verbWord), SettingsGiven(sub, shared),
                         run};
  return RunCommand(s, *command, run, line, run.isSet("dry-run"));
}

}  // namespace

QStringList SetUpCommand(QCommandLineParser& p, const Command& c, QStringList* shared) {
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QStringList own = AddOptions(p, c.options);
  *shared = AddOptions(p, RunOptions(), own, true);
  return own + *shared;
}

void Expect(const QStringList& words, qsizetype count, const QString& usage) {
  if (words.size() != count) BadUsage(QStringLiteral("usage: kv770ctl %1").arg(usage));
}

QStringList AcceptedOptions(const QString& family) {
  QCommandLineParser p;
  if (family.isEmpty()) return SetUpGlobal(p);
  const Command* command = FindCommand(family);
  QStringList shared;
  return command ? SetUpCommand(p, *command, &shared) : QStringList();
}

RunOutcome RunOnce(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   bool checkOnly) {
  RunInput input;
  input.checkOnly = checkOnly;
  return RunOnce(arguments, out, err, input);
}

bool WantsJson(const QStringList& arguments) {
  for (const QString& a : arguments) {
    if (a == QLatin1String("--")) break;
    if (a == QLatin1String("--json") || a == QLatin1String("-json")) return true;
  }
  return false;
}

RunOutcome RunOnce(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   const RunInput& input) {
  Session session(out, err);
  session.checkOnly = input.checkOnly;
  session.standardInput = input.standardInput;
  session.stopRequested = input.stopRequested;
  RunOutcome outcome;
  // What went wrong, as the user reads it: with --help pointed to when it
  // was what they typed.
  QStringList said;
  const auto fail = [&](int code, const QString& message, bool pointsToHelp) {
    outcome.code = code;
    outcome.message = message;
    const QString help = session.family.isEmpty()
                             ? QStringLiteral("kv770ctl --help")
                             : QStringLiteral("kv770ctl %1 --help").arg(session.family);
    said << (pointsToHelp && !message.contains(QLatin1String("--help"))
                 ? QStringLiteral("%1 (see %2)").arg(message, help)
                 : message);
  };
  try {
    outcome.code = Execute(session, arguments, out);
  } catch (const LinkNeeded&) {
    outcome.code = kDone;
  } catch (const Failure& f) {
    fail(f.exitCode, f.message, f.pointsToHelp);
  } catch (const EConvertError& e) {
    // Only values the user typed are converted outside the reports.
    fail(kBadUsage, e.Message(), true);
  } catch (const Error& e) {
    fail(kDeviceFailed, e.Message(), false);
  }
  // A trace with a hole is no record of the run.
  if (session.trace.Failed()) {
    const QString message = QStringLiteral("cannot write the trace %1: %2")
                                .arg(session.trace.Path(), session.trace.ErrorString());
    said << message;
    if (outcome.code == kDone) {
      outcome.code = kDeviceFailed;
      outcome.message = message;
    }
  }
  // With --json a failure is one JSON object, the text as it is otherwise.
  if (!said.isEmpty() && WantsJson(arguments))
    err << FailureJson(said.join(QStringLiteral("; ")), outcome.code);
  else
    for (const QString& line : said) err << "kv770ctl: " << line << Qt::endl;
  outcome.refused = session.notTaken;
  outcome.noAnswer = session.noAnswer;
  outcome.interrupted = session.interrupted;
  out.flush();
  err.flush();
  return outcome;
}

QString FailureJson(const QString& message, int exitCode) {
  return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), message},
                                                     {QStringLiteral("exit"), exitCode}})
                               .toJson(QJsonDocument::Compact)) +
         QLatin1Char('\n');
}

int Run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  return RunOnce(arguments, out, err).code;
}

}  // namespace kv770::cli
