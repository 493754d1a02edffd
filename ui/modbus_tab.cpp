// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/modbus_tab.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/config.h"
#include "gateway/fields.h"
#include "gateway/hex_bytes.h"
#include "gateway/reports.h"
#include "tools/register_values.h"
#include "ui/fields.h"
#include "ui/language.h"
#include "ui/modbus_tools.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

// The gateway sends the instrument type as the two-digit list position, so
// the order of this list is part of the protocol. The two kinds of meter
// are words; the rest are makers' model names, the same in any language.
const QStringList kModels = {
    QStringLiteral("2)KROHEN_HIFC070"), QStringLiteral("3)KROHEN_IFC300"),
    QStringLiteral("4)KROEN_IFC090"),   QStringLiteral("5)Siemens_MG500"),
    QStringLiteral("6)Siemens_FUS010"), QStringLiteral("7)Siemens_MASS600"),
    QStringLiteral("8)ABB_FIX100"),     QStringLiteral("9)ABB_FMT200"),
    QStringLiteral("10)MP3"),           QStringLiteral("11)HT56"),
    QStringLiteral("12)F56"),           QStringLiteral("13)3051AMV")};
QStringList InstrumentTypes() {
  return QStringList{ModbusTab::tr("0)Custom_Meter"), ModbusTab::tr("1)Currency_Meter")} + kModels;
}

// Byte orders of a register pair; the current (40001) is always a float, so
// it is offered only the first two codes.
const QStringList kFloatOrders = {QStringLiteral("0 IEE754 (FF4 FF3 FF2 FF1)"),
                                  QStringLiteral("1 IEE754 (FF2 FF1 FF4 FF3)")};
const QStringList kVariableOrders =
    kFloatOrders + QStringList{QStringLiteral("2 Uint32 (FF4 FF3 FF2 FF1)"),
                               QStringLiteral("3 Uint32 (FF2 FF1 FF4 FF3)")};

// Entries that begin with the code the gateway takes, then a word.
QStringList OpenClose() {
  return {ModbusTab::tr("0 close"), ModbusTab::tr("1 open")};
}
QStringList CommandNumbers() {
  return {ModbusTab::tr("0 Not analytic"), ModbusTab::tr("1 Command 1"),
          ModbusTab::tr("2 Command 2")};
}
QStringList DataLengths() {
  return {ModbusTab::tr("4 byte"), ModbusTab::tr("8 byte")};
}

QStringList Numbers(int first, int last) {
  QStringList items;
  for (int n = first; n <= last; ++n) items << QString::number(n);
  return items;
}

// Typed byte lists are read one character per byte; a character beyond
// Latin-1 becomes '?', which is no digit either.
std::string TypedText(const QLineEdit* edit) {
  return edit->text().toLatin1().toStdString();
}

// A count whose list starts at `first`: its value, or kUnset with nothing
// chosen.
int FromPosition(const QComboBox* list, int first) {
  const int position = list->currentIndex();
  return position < 0 ? gateway::kUnset : first + position;
}

bool AllowedInCoefficient(QChar c) {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
         c == QLatin1Char('-');
}

constexpr int kSpacing = kTightSpacing;
constexpr int kGroupMargin = kTightMargin;

// Six "Set" buttons share this tab; a style's wide default button would cost
// the custom command fields their room. The description tells a screen
// reader which one is which.
QPushButton* MakeSetButton(QWidget* parent, const char* name, const QString& sets) {
  auto* button = MakeButton(parent, name, ModbusTab::tr("Set"));
  const QFontMetrics metrics(button->font());
  button->setFixedWidth(metrics.horizontalAdvance(button->text()) + 3 * metrics.height());
  button->setAccessibleDescription(sets);
  return button;
}

// Keeps a short input at its own width at the left of a wider grid cell.
void KeepLeft(QGridLayout* grid, QWidget* input) {
  grid->setAlignment(input, Qt::AlignLeft | Qt::AlignVCenter);
}

// ---- mapping of one meter ----------------------------------------------

