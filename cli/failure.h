// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kv770::cli {

// kv770ctl's exit codes.
enum ExitCode : int {
  kDone = 0,
  kDeviceFailed = 1,  // no answer, a refusal, or settings that did not take
  kBadUsage = 2,      // an option, a value or a file the user gave
};

// Ends a command: the message goes to standard error, the code to the
// shell. A refusal of what was typed points to the help; one of a file's
// contents or of the system does not.
struct Failure {
  int exitCode;
  QString message;
  bool pointsToHelp = false;
};

}  // namespace kv770::cli
