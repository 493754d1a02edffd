// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window.h"

#include "ui/gateway_window.h"

namespace kv770::app {

std::unique_ptr<QWidget> MakeWindow(ui::MessageSink* sink, bool firstPageOnly) {
  auto window = std::make_unique<ui::GatewayWindow>(sink);
  if (!firstPageOnly) window->BuildPages();
  return window;
}

void FitWindow(QWidget& window, const QRect& available) {
  if (auto* form = qobject_cast<ui::GatewayWindow*>(&window)) form->FitTo(available);
}

}  // namespace kv770::app
