// SPDX-License-Identifier: GPL-3.0-or-later
// kv770-sim: a stand-in KV770-W gateway for the configuration tool, served
// over TCP and, with --pty, over a pseudo-terminal as its serial line; with
// --replay, a recorded conversation played back instead.

#include <fcntl.h>
#include <unistd.h>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/trace.h"
#include "sim/engine.h"
#include "sim/instruments.h"
#include "sim/poll_dispatcher.h"
#include "sim/pty_server.h"
#include "sim/replay.h"
#include "sim/tcp_server.h"

namespace {

using kv770::sim::Behaviour;
using kv770::sim::InstrumentPlace;

// The speeds the gateway's serial line can be set to.
constexpr int kLineSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};

// A step of a meter's flow on the simulator's clock (Engine::Step).
struct StepOption {
  int meter = 0;
  double value = 0;
  std::int64_t atMs = 0;
};

// When --step names no time: long enough to watch the values before.
constexpr double kDefaultStepSeconds = 10;
// Bounds that keep a step's flow and time sane (a float register holds the
// one, the millisecond clock the other).
constexpr double kMaxStepValue = 1e9;
constexpr double kMaxStepSeconds = 1e6;

struct Options {
  QHostAddress address{QHostAddress::LocalHost};
  quint16 port = 7000;
  Behaviour behaviour;
  bool pty = false;
  QString ptyLink;
  QString trace;
  QString replay;
  int lineBaud = 0;  // any
  bool lineTime = false;
  std::optional<std::vector<InstrumentPlace>> instruments;
  std::vector<std::string> refused;
  std::vector<StepOption> steps;
};

void Complain(const QString& message) {
  QTextStream(stderr) << "kv770-sim: " << message << Qt::endl;
}

// A usage error: exit status 2, as kv770ctl's, apart from the 1 of a
// replay that met a request it did not hold.
constexpr int kUsageError = 2;

// What was typed will not do: said with a pointer to the help.
[[noreturn]] void Fail(const QString& message) {
  Complain(message.contains(QLatin1String("--help"))
               ? message
               : QStringLiteral("%1 (see kv770-sim --help)").arg(message));
  std::exit(kUsageError);
}

// A file named will not do (a trace that cannot be read or written): exit
// status 2 as well, the system's reason said instead.
[[noreturn]] void FailFile(const QString& message) {
  Complain(message);
  std::exit(kUsageError);
}

// "127.0.0.1:7000", "[::1]:7000".
QString Endpoint(const QHostAddress& address, quint16 port) {
  const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                           ? QStringLiteral("[%1]").arg(address.toString())
                           : address.toString();
  return QStringLiteral("%1:%2").arg(host).arg(port);
}

int ParseCount(const QString& text, const char* what, int max) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < 0 || value > max) {
    Fail(QStringLiteral("invalid %1 '%2' (0..%3)").arg(what, text).arg(max));
  }
  return value;
}

int ParseLineBaud(const QString& text) {
  bool ok = false;
  const int baud = text.toInt(&ok);
  if (ok && std::ranges::find(kLineSpeeds, baud) != std::end(kLineSpeeds)) return baud;
  Fail(QStringLiteral("invalid baud rate '%1' (1200, 2400, 4800, 9600, 19200, 38400 or 57600)")
           .arg(text));
}

// "1,2:0,2:5,8:15": channels, each with a polling address (0 when left
// out); "none" for no instrument at all.
std::vector<InstrumentPlace> ParseInstruments(const QString& list) {
  std::vector<InstrumentPlace> places;
  if (list == QLatin1String("none")) return places;
  static const QRegularExpression item(QStringLiteral("^([1-8])(?::([0-9]{1,2}))?$"));
  for (const QString& text : list.split(QLatin1Char(','))) {
    const QRegularExpressionMatch m = item.match(text);
    const int address = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    if (!m.hasMatch() || address > kv770::sim::kMaxPollingAddress) {
      Fail(QStringLiteral("invalid instrument '%1' in --instruments (CHANNEL 1-8 or "
                          "CHANNEL:ADDRESS with a polling address 0-63, or 'none')")
               .arg(text));
    }
    const InstrumentPlace place{m.captured(1).toInt(), address};
    if (std::ranges::find(places, place) != places.end()) {
      Fail(QStringLiteral("instrument '%1' in --instruments is listed twice (channel %2, "
                          "polling address %3)")
               .arg(text)
               .arg(place.channel)
               .arg(place.pollingAddress));
    }
    places.push_back(place);
  }
  return places;
}

