// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "sim/engine.h"
#include "tools/modbus_frames.h"

namespace kv770::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Str(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}
template <std::size_t N>
std::string Str(const std::array<std::uint8_t, N>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}
Bytes Of(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes WithCrc(Bytes frame) {
  const std::uint16_t crc = tools::Crc16(frame);
  frame.push_back(crc & 0xFF);
  frame.push_back(crc >> 8);
  return frame;
}

// Four register bytes as the value they carry, for each byte-order code.
std::uint32_t Assemble(const std::uint8_t* b, int code) {
  const bool swapped = code == 1 || code == 3;  // FF2 FF1 FF4 FF3
  const std::uint8_t ff4 = swapped ? b[2] : b[0], ff3 = swapped ? b[3] : b[1],
                     ff2 = swapped ? b[0] : b[2], ff1 = swapped ? b[1] : b[3];
  return std::uint32_t{ff4} << 24 | std::uint32_t{ff3} << 16 | std::uint32_t{ff2} << 8 | ff1;
}

float FloatAt(const Bytes& reply, std::size_t offset, int code = 0) {
  return std::bit_cast<float>(Assemble(reply.data() + offset, code));
}

class ModbusSlave : public ::testing::Test {
 protected:
  Bytes Rtu(const Bytes& request, std::int64_t nowMs = kNow) {
    return Of(engine.Handle(Str(request), nowMs, Transport::Serial));
  }
  Bytes Tcp(const Bytes& request, std::int64_t nowMs = kNow) {
    return Of(engine.Handle(Str(request), nowMs, Transport::Tcp));
  }

  static constexpr std::int64_t kNow = 123457;
  Engine engine;
};

TEST_F(ModbusSlave, RtuReadOfMeterOnePresentsItsLiveValues) {
  const Bytes reply = Rtu(Of(Str(tools::RtuReadRequest(1, 0, 10))));
  ASSERT_EQ(reply.size(), 3u + 20 + 2);
  EXPECT_EQ(reply[0], 0x01);
  EXPECT_EQ(reply[1], 0x03);
  EXPECT_EQ(reply[2], 20);
  EXPECT_EQ(tools::Crc16(reply), 0) << "reply CRC";
  EXPECT_EQ(FloatAt(reply, 3), static_cast<float>(engine.LoopCurrent(1, kNow)));
  for (int v = 1; v <= 4; ++v)
    EXPECT_EQ(FloatAt(reply, 3 + 4 * v), static_cast<float>(engine.Variable(1, v, kNow))) << v;
}

TEST_F(ModbusSlave, EachMeterHasTenRegistersOfItsOwn) {
  for (int meter = 1; meter <= 8; ++meter) {
    const auto start = static_cast<std::uint8_t>(10 * (meter - 1));
    const Bytes reply = Rtu(Of(Str(tools::RtuReadRequest(1, start, 10))));
    ASSERT_EQ(reply.size(), 25u) << meter;
    EXPECT_EQ(FloatAt(reply, 3), static_cast<float>(engine.LoopCurrent(meter, kNow))) << meter;
    EXPECT_EQ(FloatAt(reply, 19), static_cast<float>(engine.Variable(meter, 4, kNow))) << meter;
  }
  // A read across the meter boundary and one that starts mid-value.
  const Bytes across = Rtu(Of(Str(tools::RtuReadRequest(1, 8, 4))));
  ASSERT_EQ(across.size(), 3u + 8 + 2);
  EXPECT_EQ(FloatAt(across, 3), static_cast<float>(engine.Variable(1, 4, kNow)));
  EXPECT_EQ(FloatAt(across, 7), static_cast<float>(engine.LoopCurrent(2, kNow)));
  const Bytes odd = Rtu(Of(Str(tools::RtuReadRequest(1, 1, 2))));
  const Bytes whole = Rtu(Of(Str(tools::RtuReadRequest(1, 0, 4))));
  ASSERT_EQ(odd.size(), 3u + 4 + 2);
  EXPECT_TRUE(std::equal(odd.begin() + 3, odd.begin() + 7, whole.begin() + 5));
}

TEST_F(ModbusSlave, ByteOrderTypeAndCoefficientOfEachValue) {
  MeterMapping& m = engine.Model().meters[2];  // meter 3, registers 20..29
  m.byteOrders = {1, 0, 1, 2, 3};
  m.coefficients = {"2", "-1.5", "1000", "0.001"};
  const Bytes reply = Rtu(Of(Str(tools::RtuReadRequest(1, 20, 10))));
  ASSERT_EQ(reply.size(), 25u);
  const std::uint8_t* v = reply.data() + 3;
  // The current carries no coefficient.
  EXPECT_EQ(std::bit_cast<float>(Assemble(v, 1)), static_cast<float>(engine.LoopCurrent(3, kNow)));
  EXPECT_EQ(std::bit_cast<float>(Assemble(v + 4, 0)),
            static_cast<float>(2 * engine.Variable(3, 1, kNow)));
  EXPECT_EQ(std::bit_cast<float>(Assemble(v + 8, 1)),
            static_cast<float>(-1.5 * engine.Variable(3, 2, kNow)));
  EXPECT_EQ(Assemble(v + 12, 2),
            static_cast<std::uint32_t>(std::llround(1000 * engine.Variable(3, 3, kNow))));
  EXPECT_EQ(Assemble(v + 16, 3),
            static_cast<std::uint32_t>(std::llround(0.001 * engine.Variable(3, 4, kNow))));
}

TEST_F(ModbusSlave, UnsignedValuesClampToTheirRange) {
  MeterMapping& m = engine.Model().meters[0];
  m.byteOrders = {0, 2, 2, 3, 3};
  m.coefficients = {"-1", "1e30", "x", "0"};  // "x" is no number: the gateway reads 0
  const Bytes reply = Rtu(Of(Str(tools::RtuReadRequest(1, 2, 8))));
  ASSERT_EQ(reply.size(), 3u + 16 + 2);
  const double var1 = engine.Variable(1, 1, kNow), var2 = engine.Variable(1, 2, kNow);
  EXPECT_EQ(Assemble(reply.data() + 3, 2), var1 > 0 ? 0u : std::uint32_t(std::llround(-var1)));
  EXPECT_EQ(Assemble(reply.data() + 7, 2), var2 > 0 ? 0xFFFFFFFFu : 0u);
  EXPECT_EQ(Assemble(reply.data() + 11, 3), 0u);
  EXPECT_EQ(Assemble(reply.data() + 15, 3), 0u);
}

// A meter whose channel has no instrument at polling address 0 reads "no
// value" in every register: NaN in IEEE 754 orders, all ones in unsigned
// ones, whatever its coefficients; a meter with one keeps its values.
TEST_F(ModbusSlave, MeterWithoutAnInstrumentReadsNoValue) {
  engine.SetInstruments({{1, 0}, {2, 5}});  // channel 2's instrument is at address 5
  const struct {
    int code;
    std::uint32_t noValue;
  } kOrders[] = {{0, 0x7FC00000u}, {1, 0x7FC00000u}, {2, 0xFFFFFFFFu}, {3, 0xFFFFFFFFu}};
  for (const auto& [code, noValue] : kOrders) {
    for (int meter : {2, 8}) {
      MeterMapping& m = engine.Model().meters[static_cast<std::size_t>(meter - 1)];
      m.byteOrders = {code, code, code, code, code};
      m.coefficients = {"1.000", "-2", "x", "0"};
      const auto start = static_cast<std::uint8_t>(10 * (meter - 1));
      const Bytes reply = Rtu(Of(Str(tools::RtuReadRequest(1, start, 10))));
      ASSERT_EQ(reply.size(), 25u) << code;
      for (std::size_t value = 0; value < 5; ++value)
        EXPECT_EQ(Assemble(reply.data() + 3 + 4 * value, code), noValue)
            << "order " << code << " meter " << meter << " value " << value;
    }
  }
  const Bytes first = Rtu(Of(Str(tools::RtuReadRequest(1, 0, 2))));
  ASSERT_EQ(first.size(), 9u);
  EXPECT_EQ(FloatAt(first, 3), static_cast<float>(Engine().LoopCurrent(1, kNow)));
}

TEST_F(ModbusSlave, RtuFramesAQuietSlaveIgnores) {
  Bytes bad = Of(Str(tools::RtuReadRequest(1, 0, 10)));
  bad[7] ^= 0x01;
  EXPECT_TRUE(Rtu(bad).empty()) << "bad CRC";
  EXPECT_TRUE(Rtu(Of(Str(tools::RtuReadRequest(2, 0, 10)))).empty()) << "another slave";
  EXPECT_TRUE(Rtu(Of(Str(tools::RtuReadRequest(0, 0, 10)))).empty()) << "broadcast read";
  EXPECT_TRUE(Rtu({0x01, 0x03, 0x00}).empty()) << "too short";
  // The slave address follows the gateway's setting.
  engine.Model().slaveAddress = 17;
  EXPECT_TRUE(Rtu(Of(Str(tools::RtuReadRequest(1, 0, 10)))).empty());
  const Bytes reply = Rtu(Of(Str(tools::RtuReadRequest(17, 0, 1))));
  ASSERT_EQ(reply.size(), 7u);
  EXPECT_EQ(reply[0], 17);
}

TEST_F(ModbusSlave, RtuExceptions) {
  // Read input registers: function not served.
  EXPECT_EQ(Rtu(WithCrc({0x01, 0x04, 0x00, 0x00, 0x00, 0x0A})), WithCrc({0x01, 0x84, 0x01}));
  EXPECT_EQ(Rtu(WithCrc({0x01, 0x10, 0x00, 0x00})), WithCrc({0x01, 0x90, 0x01}));
  // Registers 75..84: past the last meter.
  EXPECT_EQ(Rtu(Of(Str(tools::RtuReadRequest(1, 75, 10)))), WithCrc({0x01, 0x83, 0x02}));
  EXPECT_EQ(Rtu(WithCrc({0x01, 0x03, 0x01, 0x00, 0x00, 0x01})), WithCrc({0x01, 0x83, 0x02}));
  EXPECT_EQ(Rtu(Of(Str(tools::RtuReadRequest(1, 79, 1)))).size(), 7u) << "the last register";
  // Counts a reply cannot carry.
  EXPECT_EQ(Rtu(Of(Str(tools::RtuReadRequest(1, 0, 0)))), WithCrc({0x01, 0x83, 0x03}));
  EXPECT_EQ(Rtu(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x7E})), WithCrc({0x01, 0x83, 0x03}));
  EXPECT_EQ(Rtu(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00})), WithCrc({0x01, 0x83, 0x03}));
}

