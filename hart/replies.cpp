// SPDX-License-Identifier: GPL-3.0-or-later
#include "hart/replies.h"

#include <array>
#include <bit>

#include "base/hex_text.h"

namespace kv770::hart {

namespace {

// First i with reply[i] = FF and reply[i + 1] = delimiter, searched the way
// the window always has: up to four bytes before the end.
std::optional<std::size_t> FindReply(std::span<const std::uint8_t> reply, std::uint8_t delimiter) {
  if (reply.size() < 5) return std::nullopt;
  for (std::size_t i = 0; i + 5 <= reply.size(); ++i)
    if (reply[i] == kPreambleByte && reply[i + 1] == delimiter) return i;
  return std::nullopt;
}

// Offsets from the matched FF.
constexpr std::size_t kManufacturer = 8;
constexpr std::size_t kDeviceType = 9;
constexpr std::size_t kPreambles = 10;
constexpr std::size_t kDeviceId = 16;  // three bytes
constexpr std::size_t kByteCount = 8;
constexpr std::size_t kPrimaryUnit = 15;  // unit code, then four value bytes
constexpr std::size_t kVariableStride = 5;
constexpr unsigned kBytesBeforeSecondary = 11;  // count up to the primary variable

}  // namespace

float FloatFromBytes(std::span<const std::uint8_t, 4> bytes) {
  const std::uint32_t pattern = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
  return std::bit_cast<float>(pattern);
}

std::optional<Identity> DecodeIdentity(std::span<const std::uint8_t> reply) {
  const auto found = FindReply(reply, kShortReply);
  if (!found) return std::nullopt;
  const std::size_t i = *found;
  // A later pair would lie further on, so a cut-off first one decides.
  if (i + kDeviceId + 2 >= reply.size()) return std::nullopt;
  Identity id;
  id.manufacturer = reply[i + kManufacturer];
  id.deviceType = reply[i + kDeviceType];
  id.preambles = reply[i + kPreambles];
  id.deviceId = (std::uint32_t{reply[i + kDeviceId]} << 16) |
                (std::uint32_t{reply[i + kDeviceId + 1]} << 8) | reply[i + kDeviceId + 2];
  return id;
}

std::vector<DynamicVariable> DecodeDynamicVariables(std::span<const std::uint8_t> reply) {
  std::vector<DynamicVariable> variables;
  const auto found = FindReply(reply, kLongReply);
  if (!found) return variables;
  const std::size_t i = *found;

  auto read = [&](std::size_t unitAt) -> bool {
    if (unitAt + 4 >= reply.size()) return false;
    variables.push_back({FloatFromBytes(reply.subspan(unitAt + 1).first<4>()), reply[unitAt]});
    return true;
  };

  if (!read(i + kPrimaryUnit)) return variables;
  // Only the byte count says how many follow; bytes that arrived are read
  // even where it announces fewer than a whole variable.
  const unsigned bc = reply[i + kByteCount];
  for (unsigned k = 0; k < 3 && bc > kBytesBeforeSecondary + kVariableStride * k; ++k)
    if (!read(i + kPrimaryUnit + kVariableStride * (k + 1))) break;
  return variables;
}

bool ReplyComplete(std::span<const std::uint8_t> reply) {
  for (std::size_t i = 0; i + 1 < reply.size(); ++i) {
    if (reply[i] != kPreambleByte) continue;
    if (reply[i + 1] != kShortReply && reply[i + 1] != kLongReply) continue;
    // Delimiter, address, command, then the byte count.
    const std::size_t countAt = i + 2 + (reply[i + 1] == kLongReply ? 5 : 1) + 1;
    if (countAt >= reply.size()) return false;
    const std::size_t checkAt = countAt + 1 + reply[countAt];
    return checkAt < reply.size();
  }
  return false;
}

namespace {

// The address bytes with the burst-mode bit of the first one cleared: a
// slave in burst mode sets it in its replies.
std::vector<std::uint8_t> EchoedAddress(std::span<const std::uint8_t> address) {
  std::vector<std::uint8_t> bytes(address.begin(), address.end());
  if (!bytes.empty()) bytes[0] &= static_cast<std::uint8_t>(~0x40);
  return bytes;
}

std::size_t AddressLength(std::uint8_t delimiter) {
  return (delimiter & 0x80) ? 5 : 1;
}

}  // namespace

std::string ResponseCodeName(std::uint8_t code) {
  if (code & 0x80) return "communication error";
  switch (code) {
    case 0:
      return "success";
    case 2:
      return "invalid selection";
    case 5:
      return "too few data bytes received";
    case 6:
      return "device-specific command error";
    case 16:
      return "access restricted";
    case 32:
      return "busy";
    case 64:
      return "command not implemented";
    default:
      return {};
  }
}

CheckedReply CheckReply(std::span<const std::uint8_t> reply,
                        std::span<const std::uint8_t> requestBody, unsigned minimumCount) {
  CheckedReply r;
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i + 1 < reply.size() && !found; ++i)
    if (reply[i] == kPreambleByte && (reply[i + 1] == kShortReply || reply[i + 1] == kLongReply))
      found = i;
  if (!found) {
    r.error = "no HART reply in it (no FF 06 or FF 86)";
    return r;
  }
  r.at = *found;
  const std::uint8_t delimiter = reply[r.at + 1];
  const std::uint8_t requested = requestBody.empty() ? 0 : requestBody[0];
  const bool known = requested == kShortRequest || requested == kLongRequest;
  const std::size_t requestAddressLength = AddressLength(requested);
  const bool requestWhole = requestBody.size() >= 1 + requestAddressLength + 1;
  if (known && delimiter != (requested == kLongRequest ? kLongReply : kShortReply)) {
    r.error = "delimiter " + base::HexText(std::array{delimiter}) + " where " +
              base::HexText(std::array{requested == kLongRequest ? kLongReply : kShortReply}) +
              " answers the request";
    return r;
  }

