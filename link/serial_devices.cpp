// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_devices.h"

#include <QSerialPortInfo>
#include <algorithm>

namespace kv770::link {

namespace {

// The highest COMn the window lists; COMn is /dev/ttyS(n-1).
constexpr int kListedComPorts = 12;

bool NamedByComPort(const QString& path) {
  const QString prefix = QStringLiteral("/dev/ttyS");
  if (!path.startsWith(prefix)) return false;
  const QString digits = path.mid(prefix.size());
  if (digits.isEmpty() || (digits.size() > 1 && digits.front() == QLatin1Char('0'))) return false;
  bool ok = false;
  const int n = digits.toInt(&ok, 10);
  return ok && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }) &&
         n < kListedComPorts;
}

// Splits "/dev/ttyUSB10" into "/dev/ttyUSB" and 10 (-1 without digits).
std::pair<QString, long long> PathKey(const QString& path) {
  qsizetype digits = path.size();
  while (digits > 0 && path[digits - 1].isDigit()) --digits;
  bool ok = false;
  const long long number = path.mid(digits).toLongLong(&ok);
  return {path.left(digits), ok ? number : -1};
}

QString Tooltip(const EnumeratedPort& p) {
  QString adapter = p.maker;
  if (!p.product.isEmpty() && p.product != p.maker)
    adapter += (adapter.isEmpty() ? QString() : QStringLiteral(" ")) + p.product;
  if (p.serialNumber.isEmpty()) return adapter;
  return adapter.isEmpty() ? QStringLiteral("serial number %1").arg(p.serialNumber)
                           : QStringLiteral("%1, serial number %2").arg(adapter, p.serialNumber);
}

void FillMissing(EnumeratedPort& kept, const EnumeratedPort& again) {
  if (kept.maker.isEmpty()) kept.maker = again.maker;
  if (kept.product.isEmpty()) kept.product = again.product;
  if (kept.serialNumber.isEmpty()) kept.serialNumber = again.serialNumber;
}

}  // namespace

QList<SerialDevice> SerialDeviceEntries(const QList<EnumeratedPort>& ports) {
  QList<EnumeratedPort> kept;
  for (const EnumeratedPort& p : ports) {
    const QString path = p.path.trimmed();
    if (path.isEmpty() || NamedByComPort(path)) continue;
    const auto same = std::find_if(kept.begin(), kept.end(),
                                   [&](const EnumeratedPort& k) { return k.path == path; });
    if (same != kept.end()) {
      FillMissing(*same, p);
      continue;
    }
    kept.append(p);
    kept.back().path = path;
  }
  std::sort(kept.begin(), kept.end(), [](const EnumeratedPort& a, const EnumeratedPort& b) {
    return PathKey(a.path) < PathKey(b.path);
  });
  QList<SerialDevice> entries;
  for (const EnumeratedPort& p : kept) entries.append({p.path, Tooltip(p)});
  return entries;
}

QList<EnumeratedPort> EnumeratedPorts() {
  QList<EnumeratedPort> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    ports.append({info.systemLocation(), info.manufacturer().trimmed(),
                  info.description().trimmed(), info.serialNumber().trimmed()});
  return ports;
}

QList<SerialDevice> SerialDevicesPresent(const PortEnumerator& enumerate) {
  return SerialDeviceEntries(enumerate());
}

}  // namespace kv770::link
