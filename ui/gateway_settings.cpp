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

#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/fields.h"
#include "gateway/reports.h"
#include "link/errors.h"
#include "ui/form1.h"
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
void SendSetting(TForm1& form, const std::string& command, bool show = true) {
  const QByteArray bytes = form.Cycle.Stage(Bytes(command));
  form.SendRequest(bytes, show ? Text(bytes) : QString(), cycle::PendingCode::kGatewaySetting,
                   cycle::RequestKind::kSetting);
}

void SendQuery(TForm1& form, const std::string& command, cycle::PendingCode code) {
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

void TForm1::ConnectGatewayHandlers() {
  On(system.rs485Set, &QPushButton::clicked, &TForm1::onRs485SetClicked);
  On(system.workingModeSet, &QPushButton::clicked, &TForm1::onWorkingModeSetClicked);
  On(system.slaveAddressSet, &QPushButton::clicked, &TForm1::onSlaveAddressSetClicked);
  // Runs on every change, also when a report fills the address.
  On(system.slaveAddress, &QLineEdit::textChanged, &TForm1::onSlaveAddressChanged);
  On(system.pollingIntervalSet, &QPushButton::clicked, &TForm1::onPollingIntervalSetClicked);
  On(system.parameterReset, &QPushButton::clicked, &TForm1::onParameterResetClicked);
  On(Label8, &ClickLabel::doubleClicked, &TForm1::Label8DblClick);
  On(Label16, &ClickLabel::doubleClicked, &TForm1::Label16DblClick);
  On(system.boardSet, &QPushButton::clicked, &TForm1::onBoardSetClicked);
  On(system.makerProgram, &QPushButton::clicked, &TForm1::onMakerProgramClicked);
  On(system.systemQuery, &QPushButton::clicked, &TForm1::onSystemQueryClicked);
  On(Button10, &QPushButton::clicked, &TForm1::Button10Click);
  On(Button21, &QPushButton::clicked, &TForm1::Button21Click);
  On(Button15, &QPushButton::clicked, &TForm1::Button15Click);
  On(ComboBox41, &QComboBox::activated, &TForm1::ComboBox41Change);
  On(Button31, &QPushButton::clicked, &TForm1::Button31Click);
  for (QLineEdit* box : {XISHU1, XISHU2, XISHU3, XISHU4}) {
    box->installEventFilter(this);
    // Composed input would arrive past the key filter.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
  }
}

// The coefficient boxes take digits, '.', '-' and Backspace, and at most
// five characters; where the sign and the point stand is the gateway's to
// judge. Keys that type nothing (arrows, Delete, shortcuts) pass.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  auto* box = qobject_cast<QLineEdit*>(watched);
  const bool coefficient =
      box && (box == XISHU1 || box == XISHU2 || box == XISHU3 || box == XISHU4);
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

void TForm1::onRs485SetClicked() {
  SendSetting(*this, gateway::Rs485Settings(system.rs485Baud->currentIndex(),
                                            system.rs485Parity->currentIndex()));
  // The gateway's RS-485 side changes; the serial port is closed once it
  // has answered, whichever link carried the command.
  Timer4.SetInterval(cycle::kRs485CloseDelayMs);
  Timer4.SetEnabled(true);
}

void TForm1::onWorkingModeSetClicked() {
  SendSetting(*this, gateway::WorkingMode(system.workingMode->currentIndex()));
}

void TForm1::onSlaveAddressSetClicked() {
  Edit8->clear();  // both stay cleared when the number is refused
  Memo10->clear();
  SendSetting(*this, gateway::SlaveAddress(ThreeDigitValue(system.slaveAddress)));
}

// The MODBUS test on the last tab talks to the same slave.
void TForm1::onSlaveAddressChanged() {
  Edit18->setText(system.slaveAddress->text());
}

void TForm1::onPollingIntervalSetClicked() {
  Edit8->clear();
  Memo10->clear();
  SendSetting(*this, gateway::PollingInterval(ThreeDigitValue(system.pollingInterval)));
}

void TForm1::onParameterResetClicked() {
  SendSetting(*this, gateway::ParameterReset());
}

// Service commands: they go out without showing in the send buffer.
void TForm1::Label8DblClick() {
  SendSetting(*this, gateway::HiddenCommand(0), /*show=*/false);
}
void TForm1::Label16DblClick() {
  SendSetting(*this, gateway::HiddenCommand(1), /*show=*/false);
}

// The board's identity: built directly, not staged, and outside the request
// cycle, so whatever request is pending stays pending.
void TForm1::onBoardSetClicked() {
  const int serial = cycle::StrToInt(system.boardSerial->text());
  const int inspector = cycle::StrToInt(system.inspector->currentText());
  const QByteArray bytes = Bytes(gateway::BoardSerial(serial, inspector));
  RouteToLink(bytes);
  Edit8->setText(Text(bytes));
  Memo10->clear();
}

// The gateway maker's own configuration program, if it was installed beside
// this one; nothing happens when it is not there.
void TForm1::onMakerProgramClicked() {
  const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("LORIX6.EXE");
  if (!QFileInfo::exists(path)) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TForm1::onSystemQueryClicked() {
  SendQuery(*this, gateway::SystemReportQuery(), cycle::PendingCode::kSystemParametersQuery);
}

void TForm1::DecodeSystemReport() {
  const gateway::SystemReport r = gateway::DecodeSystemReport(Cycle.ReplyText.toStdString());
  Select(system.rs485Baud, r.baud);
  Select(system.rs485Parity, r.parity);
  Select(system.workingMode, r.workingMode);
  Fill(system.slaveAddress, r.slaveAddress);
  Fill(system.pollingInterval, r.pollingInterval);
  RaiseBadNumber(r.badNumber);
}

// ---- MODBUS mapping of one meter -------------------------------------------------

void TForm1::Button10Click() {
  Edit8->clear();
  Memo10->clear();
  gateway::PollingSetup setup;
  setup.enable = ComboBox6->currentIndex();
  setup.deviceMode = ComboBox16->currentIndex();
  setup.instrumentType = ComboBox17->currentIndex();
  setup.preamblePosition = ComboBox34->currentIndex();
  setup.bufferClearTime = ThreeDigitValue(Edit1);
  SendSetting(*this, gateway::PollingSetupCommand(ComboBox41->currentIndex(), setup));
}

void TForm1::Button21Click() {
  SendSetting(*this, gateway::ByteOrdersCommand(
                         ComboBox41->currentIndex(),
                         {FAMOUT1->currentIndex(), FAMOUT3->currentIndex(), FAMOUT5->currentIndex(),
                          FAMOUT7->currentIndex(), FAMOUT9->currentIndex()}));
}

// The coefficients travel as typed and are not staged; the command sets
// only the request kind, so no time-out is reported for it.
void TForm1::Button15Click() {
  Edit8->clear();
  Memo10->clear();
  const QByteArray bytes = Bytes(gateway::CoefficientsCommand(
      ComboBox41->currentIndex(),
      {XISHU1->text().toLatin1().toStdString(), XISHU2->text().toLatin1().toStdString(),
       XISHU3->text().toLatin1().toStdString(), XISHU4->text().toLatin1().toStdString()}));
  Edit8->setText(Text(bytes));
  RouteToLink(bytes);
  Cycle.Kind = cycle::RequestKind::kConnection;
}

// Choosing a meter starts its page afresh and, with the serial port open,
// asks the gateway for that meter's report. The query goes to the serial
// port whatever the link choice.
void TForm1::ComboBox41Change() {
  if (!SerialOpen) return;
  const int position = ComboBox41->currentIndex();
  const QString i = QString::number(position);
  Label19->setText(QStringLiteral("400") + i + QLatin1Char('1'));
  Label24->setText(QStringLiteral("400") + i + QLatin1Char('3'));
  Label27->setText(QStringLiteral("400") + i + QLatin1Char('5'));
  Label28->setText(QStringLiteral("400") + i + QLatin1Char('7'));
  Label29->setText(QStringLiteral("400") + i + QLatin1Char('9'));
  Edit19->setText(i + QLatin1Char('0'));
  Edit20->setText(QStringLiteral("10"));

  for (QComboBox* combo : {ComboBox6, ComboBox17, ComboBox16, ComboBox34})
    combo->setCurrentIndex(-1);
  Edit1->clear();
  for (QComboBox* combo : {FAMOUT1, FAMOUT3, FAMOUT5, FAMOUT7, FAMOUT9}) combo->setCurrentIndex(-1);
  GroupBox13->hide();
  for (QComboBox* combo : {RADCOM1, READLG1, RADCOM3, READLG3, RADCOM5, READLG5, RADCOM7, READLG7,
                           ComboBox28, ComboBox29})
    combo->setCurrentIndex(-1);
  for (QLineEdit* edit : {READADR1, READADR3, READADR5, READADR7, Edit4, Edit5}) edit->clear();
  system.workingMode->setCurrentIndex(-1);
  system.slaveAddress->clear();  // onSlaveAddressChanged clears Edit18 too
  system.pollingInterval->clear();
  system.rs485Baud->setCurrentIndex(-1);
  system.rs485Parity->setCurrentIndex(-1);
  Edit8->clear();
  Memo10->clear();

  const QByteArray bytes = Cycle.Stage(Bytes(gateway::ModbusReportQuery(position)));
  Edit8->setText(Text(bytes));
  Comm1.SendData(bytes.constData(), static_cast<std::uint16_t>(bytes.size()));
  Cycle.Arm(cycle::PendingCode::kMeterMappingQuery, cycle::RequestKind::kParameterQuery);
  Timer3.SetInterval(cycle::kReplyTimeoutMs);
  Timer3.SetEnabled(true);
}

void TForm1::Button31Click() {
  SendQuery(*this, gateway::ModbusReportQuery(ComboBox41->currentIndex()),
            cycle::PendingCode::kMeterMappingQuery);
}

void TForm1::DecodeModbusReport() {
  const gateway::ModbusReport r =
      gateway::DecodeModbusReport(Cycle.ReplyText.toStdString(), ComboBox17->currentIndex());
  Select(ComboBox6, r.enable);
  Select(ComboBox16, r.deviceMode);
  Select(ComboBox17, r.instrumentType);  // by program: no instrument presets
  Select(ComboBox34, r.preamblePosition);
  Fill(Edit1, r.bufferClearTime);

  QComboBox* const orders[] = {FAMOUT1, FAMOUT3, FAMOUT5, FAMOUT7, FAMOUT9};
  for (std::size_t i = 0; i < r.byteOrders.size(); ++i) Select(orders[i], r.byteOrders[i]);
  QLineEdit* const coefficients[] = {XISHU1, XISHU2, XISHU3, XISHU4};
  for (std::size_t i = 0; i < r.coefficients.size(); ++i) Fill(coefficients[i], r.coefficients[i]);

  // Only a custom meter shows how its HART replies are parsed.
  if (r.custom) GroupBox13->setVisible(*r.custom);
  Select(ComboBox15, r.addressBitsPosition);
  struct Row {
    QComboBox* command;
    QLineEdit* start;
    QComboBox* length;
  };
  const Row rows[] = {{RADCOM1, READADR1, READLG1},
                      {RADCOM3, READADR3, READLG3},
                      {RADCOM5, READADR5, READLG5},
                      {RADCOM7, READADR7, READLG7}};
  for (std::size_t i = 0; i < r.variables.size(); ++i) {
    Select(rows[i].command, r.variables[i].command);
    Fill(rows[i].start, r.variables[i].start);
    Select(rows[i].length, r.variables[i].length);
  }
  Select(system.workingMode, r.workingMode);
  Select(ComboBox28, r.readCommands[0].enable);
  Fill(Edit4, r.readCommands[0].text);
  Select(ComboBox29, r.readCommands[1].enable);
  Fill(Edit5, r.readCommands[1].text);

  RaiseBadNumber(r.badNumber);
}

}  // namespace kv770::ui
