// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/port_names.h"

namespace kv770::link {

namespace {
// Far beyond any COM number a user types; keeps the arithmetic in range.
constexpr int kMaxComNumber = 256;
}  // namespace

int PortMap::ComNumber(const QString& name) {
  if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) return 0;
  const QStringView digits = QStringView(name).mid(3);
  if (digits.isEmpty() || digits.front() == QLatin1Char('0')) return 0;
  for (QChar c : digits)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
  bool ok = false;
  const int n = digits.toInt(&ok);
  return ok && n <= kMaxComNumber ? n : 0;
}

bool PortMap::Assign(const QString& assignment, QString* error) {
  const qsizetype eq = assignment.indexOf(QLatin1Char('='));
  const int number = eq < 0 ? 0 : ComNumber(assignment.left(eq));
  const QString path = eq < 0 ? QString() : assignment.mid(eq + 1);
  if (number == 0 || path.isEmpty()) {
    if (error)
      *error = QStringLiteral(
                   "'%1' is not of the form COMn=PATH (for example "
                   "COM4=/dev/ttyUSB0)")
                   .arg(assignment);
    return false;
  }
  Set(number, path);
  return true;
}

QString PortMap::DevicePath(const QString& name) const {
  if (name.isEmpty() || name.startsWith(QLatin1Char('/'))) return name;
  if (const int n = ComNumber(name)) {
    const auto it = overrides_.find(n);
    return it != overrides_.end() ? it->second : QStringLiteral("/dev/ttyS%1").arg(n - 1);
  }
  return QStringLiteral("/dev/") + name;
}

}  // namespace kv770::link
