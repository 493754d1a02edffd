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

// The gateway sends the instrument type as the two-digit list position, so
// the order of this list is part of the protocol.
const QStringList kInstrumentTypes = {
    QStringLiteral("0)Custom_Meter"),   QStringLiteral("1)Currency_Meter"),
    QStringLiteral("2)KROHEN_HIFC070"), QStringLiteral("3)KROHEN_IFC300"),
    QStringLiteral("4)KROEN_IFC090"),   QStringLiteral("5)Siemens_MG500"),
    QStringLiteral("6)Siemens_FUS010"), QStringLiteral("7)Siemens_MASS600"),
    QStringLiteral("8)ABB_FIX100"),     QStringLiteral("9)ABB_FMT200"),
    QStringLiteral("10)MP3"),           QStringLiteral("11)HT56"),
    QStringLiteral("12)F56"),           QStringLiteral("13)3051AMV")};

// Byte orders of a register pair; the current (40001) is always a float, so
// it is offered only the first two codes.
const QStringList kFloatOrders = {QStringLiteral("0 IEE754 (FF4 FF3 FF2 FF1)"),
                                  QStringLiteral("1 IEE754 (FF2 FF1 FF4 FF3)")};
const QStringList kVariableOrders =
    kFloatOrders + QStringList{QStringLiteral("2 Uint32 (FF4 FF3 FF2 FF1)"),
                               QStringLiteral("3 Uint32 (FF2 FF1 FF4 FF3)")};

const QStringList kOpenClose = {QStringLiteral("0 close"), QStringLiteral("1 open")};
const QStringList kCommandNumbers = {QStringLiteral("0 Not analytic"),
                                     QStringLiteral("1 Command 1"), QStringLiteral("2 Command 2")};
const QStringList kDataLengths = {QStringLiteral("4 byte"), QStringLiteral("8 byte")};

QStringList Numbers(int first, int last) {
  QStringList items;
  for (int n = first; n <= last; ++n) items << QString::number(n);
  return items;
}

// This tab holds more controls than any other, so its layouts run tight.
constexpr int kSpacing = 4;
constexpr int kGroupMargin = 6;

void Tighten(QGridLayout* grid) {
  grid->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
  grid->setHorizontalSpacing(kSpacing + 2);
  grid->setVerticalSpacing(kSpacing);
}

// Six "Set" buttons share this tab; a style's wide default button would cost
// the custom command fields their room. The description tells a screen
// reader which one is which.
QPushButton* MakeSetButton(QWidget* parent, const char* name, const QString& sets) {
  auto* button = MakeButton(parent, name, QStringLiteral("Set"));
  const QFontMetrics metrics(button->font());
  button->setFixedWidth(metrics.horizontalAdvance(button->text()) + 3 * metrics.height());
  button->setAccessibleDescription(sets);
  return button;
}

// Keeps a short input at its own width at the left of a wider grid cell.
void KeepLeft(QGridLayout* grid, QWidget* input) {
  grid->setAlignment(input, Qt::AlignLeft | Qt::AlignVCenter);
}

// A caption that names `input` although it does not stand directly beside it.
QLabel* CaptionFor(QWidget* parent, const QString& caption, QWidget* input) {
  auto* label = MakeLabel(parent, caption);
  label->setBuddy(input);
  NameForScreenReaders(input, caption);
  return label;
}

// ---- mapping of one meter ----------------------------------------------

QGridLayout* BuildMeterSetup(MappingControls& c) {
  c.meter = MakeCombo(c.group, "ComboBox41", Numbers(1, 8), 0);
  c.enable = MakeCombo(c.group, "ComboBox6", {QStringLiteral("Close"), QStringLiteral("Open")}, -1);
  c.deviceMode =
      MakeCombo(c.group, "ComboBox16",
                {QStringLiteral("Secondary Master Device"), QStringLiteral("Master Device")}, 0);
  c.instrumentType = MakeCombo(c.group, "ComboBox17", kInstrumentTypes, 0);
  c.instrumentType->setMaxVisibleItems(16);
  c.preambleLength = MakeCombo(c.group, "ComboBox34", Numbers(4, 9), -1);
  c.bufferClearTime = MakeEdit(c.group, "Edit1");
  SizeToChars(c.bufferClearTime, 3);
  c.setupSet = MakeSetButton(c.group, "Button10", QStringLiteral("polling set-up"));

  auto* setup = new QGridLayout;
  setup->setContentsMargins(0, 0, 0, 0);
  setup->setHorizontalSpacing(kSpacing + 2);
  setup->setVerticalSpacing(kSpacing);
  AddLabelled(setup, 0, 0, QStringLiteral("Meter ID:"), c.meter);
  AddLabelled(setup, 0, 2, QStringLiteral("Enable:"), c.enable);
  AddLabelled(setup, 1, 0, QStringLiteral("Device Mode:"), c.deviceMode);
  AddLabelled(setup, 1, 2, QStringLiteral("Instrument Type:"), c.instrumentType);
  AddLabelled(setup, 2, 0, QStringLiteral("Preamble Length:"), c.preambleLength);
  setup->addWidget(CaptionFor(c.group, QStringLiteral("Buffer Clear Time:"), c.bufferClearTime), 2,
                   2);
  auto* clearTime = new QHBoxLayout;
  clearTime->setSpacing(kSpacing);
  clearTime->addWidget(c.bufferClearTime);
  clearTime->addWidget(MakeLabel(c.group, QStringLiteral("S")));
  clearTime->addStretch(1);
  clearTime->addWidget(c.setupSet);
  setup->addLayout(clearTime, 2, 3);
  for (QWidget* input : {static_cast<QWidget*>(c.meter), static_cast<QWidget*>(c.enable),
                         static_cast<QWidget*>(c.preambleLength)})
    KeepLeft(setup, input);
  return setup;
}

