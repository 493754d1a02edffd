#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gateway/commands.h"
#include "ui/gateway_window.h"
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
constexpr int kBaud9600 = 3;

// Parity codes '0' None, '1' Odd, '2' Even; the serial component takes the
// same positions.
const QStringList kParities = {QStringLiteral("None"), QStringLiteral("Odd"),
                               QStringLiteral("Even")};

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
  c.linkChoice = MakeCombo(page, "ComboBox2",
                           {QStringLiteral("Serial Port"), QStringLiteral("IP Ethernet")}, 0,
                           /*editable=*/true);
  auto* modeGrid = new QGridLayout;
  modeGrid->setContentsMargins(0, 0, 0, 0);
  AddLabelled(modeGrid, 0, 0, QStringLiteral("Communication Mode:"), c.linkChoice);
  modeGrid->setColumnStretch(2, 1);
  return modeGrid;
}

void BuildSerialGroup(SystemControls& c, QWidget* page) {
  c.serialGroup = MakeGroup(page, "GroupBox1", QStringLiteral("Serial Port Parameters"));
  c.serialPort = SetUpCombo(new SerialPortCombo(c.serialGroup), "SPREALCOM", PortNames(), kCom4,
                            /*editable=*/true);
  c.serialBaud = MakeCombo(c.serialGroup, "ComboBox11", BaudRates(), kBaud9600, /*editable=*/true);
  c.serialParity = MakeCombo(c.serialGroup, "ComboBox10", kParities, 0);
  c.openPort = MakeButton(c.serialGroup, "Button1", QStringLiteral("Open"));
  auto* grid = NewGrid(c.serialGroup, 2);
  AddLabelled(grid, 0, 0, QStringLiteral("Serial Port:"), c.serialPort);
  AddLabelled(grid, 1, 0, QStringLiteral("Baud:"), c.serialBaud);
  AddLabelled(grid, 2, 0, QStringLiteral("Parity:"), c.serialParity);
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
  c.tcpGroup = MakeGroup(page, "GroupBox4", QStringLiteral("Internet Parameter Configuration"));
  c.tcpAddress = MakeEdit(c.tcpGroup, "Edit2", QStringLiteral("192.168.0.88"));
  SizeToChars(c.tcpAddress, 15);
  c.tcpPort = MakeEdit(c.tcpGroup, "Edit34", QStringLiteral("7000"));
  SizeToChars(c.tcpPort, 5);
  c.tcpStatus = MakeLabel(c.tcpGroup, QStringLiteral("***"), "Label146");
  QPalette red = c.tcpStatus->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  c.tcpStatus->setPalette(red);
  c.tcpStatus->setAccessibleDescription(QStringLiteral("TCP connection state"));
  c.tcpConnect = MakeButton(c.tcpGroup, "Button8", QStringLiteral("Connect"));
  c.tcpDisconnect = MakeButton(c.tcpGroup, "Button11", QStringLiteral("Disconnect"));
  c.makerProgram = MakeButton(c.tcpGroup, "Button14", QStringLiteral("Gateway Parameter Query"));

  auto* grid = NewGrid(c.tcpGroup, 2);
  AddLabelled(grid, 0, 0, QStringLiteral("Target IP Address:"), c.tcpAddress);
  AddLabelled(grid, 1, 0, QStringLiteral("Port Number:"), c.tcpPort);
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
  c.rs485Group = MakeGroup(page, "GroupBox18", QStringLiteral("RS485 Serial Port Parameters"));
  c.rs485Baud = MakeCombo(c.rs485Group, "ComboBox8", BaudRates(), kBaud9600);
  c.rs485Parity = MakeCombo(c.rs485Group, "ComboBox9", kParities, 0);
  c.rs485Set = MakeButton(c.rs485Group, "Button9", QStringLiteral("Set"));
  auto* grid = NewGrid(c.rs485Group, 1);
  AddLabelled(grid, 0, 0, QStringLiteral("Baud:"), c.rs485Baud);
  AddLabelled(grid, 1, 0, QStringLiteral("Parity:"), c.rs485Parity);
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
  c.slaveAddressGroup = MakeGroup(page, "GroupBox15", QStringLiteral("MODBUS_Slave_Adr:"));
  c.slaveAddress = MakeEdit(c.slaveAddressGroup, "Edit14", QStringLiteral("001"));
  SizeToChars(c.slaveAddress, 3);
  c.slaveAddressSet = MakeButton(c.slaveAddressGroup, "Button29", QStringLiteral("Set"));
  SettingRow(c.slaveAddressGroup, c.slaveAddress, nullptr, c.slaveAddressSet);
}

