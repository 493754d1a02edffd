// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated gateway's request parser: random requests over either link,
// in sequence against one gateway. Every reply is well formed for what it
// is: a text reply is printable and closed by '#', a HART reply is a whole
// frame with a correct check byte, a MODBUS reply carries a correct CRC
// (RTU) or exact MBAP lengths (TCP). Whatever the requests did to the
// settings, the gateway's reports then decode in the tool without a bad
// number and show exactly the settings it holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/hex_text.h"
#include "fuzz_check.h"
#include "gateway/reports.h"
#include "sim/engine.h"

namespace {

using kv770::sim::Engine;
using kv770::sim::Transport;

std::uint8_t At(std::string_view s, std::size_t i) {
  return static_cast<std::uint8_t>(s[i]);
}

// CRC-16/MODBUS written out bit by bit, independent of the one under test.
std::uint16_t ReferenceCrc(std::string_view bytes) {
  std::uint16_t crc = 0xFFFF;
  for (char c : bytes) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

bool Text(std::string_view r) {
  for (char c : r)
    if (c < 0x20 || c > 0x7E) return false;
  return r.ends_with('#');
}

// Preamble, delimiter, one- or five-byte address, command, byte count (at
// least the response code and status), data, check byte: nothing more.
bool HartFrame(std::string_view r) {
  std::size_t p = 0;
  while (p < r.size() && At(r, p) == 0xFF) ++p;
  if (p < 2 || p >= r.size()) return false;
  const std::uint8_t delimiter = At(r, p);
  if (delimiter != 0x06 && delimiter != 0x86) return false;
  const std::size_t countAt = p + (delimiter == 0x86 ? 5 : 1) + 2;
  if (countAt >= r.size() || At(r, countAt) < 2) return false;
  const std::size_t checkAt = countAt + 1 + At(r, countAt);
  if (checkAt + 1 != r.size()) return false;
  std::uint8_t check = 0;
  for (std::size_t k = p; k < checkAt; ++k) check ^= At(r, k);
  return check == At(r, checkAt);
}

// A MODBUS PDU answering read holding registers: the data with its byte
// count, or an exception.
bool Pdu(std::string_view pdu) {
  if (pdu.size() < 2) return false;
  if (At(pdu, 0) & 0x80) return pdu.size() == 2;
  return At(pdu, 0) == 0x03 && At(pdu, 1) % 2 == 0 && pdu.size() == 2u + At(pdu, 1);
}

bool Rtu(std::string_view r, std::uint8_t slave) {
  return r.size() >= 5 && At(r, 0) == slave && ReferenceCrc(r) == 0 &&
         Pdu(r.substr(1, r.size() - 3));
}

// One or more MBAP frames back to back, each exactly as long as it says.
bool Mbap(std::string_view r) {
  if (r.empty()) return false;
  while (!r.empty()) {
    if (r.size() < 8 || At(r, 2) != 0 || At(r, 3) != 0) return false;
    const std::size_t length = At(r, 4) << 8 | At(r, 5);
    if (length < 3 || r.size() < 6 + length) return false;
    if (!Pdu(r.substr(7, length - 1))) return false;
    r.remove_prefix(6 + length);
  }
  return true;
}

std::string Digits(int value, std::size_t width) {
  std::string text = std::to_string(value);
  return std::string(width - std::min(width, text.size()), '0') + text;
}

void CheckReports(Engine& engine, std::int64_t now) {
  const kv770::sim::GatewayModel& m = engine.Model();
  const auto sys = kv770::gateway::DecodeSystemReport(engine.Handle("QQQ#QX#", now));
  FUZZ_CHECK(sys.marker && !sys.badNumber);
  FUZZ_CHECK(sys.baud == m.baudCode && sys.parity == m.parityCode);
  FUZZ_CHECK(sys.workingMode == m.workingMode);
  FUZZ_CHECK(sys.slaveAddress == Digits(m.slaveAddress, 3));
  FUZZ_CHECK(sys.pollingInterval == Digits(m.pollingInterval, 3));

  for (int meter = 0; meter < 8; ++meter) {
    const std::string query = "QQQ#QQ" + std::to_string(meter) + "#";
    const auto r = kv770::gateway::DecodeModbusReport(engine.Handle(query, now), -1);
    const kv770::sim::MeterMapping& mm = m.meters[static_cast<std::size_t>(meter)];
    FUZZ_CHECK(r.marker && !r.badNumber);
    FUZZ_CHECK(r.enable == mm.enable && r.deviceMode == mm.deviceRole);
    FUZZ_CHECK(r.instrumentType == mm.instrumentType);
    FUZZ_CHECK(r.preamblePosition == mm.preambles - 4);
    FUZZ_CHECK(r.bufferClearTime == Digits(mm.bufferClearTime, 3));
    for (std::size_t i = 0; i < 5; ++i) FUZZ_CHECK(r.byteOrders[i] == mm.byteOrders[i]);
    for (std::size_t i = 0; i < 4; ++i) FUZZ_CHECK(r.coefficients[i] == mm.coefficients[i]);
    FUZZ_CHECK(r.custom == (mm.instrumentType == 0));
    if (!*r.custom) continue;
    FUZZ_CHECK(r.addressBitsPosition == mm.addressBits - 3);
    for (std::size_t i = 0; i < 4; ++i) {
      FUZZ_CHECK(r.variables[i].command == mm.parse[i].command);
      FUZZ_CHECK(r.variables[i].start == Digits(mm.parse[i].start, 2));
      FUZZ_CHECK(r.variables[i].length == mm.parse[i].length);
    }
    FUZZ_CHECK(r.workingMode == m.workingMode);
    for (std::size_t c = 0; c < 2; ++c) {
      FUZZ_CHECK(r.readCommands[c].enable == mm.readCommands[c].enable);
      FUZZ_CHECK(r.readCommands[c].text == kv770::base::HexText(mm.readCommands[c].bytes));
    }
  }
}

}  // namespace

// Input: requests one after the other, each as a flags byte (bit 0 the
// serial line, the rest how far the clock moves on), a length byte and the
// request. A fresh gateway per input, so a finding replays from its input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Engine engine;
  std::int64_t now = 0;
  std::size_t p = 0;
  while (p + 2 <= size) {
    const std::uint8_t flags = data[p];
    const std::size_t length = std::min<std::size_t>(data[p + 1], size - p - 2);
    const std::string_view request(reinterpret_cast<const char*>(data + p + 2), length);
    p += 2 + length;
    now += (flags >> 1) * 997;

    const Transport transport = flags & 1 ? Transport::Serial : Transport::Tcp;
    const auto slave = static_cast<std::uint8_t>(engine.Model().slaveAddress);
    const std::string reply = engine.Handle(request, now, transport);
    if (reply.empty()) continue;
    FUZZ_CHECK(reply.size() <= 4096);
    const bool modbus = transport == Transport::Serial ? Rtu(reply, slave) : Mbap(reply);
    FUZZ_CHECK(Text(reply) || HartFrame(reply) || modbus);
  }
  CheckReports(engine, now);
  return 0;
}
