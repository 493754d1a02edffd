#include "gateway/commands.h"

namespace kv770::gateway {

std::string CommunicationCheck() { return "PPPPPP#VAR#"; }

bool AnswersCommunicationCheck(std::string_view reply) {
  return reply.find("QV:") != std::string_view::npos;
}

}  // namespace kv770::gateway
