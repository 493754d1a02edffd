// Names of the monitor's values and its CSV lines.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "live/monitor.h"

namespace kv770::live {

namespace {

// A field holding a comma, a quote or a line end is quoted, its quotes
// doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

// Enough digits that reading the text back gives the same float; whole
// numbers (an unsigned register's) in full.
std::string NumberText(double value) {
  char text[32];
  if (value == std::floor(value) && std::fabs(value) < 1e15)
    std::snprintf(text, sizeof text, "%.0f", value);
  else
    std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// "2026-12-08T19:21:53.123Z".
std::string IsoTime(std::int64_t timeMs) {
  std::int64_t seconds = timeMs / 1000;
  std::int64_t ms = timeMs % 1000;
  if (ms < 0) {
    ms += 1000;
    --seconds;
  }
  const auto t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms));
  return text;
}

}  // namespace

std::string QuantityName(int quantity) {
  return quantity == 0 ? "current" : "variable " + std::to_string(quantity);
}

std::string StatusName(Status status) {
  switch (status) {
    case Status::kOk:
      return "ok";
    case Status::kNoAnswer:
      return "no answer";
    case Status::kBadReply:
      return "bad reply";
  }
  return "?";
}

std::string UnitLabel(const Column& column) {
  if (column.coefficient.empty()) return column.unit;
  const std::string factor = "×" + column.coefficient;
  return column.unit.empty() ? factor : column.unit + " " + factor;
}

std::string CsvHeader(const std::vector<Column>& columns) {
  std::string line = "time";
  for (const Column& c : columns) {
    std::string name = "meter " + std::to_string(c.meter) + " " + QuantityName(c.quantity);
    const std::string unit = UnitLabel(c);
    if (!unit.empty()) name += " (" + unit + ")";
    line += "," + CsvField(name);
  }
  return line + "\r\n";
}

std::string CsvRow(std::int64_t timeMs, const std::vector<Column>& columns,
                   const std::vector<Sample>& samples) {
  std::string line = IsoTime(timeMs);
  for (const Column& c : columns) {
    line += ',';
    for (const Sample& s : samples) {
      if (s.timeMs != timeMs || s.meter != c.meter || s.quantity != c.quantity) continue;
      if (s.status == Status::kOk && !std::isnan(s.value)) line += NumberText(s.value);
      break;
    }
  }
  return line + "\r\n";
}

}  // namespace kv770::live
