// SPDX-License-Identifier: GPL-3.0-or-later
// The gateway's MODBUS side: read holding registers over RTU (serial line)
// and MODBUS TCP. Each meter presents ten registers from 10 * (meter - 1):
// the loop current and variables 1 to 4, one 32-bit value in two registers
// each, in the byte order and type its mapping names.
#include <bit>
#include <charconv>
#include <cmath>
#include <optional>

#include "sim/engine.h"
#include "tools/modbus_frames.h"
#include "tools/register_values.h"

namespace kv770::sim {

namespace {

constexpr int kMeters = 8;
constexpr int kRegisters = kMeters * tools::kRegistersPerMeter;
constexpr int kMaxReadCount = 125;  // what one reply can carry

enum Exception : std::uint8_t {
  kIllegalFunction = 0x01,
  kIllegalDataAddress = 0x02,
  kIllegalDataValue = 0x03,
  // MODBUS TCP addressed to a unit the gateway does not stand for.
  kTargetFailedToRespond = 0x0B,
};

std::uint8_t Byte(std::string_view bytes, std::size_t i) {
  return static_cast<std::uint8_t>(bytes[i]);
}

std::string ExceptionPdu(std::uint8_t function, Exception code) {
  return {static_cast<char>(function | 0x80), static_cast<char>(code)};
}

// The coefficient as the gateway reads its text: the leading number, 0 when
// there is none ("1.000", "-1.5", "2", "12.").
double Coefficient(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The same, for meter 1..8's variable 1..4. Its text seldom changes while
// every read needs it, so the last text read there is kept with its
// number (for each thread, as each may serve a gateway of its own).
double Coefficient(int meter, int variable, const std::string& text) {
  struct Read {
    std::string text;
    double value = 0;
  };
  thread_local std::array<std::array<Read, 4>, kMeters> read;
  Read& last = read[static_cast<std::size_t>(meter - 1)][static_cast<std::size_t>(variable - 1)];
  if (last.text != text) last = {text, Coefficient(text)};
  return last.value;
}

// "No value", for a meter whose instrument does not answer: a quiet NaN
// in IEEE 754 registers, all ones in unsigned ones.
constexpr std::uint32_t kNoFloat = 0x7FC00000u;
constexpr std::uint32_t kNoUnsigned = 0xFFFFFFFFu;

// Unsigned 32-bit registers hold the value rounded, clamped to their range.
std::uint32_t ToUint32(double value) {
  if (std::isnan(value)) return kNoUnsigned;
  if (!(value > 0)) return 0;
  if (value >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(std::llround(value));
}

std::uint32_t ToFloatBits(double value) {
  if (std::isnan(value)) return kNoFloat;  // whatever sign or payload it carried
  return std::bit_cast<std::uint32_t>(static_cast<float>(value));
}

// One value's four bytes FF4 (most significant) .. FF1 in register order.
// Codes: 0 IEEE 754 FF4 FF3 FF2 FF1, 1 IEEE 754 FF2 FF1 FF4 FF3, 2 and 3 the
// same orders as unsigned 32-bit. An unset code reads as 0. NaN is "no
// value".
std::array<std::uint8_t, 4> Encode(double value, int code) {
  const bool integer = code == 2 || code == 3;
  const std::uint32_t bits = integer ? ToUint32(value) : ToFloatBits(value);
  const std::uint8_t ff4 = bits >> 24, ff3 = bits >> 16, ff2 = bits >> 8, ff1 = bits;
  if (code == 1 || code == 3) return {ff2, ff1, ff4, ff3};
  return {ff4, ff3, ff2, ff1};
}

// One value's four register bytes. A meter whose instrument does not
// answer reads NaN (Engine::Readings), whatever the coefficient.
std::array<std::uint8_t, 4> ValueBytes(const Engine& engine, int meter, int value,
                                       const std::array<double, 5>& readings) {
  const MeterMapping& mapping = engine.Model().meters[static_cast<std::size_t>(meter - 1)];
  const auto v = static_cast<std::size_t>(value);
  const double reading = value == 0
                             ? readings[0]
                             : readings[v] * Coefficient(meter, value, mapping.coefficients[v - 1]);
  return Encode(reading, mapping.byteOrders[v]);
}

// What is wrong with a request PDU (function code and data), if anything.
std::optional<Exception> Refusal(std::string_view pdu) {
  if (Byte(pdu, 0) != tools::kReadHoldingRegisters) return kIllegalFunction;
  if (pdu.size() != 5) return kIllegalDataValue;
  const int start = Byte(pdu, 1) << 8 | Byte(pdu, 2);
  const int count = Byte(pdu, 3) << 8 | Byte(pdu, 4);
  if (count < 1 || count > kMaxReadCount) return kIllegalDataValue;
  if (start + count > kRegisters) return kIllegalDataAddress;
  return std::nullopt;
}

// Appends the reply PDU to a request PDU.
void AnswerPdu(const Engine& engine, std::string_view pdu, std::int64_t nowMs, std::string& out) {
  const std::uint8_t function = Byte(pdu, 0);
  if (const std::optional<Exception> refused = Refusal(pdu)) {
    out += ExceptionPdu(function, *refused);
    return;
  }
  const int start = Byte(pdu, 1) << 8 | Byte(pdu, 2);
  const int count = Byte(pdu, 3) << 8 | Byte(pdu, 4);
  const std::size_t at = out.size();
  out.resize(at + 2 + 2 * static_cast<std::size_t>(count));
  char* bytes = out.data() + at;
  *bytes++ = static_cast<char>(function);
  *bytes++ = static_cast<char>(2 * count);
  // Each value is worked out once, for the first of its registers asked.
  int meterRead = 0;
  std::array<double, 5> readings{};
  for (int r = start; r < start + count;) {
    const auto [meter, value, first] = tools::PlaceOfRegister(r);
    if (meter != meterRead) readings = engine.Readings(meter, nowMs);
    meterRead = meter;
    const std::array<std::uint8_t, 4> four = ValueBytes(engine, meter, value, readings);
    // Both registers of the value, or the second alone when the read
    // starts there, or the first alone when it ends there.
    for (std::size_t k = first ? 0 : 2; k < 4 && r < start + count; k += 2, ++r) {
      *bytes++ = static_cast<char>(four[k]);
      *bytes++ = static_cast<char>(four[k + 1]);
    }
  }
}

// An RTU frame: address, PDU, CRC. A real slave stays quiet on a frame
// with a bad CRC or for another address, and so does the gateway.
std::string AnswerRtu(const Engine& engine, std::string_view frame, std::int64_t nowMs) {
  if (frame.size() < 4 || tools::Crc16(frame) != 0) return {};  // CRC included: 0 when intact
  const std::uint8_t address = Byte(frame, 0);
  if (address != engine.Model().slaveAddress) return {};
  std::string reply(1, static_cast<char>(address));
  AnswerPdu(engine, frame.substr(1, frame.size() - 3), nowMs, reply);
  const std::uint16_t crc = tools::Crc16(reply);
  reply += static_cast<char>(crc & 0xFF);
  reply += static_cast<char>(crc >> 8);
  return reply;
}

// MODBUS TCP: the MBAP header (transaction, protocol 0, length of what
// follows, unit) and the PDU. Frames sent back to back are answered in
// turn; whatever does not make a whole frame gets no answer.
void AnswerTcp(const Engine& engine, std::string_view request, std::int64_t nowMs,
               std::string& replies) {
  while (request.size() >= 8) {
    const std::size_t length = Byte(request, 4) << 8 | Byte(request, 5);
    if (Byte(request, 2) != 0 || Byte(request, 3) != 0 || length < 2 || request.size() < 6 + length)
      break;
    const std::uint8_t unit = Byte(request, 6);
    const std::string_view pdu = request.substr(7, length - 1);
    const std::size_t header = replies.size();
    replies.append(request.substr(0, 4));  // transaction and protocol, echoed
    replies.append(2, '\0');               // the length, once known
    replies += static_cast<char>(unit);
    if (unit == engine.Model().slaveAddress)
      AnswerPdu(engine, pdu, nowMs, replies);
    else
      replies += ExceptionPdu(Byte(pdu, 0), kTargetFailedToRespond);
    const std::size_t replyLength = replies.size() - header - 6;
    replies[header + 4] = static_cast<char>(replyLength >> 8);
    replies[header + 5] = static_cast<char>(replyLength & 0xFF);
    request.remove_prefix(6 + length);
  }
}

}  // namespace

void Engine::ModbusRequest(std::string_view request, std::int64_t nowMs, Transport transport,
                           std::string& reply) {
  if (transport == Transport::Serial)
    reply += AnswerRtu(*this, request, nowMs);
  else
    AnswerTcp(*this, request, nowMs, reply);
}

}  // namespace kv770::sim
