// kv770ctl: the KV770-W gateway from the command line.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/ctl.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kv770ctl"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KV770_VERSION));
  QTextStream out(stdout);
  QTextStream err(stderr);
  return kv770::cli::Run(QCoreApplication::arguments().mid(1), out, err);
}
