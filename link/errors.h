// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <stdexcept>

namespace kv770 {

// Base of the errors a handler may raise; the window's message loop shows
// the message in a modal box and carries on.
class Error : public std::runtime_error {
 public:
  explicit Error(const QString& message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString& Message() const { return message_; }

 private:
  QString message_;
};

// Raised by the serial component while opening a port.
class ECommsError : public Error {
  using Error::Error;
};

// Raised by the TCP client: a refused change, a failed connect or send.
class ESocketError : public Error {
  using Error::Error;
};

// A typed number that does not convert.
class EConvertError : public Error {
  using Error::Error;
};

}  // namespace kv770
