// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the monitor's values and its CSV lines.
#include <charconv>
#include <cmath>

#include "base/iso_time.h"
#include "live/monitor.h"

namespace kv770::live {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

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

std::string ValueText(double value, char decimalSeparator) {
  if (std::isnan(value)) return {};
  char text[32];
  char* const end = text + sizeof text;
  std::to_chars_result written{};
  const auto single = static_cast<float>(value);
  if (value == std::floor(value) && std::fabs(value) < 1e15)
    written = std::to_chars(text, end, value, std::chars_format::fixed, 0);
  else if (static_cast<double>(single) == value)
    written = std::to_chars(text, end, single);
  else
    written = std::to_chars(text, end, value);
  std::string result(text, written.ptr);
  for (char& c : result)
    if (c == '.') c = decimalSeparator;
  return result;
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
  std::string line = base::IsoTime(timeMs);
  for (const Column& c : columns) {
    line += ',';
    for (const Sample& s : samples) {
      if (s.timeMs != timeMs || s.meter != c.meter || s.quantity != c.quantity) continue;
      if (s.status == Status::kOk) line += ValueText(s.value);
      break;
    }
  }
  return line + "\r\n";
}

}  // namespace kv770::live
