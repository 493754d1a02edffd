// SPDX-License-Identifier: GPL-3.0-or-later
// The gateway's configuration model against the simulated gateway: what its
// commands write, the two reports read back unchanged.
#include <gtest/gtest.h>

#include "gateway/commands.h"
#include "gateway/config.h"
#include "gateway/sample_config.h"
#include "sim/engine.h"

namespace kv770::sim {
namespace {

TEST(ConfigRoundTrip, CommandsThenReportsGiveTheSettingsBack) {
  const gateway::GatewayConfig wanted = gateway::testing::Sample();
  Engine engine;
  for (const gateway::Request& r : gateway::RestoreCommands(wanted))
    ASSERT_TRUE(engine.Handle(r.bytes, 0).starts_with("OK:")) << r.what;
  gateway::GatewayConfig read;
  read.system = gateway::SystemFromReport(engine.Handle(gateway::SystemReportQuery(), 0));
  for (int meter = 1; meter <= gateway::kMeters; ++meter)
    read.meters[static_cast<std::size_t>(meter - 1)] =
        gateway::MeterFromReport(meter, engine.Handle(gateway::ModbusReportQuery(meter - 1), 0));
  EXPECT_EQ(read, wanted);
}

}  // namespace
}  // namespace kv770::sim
