#include "cli/ctl.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <optional>
#include <span>

#include "cli/backup_file.h"
#include "cli/failure.h"
#include "cli/link.h"
#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/fields.h"
#include "gateway/hex_bytes.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "hart/settings_commands.h"
#include "hart/units.h"
#include "link/errors.h"
#include "link/file_output.h"
#include "link/trace.h"
#include "tools/calculator_input.h"
#include "tools/float_text.h"
#include "tools/modbus_frames.h"
#include "tools/register_values.h"

#ifndef KV770_VERSION
#define KV770_VERSION "0"
#endif

namespace kv770::cli {

namespace {

constexpr int kDefaultTimeoutMs = 3000;
// The window's "Preamble Length:" at start-up.
constexpr int kDefaultFramePreambles = 6;

using gateway::kByteOrders;
using gateway::kCoefficients;
using gateway::kParsingFormat;
using gateway::kPollingInterval;
using gateway::kPollingSetup;
using gateway::kReadCommand1;
using gateway::kReadCommand2;
using gateway::kRs485;
using gateway::kSlaveAddress;
using gateway::kWorkingMode;

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList Names(std::span<const std::string_view> names) {
  QStringList list;
  for (std::string_view name : names) list << Text(name);
  return list;
}

QStringList Lines(const gateway::Lines& lines) {
  QStringList list;
  for (const std::string& line : lines) list << QString::fromStdString(line);
  return list;
}

const QStringList kParityNames = Names(gateway::kParityNames);

// A command as the run shows and sends it.
struct Request {
  QString what;
  QByteArray bytes;
};

std::vector<Request> Requests(const std::vector<gateway::Request>& requests) {
  std::vector<Request> list;
  for (const gateway::Request& r : requests)
    list.push_back({QString::fromStdString(r.what), QByteArray::fromStdString(r.bytes)});
  return list;
}

[[noreturn]] void BadUsage(const QString& message) {
  throw Failure{kBadUsage, message};
}

// ---- values typed by the user ------------------------------------------------------------
// Refused with the window's own words, before anything is sent.

int Integer(const QString& text, int lo, int hi) {
  return cycle::StrToIntInRange(text, lo, hi);
}

int Choice(const QString& option, const QString& text, const QStringList& names,
           const QStringList& aliases = {}) {
  const QString lower = text.toLower();
  int index = names.indexOf(lower);
  if (index < 0) index = aliases.indexOf(lower);
  if (index < 0)
    BadUsage(QStringLiteral("--%1: '%2' is not one of %3")
                 .arg(option, text, names.join(QStringLiteral(", "))));
  return index;
}

int BaudRate(const QString& text) {
  const int rate = cycle::StrToInt(text);
  for (int offered : gateway::kRs485BaudRates)
    if (rate == offered) return rate;
  BadUsage(QStringLiteral("'%1' is not a baud rate of the gateway (%2)")
               .arg(text, Text(gateway::BaudRateList())));
}

int OnOff(const QString& option, const QString& text) {
  return Choice(option, text, {QStringLiteral("close"), QStringLiteral("open")},
                {QStringLiteral("off"), QStringLiteral("on")});
}

// A comma-separated list of exactly `count` items.
QStringList Items(const QString& option, const QString& text, int count) {
  const QStringList items = text.split(QLatin1Char(','));
  if (items.size() != count)
    BadUsage(QStringLiteral("--%1: '%2' is not a list of %3 values separated by commas")
                 .arg(option, text)
                 .arg(count));
  return items;
}

std::vector<std::uint8_t> HexBytes(const QString& text, int limit) {
  const gateway::HexBytes parsed = gateway::ParseHexBytes(text.toLatin1().toStdString(), limit);
  if (!parsed.ok()) BadUsage(QString::fromLatin1(parsed.error));
  return parsed.bytes;
}

// ---- showing bytes -----------------------------------------------------------------------

// Text as it stands when it is all printable, else digit pairs.
QString Shown(const QByteArray& bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      return QString::fromLatin1(bytes.toHex(' ').toUpper());
  return QString::fromLatin1(bytes);
}

QString Hex(const QByteArray& bytes) {
  return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
          static_cast<std::size_t>(bytes.size())};
}

template <typename Container>
QByteArray Bytes(const Container& c) {
  return QByteArray(reinterpret_cast<const char*>(c.data()), static_cast<qsizetype>(c.size()));
}

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// ---- one run ----------------------------------------------------------------------------

class Session {
 public:
  Session(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}

  bool json = false;
  bool dryRun = false;
  // Standard output carries a file (backup -): every line for people goes
  // to standard error instead.
  bool fileOnStdout = false;
  int timeoutMs = kDefaultTimeoutMs;
  link::Trace trace;  // before the link, which writes to it
  std::unique_ptr<Link> link;

  // A line for people; nothing with --json.
  void Say(const QString& line) {
    if (json) return;
    (fileOnStdout ? err_ : out_) << line << Qt::endl;
  }
  void Note(const QString& line) { err_ << "kv770ctl: " << line << Qt::endl; }
  void Print(const QJsonObject& object) {
    out_ << QJsonDocument(object).toJson(QJsonDocument::Indented);
    out_.flush();
  }
  void Result(const QJsonObject& object) {
    if (json) Print(object);
  }

  Link& Connected() {
    if (!link)
      BadUsage(QStringLiteral("say which link: --tcp HOST[:PORT] or --serial DEV (see --help)"));
    if (!open_) {
      link->Open();
      open_ = true;
    }
    return *link;
  }

  // One request and its reply; no reply within the time-out ends the run.
  QByteArray Exchange(const QByteArray& request, const Completion& complete = {}) {
    const QByteArray reply = Connected().Exchange(request, complete);
    if (reply.isEmpty())
      throw Failure{kDeviceFailed, QStringLiteral("no answer from the gateway within %1 ms to %2")
                                       .arg(timeoutMs)
                                       .arg(Shown(request))};
    return reply;
  }

  SystemSettings ReadSystem() {
    const QByteArray reply = Exchange(QByteArray::fromStdString(gateway::SystemReportQuery()));
    return FromReport([&] { return gateway::SystemFromReport(View(reply)); });
  }
  MeterSettings ReadMeter(int meter) {
    const QByteArray reply =
        Exchange(QByteArray::fromStdString(gateway::ModbusReportQuery(meter - 1)));
    return FromReport([&] { return gateway::MeterFromReport(meter, View(reply)); });
  }

