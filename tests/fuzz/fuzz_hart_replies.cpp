// SPDX-License-Identifier: GPL-3.0-or-later
// The HART reply decoders on any bytes: only the bytes handed in are read,
// and what they return is exactly what sits at the fixed distances from the
// first preamble-delimiter pair.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "fuzz_check.h"
#include "hart/replies.h"

namespace {

// The first FF d pair with at least four bytes from the FF on.
std::optional<std::size_t> FirstPair(const std::uint8_t* data, std::size_t size, std::uint8_t d) {
  for (std::size_t i = 0; i + 5 <= size; ++i)
    if (data[i] == 0xFF && data[i + 1] == d) return i;
  return std::nullopt;
}

std::uint32_t Pattern(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> reply(data, size);

  const std::optional<kv770::hart::Identity> id = kv770::hart::DecodeIdentity(reply);
  const std::optional<std::size_t> idAt = FirstPair(data, size, 0x06);
  // Found exactly when the first pair's fields all arrived.
  FUZZ_CHECK(id.has_value() == (idAt && *idAt + 18 < size));
  if (id) {
    const std::uint8_t* f = data + *idAt;
    FUZZ_CHECK(id->manufacturer == f[8] && id->deviceType == f[9] && id->preambles == f[10]);
    FUZZ_CHECK(id->deviceId == (std::uint32_t{f[16]} << 16 | std::uint32_t{f[17]} << 8 | f[18]));
  }

  const std::vector<kv770::hart::DynamicVariable> vars = kv770::hart::DecodeDynamicVariables(reply);
  FUZZ_CHECK(vars.size() <= 4);
  const std::optional<std::size_t> at = FirstPair(data, size, 0x86);
  if (!at) {
    FUZZ_CHECK(vars.empty());
    return 0;
  }
  for (std::size_t k = 0; k < vars.size(); ++k) {
    const std::size_t unit = *at + 15 + 5 * k;
    FUZZ_CHECK(unit + 4 < size);
    FUZZ_CHECK(vars[k].unitCode == data[unit]);
    FUZZ_CHECK(std::bit_cast<std::uint32_t>(vars[k].value) == Pattern(data + unit + 1));
  }
  // The byte count announces how many follow the primary variable; the
  // decoder reads them all where they arrived.
  if (*at + 19 < size) {
    const unsigned count = data[*at + 8];
    const std::size_t announced = count >= 22 ? 4 : count >= 17 ? 3 : count >= 12 ? 2 : 1;
    const std::size_t arrived = (size - (*at + 15)) / 5;
    FUZZ_CHECK(vars.size() == std::min(announced, arrived));
  } else {
    FUZZ_CHECK(vars.empty());
  }
  return 0;
}
