// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs one of the built programs as a child process, the way a user or a
// script does, and reports its exit code, what it printed and its own peak
// memory (from wait4, so other children do not count).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <vector>

extern char** environ;

namespace kv770::test {

struct ChildRun {
  int exitCode = -1;  // -1: did not start or ended by a signal
  int signal = 0;     // the signal that ended it, 0 for none
  long peakRssKib = 0;
  QString out;
  QString err;
};

// Under AddressSanitizer freed memory is held back (256 MiB by default)
// before reuse; a child whose peak memory is measured gets a small
// quarantine, so that what counts is what the program itself holds.
inline QString SmallQuarantine() {
  QByteArray options = qgetenv("ASAN_OPTIONS");
  if (!options.isEmpty()) options += ':';
  return QStringLiteral("ASAN_OPTIONS=") + QString::fromLocal8Bit(options) +
         QStringLiteral("quarantine_size_mb=16");
}

// A program of the build, beside the test programs in build/bin.
inline QString BuiltProgram(const QString& name) {
  return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

// `input` is its standard input; `extraEnvironment` entries ("NAME=value")
// come on top of this process's environment; `meanwhile` runs while the
// child does (to signal it, say). `stdoutFd`, when given, is its standard
// output (a pipe, a device) instead of a file read back into out.
inline ChildRun RunChild(const QString& program, const QStringList& arguments,
                         const QByteArray& input = {}, const QStringList& extraEnvironment = {},
                         const std::function<void(pid_t)>& meanwhile = {}, int stdoutFd = -1) {
  ChildRun run;
  QTemporaryDir dir;
  const QByteArray in = QFile::encodeName(dir.filePath(QStringLiteral("in")));
  const QByteArray out = QFile::encodeName(dir.filePath(QStringLiteral("out")));
  const QByteArray err = QFile::encodeName(dir.filePath(QStringLiteral("err")));
  QFile inFile(QFile::decodeName(in));
  if (!inFile.open(QIODevice::WriteOnly) || inFile.write(input) != input.size()) return run;
  inFile.close();

  std::vector<QByteArray> argStore{QFile::encodeName(program)};
  for (const QString& a : arguments) argStore.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The extra entries replace inherited ones of the same name.
  std::vector<QByteArray> envStore;
  for (const QString& e : extraEnvironment) envStore.push_back(e.toLocal8Bit());
  for (char** e = environ; *e; ++e) {
    const QByteArray entry(*e);
    const QByteArray name = entry.left(entry.indexOf('=') + 1);
    bool replaced = false;
    for (const QString& extra : extraEnvironment) replaced |= extra.toLocal8Bit().startsWith(name);
    if (!replaced) envStore.push_back(entry);
  }
  std::vector<char*> envp;
  for (QByteArray& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.constData(), O_RDONLY, 0);
  if (stdoutFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT, 0600);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  if (meanwhile) meanwhile(pid);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.peakRssKib = usage.ru_maxrss;
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  QFile o(QFile::decodeName(out));
  QFile e(QFile::decodeName(err));
  if (o.open(QIODevice::ReadOnly)) run.out = QString::fromUtf8(o.readAll());
  if (e.open(QIODevice::ReadOnly)) run.err = QString::fromUtf8(e.readAll());
  return run;
}

}  // namespace kv770::test