QGridLayout* BuildMeterSetup(MappingControls& c) {
  c.meter = MakeCombo(c.group, "ComboBox41", Numbers(1, 8), 0);
  c.enable = MakeCombo(c.group, "ComboBox6", {ModbusTab::tr("Close"), ModbusTab::tr("Open")}, -1);
  c.deviceMode =
      MakeCombo(c.group, "ComboBox16",
                {ModbusTab::tr("Secondary Master Device"), ModbusTab::tr("Master Device")}, 0);
  c.instrumentType = MakeCombo(c.group, "ComboBox17", InstrumentTypes(), 0);
  c.instrumentType->setMaxVisibleItems(16);
  c.preambleLength =
      MakeCombo(c.group, "ComboBox34", Numbers(gateway::kMinPreambles, gateway::kMaxPreambles), -1);
  c.bufferClearTime = MakeEdit(c.group, "Edit1");
  SizeToChars(c.bufferClearTime, 3);
  c.setupSet = MakeSetButton(c.group, "Button10", ModbusTab::tr("polling set-up"));

  auto* setup = new QGridLayout;
  setup->setContentsMargins(0, 0, 0, 0);
  setup->setHorizontalSpacing(kSpacing + 2);
  setup->setVerticalSpacing(kSpacing);
  AddLabelled(setup, 0, 0, ModbusTab::tr("Meter ID:"), c.meter);
  AddLabelled(setup, 0, 2, ModbusTab::tr("Enable:"), c.enable);
  AddLabelled(setup, 1, 0, ModbusTab::tr("Device Mode:"), c.deviceMode);
  AddLabelled(setup, 1, 2, ModbusTab::tr("Instrument Type:"), c.instrumentType);
  AddLabelled(setup, 2, 0, ModbusTab::tr("Preamble Length:"), c.preambleLength);
  setup->addWidget(CaptionFor(c.group, ModbusTab::tr("Buffer Clear Time:"), c.bufferClearTime), 2,
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
  c.currentLabel = MakeLabel(c.group, ModbusTab::tr("Current"), "Label68");
  c.registerLabels[0] = MakeLabel(c.group, QStringLiteral("40001:"), "Label19");
  c.byteOrders[0] = MakeCombo(c.group, "FAMOUT1", kFloatOrders, 0);
  // Named without the register address or the row caption beside them:
  // both change as reports and time-outs arrive.
  NameForScreenReaders(c.byteOrders[0], ModbusTab::tr("Current byte order"));

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
    const QString name = ModbusTab::tr("Variable_%1(RTU_ADR)").arg(row);
    c.registerLabels[row] = MakeLabel(c.group, QString::fromLatin1(n.address), n.label);
    c.byteOrders[row] = MakeCombo(c.group, n.order, kVariableOrders, 0);
    NameForScreenReaders(c.byteOrders[row], ModbusTab::tr("%1 byte order").arg(name));
    registers->addWidget(MakeLabel(c.group, name), row, 0);
    registers->addWidget(c.registerLabels[row], row, 1);
    registers->addWidget(c.byteOrders[row], row, 2);
  }
  c.byteOrdersSet = MakeSetButton(c.group, "Button21", ModbusTab::tr("byte orders"));
  registers->addWidget(c.byteOrdersSet, 5, 2, Qt::AlignRight);

  for (int row = 1; row <= 4; ++row) {
    QLineEdit*& coefficient = c.coefficients[row - 1];
    coefficient = MakeEdit(c.group, names[row - 1].coefficient, QStringLiteral("1.000"));
    SizeToChars(coefficient, 5);
    AddLabelled(registers, row, 3, ModbusTab::tr("Variable %1 Coefficient").arg(row), coefficient);
  }
  c.coefficientsSet = MakeSetButton(c.group, "Button15", ModbusTab::tr("coefficients"));
  registers->addWidget(c.coefficientsSet, 5, 3, 1, 2, Qt::AlignRight);

  c.channelTest = MakeButton(c.group, "Button5", ModbusTab::tr("Channel Test"));
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
    const QString caption = ModbusTab::tr("Read Meter Command %1:").arg(row + 1);
    r.enable = MakeCombo(c.group, names[row].enable, OpenClose(), -1);
    NameForScreenReaders(r.enable, ModbusTab::tr("%1 Enable").arg(caption));
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
  c.addressBits = MakeCombo(c.formatGroup, "ComboBox15",
                            Numbers(gateway::kMinAddressBits, gateway::kMaxAddressBits),
                            8 - gateway::kMinAddressBits);
  // Its own row, so that the longer caption does not widen the column of
  // the variable names.
  auto* bits = new QHBoxLayout;
  bits->setSpacing(kSpacing + 2);
  bits->addWidget(CaptionFor(c.formatGroup, ModbusTab::tr("Address Bits:"), c.addressBits));
  bits->addWidget(c.addressBits);
  bits->addStretch(1);
  format->addLayout(bits, 0, 0, 1, 4);

  const QString headings[] = {ModbusTab::tr("Command Number"), ModbusTab::tr("Star_Adr"),
                              ModbusTab::tr("Data Length")};
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
    const QString name = ModbusTab::tr("Variable_%1:").arg(v + 1);
    r.command = MakeCombo(c.formatGroup, names[v].command, CommandNumbers(), -1);
    r.start = MakeEdit(c.formatGroup, names[v].start);
    SizeToChars(r.start, 3);
    r.length = MakeCombo(c.formatGroup, names[v].length, DataLengths(), -1);
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
  c.group = MakeGroup(page, "GroupBox13", ModbusTab::tr("Custom HART Command Parsing"));
  auto* grid = new QGridLayout(c.group);
  Tighten(grid);
  BuildReadCommands(c, grid);
  c.formatGroup = MakeGroup(c.group, "GroupBox16", ModbusTab::tr("Custom Data Parsing Format"));
  grid->addWidget(c.formatGroup, 2, 0, 1, 4);
  grid->setRowStretch(3, 1);
  BuildFormatGroup(c);
}

