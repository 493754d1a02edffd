// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "hart/replies.h"

namespace kv770::hart {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ReplyComplete, ShortFrameEndsAtItsCheckByte) {
  // Preambles, 06, address, command 0, byte count 2, two data bytes, check.
  const Bytes reply{0xFF, 0xFF, 0x06, 0x80, 0x00, 0x02, 0x00, 0x00, 0x84};
  for (std::size_t n = 0; n < reply.size(); ++n)
    EXPECT_FALSE(ReplyComplete(std::span(reply).first(n))) << n;
  EXPECT_TRUE(ReplyComplete(reply));
}

TEST(ReplyComplete, LongFrameCountsItsFiveAddressBytes) {
  Bytes reply{0xFF, 0x86, 0xA6, 0x06, 0x12, 0x34, 0x56, 0x03, 0x01, 0x00};
  EXPECT_FALSE(ReplyComplete(reply));  // the check byte is still due
  reply.push_back(0x00);
  EXPECT_TRUE(ReplyComplete(reply));
}

TEST(ReplyComplete, NothingToFindIsNeverComplete) {
  EXPECT_FALSE(ReplyComplete(Bytes{}));
  EXPECT_FALSE(ReplyComplete(Bytes{'O', 'K', ':', '#'}));
  EXPECT_FALSE(ReplyComplete(Bytes{0xFF, 0xFF, 0x02}));  // a request's delimiter
}

}  // namespace
}  // namespace kv770::hart
