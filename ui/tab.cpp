// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tab.h"

#include <exception>

#include "link/errors.h"
#include "ui/language.h"

namespace kv770::ui {

void RunShowingErrors(MessageSink& messages, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& e) {
    messages.Show(LayerText(e.Message()));
  } catch (const std::exception& e) {
    messages.Show(LayerText(QString::fromLocal8Bit(e.what())));
  }
}

}  // namespace kv770::ui
