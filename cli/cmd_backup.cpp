// SPDX-License-Identifier: GPL-3.0-or-later
// backup FILE and restore FILE: the whole configuration in a file.
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "link/file_output.h"

namespace kv770::cli {

GatewayConfig ReadConfig(Session& s) {
  GatewayConfig config;
  config.system = s.ReadSystem();
  for (int meter = 1; meter <= kMeters; ++meter)
    config.meters[static_cast<std::size_t>(meter - 1)] = s.ReadMeter(meter);
  return config;
}

namespace {

int Backup(Session& s, const QString& path) {
  const bool toStdout = path == QLatin1String("-");
  s.fileOnStdout = toStdout;
  Check(s);
  const GatewayConfig config = ReadConfig(s);
  const QJsonObject backup = BackupToJson(config, s.link->Describe(), QDateTime::currentDateTime());
  if (toStdout) {
    s.Print(backup);  // main() reports a standard output that could not take it
    return kDone;
  }
  // Replaced only by a whole backup: a full disk leaves the old one.
  const QString failed =
      link::WriteWholeFile(path, QJsonDocument(backup).toJson(QJsonDocument::Indented));
  if (!failed.isEmpty())
    throw Failure{kDeviceFailed, QStringLiteral("cannot write %1: %2").arg(path, failed)};
  int custom = 0;
  for (const MeterSettings& m : config.meters) custom += m.custom ? 1 : 0;
  s.Say(QStringLiteral("backup of %1 written to %2: system settings and %3 meters (%4 custom)")
            .arg(s.link->Describe(), path)
            .arg(kMeters)
            .arg(custom));
  s.Result({{QStringLiteral("file"), path}, {QStringLiteral("backup"), backup}});
  return kDone;
}

// A backup file, or standard input for "-" (as read already by --fleet,
// when it has); refused beyond any backup's size rather than read without
// end.
QByteArray ReadBackupFile(const QString& path, const QByteArray* standardInput) {
  constexpr qint64 kMaxBackupBytes = 1024 * 1024;
  if (path == QLatin1String("-") && standardInput && standardInput->size() > kMaxBackupBytes)
    RefuseFile(
        QStringLiteral("-: more than %1 bytes; no backup is that long").arg(kMaxBackupBytes));
  if (path == QLatin1String("-") && standardInput) return *standardInput;
  QFile file;
  const bool opened = path == QLatin1String("-")
                          ? file.open(stdin, QIODevice::ReadOnly)
                          : (file.setFileName(path), file.open(QIODevice::ReadOnly));
  if (!opened) RefuseFile(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
  QByteArray contents = file.read(kMaxBackupBytes + 1);
  if (contents.size() > kMaxBackupBytes)
    RefuseFile(QStringLiteral("%1: more than %2 bytes; no backup is that long")
                   .arg(path)
                   .arg(kMaxBackupBytes));
  if (file.error() != QFileDevice::NoError)
    RefuseFile(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
  return contents;
}

}  // namespace

GatewayConfig LoadBackup(const QString& path, const QByteArray* standardInput) {
  const QByteArray contents = ReadBackupFile(path, standardInput);
  try {
    return BackupFromJson(contents);
  } catch (const backup::BadFile& bad) {
    throw Failure{kBadUsage, QStringLiteral("%1: %2").arg(path, bad.message)};
  }
}

namespace {

int Restore(Session& s, const QString& path) {
  GatewayConfig config = LoadBackup(path, s.standardInput);
  const std::vector<Request> requests = Requests(gateway::RestoreCommands(config));
  if (s.dryRun) {
    s.ShowDryRun(requests);
    return kDone;
  }
  // A read-meter command of no bytes cannot be written: the gateway takes
  // 1 to 14. Whatever the gateway holds there stays, and shows below if it
  // differs.
  QStringList empty;
  for (int meter = 1; meter <= kMeters; ++meter) {
    const auto& custom = config.meters[static_cast<std::size_t>(meter - 1)].custom;
    if (!custom) continue;
    for (int k = 1; k <= 2; ++k)
      if (custom->readCommands[static_cast<std::size_t>(k - 1)].bytes.empty())
        empty << QStringLiteral("%1.%2").arg(meter).arg(k);
  }
  if (!empty.isEmpty())
    s.Say(QStringLiteral("read-meter commands without bytes, left as they are (meter.command): %1")
              .arg(empty.join(QLatin1Char(' '))));
  const QJsonArray sent = s.Send(requests, &config.system);
  const GatewayConfig actual = ReadConfig(s);
  s.Say(QStringLiteral("%1 commands sent; reading back").arg(requests.size()));
  s.Verify(Lines(gateway::Differences(config, actual)),
           {{QStringLiteral("file"), path}, {QStringLiteral("sent"), sent}});
  return kDone;
}

}  // namespace

int RunBackup(Session& s, const CommandLine& line) {
  Expect(line.words, 1, QStringLiteral("backup FILE"));
  return Backup(s, line.words[0]);
}

int RunRestore(Session& s, const CommandLine& line) {
  Expect(line.words, 1, QStringLiteral("restore FILE [--dry-run]"));
  return Restore(s, line.words[0]);
}

}  // namespace kv770::cli
