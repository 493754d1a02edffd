// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStatusBar>
#include <QString>

class QLabel;

namespace kv770::ui {

// The line at the bottom of the window: the link and its state, the request
// waiting for an answer with its time-out counting down, and the time of
// the last reply. Each part is a label of its own, so a screen reader hears
// it change.
class StatusLine : public QStatusBar {
  Q_OBJECT

 public:
  explicit StatusLine(QWidget* parent = nullptr);

  void ShowLink(const QString& text);
  void ShowRequest(const QString& text);
  void ShowLastReply(const QString& text);

 private:
  QLabel* link_ = nullptr;
  QLabel* request_ = nullptr;
  QLabel* lastReply_ = nullptr;
};

}  // namespace kv770::ui
