// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

#include "link/line_settings.h"
#include "link/port_names.h"

namespace kv770::link {

class TReadThread;
class TWriteThread;
class Trace;
struct AppliedTimeouts;

// The serial-port component: owns one port, a reader thread and a writer
// thread. The workers never call the component; they post events to an
// object living in the component's thread (the UI thread), so the five
// events below are raised there, one at a time, in posting order.
//
// The port is opened exclusively: TIOCEXCL keeps other programs out (except
// root's), and an advisory lock (flock) keeps out every other component and
// any program that honours it, root's included.
//
// Setters of line settings re-apply them at once on an open port when the
// value changes; CommName and Parity are only stored and take effect at the
// next OpenPort, or with the next change of another line setting.
class TComm : public QObject {
  Q_OBJECT

 public:
  // Flags of OnReceiveError.
  static constexpr std::uint32_t CE_RXOVER = 0x0001;
  static constexpr std::uint32_t CE_OVERRUN = 0x0002;
  static constexpr std::uint32_t CE_RXPARITY = 0x0004;
  static constexpr std::uint32_t CE_FRAME = 0x0008;
  static constexpr std::uint32_t CE_BREAK = 0x0010;
  // Values of OnModemStateChange (both bits may be set).
  static constexpr std::uint32_t kCarrierChanged = 8;
  static constexpr std::uint32_t kRing = 4;

  explicit TComm(QObject* parent = nullptr);
  // Closes an open port first: the workers never outlive the component.
  ~TComm() override;

  // Opens CommName (through Ports()) and starts both workers. Raises
  // ECommsError with one of the fixed messages; "Error opening serial
  // port" carries a second line naming the device and the reason. The
  // kernel's queues are fixed, so "Cannot setup comm buffer" never arises.
  void OpenPort();
  // Stops both workers and closes the port; nothing when closed.
  void ClosePort();
  bool IsOpen() const { return port_ >= 0; }
  // Queues a copy of the bytes for the writer; false when the port is not
  // open, the writer has ended, or there is nothing to send. Never blocks
  // on the line.
  bool SendData(const char* buffer, std::uint16_t length);
  // True when nothing is waiting to be transmitted.
  bool SendDataEmpty() const { return sendDataEmpty_; }

  // Every block queued by SendData and every block received goes to
  // `trace` as well (nullptr: none); recorded on the owner's thread. The
  // trace must outlive the component or be taken away first.
  void SetTrace(Trace* trace) { trace_ = trace; }

  // Which device a port name leads to.
  PortMap& Ports() { return ports_; }
  const PortMap& Ports() const { return ports_; }
  QString DevicePath() const { return ports_.DevicePath(commName_); }

  // ---- published properties ---------------------------------------------
  QString CommName() const { return commName_; }
  void SetCommName(const QString& name) { commName_ = name; }
  std::uint32_t BaudRate() const { return line_.BaudRate; }
  void SetBaudRate(std::uint32_t v) { SetLine(&LineSettings::BaudRate, v); }
  bool ParityCheck() const { return line_.ParityCheck; }
  void SetParityCheck(bool v) { SetLine(&LineSettings::ParityCheck, v); }
  bool Outx_CtsFlow() const { return line_.Outx_CtsFlow; }
  void SetOutx_CtsFlow(bool v) { SetLine(&LineSettings::Outx_CtsFlow, v); }
  bool Outx_DsrFlow() const { return line_.Outx_DsrFlow; }
  void SetOutx_DsrFlow(bool v) { SetLine(&LineSettings::Outx_DsrFlow, v); }
  TDtrControl DtrControl() const { return line_.DtrControl; }
  void SetDtrControl(TDtrControl v) { SetLine(&LineSettings::DtrControl, v); }
  bool DsrSensitivity() const { return line_.DsrSensitivity; }
  void SetDsrSensitivity(bool v) { SetLine(&LineSettings::DsrSensitivity, v); }
  bool TxContinueOnXoff() const { return line_.TxContinueOnXoff; }
  void SetTxContinueOnXoff(bool v) { SetLine(&LineSettings::TxContinueOnXoff, v); }
  bool Outx_XonXoffFlow() const { return line_.Outx_XonXoffFlow; }
  void SetOutx_XonXoffFlow(bool v) { SetLine(&LineSettings::Outx_XonXoffFlow, v); }
  bool Inx_XonXoffFlow() const { return line_.Inx_XonXoffFlow; }
  void SetInx_XonXoffFlow(bool v) { SetLine(&LineSettings::Inx_XonXoffFlow, v); }
  bool ReplaceWhenParityError() const { return line_.ReplaceWhenParityError; }
  void SetReplaceWhenParityError(bool v) { SetLine(&LineSettings::ReplaceWhenParityError, v); }
  bool IgnoreNullChar() const { return line_.IgnoreNullChar; }
  void SetIgnoreNullChar(bool v) { SetLine(&LineSettings::IgnoreNullChar, v); }
  TRtsControl RtsControl() const { return line_.RtsControl; }
  void SetRtsControl(TRtsControl v) { SetLine(&LineSettings::RtsControl, v); }
  std::uint16_t XonLimit() const { return line_.XonLimit; }
  void SetXonLimit(std::uint16_t v) { SetLine(&LineSettings::XonLimit, v); }
  std::uint16_t XoffLimit() const { return line_.XoffLimit; }
  void SetXoffLimit(std::uint16_t v) { SetLine(&LineSettings::XoffLimit, v); }
  TByteSize ByteSize() const { return line_.ByteSize; }
  void SetByteSize(TByteSize v) { SetLine(&LineSettings::ByteSize, v); }
  TParity Parity() const { return line_.Parity; }
  void SetParity(TParity v) { line_.Parity = v; }
  TStopBits StopBits() const { return line_.StopBits; }
  void SetStopBits(TStopBits v) { SetLine(&LineSettings::StopBits, v); }
  char XonChar() const { return line_.XonChar; }
  void SetXonChar(char v) { SetLine(&LineSettings::XonChar, v); }
  char XoffChar() const { return line_.XoffChar; }
  void SetXoffChar(char v) { SetLine(&LineSettings::XoffChar, v); }
  char ReplacedChar() const { return line_.ReplacedChar; }
  void SetReplacedChar(char v) { SetLine(&LineSettings::ReplacedChar, v); }

