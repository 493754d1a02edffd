// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/hex_bytes.h"

namespace kv770::gateway {

// The gateway's configuration as its two reports show it, in the units a
// person thinks in (bit/s, preamble counts, data lengths in bytes). Every
// value here is one the gateway's set commands can carry. Texts that reach
// a person (coefficients, messages, differences) are UTF-8; a report's own
// characters are Latin-1 and are converted on the way in.

inline constexpr int kMeters = 8;

// A setting with nothing chosen: the window can leave a list empty and
// send its command all the same. It goes out as the gateway tool has
// always sent it: '/' (the character before '0') in a digit that carries a
// code, '3' for the preamble count and '2' for the address bits. A report
// or a backup never holds it.
inline constexpr int kUnset = -1;

// ---- what each setting may be -------------------------------------------------

// Names by code, as the backup file and the command line spell them.
inline constexpr std::array<std::string_view, 3> kParityNames{"none", "odd", "even"};
inline constexpr std::array<std::string_view, 2> kWorkingModeNames{"transparent", "modbus"};
inline constexpr std::array<std::string_view, 2> kDeviceModeNames{"secondary", "master"};

inline constexpr int kInstrumentTypes = 14;  // 0 custom meter .. 13
inline constexpr int kMinPreambles = 4;
inline constexpr int kMaxPreambles = 9;
inline constexpr int kMinAddressBits = 3;
inline constexpr int kMaxAddressBits = 9;
inline constexpr int kMaxReadCommandBytes = kReadMeterCommandLimit;

// The name of `code` in `names`, empty for a code beyond the list.
std::string_view NameOf(std::span<const std::string_view> names, int code);
// The code of `name` in `names`, -1 when it is none of them.
int CodeOf(std::span<const std::string_view> names, std::string_view name);
// "none, odd, even".
std::string NameList(std::span<const std::string_view> names);

// The baud code of a bit rate (see kRs485BaudRates), -1 for none.
int BaudCode(int baudRate);
// "1200, 2400, ..., 57600".
std::string BaudRateList();

// ---- the settings -------------------------------------------------------------

struct SystemSettings {
  int baudRate = 9600;       // bit/s, one of kRs485BaudRates (or kUnset)
  int parity = 0;            // 0 none, 1 odd, 2 even
  int workingMode = 0;       // 0 transparent, 1 MODBUS RTU
  int slaveAddress = 1;      // 0..999 as the command carries it
  int pollingInterval = 50;  // units of 10 ms, 0..999
  bool operator==(const SystemSettings&) const = default;
};

struct VariableParsing {
  int command = 0;  // 0 not parsed, 1 or 2: which read-meter reply holds it
  int start = 0;    // byte offset in that reply, 0..99
  int length = 4;   // 4 or 8 bytes (or kUnset)
  bool operator==(const VariableParsing&) const = default;
};

struct ReadCommand {
  int enabled = 0;  // 1 open, 0 close (or kUnset)
  std::vector<std::uint8_t> bytes;  // at most 14; none until one is written
  bool operator==(const ReadCommand&) const = default;
};

// How a custom meter (instrument type 0) is read and its replies parsed.
struct CustomParsing {
  int addressBits = 8;  // 3..9 (or kUnset)
  std::array<VariableParsing, 4> variables{};
  std::array<ReadCommand, 2> readCommands{};
  bool operator==(const CustomParsing&) const = default;
};

// The codes of a list (parity, modes, instrument type, byte orders, the
// variables' read command) may be kUnset too.
struct MeterSettings {
  int enabled = 0;  // 1 open, 0 close (or kUnset)
  int deviceMode = 0;       // 0 secondary master, 1 master
  int instrumentType = 0;   // 0 custom meter .. 13
  int preambles = 5;        // 4..9 (or kUnset)
  int bufferClearTime = 0;  // seconds, 0..999
  // The current and variables 1 to 4: 0..3 (the current 0..1), see
  // tools/register_values.h.
  std::array<int, 5> byteOrders{};
  // As the gateway reports them: five characters each ("1.000").
  std::array<std::string, 4> coefficients{"1.000", "1.000", "1.000", "1.000"};
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
// written; what() names the report and the setting.
class ReportError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

SystemSettings SystemFromReport(std::string_view reply);
// `meter` 1..8, for the messages.
MeterSettings MeterFromReport(int meter, std::string_view reply);

// ---- writing ------------------------------------------------------------------------------

// One command for the gateway, with what it sets.
struct Request {
  std::string what;  // "meter 3 byte orders"
  std::string bytes;
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
using Lines = std::vector<std::string>;
Lines Differences(const SystemSettings& wanted, const SystemSettings& actual);
Lines Differences(int meter, const MeterSettings& wanted, const MeterSettings& actual);
Lines Differences(const GatewayConfig& wanted, const GatewayConfig& actual);

// The window's coefficient boxes take digits, '.' and '-', five at most.
bool IsCoefficientText(std::string_view text);

}  // namespace kv770::gateway
