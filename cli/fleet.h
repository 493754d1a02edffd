// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

namespace kv770::cli {

// kv770ctl --fleet FILE COMMAND ...: the command on every gateway FILE
// lists, several at once; one summary line per gateway and a count.
// `before` holds the options given before the command, `command` the
// command and everything after it.
int RunFleet(const QCommandLineParser& before, const QStringList& command, QTextStream& out,
             QTextStream& err);

}  // namespace kv770::cli
