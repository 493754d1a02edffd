// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/modbus_frames.h"

namespace kv770::tools {

namespace {

// The published table method keeps the CRC as two byte registers, "high"
// (sent first, so the CRC's low byte) and "low", and has one table for each.
// Both are halves of the reflected byte-wise table: entry i is the CRC of
// byte i with polynomial 0xA001.
constexpr std::uint16_t ReflectedEntry(unsigned i) {
  std::uint16_t crc = static_cast<std::uint16_t>(i);
  for (int bit = 0; bit < 8; ++bit)
    crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  return crc;
}

constexpr auto kCrcHigh = [] {
  std::array<std::uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) table[i] = ReflectedEntry(i) & 0xFF;
  return table;
}();

constexpr auto kCrcLow = [] {
  std::array<std::uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) table[i] = ReflectedEntry(i) >> 8;
  return table;
}();

static_assert(kCrcHigh[0] == 0x00 && kCrcHigh[1] == 0xC1 && kCrcHigh[2] == 0x81 &&
              kCrcHigh[3] == 0x40 && kCrcHigh[4] == 0x01 && kCrcHigh[5] == 0xC0 &&
              kCrcHigh[6] == 0x80 && kCrcHigh[7] == 0x41);
static_assert(kCrcLow[0] == 0x00 && kCrcLow[1] == 0xC0 && kCrcLow[2] == 0xC1 &&
              kCrcLow[3] == 0x01 && kCrcLow[4] == 0xC3 && kCrcLow[5] == 0x03 &&
              kCrcLow[6] == 0x02 && kCrcLow[7] == 0xC2);

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  std::uint8_t high = 0xFF;
  std::uint8_t low = 0xFF;
  for (std::uint8_t b : bytes) {
    const std::uint8_t i = b ^ high;
    high = kCrcHigh[i] ^ low;
    low = kCrcLow[i];
  }
  return static_cast<std::uint16_t>(high | (low << 8));
}

std::uint16_t Crc16(std::string_view bytes) {
  return Crc16(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::array<std::uint8_t, 8> RtuReadRequest(std::uint8_t slave, std::uint8_t start,
                                           std::uint8_t count) {
  std::array<std::uint8_t, 8> frame{
      slave,                  // slave address
      kReadHoldingRegisters,  // function
      0x00,                   // start address, high byte
      start,                  // start address, low byte
      0x00,                   // count, high byte
      count,                  // count, low byte
  };
  const std::uint16_t crc = Crc16(std::span(frame).first(6));
  frame[6] = crc & 0xFF;
  frame[7] = crc >> 8;
  return frame;
}

std::array<std::uint8_t, 12> TcpReadRequest(std::uint8_t unit, std::uint8_t start,
                                            std::uint8_t count) {
  // clang-format off
  return {
      0x00, 0x01,             // transaction identifier, the same for every request
      0x00, 0x00,             // protocol identifier
      0x00, 0x06,             // length of what follows
      unit,                   // unit identifier
      kReadHoldingRegisters,  // function
      0x00, start,            // start address
      0x00, count,            // count
  };
  // clang-format on
}

namespace {

constexpr std::uint8_t kExceptionBit = 0x80;

// The PDU after the address or unit: function, then either the byte count
// and the data, or the exception code. `pdu` must be whole.
ReadReply DecodePdu(std::uint8_t unit, std::span<const std::uint8_t> pdu) {
  ReadReply r;
  r.unit = unit;
  r.status = ReadReply::Status::Malformed;
  if (pdu.size() == 2 && pdu[0] == (kReadHoldingRegisters | kExceptionBit)) {
    r.status = ReadReply::Status::Exception;
    r.exceptionCode = pdu[1];
  } else if (pdu.size() >= 2 && pdu[0] == kReadHoldingRegisters && pdu[1] % 2 == 0 &&
             pdu.size() == 2u + pdu[1]) {
    r.status = ReadReply::Status::Complete;
    r.data.assign(pdu.begin() + 2, pdu.end());
  }
  return r;
}

ReadReply Incomplete() {
  return {};
}

ReadReply Malformed() {
  ReadReply r;
  r.status = ReadReply::Status::Malformed;
  return r;
}

}  // namespace

ReadReply DecodeRtuReadReply(std::span<const std::uint8_t> frame) {
  if (frame.size() < 3) return Incomplete();
  std::size_t length;  // address, PDU and CRC
  if (frame[1] == kReadHoldingRegisters)
    length = 3u + frame[2] + 2u;
  else if (frame[1] == (kReadHoldingRegisters | kExceptionBit))
    length = 5;
  else
    return Malformed();
  if (frame.size() < length) return Incomplete();
  if (frame.size() > length || Crc16(frame) != 0) return Malformed();  // CRC over all: 0
  return DecodePdu(frame[0], frame.subspan(1, length - 3));
}

ReadReply DecodeTcpReadReply(std::span<const std::uint8_t> frame) {
  if (frame.size() < 6) return Incomplete();
  if (frame[2] != 0 || frame[3] != 0) return Malformed();
  const std::size_t length = std::size_t{frame[4]} << 8 | frame[5];  // unit and PDU
  if (length < 3) return Malformed();
  if (frame.size() < 6 + length) return Incomplete();
  if (frame.size() > 6 + length) return Malformed();
  return DecodePdu(frame[6], frame.subspan(7));
}

}  // namespace kv770::tools
