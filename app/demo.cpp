// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/demo.h"

#include <QLineEdit>

#include "sim/sim_thread.h"
#include "ui/gateway_window.h"

namespace kv770::app {

Demo::Demo() : sim_(std::make_unique<sim::SimThread>()) {}
Demo::~Demo() = default;

bool Demo::Start(QWidget& window) {
  auto& form = *qobject_cast<ui::GatewayWindow*>(&window);
  // The gateway's usual port when it is free, any free port otherwise.
  if (!sim_->Start(7000) && !sim_->Start(0)) return false;
  // Something for "Live Values" to show: meter 3's flow (95 kg/min) rises
  // to 125 after 20 s and falls back after 80 s, as a process would.
  sim_->Step(3, 125, 20'000);
  sim_->Step(3, 95, 80'000);
  // "Target IP Address:" and "Port Number:" as the user would type them.
  form.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QStringLiteral("127.0.0.1"));
  form.findChild<QLineEdit*>(QStringLiteral("Edit34"))->setText(QString::number(sim_->Port()));
  // COM4 is the window's own choice, so "Open" reaches the simulator. A
  // demo without a serial line still serves TCP.
  const QString serial = sim_->StartPty();
  if (!serial.isEmpty()) form.MapSerialPort(4, serial);
  return true;
}

quint16 Demo::Port() const {
  return sim_->Port();
}

QString Demo::SerialPath() const {
  return sim_->PtyPath();
}

}  // namespace kv770::app
