// SPDX-License-Identifier: GPL-3.0-or-later
// The window's MODBUS read test against libmodbus, an independent MODBUS
// implementation, serving holding registers: it must take our request for
// a valid one and its reply must reach "Receive Buffer:" as hexadecimal.
#include <gtest/gtest.h>
#include <QScopeGuard>

#include "support/window_fixture.h"
#include "tools/modbus_frames.h"

#ifdef KV770_HAVE_LIBMODBUS
#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>

#include <atomic>
#include <thread>
#endif

namespace kv770::ui {
namespace {

#ifdef KV770_HAVE_LIBMODBUS

// A libmodbus MODBUS TCP server on a free loopback port, serving one client
// from a thread of its own until that client goes.
class LibmodbusServer {
 public:
  LibmodbusServer() {
    ctx_ = modbus_new_tcp("127.0.0.1", 0);
    mapping_ = modbus_mapping_new(0, 0, 32, 0);
    for (int r = 0; r < 32; ++r)
      mapping_->tab_registers[r] = static_cast<std::uint16_t>(0xA000 + r);
    listen_ = modbus_tcp_listen(ctx_, 1);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (listen_ >= 0) getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LibmodbusServer() {
    // Wakes an accept that never got its client; a served client has gone
    // by now, which ends the thread's receive loop.
    if (listen_ >= 0) shutdown(listen_, SHUT_RDWR);
    thread_.join();
    if (listen_ >= 0) close(listen_);
    modbus_mapping_free(mapping_);
    modbus_close(ctx_);
    modbus_free(ctx_);
  }

  quint16 Port() const { return port_; }
  int Requests() const { return requests_; }

 private:
  void Serve() {
    if (listen_ < 0 || modbus_tcp_accept(ctx_, &listen_) < 0) return;
    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
      const int n = modbus_receive(ctx_, query);
      if (n > 0) {
        ++requests_;
        modbus_reply(ctx_, query, n, mapping_);
      } else if (n < 0) {
        return;  // the client has gone
      }
    }
  }

  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  int listen_ = -1;
  quint16 port_ = 0;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

using ModbusPeer = WindowFixture;

TEST_F(ModbusPeer, LibmodbusServerAnswersTheWindowsTcpRequest) {
  LibmodbusServer server;
  ASSERT_NE(server.Port(), 0);
  // The window goes first: the server's thread ends once its client has gone.
  const auto closeWindow = qScopeGuard([&] { form.reset(); });
  ASSERT_TRUE(ConnectPort(server.Port()));

  Type("Edit19", "5");
  Type("Edit20", "3");
  Click("Button4");
  ASSERT_TRUE(ReplyShown());
  // Transaction 1 echoed, 1 + 1 + 1 + 6 bytes follow, registers 5..7.
  EXPECT_EQ(ReceiveArea(), QStringLiteral("00 01 00 00 00 09 01 03 06 A0 05 A0 06 A0 07 "));

  // libmodbus refuses what a MODBUS server must refuse: past its registers.
  const QString first = ReceiveArea();
  Type("Edit19", "30");
  Click("Button4");
  ASSERT_TRUE(ReplyShown(first));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("00 01 00 00 00 03 01 83 02 "));
  EXPECT_TRUE(messages.shown.isEmpty());
  EXPECT_EQ(server.Requests(), 2);
}

// Two pseudo-terminals joined master to master, like a null-modem cable:
// what is written to one end's device is read from the other's.
class PtyCable {
 public:
  PtyCable() {
    for (End& end : ends_) {
      char name[128] = {};
      if (openpty(&end.master, &end.slave, name, nullptr, nullptr) != 0) return;
      end.path = QString::fromLocal8Bit(name);
      termios t{};
      tcgetattr(end.slave, &t);
      cfmakeraw(&t);
      tcsetattr(end.slave, TCSANOW, &t);
    }
    if (pipe(stop_) != 0) return;
    relay_ = std::thread([this] { Relay(); });
  }
  ~PtyCable() {
    if (relay_.joinable()) {
      (void)!write(stop_[1], "x", 1);
      relay_.join();
    }
    for (int fd :
         {stop_[0], stop_[1], ends_[0].master, ends_[0].slave, ends_[1].master, ends_[1].slave})
      if (fd >= 0) close(fd);
  }
  QString Path(int end) const { return ends_[end].path; }

 private:
  struct End {
    int master = -1;
    int slave = -1;  // held, so a master never reads EIO while its end is closed
    QString path;
  };

  void Relay() {
    for (;;) {
      pollfd p[3] = {
          {ends_[0].master, POLLIN, 0}, {ends_[1].master, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(p, 3, -1) < 0 || p[2].revents) return;
      for (int i = 0; i < 2; ++i) {
        if (!(p[i].revents & POLLIN)) continue;
        char chunk[512];
        const ssize_t n = read(ends_[i].master, chunk, sizeof chunk);
        if (n > 0) (void)!write(ends_[1 - i].master, chunk, static_cast<std::size_t>(n));
      }
    }
  }

  End ends_[2];
  int stop_[2] = {-1, -1};
  std::thread relay_;
};

// A libmodbus RTU slave (address 1) on one end of the cable.
class LibmodbusRtuSlave {
 public:
  explicit LibmodbusRtuSlave(const QString& path) {
    ctx_ = modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1);
    modbus_set_slave(ctx_, 1);
    modbus_set_indication_timeout(ctx_, 0, 100000);  // to look at the stop flag
    mapping_ = modbus_mapping_new(0, 0, 16, 0);
    for (int r = 0; r < 16; ++r)
      mapping_->tab_registers[r] = static_cast<std::uint16_t>(0x4100 + r);
    connected_ = modbus_connect(ctx_) == 0;
    if (connected_) thread_ = std::thread([this] { Serve(); });
  }
  ~LibmodbusRtuSlave() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    modbus_mapping_free(mapping_);
    modbus_close(ctx_);
    modbus_free(ctx_);
  }
  bool Connected() const { return connected_; }

 private:
  void Serve() {
    std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int n = modbus_receive(ctx_, query);
      if (n > 0) modbus_reply(ctx_, query, n, mapping_);
      if (n < 0) modbus_flush(ctx_);  // a time-out, or a frame it refused
    }
  }

  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  bool connected_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(ModbusPeer, LibmodbusRtuSlaveAnswersTheWindowsSerialRequest) {
  PtyCable cable;
  ASSERT_FALSE(cable.Path(1).isEmpty());
  LibmodbusRtuSlave slave(cable.Path(1));
  ASSERT_TRUE(slave.Connected());
  ASSERT_TRUE(OpenSerial(cable.Path(0))) << messages.shown.join('|').toStdString();

  Type("Edit19", "2");
  Type("Edit20", "2");
  Click("Button4");
  ASSERT_TRUE(ReplyShown());
  // Slave 1, function 3, four bytes: registers 2 and 3, then the CRC.
  const QString shown = ReceiveArea();
  ASSERT_EQ(shown.size(), 9 * 3) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("01 03 04 41 02 41 03 "))) << shown.toStdString();
  EXPECT_EQ(tools::Crc16(QByteArray::fromHex(shown.toLatin1()).toStdString()), 0);
  EXPECT_TRUE(messages.shown.isEmpty());
  Click("Button1");  // closed before the cable goes
}

#else

TEST(ModbusPeer, NeedsLibmodbus) {
  GTEST_SKIP() << "built without libmodbus";
}

#endif

}  // namespace
}  // namespace kv770::ui
