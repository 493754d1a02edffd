#pragma once

#include <string>
#include <string_view>

namespace kv770::gateway {

// The gateway's ASCII commands: plain 8-bit characters, no terminator, no
// checksum. Set commands start "QQS#", queries "QQQ#", each closes with '#'.

// Asks whether the gateway answers on this link.
std::string CommunicationCheck();

// A positive answer to the communication check carries "QV:" anywhere.
bool AnswersCommunicationCheck(std::string_view reply);

}  // namespace kv770::gateway
