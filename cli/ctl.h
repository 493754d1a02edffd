// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace kv770::cli {

// kv770ctl with `arguments` (without the program's name): what it prints
// goes to `out` and `err`, the exit code comes back (see cli/failure.h).
// Runs its exchanges in local event loops, so it needs a Qt application
// object and may be called from tests in-process.
int Run(const QStringList& arguments, QTextStream& out, QTextStream& err);

// What one run came to, as --fleet sums it up per gateway.
struct RunOutcome {
  int code = 0;
  QString message;      // why it failed, without the program's name
  QStringList refused;  // settings the gateway did not take
  bool noAnswer = false;
  bool interrupted = false;  // stopped between two requests (RunInput::stopRequested)
};

// What --fleet gives each gateway's run besides its arguments.
struct RunInput {
  bool checkOnly = false;  // as below
  // Standard input, read once for every gateway; null: the run reads it.
  const QByteArray* standardInput = nullptr;
  // Asked before each request; true ends the run there.
  std::function<bool()> stopRequested;
};

// Run as above; with `checkOnly` the run stops, successfully, where it
// would first reach the gateway, so that everything typed has been checked
// and nothing sent.
RunOutcome RunOnce(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   bool checkOnly = false);
RunOutcome RunOnce(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   const RunInput& input);

// The text of --help, made from the table of commands (cli/commands.h).
QString UsageText();
// "kv770ctl system --help": that command's part of it.
struct Command;
QString CommandUsageText(const Command& command);
// The bash completion script (kv770ctl --completion bash), from the same
// table: commands, their words and options, and the values they take.
QString BashCompletion();

// Whether the run asks for JSON (--json anywhere before "--"): a failure is
// then told as FailureJson, one line on standard error.
bool WantsJson(const QStringList& arguments);
// {"error": "...", "exit": N} and a newline.
QString FailureJson(const QString& message, int exitCode);

// Every option name the parser takes: before the command when `family` is
// empty, else after that command.
QStringList AcceptedOptions(const QString& family);

}  // namespace kv770::cli
