// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv770::sim {

// A change of the flow's setpoint: from `atMs` on, the flow moves to
// `value` as a first-order lag with time constant kStepTimeConstantMs, and
// holds there (with its measurement noise) until the next step.
struct FlowStep {
  std::int64_t atMs = 0;
  double value = 0;
  bool operator==(const FlowStep&) const = default;
};

// The flow's time constant after a step: within 1 % of a step's size
// after about 9 s, within 0.7 % after 10 s.
inline constexpr double kStepTimeConstantMs = 2000;

// A HART field instrument behind one of the gateway's eight channels: a
// flow meter that also reports its process temperature, line pressure and
// totalised flow. Its values are functions of the time alone (and of the
// steps it has been given), so a test that passes the clock knows what
// the instrument will say.
struct Instrument {
  // Identity, as command 0 reports it.
  std::uint8_t manufacturer = 0;
  std::uint8_t deviceType = 0;
  std::uint8_t preambles = 5;  // preambles the instrument asks the master for
  std::uint32_t deviceId = 0;  // 24 bits
  std::uint8_t deviceRevision = 1;
  std::uint8_t softwareRevision = 1;
  // The polling address in its loop (0..63), which short frames reach.
  int pollingAddress = 0;

  // A value wandering around its base: a slow swing (half the amplitude),
  // a drift over several minutes (0.4 of it) and measurement noise that
  // changes every kNoiseStepMs (0.1 of it). It never strays farther than
  // the amplitude from the base.
  struct Wave {
    double base = 0;
    double amplitude = 0;
    double periodMs = 60000;  // of the swing
    double phase = 0;         // radians
  };
  Wave flow;
  Wave temperature;
  Wave pressure;
  double totalAtStart = 0;    // totaliser reading at time 0
  double totalPerFlowMs = 0;  // totaliser units per flow unit and millisecond
  double flowAt20mA = 100;    // the loop spans 0 (4 mA) to this flow (20 mA)

  // HART engineering-unit codes of flow, temperature, pressure, total.
  std::array<std::uint8_t, 4> units{};

  // Setpoint changes of the flow, in order of time; none by default.
  std::vector<FlowStep> flowSteps;
};

// How long a noise sample holds.
inline constexpr std::int64_t kNoiseStepMs = 100;

inline constexpr int kInstrumentCount = 8;
inline constexpr int kMaxPollingAddress = 63;

// Where an instrument sits: the gateway's channel (1..8) and its polling
// address in that channel's loop (0..63; several instruments share a loop
// when it is multidrop).
struct InstrumentPlace {
  int channel = 1;
  int pollingAddress = 0;
  bool operator==(const InstrumentPlace&) const = default;
};

// The instrument on channel `address` (1..8) at polling address 0; throws
// std::out_of_range for any other address.
const Instrument& InstrumentAt(int address);

// The instrument at a place: the channel's instrument at polling address 0,
// and for another polling address one of the same make and values whose
// device id is the channel's plus the polling address, modulo 2^24. So two
// places on one channel never share a long address (nor do two channels:
// their manufacturers differ). Throws std::out_of_range for a channel
// outside 1..8 or a polling address outside 0..63.
Instrument InstrumentAt(int channel, int pollingAddress);
Instrument InstrumentAt(InstrumentPlace place);

// The gateway's default: one instrument on each channel, at polling
// address 0.
std::vector<InstrumentPlace> OneInstrumentPerChannel();

// Dynamic variable 1..4 (flow, temperature, pressure, total) at `nowMs`;
// 0 for another variable number. The flow never reads below 0 (a meter's
// low-flow cut-off), and the total, which integrates the flow without its
// noise, never decreases.
double VariableAt(const Instrument& instrument, int variable, std::int64_t nowMs);

// The loop current in mA: 4 to 20 over the flow range (noise included),
// held inside the 3.8..20.5 mA a transmitter signals in normal operation.
double LoopCurrentAt(const Instrument& instrument, std::int64_t nowMs);

// The loop current and dynamic variables 1..4 at `nowMs`, all at once: the
// same values as LoopCurrentAt and VariableAt, for little more than the
// price of one.
std::array<double, 5> ReadingsAt(const Instrument& instrument, std::int64_t nowMs);

// The instrument's answer to one HART frame (preamble, delimiter, address,
// command, byte count, data, check byte): command 0 to its polling address
// in a short frame; commands 0, 1, 2 and 3 to its own long address; any
// other command to its long address gets response code 64, command not
// implemented. Empty, as the instrument keeps silent, for a frame to
// another address, with a wrong check byte, or cut short.
std::string AnswerHartFrame(const Instrument& instrument, std::string_view request,
                            std::int64_t nowMs);

}  // namespace kv770::sim
