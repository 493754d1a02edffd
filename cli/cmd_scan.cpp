// SPDX-License-Identifier: GPL-3.0-or-later
// scan: finds gateways whose line settings nobody remembers.
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <csignal>
#include <cstring>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/scan.h"
#include "cli/stop_signals.h"
#include "cli/values.h"
#include "link/port_names.h"

namespace kv770::cli {

namespace {

void RefuseLineOptions(const RunValues& run) {
  for (const char* name : {"baud", "parity", "dtr", "rts"})
    if (run.isSet(QLatin1String(name)))
      BadUsage(QStringLiteral("scan tries every baud rate and parity itself, with DTR and RTS "
                              "low: leave out --%1")
                   .arg(QLatin1String(name)));
  // The trace names no device and no setting: lines of several ports
  // and addresses would run together.
  if (run.isSet("trace"))
    BadUsage(
        QStringLiteral("--trace records one link and scan tries many; trace a check at "
                       "the setting scan finds"));
}

TcpAddress ParseTcp(const QString& text) {
  TcpAddress a{text, TcpLink::kDefaultPort};
  const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
  if (colon >= 0) {
    a.port = Integer("--tcp", text.mid(colon + 1), 1, 65535);
    a.host = text.left(colon);
  }
  if (a.host.isEmpty()) BadUsage(QStringLiteral("--tcp: no host in '%1'").arg(text));
  return a;
}

// The devices and addresses as given, each once.
ScanPlan Plan(const Session& s, const RunValues& run, bool all) {
  ScanPlan plan;
  link::PortMap ports;
  for (const QString& assignment : run.values("com")) {
    QString why;
    if (!ports.Assign(assignment, &why)) BadUsage(QStringLiteral("--com %1").arg(why));
    plan.comAssignments << assignment;
  }
  QSet<QString> seen;
  for (const QString& name : run.values("serial")) {
    if (name.isEmpty()) BadUsage(QStringLiteral("--serial: no device given"));
    if (!seen.contains(ports.DevicePath(name))) plan.serial << name;
    seen.insert(ports.DevicePath(name));
  }
  for (const QString& text : run.values("tcp")) {
    const TcpAddress a = ParseTcp(text);
    const QString key = QStringLiteral("%1:%2").arg(a.host).arg(a.port);
    if (!seen.contains(key)) plan.tcp.push_back(a);
    seen.insert(key);
  }
  plan.all = all;
  if (run.isSet("timeout")) plan.timeoutMs = s.timeoutMs;
  plan.tcpTimeoutMs = s.timeoutMs;
  if (run.isSet("gap")) plan.tcpGapMs = Integer("--gap", run.value("gap"), 1, 60000);
  return plan;
}

struct Counts {
  int found = 0;  // links a gateway answered on
  int silent = 0;
  int failed = 0;
  int Scanned() const { return found + silent + failed; }
};

// Per link: found once for any answer (--all gives a row per setting),
// else silent or failed.
Counts Count(const std::vector<ScanResult>& rows) {
  QSet<QString> found;
  for (const ScanResult& r : rows)
    if (r.status == ScanStatus::Found) found.insert(r.shown);
  Counts c;
  c.found = static_cast<int>(found.size());
  for (const ScanResult& r : rows) {
    if (r.status == ScanStatus::Silent) ++c.silent;
    if (r.status == ScanStatus::Failed && !found.contains(r.shown)) ++c.failed;
  }
  return c;
}

QString CountLine(const Counts& c) {
  return QStringLiteral("%1 scanned: %2 with a gateway, %3 without an answer, %4 failed")
      .arg(c.Scanned())
      .arg(c.found)
      .arg(c.silent)
      .arg(c.failed);
}

void ShowTable(Session& s, const std::vector<ScanResult>& rows) {
  QList<QStringList> cells = {{QStringLiteral("DEVICE"), QStringLiteral("BAUD"),
                               QStringLiteral("PARITY"), QStringLiteral("ANSWER")}};
  for (const ScanResult& r : rows) {
    const bool setting = r.status == ScanStatus::Found && !r.tcp;
    cells.append({r.shown, setting ? QString::number(r.setting.baud) : QStringLiteral("-"),
                  setting ? ParityName(r.setting.parity) : QStringLiteral("-"), r.text});
  }
  int widths[3] = {0, 0, 0};
  for (const QStringList& row : cells)
    for (int i = 0; i < 3; ++i) widths[i] = std::max(widths[i], static_cast<int>(row[i].size()));
  for (const QStringList& row : cells)
    s.Say(QStringLiteral("%1  %2  %3  %4")
              .arg(row[0], -widths[0])
              .arg(row[1], -widths[1])
              .arg(row[2], -widths[2])
              .arg(row[3]));
}

QJsonObject ToJson(const ScanResult& r) {
  static const char* const kStatus[] = {"found", "silent", "failed"};
  QJsonObject o{{QStringLiteral("link"), r.tcp ? QStringLiteral("tcp") : QStringLiteral("serial")},
                {QStringLiteral("status"), QLatin1String(kStatus[static_cast<int>(r.status)])}};
  if (r.tcp) {
    o.insert(QStringLiteral("host"), r.device);
    o.insert(QStringLiteral("port"), r.port);
  } else {
    o.insert(QStringLiteral("device"), r.device);
  }
  if (r.status != ScanStatus::Found) {
    o.insert(QStringLiteral("error"), r.text);
    return o;
  }
  if (!r.tcp) {
    o.insert(QStringLiteral("baud"), r.setting.baud);
    o.insert(QStringLiteral("parity"), ParityName(r.setting.parity));
  }
  o.insert(QStringLiteral("answer"), r.text);
  return o;
}

QJsonObject ToJson(const std::vector<ScanResult>& rows) {
  QJsonArray results;
  for (const ScanResult& r : rows) results.append(ToJson(r));
  const Counts c = Count(rows);
  return {{QStringLiteral("results"), results},
          {QStringLiteral("scanned"), c.Scanned()},
          {QStringLiteral("found"), c.found},
          {QStringLiteral("silent"), c.silent},
          {QStringLiteral("failed"), c.failed}};
}

}  // namespace

int RunScan(Session& s, const CommandLine& line) {
  Expect(line.words, 0, QStringLiteral("scan [--all] [--serial DEV ...] [--tcp HOST[:PORT] ...]"));
  RefuseLineOptions(line.run);
  ScanPlan plan = Plan(s, line.run, line.options.isSet("all"));
  if (plan.serial.isEmpty() && plan.tcp.empty()) {
    plan.serial = DevicesPresent(link::EnumeratedPorts());
    if (plan.serial.isEmpty()) {
      s.Result(ToJson(std::vector<ScanResult>{}));
      throw Failure{kDeviceFailed,
                    QStringLiteral("no serial device present; name one with --serial DEV, or "
                                   "give --tcp HOST[:PORT]")};
    }
  }
  // Progress for the person waiting; standard output keeps the results.
  plan.progress = [&s](const QString& text) { s.Err() << text << Qt::endl; };
  // Ctrl+C, a hang-up or a kill ends the scan at its next step, with what
  // it found printed; a second one ends the program at once.
  const StopOnSignals stop({SIGINT, SIGTERM, SIGHUP});
  plan.stopped = [] { return StopOnSignals::Stopped(); };

  const std::vector<ScanResult> rows = Scan(plan);
  const Counts counts = Count(rows);
  ShowTable(s, rows);
  s.Say(CountLine(counts));
  s.Result(ToJson(rows));
  // A scan that did not try everything claims nothing.
  if (StopOnSignals::Stopped())
    throw Failure{kDeviceFailed,
                  QStringLiteral("the scan was stopped (%1)")
                      .arg(QString::fromLocal8Bit(strsignal(StopOnSignals::Signal())))};
  // Exit status 1 says why, as every failure does.
  if (counts.found == 0) throw Failure{kDeviceFailed, QStringLiteral("no gateway answered")};
  return kDone;
}

}  // namespace kv770::cli
