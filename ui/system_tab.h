// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "cycle/form_timer.h"
#include "gateway/config.h"
#include "link/SerialComm.h"
#include "link/tcp_client.h"
#include "ui/controls.h"
#include "ui/tab.h"

namespace kv770::ui {

// "System Parameter": the link to the gateway (serial port or TCP) and the
// gateway's own settings, the communication check and the system report.
// The window owns the serial port and the socket; this tab opens, closes
// and connects them.
class SystemTab : public Tab {
  Q_OBJECT

 public:
  SystemTab(Requests& requests, link::TComm& serial, link::TClientSocket& socket);

  // Position of the link choice, -1 when its text was typed over.
  int LinkIndex() const;
  // True from a successful "Open" until the port is closed.
  bool SerialOpen() const { return serialOpen_; }
  bool Decode(cycle::PendingCode code) override;

  // The serial port list's tooltip: the device its name leads to. Called
  // again when the names are mapped anew.
  void ShowSerialDevice();
  // What choosing a meter on the MODBUS tab clears of the settings shown.
  void ClearSettings();
  // The working mode a meter's report carries (a list position).
  void ShowWorkingMode(int position);
  // The buttons a positive communication check enables on this tab.
  void EnableRequests();
  // The chosen link and its state, for the status line:
  // "COM4 = /dev/ttyUSB0, 9600 8-N-1, open", "192.168.0.88:7000 connected",
  // "not connected". These words are the backup's too (its source): they
  // stay English whatever the window's language.
  QString LinkDescription() const;
  // The same in the window's language, for the status line.
  QString LinkShown() const;

 signals:
  // The link chosen, opened, closed, connected or lost.
  void linkChanged();
  // The slave address shown changed (typed or read back).
  void slaveAddressChanged(const QString& text);
  // The serial port was closed: by "close" or after an RS-485 setting.
  void serialClosed();
  // The gateway answered the communication check.
  void gatewayAnswered();

 private:
  void Build();
  void ConnectHandlers();
  void StartUp();

  void onLinkChosen();
  void onConnectClicked();
  void onDisconnectClicked();
  void onOpenPortClicked();
  void onRs485CloseTimer();
  void onSerialHangup();
  void onCommunicationQueryClicked();
  void onRs485SetClicked();
  void onWorkingModeSetClicked();
  void onSlaveAddressSetClicked();
  void onPollingIntervalSetClicked();
  void onParameterResetClicked();
  void onBoardSetClicked();
  void onMakerProgramClicked();
  void onSystemQueryClicked();
  void DecodeCommunicationCheck();
  void DecodeSystemReport();
  void SendSetting(const std::string& command);
  gateway::SystemSettings Settings(unsigned groups) const;
  void SendSystemSetting(gateway::SystemGroup group);
  void ClosePort(const QString& caption);

  SystemControls c_;
  link::TComm& serial_;
  link::TClientSocket& socket_;
  cycle::FormTimer rs485CloseTimer_;  // closes the serial port after an RS-485 setting
  bool serialOpen_ = false;
  QString serialLine_;  // the open serial line: "COM4 = /dev/ttyUSB0, 9600 8-N-1"
  enum class TcpState { kNone, kConnecting, kConnected } tcpState_ = TcpState::kNone;
  QString tcpTarget_;  // address:port of the last connect
  QString goneDevice_;  // the device whose disappearance was told, so it is told once
};

}  // namespace kv770::ui