  // Sends set commands one by one, each shown with its reply. On a serial
  // link a new RS-485 setting moves the port along with the gateway.
  QJsonArray Send(const std::vector<Request>& requests, const SystemSettings* system = nullptr) {
    QJsonArray sent;
    for (const Request& r : requests) {
      const QByteArray reply = Exchange(r.bytes);
      Say(QStringLiteral("%1: %2 -> %3").arg(r.what, Shown(r.bytes), Shown(reply)));
      sent.append(QJsonObject{{QStringLiteral("what"), r.what},
                              {QStringLiteral("request"), Shown(r.bytes)},
                              {QStringLiteral("reply"), Shown(reply)}});
      if (system && r.bytes.startsWith("QQS#BA1:")) FollowRs485(*system);
    }
    return sent;
  }

  void ShowDryRun(const std::vector<Request>& requests) {
    QJsonArray list;
    for (const Request& r : requests) {
      Say(QStringLiteral("%1: %2").arg(r.what, Shown(r.bytes)));
      list.append(QJsonObject{{QStringLiteral("what"), r.what},
                              {QStringLiteral("request"), Shown(r.bytes)}});
    }
    Result({{QStringLiteral("dryRun"), true}, {QStringLiteral("requests"), list}});
  }

  // Differences found after writing: each shown, and the run fails.
  void Verify(const QStringList& differences, QJsonObject result) {
    result.insert(QStringLiteral("verified"), differences.isEmpty());
    result.insert(QStringLiteral("differences"), QJsonArray::fromStringList(differences));
    if (json) Print(result);
    if (differences.isEmpty()) {
      Say(QStringLiteral("verified: the gateway reports what was written"));
      return;
    }
    for (const QString& d : differences) err_ << "not taken: " << d << Qt::endl;
    throw Failure{kDeviceFailed,
                  QStringLiteral("%1 setting(s) did not take").arg(differences.size())};
  }

 private:
  // A report that no command could have written is the gateway's fault.
  template <typename Read>
  static auto FromReport(Read read) -> decltype(read()) {
    try {
      return read();
    } catch (const gateway::ReportError& e) {
      throw Failure{kDeviceFailed, QString::fromStdString(e.what())};
    }
  }

  void FollowRs485(const SystemSettings& system) {
    auto* serial = dynamic_cast<SerialLink*>(link.get());
    if (!serial) return;
    serial->Reopen(system.baudRate, system.parity);
    Say(QStringLiteral("serial port reopened at %1 bit/s, parity %2")
            .arg(system.baudRate)
            .arg(ParityName(system.parity)));
  }

  QTextStream& out_;
  QTextStream& err_;
  bool open_ = false;
};

// ---- check ---------------------------------------------------------------------------------

int Check(Session& s) {
  const QByteArray reply = s.Exchange(QByteArray::fromStdString(gateway::CommunicationCheck()));
  const bool answers = gateway::AnswersCommunicationCheck(View(reply));
  s.Result({{QStringLiteral("answers"), answers}, {QStringLiteral("reply"), Shown(reply)}});
  if (!answers)
    throw Failure{kDeviceFailed,
                  QStringLiteral("the reply holds no \"QV:\": %1").arg(Shown(reply))};
  s.Say(QStringLiteral("the gateway answers: %1").arg(Shown(reply)));
  return kDone;
}

// ---- system ---------------------------------------------------------------------------------

void SaySystem(Session& s, const SystemSettings& v) {
  s.Say(QStringLiteral("baud rate         %1 bit/s").arg(v.baudRate));
  s.Say(QStringLiteral("parity            %1").arg(ParityName(v.parity)));
  s.Say(QStringLiteral("working mode      %1")
            .arg(v.workingMode ? QStringLiteral("MODBUS RTU") : QStringLiteral("transparent")));
  s.Say(QStringLiteral("slave address     %1").arg(v.slaveAddress));
  s.Say(QStringLiteral("polling interval  %1 (%2 ms)")
            .arg(v.pollingInterval)
            .arg(v.pollingInterval * 10));
}

struct SystemChanges {
  std::optional<int> baudRate, parity, workingMode, slaveAddress, pollingInterval;

  unsigned Groups() const {
    return (workingMode ? kWorkingMode : 0u) | (slaveAddress ? kSlaveAddress : 0u) |
           (pollingInterval ? kPollingInterval : 0u) | (baudRate || parity ? kRs485 : 0u);
  }
  void ApplyTo(SystemSettings& s) const {
    s.baudRate = baudRate.value_or(s.baudRate);
    s.parity = parity.value_or(s.parity);
    s.workingMode = workingMode.value_or(s.workingMode);
    s.slaveAddress = slaveAddress.value_or(s.slaveAddress);
    s.pollingInterval = pollingInterval.value_or(s.pollingInterval);
  }
};

int SystemGet(Session& s) {
  const SystemSettings settings = s.ReadSystem();
  SaySystem(s, settings);
  s.Result(ToJson(settings));
  return kDone;
}

int SystemSet(Session& s, const QCommandLineParser& p) {
  SystemChanges c;
  if (p.isSet("baud")) c.baudRate = BaudRate(p.value("baud"));
  if (p.isSet("parity")) c.parity = Choice("parity", p.value("parity"), kParityNames);
  if (p.isSet("mode"))
    c.workingMode =
        Choice("mode", p.value("mode"), {QStringLiteral("transparent"), QStringLiteral("modbus")},
               {QStringLiteral("transparent"), QStringLiteral("modbus-rtu")});
  if (p.isSet("address")) c.slaveAddress = Integer(p.value("address"), 0, gateway::kThreeDigitMax);
  if (p.isSet("interval"))
    c.pollingInterval = Integer(p.value("interval"), 0, gateway::kThreeDigitMax);
  if (!c.Groups())
    BadUsage(
        QStringLiteral("system set needs one of --baud, --parity, --mode, --address, --interval"));

  // Baud rate and parity travel together: one given alone keeps the other.
  SystemSettings wanted;
  if (c.baudRate.has_value() != c.parity.has_value()) wanted = s.ReadSystem();
  c.ApplyTo(wanted);
  const std::vector<Request> requests = Requests(gateway::SystemCommands(wanted, c.Groups()));
  if (s.dryRun) {
    s.ShowDryRun(requests);
    return kDone;
  }
  const QJsonArray sent = s.Send(requests, &wanted);
  const SystemSettings actual = s.ReadSystem();
  SystemSettings expected = actual;
  c.ApplyTo(expected);
  s.Verify(Lines(gateway::Differences(expected, actual)),
           {{QStringLiteral("sent"), sent}, {QStringLiteral("system"), ToJson(actual)}});
  return kDone;
}

// ---- meters ----------------------------------------------------------------------------------

void SayMeter(Session& s, int meter, const MeterSettings& m) {
  s.Say(QStringLiteral("meter %1").arg(meter));
  s.Say(QStringLiteral("  enabled            %1").arg(m.enabled ? "yes" : "no"));
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
              .arg(c.enabled ? QStringLiteral("open") : QStringLiteral("close"))
              .arg(c.bytes.empty() ? QString()
                                   : QStringLiteral(", ") +
                                         QString::fromStdString(gateway::FormatHexBytes(c.bytes))));
  }
}

