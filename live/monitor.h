// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Live values: the conversation that reads a gateway's configuration once
// and then polls its values at an interval, as a pure state machine. It
// sends nothing itself: a driver (kv770ctl monitor, the window's "Live
// Values" tab) asks it for the next exchange, puts the bytes on its link,
// and hands back what came within the exchange's wait (nothing: empty).
//
//   Monitor m(options);
//   for (;;) {
//     if (auto e = m.Next(now)) { send e->bytes; wait up to e->waitMs for a
//                                 reply that e->complete() says is whole;
//                                 m.Reply(reply, now); }
//     else sleep until m.NextPollAt();
//     for (const Sample& s : m.TakeSamples()) show(s);
//   }
//
// The driver sends one exchange at a time and hands back only what arrived
// for it: bytes that come after an exchange's wait are a late reply to the
// earlier request and must be drained (read and dropped) before the next
// request goes out, or they would be taken for its reply. kv770ctl's links
// do so (TCP: whatever is pending is dropped before sending; serial: blocks
// delivered before the send are dropped). A late reply that arrives only
// after the next request went out is caught for MODBUS TCP, whose reads
// carry a new transaction number each poll; a MODBUS RTU or HART reply
// carries nothing to tell it by.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/waits.h"

namespace kv770::live {

enum class Status { kOk, kNoAnswer, kBadReply };

// One value of one poll.
struct Sample {
  // When its poll began, on the driver's clock (ms). CsvRow reads it as
  // milliseconds since 1970 UTC, so a driver that writes CSV counts so.
  std::int64_t timeMs = 0;
  int meter = 1;     // meter 1..8 (MODBUS RTU mode) or HART channel 1..8 (transparent)
  int quantity = 0;  // 0 the loop current, 1..4 the variables
  double value = 0;  // NaN unless the status is kOk
  std::string unit;  // "mA", a HART unit's symbol ("m³/h"), or empty when not known
  Status status = Status::kOk;
};

// What a poll yields, one column per meter and quantity, in a fixed order:
// the chart's series, the table's rows, the CSV's columns.
struct Column {
  int meter = 1;
  int quantity = 0;
  std::string unit;
  // MODBUS RTU mode, variables 1..4: the gateway's coefficient as it
  // reports it ("2.500"). The gateway has already multiplied the value by
  // it before filling the register, so the value is what a MODBUS master
  // reads; this says by how much it was scaled. Empty otherwise.
  std::string coefficient;
};

// "current", "variable 1" .. "variable 4".
std::string QuantityName(int quantity);
// "ok", "no answer", "bad reply".
std::string StatusName(Status status);
// The unit and the coefficient as a person reads them beside a value:
// "mA", "m³/h", "×2.500", "m³/h ×2.500", or empty when neither is known.
std::string UnitLabel(const Column& column);
// A value as kv770ctl monitor, the window's table and the CSV write it. A
// float (what an instrument or a float register gives) takes the fewest
// digits that read back as the same float, "45.052"; a whole number (an
// unsigned register's, a totaliser) is written in full, "4294967295",
// where the shortest float text would say "1e+05" or lose digits. Empty
// for a gap (NaN).
std::string ValueText(double value, char decimalSeparator = '.');

// One request and how to tell that its reply is whole, so the driver need
// not wait for the link's silence.
// `complete` is always set. For the gateway's ASCII reports it turns true
// once the report ends with '#' and decodes; a gateway that ends its
// report otherwise leaves it false, and the link's silence must end it.
struct Exchange {
  std::vector<std::uint8_t> bytes;
  std::function<bool(std::span<const std::uint8_t> reply)> complete;
  int waitMs = 0;  // at most this long for its reply; then it is a gap
};

// A poll's exchange waits as long as the interval, within the bounds of
// base/waits.h; a poll with a silent gateway then runs late instead.

struct Options {
  bool serial = false;      // MODBUS RTU on a serial link, MODBUS TCP on TCP
  int intervalMs = 1000;    // from the start of one poll to the next
  std::vector<int> meters;  // meters (or channels) to watch; empty: every enabled one
  int hartPreambles = 6;    // transparent mode: the preamble number of HART frames
  std::uint8_t hartMasterBit = 0x80;
  // Every exchange's wait when above 0 (the user's own, for a gateway
  // known to be slow), instead of the waits above.
  int replyWaitMs = 0;
};

enum class Phase {
  kReadingConfiguration,  // the system report, then each meter's report
  kIdentifying,           // transparent mode: command 0 on each channel watched
  kPolling,
  kFailed,  // the configuration could not be read; see Error()
};

class Monitor {
 public:
  explicit Monitor(Options options);

  // The next exchange to send at `nowMs`; nullopt while waiting for the
  // next poll (see NextPollAt) or once failed.
  std::optional<Exchange> Next(std::int64_t nowMs);
  // The reply to the exchange Next gave last; empty when none came within
  // its wait.
  void Reply(std::span<const std::uint8_t> reply, std::int64_t nowMs);
  // Samples of the polls completed since the last call: each poll gives
  // one sample per column, in the order of Columns(), gaps included.
  std::vector<Sample> TakeSamples();
  // The driver has connected again (or reopened its port) after losing the
  // link: a gateway that restarted meanwhile may be on another HART
  // channel, so the next poll chooses its channel again.
  void LinkRenewed();

  Phase State() const;
  bool ModbusMode() const;  // known once the system report was read
  // Known once polling. Transparent mode: per channel whose instrument
  // answered command 0, the loop current and the variables its first
  // command 3 reply carried (all four when that reply failed), with the
  // units it gave.
  std::vector<Column> Columns() const;
  std::int64_t NextPollAt() const;
  std::string Error() const;  // why it failed
  // What the monitor left out and why ("channel 3: no instrument answered
  // command 0"), for the driver to show once polling has begun.
  std::vector<std::string> Notes() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// CSV: "time,meter 1 current (mA),meter 1 variable 1 (m³/h),..." and one row
// per poll: the time as ISO 8601 with milliseconds (UTC), then each column's
// value, empty for a gap. Lines end with "\r\n".
// A CSV field (RFC 4180): one holding a comma, a quote or a line end is
// quoted, its quotes doubled.
std::string CsvField(const std::string& text);
std::string CsvHeader(const std::vector<Column>& columns);
std::string CsvRow(std::int64_t timeMs, const std::vector<Column>& columns,
                   const std::vector<Sample>& samples);

}  // namespace kv770::live
