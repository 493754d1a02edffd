// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/engine.h"

#include <algorithm>
#include <array>

namespace kv770::sim {

namespace {

// Whatever a hand-typed session (nc, a terminal) appends after a command;
// the tool itself sends none of it.
bool IsLineEnd(std::string_view rest) {
  return rest.find_first_not_of("\r\n") == std::string_view::npos;
}

// A serial slave stays quiet on frames it does not understand; text it
// cannot parse gets the error text.
bool LooksBinary(std::string_view request) {
  for (char c : request) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 && b != '\r' && b != '\n') return true;
    if (b >= 0x7F) return true;
  }
  return false;
}

}  // namespace

std::size_t Engine::ModbusTcpFrameSize(std::string_view bytes) {
  if (bytes.size() < 8 || bytes[2] != 0 || bytes[3] != 0) return 0;
  const std::size_t length =
      static_cast<std::uint8_t>(bytes[4]) * 256u + static_cast<std::uint8_t>(bytes[5]);
  // The unit and at least a function code.
  if (length < 2 || bytes.size() < 6 + length) return 0;
  return 6 + length;
}

bool Engine::IsModbusTcpFrames(std::string_view request) {
  if (request.empty()) return false;
  while (!request.empty()) {
    const std::size_t size = ModbusTcpFrameSize(request);
    if (size == 0) return false;
    request.remove_prefix(size);
  }
  return true;
}

std::span<const Engine::Route> Engine::Routes() {
  // First matching prefix wins, so a longer prefix goes before any shorter
  // one it starts with.
  static constexpr std::array kRoutes{
      Route{"PPPPPP#VAR#", &Engine::CommunicationCheck},
      Route{"QQS#HCS:", &Engine::HartSetting},
      Route{"QQS#MCS:", &Engine::HartSetting},
      Route{"QQS#CAMD", &Engine::HartSetting},
      Route{"QQS#MDBS", &Engine::HartSetting},
      Route{"QQS#", &Engine::ConfigCommand},
      Route{"QQQ#", &Engine::ConfigCommand},
      Route{"TAVELK#", &Engine::ConfigCommand},
  };
  return kRoutes;
}

std::string Engine::Handle(std::string_view request, std::int64_t nowMs, Transport transport) {
  std::string reply;
  Handle(request, nowMs, transport, reply);
  return reply;
}

void Engine::Handle(std::string_view request, std::int64_t nowMs, Transport transport,
                    std::string& reply) {
  reply.clear();
  if (request.empty()) return;
  // Binary requests: MODBUS TCP frames are known by their headers (protocol
  // 0, length of the rest), whatever their transaction numbers, even ones
  // that start with FF. No command starts like one: each has text where the
  // protocol's two zero bytes would be. So they go first, as the most
  // frequent requests.
  if (transport == Transport::Tcp && IsModbusTcpFrames(request))
    return ModbusRequest(request, nowMs, transport, reply);
  for (const Route& route : Routes()) {
    if (request.starts_with(route.prefix)) {
      reply = Refusing(route.handler, request, nowMs);
      return;
    }
  }
  // A HART frame starts with its preamble; anything else binary is taken
  // for MODBUS.
  if (static_cast<std::uint8_t>(request.front()) == 0xFF) {
    reply = HartFrame(request, nowMs);
    return;
  }
  ModbusRequest(request, nowMs, transport, reply);
  if (reply.empty() && !(transport == Transport::Serial && LooksBinary(request)))
    reply = kUnknownCommand;
}

std::span<const std::string_view> Engine::SetCommandMnemonics() {
  static constexpr std::array<std::string_view, 14> kMnemonics{
      "BA1",  "MD",   "ADR", "JTM", "RESET", "YB",   "HART",
      "DFOT", "XISH", "HCS", "MCS", "CAMD",  "MDBS", "PCBSN",
  };
  return kMnemonics;
}

std::string Engine::Refusing(Handler handler, std::string_view request, std::int64_t nowMs) {
  if (refused_.empty()) return (this->*handler)(request, nowMs);
  const GatewayModel before = model_;
  std::string reply = (this->*handler)(request, nowMs);
  // A set command is acknowledged "OK:<mnemonic>#".
  if (reply.starts_with("OK:") && reply.ends_with('#')) {
    const std::string_view mnemonic = std::string_view(reply).substr(3, reply.size() - 4);
    if (std::ranges::find(refused_, mnemonic) != refused_.end()) {
      model_ = before;
      return kBadParameter;
    }
  }
  return reply;
}

std::string Engine::CommunicationCheck(std::string_view request, std::int64_t) {
  if (!IsLineEnd(request.substr(std::string_view("PPPPPP#VAR#").size()))) return kUnknownCommand;
  return std::string("QV:") + kFirmware + "#";
}

}  // namespace kv770::sim
