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

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv770::live {

enum class Status { kOk, kNoAnswer, kBadReply };

// One value of one poll.
struct Sample {
  std::int64_t timeMs = 0;  // when its poll began, on the driver's clock (ms)
  int meter = 1;            // meter 1..8 (MODBUS RTU mode) or HART channel 1..8 (transparent)
  int quantity = 0;         // 0 the loop current, 1..4 the variables
  double value = 0;         // NaN unless the status is kOk
  std::string unit;         // "mA", a HART unit's text, or empty when not known
  Status status = Status::kOk;
};

// What a poll yields, one column per meter and quantity, in a fixed order:
// the chart's series, the table's rows, the CSV's columns.
struct Column {
  int meter = 1;
  int quantity = 0;
  std::string unit;
};

// "current", "variable 1" .. "variable 4".
std::string QuantityName(int quantity);
// "ok", "no answer", "bad reply".
std::string StatusName(Status status);

// One request and how to tell that its reply is whole, so the driver need
// not wait for the link's silence.
struct Exchange {
  std::vector<std::uint8_t> bytes;
  std::function<bool(std::span<const std::uint8_t> reply)> complete;
  int waitMs = 0;  // at most this long for its reply; then it is a gap
};

struct Options {
  bool serial = false;        // MODBUS RTU on a serial link, MODBUS TCP on TCP
  int intervalMs = 1000;      // from the start of one poll to the next
  std::vector<int> meters;    // meters (or channels) to watch; empty: every enabled one
  int hartPreambles = 6;      // transparent mode: the preamble number of HART frames
  std::uint8_t hartMasterBit = 0x80;
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
  // Samples of the polls completed since the last call.
  std::vector<Sample> TakeSamples();

  Phase State() const;
  bool ModbusMode() const;           // known once the system report was read
  std::vector<Column> Columns() const;  // known once polling
  std::int64_t NextPollAt() const;
  std::string Error() const;  // why it failed

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// CSV: "time,meter 1 current (mA),meter 1 variable 1 (m3/h),..." and one row
// per poll: the time as ISO 8601 with milliseconds (UTC), then each column's
// value, empty for a gap. Lines end with "\r\n".
std::string CsvHeader(const std::vector<Column>& columns);
std::string CsvRow(std::int64_t timeMs, const std::vector<Column>& columns,
                   const std::vector<Sample>& samples);

}  // namespace kv770::live
