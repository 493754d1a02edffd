// kv770-sim: a stand-in KV770-W gateway for the configuration tool, served
// over TCP and, with --pty, over a pseudo-terminal as its serial line.

#include <unistd.h>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "link/trace.h"
#include "sim/engine.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"

namespace {

using kv770::sim::Behaviour;

struct Options {
  QHostAddress address{QHostAddress::LocalHost};
  quint16 port = 7000;
  Behaviour behaviour;
  bool pty = false;
  QString ptyLink;
  QString trace;
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
  parser.addOptions({listen, port, silent, delay, byteByByte, byteGap, pty, trace});
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
    if (!serial.Open(options.ptyLink)) {
      Complain(serial.ErrorString());
      return 1;
    }
    QuitOnSignals(app);
    if (options.ptyLink.isEmpty())
      std::printf("kv770-sim serial line on %s\n", qPrintable(serial.SlavePath()));
    else
      std::printf("kv770-sim serial line on %s (link %s)\n", qPrintable(serial.SlavePath()),
                  qPrintable(options.ptyLink));
  }
  std::fflush(stdout);

  return app.exec();
}