TEST_F(ModbusSlave, TcpEchoesTheHeaderAndChecksTheUnit) {
  Bytes request = Of(Str(tools::TcpReadRequest(1, 10, 2)));
  request[0] = 0xBE;
  request[1] = 0xEF;
  const Bytes reply = Tcp(request);
  ASSERT_EQ(reply.size(), 7u + 2 + 4);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 9),
            (Bytes{0xBE, 0xEF, 0x00, 0x00, 0x00, 0x07, 0x01, 0x03, 0x04}));
  EXPECT_EQ(FloatAt(reply, 9), static_cast<float>(engine.LoopCurrent(2, kNow)));

  // A transaction number starting with FF is still MODBUS, not a HART preamble.
  request[0] = 0xFF;
  const Bytes ff = Tcp(request);
  ASSERT_EQ(ff.size(), 7u + 2 + 4);
  EXPECT_EQ(ff[0], 0xFF);

  EXPECT_EQ(Tcp(Of(Str(tools::TcpReadRequest(9, 0, 10)))),
            (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x09, 0x83, 0x0B}));
  EXPECT_EQ(Tcp({0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x00, 0x00, 0x01}),
            (Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x01, 0x86, 0x01}));
  EXPECT_EQ(Tcp(Of(Str(tools::TcpReadRequest(1, 71, 10)))),
            (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x01, 0x83, 0x02}));
}

