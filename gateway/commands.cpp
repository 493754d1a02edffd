// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/commands.h"

#include <cstdint>
#include <stdexcept>

#include "gateway/fields.h"

namespace kv770::gateway {

namespace {

// A number in a picture of zeros: at least `width` digits, the sign before
// them, never cut.
std::string ZeroFilled(int value, std::size_t width) {
  const auto magnitude = static_cast<std::uint64_t>(value < 0 ? -std::int64_t{value} : value);
  std::string digits = std::to_string(magnitude);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

}  // namespace

std::string CommunicationCheck() {
  return "PPPPPP#VAR#";
}

bool AnswersCommunicationCheck(std::string_view reply) {
  return reply.find("QV:") != std::string_view::npos;
}

bool ShortAnswerWhole(std::string_view reply) {
  return !reply.empty() && reply.back() == '#';
}

std::string Rs485Settings(int baudPosition, int parityPosition) {
  std::string c = "QQS#BA1:";
  c += ListDigit(baudPosition);
  c += ListDigit(parityPosition);
  c += '#';
  return c;
}

std::string WorkingMode(int modePosition) {
  std::string c = "QQS#MD:";
  c += ListDigit(modePosition);
  c += '#';
  return c;
}

std::string SlaveAddress(int address) {
  std::string c = "QQS#ADR:";
  c += ThreeDigits(address);
  c += '#';
  return c;
}

std::string PollingInterval(int interval) {
  std::string c = "QQS#JTM:";
  c += ThreeDigits(interval);
  c += '#';
  return c;
}

std::string ParameterReset() {
  return "QQS#RESET#";
}

std::string HiddenCommand(int argument) {
  std::string c = "QQS#YB:";
  c += TwoDigits(argument);
  c += '#';
  return c;
}

std::string BoardSerial(int serial, int inspector) {
  std::string c = "TAVELK#PCBSN:";
  c += ZeroFilled(serial, 8);
  c += ',';
  c += ZeroFilled(inspector, 3);
  c += '#';
  return c;
}

std::string SystemReportQuery() {
  return "QQQ#QX#";
}

std::string PollingSetupCommand(int meterPosition, const PollingSetup& setup) {
  std::string c = "QQS#HART";
  c += MeterDigit(meterPosition);
  c += ':';
  c += ListDigit(setup.enable);
  c += ',';
  c += ListDigit(setup.deviceMode);
  c += ',';
  c += ListPositionTwoDigits(setup.instrumentType);
  c += ',';
  c += static_cast<char>('4' + setup.preamblePosition);  // the preamble count itself
  c += ',';
  c += ThreeDigits(setup.bufferClearTime);
  c += '#';
  return c;
}

std::string ByteOrdersCommand(int meterPosition, const std::array<int, 5>& orders) {
  std::string c = "QQS#DFOT";
  c += MeterDigit(meterPosition);
  c += ':';
  c += ListDigit(orders[0]);  // current, 40001
  c += ListDigit(orders[1]);  // variable 1, 40003
  c += ListDigit(orders[2]);  // variable 2, 40005
  c += ListDigit(orders[3]);  // variable 3, 40007
  c += ListDigit(orders[4]);  // variable 4, 40009
  c += '#';
  return c;
}

std::string CoefficientsCommand(int meterPosition, const std::array<std::string, 4>& texts) {
  std::string c = "QQS#XISH";
  c += std::to_string(meterPosition);
  c += ':';
  c += texts[0];
  c += ',';
  c += texts[1];
  c += ',';
  c += texts[2];
  c += ',';
  c += texts[3];
  c += '#';
  return c;
}

std::string ModbusReportQuery(int meterPosition) {
  std::string c = "QQQ#QQ";
  c += MeterDigit(meterPosition);
  c += '#';
  return c;
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
                                 const std::array<ParsingFormatVariable, 4>& variables) {
  std::string out = "QQS#MDBS";
  out += MeterDigit(meterPosition);
  out += ':';
  out += static_cast<char>('3' + addressBitsPosition);
  for (const ParsingFormatVariable& v : variables) {
    out += ',';
    out += ListDigit(v.commandPosition);
    out += TwoDigits(v.start);
    out += ListDigit(v.lengthPosition);
  }
  out += '#';
  return out;
}

// The gateway counts HART addresses and meters from 1 here: '1' + position.
std::string HartAddressCommand(int addressPosition) {
  return std::string("QQS#HCS:") + static_cast<char>('1' + addressPosition) + '#';
}

std::string ChannelTestCommand(int meterPosition) {
  return std::string("QQS#MCS:") + static_cast<char>('1' + meterPosition) + '#';
}

}  // namespace kv770::gateway
