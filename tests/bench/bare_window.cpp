// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt window, the peer of kv770-config's start-up in scripts/bench:
// once its window has been exposed for the first time (and so painted), it
// prints "startup_ms" and "peak_rss_kib" and quits, at the same point as
// kv770-config --startup-probe.
#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdio>

#include "app/first_expose.h"

int main(int argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare"));
  window.resize(1049, 721);
  const kv770::app::FirstExpose probe(window, [&] {
    std::printf("startup_ms %.1f\npeak_rss_kib %ld\n", sinceStart.nsecsElapsed() / 1e6,
                kv770::app::PeakRssKib());
    std::fflush(stdout);
    app.quit();
  });
  window.show();
  return app.exec();
}
