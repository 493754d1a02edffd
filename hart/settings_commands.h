#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace kv770::hart {

// The gateway's ASCII set commands of its HART side: the transparent
// channel, the channel test, and how a custom meter is read and parsed.
// List positions come as the window's boxes give them, -1 for none; list
// digits and the meter digit are '0' + position ('/' for none).

// "QQS#HCS:a#": a = '1' + address position ('0' with none selected).
std::string HartAddressCommand(int addressPosition);

// "QQS#MCS:m#": m = '1' + meter position ('0' with none selected).
std::string ChannelTestCommand(int meterPosition);

// "QQS#CAMD" meter digit, '1' or '2', ':', enable digit, '<', two-digit
// count, ',' and then the command's bytes themselves, without a closing
// '#'. Throws std::out_of_range for a command other than 1 or 2, or for
// 0 or more than 14 bytes.
std::string ReadMeterCommand(int meterPosition, int command, int enablePosition,
                             std::span<const std::uint8_t> bytes);

// Where one variable of a custom meter lies in the read-meter replies.
struct VariableParsing {
  int commandPosition = -1;  // 0 not parsed, 1 command 1, 2 command 2
  int start = 0;             // byte offset, 0..99
  int lengthPosition = -1;   // 0 four bytes, 1 eight bytes
};

// "QQS#MDBS" meter digit ':' bits ',' then per variable command digit,
// two-digit start, length digit, the four groups separated by ',', and
// '#': 32 characters. Bits is '3' + position of the address-bits box ('2'
// with none selected). Throws std::out_of_range for a start outside 0..99,
// which two digits cannot carry.
std::string ParsingFormatCommand(int meterPosition, int addressBitsPosition,
                                 const std::array<VariableParsing, 4>& variables);

}  // namespace kv770::hart
