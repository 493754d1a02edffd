// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
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

// A reply checked against the request it answers, as the command line does
// before it believes one (the window's decoders take what they find). The
// frame is the first FF 06 or FF 86 pair, as the decoders find it.
struct CheckedReply {
  std::string error;   // what is wrong, empty for a sound frame
  std::size_t at = 0;  // the FF before the delimiter
  std::uint8_t command = 0;
  std::uint8_t byteCount = 0;
  std::uint8_t responseCode = 0;  // bit 7 set: a communication error
  std::uint8_t deviceStatus = 0;
  bool ok() const { return error.empty(); }
};

// Checks the delimiter (06 for a short request, 86 for a long one), the
// address echo (the burst-mode bit aside), the command number, that the
// byte count's data and the check byte arrived, the check byte, and that
// the data hold at least `minimumCount` bytes, response code and device
// status included. A request of another delimiter is answered by either
// reply delimiter and only the frame itself is checked.
CheckedReply CheckReply(std::span<const std::uint8_t> reply,
                        std::span<const std::uint8_t> requestBody, unsigned minimumCount = 2);

// The byte counts below which a reply cannot hold what its decoder reads:
// command 0 up to the device id, command 3 up to the primary variable
// (each further variable takes five bytes more).
inline constexpr unsigned kIdentityByteCount = 14;
inline constexpr unsigned kVariablesByteCount = 11;
inline constexpr unsigned kVariableBytes = 5;

// "command not implemented" for 64; empty for codes without a name here.
std::string ResponseCodeName(std::uint8_t code);

// A single-precision number sent most significant byte first.
float FloatFromBytes(std::span<const std::uint8_t, 4> bytes);

}  // namespace kv770::hart
