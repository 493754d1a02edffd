#pragma once

#include <QString>

namespace kv770::cycle {

// The platform's string-to-integer conversion as the window uses it: leading
// blanks, an optional sign, decimal digits or a '$' / "0x" hexadecimal
// number, nothing after it, and the value must fit 32 bits. Anything else
// raises EConvertError "'<text>' is not a valid integer value".
int StrToInt(const QString& text);

}  // namespace kv770::cycle
