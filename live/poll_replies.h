// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What one exchange of a poll sends and what its reply holds, apart from
// the order in which the monitor asks: pure functions of bytes.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hart/frame.h"
#include "live/monitor.h"

namespace kv770::live {

using Bytes = std::vector<std::uint8_t>;

// ---- the gateway's ASCII reports ------------------------------------------------

// The report ends with '#' and its decoder takes it.
bool SystemReportComplete(std::span<const std::uint8_t> reply);
bool MeterReportComplete(int meter, std::span<const std::uint8_t> reply);

// ---- MODBUS RTU mode: one read over the registers of several meters ---------------

struct RegisterRead {
  bool serial = false;     // RTU frame with CRC, else MODBUS TCP
  std::uint8_t slave = 1;  // the gateway's slave address (unit identifier on TCP)
  int firstMeter = 1;      // the read spans these meters' registers, both included
  int lastMeter = 1;
  std::array<std::array<int, 5>, 8> byteOrders{};  // by meter, then value
  // MODBUS TCP: a new one for each read, so that a reply that came late
  // for an earlier read is told from this one's and skipped.
  std::uint16_t transaction = 1;
};

Bytes RegisterReadRequest(const RegisterRead& read);
// Whole, or certainly no reply to a read: no more bytes are worth waiting
// for. Whole frames of earlier transactions do not count.
bool RegisterReplyComplete(const RegisterRead& read, std::span<const std::uint8_t> reply);
// Fills `samples` (meter and quantity set, within the read) from the reply:
// nothing for an empty reply or one that holds only earlier transactions'
// frames (they stay gaps), kBadReply for all of them
// when the reply is no whole answer to this read, and for each value a
// NaN IEEE 754 pattern is the gateway's sign that the instrument did not
// answer: a gap.
void TakeRegisterValues(const RegisterRead& read, std::span<const std::uint8_t> reply,
                        std::vector<Sample>& samples);

// ---- transparent mode: HART commands through the gateway ---------------------------------

// "QQS#HCS:n#" for channel n (1..8).
Bytes ChannelCommand(int channel);

// What a sound command 3 reply holds: the loop current and the variables
// its byte count carries whole, each with its unit's text.
struct HartValues {
  float loopCurrent = 0;
  std::vector<float> variables;
  std::vector<std::string> units;
};
// Empty `error` when the reply is a sound answer to `requestBody`.
struct HartReading {
  std::string error;
  HartValues values;
};
HartReading ReadVariables(std::span<const std::uint8_t> reply,
                          std::span<const std::uint8_t> requestBody);

// The unit's symbol ("m³/h"), or "unit code 75" for a code without one:
// the instrument named a unit, but not one this tool knows.
std::string UnitName(std::uint8_t unitCode);

}  // namespace kv770::live
