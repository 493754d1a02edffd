// SPDX-License-Identifier: GPL-3.0-or-later
// kv770ctl: the KV770-W gateway from the command line.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "cli/ctl.h"

namespace {

// Whether the run may write a PDF (map --pdf). Its text is laid out with
// fonts, which only a GUI application has; any argument that reads as the
// option counts, a value of another option too, which costs only the
// start-up of the GUI module.
bool WritesPdf(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--pdf" || a == "-pdf" || a.starts_with("--pdf=") || a.starts_with("-pdf="))
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // The GUI application draws off screen: kv770ctl never needs a display.
  const bool gui = WritesPdf(argc, argv);
  if (gui) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::unique_ptr<QCoreApplication> app =
      gui ? std::make_unique<QGuiApplication>(argc, argv)
          : std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kv770ctl"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KV770_VERSION));
  QTextStream out(stdout);
  QTextStream err(stderr);
  int code = kv770::cli::Run(QCoreApplication::arguments().mid(1), out, err);
  // What went to standard output (a backup with "-") must have arrived. A
  // run that failed has said why already: monitor names its own output's
  // failure, and errno would no longer tell it.
  // errno tells only a failure of this flush: one of an earlier write has
  // been overwritten since.
  const bool flushed = std::fflush(stdout) == 0;
  const int error = flushed ? 0 : errno;
  const bool written = flushed && !std::ferror(stdout);
  if (!written && code == 0) {
    const QString message =
        QStringLiteral("cannot write standard output: %1")
            .arg(QString::fromLocal8Bit(error ? std::strerror(error) : "write error"));
    code = 1;
    if (kv770::cli::WantsJson(QCoreApplication::arguments().mid(1)))
      err << kv770::cli::FailureJson(message, code);
    else
      err << "kv770ctl: " << message << Qt::endl;
    err.flush();
  }
  return code;
}
