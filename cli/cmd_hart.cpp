// SPDX-License-Identifier: GPL-3.0-or-later
// hart address|identity|vars|send|scan: the transparent HART channel.
#include <QCommandLineParser>
#include <QJsonArray>
#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <exception>
#include <optional>

#include "base/hex_text.h"
#include "base/waits.h"
#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/stop_signals.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "gateway/config.h"
#include "gateway/hex_bytes.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "link/errors.h"
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
    f.preambles = Integer("--preambles", p.value("preambles"), hart::kMinPreambleNumber,
                          hart::kMaxPreambleNumber);
  // The window's "HART Command Mode:" list: 0 master, 1 secondary master.
  f.masterBit = hart::MasterBit(p.isSet("secondary") ? 1 : 0);
  return f;
}

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
    throw Failure{kDeviceFailed,
                  QStringLiteral("not a valid HART reply: %1: %2")
                      .arg(QString::fromStdString(r.error), Text(base::HexText(reply)))};
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
  const int address = Integer(QStringLiteral("hart address"), text, 1, 8);
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
  s.Say(QStringLiteral("sent   %1").arg(Text(base::HexText(frame))));
  s.Say(QStringLiteral("reply  %1").arg(Text(base::HexText(reply))));
  s.Say(ReplyStatus(checked));
  s.Result({{QStringLiteral("request"), Text(base::HexText(frame))},
            {QStringLiteral("reply"), Text(base::HexText(reply))},
            {QStringLiteral("responseCode"), checked.responseCode},
            {QStringLiteral("deviceStatus"), checked.deviceStatus}});
  return kDone;
}

std::optional<hart::Identity> GivenIdentity(const QCommandLineParser& p) {
  if (!p.isSet("id")) return std::nullopt;
  const QStringList items = Items("id", p.value("id"), 3);
  hart::Identity given;
  given.manufacturer = static_cast<std::uint8_t>(Integer("--id", items[0], 0, 255));
  given.deviceType = static_cast<std::uint8_t>(Integer("--id", items[1], 0, 255));
  given.deviceId = static_cast<std::uint32_t>(Integer("--id", items[2], 0, 0xFFFFFF));
  return given;
}

// ---- hart scan ---------------------------------------------------------------------------
// Every channel, every polling address asked: command 0 in a short frame.
// Frames pass the gateway only in transparent mode, so a gateway found in
// MODBUS RTU mode is switched for the scan and switched back on every way
// out, or the run says loudly that it is not.

constexpr int kChannels = gateway::kMeters;
constexpr int kTransparent = 0;
constexpr int kModbusRtu = 1;

// "0-15", "0,3,5", "0-3,7": each polling address once, in order.
std::vector<int> PollingAddresses(const QString& list) {
  return NumberList(QStringLiteral("addresses"), list, 0, hart::kMaxPollingAddress);
}

// The addresses again as a short list: "0-15", "0,3,5".
QString AddressesText(const std::vector<int>& addresses) {
  QStringList runs;
  for (std::size_t i = 0; i < addresses.size();) {
    std::size_t j = i;
    while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1) ++j;
    runs << (j == i ? QString::number(addresses[i])
                    : QStringLiteral("%1-%2").arg(addresses[i]).arg(addresses[j]));
    i = j + 1;
  }
  return runs.join(QLatin1Char(','));
}

struct ScanOptions {
  FrameOptions frame;
  std::vector<int> addresses;
  int placeWaitMs = waits::kHartPlaceWaitMs;
};

struct Place {
  int channel = 0;
  int address = 0;
};

// What one polling address of one channel said to command 0.
struct PlaceAnswer {
  enum Kind { kSilent, kInstrument, kSpoiled, kRepeated } kind = kSilent;
  Place at;
  int sameAsChannel = 0;  // kRepeated: the channel where this instrument was found first
  hart::Identity id;
  hart::CheckedReply checked;
  QByteArray reply;
};

struct ScanFindings {
  std::vector<PlaceAnswer> instruments;
  std::vector<PlaceAnswer> spoiled;                  // damaged replies: no sound identity
  std::vector<PlaceAnswer> repeated;                 // an earlier channel's instrument again
  std::array<QString, kChannels + 1> selectReplies;  // the gateway's answer to each HCS
  std::vector<int> emptyChannels;                    // every place asked, and every one silent
  int hartChannel = 0;  // the channel the gateway's HART address is left at
  bool hartChannelRestored = false;
  // Where the scan is: 0 before the first channel, kChannels + 1 while
  // choosing the former channel again; and a channel whose HCS command
  // had no answer yet, 0 for none.
  int at = 0;
  int choosing = 0;
  // Why the scan ended before its end; empty when it ran through.
  QString stopReason;
};

