// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/iso_time.h"

#include <cstdio>
#include <ctime>

namespace kv770::base {

std::string IsoTime(std::int64_t timeMs) {
  std::int64_t seconds = timeMs / 1000;
  std::int64_t ms = timeMs % 1000;
  if (ms < 0) {
    ms += 1000;
    --seconds;
  }
  const auto t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return {};  // beyond the calendar of std::tm
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms));
  return text;
}

}  // namespace kv770::base
