// SPDX-License-Identifier: GPL-3.0-or-later
#include "live/monitor.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "gateway/commands.h"
#include "gateway/config.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "live/poll_replies.h"

namespace kv770::live {

namespace {

using ReplyBytes = std::span<const std::uint8_t>;

constexpr int kModbusRtuMode = 1;

Bytes AsBytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::string_view Text(ReplyBytes bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool EndsWithHash(ReplyBytes reply) {
  return gateway::ShortAnswerWhole(Text(reply));
}

// One request waiting to be sent, and what its reply means.
struct Step {
  Exchange exchange;
  std::function<void(ReplyBytes)> onReply;
};

// A channel whose instrument answered command 0.
struct Channel {
  int channel = 1;
  hart::Identity id;
  int variables = 4;  // how many its first command 3 reply carried
  std::vector<std::string> units = std::vector<std::string>(4);
};

}  // namespace

struct Monitor::Impl {
  Options options;
  Phase phase = Phase::kReadingConfiguration;
  std::string error;
  std::vector<std::string> notes;

  std::optional<gateway::SystemSettings> system;
  std::array<gateway::MeterSettings, gateway::kMeters> meters{};
  std::vector<int> watched;
  RegisterRead read;              // MODBUS RTU mode
  std::vector<Channel> channels;  // transparent mode
  std::vector<Column> columns;

  std::deque<Step> steps;
  bool awaiting = false;  // Next gave steps.front(), its Reply is due
  bool polling = false;   // a poll's steps are under way
  std::int64_t pollStart = 0;
  std::int64_t nextPollAt = 0;
  std::vector<Sample> poll;  // the poll under way, one per column
  std::vector<Sample> ready;

  bool chooseChannel = false;  // the next poll sends the HCS command even for one channel

  int PollWait() const {
    if (options.replyWaitMs > 0) return options.replyWaitMs;
    return std::clamp(options.intervalMs, waits::kPollWaitMinMs, waits::kPollWaitMaxMs);
  }
  int ConfigWait() const {
    return options.replyWaitMs > 0 ? options.replyWaitMs : waits::kConfigWaitMs;
  }
  void Fail(std::string why) {
    phase = Phase::kFailed;
    error = std::move(why);
    steps.clear();
  }

