// The gateway's own settings: system parameters, the MODBUS mapping of each
// meter, and the two reports that read them back.
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/fields.h"
#include "gateway/reports.h"
#include "link/errors.h"
#include "ui/gateway_window.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

QByteArray Bytes(const std::string& command) {
  return QByteArray::fromStdString(command);
}

// Commands and reports are 8-bit text, one character per byte.
QString Text(const QByteArray& bytes) {
  return QString::fromLatin1(bytes);
}
QString Text(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A number typed into a three-digit field of a command; what does not fit
// is refused before anything is sent.
int ThreeDigitValue(const QLineEdit* edit) {
  return cycle::StrToIntInRange(edit->text(), 0, gateway::kThreeDigitMax);
}

// The common sequence of a set command: staged from offset 8, shown, sent
// by the link choice, a gateway setting with the setting's time-out.
void SendSetting(GatewayWindow& form, const std::string& command, bool show = true) {
  const QByteArray bytes = form.Cycle.Stage(Bytes(command));
  form.SendRequest(bytes, show ? Text(bytes) : QString(), cycle::PendingCode::kGatewaySetting,
                   cycle::RequestKind::kSetting);
}

void SendQuery(GatewayWindow& form, const std::string& command, cycle::PendingCode code) {
  const QByteArray bytes = form.Cycle.Stage(Bytes(command));
  form.SendRequest(bytes, Text(bytes), code, cycle::RequestKind::kParameterQuery);
}

// A list position from a report; one beyond the list leaves nothing selected.
void Select(QComboBox* combo, const std::optional<int>& position) {
  if (!position) return;
  combo->setCurrentIndex(*position >= 0 && *position < combo->count() ? *position : -1);
}

// A report's text, shown from its start (a read-meter command is longer
// than its box).
void Fill(QLineEdit* edit, const std::optional<std::string>& text) {
  if (!text) return;
  edit->setText(Text(*text));
  edit->setCursorPosition(0);
}

// Raised after the fields read before the bad number were applied.
void RaiseBadNumber(const std::optional<std::string>& text) {
  if (text)
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text(*text)));
}

bool AllowedInCoefficient(QChar c) {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
         c == QLatin1Char('-');
}

}  // namespace

void GatewayWindow::ConnectGatewayHandlers() {
  On(system.rs485Set, &QPushButton::clicked, &GatewayWindow::onRs485SetClicked);
  On(system.workingModeSet, &QPushButton::clicked, &GatewayWindow::onWorkingModeSetClicked);
  On(system.slaveAddressSet, &QPushButton::clicked, &GatewayWindow::onSlaveAddressSetClicked);
  // Runs on every change, also when a report fills the address.
  On(system.slaveAddress, &QLineEdit::textChanged, &GatewayWindow::onSlaveAddressChanged);
  On(system.pollingIntervalSet, &QPushButton::clicked, &GatewayWindow::onPollingIntervalSetClicked);
  On(system.parameterReset, &QPushButton::clicked, &GatewayWindow::onParameterResetClicked);
  On(frame.serviceArea0, &ClickLabel::doubleClicked, &GatewayWindow::onServiceArea0DoubleClicked);
  On(frame.serviceArea1, &ClickLabel::doubleClicked, &GatewayWindow::onServiceArea1DoubleClicked);
  On(system.boardSet, &QPushButton::clicked, &GatewayWindow::onBoardSetClicked);
  On(system.makerProgram, &QPushButton::clicked, &GatewayWindow::onMakerProgramClicked);
  On(system.systemQuery, &QPushButton::clicked, &GatewayWindow::onSystemQueryClicked);
  On(mapping.setupSet, &QPushButton::clicked, &GatewayWindow::onPollingSetupSetClicked);
  On(mapping.byteOrdersSet, &QPushButton::clicked, &GatewayWindow::onByteOrdersSetClicked);
  On(mapping.coefficientsSet, &QPushButton::clicked, &GatewayWindow::onCoefficientsSetClicked);
  On(mapping.meter, &QComboBox::activated, &GatewayWindow::onMeterChosen);
  On(mapping.mappingQuery, &QPushButton::clicked, &GatewayWindow::onMappingQueryClicked);
  for (QLineEdit* box : mapping.coefficients) {
    box->installEventFilter(this);
    // Composed input would arrive past the key filter.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    // So would text dropped or pasted from the context menu, where a '#'
    // would end the coefficients command and start another: what the
    // filter would not have let through is taken out again.
    connect(box, &QLineEdit::textEdited, box, [box](const QString& text) {
      QString kept;
      for (QChar c : text)
        if (AllowedInCoefficient(c) && kept.size() < 5) kept += c;
      if (kept != text) box->setText(kept);
    });
  }
}

