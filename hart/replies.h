#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hart/frame.h"

namespace kv770::hart {

// Decoders of the instrument's replies as the gateway passes them through.
// A reply is found by the last preamble byte and its delimiter; the fields
// then sit at fixed distances from that pair. Only the bytes handed in are
// read: what did not arrive with this reply is never taken from an earlier
// one.

// Command 0: the first FF 06 pair whose fields (up to the device id, 18
// bytes on) all arrived. Nothing when there is none.
std::optional<Identity> DecodeIdentity(std::span<const std::uint8_t> reply);

struct DynamicVariable {
  float value = 0;
  std::uint8_t unitCode = 0;
};

// Command 3: the dynamic variables of the first FF 86 pair, primary first.
// The byte count decides how many follow the primary one (12 to 16 adds
// the secondary, 17 to 21 the tertiary, 22 and more the quaternary);
// decoding stops at the first variable whose unit code and four value
// bytes did not all arrive, so a reply without its primary variable gives
// none.
std::vector<DynamicVariable> DecodeDynamicVariables(std::span<const std::uint8_t> reply);

// Whether `reply` holds a whole frame by now: the first FF 06 or FF 86
// pair, the address (one or five bytes), command, byte count, that many
// data bytes and the check byte. Lets a reader stop waiting as soon as the
// instrument's answer is in.
bool ReplyComplete(std::span<const std::uint8_t> reply);

// A single-precision number sent most significant byte first.
float FloatFromBytes(std::span<const std::uint8_t, 4> bytes);

}  // namespace kv770::hart