int MeterNumber(const QString& text) {
  return Integer(text, 1, kMeters);
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
    c.deviceMode = Choice("device-mode", p.value("device-mode"),
                          {QStringLiteral("secondary"), QStringLiteral("master")});
  if (p.isSet("type")) c.instrumentType = Integer(p.value("type"), 0, 13);
  if (p.isSet("preambles")) c.preambles = Integer(p.value("preambles"), 4, 9);
  if (p.isSet("clear-time"))
    c.bufferClearTime = Integer(p.value("clear-time"), 0, gateway::kThreeDigitMax);
  if (p.isSet("orders")) {
    const QStringList items = Items("orders", p.value("orders"), 5);
    std::array<int, 5> orders{};
    for (int i = 0; i < 5; ++i)
      orders[static_cast<std::size_t>(i)] = Integer(items[i], 0, i == 0 ? 1 : 3);
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
  if (p.isSet("address-bits")) c.addressBits = Integer(p.value("address-bits"), 3, 9);
  for (const QString& value : p.values("variable")) {
    // N=COMMAND,START,LENGTH
    const qsizetype eq = value.indexOf(QLatin1Char('='));
    if (eq < 0)
      BadUsage(QStringLiteral("--variable: '%1' is not N=COMMAND,START,LENGTH").arg(value));
    const int n = Integer(value.left(eq), 1, 4);
    const QStringList items = Items("variable", value.mid(eq + 1), 3);
    VariableParsing v;
    v.command = Integer(items[0], 0, 2);
    v.start = Integer(items[1], 0, gateway::kTwoDigitMax);
    v.length = Integer(items[2], 4, 8);
    if (v.length != 4 && v.length != 8)
      BadUsage(QStringLiteral("--variable: the length '%1' is not 4 or 8").arg(items[2]));
    c.variables[static_cast<std::size_t>(n - 1)] = v;
  }
  for (int k = 1; k <= 2; ++k) {
    const QString bytes = QStringLiteral("read%1").arg(k);
    const QString enable = QStringLiteral("read%1-enable").arg(k);
    if (p.isSet(bytes))
      c.readBytes[static_cast<std::size_t>(k - 1)] =
          HexBytes(p.value(bytes), gateway::kReadMeterCommandLimit);
    if (p.isSet(enable))
      c.readEnabled[static_cast<std::size_t>(k - 1)] = OnOff(enable, p.value(enable)) == 1;
  }
  if (!c.Groups()) BadUsage(QStringLiteral("meter set needs at least one setting (see --help)"));
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

// ---- HART ------------------------------------------------------------------------------------

struct FrameOptions {
  int preambles = kDefaultFramePreambles;
  std::uint8_t masterBit = hart::MasterBit(0);
};

FrameOptions ParseFrameOptions(const QCommandLineParser& p) {
  FrameOptions f;
  if (p.isSet("preambles"))
    f.preambles = Integer(p.value("preambles"), hart::kMinPreambleNumber, hart::kMaxPreambleNumber);
  // The window's "HART Command Mode:" list: 0 master, 1 secondary master.
  f.masterBit = hart::MasterBit(p.isSet("secondary") ? 1 : 0);
  return f;
}

const Completion kHartFrame = [](const QByteArray& reply) {
  return hart::ReplyComplete(Span(reply));
};

// "response code 0 (success), device status 00".
QString ReplyStatus(const hart::CheckedReply& r) {
  const QString name = QString::fromStdString(hart::ResponseCodeName(r.responseCode));
  return QStringLiteral("response code %1%2, device status %3")
      .arg(r.responseCode)
      .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name))
      .arg(QStringLiteral("%1").arg(r.deviceStatus, 2, 16, QLatin1Char('0')).toUpper());
}

// Sends one HART request and returns its reply once the frame is sound:
// noise that happens to hold FF 06 is no answer.
QByteArray HartExchange(Session& s, const hart::Bytes& body, const FrameOptions& f,
                        unsigned minimumCount, hart::CheckedReply* checked = nullptr) {
  const QByteArray reply = s.Exchange(Bytes(hart::Frame(f.preambles, body)), kHartFrame);
  const hart::CheckedReply r = hart::CheckReply(Span(reply), body, minimumCount);
  if (!r.ok())
    throw Failure{kDeviceFailed, QStringLiteral("not a valid HART reply: %1: %2")
                                     .arg(QString::fromStdString(r.error), Hex(reply))};
  if (checked) *checked = r;
  return reply;
}

hart::Identity Identify(Session& s, const FrameOptions& f, hart::CheckedReply* checked = nullptr) {
  const QByteArray reply =
      HartExchange(s, hart::IdentityRequestBody(f.masterBit), f, hart::kIdentityByteCount, checked);
  return *hart::DecodeIdentity(Span(reply));  // the sound frame holds every field
}

QJsonObject ToJson(const hart::Identity& id) {
  return {{QStringLiteral("manufacturer"), id.manufacturer},
          {QStringLiteral("deviceType"), id.deviceType},
          {QStringLiteral("preambles"), id.preambles},
          {QStringLiteral("deviceId"), static_cast<qint64>(id.deviceId)}};
}

int HartAddress(Session& s, const QString& text) {
  const int address = Integer(text, 1, 8);
  const Request r{QStringLiteral("HART address"),
                  QByteArray::fromStdString(hart::HartAddressCommand(address - 1))};
  if (s.dryRun) {
    s.ShowDryRun({r});
    return kDone;
  }
  const QJsonArray sent = s.Send({r});
  s.Result({{QStringLiteral("sent"), sent}});
  return kDone;
}

int HartIdentity(Session& s, const FrameOptions& f) {
  hart::CheckedReply checked;
  const hart::Identity id = Identify(s, f, &checked);
  s.Say(ReplyStatus(checked));
  s.Say(QStringLiteral("manufacturer  %1").arg(id.manufacturer));
  s.Say(QStringLiteral("device type   %1").arg(id.deviceType));
  s.Say(QStringLiteral("preambles     %1").arg(id.preambles));
  s.Say(QStringLiteral("device id     %1").arg(id.deviceId));
  QJsonObject result = ToJson(id);
  result.insert(QStringLiteral("responseCode"), checked.responseCode);
  result.insert(QStringLiteral("deviceStatus"), checked.deviceStatus);
  s.Result(result);
  return kDone;
}

