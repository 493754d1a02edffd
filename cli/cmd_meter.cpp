// SPDX-License-Identifier: GPL-3.0-or-later
// meter N get|set: one meter's MODBUS mapping and custom parsing.
#include <QCommandLineParser>
#include <algorithm>
#include <optional>

#include "base/hex_text.h"
#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "gateway/fields.h"
#include "gateway/hex_bytes.h"

namespace kv770::cli {

namespace {

using gateway::kByteOrders;
using gateway::kCoefficients;
using gateway::kParsingFormat;
using gateway::kPollingSetup;
using gateway::kReadCommand1;
using gateway::kReadCommand2;

void SayMeter(Session& s, int meter, const MeterSettings& m) {
  s.Say(QStringLiteral("meter %1").arg(meter));
  s.Say(QStringLiteral("  enabled            %1").arg(m.enabled == 1 ? "yes" : "no"));
  s.Say(QStringLiteral("  device mode        %1")
            .arg(m.deviceMode ? QStringLiteral("master") : QStringLiteral("secondary master")));
  s.Say(QStringLiteral("  instrument type    %1%2")
            .arg(m.instrumentType)
            .arg(m.instrumentType == 0 ? QStringLiteral(" (custom meter)") : QString()));
  s.Say(QStringLiteral("  preambles          %1").arg(m.preambles));
  s.Say(QStringLiteral("  buffer clear time  %1 s").arg(m.bufferClearTime));
  s.Say(QStringLiteral("  byte orders        current %1, variables %2 %3 %4 %5")
            .arg(m.byteOrders[0])
            .arg(m.byteOrders[1])
            .arg(m.byteOrders[2])
            .arg(m.byteOrders[3])
            .arg(m.byteOrders[4]));
  s.Say(QStringLiteral("  coefficients       %1 %2 %3 %4")
            .arg(QString::fromStdString(m.coefficients[0]),
                 QString::fromStdString(m.coefficients[1]),
                 QString::fromStdString(m.coefficients[2]),
                 QString::fromStdString(m.coefficients[3])));
  if (!m.custom) return;
  s.Say(QStringLiteral("  address bits       %1").arg(m.custom->addressBits));
  for (std::size_t i = 0; i < m.custom->variables.size(); ++i) {
    const VariableParsing& v = m.custom->variables[i];
    s.Say(v.command == 0 ? QStringLiteral("  variable %1         not parsed").arg(i + 1)
                         : QStringLiteral("  variable %1         command %2, start %3, %4 bytes")
                               .arg(i + 1)
                               .arg(v.command)
                               .arg(v.start)
                               .arg(v.length));
  }
  for (std::size_t i = 0; i < m.custom->readCommands.size(); ++i) {
    const ReadCommand& c = m.custom->readCommands[i];
    s.Say(QStringLiteral("  read command %1     %2%3")
              .arg(i + 1)
              .arg(c.enabled == 1 ? QStringLiteral("open") : QStringLiteral("close"))
              .arg(c.bytes.empty()
                       ? QString()
                       : QStringLiteral(", ") + QString::fromStdString(base::HexText(c.bytes))));
  }
}

int MeterNumber(const QString& text) {
  return Integer(QStringLiteral("meter"), text, 1, kMeters);
}

int MeterGet(Session& s, int meter) {
  const MeterSettings m = s.ReadMeter(meter);
  SayMeter(s, meter, m);
  s.Result(ToJson(meter, m));
  return kDone;
}

struct MeterChanges {
  std::optional<bool> enabled;
  std::optional<int> deviceMode, instrumentType, preambles, bufferClearTime;
  std::optional<std::array<int, 5>> byteOrders;
  std::optional<std::array<QString, 4>> coefficients;
  std::optional<int> addressBits;
  std::array<std::optional<VariableParsing>, 4> variables;
  std::array<std::optional<std::vector<std::uint8_t>>, 2> readBytes;
  std::array<std::optional<bool>, 2> readEnabled;

