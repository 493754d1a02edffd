// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace kv770::link {

namespace {

// Writes every byte or returns the errno value that stopped it.
int WriteAll(int fd, const char* data, qsizetype size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data += n;
    size -= n;
  }
  return 0;
}

// Closes and reports what close() reports: on network file systems a
// failed write may show only there.
int CloseChecked(int fd) {
  return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

QString InPlace(const QByteArray& path, const QByteArray& bytes) {
  const int fd = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return SystemReason(errno);
  int error = WriteAll(fd, bytes.constData(), bytes.size());
  // Devices and pipes have nothing to sync (EINVAL, EROFS); a disk does.
  if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) error = errno;
  const int closed = CloseChecked(fd);
  return SystemReason(error ? error : closed);
}

// The file's folder, synced so that the rename survives a power cut.
// Failing that is not worth a failure: the data itself is on the disk.
void SyncFolder(const QByteArray& path) {
  const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath());
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

QString Replace(const QByteArray& path, const QByteArray& bytes, const struct stat* old) {
  QByteArray temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return SystemReason(errno);
  // mkostemp makes 0600; the result keeps the old file's mode, or gets
  // what a plain create would give.
  mode_t mode = 0;
  if (old) {
    mode = old->st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  int error = WriteAll(fd, bytes.constData(), bytes.size());
  if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  const int closed = CloseChecked(fd);
  if (error == 0) error = closed;
  if (error == 0 && ::rename(temporary.constData(), path.constData()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.constData());
    return SystemReason(error);
  }
  SyncFolder(path);
  return {};
}

}  // namespace

QString SystemReason(int error) {
  if (error == 0) return {};
  return QString::fromStdString(std::generic_category().message(error));
}

QString WriteWholeFile(const QString& path, const QByteArray& bytes) {
  if (path.isEmpty()) return SystemReason(ENOENT);
  QByteArray target = QFile::encodeName(path);
  // Through a symbolic link to the file it names: the link stays a link.
  if (char resolved[PATH_MAX]; ::realpath(target.constData(), resolved)) target = resolved;
  struct stat st {};
  if (::stat(target.constData(), &st) != 0) {
    if (errno != ENOENT) return SystemReason(errno);
    return Replace(target, bytes, nullptr);
  }
  if (S_ISDIR(st.st_mode)) return SystemReason(EISDIR);
  if (!S_ISREG(st.st_mode)) return InPlace(target, bytes);
  // Only a file the user may write is replaced, as a plain write would;
  // the folder's permission alone must not let us replace it.
  if (::access(target.constData(), W_OK) != 0) return SystemReason(errno);
  return Replace(target, bytes, &st);
}

// ---- appending ------------------------------------------------------------------

AppendFile::~AppendFile() {
  if (fd_ >= 0 && owned_) ::close(fd_);
}

bool AppendFile::Open(const QString& path) {
  if (fd_ >= 0 && owned_) ::close(fd_);
  path_ = path;
  owned_ = true;
  fd_ = ::open(QFile::encodeName(path).constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
  const int error = fd_ < 0 ? errno : 0;
  Opened();
  if (fd_ < 0) return Fail(error);
  return true;
}

bool AppendFile::OpenStandardOutput() {
  if (fd_ >= 0 && owned_) ::close(fd_);
  path_ = QStringLiteral("standard output");
  owned_ = false;
  fd_ = STDOUT_FILENO;
  Opened();
  if (::fcntl(fd_, F_GETFL) < 0) {
    const int error = errno;
    fd_ = -1;
    return Fail(error);
  }
  return true;
}

void AppendFile::Opened() {
  failed_ = false;
  errno_ = 0;
  error_.clear();
  struct stat st {};
  regular_ = fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  const int flags = fd_ >= 0 ? ::fcntl(fd_, F_GETFL) : -1;
  append_ = flags >= 0 && (flags & O_APPEND) != 0;
}

bool AppendFile::Fail(int error) {
  failed_ = true;
  errno_ = error;
  error_ = SystemReason(error);
  return false;
}

qint64 AppendFile::RegularSize() const {
  struct stat st {};
  if (fd_ < 0 || !regular_ || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

// Through /proc, since the descriptor itself is for writing only and the
// name may be standard output's.
int AppendFile::Reader() const {
  if (fd_ < 0 || !regular_) return -1;
  const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
  int fd = ::open(self.constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && owned_) fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
  return fd;
}

QByteArray AppendFile::Head(qsizetype max) const {
  const int fd = Reader();
  if (fd < 0) return {};
  QByteArray head(max, Qt::Uninitialized);
  const ssize_t n = ::pread(fd, head.data(), static_cast<size_t>(max), 0);
  ::close(fd);
  head.truncate(n > 0 ? n : 0);
  return head;
}

bool AppendFile::EndLastLine(const QByteArray& lineEnd) {
  const qint64 size = RegularSize();
  if (size <= 0 || lineEnd.isEmpty()) return !failed_;
  const int fd = Reader();
  if (fd < 0) return !failed_;
  char last = 0;
  const bool read = ::pread(fd, &last, 1, size - 1) == 1;
  ::close(fd);
  if (!read || last == lineEnd.back()) return !failed_;
  // A line end cut in two ("\r" of "\r\n") needs only its rest.
  const qsizetype cut = lineEnd.size() > 1 && last == lineEnd.front() ? 1 : 0;
  return Write(lineEnd.mid(cut));
}

bool AppendFile::Write(const QByteArray& bytes) {
  if (fd_ < 0 || failed_) return false;
  // Where a regular file ends before the write: a write that fails part
  // way is cut back to it.
  off_t end = -1;
  if (regular_) {
    struct stat st {};
    if (append_) {
      if (::fstat(fd_, &st) == 0) end = st.st_size;
    } else {
      end = ::lseek(fd_, 0, SEEK_CUR);
    }
  }
  const int error = WriteAll(fd_, bytes.constData(), bytes.size());
  if (error == 0) return true;
  if (end >= 0 && ::ftruncate(fd_, end) == 0 && !append_) ::lseek(fd_, end, SEEK_SET);
  return Fail(error);
}

}  // namespace kv770::link