// Silence within the wait is no instrument; an answer that is no sound
// identity is kept with its fault and the scan goes on.
PlaceAnswer AskPlace(Session& s, const ScanOptions& o, Place at) {
  PlaceAnswer a;
  a.at = at;
  const FrameOptions& f = o.frame;
  const hart::Bytes body = hart::IdentityRequestBody(f.masterBit, at.address);
  {
    const WaitFor wait(s.Connected(), o.placeWaitMs);
    a.reply = s.Connected().Exchange(Bytes(hart::Frame(f.preambles, body)), kHartFrame);
  }
  if (a.reply.isEmpty()) return a;
  a.checked = hart::CheckReply(Span(a.reply), body, hart::kIdentityByteCount);
  if (!a.checked.ok()) {
    a.kind = PlaceAnswer::kSpoiled;
    return a;
  }
  a.kind = PlaceAnswer::kInstrument;
  a.id = *hart::DecodeIdentity(Span(a.reply));  // the sound frame holds every field
  return a;
}

// The HCS command; any answer is its acknowledgement, none ends the scan.
// Until it comes, the channel the gateway reaches is not known.
QString SelectChannel(Session& s, ScanFindings& findings, int channel) {
  findings.choosing = channel;
  const QString reply = Shown(s.Exchange(
      QByteArray::fromStdString(gateway::HartAddressCommand(channel - 1)), kAcknowledged));
  findings.choosing = 0;
  findings.hartChannel = channel;
  return reply;
}

// A long address is unique to one instrument, and one instrument sits on
// one channel: the same identity at the same polling address on a later
// channel means the gateway still reaches the earlier one. It acknowledges
// the HCS command whether or not it changed channel, so this is the only
// sign of that.
void MarkRepeated(const ScanFindings& findings, PlaceAnswer& a) {
  for (const PlaceAnswer& earlier : findings.instruments)
    if (earlier.at.address == a.at.address && earlier.id == a.id) {
      a.kind = PlaceAnswer::kRepeated;
      a.sameAsChannel = earlier.at.channel;
      return;
    }
}

// A scan with the gateway out of MODBUS RTU may take minutes. Ctrl-C, a
// hang-up of the terminal, a closed output pipe or a kill stop it before
// the next place, so that the working mode still goes back.
void ThrowIfStopped() {
  if (StopOnSignals::Stopped())
    throw Failure{
        kDeviceFailed,
        QStringLiteral("the scan was stopped (%1)").arg(strsignal(StopOnSignals::Signal()))};
}

// The gateway cannot report its HART address. The instrument it reaches
// before the scan, found again at the same polling address on exactly one
// channel, tells which channel to choose again afterwards.
int FormerChannel(const ScanFindings& findings, const PlaceAnswer& before) {
  if (before.kind != PlaceAnswer::kInstrument) return 0;
  int channel = 0;
  int matches = 0;
  for (const PlaceAnswer& a : findings.instruments)
    if (a.at.address == before.at.address && a.id == before.id) {
      channel = a.at.channel;
      ++matches;
    }
  return matches == 1 ? channel : 0;
}

