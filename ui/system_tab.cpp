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

#include "ui/gateway_window.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

// The gateway's baud codes '0'..'6' are positions in this list, so the RS-485
// list must keep this order; the serial list offers the same rates.
const QStringList kBaudRates = {QStringLiteral("1200"),  QStringLiteral("2400"),
                                QStringLiteral("4800"),  QStringLiteral("9600"),
                                QStringLiteral("19200"), QStringLiteral("38400"),
                                QStringLiteral("57600")};
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

void SizeToChars(QWidget* input, const QWidget* page, int chars) {
  input->setFixedWidth(FieldWidth(page, chars));
}

// A grid whose inputs stay at their own width: the spare width goes to an
// empty column after the last one used.
QGridLayout* NewGrid(QWidget* parent, int lastColumn) {
  auto* grid = new QGridLayout(parent);
  grid->setColumnStretch(lastColumn + 1, 1);
  return grid;
}

}  // namespace

void GatewayWindow::BuildSystemTab(QWidget* page) {
  // Widgets are created in reading order, which is also the tab order: the
  // link on the left, the gateway's settings in the middle, the requests on
  // the right, the board serial number along the bottom.

  // ---- link: choice, serial port, TCP ------------------------------------
  system.linkChoice = MakeCombo(page, "ComboBox2",
                                {QStringLiteral("Serial Port"), QStringLiteral("IP Ethernet")}, 0,
                                /*editable=*/true);
  auto* modeGrid = new QGridLayout;
  modeGrid->setContentsMargins(0, 0, 0, 0);
  AddLabelled(modeGrid, 0, 0, QStringLiteral("Communication Mode:"), system.linkChoice);
  modeGrid->setColumnStretch(2, 1);

  system.serialGroup = MakeGroup(page, "GroupBox1", QStringLiteral("Serial Port Parameters"));
  system.serialPort =
      MakeCombo(system.serialGroup, "SPREALCOM", PortNames(), kCom4, /*editable=*/true);
  system.serialBaud =
      MakeCombo(system.serialGroup, "ComboBox11", kBaudRates, kBaud9600, /*editable=*/true);
  system.serialParity = MakeCombo(system.serialGroup, "ComboBox10", kParities, 0);
  system.openPort = MakeButton(system.serialGroup, "Button1", QStringLiteral("Open"));
  {
    auto* grid = NewGrid(system.serialGroup, 2);
    AddLabelled(grid, 0, 0, QStringLiteral("Serial Port:"), system.serialPort);
    AddLabelled(grid, 1, 0, QStringLiteral("Baud:"), system.serialBaud);
    AddLabelled(grid, 2, 0, QStringLiteral("Parity:"), system.serialParity);
    grid->addWidget(system.openPort, 2, 2);
  }

  // The line controls stay usable whatever the link choice: they lie outside
  // the serial group, which the TCP choice disables.
  system.comRts = new QCheckBox(QStringLiteral("COM_RTS"), page);
  system.comRts->setObjectName("CheckBox1");
  system.comDtr = new QCheckBox(QStringLiteral("COM_DTR"), page);
  system.comDtr->setObjectName("CheckBox2");
  auto* lineRow = new QHBoxLayout;
  lineRow->setContentsMargins(0, 0, 0, 0);
  lineRow->addWidget(system.comRts);
  lineRow->addWidget(system.comDtr);
  lineRow->addStretch(1);

  system.tcpGroup =
      MakeGroup(page, "GroupBox4", QStringLiteral("Internet Parameter Configuration"));
  system.tcpAddress = MakeEdit(system.tcpGroup, "Edit2", QStringLiteral("192.168.0.88"));
  SizeToChars(system.tcpAddress, page, 15);
  system.tcpPort = MakeEdit(system.tcpGroup, "Edit34", QStringLiteral("7000"));
  SizeToChars(system.tcpPort, page, 5);
  system.tcpStatus = MakeLabel(system.tcpGroup, QStringLiteral("***"), "Label146");
  {
    QPalette red = system.tcpStatus->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    system.tcpStatus->setPalette(red);
  }
  system.tcpStatus->setAccessibleDescription(QStringLiteral("TCP connection state"));
  system.tcpConnect = MakeButton(system.tcpGroup, "Button8", QStringLiteral("Connect"));
  system.tcpDisconnect = MakeButton(system.tcpGroup, "Button11", QStringLiteral("Disconnect"));
  system.makerProgram =
      MakeButton(system.tcpGroup, "Button14", QStringLiteral("Gateway Parameter Query"));
  {
    auto* grid = NewGrid(system.tcpGroup, 2);
    AddLabelled(grid, 0, 0, QStringLiteral("Target IP Address:"), system.tcpAddress);
    AddLabelled(grid, 1, 0, QStringLiteral("Port Number:"), system.tcpPort);
    grid->addWidget(system.tcpStatus, 2, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(system.tcpConnect);
    buttons->addWidget(system.tcpDisconnect);
    buttons->addWidget(system.makerProgram);
    buttons->addStretch(1);
    grid->addLayout(buttons, 3, 0, 1, 4);
    grid->setAlignment(system.tcpAddress, Qt::AlignLeft);
    grid->setAlignment(system.tcpPort, Qt::AlignLeft);
  }

  auto* linkColumn = new QVBoxLayout;
  linkColumn->addLayout(modeGrid);
  linkColumn->addWidget(system.serialGroup);
  linkColumn->addLayout(lineRow);
  linkColumn->addWidget(system.tcpGroup);
  linkColumn->addStretch(1);

  // ---- gateway settings ----------------------------------------------------
  // Each group ends in its "Set", pushed to the group's right edge so the
  // buttons line up down the column.
  system.rs485Group = MakeGroup(page, "GroupBox18", QStringLiteral("RS485 Serial Port Parameters"));
  system.rs485Baud = MakeCombo(system.rs485Group, "ComboBox8", kBaudRates, kBaud9600);
  system.rs485Parity = MakeCombo(system.rs485Group, "ComboBox9", kParities, 0);
  system.rs485Set = MakeButton(system.rs485Group, "Button9", QStringLiteral("Set"));
  {
    auto* grid = NewGrid(system.rs485Group, 1);
    AddLabelled(grid, 0, 0, QStringLiteral("Baud:"), system.rs485Baud);
    AddLabelled(grid, 1, 0, QStringLiteral("Parity:"), system.rs485Parity);
    grid->addWidget(system.rs485Set, 1, 3);
  }

  // The three single-value settings carry their caption as the group title.
  const auto settingRow = [](QGroupBox* group, QWidget* input, QWidget* unit, QPushButton* set) {
    NameForScreenReaders(input, group->title());
    auto* row = new QHBoxLayout(group);
    row->addWidget(input);
    if (unit) row->addWidget(unit);
    row->addStretch(1);
    row->addWidget(set);
  };

  system.slaveAddressGroup = MakeGroup(page, "GroupBox15", QStringLiteral("MODBUS_Slave_Adr:"));
  system.slaveAddress = MakeEdit(system.slaveAddressGroup, "Edit14", QStringLiteral("001"));
  SizeToChars(system.slaveAddress, page, 3);
  system.slaveAddressSet = MakeButton(system.slaveAddressGroup, "Button29", QStringLiteral("Set"));
  settingRow(system.slaveAddressGroup, system.slaveAddress, nullptr, system.slaveAddressSet);

  system.workingModeGroup = MakeGroup(page, "GroupBox7", QStringLiteral("Working Mode:"));
  system.workingMode =
      MakeCombo(system.workingModeGroup, "ComboBox7",
                {QStringLiteral("Transparent Mode"), QStringLiteral("MODBUS_RTU Mode")}, 0);
  system.workingModeSet = MakeButton(system.workingModeGroup, "Button24", QStringLiteral("Set"));
  settingRow(system.workingModeGroup, system.workingMode, nullptr, system.workingModeSet);

  // The gateway counts the polling interval in units of 10 ms.
  system.pollingGroup = MakeGroup(page, "GroupBox14", QStringLiteral("Meter Polling Interval:"));
  system.pollingInterval = MakeEdit(system.pollingGroup, "Edit6", QStringLiteral("050"));
  SizeToChars(system.pollingInterval, page, 3);
  system.pollingInterval->setAccessibleDescription(QStringLiteral("*10 ms"));
  auto* unit = MakeLabel(system.pollingGroup, QStringLiteral(" *10 ms"));
  system.pollingIntervalSet = MakeButton(system.pollingGroup, "Button27", QStringLiteral("Set"));
  settingRow(system.pollingGroup, system.pollingInterval, unit, system.pollingIntervalSet);

  auto* settingsColumn = new QVBoxLayout;
  settingsColumn->addWidget(system.rs485Group);
  settingsColumn->addWidget(system.slaveAddressGroup);
  settingsColumn->addWidget(system.workingModeGroup);
  settingsColumn->addWidget(system.pollingGroup);
  settingsColumn->addStretch(1);

  // ---- requests to the gateway ----------------------------------------------
  // The check comes first (its answer enables the "Set" buttons), then the
  // read-back; the reset, which asks for no confirmation, stands apart.
  system.communicationQuery = MakeButton(page, "Button6", QStringLiteral("Communication Query"));
  system.systemQuery = MakeButton(page, "Button23", QStringLiteral("System Parameters"));
  system.parameterReset = MakeButton(page, "Button30", QStringLiteral("Parameter Initialization"));
  auto* actionColumn = new QVBoxLayout;
  actionColumn->addWidget(system.communicationQuery);
  actionColumn->addWidget(system.systemQuery);
  actionColumn->addSpacing(2 * QFontMetrics(page->font()).height());
  actionColumn->addWidget(system.parameterReset);
  actionColumn->addStretch(1);

  // ---- board serial number and inspector -------------------------------------
  system.boardGroup = MakeGroup(page, "GroupBox2");
  system.boardSerial = MakeEdit(system.boardGroup, "PCBSN", QStringLiteral("00000000"));
  SizeToChars(system.boardSerial, page, 10);
  system.inspector = MakeCombo(
      system.boardGroup, "JIANZHI",
      {QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003"), QStringLiteral("004"),
       QStringLiteral("005"), QStringLiteral("006"), QStringLiteral("008"), QStringLiteral("009"),
       QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103"), QStringLiteral("104")},
      0, /*editable=*/true);
  system.boardSet = MakeButton(system.boardGroup, "Button60", QStringLiteral("Set"));
  {
    auto* grid = NewGrid(system.boardGroup, 5);
    AddLabelled(grid, 0, 0, QStringLiteral("PCBSN:"), system.boardSerial);
    grid->setColumnMinimumWidth(2, FieldWidth(page, 1));  // gap between the two fields
    AddLabelled(grid, 0, 3, QStringLiteral("inspector:"), system.inspector);
    grid->addWidget(system.boardSet, 0, 5);
  }

  // ---- page ------------------------------------------------------------------
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
}

}  // namespace kv770::ui
