// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/instruments.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <vector>

#include "hart/frame.h"
#include "sim/engine.h"

namespace kv770::sim {

namespace {

using Bytes = std::vector<std::uint8_t>;

// HART engineering-unit codes the instruments use.
enum Unit : std::uint8_t {
  kPsi = 6,
  kBar = 7,
  kPascal = 11,
  kKiloPascal = 12,
  kGallonsPerMinute = 16,
  kLitresPerMinute = 17,
  kCubicMetresPerHour = 19,
  kLitresPerSecond = 24,
  kCelsius = 32,
  kFahrenheit = 33,
  kKelvin = 35,
  kGallons = 40,
  kLitres = 41,
  kCubicMetres = 43,
  kKilograms = 61,
  kMetricTons = 62,
  kKilogramsPerSecond = 73,
  kKilogramsPerMinute = 74,
  kKilogramsPerHour = 75,
  kMetricTonsPerMinute = 77,
  kMegaPascal = 237,
};

constexpr double kPerHour = 1.0 / 3'600'000;
constexpr double kPerMinute = 1.0 / 60'000;
constexpr double kPerSecond = 1.0 / 1'000;

Instrument Make(std::uint8_t manufacturer, std::uint8_t deviceType, std::uint8_t preambles,
                std::uint32_t deviceId, Instrument::Wave flow, Instrument::Wave temperature,
                Instrument::Wave pressure, double totalAtStart, double totalPerFlowMs,
                std::array<std::uint8_t, 4> units) {
  Instrument i;
  i.manufacturer = manufacturer;
  i.deviceType = deviceType;
  i.preambles = preambles;
  i.deviceId = deviceId;
  i.flow = flow;
  i.temperature = temperature;
  i.pressure = pressure;
  i.totalAtStart = totalAtStart;
  i.totalPerFlowMs = totalPerFlowMs;
  i.flowAt20mA = std::ceil((flow.base + flow.amplitude) * 1.5);
  i.units = units;
  return i;
}

// Eight instruments of different makes and units, so that each channel is
// recognisable in the window. Manufacturer codes above 63 show that only
// their low six bits enter the long address.
const std::array<Instrument, kInstrumentCount>& ChannelInstruments() {
  static const std::array<Instrument, kInstrumentCount> instruments{
      Make(0x26, 0x06, 5, 0x123456, {42.5, 3.0, 60'000, 0.0}, {21.3, 0.8, 300'000, 0.5},
           {0.62, 0.03, 45'000, 1.0}, 10'234.0, kPerHour,
           {kCubicMetresPerHour, kCelsius, kMegaPascal, kCubicMetres}),
      Make(0x11, 0x21, 5, 0x0A1B2C, {180.0, 12.0, 50'000, 1.3}, {18.0, 1.5, 240'000, 0.2},
           {350.0, 10.0, 70'000, 2.0}, 55'000.0, kPerMinute,
           {kLitresPerMinute, kCelsius, kKiloPascal, kLitres}),
      Make(0x3E, 0x5A, 7, 0x00FF01, {95.0, 5.0, 80'000, 2.1}, {65.2, 2.0, 200'000, 1.1},
           {4.1, 0.2, 40'000, 0.7}, 120'000.0, kPerMinute,
           {kKilogramsPerMinute, kCelsius, kBar, kKilograms}),
      Make(0x2A, 0x0C, 5, 0x654321, {75.0, 4.0, 65'000, 0.4}, {68.0, 3.0, 360'000, 2.4},
           {85.0, 2.5, 55'000, 0.3}, 300'000.0, kPerMinute,
           {kGallonsPerMinute, kFahrenheit, kPsi, kGallons}),
      Make(0x1F, 0x80, 6, 0x000A0B, {0.21, 0.01, 90'000, 3.0}, {295.4, 1.2, 420'000, 0.9},
           {1.25, 0.05, 35'000, 1.9}, 8'800.0, kPerMinute,
           {kMetricTonsPerMinute, kKelvin, kMegaPascal, kMetricTons}),
      Make(0x9B, 0x33, 5, 0xABCDEF, {2.8, 0.2, 30'000, 0.6}, {40.0, 1.0, 150'000, 2.8},
           {101'325.0, 200.0, 25'000, 1.4}, 75'000.0, kPerSecond,
           {kLitresPerSecond, kCelsius, kPascal, kLitres}),
      Make(0x07, 0xE1, 8, 0x000001, {310.0, 20.0, 120'000, 1.7}, {5.5, 0.5, 600'000, 0.1},
           {220.0, 6.0, 48'000, 2.6}, 450'000.0, kPerHour,
           {kCubicMetresPerHour, kCelsius, kKiloPascal, kCubicMetres}),
      // Kilograms per hour: a unit the window's list does not carry.
      Make(0xC5, 0x02, 5, 0x7F0010, {5'800.0, 300.0, 75'000, 0.8}, {120.0, 4.0, 280'000, 1.6},
           {16.0, 0.4, 60'000, 2.2}, 990'000.0, kPerHour,
           {kKilogramsPerHour, kCelsius, kBar, kKilograms}),
  };
  return instruments;
}

// ---- values that move like a process --------------------------------------
//
// Every value is a pure function of the instrument, the variable and the
// time: the same instant always reads the same.

// Shares of a wave's amplitude; they add up to 1, so a value never strays
// farther than the amplitude from its base.
constexpr double kSwingShare = 0.5;
constexpr double kDriftShare = 0.4;
constexpr double kNoiseShare = 0.1;
// The drift is two sines of these periods (together they repeat only after
// some 22 hours), with phases of each instrument's and variable's own.
constexpr std::array<double, 2> kDriftPeriodsMs{7.3 * 60'000, 17.9 * 60'000};

// A 64-bit mix (splitmix64's finaliser): nearby inputs, far-apart outputs.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

// A number in [-1, 1) that `seed` fixes.
double Spread(std::uint64_t seed) {
  return static_cast<double>(Mix(seed) >> 11) * 0x1.0p-52 - 1.0;
}

// What sets one variable of one instrument apart: the instrument's long
// address (so two instruments on one channel differ) and the variable.
std::uint64_t Key(const Instrument& i, int variable) {
  const std::uint64_t address = std::uint64_t{i.manufacturer} << 32 |
                                std::uint64_t{i.deviceType} << 24 | (i.deviceId & 0xFFFFFF);
  return address << 3 | static_cast<std::uint64_t>(variable);
}

struct Sine {
  double amplitude;
  double omega;  // radians per millisecond
  double phase;
};

// The smooth part's sines: the wave's swing and the two of the drift.
std::array<Sine, 3> Sines(const Instrument::Wave& w, std::uint64_t key) {
  const double drift = kDriftShare * w.amplitude / 2;
  const auto phase = [key](std::uint64_t k) {
    return std::numbers::pi * (Spread(key * 31 + k) + 1);
  };
  return {{{kSwingShare * w.amplitude, 2 * std::numbers::pi / w.periodMs, w.phase},
           {drift, 2 * std::numbers::pi / kDriftPeriodsMs[0], phase(1)},
           {drift, 2 * std::numbers::pi / kDriftPeriodsMs[1], phase(2)}}};
}

double SmoothAt(const Instrument::Wave& w, std::uint64_t key, double t) {
  double value = w.base;
  for (const Sine& s : Sines(w, key)) value += s.amplitude * std::sin(s.omega * t + s.phase);
  return value;
}

// The smooth part integrated from time 0.
double SmoothIntegral(const Instrument::Wave& w, std::uint64_t key, double t) {
  double integral = w.base * t;
  for (const Sine& s : Sines(w, key))
    integral += s.amplitude / s.omega * (std::cos(s.phase) - std::cos(s.omega * t + s.phase));
  return integral;
}

// Measurement noise: one sample per kNoiseStepMs.
double NoiseAt(const Instrument::Wave& w, std::uint64_t key, std::int64_t nowMs) {
  const std::int64_t slot =
      nowMs >= 0 ? nowMs / kNoiseStepMs : -((-nowMs + kNoiseStepMs - 1) / kNoiseStepMs);
  const std::uint64_t seed = Mix(key) ^ static_cast<std::uint64_t>(slot);
  return kNoiseShare * w.amplitude * Spread(seed);
}

// The flow without its noise, and its integral from time 0.
struct SmoothFlow {
  double value = 0;
  double integral = 0;

  // Lets `ms` pass while the flow approaches `target` (first order).
  void Approach(double target, double ms) {
    const double left = std::exp(-ms / kStepTimeConstantMs);
    integral += target * ms + (value - target) * kStepTimeConstantMs * (1 - left);
    value = target + (value - target) * left;
  }
};

// The wave up to the first step, then one approach after another.
SmoothFlow SmoothFlowAt(const Instrument& i, std::int64_t nowMs) {
  const std::uint64_t key = Key(i, 1);
  const auto natural = [&](double t) -> SmoothFlow {
    return {SmoothAt(i.flow, key, t), SmoothIntegral(i.flow, key, t)};
  };
  const FlowStep* last = nullptr;
  SmoothFlow flow;
  for (const FlowStep& step : i.flowSteps) {
    if (step.atMs > nowMs) break;
    if (last)
      flow.Approach(last->value, static_cast<double>(step.atMs - last->atMs));
    else
      flow = natural(static_cast<double>(step.atMs));
    last = &step;
  }
  if (!last) return natural(static_cast<double>(nowMs));
  flow.Approach(last->value, static_cast<double>(nowMs - last->atMs));
  return flow;
}

void AppendFloat(Bytes& out, double value) {
  const auto pattern = std::bit_cast<std::uint32_t>(static_cast<float>(value));
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(pattern >> shift));
}

enum ResponseCode : std::uint8_t {
  kSuccess = 0,
  kCommandNotImplemented = 64,
};

// Preambles the instrument sends before each reply.
constexpr int kReplyPreambles = 5;

Bytes Command0Data(const Instrument& i) {
  return {
      254,  // expansion code
      i.manufacturer,
      i.deviceType,
      i.preambles,
      5,  // universal command revision
      i.deviceRevision,
      i.softwareRevision,
      0x08,  // hardware revision 1, Bell 202 current signalling
      0x00,  // flags
      static_cast<std::uint8_t>(i.deviceId >> 16),
      static_cast<std::uint8_t>(i.deviceId >> 8),
      static_cast<std::uint8_t>(i.deviceId),
  };
}

// The answer's data for a command, or nothing for a command the
// instrument does not implement.
std::optional<Bytes> CommandData(const Instrument& i, std::uint8_t command, std::int64_t nowMs) {
  Bytes data;
  switch (command) {
    case 0:
      return Command0Data(i);
    case 1:  // primary variable
      data.push_back(i.units[0]);
      AppendFloat(data, VariableAt(i, 1, nowMs));
      return data;
    case 2:  // loop current and percent of range
      AppendFloat(data, LoopCurrentAt(i, nowMs));
      AppendFloat(data, (LoopCurrentAt(i, nowMs) - 4.0) / 16.0 * 100.0);
      return data;
    case 3:  // loop current and the four dynamic variables with their units
      AppendFloat(data, LoopCurrentAt(i, nowMs));
      for (int v = 1; v <= 4; ++v) {
        data.push_back(i.units[static_cast<std::size_t>(v - 1)]);
        AppendFloat(data, VariableAt(i, v, nowMs));
      }
      return data;
    default:
      return std::nullopt;
  }
}

// A whole reply frame: preamble, delimiter, the master's address echoed
// (burst bit clear), command, byte count, response code, device status,
// data, check byte.
std::string ReplyFrame(std::uint8_t delimiter, const Bytes& address, std::uint8_t command,
                       std::uint8_t responseCode, const Bytes& data) {
  Bytes body{delimiter};
  for (std::size_t k = 0; k < address.size(); ++k)
    body.push_back(k == 0 ? static_cast<std::uint8_t>(address[k] & ~0x40) : address[k]);
  body.push_back(command);
  body.push_back(static_cast<std::uint8_t>(data.size() + 2));
  body.push_back(responseCode);
  body.push_back(0x00);  // device status: all well
  body.insert(body.end(), data.begin(), data.end());
  const Bytes frame = hart::Frame(kReplyPreambles - 1, body);
  return std::string(frame.begin(), frame.end());
}

}  // namespace

const Instrument& InstrumentAt(int address) {
  if (address < 1 || address > kInstrumentCount) throw std::out_of_range("HART address 1..8");
  return ChannelInstruments()[static_cast<std::size_t>(address - 1)];
}

Instrument InstrumentAt(int channel, int pollingAddress) {
  if (pollingAddress < 0 || pollingAddress > kMaxPollingAddress)
    throw std::out_of_range("HART polling address 0..63");
  Instrument instrument = InstrumentAt(channel);
  instrument.pollingAddress = pollingAddress;
  instrument.deviceId =
      (instrument.deviceId + static_cast<std::uint32_t>(pollingAddress)) & 0xFFFFFF;
  return instrument;
}

Instrument InstrumentAt(InstrumentPlace place) {
  return InstrumentAt(place.channel, place.pollingAddress);
}

std::vector<InstrumentPlace> OneInstrumentPerChannel() {
  std::vector<InstrumentPlace> places;
  for (int channel = 1; channel <= kInstrumentCount; ++channel) places.push_back({channel, 0});
  return places;
}

namespace {

// Variable 1 from the flow without its noise.
double FlowReading(const Instrument& instrument, const SmoothFlow& flow, std::int64_t nowMs) {
  return std::max(0.0, flow.value + NoiseAt(instrument.flow, Key(instrument, 1), nowMs));
}

// Variable 4 from the flow's integral.
double TotalReading(const Instrument& instrument, const SmoothFlow& flow) {
  return instrument.totalAtStart + instrument.totalPerFlowMs * flow.integral;
}

double LoopCurrentOf(const Instrument& instrument, double flow) {
  return std::clamp(4.0 + 16.0 * flow / instrument.flowAt20mA, 3.8, 20.5);
}

}  // namespace

double VariableAt(const Instrument& instrument, int variable, std::int64_t nowMs) {
  const std::uint64_t key = Key(instrument, variable);
  const auto wave = [&](const Instrument::Wave& w) {
    return SmoothAt(w, key, static_cast<double>(nowMs)) + NoiseAt(w, key, nowMs);
  };
  switch (variable) {
    case 1:
      return FlowReading(instrument, SmoothFlowAt(instrument, nowMs), nowMs);
    case 2:
      return wave(instrument.temperature);
    case 3:
      return wave(instrument.pressure);
    case 4:
      return TotalReading(instrument, SmoothFlowAt(instrument, nowMs));
    default:
      return 0;
  }
}

double LoopCurrentAt(const Instrument& instrument, std::int64_t nowMs) {
  return LoopCurrentOf(instrument, VariableAt(instrument, 1, nowMs));
}

std::array<double, 5> ReadingsAt(const Instrument& instrument, std::int64_t nowMs) {
  // The flow, its loop current and the total share one smooth flow.
  const SmoothFlow smooth = SmoothFlowAt(instrument, nowMs);
  const double flow = FlowReading(instrument, smooth, nowMs);
  return {LoopCurrentOf(instrument, flow), flow, VariableAt(instrument, 2, nowMs),
          VariableAt(instrument, 3, nowMs), TotalReading(instrument, smooth)};
}

std::string AnswerHartFrame(const Instrument& instrument, std::string_view request,
                            std::int64_t nowMs) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(request[k]); };
  std::size_t p = 0;
  while (p < request.size() && byte(p) == hart::kPreambleByte) ++p;
  if (p == 0 || p >= request.size()) return {};

  const std::uint8_t delimiter = byte(p);
  std::size_t addressLength;
  if (delimiter == hart::kShortRequest)
    addressLength = 1;
  else if (delimiter == hart::kLongRequest)
    addressLength = 5;
  else
    return {};
  const std::size_t commandAt = p + 1 + addressLength;
  if (commandAt + 2 > request.size()) return {};
  const std::uint8_t command = byte(commandAt);
  const std::size_t checkAt = commandAt + 2 + byte(commandAt + 1);
  if (checkAt >= request.size()) return {};
  std::uint8_t check = 0;
  for (std::size_t k = p; k < checkAt; ++k) check ^= byte(k);
  if (check != byte(checkAt)) return {};

  const Bytes address(request.begin() + static_cast<std::ptrdiff_t>(p + 1),
                      request.begin() + static_cast<std::ptrdiff_t>(commandAt));
  if (delimiter == hart::kShortRequest) {
    // A short frame reaches a polling address and carries command 0 only;
    // the instrument ignores any other command in it.
    if ((address[0] & 0x3F) != instrument.pollingAddress || command != 0) return {};
    return ReplyFrame(hart::kShortReply, address, command, kSuccess, Command0Data(instrument));
  }

  const bool mine = (address[0] & 0x3F) == (instrument.manufacturer & 0x3F) &&
                    address[1] == instrument.deviceType &&
                    address[2] == static_cast<std::uint8_t>(instrument.deviceId >> 16) &&
                    address[3] == static_cast<std::uint8_t>(instrument.deviceId >> 8) &&
                    address[4] == static_cast<std::uint8_t>(instrument.deviceId);
  if (!mine) return {};
  if (const auto data = CommandData(instrument, command, nowMs))
    return ReplyFrame(hart::kLongReply, address, command, kSuccess, *data);
  return ReplyFrame(hart::kLongReply, address, command, kCommandNotImplemented, {});
}

// ---- the gateway's side ------------------------------------------------------

std::string Engine::HartFrame(std::string_view request, std::int64_t nowMs) {
  // Frames pass through only in transparent mode, to the chosen channel's
  // loop, where at most one instrument answers: the one at the short
  // frame's polling address or the one with the long frame's address.
  if (model_.workingMode != 0) return {};
  for (const InstrumentPlace& place : instruments_) {
    if (place.channel != model_.hartAddress) continue;
    if (std::string reply = AnswerHartFrame(Polled(place), request, nowMs); !reply.empty())
      return reply;
  }
  return {};
}

Instrument Engine::Polled(InstrumentPlace place) const {
  Instrument instrument = InstrumentAt(place);
  if (place.pollingAddress == 0)
    instrument.flowSteps = steps_[static_cast<std::size_t>(place.channel - 1)];
  return instrument;
}

void Engine::SetInstruments(std::vector<InstrumentPlace> places) {
  // Places no loop has, and a second instrument at one place, are left out.
  std::vector<InstrumentPlace> kept;
  for (const InstrumentPlace& p : places) {
    const bool valid = p.channel >= 1 && p.channel <= kInstrumentCount && p.pollingAddress >= 0 &&
                       p.pollingAddress <= kMaxPollingAddress;
    if (valid && std::find(kept.begin(), kept.end(), p) == kept.end()) kept.push_back(p);
  }
  instruments_ = std::move(kept);
  readings_ = {};
}

bool Engine::MeterAnswers(int meter) const {
  return std::ranges::find(instruments_, InstrumentPlace{meter, 0}) != instruments_.end();
}

bool Engine::Step(int meter, double value, std::int64_t atMs) {
  if (meter < 1 || meter > kInstrumentCount || !std::isfinite(value) || value < 0 || atMs < 0)
    return false;
  std::vector<FlowStep>& steps = steps_[static_cast<std::size_t>(meter - 1)];
  // After any step at the same instant, so the last one given wins.
  const auto at = std::ranges::upper_bound(steps, atMs, {}, &FlowStep::atMs);
  steps.insert(at, FlowStep{atMs, value});
  readings_[static_cast<std::size_t>(meter - 1)] = {};
  return true;
}

const std::vector<FlowStep>& Engine::Steps(int meter) const {
  static const std::vector<FlowStep> kNone;
  if (meter < 1 || meter > kInstrumentCount) return kNone;
  return steps_[static_cast<std::size_t>(meter - 1)];
}

double Engine::LoopCurrent(int meter, std::int64_t nowMs) const {
  if (meter < 1 || meter > kInstrumentCount) return 0;
  if (!MeterAnswers(meter)) return std::numeric_limits<double>::quiet_NaN();
  return LoopCurrentAt(Polled({meter, 0}), nowMs);
}

std::array<double, 5> Engine::Readings(int meter, std::int64_t nowMs) const {
  if (meter < 1 || meter > kInstrumentCount) return {};
  // Every request within one millisecond reads the same values: they are
  // worked out once.
  Remembered& remembered = readings_[static_cast<std::size_t>(meter - 1)];
  if (remembered.valid && remembered.atMs == nowMs) return remembered.readings;
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  remembered = {true, nowMs,
                MeterAnswers(meter) ? ReadingsAt(Polled({meter, 0}), nowMs)
                                    : std::array{kNone, kNone, kNone, kNone, kNone}};
  return remembered.readings;
}

double Engine::Variable(int meter, int variable, std::int64_t nowMs) const {
  if (meter < 1 || meter > kInstrumentCount) return 0;
  if (!MeterAnswers(meter)) return std::numeric_limits<double>::quiet_NaN();
  return VariableAt(Polled({meter, 0}), variable, nowMs);
}

}  // namespace kv770::sim