void BuildWorkingModeGroup(SystemControls& c, QWidget* page) {
  c.workingModeGroup = MakeGroup(page, "GroupBox7", QStringLiteral("Working Mode:"));
  c.workingMode =
      MakeCombo(c.workingModeGroup, "ComboBox7",
                {QStringLiteral("Transparent Mode"), QStringLiteral("MODBUS_RTU Mode")}, 0);
  c.workingModeSet = MakeButton(c.workingModeGroup, "Button24", QStringLiteral("Set"));
  SettingRow(c.workingModeGroup, c.workingMode, nullptr, c.workingModeSet);
}

// The gateway counts the polling interval in units of 10 ms.
void BuildPollingGroup(SystemControls& c, QWidget* page) {
  c.pollingGroup = MakeGroup(page, "GroupBox14", QStringLiteral("Meter Polling Interval:"));
  c.pollingInterval = MakeEdit(c.pollingGroup, "Edit6", QStringLiteral("050"));
  SizeToChars(c.pollingInterval, 3);
  c.pollingInterval->setAccessibleDescription(QStringLiteral("*10 ms"));
  auto* unit = MakeLabel(c.pollingGroup, QStringLiteral(" *10 ms"));
  c.pollingIntervalSet = MakeButton(c.pollingGroup, "Button27", QStringLiteral("Set"));
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
  c.communicationQuery = MakeButton(page, "Button6", QStringLiteral("Communication Query"));
  c.systemQuery = MakeButton(page, "Button23", QStringLiteral("System Parameters"));
  c.parameterReset = MakeButton(page, "Button30", QStringLiteral("Parameter Initialization"));
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
  c.boardSet = MakeButton(c.boardGroup, "Button60", QStringLiteral("Set"));
  auto* grid = NewGrid(c.boardGroup, 5);
  AddLabelled(grid, 0, 0, QStringLiteral("PCBSN:"), c.boardSerial);
  grid->setColumnMinimumWidth(2, FieldWidth(page, 1));  // gap between the two fields
  AddLabelled(grid, 0, 3, QStringLiteral("inspector:"), c.inspector);
  grid->addWidget(c.boardSet, 0, 5);
}

}  // namespace

void GatewayWindow::BuildSystemTab(QWidget* page) {
  // Reading order, which Tab follows: the link on the left, the gateway's settings in the middle,
  // the requests on the right, the board serial number along the bottom.
  QVBoxLayout* linkColumn = BuildLinkColumn(system, page);
  QVBoxLayout* settingsColumn = BuildSettingsColumn(system, page);
  QVBoxLayout* actionColumn = BuildRequestColumn(system, page);
  BuildBoardGroup(system, page);

  auto* columns = new QHBoxLayout;
  columns->addLayout(linkColumn, 0);
  columns->addSpacing(FieldWidth(page, 1));
  columns->addLayout(settingsColumn, 0);
  columns->addSpacing(FieldWidth(page, 1));
  columns->addLayout(actionColumn, 0);
  columns->addStretch(1);

  auto* pageLayout = new QVBoxLayout(page);
  pageLayout->addLayout(columns, 1);
  pageLayout->addWidget(system.boardGroup);

  const SystemControls& c = system;
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

}  // namespace kv770::ui
