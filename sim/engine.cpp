#include "sim/engine.h"

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

bool Engine::IsModbusTcpFrame(std::string_view r) {
  if (r.size() < 8 || r[2] != 0 || r[3] != 0) return false;
  const std::size_t length =
      static_cast<std::uint8_t>(r[4]) * 256u + static_cast<std::uint8_t>(r[5]);
  return length == r.size() - 6;
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
  if (request.empty()) return {};
  for (const Route& route : Routes()) {
    if (request.starts_with(route.prefix)) return (this->*route.handler)(request, nowMs);
  }
  // Binary requests: a MODBUS TCP frame is known by its header (protocol 0,
  // length of the rest), whatever its transaction number, even one that
  // starts with FF; a HART frame starts with its preamble; anything else
  // binary is taken for MODBUS.
  if (transport == Transport::Tcp && IsModbusTcpFrame(request))
    return ModbusRequest(request, nowMs, transport);
  if (static_cast<std::uint8_t>(request.front()) == 0xFF) return HartFrame(request, nowMs);
  if (std::string reply = ModbusRequest(request, nowMs, transport); !reply.empty()) return reply;
  return transport == Transport::Serial && LooksBinary(request) ? std::string() : kUnknownCommand;
}

std::string Engine::CommunicationCheck(std::string_view request, std::int64_t) {
  if (!IsLineEnd(request.substr(std::string_view("PPPPPP#VAR#").size()))) return kUnknownCommand;
  return std::string("QV:") + kFirmware + "#";
}

}  // namespace kv770::sim
