#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kv770::sim {

// How the simulated gateway misbehaves on purpose, so tests can provoke
// time-outs and split replies.
struct Behaviour {
  bool silent = false;      // never answer
  int delayMs = 0;          // answer this late
  bool byteByByte = false;  // send the answer one byte at a time
  int byteGapMs = 20;       // pause between those bytes
};

// The gateway as a pure function of its requests: bytes in, bytes out, no
// clock of its own (the caller passes the time, so live values are
// deterministic in tests) and no I/O.
class Engine {
 public:
  // The reply to one complete request received at `nowMs`; empty when the
  // gateway would not answer.
  std::string Handle(std::string_view request, std::int64_t nowMs);

  static constexpr const char* kFirmware = "KV770-W V2.1.0";
  // What the gateway says to anything it does not understand.
  static constexpr const char* kUnknownCommand = "ERR:UNKNOWN COMMAND#";

 private:
  // A command handler gets the bytes after its prefix.
  using Handler = std::string (Engine::*)(std::string_view rest, std::int64_t nowMs);
  struct Route {
    std::string_view prefix;
    Handler handler;
  };
  static std::span<const Route> Routes();

  std::string CommunicationCheck(std::string_view rest, std::int64_t nowMs);
};

}  // namespace kv770::sim
