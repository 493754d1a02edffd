// SPDX-License-Identifier: GPL-3.0-or-later
// check and system: does the gateway answer, and its system settings.
#include <QCommandLineParser>
#include <optional>

#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "gateway/fields.h"

namespace kv770::cli {

namespace {

using gateway::kPollingInterval;
using gateway::kRs485;
using gateway::kSlaveAddress;
using gateway::kWorkingMode;

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
  if (p.isSet("baud")) c.baudRate = BaudRate(QStringLiteral("--baud"), p.value("baud"));
  if (p.isSet("parity"))
    c.parity = Choice("parity", p.value("parity"), Names(gateway::kParityNames));
  if (p.isSet("mode"))
    c.workingMode = Choice("mode", p.value("mode"), Names(gateway::kWorkingModeNames),
                           {QStringLiteral("transparent"), QStringLiteral("modbus-rtu")});
  if (p.isSet("address"))
    c.slaveAddress = Integer("--address", p.value("address"), 0, gateway::kThreeDigitMax);
  if (p.isSet("interval"))
    c.pollingInterval = Integer("--interval", p.value("interval"), 0, gateway::kThreeDigitMax);
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

}  // namespace

int Check(Session& s) {
  const QByteArray reply = s.Exchange(QByteArray::fromStdString(gateway::CommunicationCheck()), kAcknowledged);
  const bool answers = gateway::AnswersCommunicationCheck(View(reply));
  s.Result({{QStringLiteral("answers"), answers}, {QStringLiteral("reply"), Shown(reply)}});
  if (!answers)
    throw Failure{kDeviceFailed,
                  QStringLiteral("the reply holds no \"QV:\": %1").arg(Shown(reply))};
  s.Say(QStringLiteral("the gateway answers: %1").arg(Shown(reply)));
  return kDone;
}

int RunCheck(Session& s, const CommandLine& line) {
  Expect(line.words, 0, QStringLiteral("check"));
  return Check(s);
}

int RunSystem(Session& s, const CommandLine& line) {
  if (line.words == QStringList{QStringLiteral("get")}) return SystemGet(s);
  if (line.words == QStringList{QStringLiteral("set")}) return SystemSet(s, line.options);
  BadUsage(QStringLiteral("usage: kv770ctl system get|set [settings]"));
}

}  // namespace kv770::cli
