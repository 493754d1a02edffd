// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated gateway answers a request as soon as its shape says it is
// whole, and never a part of one.
#include <gtest/gtest.h>

#include <array>

#include "gateway/commands.h"
#include "hart/frame.h"
#include "sim/request_shape.h"

namespace kv770::sim {
namespace {

std::string Text(const hart::Bytes& b) {
  return {b.begin(), b.end()};
}

TEST(RequestShape, WholeOnlyAtItsLastByte) {
  const std::array<std::uint8_t, 4> hashes{'#', 0x23, '#', 0x01};
  const struct {
    std::string request;
    bool serial;
  } whole[] = {
      {gateway::SlaveAddress(17), false},
      {gateway::SystemReportQuery(), false},
      {gateway::CommunicationCheck(), true},
      // A custom meter's command bytes may hold '#': its count tells.
      {gateway::ReadMeterCommand(0, 1, 1, hashes), false},
      {Text(hart::Frame(5, hart::IdentityRequestBody(0x80))), false},
      {std::string("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8), true},
  };
  for (const auto& w : whole) {
    SCOPED_TRACE(w.request);
    for (std::size_t n = 1; n < w.request.size(); ++n)
      EXPECT_FALSE(RequestWhole(std::string_view(w.request).substr(0, n), w.serial)) << n;
    EXPECT_TRUE(RequestWhole(w.request, w.serial));
  }
  // Over TCP a MODBUS RTU frame is no request the pause need not end.
  EXPECT_FALSE(RequestWhole(std::string("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8), false));
}

}  // namespace
}  // namespace kv770::sim
