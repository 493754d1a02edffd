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

// Width of an input that holds `chars` characters in the page's font, so a
// number field fits its content at any DPI instead of running across a row.
void SizeToChars(QWidget* input, int chars) {
  const QFontMetrics metrics(input->font());
  input->setMaximumWidth(metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))) +
                         metrics.height());
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

}  // namespace

void GatewayWindow::BuildModbusTab(QWidget* page) {
  // Widgets are created in reading order, which is also the tab order. The
  // meter's mapping and the query button fill the left column, the custom
  // HART parsing of that meter the right one; the two stand-alone tools run
  // along the bottom.

  mapping.mappingQuery = MakeButton(page, "Button31", QStringLiteral("MODBUS_RTU parameters"));

  // ---- mapping of one meter ----------------------------------------------
  mapping.group = MakeGroup(page, "GroupBox3");
  mapping.meter = MakeCombo(mapping.group, "ComboBox41", Numbers(1, 8), 0);
  mapping.enable =
      MakeCombo(mapping.group, "ComboBox6", {QStringLiteral("Close"), QStringLiteral("Open")}, -1);
  mapping.deviceMode =
      MakeCombo(mapping.group, "ComboBox16",
                {QStringLiteral("Secondary Master Device"), QStringLiteral("Master Device")}, 0);
  mapping.instrumentType = MakeCombo(mapping.group, "ComboBox17", kInstrumentTypes, 0);
  mapping.instrumentType->setMaxVisibleItems(16);
  mapping.preambleLength = MakeCombo(mapping.group, "ComboBox34", Numbers(4, 9), -1);
  mapping.bufferClearTime = MakeEdit(mapping.group, "Edit1");
  SizeToChars(mapping.bufferClearTime, 3);
  mapping.setupSet = MakeSetButton(mapping.group, "Button10", QStringLiteral("polling set-up"));

  auto* setup = new QGridLayout;
  setup->setContentsMargins(0, 0, 0, 0);
  setup->setHorizontalSpacing(kSpacing + 2);
  setup->setVerticalSpacing(kSpacing);
  AddLabelled(setup, 0, 0, QStringLiteral("Meter ID:"), mapping.meter);
  AddLabelled(setup, 0, 2, QStringLiteral("Enable:"), mapping.enable);
  AddLabelled(setup, 1, 0, QStringLiteral("Device Mode:"), mapping.deviceMode);
  AddLabelled(setup, 1, 2, QStringLiteral("Instrument Type:"), mapping.instrumentType);
  AddLabelled(setup, 2, 0, QStringLiteral("Preamble Length:"), mapping.preambleLength);
  setup->addWidget(
      CaptionFor(mapping.group, QStringLiteral("Buffer Clear Time:"), mapping.bufferClearTime), 2,
      2);
  {
    auto* clearTime = new QHBoxLayout;
    clearTime->setSpacing(kSpacing);
    clearTime->addWidget(mapping.bufferClearTime);
    clearTime->addWidget(MakeLabel(mapping.group, QStringLiteral("S")));
    clearTime->addStretch(1);
    clearTime->addWidget(mapping.setupSet);
    setup->addLayout(clearTime, 2, 3);
  }
  for (QWidget* input :
       {static_cast<QWidget*>(mapping.meter), static_cast<QWidget*>(mapping.enable),
        static_cast<QWidget*>(mapping.preambleLength)})
    KeepLeft(setup, input);

  // Registers of the meter: one row per 32-bit value with its byte order,
  // and the coefficient of each variable beside it.
  mapping.currentLabel = MakeLabel(mapping.group, QStringLiteral("Current"), "Label68");
  mapping.registerLabels[0] = MakeLabel(mapping.group, QStringLiteral("40001:"), "Label19");
  mapping.byteOrders[0] = MakeCombo(mapping.group, "FAMOUT1", kFloatOrders, 0);
  NameForScreenReaders(mapping.byteOrders[0], QStringLiteral("Current 40001:"));

  struct VariableRow {
    const char* labelName;
    const char* address;
    const char* orderName;
    const char* coefficientName;
    QLabel** label;
    QComboBox** order;
    QLineEdit** coefficient;
  };
  const VariableRow variables[] = {
      {"Label24", "40003:", "FAMOUT3", "XISHU1", &mapping.registerLabels[1], &mapping.byteOrders[1],
       &mapping.coefficients[0]},
      {"Label27", "40005:", "FAMOUT5", "XISHU2", &mapping.registerLabels[2], &mapping.byteOrders[2],
       &mapping.coefficients[1]},
      {"Label28", "40007:", "FAMOUT7", "XISHU3", &mapping.registerLabels[3], &mapping.byteOrders[3],
       &mapping.coefficients[2]},
      {"Label29", "40009:", "FAMOUT9", "XISHU4", &mapping.registerLabels[4], &mapping.byteOrders[4],
       &mapping.coefficients[3]},
  };

  auto* registers = new QGridLayout;
  registers->setContentsMargins(0, 0, 0, 0);
  registers->setHorizontalSpacing(kSpacing + 2);
  registers->setVerticalSpacing(kSpacing);
  registers->addWidget(mapping.currentLabel, 0, 0);
  registers->addWidget(mapping.registerLabels[0], 0, 1);
  registers->addWidget(mapping.byteOrders[0], 0, 2);
  int row = 1;
  for (const VariableRow& v : variables) {
    const QString name = QStringLiteral("Variable_%1(RTU_ADR)").arg(row);
    *v.label = MakeLabel(mapping.group, QString::fromLatin1(v.address), v.labelName);
    *v.order = MakeCombo(mapping.group, v.orderName, kVariableOrders, 0);
    NameForScreenReaders(*v.order, name + QLatin1Char(' ') + QString::fromLatin1(v.address));
    registers->addWidget(MakeLabel(mapping.group, name), row, 0);
    registers->addWidget(*v.label, row, 1);
    registers->addWidget(*v.order, row, 2);
    ++row;
  }
  mapping.byteOrdersSet = MakeSetButton(mapping.group, "Button21", QStringLiteral("byte orders"));
  registers->addWidget(mapping.byteOrdersSet, row, 2, Qt::AlignRight);

  row = 1;
  for (const VariableRow& v : variables) {
    *v.coefficient = MakeEdit(mapping.group, v.coefficientName, QStringLiteral("1.000"));
    SizeToChars(*v.coefficient, 5);
    AddLabelled(registers, row, 3, QStringLiteral("Variable %1 Coefficient").arg(row),
                *v.coefficient);
    ++row;
  }
  mapping.coefficientsSet =
      MakeSetButton(mapping.group, "Button15", QStringLiteral("coefficients"));
  registers->addWidget(mapping.coefficientsSet, row, 3, 1, 2, Qt::AlignRight);

  mapping.channelTest = MakeButton(mapping.group, "Button5", QStringLiteral("Channel Test"));
  registers->addWidget(mapping.channelTest, row, 0, 1, 2, Qt::AlignLeft);

  {
    auto* column = new QVBoxLayout(mapping.group);
    column->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    column->setSpacing(kSpacing + 4);
    column->addLayout(setup);
    column->addLayout(registers);
  }

  // ---- custom HART command parsing ---------------------------------------
  parsing.group = MakeGroup(page, "GroupBox13", QStringLiteral("Custom HART Command Parsing"));
  auto* parsingGrid = new QGridLayout(parsing.group);
  Tighten(parsingGrid);
  struct ReadCommandRow {
    const char* enableName;
    const char* bytesName;
    const char* buttonName;
    QComboBox** enable;
    QLineEdit** bytes;
    QPushButton** button;
  };
  const ReadCommandRow readCommands[] = {
      {"ComboBox28", "Edit4", "Button17", &parsing.readCommands[0].enable,
       &parsing.readCommands[0].bytes, &parsing.readCommands[0].set},
      {"ComboBox29", "Edit5", "Button18", &parsing.readCommands[1].enable,
       &parsing.readCommands[1].bytes, &parsing.readCommands[1].set},
  };
  row = 0;
  for (const ReadCommandRow& r : readCommands) {
    const QString caption = QStringLiteral("Read Meter Command %1:").arg(row + 1);
    *r.enable = MakeCombo(parsing.group, r.enableName, kOpenClose, -1);
    NameForScreenReaders(*r.enable, caption + QStringLiteral(" Enable"));
    *r.bytes = MakeEdit(parsing.group, r.bytesName);
    *r.button = MakeSetButton(parsing.group, r.buttonName, caption);
    auto* label = MakeLabel(parsing.group, caption);
    label->setBuddy(*r.bytes);
    NameForScreenReaders(*r.bytes, caption);
    parsingGrid->addWidget(label, row, 0);
    parsingGrid->addWidget(*r.enable, row, 1);
    parsingGrid->addWidget(*r.bytes, row, 2);
    parsingGrid->addWidget(*r.button, row, 3);
    ++row;
  }
  parsingGrid->setColumnStretch(2, 1);

  parsing.formatGroup =
      MakeGroup(parsing.group, "GroupBox16", QStringLiteral("Custom Data Parsing Format"));
  parsingGrid->addWidget(parsing.formatGroup, row, 0, 1, 4);
  parsingGrid->setRowStretch(row + 1, 1);
  {
    auto* format = new QGridLayout(parsing.formatGroup);
    Tighten(format);
    parsing.addressBits = MakeCombo(parsing.formatGroup, "ComboBox15", Numbers(3, 9), 5);
    {
      // Its own row, so that the longer caption does not widen the column
      // of the variable names.
      auto* bits = new QHBoxLayout;
      bits->setSpacing(kSpacing + 2);
      bits->addWidget(
          CaptionFor(parsing.formatGroup, QStringLiteral("Address Bits:"), parsing.addressBits));
      bits->addWidget(parsing.addressBits);
      bits->addStretch(1);
      format->addLayout(bits, 0, 0, 1, 4);
    }

    const QString headings[] = {QStringLiteral("Command Number"), QStringLiteral("Star_Adr"),
                                QStringLiteral("Data Length")};
    for (int col = 0; col < 3; ++col)
      format->addWidget(MakeLabel(parsing.formatGroup, headings[col]), 1, col + 1);

    struct FormatRow {
      const char* commandName;
      const char* addressName;
      const char* lengthName;
      QComboBox** command;
      QLineEdit** address;
      QComboBox** length;
    };
    const FormatRow formats[] = {
        {"RADCOM1", "READADR1", "READLG1", &parsing.rows[0].command, &parsing.rows[0].start,
         &parsing.rows[0].length},
        {"RADCOM3", "READADR3", "READLG3", &parsing.rows[1].command, &parsing.rows[1].start,
         &parsing.rows[1].length},
        {"RADCOM5", "READADR5", "READLG5", &parsing.rows[2].command, &parsing.rows[2].start,
         &parsing.rows[2].length},
        {"RADCOM7", "READADR7", "READLG7", &parsing.rows[3].command, &parsing.rows[3].start,
         &parsing.rows[3].length},
    };
    int formatRow = 2;
    for (const FormatRow& f : formats) {
      const QString name = QStringLiteral("Variable_%1:").arg(formatRow - 1);
      *f.command = MakeCombo(parsing.formatGroup, f.commandName, kCommandNumbers, -1);
      *f.address = MakeEdit(parsing.formatGroup, f.addressName);
      SizeToChars(*f.address, 3);
      *f.length = MakeCombo(parsing.formatGroup, f.lengthName, kDataLengths, -1);
      auto* label = MakeLabel(parsing.formatGroup, name);
      label->setBuddy(*f.command);
      NameForScreenReaders(*f.command, name + QStringLiteral(" ") + headings[0]);
      NameForScreenReaders(*f.address, name + QStringLiteral(" ") + headings[1]);
      NameForScreenReaders(*f.length, name + QStringLiteral(" ") + headings[2]);
      format->addWidget(label, formatRow, 0);
      format->addWidget(*f.command, formatRow, 1);
      format->addWidget(*f.address, formatRow, 2);
      format->addWidget(*f.length, formatRow, 3);
      ++formatRow;
    }
    parsing.formatSet =
        MakeSetButton(parsing.formatGroup, "Button12", parsing.formatGroup->title());
    format->addWidget(parsing.formatSet, formatRow, 3, Qt::AlignRight);
    format->setColumnStretch(4, 1);
  }

  // ---- MODBUS read test ---------------------------------------------------
  modbusTest.group = MakeGroup(page, "GroupBox19", QStringLiteral("Modbus Communication Test"));
  {
    auto* grid = new QGridLayout(modbusTest.group);
    Tighten(grid);
    modbusTest.slaveAddress = MakeEdit(modbusTest.group, "Edit18", QStringLiteral("001"));
    modbusTest.startAddress = MakeEdit(modbusTest.group, "Edit19", QStringLiteral("00"));
    modbusTest.length = MakeEdit(modbusTest.group, "Edit20", QStringLiteral("10"));
    for (QLineEdit* edit : {modbusTest.slaveAddress, modbusTest.startAddress, modbusTest.length})
      SizeToChars(edit, 3);
    AddLabelled(grid, 0, 0, QStringLiteral("MODBUS Slave Address:"), modbusTest.slaveAddress);
    AddLabelled(grid, 0, 3, QStringLiteral("MODBUS Start Address:"), modbusTest.startAddress);
    AddLabelled(grid, 1, 0, QStringLiteral("Read Data Length:"), modbusTest.length);
    modbusTest.send = MakeButton(modbusTest.group, "Button4", QStringLiteral("MODBUS Comm Test"));
    grid->addWidget(modbusTest.send, 1, 3, 1, 2, Qt::AlignRight);
    grid->setColumnMinimumWidth(2, 2 * kSpacing);  // air between the two pairs
  }

  // ---- IEEE 754 calculator -----------------------------------------------
  calculator.group = MakeGroup(page, "GroupBox12", QStringLiteral("IEE754 Calculation"));
  {
    auto* grid = new QGridLayout(calculator.group);
    Tighten(grid);
    calculator.hexInput = MakeEdit(calculator.group, "Edit7");
    SizeToChars(calculator.hexInput, 14);
    AddLabelled(grid, 0, 0, QStringLiteral("Data Format HEX(FF FF FF FF):"), calculator.hexInput);
    calculator.calculate = MakeButton(calculator.group, "Button13", QStringLiteral("Calculation"));
    grid->addWidget(calculator.calculate, 0, 2);
    calculator.value = MakeEdit(calculator.group, "Edit22");
    SizeToChars(calculator.value, 14);
    grid->addWidget(CaptionFor(calculator.group, QStringLiteral("Value:"), calculator.value), 1, 0,
                    Qt::AlignRight);
    grid->addWidget(calculator.value, 1, 1);
  }

  // ---- page ----------------------------------------------------------------
  // The mapping and the custom parsing of the same meter side by side, the
  // two tools along the bottom.
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
}

}  // namespace kv770::ui
