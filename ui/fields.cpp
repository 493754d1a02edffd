// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/fields.h"

#include <QComboBox>
#include <QLineEdit>

#include "cycle/convert.h"
#include "gateway/fields.h"
#include "link/errors.h"

namespace kv770::ui {

QByteArray Bytes(const std::string& command) {
  return QByteArray::fromStdString(command);
}

QString Text(const QByteArray& bytes) {
  return QString::fromLatin1(bytes);
}

QString Text(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int ThreeDigitValue(const QLineEdit* edit) {
  return cycle::StrToIntInRange(edit->text(), 0, gateway::kThreeDigitMax);
}

void Select(QComboBox* combo, const std::optional<int>& position) {
  if (!position) return;
  combo->setCurrentIndex(*position >= 0 && *position < combo->count() ? *position : -1);
}

void Fill(QLineEdit* edit, const std::optional<std::string>& text) {
  if (!text) return;
  edit->setText(Text(*text));
  edit->setCursorPosition(0);
}

void RaiseBadNumber(const std::optional<std::string>& text) {
  if (text)
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text(*text)));
}

}  // namespace kv770::ui
