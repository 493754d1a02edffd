// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/stop_signals.h"

namespace kv770::cli {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void NoteStopSignal(int signal) {
  stopSignal = signal;
}

}  // namespace

StopOnSignals::StopOnSignals(std::vector<int> which)
    : signals_(std::move(which)), previous_(signals_.size()) {
  stopSignal = 0;
  for (std::size_t i = 0; i < signals_.size(); ++i) {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = signals_[i] == SIGPIPE ? 0 : SA_RESETHAND;
    sigaction(signals_[i], &action, &previous_[i]);
  }
}

StopOnSignals::~StopOnSignals() {
  for (std::size_t i = 0; i < signals_.size(); ++i) sigaction(signals_[i], &previous_[i], nullptr);
}

int StopOnSignals::Signal() {
  return stopSignal;
}

}  // namespace kv770::cli
