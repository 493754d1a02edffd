// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/engine.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kv770::sim {
namespace {

// A text reply of the gateway: printable ASCII closed by '#'.
::testing::AssertionResult WellFormed(const std::string& reply) {
  if (reply.empty() || reply.back() != '#') {
    return ::testing::AssertionFailure() << "not closed by '#': \"" << reply << '"';
  }
  for (unsigned char c : reply) {
    if (c < 0x20 || c > 0x7E) {
      return ::testing::AssertionFailure() << "byte " << int(c) << " in \"" << reply << '"';
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(EngineCommunicationCheck, AnswersWithFirmwareVersion) {
  Engine engine;
  const std::string reply = engine.Handle("PPPPPP#VAR#", 0);
  EXPECT_EQ(reply, std::string("QV:") + Engine::kFirmware + "#");
  EXPECT_TRUE(WellFormed(reply));
  // Asked again later: the same answer, the check changes nothing.
  EXPECT_EQ(engine.Handle("PPPPPP#VAR#", 123456), reply);
}

TEST(EngineCommunicationCheck, ToleratesLineEndFromHandTypedSessions) {
  Engine engine;
  for (const char* request : {"PPPPPP#VAR#\n", "PPPPPP#VAR#\r\n"}) {
    EXPECT_NE(engine.Handle(request, 0).find("QV:"), std::string::npos) << request;
  }
}

TEST(EngineCommunicationCheck, NearMissesAreUnknown) {
  Engine engine;
  for (const char* request : {"PPPPPP#VAR", "PPPPP#VAR#", "pppppp#var#", "PPPPPP#VAR#X",
                              " PPPPPP#VAR#", "PPPPPP#VAR#PPPPPP#VAR#", "QV:", "#"}) {
    const std::string reply = engine.Handle(request, 0);
    EXPECT_EQ(reply, Engine::kUnknownCommand) << request;
    EXPECT_EQ(reply.find("QV:"), std::string::npos) << request;
  }
}

TEST(EngineRobustness, EmptyRequestGetsNoReply) {
  Engine engine;
  EXPECT_EQ(engine.Handle({}, 0), "");
}

TEST(EngineRobustness, RandomBytesGetWellFormedAnswerOrNone) {
  Engine engine;
  std::mt19937 random(770);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(1, 600);
  for (int round = 0; round < 2000; ++round) {
    std::string request(static_cast<std::size_t>(length(random)), '\0');
    for (char& c : request) c = static_cast<char>(byte(random));
    // Every other round wears a real command head, so the fuzz also gets
    // past the dispatcher into the handlers.
    if (round % 2) request.insert(0, "PPPPPP#VAR#");
    const std::string reply = engine.Handle(request, round);
    if (!reply.empty()) {
      EXPECT_TRUE(WellFormed(reply)) << "round " << round;
    }
  }
}

TEST(EngineRobustness, HugeRequestIsRejectedNotEchoed) {
  Engine engine;
  const std::string huge(8 * 1024 * 1024, 'P');
  EXPECT_EQ(engine.Handle(huge, 0), Engine::kUnknownCommand);
  EXPECT_EQ(engine.Handle(std::string(1 << 20, '\0'), 0), Engine::kUnknownCommand);
}

}  // namespace
}  // namespace kv770::sim
