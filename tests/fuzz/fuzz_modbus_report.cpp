// SPDX-License-Identifier: GPL-3.0-or-later
// The MODBUS report decoder on any reply and any list position the window
// shows: only the given bytes are read, every field has the width its tag
// promises, the custom-meter groups appear only for a custom meter, and
// nothing is returned after the field decoding stopped on.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "gateway/reports.h"

namespace {

using kv770::gateway::ModbusReport;

// What one or two characters can convert to: a digit, or with a sign or a
// '$' in front a value from -9 to 15.
bool OneChar(const std::optional<int>& v, int offset = 0) {
  return !v || (*v + offset >= 0 && *v + offset <= 9);
}
bool TwoChars(const std::optional<int>& v) {
  return !v || (*v >= -9 && *v <= 99);
}
bool Width(const std::optional<std::string>& text, std::size_t width) {
  return !text || text->size() <= width;
}

bool NothingCustom(const ModbusReport& r) {
  if (r.addressBitsPosition || r.workingMode) return false;
  for (const ModbusReport::Variable& v : r.variables)
    if (v.command || v.start || v.length) return false;
  for (const ModbusReport::ReadCommand& c : r.readCommands)
    if (c.enable || c.text) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int shown = static_cast<std::int8_t>(data[0]);  // -1 (nothing) and beyond the list too
  const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
  const ModbusReport r = kv770::gateway::DecodeModbusReport(reply, shown);

  FUZZ_CHECK(r.marker == (reply.find("QQ") != std::string_view::npos));
  if (!r.marker) {
    FUZZ_CHECK(!r.enable && !r.deviceMode && !r.instrumentType && !r.preamblePosition &&
               !r.bufferClearTime && !r.custom && !r.badNumber && NothingCustom(r));
    for (const auto& order : r.byteOrders) FUZZ_CHECK(!order);
    for (const auto& c : r.coefficients) FUZZ_CHECK(!c);
    return 0;
  }

  FUZZ_CHECK(OneChar(r.enable) && OneChar(r.deviceMode) && TwoChars(r.instrumentType));
  FUZZ_CHECK(OneChar(r.preamblePosition, 4) && Width(r.bufferClearTime, 3));
  for (const auto& order : r.byteOrders) FUZZ_CHECK(OneChar(order));
  for (const auto& c : r.coefficients) FUZZ_CHECK(Width(c, 5));
  FUZZ_CHECK(OneChar(r.addressBitsPosition, 3) && OneChar(r.workingMode));
  for (const ModbusReport::Variable& v : r.variables)
    FUZZ_CHECK(OneChar(v.command) && Width(v.start, 2) && OneChar(v.length));
  for (const ModbusReport::ReadCommand& c : r.readCommands) {
    FUZZ_CHECK(OneChar(c.enable));
    // At most 99 bytes as "01 02 ...": 3 * 99 - 1 characters.
    FUZZ_CHECK(Width(c.text, 3 * 99 - 1));
  }
  if (r.badNumber) FUZZ_CHECK(r.badNumber->size() <= 2);

  // The instrument type of the report, else the one shown, decides whether
  // the custom groups are read; until decoding got there, nothing is known.
  if (r.custom) {
    FUZZ_CHECK(*r.custom == (r.instrumentType.value_or(shown) == 0));
    if (!*r.custom) FUZZ_CHECK(NothingCustom(r) && !r.badNumber);
  } else {
    FUZZ_CHECK(r.badNumber.has_value() && NothingCustom(r));
  }
  return 0;
}
