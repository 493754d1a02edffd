#include "ui/message_sink.h"

#include <QMessageBox>

namespace kv770::ui {

void BoxMessageSink::Show(const QString& text) {
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kApplicationTitle), text,
                  QMessageBox::Ok, owner_);
  box.exec();
}

}  // namespace kv770::ui
