// SPDX-License-Identifier: GPL-3.0-or-later
#include <dlfcn.h>
#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/application.h"
#include "app/demo.h"
#include "app/first_expose.h"
#include "link/file_output.h"
#include "link/trace.h"
#include "ui/gateway_window.h"
#include "ui/language.h"

namespace {

// The Live Values tab, which --live-seconds shows.
constexpr int kLiveTab = 4;

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// --startup-probe: at the window's first expose, the time since main()
// began; then, with every page built, the peak memory; then quits.
// scripts/bench times the spawn to the first line, beside a bare Qt window
// that prints at the same point.
std::unique_ptr<kv770::app::FirstExpose> StartupProbe(kv770::ui::GatewayWindow& form,
                                                      const QElapsedTimer& sinceStart) {
  return std::make_unique<kv770::app::FirstExpose>(form, [&form, &sinceStart] {
    std::printf("startup_ms %.1f\n", sinceStart.nsecsElapsed() / 1e6);
    std::fflush(stdout);
    form.BuildPages();
    std::printf("peak_rss_kib %ld\n", kv770::app::PeakRssKib());
    std::fflush(stdout);
    qApp->quit();
  });
}

// Reads the font configuration (fontconfig's files and caches, some 5 ms)
// on a thread of its own while the application object connects to the
// display; the first text the window lays out would otherwise wait for it.
// Qt's own FcInit then finds it done. fontconfig comes with Qt's GUI
// module, which is why it is looked up rather than linked.
std::jthread ReadFontConfiguration() {
  return std::jthread([] {
    using Init = int (*)();
    if (auto init = reinterpret_cast<Init>(dlsym(RTLD_DEFAULT, "FcInit"))) init();
  });
}

// Says what was wrong with the command line; 2 is the exit code of every
// usage error.
int UsageError(const QString& message) {
  std::fprintf(stderr, "kv770-config: %s (see kv770-config --help)\n", qPrintable(message));
  return 2;
}

// The window as a picture in the format the file name asks for, replacing
// the file only once the whole picture is written.
bool SaveScreenshot(QWidget& window, const QString& path, const QByteArray& format) {
  QByteArray picture;
  QBuffer buffer(&picture);
  buffer.open(QIODevice::WriteOnly);
  QString reason;
  if (!window.grab().save(&buffer, format.constData()))
    reason = QStringLiteral("the picture could not be encoded");
  else
    reason = kv770::link::WriteWholeFile(path, picture);
  if (reason.isEmpty()) return true;
  std::fprintf(stderr, "kv770-config: cannot write the screenshot %s: %s\n", qPrintable(path),
               qPrintable(reason));
  return false;
}

// The program's options, and the checks of them that need no display.
struct CommandLine {
  QCommandLineParser parser;
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption demo{QStringLiteral("demo"),
                                QStringLiteral("Start the built-in gateway simulator and point "
                                               "the window at it.")};
  const QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                      QStringLiteral("Render the window (tab <index>) to <file> "
                                                     "(.png or .jpg) and quit."),
                                      QStringLiteral("file")};
  const QCommandLineOption tab{QStringLiteral("tab"), QStringLiteral("Tab to show first."),
                               QStringLiteral("index"), QStringLiteral("0")};
  const QCommandLineOption probe{QStringLiteral("startup-probe"),
                                 QStringLiteral("Print start-up time and peak memory once the "
                                                "window is shown, then quit.")};
  const QCommandLineOption com{QStringLiteral("com"),
                               QStringLiteral("Open serial port COMn at PATH instead of "
                                              "/dev/ttyS(n-1); may be repeated."),
                               QStringLiteral("COMn=PATH")};
  const QCommandLineOption traceFile{QStringLiteral("trace"),
                                     QStringLiteral("Append every request and reply block to "
                                                    "<file>: time (ms), link, direction, hex "
                                                    "and ASCII."),
                                     QStringLiteral("file")};
  const QCommandLineOption liveSeconds{
      QStringLiteral("live-seconds"),
      QStringLiteral("With --demo: connect to the simulator, start Live Values and let it poll "
                     "for <seconds> before --screenshot renders the window (on the Live Values "
                     "tab unless --tab says otherwise)."),
      QStringLiteral("seconds")};
  const QCommandLineOption traffic{
      QStringLiteral("traffic"),
      QStringLiteral("Show the traffic history under the tabs for this run (the View menu's "
                     "choice is left as it was).")};
  const QCommandLineOption readConfiguration{
      QStringLiteral("read-configuration"),
      QStringLiteral("With --demo: connect to the simulator and read its configuration into "
                     "the Gateway configuration window; --screenshot then renders that window.")};
  const QCommandLineOption language{
      QStringLiteral("lang"),
      QStringLiteral("The window's language: zh_CN (Simplified Chinese) or en (English). "
                     "Without it the system locale chooses: Chinese for zh_CN, English for any "
                     "other."),
      QStringLiteral("language")};
  int firstTab = 0;
  std::optional<kv770::ui::Language> chosenLanguage;
  int liveMs = 0;

