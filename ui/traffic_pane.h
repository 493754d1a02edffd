// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMutex>
#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace kv770::ui {

// The traffic history under the tabs: every request and reply block of the
// window's link, one trace line each (time to the millisecond, link,
// direction, hex and printable text), the newest at the bottom. It keeps
// the last kMaxLines; older lines are dropped. Lines can be selected and
// copied; "Clear" empties it.
class TrafficPane : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 10000;

  explicit TrafficPane(QWidget* parent = nullptr);

  // A trace line, from any thread: it shows once the window's thread runs.
  void Add(const QString& line);
  // What the pane holds, one line each, ending in a line end ("" when empty).
  QString Text();

 private:
  void Flush();

  QPlainTextEdit* lines_ = nullptr;
  QPushButton* clear_ = nullptr;
  QMutex mutex_;
  QStringList pending_;  // added on another thread, not shown yet
  bool flushQueued_ = false;
};

}  // namespace kv770::ui
