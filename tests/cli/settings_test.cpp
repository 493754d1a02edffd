#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/failure.h"
#include "cli/settings.h"

namespace kv770::cli {
namespace {

// A custom meter with everything set, and the rest as they come.
GatewayConfig Sample() {
  GatewayConfig c;
  c.system = {
      .baudRate = 19200, .parity = 1, .workingMode = 1, .slaveAddress = 17, .pollingInterval = 100};
  MeterSettings& m = c.meters[0];
  m.enabled = true;
  m.deviceMode = 1;
  m.preambles = 6;
  m.bufferClearTime = 30;
  m.byteOrders = {1, 2, 3, 0, 1};
  m.coefficients = {"2.500", "-1.50", "0.001", "9.999"};
  CustomParsing custom;
  custom.addressBits = 7;
  custom.variables[0] = {1, 5, 8};
  custom.readCommands[0] = {true, {0x01, 0x03, 0x00}};
  m.custom = custom;
  c.meters[2].instrumentType = 5;
  // Custom meters are reported with their parsing, as the gateway does.
  for (MeterSettings& meter : c.meters)
    if (meter.instrumentType == 0 && !meter.custom) meter.custom = CustomParsing{};
  return c;
}

QByteArray File(const QJsonObject& o) {
  return QJsonDocument(o).toJson();
}

QJsonObject SampleJson() {
  return BackupToJson(Sample(), QStringLiteral("tcp test"), QDateTime::currentDateTime());
}

// The message of the failure `f` throws, or "no failure".
template <typename F>
std::pair<int, QString> Refusal(F f) {
  try {
    f();
  } catch (const Failure& failure) {
    return {failure.exitCode, failure.message};
  }
  return {kDone, QStringLiteral("no failure")};
}

TEST(Backup, FileRoundTripKeepsEverySetting) {
  EXPECT_EQ(BackupFromJson(File(SampleJson())), Sample());
}

TEST(Backup, RefusesOtherFilesAndVersions) {
  EXPECT_EQ(Refusal([] { BackupFromJson("{ not json"); }).first, kBadUsage);
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
    const auto [code, message] = Refusal([&] { BackupFromJson(File(backup)); });
    EXPECT_EQ(code, kBadUsage) << c.key;
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
  const auto [code, message] = Refusal([&] { BackupFromJson(file); });
  EXPECT_EQ(code, kBadUsage);
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

TEST(Reports, SystemReportBecomesSettings) {
  const SystemSettings s = SystemFromReport("QX#BA1:41,MD:1,ADR:017,JTM:100#");
  EXPECT_EQ(s, (SystemSettings{19200, 1, 1, 17, 100}));
}

TEST(Reports, IncompleteOrOddReportsAreTheGatewaysFault) {
  const auto refusal = [](std::string_view reply) {
    return Refusal([&] { SystemFromReport(reply); });
  };
  EXPECT_EQ(refusal("BA1:30,MD:0,ADR:001,JTM:050").second,
            QStringLiteral("system report: the reply holds no system report (no \"QX\")"));
  EXPECT_EQ(refusal("QX#BA1:30,MD:0,ADR:001#").second,
            QStringLiteral("system report: no polling interval"));
  EXPECT_EQ(refusal("QX#BA1:90,MD:0,ADR:001,JTM:050#").second,
            QStringLiteral("system report: baud rate code 9 is none the window offers (0 to 6)"));
  EXPECT_EQ(refusal("QX#BA1:x0,MD:0,ADR:001,JTM:050#").second,
            QStringLiteral("system report: 'x' is not a valid integer value"));
  EXPECT_EQ(refusal("QX#BA1:30,MD:0,ADR:0-1,JTM:050#").first, kDeviceFailed);
}

TEST(Reports, CustomMeterReportCarriesItsParsing) {
  const MeterSettings m = MeterFromReport(
      1,
      "QQ0#HART0:1,1,00,6,030,DFO0:12301,XISH0:2.500,-1.50,0.001,9.999,ZDY0:7,1051,0000,"
      "0000,0000,MD:1,CAMD01:1,03,01 03 00,CAMD02:0,00,#");
  EXPECT_EQ(m, Sample().meters[0]);
  // Another type: the custom groups are neither read nor required.
  const MeterSettings other =
      MeterFromReport(3, "QQ2#HART2:0,0,05,5,000,DFO2:00000,XISH2:1.000,1.000,1.000,1.000#");
  EXPECT_EQ(other.instrumentType, 5);
  EXPECT_FALSE(other.custom);
  EXPECT_EQ(Refusal([] { MeterFromReport(2, "QQ1#HART1:1,0,00,5,010,DFO1:00000#"); }).second,
            QStringLiteral("MODBUS report of meter 2: no coefficient 1"));
}

TEST(Commands, RestoreWritesMetersThenTheLinkSettingsLast) {
  const std::vector<Request> requests = RestoreCommands(Sample());
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().bytes, QByteArray("QQS#BA1:41#"));
  EXPECT_EQ(requests.front().bytes, QByteArray("QQS#HART0:1,1,00,6,030#"));
  QList<QByteArray> all;
  for (const Request& r : requests) all << r.bytes;
  EXPECT_TRUE(all.contains("QQS#MDBS0:7,1051,0000,0000,0000#"));
  EXPECT_TRUE(all.contains(QByteArray("QQS#CAMD01:1<03,\x01\x03\x00", 19)));
  // An empty read-meter command cannot be written; a non-custom meter has
  // no parsing commands at all.
  EXPECT_FALSE(all.contains(QByteArray("QQS#CAMD02", 10)));
  for (const QByteArray& r : all) EXPECT_FALSE(r.startsWith("QQS#MDBS2")) << r.constData();
  // 3 per meter, the parsing format of the 7 custom meters, meter 1's read
  // command, 4 system.
  EXPECT_EQ(requests.size(), 8u * 3 + 7 + 1 + 4);
}

TEST(Differences, NameEachSettingAndReadCoefficientsAsNumbers) {
  GatewayConfig wanted = Sample();
  GatewayConfig actual = Sample();
  EXPECT_TRUE(Differences(wanted, actual).isEmpty());
  wanted.meters[0].coefficients[0] = "2.5";  // the gateway echoes "2.500"
  EXPECT_TRUE(Differences(wanted, actual).isEmpty());
  actual.meters[0].custom->readCommands[0].bytes = {0x02};
  actual.system.slaveAddress = 1;
  EXPECT_EQ(
      Differences(wanted, actual),
      (QStringList{"slave address: 17 wanted, the gateway has 1",
                   "meter 1 read-meter command 1 bytes: 01 03 00 wanted, the gateway has 02"}));
  actual.meters[0].custom.reset();
  EXPECT_TRUE(
      Differences(1, wanted.meters[0], actual.meters[0])
          .contains("meter 1 custom parsing: present wanted, the gateway has none reported"));
}

}  // namespace
}  // namespace kv770::cli
