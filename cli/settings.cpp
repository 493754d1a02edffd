#include "cli/settings.h"

#include <QJsonArray>
#include <algorithm>
#include <charconv>
#include <span>
#include <string>

#include "cli/backup_reader.h"
#include "cli/failure.h"
#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/fields.h"
#include "gateway/reports.h"
#include "hart/hex_bytes.h"
#include "hart/settings_commands.h"
#include "link/errors.h"

namespace kv770::cli {

namespace {

const QStringList kParities = {QStringLiteral("none"), QStringLiteral("odd"),
                               QStringLiteral("even")};
const QStringList kWorkingModes = {QStringLiteral("transparent"), QStringLiteral("modbus")};
const QStringList kDeviceModes = {QStringLiteral("secondary"), QStringLiteral("master")};
const char* const kOrderKeys[] = {"current", "variable1", "variable2", "variable3", "variable4"};

constexpr int kInstrumentTypes = 14;
constexpr int kMinPreambles = 4;
constexpr int kMaxPreambles = 9;
constexpr int kMinAddressBits = 3;
constexpr int kMaxAddressBits = 9;
constexpr int kMaxReadCommandBytes = 14;

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int BaudIndex(int baudRate) {
  const auto& rates = gateway::kRs485BaudRates;
  const auto it = std::find(rates.begin(), rates.end(), baudRate);
  return it == rates.end() ? -1 : static_cast<int>(it - rates.begin());
}

QString BaudList() {
  QStringList rates;
  for (int rate : gateway::kRs485BaudRates) rates << QString::number(rate);
  return rates.join(QStringLiteral(", "));
}

// ---- reading reports ----------------------------------------------------------------

// Every setting a report must carry, checked the way a person would name it.
class ReportCheck {
 public:
  explicit ReportCheck(QString report) : report_(std::move(report)) {}

  [[noreturn]] void Fail(const QString& why) const {
    throw Failure{kDeviceFailed, QStringLiteral("%1: %2").arg(report_, why)};
  }

  int Code(const std::optional<int>& code, const QString& what, int lo, int hi) const {
    if (!code) Fail(QStringLiteral("no %1").arg(what));
    if (*code < lo || *code > hi)
      Fail(QStringLiteral("%1 code %2 is none the window offers (%3 to %4)")
               .arg(what)
               .arg(*code)
               .arg(lo)
               .arg(hi));
    return *code;
  }

  // A number the report carries as text; converted as the window would
  // convert it when sending it back.
  int Number(const std::optional<std::string>& text, const QString& what, int lo, int hi) const {
    if (!text) Fail(QStringLiteral("no %1").arg(what));
    try {
      return cycle::StrToIntInRange(Latin1(*text), lo, hi);
    } catch (const Error& e) {
      Fail(QStringLiteral("%1 %2").arg(what, e.Message()));
    }
  }

 private:
  QString report_;
};

void RaiseBadNumber(const ReportCheck& check, const std::optional<std::string>& bad) {
  if (bad) check.Fail(QStringLiteral("'%1' is not a valid integer value").arg(Latin1(*bad)));
}

// ---- reading the backup file --------------------------------------------------------

// The keys of each object of the file, as BackupToJson writes them.
using KeyList = std::span<const char* const>;
const char* const kTopKeys[] = {"format", "version", "created", "source", "system", "meters"};
const char* const kSystemKeys[] = {"baudRate", "parity", "workingMode", "slaveAddress",
                                   "pollingInterval"};
const char* const kMeterKeys[] = {"meter",          "enabled",      "deviceMode",
                                  "instrumentType", "preambles",    "bufferClearTime",
                                  "byteOrders",     "coefficients", "custom"};
const char* const kCustomKeys[] = {"addressBits", "variables", "readCommands"};
const char* const kVariableKeys[] = {"command", "start", "length"};
const char* const kReadCommandKeys[] = {"enabled", "bytes"};

QString Utf8(const std::string& text) {
  return QString::fromStdString(text);
}

// The members of one object of the file, each named by its path for the
// messages ("meters[2].preambles").
class JsonFields {
 public:
  JsonFields(const JsonNode& object, QString path) : object_(&object), path_(std::move(path)) {}