int HartVariables(Session& s, const FrameOptions& f, std::optional<hart::Identity> id) {
  if (!id) id = Identify(s, f);
  hart::CheckedReply checked;
  const QByteArray reply = HartExchange(s, hart::VariablesRequestBody(f.masterBit, *id), f,
                                        hart::kVariablesByteCount, &checked);
  // Only the variables the byte count holds whole.
  std::vector<hart::DynamicVariable> variables = hart::DecodeDynamicVariables(Span(reply));
  variables.resize(std::min<std::size_t>(
      variables.size(),
      1 + (checked.byteCount - hart::kVariablesByteCount) / hart::kVariableBytes));
  s.Say(ReplyStatus(checked));
  QJsonArray list;
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const hart::DynamicVariable& v = variables[i];
    const QString value = QString::fromStdString(tools::HartValueTextUncut(v.value));
    const std::string_view unitText = hart::UnitText(hart::UnitPosition(v.unitCode));
    const QString unit =
        QString::fromUtf8(unitText.data(), static_cast<qsizetype>(unitText.size())).trimmed();
    s.Say(QStringLiteral("variable %1  %2 %3 (unit code %4)")
              .arg(i + 1)
              .arg(value, unit)
              .arg(v.unitCode));
    list.append(QJsonObject{{QStringLiteral("variable"), static_cast<int>(i + 1)},
                            {QStringLiteral("value"), static_cast<double>(v.value)},
                            {QStringLiteral("text"), value},
                            {QStringLiteral("unit"), unit},
                            {QStringLiteral("unitCode"), v.unitCode}});
  }
  s.Result({{QStringLiteral("identity"), ToJson(*id)},
            {QStringLiteral("responseCode"), checked.responseCode},
            {QStringLiteral("deviceStatus"), checked.deviceStatus},
            {QStringLiteral("variables"), list}});
  return kDone;
}

int HartSend(Session& s, const FrameOptions& f, const std::vector<std::uint8_t>& body) {
  const QByteArray frame = Bytes(hart::Frame(f.preambles, body));
  if (s.dryRun) {
    s.ShowDryRun({{QStringLiteral("HART frame"), frame}});
    return kDone;
  }
  hart::CheckedReply checked;
  const QByteArray reply = HartExchange(s, body, f, 2, &checked);
  s.Say(QStringLiteral("sent   %1").arg(Hex(frame)));
  s.Say(QStringLiteral("reply  %1").arg(Hex(reply)));
  s.Say(ReplyStatus(checked));
  s.Result({{QStringLiteral("request"), Hex(frame)},
            {QStringLiteral("reply"), Hex(reply)},
            {QStringLiteral("responseCode"), checked.responseCode},
            {QStringLiteral("deviceStatus"), checked.deviceStatus}});
  return kDone;
}

// ---- MODBUS -----------------------------------------------------------------------------------

QString ExceptionName(std::uint8_t code) {
  switch (code) {
    case 1:
      return QStringLiteral("illegal function");
    case 2:
      return QStringLiteral("illegal data address");
    case 3:
      return QStringLiteral("illegal data value");
    case 4:
      return QStringLiteral("slave device failure");
    case 11:
      return QStringLiteral("gateway target device failed to respond");
    default:
      return QStringLiteral("exception");
  }
}

QString OrderName(int code) {
  switch (code) {
    case 1:
      return QStringLiteral("IEEE 754, FF2 FF1 FF4 FF3");
    case 2:
      return QStringLiteral("unsigned, FF4 FF3 FF2 FF1");
    case 3:
      return QStringLiteral("unsigned, FF2 FF1 FF4 FF3");
    default:
      return QStringLiteral("IEEE 754, FF4 FF3 FF2 FF1");
  }
}

struct ModbusRead {
  std::uint8_t slave = 1;
  std::uint8_t start = 0;
  std::uint8_t count = 10;
  std::optional<int> order;
};

int ModbusReadCommand(Session& s, const ModbusRead& m, bool serial) {
  const QByteArray frame = serial ? Bytes(tools::RtuReadRequest(m.slave, m.start, m.count))
                                  : Bytes(tools::TcpReadRequest(m.slave, m.start, m.count));
  if (s.dryRun) {
    s.ShowDryRun(
        {{serial ? QStringLiteral("MODBUS RTU read") : QStringLiteral("MODBUS TCP read"), frame}});
    return kDone;
  }
  const auto decode = [serial](const QByteArray& reply) {
    return serial ? tools::DecodeRtuReadReply(Span(reply)) : tools::DecodeTcpReadReply(Span(reply));
  };
  const QByteArray bytes = s.Exchange(frame, [&](const QByteArray& reply) {
    return decode(reply).status != tools::ReadReply::Status::Incomplete;
  });
  const tools::ReadReply reply = decode(bytes);
  if (reply.status == tools::ReadReply::Status::Exception)
    throw Failure{kDeviceFailed, QStringLiteral("the gateway refused the read: exception %1 (%2)")
                                     .arg(reply.exceptionCode)
                                     .arg(ExceptionName(reply.exceptionCode))};
  if (reply.status != tools::ReadReply::Status::Complete)
    throw Failure{kDeviceFailed,
                  QStringLiteral("the reply is no answer to the read: %1").arg(Hex(bytes))};

  const int received = static_cast<int>(reply.data.size() / 2);
  if (received != m.count)
    s.Note(
        QStringLiteral("asked for %1 registers, the gateway sent %2").arg(m.count).arg(received));
  QJsonArray registers;
  s.Say(QStringLiteral("slave %1, registers %2 to %3:")
            .arg(reply.unit)
            .arg(m.start)
            .arg(m.start + received - 1));
  for (int i = 0; i < received; ++i) {
    const int value = reply.data[static_cast<std::size_t>(2 * i)] << 8 |
                      reply.data[static_cast<std::size_t>(2 * i + 1)];
    registers.append(value);
    s.Say(QStringLiteral("  %1  %2  %3")
              .arg(40001 + m.start + i)
              .arg(value, 4, 16, QLatin1Char('0'))
              .arg(value, 5)
              .toUpper());
  }

  // The 32-bit values the registers hold, each in its meter's byte order.
  QJsonArray values;
  std::map<int, std::array<int, 5>> orders;  // by meter
  for (int i = 0; i + 1 < received; ++i) {
    const int r = m.start + i;
    if (r % 2 != 0) continue;
    const int meter = r / tools::kRegistersPerMeter + 1;
    const int value = r % tools::kRegistersPerMeter / 2;  // 0 the current, 1..4 the variables
    if (meter > kMeters) break;
    int order = 0;
    if (m.order) {
      order = *m.order;
    } else {
      if (!orders.count(meter)) orders[meter] = s.ReadMeter(meter).byteOrders;
      order = orders[meter][static_cast<std::size_t>(value)];
    }
    const std::array<std::uint8_t, 4> four{reply.data[static_cast<std::size_t>(2 * i)],
                                           reply.data[static_cast<std::size_t>(2 * i + 1)],
                                           reply.data[static_cast<std::size_t>(2 * i + 2)],
                                           reply.data[static_cast<std::size_t>(2 * i + 3)]};
    const QString text = QString::fromStdString(tools::RegisterValueText(four, order));
    const QString name =
        value == 0 ? QStringLiteral("current") : QStringLiteral("variable %1").arg(value);
    if (values.isEmpty()) s.Say(QStringLiteral("values:"));
    s.Say(QStringLiteral("  %1  meter %2 %3  %4  (%5)")
              .arg(40001 + r)
              .arg(meter)
              .arg(name, -10)
              .arg(text, OrderName(order)));
    values.append(QJsonObject{{QStringLiteral("register"), 40001 + r},
                              {QStringLiteral("meter"), meter},
                              {QStringLiteral("value"), name},
                              {QStringLiteral("byteOrder"), order},
                              {QStringLiteral("text"), text}});
  }
  s.Result({{QStringLiteral("slave"), reply.unit},
            {QStringLiteral("start"), m.start},
            {QStringLiteral("registers"), registers},
            {QStringLiteral("values"), values}});
  return kDone;
}

