// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/transparent_tab.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/hex_bytes.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "tools/float_text.h"
#include "ui/fields.h"
#include "ui/language.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

QByteArray FrameBytes(const hart::Bytes& frame) {
  return QByteArray(reinterpret_cast<const char*>(frame.data()),
                    static_cast<qsizetype>(frame.size()));
}

// Typed byte lists are read one character per byte; a character beyond
// Latin-1 becomes '?', which is no digit either.
std::string TypedText(const QLineEdit* edit) {
  return edit->text().toLatin1().toStdString();
}

void Clear(std::initializer_list<QLineEdit*> edits) {
  for (QLineEdit* e : edits) e->clear();
}

// The engineering-unit list as unit box `box` shows it: the dynamic-variable
// decoder selects an entry by its position.
QStringList UnitList(int box) {
  QStringList list;
  list.reserve(hart::kUnitCount);
  for (int i = 0; i < hart::kUnitCount; ++i) {
    const std::string_view text = hart::UnitText(i, box);
    list << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  }
  return list;
}

// Settings of the frames this window builds, and the gateway's HART address.
QGridLayout* BuildFrameSettings(HartControls& c) {
  auto* top = new QGridLayout;
  c.preambleLength = MakeEdit(c.group, "Edit9", QStringLiteral("6"));
  AddLabelled(top, 0, 0, TransparentTab::tr("Preamble Length:"), c.preambleLength);
  // No address is selected until the user picks one (the "Set" command then
  // carries '0'), yet the box reads "1" like the form always showed it.
  c.hartAddress = MakeCombo(
      c.group, "ComboBox30",
      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
       QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
      -1);
  c.hartAddress->setPlaceholderText(QStringLiteral("1"));
  QPalette plainPlaceholder = c.hartAddress->palette();
  plainPlaceholder.setColor(QPalette::PlaceholderText,
                            plainPlaceholder.color(QPalette::ButtonText));
  c.hartAddress->setPalette(plainPlaceholder);
  AddLabelled(top, 0, 2, TransparentTab::tr("HART Address:"), c.hartAddress);
  c.commandMode = MakeCombo(
      c.group, "ComboBox42",
      {TransparentTab::tr("Master Mode"), TransparentTab::tr("Secondary Master Mode")}, 0);
  AddLabelled(top, 0, 4, TransparentTab::tr("HART Command Mode:"), c.commandMode);
  c.addressSet = MakeButton(c.group, "Button3", TransparentTab::tr("Set"));
  top->addWidget(c.addressSet, 0, 6);
  top->setColumnStretch(7, 1);
  top->setHorizontalSpacing(10);
  return top;
}

void BuildIdentityGroup(HartControls& c) {
  c.identityGroup =
      MakeGroup(c.group, "GroupBox8", TransparentTab::tr("HART Device Basic Parameters"));
  auto* identity = new QGridLayout(c.identityGroup);
  c.manufacturerId = MakeEdit(c.identityGroup, "Edit28");
  AddLabelled(identity, 0, 0, TransparentTab::tr("Manufacturing ID:"), c.manufacturerId);
  c.sensorType = MakeEdit(c.identityGroup, "Edit29");
  AddLabelled(identity, 1, 0, TransparentTab::tr("Sensor type:"), c.sensorType);
  c.preambleCount = MakeEdit(c.identityGroup, "Edit31");
  AddLabelled(identity, 2, 0, TransparentTab::tr("Preamble Byte Count:"), c.preambleCount);
  c.sensorSerial = MakeEdit(c.identityGroup, "Edit32");
  AddLabelled(identity, 3, 0, TransparentTab::tr("Sensor Serial Number:"), c.sensorSerial);
  c.identityQuery =
      MakeButton(c.identityGroup, "Button7", TransparentTab::tr("HART Device Parameter Query"));
  identity->addWidget(c.identityQuery, 4, 0, 1, 2, Qt::AlignHCenter);
}

