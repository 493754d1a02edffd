// SPDX-License-Identifier: GPL-3.0-or-later
// Where the serial reader ends a block, on a clock of the test's own.
#include "link/block_former.h"

#include <gtest/gtest.h>

namespace kv770::link {
namespace {

using std::chrono::milliseconds;
using Clock = BlockFormer::Clock;

const Clock::time_point t0{};

TEST(BlockFormer, EndsAfterTheIntervalOfSilenceFollowingTheLastByte) {
  const BlockFormer::Timeouts t{};  // the component's 100 ms interval
  BlockFormer block(2048, t0);
  EXPECT_EQ(block.Deadline(t), std::nullopt);  // nothing yet: wait for bytes
  EXPECT_FALSE(block.Arrived(10, t0 + milliseconds(5), t));
  EXPECT_EQ(block.Deadline(t), t0 + milliseconds(105));
  EXPECT_FALSE(block.Arrived(10, t0 + milliseconds(90), t));
  EXPECT_EQ(block.Deadline(t), t0 + milliseconds(190));  // each byte restarts it
  EXPECT_EQ(block.Take(t0 + milliseconds(190)), 20u);
  EXPECT_EQ(block.Deadline(t), std::nullopt);
}

TEST(BlockFormer, EndsWhenTheBufferIsFullAndNothingIsLost) {
  const BlockFormer::Timeouts t{};
  BlockFormer block(2048, t0);
  EXPECT_FALSE(block.Arrived(2000, t0, t));
  EXPECT_EQ(block.Room(), 48u);
  EXPECT_TRUE(block.Arrived(48, t0 + milliseconds(1), t));
  EXPECT_EQ(block.Take(t0 + milliseconds(1)), 2048u);
  EXPECT_EQ(block.Room(), 2048u);
}

TEST(BlockFormer, TotalTimeCountsFromTheReadsStartAndAnEmptyReadStartsAgain) {
  const BlockFormer::Timeouts t{0, 0, 500};  // no interval, 500 ms in all
  BlockFormer block(2048, t0);
  EXPECT_EQ(block.Deadline(t), t0 + milliseconds(500));
  EXPECT_EQ(block.Take(t0 + milliseconds(500)), 0u);  // nothing came
  EXPECT_EQ(block.Deadline(t), t0 + milliseconds(1000));
  EXPECT_FALSE(block.Arrived(3, t0 + milliseconds(900), t));
  EXPECT_EQ(block.Deadline(t), t0 + milliseconds(1000));  // bytes do not extend it

  const BlockFormer::Timeouts both{100, 1, 0};  // the earlier of the two
  BlockFormer mixed(2048, t0);
  EXPECT_FALSE(mixed.Arrived(1, t0 + milliseconds(2000), both));
  EXPECT_EQ(mixed.Deadline(both), t0 + milliseconds(2048));
}

TEST(BlockFormer, NoWaitHandsOverEachRead) {
  const BlockFormer::Timeouts t{BlockFormer::kNoWait, 0, 0};
  BlockFormer block(2048, t0);
  EXPECT_TRUE(block.Arrived(1, t0, t));
  EXPECT_FALSE(block.Arrived(1, t0, {BlockFormer::kNoWait, 0, 10}));  // a total keeps waiting
}

}  // namespace
}  // namespace kv770::link