// ---- IEEE 754 -----------------------------------------------------------------------------------

int Ieee754(Session& s, const QString& text) {
  std::string chars;
  for (QChar c : text) chars += c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7F';
  const tools::CalculatorInput input = tools::ParseCalculatorInput(chars);
  switch (input.error) {
    case tools::CalculatorInput::Error::NoSeparator:
      BadUsage(QStringLiteral("input data without spaces"));
    case tools::CalculatorInput::Error::IllegalCharacters:
      BadUsage(QStringLiteral("there are illegal characters, please re-enter!"));
    case tools::CalculatorInput::Error::None:
      break;
  }
  const QString value = QString::fromStdString(tools::CalculatorTextUncut(input.Pattern()));
  s.Say(value);
  s.Result(
      {{QStringLiteral("bytes"), Hex(Bytes(input.bytes))},
       {QStringLiteral("pattern"),
        QStringLiteral("0x") +
            QString::number(input.Pattern(), 16).rightJustified(8, QLatin1Char('0')).toUpper()},
       {QStringLiteral("value"), value}});
  return kDone;
}

// ---- backup and restore
// ---------------------------------------------------------------------------

GatewayConfig ReadConfig(Session& s) {
  GatewayConfig config;
  config.system = s.ReadSystem();
  for (int meter = 1; meter <= kMeters; ++meter)
    config.meters[static_cast<std::size_t>(meter - 1)] = s.ReadMeter(meter);
  return config;
}

int Backup(Session& s, const QString& path) {
  const bool toStdout = path == QLatin1String("-");
  s.fileOnStdout = toStdout;
  Check(s);
  const GatewayConfig config = ReadConfig(s);
  const QJsonObject backup = BackupToJson(config, s.link->Describe(), QDateTime::currentDateTime());
  if (toStdout) {
    s.Print(backup);  // main() reports a standard output that could not take it
    return kDone;
  }
  // Replaced only by a whole backup: a full disk leaves the old one.
  const QString failed =
      link::WriteWholeFile(path, QJsonDocument(backup).toJson(QJsonDocument::Indented));
  if (!failed.isEmpty())
    throw Failure{kDeviceFailed, QStringLiteral("cannot write %1: %2").arg(path, failed)};
  int custom = 0;
  for (const MeterSettings& m : config.meters) custom += m.custom ? 1 : 0;
  s.Say(QStringLiteral("backup of %1 written to %2: system settings and %3 meters (%4 custom)")
            .arg(s.link->Describe(), path)
            .arg(kMeters)
            .arg(custom));
  s.Result({{QStringLiteral("file"), path}, {QStringLiteral("backup"), backup}});
  return kDone;
}

