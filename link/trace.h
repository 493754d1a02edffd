// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <functional>

#include "link/file_output.h"

namespace kv770::link {

// A traffic trace for support: every request and reply block, appended to a
// file as one line each:
//   2026-12-08 07:30:12.345 tcp    > 50 50 50 50 50 50 23 56 41 52 23  |PPPPPP#VAR#|
// time to the millisecond, the link, the direction ('>' sent, '<' received),
// the bytes in hexadecimal and as printable ASCII ('.' for the rest).
// Off unless opened; one trace may serve several links of a program, also
// links served from other threads (the simulator's), and lines never mix.
class Trace {
 public:
  Trace() = default;
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // Opens FILE for appending; false (with ErrorString()) when it cannot.
  bool Open(const QString& path);
  bool IsOpen() const { return file_.IsOpen(); }
  QString ErrorString() const;
  QString Path() const { return file_.Path(); }
  // A line that could not be written ends the trace: the file would have a
  // hole nobody sees. `failed` hears of it once, with the message, on the
  // thread that was writing.
  bool Failed() const;
  void OnFailure(std::function<void(const QString& message)> failed);

  // Each line as it is recorded, without its line end, also while no file
  // is open (the window's traffic history), with at most `maxBytes` of the
  // block and then its length ("... (1048576 bytes in all)"). Called on the
  // thread that records, under the trace's lock: hand the line on, do not
  // wait there.
  void OnLine(std::function<void(const QString& line)> listener, int maxBytes = 512);

  enum class Direction { Sent, Received };
  // Nothing while neither a file nor a listener takes it, and nothing for
  // no bytes.
  void Record(const QString& link, Direction direction, const QByteArray& bytes);

  // The line Record writes, without its time stamp (for tests and viewers).
  static QString Format(const QString& link, Direction direction, const QByteArray& bytes);

 private:
  mutable QMutex mutex_;
  AppendFile file_;
  std::function<void(const QString&)> failed_;
  std::function<void(const QString&)> listener_;
  int listenerBytes_ = 512;
};

}  // namespace kv770::link
