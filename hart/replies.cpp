#include "hart/replies.h"

#include <bit>

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

}  // namespace kv770::hart
