// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace kv770::sim {

// What a UART set to `readBaud` makes of `bytes` sent back to back by one
// at `sentBaud`: each byte goes out as a frame of a start bit (0), eight
// data bits least significant first and a stop bit (1), the line idle (1)
// before the first and after the last. The receiver waits for a falling
// edge, samples every bit at its middle, takes the byte whatever its stop
// bit, and looks for the next falling edge after that stop bit; it stops
// when the line stays idle to the end. The same speeds give the bytes back.
// Empty when either speed is not positive. Deterministic: a tool at the
// wrong speed sees the same noise every time.
std::string Resample(std::string_view bytes, int sentBaud, int readBaud);

}  // namespace kv770::sim
