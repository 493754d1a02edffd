// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/traffic_pane.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets.h"

namespace kv770::ui {

TrafficPane::TrafficPane(QWidget* parent) : QWidget(parent) {
  setObjectName("TrafficHistory");
  lines_ = new QPlainTextEdit(this);
  lines_->setObjectName("TrafficLines");
  lines_->setReadOnly(true);
  lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  lines_->setMaximumBlockCount(kMaxLines);
  lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Selecting and copying by keyboard, as a screen reader's user does.
  lines_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  lines_->setMinimumHeight(QFontMetrics(lines_->font()).lineSpacing() * 6);

  auto* caption = new QLabel(tr("Traffic history:"), this);
  caption->setBuddy(lines_);
  NameForScreenReaders(lines_, tr("Traffic history"));
  clear_ = MakeButton(this, "TrafficClear", tr("Clear"));
  connect(clear_, &QPushButton::clicked, lines_, &QPlainTextEdit::clear);

  auto* top = new QHBoxLayout;
  top->addWidget(caption);
  top->addStretch(1);
  top->addWidget(clear_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 0, 8, 0);
  column->addLayout(top);
  column->addWidget(lines_, 1);
}

void TrafficPane::Add(const QString& line) {
  const QMutexLocker lock(&mutex_);
  pending_.append(line);
  // A burst faster than the window shows keeps only what the pane would.
  if (pending_.size() > kMaxLines) pending_.removeFirst();
  if (flushQueued_) return;
  flushQueued_ = true;
  QMetaObject::invokeMethod(this, &TrafficPane::Flush, Qt::QueuedConnection);
}

void TrafficPane::Flush() {
  QStringList lines;
  {
    const QMutexLocker lock(&mutex_);
    lines.swap(pending_);
    flushQueued_ = false;
  }
  if (lines.isEmpty()) return;
  lines_->appendPlainText(lines.join(QLatin1Char('\n')));
}

QString TrafficPane::Text() {
  Flush();
  const QString text = lines_->toPlainText();
  return text.isEmpty() ? text : text + QLatin1Char('\n');
}

}  // namespace kv770::ui
