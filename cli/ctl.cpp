// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ctl.h"

#include <QCommandLineParser>
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
    port = Integer(host.mid(colon + 1), 1, 65535);
    host = host.left(colon);
  }
  if (host.isEmpty()) BadUsage(QStringLiteral("--tcp: no host in '%1'").arg(p.value("tcp")));
  return std::make_unique<TcpLink>(host, port, timeoutMs, gapMs);
}

std::unique_ptr<Link> MakeSerialLink(const RunValues& p, int timeoutMs) {
  const int baud = p.isSet("baud") ? Integer(p.value("baud"), 1, 4000000) : 9600;
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

std::unique_ptr<Link> MakeLink(const RunValues& p, int timeoutMs, int gapMs) {
  const bool tcp = p.isSet("tcp");
  const bool serial = p.isSet("serial");
  if (tcp && serial) BadUsage(QStringLiteral("--tcp and --serial: choose one link"));
  if (tcp) return MakeTcpLink(p, timeoutMs, gapMs);
  if (serial) return MakeSerialLink(p, timeoutMs);
  if (p.isSet("baud") || p.isSet("parity") || p.isSet("dtr") || p.isSet("rts"))
    BadUsage(
        QStringLiteral("--baud, --parity, --dtr and --rts belong to --serial; for the "
                       "gateway's RS-485 side use 'system set --baud'"));
  return nullptr;
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
  if (run.isSet("timeout")) s.timeoutMs = Integer(run.value("timeout"), 1, 600000);
  const int gapMs = run.isSet("gap") ? Integer(run.value("gap"), 1, 60000) : TcpLink::kDefaultGapMs;
  if (!c.ownLinks) s.link = MakeLink(run, s.timeoutMs, gapMs);
  CheckFits(c, line, dryRun);
  // Everything typed is checked above or in the command's own parse
  // before its first exchange; only then is the link opened.
  // A command with links of its own refuses a trace: none is opened for it.
  if (run.isSet("trace") && !c.ownLinks) {
    if (!s.trace.Open(run.value("trace")))
      BadUsage(QStringLiteral("cannot write the trace %1: %2")
                   .arg(run.value("trace"), s.trace.ErrorString()));
    if (s.link) s.link->SetTrace(&s.trace);
  }
  return c.run(s, line);
}

int Execute(Session& s, const QStringList& arguments, QTextStream& out) {
  QCommandLineParser global;
  SetUpGlobal(global);
  if (!global.parse(QStringList{QStringLiteral("kv770ctl")} + arguments))
    BadUsage(global.errorText() + QStringLiteral(" (see kv770ctl --help)"));
  if (global.isSet("help")) {
    out << UsageText();
    return kDone;
  }
  if (global.isSet("version")) {
    out << "kv770ctl " << KV770_VERSION << Qt::endl;
    return kDone;
  }
  const QStringList positional = global.positionalArguments();
  if (positional.isEmpty()) BadUsage(QStringLiteral("no command given (see kv770ctl --help)"));
  if (global.isSet("fleet")) return RunFleet(global, positional, out, s.Err());
  if (global.isSet("jobs")) BadUsage(QStringLiteral("--jobs belongs to --fleet"));
  const QString family = positional.first();
  const Command* command = FindCommand(family);
  if (!command) BadUsage(QStringLiteral("unknown command '%1' (see kv770ctl --help)").arg(family));

  QCommandLineParser sub;
  QStringList shared;
  SetUpCommand(sub, *command, &shared);
  if (!sub.parse(QStringList{QStringLiteral("kv770ctl ") + family} + positional.mid(1)))
    BadUsage(sub.errorText() + QStringLiteral(" (see kv770ctl --help)"));
  if (sub.isSet("help")) {
    out << UsageText();
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

RunOutcome RunOnce(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   const RunInput& input) {
  Session session(out, err);
  session.checkOnly = input.checkOnly;
  session.standardInput = input.standardInput;
  session.stopRequested = input.stopRequested;
  RunOutcome outcome;
  const auto fail = [&](int code, const QString& message) {
    err << "kv770ctl: " << message << Qt::endl;
    outcome.code = code;
    outcome.message = message;
  };
  try {
    outcome.code = Execute(session, arguments, out);
  } catch (const LinkNeeded&) {
    outcome.code = kDone;
  } catch (const Failure& f) {
    fail(f.exitCode, f.message);
  } catch (const EConvertError& e) {
    // Only values the user typed are converted outside the reports.
    fail(kBadUsage, e.Message());
  } catch (const Error& e) {
    fail(kDeviceFailed, e.Message());
  }
  // A trace with a hole is no record of the run.
  if (session.trace.Failed()) {
    const QString message = QStringLiteral("cannot write the trace %1: %2")
                                .arg(session.trace.Path(), session.trace.ErrorString());
    err << "kv770ctl: " << message << Qt::endl;
    if (outcome.code == kDone) {
      outcome.code = kDeviceFailed;
      outcome.message = message;
    }
  }
  outcome.refused = session.notTaken;
  outcome.noAnswer = session.noAnswer;
  outcome.interrupted = session.interrupted;
  out.flush();
  err.flush();
  return outcome;
}

int Run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  return RunOnce(arguments, out, err).code;
}

}  // namespace kv770::cli
