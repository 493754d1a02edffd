// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/reports.h"

#include "gateway/fields.h"

namespace kv770::gateway {

namespace {

// Reads the fields of one reply at fixed positions, never past its end, and
// remembers the first number that did not convert.
class FieldReader {
 public:
  explicit FieldReader(std::string_view reply) : reply_(reply) {}

  // First position of `pattern`, where '?' stands for any one character.
  std::optional<std::size_t> Find(std::string_view pattern) const {
    if (pattern.size() > reply_.size()) return std::nullopt;
    for (std::size_t k = 0; k + pattern.size() <= reply_.size(); ++k) {
      bool match = true;
      for (std::size_t i = 0; i < pattern.size() && match; ++i)
        match = pattern[i] == '?' || pattern[i] == reply_[k + i];
      if (match) return k;
    }
    return std::nullopt;
  }

  // Up to `count` characters from `pos`, fewer where the reply ends.
  std::string Text(std::size_t pos, std::size_t count) const {
    if (pos >= reply_.size()) return {};
    return std::string(reply_.substr(pos, count));
  }

  // The number at `pos` (`count` characters) minus `offset`; false, with
  // the characters kept as the bad number, when they do not convert.
  bool Number(std::optional<int>& out, std::size_t pos, std::size_t count = 1, int offset = 0) {
    const std::string text = Text(pos, count);
    const std::optional<int> value = text.size() == count ? ToInteger(text) : std::nullopt;
    if (!value) {
      badNumber = text;
      return false;
    }
    out = *value - offset;
    return true;
  }

  std::optional<std::string> badNumber;

 private:
  std::string_view reply_;
};

}  // namespace

SystemReport DecodeSystemReport(std::string_view reply) {
  SystemReport r;
  FieldReader f(reply);
  if (!f.Find("QX")) return r;
  r.marker = true;
  // Every return below is the stop on a bad number.
  const auto stop = [&] {
    r.badNumber = f.badNumber;
    return r;
  };

  if (auto k = f.Find("BA1:")) {
    if (!f.Number(r.baud, *k + 4)) return stop();
    if (!f.Number(r.parity, *k + 5)) return stop();
  }
  if (auto k = f.Find("MD:")) {
    if (!f.Number(r.workingMode, *k + 3)) return stop();
  }
  if (auto k = f.Find("ADR:")) r.slaveAddress = f.Text(*k + 4, 3);
  if (auto k = f.Find("JTM:")) r.pollingInterval = f.Text(*k + 4, 3);
  return r;
}

ModbusReport DecodeModbusReport(std::string_view reply, int shownInstrumentType) {
  ModbusReport r;
  FieldReader f(reply);
  if (!f.Find("QQ")) return r;
  r.marker = true;
  const auto stop = [&] {
    r.badNumber = f.badNumber;
    return r;
  };

  if (auto k = f.Find("HART?:")) {
    if (!f.Number(r.enable, *k + 6)) return stop();
    if (!f.Number(r.deviceMode, *k + 8)) return stop();
    if (!f.Number(r.instrumentType, *k + 10, 2)) return stop();
    if (!f.Number(r.preamblePosition, *k + 13, 1, 4)) return stop();
    r.bufferClearTime = f.Text(*k + 15, 3);
  }
  if (auto k = f.Find("DFO?:")) {
    for (std::size_t i = 0; i < r.byteOrders.size(); ++i)
      if (!f.Number(r.byteOrders[i], *k + 5 + i)) return stop();
  }
  if (auto k = f.Find("XISH?:")) {
    for (std::size_t i = 0; i < r.coefficients.size(); ++i)
      r.coefficients[i] = f.Text(*k + 6 + 6 * i, 5);
  }

  r.custom = r.instrumentType.value_or(shownInstrumentType) == 0;
  if (!*r.custom) return r;

  if (auto k = f.Find("ZDY?:")) {
    if (!f.Number(r.addressBitsPosition, *k + 5, 1, 3)) return stop();
    for (std::size_t i = 0; i < r.variables.size(); ++i) {
      const std::size_t at = *k + 7 + 5 * i;  // command, start (two), length
      ModbusReport::Variable& v = r.variables[i];
      if (!f.Number(v.command, at)) return stop();
      v.start = f.Text(at + 1, 2);
      if (!f.Number(v.length, at + 3)) return stop();
    }
  }
  if (auto k = f.Find("MD:")) {
    if (!f.Number(r.workingMode, *k + 3)) return stop();
  }
  for (std::size_t c = 0; c < r.readCommands.size(); ++c) {
    const auto k = f.Find(c == 0 ? "CAMD?1:" : "CAMD?2:");
    if (!k) continue;
    ModbusReport::ReadCommand& command = r.readCommands[c];
    if (!f.Number(command.enable, *k + 7)) return stop();
    std::optional<int> tens, units;
    if (!f.Number(tens, *k + 9)) return stop();
    if (!f.Number(units, *k + 10)) return stop();
    const int count = 10 * *tens + *units;
    command.text = count == 0 ? std::string() : f.Text(*k + 12, 3 * count - 1);
  }
  return r;
}

}  // namespace kv770::gateway
