// SPDX-License-Identifier: GPL-3.0-or-later
// Every kind of reply the tool waits for, split at every byte and paused at
// the split: it ends whole, as soon as its last byte is in, and not before.
#include <gtest/gtest.h>

#include "cli/session.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "gateway/config.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "link/exchange.h"
#include "live/poll_replies.h"
#include "sim/engine.h"

namespace kv770 {
namespace {

using link::ReplyCourse;
using link::ReplyEnd;

struct Kind {
  const char* name;
  std::string request;
  sim::Transport transport;
  link::Completion complete;
  // The reply decodes as the tool decodes it.
  std::function<bool(const QByteArray&)> decodes;
};

std::string Text(const hart::Bytes& b) {
  return {b.begin(), b.end()};
}

live::RegisterRead Read(bool serial) {
  return {.serial = serial, .slave = 1, .firstMeter = 1, .lastMeter = 2, .transaction = 7};
}

link::Completion RegisterReply(bool serial) {
  return [serial](const QByteArray& r) {
    return live::RegisterReplyComplete(Read(serial), cli::Span(r));
  };
}

bool RegistersDecode(bool serial, const QByteArray& r) {
  std::vector<live::Sample> samples(2);
  samples[1].meter = 2;
  live::TakeRegisterValues(Read(serial), cli::Span(r), samples);
  return samples[0].status == live::Status::kOk && samples[1].status == live::Status::kOk;
}

std::vector<Kind> Kinds() {
  const hart::Bytes identity = hart::IdentityRequestBody(0x80);
  return {
      {"acknowledgement", gateway::SlaveAddress(7), sim::Transport::Tcp, cli::kAcknowledged,
       [](const QByteArray& r) { return r == "OK:ADR#"; }},
      {"check", gateway::CommunicationCheck(), sim::Transport::Tcp, cli::kAcknowledged,
       [](const QByteArray& r) { return gateway::AnswersCommunicationCheck(cli::View(r)); }},
      {"system report", gateway::SystemReportQuery(), sim::Transport::Tcp, cli::kSystemReport,
       [](const QByteArray& r) {
         return gateway::SystemFromReport(cli::View(r)).slaveAddress >= 0;
       }},
      {"meter report", gateway::ModbusReportQuery(2), sim::Transport::Tcp, cli::MeterReport(3),
       [](const QByteArray& r) {
         return gateway::MeterFromReport(3, cli::View(r)).preambles >= 4;
       }},
      {"HART frame", Text(hart::Frame(5, identity)), sim::Transport::Tcp, cli::kHartFrame,
       [identity](const QByteArray& r) {
         return hart::CheckReply(cli::Span(r), identity, hart::kIdentityByteCount).ok();
       }},
      {"MODBUS TCP", Text(live::RegisterReadRequest(Read(false))), sim::Transport::Tcp,
       RegisterReply(false), [](const QByteArray& r) { return RegistersDecode(false, r); }},
      {"MODBUS RTU", Text(live::RegisterReadRequest(Read(true))), sim::Transport::Serial,
       RegisterReply(true), [](const QByteArray& r) { return RegistersDecode(true, r); }},
  };
}

// A pause longer than a silence that ends a reply of unknown shape, and
// shorter than the guard against one that stalls.
constexpr int kPauseMs = (waits::kUnknownShapeSilenceMs + waits::kStalledReplyMs) / 2;

TEST(ReplyShapes, EveryReplyEndsWholeWhereverItIsSplitAndPaused) {
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    sim::Engine gateway;
    if (kind.transport == sim::Transport::Tcp && kind.request[0] == '\xFF')
      gateway.Handle(gateway::WorkingMode(0), 0);  // HART frames pass in transparent mode
    const QByteArray whole =
        QByteArray::fromStdString(gateway.Handle(kind.request, 0, kind.transport));
    ASSERT_FALSE(whole.isEmpty());
    ASSERT_TRUE(kind.decodes(whole));
    for (qsizetype split = 1; split < whole.size(); ++split) {
      SCOPED_TRACE(split);
      ReplyCourse course({kind.complete}, 0);
      EXPECT_EQ(course.Arrived(whole.left(split), 10), ReplyEnd::kOpen);
      // The line pauses: nothing ends while the reply is short of whole.
      EXPECT_EQ(course.Expire(10 + kPauseMs), ReplyEnd::kOpen);
      EXPECT_EQ(course.Arrived(whole.mid(split), 10 + kPauseMs), ReplyEnd::kWhole);
      EXPECT_EQ(course.Reply(), whole);
    }
  }
}

TEST(ReplyShapes, AReplyThatStopsShortIsGivenUpAfterTheStallGuard) {
  ReplyCourse course({cli::kSystemReport}, 0);
  course.Arrived("QX#BA1:30,MD:1", 20);
  EXPECT_EQ(course.DeadlineMs(), 20 + waits::kStalledReplyMs);
  EXPECT_EQ(course.Expire(20 + waits::kStalledReplyMs), ReplyEnd::kSilence);
  EXPECT_EQ(course.Reply(), "QX#BA1:30,MD:1");
}

TEST(ReplyShapes, AReplyOfUnknownShapeEndsWithTheLinesSilence) {
  ReplyCourse course({}, 0);
  course.Arrived("\xFF\xFF\x06", 5);
  EXPECT_EQ(course.Expire(5 + waits::kUnknownShapeSilenceMs - 1), ReplyEnd::kOpen);
  EXPECT_EQ(course.Expire(5 + waits::kUnknownShapeSilenceMs), ReplyEnd::kSilence);
}

TEST(ReplyShapes, NothingOrTooMuchEndsTheExchange) {
  ReplyCourse silent({cli::kAcknowledged, 3000}, 0);
  EXPECT_EQ(silent.Expire(2999), ReplyEnd::kOpen);  // a timer that fired early
  EXPECT_EQ(silent.Expire(3000), ReplyEnd::kTimedOut);
  // A reply that keeps coming never outlasts the reply time-out.
  ReplyCourse trickle({cli::kAcknowledged, 3000}, 0);
  for (int t = 0; t < 3000; t += 50) trickle.Arrived("x", t);
  EXPECT_EQ(trickle.DeadlineMs(), 3000);
  ReplyCourse flood({cli::kAcknowledged, 3000, -1, 16}, 0);
  EXPECT_EQ(flood.Arrived(QByteArray(17, 'x'), 1), ReplyEnd::kTooLong);
  // A scan's try: the first byte within its limit, the rest counted from it.
  ReplyCourse tried({{}, 50, 100, 2048, 400}, 0);
  tried.Arrived("Q", 49);
  for (int t = 49; t < 449; t += 20) EXPECT_EQ(tried.Arrived("V", t), ReplyEnd::kOpen);
  EXPECT_EQ(tried.Expire(449), ReplyEnd::kTimedOut);
}

}  // namespace
}  // namespace kv770
