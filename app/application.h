// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

namespace kv770::ui {
class MessageSink;
}

namespace kv770::app {

// The application object. Handlers are guarded where they are connected;
// this is the last net: an exception that still reaches the event loop is
// shown in a modal box and the loop goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  void SetMessageSink(ui::MessageSink* sink) { sink_ = sink; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  ui::MessageSink* sink_ = nullptr;
};

}  // namespace kv770::app
