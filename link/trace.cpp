#include "link/trace.h"

#include <QDateTime>

namespace kv770::link {

bool Trace::Open(const QString& path) {
  const QMutexLocker lock(&mutex_);
  file_.setFileName(path);
  return file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

QString Trace::Format(const QString& link, Direction direction, const QByteArray& bytes) {
  QString hex;
  QString ascii;
  hex.reserve(bytes.size() * 3);
  ascii.reserve(bytes.size());
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!hex.isEmpty()) hex += QLatin1Char(' ');
    hex += QLatin1Char(kDigits[b >> 4]);
    hex += QLatin1Char(kDigits[b & 0x0F]);
    ascii += (b >= 0x20 && b < 0x7F) ? QLatin1Char(c) : QLatin1Char('.');
  }
  // Wide enough for "serial", so the columns of every link line up.
  return QStringLiteral("%1 %2 %3  |%4|")
      .arg(link, -6)
      .arg(direction == Direction::Sent ? QLatin1Char('>') : QLatin1Char('<'))
      .arg(hex, ascii);
}

void Trace::Record(const QString& link, Direction direction, const QByteArray& bytes) {
  if (bytes.isEmpty()) return;
  const QMutexLocker lock(&mutex_);
  if (!file_.isOpen()) return;
  const QString line =
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) +
      Format(link, direction, bytes) + QLatin1Char('\n');
  file_.write(line.toUtf8());
  file_.flush();  // a trace must survive the program's crash or kill
}

}  // namespace kv770::link
