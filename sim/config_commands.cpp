// SPDX-License-Identifier: GPL-3.0-or-later
// The gateway's own settings: the set commands that write them, the board
// serial number, and the system and MODBUS reports that read them back.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/hex_text.h"
#include "sim/engine.h"
#include "sim/fields.h"

namespace kv770::sim {

namespace {

// A command the gateway knows whose parameters it cannot take. Nothing of it
// is applied.
constexpr const char* kBadParameter = Engine::kBadParameter;

// What a hand-typed session (nc, a terminal) appends; the tool sends none.
std::string_view WithoutLineEnd(std::string_view request) {
  while (!request.empty() && (request.back() == '\r' || request.back() == '\n'))
    request.remove_suffix(1);
  return request;
}

// A coefficient as the gateway keeps and echoes it: a plain decimal number
// ("-1.5", "2", "0.001") written in exactly five characters ("-1.50",
// "2.000", "0.001"). Empty when the text is no number or needs more room.
std::optional<std::string> NormaliseCoefficient(std::string_view text) {
  std::size_t i = text.starts_with('-') ? 1 : 0;
  std::size_t digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || text.size() > 32) return std::nullopt;
  const double value = std::strtod(std::string(text).c_str(), nullptr);
  for (int decimals = 3; decimals >= 0; --decimals) {
    char buffer[48];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    if (n < 0 || n > 5) continue;
    std::string shown(buffer, static_cast<std::size_t>(n));
    // A four-character integer fills up with a leading zero after the sign.
    const std::size_t signEnd = shown.starts_with('-') ? 1 : 0;
    shown.insert(signEnd, 5 - shown.size(), '0');
    return shown;
  }
  return std::nullopt;
}

// A model value as exactly `width` digits. The model only holds what the set
// commands accepted; the clamp keeps a report well-formed regardless.
std::string Digits(int value, int width) {
  int max = 1;
  for (int i = 0; i < width; ++i) max *= 10;
  value = std::clamp(value, 0, max - 1);
  std::string text = std::to_string(value);
  text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
  return text;
}

// The system report. The tool finds each group by its tag, so the order is
// free; this is the order the settings appear in the window.
std::string SystemReport(const GatewayModel& m) {
  std::string r = "QX#";
  r += "BA1:" + Digits(m.baudCode, 1) + Digits(m.parityCode, 1);
  r += ",MD:" + Digits(m.workingMode, 1);
  r += ",ADR:" + Digits(m.slaveAddress, 3);
  r += ",JTM:" + Digits(m.pollingInterval, 3);
  r += '#';
  return r;
}

// A read-meter command carries at most this many bytes; the report never
// shows more.
constexpr std::size_t kMaxReadCommandBytes = 14;

// The MODBUS report of one meter; the meter digit stands after every tag.
// Custom meters (type 0) add how their HART replies are parsed, the working
// mode and the two read-meter commands. The longest report, a custom meter
// with two 14-byte commands, stays well under the 255 characters a serial
// block's text holds.
std::string ModbusReport(const GatewayModel& model, int meter) {
  const MeterMapping& m = model.meters[static_cast<std::size_t>(meter)];
  const std::string n = Digits(meter, 1);
  std::string r = "QQ" + n + "#";
  r += "HART" + n + ":" + Digits(m.enable, 1) + "," + Digits(m.deviceRole, 1) + "," +
       Digits(m.instrumentType, 2) + "," + Digits(m.preambles, 1) + "," +
       Digits(m.bufferClearTime, 3);
  r += ",DFO" + n + ":";
  for (int order : m.byteOrders) r += Digits(order, 1);
  r += ",XISH" + n + ":";
  for (std::size_t i = 0; i < m.coefficients.size(); ++i) {
    if (i) r += ',';
    r += NormaliseCoefficient(m.coefficients[i]).value_or("0.000");
  }
  if (m.instrumentType == 0) {
    r += ",ZDY" + n + ":" + Digits(m.addressBits, 1);
    for (const MeterMapping::Parse& p : m.parse)
      r += "," + Digits(p.command, 1) + Digits(p.start, 2) + Digits(p.length, 1);
    r += ",MD:" + Digits(model.workingMode, 1);
    for (std::size_t c = 0; c < m.readCommands.size(); ++c) {
      const MeterMapping::ReadCommand& command = m.readCommands[c];
      std::vector<std::uint8_t> bytes = command.bytes;
      if (bytes.size() > kMaxReadCommandBytes) bytes.resize(kMaxReadCommandBytes);
      r += ",CAMD" + n + Digits(static_cast<int>(c) + 1, 1) + ":" + Digits(command.enable, 1) +
           "," + Digits(static_cast<int>(bytes.size()), 2) + "," + base::HexText(bytes);
    }
  }
  r += '#';
  return r;
}

std::string Ack(std::string_view mnemonic) {
  return "OK:" + std::string(mnemonic) + "#";
}

// One command: its head and what it does with the parameters after it.
// Each handler parses everything first and changes the model only at the end.
using CommandHandler = std::string (*)(GatewayModel& model, Fields& p);
struct Command {
  std::string_view head;
  CommandHandler handler;
};

std::string Rs485(GatewayModel& model, Fields& p) {
  const int baud = p.Digit(0, 6);
  const int parity = p.Digit(0, 2);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  model.baudCode = baud;
  model.parityCode = parity;
  return Ack("BA1");
}

std::string WorkingMode(GatewayModel& model, Fields& p) {
  const int mode = p.Digit(0, 1);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  model.workingMode = mode;
  return Ack("MD");
}

std::string SlaveAddress(GatewayModel& model, Fields& p) {
  const int address = p.Number(3, 1, 247);  // the MODBUS slave addresses
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  model.slaveAddress = address;
  return Ack("ADR");
}

std::string PollingInterval(GatewayModel& model, Fields& p) {
  const int interval = p.Number(3, 0, 999);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  model.pollingInterval = interval;
  return Ack("JTM");
}

std::string Reset(GatewayModel& model, Fields& p) {
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  RestoreFactorySettings(model);
  return Ack("RESET");
}

std::string ServiceCommand(GatewayModel&, Fields& p) {
  p.Number(2, 0, 1);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  return Ack("YB");
}

std::string PollingSetup(GatewayModel& model, Fields& p) {
  const int meter = p.Digit(0, 7);
  p.Literal(":");
  const int enable = p.Digit(0, 1);
  p.Literal(",");
  const int role = p.Digit(0, 1);
  p.Literal(",");
  const int type = p.Number(2, 0, 13);
  p.Literal(",");
  const int preambles = p.Digit(4, 9);
  p.Literal(",");
  const int clearTime = p.Number(3, 0, 999);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  MeterMapping& m = model.meters[static_cast<std::size_t>(meter)];
  m.enable = enable;
  m.deviceRole = role;
  m.instrumentType = type;
  m.preambles = preambles;
  m.bufferClearTime = clearTime;
  return Ack("HART");
}

std::string ByteOrders(GatewayModel& model, Fields& p) {
  const int meter = p.Digit(0, 7);
  p.Literal(":");
  std::array<int, 5> orders{};
  orders[0] = p.Digit(0, 1);  // the current is always a float
  for (std::size_t i = 1; i < orders.size(); ++i) orders[i] = p.Digit(0, 3);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  model.meters[static_cast<std::size_t>(meter)].byteOrders = orders;
  return Ack("DFOT");
}

std::string Coefficients(GatewayModel& model, Fields& p) {
  const int meter = p.Digit(0, 7);
  p.Literal(":");
  std::array<std::string, 4> values;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string_view text = p.Until(i + 1 < values.size() ? ',' : '#');
    p.Literal(i + 1 < values.size() ? "," : "#");
    const std::optional<std::string> value = NormaliseCoefficient(text);
    if (!value) return kBadParameter;
    values[i] = *value;
  }
  if (!p.Done()) return kBadParameter;
  model.meters[static_cast<std::size_t>(meter)].coefficients = values;
  return Ack("XISH");
}

