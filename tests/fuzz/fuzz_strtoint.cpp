// The integer conversion every typed number goes through: any text either
// converts to a value that prints back the same or is refused.
#include <QString>
#include <cstddef>
#include <cstdint>

#include "cycle/convert.h"
#include "link/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), size);
  try {
    const int value = kv770::cycle::StrToInt(text);
    const int again = kv770::cycle::StrToInt(QString::number(value));
    if (again != value) __builtin_trap();
  } catch (const kv770::EConvertError&) {
  }
  try {
    const int value = kv770::cycle::StrToIntInRange(text, 0, 999);
    if (value < 0 || value > 999) __builtin_trap();
  } catch (const kv770::EConvertError&) {
  }
  return 0;
}