// A backup file, or standard input for "-"; refused beyond any backup's
// size rather than read without end.
QByteArray ReadBackupFile(const QString& path) {
  constexpr qint64 kMaxBackupBytes = 1024 * 1024;
  QFile file;
  const bool opened = path == QLatin1String("-")
                          ? file.open(stdin, QIODevice::ReadOnly)
                          : (file.setFileName(path), file.open(QIODevice::ReadOnly));
  if (!opened) BadUsage(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
  QByteArray contents = file.read(kMaxBackupBytes + 1);
  if (contents.size() > kMaxBackupBytes)
    BadUsage(QStringLiteral("%1: more than %2 bytes; no backup is that long")
                 .arg(path)
                 .arg(kMaxBackupBytes));
  if (file.error() != QFileDevice::NoError)
    BadUsage(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
  return contents;
}

int Restore(Session& s, const QString& path) {
  const QByteArray contents = ReadBackupFile(path);
  GatewayConfig config;
  try {
    config = BackupFromJson(contents);
  } catch (const Failure& f) {
    throw Failure{f.exitCode, QStringLiteral("%1: %2").arg(path, f.message)};
  }
  const std::vector<Request> requests = Requests(gateway::RestoreCommands(config));
  if (s.dryRun) {
    s.ShowDryRun(requests);
    return kDone;
  }
  // A read-meter command of no bytes cannot be written: the gateway takes
  // 1 to 14. Whatever the gateway holds there stays, and shows below if it
  // differs.
  QStringList empty;
  for (int meter = 1; meter <= kMeters; ++meter) {
    const auto& custom = config.meters[static_cast<std::size_t>(meter - 1)].custom;
    if (!custom) continue;
    for (int k = 1; k <= 2; ++k)
      if (custom->readCommands[static_cast<std::size_t>(k - 1)].bytes.empty())
        empty << QStringLiteral("%1.%2").arg(meter).arg(k);
  }
  if (!empty.isEmpty())
    s.Say(QStringLiteral("read-meter commands without bytes, left as they are (meter.command): %1")
              .arg(empty.join(QLatin1Char(' '))));
  const QJsonArray sent = s.Send(requests, &config.system);
  const GatewayConfig actual = ReadConfig(s);
  s.Say(QStringLiteral("%1 commands sent; reading back").arg(requests.size()));
  s.Verify(Lines(gateway::Differences(config, actual)),
           {{QStringLiteral("file"), path}, {QStringLiteral("sent"), sent}});
  return kDone;
}

// ---- the command line
// ------------------------------------------------------------------------------

QCommandLineOption Flag(const char* name, const char* help) {
  return QCommandLineOption(QLatin1String(name), QLatin1String(help));
}

void CommonOptions(QCommandLineParser& p) {
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  p.addOption(Flag("json", "Print the result as JSON."));
  p.addOption(Flag("dry-run", "Print the set commands instead of sending them."));
  p.addOption(
      QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Help.")));
}

// Returns the names it added.
QStringList FamilyOptions(QCommandLineParser& p, const QString& family) {
  QStringList names;
  const auto Value = [&](const char* name, const char*, const char*) {
    names << QLatin1String(name);
    return QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("V"));
  };
  const auto Flag = [&](const char* name, const char*) {
    names << QLatin1String(name);
    return QCommandLineOption(QLatin1String(name), QString());
  };
  if (family == QLatin1String("system")) {
    p.addOption(Value("baud", "", "N"));
    p.addOption(Value("parity", "", "P"));
    p.addOption(Value("mode", "", "M"));
    p.addOption(Value("address", "", "N"));
    p.addOption(Value("interval", "", "N"));
  } else if (family == QLatin1String("meter")) {
    for (const char* name :
         {"enable", "device-mode", "type", "preambles", "clear-time", "orders", "coefficients",
          "address-bits", "variable", "read1", "read1-enable", "read2", "read2-enable"})
      p.addOption(Value(name, "", "V"));
  } else if (family == QLatin1String("hart")) {
    p.addOption(Value("preambles", "", "N"));
    p.addOption(Flag("secondary", ""));
    p.addOption(Value("id", "", "MAN,TYPE,ID"));
  } else if (family == QLatin1String("modbus")) {
    p.addOption(Value("slave", "", "N"));
    p.addOption(Value("start", "", "N"));
    p.addOption(Value("count", "", "N"));
    p.addOption(Value("order", "", "CODE"));
  }
  return names;
}

// Options of the link and the run; they may also follow the command, where
// the command has no option of the same name.
const QStringList kRunValues = {"tcp", "serial",  "baud", "parity",
                                "com", "timeout", "gap",  "trace"};
const QStringList kRunFlags = {"dtr", "rts"};

// The options of the run, from before the command or after it.
class RunOptions {
 public:
  RunOptions(const QCommandLineParser& before, const QCommandLineParser& after, QStringList shared)
      : before_(before), after_(after), shared_(std::move(shared)) {}
  bool isSet(const QString& name) const {
    return before_.isSet(name) || (shared_.contains(name) && after_.isSet(name));
  }
  QString value(const QString& name) const {
    return shared_.contains(name) && after_.isSet(name) ? after_.value(name) : before_.value(name);
  }
  QStringList values(const QString& name) const {
    return before_.values(name) + (shared_.contains(name) ? after_.values(name) : QStringList());
  }

 private:
  const QCommandLineParser& before_;
  const QCommandLineParser& after_;
  QStringList shared_;
};

// Adds the run's options the command leaves free; returns their names.
QStringList AddRunOptions(QCommandLineParser& p, const QStringList& taken = {}) {
  QStringList added;
  for (const QString& name : kRunValues + kRunFlags) {
    if (taken.contains(name)) continue;
    p.addOption(kRunFlags.contains(name)
                    ? QCommandLineOption(name, QString())
                    : QCommandLineOption(name, QString(), QStringLiteral("V")));
    added << name;
  }
  return added;
}

// Names of the command's settings given, leaving out those of the run.
QStringList SettingsGiven(const QCommandLineParser& p, const QStringList& runOptions) {
  QStringList names = p.optionNames();
  names.removeAll(QStringLiteral("json"));
  names.removeAll(QStringLiteral("dry-run"));
  for (const QString& name : runOptions) names.removeAll(name);
  return names;
}

void Expect(const QStringList& words, qsizetype count, const QString& usage) {
  if (words.size() != count) BadUsage(QStringLiteral("usage: kv770ctl %1").arg(usage));
}

std::unique_ptr<Link> MakeLink(const RunOptions& p, int timeoutMs, int gapMs) {
  const bool tcp = p.isSet("tcp");
  const bool serial = p.isSet("serial");
  if (tcp && serial) BadUsage(QStringLiteral("--tcp and --serial: choose one link"));
  if (tcp) {
    QString host = p.value("tcp");
    int port = TcpLink::kDefaultPort;
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
      port = Integer(host.mid(colon + 1), 1, 65535);
      host = host.left(colon);
    }
    if (host.isEmpty()) BadUsage(QStringLiteral("--tcp: no host in '%1'").arg(p.value("tcp")));
    return std::make_unique<TcpLink>(host, port, timeoutMs, gapMs);
  }
  if (serial) {
    const int baud = p.isSet("baud") ? Integer(p.value("baud"), 1, 4000000) : 9600;
    const int parity = p.isSet("parity") ? Choice("parity", p.value("parity"), kParityNames) : 0;
    auto link = std::make_unique<SerialLink>(p.value("serial"), baud, parity, p.isSet("dtr"),
                                             p.isSet("rts"), timeoutMs);
    for (const QString& assignment : p.values("com")) {
      QString why;
      if (!link->Comm().Ports().Assign(assignment, &why))
        BadUsage(QStringLiteral("--com %1").arg(why));
    }
    return link;
  }
  if (p.isSet("baud") || p.isSet("parity") || p.isSet("dtr") || p.isSet("rts"))
    BadUsage(
        QStringLiteral("--baud, --parity, --dtr and --rts belong to --serial; for the "
                       "gateway's RS-485 side use 'system set --baud'"));
  return nullptr;
}

int Execute(Session& s, const QStringList& arguments, QTextStream& out) {
  QCommandLineParser global;
  global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  CommonOptions(global);
  global.addOption(Flag("version", "Version."));
  global.addOption(QCommandLineOption(QStringLiteral("v"), QStringLiteral("Version.")));
  AddRunOptions(global);
  if (!global.parse(QStringList{QStringLiteral("kv770ctl")} + arguments))
    BadUsage(global.errorText() + QStringLiteral(" (see kv770ctl --help)"));
  if (global.isSet("help")) {
    out << UsageText();
    return kDone;
  }
  if (global.isSet("version") || global.isSet("v")) {
    out << "kv770ctl " << KV770_VERSION << Qt::endl;
    return kDone;
  }
  const QStringList positional = global.positionalArguments();
  if (positional.isEmpty()) BadUsage(QStringLiteral("no command given (see kv770ctl --help)"));
  const QString family = positional.first();
  static const QStringList kFamilies = {"check",  "system",  "meter",  "hart",
                                        "modbus", "ieee754", "backup", "restore"};
  if (!kFamilies.contains(family))
    BadUsage(QStringLiteral("unknown command '%1' (see kv770ctl --help)").arg(family));

  QCommandLineParser sub;
  CommonOptions(sub);
  const QStringList shared = AddRunOptions(sub, FamilyOptions(sub, family));
  if (!sub.parse(QStringList{QStringLiteral("kv770ctl ") + family} + positional.mid(1)))
    BadUsage(sub.errorText() + QStringLiteral(" (see kv770ctl --help)"));
  if (sub.isSet("help")) {
    out << UsageText();
    return kDone;
  }
  const RunOptions run(global, sub, shared);
  s.json = global.isSet("json") || sub.isSet("json");
  s.dryRun = global.isSet("dry-run") || sub.isSet("dry-run");
  if (run.isSet("timeout")) s.timeoutMs = Integer(run.value("timeout"), 1, 600000);
  const int gapMs = run.isSet("gap") ? Integer(run.value("gap"), 1, 60000) : TcpLink::kDefaultGapMs;
  s.link = MakeLink(run, s.timeoutMs, gapMs);

  const QStringList words = sub.positionalArguments();
  const QString verb = words.value(family == QLatin1String("meter") ? 1 : 0);
  const bool sets = (family == QLatin1String("system") && verb == QLatin1String("set")) ||
                    (family == QLatin1String("meter") && verb == QLatin1String("set")) ||
                    (family == QLatin1String("hart") &&
                     (verb == QLatin1String("address") || verb == QLatin1String("send"))) ||
                    family == QLatin1String("modbus") || family == QLatin1String("restore");
  if (s.dryRun && !sets)
    BadUsage(QStringLiteral("--dry-run holds back set commands; '%1 %2' sends none")
                 .arg(family, verb)
                 .trimmed());
  const bool reads = (family == QLatin1String("system") || family == QLatin1String("meter")) &&
                     verb == QLatin1String("get");
  if ((reads || family == QLatin1String("check") || family == QLatin1String("backup") ||
       family == QLatin1String("restore") || family == QLatin1String("ieee754")) &&
      !SettingsGiven(sub, shared).isEmpty())
    BadUsage(QStringLiteral("'%1' takes no option --%2")
                 .arg(QStringLiteral("%1 %2").arg(family, reads ? verb : QString()).trimmed(),
                      SettingsGiven(sub, shared).first()));

  // Everything typed is checked above or in the command's own parse
  // before its first exchange; only then is the link opened.
  if (run.isSet("trace")) {
    if (!s.trace.Open(run.value("trace")))
      BadUsage(QStringLiteral("cannot write the trace %1: %2")
                   .arg(run.value("trace"), s.trace.ErrorString()));
    if (auto* tcp = dynamic_cast<TcpLink*>(s.link.get())) tcp->Socket().SetTrace(&s.trace);
    if (auto* serial = dynamic_cast<SerialLink*>(s.link.get())) serial->Comm().SetTrace(&s.trace);
  }

  if (family == QLatin1String("check")) {
    Expect(words, 0, QStringLiteral("check"));
    return Check(s);
  }
  if (family == QLatin1String("system")) {
    if (words == QStringList{QStringLiteral("get")}) return SystemGet(s);
    if (words == QStringList{QStringLiteral("set")}) return SystemSet(s, sub);
    BadUsage(QStringLiteral("usage: kv770ctl system get|set [settings]"));
  }
  if (family == QLatin1String("meter")) {
    Expect(words, 2, QStringLiteral("meter N get|set [settings]"));
    const int meter = MeterNumber(words[0]);
    if (verb == QLatin1String("get")) return MeterGet(s, meter);
    if (verb == QLatin1String("set")) return MeterSet(s, meter, ParseMeterChanges(sub));
    BadUsage(QStringLiteral("usage: kv770ctl meter N get|set [settings]"));
  }
  if (family == QLatin1String("hart")) {
    const FrameOptions frame = ParseFrameOptions(sub);
    const QStringList given = SettingsGiven(sub, shared);
    if (verb == QLatin1String("address")) {
      Expect(words, 2, QStringLiteral("hart address N"));
      if (!given.isEmpty())
        BadUsage(QStringLiteral("'hart address' takes no option --%1").arg(given.first()));
      return HartAddress(s, words[1]);
    }
    if (verb != QLatin1String("vars") && sub.isSet("id"))
      BadUsage(QStringLiteral("--id belongs to 'hart vars'"));
    if (verb == QLatin1String("identity")) {
      Expect(words, 1, QStringLiteral("hart identity"));
      return HartIdentity(s, frame);
    }
    if (verb == QLatin1String("vars")) {
      Expect(words, 1, QStringLiteral("hart vars [--id MAN,TYPE,ID]"));
      std::optional<hart::Identity> id;
      if (sub.isSet("id")) {
        const QStringList items = Items("id", sub.value("id"), 3);
        hart::Identity given;
        given.manufacturer = static_cast<std::uint8_t>(Integer(items[0], 0, 255));
        given.deviceType = static_cast<std::uint8_t>(Integer(items[1], 0, 255));
        given.deviceId = static_cast<std::uint32_t>(Integer(items[2], 0, 0xFFFFFF));
        id = given;
      }
      return HartVariables(s, frame, id);
    }
    if (verb == QLatin1String("send")) {
      Expect(words, 2, QStringLiteral("hart send \"02 80 00 00\""));
      return HartSend(s, frame, HexBytes(words[1], gateway::kManualCommandLimit));
    }
    BadUsage(QStringLiteral("usage: kv770ctl hart address N|identity|vars|send BYTES"));
  }
  if (family == QLatin1String("modbus")) {
    Expect(words, 1, QStringLiteral("modbus read [--slave N] [--start N] [--count N]"));
    if (verb != QLatin1String("read")) BadUsage(QStringLiteral("usage: kv770ctl modbus read"));
    // One byte each on the wire, as in the window.
    ModbusRead m;
    if (sub.isSet("slave"))
      m.slave = static_cast<std::uint8_t>(Integer(sub.value("slave"), 0, 255));
    if (sub.isSet("start"))
      m.start = static_cast<std::uint8_t>(Integer(sub.value("start"), 0, 255));
    if (sub.isSet("count"))
      m.count = static_cast<std::uint8_t>(Integer(sub.value("count"), 0, 255));
    if (sub.isSet("order")) m.order = Integer(sub.value("order"), 0, 3);
    if (!s.link)
      BadUsage(QStringLiteral("say which link: --tcp HOST[:PORT] or --serial DEV (see --help)"));
    return ModbusReadCommand(s, m, s.link->IsSerial());
  }
  if (family == QLatin1String("ieee754")) {
    Expect(words, 1, QStringLiteral("ieee754 \"41 20 00 00\""));
    return Ieee754(s, words[0]);
  }
  if (family == QLatin1String("backup")) {
    Expect(words, 1, QStringLiteral("backup FILE"));
    return Backup(s, words[0]);
  }
  Expect(words, 1, QStringLiteral("restore FILE [--dry-run]"));
  return Restore(s, words[0]);
}

}  // namespace

