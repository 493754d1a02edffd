// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt window, the peer of kv770-config's start-up in scripts/bench:
// it prints "startup_ms" once its window is shown, as --startup-probe does.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare"));
  window.resize(1049, 721);
  window.show();
  QTimer::singleShot(0, &app, [&] {
    std::printf("startup_ms %.1f\n", sinceStart.nsecsElapsed() / 1e6);
    std::fflush(stdout);
    app.quit();
  });
  return app.exec();
}
