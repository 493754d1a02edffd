// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>

class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QWidget;

#include "link/serial_devices.h"

namespace kv770::ui {

// A label that reports double-clicks (the hidden areas of the title line).
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void doubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The serial port list: its own entries (COM1..COM12) first, then the serial
// devices present, read again each time the list opens so that an adapter
// plugged in meanwhile shows up; each device's tooltip names the adapter.
// What the box reads is kept across the refresh.
class SerialPortCombo : public QComboBox {
 public:
  using DeviceSource = std::function<QList<link::SerialDevice>()>;
  explicit SerialPortCombo(QWidget* parent = nullptr);
  // Where the devices come from (tests give a fixed list).
  void SetDeviceSource(DeviceSource devices) { devices_ = std::move(devices); }
  // Replaces the devices after the box's own entries by those present now.
  void RefreshDevices();
  void showPopup() override;

 private:
  DeviceSource devices_;
  int ownEntries_ = -1;  // the entries it had when first refreshed
};

// Small factories so that every tab states its controls the way a form
// designer keeps them: name, caption or items, design-time selection.
// `index` -1 leaves nothing selected; an editable combo keeps typed text.
QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items, int index,
                     bool editable = false);
// The same set-up for a combo box made elsewhere (a subclass).
QComboBox* SetUpCombo(QComboBox* combo, const char* name, const QStringList& items, int index,
                      bool editable);
QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text = {});
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);
QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption = {});
QLabel* MakeLabel(QWidget* parent, const QString& caption, const char* name = nullptr);

// Puts "caption" at (row, col) and `input` at (row, col + 1) of `grid`, makes
// the label the input's buddy and gives the input the caption as accessible
// name, so screen readers and UI automation find it by its label.
QLabel* AddLabelled(QGridLayout* grid, int row, int col, const QString& caption, QWidget* input,
                    int inputColumnSpan = 1);

// The MODBUS page holds more controls than any other, so its layouts run
// tight: Tighten gives a group's grid these margins and spacings.
inline constexpr int kTightSpacing = 4;
inline constexpr int kTightMargin = 6;
void Tighten(QGridLayout* grid);

// A caption that names `input` although it does not stand directly beside it.
QLabel* CaptionFor(QWidget* parent, const QString& caption, QWidget* input);

// Caps an input at the width of `chars` characters in its own font (with
// room for its frame), so a number field fits its content at any DPI
// instead of running across its row.
void SizeToChars(QWidget* input, int chars);

// The user's decimal separator where one ASCII character can carry it,
// else '.': value texts are built as 8-bit strings.
char DecimalSeparator();

// Makes Tab visit `inReadingOrder` one after the other, so that the order
// follows the page as it reads rather than the order widgets were created.
void ChainTabOrder(const QList<QWidget*>& inReadingOrder);

// For inputs whose caption is not a label beside them (a group title, a
// column heading): the accessible name alone.
void NameForScreenReaders(QWidget* input, const QString& caption);

}  // namespace kv770::ui
