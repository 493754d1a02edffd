// SPDX-License-Identifier: GPL-3.0-or-later
// Typed byte lists at any limit: a list that is read gives bytes that,
// written back as digit pairs, are the text it was read from; a list that
// is refused gives no bytes and one of the two documented messages.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/hex_text.h"
#include "fuzz_check.h"
#include "gateway/hex_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kv770::gateway::ParseHexBytes;
  if (size == 0) return 0;
  const int limit = static_cast<std::int8_t>(data[0]);
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const kv770::gateway::HexBytes parsed = ParseHexBytes(text, limit);

  if (!parsed.ok()) {
    FUZZ_CHECK(parsed.bytes.empty());
    FUZZ_CHECK(parsed.error == kv770::gateway::kNoSeparator ||
               parsed.error == kv770::gateway::kBadDigit);
    return 0;
  }
  FUZZ_CHECK(!parsed.bytes.empty());
  FUZZ_CHECK(parsed.bytes.size() <= static_cast<std::size_t>(limit));
  const std::string written = kv770::base::HexText(parsed.bytes);
  FUZZ_CHECK(text.substr(0, written.size()) == written);
  // Read again, the written list gives the same bytes.
  const kv770::gateway::HexBytes again = ParseHexBytes(written, limit);
  FUZZ_CHECK(again.ok() && again.bytes == parsed.bytes);
  return 0;
}