  CommandLine() {
    parser.setApplicationDescription(
        QStringLiteral("Configure and test a KV770-W HART to MODBUS gateway."));
    parser.addOptions({demo, screenshot, tab, probe, com, traceFile, liveSeconds, traffic,
                       readConfiguration, language});
  }

  // 0, or the exit code of a usage error once it has been said.
  int Parse(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) return UsageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
      return UsageError(
          QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    bool ok = false;
    firstTab = parser.value(tab).toInt(&ok);
    if (!ok || firstTab < 0)
      return UsageError(QStringLiteral("--tab: '%1' is not a tab number").arg(parser.value(tab)));
    if (parser.isSet(liveSeconds)) {
      const int seconds = parser.value(liveSeconds).toInt(&ok);
      if (!ok || seconds < 1 || seconds > 3600)
        return UsageError(QStringLiteral("--live-seconds: '%1' is not a number of seconds "
                                         "(1 to 3600)")
                              .arg(parser.value(liveSeconds)));
      if (!parser.isSet(demo)) return UsageError(QStringLiteral("--live-seconds needs --demo"));
      liveMs = seconds * 1000;
      if (!parser.isSet(tab)) firstTab = kLiveTab;
    }
    if (parser.isSet(language)) {
      chosenLanguage = kv770::ui::LanguageNamed(parser.value(language));
      if (!chosenLanguage)
        return UsageError(QStringLiteral("--lang: '%1' is not a language (zh_CN or en)")
                              .arg(parser.value(language)));
    }
    if (parser.isSet(readConfiguration) && !parser.isSet(demo))
      return UsageError(QStringLiteral("--read-configuration needs --demo"));
    if (parser.isSet(readConfiguration) && parser.isSet(liveSeconds))
      return UsageError(
          QStringLiteral("--read-configuration and --live-seconds both use the "
                         "link: give one of them"));
    return 0;
  }

  // The picture format --screenshot asks for by its file name; the image
  // plug-ins are known once the application is.
  QByteArray pictureFormat;
  int CheckPictureFormat() {
    if (!parser.isSet(screenshot)) return 0;
    pictureFormat = QFileInfo(parser.value(screenshot)).suffix().toLower().toLatin1();
    if (QImageWriter::supportedImageFormats().contains(pictureFormat)) return 0;
    return UsageError(
        QStringLiteral("--screenshot: '%1' names no picture format (use .png or .jpg)")
            .arg(parser.value(screenshot)));
  }
};

// Connects over TCP as a user does ("IP Ethernet", Connect) and runs `then`
// once the TCP status line says "connected".
void ConnectThen(kv770::ui::GatewayWindow& form, std::function<void()> then) {
  auto* link = form.findChild<QComboBox*>(QStringLiteral("ComboBox2"));
  link->setCurrentIndex(1);
  emit link->activated(1);
  form.findChild<QPushButton*>(QStringLiteral("Button8"))->click();
  auto* status = form.findChild<QLabel*>(QStringLiteral("Label146"));
  auto* watch = new QTimer(&form);
  QObject::connect(watch, &QTimer::timeout, &form, [status, watch, then = std::move(then)] {
    // The caption the TCP state shows once connected, in the window's language.
    if (status->text() != QCoreApplication::translate("kv770::ui::SystemTab", "connected")) return;
    watch->deleteLater();
    then();
  });
  watch->start(20);
}

// Live Values polling the demo's simulator over TCP, as a user starts it.
void StartLiveValues(kv770::ui::GatewayWindow& form) {
  form.BuildPages();
  ConnectThen(form, [&form] { form.findChild<QPushButton*>(QStringLiteral("Button61"))->click(); });
}

// The simulated gateway inside the tool, the window pointed at it; none,
// after saying why, when it cannot start.
std::unique_ptr<kv770::app::Demo> StartDemo(kv770::ui::GatewayWindow& form) {
  auto simulator = std::make_unique<kv770::app::Demo>();
  if (!simulator->Start(form)) {
    std::fprintf(stderr, "kv770-config: the demo simulator could not start\n");
    return nullptr;
  }
  std::printf("demo: simulated gateway at 127.0.0.1:%u\n", simulator->Port());
  if (!simulator->SerialPath().isEmpty())
    std::printf("demo: simulated gateway on serial port COM4 (%s)\n",
                qPrintable(simulator->SerialPath()));
  std::fflush(stdout);
  return simulator;
}

