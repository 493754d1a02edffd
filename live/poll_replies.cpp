// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/poll_replies.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string_view>

#include "gateway/commands.h"
#include "gateway/config.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "tools/modbus_frames.h"
#include "tools/register_values.h"

namespace kv770::live {

namespace {

std::string_view Text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

template <typename Decode>
bool DecodesWhole(std::span<const std::uint8_t> reply, Decode decode) {
  if (reply.empty() || reply.back() != '#') return false;
  try {
    decode(Text(reply));
    return true;
  } catch (const gateway::ReportError&) {
    return false;
  }
}

template <std::size_t N>
Bytes AsVector(const std::array<std::uint8_t, N>& frame) {
  return {frame.begin(), frame.end()};
}

int RegisterCount(const RegisterRead& read) {
  return (read.lastMeter - read.firstMeter + 1) * tools::kRegistersPerMeter;
}

// MODBUS TCP: whole frames of another transaction at the start came late
// for an earlier read; what follows them is this read's reply.
std::span<const std::uint8_t> OwnReply(const RegisterRead& read,
                                       std::span<const std::uint8_t> reply) {
  if (read.serial) return reply;
  while (reply.size() >= 6 && (reply[0] << 8 | reply[1]) != read.transaction && reply[2] == 0 &&
         reply[3] == 0) {
    const std::size_t size = 6 + (std::size_t{reply[4]} << 8 | reply[5]);
    if (reply.size() < size) break;
    reply = reply.subspan(size);
  }
  return reply;
}

tools::ReadReply DecodeRead(bool serial, std::span<const std::uint8_t> reply) {
  return serial ? tools::DecodeRtuReadReply(reply) : tools::DecodeTcpReadReply(reply);
}

// In HART's command 3 reply the loop current follows the response code and
// the device status: FF 86, five address bytes, command, byte count, the
// two status bytes, then four bytes of the current.
constexpr std::size_t kLoopCurrentAt = 11;

}  // namespace

bool SystemReportComplete(std::span<const std::uint8_t> reply) {
  return DecodesWhole(reply, [](std::string_view r) { gateway::SystemFromReport(r); });
}

bool MeterReportComplete(int meter, std::span<const std::uint8_t> reply) {
  return DecodesWhole(reply, [meter](std::string_view r) { gateway::MeterFromReport(meter, r); });
}

Bytes RegisterReadRequest(const RegisterRead& read) {
  const auto start = static_cast<std::uint8_t>(tools::FirstRegister(read.firstMeter, 0));
  const auto count = static_cast<std::uint8_t>(RegisterCount(read));
  if (read.serial) return AsVector(tools::RtuReadRequest(read.slave, start, count));
  Bytes frame = AsVector(tools::TcpReadRequest(read.slave, start, count));
  frame[0] = static_cast<std::uint8_t>(read.transaction >> 8);
  frame[1] = static_cast<std::uint8_t>(read.transaction);
  return frame;
}

bool RegisterReplyComplete(const RegisterRead& read, std::span<const std::uint8_t> reply) {
  reply = OwnReply(read, reply);
  return !reply.empty() &&
         DecodeRead(read.serial, reply).status != tools::ReadReply::Status::Incomplete;
}

void TakeRegisterValues(const RegisterRead& read, std::span<const std::uint8_t> reply,
                        std::vector<Sample>& samples) {
  reply = OwnReply(read, reply);
  if (reply.empty()) return;
  const tools::ReadReply r = DecodeRead(read.serial, reply);
  const bool ownTransaction = read.serial || (reply[0] << 8 | reply[1]) == read.transaction;
  const bool sound = r.status == tools::ReadReply::Status::Complete && r.unit == read.slave &&
                     ownTransaction &&
                     r.data.size() == 2 * static_cast<std::size_t>(RegisterCount(read));
  const int start = tools::FirstRegister(read.firstMeter, 0);
  for (Sample& s : samples) {
    s.value = NAN;
    if (!sound) {
      s.status = Status::kBadReply;
      continue;
    }
    const auto at =
        static_cast<std::size_t>(2 * (tools::FirstRegister(s.meter, s.quantity) - start));
    const std::span<const std::uint8_t, 4> four(r.data.data() + at, 4);
    const int order = read.byteOrders[static_cast<std::size_t>(s.meter - 1)]
                                     [static_cast<std::size_t>(s.quantity)];
    const std::uint32_t pattern = tools::ValuePattern(four, order);
    const double value =
        tools::IsFloatOrder(order) ? std::bit_cast<float>(pattern) : static_cast<double>(pattern);
    s.status = std::isnan(value) ? Status::kNoAnswer : Status::kOk;
    if (s.status == Status::kOk) s.value = value;
  }
}

Bytes ChannelCommand(int channel) {
  const std::string command = gateway::HartAddressCommand(channel - 1);
  return {command.begin(), command.end()};
}

std::string UnitName(std::uint8_t unitCode) {
  const std::string_view symbol = hart::UnitSymbol(unitCode);
  return symbol.empty() ? "unit code " + std::to_string(unitCode) : std::string(symbol);
}

HartReading ReadVariables(std::span<const std::uint8_t> reply,
                          std::span<const std::uint8_t> requestBody) {
  HartReading reading;
  const hart::CheckedReply checked =
      hart::CheckReply(reply, requestBody, hart::kVariablesByteCount);
  if (!checked.ok()) {
    reading.error = checked.error;
    return reading;
  }
  // Bit 7 of the response code: the instrument did not understand the
  // frame, and the data are not values.
  if (checked.responseCode & 0x80) {
    reading.error = "communication error " + std::to_string(checked.responseCode);
    return reading;
  }
  reading.values.loopCurrent =
      hart::FloatFromBytes(reply.subspan(checked.at + kLoopCurrentAt).first<4>());
  std::vector<hart::DynamicVariable> variables = hart::DecodeDynamicVariables(reply);
  // Only the variables the byte count holds whole.
  variables.resize(std::min<std::size_t>(
      variables.size(),
      1 + (checked.byteCount - hart::kVariablesByteCount) / hart::kVariableBytes));
  for (const hart::DynamicVariable& v : variables) {
    reading.values.variables.push_back(v.value);
    reading.values.units.push_back(UnitName(v.unitCode));
  }
  return reading;
}

}  // namespace kv770::live