// A step's meter and flow, or why they will not do: empty for good ones.
QString StepError(const QString& meter, const QString& value, StepOption& step) {
  bool ok = false;
  step.meter = meter.toInt(&ok);
  if (!ok || step.meter < 1 || step.meter > kv770::sim::kInstrumentCount)
    return QStringLiteral("meter '%1' (1-8)").arg(meter);
  step.value = value.toDouble(&ok);
  if (!ok || !std::isfinite(step.value) || step.value < 0 || step.value > kMaxStepValue)
    return QStringLiteral("flow '%1' (a number from 0 to 1e9, in the meter's flow unit)")
        .arg(value);
  return {};
}

// "3=80" or "3=80@25.5": meter 3's flow to 80 at 10 s or at 25.5 s.
StepOption ParseStep(const QString& text) {
  static const QRegularExpression form(QStringLiteral("^([^=@]*)=([^=@]*)(?:@([^=@]*))?$"));
  const QRegularExpressionMatch m = form.match(text);
  if (!m.hasMatch())
    Fail(QStringLiteral("invalid step '%1' in --step (METER=VALUE or METER=VALUE@SECONDS, "
                        "e.g. 3=80@25)")
             .arg(text));
  const QString seconds = m.hasCaptured(3) ? m.captured(3) : QString::number(kDefaultStepSeconds);
  StepOption step;
  QString error = StepError(m.captured(1), m.captured(2), step);
  bool ok = false;
  const double at = seconds.toDouble(&ok);
  if (error.isEmpty() && (!ok || !std::isfinite(at) || at < 0 || at > kMaxStepSeconds))
    error = QStringLiteral("time '%1' (seconds after start, 0 to 1e6)").arg(seconds);
  if (!error.isEmpty()) Fail(QStringLiteral("invalid step '%1' in --step: %2").arg(text, error));
  step.atMs = std::llround(at * 1000);
  return step;
}

QString KnownMnemonics() {
  QStringList known;
  for (std::string_view m : kv770::sim::Engine::SetCommandMnemonics())
    known << QString::fromLatin1(m.data(), static_cast<qsizetype>(m.size()));
  return known.join(QStringLiteral(", "));
}

std::vector<std::string> ParseRefused(const QStringList& mnemonics) {
  std::vector<std::string> refused;
  const auto known = kv770::sim::Engine::SetCommandMnemonics();
  for (const QString& m : mnemonics) {
    const std::string name = m.toStdString();
    if (std::ranges::find(known, std::string_view(name)) == known.end())
      Fail(QStringLiteral("unknown set command '%1' for --refuse (known: %2)")
               .arg(m, KnownMnemonics()));
    refused.push_back(name);
  }
  return refused;
}

// The gateway's line speed, instruments and refusals.
void ReadGatewayOptions(const QCommandLineParser& parser, Options& options) {
  if (parser.isSet(QStringLiteral("baud"))) {
    options.lineBaud = ParseLineBaud(parser.value(QStringLiteral("baud")));
    if (!options.pty) Fail(QStringLiteral("--baud needs --pty: it sets the serial line's speed"));
  }
  options.lineTime = parser.isSet(QStringLiteral("line-time"));
  if (options.lineTime && !options.pty)
    Fail(QStringLiteral("--line-time needs --pty: it times the serial line"));
  if (parser.isSet(QStringLiteral("instruments")))
    options.instruments = ParseInstruments(parser.value(QStringLiteral("instruments")));
  options.refused = ParseRefused(parser.values(QStringLiteral("refuse")));
  for (const QString& step : parser.values(QStringLiteral("step")))
    options.steps.push_back(ParseStep(step));
}

