#include "sim/engine.h"

namespace kv770::sim {

std::string Engine::ConfigCommand(std::string_view, std::int64_t) { return kUnknownCommand; }

}  // namespace kv770::sim