// The coefficient boxes take digits, '.', '-' and Backspace, and at most
// five characters; where the sign and the point stand is the gateway's to
// judge. Keys that type nothing (arrows, Delete, shortcuts) pass.
bool GatewayWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* box = qobject_cast<QLineEdit*>(watched);
  const bool coefficient =
      box && std::ranges::find(mapping.coefficients, box) != mapping.coefficients.end();
  if (!coefficient || event->type() != QEvent::KeyPress)
    return QWidget::eventFilter(watched, event);

  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->matches(QKeySequence::Paste)) return true;  // would bring text past the filter
  if (key->key() == Qt::Key_Backspace) return false;
  const QString typed = key->text();
  if (typed.isEmpty() || !typed[0].isPrint()) return false;
  for (QChar c : typed)
    if (!AllowedInCoefficient(c)) return true;
  return box->text().size() > 4;
}

// ---- system parameters -------------------------------------------------------

void GatewayWindow::onRs485SetClicked() {
  SendSetting(*this, gateway::Rs485Settings(system.rs485Baud->currentIndex(),
                                            system.rs485Parity->currentIndex()));
  // The gateway's RS-485 side changes; the serial port is closed once it
  // has answered, whichever link carried the command.
  rs485CloseTimer.SetInterval(cycle::kRs485CloseDelayMs);
  rs485CloseTimer.SetEnabled(true);
}

void GatewayWindow::onWorkingModeSetClicked() {
  SendSetting(*this, gateway::WorkingMode(system.workingMode->currentIndex()));
}

void GatewayWindow::onSlaveAddressSetClicked() {
  shared.sendBuffer->clear();  // both stay cleared when the number is refused
  shared.receiveBuffer->clear();
  SendSetting(*this, gateway::SlaveAddress(ThreeDigitValue(system.slaveAddress)));
}

// The MODBUS test on the last tab talks to the same slave.
void GatewayWindow::onSlaveAddressChanged() {
  modbusTest.slaveAddress->setText(system.slaveAddress->text());
}

void GatewayWindow::onPollingIntervalSetClicked() {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  SendSetting(*this, gateway::PollingInterval(ThreeDigitValue(system.pollingInterval)));
}

void GatewayWindow::onParameterResetClicked() {
  SendSetting(*this, gateway::ParameterReset());
}

// Service commands: they go out without showing in the send buffer.
void GatewayWindow::onServiceArea0DoubleClicked() {
  SendSetting(*this, gateway::HiddenCommand(0), /*show=*/false);
}
void GatewayWindow::onServiceArea1DoubleClicked() {
  SendSetting(*this, gateway::HiddenCommand(1), /*show=*/false);
}

// The board's identity: built directly, not staged, and outside the request
// cycle, so whatever request is pending stays pending.
void GatewayWindow::onBoardSetClicked() {
  const int serial = cycle::StrToInt(system.boardSerial->text());
  const int inspector = cycle::StrToInt(system.inspector->currentText());
  const QByteArray bytes = Bytes(gateway::BoardSerial(serial, inspector));
  RouteToLink(bytes);
  shared.sendBuffer->setText(Text(bytes));
  shared.receiveBuffer->clear();
}

