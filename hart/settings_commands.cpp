#include "hart/settings_commands.h"

#include <stdexcept>

#include "gateway/fields.h"

namespace kv770::hart {

namespace {

using gateway::ListDigit;
using gateway::MeterDigit;
using gateway::TwoDigits;

// '1' + position: the gateway counts addresses and meters from 1 here.
char CountedFromOne(int position) {
  return static_cast<char>('1' + position);
}

}  // namespace

std::string HartAddressCommand(int addressPosition) {
  std::string command = "QQS#HCS:";
  command += CountedFromOne(addressPosition);
  command += '#';
  return command;
}

std::string ChannelTestCommand(int meterPosition) {
  std::string command = "QQS#MCS:";
  command += CountedFromOne(meterPosition);
  command += '#';
  return command;
}

std::string ReadMeterCommand(int meterPosition, int command, int enablePosition,
                             std::span<const std::uint8_t> bytes) {
  if (command != 1 && command != 2) throw std::out_of_range("read-meter command 1 or 2");
  if (bytes.empty() || bytes.size() > 14) throw std::out_of_range("1 to 14 command bytes");
  std::string out = "QQS#CAMD";
  out += MeterDigit(meterPosition);
  out += static_cast<char>('0' + command);
  out += ':';
  out += ListDigit(enablePosition);
  out += '<';
  out += TwoDigits(static_cast<int>(bytes.size()));
  out += ',';
  out.append(bytes.begin(), bytes.end());
  return out;
}

std::string ParsingFormatCommand(int meterPosition, int addressBitsPosition,
                                 const std::array<VariableParsing, 4>& variables) {
  std::string out = "QQS#MDBS";
  out += MeterDigit(meterPosition);
  out += ':';
  out += static_cast<char>('3' + addressBitsPosition);
  for (const VariableParsing& v : variables) {
    out += ',';
    out += ListDigit(v.commandPosition);
    out += TwoDigits(v.start);
    out += ListDigit(v.lengthPosition);
  }
  out += '#';
  return out;
}

}  // namespace kv770::hart
