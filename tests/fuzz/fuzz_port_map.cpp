// SPDX-License-Identifier: GPL-3.0-or-later
// Port names and "--com COMn=PATH" assignments as a user may type them: an
// assignment that is taken leads its COM name to exactly that path, one
// that is refused says so and changes nothing, and every name leads
// somewhere without touching the disk.
#include <QString>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "link/port_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kv770::link::PortMap;
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  PortMap map;
  const int n = PortMap::ComNumber(text);
  FUZZ_CHECK(n >= 0 && n <= 256);
  if (n > 0) {
    FUZZ_CHECK(text.compare(QStringLiteral("COM%1").arg(n), Qt::CaseInsensitive) == 0);
    FUZZ_CHECK(map.DevicePath(text) == QStringLiteral("/dev/ttyS%1").arg(n - 1));
  }

  QString error;
  const qsizetype eq = text.indexOf(QLatin1Char('='));
  if (map.Assign(text, &error)) {
    FUZZ_CHECK(eq > 0 && error.isEmpty());
    const int number = PortMap::ComNumber(text.left(eq));
    FUZZ_CHECK(number > 0);
    FUZZ_CHECK(map.DevicePath(QStringLiteral("COM%1").arg(number)) == text.mid(eq + 1));
  } else {
    FUZZ_CHECK(!error.isEmpty());
    FUZZ_CHECK(map.DevicePath(QStringLiteral("COM1")) == QStringLiteral("/dev/ttyS0"));
  }
  const QString path = map.DevicePath(text);
  FUZZ_CHECK(text.isEmpty() ? path.isEmpty() : !path.isEmpty());
  return 0;
}
