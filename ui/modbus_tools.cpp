// The MODBUS read test and the IEEE 754 calculator.
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "cycle/convert.h"
#include "cycle/waits.h"
#include "tools/calculator_input.h"
#include "tools/float_text.h"
#include "tools/modbus_frames.h"
#include "ui/gateway_window.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

// The request's fields are one byte each: a value outside 0..255 would put
// another address or count on the wire (256 is the broadcast address 0), so
// it is refused before anything is sent.
std::uint8_t ByteField(const QLineEdit* edit) {
  return static_cast<std::uint8_t>(cycle::StrToIntInRange(edit->text(), 0, 255));
}

template <std::size_t N>
QByteArray Bytes(const std::array<std::uint8_t, N>& frame) {
  return QByteArray(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(N));
}

}  // namespace

void GatewayWindow::ConnectModbusToolHandlers() {
  On(modbusTest.send, &QPushButton::clicked, &GatewayWindow::onModbusTestClicked);
  On(calculator.calculate, &QPushButton::clicked, &GatewayWindow::onCalculateClicked);
}

void GatewayWindow::onModbusTestClicked() {
  RefuseWhileLive();
  QByteArray frame;
  if (LinkIndex() == 0) {
    // RTU on the serial line. Both areas are cleared before the fields are
    // read, so a refused field leaves them empty.
    shared.sendBuffer->clear();
    shared.receiveBuffer->clear();
    const std::uint8_t slave = ByteField(modbusTest.slaveAddress);
    const std::uint8_t start = ByteField(modbusTest.startAddress);
    const std::uint8_t count = ByteField(modbusTest.length);
    frame = Bytes(tools::RtuReadRequest(slave, start, count));
  } else {
    // MODBUS TCP. The receive area keeps the last reply until the next one
    // replaces it.
    const std::uint8_t unit = ByteField(modbusTest.slaveAddress);
    const std::uint8_t start = ByteField(modbusTest.startAddress);
    const std::uint8_t count = ByteField(modbusTest.length);
    frame = Bytes(tools::TcpReadRequest(unit, start, count));
  }
  const QByteArray bytes = Cycle.Stage(frame);
  shared.sendBuffer->setText(QString::fromStdString(base::HexText(bytes, cycle::kAreaHex)));
  RouteToLink(bytes);
  Cycle.Arm(cycle::PendingCode::kModbusReadTest, cycle::RequestKind::kConnection);
  timeoutTimer.SetInterval(cycle::kReplyTimeoutMs);
  timeoutTimer.SetEnabled(true);
}

void GatewayWindow::onCalculateClicked() {
  const QString typed = calculator.hexInput->text();
  const tools::CalculatorInput input = tools::ParseCalculatorInput(
      tools::CalculatorChars(std::u16string_view(reinterpret_cast<const char16_t*>(typed.utf16()),
                                                 static_cast<std::size_t>(typed.size()))));
  if (input.error != tools::CalculatorInput::Error::None) {
    const std::string_view message = tools::CalculatorInputMessage(input.error);
    Messages().Show(QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size())));
    return;
  }
  // The value bytes live in the request area while the calculator works.
  std::copy(input.bytes.begin(), input.bytes.end(),
            Cycle.ExchangeBuffer.begin() + cycle::RequestCycle::kRequestArea);
  calculator.value->setText(
      QString::fromStdString(tools::CalculatorText(input.Pattern(), DecimalSeparator())));
}

}  // namespace kv770::ui
