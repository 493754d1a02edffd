#pragma once

#include <QStringList>
#include <QTextStream>

namespace kv770::cli {

// kv770ctl with `arguments` (without the program's name): what it prints
// goes to `out` and `err`, the exit code comes back (see cli/failure.h).
// Runs its exchanges in local event loops, so it needs a Qt application
// object and may be called from tests in-process.
int Run(const QStringList& arguments, QTextStream& out, QTextStream& err);

// The text of --help, made from the table of commands (cli/commands.h).
QString UsageText();

// Every option name the parser takes: before the command when `family` is
// empty, else after that command.
QStringList AcceptedOptions(const QString& family);

}  // namespace kv770::cli
