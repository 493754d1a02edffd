// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <grp.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QtGlobal>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <vector>

#include "link/SerialComm.h"

#include "base/waits.h"
#include "link/errors.h"
#include "link/file_output.h"
#include "link/serial_threads.h"
#include "link/trace.h"

namespace kv770::link {

namespace {

// The group that owns a device, when being in it would let a user open it.
QString GrantingGroup(const QByteArray& path) {
  struct stat st {};
  if (stat(path.constData(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
    return {};
  std::vector<char> scratch(4096);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(st.st_gid, &entry, scratch.data(), scratch.size(), &found) != 0 || !found)
    return QString::number(st.st_gid);
  return QString::fromLocal8Bit(found->gr_name);
}

// "Error opening serial port" and a second line naming the device and what
// stood in the way.
// "/dev/ttyUSB0 (COM4)": the device, and the name it was chosen by.
QString PortWhere(const QString& name, const QString& device) {
  QString where = device.isEmpty() ? QStringLiteral("(no port name)") : device;
  if (device != name && !name.isEmpty()) where += QStringLiteral(" (%1)").arg(name);
  return where;
}

ECommsError OpenFailure(const QString& name, const QString& device, int error) {
  const QString where = PortWhere(name, device);
  QString reason = SystemReason(error);
  if (error == EBUSY || error == EWOULDBLOCK)
    reason = QStringLiteral("the port is busy (another program has it open)");
  if (error == EACCES) {
    const QString group = GrantingGroup(QFile::encodeName(device));
    if (!group.isEmpty())
      reason += QStringLiteral(
                    ". The user must be a member of the group that owns the device "
                    "(%1), for example: sudo usermod -aG %1 $USER, then log in again")
                    .arg(group);
  }
  return ECommsError(QStringLiteral("Error opening serial port\n%1: %2").arg(where, reason));
}

}  // namespace

// Receives the workers' events in the component's thread and raises them.
// Every event it is still holding when it goes is released with it.
class TComm::NotifyWindow : public QObject {
 public:
  explicit NotifyWindow(TComm* owner) : QObject(owner), owner_(*owner) {}

  bool event(QEvent* e) override {
    if (e->type() != CommEvent::Type()) return QObject::event(e);
    const auto* n = static_cast<CommEvent*>(e);
    switch (n->kind) {
      case CommEvent::Kind::Receive:
        if (owner_.trace_)
          owner_.trace_->Record(QStringLiteral("serial"), Trace::Direction::Received,
                                QByteArray(n->block.bytes.get(), n->block.count));
        emit owner_.OnReceiveData(n->block.bytes.get(), n->block.count);
        break;
      case CommEvent::Kind::Error:
        emit owner_.OnReceiveError(n->value);
        break;
      case CommEvent::Kind::Hangup:
        emit owner_.OnRequestHangup();
        break;
      case CommEvent::Kind::Modem:
        emit owner_.OnModemStateChange(n->value);
        break;
      case CommEvent::Kind::SendEmpty:
        emit owner_.OnSendDataEmpty();
        break;
    }
    return true;  // the event, and its block, are released by the caller
  }

 private:
  TComm& owner_;
};

TComm::TComm(QObject* parent)
    : QObject(parent),
      notifyWindow_(new NotifyWindow(this)),
      applied_(std::make_unique<AppliedTimeouts>()) {}

TComm::~TComm() {
  ClosePort();
  // The notify window goes with the QObject, and with it any event not
  // raised yet.
}

void TComm::OpenPort() {
  if (IsOpen()) throw ECommsError(QStringLiteral("This serial port already opened"));

  const QString device = DevicePath();
  const QByteArray path = QFile::encodeName(device);
  // Non-blocking, so that a port waiting for carrier cannot hang the open.
  const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw OpenFailure(commName_, device, errno);
  if (!isatty(fd)) {
    ::close(fd);
    throw ECommsError(QStringLiteral("File handle is not a comm handle \n%1: not a serial device")
                          .arg(PortWhere(commName_, device)));
  }
  // The lock holds for root too, whom TIOCEXCL does not stop. It goes with
  // the descriptor.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    throw OpenFailure(commName_, device, error);
  }
  (void)ioctl(fd, TIOCEXCL);

  port_ = fd;
  tcflush(port_, TCIOFLUSH);
  sendDataEmpty_ = true;
  ApplyTimeouts();
  ApplyLineSettings();

  closeEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (closeEvent_ < 0) {
    ReleasePort();
    throw ECommsError(QStringLiteral("Unable to create event"));
  }

  const auto giveUp = [this](const char* message) {
    ::close(closeEvent_);
    closeEvent_ = -1;
    ReleasePort();
    return ECommsError(QString::fromLatin1(message));
  };
  try {
    readThread_ = std::make_unique<TReadThread>(port_, closeEvent_, notifyWindow_, *applied_);
    readThread_->Start();
  } catch (const std::exception&) {
    readThread_.reset();
    throw giveUp("Unable to create read thread");
  }
  try {
    writeThread_ =
        std::make_unique<TWriteThread>(port_, closeEvent_, notifyWindow_, sendDataEmpty_);
    writeThread_->Start();
  } catch (const std::exception&) {
    writeThread_.reset();
    StopReadThread();
    throw giveUp("Unable to create write thread");
  }
}

void TComm::ClosePort() {
  if (!IsOpen()) return;
  StopReadThread();
  StopWriteThread();
  if (closeEvent_ >= 0) ::close(closeEvent_);
  closeEvent_ = -1;
  ReleasePort();
}

void TComm::ReleasePort() {
  // A pseudo-terminal's other end may keep the terminal alive; the next
  // user must not find it still marked exclusive.
  (void)ioctl(port_, TIOCNXCL);
  ::close(port_);
  port_ = -1;
}

bool TComm::SendData(const char* buffer, std::uint16_t length) {
  if (!writeThread_ || length == 0 || buffer == nullptr) return false;
  const bool queued = writeThread_->Queue(Block::Copy(buffer, length));
  if (queued && trace_)
    trace_->Record(QStringLiteral("serial"), Trace::Direction::Sent, QByteArray(buffer, length));
  return queued;
}

void TComm::ApplyLineSettings() {
  termios t{};
  if (tcgetattr(port_, &t) != 0) return;
  ToTermios(line_, t);
  // A driver that refuses part of it changes nothing and reports nothing; a
  // pseudo-terminal, for one, forces 8 bits and no parity.
  (void)tcsetattr(port_, TCSANOW, &t);
  ApplyModemLines(port_, line_);
}

void TComm::ApplyTimeouts() {
  applied_->interval = timeouts_.ReadIntervalTimeout;
  applied_->totalMultiplier = timeouts_.ReadTotalTimeoutMultiplier;
  applied_->totalConstant = timeouts_.ReadTotalTimeoutConstant;
}

namespace {

void SignalStop(int closeEvent) {
  const std::uint64_t one = 1;
  (void)!write(closeEvent, &one, sizeof one);
}

void AwaitWorker(TWorkerThread& worker, const char* role, const QString& device) {
  if (!worker.WaitFor(std::chrono::milliseconds(waits::kWorkerStopMs)))
    qWarning("serial %s of %s has not stopped within %d ms; waiting for it", role,
             qPrintable(device), waits::kWorkerStopMs);
  worker.Join();
}

}  // namespace

void TComm::StopReadThread() {
  if (!readThread_) return;
  SignalStop(closeEvent_);
  tcflush(port_, TCIFLUSH);
  AwaitWorker(*readThread_, "reader", DevicePath());
  readThread_.reset();
}

void TComm::StopWriteThread() {
  if (!writeThread_) return;
  SignalStop(closeEvent_);
  tcflush(port_, TCOFLUSH);
  sendDataEmpty_ = true;
  AwaitWorker(*writeThread_, "writer", DevicePath());
  writeThread_.reset();
}

void OpenLine(TComm& comm, const LineChoice& line) {
  comm.ClosePort();
  comm.SetBaudRate(line.baudRate);
  comm.SetParity(line.parity);
  comm.SetCommName(line.commName);
  comm.SetOutx_XonXoffFlow(false);
  comm.SetInx_XonXoffFlow(false);
  comm.OpenPort();
  comm.SetDtrControl(line.dtr ? TDtrControl::DtrEnable : TDtrControl::DtrDisable);
  comm.SetRtsControl(line.rts ? TRtsControl::RtsEnable : TRtsControl::RtsDisable);
}

}  // namespace kv770::link