// Reading order: the mapping's registers row by row (byte order, then the
// coefficient beside it), the left column, then the right one, then the
// tools below.
QList<QWidget*> ModbusTabOrder(const MappingControls& m, const ParsingControls& p) {
  QList<QWidget*> order = {m.mappingQuery,    m.meter,          m.enable,
                           m.deviceMode,      m.instrumentType, m.preambleLength,
                           m.bufferClearTime, m.setupSet,       m.byteOrders[0]};
  for (std::size_t i = 0; i < 4; ++i) order << m.byteOrders[i + 1] << m.coefficients[i];
  order << m.channelTest << m.byteOrdersSet << m.coefficientsSet;
  for (const auto& r : p.readCommands) order << r.enable << r.bytes << r.set;
  order << p.addressBits;
  for (const auto& row : p.rows) order << row.command << row.start << row.length;
  order << p.formatSet;
  return order;
}

}  // namespace

void ModbusTab::Build() {
  // The meter's mapping and the query button fill the left column, the custom
  // HART parsing of that meter the right one; the two stand-alone tools run
  // along the bottom.
  QWidget* page = this;
  mapping_.mappingQuery = MakeButton(page, "Button31", tr("MODBUS_RTU parameters"));
  BuildMappingGroup(mapping_, page);
  BuildParsingGroup(parsing_, page);
  tools_ = new ModbusTools(requests_);
  tools_->setParent(page);

  auto* mappingColumn = new QVBoxLayout;
  mappingColumn->setSpacing(kSpacing + 2);
  mappingColumn->addWidget(mapping_.mappingQuery, 0, Qt::AlignLeft);
  mappingColumn->addWidget(mapping_.group);
  mappingColumn->addStretch(1);

  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(kGroupMargin, kGroupMargin, kGroupMargin, kGroupMargin);
  grid->setSpacing(kSpacing + 2);
  grid->addLayout(mappingColumn, 0, 0);
  grid->addWidget(parsing_.group, 0, 1);
  grid->addWidget(tools_, 1, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);

  const QList<QWidget*> order = ModbusTabOrder(mapping_, parsing_);
  ChainTabOrder(order);
  tools_->ChainAfter(order.last());
}

ModbusTab::ModbusTab(Requests& requests) : Tab(requests) {
  Build();
  ConnectHandlers();
  StartUp();
}

