// kv770-sim: a stand-in KV770-W gateway for the configuration tool, served
// over TCP.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

#include "sim/engine.h"
#include "sim/tcp_server.h"

namespace {

using kv770::sim::Behaviour;

struct Options {
  QHostAddress address{QHostAddress::LocalHost};
  quint16 port = 7000;
  Behaviour behaviour;
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
  parser.addOptions({listen, port, silent, delay, byteByByte, byteGap});
  parser.process(app);

  if (!parser.positionalArguments().isEmpty()) {
    Fail(QStringLiteral("unexpected argument '%1' (see --help)")
             .arg(parser.positionalArguments().first()));
  }

  Options options;
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

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("kv770-sim");
  QCoreApplication::setApplicationVersion("0.1.0");

  const Options options = ParseOptions(app);

  kv770::sim::TcpServer server;
  server.SetBehaviour(options.behaviour);
  if (!server.Listen(options.address, options.port)) {
    Complain(QStringLiteral("cannot listen on %1: %2")
                 .arg(Endpoint(options.address, options.port), server.ErrorString()));
    return 1;
  }
  // Scripts wait for this line before they connect.
  std::printf("kv770-sim listening on %s\n", qPrintable(Endpoint(options.address, server.Port())));
  std::fflush(stdout);

  return app.exec();
}
