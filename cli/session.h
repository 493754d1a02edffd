// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>
#include <vector>

#include "base/waits.h"
#include "cli/link.h"
#include "gateway/config.h"
#include "link/trace.h"

namespace kv770::cli {

// A command as the run shows and sends it.
struct Request {
  QString what;
  QByteArray bytes;
};
std::vector<Request> Requests(const std::vector<gateway::Request>& requests);

// Thrown by a check-only session where it would open the link.
struct LinkNeeded {};

// One run of kv770ctl: its output, its link and the exchanges over it.
// The shapes of the gateway's ASCII answers: an acknowledgement of a set
// command (or the communication check's answer), the system report, the
// MODBUS report of meter 1..8; a HART reply frame, by its byte count.
extern const Completion kAcknowledged;
extern const Completion kHartFrame;
extern const Completion kSystemReport;
Completion MeterReport(int meter);

class Session {
 public:
  Session(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}

  bool json = false;
  bool dryRun = false;
  // The command's name once it is known: a usage error points to its help.
  QString family;
  // Standard output carries a file (backup -): every line for people goes
  // to standard error instead.
  bool fileOnStdout = false;
  int timeoutMs = waits::kCtlReplyTimeoutMs;
  // Stop, successfully, where the gateway would first be reached: the
  // values typed have been checked by then (see LinkNeeded).
  bool checkOnly = false;
  // For --fleet's summary: what the run came to.
  bool noAnswer = false;
  QStringList notTaken;
  // --fleet on a signal: asked before each request; true ends the run
  // there, between two exchanges and never inside one, and marks it
  // interrupted.
  std::function<bool()> stopRequested;
  bool interrupted = false;
  // Standard input already read by --fleet, the same for every gateway
  // ("restore -"); null: the command reads it itself.
  const QByteArray* standardInput = nullptr;
  link::Trace trace;  // before the link, which writes to it
  std::unique_ptr<Link> link;

  // A line for people; nothing with --json.
  void Say(const QString& line);
  // A line of the result itself, with --json too (JSON Lines).
  void Line(const QString& line);
  void Note(const QString& line);
  void Print(const QJsonObject& object);
  void Result(const QJsonObject& object);

  QTextStream& Err() { return err_; }
  // Standard output as such, for a file written there ("map --csv -").
  QTextStream& Out() { return out_; }
  // Why standard output took no more lines (the system's reason, "Broken
  // pipe" when its reader has gone); empty while it takes them. A command
  // that runs on (monitor) asks after each line.
  QString OutputFailure() const;

  Link& Connected();
  // One request and its reply; no reply within the time-out ends the run.
  QByteArray Exchange(const QByteArray& request, const Completion& complete = {});

  gateway::SystemSettings ReadSystem();
  gateway::MeterSettings ReadMeter(int meter);

  // Sends set commands one by one, each shown with its reply. On a serial
  // link a new RS-485 setting moves the port along with the gateway.
  QJsonArray Send(const std::vector<Request>& requests,
                  const gateway::SystemSettings* system = nullptr);
  void ShowDryRun(const std::vector<Request>& requests);
  // Differences found after writing: each shown, and the run fails.
  void Verify(const QStringList& differences, QJsonObject result);

 private:
  void FollowRs485(const gateway::SystemSettings& system);

  QTextStream& out_;
  QTextStream& err_;
  bool open_ = false;
  int answered_ = 0;  // requests answered so far
};

}  // namespace kv770::cli
