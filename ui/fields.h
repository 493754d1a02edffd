// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Between the gateway's text and the window's controls: commands and
// reports are 8-bit text, one character per byte.
#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

class QComboBox;
class QLineEdit;

namespace kv770::ui {

QByteArray Bytes(const std::string& command);
QString Text(const QByteArray& bytes);
QString Text(const std::string& text);

// A number typed into a three-digit field of a command; what does not fit
// is refused before anything is sent.
int ThreeDigitValue(const QLineEdit* edit);

// A list position from a report; one beyond the list leaves nothing selected.
void Select(QComboBox* combo, const std::optional<int>& position);
// A report's text, shown from its start (a read-meter command is longer
// than its box).
void Fill(QLineEdit* edit, const std::optional<std::string>& text);
// Raised after the fields read before the bad number were applied.
void RaiseBadNumber(const std::optional<std::string>& text);

}  // namespace kv770::ui
