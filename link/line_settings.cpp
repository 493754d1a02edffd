// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/line_settings.h"

#include <sys/ioctl.h>

namespace kv770::link {

namespace {

struct Rate {
  std::uint32_t bits;
  speed_t speed;
};

constexpr Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

tcflag_t SizeFlag(TByteSize size) {
  switch (size) {
    case TByteSize::_5:
      return CS5;
    case TByteSize::_6:
      return CS6;
    case TByteSize::_7:
      return CS7;
    case TByteSize::_8:
      break;
  }
  return CS8;
}

tcflag_t ParityFlags(TParity parity) {
  switch (parity) {
    case TParity::None:
      break;
    case TParity::Odd:
      return PARENB | PARODD;
    case TParity::Even:
      return PARENB;
    case TParity::Mark:  // stick parity: the bit is always 1
      return PARENB | CMSPAR | PARODD;
    case TParity::Space:  // stick parity: the bit is always 0
      return PARENB | CMSPAR;
  }
  return 0;
}

void SetLine(int fd, int line, bool on) {
  (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

std::optional<speed_t> SpeedFor(std::uint32_t baudRate) {
  for (const Rate& r : kRates)
    if (r.bits == baudRate) return r.speed;
  return std::nullopt;
}

void ToTermios(const LineSettings& s, termios& t) {
  const speed_t ispeed = cfgetispeed(&t);
  const speed_t ospeed = cfgetospeed(&t);

  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  // Closing the port drops DTR and RTS, as a port that is given up should.
  t.c_cflag = CREAD | CLOCAL | HUPCL | SizeFlag(s.ByteSize) | ParityFlags(s.Parity);
  if (s.StopBits != TStopBits::_1) t.c_cflag |= CSTOPB;
  if (s.Outx_CtsFlow) t.c_cflag |= CRTSCTS;
  if (s.ParityCheck) t.c_iflag |= INPCK;
  if (s.Outx_XonXoffFlow) t.c_iflag |= IXON;
  if (s.Inx_XonXoffFlow) t.c_iflag |= IXOFF;

  t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
  // The reader uses non-blocking reads; these only matter to other readers.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  const std::optional<speed_t> speed = SpeedFor(s.BaudRate);
  cfsetispeed(&t, speed ? *speed : ispeed);
  cfsetospeed(&t, speed ? *speed : ospeed);
}

void ApplyModemLines(int fd, const LineSettings& s) {
  if (s.DtrControl == TDtrControl::DtrEnable) SetLine(fd, TIOCM_DTR, true);
  if (s.DtrControl == TDtrControl::DtrDisable) SetLine(fd, TIOCM_DTR, false);
  if (s.RtsControl == TRtsControl::RtsEnable) SetLine(fd, TIOCM_RTS, true);
  if (s.RtsControl == TRtsControl::RtsDisable) SetLine(fd, TIOCM_RTS, false);
}

}  // namespace kv770::link