// The bash completion script (kv770-sim --completion bash), made from the
// options the parser takes: their names, and for their values what the
// help names after them or the simulator's own lists.
QString BashCompletion(const QList<QCommandLineOption>& options) {
  QStringList names{"-h", "--help", "-V", "-v", "--version"};
  QStringList valueOptions;
  QString valueCases;
  for (const QCommandLineOption& o : options) {
    for (const QString& name : o.names()) names << QStringLiteral("--") + name;
    if (o.valueName().isEmpty()) continue;
    const QString name = QStringLiteral("--") + o.names().constFirst();
    valueOptions << name;
    QString words;
    if (o.valueName() == QLatin1String("FILE")) {
      valueCases += QStringLiteral("        %1) _kv770_sim_files ;;\n").arg(name);
      continue;
    }
    if (name == QLatin1String("--baud")) {
      for (int speed : kLineSpeeds) words += QString::number(speed) + QLatin1Char(' ');
    } else if (name == QLatin1String("--refuse")) {
      words = KnownMnemonics().remove(QLatin1Char(','));
    } else if (name == QLatin1String("--instruments")) {
      words = QStringLiteral("none");
    } else {
      continue;
    }
    valueCases +=
        QStringLiteral("        %1) _kv770_sim_words \"%2\" ;;\n").arg(name, words.trimmed());
  }
  QString script = QStringLiteral(
      R"bash(# bash completion for kv770-sim                           -*- shell-script -*-
# Made by 'kv770-sim --completion bash' from the program's own options;
# edit those, not this file.

_kv770_sim_files() {
  if declare -F _filedir >/dev/null; then
    _filedir
  else
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_kv770_sim_words() {
  COMPREPLY=($(compgen -W "$1" -- "$cur"))
}

_kv770_sim() {
  local cur prev words cword split=false
  if declare -F _init_completion >/dev/null; then
    _init_completion -s -n : || return
  else
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${words[cword]}
    prev=${words[cword - 1]}
  fi
  COMPREPLY=()
  case $prev in
    @VALUE_OPTIONS@)
      case $prev in
@VALUES@        *) ;;
      esac
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    _kv770_sim_words "@NAMES@"
    return
  fi
  # With --pty: where the link to the serial line goes.
  _kv770_sim_files
}
complete -F _kv770_sim kv770-sim
)bash");
  script.replace(QLatin1String("@VALUE_OPTIONS@"), valueOptions.join(QLatin1Char('|')));
  script.replace(QLatin1String("@VALUES@"), valueCases);
  script.replace(QLatin1String("@NAMES@"), names.join(QLatin1Char(' ')));
  return script;
}

