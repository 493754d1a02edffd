// hart address|identity|vars|send: the transparent HART channel.
#include <QCommandLineParser>
#include <QJsonArray>
#include <optional>

#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "gateway/hex_bytes.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "tools/float_text.h"

namespace kv770::cli {

namespace {

// The window's "Preamble Length:" at start-up.
constexpr int kDefaultFramePreambles = 6;

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
                  QByteArray::fromStdString(gateway::HartAddressCommand(address - 1))};
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

std::optional<hart::Identity> GivenIdentity(const QCommandLineParser& p) {
  if (!p.isSet("id")) return std::nullopt;
  const QStringList items = Items("id", p.value("id"), 3);
  hart::Identity given;
  given.manufacturer = static_cast<std::uint8_t>(Integer(items[0], 0, 255));
  given.deviceType = static_cast<std::uint8_t>(Integer(items[1], 0, 255));
  given.deviceId = static_cast<std::uint32_t>(Integer(items[2], 0, 0xFFFFFF));
  return given;
}

}  // namespace

int RunHart(Session& s, const CommandLine& line) {
  const FrameOptions frame = ParseFrameOptions(line.options);
  const QString& verb = line.verb;
  if (verb == QLatin1String("address")) {
    Expect(line.words, 2, QStringLiteral("hart address N"));
    if (!line.given.isEmpty())
      BadUsage(QStringLiteral("'hart address' takes no option --%1").arg(line.given.first()));
    return HartAddress(s, line.words[1]);
  }
  if (verb != QLatin1String("vars") && line.options.isSet("id"))
    BadUsage(QStringLiteral("--id belongs to 'hart vars'"));
  if (verb == QLatin1String("identity")) {
    Expect(line.words, 1, QStringLiteral("hart identity"));
    return HartIdentity(s, frame);
  }
  if (verb == QLatin1String("vars")) {
    Expect(line.words, 1, QStringLiteral("hart vars [--id MAN,TYPE,ID]"));
    return HartVariables(s, frame, GivenIdentity(line.options));
  }
  if (verb == QLatin1String("send")) {
    Expect(line.words, 2, QStringLiteral("hart send \"02 80 00 00\""));
    return HartSend(s, frame, HexBytes(line.words[1], gateway::kManualCommandLimit));
  }
  BadUsage(QStringLiteral("usage: kv770ctl hart address N|identity|vars|send BYTES"));
}

}  // namespace kv770::cli
