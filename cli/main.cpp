// kv770ctl: the KV770-W gateway from the command line.
#include <QCoreApplication>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/ctl.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kv770ctl"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KV770_VERSION));
  QTextStream out(stdout);
  QTextStream err(stderr);
  int code = kv770::cli::Run(QCoreApplication::arguments().mid(1), out, err);
  // What went to standard output (a backup with "-") must have arrived. A
  // run that failed has said why already: monitor names its own output's
  // failure, and errno would no longer tell it.
  const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
  const int error = errno;
  if (!written && code == 0) {
    std::fprintf(stderr, "kv770ctl: cannot write standard output: %s\n",
                 error ? std::strerror(error) : "write error");
    code = 1;
  }
  return code;
}