TEST_F(ModbusSlave, TcpFramesBackToBackAreAnsweredInTurn) {
  Bytes two = Of(Str(tools::TcpReadRequest(1, 0, 1)));
  Bytes second = Of(Str(tools::TcpReadRequest(1, 2, 1)));
  second[1] = 0x02;
  two.insert(two.end(), second.begin(), second.end());
  two[0] = 0xFF;  // no HART preamble, even with more than one frame
  const Bytes reply = Tcp(two);
  ASSERT_EQ(reply.size(), 2 * 11u);
  EXPECT_EQ(reply[0], 0xFF);
  EXPECT_EQ(reply[1], 0x01);
  EXPECT_EQ(reply[12], 0x02);
}

TEST_F(ModbusSlave, BrokenTcpFramesGetNoModbusAnswer) {
  const Bytes whole = Of(Str(tools::TcpReadRequest(1, 0, 10)));
  Bytes wrongProtocol = whole;
  wrongProtocol[3] = 0x01;
  Bytes longer = whole;
  longer[5] = 0x07;  // claims a byte that never comes
  for (const Bytes& request : {Bytes(whole.begin(), whole.end() - 1), wrongProtocol, longer}) {
    const std::string reply = engine.Handle(Str(request), kNow, Transport::Tcp);
    EXPECT_EQ(reply, Engine::kUnknownCommand);
  }
}

TEST_F(ModbusSlave, RandomFramesNeverCrashOrAnswerAnotherSlave) {
  std::mt19937 random(3);
  for (int round = 0; round < 20000; ++round) {
    Bytes frame(static_cast<std::size_t>(random() % 12 + 1));
    for (std::uint8_t& b : frame) b = static_cast<std::uint8_t>(random());
    frame[0] = static_cast<std::uint8_t>(round % 3);  // mostly 0, 1, 2
    if (round % 2) frame = WithCrc(frame);
    const Bytes reply = Rtu(frame);
    if (reply.empty()) continue;
    EXPECT_EQ(reply[0], 0x01) << round;
    EXPECT_EQ(tools::Crc16(reply), 0) << round;
  }
}

}  // namespace
}  // namespace kv770::sim
