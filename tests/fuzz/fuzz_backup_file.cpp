// SPDX-License-Identifier: GPL-3.0-or-later
// The backup reader on any file: it either refuses it with a message naming
// why, or gives settings that every restore command can carry and that a
// backup of them reads back unchanged.
#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>
#include <cstddef>
#include <cstdint>

#include "backup/backup_file.h"
#include "fuzz_check.h"
#include "gateway/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kv770::backup;
  const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  GatewayConfig config;
  try {
    config = BackupFromJson(file);
  } catch (const BadFile& bad) {
    FUZZ_CHECK(!bad.message.isEmpty());
    return 0;
  }
  FUZZ_CHECK(!kv770::gateway::RestoreCommands(config).empty());
  const QJsonDocument again(BackupToJson(config, QStringLiteral("fuzz"), QDateTime()));
  FUZZ_CHECK(BackupFromJson(again.toJson()) == config);
  return 0;
}