// The simulator's own options, as --help and the completion list them.
QList<QCommandLineOption> OwnOptions() {
  const QCommandLineOption listen("listen", "Address to listen on (default 127.0.0.1).", "ADDR",
                                  "127.0.0.1");
  const QCommandLineOption port("port", "TCP port (default 7000, 0 = any free port).", "N", "7000");
  const QCommandLineOption silent("silent", "Never answer (provokes the tool's time-outs).");
  const QCommandLineOption delay("delay", "Answer each request MS milliseconds late.", "MS", "0");
  const QCommandLineOption byteByByte("byte-by-byte", "Send each reply one byte at a time.");
  const QCommandLineOption byteGap("byte-gap", "Pause between bytes (implies --byte-by-byte).",
                                   "MS", QString::number(Behaviour{}.byteGapMs));
  const QCommandLineOption pty("pty",
                               "Also serve the gateway on a pseudo-terminal (the tool's serial "
                               "port); prints its path, and makes LINK a symbolic link to it.");
  const QCommandLineOption trace("trace",
                                 "Append every request and reply to FILE: time (ms), link, "
                                 "direction ('<' received, '>' sent), hex and ASCII.",
                                 "FILE");
  const QCommandLineOption baud(
      "baud",
      "With --pty: the serial line's speed, N one of 1200, 2400, 4800, 9600, 19200, 38400, "
      "57600 bit/s (default: any); the system report says the same. A tool at another speed "
      "gets line noise. Parity cannot be seen on a pseudo-terminal: it answers at any parity.",
      "N");
  const QCommandLineOption lineTime(
      "line-time",
      "With --pty: each reply goes out as late as its request and itself take on a real line "
      "at the tool's speed (ten bits a character); a pseudo-terminal alone passes bytes at "
      "once.");
  const QCommandLineOption instruments(
      "instruments",
      "The HART instruments behind the gateway, for transparent frames: comma-separated CHANNEL "
      "(1-8) or CHANNEL:ADDRESS (polling address 0-63, 0 when left out), e.g. 1,2:0,2:5,8:15; "
      "'none' for none (default: one on each channel, at address 0). A meter whose channel "
      "has none at address 0 has no values: its MODBUS registers read NaN (7FC00000), or "
      "FFFFFFFF in the unsigned byte orders.",
      "LIST");
  const QCommandLineOption refuse(
      "refuse",
      QStringLiteral("Answer the set command acknowledged OK:MNEMONIC# with ERR:BAD "
                     "PARAMETER# and change nothing (repeatable). Known: %1.")
          .arg(KnownMnemonics()),
      "MNEMONIC");
  const QCommandLineOption step(
      "step",
      "Move meter METER's flow (channel METER's instrument) to VALUE, in its own flow unit, "
      "SECONDS after start (default 10), as a process does: a first-order approach with a 2 s "
      "time constant. The loop current and the total follow (repeatable). While running, a "
      "line 'step METER VALUE' on standard input does the same at once.",
      "METER=VALUE[@SECONDS]");
  const QCommandLineOption replay(
      "replay",
      "Play back the conversation in FILE, a trace written by kv770-config or kv770ctl "
      "--trace, instead of simulating a gateway: each request received is answered with the "
      "reply recorded after the earliest equal request not answered yet; a request the trace "
      "does not hold gets no answer and is reported. Ends when the last client leaves, or on "
      "a signal, with how many requests matched; exit status 0 when every request received "
      "was in the trace, 1 otherwise, 2 for a trace that cannot be read.",
      "FILE");
  return {listen, port,     silent,      delay,  byteByByte, byteGap, pty,
          baud,   lineTime, instruments, refuse, step,       trace,   replay};
}