  const std::size_t addressAt = r.at + 2;
  const std::size_t commandAt = addressAt + AddressLength(delimiter);
  const std::size_t countAt = commandAt + 1;
  if (countAt >= reply.size()) {
    r.error = "the reply ends before its byte count";
    return r;
  }
  r.command = reply[commandAt];
  r.byteCount = reply[countAt];
  const std::size_t checkAt = countAt + 1 + r.byteCount;
  if (checkAt >= reply.size()) {
    r.error = "byte count " + std::to_string(r.byteCount) + ", but " +
              std::to_string(reply.size() - countAt - 1) + " bytes follow it";
    return r;
  }
  const std::uint8_t check = CheckByte(reply.subspan(r.at + 1, checkAt - r.at - 1));
  if (reply[checkAt] != check) {
    r.error = "check byte " + base::HexText(std::array{reply[checkAt]}) + " where " +
              base::HexText(std::array{check}) + " was expected";
    return r;
  }
  if (known && requestWhole) {
    const auto sent = EchoedAddress(requestBody.subspan(1, requestAddressLength));
    const auto echoed = EchoedAddress(reply.subspan(addressAt, requestAddressLength));
    if (sent != echoed) {
      r.error = "address " + base::HexText(reply.subspan(addressAt, requestAddressLength)) +
                " where " + base::HexText(requestBody.subspan(1, requestAddressLength)) +
                " was sent";
      return r;
    }
    const std::uint8_t command = requestBody[1 + requestAddressLength];
    if (r.command != command) {
      r.error = "command " + std::to_string(r.command) + " where command " +
                std::to_string(command) + " was sent";
      return r;
    }
  }
  if (r.byteCount < 2) {
    r.error = "byte count " + std::to_string(r.byteCount) +
              " leaves no room for the response code and device status";
    return r;
  }
  r.responseCode = reply[countAt + 1];
  r.deviceStatus = reply[countAt + 2];
  if (r.byteCount < minimumCount) {
    const std::string name = ResponseCodeName(r.responseCode);
    r.error = r.responseCode != 0
                  ? "the instrument answered with response code " + std::to_string(r.responseCode) +
                        (name.empty() ? "" : " (" + name + ")") + " and no data"
                  : "byte count " + std::to_string(r.byteCount) + " is too short for command " +
                        std::to_string(r.command) + " (" + std::to_string(minimumCount) +
                        " at least)";
  }
  return r;
}

}  // namespace kv770::hart
