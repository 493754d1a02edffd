// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/session.h"

#include <QFileDevice>
#include <QJsonDocument>

#include "cli/failure.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "hart/replies.h"
#include "live/poll_replies.h"

namespace kv770::cli {

namespace {

// A report that no command could have written is the gateway's fault.
template <typename Read>
auto FromReport(const QByteArray& reply, Read read) -> decltype(read()) {
  // A report ends with '#'; one without it was cut short (the gateway
  // stopped, or the wait ran out), which says more than what its decoder
  // would miss in it.
  if (!reply.endsWith('#'))
    throw Failure{kDeviceFailed,
                  QStringLiteral("the report was cut off after %1 bytes: %2")
                      .arg(reply.size())
                      .arg(Shown(reply))};
  try {
    return read();
  } catch (const gateway::ReportError& e) {
    throw Failure{kDeviceFailed, QString::fromStdString(e.what())};
  }
}

}  // namespace

std::vector<Request> Requests(const std::vector<gateway::Request>& requests) {
  std::vector<Request> list;
  for (const gateway::Request& r : requests)
    list.push_back({QString::fromStdString(r.what), QByteArray::fromStdString(r.bytes)});
  return list;
}

void Session::Say(const QString& line) {
  if (json) return;
  (fileOnStdout ? err_ : out_) << line << Qt::endl;
}

void Session::Line(const QString& line) {
  (fileOnStdout ? err_ : out_) << line << Qt::endl;
}

QString Session::OutputFailure() const {
  if (out_.status() == QTextStream::Ok) return {};
  const auto* file = qobject_cast<const QFileDevice*>(out_.device());
  return file && file->error() != QFileDevice::NoError ? file->errorString()
                                                       : QStringLiteral("write error");
}

void Session::Note(const QString& line) {
  err_ << "kv770ctl: " << line << Qt::endl;
}

void Session::Print(const QJsonObject& object) {
  out_ << QJsonDocument(object).toJson(QJsonDocument::Indented);
  out_.flush();
}

void Session::Result(const QJsonObject& object) {
  if (json) Print(object);
}

const Completion kAcknowledged = [](const QByteArray& reply) {
  return gateway::ShortAnswerWhole(View(reply));
};

const Completion kHartFrame = [](const QByteArray& reply) {
  return hart::ReplyComplete(Span(reply));
};

const Completion kSystemReport = [](const QByteArray& reply) {
  return live::SystemReportComplete(Span(reply));
};

Completion MeterReport(int meter) {
  return [meter](const QByteArray& reply) { return live::MeterReportComplete(meter, Span(reply)); };
}

Link& Session::Connected() {
  if (!link) BadUsage(QStringLiteral("say which link: --tcp HOST[:PORT] or --serial DEV"));
  if (checkOnly) throw LinkNeeded{};
  if (!open_) {
    try {
      link->Open();
    } catch (const Failure&) {
      noAnswer = true;  // the gateway cannot be reached
      throw;
    }
    open_ = true;
  }
  return *link;
}

QByteArray Session::Exchange(const QByteArray& request, const Completion& complete) {
  if (stopRequested && stopRequested()) {
    interrupted = true;
    throw Failure{kDeviceFailed,
                  answered_ == 0 ? QStringLiteral("stopped before the first request")
                                 : QStringLiteral("stopped after %1 request(s) answered, before %2")
                                       .arg(answered_)
                                       .arg(Shown(request))};
  }
  const QByteArray reply = Connected().Exchange(request, complete);
  if (reply.isEmpty()) {
    noAnswer = true;
    throw Failure{kDeviceFailed, QStringLiteral("no answer from the gateway within %1 ms to %2")
                                     .arg(timeoutMs)
                                     .arg(Shown(request))};
  }
  ++answered_;
  return reply;
}

gateway::SystemSettings Session::ReadSystem() {
  const QByteArray reply =
      Exchange(QByteArray::fromStdString(gateway::SystemReportQuery()), kSystemReport);
  return FromReport(reply, [&] { return gateway::SystemFromReport(View(reply)); });
}

gateway::MeterSettings Session::ReadMeter(int meter) {
  const QByteArray reply =
      Exchange(QByteArray::fromStdString(gateway::ModbusReportQuery(meter - 1)), MeterReport(meter));
  return FromReport(reply, [&] { return gateway::MeterFromReport(meter, View(reply)); });
}

QJsonArray Session::Send(const std::vector<Request>& requests,
                         const gateway::SystemSettings* system) {
  QJsonArray sent;
  for (const Request& r : requests) {
    const QByteArray reply = Exchange(r.bytes, kAcknowledged);
    Say(QStringLiteral("%1: %2 -> %3").arg(r.what, Shown(r.bytes), Shown(reply)));
    sent.append(QJsonObject{{QStringLiteral("what"), r.what},
                            {QStringLiteral("request"), Shown(r.bytes)},
                            {QStringLiteral("reply"), Shown(reply)}});
    if (system && r.bytes.startsWith("QQS#BA1:")) FollowRs485(*system);
  }
  return sent;
}

void Session::ShowDryRun(const std::vector<Request>& requests) {
  QJsonArray list;
  for (const Request& r : requests) {
    Say(QStringLiteral("%1: %2").arg(r.what, Shown(r.bytes)));
    list.append(
        QJsonObject{{QStringLiteral("what"), r.what}, {QStringLiteral("request"), Shown(r.bytes)}});
  }
  Result({{QStringLiteral("dryRun"), true}, {QStringLiteral("requests"), list}});
}

void Session::Verify(const QStringList& differences, QJsonObject result) {
  result.insert(QStringLiteral("verified"), differences.isEmpty());
  result.insert(QStringLiteral("differences"), QJsonArray::fromStringList(differences));
  if (json) Print(result);
  if (differences.isEmpty()) {
    Say(QStringLiteral("verified: the gateway reports what was written"));
    return;
  }
  notTaken = differences;
  // With --json the differences are in the result above.
  if (!json)
    for (const QString& d : differences) err_ << "not taken: " << d << Qt::endl;
  throw Failure{kDeviceFailed,
                QStringLiteral("%1 setting(s) did not take").arg(differences.size())};
}

void Session::FollowRs485(const gateway::SystemSettings& system) {
  auto* serial = dynamic_cast<SerialLink*>(link.get());
  if (!serial) return;
  serial->Reopen(system.baudRate, system.parity);
  Say(QStringLiteral("serial port reopened at %1 bit/s, parity %2")
          .arg(system.baudRate)
          .arg(ParityName(system.parity)));
}

}  // namespace kv770::cli
