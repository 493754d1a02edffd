// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kv770::cycle {

// The platform's string-to-integer conversion (base::ToInteger) as the
// window uses it: what does not convert raises EConvertError
// "'<text>' is not a valid integer value".
int StrToInt(const QString& text);

// StrToInt for a number that goes into a fixed-width field of a frame: a
// value outside lo..hi would put something else on the wire, so it is
// refused with EConvertError "'<text>' is out of range (<lo> to <hi>)".
int StrToIntInRange(const QString& text, int lo, int hi);

}  // namespace kv770::cycle
