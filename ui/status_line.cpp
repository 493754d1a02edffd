// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/status_line.h"

#include <QLabel>

namespace kv770::ui {

namespace {

QLabel* Part(QStatusBar* bar, const char* name, const QString& description, int stretch) {
  auto* label = new QLabel(bar);
  label->setObjectName(name);
  label->setAccessibleDescription(description);
  bar->addWidget(label, stretch);
  return label;
}

void SetText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

}  // namespace

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent) {
  setObjectName("StatusBar1");
  setAccessibleName(tr("Status"));
  setSizeGripEnabled(false);
  link_ = Part(this, "LinkStatus", tr("Link"), 3);
  request_ = Part(this, "RequestStatus", tr("Request"), 3);
  lastReply_ = Part(this, "ReplyStatus", tr("Last reply"), 1);
}

void StatusLine::ShowLink(const QString& text) {
  SetText(link_, text);
}

void StatusLine::ShowRequest(const QString& text) {
  SetText(request_, text);
}

void StatusLine::ShowLastReply(const QString& text) {
  SetText(lastReply_, text);
}

}  // namespace kv770::ui
