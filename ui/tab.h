// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

#include "base/waits.h"
#include "cycle/request_cycle.h"
#include "ui/message_sink.h"

namespace kv770::ui {

// What a tab asks of the window, which owns the link, the request cycle and
// its timers. Every sender but Live Values is refused while Live Values runs.
class Requests {
 public:
  virtual ~Requests() = default;

  // The common send step: both areas cleared, `shown` in "Send Buffer:",
  // `bytes` to the chosen link, `code` and `kind` waited for, the time-out
  // armed (`timeoutMs` 0 keeps the interval it has).
  virtual void Send(const QByteArray& bytes, const QString& shown, cycle::PendingCode code,
                    cycle::RequestKind kind, int timeoutMs = waits::kReplyTimeoutMs) = 0;
  // `bytes` to the chosen link alone, outside the request cycle.
  virtual void Route(const QByteArray& bytes) = 0;
  // `bytes` to the serial port, whatever the link choice.
  virtual void SendSerial(const QByteArray& bytes) = 0;
  // Waits for `code` of `kind`, the time-out armed with `timeoutMs`.
  virtual void Await(cycle::PendingCode code, cycle::RequestKind kind, int timeoutMs) = 0;
  // A decoder has what it waited for: no time-out is reported.
  virtual void StopTimeout() = 0;
  // The exchange buffer: requests are staged and replies read there.
  virtual cycle::RequestCycle& Cycle() = 0;

  // "Send Buffer:" and "Receive Buffer:".
  virtual void ShowSent(const QString& text) = 0;
  virtual void ClearAreas() = 0;
  virtual void ClearReceived() = 0;

  virtual MessageSink& Messages() = 0;
  // Raises the refusal a handler's message box shows while Live Values or
  // a configuration read or write owns the link.
  virtual void RefuseWhileLive() const = 0;

  // The link choice: 0 the serial port, 1 TCP, -1 a text typed over it.
  virtual int LinkIndex() const = 0;
  virtual bool SerialOpen() const = 0;
  // The chosen link and its state as the status line shows it.
  virtual QString LinkDescription() const = 0;

  // For Live Values, which owns the link while it runs: whether its link is
  // open, its bytes written straight to it (over TCP after dropping what a
  // late reply left), and the request cycle left idle.
  virtual bool LinkOpen(bool serial) const = 0;
  virtual void Write(bool serial, const QByteArray& bytes) = 0;
  virtual void Idle() = 0;
};

// Runs a handler the way the window's message loop does: an exception it
// raises is shown in a modal box and the loop goes on.
void RunShowingErrors(MessageSink& messages, const std::function<void()>& handler);

// A page of the window: it builds and owns its controls, sends through
// Requests and is handed the replies it waits for.
class Tab : public QWidget {
  Q_OBJECT

 public:
  explicit Tab(Requests& requests) : requests_(requests) {}

  // Decodes the reply to `code` when this tab sent it; false when not.
  virtual bool Decode(cycle::PendingCode code) {
    (void)code;
    return false;
  }

 protected:
  template <typename Sender, typename Signal, typename Owner>
  void On(Sender* sender, Signal signal, void (Owner::*handler)()) {
    auto* owner = static_cast<Owner*>(this);
    connect(sender, signal, this, [this, owner, handler] {
      RunShowingErrors(requests_.Messages(), [owner, handler] { (owner->*handler)(); });
    });
  }

  Requests& requests_;
};

}  // namespace kv770::ui
