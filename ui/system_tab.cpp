// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/system_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "base/waits.h"
#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/config.h"
#include "gateway/fields.h"
#include "gateway/reports.h"
#include "link/errors.h"
#include "ui/fields.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

// The gateway's baud codes '0'..'6' are positions in its list of rates, so
// the RS-485 list keeps that order; the serial list offers the same rates.
QStringList BaudRates() {
  QStringList rates;
  for (int rate : gateway::kRs485BaudRates) rates << QString::number(rate);
  return rates;
}
const int kBaud9600 = gateway::BaudCode(9600);

// Parity codes '0' None, '1' Odd, '2' Even, the model's names with a
// capital letter; the serial component takes the same positions. The
// captions are translated by their English, which this table lists for
// the translation tools.
[[maybe_unused]] const char* const kParityCaptions[] = {
    QT_TRANSLATE_NOOP("kv770::ui::SystemTab", "None"),
    QT_TRANSLATE_NOOP("kv770::ui::SystemTab", "Odd"),
    QT_TRANSLATE_NOOP("kv770::ui::SystemTab", "Even")};
QStringList Parities() {
  QStringList names;
  for (std::string_view name : gateway::kParityNames) {
    const QString caption = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    names << SystemTab::tr((caption.left(1).toUpper() + caption.mid(1)).toUtf8().constData());
  }
  return names;
}

QStringList PortNames() {
  QStringList names;
  for (int i = 1; i <= 12; ++i) names << QStringLiteral("COM%1").arg(i);
  return names;
}
constexpr int kCom4 = 3;

// Width of an input that holds `chars` digits, in the page's own font, so the
// field fits its content at any DPI without running across the page.
int FieldWidth(const QWidget* page, int chars) {
  const QFontMetrics metrics(page->font());
  return metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))) + 2 * metrics.height();
}

// A grid whose inputs stay at their own width: the spare width goes to an
// empty column after the last one used.
QGridLayout* NewGrid(QWidget* parent, int lastColumn) {
  auto* grid = new QGridLayout(parent);
  grid->setColumnStretch(lastColumn + 1, 1);
  return grid;
}

// ---- link: choice, serial port, TCP ------------------------------------

QGridLayout* BuildLinkChoice(SystemControls& c, QWidget* page) {
  c.linkChoice =
      MakeCombo(page, "ComboBox2", {SystemTab::tr("Serial Port"), SystemTab::tr("IP Ethernet")}, 0,
                /*editable=*/true);
  auto* modeGrid = new QGridLayout;
  modeGrid->setContentsMargins(0, 0, 0, 0);
  AddLabelled(modeGrid, 0, 0, SystemTab::tr("Communication Mode:"), c.linkChoice);
  modeGrid->setColumnStretch(2, 1);
  return modeGrid;
}

void BuildSerialGroup(SystemControls& c, QWidget* page) {
  c.serialGroup = MakeGroup(page, "GroupBox1", SystemTab::tr("Serial Port Parameters"));
  c.serialPort = SetUpCombo(new SerialPortCombo(c.serialGroup), "SPREALCOM", PortNames(), kCom4,
                            /*editable=*/true);
  c.serialBaud = MakeCombo(c.serialGroup, "ComboBox11", BaudRates(), kBaud9600, /*editable=*/true);
  c.serialParity = MakeCombo(c.serialGroup, "ComboBox10", Parities(), 0);
  c.openPort = MakeButton(c.serialGroup, "Button1", SystemTab::tr("Open"));
  auto* grid = NewGrid(c.serialGroup, 2);
  AddLabelled(grid, 0, 0, SystemTab::tr("Serial Port:"), c.serialPort);
  AddLabelled(grid, 1, 0, SystemTab::tr("Baud:"), c.serialBaud);
  AddLabelled(grid, 2, 0, SystemTab::tr("Parity:"), c.serialParity);
  grid->addWidget(c.openPort, 2, 2);
}