void ModbusTab::ConnectHandlers() {
  On(mapping_.setupSet, &QPushButton::clicked, &ModbusTab::onPollingSetupSetClicked);
  On(mapping_.byteOrdersSet, &QPushButton::clicked, &ModbusTab::onByteOrdersSetClicked);
  On(mapping_.coefficientsSet, &QPushButton::clicked, &ModbusTab::onCoefficientsSetClicked);
  On(mapping_.meter, &QComboBox::activated, &ModbusTab::onMeterChosen);
  On(mapping_.mappingQuery, &QPushButton::clicked, &ModbusTab::onMappingQueryClicked);
  On(parsing_.readCommands[0].set, &QPushButton::clicked, &ModbusTab::onReadCommand1SetClicked);
  On(parsing_.readCommands[1].set, &QPushButton::clicked, &ModbusTab::onReadCommand2SetClicked);
  On(parsing_.formatSet, &QPushButton::clicked, &ModbusTab::onParsingFormatSetClicked);
  On(mapping_.channelTest, &QPushButton::clicked, &ModbusTab::onChannelTestClicked);
  On(mapping_.instrumentType, &QComboBox::activated, &ModbusTab::onInstrumentTypeChosen);
  for (QLineEdit* box : mapping_.coefficients) {
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

void ModbusTab::StartUp() {
  mapping_.bufferClearTime->clear();
  mapping_.enable->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing_.rows) row.command->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing_.rows) row.length->setCurrentIndex(-1);
  for (QComboBox* combo : mapping_.byteOrders) combo->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing_.rows) row.start->clear();
  for (const ParsingControls::ReadCommand& command : parsing_.readCommands) {
    command.enable->setCurrentIndex(-1);
    command.bytes->clear();
  }
}

bool ModbusTab::Decode(cycle::PendingCode code) {
  if (code != cycle::PendingCode::kMeterMappingQuery) return false;
  DecodeModbusReport();
  return true;
}

void ModbusTab::EnableRequests() {
  for (QPushButton* button :
       {mapping_.byteOrdersSet, mapping_.setupSet, parsing_.readCommands[0].set,
        parsing_.readCommands[1].set, parsing_.formatSet, mapping_.mappingQuery})
    button->setEnabled(true);
}

void ModbusTab::ShowStatus(const QString& text) {
  mapping_.currentLabel->setText(text);
}

void ModbusTab::ChooseMeter(int position) {
  mapping_.meter->setCurrentIndex(position);
  const int k = mapping_.meter->currentIndex();
  if (k < 0 || k > 7) return;
  for (int r = 0; r < 5; ++r)
    mapping_.registerLabels[r]->setText(
        QString::number(tools::kFirstHoldingRegister + tools::FirstRegister(k + 1, r)));
}

void ModbusTab::SetTestSlave(const QString& text) {
  tools_->SetSlave(text);
}

// The common sequence of a set command: staged from offset 8, shown, sent
// by the link choice, a gateway setting with the setting's time-out.
void ModbusTab::SendSetting(const std::string& command) {
  const QByteArray bytes = requests_.Cycle().Stage(Bytes(command));
  requests_.Send(bytes, Text(bytes), cycle::PendingCode::kGatewaySetting,
                 cycle::RequestKind::kSetting);
}

// The coefficient boxes take digits, '.', '-' and Backspace, and at most
// five characters; where the sign and the point stand is the gateway's to
// judge. Keys that type nothing (arrows, Delete, shortcuts) pass.
bool ModbusTab::eventFilter(QObject* watched, QEvent* event) {
  auto* box = qobject_cast<QLineEdit*>(watched);
  const bool coefficient =
      box && std::ranges::find(mapping_.coefficients, box) != mapping_.coefficients.end();
  if (!coefficient || event->type() != QEvent::KeyPress) return Tab::eventFilter(watched, event);

  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->matches(QKeySequence::Paste)) return true;  // would bring text past the filter
  if (key->key() == Qt::Key_Backspace) return false;
  const QString typed = key->text();
  if (typed.isEmpty() || !typed[0].isPrint()) return false;
  for (QChar c : typed)
    if (!AllowedInCoefficient(c)) return true;
  return box->text().size() > 4;
}

// ---- MODBUS mapping of one meter -------------------------------------------------

// The one command of `group` for the chosen meter (meter 0 with none
// chosen), from the settings the controls show.
std::string ModbusTab::MeterCommand(const gateway::MeterSettings& settings,
                                    gateway::MeterGroup group) const {
  const std::vector<gateway::Request> commands =
      gateway::MeterCommands(mapping_.meter->currentIndex() + 1, settings, group);
  // A read-meter command without bytes is none; the typed bytes were checked.
  if (commands.empty()) throw std::out_of_range("1 to 14 command bytes");
  return commands.front().bytes;
}

