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

// A file opened for appending (a trace): nothing is replaced, every write
// is checked, and the first failure is kept for ErrorString().
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // False, with ErrorString(), when `path` cannot be opened for writing.
  bool Open(const QString& path);
  bool IsOpen() const { return fd_ >= 0; }
  // Writes all of `bytes` in one piece where the system allows it (lines
  // of several writers do not mix). False once a write has failed.
  bool Write(const QByteArray& bytes);
  bool Failed() const { return failed_; }
  QString ErrorString() const { return error_; }
  QString Path() const { return path_; }

 private:
  int fd_ = -1;
  bool failed_ = false;
  QString path_;
  QString error_;
};

// The system's words for an errno value.
QString SystemReason(int error);

}  // namespace kv770::link
