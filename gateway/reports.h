// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kv770::gateway {

// The gateway's two parameter reports. Each group of a report starts with a
// tag; every tag is searched from the start of the reply on its own, so the
// groups may come in any order and the first occurrence counts. Fields sit
// at fixed distances from the tag's first letter.
//
// A decoder returns the fields it read, in reading order, and stops at the
// first field that should be a number but is not (or that the reply ends
// before): `badNumber` then holds the characters found there, and every
// later field stays empty. The caller applies what was found and then
// reports the bad number, so values read before it are kept. List
// positions are returned as the gateway sent them, also beyond the end of
// the list; text fields as they stand, cut where the reply ends.

// "QQQ#QX#": RS-485 settings, working mode, slave address, polling interval.
struct SystemReport {
  bool marker = false;  // "QX" anywhere; without it nothing is read
  std::optional<int> baud;
  std::optional<int> parity;
  std::optional<int> workingMode;
  std::optional<std::string> slaveAddress;     // three characters
  std::optional<std::string> pollingInterval;  // three characters, units of 10 ms
  std::optional<std::string> badNumber;
};
SystemReport DecodeSystemReport(std::string_view reply);

// "QQQ#QQn#": the MODBUS mapping of one meter and, for a custom meter, how
// its HART replies are parsed.
struct ModbusReport {
  bool marker = false;  // "QQ" anywhere; without it nothing is read

  // "HARTn:" polling set-up
  std::optional<int> enable;
  std::optional<int> deviceMode;
  std::optional<int> instrumentType;
  std::optional<int> preamblePosition;         // the count minus 4
  std::optional<std::string> bufferClearTime;  // three characters

  // "DFOn:" byte orders of the current and variables 1 to 4
  std::array<std::optional<int>, 5> byteOrders;

  // "XISHn:" coefficients, five characters each
  std::array<std::optional<std::string>, 4> coefficients;

  // Whether the custom-meter groups apply, known once decoding got that far:
  // the instrument type of this report, else the one the window shows.
  std::optional<bool> custom;

  // Custom meters only: "ZDYn:" parsing format, "MD:", "CAMDn1:", "CAMDn2:".
  std::optional<int> addressBitsPosition;  // the digit minus 3
  struct Variable {
    std::optional<int> command;        // 0 not parsed, 1 or 2
    std::optional<std::string> start;  // two characters
    std::optional<int> length;         // 0 four bytes, 1 eight bytes
  };
  std::array<Variable, 4> variables;
  std::optional<int> workingMode;
  struct ReadCommand {
    std::optional<int> enable;
    std::optional<std::string> text;  // N bytes as "01 02 03": 3N - 1 characters
  };
  std::array<ReadCommand, 2> readCommands;

  std::optional<std::string> badNumber;
};
// `shownInstrumentType` is the list position the window shows before the
// report is applied; it decides when the report has no polling set-up.
ModbusReport DecodeModbusReport(std::string_view reply, int shownInstrumentType);

}  // namespace kv770::gateway
