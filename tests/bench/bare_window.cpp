// SPDX-License-Identifier: GPL-3.0-or-later
// A bare Qt window, the peer of kv770-config's start-up in scripts/bench:
// once its window has been exposed for the first time (and so painted), it
// prints "startup_ms" and "peak_rss_kib" and quits, at the same point as
// kv770-config --startup-probe.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace {

// Peak resident set size of this process, in KiB.
long PeakRssKib() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

class FirstExpose : public QObject {
 public:
  FirstExpose(QWidget& window, const QElapsedTimer& sinceStart)
      : window_(window), sinceStart_(sinceStart) {
    qApp->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Expose || watched != window_.windowHandle() ||
        !window_.windowHandle()->isExposed())
      return false;
    qApp->removeEventFilter(this);
    QTimer::singleShot(0, this, [this] {
      std::printf("startup_ms %.1f\npeak_rss_kib %ld\n", sinceStart_.nsecsElapsed() / 1e6,
                  PeakRssKib());
      std::fflush(stdout);
      qApp->quit();
    });
    return false;
  }

 private:
  QWidget& window_;
  const QElapsedTimer& sinceStart_;
};

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare"));
  window.resize(1049, 721);
  FirstExpose probe(window, sinceStart);
  window.show();
  return app.exec();
}