void ModbusTab::onPollingSetupSetClicked() {
  requests_.ClearAreas();
  gateway::MeterSettings m;
  m.enabled = mapping_.enable->currentIndex();
  m.deviceMode = mapping_.deviceMode->currentIndex();
  m.instrumentType = mapping_.instrumentType->currentIndex();
  m.preambles = FromPosition(mapping_.preambleLength, gateway::kMinPreambles);
  m.bufferClearTime = ThreeDigitValue(mapping_.bufferClearTime);
  SendSetting(MeterCommand(m, gateway::kPollingSetup));
}

void ModbusTab::onByteOrdersSetClicked() {
  gateway::MeterSettings m;
  for (std::size_t i = 0; i < m.byteOrders.size(); ++i)
    m.byteOrders[i] = mapping_.byteOrders[i]->currentIndex();
  SendSetting(MeterCommand(m, gateway::kByteOrders));
}

// The coefficients travel as typed and are not staged; the command sets
// only the request kind, so no time-out is reported for it.
void ModbusTab::onCoefficientsSetClicked() {
  requests_.RefuseWhileLive();
  requests_.ClearAreas();
  gateway::MeterSettings m;
  for (std::size_t i = 0; i < m.coefficients.size(); ++i)
    m.coefficients[i] = mapping_.coefficients[i]->text().toStdString();
  const QByteArray bytes = Bytes(MeterCommand(m, gateway::kCoefficients));
  requests_.ShowSent(Text(bytes));
  requests_.Route(bytes);
  requests_.Cycle().Kind = cycle::RequestKind::kConnection;
}

// Choosing a meter starts its page afresh and, with the serial port open,
// asks the gateway for that meter's report. The query goes to the serial
// port whatever the link choice.
void ModbusTab::onMeterChosen() {
  if (!requests_.SerialOpen()) return;
  requests_.RefuseWhileLive();  // the meter's report would go out beside a poll
  const int position = mapping_.meter->currentIndex();
  const QString i = QString::number(position);
  // "400", the meter's position, the register's last digit: 1, 3, 5, 7, 9.
  for (int r = 0; r < 5; ++r)
    mapping_.registerLabels[r]->setText(QStringLiteral("400") + i + QChar(u'1' + 2 * r));
  tools_->SetRange(i + QLatin1Char('0'), QStringLiteral("10"));

  for (QComboBox* combo :
       {mapping_.enable, mapping_.instrumentType, mapping_.deviceMode, mapping_.preambleLength})
    combo->setCurrentIndex(-1);
  mapping_.bufferClearTime->clear();
  for (QComboBox* combo : mapping_.byteOrders) combo->setCurrentIndex(-1);
  parsing_.group->hide();
  for (const ParsingControls::Row& row : parsing_.rows) {
    row.command->setCurrentIndex(-1);
    row.length->setCurrentIndex(-1);
  }
  for (const ParsingControls::ReadCommand& command : parsing_.readCommands)
    command.enable->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing_.rows) row.start->clear();
  for (const ParsingControls::ReadCommand& command : parsing_.readCommands) command.bytes->clear();
  emit meterChosen();
  requests_.ClearAreas();

  const QByteArray bytes = requests_.Cycle().Stage(Bytes(gateway::ModbusReportQuery(position)));
  requests_.ShowSent(Text(bytes));
  requests_.SendSerial(bytes);
  requests_.Await(cycle::PendingCode::kMeterMappingQuery, cycle::RequestKind::kParameterQuery,
                  waits::kReplyTimeoutMs);
}

void ModbusTab::onMappingQueryClicked() {
  const QByteArray bytes =
      requests_.Cycle().Stage(Bytes(gateway::ModbusReportQuery(mapping_.meter->currentIndex())));
  requests_.Send(bytes, Text(bytes), cycle::PendingCode::kMeterMappingQuery,
                 cycle::RequestKind::kParameterQuery);
}