  std::uint32_t ReadIntervalTimeout() const { return timeouts_.ReadIntervalTimeout; }
  void SetReadIntervalTimeout(std::uint32_t v) { SetTimeout(&Timeouts::ReadIntervalTimeout, v); }
  std::uint32_t ReadTotalTimeoutMultiplier() const { return timeouts_.ReadTotalTimeoutMultiplier; }
  void SetReadTotalTimeoutMultiplier(std::uint32_t v) {
    SetTimeout(&Timeouts::ReadTotalTimeoutMultiplier, v);
  }
  std::uint32_t ReadTotalTimeoutConstant() const { return timeouts_.ReadTotalTimeoutConstant; }
  void SetReadTotalTimeoutConstant(std::uint32_t v) {
    SetTimeout(&Timeouts::ReadTotalTimeoutConstant, v);
  }
  std::uint32_t WriteTotalTimeoutMultiplier() const {
    return timeouts_.WriteTotalTimeoutMultiplier;
  }
  void SetWriteTotalTimeoutMultiplier(std::uint32_t v) {
    SetTimeout(&Timeouts::WriteTotalTimeoutMultiplier, v);
  }
  std::uint32_t WriteTotalTimeoutConstant() const { return timeouts_.WriteTotalTimeoutConstant; }
  void SetWriteTotalTimeoutConstant(std::uint32_t v) {
    SetTimeout(&Timeouts::WriteTotalTimeoutConstant, v);
  }

 signals:
  // A received block: valid only during the call (it is released when the
  // handlers return) and followed by one zero byte that is not counted.
  void OnReceiveData(const char* buffer, std::uint16_t length);
  void OnReceiveError(std::uint32_t eventMask);
  void OnModemStateChange(std::uint32_t modemEvent);
  // A worker ended on a failure of the port (or the line was hung up). The
  // port stays open until ClosePort.
  void OnRequestHangup();
  // Once after the writer starts, then each time its queue runs dry after
  // at least one block was written.
  void OnSendDataEmpty();

 private:
  class NotifyWindow;

  template <typename T>
  void SetLine(T LineSettings::*field, T value) {
    const bool changed = line_.*field != value;
    line_.*field = value;
    if (changed && IsOpen()) ApplyLineSettings();
  }
  template <typename T>
  void SetTimeout(T Timeouts::*field, T value) {
    const bool changed = timeouts_.*field != value;
    timeouts_.*field = value;
    if (changed && IsOpen()) ApplyTimeouts();
  }

  void ApplyLineSettings();
  void ApplyTimeouts();
  void StopReadThread();
  void StopWriteThread();
  void ReleasePort();

  QString commName_ = QStringLiteral("COM2");
  LineSettings line_;
  Timeouts timeouts_;
  PortMap ports_;

  int port_ = -1;
  int closeEvent_ = -1;         // readable once the workers are to stop
  NotifyWindow* notifyWindow_;  // a child: goes with the component
  std::unique_ptr<AppliedTimeouts> applied_;
  std::unique_ptr<TReadThread> readThread_;
  std::unique_ptr<TWriteThread> writeThread_;
  std::atomic<bool> sendDataEmpty_{true};
  Trace* trace_ = nullptr;
};

// What a user chooses to open a line with: the port's name ("COM4" or a
// path), bit rate, parity, and the two modem lines.
struct LineChoice {
  QString commName;
  std::uint32_t baudRate = 9600;
  TParity parity = TParity::None;
  bool dtr = false;
  bool rts = false;
};

// Opens `comm` the way the window and the command line both do: any open
// port closed, the line settings first (8 data bits, no XON/XOFF), then the
// port (ECommsError when it cannot be had), then DTR and RTS.
void OpenLine(TComm& comm, const LineChoice& line);

}  // namespace kv770::link