void BuildVariablesGroup(HartControls& c) {
  c.variablesGroup =
      MakeGroup(c.group, "GroupBox10", TransparentTab::tr("Universal HART Real-Time Data"));
  auto* dynamic = new QGridLayout(c.variablesGroup);
  struct Names {
    const char* value;
    const char* unit;
  };
  const Names names[] = {{"Edit25", "ComboBox3"},
                         {"Edit26", "ComboBox31"},
                         {"Edit27", "ComboBox32"},
                         {"Edit30", "ComboBox33"}};
  for (int r = 0; r < 4; ++r) {
    HartControls::Variable& v = c.variables[r];
    const QString caption = TransparentTab::tr("Current_Variable_%1:").arg(r + 1);
    v.value = MakeEdit(c.variablesGroup, names[r].value);
    AddLabelled(dynamic, r, 0, caption, v.value);
    v.unit = MakeCombo(c.variablesGroup, names[r].unit, UnitList(r), -1);
    AddLabelled(dynamic, r, 2, TransparentTab::tr("Unit:"), v.unit);
    // Four boxes share the label "Unit:"; tell them apart by their variable.
    NameForScreenReaders(v.unit, TransparentTab::tr("Current_Variable_%1 Unit:").arg(r + 1));
  }
  c.variablesQuery =
      MakeButton(c.variablesGroup, "Button16", TransparentTab::tr("HART Command Query"));
  dynamic->addWidget(c.variablesQuery, 4, 0, 1, 4, Qt::AlignHCenter);
  dynamic->setColumnStretch(1, 1);
  dynamic->setColumnStretch(3, 1);
}

// A free HART request from its delimiter on; preamble and check byte are
// added when it is sent.
void BuildManualGroup(HartControls& c, QWidget* page) {
  c.manualGroup = MakeGroup(page, "GroupBox20");
  auto* manual = new QGridLayout(c.manualGroup);
  c.manualCommand = MakeEdit(c.manualGroup, "Edit10");
  AddLabelled(manual, 0, 0, TransparentTab::tr("Manual HART Command:"), c.manualCommand);
  c.checksumNote =
      MakeLabel(c.manualGroup, TransparentTab::tr("(Auto Generated checksum)"), "Label62");
  manual->addWidget(c.checksumNote, 0, 2);
  c.manualSend = MakeButton(c.manualGroup, "Button20", TransparentTab::tr("send"));
  manual->addWidget(c.manualSend, 0, 3);
  manual->setColumnStretch(1, 1);
}

}  // namespace

void TransparentTab::Build() {
  QWidget* page = this;
  auto* pageLayout = new QVBoxLayout(page);

  c_.group = MakeGroup(page, "GroupBox5");
  auto* hartBox = new QVBoxLayout(c_.group);
  hartBox->addLayout(BuildFrameSettings(c_));

  auto* results = new QHBoxLayout;
  BuildIdentityGroup(c_);
  results->addWidget(c_.identityGroup, 2);
  BuildVariablesGroup(c_);
  results->addWidget(c_.variablesGroup, 3);
  hartBox->addLayout(results);
  pageLayout->addWidget(c_.group);

  BuildManualGroup(c_, page);
  pageLayout->addWidget(c_.manualGroup);
  pageLayout->addStretch(1);

  // The frame settings, then the identity on the left before the variables
  // on the right, then the typed request.
  const HartControls& c = c_;
  ChainTabOrder(
      {c.preambleLength,    c.hartAddress,        c.commandMode,       c.addressSet,
       c.manufacturerId,    c.sensorType,         c.preambleCount,     c.sensorSerial,
       c.identityQuery,     c.variables[0].value, c.variables[0].unit, c.variables[1].value,
       c.variables[1].unit, c.variables[2].value, c.variables[2].unit, c.variables[3].value,
       c.variables[3].unit, c.variablesQuery,     c.manualCommand,     c.manualSend});
}


TransparentTab::TransparentTab(Requests& requests) : Tab(requests) {
  Build();
  On(c_.addressSet, &QPushButton::clicked, &TransparentTab::onHartAddressSetClicked);
  connect(c_.hartAddress, &QComboBox::activated, this, &TransparentTab::hartAddressChosen);
  On(c_.identityQuery, &QPushButton::clicked, &TransparentTab::onIdentityQueryClicked);
  On(c_.variablesQuery, &QPushButton::clicked, &TransparentTab::onVariablesQueryClicked);
  On(c_.manualSend, &QPushButton::clicked, &TransparentTab::onManualSendClicked);
}

bool TransparentTab::Decode(cycle::PendingCode code) {
  if (code == cycle::PendingCode::kHartIdentityQuery)
    DecodeHartIdentity();
  else if (code == cycle::PendingCode::kHartVariablesQuery)
    DecodeHartVariables();
  else
    return false;
  return true;
}

void TransparentTab::EnableRequests() {
  c_.variablesQuery->setEnabled(true);
  c_.identityQuery->setEnabled(true);
}

// ---- the frame step ----------------------------------------------------------