// Fills `findings` as it goes, so that what was found before a failure
// is still there to show.
void ScanChannels(Session& s, const ScanOptions& o, ScanFindings& findings) {
  ThrowIfStopped();
  // Whoever answers on the channel chosen now, to choose it again after.
  const PlaceAnswer before = AskPlace(s, o, {0, o.addresses.front()});
  for (int channel = 1; channel <= kChannels; ++channel) {
    findings.at = channel;
    s.Note(QStringLiteral("channel %1 of %2, polling address%3 %4")
               .arg(channel)
               .arg(kChannels)
               .arg(o.addresses.size() == 1 ? "" : "es", AddressesText(o.addresses)));
    ThrowIfStopped();
    findings.selectReplies[static_cast<std::size_t>(channel)] = SelectChannel(s, findings, channel);
    bool anyAnswer = false;  // a repeated or damaged one counts: the channel is not empty
    for (int address : o.addresses) {
      ThrowIfStopped();
      PlaceAnswer a = AskPlace(s, o, {channel, address});
      if (a.kind == PlaceAnswer::kInstrument) MarkRepeated(findings, a);
      if (a.kind == PlaceAnswer::kInstrument) findings.instruments.push_back(a);
      if (a.kind == PlaceAnswer::kSpoiled) findings.spoiled.push_back(a);
      if (a.kind == PlaceAnswer::kRepeated) findings.repeated.push_back(a);
      anyAnswer |= a.kind != PlaceAnswer::kSilent;
    }
    if (!anyAnswer) findings.emptyChannels.push_back(channel);
  }
  findings.at = kChannels + 1;
  const int former = FormerChannel(findings, before);
  if (former != 0) {
    ThrowIfStopped();
    if (former != findings.hartChannel) SelectChannel(s, findings, former);
    findings.hartChannelRestored = true;
  }
}

// Sends the working-mode command and reads the mode back: a gateway that
// kept its mode would make every place look empty.
void SetWorkingMode(Session& s, int mode) {
  gateway::SystemSettings wanted;
  wanted.workingMode = mode;
  for (const Request& r : Requests(gateway::SystemCommands(wanted, gateway::kWorkingMode)))
    s.Exchange(r.bytes, kAcknowledged);
  if (s.ReadSystem().workingMode != mode)
    throw Failure{kDeviceFailed, QStringLiteral("the gateway did not take working mode %1")
                                     .arg(mode == kModbusRtu ? QStringLiteral("MODBUS RTU")
                                                             : QStringLiteral("transparent"))};
}

// Empty when MODBUS RTU is back, else why not. Never throws: it runs on
// the way out of a failed scan too.
QString SetModbusBack(Session& s) {
  try {
    SetWorkingMode(s, kModbusRtu);
    return {};
  } catch (const Failure& f) {
    return f.message;
  } catch (const Error& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  }
}

QString NotBackMessage(const QString& why) {
  return QStringLiteral(
             "THE GATEWAY MAY STILL BE IN TRANSPARENT MODE and then polls no meter: setting "
             "MODBUS RTU back failed (%1); set it with 'kv770ctl system set --mode modbus'")
      .arg(why);
}

QString WorkingModeNote(bool wasModbus, bool back) {
  if (!wasModbus) return QStringLiteral("transparent, left as it was");
  return back ? QStringLiteral("MODBUS RTU; set to transparent for the scan and back to MODBUS RTU")
              : QStringLiteral("MODBUS RTU; set to transparent for the scan, NOT set back");
}

QString HartChannelNote(const ScanFindings& f) {
  if (f.choosing != 0)
    return QStringLiteral("unknown: the scan stopped while choosing channel %1").arg(f.choosing);
  if (f.hartChannel == 0) return QStringLiteral("as it was before the scan");
  if (f.hartChannelRestored)
    return QStringLiteral(
               "back to channel %1, where the instrument it reached before the scan "
               "was found")
        .arg(f.hartChannel);
  return QStringLiteral("left at channel %1; the gateway cannot report the channel it had")
      .arg(f.hartChannel);
}

// "channel 3: damaged reply at address 0: check byte 36 where 35 was expected: FF ...":
// someone answered, so the place is not empty, and what came is no identity.
QString SpoiledText(const PlaceAnswer& a) {
  return QStringLiteral("channel %1: damaged reply at address %2: %3: %4")
      .arg(a.at.channel)
      .arg(a.at.address)
      .arg(QString::fromStdString(a.checked.error), Text(base::HexText(a.reply)));
}

// "at channel 4 (channels 4 to 8 not scanned whole)": where a scan that
// did not run through ended.
QString StoppedWhere(const ScanFindings& f) {
  if (f.at > kChannels)
    return QStringLiteral("after channel %1, choosing the former channel again").arg(kChannels);
  if (f.at == kChannels) return QStringLiteral("at channel %1 (not scanned whole)").arg(kChannels);
  return QStringLiteral("at channel %1 (channels %1 to %2 not scanned whole)")
      .arg(f.at)
      .arg(kChannels);
}