void ModbusTab::DecodeModbusReport() {
  const gateway::ModbusReport r = gateway::DecodeModbusReport(
      requests_.Cycle().ReplyText.toStdString(), mapping_.instrumentType->currentIndex());
  Select(mapping_.enable, r.enable);
  Select(mapping_.deviceMode, r.deviceMode);
  Select(mapping_.instrumentType, r.instrumentType);  // by program: no instrument presets
  Select(mapping_.preambleLength, r.preamblePosition);
  Fill(mapping_.bufferClearTime, r.bufferClearTime);

  for (std::size_t i = 0; i < r.byteOrders.size(); ++i)
    Select(mapping_.byteOrders[i], r.byteOrders[i]);
  for (std::size_t i = 0; i < r.coefficients.size(); ++i)
    Fill(mapping_.coefficients[i], r.coefficients[i]);

  // Only a custom meter shows how its HART replies are parsed.
  if (r.custom) parsing_.group->setVisible(*r.custom);
  Select(parsing_.addressBits, r.addressBitsPosition);
  for (std::size_t i = 0; i < r.variables.size(); ++i) {
    Select(parsing_.rows[i].command, r.variables[i].command);
    Fill(parsing_.rows[i].start, r.variables[i].start);
    Select(parsing_.rows[i].length, r.variables[i].length);
  }
  if (r.workingMode) emit workingModeReported(*r.workingMode);
  for (std::size_t i = 0; i < parsing_.readCommands.size(); ++i) {
    Select(parsing_.readCommands[i].enable, r.readCommands[i].enable);
    Fill(parsing_.readCommands[i].bytes, r.readCommands[i].text);
  }

  RaiseBadNumber(r.badNumber);
}

// ---- custom meter ------------------------------------------------------------

void ModbusTab::SendReadMeterCommand(int command, const QLineEdit* bytes, const QComboBox* enable) {
  requests_.ClearAreas();
  const gateway::HexBytes typed =
      gateway::ParseHexBytes(TypedText(bytes), gateway::kReadMeterCommandLimit);
  if (!typed.ok()) {
    requests_.Messages().Show(LayerText(QString::fromLatin1(typed.error)));
    return;
  }
  gateway::MeterSettings m;
  m.custom.emplace();
  m.custom->readCommands[static_cast<std::size_t>(command - 1)] = {enable->currentIndex(),
                                                                   typed.bytes};
  const QByteArray staged = requests_.Cycle().Stage(
      Bytes(MeterCommand(m, command == 1 ? gateway::kReadCommand1 : gateway::kReadCommand2)));
  // The command carries raw bytes, so it is shown as digit pairs throughout.
  requests_.Send(staged, QString::fromStdString(base::HexText(staged, cycle::kAreaHex)),
                 cycle::PendingCode::kGatewaySetting, cycle::RequestKind::kSetting);
}

void ModbusTab::onReadCommand1SetClicked() {
  SendReadMeterCommand(1, parsing_.readCommands[0].bytes, parsing_.readCommands[0].enable);
}

void ModbusTab::onReadCommand2SetClicked() {
  SendReadMeterCommand(2, parsing_.readCommands[1].bytes, parsing_.readCommands[1].enable);
}

void ModbusTab::onParsingFormatSetClicked() {
  requests_.ClearAreas();
  gateway::MeterSettings m;
  gateway::CustomParsing& custom = m.custom.emplace();
  custom.addressBits = FromPosition(parsing_.addressBits, gateway::kMinAddressBits);
  for (std::size_t v = 0; v < custom.variables.size(); ++v) {
    const ParsingControls::Row& row = parsing_.rows[v];
    gateway::VariableParsing& variable = custom.variables[v];
    variable.command = row.command->currentIndex();
    // Two digits carry 0 to 99; a larger start would put another character
    // into the command.
    variable.start = cycle::StrToIntInRange(row.start->text(), 0, gateway::kTwoDigitMax);
    // "4 byte", "8 byte".
    const int length = row.length->currentIndex();
    variable.length = length < 0 ? gateway::kUnset : 4 << length;
  }
  SendSetting(MeterCommand(m, gateway::kParsingFormat));
}

void ModbusTab::onChannelTestClicked() {
  SendSetting(gateway::ChannelTestCommand(mapping_.meter->currentIndex()));
}

void ModbusTab::onInstrumentTypeChosen() {
  if (mapping_.instrumentType->currentIndex() != 0) {
    parsing_.group->hide();
    return;
  }
  parsing_.group->show();
  for (const ParsingControls::ReadCommand& command : parsing_.readCommands) command.bytes->clear();
  for (const ParsingControls::Row& row : parsing_.rows) row.start->clear();
  for (const ParsingControls::Row& row : parsing_.rows) row.command->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing_.rows) row.length->setCurrentIndex(-1);
  for (const ParsingControls::ReadCommand& command : parsing_.readCommands)
    command.enable->setCurrentIndex(-1);
  parsing_.addressBits->setCurrentIndex(-1);
}

}  // namespace kv770::ui