// The gateway maker's own configuration program, if it was installed beside
// this one; nothing happens when it is not there.
void GatewayWindow::onMakerProgramClicked() {
  const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("LORIX6.EXE");
  if (!QFileInfo::exists(path)) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void GatewayWindow::onSystemQueryClicked() {
  SendQuery(*this, gateway::SystemReportQuery(), cycle::PendingCode::kSystemParametersQuery);
}

void GatewayWindow::DecodeSystemReport() {
  const gateway::SystemReport r = gateway::DecodeSystemReport(Cycle.ReplyText.toStdString());
  Select(system.rs485Baud, r.baud);
  Select(system.rs485Parity, r.parity);
  Select(system.workingMode, r.workingMode);
  Fill(system.slaveAddress, r.slaveAddress);
  Fill(system.pollingInterval, r.pollingInterval);
  RaiseBadNumber(r.badNumber);
}

// ---- MODBUS mapping of one meter -------------------------------------------------

void GatewayWindow::onPollingSetupSetClicked() {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  gateway::PollingSetup setup;
  setup.enable = mapping.enable->currentIndex();
  setup.deviceMode = mapping.deviceMode->currentIndex();
  setup.instrumentType = mapping.instrumentType->currentIndex();
  setup.preamblePosition = mapping.preambleLength->currentIndex();
  setup.bufferClearTime = ThreeDigitValue(mapping.bufferClearTime);
  SendSetting(*this, gateway::PollingSetupCommand(mapping.meter->currentIndex(), setup));
}

void GatewayWindow::onByteOrdersSetClicked() {
  SendSetting(*this,
              gateway::ByteOrdersCommand(
                  mapping.meter->currentIndex(),
                  {mapping.byteOrders[0]->currentIndex(), mapping.byteOrders[1]->currentIndex(),
                   mapping.byteOrders[2]->currentIndex(), mapping.byteOrders[3]->currentIndex(),
                   mapping.byteOrders[4]->currentIndex()}));
}

// The coefficients travel as typed and are not staged; the command sets
// only the request kind, so no time-out is reported for it.
void GatewayWindow::onCoefficientsSetClicked() {
  RefuseWhileLive();
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  const QByteArray bytes = Bytes(gateway::CoefficientsCommand(
      mapping.meter->currentIndex(), {mapping.coefficients[0]->text().toLatin1().toStdString(),
                                      mapping.coefficients[1]->text().toLatin1().toStdString(),
                                      mapping.coefficients[2]->text().toLatin1().toStdString(),
                                      mapping.coefficients[3]->text().toLatin1().toStdString()}));
  shared.sendBuffer->setText(Text(bytes));
  RouteToLink(bytes);
  Cycle.Kind = cycle::RequestKind::kConnection;
}

// Choosing a meter starts its page afresh and, with the serial port open,
// asks the gateway for that meter's report. The query goes to the serial
// port whatever the link choice.
void GatewayWindow::onMeterChosen() {
  if (!SerialOpen) return;
  RefuseWhileLive();  // the meter's report would go out beside a poll
  const int position = mapping.meter->currentIndex();
  const QString i = QString::number(position);
  // "400", the meter's position, the register's last digit: 1, 3, 5, 7, 9.
  for (int r = 0; r < 5; ++r)
    mapping.registerLabels[r]->setText(QStringLiteral("400") + i + QChar(u'1' + 2 * r));
  modbusTest.startAddress->setText(i + QLatin1Char('0'));
  modbusTest.length->setText(QStringLiteral("10"));

  for (QComboBox* combo :
       {mapping.enable, mapping.instrumentType, mapping.deviceMode, mapping.preambleLength})
    combo->setCurrentIndex(-1);
  mapping.bufferClearTime->clear();
  for (QComboBox* combo : mapping.byteOrders) combo->setCurrentIndex(-1);
  parsing.group->hide();
  for (const ParsingControls::Row& row : parsing.rows) {
    row.command->setCurrentIndex(-1);
    row.length->setCurrentIndex(-1);
  }
  for (const ParsingControls::ReadCommand& command : parsing.readCommands)
    command.enable->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing.rows) row.start->clear();
  for (const ParsingControls::ReadCommand& command : parsing.readCommands) command.bytes->clear();
  system.workingMode->setCurrentIndex(-1);
  system.slaveAddress->clear();  // onSlaveAddressChanged clears modbusTest.slaveAddress too
  system.pollingInterval->clear();
  system.rs485Baud->setCurrentIndex(-1);
  system.rs485Parity->setCurrentIndex(-1);
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();

  const QByteArray bytes = Cycle.Stage(Bytes(gateway::ModbusReportQuery(position)));
  shared.sendBuffer->setText(Text(bytes));
  Comm1.SendData(bytes.constData(), static_cast<std::uint16_t>(bytes.size()));
  Cycle.Arm(cycle::PendingCode::kMeterMappingQuery, cycle::RequestKind::kParameterQuery);
  timeoutTimer.SetInterval(cycle::kReplyTimeoutMs);
  timeoutTimer.SetEnabled(true);
}

void GatewayWindow::onMappingQueryClicked() {
  SendQuery(*this, gateway::ModbusReportQuery(mapping.meter->currentIndex()),
            cycle::PendingCode::kMeterMappingQuery);
}

void GatewayWindow::DecodeModbusReport() {
  const gateway::ModbusReport r = gateway::DecodeModbusReport(
      Cycle.ReplyText.toStdString(), mapping.instrumentType->currentIndex());
  Select(mapping.enable, r.enable);
  Select(mapping.deviceMode, r.deviceMode);
  Select(mapping.instrumentType, r.instrumentType);  // by program: no instrument presets
  Select(mapping.preambleLength, r.preamblePosition);
  Fill(mapping.bufferClearTime, r.bufferClearTime);

  for (std::size_t i = 0; i < r.byteOrders.size(); ++i)
    Select(mapping.byteOrders[i], r.byteOrders[i]);
  for (std::size_t i = 0; i < r.coefficients.size(); ++i)
    Fill(mapping.coefficients[i], r.coefficients[i]);

  // Only a custom meter shows how its HART replies are parsed.
  if (r.custom) parsing.group->setVisible(*r.custom);
  Select(parsing.addressBits, r.addressBitsPosition);
  for (std::size_t i = 0; i < r.variables.size(); ++i) {
    Select(parsing.rows[i].command, r.variables[i].command);
    Fill(parsing.rows[i].start, r.variables[i].start);
    Select(parsing.rows[i].length, r.variables[i].length);
  }
  Select(system.workingMode, r.workingMode);
  for (std::size_t i = 0; i < parsing.readCommands.size(); ++i) {
    Select(parsing.readCommands[i].enable, r.readCommands[i].enable);
    Fill(parsing.readCommands[i].bytes, r.readCommands[i].text);
  }

  RaiseBadNumber(r.badNumber);
}

}  // namespace kv770::ui
