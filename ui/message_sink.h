// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kv770::ui {

// The one way the window tells the user something (a modal information box
// with one OK button) and asks for a file to write or read (a file dialog;
// an empty path: the user cancelled). Tests install a recording sink instead.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(const QString& text) = 0;
  virtual QString ChooseFileToSave(const QString& title, const QString& filter,
                                   const QString& suggested = {}) = 0;
  virtual QString ChooseFileToOpen(const QString& title, const QString& filter) = 0;
};

// Title of every message box.
inline constexpr const char* kApplicationTitle = "KV770-W";

class BoxMessageSink : public MessageSink {
 public:
  explicit BoxMessageSink(QWidget* owner) : owner_(owner) {}
  void Show(const QString& text) override;
  QString ChooseFileToSave(const QString& title, const QString& filter,
                           const QString& suggested = {}) override;
  QString ChooseFileToOpen(const QString& title, const QString& filter) override;

 private:
  QWidget* owner_;
};

// Keeps what it was told; answers each file question with `nextFile`
// (empty: cancelled) and keeps the question's title in `asked`.
class RecordingMessageSink : public MessageSink {
 public:
  void Show(const QString& text) override { shown.append(text); }
  QString ChooseFileToSave(const QString& title, const QString&, const QString& = {}) override {
    asked.append(title);
    return nextFile;
  }
  QString ChooseFileToOpen(const QString& title, const QString&) override {
    asked.append(title);
    return nextFile;
  }
  QStringList shown;
  QStringList asked;
  QString nextFile;
};

}  // namespace kv770::ui
