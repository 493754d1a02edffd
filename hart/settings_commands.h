#pragma once

#include <string>

#include "gateway/commands.h"

namespace kv770::hart {

// The gateway's ASCII set commands of its HART side: the transparent
// channel and the channel test.
// List positions come as the window's boxes give them, -1 for none; list
// digits and the meter digit are '0' + position ('/' for none).

// "QQS#HCS:a#": a = '1' + address position ('0' with none selected).
std::string HartAddressCommand(int addressPosition);

// "QQS#MCS:m#": m = '1' + meter position ('0' with none selected).
std::string ChannelTestCommand(int meterPosition);

// How a custom meter is read and parsed are the gateway's own commands; the
// window still reaches them under hart::.
using gateway::ParsingFormatCommand;
using gateway::ReadMeterCommand;
using VariableParsing = gateway::ParsingFormatVariable;

}  // namespace kv770::hart
