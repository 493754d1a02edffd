// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

namespace kv770::base {

// The platform's string-to-integer conversion, which typed numbers and the
// gateway's report fields alike go through: leading blanks, an optional
// sign, then decimal digits or a '$' / "0x" hexadecimal number, and nothing
// else. The value must fit 32 bits; hexadecimal covers the whole 32-bit
// pattern, so "$FFFFFFFF" is -1. Empty when the text does not convert.
//
// One character per byte: a character outside Latin-1 may stand as any
// byte that is no digit, blank, sign, '$' or 'x'.
std::optional<int> ToInteger(std::string_view text);

}  // namespace kv770::base
