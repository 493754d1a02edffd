// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

#include "gateway/config.h"
#include "ui/controls.h"
#include "ui/tab.h"

class QLineEdit;
class QComboBox;

namespace kv770::ui {

class ModbusTools;

// "MODBUS Parameter Configuration": how the gateway polls one meter and
// maps its values to holding registers, how it parses a custom meter's
// replies, and the MODBUS read test and calculator below them.
class ModbusTab : public Tab {
  Q_OBJECT

 public:
  explicit ModbusTab(Requests& requests);

  bool Decode(cycle::PendingCode code) override;
  // The buttons a positive communication check enables on this tab.
  void EnableRequests();
  // A time-out's status text, on the "Current" row.
  void ShowStatus(const QString& text);
  // The meter at `position`, chosen by the HART address on the
  // Transparent Mode tab, with its registers' numbers.
  void ChooseMeter(int position);
  // The MODBUS read test follows the gateway's slave address.
  void SetTestSlave(const QString& text);

 signals:
  // A meter was chosen here and its report asked for: the system
  // parameters shown are cleared until they are read again.
  void meterChosen();
  // A meter's report carries the working mode (a list position).
  void workingModeReported(int position);

 protected:
  // The coefficient boxes' key filter.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build();
  void ConnectHandlers();
  void StartUp();
  void SendSetting(const std::string& command);
  std::string MeterCommand(const gateway::MeterSettings& settings,
                           gateway::MeterGroup group) const;
  void SendReadMeterCommand(int command, const QLineEdit* bytes, const QComboBox* enable);

  void onPollingSetupSetClicked();
  void onByteOrdersSetClicked();
  void onCoefficientsSetClicked();
  void onMeterChosen();
  void onMappingQueryClicked();
  void DecodeModbusReport();
  void onReadCommand1SetClicked();
  void onReadCommand2SetClicked();
  void onParsingFormatSetClicked();
  void onChannelTestClicked();
  void onInstrumentTypeChosen();

  MappingControls mapping_;
  ParsingControls parsing_;
  ModbusTools* tools_ = nullptr;
};

}  // namespace kv770::ui
