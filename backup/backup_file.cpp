// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backup_file.h"

#include <QJsonArray>
#include <algorithm>
#include <charconv>
#include <span>
#include <string>

#include "base/hex_text.h"
#include "base/iso_time.h"
#include "backup/json_reader.h"
#include "gateway/fields.h"
#include "gateway/hex_bytes.h"

namespace kv770::backup {

namespace {

using gateway::kInstrumentTypes;
using gateway::kMaxAddressBits;
using gateway::kMaxPreambles;
using gateway::kMaxReadCommandBytes;
using gateway::kMinAddressBits;
using gateway::kMinPreambles;

const char* const kOrderKeys[] = {"current", "variable1", "variable2", "variable3", "variable4"};

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

QString Name(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// The members of one object of the file, each named by its path for the
// messages ("meters[2].preambles").
class JsonFields {
 public:
  JsonFields(const JsonNode& object, QString path) : object_(&object), path_(std::move(path)) {}

  [[noreturn]] void Fail(const QString& key, const QString& why) const {
    throw BadFile{QStringLiteral("%1: %2").arg(Path(key), why)};
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
      throw BadFile{QStringLiteral("%1: unknown key \"%2\" (known: %3)")
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

  int Choice(const QString& key, std::span<const std::string_view> names) const {
    const QString text = Text(key);
    const int code = gateway::CodeOf(names, text.toStdString());
    if (code < 0)
      Fail(key, QStringLiteral("'%1' is not one of %2").arg(text, Name(gateway::NameList(names))));
    return code;
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
      throw BadFile{QStringLiteral("%1: not an object").arg(path)};
    JsonFields fields(array[i], path);
    fields.OnlyKeys(known);
    return fields;
  }

  bool Has(const QString& key) const { return object_->Find(key.toStdString()) != nullptr; }

 private:
  const JsonNode* object_;
  QString path_;
};

std::vector<std::uint8_t> ReadCommandBytes(const JsonFields& fields, const QString& key) {
  const QString text = fields.Text(key);
  if (text.isEmpty()) return {};
  if (text.size() > 3 * kMaxReadCommandBytes - 1)
    fields.Fail(
        key, QStringLiteral("'%1' holds more than %2 bytes").arg(text).arg(kMaxReadCommandBytes));
  const gateway::HexBytes parsed =
      gateway::ParseHexBytes(text.toLatin1().toStdString(), kMaxReadCommandBytes);
  if (!parsed.ok()) fields.Fail(key, QString::fromLatin1(parsed.error));
  return parsed.bytes;
}

SystemSettings SystemFromJson(const JsonFields& f) {
  SystemSettings s;
  s.baudRate = f.Int(QStringLiteral("baudRate"), 0, 1000000);
  if (gateway::BaudCode(s.baudRate) < 0)
    f.Fail(QStringLiteral("baudRate"), QStringLiteral("'%1' is not a baud rate of the gateway (%2)")
                                           .arg(s.baudRate)
                                           .arg(Name(gateway::BaudRateList())));
  s.parity = f.Choice(QStringLiteral("parity"), gateway::kParityNames);
  s.workingMode = f.Choice(QStringLiteral("workingMode"), gateway::kWorkingModeNames);
  s.slaveAddress = f.Int(QStringLiteral("slaveAddress"), 0, gateway::kThreeDigitMax);
  s.pollingInterval = f.Int(QStringLiteral("pollingInterval"), 0, gateway::kThreeDigitMax);
  return s;
}

MeterSettings MeterFromJson(const JsonFields& f) {
  MeterSettings m;
  m.enabled = f.Bool(QStringLiteral("enabled"));
  m.deviceMode = f.Choice(QStringLiteral("deviceMode"), gateway::kDeviceModeNames);
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
      throw BadFile{QStringLiteral("%1: %2 is a number, not a text").arg(path, Utf8(c.text))};
    if (c.kind != JsonNode::Kind::kText)
      throw BadFile{QStringLiteral("%1: not a text").arg(path)};
    const QString text = Utf8(c.text);
    if (!gateway::IsCoefficientText(text.toStdString()))
      throw BadFile{QStringLiteral("%1: '%2' is not a coefficient the gateway "
                                              "takes (at most five characters of 0-9 . -)")
                                   .arg(path, text)};
    m.coefficients[i] = text.toStdString();
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

}  // namespace

// ---- JSON -----------------------------------------------------------------------------------

QJsonObject ToJson(const SystemSettings& s) {
  return {
      {QStringLiteral("baudRate"), s.baudRate},
      {QStringLiteral("parity"), Name(gateway::NameOf(gateway::kParityNames, s.parity))},
      {QStringLiteral("workingMode"),
       Name(gateway::NameOf(gateway::kWorkingModeNames, s.workingMode))},
      {QStringLiteral("slaveAddress"), s.slaveAddress},
      {QStringLiteral("pollingInterval"), s.pollingInterval},
  };
}

QJsonObject ToJson(int meter, const MeterSettings& m) {
  QJsonObject orders;
  for (std::size_t i = 0; i < m.byteOrders.size(); ++i)
    orders.insert(QLatin1String(kOrderKeys[i]), m.byteOrders[i]);
  QJsonArray coefficients;
  for (const std::string& c : m.coefficients) coefficients.append(QString::fromStdString(c));
  QJsonObject o{
      {QStringLiteral("meter"), meter},
      {QStringLiteral("enabled"), m.enabled == 1},
      {QStringLiteral("deviceMode"),
       Name(gateway::NameOf(gateway::kDeviceModeNames, m.deviceMode))},
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
      commands.append(
          QJsonObject{{QStringLiteral("enabled"), c.enabled == 1},
                      {QStringLiteral("bytes"), QString::fromStdString(base::HexText(c.bytes))}});
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
      // In UTC with its "Z": a local time without its offset would be
      // ambiguous at the next site.
      {QStringLiteral("created"), QString::fromStdString(base::IsoTime(created.toMSecsSinceEpoch()))},
      {QStringLiteral("source"), source},
      {QStringLiteral("system"), ToJson(config.system)},
      {QStringLiteral("meters"), meters},
  };
}

GatewayConfig BackupFromJson(const QByteArray& fileContents) {
  const JsonNode document = ReadJson(fileContents);
  if (document.kind != JsonNode::Kind::kObject)
    throw BadFile{QStringLiteral("not a backup: no object")};
  const JsonFields top(document, QString());
  const JsonNode* format = document.Find("format");
  if (!format || format->kind != JsonNode::Kind::kText || format->text != kBackupFormat)
    throw BadFile{QStringLiteral("not a backup: \"format\" is not \"%1\"").arg(kBackupFormat)};
  const int version = top.Int(QStringLiteral("version"), 1, 1000000);
  if (version != kBackupVersion)
    throw BadFile{QStringLiteral("backup format version %1; this program reads "
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

}  // namespace kv770::backup
