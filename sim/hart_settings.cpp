// SPDX-License-Identifier: GPL-3.0-or-later
// The gateway's HART-side settings: the transparent channel, the channel
// test, and how it reads and parses a custom meter.
#include <optional>

#include "sim/engine.h"
#include "sim/fields.h"
#include "sim/instruments.h"

namespace kv770::sim {

namespace {

std::string Ack(std::string_view mnemonic) {
  return "OK:" + std::string(mnemonic) + "#";
}

// "QQS#HCS:a#" and "QQS#MCS:m#" both choose the channel that transparent
// frames reach: HCS by HART address, the channel test by meter; both count
// from 1.
std::optional<int> Channel(std::string_view parameters) {
  Fields f(parameters);
  const int channel = f.Number(1, 1, kInstrumentCount);
  f.Literal('#');
  if (!f.Done()) return std::nullopt;
  return channel;
}

}  // namespace

std::string Engine::HartSetting(std::string_view request, std::int64_t) {
  if (request.starts_with("QQS#HCS:") || request.starts_with("QQS#MCS:")) {
    const std::optional<int> channel = Channel(request.substr(8));
    if (!channel) return kBadParameter;
    model_.hartAddress = *channel;
    return Ack(request.substr(4, 3));
  }

  if (request.starts_with("QQS#CAMD")) {
    // Meter, command 1 or 2, enable, byte count, then the bytes themselves
    // with no closing '#'.
    Fields f(request.substr(8));
    const int meter = f.Number(1, 0, kInstrumentCount - 1);
    const int command = f.Number(1, 1, 2);
    f.Literal(':');
    const int enable = f.Number(1, 0, 1);
    f.Literal('<');
    const int count = f.Number(2, 1, 14);
    f.Literal(',');
    std::vector<std::uint8_t> bytes = f.Raw(static_cast<std::size_t>(count));
    if (!f.Done()) return kBadParameter;
    MeterMapping::ReadCommand& target = model_.meters[static_cast<std::size_t>(meter)]
                                            .readCommands[static_cast<std::size_t>(command - 1)];
    target.enable = enable;
    target.bytes = std::move(bytes);
    return Ack("CAMD");
  }

  if (request.starts_with("QQS#MDBS")) {
    // Meter, address bits, then per variable: command, start, length.
    Fields f(request.substr(8));
    const int meter = f.Number(1, 0, kInstrumentCount - 1);
    f.Literal(':');
    const int bits = f.Number(1, 3, 9);
    std::array<MeterMapping::Parse, 4> parse{};
    for (MeterMapping::Parse& p : parse) {
      f.Literal(',');
      p.command = f.Number(1, 0, 2);
      p.start = f.Number(2, 0, 99);
      p.length = f.Number(1, 0, 1);
    }
    f.Literal('#');
    if (!f.Done()) return kBadParameter;
    MeterMapping& m = model_.meters[static_cast<std::size_t>(meter)];
    m.addressBits = bits;
    m.parse = parse;
    return Ack("MDBS");
  }
  return kUnknownCommand;
}

}  // namespace kv770::sim
