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

#include "ui/form1.h"
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

void TForm1::BuildSystemTab(QWidget* page) {
  // Widgets are created in reading order, which is also the tab order: the
  // link on the left, the gateway's settings in the middle, the requests on
  // the right, the board serial number along the bottom.

  // ---- link: choice, serial port, TCP ------------------------------------
  ComboBox2 = MakeCombo(page, "ComboBox2",
                        {QStringLiteral("Serial Port"), QStringLiteral("IP Ethernet")}, 0,
                        /*editable=*/true);
  auto* modeGrid = new QGridLayout;
  modeGrid->setContentsMargins(0, 0, 0, 0);
  AddLabelled(modeGrid, 0, 0, QStringLiteral("Communication Mode:"), ComboBox2);
  modeGrid->setColumnStretch(2, 1);

  GroupBox1 = MakeGroup(page, "GroupBox1", QStringLiteral("Serial Port Parameters"));
  SPREALCOM = MakeCombo(GroupBox1, "SPREALCOM", PortNames(), kCom4, /*editable=*/true);
  ComboBox11 = MakeCombo(GroupBox1, "ComboBox11", kBaudRates, kBaud9600, /*editable=*/true);
  ComboBox10 = MakeCombo(GroupBox1, "ComboBox10", kParities, 0);
  Button1 = MakeButton(GroupBox1, "Button1", QStringLiteral("Open"));
  {
    auto* grid = NewGrid(GroupBox1, 2);
    AddLabelled(grid, 0, 0, QStringLiteral("Serial Port:"), SPREALCOM);
    AddLabelled(grid, 1, 0, QStringLiteral("Baud:"), ComboBox11);
    AddLabelled(grid, 2, 0, QStringLiteral("Parity:"), ComboBox10);
    grid->addWidget(Button1, 2, 2);
  }

  // The line controls stay usable whatever the link choice: they lie outside
  // the serial group, which the TCP choice disables.
  CheckBox1 = new QCheckBox(QStringLiteral("COM_RTS"), page);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox2 = new QCheckBox(QStringLiteral("COM_DTR"), page);
  CheckBox2->setObjectName("CheckBox2");
  auto* lineRow = new QHBoxLayout;
  lineRow->setContentsMargins(0, 0, 0, 0);
  lineRow->addWidget(CheckBox1);
  lineRow->addWidget(CheckBox2);
  lineRow->addStretch(1);

  GroupBox4 = MakeGroup(page, "GroupBox4", QStringLiteral("Internet Parameter Configuration"));
  Edit2 = MakeEdit(GroupBox4, "Edit2", QStringLiteral("192.168.0.88"));
  SizeToChars(Edit2, page, 15);
  Edit34 = MakeEdit(GroupBox4, "Edit34", QStringLiteral("7000"));
  SizeToChars(Edit34, page, 5);
  Label146 = MakeLabel(GroupBox4, QStringLiteral("***"), "Label146");
  {
    QPalette red = Label146->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label146->setPalette(red);
  }
  Label146->setAccessibleDescription(QStringLiteral("TCP connection state"));
  Button8 = MakeButton(GroupBox4, "Button8", QStringLiteral("Connect"));
  Button11 = MakeButton(GroupBox4, "Button11", QStringLiteral("Disconnect"));
  Button14 = MakeButton(GroupBox4, "Button14", QStringLiteral("Gateway Parameter Query"));
  {
    auto* grid = NewGrid(GroupBox4, 2);
    AddLabelled(grid, 0, 0, QStringLiteral("Target IP Address:"), Edit2);
    AddLabelled(grid, 1, 0, QStringLiteral("Port Number:"), Edit34);
    grid->addWidget(Label146, 2, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button8);
    buttons->addWidget(Button11);
    buttons->addWidget(Button14);
    buttons->addStretch(1);
    grid->addLayout(buttons, 3, 0, 1, 4);
    grid->setAlignment(Edit2, Qt::AlignLeft);
    grid->setAlignment(Edit34, Qt::AlignLeft);
  }

  auto* linkColumn = new QVBoxLayout;
  linkColumn->addLayout(modeGrid);
  linkColumn->addWidget(GroupBox1);
  linkColumn->addLayout(lineRow);
  linkColumn->addWidget(GroupBox4);
  linkColumn->addStretch(1);

  // ---- gateway settings ----------------------------------------------------
  // Each group ends in its "Set", pushed to the group's right edge so the
  // buttons line up down the column.
  GroupBox18 = MakeGroup(page, "GroupBox18", QStringLiteral("RS485 Serial Port Parameters"));
  ComboBox8 = MakeCombo(GroupBox18, "ComboBox8", kBaudRates, kBaud9600);
  ComboBox9 = MakeCombo(GroupBox18, "ComboBox9", kParities, 0);
  Button9 = MakeButton(GroupBox18, "Button9", QStringLiteral("Set"));
  {
    auto* grid = NewGrid(GroupBox18, 1);
    AddLabelled(grid, 0, 0, QStringLiteral("Baud:"), ComboBox8);
    AddLabelled(grid, 1, 0, QStringLiteral("Parity:"), ComboBox9);
    grid->addWidget(Button9, 1, 3);
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

  GroupBox15 = MakeGroup(page, "GroupBox15", QStringLiteral("MODBUS_Slave_Adr:"));
  Edit14 = MakeEdit(GroupBox15, "Edit14", QStringLiteral("001"));
  SizeToChars(Edit14, page, 3);
  Button29 = MakeButton(GroupBox15, "Button29", QStringLiteral("Set"));
  settingRow(GroupBox15, Edit14, nullptr, Button29);

  GroupBox7 = MakeGroup(page, "GroupBox7", QStringLiteral("Working Mode:"));
  ComboBox7 = MakeCombo(GroupBox7, "ComboBox7",
                        {QStringLiteral("Transparent Mode"), QStringLiteral("MODBUS_RTU Mode")}, 0);
  Button24 = MakeButton(GroupBox7, "Button24", QStringLiteral("Set"));
  settingRow(GroupBox7, ComboBox7, nullptr, Button24);

  // The gateway counts the polling interval in units of 10 ms.
  GroupBox14 = MakeGroup(page, "GroupBox14", QStringLiteral("Meter Polling Interval:"));
  Edit6 = MakeEdit(GroupBox14, "Edit6", QStringLiteral("050"));
  SizeToChars(Edit6, page, 3);
  Edit6->setAccessibleDescription(QStringLiteral("*10 ms"));
  auto* unit = MakeLabel(GroupBox14, QStringLiteral(" *10 ms"));
  Button27 = MakeButton(GroupBox14, "Button27", QStringLiteral("Set"));
  settingRow(GroupBox14, Edit6, unit, Button27);

  auto* settingsColumn = new QVBoxLayout;
  settingsColumn->addWidget(GroupBox18);
  settingsColumn->addWidget(GroupBox15);
  settingsColumn->addWidget(GroupBox7);
  settingsColumn->addWidget(GroupBox14);
  settingsColumn->addStretch(1);

  // ---- requests to the gateway ----------------------------------------------
  // The check comes first (its answer enables the "Set" buttons), then the
  // read-back; the reset, which asks for no confirmation, stands apart.
  Button6 = MakeButton(page, "Button6", QStringLiteral("Communication Query"));
  Button23 = MakeButton(page, "Button23", QStringLiteral("System Parameters"));
  Button30 = MakeButton(page, "Button30", QStringLiteral("Parameter Initialization"));
  auto* actionColumn = new QVBoxLayout;
  actionColumn->addWidget(Button6);
  actionColumn->addWidget(Button23);
  actionColumn->addSpacing(2 * QFontMetrics(page->font()).height());
  actionColumn->addWidget(Button30);
  actionColumn->addStretch(1);

  // ---- board serial number and inspector -------------------------------------
  GroupBox2 = MakeGroup(page, "GroupBox2");
  PCBSN = MakeEdit(GroupBox2, "PCBSN", QStringLiteral("00000000"));
  SizeToChars(PCBSN, page, 10);
  JIANZHI = MakeCombo(
      GroupBox2, "JIANZHI",
      {QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003"), QStringLiteral("004"),
       QStringLiteral("005"), QStringLiteral("006"), QStringLiteral("008"), QStringLiteral("009"),
       QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103"), QStringLiteral("104")},
      0, /*editable=*/true);
  Button60 = MakeButton(GroupBox2, "Button60", QStringLiteral("Set"));
  {
    auto* grid = NewGrid(GroupBox2, 5);
    AddLabelled(grid, 0, 0, QStringLiteral("PCBSN:"), PCBSN);
    grid->setColumnMinimumWidth(2, FieldWidth(page, 1));  // gap between the two fields
    AddLabelled(grid, 0, 3, QStringLiteral("inspector:"), JIANZHI);
    grid->addWidget(Button60, 0, 5);
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
  pageLayout->addWidget(GroupBox2);
}

}  // namespace kv770::ui
