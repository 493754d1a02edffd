#include "ui/form1.h"

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

void TForm1::BuildTransparentTab(QWidget* page) {
  auto* pageLayout = new QVBoxLayout(page);

  GroupBox5 = MakeGroup(page, "GroupBox5");
  auto* hartBox = new QVBoxLayout(GroupBox5);

  // Settings of the frames this window builds, and the gateway's HART address.
  auto* top = new QGridLayout;
  Edit9 = MakeEdit(GroupBox5, "Edit9", QStringLiteral("6"));
  AddLabelled(top, 0, 0, QStringLiteral("Preamble Length:"), Edit9);
  // No address is selected until the user picks one (the "Set" command then
  // carries '0'), yet the box reads "1" like the form always showed it.
  ComboBox30 = MakeCombo(
      GroupBox5, "ComboBox30",
      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
       QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
      -1);
  ComboBox30->setPlaceholderText(QStringLiteral("1"));
  QPalette plainPlaceholder = ComboBox30->palette();
  plainPlaceholder.setColor(QPalette::PlaceholderText,
                            plainPlaceholder.color(QPalette::ButtonText));
  ComboBox30->setPalette(plainPlaceholder);
  AddLabelled(top, 0, 2, QStringLiteral("HART Address:"), ComboBox30);
  ComboBox42 =
      MakeCombo(GroupBox5, "ComboBox42",
                {QStringLiteral("Master Mode"), QStringLiteral("Secondary Master Mode")}, 0);
  AddLabelled(top, 0, 4, QStringLiteral("HART Command Mode:"), ComboBox42);
  Button3 = MakeButton(GroupBox5, "Button3", QStringLiteral("Set"));
  top->addWidget(Button3, 0, 6);
  top->setColumnStretch(7, 1);
  top->setHorizontalSpacing(10);
  hartBox->addLayout(top);

  auto* results = new QHBoxLayout;

  GroupBox8 = MakeGroup(GroupBox5, "GroupBox8", QStringLiteral("HART Device Basic Parameters"));
  auto* identity = new QGridLayout(GroupBox8);
  Edit28 = MakeEdit(GroupBox8, "Edit28");
  AddLabelled(identity, 0, 0, QStringLiteral("Manufacturing ID:"), Edit28);
  Edit29 = MakeEdit(GroupBox8, "Edit29");
  AddLabelled(identity, 1, 0, QStringLiteral("Sensor type:"), Edit29);
  Edit31 = MakeEdit(GroupBox8, "Edit31");
  AddLabelled(identity, 2, 0, QStringLiteral("Preamble Byte Count:"), Edit31);
  Edit32 = MakeEdit(GroupBox8, "Edit32");
  AddLabelled(identity, 3, 0, QStringLiteral("Sensor Serial Number:"), Edit32);
  Button7 = MakeButton(GroupBox8, "Button7", QStringLiteral("HART Device Parameter Query"));
  identity->addWidget(Button7, 4, 0, 1, 2, Qt::AlignHCenter);
  results->addWidget(GroupBox8, 2);

  GroupBox10 = MakeGroup(GroupBox5, "GroupBox10", QStringLiteral("Universal HART Real-Time Data"));
  auto* dynamic = new QGridLayout(GroupBox10);
  struct VariableRow {
    QLineEdit** value;
    const char* valueName;
    QComboBox** unit;
    const char* unitName;
  };
  const VariableRow rows[] = {
      {&Edit25, "Edit25", &ComboBox3, "ComboBox3"},
      {&Edit26, "Edit26", &ComboBox31, "ComboBox31"},
      {&Edit27, "Edit27", &ComboBox32, "ComboBox32"},
      {&Edit30, "Edit30", &ComboBox33, "ComboBox33"},
  };
  for (int r = 0; r < 4; ++r) {
    const QString caption = QStringLiteral("Current_Variable_%1:").arg(r + 1);
    *rows[r].value = MakeEdit(GroupBox10, rows[r].valueName);
    AddLabelled(dynamic, r, 0, caption, *rows[r].value);
    *rows[r].unit = MakeCombo(GroupBox10, rows[r].unitName, UnitList(r), -1);
    AddLabelled(dynamic, r, 2, QStringLiteral("Unit:"), *rows[r].unit);
    // Four boxes share the label "Unit:"; tell them apart by their variable.
    NameForScreenReaders(*rows[r].unit, QStringLiteral("Current_Variable_%1 Unit:").arg(r + 1));
  }
  Button16 = MakeButton(GroupBox10, "Button16", QStringLiteral("HART Command Query"));
  dynamic->addWidget(Button16, 4, 0, 1, 4, Qt::AlignHCenter);
  dynamic->setColumnStretch(1, 1);
  dynamic->setColumnStretch(3, 1);
  results->addWidget(GroupBox10, 3);

  hartBox->addLayout(results);
  pageLayout->addWidget(GroupBox5);

  // A free HART request from its delimiter on; preamble and check byte are
  // added when it is sent.
  GroupBox20 = MakeGroup(page, "GroupBox20");
  auto* manual = new QGridLayout(GroupBox20);
  Edit10 = MakeEdit(GroupBox20, "Edit10");
  AddLabelled(manual, 0, 0, QStringLiteral("Manual HART Command:"), Edit10);
  Label62 = MakeLabel(GroupBox20, QStringLiteral("(Auto Generated checksum)"), "Label62");
  manual->addWidget(Label62, 0, 2);
  Button20 = MakeButton(GroupBox20, "Button20", QStringLiteral("send"));
  manual->addWidget(Button20, 0, 3);
  manual->setColumnStretch(1, 1);
  pageLayout->addWidget(GroupBox20);
  pageLayout->addStretch(1);
}

}  // namespace kv770::ui