// The trace the user asked for, if any; false, after saying why, when it
// cannot be written. A trace that fails later says so and stops.
bool OpenTrace(kv770::link::Trace& trace, const CommandLine& options) {
  if (options.parser.isSet(options.traceFile) &&
      !trace.Open(options.parser.value(options.traceFile))) {
    std::fprintf(stderr, "kv770-config: cannot write the trace %s: %s\n",
                 qPrintable(options.parser.value(options.traceFile)),
                 qPrintable(trace.ErrorString()));
    return false;
  }
  trace.OnFailure([](const QString& message) {
    std::fprintf(stderr, "kv770-config: %s; tracing stopped\n", qPrintable(message));
  });
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();

  // Usage errors are known before any window or display is needed.
  CommandLine options;
  if (const int usage = options.Parse(argc, argv)) return usage;
  const QCommandLineParser& parser = options.parser;
  // Help and version need no window: print them even without a display.
  if (parser.isSet(options.help) || parser.isSet(options.version))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "kv770-config: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Run it on a desktop, or under a virtual display:  xvfb-run -a %s %s\n",
                 argv[0], argc > 1 ? argv[1] : "");
    return 1;
  }
  // Help and version end the program from inside the application object.
  std::jthread fonts;
  if (!parser.isSet(options.help) && !parser.isSet(options.version))
    fonts = ReadFontConfiguration();
  kv770::app::Application app(argc, argv);
  if (parser.isSet(options.help)) options.parser.showHelp(0);
  if (parser.isSet(options.version)) options.parser.showVersion();
  if (const int usage = options.CheckPictureFormat()) return usage;

  // The window's texts are set as it is built: its language comes first.
  if (!kv770::ui::UseLanguage(options.chosenLanguage.value_or(kv770::ui::SystemLanguage())))
    std::fprintf(stderr,
                 "kv770-config: the translation could not be loaded; the window is in "
                 "English\n");

  // Declared before the window, so it outlives the links that write to it.
  kv770::link::Trace trace;
  if (!OpenTrace(trace, options)) return 2;

  if (fonts.joinable()) fonts.join();
  kv770::ui::GatewayWindow form;
  app.SetMessageSink(&form.Messages());
  if (options.firstTab >= form.TabCount())
    return UsageError(QStringLiteral("--tab: '%1' is not a tab (0 to %2)")
                          .arg(options.firstTab)
                          .arg(form.TabCount() - 1));
  if (trace.IsOpen()) form.SetTrace(&trace);

  std::unique_ptr<kv770::app::Demo> simulator;
  if (parser.isSet(options.demo) && !(simulator = StartDemo(form))) return 1;
  // After the demo's own mapping, so that the user's word is the last.
  for (const QString& assignment : parser.values(options.com)) {
    QString why;
    if (!form.AssignSerialPort(assignment, &why)) {
      std::fprintf(stderr, "kv770-config: --com %s\n", qPrintable(why));
      return 2;
    }
  }
  form.ShowTab(options.firstTab);
  // A screenshot shows the window as designed, whatever screen renders it.
  if (!parser.isSet(options.screenshot)) {
    QScreen* screen = QGuiApplication::screenAt(form.geometry().center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) form.FitTo(screen->availableGeometry());
  }
  const std::unique_ptr<kv770::app::FirstExpose> probe =
      parser.isSet(options.probe) ? StartupProbe(form, sinceStart) : nullptr;
  form.show();

  if (parser.isSet(options.traffic)) form.ShowTrafficHistory(true);
  if (options.liveMs > 0) StartLiveValues(form);
  if (parser.isSet(options.readConfiguration)) {
    ConnectThen(form, [&form] {
      form.findChild<QAction*>(QStringLiteral("ReadConfigurationAction"))->trigger();
    });
  }
  if (parser.isSet(options.screenshot) && parser.isSet(options.readConfiguration)) {
    // The configuration window, once its read has filled the table.
    auto* watch = new QTimer(&form);
    QObject::connect(watch, &QTimer::timeout, &app, [&] {
      auto* dialog = form.findChild<QDialog*>(QStringLiteral("ConfigurationDialog"));
      auto* table =
          dialog ? dialog->findChild<QTableWidget*>(QStringLiteral("ConfigTable")) : nullptr;
      if (!table || table->rowCount() == 0) return;
      watch->stop();
      app.exit(
          SaveScreenshot(*dialog, parser.value(options.screenshot), options.pictureFormat) ? 0 : 1);
    });
    watch->start(50);
    QTimer::singleShot(15000, &app, [&] {
      std::fprintf(stderr, "kv770-config: the configuration was not read within 15 s\n");
      app.exit(1);
    });
  } else if (parser.isSet(options.screenshot)) {
    QTimer::singleShot(std::max(200, options.liveMs), &app, [&] {
      app.exit(SaveScreenshot(form, parser.value(options.screenshot), options.pictureFormat) ? 0
                                                                                             : 1);
    });
  }
  return app.exec();
}
