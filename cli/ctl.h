#pragma once

#include <QStringList>
#include <QTextStream>

namespace kv770::cli {

// kv770ctl with `arguments` (without the program's name): what it prints
// goes to `out` and `err`, the exit code comes back (see cli/failure.h).
// Runs its exchanges in local event loops, so it needs a Qt application
// object and may be called from tests in-process.
int Run(const QStringList& arguments, QTextStream& out, QTextStream& err);

// The text of --help.
QString UsageText();

}  // namespace kv770::cli