  bool Custom() const {
    return addressBits || variables[0] || variables[1] || variables[2] || variables[3] ||
           readBytes[0] || readBytes[1] || readEnabled[0] || readEnabled[1];
  }
  unsigned Groups() const {
    unsigned g = 0;
    if (enabled || deviceMode || instrumentType || preambles || bufferClearTime) g |= kPollingSetup;
    if (byteOrders) g |= kByteOrders;
    if (coefficients) g |= kCoefficients;
    if (addressBits || variables[0] || variables[1] || variables[2] || variables[3])
      g |= kParsingFormat;
    if (readBytes[0] || readEnabled[0]) g |= kReadCommand1;
    if (readBytes[1] || readEnabled[1]) g |= kReadCommand2;
    return g;
  }
  void ApplyTo(MeterSettings& m) const {
    m.enabled = enabled.value_or(m.enabled);
    m.deviceMode = deviceMode.value_or(m.deviceMode);
    m.instrumentType = instrumentType.value_or(m.instrumentType);
    m.preambles = preambles.value_or(m.preambles);
    m.bufferClearTime = bufferClearTime.value_or(m.bufferClearTime);
    if (byteOrders) m.byteOrders = *byteOrders;
    if (coefficients)
      for (std::size_t i = 0; i < m.coefficients.size(); ++i)
        m.coefficients[i] = (*coefficients)[i].toStdString();
    if (!Custom() || m.instrumentType != 0) return;
    if (!m.custom) m.custom = CustomParsing{};
    m.custom->addressBits = addressBits.value_or(m.custom->addressBits);
    for (std::size_t i = 0; i < variables.size(); ++i)
      if (variables[i]) m.custom->variables[i] = *variables[i];
    for (std::size_t i = 0; i < readBytes.size(); ++i) {
      if (readBytes[i]) m.custom->readCommands[i].bytes = *readBytes[i];
      if (readEnabled[i]) m.custom->readCommands[i].enabled = *readEnabled[i];
    }
  }
};

MeterChanges ParseMeterChanges(const QCommandLineParser& p) {
  MeterChanges c;
  if (p.isSet("enable")) c.enabled = OnOff("enable", p.value("enable")) == 1;
  if (p.isSet("device-mode"))
    c.deviceMode = Choice("device-mode", p.value("device-mode"), Names(gateway::kDeviceModeNames));
  if (p.isSet("type"))
    c.instrumentType = Integer("--type", p.value("type"), 0, gateway::kInstrumentTypes - 1);
  if (p.isSet("preambles"))
    c.preambles = Integer("--preambles", p.value("preambles"), gateway::kMinPreambles,
                          gateway::kMaxPreambles);
  if (p.isSet("clear-time"))
    c.bufferClearTime = Integer("--clear-time", p.value("clear-time"), 0, gateway::kThreeDigitMax);
  if (p.isSet("orders")) {
    const QStringList items = Items("orders", p.value("orders"), 5);
    std::array<int, 5> orders{};
    for (int i = 0; i < 5; ++i)
      orders[static_cast<std::size_t>(i)] = Integer("--orders", items[i], 0, i == 0 ? 1 : 3);
    c.byteOrders = orders;
  }
  if (p.isSet("coefficients")) {
    const QStringList items = Items("coefficients", p.value("coefficients"), 4);
    std::array<QString, 4> texts;
    for (int i = 0; i < 4; ++i) {
      const QString& t = items[i];
      // What the window's coefficient boxes let through.
      const bool ok =
          !t.isEmpty() && t.size() <= 5 && std::all_of(t.begin(), t.end(), [](QChar ch) {
            return ch.isDigit() || ch == QLatin1Char('.') || ch == QLatin1Char('-');
          });
      if (!ok)
        BadUsage(QStringLiteral("'%1' is not a coefficient the gateway takes (at most five "
                                "characters of 0-9 . -)")
                     .arg(t));
      texts[static_cast<std::size_t>(i)] = t;
    }
    c.coefficients = texts;
  }
  if (p.isSet("address-bits"))
    c.addressBits = Integer("--address-bits", p.value("address-bits"), gateway::kMinAddressBits,
                            gateway::kMaxAddressBits);
  for (const QString& value : p.values("variable")) {
    // N=COMMAND,START,LENGTH
    const qsizetype eq = value.indexOf(QLatin1Char('='));
    if (eq < 0)
      BadUsage(QStringLiteral("--variable: '%1' is not N=COMMAND,START,LENGTH").arg(value));
    const int n = Integer("--variable", value.left(eq), 1, 4);
    const QStringList items = Items("variable", value.mid(eq + 1), 3);
    VariableParsing v;
    v.command = Integer("--variable", items[0], 0, 2);
    v.start = Integer("--variable", items[1], 0, gateway::kTwoDigitMax);
    v.length = Integer("--variable", items[2], 4, 8);
    if (v.length != 4 && v.length != 8)
      BadUsage(QStringLiteral("--variable: the length '%1' is not 4 or 8").arg(items[2]));
    c.variables[static_cast<std::size_t>(n - 1)] = v;
  }
  for (int k = 1; k <= 2; ++k) {
    const QString bytes = QStringLiteral("read%1").arg(k);
    const QString enable = QStringLiteral("read%1-enable").arg(k);
    if (p.isSet(bytes))
      c.readBytes[static_cast<std::size_t>(k - 1)] =
          HexBytes(QStringLiteral("--") + bytes, p.value(bytes), gateway::kReadMeterCommandLimit);
    if (p.isSet(enable))
      c.readEnabled[static_cast<std::size_t>(k - 1)] = OnOff(enable, p.value(enable)) == 1;
  }
  if (!c.Groups()) BadUsage(QStringLiteral("meter set needs at least one setting"));
  return c;
}

int MeterSet(Session& s, int meter, const MeterChanges& c) {
  MeterSettings wanted = s.ReadMeter(meter);
  c.ApplyTo(wanted);
  if (c.Custom() && wanted.instrumentType != 0)
    BadUsage(QStringLiteral("custom parsing belongs to instrument type 0 (custom meter); meter %1 "
                            "is type %2")
                 .arg(meter)
                 .arg(wanted.instrumentType));
  for (int k = 1; k <= 2; ++k) {
    const std::size_t i = static_cast<std::size_t>(k - 1);
    if (c.readEnabled[i] && !c.readBytes[i] && wanted.custom->readCommands[i].bytes.empty())
      BadUsage(QStringLiteral("read-meter command %1 has no bytes yet: give --read%1 too").arg(k));
  }
  const std::vector<Request> requests = Requests(gateway::MeterCommands(meter, wanted, c.Groups()));
  if (s.dryRun) {
    s.ShowDryRun(requests);
    return kDone;
  }
  const QJsonArray sent = s.Send(requests);
  const MeterSettings actual = s.ReadMeter(meter);
  MeterSettings expected = actual;
  c.ApplyTo(expected);
  if (!c.Custom()) expected.custom.reset();  // compared only where written
  s.Verify(Lines(gateway::Differences(meter, expected, actual)),
           {{QStringLiteral("sent"), sent}, {QStringLiteral("meter"), ToJson(meter, actual)}});
  return kDone;
}

}  // namespace

int RunMeter(Session& s, const CommandLine& line) {
  Expect(line.words, 2, QStringLiteral("meter N get|set [settings]"));
  const int meter = MeterNumber(line.words[0]);
  if (line.verb == QLatin1String("get")) return MeterGet(s, meter);
  if (line.verb == QLatin1String("set")) return MeterSet(s, meter, ParseMeterChanges(line.options));
  BadUsage(QStringLiteral("usage: kv770ctl meter N get|set [settings]"));
}

}  // namespace kv770::cli
