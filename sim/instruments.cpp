#include "sim/instruments.h"

#include <algorithm>
#include <bit>
#include <cmath>
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

double WaveAt(const Instrument::Wave& w, std::int64_t nowMs) {
  const double angle = 2 * std::numbers::pi * static_cast<double>(nowMs) / w.periodMs + w.phase;
  return w.base + w.amplitude * std::sin(angle);
}

// The flow integrated from time 0: the base flow's share plus the swing's.
double TotalAt(const Instrument& i, std::int64_t nowMs) {
  const double t = static_cast<double>(nowMs);
  const Instrument::Wave& w = i.flow;
  const double omega = 2 * std::numbers::pi / w.periodMs;
  const double integral =
      w.base * t + w.amplitude / omega * (std::cos(w.phase) - std::cos(omega * t + w.phase));
  return i.totalAtStart + i.totalPerFlowMs * integral;
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

double VariableAt(const Instrument& instrument, int variable, std::int64_t nowMs) {
  switch (variable) {
    case 1:
      return WaveAt(instrument.flow, nowMs);
    case 2:
      return WaveAt(instrument.temperature, nowMs);
    case 3:
      return WaveAt(instrument.pressure, nowMs);
    case 4:
      return TotalAt(instrument, nowMs);
    default:
      return 0;
  }
}

double LoopCurrentAt(const Instrument& instrument, std::int64_t nowMs) {
  const double current = 4.0 + 16.0 * VariableAt(instrument, 1, nowMs) / instrument.flowAt20mA;
  return std::clamp(current, 3.8, 20.5);
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
    if (std::string reply = AnswerHartFrame(InstrumentAt(place), request, nowMs); !reply.empty())
      return reply;
  }
  return {};
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
}

double Engine::LoopCurrent(int meter, std::int64_t nowMs) const {
  if (meter < 1 || meter > kInstrumentCount) return 0;
  return LoopCurrentAt(InstrumentAt(meter), nowMs);
}

double Engine::Variable(int meter, int variable, std::int64_t nowMs) const {
  if (meter < 1 || meter > kInstrumentCount) return 0;
  return VariableAt(InstrumentAt(meter), variable, nowMs);
}

}  // namespace kv770::sim
