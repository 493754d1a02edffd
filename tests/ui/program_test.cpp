// SPDX-License-Identifier: GPL-3.0-or-later
// kv770-config as a user starts it: what a mistyped command line and a
// screenshot that cannot be written give back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/child_process.h"

namespace kv770::ui {
namespace {

test::ChildRun Config(const QStringList& arguments) {
  return test::RunChild(test::BuiltProgram(QStringLiteral("kv770-config")), arguments, {},
                        {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
}

TEST(ProgramUsage, EveryUsageErrorExitsTwoWithoutAWindow) {
  for (const QStringList& arguments :
       {QStringList{"--bogus"}, QStringList{"stray"}, QStringList{"--tab", "x"},
        QStringList{"--tab", "9"}, QStringList{"--screenshot", "/tmp/window.bmpx"},
        QStringList{"--lang", "fr"}}) {
    const test::ChildRun run = Config(arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains("(see kv770-config --help)")) << run.err.toStdString();
  }
}

TEST(ProgramUsage, ScreenshotThatCannotBeWrittenSaysWhyAndExitsOne) {
  QTemporaryDir dir;
  const QString full = dir.filePath(QStringLiteral("full.png"));
  if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
    GTEST_SKIP() << "no device node can be made here";
  const test::ChildRun run = Config({"--screenshot", full});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.contains(
      QStringLiteral("cannot write the screenshot %1: No space left on device").arg(full)))
      << run.err.toStdString();
  struct stat st {};
  EXPECT_TRUE(::lstat(QFile::encodeName(full).constData(), &st) == 0 && S_ISCHR(st.st_mode));
}

}  // namespace
}  // namespace kv770::ui
