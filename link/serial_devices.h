// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace kv770::link {

// One serial port as the system reports it; any field but the path may be
// empty (a built-in UART has no maker or serial number).
struct EnumeratedPort {
  QString path;  // "/dev/ttyUSB0"
  QString maker;
  QString product;
  QString serialNumber;
};

// A device the port list offers after COM1..COM12.
struct SerialDevice {
  QString path;
  QString tooltip;  // the adapter, or empty when the system does not know it
};

// The entries to list for one enumeration: each path once (a path reported
// twice keeps the first non-empty value of each field), in path order with
// numbers compared as numbers (ttyUSB2 before ttyUSB10). /dev/ttyS0 to
// /dev/ttyS11 are left out: COM1 to COM12 already name them.
QList<SerialDevice> SerialDeviceEntries(const QList<EnumeratedPort>& ports);

// The ports the system has now (QSerialPortInfo).
QList<EnumeratedPort> EnumeratedPorts();

// The entries for the devices present now. Nothing is remembered between
// calls, so a device unplugged since the last call is gone.
using PortEnumerator = std::function<QList<EnumeratedPort>()>;
QList<SerialDevice> SerialDevicesPresent(const PortEnumerator& enumerate = EnumeratedPorts);

}  // namespace kv770::link
