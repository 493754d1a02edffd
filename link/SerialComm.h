#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace kv770::link {

// The serial-port component. This first cut holds only what the window's
// send step needs of it: with no port open, SendData sends nothing and
// returns false. Opening, the worker threads and the line settings follow.
class TComm : public QObject {
  Q_OBJECT

 public:
  explicit TComm(QObject* parent = nullptr) : QObject(parent) {}

  QString CommName = QStringLiteral("COM2");

  bool IsOpen() const { return false; }
  void ClosePort() {}
  bool SendData(const char* buffer, std::uint16_t length) {
    (void)buffer;
    (void)length;
    return false;
  }

 signals:
  void OnReceiveData(const char* buffer, std::uint16_t length);
};

}  // namespace kv770::link
