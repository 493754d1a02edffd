// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "link/serial_devices.h"

namespace kv770::link {
class Trace;
}

namespace kv770::cli {

// scan: finds a gateway whose line settings nobody remembers, by sending
// the communication check at every RS-485 setting the gateway offers on
// each serial device, and to the TCP addresses, many at once.
//
// On a serial device an answer counts only when the check, sent again at
// the same setting, is answered again: a reply that comes late for one try
// would otherwise be taken by the next, at another setting. When the first
// pass over the settings heard bytes but no such answer, a second pass
// waits longer at each.

// One of the gateway's RS-485 settings; parity 0 none, 1 odd, 2 even.
struct LineSetting {
  int baud = 9600;
  int parity = 0;
  bool operator==(const LineSetting&) const = default;
};

// All 21 settings in the order a scan tries them: 9600 and 19200 without
// parity (what most gateways are left at), then every rate upward with
// none, even and odd.
std::vector<LineSetting> ScanOrder();

// How long one serial try waits at a bit rate.
struct TryWait {
  // From sending the request until the first byte of an answer must have
  // come: the request on the line, the gateway's turn-around and the
  // adapter's latency. Nothing by then: nobody answers at this setting.
  int firstByteMs = 0;
  // From the first byte until the longest answer must be over; 0: the
  // first limit holds for the whole try (--timeout).
  int restMs = 0;
};
TryWait ComputedWait(int baud);
// --timeout MS: the whole try, whatever the rate.
TryWait FixedWait(int ms);

enum class ScanStatus { Found, Silent, Failed };

// One row of the scan's report.
struct ScanResult {
  bool tcp = false;
  QString device;       // serial: the device's path; tcp: the host
  QString shown;        // serial: the path with the name it was given by; tcp: HOST:PORT
  int port = 0;         // tcp only
  LineSetting setting;  // serial, Found only
  ScanStatus status = ScanStatus::Silent;
  QString text;  // the answer, or why there is none
};

struct TcpAddress {
  QString host;
  int port = 0;
};

// Where the scan goes and how.
struct ScanPlan {
  QStringList serial;  // as given: paths, names in /dev, COMn
  QStringList comAssignments;
  std::vector<TcpAddress> tcp;
  bool all = false;         // every setting that answers, not only the first
  int timeoutMs = 0;        // --timeout; 0: computed per rate (serial), 3000 (tcp)
  int tcpTimeoutMs = 3000;  // TCP: connect and answer, each
  int tcpGapMs = 100;       // TCP: silence that ends a reply
  // Told each serial device as it starts, and the TCP addresses.
  std::function<void(const QString& line)> progress;
  // True once the scan is to end early (Ctrl+C): asked between the steps
  // and while a step waits. Null: never.
  std::function<bool()> stopped;
};

// Every serial device as one row or more (Found, else Silent or Failed),
// in the order given, then every TCP address, a row each; the TCP
// addresses are asked by a pool of threads (as many as the descriptors
// left under RLIMIT_NOFILE allow, at most 128; none: one after the other)
// while the serial devices are tried one after the other. A stopped scan
// still gives a row for each: "not scanned", "not asked" or where it
// stopped.
std::vector<ScanResult> Scan(const ScanPlan& plan);

// The serial devices a scan tries when none is named: the built-in ports
// (COM1 to COM12's devices) first, then the adapters in the port list's
// order.
QStringList DevicesPresent(const QList<link::EnumeratedPort>& ports);

}  // namespace kv770::cli
