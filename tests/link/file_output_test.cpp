// SPDX-License-Identifier: GPL-3.0-or-later
// Files the programs write: a full disk or a device in place of a file is
// reported, and never costs the user the file that was there.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/file_output.h"
#include "link/trace.h"

namespace kv770::link {
namespace {

QByteArray Contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

bool IsCharDevice(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A private device node that answers every write with "No space left on
// device", as /dev/full does (which a test must never touch).
QString FullDevice(const QTemporaryDir& dir) {
  const QString path = dir.filePath(QStringLiteral("full"));
  if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0) return {};
  return path;
}

TEST(WriteWholeFileTest, FullFileSystemKeepsTheOldFileAndLeavesNoTemporary) {
  QTemporaryDir dir;
  const QByteArray mountPoint = QFile::encodeName(dir.path());
  if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  const QString path = dir.filePath(QStringLiteral("gw.json"));
  EXPECT_EQ(WriteWholeFile(path, "old backup"), QString());
  EXPECT_EQ(WriteWholeFile(path, QByteArray(128 * 1024, 'x')),
            QStringLiteral("No space left on device"));
  EXPECT_EQ(Contents(path), QByteArray("old backup"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"gw.json"});
  ::umount(mountPoint.constData());
}

TEST(WriteWholeFileTest, DeviceIsWrittenInPlaceAndNeverReplaced) {
  QTemporaryDir dir;
  const QString full = FullDevice(dir);
  if (full.isEmpty()) GTEST_SKIP() << "no device node can be made here";
  EXPECT_EQ(WriteWholeFile(full, "backup"), QStringLiteral("No space left on device"));
  EXPECT_TRUE(IsCharDevice(full));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList{"full"});
}

TEST(WriteWholeFileTest, ReplacementKeepsModeAndSymbolicLink) {
  QTemporaryDir dir;
  const QString target = dir.filePath(QStringLiteral("target.json"));
  const QString link = dir.filePath(QStringLiteral("link.json"));
  ASSERT_EQ(WriteWholeFile(target, "old"), QString());
  ASSERT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
  ASSERT_TRUE(QFile::link(target, link));
  EXPECT_EQ(WriteWholeFile(link, "new"), QString());
  EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
  EXPECT_EQ(Contents(target), QByteArray("new"));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(WriteWholeFile(dir.path(), "x"), QStringLiteral("Is a directory"));
}

TEST(TraceTest, AFailedWriteEndsTheTraceAndIsHeardOnce) {
  QTemporaryDir dir;
  const QString full = FullDevice(dir);
  if (full.isEmpty()) GTEST_SKIP() << "no device node can be made here";
  Trace trace;
  ASSERT_TRUE(trace.Open(full));
  QStringList heard;
  trace.OnFailure([&](const QString& message) { heard << message; });
  trace.Record(QStringLiteral("tcp"), Trace::Direction::Sent, "QQQ#QX#");
  trace.Record(QStringLiteral("tcp"), Trace::Direction::Received, "QX#");
  EXPECT_TRUE(trace.Failed());
  EXPECT_EQ(
      heard,
      QStringList{QStringLiteral("cannot write the trace %1: No space left on device").arg(full)});
  EXPECT_TRUE(IsCharDevice(full));
}

}  // namespace
}  // namespace kv770::link
