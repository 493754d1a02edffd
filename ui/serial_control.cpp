// Opening and closing the serial port, and what arrives on it.
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QThread>

#include "cycle/convert.h"
#include "cycle/waits.h"
#include "ui/gateway_window.h"
#include "ui/live_tab.h"

namespace kv770::ui {

using link::TParity;

namespace {
// The longest reply text one serial block gives.
constexpr int kSerialTextCap = 255;
}  // namespace

void GatewayWindow::ConnectSerialHandlers() {
  On(system.openPort, &QPushButton::clicked, &GatewayWindow::onOpenPortClicked);
  On(&rs485CloseTimer, &cycle::FormTimer::OnTimer, &GatewayWindow::onRs485CloseTimer);
  connect(&Comm1, &link::TComm::OnReceiveData, this,
          [this](const char* buffer, std::uint16_t length) {
            Run([this, buffer, length] { onSerialReceived(buffer, length); });
          });
  connect(&Comm1, &link::TComm::OnRequestHangup, this,
          [this] { Run([this] { onSerialHangup(); }); });
  connect(system.serialPort, &QComboBox::currentTextChanged, this,
          &GatewayWindow::ShowSerialDevice);
  ShowSerialDevice();
}

void GatewayWindow::ShowSerialDevice() {
  const QString device = Comm1.Ports().DevicePath(system.serialPort->currentText());
  system.serialPort->setToolTip(device.isEmpty() ? QString()
                                                 : QStringLiteral("Device: %1").arg(device));
}

void GatewayWindow::onOpenPortClicked() {
  if (SerialOpen) {
    if (Live().OverSerial()) Live().End(QStringLiteral("the serial port was closed"));
    SerialOpen = false;
    system.openPort->setText(QStringLiteral("open"));
    Comm1.ClosePort();
    return;
  }
  // Crossed on purpose, and kept so: the box captioned "COM_RTS" drives DTR
  // and "COM_DTR" drives RTS, and wiring instructions rely on it.
  link::OpenLine(Comm1,
                 {system.serialPort->currentText(),
                  static_cast<std::uint32_t>(cycle::StrToInt(system.serialBaud->currentText())),
                  static_cast<TParity>(system.serialParity->currentIndex()),
                  /*dtr=*/system.comRts->isChecked(), /*rts=*/system.comDtr->isChecked()});
  goneDevice_.clear();
  SerialOpen = true;
  system.openPort->setText(QStringLiteral("close"));
}

void GatewayWindow::onRs485CloseTimer() {
  // The gateway has taken new RS-485 settings; the old line is given up.
  rs485CloseTimer.SetEnabled(false);
  if (Live().OverSerial()) Live().End(QStringLiteral("the serial port was closed"));
  SerialOpen = false;
  system.openPort->setText(QStringLiteral("open serial"));
  Comm1.ClosePort();
}

void GatewayWindow::onSerialReceived(const char* buffer, std::uint16_t length) {
  // A live session takes its replies as they come, without the wait below;
  // the request cycle stays idle meanwhile, whichever link it runs on.
  if (Live().Running()) {
    if (Live().OverSerial()) Live().Received(QByteArray(buffer, length));
    return;
  }
  QThread::msleep(cycle::kSerialReplyWaitMs);
  // The block is the component's and gone after this call: keep a copy.
  // The reply area takes what fits; the text at most 255 characters.
  Cycle.StoreReply(QByteArray(buffer, length), kSerialTextCap);
  ReceiveDispatch(static_cast<int>(Cycle.ReplyText.size()));
}

// The line hung up. A peer that went away leaves the port as it is: the
// next request times out and Close ends it. A device that is gone from the
// system (an adapter pulled out) ends the same way, but nothing else would
// tell the user why, so its name is said.
void GatewayWindow::onSerialHangup() {
  const QString device = Comm1.DevicePath();
  // Both workers may report the same hang-up.
  if (device.isEmpty() || device == goneDevice_ || QFileInfo::exists(device)) return;
  goneDevice_ = device;
  Messages().Show(QStringLiteral("The serial device %1 is gone").arg(device));
}

}  // namespace kv770::ui
