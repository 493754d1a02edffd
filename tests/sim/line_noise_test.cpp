// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/line_noise.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kv770::sim {
namespace {

constexpr std::array kRates{1200, 2400, 4800, 9600, 19200, 38400, 57600};
const std::string kCheckReply = "QV:KV770-W V2.1.0#";

TEST(LineNoise, TheSameSpeedGivesTheBytesBack) {
  std::string every;
  for (int b = 0; b < 256; ++b) every.push_back(static_cast<char>(b));
  for (int rate : kRates) EXPECT_EQ(Resample(every, rate, rate), every) << rate;
  EXPECT_EQ(Resample("", 9600, 9600), "");
  EXPECT_EQ(Resample(kCheckReply, 0, 9600), "");
}

// A tool at the wrong speed must never take the gateway's noise for an
// answer to its communication check.
TEST(LineNoise, HoldsNoCheckReplyAtAnyOtherSpeed) {
  for (int sent : kRates) {
    for (int read : kRates) {
      if (sent == read) continue;
      const std::string noise = Resample(kCheckReply, sent, read);
      EXPECT_NE(noise, kCheckReply);
      EXPECT_EQ(noise.find("QV:"), std::string::npos) << sent << " read at " << read;
      // Fast bytes sampled slowly: many sent bits fall within one read bit.
      if (sent >= 4 * read) {
        EXPECT_LT(noise.size(), kCheckReply.size() / 2) << sent << "/" << read;
      }
    }
  }
}

}  // namespace
}  // namespace kv770::sim
