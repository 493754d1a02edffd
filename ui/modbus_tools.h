// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "ui/controls.h"
#include "ui/tab.h"

namespace kv770::ui {

// Along the bottom of the MODBUS tab: a MODBUS read through the gateway
// (RTU on the serial line, MODBUS TCP over TCP) and the IEEE 754
// calculator, which turns four bytes into the value they carry.
class ModbusTools : public Tab {
  Q_OBJECT

 public:
  explicit ModbusTools(Requests& requests);

  // The slave the read goes to follows the gateway's slave address.
  void SetSlave(const QString& text);
  // Choosing a meter points the read at that meter's registers.
  void SetRange(const QString& start, const QString& length);
  // Tab goes from `previous` into these controls, in reading order.
  void ChainAfter(QWidget* previous);

 private:
  void onModbusTestClicked();
  void onCalculateClicked();

  ModbusTestControls test_;
  CalculatorControls calculator_;
};

}  // namespace kv770::ui
