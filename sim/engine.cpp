#include "sim/engine.h"

#include <array>

namespace kv770::sim {

namespace {

// Whatever a hand-typed session (nc, a terminal) appends after a command;
// the tool itself sends none of it.
bool IsLineEnd(std::string_view rest) {
  return rest.find_first_not_of("\r\n") == std::string_view::npos;
}

}  // namespace

std::span<const Engine::Route> Engine::Routes() {
  // First matching prefix wins, so a longer prefix goes before any shorter
  // one it starts with.
  static constexpr std::array kRoutes{
      Route{"PPPPPP#VAR#", &Engine::CommunicationCheck},
  };
  return kRoutes;
}

std::string Engine::Handle(std::string_view request, std::int64_t nowMs) {
  if (request.empty()) return {};
  for (const Route& route : Routes()) {
    if (request.starts_with(route.prefix)) {
      return (this->*route.handler)(request.substr(route.prefix.size()), nowMs);
    }
  }
  return kUnknownCommand;
}

std::string Engine::CommunicationCheck(std::string_view rest, std::int64_t) {
  if (!IsLineEnd(rest)) return kUnknownCommand;
  return std::string("QV:") + kFirmware + "#";
}

}  // namespace kv770::sim
