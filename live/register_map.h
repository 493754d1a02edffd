// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "gateway/config.h"

namespace kv770::live {

// The holding registers a MODBUS master reads from a gateway in MODBUS RTU
// mode, from its configuration: one row per value (two registers), for the
// integrator who sets up the SCADA side.
//
// Rows are made for enabled meters only: the gateway polls no other, so a
// disabled meter's registers hold no instrument value, and a tag made for
// them would never show a reading. The place of every value is fixed by
// its meter (meter N from 40001 + 10 (N - 1)), so leaving a meter out moves
// nothing, and enabling it later only adds its rows. For the same reason a
// custom meter's variable that no read-meter reply is parsed for has no
// row. What is left out is named in RegisterMapNotes.

struct RegisterRow {
  int registerNumber = 0;  // the first of the two, as a master numbers it: 40001
  int address = 0;         // the same as the request carries it, from 0
  int meter = 1;
  std::string quantity;     // "current", "variable 1" .. "variable 4"
  std::string dataType;     // "IEEE 754 float" or "Uint32"
  std::string byteOrder;    // "FF4 FF3 FF2 FF1": the value's bytes in register order
  std::string coefficient;  // variables: as the gateway reports it ("2.500")
  std::string unit;         // "mA" for the current; empty where nothing says it
  bool operator==(const RegisterRow&) const = default;
};

std::vector<RegisterRow> RegisterMap(const gateway::GatewayConfig& config);

// The byte-order code's names, as the window's lists give them. A code
// outside 0..3 reads as 0, as the gateway takes a code never set.
std::string DataTypeName(int byteOrder);
std::string ByteOrderName(int byteOrder);

// What a master needs besides the rows: "slave address 17", "RS-485 19200
// bit/s, parity odd", "working mode MODBUS RTU".
std::vector<std::string> RegisterMapHeading(const gateway::SystemSettings& system);
// What the rows leave out and why, and a gateway in transparent mode, which
// serves no registers at all.
std::vector<std::string> RegisterMapNotes(const gateway::GatewayConfig& config);
// How to read a row, for a page a person reads.
inline constexpr const char* kRegisterMapLegend =
    "Each value takes two registers; FF4 is its most significant byte. "
    "The gateway has multiplied each variable by its coefficient already.";

// RFC 4180: a header line, then one line per row; lines end with CR LF,
// a field holding a comma, a quote or a line end is quoted.
std::string RegisterMapCsv(const std::vector<RegisterRow>& rows);

}  // namespace kv770::live
