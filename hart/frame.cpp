// SPDX-License-Identifier: GPL-3.0-or-later
#include "hart/frame.h"

#include <stdexcept>

namespace kv770::hart {

std::uint8_t MasterBit(int modePosition) {
  return modePosition == 0 ? 0x80 : 0x00;
}

std::uint8_t CheckByte(std::span<const std::uint8_t> body) {
  std::uint8_t check = 0;
  for (std::uint8_t b : body) check ^= b;
  return check;
}

Bytes Frame(int preambleNumber, std::span<const std::uint8_t> body) {
  if (preambleNumber < kMinPreambleNumber) throw std::out_of_range("preamble number below -1");
  Bytes frame(static_cast<std::size_t>(preambleNumber + 1), kPreambleByte);
  frame.insert(frame.end(), body.begin(), body.end());
  frame.push_back(CheckByte(body));
  return frame;
}

Bytes IdentityRequestBody(std::uint8_t masterBit) {
  return {
      kShortRequest,  // delimiter
      masterBit,      // polling address 0
      0x00,           // command 0
      0x00,           // byte count
  };
}

Bytes IdentityRequestBody(std::uint8_t masterBit, int pollingAddress) {
  if (pollingAddress < 0 || pollingAddress > kMaxPollingAddress)
    throw std::out_of_range("polling address outside 0..63");
  Bytes body = IdentityRequestBody(masterBit);
  body[1] = static_cast<std::uint8_t>(masterBit | pollingAddress);
  return body;
}

Bytes VariablesRequestBody(std::uint8_t masterBit, const Identity& instrument) {
  // Only the low six bits of the manufacturer code fit beside the master bit.
  const auto first = static_cast<std::uint8_t>(masterBit | (instrument.manufacturer & 0x3F));
  const std::uint32_t id = instrument.deviceId;
  return {
      kLongRequest,                         // delimiter
      first,                                // address: master bit, manufacturer
      instrument.deviceType,                //   device type
      static_cast<std::uint8_t>(id >> 16),  //   device id, high byte first
      static_cast<std::uint8_t>(id >> 8),   //
      static_cast<std::uint8_t>(id),        //
      0x03,                                 // command 3
      0x00,                                 // byte count
  };
}

}  // namespace kv770::hart
