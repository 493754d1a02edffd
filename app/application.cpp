// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <cstdio>

#include "link/errors.h"
#include "ui/language.h"
#include "ui/message_sink.h"

namespace kv770::app {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setOrganizationName(QStringLiteral("kv770"));
  setApplicationName(QStringLiteral("kv770-config"));
  setApplicationDisplayName(QString::fromUtf8(ui::kApplicationTitle));
  setApplicationVersion(QStringLiteral(KV770_VERSION));
}

bool Application::notify(QObject* receiver, QEvent* event) {
  QString message;
  try {
    return QApplication::notify(receiver, event);
  } catch (const Error& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = QString::fromLocal8Bit(e.what());
  }
  if (sink_)
    sink_->Show(ui::LayerText(message));
  else
    std::fprintf(stderr, "%s\n", qPrintable(message));
  return false;
}

}  // namespace kv770::app
