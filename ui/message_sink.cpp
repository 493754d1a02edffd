// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/message_sink.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kv770::ui {

void BoxMessageSink::Show(const QString& text) {
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kApplicationTitle), text,
                  QMessageBox::Ok, owner_);
  box.exec();
}

QString BoxMessageSink::ChooseFileToSave(const QString& title, const QString& filter,
                                         const QString& suggested) {
  return QFileDialog::getSaveFileName(owner_, title, suggested, filter);
}

QString BoxMessageSink::ChooseFileToOpen(const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileName(owner_, title, QString(), filter);
}

}  // namespace kv770::ui
