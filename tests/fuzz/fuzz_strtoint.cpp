// SPDX-License-Identifier: GPL-3.0-or-later
// The integer conversion every typed number goes through, and its twin
// that reads report fields: on the same characters both agree, a value
// prints back to itself, and a range check never lets a value outside it
// through.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "cycle/convert.h"
#include "fuzz_check.h"
#include "gateway/fields.h"
#include "link/errors.h"

namespace {

std::optional<int> Typed(const QString& text) {
  try {
    return kv770::cycle::StrToInt(text);
  } catch (const kv770::EConvertError& e) {
    // The documented message, naming the text as typed.
    FUZZ_CHECK(e.Message() == QStringLiteral("'%1' is not a valid integer value").arg(text));
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // One character per byte on both sides.
  const std::optional<int> typed = Typed(QString::fromLatin1(bytes.data(), bytes.size()));
  const std::optional<int> field = kv770::gateway::ToInteger(bytes);
  FUZZ_CHECK(typed == field);
  if (typed) FUZZ_CHECK(Typed(QString::number(*typed)) == typed);

  // The same bytes as UTF-8: characters beyond ASCII are never digits.
  const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const std::optional<int> utf8 = Typed(text);
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) FUZZ_CHECK(utf8 == typed);
  if (!ascii) FUZZ_CHECK(!utf8);

  try {
    const int value = kv770::cycle::StrToIntInRange(text, 0, 999);
    FUZZ_CHECK(value >= 0 && value <= 999 && utf8 == value);
  } catch (const kv770::EConvertError&) {
    FUZZ_CHECK(!utf8 || *utf8 < 0 || *utf8 > 999);
  }
  return 0;
}