int Run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  Session session(out, err);
  int code = kDone;
  try {
    code = Execute(session, arguments, out);
  } catch (const Failure& f) {
    err << "kv770ctl: " << f.message << Qt::endl;
    code = f.exitCode;
  } catch (const EConvertError& e) {
    // Only values the user typed are converted outside the reports.
    err << "kv770ctl: " << e.Message() << Qt::endl;
    code = kBadUsage;
  } catch (const Error& e) {
    err << "kv770ctl: " << e.Message() << Qt::endl;
    code = kDeviceFailed;
  }
  // A trace with a hole is no record of the run.
  if (session.trace.Failed()) {
    err << "kv770ctl: cannot write the trace " << session.trace.Path() << ": "
        << session.trace.ErrorString() << Qt::endl;
    if (code == kDone) code = kDeviceFailed;
  }
  out.flush();
  err.flush();
  return code;
}

QString UsageText() {
  return QString::fromUtf8(
      R"usage(Usage: kv770ctl LINK [OPTIONS] COMMAND [ARGUMENTS] [COMMAND OPTIONS]

Configures and tests a KV770-W HART to MODBUS gateway from the command line:
one request, one reply, as the kv770-config window does, for scripts and for
commissioning many gateways with the same configuration.

Link (before the command):
  --tcp HOST[:PORT]     the gateway's TCP server (port 7000 unless given)
  --serial DEV|COMn     a serial port: a path (/dev/ttyUSB0), a name in /dev
                        (ttyUSB0) or COMn (/dev/ttyS(n-1), see --com)
  --baud N              serial bit rate (9600)
  --parity P            serial parity: none, odd, even (none)
  --dtr, --rts          raise DTR, RTS (both low, as in the window's default)
  --com COMn=PATH       where COMn leads; may be repeated
  --timeout MS          how long to wait for each reply (3000)
  --gap MS              silence that ends a TCP reply (100)
  --trace FILE          append every request and reply to FILE (time in ms,
                        link, direction, hexadecimal and ASCII)
  --json                print results as JSON
  --dry-run             print set commands instead of sending them (queries
                        needed to complete a partial setting still go out)
  -h, --help            this text
  -v, --version         the version

Commands:
  check                 communication check: does the gateway answer?
  system get            RS-485 baud rate and parity, working mode, MODBUS
                        slave address, meter polling interval
  system set            write system settings, then read them back:
      --baud N            RS-485 bit rate: 1200 2400 4800 9600 19200 38400 57600
      --parity P          none, odd, even
      --mode M            transparent, modbus
      --address N         MODBUS slave address, 0 to 999
      --interval N        polling interval in units of 10 ms, 0 to 999
  meter N get           the MODBUS mapping of meter N (1 to 8)
  meter N set           write settings of meter N, then read them back:
      --enable open|close          poll the meter or not
      --device-mode secondary|master
      --type N                     instrument type 0 to 13 (0: custom meter)
      --preambles N                preamble bytes the gateway sends, 4 to 9
      --clear-time N               buffer clear time in seconds, 0 to 999
      --orders C,V1,V2,V3,V4       byte-order codes of the current (0, 1)
                                   and of variables 1 to 4 (0 to 3):
                                   0 IEEE 754 FF4 FF3 FF2 FF1
                                   1 IEEE 754 FF2 FF1 FF4 FF3
                                   2 unsigned FF4 FF3 FF2 FF1
                                   3 unsigned FF2 FF1 FF4 FF3
      --coefficients A,B,C,D       coefficients of variables 1 to 4, at most
                                   five characters of 0-9 . - each
    custom meters (type 0) only:
      --address-bits N             3 to 9
      --variable N=CMD,START,LEN   variable N (1 to 4) from the reply of
                                   read command CMD (0 none, 1, 2) at byte
                                   START (0 to 99), LEN 4 or 8 bytes;
                                   may be repeated
      --read1 "BYTES"              read-meter command 1, 1 to 14 bytes as
                                   two capital hex digits each ("01 03 00")
      --read1-enable open|close
      --read2 "BYTES", --read2-enable open|close
  hart address N        the HART channel (1 to 8) transparent frames reach
  hart identity         HART command 0 to polling address 0
  hart vars             HART command 3 to the instrument's long address;
                        identifies it first unless --id MAN,TYPE,ID is given
  hart send "BYTES"     any HART request from its delimiter on ("02 80 00
                        00"); preamble and check byte are added
      --preambles N       HART frames: preamble number (6: seven FF bytes)
      --secondary         act as secondary master (address bit 7 clear)
  modbus read           read holding registers (RTU on a serial link,
                        MODBUS TCP on TCP) and decode each 32-bit value in
                        its meter's byte order
      --slave N           slave address or unit, 0 to 255 (1)
      --start N           first register, 0 to 255 (0)
      --count N           number of registers, 0 to 255 (10)
      --order CODE        decode every value with this byte order instead
                          of asking the gateway for each meter's
  ieee754 "BYTES"       the value of a single-precision bit pattern
                        ("41 20 00 00" is 10); needs no gateway
  backup FILE           system settings and all eight meters into FILE
                        (JSON, see docs/backup-format.md); "-" prints it
  restore FILE          write FILE's settings to a gateway, read them back
                        and list every setting that differs; "-" reads
                        standard input

Every value is checked before anything is sent, with the window's words:
"'x' is not a valid integer value", "'1000' is out of range (0 to 999)".

Every HART reply is checked (delimiter, address echo, command, byte count,
check byte) before it is believed.

Exit status: 0 done; 1 the gateway did not answer, refused, gave no valid
reply or did not take a setting, or a file could not be written; 2 bad
usage (an option, a value or a file).

Examples:
  kv770ctl --tcp 192.168.0.88 check
  kv770ctl --serial /dev/ttyUSB0 --baud 9600 system set --address 17
  kv770ctl --tcp 192.168.0.88 meter 3 set --type 5 --preambles 6
  kv770ctl --tcp 192.168.0.88 backup plant-a.json
  kv770ctl --tcp 192.168.0.89 restore plant-a.json
)usage");
}

}  // namespace kv770::cli
