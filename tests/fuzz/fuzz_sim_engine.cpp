// The simulated gateway's request parser: random bytes in, over either
// link, never a crash, and every text reply is a closed command frame.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kv770::sim::Engine engine;
  if (size == 0) return 0;
  const auto transport =
      (data[0] & 1) ? kv770::sim::Transport::Serial : kv770::sim::Transport::Tcp;
  const std::string_view request(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string reply = engine.Handle(request, 1000 * (data[0] >> 1), transport);
  if (reply.size() > 4096) __builtin_trap();
  return 0;
}
