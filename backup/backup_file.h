// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "backup/json_reader.h"
#include "gateway/config.h"

namespace kv770::backup {

// The backup file: the gateway's configuration model as a JSON file, which
// kv770ctl and the window write and read alike.
using gateway::CustomParsing;
using gateway::GatewayConfig;
using gateway::kMeters;
using gateway::MeterSettings;
using gateway::ReadCommand;
using gateway::SystemSettings;
using gateway::VariableParsing;

inline constexpr int kBackupVersion = 1;
inline constexpr const char* kBackupFormat = "kv770-backup";

QJsonObject ToJson(const SystemSettings& system);
QJsonObject ToJson(int meter, const MeterSettings& settings);
QJsonObject BackupToJson(const GatewayConfig& config, const QString& source,
                         const QDateTime& created);

// A file that is no backup, of another version, with a key it does not know
// or gives twice, a number in quotes or with a fraction, or a value out of
// range throws BadFile naming the field.
GatewayConfig BackupFromJson(const QByteArray& fileContents);

}  // namespace kv770::backup