// Preamble, body and check byte into the request area, shown as digit
// pairs and sent; timeoutTimer keeps its interval. A preamble number that would
// not leave room for the longest frame is refused before anything is built.
void TransparentTab::SendHartFrame(const hart::Bytes& body, cycle::PendingCode code) {
  const int n = cycle::StrToIntInRange(c_.preambleLength->text(), hart::kMinPreambleNumber,
                                       hart::kMaxPreambleNumber);
  const QByteArray frame = requests_.Cycle().Stage(FrameBytes(hart::Frame(n, body)));
  requests_.Send(frame, QString::fromStdString(base::HexText(frame, cycle::kAreaHex)), code,
              cycle::RequestKind::kSetting, 0);
}

// The bytes the last receive put into the reply area; what lies beyond
// them is left over from earlier replies.
std::span<const std::uint8_t> TransparentTab::HartReplyBytes() {
  const cycle::RequestCycle& exchange = requests_.Cycle();
  const int received =
      std::min(static_cast<int>(exchange.ReplyText.size()), cycle::RequestCycle::kReplyAreaSize);
  return std::span(exchange.ExchangeBuffer).subspan(cycle::RequestCycle::kReplyArea, received);
}

// ---- top row -----------------------------------------------------------------

void TransparentTab::onHartAddressSetClicked() {
  const QByteArray bytes =
      requests_.Cycle().Stage(Bytes(gateway::HartAddressCommand(c_.hartAddress->currentIndex())));
  requests_.Send(bytes, QString::fromLatin1(bytes), cycle::PendingCode::kGatewaySetting,
              cycle::RequestKind::kSetting);
}

// ---- identity ----------------------------------------------------------------

void TransparentTab::onIdentityQueryClicked() {
  requests_.ClearAreas();
  Clear({c_.manufacturerId, c_.sensorType, c_.preambleCount, c_.sensorSerial});
  SendHartFrame(hart::IdentityRequestBody(hart::MasterBit(c_.commandMode->currentIndex())),
                cycle::PendingCode::kHartIdentityQuery);
}

void TransparentTab::DecodeHartIdentity() {
  requests_.Cycle().Pending = cycle::PendingCode::kNone;
  requests_.StopTimeout();
  const std::optional<hart::Identity> id = hart::DecodeIdentity(HartReplyBytes());
  if (!id) {
    Clear({c_.manufacturerId, c_.sensorType, c_.preambleCount, c_.sensorSerial});
    return;
  }
  identity_ = {.manufacturer = id->manufacturer,
                  .deviceType = id->deviceType,
                  .preambles = id->preambles,
                  .deviceId = id->deviceId};
  c_.manufacturerId->setText(QString::number(id->manufacturer));
  c_.sensorType->setText(QString::number(id->deviceType));
  c_.preambleCount->setText(QString::number(id->preambles));
  c_.sensorSerial->setText(QString::number(id->deviceId));
}

// ---- dynamic variables -------------------------------------------------------

void TransparentTab::onVariablesQueryClicked() {
  requests_.ClearAreas();
  for (const HartControls::Variable& v : c_.variables) v.value->clear();
  SendHartFrame(hart::VariablesRequestBody(hart::MasterBit(c_.commandMode->currentIndex()),
                                           {.manufacturer = identity_.manufacturer,
                                            .deviceType = identity_.deviceType,
                                            .preambles = identity_.preambles,
                                            .deviceId = identity_.deviceId}),
                cycle::PendingCode::kHartVariablesQuery);
}

void TransparentTab::DecodeHartVariables() {
  requests_.Cycle().Pending = cycle::PendingCode::kNone;
  requests_.StopTimeout();
  const std::vector<hart::DynamicVariable> variables =
      hart::DecodeDynamicVariables(HartReplyBytes());
  const char separator = DecimalSeparator();
  for (std::size_t k = 0; k < variables.size() && k < c_.variables.size(); ++k) {
    const HartControls::Variable& shown = c_.variables[k];
    shown.value->setText(
        QString::fromStdString(tools::HartValueText(variables[k].value, separator)));
    shown.unit->setCurrentIndex(hart::UnitPosition(variables[k].unitCode));
  }
}

// ---- manual command ----------------------------------------------------------

void TransparentTab::onManualSendClicked() {
  requests_.ClearAreas();
  const gateway::HexBytes typed =
      gateway::ParseHexBytes(TypedText(c_.manualCommand), gateway::kManualCommandLimit);
  if (!typed.ok()) {
    requests_.Messages().Show(LayerText(QString::fromLatin1(typed.error)));
    return;
  }
  SendHartFrame(typed.bytes, cycle::PendingCode::kHartManualCommand);
}

}  // namespace kv770::ui