std::string BoardSerial(GatewayModel& model, Fields& p) {
  std::string serial = p.DigitRun(8, 10);
  p.Literal(",");
  std::string inspector = p.DigitRun(3, 10);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  model.boardSerial = std::move(serial);
  model.inspector = std::move(inspector);
  return Ack("PCBSN");
}

std::string SystemQuery(GatewayModel& model, Fields& p) {
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  return SystemReport(model);
}

std::string ModbusQuery(GatewayModel& model, Fields& p) {
  const int meter = p.Digit(0, 7);
  p.Literal("#");
  if (!p.Done()) return kBadParameter;
  return ModbusReport(model, meter);
}

constexpr std::array kCommands{
    Command{"QQS#BA1:", &Rs485},        Command{"QQS#MD:", &WorkingMode},
    Command{"QQS#ADR:", &SlaveAddress}, Command{"QQS#JTM:", &PollingInterval},
    Command{"QQS#RESET", &Reset},       Command{"QQS#YB:", &ServiceCommand},
    Command{"QQS#HART", &PollingSetup}, Command{"QQS#DFOT", &ByteOrders},
    Command{"QQS#XISH", &Coefficients}, Command{"TAVELK#PCBSN:", &BoardSerial},
    Command{"QQQ#QX", &SystemQuery},    Command{"QQQ#QQ", &ModbusQuery},
};

}  // namespace

std::string Engine::ConfigCommand(std::string_view request, std::int64_t) {
  request = WithoutLineEnd(request);
  for (const Command& command : kCommands) {
    if (!request.starts_with(command.head)) continue;
    Fields params(request.substr(command.head.size()));
    return command.handler(model_, params);
  }
  return kUnknownCommand;
}

}  // namespace kv770::sim
