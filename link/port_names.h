// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <map>

namespace kv770::link {

// Where a port name leads. The window offers "COM1" to "COM12"; on this
// platform "COMn" is /dev/ttyS(n-1) unless the command line maps it
// elsewhere (--com COM4=/dev/ttyUSB0). A name that starts with '/' is a
// path; any other name is looked up in /dev ("ttyUSB0").
class PortMap {
 public:
  // "COMn=PATH", n from 1; false (with the reason) when malformed.
  bool Assign(const QString& assignment, QString* error = nullptr);
  void Set(int number, const QString& path) { overrides_[number] = path; }
  void Clear() { overrides_.clear(); }

  QString DevicePath(const QString& name) const;

  // n for "COMn" (any case), 0 for anything else.
  static int ComNumber(const QString& name);

 private:
  std::map<int, QString> overrides_;
};

}  // namespace kv770::link
