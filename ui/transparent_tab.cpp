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

#include "ui/widgets.h"

namespace kv770::ui {

namespace {

// The engineering-unit list of the four unit boxes, in list order: the
// dynamic-variable decoder selects an entry by its position, so order and
// count (77) are part of the protocol. The texts keep their trailing blanks.
// Entry 14 (Rankine) is given per box, its blanks differ between them.
constexpr int kUnitCount = 77;
constexpr int kRankinePosition = 14;
static const char* const kUnitTexts[kUnitCount] = {
    "inH20 ",   // 0
    "inhg  ",   // 1
    "FtH20  ",  // 2
    "mmH20 ",   // 3
    "mmHg   ",  // 4
    "psi   ",   // 5
    "bar    ",  // 6
    "mbar   ",  // 7
    "Pa     ",  // 8
    "KPa   ",   // 9
    "ATM    ",  // 10
    "MPa    ",  // 11
    "\xE2\x84\x83"
    "  ",  // 12
    "\xE2\x84\x89"
    "  ",                     // 13
    "R ",                     // 14
    "Kelvin ",                // 15
    "CuFt_min ",              // 16
    "gal_min  ",              // 17
    "l_min   ",               // 18
    "CuMtr_hr ",              // 19
    "l_s      ",              // 20
    "Cuft_s  ",               // 21
    "CuMtr_s  ",              // 22
    "CuMtr_min ",             // 23
    "gal_hr    ",             // 24
    "l_hr      ",             // 25
    "ft_s      ",             // 26
    "mtr_s    ",              // 27
    "in_s      ",             // 28
    "in_min    ",             // 29
    "ft_min   ",              // 30
    "mtr_hr    ",             // 31
    "gal      ",              // 32
    "liter    ",              // 33
    "CuMtr       ",           // 34
    "bbl      ",              // 35
    "CuYd     ",              // 36
    "CuFt      ",             // 37
    "CuIn",                   // 38
    "bbl_liq      ",          // 39
    "ft        ",             // 40
    "M    ",                  // 41
    "in         ",            // 42
    "cm       ",              // 43
    "mm       ",              // 44
    "gram     ",              // 45
    "kg        ",             // 46
    "MetTon    ",             // 47
    "lb       ",              // 48
    "ounce     ",             // 49
    "g_s       ",             // 50
    "g_min     ",             // 51
    "g_hr     ",              // 52
    "kg_s     ",              // 53
    "kg_min   ",              // 54
    "metTOM_min ",            // 55
    "metton_hr  ",            // 56
    "lb_s       ",            // 57
    "lb_min     ",            // 58
    "lb_hr      ",            // 59
    "g_CuCM     ",            // 60
    "KG_CuMtr   ",            // 61
    "lb_gal    ",             // 62
    "lb_Cuft    ",            // 63
    "g_ml      ",             // 64
    "kb_l       ",            // 65
    "g_l        ",            // 66
    "centi_stokes ",          // 67
    "cpoise       ",          // 68
    "mewtom_meter  ",         // 69
    "deka_therm    ",         // 70
    "foot_pound_force ",      // 71
    "kilo_watt_hour    ",     // 72
    "mega_joule       ",      // 73
    "british_thermal_unit ",  // 74
    "%",                      // 75
    "other",                  // 76
};

QStringList UnitList(const char* rankine) {
  QStringList list;
  list.reserve(kUnitCount);
  for (int i = 0; i < kUnitCount; ++i)
    list << QString::fromUtf8(i == kRankinePosition ? rankine : kUnitTexts[i]);
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
    const char* rankine;
  };
  const VariableRow rows[] = {
      {&Edit25, "Edit25", &ComboBox3, "ComboBox3", "R "},
      {&Edit26, "Edit26", &ComboBox31, "ComboBox31", "R   "},
      {&Edit27, "Edit27", &ComboBox32, "ComboBox32", "R     "},
      {&Edit30, "Edit30", &ComboBox33, "ComboBox33", "R    "},
  };
  for (int r = 0; r < 4; ++r) {
    const QString caption = QStringLiteral("Current_Variable_%1:").arg(r + 1);
    *rows[r].value = MakeEdit(GroupBox10, rows[r].valueName);
    AddLabelled(dynamic, r, 0, caption, *rows[r].value);
    *rows[r].unit = MakeCombo(GroupBox10, rows[r].unitName, UnitList(rows[r].rankine), -1);
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
