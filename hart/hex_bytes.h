#pragma once

// Typed byte lists belong to the gateway's commands (the read-meter command
// carries one); the window still reaches them under hart::.
#include "gateway/hex_bytes.h"

namespace kv770::hart {

using gateway::FormatHexBytes;
using gateway::HexBytes;
using gateway::kBadDigit;
using gateway::kManualCommandLimit;
using gateway::kNoSeparator;
using gateway::kReadMeterCommandLimit;
using gateway::ParseHexBytes;

}  // namespace kv770::hart
