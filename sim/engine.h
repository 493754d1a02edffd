// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/gateway_model.h"
#include "sim/instruments.h"

namespace kv770::sim {

// How the simulated gateway misbehaves on purpose, so tests can provoke
// time-outs and split replies.
struct Behaviour {
  bool silent = false;      // never answer
  int delayMs = 0;          // answer this late
  bool byteByByte = false;  // send the answer one byte at a time
  int byteGapMs = 20;       // pause between those bytes
};

// The gateway as a pure function of its requests: bytes in, bytes out, no
// clock of its own (the caller passes the time, so live values are
// deterministic in tests) and no I/O.
// The link a request came over: MODBUS is RTU on the serial line and
// MODBUS TCP on TCP.
enum class Transport { Tcp, Serial };

class Engine {
 public:
  // The reply to one complete request received at `nowMs`; empty when the
  // gateway would not answer.
  std::string Handle(std::string_view request, std::int64_t nowMs,
                     Transport transport = Transport::Tcp);
  // The same into `reply`, replacing what it held: a server answering
  // request after request keeps reusing its room.
  void Handle(std::string_view request, std::int64_t nowMs, Transport transport,
              std::string& reply);

  // The size of the whole MODBUS TCP frame `bytes` start with: the
  // seven-byte header (transaction, protocol 0, length of the rest, unit)
  // and as many bytes as it announces. 0 when they start with anything else
  // or with only part of a frame. Such a request needs no pause to tell
  // where it ends, whatever its transaction number (even one starting FF).
  static std::size_t ModbusTcpFrameSize(std::string_view bytes);
  // One or more whole MODBUS TCP frames back to back and nothing else.
  static bool IsModbusTcpFrames(std::string_view request);

  // The instruments behind the gateway, which transparent HART frames
  // reach (by default OneInstrumentPerChannel()). Places outside channels
  // 1..8 or polling addresses 0..63, and repeated places, are left out.
  // The MODBUS registers of meter N show channel N's instrument at polling
  // address 0; without one there, the meter has no values (MeterAnswers).
  void SetInstruments(std::vector<InstrumentPlace> places);
  const std::vector<InstrumentPlace>& Instruments() const { return instruments_; }
  // Whether channel `meter` (1..8) has an instrument at polling address 0,
  // the one the gateway polls for the meter's registers.
  bool MeterAnswers(int meter) const;

  // From `atMs` on, the flow (variable 1) of the instrument behind meter
  // 1..8 moves to `value` in a first-order approach (time constant
  // kStepTimeConstantMs), and with it the loop current and the rate the
  // total grows at. Steps stay in order of time; a later one starts from
  // wherever the flow has got to. HART frames to that instrument see the
  // same flow. False, and nothing changes, for a meter outside 1..8, a
  // value that is negative or not finite, or a negative time.
  bool Step(int meter, double value, std::int64_t atMs);
  const std::vector<FlowStep>& Steps(int meter) const;

  // Set commands the gateway refuses, by the mnemonic of their
  // acknowledgement ("BA1", "XISH", ...): such a command is answered as one
  // with a bad parameter, and changes nothing. Empty by default.
  void SetRefused(std::vector<std::string> mnemonics) { refused_ = std::move(mnemonics); }
  const std::vector<std::string>& Refused() const { return refused_; }
  // The mnemonics of all the set commands' acknowledgements.
  static std::span<const std::string_view> SetCommandMnemonics();

  const GatewayModel& Model() const { return model_; }
  GatewayModel& Model() { return model_; }

  // Live values of the instrument behind meter 1..8 at `nowMs`: the loop
  // current in mA and dynamic variables 1..4 in their own units (see
  // VariableAt). NaN for a meter whose instrument does not answer
  // (MeterAnswers), 0 for a meter outside 1..8.
  double LoopCurrent(int meter, std::int64_t nowMs) const;
  double Variable(int meter, int variable, std::int64_t nowMs) const;
  // LoopCurrent and Variable 1..4 of meter 1..8, in that order, at once.
  std::array<double, 5> Readings(int meter, std::int64_t nowMs) const;

  static constexpr const char* kFirmware = "KV770-W V2.1.0";
  // What the gateway says to anything it does not understand.
  static constexpr const char* kUnknownCommand = "ERR:UNKNOWN COMMAND#";
  // What it says to a command it knows whose parameters it cannot take.
  static constexpr const char* kBadParameter = "ERR:BAD PARAMETER#";

 private:
  // A handler gets the whole request.
  using Handler = std::string (Engine::*)(std::string_view request, std::int64_t nowMs);
  struct Route {
    std::string_view prefix;
    Handler handler;
  };
  static std::span<const Route> Routes();

  std::string CommunicationCheck(std::string_view request, std::int64_t nowMs);
  // "QQS#", "QQQ#" and "TAVELK#" commands of the system and mapping settings
  // and their two reports (config_commands.cpp).
  std::string ConfigCommand(std::string_view request, std::int64_t nowMs);
  // "QQS#HCS:", "QQS#MCS:", "QQS#CAMD", "QQS#MDBS" (hart_settings.cpp).
  std::string HartSetting(std::string_view request, std::int64_t nowMs);
  // A HART frame in transparent mode, to the instrument at the HART address
  // (instruments.cpp); empty when no instrument would answer.
  std::string HartFrame(std::string_view request, std::int64_t nowMs);
  // The reply to a MODBUS request, appended to `reply` (modbus_slave.cpp);
  // nothing when no slave would answer.
  void ModbusRequest(std::string_view request, std::int64_t nowMs, Transport transport,
                     std::string& reply);

  // A set command's reply, refused when its mnemonic is one of refused_.
  std::string Refusing(Handler handler, std::string_view request, std::int64_t nowMs);

  GatewayModel model_;
  // The instrument at polling address 0 of each channel, with its steps.
  Instrument Polled(InstrumentPlace place) const;

  std::vector<InstrumentPlace> instruments_ = OneInstrumentPerChannel();
  std::array<std::vector<FlowStep>, kInstrumentCount> steps_;
  std::vector<std::string> refused_;
  // Each meter's readings at the last instant asked (Readings); they
  // change with the instruments and the steps, and go with them.
  struct Remembered {
    bool valid = false;
    std::int64_t atMs = 0;
    std::array<double, 5> readings{};
  };
  mutable std::array<Remembered, kInstrumentCount> readings_{};
};

}  // namespace kv770::sim
