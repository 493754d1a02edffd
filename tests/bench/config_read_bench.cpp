// SPDX-License-Identifier: GPL-3.0-or-later
// The window reading a gateway's whole configuration (the system report and
// eight meter reports) from the simulator over TCP, as "Read configuration"
// does; prints `config_read_s`, the median of five reads.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/window.h"
#include "sim/sim_thread.h"
#include "ui/message_sink.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kv770::sim::SimThread gateway;
  if (!gateway.Start()) return 1;
  kv770::ui::RecordingMessageSink messages;
  const std::unique_ptr<QWidget> form = kv770::app::MakeWindow(&messages);
  auto* link = form->findChild<QComboBox*>(QStringLiteral("ComboBox2"));
  link->setCurrentIndex(1);
  emit link->activated(1);
  form->findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QStringLiteral("127.0.0.1"));
  form->findChild<QLineEdit*>(QStringLiteral("Edit34"))->setText(QString::number(gateway.Port()));
  form->findChild<QPushButton*>(QStringLiteral("Button8"))->click();
  auto* status = form->findChild<QLabel*>(QStringLiteral("Label146"));
  if (!QTest::qWaitFor([&] { return status->text() == QLatin1String("connected"); }, 5000)) return 1;

  auto* read = form->findChild<QAction*>(QStringLiteral("ReadConfigurationAction"));
  std::vector<double> seconds;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer clock;
    clock.start();
    read->trigger();
    auto* again = form->findChild<QPushButton*>(QStringLiteral("ConfigRead"));
    if (!QTest::qWaitFor([&] { return again->isEnabled(); }, 30000)) return 1;
    seconds.push_back(clock.nsecsElapsed() / 1e9);
  }
  if (!messages.shown.isEmpty()) {
    std::fprintf(stderr, "config_read: %s\n", qPrintable(messages.shown.join('|')));
    return 1;
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("config_read_s %.3f\n", seconds[seconds.size() / 2]);
  return 0;
}