// Registers of the meter: one row per 32-bit value with its byte order,
// and the coefficient of each variable beside it.
QGridLayout* BuildRegisters(MappingControls& c) {
  c.currentLabel = MakeLabel(c.group, QStringLiteral("Current"), "Label68");
  c.registerLabels[0] = MakeLabel(c.group, QStringLiteral("40001:"), "Label19");
  c.byteOrders[0] = MakeCombo(c.group, "FAMOUT1", kFloatOrders, 0);
  // Named without the register address or the row caption beside them:
  // both change as reports and time-outs arrive.
  NameForScreenReaders(c.byteOrders[0], QStringLiteral("Current byte order"));

  // Form names of the four variables' controls, and their first register.
  struct Names {
    const char* label;
    const char* address;
    const char* order;
    const char* coefficient;
  };
  const Names names[] = {{"Label24", "40003:", "FAMOUT3", "XISHU1"},
                         {"Label27", "40005:", "FAMOUT5", "XISHU2"},
                         {"Label28", "40007:", "FAMOUT7", "XISHU3"},
                         {"Label29", "40009:", "FAMOUT9", "XISHU4"}};

  auto* registers = new QGridLayout;
  registers->setContentsMargins(0, 0, 0, 0);
  registers->setHorizontalSpacing(kSpacing + 2);
  registers->setVerticalSpacing(kSpacing);
  registers->addWidget(c.currentLabel, 0, 0);
  registers->addWidget(c.registerLabels[0], 0, 1);
  registers->addWidget(c.byteOrders[0], 0, 2);
  for (int row = 1; row <= 4; ++row) {
    const Names& n = names[row - 1];
    const QString name = QStringLiteral("Variable_%1(RTU_ADR)").arg(row);
    c.registerLabels[row] = MakeLabel(c.group, QString::fromLatin1(n.address), n.label);
    c.byteOrders[row] = MakeCombo(c.group, n.order, kVariableOrders, 0);
    NameForScreenReaders(c.byteOrders[row], name + QStringLiteral(" byte order"));
    registers->addWidget(MakeLabel(c.group, name), row, 0);
    registers->addWidget(c.registerLabels[row], row, 1);
    registers->addWidget(c.byteOrders[row], row, 2);
  }
  c.byteOrdersSet = MakeSetButton(c.group, "Button21", QStringLiteral("byte orders"));
  registers->addWidget(c.byteOrdersSet, 5, 2, Qt::AlignRight);

  for (int row = 1; row <= 4; ++row) {
    QLineEdit*& coefficient = c.coefficients[row - 1];
    coefficient = MakeEdit(c.group, names[row - 1].coefficient, QStringLiteral("1.000"));
    SizeToChars(coefficient, 5);
    AddLabelled(registers, row, 3, QStringLiteral("Variable %1 Coefficient").arg(row), coefficient);
  }
  c.coefficientsSet = MakeSetButton(c.group, "Button15", QStringLiteral("coefficients"));
  registers->addWidget(c.coefficientsSet, 5, 3, 1, 2, Qt::AlignRight);

  c.channelTest = MakeButton(c.group, "Button5", QStringLiteral("Channel Test"));
  registers->addWidget(c.channelTest, 5, 0, 1, 2, Qt::AlignLeft);
  return registers;
}

void BuildMappingGroup(MappingControls& c, QWidget* page) {
  c.group = MakeGroup(page, "GroupBox3");
  QGridLayout* setup = BuildMeterSetup(c);
  QGridLayout* registers = BuildRegisters(c);
  auto* column = new QVBoxLayout(c.group);
  column->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
  column->setSpacing(kSpacing + 4);
  column->addLayout(setup);
  column->addLayout(registers);
}

