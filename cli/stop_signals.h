// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <vector>

namespace kv770::cli {

// While an object lives, the signals it names are noted rather than obeyed,
// so a long command (hart scan, monitor) ends cleanly at its next step:
// the gateway's working mode set back, the lines written kept. A second
// such signal ends the program at once, as usual; a closed output pipe
// (SIGPIPE) stays noted and harmless.
class StopOnSignals {
 public:
  explicit StopOnSignals(std::vector<int> which);
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  static bool Stopped() { return Signal() != 0; }
  // The signal that came, 0 for none.
  static int Signal();

 private:
  std::vector<int> signals_;
  std::vector<struct sigaction> previous_;
};

}  // namespace kv770::cli
