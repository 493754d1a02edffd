// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <vector>

#include "link/exchange.h"

namespace kv770::ui {

class Requests;

// A run of exchanges over the window's open link, one request after the
// other, for the configuration read and write: like Live Values it owns
// the link while it runs, and the request cycle stays idle.
//
// A reply ends when its step says it is whole. One whose shape no step can
// tell ends on a serial link with its first block (the port ends a block
// after the line's silence), over TCP after the silence that ends a reply
// of unknown shape. None within the step's wait is no reply, and the run
// goes on.
class Exchanger : public QObject {
  Q_OBJECT

 public:
  static constexpr int kLongestReply = 4096;

  struct Step {
    QByteArray bytes;
    link::Completion complete;  // none: by the line's silence
    int waitMs = waits::kReplyTimeoutMs;
  };

  explicit Exchanger(Requests& requests, QObject* parent = nullptr);

  bool Running() const { return running_; }
  bool OverSerial() const { return serial_; }
  // Runs `steps` on the chosen link; false, having said why, when no link
  // is open.
  bool Start(std::vector<Step> steps);
  // Bytes that came on the run's link.
  void Received(const QByteArray& bytes);
  // Ends the run at once, giving up the exchange under way; `finished`
  // says so.
  void Cancel();

 signals:
  // The reply to step `index` (empty: none came within its wait).
  void answered(int index, const QByteArray& reply);
  void finished(bool cancelled);
  // A run started or ended.
  void runningChanged();

 private:
  void Next();
  void Answer(const QByteArray& reply);
  void Finish(bool cancelled);

  Requests& requests_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool running_ = false;
  bool waiting_ = false;  // a request is out, its reply not yet whole
  bool serial_ = false;
  bool cancelled_ = false;
  link::Exchange wire_;
};

}  // namespace kv770::ui
