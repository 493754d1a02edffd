// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

namespace kv770::link {

// The serial component's setting types; ordinals from 0 in this order.
enum class TDtrControl : std::uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : std::uint8_t {
  RtsEnable,
  RtsDisable,
  RtsHandshake,
  RtsTransmissionAvailable
};
enum class TByteSize : std::uint8_t { _5, _6, _7, _8 };
enum class TParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : std::uint8_t { _1, _1_5, _2 };

// Everything the component applies to the line when it opens a port or a
// setting changes on an open one. Defaults are the component's.
//
// What a POSIX terminal cannot express is kept but not applied:
// Outx_DsrFlow, DsrSensitivity, TxContinueOnXoff, XonLimit, XoffLimit,
// ReplaceWhenParityError with ReplacedChar (a character received with a
// parity error reads as 0), IgnoreNullChar, DtrHandshake, RtsHandshake and
// RtsTransmissionAvailable (the lines are left as they are).
struct LineSettings {
  std::uint32_t BaudRate = 9600;
  bool ParityCheck = false;
  bool Outx_CtsFlow = false;
  bool Outx_DsrFlow = false;
  TDtrControl DtrControl = TDtrControl::DtrEnable;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = true;
  bool Outx_XonXoffFlow = true;
  bool Inx_XonXoffFlow = true;
  bool ReplaceWhenParityError = false;
  bool IgnoreNullChar = false;
  TRtsControl RtsControl = TRtsControl::RtsEnable;
  std::uint16_t XonLimit = 500;
  std::uint16_t XoffLimit = 500;
  TByteSize ByteSize = TByteSize::_8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::_1;
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ReplacedChar = 0;
};

// Read timeouts in milliseconds, with the meaning a block-forming reader
// gives them: a block ends once ReadIntervalTimeout has passed without a
// byte after the first one, or once ReadTotalTimeoutMultiplier * 2048 +
// ReadTotalTimeoutConstant has passed since the read began. The write
// timeouts are kept only: the writer carries on with the rest of a block
// after any partial write, so they would change nothing.
struct Timeouts {
  std::uint32_t ReadIntervalTimeout = 100;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

// The terminal speed for a rate in bit/s, if the platform offers it.
std::optional<speed_t> SpeedFor(std::uint32_t baudRate);

// Rebuilds `t` (as read from the port) for `s`: raw binary mode with every
// flag cleared, then the settings. A rate the platform does not offer
// leaves the speed as it was.
//
// 1.5 stop bits do not exist here; they are set as 2, which a UART gives as
// 1.5 with 5 data bits (the one size the 1.5 setting is meant for).
// Outx_CtsFlow sets CRTSCTS, which also lets the driver drop RTS when its
// input fills.
void ToTermios(const LineSettings& s, termios& t);

// DTR and RTS by their enable/disable settings; the handshake modes leave
// the line alone. Results are ignored: a pseudo-terminal has no modem lines.
void ApplyModemLines(int fd, const LineSettings& s);

}  // namespace kv770::link
