// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/language.h"

namespace kv770::ui {

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  QLabel::mouseDoubleClickEvent(event);
  emit doubleClicked();
}

SerialPortCombo::SerialPortCombo(QWidget* parent)
    : QComboBox(parent), devices_([] { return link::SerialDevicesPresent(); }) {}

void SerialPortCombo::RefreshDevices() {
  if (ownEntries_ < 0) ownEntries_ = count();
  const QString shown = currentText();
  const QSignalBlocker quiet(this);  // the text stays, so nothing has changed
  while (count() > ownEntries_) removeItem(count() - 1);
  for (const link::SerialDevice& device : devices_()) {
    addItem(device.path);
    if (!device.tooltip.isEmpty())
      setItemData(count() - 1, LayerText(device.tooltip), Qt::ToolTipRole);
  }
  const int index = findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
  setCurrentIndex(index);
  if (index < 0 && isEditable()) setEditText(shown);
}

void SerialPortCombo::showPopup() {
  RefreshDevices();
  QComboBox::showPopup();
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items, int index,
                     bool editable) {
  return SetUpCombo(new QComboBox(parent), name, items, index, editable);
}

QComboBox* SetUpCombo(QComboBox* combo, const char* name, const QStringList& items, int index,
                      bool editable) {
  combo->setObjectName(name);
  combo->setEditable(editable);
  combo->addItems(items);
  combo->setCurrentIndex(index);
  if (editable && index < 0) combo->setEditText(QString());
  return combo;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // No fixed accessible name: Qt reads the caption, which may change later.
  button->setAutoDefault(false);
  return button;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(name);
  return group;
}

QLabel* MakeLabel(QWidget* parent, const QString& caption, const char* name) {
  auto* label = new QLabel(caption, parent);
  if (name) label->setObjectName(name);
  return label;
}

QLabel* AddLabelled(QGridLayout* grid, int row, int col, const QString& caption, QWidget* input,
                    int inputColumnSpan) {
  auto* label = new QLabel(caption, grid->parentWidget());
  label->setBuddy(input);
  NameForScreenReaders(input, caption);
  grid->addWidget(label, row, col);
  grid->addWidget(input, row, col + 1, 1, inputColumnSpan);
  return label;
}

void NameForScreenReaders(QWidget* input, const QString& caption) {
  input->setAccessibleName(caption);
}

void ChainTabOrder(const QList<QWidget*>& inReadingOrder) {
  QWidget* previous = nullptr;
  for (QWidget* next : inReadingOrder) {
    if (previous) QWidget::setTabOrder(previous, next);
    previous = next;
  }
}

void Tighten(QGridLayout* grid) {
  grid->setContentsMargins(kTightMargin, kTightMargin, kTightMargin, kTightMargin);
  grid->setHorizontalSpacing(kTightSpacing + 2);
  grid->setVerticalSpacing(kTightSpacing);
}

QLabel* CaptionFor(QWidget* parent, const QString& caption, QWidget* input) {
  auto* label = MakeLabel(parent, caption);
  label->setBuddy(input);
  NameForScreenReaders(input, caption);
  return label;
}

void SizeToChars(QWidget* input, int chars) {
  const QFontMetrics metrics(input->font());
  input->setMaximumWidth(metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))) +
                         2 * metrics.height());
}

char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode())
                                                        : '.';
}

}  // namespace kv770::ui