// The line controls stay usable whatever the link choice: they lie outside
// the serial group, which the TCP choice disables.
QHBoxLayout* BuildLineControls(SystemControls& c, QWidget* page) {
  c.comRts = new QCheckBox(QStringLiteral("COM_RTS"), page);
  c.comRts->setObjectName("CheckBox1");
  c.comDtr = new QCheckBox(QStringLiteral("COM_DTR"), page);
  c.comDtr->setObjectName("CheckBox2");
  auto* lineRow = new QHBoxLayout;
  lineRow->setContentsMargins(0, 0, 0, 0);
  lineRow->addWidget(c.comRts);
  lineRow->addWidget(c.comDtr);
  lineRow->addStretch(1);
  return lineRow;
}

void BuildTcpGroup(SystemControls& c, QWidget* page) {
  c.tcpGroup = MakeGroup(page, "GroupBox4", SystemTab::tr("Internet Parameter Configuration"));
  c.tcpAddress = MakeEdit(c.tcpGroup, "Edit2", QStringLiteral("192.168.0.88"));
  SizeToChars(c.tcpAddress, 15);
  c.tcpPort = MakeEdit(c.tcpGroup, "Edit34", QStringLiteral("7000"));
  SizeToChars(c.tcpPort, 5);
  c.tcpStatus = MakeLabel(c.tcpGroup, QStringLiteral("***"), "Label146");
  QPalette red = c.tcpStatus->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  c.tcpStatus->setPalette(red);
  c.tcpStatus->setAccessibleDescription(SystemTab::tr("TCP connection state"));
  c.tcpConnect = MakeButton(c.tcpGroup, "Button8", SystemTab::tr("Connect"));
  c.tcpDisconnect = MakeButton(c.tcpGroup, "Button11", SystemTab::tr("Disconnect"));
  c.makerProgram = MakeButton(c.tcpGroup, "Button14", SystemTab::tr("Gateway Parameter Query"));

  auto* grid = NewGrid(c.tcpGroup, 2);
  AddLabelled(grid, 0, 0, SystemTab::tr("Target IP Address:"), c.tcpAddress);
  AddLabelled(grid, 1, 0, SystemTab::tr("Port Number:"), c.tcpPort);
  grid->addWidget(c.tcpStatus, 2, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(c.tcpConnect);
  buttons->addWidget(c.tcpDisconnect);
  buttons->addWidget(c.makerProgram);
  buttons->addStretch(1);
  grid->addLayout(buttons, 3, 0, 1, 4);
  grid->setAlignment(c.tcpAddress, Qt::AlignLeft);
  grid->setAlignment(c.tcpPort, Qt::AlignLeft);
}

QVBoxLayout* BuildLinkColumn(SystemControls& c, QWidget* page) {
  QGridLayout* modeGrid = BuildLinkChoice(c, page);
  BuildSerialGroup(c, page);
  QHBoxLayout* lineRow = BuildLineControls(c, page);
  BuildTcpGroup(c, page);
  auto* linkColumn = new QVBoxLayout;
  linkColumn->addLayout(modeGrid);
  linkColumn->addWidget(c.serialGroup);
  linkColumn->addLayout(lineRow);
  linkColumn->addWidget(c.tcpGroup);
  linkColumn->addStretch(1);
  return linkColumn;
}

// ---- gateway settings ----------------------------------------------------
// Each group ends in its "Set", pushed to the group's right edge so the
// buttons line up down the column.

void BuildRs485Group(SystemControls& c, QWidget* page) {
  c.rs485Group = MakeGroup(page, "GroupBox18", SystemTab::tr("RS485 Serial Port Parameters"));
  c.rs485Baud = MakeCombo(c.rs485Group, "ComboBox8", BaudRates(), kBaud9600);
  c.rs485Parity = MakeCombo(c.rs485Group, "ComboBox9", Parities(), 0);
  c.rs485Set = MakeButton(c.rs485Group, "Button9", SystemTab::tr("Set"));
  auto* grid = NewGrid(c.rs485Group, 1);
  AddLabelled(grid, 0, 0, SystemTab::tr("Baud:"), c.rs485Baud);
  AddLabelled(grid, 1, 0, SystemTab::tr("Parity:"), c.rs485Parity);
  grid->addWidget(c.rs485Set, 1, 3);
}

// The three single-value settings carry their caption as the group title.
void SettingRow(QGroupBox* group, QWidget* input, QWidget* unit, QPushButton* set) {
  NameForScreenReaders(input, group->title());
  auto* row = new QHBoxLayout(group);
  row->addWidget(input);
  if (unit) row->addWidget(unit);
  row->addStretch(1);
  row->addWidget(set);
}

void BuildSlaveAddressGroup(SystemControls& c, QWidget* page) {
  c.slaveAddressGroup = MakeGroup(page, "GroupBox15", SystemTab::tr("MODBUS_Slave_Adr:"));
  c.slaveAddress = MakeEdit(c.slaveAddressGroup, "Edit14", QStringLiteral("001"));
  SizeToChars(c.slaveAddress, 3);
  c.slaveAddressSet = MakeButton(c.slaveAddressGroup, "Button29", SystemTab::tr("Set"));
  SettingRow(c.slaveAddressGroup, c.slaveAddress, nullptr, c.slaveAddressSet);
}

void BuildWorkingModeGroup(SystemControls& c, QWidget* page) {
  c.workingModeGroup = MakeGroup(page, "GroupBox7", SystemTab::tr("Working Mode:"));
  c.workingMode =
      MakeCombo(c.workingModeGroup, "ComboBox7",
                {SystemTab::tr("Transparent Mode"), SystemTab::tr("MODBUS_RTU Mode")}, 0);
  c.workingModeSet = MakeButton(c.workingModeGroup, "Button24", SystemTab::tr("Set"));
  SettingRow(c.workingModeGroup, c.workingMode, nullptr, c.workingModeSet);
}

// The gateway counts the polling interval in units of 10 ms.
void BuildPollingGroup(SystemControls& c, QWidget* page) {
  c.pollingGroup = MakeGroup(page, "GroupBox14", SystemTab::tr("Meter Polling Interval:"));
  c.pollingInterval = MakeEdit(c.pollingGroup, "Edit6", QStringLiteral("050"));
  SizeToChars(c.pollingInterval, 3);
  c.pollingInterval->setAccessibleDescription(QStringLiteral("*10 ms"));
  auto* unit = MakeLabel(c.pollingGroup, QStringLiteral(" *10 ms"));
  c.pollingIntervalSet = MakeButton(c.pollingGroup, "Button27", SystemTab::tr("Set"));
  SettingRow(c.pollingGroup, c.pollingInterval, unit, c.pollingIntervalSet);
}

QVBoxLayout* BuildSettingsColumn(SystemControls& c, QWidget* page) {
  BuildRs485Group(c, page);
  BuildSlaveAddressGroup(c, page);
  BuildWorkingModeGroup(c, page);
  BuildPollingGroup(c, page);
  auto* settingsColumn = new QVBoxLayout;
  settingsColumn->addWidget(c.rs485Group);
  settingsColumn->addWidget(c.slaveAddressGroup);
  settingsColumn->addWidget(c.workingModeGroup);
  settingsColumn->addWidget(c.pollingGroup);
  settingsColumn->addStretch(1);
  return settingsColumn;
}

// ---- requests to the gateway ----------------------------------------------
// The check comes first (its answer enables the "Set" buttons), then the
// read-back; the reset, which asks for no confirmation, stands apart.
QVBoxLayout* BuildRequestColumn(SystemControls& c, QWidget* page) {
  c.communicationQuery = MakeButton(page, "Button6", SystemTab::tr("Communication Query"));
  c.systemQuery = MakeButton(page, "Button23", SystemTab::tr("System Parameters"));
  c.parameterReset = MakeButton(page, "Button30", SystemTab::tr("Parameter Initialization"));
  auto* actionColumn = new QVBoxLayout;
  actionColumn->addWidget(c.communicationQuery);
  actionColumn->addWidget(c.systemQuery);
  actionColumn->addSpacing(2 * QFontMetrics(page->font()).height());
  actionColumn->addWidget(c.parameterReset);
  actionColumn->addStretch(1);
  return actionColumn;
}

// ---- board serial number and inspector -------------------------------------
void BuildBoardGroup(SystemControls& c, QWidget* page) {
  c.boardGroup = MakeGroup(page, "GroupBox2");
  c.boardSerial = MakeEdit(c.boardGroup, "PCBSN", QStringLiteral("00000000"));
  SizeToChars(c.boardSerial, 10);
  c.inspector = MakeCombo(
      c.boardGroup, "JIANZHI",
      {QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003"), QStringLiteral("004"),
       QStringLiteral("005"), QStringLiteral("006"), QStringLiteral("008"), QStringLiteral("009"),
       QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103"), QStringLiteral("104")},
      0, /*editable=*/true);
  c.boardSet = MakeButton(c.boardGroup, "Button60", SystemTab::tr("Set"));
  auto* grid = NewGrid(c.boardGroup, 5);
  AddLabelled(grid, 0, 0, SystemTab::tr("PCBSN:"), c.boardSerial);
  grid->setColumnMinimumWidth(2, FieldWidth(page, 1));  // gap between the two fields
  AddLabelled(grid, 0, 3, SystemTab::tr("inspector:"), c.inspector);
  grid->addWidget(c.boardSet, 0, 5);
}

}  // namespace

void SystemTab::Build() {
  QWidget* page = this;
  // Reading order, which Tab follows: the link on the left, the gateway's settings in the middle,
  // the requests on the right, the board serial number along the bottom.
  QVBoxLayout* linkColumn = BuildLinkColumn(c_, page);
  QVBoxLayout* settingsColumn = BuildSettingsColumn(c_, page);
  QVBoxLayout* actionColumn = BuildRequestColumn(c_, page);
  BuildBoardGroup(c_, page);

  auto* columns = new QHBoxLayout;
  columns->addLayout(linkColumn, 0);
  columns->addSpacing(FieldWidth(page, 1));
  columns->addLayout(settingsColumn, 0);
  columns->addSpacing(FieldWidth(page, 1));
  columns->addLayout(actionColumn, 0);
  columns->addStretch(1);

  auto* pageLayout = new QVBoxLayout(page);
  pageLayout->addLayout(columns, 1);
  pageLayout->addWidget(c_.boardGroup);

  const SystemControls& c = c_;
  ChainTabOrder({c.linkChoice,
                 c.serialPort,
                 c.serialBaud,
                 c.serialParity,
                 c.openPort,
                 c.comRts,
                 c.comDtr,
                 c.tcpAddress,
                 c.tcpPort,
                 c.tcpConnect,
                 c.tcpDisconnect,
                 c.makerProgram,
                 c.rs485Baud,
                 c.rs485Parity,
                 c.rs485Set,
                 c.slaveAddress,
                 c.slaveAddressSet,
                 c.workingMode,
                 c.workingModeSet,
                 c.pollingInterval,
                 c.pollingIntervalSet,
                 c.communicationQuery,
                 c.systemQuery,
                 c.parameterReset,
                 c.boardSerial,
                 c.inspector,
                 c.boardSet});
}

SystemTab::SystemTab(Requests& requests, link::TComm& serial, link::TClientSocket& socket)
    : Tab(requests), serial_(serial), socket_(socket), rs485CloseTimer_(waits::kRs485CloseDelayMs) {
  Build();
  ConnectHandlers();
  StartUp();
}

void SystemTab::ConnectHandlers() {
  On(c_.linkChoice, &QComboBox::activated, &SystemTab::onLinkChosen);
  On(c_.tcpConnect, &QPushButton::clicked, &SystemTab::onConnectClicked);
  On(c_.tcpDisconnect, &QPushButton::clicked, &SystemTab::onDisconnectClicked);
  const auto tcpState = [this](TcpState state, const QString& status) {
    c_.tcpStatus->setText(status);
    tcpState_ = state;
    emit linkChanged();
  };
  connect(&socket_, &link::TClientSocket::OnConnecting, this,
          [tcpState] { tcpState(TcpState::kConnecting, tr("connecting!")); });
  connect(&socket_, &link::TClientSocket::OnConnect, this,
          [tcpState] { tcpState(TcpState::kConnected, tr("connected")); });
  connect(&socket_, &link::TClientSocket::OnDisconnect, this, [this, tcpState] {
    tcpState(TcpState::kNone, tr("already disconnected"));
    socket_.Close();
  });
  // The code is left as it is, so the socket layer reports the error too.
  connect(&socket_, &link::TClientSocket::OnError, this,
          [tcpState](int*) { tcpState(TcpState::kNone, tr("connection failed")); });

  On(c_.openPort, &QPushButton::clicked, &SystemTab::onOpenPortClicked);
  On(&rs485CloseTimer_, &cycle::FormTimer::OnTimer, &SystemTab::onRs485CloseTimer);
  On(&serial_, &link::TComm::OnRequestHangup, &SystemTab::onSerialHangup);
  connect(c_.serialPort, &QComboBox::currentTextChanged, this, &SystemTab::ShowSerialDevice);
  ShowSerialDevice();

  On(c_.communicationQuery, &QPushButton::clicked, &SystemTab::onCommunicationQueryClicked);
  On(c_.rs485Set, &QPushButton::clicked, &SystemTab::onRs485SetClicked);
  On(c_.workingModeSet, &QPushButton::clicked, &SystemTab::onWorkingModeSetClicked);
  On(c_.slaveAddressSet, &QPushButton::clicked, &SystemTab::onSlaveAddressSetClicked);
  // Runs on every change, also when a report fills the address.
  connect(c_.slaveAddress, &QLineEdit::textChanged, this, &SystemTab::slaveAddressChanged);
  On(c_.pollingIntervalSet, &QPushButton::clicked, &SystemTab::onPollingIntervalSetClicked);
  On(c_.parameterReset, &QPushButton::clicked, &SystemTab::onParameterResetClicked);
  On(c_.boardSet, &QPushButton::clicked, &SystemTab::onBoardSetClicked);
  On(c_.makerProgram, &QPushButton::clicked, &SystemTab::onMakerProgramClicked);
  On(c_.systemQuery, &QPushButton::clicked, &SystemTab::onSystemQueryClicked);
}

void SystemTab::StartUp() {
  c_.communicationQuery->setEnabled(true);
  rs485CloseTimer_.SetEnabled(false);
  c_.linkChoice->setCurrentIndex(0);
  c_.serialGroup->setEnabled(true);
  c_.openPort->setEnabled(true);
  c_.tcpGroup->setEnabled(false);
  c_.tcpConnect->setEnabled(false);
  c_.tcpDisconnect->setEnabled(false);
  c_.makerProgram->setEnabled(false);
}

bool SystemTab::Decode(cycle::PendingCode code) {
  if (code == cycle::PendingCode::kCommunicationCheck)
    DecodeCommunicationCheck();
  else if (code == cycle::PendingCode::kSystemParametersQuery)
    DecodeSystemReport();
  else
    return false;
  return true;
}

// ---- the link ----------------------------------------------------------------

int SystemTab::LinkIndex() const {
  // A text typed over the selection counts as no selection.
  const int index = c_.linkChoice->currentIndex();
  if (index >= 0 && c_.linkChoice->currentText() != c_.linkChoice->itemText(index)) return -1;
  return index;
}

void SystemTab::onLinkChosen() {
  // Only enable states change: nothing is opened, closed or dropped.
  const bool tcp = c_.linkChoice->currentIndex() != 0;
  c_.serialGroup->setEnabled(!tcp);
  c_.openPort->setEnabled(!tcp);
  c_.tcpGroup->setEnabled(tcp);
  c_.tcpConnect->setEnabled(tcp);
  c_.tcpDisconnect->setEnabled(tcp);
  c_.makerProgram->setEnabled(tcp);
  emit linkChanged();
}

QString SystemTab::LinkDescription() const {
  const int link = LinkIndex();
  if (link == 0 && serialOpen_) return serialLine_ + QStringLiteral(", open");
  if (link == 1 && tcpState_ == TcpState::kConnected)
    return tcpTarget_ + QStringLiteral(" connected");
  if (link == 1 && tcpState_ == TcpState::kConnecting)
    return tcpTarget_ + QStringLiteral(" connecting");
  return QStringLiteral("not connected");
}

QString SystemTab::LinkShown() const {
  const int link = LinkIndex();
  if (link == 0 && serialOpen_) return tr("%1, open").arg(serialLine_);
  if (link == 1 && tcpState_ == TcpState::kConnected) return tr("%1 connected").arg(tcpTarget_);
  if (link == 1 && tcpState_ == TcpState::kConnecting) return tr("%1 connecting").arg(tcpTarget_);
  return tr("not connected");
}

void SystemTab::onConnectClicked() {
  socket_.SetAddress(c_.tcpAddress->text());
  // A port beyond 16 bits would silently reach another port.
  const int port = cycle::StrToIntInRange(c_.tcpPort->text(), 0, 65535);
  socket_.SetPort(port);
  tcpTarget_ = QStringLiteral("%1:%2").arg(c_.tcpAddress->text()).arg(port);
  if (!socket_.Active()) socket_.Open();
}

void SystemTab::onDisconnectClicked() {
  if (socket_.Active()) socket_.Close();
  c_.tcpStatus->setText(tr("disconnected state"));
  tcpState_ = TcpState::kNone;
  emit linkChanged();
}

// The serial port list's tooltip: the device its name leads to.
void SystemTab::ShowSerialDevice() {
  const QString device = serial_.Ports().DevicePath(c_.serialPort->currentText());
  c_.serialPort->setToolTip(device.isEmpty() ? QString() : tr("Device: %1").arg(device));
}

void SystemTab::onOpenPortClicked() {
  if (serialOpen_) {
    ClosePort(tr("open"));
    return;
  }
  // Crossed on purpose, and kept so: the box captioned "COM_RTS" drives DTR
  // and "COM_DTR" drives RTS, and wiring instructions rely on it.
  link::OpenLine(serial_,
                 {c_.serialPort->currentText(),
                  static_cast<std::uint32_t>(cycle::StrToInt(c_.serialBaud->currentText())),
                  static_cast<link::TParity>(c_.serialParity->currentIndex()),
                  /*dtr=*/c_.comRts->isChecked(), /*rts=*/c_.comDtr->isChecked()});
  goneDevice_.clear();
  serialOpen_ = true;
  c_.openPort->setText(tr("close"));
  const QString device = serial_.DevicePath();
  serialLine_ =
      QStringLiteral("%1%2, %3 8-%4-1")
          .arg(c_.serialPort->currentText(),
               device.isEmpty() || device == c_.serialPort->currentText()
                   ? QString()
                   : QStringLiteral(" = ") + device,
               c_.serialBaud->currentText(),
               QStringLiteral("NOE").mid(std::max(0, c_.serialParity->currentIndex()), 1));
  emit linkChanged();
}

// The line hung up. A peer that went away leaves the port as it is: the
// next request times out and Close ends it. A device that is gone from the
// system (an adapter pulled out) ends the same way, but nothing else would
// tell the user why, so its name is said.
void SystemTab::onSerialHangup() {
  const QString device = serial_.DevicePath();
  // Both workers may report the same hang-up.
  if (device.isEmpty() || device == goneDevice_ || QFileInfo::exists(device)) return;
  goneDevice_ = device;
  requests_.Messages().Show(tr("The serial device %1 is gone").arg(device));
}

void SystemTab::ClosePort(const QString& caption) {
  emit serialClosed();
  serialOpen_ = false;
  c_.openPort->setText(caption);
  serial_.ClosePort();
  emit linkChanged();
}

void SystemTab::onRs485CloseTimer() {
  // The gateway has taken new RS-485 settings; the old line is given up.
  rs485CloseTimer_.SetEnabled(false);
  ClosePort(tr("open serial"));
}

// ---- communication check -------------------------------------------------------

void SystemTab::onCommunicationQueryClicked() {
  const QByteArray request = Bytes(gateway::CommunicationCheck());
  requests_.Send(request, Text(request), cycle::PendingCode::kCommunicationCheck,
                 cycle::RequestKind::kConnection);
}

void SystemTab::DecodeCommunicationCheck() {
  requests_.Cycle().Arm(cycle::PendingCode::kNone, cycle::RequestKind::kNone);
  if (!gateway::AnswersCommunicationCheck(requests_.Cycle().ReplyText.toStdString())) return;
  EnableRequests();
  emit gatewayAnswered();
}

void SystemTab::EnableRequests() {
  for (QPushButton* button :
       {c_.workingModeSet, c_.slaveAddressSet, c_.pollingIntervalSet, c_.rs485Set, c_.systemQuery})
    button->setEnabled(true);
}

// ---- the gateway's system parameters ---------------------------------------------

// The common sequence of a set command: staged from offset 8, shown, sent
// by the link choice, a gateway setting with the setting's time-out.
void SystemTab::SendSetting(const std::string& command) {
  const QByteArray bytes = requests_.Cycle().Stage(Bytes(command));
  requests_.Send(bytes, Text(bytes), cycle::PendingCode::kGatewaySetting,
                 cycle::RequestKind::kSetting);
}

// The settings of `groups` as the controls show them; a list with nothing
// chosen is kUnset. Only the fields of `groups` are read, so a bad number
// elsewhere on the tab refuses nothing here.
gateway::SystemSettings SystemTab::Settings(unsigned groups) const {
  gateway::SystemSettings s;
  if (groups & gateway::kRs485) {
    const int baud = c_.rs485Baud->currentIndex();
    s.baudRate =
        baud < 0 ? gateway::kUnset : gateway::kRs485BaudRates[static_cast<std::size_t>(baud)];
    s.parity = c_.rs485Parity->currentIndex();
  }
  if (groups & gateway::kWorkingMode) s.workingMode = c_.workingMode->currentIndex();
  if (groups & gateway::kSlaveAddress) s.slaveAddress = ThreeDigitValue(c_.slaveAddress);
  if (groups & gateway::kPollingInterval) s.pollingInterval = ThreeDigitValue(c_.pollingInterval);
  return s;
}

void SystemTab::SendSystemSetting(gateway::SystemGroup group) {
  SendSetting(gateway::SystemCommands(Settings(group), group).front().bytes);
}

void SystemTab::onRs485SetClicked() {
  SendSystemSetting(gateway::kRs485);
  // The gateway's RS-485 side changes; the serial port is closed once it
  // has answered, whichever link carried the command.
  rs485CloseTimer_.SetInterval(waits::kRs485CloseDelayMs);
  rs485CloseTimer_.SetEnabled(true);
}

void SystemTab::onWorkingModeSetClicked() {
  SendSystemSetting(gateway::kWorkingMode);
}

void SystemTab::onSlaveAddressSetClicked() {
  requests_.ClearAreas();  // both stay cleared when the number is refused
  SendSystemSetting(gateway::kSlaveAddress);
}

void SystemTab::onPollingIntervalSetClicked() {
  requests_.ClearAreas();
  SendSystemSetting(gateway::kPollingInterval);
}

void SystemTab::onParameterResetClicked() {
  SendSetting(gateway::ParameterReset());
}

// The board's identity: built directly, not staged, and outside the request
// cycle, so whatever request is pending stays pending.
void SystemTab::onBoardSetClicked() {
  const int serial = cycle::StrToInt(c_.boardSerial->text());
  const int inspector = cycle::StrToInt(c_.inspector->currentText());
  const QByteArray bytes = Bytes(gateway::BoardSerial(serial, inspector));
  requests_.Route(bytes);
  requests_.ShowSent(Text(bytes));
  requests_.ClearReceived();
}

// The gateway maker's own configuration program, if it was installed beside
// this one; nothing happens when it is not there.
void SystemTab::onMakerProgramClicked() {
  const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("LORIX6.EXE");
  if (!QFileInfo::exists(path)) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void SystemTab::onSystemQueryClicked() {
  const QByteArray bytes = requests_.Cycle().Stage(Bytes(gateway::SystemReportQuery()));
  requests_.Send(bytes, Text(bytes), cycle::PendingCode::kSystemParametersQuery,
                 cycle::RequestKind::kParameterQuery);
}

void SystemTab::DecodeSystemReport() {
  const gateway::SystemReport r =
      gateway::DecodeSystemReport(requests_.Cycle().ReplyText.toStdString());
  Select(c_.rs485Baud, r.baud);
  Select(c_.rs485Parity, r.parity);
  Select(c_.workingMode, r.workingMode);
  Fill(c_.slaveAddress, r.slaveAddress);
  Fill(c_.pollingInterval, r.pollingInterval);
  RaiseBadNumber(r.badNumber);
}

void SystemTab::ClearSettings() {
  c_.workingMode->setCurrentIndex(-1);
  c_.slaveAddress->clear();  // the MODBUS test's slave follows it
  c_.pollingInterval->clear();
  c_.rs485Baud->setCurrentIndex(-1);
  c_.rs485Parity->setCurrentIndex(-1);
}

void SystemTab::ShowWorkingMode(int position) {
  Select(c_.workingMode, position);
}

}  // namespace kv770::ui
