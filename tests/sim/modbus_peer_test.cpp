// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's MODBUS side read by libmodbus, an independent MODBUS
// implementation, as a client over real sockets.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <bit>
#include <cerrno>
#include <set>

#include "sim/engine.h"
#include "sim/sim_thread.h"

#ifdef KV770_HAVE_LIBMODBUS
#include <modbus.h>
#endif

namespace kv770::sim {
namespace {

#ifdef KV770_HAVE_LIBMODBUS

// Every value a meter's register can have held between the simulator's
// start and `uptoMs`: its clock counts whole milliseconds from its start.
std::set<float> ValuesSince(int meter, int value, std::int64_t uptoMs) {
  const Engine reference;  // factory model, as the served one
  std::set<float> values;
  for (std::int64_t t = 0; t <= uptoMs; ++t) {
    values.insert(static_cast<float>(value == 0 ? reference.LoopCurrent(meter, t)
                                                : reference.Variable(meter, value, t)));
  }
  return values;
}

class LibmodbusClient : public ::testing::Test {
 protected:
  void SetUp() override {
    sinceStart.start();
    ASSERT_TRUE(sim.Start());
    ctx = modbus_new_tcp("127.0.0.1", sim.Port());
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 2, 0);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
  }
  void TearDown() override {
    if (ctx) {
      modbus_close(ctx);
      modbus_free(ctx);
    }
  }

  QElapsedTimer sinceStart;
  SimThread sim;
  modbus_t* ctx = nullptr;
};

TEST_F(LibmodbusClient, ReadsEveryMetersValuesOverTcp) {
  std::uint16_t regs[80] = {};
  ASSERT_EQ(modbus_read_registers(ctx, 0, 80, regs), 80) << modbus_strerror(errno);
  const std::int64_t upto = sinceStart.elapsed() + 1;
  for (int meter = 1; meter <= 8; ++meter) {
    for (int value = 0; value < 5; ++value) {
      const int r = 10 * (meter - 1) + 2 * value;
      // Factory byte order: FF4 FF3 in the first register, FF2 FF1 in the second.
      const float read =
          std::bit_cast<float>(std::uint32_t{regs[r]} << 16 | std::uint32_t{regs[r + 1]});
      EXPECT_TRUE(ValuesSince(meter, value, upto).contains(read))
          << "meter " << meter << " value " << value << ": " << read;
    }
  }
}

TEST_F(LibmodbusClient, ExceptionsReachTheClient) {
  std::uint16_t regs[10];
  EXPECT_EQ(modbus_read_registers(ctx, 75, 10, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_input_registers(ctx, 0, 2, regs), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  modbus_set_slave(ctx, 9);
  EXPECT_EQ(modbus_read_registers(ctx, 0, 2, regs), -1);
  EXPECT_EQ(errno, EMBXGTAR);
  // The connection is still good afterwards.
  modbus_set_slave(ctx, 1);
  EXPECT_EQ(modbus_read_registers(ctx, 70, 10, regs), 10);
}

// RTU on the simulator's pseudo-terminal, as on the gateway's serial line.
TEST(LibmodbusRtuClient, ReadsMeterValuesOverTheSerialLine) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  SimThread sim;
  ASSERT_TRUE(sim.Start());
  const QString path = sim.StartPty();
  ASSERT_FALSE(path.isEmpty());
  modbus_t* ctx = modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1);
  ASSERT_NE(ctx, nullptr);
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 2, 0);
  ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);

  std::uint16_t regs[10] = {};
  EXPECT_EQ(modbus_read_registers(ctx, 70, 10, regs), 10) << modbus_strerror(errno);
  const std::int64_t upto = sinceStart.elapsed() + 1;
  for (int value = 0; value < 5; ++value) {
    const float read = std::bit_cast<float>(std::uint32_t{regs[2 * value]} << 16 |
                                            std::uint32_t{regs[2 * value + 1]});
    EXPECT_TRUE(ValuesSince(8, value, upto).contains(read)) << "value " << value << ": " << read;
  }
  EXPECT_EQ(modbus_read_registers(ctx, 79, 2, regs), -1);
  EXPECT_EQ(errno, EMBXILADD);
  // Another slave's request gets silence, so the client times out.
  modbus_set_slave(ctx, 2);
  modbus_set_response_timeout(ctx, 0, 300000);
  EXPECT_EQ(modbus_read_registers(ctx, 0, 2, regs), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  modbus_close(ctx);
  modbus_free(ctx);
}

// Steps given before and after the start both reach the gateway, and the
// serial line, opened later, answers on the same clock as TCP.
TEST(LibmodbusRtuClient, StepsReachTheSerialLineOnTheSimulatorsClock) {
  SimThread sim;
  ASSERT_TRUE(sim.Step(1, 1e6, 0));
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(sim.Step(2, 1e6, 0));
  EXPECT_FALSE(sim.Step(9, 1, 0));
  Engine reference;
  reference.Step(1, 1e6, 0);
  reference.Step(2, 1e6, 0);
  QThread::msleep(300);
  const std::int64_t from = sim.NowMs();
  ASSERT_GE(from, 300);
  const QString path = sim.StartPty();
  ASSERT_FALSE(path.isEmpty());
  modbus_t* ctx = modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1);
  ASSERT_NE(ctx, nullptr);
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 2, 0);
  ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
  std::uint16_t regs[14] = {};
  EXPECT_EQ(modbus_read_registers(ctx, 0, 14, regs), 14) << modbus_strerror(errno);
  const std::int64_t upto = sim.NowMs();
  modbus_close(ctx);
  modbus_free(ctx);
  for (int meter : {1, 2}) {
    const int r = 10 * (meter - 1) + 2;  // the flow
    const float read =
        std::bit_cast<float>(std::uint32_t{regs[r]} << 16 | std::uint32_t{regs[r + 1]});
    std::set<float> possible;
    for (std::int64_t t = from; t <= upto; ++t)
      possible.insert(static_cast<float>(reference.Variable(meter, 1, t)));
    EXPECT_TRUE(possible.contains(read)) << "meter " << meter << ": " << read;
  }
}

#else

TEST(LibmodbusClient, NeedsLibmodbus) {
  GTEST_SKIP() << "built without libmodbus";
}

#endif

}  // namespace
}  // namespace kv770::sim