  [[noreturn]] void Fail(const QString& key, const QString& why) const {
    throw Failure{kBadUsage, QStringLiteral("%1: %2").arg(Path(key), why)};
  }

  QString Path(const QString& key) const { return MemberPath(path_, key); }

  // A key this program does not know is refused, not passed over: a
  // misspelt one would leave that setting as the gateway has it, and the
  // read-back would still agree.
  void OnlyKeys(KeyList known) const {
    for (const JsonMember& member : object_->members) {
      if (std::any_of(known.begin(), known.end(),
                      [&](const char* key) { return member.key == key; }))
        continue;
      QStringList names;
      for (const char* key : known) names << QLatin1String(key);
      throw Failure{kBadUsage, QStringLiteral("%1: unknown key \"%2\" (known: %3)")
                                   .arg(path_.isEmpty() ? QStringLiteral("top level") : path_,
                                        Utf8(member.key), names.join(QStringLiteral(", ")))};
    }
  }

  const JsonNode& Value(const QString& key) const {
    const JsonNode* value = object_->Find(key.toStdString());
    if (!value) Fail(key, QStringLiteral("missing"));
    return *value;
  }

  // An integer as the file writes it, refused with the window's words when
  // it is none or out of range. A fraction or an exponent is refused even
  // where the value is whole ("17.0", "1e1"): every field is an integer and
  // a backup writes it as one. A number in quotes is refused too, rather
  // than read the way the window reads a box ("0x3E7", " +17").
  int Int(const QString& key, int lo, int hi) const {
    const JsonNode& value = Value(key);
    if (value.kind == JsonNode::Kind::kText)
      Fail(key, QStringLiteral("\"%1\" is a text, not a number").arg(Utf8(value.text)));
    if (value.kind != JsonNode::Kind::kNumber) Fail(key, QStringLiteral("not a number"));
    const std::string& written = value.text;
    const char* const end = written.data() + written.size();
    long long number = 0;
    const auto [stop, error] = std::from_chars(written.data(), end, number);
    if (error == std::errc::invalid_argument || stop != end)
      Fail(key, QStringLiteral("'%1' is not a valid integer value").arg(Utf8(written)));
    if (error == std::errc::result_out_of_range || number < lo || number > hi)
      Fail(key,
           QStringLiteral("'%1' is out of range (%2 to %3)").arg(Utf8(written)).arg(lo).arg(hi));
    return static_cast<int>(number);
  }

  QString Text(const QString& key) const {
    const JsonNode& value = Value(key);
    if (value.kind != JsonNode::Kind::kText) Fail(key, QStringLiteral("not a text"));
    return Utf8(value.text);
  }

  bool Bool(const QString& key) const {
    const JsonNode& value = Value(key);
    if (value.kind != JsonNode::Kind::kBool) Fail(key, QStringLiteral("not true or false"));
    return value.boolean;
  }

  int Choice(const QString& key, const QStringList& names) const {
    const QString text = Text(key);
    const int index = names.indexOf(text);
    if (index < 0)
      Fail(key,
           QStringLiteral("'%1' is not one of %2").arg(text, names.join(QStringLiteral(", "))));
    return index;
  }

  JsonFields Object(const QString& key, KeyList known) const {
    const JsonNode& value = Value(key);
    if (value.kind != JsonNode::Kind::kObject) Fail(key, QStringLiteral("not an object"));
    JsonFields fields(value, Path(key));
    fields.OnlyKeys(known);
    return fields;
  }

  const std::vector<JsonNode>& Array(const QString& key, std::size_t size) const {
    const JsonNode& value = Value(key);
    if (value.kind != JsonNode::Kind::kArray || value.elements.size() != size)
      Fail(key, QStringLiteral("not a list of %1").arg(size));
    return value.elements;
  }

