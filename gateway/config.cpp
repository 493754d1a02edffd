// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/config.h"

#include <algorithm>
#include <charconv>

#include "base/hex_text.h"
#include "gateway/commands.h"
#include "gateway/fields.h"
#include "gateway/hex_bytes.h"
#include "gateway/reports.h"

namespace kv770::gateway {

namespace {

// A report's characters are Latin-1: each byte is its own code point.
std::string FromLatin1(std::string_view text) {
  std::string utf8;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      utf8 += ch;
    } else {
      utf8 += static_cast<char>(0xC0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

// What goes on the wire: a code point beyond Latin-1 becomes '?'.
std::string ToLatin1(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (length == 2 && c <= 0xC3 && i + 1 < utf8.size())
      out += static_cast<char>((c & 0x03) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
    else
      out += length == 1 ? utf8[i] : '?';
    i += length;
  }
  return out;
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// Every setting a report must carry, checked the way a person would name it.
class ReportCheck {
 public:
  explicit ReportCheck(std::string report) : report_(std::move(report)) {}

  [[noreturn]] void Fail(const std::string& why) const { throw ReportError(report_ + ": " + why); }

  int Code(const std::optional<int>& code, const std::string& what, int lo, int hi) const {
    if (!code) Fail("no " + what);
    if (*code < lo || *code > hi)
      Fail(what + " code " + std::to_string(*code) + " is none the window offers (" +
           std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return *code;
  }

  // A number the report carries as text; converted as the window would
  // convert it when sending it back.
  int Number(const std::optional<std::string>& text, const std::string& what, int lo,
             int hi) const {
    if (!text) Fail("no " + what);
    const std::optional<int> value = ToInteger(*text);
    if (!value) Fail(what + " " + Quoted(FromLatin1(*text)) + " is not a valid integer value");
    if (*value < lo || *value > hi)
      Fail(what + " " + Quoted(FromLatin1(*text)) + " is out of range (" + std::to_string(lo) +
           " to " + std::to_string(hi) + ")");
    return *value;
  }

  void NoBadNumber(const std::optional<std::string>& bad) const {
    if (bad) Fail(Quoted(FromLatin1(*bad)) + " is not a valid integer value");
  }

 private:
  std::string report_;
};

std::string ByteOrderName(std::size_t i) {
  return i == 0 ? "byte order of the current" : "byte order of variable " + std::to_string(i);
}

void ReadCustom(const ReportCheck& check, const ModbusReport& r, CustomParsing& c) {
  c.addressBits = kMinAddressBits + check.Code(r.addressBitsPosition, "address bits", 0,
                                               kMaxAddressBits - kMinAddressBits);
  for (std::size_t i = 0; i < c.variables.size(); ++i) {
    const auto& v = r.variables[i];
    const std::string name = "variable " + std::to_string(i + 1);
    c.variables[i].command = check.Code(v.command, name + " command", 0, 2);
    c.variables[i].start = check.Number(v.start, name + " start", 0, kTwoDigitMax);
    c.variables[i].length = check.Code(v.length, name + " length", 0, 1) ? 8 : 4;
  }
  for (std::size_t i = 0; i < c.readCommands.size(); ++i) {
    const auto& command = r.readCommands[i];
    const std::string name = "read-meter command " + std::to_string(i + 1);
    c.readCommands[i].enabled = check.Code(command.enable, name, 0, 1) == 1;
    if (!command.text) check.Fail("no " + name);
    if (command.text->empty()) continue;
    const HexBytes bytes = ParseHexBytes(*command.text, kMaxReadCommandBytes);
    if (!bytes.ok())
      check.Fail(name + " " + Quoted(FromLatin1(*command.text)) + ": " + bytes.error);
    c.readCommands[i].bytes = bytes.bytes;
  }
}

// ---- comparing ------------------------------------------------------------------------

class Comparison {
 public:
  explicit Comparison(Lines& lines) : lines_(lines) {}
  template <typename T>
  void Field(const std::string& what, const T& wanted, const T& actual) {
    if (!(wanted == actual)) Add(what, Shown(wanted), Shown(actual));
  }
  void Add(const std::string& what, const std::string& wanted, const std::string& actual) {
    lines_.push_back(what + ": " + wanted + " wanted, the gateway has " + actual);
  }

 private:
  static std::string Shown(int v) { return std::to_string(v); }
  static std::string Shown(bool v) { return v ? "yes" : "no"; }
  static std::string Shown(std::string_view v) { return v.empty() ? "(none)" : std::string(v); }
  Lines& lines_;
};

// Blanks around a number are no part of it; in Latin-1 the next line
// (U+0085) and the no-break space (U+00A0) are blanks too.
std::size_t BlankAtFront(std::string_view t) {
  if (t.empty()) return 0;
  if (t[0] == ' ' || (t[0] >= '\t' && t[0] <= '\r')) return 1;
  return t.starts_with("\xC2\x85") || t.starts_with("\xC2\xA0") ? 2 : 0;
}

std::size_t BlankAtBack(std::string_view t) {
  if (t.empty()) return 0;
  if (t.back() == ' ' || (t.back() >= '\t' && t.back() <= '\r')) return 1;
  return t.ends_with("\xC2\x85") || t.ends_with("\xC2\xA0") ? 2 : 0;
}

std::string_view Trimmed(std::string_view t) {
  while (const std::size_t n = BlankAtFront(t)) t.remove_prefix(n);
  while (const std::size_t n = BlankAtBack(t)) t.remove_suffix(n);
  return t;
}

// A coefficient as a decimal number, read as the window reads one: an
// optional sign, digits with a point, an exponent, "inf" and "nan"; empty
// when the text is none.
std::optional<double> CoefficientValue(std::string_view text) {
  text = Trimmed(text);
  const bool signed_ = !text.empty() && (text.front() == '+' || text.front() == '-');
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // The window's conversion takes "nan" only without a sign.
  if (value != value && signed_) return std::nullopt;
  return value;
}

// Coefficients are numbers to the gateway: "2.5" and "2.500" are the same.
bool SameCoefficient(const std::string& a, const std::string& b) {
  const std::optional<double> x = CoefficientValue(a);
  const std::optional<double> y = CoefficientValue(b);
  return x && y ? *x == *y : a == b;
}

void CompareCustom(Comparison& c, const std::string& m, const CustomParsing& w,
                   const CustomParsing& a) {
  c.Field(m + "address bits", w.addressBits, a.addressBits);
  for (std::size_t i = 0; i < w.variables.size(); ++i) {
    const std::string v = m + "variable " + std::to_string(i + 1) + " ";
    c.Field(v + "command", w.variables[i].command, a.variables[i].command);
    c.Field(v + "start", w.variables[i].start, a.variables[i].start);
    c.Field(v + "length", w.variables[i].length, a.variables[i].length);
  }
  for (std::size_t i = 0; i < w.readCommands.size(); ++i) {
    const std::string r = m + "read-meter command " + std::to_string(i + 1) + " ";
    c.Field<bool>(r + "enabled", w.readCommands[i].enabled == 1, a.readCommands[i].enabled == 1);
    c.Field<std::string_view>(r + "bytes", base::HexText(w.readCommands[i].bytes),
                              base::HexText(a.readCommands[i].bytes));
  }
}

}  // namespace

// ---- limits -------------------------------------------------------------------------------

std::string_view NameOf(std::span<const std::string_view> names, int code) {
  return code >= 0 && static_cast<std::size_t>(code) < names.size()
             ? names[static_cast<std::size_t>(code)]
             : std::string_view();
}

int CodeOf(std::span<const std::string_view> names, std::string_view name) {
  const auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

std::string NameList(std::span<const std::string_view> names) {
  std::string list;
  for (std::string_view name : names) list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

int BaudCode(int baudRate) {
  const auto it = std::find(kRs485BaudRates.begin(), kRs485BaudRates.end(), baudRate);
  return it == kRs485BaudRates.end() ? -1 : static_cast<int>(it - kRs485BaudRates.begin());
}

std::string BaudRateList() {
  std::string list;
  for (int rate : kRs485BaudRates) list += (list.empty() ? "" : ", ") + std::to_string(rate);
  return list;
}

bool IsCoefficientText(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-'; });
}

// ---- reports ------------------------------------------------------------------------------

SystemSettings SystemFromReport(std::string_view reply) {
  const ReportCheck check("system report");
  const SystemReport r = DecodeSystemReport(reply);
  if (!r.marker) check.Fail("the reply holds no system report (no \"QX\")");
  check.NoBadNumber(r.badNumber);
  SystemSettings s;
  s.baudRate = kRs485BaudRates[static_cast<std::size_t>(check.Code(r.baud, "baud rate", 0, 6))];
  s.parity = check.Code(r.parity, "parity", 0, 2);
  s.workingMode = check.Code(r.workingMode, "working mode", 0, 1);
  s.slaveAddress = check.Number(r.slaveAddress, "slave address", 0, kThreeDigitMax);
  s.pollingInterval = check.Number(r.pollingInterval, "polling interval", 0, kThreeDigitMax);
  return s;
}

MeterSettings MeterFromReport(int meter, std::string_view reply) {
  const ReportCheck check("MODBUS report of meter " + std::to_string(meter));
  // Nothing shown before: the report alone decides whether it is custom.
  const ModbusReport r = DecodeModbusReport(reply, -1);
  if (!r.marker) check.Fail("the reply holds no MODBUS report (no \"QQ\")");
  check.NoBadNumber(r.badNumber);
  MeterSettings m;
  m.enabled = check.Code(r.enable, "enable", 0, 1) == 1;
  m.deviceMode = check.Code(r.deviceMode, "device mode", 0, 1);
  m.instrumentType = check.Code(r.instrumentType, "instrument type", 0, kInstrumentTypes - 1);
  m.preambles = kMinPreambles +
                check.Code(r.preamblePosition, "preamble count", 0, kMaxPreambles - kMinPreambles);
  m.bufferClearTime = check.Number(r.bufferClearTime, "buffer clear time", 0, kThreeDigitMax);
  for (std::size_t i = 0; i < m.byteOrders.size(); ++i)
    m.byteOrders[i] = check.Code(r.byteOrders[i], ByteOrderName(i), 0, i == 0 ? 1 : 3);
  for (std::size_t i = 0; i < m.coefficients.size(); ++i) {
    if (!r.coefficients[i]) check.Fail("no coefficient " + std::to_string(i + 1));
    m.coefficients[i] = FromLatin1(*r.coefficients[i]);
  }
  if (!r.custom.value_or(false)) return m;
  ReadCustom(check, r, m.custom.emplace());
  return m;
}

// ---- commands -----------------------------------------------------------------------------

std::vector<Request> MeterCommands(int meter, const MeterSettings& m, unsigned groups) {
  const int position = meter - 1;
  const std::string name = "meter " + std::to_string(meter) + " ";
  std::vector<Request> requests;
  if (groups & kPollingSetup) {
    PollingSetup setup;
    setup.enable = m.enabled;
    setup.deviceMode = m.deviceMode;
    setup.instrumentType = m.instrumentType;
    setup.preamblePosition = m.preambles == kUnset ? -1 : m.preambles - kMinPreambles;
    setup.bufferClearTime = m.bufferClearTime;
    requests.push_back({name + "polling set-up", PollingSetupCommand(position, setup)});
  }
  if (groups & kByteOrders)
    requests.push_back({name + "byte orders", ByteOrdersCommand(position, m.byteOrders)});
  if (groups & kCoefficients) {
    std::array<std::string, 4> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = ToLatin1(m.coefficients[i]);
    requests.push_back({name + "coefficients", CoefficientsCommand(position, texts)});
  }
  if (!m.custom) return requests;
  if (groups & kParsingFormat) {
    std::array<ParsingFormatVariable, 4> variables;
    for (std::size_t i = 0; i < variables.size(); ++i) {
      const VariableParsing& v = m.custom->variables[i];
      variables[i] = {v.command, v.start, v.length == kUnset ? -1 : v.length == 8 ? 1 : 0};
    }
    requests.push_back(
        {name + "custom parsing format",
         ParsingFormatCommand(position,
                              m.custom->addressBits == kUnset ? -1
                                                              : m.custom->addressBits - kMinAddressBits,
                              variables)});
  }
  for (int k = 1; k <= 2; ++k) {
    const ReadCommand& c = m.custom->readCommands[static_cast<std::size_t>(k - 1)];
    if (!(groups & (k == 1 ? kReadCommand1 : kReadCommand2)) || c.bytes.empty()) continue;
    requests.push_back({name + "read-meter command " + std::to_string(k),
                        ReadMeterCommand(position, k, c.enabled, c.bytes)});
  }
  return requests;
}

std::vector<Request> SystemCommands(const SystemSettings& s, unsigned groups) {
  std::vector<Request> requests;
  if (groups & kWorkingMode) requests.push_back({"working mode", WorkingMode(s.workingMode)});
  if (groups & kSlaveAddress) requests.push_back({"slave address", SlaveAddress(s.slaveAddress)});
  if (groups & kPollingInterval)
    requests.push_back({"polling interval", PollingInterval(s.pollingInterval)});
  if (groups & kRs485)
    requests.push_back({"RS-485 settings", Rs485Settings(BaudCode(s.baudRate), s.parity)});
  return requests;
}

std::vector<Request> RestoreCommands(const GatewayConfig& config) {
  std::vector<Request> requests;
  for (int meter = 1; meter <= kMeters; ++meter) {
    const auto commands = MeterCommands(meter, config.meters[static_cast<std::size_t>(meter - 1)]);
    requests.insert(requests.end(), commands.begin(), commands.end());
  }
  const auto system = SystemCommands(config.system);
  requests.insert(requests.end(), system.begin(), system.end());
  return requests;
}

// ---- differences -----------------------------------------------------------------------------

Lines Differences(const SystemSettings& wanted, const SystemSettings& actual) {
  Lines lines;
  Comparison c(lines);
  c.Field("baud rate", wanted.baudRate, actual.baudRate);
  c.Field("parity", NameOf(kParityNames, wanted.parity), NameOf(kParityNames, actual.parity));
  c.Field("working mode", NameOf(kWorkingModeNames, wanted.workingMode),
          NameOf(kWorkingModeNames, actual.workingMode));
  c.Field("slave address", wanted.slaveAddress, actual.slaveAddress);
  c.Field("polling interval", wanted.pollingInterval, actual.pollingInterval);
  return lines;
}

Lines Differences(int meter, const MeterSettings& wanted, const MeterSettings& actual) {
  Lines lines;
  Comparison c(lines);
  const std::string m = "meter " + std::to_string(meter) + " ";
  c.Field<bool>(m + "enabled", wanted.enabled == 1, actual.enabled == 1);
  c.Field(m + "device mode", NameOf(kDeviceModeNames, wanted.deviceMode),
          NameOf(kDeviceModeNames, actual.deviceMode));
  c.Field(m + "instrument type", wanted.instrumentType, actual.instrumentType);
  c.Field(m + "preambles", wanted.preambles, actual.preambles);
  c.Field(m + "buffer clear time", wanted.bufferClearTime, actual.bufferClearTime);
  for (std::size_t i = 0; i < wanted.byteOrders.size(); ++i)
    c.Field(m + ByteOrderName(i), wanted.byteOrders[i], actual.byteOrders[i]);
  for (std::size_t i = 0; i < wanted.coefficients.size(); ++i)
    if (!SameCoefficient(wanted.coefficients[i], actual.coefficients[i]))
      c.Add(m + "coefficient " + std::to_string(i + 1), wanted.coefficients[i],
            actual.coefficients[i]);
  if (!wanted.custom) return lines;
  if (!actual.custom) {
    c.Add(m + "custom parsing", "present", "none reported");
    return lines;
  }
  CompareCustom(c, m, *wanted.custom, *actual.custom);
  return lines;
}

Lines Differences(const GatewayConfig& wanted, const GatewayConfig& actual) {
  Lines lines = Differences(wanted.system, actual.system);
  for (int meter = 1; meter <= kMeters; ++meter) {
    const Lines more = Differences(meter, wanted.meters[static_cast<std::size_t>(meter - 1)],
                                   actual.meters[static_cast<std::size_t>(meter - 1)]);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  return lines;
}

}  // namespace kv770::gateway
