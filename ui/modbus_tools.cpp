// SPDX-License-Identifier: GPL-3.0-or-later
// The MODBUS read test and the IEEE 754 calculator_.
#include "ui/modbus_tools.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "base/waits.h"
#include "cycle/convert.h"
#include "tools/calculator_input.h"
#include "tools/float_text.h"
#include "tools/modbus_frames.h"
#include "ui/language.h"
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

// ---- MODBUS read test ---------------------------------------------------
void BuildModbusTestGroup(ModbusTestControls& c, QWidget* page) {
  c.group = MakeGroup(page, "GroupBox19", ModbusTools::tr("Modbus Communication Test"));
  auto* grid = new QGridLayout(c.group);
  Tighten(grid);
  c.slaveAddress = MakeEdit(c.group, "Edit18", QStringLiteral("001"));
  c.startAddress = MakeEdit(c.group, "Edit19", QStringLiteral("00"));
  c.length = MakeEdit(c.group, "Edit20", QStringLiteral("10"));
  for (QLineEdit* edit : {c.slaveAddress, c.startAddress, c.length}) SizeToChars(edit, 3);
  AddLabelled(grid, 0, 0, ModbusTools::tr("MODBUS Slave Address:"), c.slaveAddress);
  AddLabelled(grid, 0, 3, ModbusTools::tr("MODBUS Start Address:"), c.startAddress);
  AddLabelled(grid, 1, 0, ModbusTools::tr("Read Data Length:"), c.length);
  c.send = MakeButton(c.group, "Button4", ModbusTools::tr("MODBUS Comm Test"));
  grid->addWidget(c.send, 1, 3, 1, 2, Qt::AlignRight);
  grid->setColumnMinimumWidth(2, 2 * kTightSpacing);  // air between the two pairs
}

// ---- IEEE 754 calculator -----------------------------------------------
void BuildCalculatorGroup(CalculatorControls& c, QWidget* page) {
  c.group = MakeGroup(page, "GroupBox12", ModbusTools::tr("IEE754 Calculation"));
  auto* grid = new QGridLayout(c.group);
  Tighten(grid);
  c.hexInput = MakeEdit(c.group, "Edit7");
  SizeToChars(c.hexInput, 14);
  AddLabelled(grid, 0, 0, ModbusTools::tr("Data Format HEX(FF FF FF FF):"), c.hexInput);
  c.calculate = MakeButton(c.group, "Button13", ModbusTools::tr("Calculation"));
  grid->addWidget(c.calculate, 0, 2);
  c.value = MakeEdit(c.group, "Edit22");
  SizeToChars(c.value, 14);
  grid->addWidget(CaptionFor(c.group, ModbusTools::tr("Value:"), c.value), 1, 0, Qt::AlignRight);
  grid->addWidget(c.value, 1, 1);
}

}  // namespace

ModbusTools::ModbusTools(Requests& requests) : Tab(requests) {
  BuildModbusTestGroup(test_, this);
  BuildCalculatorGroup(calculator_, this);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(kTightSpacing + 4);
  row->addWidget(test_.group);
  row->addWidget(calculator_.group);
  row->addStretch(1);
  On(test_.send, &QPushButton::clicked, &ModbusTools::onModbusTestClicked);
  On(calculator_.calculate, &QPushButton::clicked, &ModbusTools::onCalculateClicked);
}

void ModbusTools::SetSlave(const QString& text) {
  test_.slaveAddress->setText(text);
}

void ModbusTools::SetRange(const QString& start, const QString& length) {
  test_.startAddress->setText(start);
  test_.length->setText(length);
}

void ModbusTools::ChainAfter(QWidget* previous) {
  ChainTabOrder({previous, test_.slaveAddress, test_.startAddress, test_.length, test_.send,
                 calculator_.hexInput, calculator_.calculate, calculator_.value});
}

void ModbusTools::onModbusTestClicked() {
  requests_.RefuseWhileLive();
  QByteArray frame;
  if (requests_.LinkIndex() == 0) {
    // RTU on the serial line. Both areas are cleared before the fields are
    // read, so a refused field leaves them empty.
    requests_.ClearAreas();
    const std::uint8_t slave = ByteField(test_.slaveAddress);
    const std::uint8_t start = ByteField(test_.startAddress);
    const std::uint8_t count = ByteField(test_.length);
    frame = Bytes(tools::RtuReadRequest(slave, start, count));
  } else {
    // MODBUS TCP. The receive area keeps the last reply until the next one
    // replaces it.
    const std::uint8_t unit = ByteField(test_.slaveAddress);
    const std::uint8_t start = ByteField(test_.startAddress);
    const std::uint8_t count = ByteField(test_.length);
    frame = Bytes(tools::TcpReadRequest(unit, start, count));
  }
  const QByteArray bytes = requests_.Cycle().Stage(frame);
  requests_.ShowSent(QString::fromStdString(base::HexText(bytes, cycle::kAreaHex)));
  requests_.Route(bytes);
  requests_.Await(cycle::PendingCode::kModbusReadTest, cycle::RequestKind::kConnection,
                  waits::kReplyTimeoutMs);
}

void ModbusTools::onCalculateClicked() {
  const QString typed = calculator_.hexInput->text();
  const tools::CalculatorInput input = tools::ParseCalculatorInput(
      tools::CalculatorChars(std::u16string_view(reinterpret_cast<const char16_t*>(typed.utf16()),
                                                 static_cast<std::size_t>(typed.size()))));
  if (input.error != tools::CalculatorInput::Error::None) {
    const std::string_view message = tools::CalculatorInputMessage(input.error);
    requests_.Messages().Show(
        LayerText(QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size()))));
    return;
  }
  // The value bytes live in the request area while the calculator works.
  std::copy(input.bytes.begin(), input.bytes.end(),
            requests_.Cycle().ExchangeBuffer.begin() + cycle::RequestCycle::kRequestArea);
  calculator_.value->setText(
      QString::fromStdString(tools::CalculatorText(input.Pattern(), DecimalSeparator())));
}

}  // namespace kv770::ui
