// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/register_map.h"

#include <algorithm>
#include <utility>

#include "live/monitor.h"  // the CSV field and the quantities' names
#include "tools/register_values.h"

namespace kv770::live {

namespace {

using gateway::GatewayConfig;
using gateway::MeterSettings;

int KnownOrder(int byteOrder) {
  return byteOrder >= 0 && byteOrder < tools::kByteOrderCodes ? byteOrder : 0;
}

bool Enabled(const MeterSettings& m) {
  return m.enabled == 1;
}

// A custom meter's variable has a value only when a read-meter reply is
// parsed for it (command 1 or 2); any other meter's variables always do.
bool Parsed(const MeterSettings& m, int variable) {
  if (m.instrumentType != 0 || !m.custom) return true;
  const int command = m.custom->variables[static_cast<std::size_t>(variable - 1)].command;
  return command == 1 || command == 2;
}

// "2, 5, 6"
std::string Listed(const std::vector<int>& numbers) {
  std::string text;
  for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return text;
}

}  // namespace

std::string DataTypeName(int byteOrder) {
  return tools::IsFloatOrder(KnownOrder(byteOrder)) ? "IEEE 754 float" : "Uint32";
}

std::string ByteOrderName(int byteOrder) {
  const int code = KnownOrder(byteOrder);
  return code == 1 || code == 3 ? "FF2 FF1 FF4 FF3" : "FF4 FF3 FF2 FF1";
}

std::vector<RegisterRow> RegisterMap(const GatewayConfig& config) {
  std::vector<RegisterRow> rows;
  for (int meter = 1; meter <= gateway::kMeters; ++meter) {
    const MeterSettings& m = config.meters[static_cast<std::size_t>(meter - 1)];
    if (!Enabled(m)) continue;
    for (int value = 0; value < 5; ++value) {
      if (value > 0 && !Parsed(m, value)) continue;
      const int order = m.byteOrders[static_cast<std::size_t>(value)];
      const int address = tools::FirstRegister(meter, value);
      rows.push_back({tools::kFirstHoldingRegister + address, address, meter, QuantityName(value),
                      DataTypeName(order), ByteOrderName(order),
                      value == 0 ? "" : m.coefficients[static_cast<std::size_t>(value - 1)],
                      value == 0 ? "mA" : ""});
    }
  }
  return rows;
}

std::vector<std::string> RegisterMapHeading(const gateway::SystemSettings& system) {
  const std::string_view parity = gateway::NameOf(gateway::kParityNames, system.parity);
  const std::string_view mode = gateway::NameOf(gateway::kWorkingModeNames, system.workingMode);
  return {
      "slave address " + std::to_string(system.slaveAddress),
      "RS-485 " +
          (system.baudRate > 0 ? std::to_string(system.baudRate) + " bit/s" : "bit rate not set") +
          ", parity " + (parity.empty() ? "not set" : std::string(parity)),
      "working mode " + (mode == "modbus" ? std::string("MODBUS RTU")
                         : mode.empty()   ? std::string("not set")
                                          : std::string(mode))};
}

std::vector<std::string> RegisterMapNotes(const GatewayConfig& config) {
  std::vector<std::string> notes;
  if (config.system.workingMode != 1)
    notes.push_back(std::string(config.system.workingMode == 0
                                    ? "The gateway is in transparent mode"
                                    : "The working mode is not set") +
                    ": it presents these registers in MODBUS RTU mode only.");
  std::vector<int> disabled;
  // Custom meters by the variables they leave unparsed, in meter order.
  std::vector<std::pair<std::vector<int>, std::vector<int>>> unparsedBy;
  for (int meter = 1; meter <= gateway::kMeters; ++meter) {
    const MeterSettings& m = config.meters[static_cast<std::size_t>(meter - 1)];
    if (!Enabled(m)) {
      disabled.push_back(meter);
      continue;
    }
    std::vector<int> unparsed;
    for (int variable = 1; variable <= 4; ++variable)
      if (!Parsed(m, variable)) unparsed.push_back(variable);
    if (unparsed.empty()) continue;
    auto same =
        std::ranges::find_if(unparsedBy, [&](const auto& g) { return g.first == unparsed; });
    if (same == unparsedBy.end())
      unparsedBy.push_back({unparsed, {meter}});
    else
      same->second.push_back(meter);
  }
  for (const auto& [variables, meters] : unparsedBy)
    notes.push_back(std::string(meters.size() > 1 ? "Meters " : "Meter ") + Listed(meters) +
                    (meters.size() > 1 ? " (custom meters)" : " (custom meter)") + ": variable" +
                    (variables.size() > 1 ? "s " : " ") + Listed(variables) +
                    " not parsed from any reply; " + (variables.size() > 1 ? "their" : "its") +
                    " registers hold no value.");
  if (disabled.size() == gateway::kMeters)
    notes.push_back("No meter is enabled: the registers hold no value.");
  else if (!disabled.empty())
    notes.push_back(std::string(disabled.size() > 1 ? "Meters " : "Meter ") + Listed(disabled) +
                    " disabled: the gateway does not poll " +
                    (disabled.size() > 1 ? "them" : "it") + ", so " +
                    (disabled.size() > 1 ? "their" : "its") + " registers hold no value.");
  return notes;
}

std::string RegisterMapCsv(const std::vector<RegisterRow>& rows) {
  std::string csv = "register,PDU address,meter,quantity,data type,byte order,coefficient,unit\r\n";
  for (const RegisterRow& r : rows)
    csv += std::to_string(r.registerNumber) + ',' + std::to_string(r.address) + ',' +
           std::to_string(r.meter) + ',' + CsvField(r.quantity) + ',' + CsvField(r.dataType) + ',' +
           CsvField(r.byteOrder) + ',' + CsvField(r.coefficient) + ',' + CsvField(r.unit) + "\r\n";
  return csv;
}

}  // namespace kv770::live
