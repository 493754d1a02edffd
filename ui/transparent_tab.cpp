#include "ui/gateway_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "hart/units.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

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
  AddLabelled(top, 0, 0, QStringLiteral("Preamble Length:"), c.preambleLength);
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
  AddLabelled(top, 0, 2, QStringLiteral("HART Address:"), c.hartAddress);
  c.commandMode =
      MakeCombo(c.group, "ComboBox42",
                {QStringLiteral("Master Mode"), QStringLiteral("Secondary Master Mode")}, 0);
  AddLabelled(top, 0, 4, QStringLiteral("HART Command Mode:"), c.commandMode);
  c.addressSet = MakeButton(c.group, "Button3", QStringLiteral("Set"));
  top->addWidget(c.addressSet, 0, 6);
  top->setColumnStretch(7, 1);
  top->setHorizontalSpacing(10);
  return top;
}

void BuildIdentityGroup(HartControls& c) {
  c.identityGroup = MakeGroup(c.group, "GroupBox8", QStringLiteral("HART Device Basic Parameters"));
  auto* identity = new QGridLayout(c.identityGroup);
  c.manufacturerId = MakeEdit(c.identityGroup, "Edit28");
  AddLabelled(identity, 0, 0, QStringLiteral("Manufacturing ID:"), c.manufacturerId);
  c.sensorType = MakeEdit(c.identityGroup, "Edit29");
  AddLabelled(identity, 1, 0, QStringLiteral("Sensor type:"), c.sensorType);
  c.preambleCount = MakeEdit(c.identityGroup, "Edit31");
  AddLabelled(identity, 2, 0, QStringLiteral("Preamble Byte Count:"), c.preambleCount);
  c.sensorSerial = MakeEdit(c.identityGroup, "Edit32");
  AddLabelled(identity, 3, 0, QStringLiteral("Sensor Serial Number:"), c.sensorSerial);
  c.identityQuery =
      MakeButton(c.identityGroup, "Button7", QStringLiteral("HART Device Parameter Query"));
  identity->addWidget(c.identityQuery, 4, 0, 1, 2, Qt::AlignHCenter);
}

void BuildVariablesGroup(HartControls& c) {
  c.variablesGroup =
      MakeGroup(c.group, "GroupBox10", QStringLiteral("Universal HART Real-Time Data"));
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
    const QString caption = QStringLiteral("Current_Variable_%1:").arg(r + 1);
    v.value = MakeEdit(c.variablesGroup, names[r].value);
    AddLabelled(dynamic, r, 0, caption, v.value);
    v.unit = MakeCombo(c.variablesGroup, names[r].unit, UnitList(r), -1);
    AddLabelled(dynamic, r, 2, QStringLiteral("Unit:"), v.unit);
    // Four boxes share the label "Unit:"; tell them apart by their variable.
    NameForScreenReaders(v.unit, QStringLiteral("Current_Variable_%1 Unit:").arg(r + 1));
  }
  c.variablesQuery = MakeButton(c.variablesGroup, "Button16", QStringLiteral("HART Command Query"));
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
  AddLabelled(manual, 0, 0, QStringLiteral("Manual HART Command:"), c.manualCommand);
  c.checksumNote = MakeLabel(c.manualGroup, QStringLiteral("(Auto Generated checksum)"), "Label62");
  manual->addWidget(c.checksumNote, 0, 2);
  c.manualSend = MakeButton(c.manualGroup, "Button20", QStringLiteral("send"));
  manual->addWidget(c.manualSend, 0, 3);
  manual->setColumnStretch(1, 1);
}

}  // namespace

void GatewayWindow::BuildTransparentTab(QWidget* page) {
  auto* pageLayout = new QVBoxLayout(page);

  hart.group = MakeGroup(page, "GroupBox5");
  auto* hartBox = new QVBoxLayout(hart.group);
  hartBox->addLayout(BuildFrameSettings(hart));

  auto* results = new QHBoxLayout;
  BuildIdentityGroup(hart);
  results->addWidget(hart.identityGroup, 2);
  BuildVariablesGroup(hart);
  results->addWidget(hart.variablesGroup, 3);
  hartBox->addLayout(results);
  pageLayout->addWidget(hart.group);

  BuildManualGroup(hart, page);
  pageLayout->addWidget(hart.manualGroup);
  pageLayout->addStretch(1);

  // The frame settings, then the identity on the left before the variables
  // on the right, then the typed request.
  const HartControls& c = hart;
  ChainTabOrder(
      {c.preambleLength,    c.hartAddress,        c.commandMode,       c.addressSet,
       c.manufacturerId,    c.sensorType,         c.preambleCount,     c.sensorSerial,
       c.identityQuery,     c.variables[0].value, c.variables[0].unit, c.variables[1].value,
       c.variables[1].unit, c.variables[2].value, c.variables[2].unit, c.variables[3].value,
       c.variables[3].unit, c.variablesQuery,     c.manualCommand,     c.manualSend});
}

}  // namespace kv770::ui
