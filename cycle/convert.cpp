#include "cycle/convert.h"

#include <cstdint>

#include "link/errors.h"

namespace kv770::cycle {

int StrToInt(const QString& text) {
  auto fail = [&text]() -> int {
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
  };
  int i = 0;
  const int n = text.size();
  while (i < n && text[i] == QLatin1Char(' ')) ++i;
  bool negative = false;
  if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == QLatin1Char('$')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
             (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
    base = 16;
    i += 2;
  }
  if (i >= n) return fail();
  std::int64_t value = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i].unicode();
    int digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      return fail();
    }
    value = value * base + digit;
    // Hexadecimal covers the full 32-bit pattern, as "$FFFFFFFF" is -1.
    if (value > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL)) return fail();
  }
  if (base == 16) {
    auto pattern = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
  }
  if (negative) return static_cast<int>(-value);
  if (value > 0x7FFFFFFFLL) return fail();
  return static_cast<int>(value);
}

int StrToIntInRange(const QString& text, int lo, int hi) {
  const int value = StrToInt(text);
  if (value < lo || value > hi)
    throw EConvertError(
        QStringLiteral("'%1' is out of range (%2 to %3)").arg(text).arg(lo).arg(hi));
  return value;
}

}  // namespace kv770::cycle
