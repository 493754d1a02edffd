// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "link/line_settings.h"
#include "link/port_names.h"

namespace kv770::link {
namespace {

termios Built(const LineSettings& s) {
  termios t{};
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  t.c_lflag = ICANON | ECHO;  // whatever the port had is replaced
  t.c_oflag = OPOST;
  ToTermios(s, t);
  return t;
}

TEST(LineSettingsTest, ParityByteSizeAndStopBitsMapOntoTheTerminal) {
  struct Case {
    TParity parity;
    tcflag_t expected;
  } cases[] = {
      {TParity::None, 0},
      {TParity::Odd, PARENB | PARODD},
      {TParity::Even, PARENB},
      {TParity::Mark, PARENB | PARODD | CMSPAR},
      {TParity::Space, PARENB | CMSPAR},
  };
  for (const Case& c : cases) {
    LineSettings s;
    s.Parity = c.parity;
    EXPECT_EQ(Built(s).c_cflag & (PARENB | PARODD | CMSPAR), c.expected)
        << static_cast<int>(c.parity);
  }

  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (int i = 0; i < 4; ++i) {
    LineSettings s;
    s.ByteSize = static_cast<TByteSize>(i);
    EXPECT_EQ(Built(s).c_cflag & CSIZE, sizes[i]);
  }

  LineSettings s;
  EXPECT_FALSE(Built(s).c_cflag & CSTOPB);
  s.StopBits = TStopBits::_2;
  EXPECT_TRUE(Built(s).c_cflag & CSTOPB);
  s.StopBits = TStopBits::_1_5;  // nearest the platform has
  EXPECT_TRUE(Built(s).c_cflag & CSTOPB);
}

TEST(LineSettingsTest, FlowControlAndTheirCharacters) {
  LineSettings s;  // defaults: XON/XOFF both ways, no CTS flow
  termios t = Built(s);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_FALSE(t.c_iflag & INPCK);

  s.Outx_XonXoffFlow = false;
  s.Inx_XonXoffFlow = false;
  s.Outx_CtsFlow = true;
  s.ParityCheck = true;
  s.XonChar = 'Q';
  s.XoffChar = 'S';
  t = Built(s);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_EQ(t.c_cc[VSTART], 'Q');
  EXPECT_EQ(t.c_cc[VSTOP], 'S');
}

TEST(LineSettingsTest, RawBinaryLineWithTheRateWhenThePlatformOffersIt) {
  LineSettings s;
  termios t = Built(s);
  EXPECT_EQ(t.c_lflag, tcflag_t{0});
  EXPECT_EQ(t.c_oflag, tcflag_t{0});
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_EQ(cfgetospeed(&t), speed_t{B9600});
  EXPECT_EQ(cfgetispeed(&t), speed_t{B9600});

  for (std::uint32_t rate : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u})
    EXPECT_TRUE(SpeedFor(rate).has_value()) << rate;

  // A rate the platform lacks leaves the port's own speed.
  s.BaudRate = 12345;
  t = Built(s);
  EXPECT_EQ(cfgetospeed(&t), speed_t{B4800});
  s.BaudRate = static_cast<std::uint32_t>(-9600);  // a typed negative number
  t = Built(s);
  EXPECT_EQ(cfgetospeed(&t), speed_t{B4800});
}

TEST(PortMapTest, ComNamesLeadToSerialDevicesUnlessMappedElsewhere) {
  PortMap ports;
  EXPECT_EQ(ports.DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ports.DevicePath("COM4"), "/dev/ttyS3");
  EXPECT_EQ(ports.DevicePath("COM12"), "/dev/ttyS11");
  EXPECT_EQ(ports.DevicePath("com2"), "/dev/ttyS1");
  EXPECT_EQ(ports.DevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ports.DevicePath("ttyACM0"), "/dev/ttyACM0");
  EXPECT_EQ(ports.DevicePath("COM0"), "/dev/COM0");  // no such COM number
  EXPECT_EQ(ports.DevicePath(""), "");

  EXPECT_TRUE(ports.Assign("COM4=/dev/ttyUSB0"));
  EXPECT_TRUE(ports.Assign("COM10=/tmp/kv770-link"));
  EXPECT_EQ(ports.DevicePath("COM4"), "/dev/ttyUSB0");
  EXPECT_EQ(ports.DevicePath("COM10"), "/tmp/kv770-link");
  EXPECT_EQ(ports.DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_TRUE(ports.Assign("COM4=/dev/ttyUSB1"));  // the last one wins
  EXPECT_EQ(ports.DevicePath("COM4"), "/dev/ttyUSB1");
}

TEST(PortMapTest, MalformedAssignmentsAreRefused) {
  PortMap ports;
  for (const char* bad : {"COM4", "COM4=", "=/dev/ttyUSB0", "PORT4=/dev/x", "COM04=/dev/x",
                          "COMx=/dev/x", "COM0=/dev/x", "COM99999999999=/dev/x"}) {
    QString why;
    EXPECT_FALSE(ports.Assign(bad, &why)) << bad;
    EXPECT_TRUE(why.contains(QString::fromLatin1(bad))) << bad;
  }
  EXPECT_EQ(ports.DevicePath("COM4"), "/dev/ttyS3");
}

}  // namespace
}  // namespace kv770::link
