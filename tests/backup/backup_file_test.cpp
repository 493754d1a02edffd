// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "backup/backup_file.h"
#include "gateway/sample_config.h"

namespace kv770::backup {
namespace {

using gateway::testing::Sample;

QByteArray File(const QJsonObject& o) {
  return QJsonDocument(o).toJson();
}

QJsonObject SampleJson() {
  return BackupToJson(Sample(), QStringLiteral("tcp test"), QDateTime::currentDateTime());
}

// Whether `f` refused the file, and the message it gave.
template <typename F>
std::pair<bool, QString> Refusal(F f) {
  try {
    f();
  } catch (const BadFile& bad) {
    return {true, bad.message};
  }
  return {false, QStringLiteral("no failure")};
}

TEST(Backup, FileRoundTripKeepsEverySetting) {
  EXPECT_EQ(BackupFromJson(File(SampleJson())), Sample());
}

TEST(Backup, RefusesOtherFilesAndVersions) {
  EXPECT_EQ(Refusal([] { BackupFromJson("{ not json"); }).first, true);
  EXPECT_TRUE(Refusal([] {
                BackupFromJson(R"({"format":"other","version":1})");
              }).second.contains(QStringLiteral("not a backup")));
  QJsonObject newer = SampleJson();
  newer[QStringLiteral("version")] = 2;
  EXPECT_EQ(Refusal([&] { BackupFromJson(File(newer)); }).second,
            QStringLiteral("backup format version 2; this program reads version 1"));
}

// Each bad value is refused with the window's words and the field's path.
TEST(Backup, RefusalsNameTheField) {
  struct Case {
    const char* path;  // meter index or "system"
    const char* key;
    QJsonValue value;
    const char* message;
  } cases[] = {
      {"system", "slaveAddress", 1000, "system.slaveAddress: '1000' is out of range (0 to 999)"},
      {"system", "pollingInterval", "abc",
       "system.pollingInterval: \"abc\" is a text, not a number"},
      {"system", "baudRate", 1234,
       "system.baudRate: '1234' is not a baud rate of the gateway (1200, 2400, 4800, 9600, "
       "19200, 38400, 57600)"},
      {"system", "parity", "mark", "system.parity: 'mark' is not one of none, odd, even"},
      {"0", "preambles", 12, "meters[0].preambles: '12' is out of range (4 to 9)"},
      {"0", "instrumentType", 4.5, "meters[0].instrumentType: '4.5' is not a valid integer value"},
      {"0", "enabled", 1, "meters[0].enabled: not true or false"},
      {"0", "custom", QJsonValue::Undefined,
       "meters[0].custom: missing: instrument type 0 (custom meter) carries its custom parsing"},
  };
  for (const Case& c : cases) {
    QJsonObject backup = SampleJson();
    if (QLatin1String(c.path) == QLatin1String("system")) {
      QJsonObject system = backup[QStringLiteral("system")].toObject();
      system[QLatin1String(c.key)] = c.value;
      backup[QStringLiteral("system")] = system;
    } else {
      QJsonArray meters = backup[QStringLiteral("meters")].toArray();
      QJsonObject meter = meters[0].toObject();
      meter[QLatin1String(c.key)] = c.value;
      meters[0] = meter;
      backup[QStringLiteral("meters")] = meters;
    }
    const auto [refused, message] = Refusal([&] { BackupFromJson(File(backup)); });
    EXPECT_TRUE(refused) << c.key;
    EXPECT_EQ(message, QLatin1String(c.message));
  }
}

// A hand-edited backup: `from` in the file as written becomes `to`.
struct Edit {
  const char* from;
  const char* to;
  const char* message;
};
void PrintTo(const Edit& edit, std::ostream* out) {
  *out << edit.to;
}

class EditedBackup : public testing::TestWithParam<Edit> {};

// Nothing in the file is passed over or read loosely: a misspelt key would
// leave that setting as the gateway has it, and the read-back would agree.
TEST_P(EditedBackup, IsRefusedNamingThePlace) {
  QByteArray file = File(SampleJson());
  const qsizetype at = file.indexOf(GetParam().from);
  ASSERT_GE(at, 0) << GetParam().from;
  file.replace(at, qstrlen(GetParam().from), GetParam().to);
  const auto [refused, message] = Refusal([&] { BackupFromJson(file); });
  EXPECT_TRUE(refused);
  EXPECT_EQ(message.toStdString(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Backup, EditedBackup,
    testing::Values(
        Edit{"\"format\"", "\"comment\": \"plant A\", \"format\"",
             "top level: unknown key \"comment\" (known: format, version, created, source, "
             "system, meters)"},
        Edit{"\"slaveAddress\"", "\"slaveAdress\": 1, \"slaveAddress\"",
             "system: unknown key \"slaveAdress\" (known: baudRate, parity, workingMode, "
             "slaveAddress, pollingInterval)"},
        Edit{"\"custom\"", "\"costum\"",
             "meters[0]: unknown key \"costum\" (known: meter, enabled, deviceMode, "
             "instrumentType, preambles, bufferClearTime, byteOrders, coefficients, custom)"},
        Edit{"\"addressBits\"", "\"adressBits\": 7, \"addressBits\"",
             "meters[0].custom: unknown key \"adressBits\" (known: addressBits, variables, "
             "readCommands)"},
        Edit{"\"length\": 8", "\"length\": 8, \"lenght\": 8",
             "meters[0].custom.variables[0]: unknown key \"lenght\" (known: command, start, "
             "length)"},
        Edit{"\"slaveAddress\": 17", "\"slaveAddress\": \" +17\"",
             "system.slaveAddress: \" +17\" is a text, not a number"},
        Edit{"\"preambles\": 6", "\"preambles\": 6, \"preambles\": 5",
             "meters[0].preambles: duplicated key"},
        Edit{"\"slaveAddress\": 17", "\"slaveAddress\": 17.0",
             "system.slaveAddress: '17.0' is not a valid integer value"},
        Edit{"\"slaveAddress\": 17", "\"slaveAddress\": 99999999999999999999",
             "system.slaveAddress: '99999999999999999999' is out of range (0 to 999)"},
        Edit{"\"slaveAddress\": 17", "\"slaveAddress\": -1e400",
             "system.slaveAddress: '-1e400' is too large a number"}));

TEST(Backup, ReadCommandsAndCoefficientsAreCheckedLikeTheWindow) {
  QJsonObject backup = SampleJson();
  QJsonArray meters = backup[QStringLiteral("meters")].toArray();
  QJsonObject meter = meters[0].toObject();
  QJsonObject custom = meter[QStringLiteral("custom")].toObject();
  QJsonArray commands = custom[QStringLiteral("readCommands")].toArray();
  commands[0] = QJsonObject{{"enabled", true}, {"bytes", "01 0g"}};
  custom[QStringLiteral("readCommands")] = commands;
  meter[QStringLiteral("custom")] = custom;
  meters[0] = meter;
  backup[QStringLiteral("meters")] = meters;
  EXPECT_EQ(Refusal([&] { BackupFromJson(File(backup)); }).second,
            QStringLiteral("meters[0].custom.readCommands[0].bytes: Data eeore!"));

  meter = SampleJson()[QStringLiteral("meters")].toArray()[0].toObject();
  meter[QStringLiteral("coefficients")] = QJsonArray{"1.000", "12.345", "1", "1"};
  meters[0] = meter;
  backup[QStringLiteral("meters")] = meters;
  EXPECT_TRUE(Refusal([&] {
                BackupFromJson(File(backup));
              }).second.startsWith(QStringLiteral("meters[0].coefficients[1]: '12.345'")));
}

}  // namespace
}  // namespace kv770::cli