Options ParseOptions(const QCoreApplication& app) {
  const QList<QCommandLineOption> own = OwnOptions();
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Simulated KV770-W gateway (firmware %1) for kv770-config.")
          .arg(kv770::sim::Engine::kFirmware));
  parser.addHelpOption();
  // -V as GNU programs have it, -v and --version as before.
  const QCommandLineOption version({"V", "v", "version"}, "Displays version information.");
  // Hidden: the shell's completion, made from the options below.
  QCommandLineOption completion("completion", "Prints the completion script for SHELL (bash).",
                                "SHELL");
  completion.setFlags(QCommandLineOption::HiddenFromHelp);

  parser.addOptions(own);
  parser.addOptions({version, completion});
  parser.addPositionalArgument("LINK", "With --pty: path of a symbolic link to the serial line.",
                               "[LINK]");
  // Errors first, with the exit status of the others; then --help,
  // --version and --completion.
  if (!parser.parse(QCoreApplication::arguments())) {
    QString error = parser.errorText();
    if (error.endsWith(QLatin1Char('.'))) error.chop(1);
    Fail(error);
  }
  parser.process(app);  // --help, --help-all
  if (parser.isSet(version)) {
    std::printf("kv770-sim %s\n", qPrintable(app.applicationVersion()));
    std::exit(0);
  }
  if (parser.isSet(completion)) {
    if (parser.value(completion) != QLatin1String("bash"))
      Fail(QStringLiteral("--completion: only 'bash' is made"));
    std::fputs(qPrintable(BashCompletion(own)), stdout);
    std::exit(0);
  }

  // A replay answers what the trace holds: nothing of a simulated gateway
  // applies.
  if (parser.isSet(QStringLiteral("replay"))) {
    for (const char* gateway : {"silent", "baud", "instruments", "refuse", "step"}) {
      if (parser.isSet(QString::fromLatin1(gateway))) {
        Fail(QStringLiteral("--replay and --%1 do not go together: a replay answers what the "
                            "trace holds")
                 .arg(QLatin1String(gateway)));
      }
    }
  }

  const QStringList positional = parser.positionalArguments();
  if (positional.size() > (parser.isSet(QStringLiteral("pty")) ? 1 : 0)) {
    Fail(QStringLiteral("unexpected argument '%1'")
             .arg(positional.value(parser.isSet(QStringLiteral("pty")) ? 1 : 0)));
  }

  Options options;
  options.pty = parser.isSet(QStringLiteral("pty"));
  options.ptyLink = positional.value(0);
  options.trace = parser.value(QStringLiteral("trace"));
  options.replay = parser.value(QStringLiteral("replay"));
  if (parser.isSet(QStringLiteral("replay")) && options.replay.isEmpty())
    Fail(QStringLiteral("--replay needs the trace to replay"));
  if (!options.address.setAddress(parser.value(QStringLiteral("listen")))) {
    Fail(QStringLiteral("invalid address '%1' (a numeric IPv4 or IPv6 address)")
             .arg(parser.value(QStringLiteral("listen"))));
  }
  options.port =
      static_cast<quint16>(ParseCount(parser.value(QStringLiteral("port")), "port", 65535));
  options.behaviour.silent = parser.isSet(QStringLiteral("silent"));
  options.behaviour.delayMs = ParseCount(parser.value(QStringLiteral("delay")), "delay", 600000);
  options.behaviour.byteByByte =
      parser.isSet(QStringLiteral("byte-by-byte")) || parser.isSet(QStringLiteral("byte-gap"));
  options.behaviour.byteGapMs =
      ParseCount(parser.value(QStringLiteral("byte-gap")), "byte gap", 60000);
  ReadGatewayOptions(parser, options);
  return options;
}

// SIGINT, SIGTERM and SIGHUP (its terminal gone) end the event loop, so the
// serial line's link is removed rather than left pointing at a terminal
// someone else may get. A signal ignored from the start (nohup, a
// background job) stays ignored.
int quitPipe[2] = {-1, -1};

void QuitOnSignals(QCoreApplication& app) {
  if (pipe(quitPipe) != 0) return;
  auto* notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction was {};
    if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
    std::signal(signal, [](int) { (void)!write(quitPipe[1], "q", 1); });
  }
}

// ---- commands on stdin while running -------------------------------------

// Longest command line taken; a longer one is dropped.
constexpr qsizetype kMaxCommandLength = 1024;

// "step METER VALUE": meter METER's flow moves to VALUE from now on.
void RunCommand(const QString& line, kv770::sim::TcpServer& server) {
  const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.isEmpty()) return;
  if (words.size() != 3 || words[0] != QLatin1String("step")) {
    Complain(QStringLiteral("unknown command '%1' (step METER VALUE, e.g. step 3 80)")
                 .arg(line.simplified()));
    return;
  }
  StepOption step;
  if (const QString error = StepError(words[1], words[2], step); !error.isEmpty()) {
    Complain(QStringLiteral("invalid step: %1").arg(error));
    return;
  }
  step.atMs = server.Clock().elapsed();
  server.GetEngine().Step(step.meter, step.value, step.atMs);
  std::printf("step: meter %d flow to %s at %.3f s\n", step.meter,
              qPrintable(QString::number(step.value)), static_cast<double>(step.atMs) / 1000);
  std::fflush(stdout);
}

// While another process group has the terminal in the foreground (the
// simulator sent to the background), its input is not ours: look again
// this much later rather than spin on it.
constexpr int kBackgroundRecheckMs = 500;

// Whether stdin is a terminal some other process group has in the
// foreground.
bool TerminalElsewhere() {
  return isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) != getpgrp();
}

