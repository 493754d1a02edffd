// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace kv770::ui {

// "Wiring Diagram": how the gateway, its supply, the RS-485 side and the
// HART loop are wired, as a picture with a description for screen readers.
class WiringTab : public QWidget {
  Q_OBJECT

 public:
  explicit WiringTab(QWidget* parent = nullptr);
};

}  // namespace kv770::ui
