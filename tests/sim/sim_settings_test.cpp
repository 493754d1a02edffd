// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <string>

#include "hart/frame.h"
#include "sim/line_noise.h"
#include "sim/sim_thread.h"

namespace kv770::sim {
namespace {

// The tool's end of the serial line: the slave, raw, at `speed`.
class ToolSide {
 public:
  explicit ToolSide(const QString& path)
      : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~ToolSide() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }

  bool SetSpeed(speed_t speed) {
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return false;
    cfmakeraw(&t);
    cfsetspeed(&t, speed);
    return tcsetattr(fd_, TCSANOW, &t) == 0;
  }

  bool Send(const std::string& bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Sends `request` and takes what comes until 300 ms pass without a byte.
  std::string Ask(const std::string& request) {
    if (!Send(request)) return {};
    std::string got;
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, 300) > 0) {
      char chunk[256];
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) break;
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
};

TEST(SimSettings, SerialLineAnswersOnlyAtItsSpeed) {
  const std::string check = "PPPPPP#VAR#";
  const std::string checkReply = std::string("QV:") + Engine::kFirmware + "#";
  SimThread sim;
  ASSERT_TRUE(sim.Start());
  sim.SetLineBaud(57600);  // before the line exists: it starts at this speed
  ToolSide tool(sim.StartPty());
  ASSERT_TRUE(tool.Ok());

  ASSERT_TRUE(tool.SetSpeed(B57600));
  EXPECT_EQ(tool.Ask(check), checkReply);

  // Bytes sent at 57600 and sampled at 9600.
  ASSERT_TRUE(tool.SetSpeed(B9600));
  const std::string noise = Resample(Engine::kUnknownCommand, 57600, 9600);
  ASSERT_FALSE(noise.empty());
  const std::string answer = tool.Ask(check);
  EXPECT_EQ(answer, noise);
  EXPECT_EQ(answer.find("QV:"), std::string::npos);

  sim.SetLineBaud(9600);
  EXPECT_EQ(tool.Ask(check), checkReply);
}

// Settings made before the gateway starts hold once it runs.
TEST(SimSettings, InstrumentsAndRefusalsSetBeforeStart) {
  SimThread sim;
  sim.SetInstruments({{1, 5}});
  sim.SetRefused({"MD"});
  ASSERT_TRUE(sim.Start());
  ToolSide tool(sim.StartPty());
  ASSERT_TRUE(tool.Ok() && tool.SetSpeed(B9600));
  EXPECT_EQ(tool.Ask("QQS#MD:0#"), Engine::kBadParameter);
  EXPECT_EQ(tool.Ask("QQS#ADR:002#"), "OK:ADR#");
  const hart::Bytes atFive = hart::Frame(5, hart::IdentityRequestBody(0x80, 5));
  const hart::Bytes atZero = hart::Frame(5, hart::IdentityRequestBody(0x80, 0));
  EXPECT_FALSE(tool.Ask(std::string(atFive.begin(), atFive.end())).empty());
  EXPECT_EQ(tool.Ask(std::string(atZero.begin(), atZero.end())), "");
}

// Replies sent a byte at a time queue behind each other: one to a request
// that completes while the reply before is still going out does not mix
// with it.
TEST(SimSettings, SerialRepliesByteByByteDoNotMix) {
  const std::string check = "PPPPPP#VAR#";
  const std::string checkReply = std::string("QV:") + Engine::kFirmware + "#";
  SimThread sim;
  ASSERT_TRUE(sim.Start());
  sim.SetBehaviour({.byteByByte = true, .byteGapMs = 10});
  ToolSide tool(sim.StartPty());
  ASSERT_TRUE(tool.Ok() && tool.SetSpeed(B9600));
  ASSERT_TRUE(tool.Send(check));
  QThread::msleep(60);
  EXPECT_EQ(tool.Ask(check), checkReply + checkReply);
}

}  // namespace
}  // namespace kv770::sim