// Runs the commands typed or piped on stdin, line by line, until it ends;
// the simulator goes on serving after that.
void ReadCommands(kv770::sim::TcpServer& server) {
  if (fcntl(STDIN_FILENO, F_GETFD) == -1) return;  // no stdin at all
  // Reading the terminal from the background fails (EIO) rather than
  // stopping the simulator.
  if (isatty(STDIN_FILENO)) std::signal(SIGTTIN, SIG_IGN);
  auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &server);
  auto pending = std::make_shared<QByteArray>();
  QObject::connect(notifier, &QSocketNotifier::activated, &server, [notifier, pending, &server] {
    const auto later = [notifier] {
      notifier->setEnabled(false);
      QTimer::singleShot(kBackgroundRecheckMs, notifier,
                         [notifier] { notifier->setEnabled(true); });
    };
    if (TerminalElsewhere()) return later();
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n < 0 && errno == EIO) return later();  // sent to the background meanwhile
    if (n > 0) pending->append(chunk, n);
    for (qsizetype end; (end = pending->indexOf('\n')) >= 0; pending->remove(0, end + 1))
      RunCommand(QString::fromUtf8(pending->left(end)), server);
    if (n <= 0) {  // the end, or an error: no more commands
      RunCommand(QString::fromUtf8(*pending), server);
      notifier->setEnabled(false);
    } else if (pending->size() > kMaxCommandLength) {
      Complain(QStringLiteral("command longer than %1 bytes dropped").arg(kMaxCommandLength));
      pending->clear();
    }
  });
}

// ---- replay --------------------------------------------------------------

// The conversation in --replay's trace, read whole before anything is
// served: a trace that cannot be read is refused as a usage error.
std::vector<kv770::sim::Exchange> ReadReplay(const Options& options) {
  QFile file(options.replay);
  if (!file.open(QIODevice::ReadOnly))
    FailFile(
        QStringLiteral("cannot read the trace %1: %2").arg(options.replay, file.errorString()));
  kv770::sim::Conversation conversation = kv770::sim::ReadConversation(file);
  if (!conversation.error.isEmpty()) {
    const QString where =
        conversation.line > 0 ? QStringLiteral("line %1: ").arg(conversation.line) : QString();
    FailFile(
        QStringLiteral("cannot replay %1: %2%3").arg(options.replay, where, conversation.error));
  }
  // Its own record appended to it would be read back as the tool's.
  const QString replayed = QFileInfo(options.replay).canonicalFilePath();
  if (!options.trace.isEmpty() && QFileInfo(options.trace).canonicalFilePath() == replayed)
    Fail(QStringLiteral("--trace %1 is the trace being replayed").arg(options.trace));
  return std::move(conversation.exchanges);
}

// Most of an unknown request shown; the rest is counted.
constexpr qsizetype kShownUnknownBytes = 256;

void ReportUnknown(const QString& link, const QByteArray& bytes) {
  QString text =
      kv770::link::Trace::Format(link, kv770::link::Trace::Direction::Received,
                                 bytes.first(std::min(bytes.size(), kShownUnknownBytes)));
  if (bytes.size() > kShownUnknownBytes)
    text += QStringLiteral(" (the first %1 of %2 bytes)").arg(kShownUnknownBytes).arg(bytes.size());
  Complain(QStringLiteral("not in the trace, not answered: %1").arg(text));
}

}  // namespace

