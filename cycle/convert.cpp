// SPDX-License-Identifier: GPL-3.0-or-later
#include "cycle/convert.h"

#include <optional>

#include "base/integer_text.h"
#include "link/errors.h"

namespace kv770::cycle {

int StrToInt(const QString& text) {
  // A character beyond Latin-1 becomes '?', which no number holds either.
  const std::optional<int> value = base::ToInteger(text.toLatin1().toStdString());
  if (!value) throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
  return *value;
}

int StrToIntInRange(const QString& text, int lo, int hi) {
  const int value = StrToInt(text);
  if (value < lo || value > hi)
    throw EConvertError(
        QStringLiteral("'%1' is out of range (%2 to %3)").arg(text).arg(lo).arg(hi));
  return value;
}

}  // namespace kv770::cycle
