// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kv770::sim {

// What the gateway keeps of one meter's MODBUS mapping. Every field holds
// the code the gateway's commands carry (list positions, counts), not text.
struct MeterMapping {
  int enable = 1;            // 0 close, 1 open
  int deviceRole = 0;        // 0 secondary master, 1 master
  int instrumentType = 0;    // 0 custom meter .. 13
  int preambles = 5;         // preamble bytes the gateway sends, 4..9
  int bufferClearTime = 10;  // seconds, 0..999
  // Byte order of the current and of variables 1 to 4: 0 IEEE 754 FF4 FF3
  // FF2 FF1, 1 IEEE 754 FF2 FF1 FF4 FF3, 2 and 3 the same as unsigned 32-bit.
  std::array<int, 5> byteOrders{};
  // Coefficients as the gateway echoes them: five characters each.
  std::array<std::string, 4> coefficients{"1.000", "1.000", "1.000", "1.000"};

  // Custom meters only: where each variable lies in the read-meter replies.
  int addressBits = 8;  // 3..9
  struct Parse {
    int command = 0;  // 0 not parsed, 1 or 2: the read-meter command's reply
    int start = 0;    // byte offset, 0..99
    int length = 0;   // 0 four bytes, 1 eight bytes
    bool operator==(const Parse&) const = default;
  };
  std::array<Parse, 4> parse{};
  struct ReadCommand {
    int enable = 0;                   // 0 close, 1 open
    std::vector<std::uint8_t> bytes;  // at most 14
    bool operator==(const ReadCommand&) const = default;
  };
  std::array<ReadCommand, 2> readCommands{};

  bool operator==(const MeterMapping&) const = default;
};

// The gateway's configuration, as its set commands change it and its
// reports show it. Factory values are what "QQS#RESET#" restores.
struct GatewayModel {
  int baudCode = 3;     // 0..6: 1200 .. 57600 bit/s
  int parityCode = 0;   // 0 none, 1 odd, 2 even
  int workingMode = 0;  // 0 transparent, 1 MODBUS RTU
  int slaveAddress = 1;
  int pollingInterval = 50;  // units of 10 ms
  std::string boardSerial = "00000000";
  std::string inspector = "001";
  int hartAddress = 1;  // 1..8: the instrument transparent frames reach
  std::array<MeterMapping, 8> meters{};

  bool operator==(const GatewayModel&) const = default;
};

// "QQS#RESET#": every setting back to its factory value. The board serial
// number and the inspector code identify the board, so they survive.
inline void RestoreFactorySettings(GatewayModel& model) {
  GatewayModel factory;
  factory.boardSerial = model.boardSerial;
  factory.inspector = model.inspector;
  model = factory;
}

}  // namespace kv770::sim
