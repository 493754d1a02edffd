#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace kv770::sim {
class SimThread;
}
namespace kv770::ui {
class GatewayWindow;
}

namespace kv770::app {

// Demo mode: a simulated gateway inside the tool, and the window's link
// boxes preset to reach it.
class Demo {
 public:
  Demo();
  ~Demo();
  bool Start(ui::GatewayWindow& form);
  quint16 Port() const;
  // The simulator's serial line, which COM4 leads to; empty without one.
  QString SerialPath() const;

 private:
  std::unique_ptr<sim::SimThread> sim_;
};

}  // namespace kv770::app
