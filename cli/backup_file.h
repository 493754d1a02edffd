// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line works on the gateway's configuration model; the backup
// file (backup/) is its own format of it.
#include "backup/backup_file.h"
#include "gateway/config.h"

namespace kv770::cli {

using backup::BackupFromJson;
using backup::BackupToJson;
using backup::kBackupFormat;
using backup::ToJson;
using gateway::CustomParsing;
using gateway::GatewayConfig;
using gateway::kMeters;
using gateway::MeterSettings;
using gateway::ReadCommand;
using gateway::SystemSettings;
using gateway::VariableParsing;

}  // namespace kv770::cli