QString RepeatedText(const ScanFindings& f, const PlaceAnswer& a) {
  return QStringLiteral(
             "the instrument of channel %1 answers again; the gateway may not have changed "
             "channel (%2 -> %3)")
      .arg(a.sameAsChannel)
      .arg(Shown(QByteArray::fromStdString(gateway::HartAddressCommand(a.at.channel - 1))),
           f.selectReplies[static_cast<std::size_t>(a.at.channel)]);
}

// `wasModbus`: the working mode the gateway had before the scan.
QJsonObject ScanJson(const ScanOptions& o, const ScanFindings& f, bool wasModbus,
                     const QString& modeNote) {
  QJsonArray instruments;
  for (const PlaceAnswer& a : f.instruments) {
    QJsonObject item = ToJson(a.id);
    item.insert(QStringLiteral("channel"), a.at.channel);
    item.insert(QStringLiteral("pollingAddress"), a.at.address);
    item.insert(QStringLiteral("responseCode"), a.checked.responseCode);
    item.insert(QStringLiteral("deviceStatus"), a.checked.deviceStatus);
    instruments.append(item);
  }
  QJsonArray spoiled;
  for (const PlaceAnswer& a : f.spoiled)
    spoiled.append(QJsonObject{{QStringLiteral("channel"), a.at.channel},
                               {QStringLiteral("pollingAddress"), a.at.address},
                               {QStringLiteral("error"), QString::fromStdString(a.checked.error)},
                               {QStringLiteral("reply"), Text(base::HexText(a.reply))}});
  QJsonArray repeated;
  for (const PlaceAnswer& a : f.repeated)
    repeated.append(QJsonObject{{QStringLiteral("channel"), a.at.channel},
                                {QStringLiteral("pollingAddress"), a.at.address},
                                {QStringLiteral("sameAsChannel"), a.sameAsChannel},
                                {QStringLiteral("note"), RepeatedText(f, a)}});
  QJsonArray addresses;
  for (int a : o.addresses) addresses.append(a);
  QJsonArray empty;
  for (int c : f.emptyChannels) empty.append(c);
  QJsonObject result{
      {QStringLiteral("complete"), f.stopReason.isEmpty()},
      {QStringLiteral("pollingAddresses"), addresses},
      {QStringLiteral("instruments"), instruments},
      {QStringLiteral("channelsWithoutInstrument"), empty},
      {QStringLiteral("invalidReplies"), spoiled},
      {QStringLiteral("repeatedInstruments"), repeated},
      {QStringLiteral("workingMode"),
       Text(gateway::NameOf(gateway::kWorkingModeNames, wasModbus ? kModbusRtu : kTransparent))},
      {QStringLiteral("workingModeNote"), modeNote},
      {QStringLiteral("hartAddress"), f.hartChannel},
      {QStringLiteral("hartAddressRestored"), f.hartChannelRestored}};
  if (!f.stopReason.isEmpty())
    result.insert(QStringLiteral("stopped"),
                  QJsonObject{{QStringLiteral("channel"), std::min(f.at, kChannels)},
                              {QStringLiteral("where"), StoppedWhere(f)},
                              {QStringLiteral("reason"), f.stopReason}});
  return result;
}

void SayScan(Session& s, const ScanOptions& o, const ScanFindings& f, const QString& modeNote) {
  const QString row = QStringLiteral("%1  %2  %3  %4  %5  %6");
  if (!f.instruments.empty())
    s.Say(row.arg("channel", "address", "manufacturer", "type", "device id", "preambles"));
  for (const PlaceAnswer& a : f.instruments) {
    const QString line = row.arg(a.at.channel, 7)
                             .arg(a.at.address, 7)
                             .arg(a.id.manufacturer, 12)
                             .arg(a.id.deviceType, 4)
                             .arg(a.id.deviceId, 9)
                             .arg(a.id.preambles, 9);
    const bool plain = a.checked.responseCode == 0 && a.checked.deviceStatus == 0;
    s.Say(plain ? line : QStringLiteral("%1  %2").arg(line, ReplyStatus(a.checked)));
  }
  const QString where =
      o.addresses.size() == 1 ? QStringLiteral("address") : QStringLiteral("addresses");
  for (int channel : f.emptyChannels)
    s.Say(QStringLiteral("channel %1: no instrument at %2 %3")
              .arg(channel)
              .arg(where, AddressesText(o.addresses)));
  for (const PlaceAnswer& a : f.spoiled) s.Say(SpoiledText(a));
  for (const PlaceAnswer& a : f.repeated)
    s.Say(QStringLiteral("channel %1, address %2: %3")
              .arg(a.at.channel)
              .arg(a.at.address)
              .arg(RepeatedText(f, a)));
  const std::size_t n = f.instruments.size();
  const QString before = f.stopReason.isEmpty() ? QString() : QStringLiteral(" before it stopped");
  s.Say((n == 0 ? QStringLiteral("no instrument found")
                : QStringLiteral("%1 instrument%2 found").arg(n).arg(n == 1 ? "" : "s")) +
        before);
  if (!f.stopReason.isEmpty())
    s.Say(QStringLiteral("the scan stopped %1: %2").arg(StoppedWhere(f), f.stopReason));
  s.Say(QStringLiteral("working mode: %1").arg(modeNote));
  s.Say(QStringLiteral("HART address: %1").arg(HartChannelNote(f)));
}