// ---- custom HART command parsing ---------------------------------------

void BuildReadCommands(ParsingControls& c, QGridLayout* grid) {
  struct Names {
    const char* enable;
    const char* bytes;
    const char* set;
  };
  const Names names[] = {{"ComboBox28", "Edit4", "Button17"}, {"ComboBox29", "Edit5", "Button18"}};
  for (int row = 0; row < 2; ++row) {
    ParsingControls::ReadCommand& r = c.readCommands[row];
    const QString caption = QStringLiteral("Read Meter Command %1:").arg(row + 1);
    r.enable = MakeCombo(c.group, names[row].enable, kOpenClose, -1);
    NameForScreenReaders(r.enable, caption + QStringLiteral(" Enable"));
    r.bytes = MakeEdit(c.group, names[row].bytes);
    r.set = MakeSetButton(c.group, names[row].set, caption);
    auto* label = MakeLabel(c.group, caption);
    label->setBuddy(r.bytes);
    NameForScreenReaders(r.bytes, caption);
    grid->addWidget(label, row, 0);
    grid->addWidget(r.enable, row, 1);
    grid->addWidget(r.bytes, row, 2);
    grid->addWidget(r.set, row, 3);
  }
  grid->setColumnStretch(2, 1);
}

void BuildFormatGroup(ParsingControls& c) {
  auto* format = new QGridLayout(c.formatGroup);
  Tighten(format);
  c.addressBits = MakeCombo(c.formatGroup, "ComboBox15", Numbers(3, 9), 5);
  // Its own row, so that the longer caption does not widen the column of
  // the variable names.
  auto* bits = new QHBoxLayout;
  bits->setSpacing(kSpacing + 2);
  bits->addWidget(CaptionFor(c.formatGroup, QStringLiteral("Address Bits:"), c.addressBits));
  bits->addWidget(c.addressBits);
  bits->addStretch(1);
  format->addLayout(bits, 0, 0, 1, 4);

  const QString headings[] = {QStringLiteral("Command Number"), QStringLiteral("Star_Adr"),
                              QStringLiteral("Data Length")};
  for (int col = 0; col < 3; ++col)
    format->addWidget(MakeLabel(c.formatGroup, headings[col]), 1, col + 1);

  struct Names {
    const char* command;
    const char* start;
    const char* length;
  };
  const Names names[] = {{"RADCOM1", "READADR1", "READLG1"},
                         {"RADCOM3", "READADR3", "READLG3"},
                         {"RADCOM5", "READADR5", "READLG5"},
                         {"RADCOM7", "READADR7", "READLG7"}};
  for (int v = 0; v < 4; ++v) {
    ParsingControls::Row& r = c.rows[v];
    const int gridRow = v + 2;
    const QString name = QStringLiteral("Variable_%1:").arg(v + 1);
    r.command = MakeCombo(c.formatGroup, names[v].command, kCommandNumbers, -1);
    r.start = MakeEdit(c.formatGroup, names[v].start);
    SizeToChars(r.start, 3);
    r.length = MakeCombo(c.formatGroup, names[v].length, kDataLengths, -1);
    auto* label = MakeLabel(c.formatGroup, name);
    label->setBuddy(r.command);
    NameForScreenReaders(r.command, name + QStringLiteral(" ") + headings[0]);
    NameForScreenReaders(r.start, name + QStringLiteral(" ") + headings[1]);
    NameForScreenReaders(r.length, name + QStringLiteral(" ") + headings[2]);
    format->addWidget(label, gridRow, 0);
    format->addWidget(r.command, gridRow, 1);
    format->addWidget(r.start, gridRow, 2);
    format->addWidget(r.length, gridRow, 3);
  }
  c.formatSet = MakeSetButton(c.formatGroup, "Button12", c.formatGroup->title());
  format->addWidget(c.formatSet, 6, 3, Qt::AlignRight);
  format->setColumnStretch(4, 1);
}

void BuildParsingGroup(ParsingControls& c, QWidget* page) {
  c.group = MakeGroup(page, "GroupBox13", QStringLiteral("Custom HART Command Parsing"));
  auto* grid = new QGridLayout(c.group);
  Tighten(grid);
  BuildReadCommands(c, grid);
  c.formatGroup = MakeGroup(c.group, "GroupBox16", QStringLiteral("Custom Data Parsing Format"));
  grid->addWidget(c.formatGroup, 2, 0, 1, 4);
  grid->setRowStretch(3, 1);
  BuildFormatGroup(c);
}