  JsonFields Element(const QString& key, const std::vector<JsonNode>& array, std::size_t i,
                     KeyList known) const {
    const QString path = ElementPath(Path(key), i);
    if (array[i].kind != JsonNode::Kind::kObject)
      throw Failure{kBadUsage, QStringLiteral("%1: not an object").arg(path)};
    JsonFields fields(array[i], path);
    fields.OnlyKeys(known);
    return fields;
  }

  bool Has(const QString& key) const { return object_->Find(key.toStdString()) != nullptr; }

 private:
  const JsonNode* object_;
  QString path_;
};

// The window's coefficient boxes take digits, '.' and '-', five at most.
bool IsCoefficientText(const QString& text) {
  if (text.isEmpty() || text.size() > 5) return false;
  return std::all_of(text.begin(), text.end(), [](QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
           c == QLatin1Char('-');
  });
}

std::vector<std::uint8_t> ReadCommandBytes(const JsonFields& fields, const QString& key) {
  const QString text = fields.Text(key);
  if (text.isEmpty()) return {};
  if (text.size() > 3 * kMaxReadCommandBytes - 1)
    fields.Fail(
        key, QStringLiteral("'%1' holds more than %2 bytes").arg(text).arg(kMaxReadCommandBytes));
  const hart::HexBytes parsed =
      hart::ParseHexBytes(text.toLatin1().toStdString(), kMaxReadCommandBytes);
  if (!parsed.ok()) fields.Fail(key, QString::fromLatin1(parsed.error));
  return parsed.bytes;
}

SystemSettings SystemFromJson(const JsonFields& f) {
  SystemSettings s;
  s.baudRate = f.Int(QStringLiteral("baudRate"), 0, 1000000);
  if (BaudIndex(s.baudRate) < 0)
    f.Fail(QStringLiteral("baudRate"), QStringLiteral("'%1' is not a baud rate of the gateway (%2)")
                                           .arg(s.baudRate)
                                           .arg(BaudList()));
  s.parity = f.Choice(QStringLiteral("parity"), kParities);
  s.workingMode = f.Choice(QStringLiteral("workingMode"), kWorkingModes);
  s.slaveAddress = f.Int(QStringLiteral("slaveAddress"), 0, gateway::kThreeDigitMax);
  s.pollingInterval = f.Int(QStringLiteral("pollingInterval"), 0, gateway::kThreeDigitMax);
  return s;
}

MeterSettings MeterFromJson(const JsonFields& f) {
  MeterSettings m;
  m.enabled = f.Bool(QStringLiteral("enabled"));
  m.deviceMode = f.Choice(QStringLiteral("deviceMode"), kDeviceModes);
  m.instrumentType = f.Int(QStringLiteral("instrumentType"), 0, kInstrumentTypes - 1);
  m.preambles = f.Int(QStringLiteral("preambles"), kMinPreambles, kMaxPreambles);
  m.bufferClearTime = f.Int(QStringLiteral("bufferClearTime"), 0, gateway::kThreeDigitMax);
  const JsonFields orders = f.Object(QStringLiteral("byteOrders"), kOrderKeys);
  for (std::size_t i = 0; i < m.byteOrders.size(); ++i)
    m.byteOrders[i] = orders.Int(QLatin1String(kOrderKeys[i]), 0, i == 0 ? 1 : 3);
  const QString coefficientsKey = QStringLiteral("coefficients");
  const std::vector<JsonNode>& coefficients = f.Array(coefficientsKey, 4);
  for (std::size_t i = 0; i < 4; ++i) {
    const JsonNode& c = coefficients[i];
    const QString path = ElementPath(f.Path(coefficientsKey), i);
    if (c.kind == JsonNode::Kind::kNumber)
      throw Failure{kBadUsage,
                    QStringLiteral("%1: %2 is a number, not a text").arg(path, Utf8(c.text))};
    if (c.kind != JsonNode::Kind::kText)
      throw Failure{kBadUsage, QStringLiteral("%1: not a text").arg(path)};
    const QString text = Utf8(c.text);
    if (!IsCoefficientText(text))
      throw Failure{kBadUsage, QStringLiteral("%1: '%2' is not a coefficient the gateway "
                                              "takes (at most five characters of 0-9 . -)")
                                   .arg(path, text)};
    m.coefficients[i] = text;
  }
  if (f.Has(QStringLiteral("custom"))) {
    const JsonFields c = f.Object(QStringLiteral("custom"), kCustomKeys);
    CustomParsing custom;
    custom.addressBits = c.Int(QStringLiteral("addressBits"), kMinAddressBits, kMaxAddressBits);
    const QString variablesKey = QStringLiteral("variables");
    const std::vector<JsonNode>& variables = c.Array(variablesKey, 4);
    for (std::size_t i = 0; i < 4; ++i) {
      const JsonFields v = c.Element(variablesKey, variables, i, kVariableKeys);
      VariableParsing& p = custom.variables[i];
      p.command = v.Int(QStringLiteral("command"), 0, 2);
      p.start = v.Int(QStringLiteral("start"), 0, gateway::kTwoDigitMax);
      p.length = v.Int(QStringLiteral("length"), 4, 8);
      if (p.length != 4 && p.length != 8)
        v.Fail(QStringLiteral("length"), QStringLiteral("'%1' is not 4 or 8").arg(p.length));
    }
    const QString commandsKey = QStringLiteral("readCommands");
    const std::vector<JsonNode>& commands = c.Array(commandsKey, 2);
    for (std::size_t i = 0; i < 2; ++i) {
      const JsonFields r = c.Element(commandsKey, commands, i, kReadCommandKeys);
      ReadCommand& command = custom.readCommands[i];
      command.enabled = r.Bool(QStringLiteral("enabled"));
      command.bytes = ReadCommandBytes(r, QStringLiteral("bytes"));
    }
    if (m.instrumentType != 0)
      f.Fail(QStringLiteral("custom"),
             QStringLiteral("custom parsing belongs to instrument type 0 (custom meter), not %1")
                 .arg(m.instrumentType));
    m.custom = custom;
  } else if (m.instrumentType == 0) {
    // Every backup of a custom meter carries its parsing; without it the
    // gateway would keep whatever it has and the restore still pass.
    f.Fail(QStringLiteral("custom"),
           QStringLiteral("missing: instrument type 0 (custom meter) carries its custom parsing"));
  }
  return m;
}

// ---- comparing ------------------------------------------------------------------------

class Comparison {
 public:
  explicit Comparison(QStringList& lines) : lines_(lines) {}
  template <typename T>
  void Field(const QString& what, const T& wanted, const T& actual) {
    if (!(wanted == actual)) Add(what, Shown(wanted), Shown(actual));
  }
  void Add(const QString& what, const QString& wanted, const QString& actual) {
    lines_ << QStringLiteral("%1: %2 wanted, the gateway has %3").arg(what, wanted, actual);
  }

