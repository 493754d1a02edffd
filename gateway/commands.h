// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kv770::gateway {

// The gateway's ASCII commands: plain 8-bit characters, no terminator, no
// checksum. Set commands start "QQS#", queries "QQQ#", each closes with '#'.
// Positions below are the window's list positions (-1: nothing selected);
// meters are numbered from position 0 for meter 1.

// Asks whether the gateway answers on this link.
std::string CommunicationCheck();

// A positive answer to the communication check carries "QV:" anywhere.
bool AnswersCommunicationCheck(std::string_view reply);

// Whole by its shape: the gateway acknowledges a set command, and answers
// the communication check, with one short text that ends with '#'
// ("OK:BA1#", "QV:...#"); neither holds a '#' before its end.
bool ShortAnswerWhole(std::string_view reply);

// ---- system parameters -----------------------------------------------------

// RS-485 side of the gateway: baud code 0..6 (1200..57600 bit/s), parity
// 0 none, 1 odd, 2 even. "QQS#BA1:30#" is 9600 bit/s without parity.
std::string Rs485Settings(int baudPosition, int parityPosition);
// The bit rates behind the baud codes, code 0 first.
inline constexpr std::array<int, 7> kRs485BaudRates{1200, 2400, 4800, 9600, 19200, 38400, 57600};
// 0 transparent, 1 MODBUS RTU.
std::string WorkingMode(int modePosition);
// MODBUS slave address, 0..999.
std::string SlaveAddress(int address);
// Meter polling interval in units of 10 ms, 0..999.
std::string PollingInterval(int interval);
// Restores the gateway's factory settings; the gateway asks nothing back.
std::string ParameterReset();
// The two undocumented service commands "QQS#YB:00#" and "QQS#YB:01#".
std::string HiddenCommand(int argument);
// Board serial number (at least eight digits) and inspector code (at least
// three), zero-filled on the left; a longer number is written in full.
std::string BoardSerial(int serial, int inspector);
// Asks for the system report ("QX").
std::string SystemReportQuery();

// ---- MODBUS mapping of one meter ---------------------------------------------

struct PollingSetup {
  int enable = -1;            // 0 close, 1 open
  int deviceMode = -1;        // 0 secondary master, 1 master
  int instrumentType = -1;    // 0 custom meter .. 13
  int preamblePosition = -1;  // position in the list "4".."9"
  int bufferClearTime = 0;    // seconds, 0..999
};
std::string PollingSetupCommand(int meterPosition, const PollingSetup& setup);

// Byte orders of the current and of variables 1 to 4, in register order.
std::string ByteOrdersCommand(int meterPosition, const std::array<int, 5>& orders);

// The four coefficients as typed: the gateway parses them, so they travel
// unpadded and the meter goes as plain decimal text ("-1" for none).
std::string CoefficientsCommand(int meterPosition, const std::array<std::string, 4>& texts);

// Asks for the MODBUS report ("QQ") of one meter.
std::string ModbusReportQuery(int meterPosition);

// ---- the HART side --------------------------------------------------------------

// "QQS#HCS:a#": the channel transparent HART frames reach, a = '1' +
// address position ('0' with none selected).
std::string HartAddressCommand(int addressPosition);

// "QQS#MCS:m#": the channel test, m = '1' + meter position ('0' with none
// selected).
std::string ChannelTestCommand(int meterPosition);

// ---- custom meters: how a meter of type 0 is read and parsed ------------------

// "QQS#CAMD" meter digit, '1' or '2', ':', enable digit, '<', two-digit
// count, ',' and then the command's bytes themselves, without a closing
// '#'. Throws std::out_of_range for a command other than 1 or 2, or for
// 0 or more than 14 bytes.
std::string ReadMeterCommand(int meterPosition, int command, int enablePosition,
                             std::span<const std::uint8_t> bytes);

// Where one variable of a custom meter lies in the read-meter replies.
struct ParsingFormatVariable {
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
                                 const std::array<ParsingFormatVariable, 4>& variables);

}  // namespace kv770::gateway
