#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kv770::cli {

// The gateway's configuration as its two reports show it, in the units a
// person thinks in (bit/s, preamble counts, data lengths in bytes). Every
// value here is one the gateway's set commands can carry.

inline constexpr int kMeters = 8;

struct SystemSettings {
  int baudRate = 9600;       // bit/s, one of gateway::kRs485BaudRates
  int parity = 0;            // 0 none, 1 odd, 2 even
  int workingMode = 0;       // 0 transparent, 1 MODBUS RTU
  int slaveAddress = 1;      // 0..999 as the command carries it
  int pollingInterval = 50;  // units of 10 ms, 0..999
  bool operator==(const SystemSettings&) const = default;
};

struct VariableParsing {
  int command = 0;  // 0 not parsed, 1 or 2: which read-meter reply holds it
  int start = 0;    // byte offset in that reply, 0..99
  int length = 4;   // 4 or 8 bytes
  bool operator==(const VariableParsing&) const = default;
};

struct ReadCommand {
  bool enabled = false;
  std::vector<std::uint8_t> bytes;  // at most 14; none until one is written
  bool operator==(const ReadCommand&) const = default;
};

// How a custom meter (instrument type 0) is read and its replies parsed.
struct CustomParsing {
  int addressBits = 8;  // 3..9
  std::array<VariableParsing, 4> variables{};
  std::array<ReadCommand, 2> readCommands{};
  bool operator==(const CustomParsing&) const = default;
};

struct MeterSettings {
  bool enabled = false;
  int deviceMode = 0;       // 0 secondary master, 1 master
  int instrumentType = 0;   // 0 custom meter .. 13
  int preambles = 5;        // 4..9
  int bufferClearTime = 0;  // seconds, 0..999
  // The current and variables 1 to 4: 0..3 (the current 0..1), see
  // tools/register_values.h.
  std::array<int, 5> byteOrders{};
  // As the gateway reports them: five characters each ("1.000").
  std::array<QString, 4> coefficients{"1.000", "1.000", "1.000", "1.000"};
  // Reported only for a custom meter.
  std::optional<CustomParsing> custom;
  bool operator==(const MeterSettings&) const = default;
};

struct GatewayConfig {
  SystemSettings system;
  std::array<MeterSettings, kMeters> meters{};
  bool operator==(const GatewayConfig&) const = default;
};

// ---- from the gateway's reports -------------------------------------------------
// A report that lacks a setting, or holds one that no command could have
// written, throws Failure(kDeviceFailed) naming it.

SystemSettings SystemFromReport(std::string_view reply);
// `meter` 1..8, for the messages.
MeterSettings MeterFromReport(int meter, std::string_view reply);

// ---- the backup file ------------------------------------------------------------------

inline constexpr int kBackupVersion = 1;
inline constexpr const char* kBackupFormat = "kv770-backup";

QJsonObject ToJson(const SystemSettings& system);
QJsonObject ToJson(int meter, const MeterSettings& settings);
QJsonObject BackupToJson(const GatewayConfig& config, const QString& source,
                         const QDateTime& created);

// A file that is no backup, of another version, with a key it does not know
// or gives twice, a number in quotes or with a fraction, or a value out of
// range throws Failure(kBadUsage) naming the field.
GatewayConfig BackupFromJson(const QByteArray& fileContents);

// ---- writing ------------------------------------------------------------------------------

// One command for the gateway, with what it sets.
struct Request {
  QString what;  // "meter 3 byte orders"
  QByteArray bytes;
};

// Which commands of a meter or of the system settings to send.
enum MeterGroup : unsigned {
  kPollingSetup = 1,
  kByteOrders = 2,
  kCoefficients = 4,
  kParsingFormat = 8,
  kReadCommand1 = 16,
  kReadCommand2 = 32,
  kAllMeterGroups = 63,
};
enum SystemGroup : unsigned {
  kWorkingMode = 1,
  kSlaveAddress = 2,
  kPollingInterval = 4,
  kRs485 = 8,
  kAllSystemGroups = 15,
};

// The custom groups are sent only when `settings` has custom parsing, and
// a read-meter command only when it has bytes (the gateway takes 1 to 14).
std::vector<Request> MeterCommands(int meter, const MeterSettings& settings,
                                   unsigned groups = kAllMeterGroups);
// The RS-485 settings go last: they may change the line this very link
// runs on.
std::vector<Request> SystemCommands(const SystemSettings& settings,
                                    unsigned groups = kAllSystemGroups);
// Every meter, then the system settings.
std::vector<Request> RestoreCommands(const GatewayConfig& config);

// ---- comparing ------------------------------------------------------------------------------

// One line per setting that differs: "meter 3 preambles: 6 wanted, the
// gateway has 5". Custom parsing is compared where `wanted` has it.
QStringList Differences(const SystemSettings& wanted, const SystemSettings& actual);
QStringList Differences(int meter, const MeterSettings& wanted, const MeterSettings& actual);
QStringList Differences(const GatewayConfig& wanted, const GatewayConfig& actual);

// A read-meter command as typed in the window: "01 03 00".
QString HexText(const std::vector<std::uint8_t>& bytes);

}  // namespace kv770::cli
