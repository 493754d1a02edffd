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

}  // namespace

void GatewayWindow::BuildTransparentTab(QWidget* page) {
  auto* pageLayout = new QVBoxLayout(page);

  hart.group = MakeGroup(page, "GroupBox5");
  auto* hartBox = new QVBoxLayout(hart.group);

  // Settings of the frames this window builds, and the gateway's HART address.
  auto* top = new QGridLayout;
  hart.preambleLength = MakeEdit(hart.group, "Edit9", QStringLiteral("6"));
  AddLabelled(top, 0, 0, QStringLiteral("Preamble Length:"), hart.preambleLength);
  // No address is selected until the user picks one (the "Set" command then
  // carries '0'), yet the box reads "1" like the form always showed it.
  hart.hartAddress = MakeCombo(
      hart.group, "ComboBox30",
      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
       QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
      -1);
  hart.hartAddress->setPlaceholderText(QStringLiteral("1"));
  QPalette plainPlaceholder = hart.hartAddress->palette();
  plainPlaceholder.setColor(QPalette::PlaceholderText,
                            plainPlaceholder.color(QPalette::ButtonText));
  hart.hartAddress->setPalette(plainPlaceholder);
  AddLabelled(top, 0, 2, QStringLiteral("HART Address:"), hart.hartAddress);
  hart.commandMode =
      MakeCombo(hart.group, "ComboBox42",
                {QStringLiteral("Master Mode"), QStringLiteral("Secondary Master Mode")}, 0);
  AddLabelled(top, 0, 4, QStringLiteral("HART Command Mode:"), hart.commandMode);
  hart.addressSet = MakeButton(hart.group, "Button3", QStringLiteral("Set"));
  top->addWidget(hart.addressSet, 0, 6);
  top->setColumnStretch(7, 1);
  top->setHorizontalSpacing(10);
  hartBox->addLayout(top);

  auto* results = new QHBoxLayout;

  hart.identityGroup =
      MakeGroup(hart.group, "GroupBox8", QStringLiteral("HART Device Basic Parameters"));
  auto* identity = new QGridLayout(hart.identityGroup);
  hart.manufacturerId = MakeEdit(hart.identityGroup, "Edit28");
  AddLabelled(identity, 0, 0, QStringLiteral("Manufacturing ID:"), hart.manufacturerId);
  hart.sensorType = MakeEdit(hart.identityGroup, "Edit29");
  AddLabelled(identity, 1, 0, QStringLiteral("Sensor type:"), hart.sensorType);
  hart.preambleCount = MakeEdit(hart.identityGroup, "Edit31");
  AddLabelled(identity, 2, 0, QStringLiteral("Preamble Byte Count:"), hart.preambleCount);
  hart.sensorSerial = MakeEdit(hart.identityGroup, "Edit32");
  AddLabelled(identity, 3, 0, QStringLiteral("Sensor Serial Number:"), hart.sensorSerial);
  hart.identityQuery =
      MakeButton(hart.identityGroup, "Button7", QStringLiteral("HART Device Parameter Query"));
  identity->addWidget(hart.identityQuery, 4, 0, 1, 2, Qt::AlignHCenter);
  results->addWidget(hart.identityGroup, 2);

  hart.variablesGroup =
      MakeGroup(hart.group, "GroupBox10", QStringLiteral("Universal HART Real-Time Data"));
  auto* dynamic = new QGridLayout(hart.variablesGroup);
  struct VariableRow {
    QLineEdit** value;
    const char* valueName;
    QComboBox** unit;
    const char* unitName;
  };
  const VariableRow rows[] = {
      {&hart.variables[0].value, "Edit25", &hart.variables[0].unit, "ComboBox3"},
      {&hart.variables[1].value, "Edit26", &hart.variables[1].unit, "ComboBox31"},
      {&hart.variables[2].value, "Edit27", &hart.variables[2].unit, "ComboBox32"},
      {&hart.variables[3].value, "Edit30", &hart.variables[3].unit, "ComboBox33"},
  };
  for (int r = 0; r < 4; ++r) {
    const QString caption = QStringLiteral("Current_Variable_%1:").arg(r + 1);
    *rows[r].value = MakeEdit(hart.variablesGroup, rows[r].valueName);
    AddLabelled(dynamic, r, 0, caption, *rows[r].value);
    *rows[r].unit = MakeCombo(hart.variablesGroup, rows[r].unitName, UnitList(r), -1);
    AddLabelled(dynamic, r, 2, QStringLiteral("Unit:"), *rows[r].unit);
    // Four boxes share the label "Unit:"; tell them apart by their variable.
    NameForScreenReaders(*rows[r].unit, QStringLiteral("Current_Variable_%1 Unit:").arg(r + 1));
  }
  hart.variablesQuery =
      MakeButton(hart.variablesGroup, "Button16", QStringLiteral("HART Command Query"));
  dynamic->addWidget(hart.variablesQuery, 4, 0, 1, 4, Qt::AlignHCenter);
  dynamic->setColumnStretch(1, 1);
  dynamic->setColumnStretch(3, 1);
  results->addWidget(hart.variablesGroup, 3);

  hartBox->addLayout(results);
  pageLayout->addWidget(hart.group);

  // A free HART request from its delimiter on; preamble and check byte are
  // added when it is sent.
  hart.manualGroup = MakeGroup(page, "GroupBox20");
  auto* manual = new QGridLayout(hart.manualGroup);
  hart.manualCommand = MakeEdit(hart.manualGroup, "Edit10");
  AddLabelled(manual, 0, 0, QStringLiteral("Manual HART Command:"), hart.manualCommand);
  hart.checksumNote =
      MakeLabel(hart.manualGroup, QStringLiteral("(Auto Generated checksum)"), "Label62");
  manual->addWidget(hart.checksumNote, 0, 2);
  hart.manualSend = MakeButton(hart.manualGroup, "Button20", QStringLiteral("send"));
  manual->addWidget(hart.manualSend, 0, 3);
  manual->setColumnStretch(1, 1);
  pageLayout->addWidget(hart.manualGroup);
  pageLayout->addStretch(1);
}

}  // namespace kv770::ui
