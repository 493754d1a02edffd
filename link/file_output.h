// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace kv770::link {

// Every file the programs write (backups, traces, screenshots) goes through
// here, so that a full disk or a device in place of a file is reported with
// the system's reason instead of passing for success.

// Makes `bytes` the whole content of `path`. A regular file (or a new one)
// is replaced only by a complete copy: the bytes go to a temporary file in
// the same folder, which is synced and then renamed over `path`, keeping
// the old file's permissions; on any failure the old file is left as it
// was and the temporary file removed. A path that exists and is no regular
// file (a device, a FIFO, a terminal) is written in place, never replaced.
// A symbolic link is followed. Returns an empty string when every byte
// reached its place, else the system's reason ("No space left on device").
QString WriteWholeFile(const QString& path, const QByteArray& bytes);

// A file opened for appending (a trace, a CSV log): nothing is replaced,
// every write is checked, and the first failure is kept for ErrorString().
// In a regular file each Write lands whole or not at all: a write the disk
// could take only in part is cut back, so the file never ends in half a
// line that the next run would write onto.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // False, with ErrorString(), when `path` cannot be opened for writing.
  bool Open(const QString& path);
  // Writes to the program's standard output (left open at the end); Path()
  // is "standard output".
  bool OpenStandardOutput();
  bool IsOpen() const { return fd_ >= 0; }
  // The size of a regular file; -1 for anything else (a pipe, a terminal,
  // a device), which has no content to look at.
  qint64 RegularSize() const;
  // Up to `max` bytes from the start of a regular file; empty otherwise.
  QByteArray Head(qsizetype max) const;
  // A regular file whose last line lacks its end (a run killed mid-line,
  // a half line of an older program) gets `lineEnd` first, so that what
  // follows starts a line of its own. False as Write.
  bool EndLastLine(const QByteArray& lineEnd);
  // Writes all of `bytes` in one piece where the system allows it (lines
  // of several writers do not mix). False once a write has failed.
  bool Write(const QByteArray& bytes);
  bool Failed() const { return failed_; }
  // The errno value of the failure, 0 for none.
  int Error() const { return errno_; }
  QString ErrorString() const { return error_; }
  QString Path() const { return path_; }

 private:
  bool Fail(int error);
  // A descriptor that reads the same regular file, -1 when none can.
  int Reader() const;
  void Opened();

  int fd_ = -1;
  bool owned_ = true;     // closed at the end; standard output is not
  bool regular_ = false;  // a regular file: a failed write is cut back
  bool append_ = false;   // opened with O_APPEND: writes land at its end
  bool failed_ = false;
  int errno_ = 0;
  QString path_;
  QString error_;
};

// The system's words for an errno value.
QString SystemReason(int error);

}  // namespace kv770::link