 private:
  static QString Shown(int v) { return QString::number(v); }
  static QString Shown(bool v) { return v ? QStringLiteral("yes") : QStringLiteral("no"); }
  static QString Shown(const QString& v) { return v.isEmpty() ? QStringLiteral("(none)") : v; }
  QStringList& lines_;
};

// Coefficients are numbers to the gateway: "2.5" and "2.500" are the same.
bool SameCoefficient(const QString& a, const QString& b) {
  bool aNumber = false;
  bool bNumber = false;
  const double x = a.toDouble(&aNumber);
  const double y = b.toDouble(&bNumber);
  return aNumber && bNumber ? x == y : a == b;
}

}  // namespace

QString HexText(const std::vector<std::uint8_t>& bytes) {
  QStringList pairs;
  for (std::uint8_t b : bytes)
    pairs << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
  return pairs.join(QLatin1Char(' '));
}

// ---- reports ------------------------------------------------------------------------------

SystemSettings SystemFromReport(std::string_view reply) {
  const ReportCheck check(QStringLiteral("system report"));
  const gateway::SystemReport r = gateway::DecodeSystemReport(reply);
  if (!r.marker) check.Fail(QStringLiteral("the reply holds no system report (no \"QX\")"));
  RaiseBadNumber(check, r.badNumber);
  SystemSettings s;
  s.baudRate = gateway::kRs485BaudRates[static_cast<std::size_t>(
      check.Code(r.baud, QStringLiteral("baud rate"), 0, 6))];
  s.parity = check.Code(r.parity, QStringLiteral("parity"), 0, 2);
  s.workingMode = check.Code(r.workingMode, QStringLiteral("working mode"), 0, 1);
  s.slaveAddress =
      check.Number(r.slaveAddress, QStringLiteral("slave address"), 0, gateway::kThreeDigitMax);
  s.pollingInterval = check.Number(r.pollingInterval, QStringLiteral("polling interval"), 0,
                                   gateway::kThreeDigitMax);
  return s;
}

MeterSettings MeterFromReport(int meter, std::string_view reply) {
  const ReportCheck check(QStringLiteral("MODBUS report of meter %1").arg(meter));
  // Nothing shown before: the report alone decides whether it is custom.
  const gateway::ModbusReport r = gateway::DecodeModbusReport(reply, -1);
  if (!r.marker) check.Fail(QStringLiteral("the reply holds no MODBUS report (no \"QQ\")"));
  RaiseBadNumber(check, r.badNumber);
  MeterSettings m;
  m.enabled = check.Code(r.enable, QStringLiteral("enable"), 0, 1) == 1;
  m.deviceMode = check.Code(r.deviceMode, QStringLiteral("device mode"), 0, 1);
  m.instrumentType =
      check.Code(r.instrumentType, QStringLiteral("instrument type"), 0, kInstrumentTypes - 1);
  m.preambles = kMinPreambles + check.Code(r.preamblePosition, QStringLiteral("preamble count"), 0,
                                           kMaxPreambles - kMinPreambles);
  m.bufferClearTime = check.Number(r.bufferClearTime, QStringLiteral("buffer clear time"), 0,
                                   gateway::kThreeDigitMax);
  for (std::size_t i = 0; i < m.byteOrders.size(); ++i)
    m.byteOrders[i] = check.Code(r.byteOrders[i],
                                 i == 0 ? QStringLiteral("byte order of the current")
                                        : QStringLiteral("byte order of variable %1").arg(i),
                                 0, i == 0 ? 1 : 3);
  for (std::size_t i = 0; i < m.coefficients.size(); ++i) {
    if (!r.coefficients[i]) check.Fail(QStringLiteral("no coefficient %1").arg(i + 1));
    m.coefficients[i] = Latin1(*r.coefficients[i]);
  }
  if (!r.custom.value_or(false)) return m;

  CustomParsing c;
  c.addressBits =
      kMinAddressBits + check.Code(r.addressBitsPosition, QStringLiteral("address bits"), 0,
                                   kMaxAddressBits - kMinAddressBits);
  for (std::size_t i = 0; i < c.variables.size(); ++i) {
    const auto& v = r.variables[i];
    const QString name = QStringLiteral("variable %1").arg(i + 1);
    c.variables[i].command = check.Code(v.command, name + QStringLiteral(" command"), 0, 2);
    c.variables[i].start =
        check.Number(v.start, name + QStringLiteral(" start"), 0, gateway::kTwoDigitMax);
    c.variables[i].length = check.Code(v.length, name + QStringLiteral(" length"), 0, 1) ? 8 : 4;
  }
  for (std::size_t i = 0; i < c.readCommands.size(); ++i) {
    const auto& command = r.readCommands[i];
    const QString name = QStringLiteral("read-meter command %1").arg(i + 1);
    c.readCommands[i].enabled = check.Code(command.enable, name, 0, 1) == 1;
    if (!command.text) check.Fail(QStringLiteral("no %1").arg(name));
    if (command.text->empty()) continue;
    const hart::HexBytes bytes = hart::ParseHexBytes(*command.text, kMaxReadCommandBytes);
    if (!bytes.ok())
      check.Fail(QStringLiteral("%1 '%2': %3")
                     .arg(name, Latin1(*command.text), QString::fromLatin1(bytes.error)));
    c.readCommands[i].bytes = bytes.bytes;
  }
  m.custom = c;
  return m;
}

// ---- JSON -----------------------------------------------------------------------------------

QJsonObject ToJson(const SystemSettings& s) {
  return {
      {QStringLiteral("baudRate"), s.baudRate},
      {QStringLiteral("parity"), kParities.value(s.parity)},
      {QStringLiteral("workingMode"), kWorkingModes.value(s.workingMode)},
      {QStringLiteral("slaveAddress"), s.slaveAddress},
      {QStringLiteral("pollingInterval"), s.pollingInterval},
  };
}

QJsonObject ToJson(int meter, const MeterSettings& m) {
  QJsonObject orders;
  for (std::size_t i = 0; i < m.byteOrders.size(); ++i)
    orders.insert(QLatin1String(kOrderKeys[i]), m.byteOrders[i]);
  QJsonArray coefficients;
  for (const QString& c : m.coefficients) coefficients.append(c);
  QJsonObject o{
      {QStringLiteral("meter"), meter},
      {QStringLiteral("enabled"), m.enabled},
      {QStringLiteral("deviceMode"), kDeviceModes.value(m.deviceMode)},
      {QStringLiteral("instrumentType"), m.instrumentType},
      {QStringLiteral("preambles"), m.preambles},
      {QStringLiteral("bufferClearTime"), m.bufferClearTime},
      {QStringLiteral("byteOrders"), orders},
      {QStringLiteral("coefficients"), coefficients},
  };
  if (m.custom) {
    QJsonArray variables;
    for (const VariableParsing& v : m.custom->variables)
      variables.append(QJsonObject{{QStringLiteral("command"), v.command},
                                   {QStringLiteral("start"), v.start},
                                   {QStringLiteral("length"), v.length}});
    QJsonArray commands;
    for (const ReadCommand& c : m.custom->readCommands)
      commands.append(QJsonObject{{QStringLiteral("enabled"), c.enabled},
                                  {QStringLiteral("bytes"), HexText(c.bytes)}});
    o.insert(QStringLiteral("custom"),
             QJsonObject{{QStringLiteral("addressBits"), m.custom->addressBits},
                         {QStringLiteral("variables"), variables},
                         {QStringLiteral("readCommands"), commands}});
  }
  return o;
}

QJsonObject BackupToJson(const GatewayConfig& config, const QString& source,
                         const QDateTime& created) {
  QJsonArray meters;
  for (int i = 0; i < kMeters; ++i)
    meters.append(ToJson(i + 1, config.meters[static_cast<std::size_t>(i)]));
  return {
      {QStringLiteral("format"), QLatin1String(kBackupFormat)},
      {QStringLiteral("version"), kBackupVersion},
      {QStringLiteral("created"), created.toString(Qt::ISODate)},
      {QStringLiteral("source"), source},
      {QStringLiteral("system"), ToJson(config.system)},
      {QStringLiteral("meters"), meters},
  };
}

GatewayConfig BackupFromJson(const QByteArray& fileContents) {
  const JsonNode document = ReadJson(fileContents);
  if (document.kind != JsonNode::Kind::kObject)
    throw Failure{kBadUsage, QStringLiteral("not a backup: no object")};
  const JsonFields top(document, QString());
  const JsonNode* format = document.Find("format");
  if (!format || format->kind != JsonNode::Kind::kText || format->text != kBackupFormat)
    throw Failure{kBadUsage,
                  QStringLiteral("not a backup: \"format\" is not \"%1\"").arg(kBackupFormat)};
  const int version = top.Int(QStringLiteral("version"), 1, 1000000);
  if (version != kBackupVersion)
    throw Failure{kBadUsage, QStringLiteral("backup format version %1; this program reads "
                                            "version %2")
                                 .arg(version)
                                 .arg(kBackupVersion)};
  // Only now: a later version may well have keys this one does not know.
  top.OnlyKeys(kTopKeys);
  GatewayConfig config;
  config.system = SystemFromJson(top.Object(QStringLiteral("system"), kSystemKeys));
  const QString metersKey = QStringLiteral("meters");
  const std::vector<JsonNode>& meters = top.Array(metersKey, kMeters);
  for (std::size_t i = 0; i < kMeters; ++i) {
    const JsonFields meter = top.Element(metersKey, meters, i, kMeterKeys);
    if (meter.Int(QStringLiteral("meter"), 1, kMeters) != static_cast<int>(i) + 1)
      meter.Fail(QStringLiteral("meter"), QStringLiteral("the meters must come in order, 1 to 8"));
    config.meters[i] = MeterFromJson(meter);
  }
  return config;
}

// ---- commands -----------------------------------------------------------------------------

std::vector<Request> MeterCommands(int meter, const MeterSettings& m, unsigned groups) {
  const int position = meter - 1;
  const auto bytes = [](const std::string& command) { return QByteArray::fromStdString(command); };
  const QString name = QStringLiteral("meter %1 ").arg(meter);
  std::vector<Request> requests;
  if (groups & kPollingSetup) {
    gateway::PollingSetup setup;
    setup.enable = m.enabled ? 1 : 0;
    setup.deviceMode = m.deviceMode;
    setup.instrumentType = m.instrumentType;
    setup.preamblePosition = m.preambles - kMinPreambles;
    setup.bufferClearTime = m.bufferClearTime;
    requests.push_back({name + QStringLiteral("polling set-up"),
                        bytes(gateway::PollingSetupCommand(position, setup))});
  }
  if (groups & kByteOrders)
    requests.push_back({name + QStringLiteral("byte orders"),
                        bytes(gateway::ByteOrdersCommand(position, m.byteOrders))});
  if (groups & kCoefficients) {
    std::array<std::string, 4> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
      texts[i] = m.coefficients[i].toLatin1().toStdString();
    requests.push_back({name + QStringLiteral("coefficients"),
                        bytes(gateway::CoefficientsCommand(position, texts))});
  }
  if (!m.custom) return requests;
  if (groups & kParsingFormat) {
    std::array<hart::VariableParsing, 4> variables;
    for (std::size_t i = 0; i < variables.size(); ++i) {
      const VariableParsing& v = m.custom->variables[i];
      variables[i] = {v.command, v.start, v.length == 8 ? 1 : 0};
    }
    requests.push_back({name + QStringLiteral("custom parsing format"),
                        bytes(hart::ParsingFormatCommand(
                            position, m.custom->addressBits - kMinAddressBits, variables))});
  }
  for (int k = 1; k <= 2; ++k) {
    const ReadCommand& c = m.custom->readCommands[static_cast<std::size_t>(k - 1)];
    if (!(groups & (k == 1 ? kReadCommand1 : kReadCommand2)) || c.bytes.empty()) continue;
    requests.push_back({name + QStringLiteral("read-meter command %1").arg(k),
                        bytes(hart::ReadMeterCommand(position, k, c.enabled ? 1 : 0, c.bytes))});
  }
  return requests;
}

std::vector<Request> SystemCommands(const SystemSettings& s, unsigned groups) {
  const auto bytes = [](const std::string& command) { return QByteArray::fromStdString(command); };
  std::vector<Request> requests;
  if (groups & kWorkingMode)
    requests.push_back(
        {QStringLiteral("working mode"), bytes(gateway::WorkingMode(s.workingMode))});
  if (groups & kSlaveAddress)
    requests.push_back(
        {QStringLiteral("slave address"), bytes(gateway::SlaveAddress(s.slaveAddress))});
  if (groups & kPollingInterval)
    requests.push_back(
        {QStringLiteral("polling interval"), bytes(gateway::PollingInterval(s.pollingInterval))});
  if (groups & kRs485)
    requests.push_back({QStringLiteral("RS-485 settings"),
                        bytes(gateway::Rs485Settings(BaudIndex(s.baudRate), s.parity))});
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

QStringList Differences(const SystemSettings& wanted, const SystemSettings& actual) {
  QStringList lines;
  Comparison c(lines);
  c.Field(QStringLiteral("baud rate"), wanted.baudRate, actual.baudRate);
  c.Field(QStringLiteral("parity"), kParities.value(wanted.parity), kParities.value(actual.parity));
  c.Field(QStringLiteral("working mode"), kWorkingModes.value(wanted.workingMode),
          kWorkingModes.value(actual.workingMode));
  c.Field(QStringLiteral("slave address"), wanted.slaveAddress, actual.slaveAddress);
  c.Field(QStringLiteral("polling interval"), wanted.pollingInterval, actual.pollingInterval);
  return lines;
}

QStringList Differences(int meter, const MeterSettings& wanted, const MeterSettings& actual) {
  QStringList lines;
  Comparison c(lines);
  const QString m = QStringLiteral("meter %1 ").arg(meter);
  c.Field(m + QStringLiteral("enabled"), wanted.enabled, actual.enabled);
  c.Field(m + QStringLiteral("device mode"), kDeviceModes.value(wanted.deviceMode),
          kDeviceModes.value(actual.deviceMode));
  c.Field(m + QStringLiteral("instrument type"), wanted.instrumentType, actual.instrumentType);
  c.Field(m + QStringLiteral("preambles"), wanted.preambles, actual.preambles);
  c.Field(m + QStringLiteral("buffer clear time"), wanted.bufferClearTime, actual.bufferClearTime);
  for (std::size_t i = 0; i < wanted.byteOrders.size(); ++i)
    c.Field(m + (i == 0 ? QStringLiteral("byte order of the current")
                        : QStringLiteral("byte order of variable %1").arg(i)),
            wanted.byteOrders[i], actual.byteOrders[i]);
  for (std::size_t i = 0; i < wanted.coefficients.size(); ++i)
    if (!SameCoefficient(wanted.coefficients[i], actual.coefficients[i]))
      c.Add(m + QStringLiteral("coefficient %1").arg(i + 1), wanted.coefficients[i],
            actual.coefficients[i]);
  if (!wanted.custom) return lines;
  if (!actual.custom) {
    c.Add(m + QStringLiteral("custom parsing"), QStringLiteral("present"),
          QStringLiteral("none reported"));
    return lines;
  }
  const CustomParsing& w = *wanted.custom;
  const CustomParsing& a = *actual.custom;
  c.Field(m + QStringLiteral("address bits"), w.addressBits, a.addressBits);
  for (std::size_t i = 0; i < w.variables.size(); ++i) {
    const QString v = m + QStringLiteral("variable %1 ").arg(i + 1);
    c.Field(v + QStringLiteral("command"), w.variables[i].command, a.variables[i].command);
    c.Field(v + QStringLiteral("start"), w.variables[i].start, a.variables[i].start);
    c.Field(v + QStringLiteral("length"), w.variables[i].length, a.variables[i].length);
  }
  for (std::size_t i = 0; i < w.readCommands.size(); ++i) {
    const QString r = m + QStringLiteral("read-meter command %1 ").arg(i + 1);
    c.Field(r + QStringLiteral("enabled"), w.readCommands[i].enabled, a.readCommands[i].enabled);
    c.Field(r + QStringLiteral("bytes"), HexText(w.readCommands[i].bytes),
            HexText(a.readCommands[i].bytes));
  }
  return lines;
}

QStringList Differences(const GatewayConfig& wanted, const GatewayConfig& actual) {
  QStringList lines = Differences(wanted.system, actual.system);
  for (int meter = 1; meter <= kMeters; ++meter)
    lines << Differences(meter, wanted.meters[static_cast<std::size_t>(meter - 1)],
                         actual.meters[static_cast<std::size_t>(meter - 1)]);
  return lines;
}

}  // namespace kv770::cli
