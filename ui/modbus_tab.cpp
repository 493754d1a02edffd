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

void TForm1::BuildModbusTab(QWidget* page) {
  // Widgets are created in reading order, which is also the tab order. The
  // meter's mapping and the query button fill the left column, the custom
  // HART parsing of that meter the right one; the two stand-alone tools run
  // along the bottom.

  Button31 = MakeButton(page, "Button31", QStringLiteral("MODBUS_RTU parameters"));

  // ---- mapping of one meter ----------------------------------------------
  GroupBox3 = MakeGroup(page, "GroupBox3");
  ComboBox41 = MakeCombo(GroupBox3, "ComboBox41", Numbers(1, 8), 0);
  ComboBox6 =
      MakeCombo(GroupBox3, "ComboBox6", {QStringLiteral("Close"), QStringLiteral("Open")}, -1);
  ComboBox16 =
      MakeCombo(GroupBox3, "ComboBox16",
                {QStringLiteral("Secondary Master Device"), QStringLiteral("Master Device")}, 0);
  ComboBox17 = MakeCombo(GroupBox3, "ComboBox17", kInstrumentTypes, 0);
  ComboBox17->setMaxVisibleItems(16);
  ComboBox34 = MakeCombo(GroupBox3, "ComboBox34", Numbers(4, 9), -1);
  Edit1 = MakeEdit(GroupBox3, "Edit1");
  SizeToChars(Edit1, 3);
  Button10 = MakeSetButton(GroupBox3, "Button10", QStringLiteral("polling set-up"));

  auto* setup = new QGridLayout;
  setup->setContentsMargins(0, 0, 0, 0);
  setup->setHorizontalSpacing(kSpacing + 2);
  setup->setVerticalSpacing(kSpacing);
  AddLabelled(setup, 0, 0, QStringLiteral("Meter ID:"), ComboBox41);
  AddLabelled(setup, 0, 2, QStringLiteral("Enable:"), ComboBox6);
  AddLabelled(setup, 1, 0, QStringLiteral("Device Mode:"), ComboBox16);
  AddLabelled(setup, 1, 2, QStringLiteral("Instrument Type:"), ComboBox17);
  AddLabelled(setup, 2, 0, QStringLiteral("Preamble Length:"), ComboBox34);
  setup->addWidget(CaptionFor(GroupBox3, QStringLiteral("Buffer Clear Time:"), Edit1), 2, 2);
  {
    auto* clearTime = new QHBoxLayout;
    clearTime->setSpacing(kSpacing);
    clearTime->addWidget(Edit1);
    clearTime->addWidget(MakeLabel(GroupBox3, QStringLiteral("S")));
    clearTime->addStretch(1);
    clearTime->addWidget(Button10);
    setup->addLayout(clearTime, 2, 3);
  }
  for (QWidget* input : {static_cast<QWidget*>(ComboBox41), static_cast<QWidget*>(ComboBox6),
                         static_cast<QWidget*>(ComboBox34)})
    KeepLeft(setup, input);

  // Registers of the meter: one row per 32-bit value with its byte order,
  // and the coefficient of each variable beside it.
  Label68 = MakeLabel(GroupBox3, QStringLiteral("Current"), "Label68");
  Label19 = MakeLabel(GroupBox3, QStringLiteral("40001:"), "Label19");
  FAMOUT1 = MakeCombo(GroupBox3, "FAMOUT1", kFloatOrders, 0);
  NameForScreenReaders(FAMOUT1, QStringLiteral("Current 40001:"));

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
      {"Label24", "40003:", "FAMOUT3", "XISHU1", &Label24, &FAMOUT3, &XISHU1},
      {"Label27", "40005:", "FAMOUT5", "XISHU2", &Label27, &FAMOUT5, &XISHU2},
      {"Label28", "40007:", "FAMOUT7", "XISHU3", &Label28, &FAMOUT7, &XISHU3},
      {"Label29", "40009:", "FAMOUT9", "XISHU4", &Label29, &FAMOUT9, &XISHU4},
  };

  auto* registers = new QGridLayout;
  registers->setContentsMargins(0, 0, 0, 0);
  registers->setHorizontalSpacing(kSpacing + 2);
  registers->setVerticalSpacing(kSpacing);
  registers->addWidget(Label68, 0, 0);
  registers->addWidget(Label19, 0, 1);
  registers->addWidget(FAMOUT1, 0, 2);
  int row = 1;
  for (const VariableRow& v : variables) {
    const QString name = QStringLiteral("Variable_%1(RTU_ADR)").arg(row);
    *v.label = MakeLabel(GroupBox3, QString::fromLatin1(v.address), v.labelName);
    *v.order = MakeCombo(GroupBox3, v.orderName, kVariableOrders, 0);
    NameForScreenReaders(*v.order, name + QLatin1Char(' ') + QString::fromLatin1(v.address));
    registers->addWidget(MakeLabel(GroupBox3, name), row, 0);
    registers->addWidget(*v.label, row, 1);
    registers->addWidget(*v.order, row, 2);
    ++row;
  }
  Button21 = MakeSetButton(GroupBox3, "Button21", QStringLiteral("byte orders"));
  registers->addWidget(Button21, row, 2, Qt::AlignRight);

  row = 1;
  for (const VariableRow& v : variables) {
    *v.coefficient = MakeEdit(GroupBox3, v.coefficientName, QStringLiteral("1.000"));
    SizeToChars(*v.coefficient, 5);
    AddLabelled(registers, row, 3, QStringLiteral("Variable %1 Coefficient").arg(row),
                *v.coefficient);
    ++row;
  }
  Button15 = MakeSetButton(GroupBox3, "Button15", QStringLiteral("coefficients"));
  registers->addWidget(Button15, row, 3, 1, 2, Qt::AlignRight);

  Button5 = MakeButton(GroupBox3, "Button5", QStringLiteral("Channel Test"));
  registers->addWidget(Button5, row, 0, 1, 2, Qt::AlignLeft);

  {
    auto* column = new QVBoxLayout(GroupBox3);
    column->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
    column->setSpacing(kSpacing + 4);
    column->addLayout(setup);
    column->addLayout(registers);
  }

  // ---- custom HART command parsing ---------------------------------------
  GroupBox13 = MakeGroup(page, "GroupBox13", QStringLiteral("Custom HART Command Parsing"));
  auto* parsing = new QGridLayout(GroupBox13);
  Tighten(parsing);
  struct ReadCommandRow {
    const char* enableName;
    const char* bytesName;
    const char* buttonName;
    QComboBox** enable;
    QLineEdit** bytes;
    QPushButton** button;
  };
  const ReadCommandRow readCommands[] = {
      {"ComboBox28", "Edit4", "Button17", &ComboBox28, &Edit4, &Button17},
      {"ComboBox29", "Edit5", "Button18", &ComboBox29, &Edit5, &Button18},
  };
  row = 0;
  for (const ReadCommandRow& r : readCommands) {
    const QString caption = QStringLiteral("Read Meter Command %1:").arg(row + 1);
    *r.enable = MakeCombo(GroupBox13, r.enableName, kOpenClose, -1);
    NameForScreenReaders(*r.enable, caption + QStringLiteral(" Enable"));
    *r.bytes = MakeEdit(GroupBox13, r.bytesName);
    *r.button = MakeSetButton(GroupBox13, r.buttonName, caption);
    auto* label = MakeLabel(GroupBox13, caption);
    label->setBuddy(*r.bytes);
    NameForScreenReaders(*r.bytes, caption);
    parsing->addWidget(label, row, 0);
    parsing->addWidget(*r.enable, row, 1);
    parsing->addWidget(*r.bytes, row, 2);
    parsing->addWidget(*r.button, row, 3);
    ++row;
  }
  parsing->setColumnStretch(2, 1);

  GroupBox16 = MakeGroup(GroupBox13, "GroupBox16", QStringLiteral("Custom Data Parsing Format"));
  parsing->addWidget(GroupBox16, row, 0, 1, 4);
  parsing->setRowStretch(row + 1, 1);
  {
    auto* format = new QGridLayout(GroupBox16);
    Tighten(format);
    ComboBox15 = MakeCombo(GroupBox16, "ComboBox15", Numbers(3, 9), 5);
    {
      // Its own row, so that the longer caption does not widen the column
      // of the variable names.
      auto* bits = new QHBoxLayout;
      bits->setSpacing(kSpacing + 2);
      bits->addWidget(CaptionFor(GroupBox16, QStringLiteral("Address Bits:"), ComboBox15));
      bits->addWidget(ComboBox15);
      bits->addStretch(1);
      format->addLayout(bits, 0, 0, 1, 4);
    }

    const QString headings[] = {QStringLiteral("Command Number"), QStringLiteral("Star_Adr"),
                                QStringLiteral("Data Length")};
    for (int col = 0; col < 3; ++col)
      format->addWidget(MakeLabel(GroupBox16, headings[col]), 1, col + 1);

    struct FormatRow {
      const char* commandName;
      const char* addressName;
      const char* lengthName;
      QComboBox** command;
      QLineEdit** address;
      QComboBox** length;
    };
    const FormatRow formats[] = {
        {"RADCOM1", "READADR1", "READLG1", &RADCOM1, &READADR1, &READLG1},
        {"RADCOM3", "READADR3", "READLG3", &RADCOM3, &READADR3, &READLG3},
        {"RADCOM5", "READADR5", "READLG5", &RADCOM5, &READADR5, &READLG5},
        {"RADCOM7", "READADR7", "READLG7", &RADCOM7, &READADR7, &READLG7},
    };
    int formatRow = 2;
    for (const FormatRow& f : formats) {
      const QString name = QStringLiteral("Variable_%1:").arg(formatRow - 1);
      *f.command = MakeCombo(GroupBox16, f.commandName, kCommandNumbers, -1);
      *f.address = MakeEdit(GroupBox16, f.addressName);
      SizeToChars(*f.address, 3);
      *f.length = MakeCombo(GroupBox16, f.lengthName, kDataLengths, -1);
      auto* label = MakeLabel(GroupBox16, name);
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
    Button12 = MakeSetButton(GroupBox16, "Button12", GroupBox16->title());
    format->addWidget(Button12, formatRow, 3, Qt::AlignRight);
    format->setColumnStretch(4, 1);
  }

  // ---- MODBUS read test ---------------------------------------------------
  GroupBox19 = MakeGroup(page, "GroupBox19", QStringLiteral("Modbus Communication Test"));
  {
    auto* grid = new QGridLayout(GroupBox19);
    Tighten(grid);
    Edit18 = MakeEdit(GroupBox19, "Edit18", QStringLiteral("001"));
    Edit19 = MakeEdit(GroupBox19, "Edit19", QStringLiteral("00"));
    Edit20 = MakeEdit(GroupBox19, "Edit20", QStringLiteral("10"));
    for (QLineEdit* edit : {Edit18, Edit19, Edit20}) SizeToChars(edit, 3);
    AddLabelled(grid, 0, 0, QStringLiteral("MODBUS Slave Address:"), Edit18);
    AddLabelled(grid, 0, 3, QStringLiteral("MODBUS Start Address:"), Edit19);
    AddLabelled(grid, 1, 0, QStringLiteral("Read Data Length:"), Edit20);
    Button4 = MakeButton(GroupBox19, "Button4", QStringLiteral("MODBUS Comm Test"));
    grid->addWidget(Button4, 1, 3, 1, 2, Qt::AlignRight);
    grid->setColumnMinimumWidth(2, 2 * kSpacing);  // air between the two pairs
  }

  // ---- IEEE 754 calculator -----------------------------------------------
  GroupBox12 = MakeGroup(page, "GroupBox12", QStringLiteral("IEE754 Calculation"));
  {
    auto* grid = new QGridLayout(GroupBox12);
    Tighten(grid);
    Edit7 = MakeEdit(GroupBox12, "Edit7");
    SizeToChars(Edit7, 14);
    AddLabelled(grid, 0, 0, QStringLiteral("Data Format HEX(FF FF FF FF):"), Edit7);
    Button13 = MakeButton(GroupBox12, "Button13", QStringLiteral("Calculation"));
    grid->addWidget(Button13, 0, 2);
    Edit22 = MakeEdit(GroupBox12, "Edit22");
    SizeToChars(Edit22, 14);
    grid->addWidget(CaptionFor(GroupBox12, QStringLiteral("Value:"), Edit22), 1, 0, Qt::AlignRight);
    grid->addWidget(Edit22, 1, 1);
  }

  // ---- page ----------------------------------------------------------------
  // The mapping and the custom parsing of the same meter side by side, the
  // two tools along the bottom.
  auto* mapping = new QVBoxLayout;
  mapping->setSpacing(kSpacing + 2);
  mapping->addWidget(Button31, 0, Qt::AlignLeft);
  mapping->addWidget(GroupBox3);
  mapping->addStretch(1);

  auto* tools = new QHBoxLayout;
  tools->setSpacing(kSpacing + 4);
  tools->addWidget(GroupBox19);
  tools->addWidget(GroupBox12);
  tools->addStretch(1);

  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
  grid->setSpacing(kSpacing + 2);
  grid->addLayout(mapping, 0, 0);
  grid->addWidget(GroupBox13, 0, 1);
  grid->addLayout(tools, 1, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);
}

}  // namespace kv770::ui
