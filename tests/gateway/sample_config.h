// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gateway/config.h"

namespace kv770::gateway::testing {

// A custom meter with everything set, and the rest as they come.
inline GatewayConfig Sample() {
  GatewayConfig c;
  c.system = {
      .baudRate = 19200, .parity = 1, .workingMode = 1, .slaveAddress = 17, .pollingInterval = 100};
  MeterSettings& m = c.meters[0];
  m.enabled = true;
  m.deviceMode = 1;
  m.preambles = 6;
  m.bufferClearTime = 30;
  m.byteOrders = {1, 2, 3, 0, 1};
  m.coefficients = {"2.500", "-1.50", "0.001", "9.999"};
  CustomParsing custom;
  custom.addressBits = 7;
  custom.variables[0] = {1, 5, 8};
  custom.readCommands[0] = {true, {0x01, 0x03, 0x00}};
  m.custom = custom;
  c.meters[2].instrumentType = 5;
  // Custom meters are reported with their parsing, as the gateway does.
  for (MeterSettings& meter : c.meters)
    if (meter.instrumentType == 0 && !meter.custom) meter.custom = CustomParsing{};
  return c;
}

}  // namespace kv770::gateway::testing
