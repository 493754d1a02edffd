// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace kv770::base {

// A time given in milliseconds since 1970 UTC as ISO 8601 with
// milliseconds, in UTC: "2026-12-08T19:21:53.123Z".
std::string IsoTime(std::int64_t timeMs);

}  // namespace kv770::base