  void ReadConfiguration();
  void ChooseMeters();
  void StartIdentifying();
  void Identify(int channel);
  void IdentifiedAll();
  void StartPoll(std::int64_t nowMs);
  void PollChannel(const Channel& c);
  void FinishPoll();
  void SetChannelSamples(int channel, Status status);
  Step ConfigStep(const std::string& command, std::function<bool(ReplyBytes)> complete,
                  std::function<void(ReplyBytes)> onReply);
};

// ---- the configuration ---------------------------------------------------------------

Step Monitor::Impl::ConfigStep(const std::string& command, std::function<bool(ReplyBytes)> complete,
                               std::function<void(ReplyBytes)> onReply) {
  return {{AsBytes(command), std::move(complete), ConfigWait()},
          [this, command, onReply = std::move(onReply)](ReplyBytes reply) {
            if (reply.empty()) return Fail("no answer from the gateway to " + command);
            try {
              onReply(reply);
            } catch (const gateway::ReportError& e) {
              Fail(e.what());
            }
          }};
}

// The system report, then the MODBUS report of each meter that may be
// watched: the enable flags choose them when no list is given.
void Monitor::Impl::ReadConfiguration() {
  for (int m : options.meters)
    if (m < 1 || m > gateway::kMeters)
      return Fail("meter " + std::to_string(m) + " does not exist: the gateway has meters 1 to 8");
  std::vector<int> asked = options.meters;
  std::sort(asked.begin(), asked.end());
  asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
  if (asked.empty())
    for (int m = 1; m <= gateway::kMeters; ++m) asked.push_back(m);
  watched = asked;

  steps.push_back(
      ConfigStep(gateway::SystemReportQuery(), SystemReportComplete,
                 [this](ReplyBytes r) { system = gateway::SystemFromReport(Text(r)); }));
  for (int m : asked) {
    steps.push_back(ConfigStep(
        gateway::ModbusReportQuery(m - 1), [m](ReplyBytes r) { return MeterReportComplete(m, r); },
        [this, m](ReplyBytes r) {
          meters[static_cast<std::size_t>(m - 1)] = gateway::MeterFromReport(m, Text(r));
        }));
  }
}

void Monitor::Impl::ChooseMeters() {
  if (options.meters.empty())
    std::erase_if(watched,
                  [this](int m) { return meters[static_cast<std::size_t>(m - 1)].enabled != 1; });
  if (watched.empty())
    return Fail("no meter is enabled in the gateway's MODBUS mapping: name the meters to watch");
  if (system->workingMode != kModbusRtuMode) return StartIdentifying();
  if (system->slaveAddress > 255)
    return Fail("the gateway's slave address " + std::to_string(system->slaveAddress) +
                " does not fit a MODBUS frame");
  read.serial = options.serial;
  read.slave = static_cast<std::uint8_t>(system->slaveAddress);
  read.firstMeter = watched.front();
  read.lastMeter = watched.back();
  for (int m : watched) {
    const gateway::MeterSettings& s = meters[static_cast<std::size_t>(m - 1)];
    read.byteOrders[static_cast<std::size_t>(m - 1)] = s.byteOrders;
    columns.push_back({m, 0, "mA", ""});
    for (int q = 1; q <= 4; ++q)
      columns.push_back({m, q, "", s.coefficients[static_cast<std::size_t>(q - 1)]});
  }
  phase = Phase::kPolling;
}

// ---- transparent mode: who answers on each channel ----------------------------------

// Each channel once: the HCS command, command 0 at polling address 0, and
// a first command 3 for the units. A channel whose instrument does not
// answer command 0 is left out, with a note.
void Monitor::Impl::StartIdentifying() {
  phase = Phase::kIdentifying;
  for (int c : watched) Identify(c);
}

void Monitor::Impl::Identify(int channel) {
  const std::string name = "channel " + std::to_string(channel);
  const Bytes identity = hart::IdentityRequestBody(options.hartMasterBit);
  auto variablesStep = [this, name](Channel c) -> Step {
    const Bytes body = hart::VariablesRequestBody(options.hartMasterBit, c.id);
    return {{hart::Frame(options.hartPreambles, body), hart::ReplyComplete, ConfigWait()},
            [this, name, c, body](ReplyBytes r) mutable {
              const HartReading reading = ReadVariables(r, body);
              if (!reading.error.empty() || r.empty())
                notes.push_back(name + ": command 3 " +
                                (r.empty() ? "unanswered" : "not valid: " + reading.error) +
                                "; its units are not known yet");
              if (reading.error.empty() && !r.empty()) {
                c.variables = static_cast<int>(reading.values.variables.size());
                c.units = reading.values.units;
              }
              channels.push_back(c);
            }};
  };
  Step identify{{hart::Frame(options.hartPreambles, identity), hart::ReplyComplete, ConfigWait()},
                [this, name, channel, identity, variablesStep](ReplyBytes r) {
                  const hart::CheckedReply checked =
                      hart::CheckReply(r, identity, hart::kIdentityByteCount);
                  if (r.empty() || !checked.ok())
                    return notes.push_back(
                        name + " left out: " +
                        (r.empty() ? "no instrument answered command 0"
                                   : "command 0 answered with no valid reply: " + checked.error));
                  steps.push_front(variablesStep({channel, *hart::DecodeIdentity(r)}));
                }};
  steps.push_back(
      {{ChannelCommand(channel), EndsWithHash, ConfigWait()}, [this, name, identify](ReplyBytes r) {
         if (r.empty())
           return notes.push_back(name + " left out: the gateway did not answer its HCS command");
         steps.push_front(identify);
       }});
}

void Monitor::Impl::IdentifiedAll() {
  if (channels.empty()) return Fail("no instrument answered on the channels watched");
  for (const Channel& c : channels) {
    columns.push_back({c.channel, 0, "mA", ""});
    for (int q = 1; q <= c.variables; ++q)
      columns.push_back({c.channel, q, c.units[static_cast<std::size_t>(q - 1)], ""});
  }
  phase = Phase::kPolling;
}

// ---- polling --------------------------------------------------------------------------

void Monitor::Impl::SetChannelSamples(int channel, Status status) {
  for (Sample& s : poll)
    if (s.meter == channel) s.status = status;
}

// Transparent mode: the HCS command when several channels take turns, then
// command 3 to the instrument's long address. No acknowledgement of the
// HCS command: the channel's values are gaps and its command 3 is not sent.
void Monitor::Impl::PollChannel(const Channel& c) {
  const Bytes body = hart::VariablesRequestBody(options.hartMasterBit, c.id);
  Step variables{{hart::Frame(options.hartPreambles, body), hart::ReplyComplete, PollWait()},
                 [this, c, body](ReplyBytes r) {
                   if (r.empty()) return;  // the samples are gaps already
                   const HartReading reading = ReadVariables(r, body);
                   if (!reading.error.empty())
                     return SetChannelSamples(c.channel, Status::kBadReply);
                   for (Sample& s : poll) {
                     if (s.meter != c.channel) continue;
                     const auto q = static_cast<std::size_t>(s.quantity);
                     if (q > reading.values.variables.size()) {
                       s.status = Status::kBadReply;  // a sound frame, but short of this variable
                       continue;
                     }
                     const double value =
                         q == 0 ? reading.values.loopCurrent : reading.values.variables[q - 1];
                     if (q > 0) s.unit = reading.values.units[q - 1];
                     s.status = std::isnan(value) ? Status::kNoAnswer : Status::kOk;
                     if (s.status == Status::kOk) s.value = value;
                   }
                 }};
  if (channels.size() == 1 && !chooseChannel) return steps.push_back(std::move(variables));
  steps.push_back(
      {{ChannelCommand(c.channel), EndsWithHash, PollWait()}, [this, variables](ReplyBytes r) {
         if (r.empty()) return;
         chooseChannel = false;
         steps.push_front(variables);
       }});
}

void Monitor::Impl::StartPoll(std::int64_t nowMs) {
  // On time, or at once when late; a poll missed altogether (the driver
  // was held up) is not made up by a burst.
  if (nowMs - nextPollAt >= std::max(options.intervalMs, 1)) nextPollAt = nowMs;
  pollStart = nowMs;
  nextPollAt += std::max(options.intervalMs, 0);
  polling = true;
  poll.clear();
  for (const Column& c : columns)
    poll.push_back({nowMs, c.meter, c.quantity, NAN, c.unit, Status::kNoAnswer});
  if (phase == Phase::kPolling && !channels.empty()) {
    for (const Channel& c : channels) PollChannel(c);
    return;
  }
  ++read.transaction;
  steps.push_back(
      {{RegisterReadRequest(read),
        [read = read](ReplyBytes r) { return RegisterReplyComplete(read, r); }, PollWait()},
       [this](ReplyBytes r) { TakeRegisterValues(read, r, poll); }});
}

void Monitor::Impl::FinishPoll() {
  polling = false;
  ready.insert(ready.end(), poll.begin(), poll.end());
  poll.clear();
}

// ---- the interface ---------------------------------------------------------------------

Monitor::Monitor(Options options) : impl_(std::make_shared<Impl>()) {
  impl_->options = std::move(options);
  impl_->ReadConfiguration();
}

std::optional<Exchange> Monitor::Next(std::int64_t nowMs) {
  Impl& m = *impl_;
  if (m.phase == Phase::kFailed) return std::nullopt;
  if (m.steps.empty()) {
    if (m.phase != Phase::kPolling || nowMs < m.nextPollAt) return std::nullopt;
    m.StartPoll(nowMs);
  }
  m.awaiting = true;
  return m.steps.front().exchange;
}

void Monitor::Reply(std::span<const std::uint8_t> reply, std::int64_t nowMs) {
  Impl& m = *impl_;
  if (!m.awaiting || m.steps.empty()) return;  // nothing was asked
  m.awaiting = false;
  const Step step = std::move(m.steps.front());
  m.steps.pop_front();
  step.onReply(reply);
  if (!m.steps.empty() || m.phase == Phase::kFailed) return;
  if (m.phase == Phase::kReadingConfiguration) m.ChooseMeters();
  if (m.phase == Phase::kIdentifying && m.steps.empty()) m.IdentifiedAll();
  if (m.polling) {
    m.FinishPoll();
  } else if (m.phase == Phase::kPolling) {
    m.nextPollAt = nowMs;  // the first poll, at once
  }
}

std::vector<Sample> Monitor::TakeSamples() {
  std::vector<Sample> samples;
  samples.swap(impl_->ready);
  return samples;
}

void Monitor::LinkRenewed() {
  impl_->chooseChannel = true;
}

Phase Monitor::State() const {
  return impl_->phase;
}

bool Monitor::ModbusMode() const {
  return impl_->system && impl_->system->workingMode == kModbusRtuMode;
}

std::vector<Column> Monitor::Columns() const {
  return impl_->phase == Phase::kPolling ? impl_->columns : std::vector<Column>{};
}

std::int64_t Monitor::NextPollAt() const {
  return impl_->nextPollAt;
}

std::string Monitor::Error() const {
  return impl_->error;
}

std::vector<std::string> Monitor::Notes() const {
  return impl_->notes;
}

}  // namespace kv770::live
