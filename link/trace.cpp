// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/trace.h"

#include <QDateTime>

#include "base/hex_text.h"

namespace kv770::link {

bool Trace::Open(const QString& path) {
  const QMutexLocker lock(&mutex_);
  return file_.Open(path);
}

QString Trace::ErrorString() const {
  const QMutexLocker lock(&mutex_);
  return file_.ErrorString();
}

bool Trace::Failed() const {
  const QMutexLocker lock(&mutex_);
  return file_.Failed();
}

void Trace::OnFailure(std::function<void(const QString&)> failed) {
  const QMutexLocker lock(&mutex_);
  failed_ = std::move(failed);
}

void Trace::OnLine(std::function<void(const QString&)> listener, int maxBytes) {
  const QMutexLocker lock(&mutex_);
  listener_ = std::move(listener);
  listenerBytes_ = maxBytes;
}

QString Trace::Format(const QString& link, Direction direction, const QByteArray& bytes) {
  QString ascii;
  ascii.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    ascii += (b >= 0x20 && b < 0x7F) ? QLatin1Char(c) : QLatin1Char('.');
  }
  // Wide enough for "serial", so the columns of every link line up.
  return QStringLiteral("%1 %2 %3  |%4|")
      .arg(link, -6)
      .arg(direction == Direction::Sent ? QLatin1Char('>') : QLatin1Char('<'))
      .arg(QString::fromStdString(base::HexText(bytes)), ascii);
}

void Trace::Record(const QString& link, Direction direction, const QByteArray& bytes) {
  if (bytes.isEmpty()) return;
  const QMutexLocker lock(&mutex_);
  const bool toFile = file_.IsOpen() && !file_.Failed();
  if (!toFile && !listener_) return;
  const QString stamp =
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
  if (listener_) {
    if (bytes.size() <= listenerBytes_)
      listener_(stamp + Format(link, direction, bytes));
    else
      listener_(stamp + Format(link, direction, bytes.left(listenerBytes_)) +
                QStringLiteral(" ... (%1 bytes in all)").arg(bytes.size()));
  }
  // Straight to the file, unbuffered: a trace must survive the program's
  // crash or kill.
  if (toFile && !file_.Write((stamp + Format(link, direction, bytes) + QLatin1Char('\n')).toUtf8()) &&
      failed_)
    failed_(QStringLiteral("cannot write the trace %1: %2").arg(file_.Path(), file_.ErrorString()));
}

}  // namespace kv770::link
