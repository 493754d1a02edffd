// kv770-sim: a stand-in KV770-W gateway for the configuration tool, served
// over TCP and, with --pty, over a pseudo-terminal as its serial line.

#include <unistd.h>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "link/trace.h"
#include "sim/engine.h"
#include "sim/instruments.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"

namespace {

using kv770::sim::Behaviour;
using kv770::sim::InstrumentPlace;

// The speeds the gateway's serial line can be set to.
constexpr int kLineSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};

struct Options {
  QHostAddress address{QHostAddress::LocalHost};
  quint16 port = 7000;
  Behaviour behaviour;
  bool pty = false;
  QString ptyLink;
  QString trace;
  int lineBaud = 0;  // any
  std::optional<std::vector<InstrumentPlace>> instruments;
  std::vector<std::string> refused;
};

void Complain(const QString& message) {
  QTextStream(stderr) << "kv770-sim: " << message << Qt::endl;
}

[[noreturn]] void Fail(const QString& message) {
  Complain(message);
  std::exit(1);
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
  if (parser.isSet(QStringLiteral("instruments")))
    options.instruments = ParseInstruments(parser.value(QStringLiteral("instruments")));
  options.refused = ParseRefused(parser.values(QStringLiteral("refuse")));
}

Options ParseOptions(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Simulated KV770-W gateway (firmware %1) for kv770-config.")
          .arg(kv770::sim::Engine::kFirmware));
  parser.addHelpOption();
  parser.addVersionOption();

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
  const QCommandLineOption instruments(
      "instruments",
      "The HART instruments behind the gateway, for transparent frames: comma-separated CHANNEL "
      "(1-8) or CHANNEL:ADDRESS (polling address 0-63, 0 when left out), e.g. 1,2:0,2:5,8:15; "
      "'none' for none (default: one on each channel, at address 0).",
      "LIST");
  const QCommandLineOption refuse(
      "refuse",
      QStringLiteral("Answer the set command acknowledged OK:MNEMONIC# with ERR:BAD "
                     "PARAMETER# and change nothing (repeatable). Known: %1.")
          .arg(KnownMnemonics()),
      "MNEMONIC");
  parser.addOptions(
      {listen, port, silent, delay, byteByByte, byteGap, pty, baud, instruments, refuse, trace});
  parser.addPositionalArgument("LINK", "With --pty: path of a symbolic link to the serial line.",
                               "[LINK]");
  parser.process(app);

  const QStringList positional = parser.positionalArguments();
  if (positional.size() > (parser.isSet(pty) ? 1 : 0)) {
    Fail(QStringLiteral("unexpected argument '%1' (see --help)")
             .arg(positional.value(parser.isSet(pty) ? 1 : 0)));
  }

  Options options;
  options.pty = parser.isSet(pty);
  options.ptyLink = positional.value(0);
  options.trace = parser.value(trace);
  if (!options.address.setAddress(parser.value(listen))) {
    Fail(QStringLiteral("invalid address '%1' (a numeric IPv4 or IPv6 address)")
             .arg(parser.value(listen)));
  }
  options.port = static_cast<quint16>(ParseCount(parser.value(port), "port", 65535));
  options.behaviour.silent = parser.isSet(silent);
  options.behaviour.delayMs = ParseCount(parser.value(delay), "delay", 600000);
  options.behaviour.byteByByte = parser.isSet(byteByByte) || parser.isSet(byteGap);
  options.behaviour.byteGapMs = ParseCount(parser.value(byteGap), "byte gap", 60000);
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

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("kv770-sim");
  QCoreApplication::setApplicationVersion(QStringLiteral(KV770_VERSION));

  const Options options = ParseOptions(app);

  // Declared before the servers, so it outlives them.
  kv770::link::Trace trace;
  if (!options.trace.isEmpty() && !trace.Open(options.trace))
    Fail(QStringLiteral("cannot write the trace %1: %2").arg(options.trace, trace.ErrorString()));
  // The gateway goes on serving; only the record of it stops, and says so.
  trace.OnFailure([](const QString& message) {
    std::fprintf(stderr, "kv770-sim: %s; tracing stopped\n", qPrintable(message));
  });

  kv770::sim::TcpServer server;
  server.SetBehaviour(options.behaviour);
  if (options.instruments) server.GetEngine().SetInstruments(*options.instruments);
  server.GetEngine().SetRefused(options.refused);
  server.SetTrace(&trace);
  if (!server.Listen(options.address, options.port)) {
    Complain(QStringLiteral("cannot listen on %1: %2")
                 .arg(Endpoint(options.address, options.port), server.ErrorString()));
    return 1;
  }
  // Scripts wait for this line before they connect.
  std::printf("kv770-sim listening on %s\n", qPrintable(Endpoint(options.address, server.Port())));

  kv770::sim::PtyServer serial(&server.GetEngine());
  if (options.pty) {
    serial.SetBehaviour(options.behaviour);
    serial.SetTrace(&trace);
    serial.SetLineBaud(options.lineBaud);
    // The system report's speed code: 0 for 1200 .. 6 for 57600 bit/s.
    if (const auto* code = std::ranges::find(kLineSpeeds, options.lineBaud);
        code != std::end(kLineSpeeds))
      server.GetEngine().Model().baudCode = static_cast<int>(code - std::begin(kLineSpeeds));
    if (!serial.Open(options.ptyLink)) {
      Complain(serial.ErrorString());
      return 1;
    }
    QuitOnSignals(app);
    const QString speed =
        options.lineBaud ? QStringLiteral(" at %1 bit/s").arg(options.lineBaud) : QString();
    const QString link =
        options.ptyLink.isEmpty() ? QString() : QStringLiteral(" (link %1)").arg(options.ptyLink);
    std::printf("kv770-sim serial line on %s%s%s\n", qPrintable(serial.SlavePath()),
                qPrintable(speed), qPrintable(link));
  }
  std::fflush(stdout);

  return app.exec();
}
