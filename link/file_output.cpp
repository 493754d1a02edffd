#include "link/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
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
  if (fd_ >= 0) ::close(fd_);
}

bool AppendFile::Open(const QString& path) {
  if (fd_ >= 0) ::close(fd_);
  path_ = path;
  failed_ = false;
  error_.clear();
  fd_ = ::open(QFile::encodeName(path).constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    error_ = SystemReason(errno);
    return false;
  }
  return true;
}

bool AppendFile::Write(const QByteArray& bytes) {
  if (fd_ < 0 || failed_) return false;
  const int error = WriteAll(fd_, bytes.constData(), bytes.size());
  if (error == 0) return true;
  failed_ = true;
  error_ = SystemReason(error);
  return false;
}

}  // namespace kv770::link
