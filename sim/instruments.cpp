#include "sim/engine.h"

namespace kv770::sim {

std::string Engine::HartFrame(std::string_view, std::int64_t) { return {}; }

// Fixed values until the simulated instruments move.
double Engine::LoopCurrent(int, std::int64_t) const { return 12.0; }
double Engine::Variable(int, int variable, std::int64_t) const { return 10.0 * variable; }

}  // namespace kv770::sim