// The gateway's serial line on a pseudo-terminal, sharing the TCP server's
// engine and clock; false, having said why, when it cannot be opened.
bool OpenSerialLine(const Options& options, kv770::sim::TcpServer& server,
                    kv770::sim::PtyServer& serial, kv770::link::Trace* traced,
                    kv770::sim::Replay* replay) {
  serial.SetBehaviour(options.behaviour);
  serial.SetTrace(traced);
  serial.SetLineBaud(options.lineBaud);
  serial.SetLineTime(options.lineTime);
  serial.ShareClock(server.Clock());
  if (replay) serial.SetReplay(replay);
  // The system report's speed code: 0 for 1200 .. 6 for 57600 bit/s.
  if (const auto* code = std::ranges::find(kLineSpeeds, options.lineBaud);
      code != std::end(kLineSpeeds))
    server.GetEngine().Model().baudCode = static_cast<int>(code - std::begin(kLineSpeeds));
  if (!serial.Open(options.ptyLink)) {
    Complain(serial.ErrorString());
    return false;
  }
  const QString speed =
      options.lineBaud ? QStringLiteral(" at %1 bit/s").arg(options.lineBaud) : QString();
  const QString link =
      options.ptyLink.isEmpty() ? QString() : QStringLiteral(" (link %1)").arg(options.ptyLink);
  std::printf("kv770-sim serial line on %s%s%s\n", qPrintable(serial.SlavePath()),
              qPrintable(speed), qPrintable(link));
  return true;
}

int main(int argc, char** argv) {
  // A loop that costs each request little (the application takes it over).
  QCoreApplication::setEventDispatcher(new kv770::sim::PollDispatcher);
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("kv770-sim");
  QCoreApplication::setApplicationVersion(QStringLiteral(KV770_VERSION));

  const Options options = ParseOptions(app);
  // Declared before the servers, so it outlives them.
  std::optional<kv770::sim::Replay> replay;
  if (!options.replay.isEmpty()) {
    replay.emplace(ReadReplay(options));
    replay->OnUnknown(ReportUnknown);
  }
  // A replay's summary, and the serial line's link, need an orderly end.
  if (options.pty || replay) QuitOnSignals(app);

  // Declared before the servers, so it outlives them.
  kv770::link::Trace trace;
  if (!options.trace.isEmpty() && !trace.Open(options.trace))
    FailFile(
        QStringLiteral("cannot write the trace %1: %2").arg(options.trace, trace.ErrorString()));
  // The gateway goes on serving; only the record of it stops, and says so.
  trace.OnFailure([](const QString& message) {
    std::fprintf(stderr, "kv770-sim: %s; tracing stopped\n", qPrintable(message));
  });
  // Without --trace the servers have nothing to record to, and skip it.
  kv770::link::Trace* const traced = options.trace.isEmpty() ? nullptr : &trace;

  kv770::sim::TcpServer server;
  server.SetBehaviour(options.behaviour);
  if (options.instruments) server.GetEngine().SetInstruments(*options.instruments);
  server.GetEngine().SetRefused(options.refused);
  for (const StepOption& step : options.steps)
    server.GetEngine().Step(step.meter, step.value, step.atMs);
  server.SetTrace(traced);
  if (replay) server.SetReplay(&*replay);
  if (!server.Listen(options.address, options.port)) {
    Complain(QStringLiteral("cannot listen on %1: %2")
                 .arg(Endpoint(options.address, options.port), server.ErrorString()));
    return 1;
  }
  // Scripts wait for this line before they connect.
  std::printf("kv770-sim listening on %s\n", qPrintable(Endpoint(options.address, server.Port())));

  kv770::sim::PtyServer serial(&server.GetEngine());
  if (options.pty && !OpenSerialLine(options, server, serial, traced, replay ? &*replay : nullptr))
    return 1;
  if (replay) {
    std::printf("kv770-sim replaying %s: %lld requests recorded\n", qPrintable(options.replay),
                replay->Recorded());
    std::fflush(stdout);
    // A client that only looked in (a port probe) ends nothing.
    QObject::connect(&server, &kv770::sim::TcpServer::LastClientLeft, &app, [&replay] {
      if (replay->Received() > 0) QCoreApplication::quit();
    });
    app.exec();
    std::printf("kv770-sim replay: %lld of %lld requests matched, %lld recorded\n",
                replay->Matched(), replay->Received(), replay->Recorded());
    std::fflush(stdout);
    return replay->Matched() == replay->Received() ? 0 : 1;
  }
  std::fflush(stdout);
  ReadCommands(server);

  return app.exec();
}
