// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace kv770::sim {

// Whether `bytes` are one whole request by its shape, so the gateway may
// answer at once rather than wait for the pause after it: a gateway
// command closed by its second '#' (a custom meter's read command by its
// byte count), the communication check, a HART frame by its byte count,
// and on the serial line a MODBUS RTU read or write of one register.
// False for anything else, and for what may still grow into a request:
// those end with the pause, as before.
bool RequestWhole(std::string_view bytes, bool serial);

}  // namespace kv770::sim
