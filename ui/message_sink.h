#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kv770::ui {

// The one way the window tells the user something: a modal information box
// with one OK button. Tests install a recording sink instead.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(const QString& text) = 0;
};

// Title of every message box.
inline constexpr const char* kApplicationTitle = "KV770-W";

class BoxMessageSink : public MessageSink {
 public:
  explicit BoxMessageSink(QWidget* owner) : owner_(owner) {}
  void Show(const QString& text) override;

 private:
  QWidget* owner_;
};

class RecordingMessageSink : public MessageSink {
 public:
  void Show(const QString& text) override { shown.append(text); }
  QStringList shown;
};

}  // namespace kv770::ui