// ---- MODBUS read test ---------------------------------------------------
void BuildModbusTestGroup(ModbusTestControls& c, QWidget* page) {
  c.group = MakeGroup(page, "GroupBox19", QStringLiteral("Modbus Communication Test"));
  auto* grid = new QGridLayout(c.group);
  Tighten(grid);
  c.slaveAddress = MakeEdit(c.group, "Edit18", QStringLiteral("001"));
  c.startAddress = MakeEdit(c.group, "Edit19", QStringLiteral("00"));
  c.length = MakeEdit(c.group, "Edit20", QStringLiteral("10"));
  for (QLineEdit* edit : {c.slaveAddress, c.startAddress, c.length}) SizeToChars(edit, 3);
  AddLabelled(grid, 0, 0, QStringLiteral("MODBUS Slave Address:"), c.slaveAddress);
  AddLabelled(grid, 0, 3, QStringLiteral("MODBUS Start Address:"), c.startAddress);
  AddLabelled(grid, 1, 0, QStringLiteral("Read Data Length:"), c.length);
  c.send = MakeButton(c.group, "Button4", QStringLiteral("MODBUS Comm Test"));
  grid->addWidget(c.send, 1, 3, 1, 2, Qt::AlignRight);
  grid->setColumnMinimumWidth(2, 2 * kSpacing);  // air between the two pairs
}

// ---- IEEE 754 calculator -----------------------------------------------
void BuildCalculatorGroup(CalculatorControls& c, QWidget* page) {
  c.group = MakeGroup(page, "GroupBox12", QStringLiteral("IEE754 Calculation"));
  auto* grid = new QGridLayout(c.group);
  Tighten(grid);
  c.hexInput = MakeEdit(c.group, "Edit7");
  SizeToChars(c.hexInput, 14);
  AddLabelled(grid, 0, 0, QStringLiteral("Data Format HEX(FF FF FF FF):"), c.hexInput);
  c.calculate = MakeButton(c.group, "Button13", QStringLiteral("Calculation"));
  grid->addWidget(c.calculate, 0, 2);
  c.value = MakeEdit(c.group, "Edit22");
  SizeToChars(c.value, 14);
  grid->addWidget(CaptionFor(c.group, QStringLiteral("Value:"), c.value), 1, 0, Qt::AlignRight);
  grid->addWidget(c.value, 1, 1);
}

// Reading order: the mapping's registers row by row (byte order, then the
// coefficient beside it), the left column, then the right one, then the
// tools below.
QList<QWidget*> ModbusTabOrder(const MappingControls& m, const ParsingControls& p,
                               const ModbusTestControls& t, const CalculatorControls& c) {
  QList<QWidget*> order = {m.mappingQuery,    m.meter,          m.enable,
                           m.deviceMode,      m.instrumentType, m.preambleLength,
                           m.bufferClearTime, m.setupSet,       m.byteOrders[0]};
  for (std::size_t i = 0; i < 4; ++i) order << m.byteOrders[i + 1] << m.coefficients[i];
  order << m.channelTest << m.byteOrdersSet << m.coefficientsSet;
  for (const auto& r : p.readCommands) order << r.enable << r.bytes << r.set;
  order << p.addressBits;
  for (const auto& row : p.rows) order << row.command << row.start << row.length;
  order << p.formatSet << t.slaveAddress << t.startAddress << t.length << t.send << c.hexInput
        << c.calculate << c.value;
  return order;
}

}  // namespace

void GatewayWindow::BuildModbusTab(QWidget* page) {
  // The meter's mapping and the query button fill the left column, the custom
  // HART parsing of that meter the right one; the two stand-alone tools run
  // along the bottom.
  mapping.mappingQuery = MakeButton(page, "Button31", QStringLiteral("MODBUS_RTU parameters"));
  BuildMappingGroup(mapping, page);
  BuildParsingGroup(parsing, page);
  BuildModbusTestGroup(modbusTest, page);
  BuildCalculatorGroup(calculator, page);

  auto* mappingColumn = new QVBoxLayout;
  mappingColumn->setSpacing(kSpacing + 2);
  mappingColumn->addWidget(mapping.mappingQuery, 0, Qt::AlignLeft);
  mappingColumn->addWidget(mapping.group);
  mappingColumn->addStretch(1);

  auto* tools = new QHBoxLayout;
  tools->setSpacing(kSpacing + 4);
  tools->addWidget(modbusTest.group);
  tools->addWidget(calculator.group);
  tools->addStretch(1);

  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
  grid->setSpacing(kSpacing + 2);
  grid->addLayout(mappingColumn, 0, 0);
  grid->addWidget(parsing.group, 0, 1);
  grid->addLayout(tools, 1, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);

  ChainTabOrder(ModbusTabOrder(mapping, parsing, modbusTest, calculator));
}

}  // namespace kv770::ui