int HartScan(Session& s, const ScanOptions& o) {
  const StopOnSignals stop({SIGINT, SIGTERM, SIGHUP, SIGPIPE});
  const bool wasModbus = s.ReadSystem().workingMode == kModbusRtu;
  ScanFindings findings;
  std::optional<Failure> stopped;
  try {
    if (wasModbus) {
      ThrowIfStopped();
      SetWorkingMode(s, kTransparent);
    }
    ScanChannels(s, o, findings);
  } catch (const Failure& f) {
    stopped = f;
  } catch (const Error& e) {
    stopped = Failure{kDeviceFailed, e.Message()};
  } catch (...) {
    if (wasModbus) {
      const QString why = SetModbusBack(s);
      s.Note(why.isEmpty() ? QStringLiteral("working mode set back to MODBUS RTU")
                           : NotBackMessage(why));
    }
    throw;
  }
  // The mode first, whatever ended the scan.
  const QString why = wasModbus ? SetModbusBack(s) : QString();
  if (stopped && findings.at == 0) {
    // Stopped before the first channel: nothing was found to show.
    if (wasModbus)
      s.Note(why.isEmpty() ? QStringLiteral("working mode set back to MODBUS RTU")
                           : NotBackMessage(why));
    throw *stopped;
  }
  if (stopped) findings.stopReason = stopped->message;
  const QString modeNote = WorkingModeNote(wasModbus, why.isEmpty());
  SayScan(s, o, findings, modeNote);
  s.Result(ScanJson(o, findings, wasModbus, modeNote));
  if (stopped) {
    if (!why.isEmpty()) s.Note(NotBackMessage(why));
    throw *stopped;
  }
  QStringList faults;
  if (!why.isEmpty()) faults << NotBackMessage(why);
  if (!findings.repeated.empty())
    faults << QStringLiteral(
                  "the gateway seems not to have changed channel: %1 place(s) answered with an "
                  "instrument of an earlier channel")
                  .arg(findings.repeated.size());
  if (!findings.spoiled.empty())
    faults << QStringLiteral("%1 place(s) gave a damaged reply").arg(findings.spoiled.size());
  if (!faults.isEmpty()) throw Failure{kDeviceFailed, faults.join(QStringLiteral("; "))};
  return kDone;
}

ScanOptions ParseScanOptions(Session& s, const CommandLine& line, const FrameOptions& frame) {
  Expect(line.words, 1, QStringLiteral("hart scan [--addresses LIST]"));
  ScanOptions o{frame, {0}};
  if (line.run.isSet("timeout")) o.placeWaitMs = s.timeoutMs;
  if (line.options.isSet("addresses"))
    o.addresses = PollingAddresses(line.options.value("addresses"));
  if (s.dryRun)
    BadUsage(QStringLiteral(
        "--dry-run: 'hart scan' finds instruments only by asking them; it has no dry run"));
  return o;
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
  if (verb != QLatin1String("scan") && line.options.isSet("addresses"))
    BadUsage(QStringLiteral("--addresses belongs to 'hart scan'"));
  if (verb == QLatin1String("scan")) return HartScan(s, ParseScanOptions(s, line, frame));
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
    return HartSend(
        s, frame,
        HexBytes(QStringLiteral("hart send"), line.words[1], gateway::kManualCommandLimit));
  }
  BadUsage(QStringLiteral("usage: kv770ctl hart address N|identity|vars|send BYTES|scan"));
}

}  // namespace kv770::cli
