#include "sim/engine.h"

namespace kv770::sim {

std::string Engine::ModbusRequest(std::string_view, std::int64_t, Transport) { return {}; }

}  // namespace kv770::sim
