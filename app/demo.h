// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace kv770::sim {
class SimThread;
}
class QWidget;

namespace kv770::app {

// Demo mode: a simulated gateway inside the tool, and the window's link
// boxes preset to reach it.
class Demo {
 public:
  Demo();
  ~Demo();
  // Starts the simulator and presets the link boxes of `window` (one made
  // by app::MakeWindow) to reach it.
  bool Start(QWidget& window);
  quint16 Port() const;
  // The simulator's serial line, which COM4 leads to; empty without one.
  QString SerialPath() const;

 private:
  std::unique_ptr<sim::SimThread> sim_;
};

}  // namespace kv770::app
