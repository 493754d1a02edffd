#include "cli/scan.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "cli/failure.h"
#include "cli/link.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "link/SerialComm.h"
#include "link/block_former.h"
#include "link/errors.h"

namespace kv770::cli {

namespace {

// A character on the RS-485 line: start bit, 8 data bits, parity or not,
// stop bit; counted as 11 so that every parity fits.
constexpr int kBitsPerChar = 11;
// "PPPPPP#VAR#"
constexpr int kRequestChars = 11;
// "QV:" and the firmware text after it, with room to spare.
constexpr int kLongestAnswerChars = 40;
// How long the gateway may think before it answers.
constexpr int kTurnaroundMs = 100;
// The writer thread, and a USB adapter that holds received bytes for up to
// 16 ms before passing them on.
constexpr int kLatencyMs = 20;
// An answer ends after as much silence as ends a block in the window, so
// that it is cut where the window would cut it.
constexpr int kSilenceMs = 100;
// More than a block of the serial component is no gateway's answer.
constexpr qsizetype kMaxAnswerBytes = 2048;

int CharsMs(int chars, int baud) {
  const long long bits = static_cast<long long>(chars) * kBitsPerChar;
  return static_cast<int>((bits * 1000 + baud - 1) / baud);
}

QByteArray CheckRequest() {
  return QByteArray::fromStdString(gateway::CommunicationCheck());
}

bool Answers(const QByteArray& reply) {
  return gateway::AnswersCommunicationCheck(View(reply));
}

// The answer as the table shows it: a line end the gateway adds is no part
// of its text.
QString AnswerText(const QByteArray& reply) {
  return Shown(reply.trimmed());
}

// ---- serial ------------------------------------------------------------------

struct TryOutcome {
  QByteArray reply;
  QString failure;  // the port went away under the try
};

// Sends the check once on the open port and collects what comes back: the
// try ends when nothing has begun to arrive by the first limit, when what
// came is followed by silence, or when the longest answer would be over.
TryOutcome Try(link::TComm& comm, const QByteArray& request, const TryWait& wait) {
  TryOutcome t;
  QObject scope;
  QEventLoop loop;
  QTimer limit;
  QTimer quiet;
  for (QTimer* timer : {&limit, &quiet}) {
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  }
  QObject::connect(&comm, &link::TComm::OnReceiveData, &scope,
                   [&](const char* buffer, std::uint16_t length) {
                     if (t.reply.isEmpty() && wait.restMs > 0) limit.start(wait.restMs);
                     t.reply.append(buffer, length);
                     if (t.reply.size() > kMaxAnswerBytes) loop.quit();
                     quiet.start(kSilenceMs);
                   });
  QObject::connect(&comm, &link::TComm::OnRequestHangup, &scope, [&] {
    t.failure = QStringLiteral("the serial line hung up");
    loop.quit();
  });
  if (!comm.SendData(request.constData(), static_cast<std::uint16_t>(request.size()))) {
    t.failure = QStringLiteral("the serial port took no request");
    return t;
  }
  limit.start(wait.firstByteMs);
  loop.exec();
  return t;
}

// "cannot open: No such device or address": the component's message
// without its heading and without the device, which the row names.
QString OpenReason(const QString& message, const QString& where) {
  const QString last = message.section(QLatin1Char('\n'), -1);
  const QString prefix = where + QStringLiteral(": ");
  return QStringLiteral("cannot open: %1")
      .arg(last.startsWith(prefix) ? last.mid(prefix.size()) : message.simplified());
}

class SerialScan {
 public:
  SerialScan(const QString& name, const ScanPlan& plan) : name_(name), plan_(plan) {
    for (const QString& assignment : plan.comAssignments) comm_.Ports().Assign(assignment);
    // Every read is handed over as it comes: a try sees the first byte of
    // an answer at once and need not wait for a block to end.
    comm_.SetReadIntervalTimeout(link::BlockFormer::kNoWait);
    row_.device = comm_.Ports().DevicePath(name);
    row_.shown = row_.device == name ? name : QStringLiteral("%1 (%2)").arg(row_.device, name);
  }

  std::vector<ScanResult> Run() {
    std::vector<ScanResult> rows;
    const std::vector<LineSetting> order = ScanOrder();
    for (const LineSetting& setting : order) {
      QString failure;
      const TryOutcome t = TryAt(setting, &failure);
      if (!failure.isEmpty()) {
        rows.push_back(Row(ScanStatus::Failed, failure));
        break;
      }
      if (!Answers(t.reply)) continue;
      rows.push_back(Row(ScanStatus::Found, AnswerText(t.reply), setting));
      if (!plan_.all) break;
    }
    comm_.ClosePort();
    if (rows.empty())
      rows.push_back(
          Row(ScanStatus::Silent,
              QStringLiteral("no gateway answered at any of %1 settings").arg(order.size())));
    return rows;
  }

 private:
  TryOutcome TryAt(const LineSetting& setting, QString* failure) {
    try {
      link::OpenLine(comm_, {name_, static_cast<std::uint32_t>(setting.baud),
                             static_cast<link::TParity>(setting.parity), false, false});
    } catch (const Error& e) {
      *failure = OpenReason(e.Message(), row_.shown);
      return {};
    }
    // Whatever the port before this one handed over is no answer to this
    // try: its events are raised here with nobody listening.
    QCoreApplication::processEvents();
    const TryWait wait =
        plan_.timeoutMs > 0 ? FixedWait(plan_.timeoutMs) : ComputedWait(setting.baud);
    TryOutcome t = Try(comm_, CheckRequest(), wait);
    *failure = t.failure;
    return t;
  }

  ScanResult Row(ScanStatus status, const QString& text, LineSetting setting = {}) const {
    ScanResult r = row_;
    r.status = status;
    r.text = text;
    r.setting = setting;
    return r;
  }

  QString name_;
  const ScanPlan& plan_;
  link::TComm comm_;
  ScanResult row_;
};

// ---- TCP -----------------------------------------------------------------------

// Runs on a thread of its own; nothing may leave it but the row.
ScanResult AskTcp(const TcpAddress& address, const ScanPlan& plan) {
  ScanResult r;
  r.tcp = true;
  r.device = address.host;
  r.port = address.port;
  r.shown = QStringLiteral("%1:%2").arg(address.host).arg(address.port);
  r.status = ScanStatus::Failed;
  try {
    TcpLink link(address.host, address.port, plan.tcpTimeoutMs, plan.tcpGapMs);
    link.Open();
    const QByteArray reply = link.Exchange(CheckRequest(), {});
    r.status = Answers(reply) ? ScanStatus::Found : ScanStatus::Silent;
    if (reply.isEmpty())
      r.text = QStringLiteral("no answer within %1 ms").arg(plan.tcpTimeoutMs);
    else
      r.text = Answers(reply) ? AnswerText(reply)
                              : QStringLiteral("the reply holds no \"QV:\": %1").arg(Shown(reply));
  } catch (const Failure& f) {
    r.text = f.message;
  } catch (const Error& e) {
    r.text = e.Message();
  } catch (const std::exception& e) {
    r.text = QString::fromLocal8Bit(e.what());
  }
  return r;
}

// The TCP threads, waited for however the serial part ends: a QThread
// must not go while it runs.
class TcpThreads {
 public:
  ~TcpThreads() { Wait(); }
  void Start(std::function<void()> work) {
    threads_.emplace_back(QThread::create(std::move(work)));
    threads_.back()->start();
  }
  void Wait() {
    for (const auto& thread : threads_) thread->wait();
  }

 private:
  std::vector<std::unique_ptr<QThread>> threads_;
};

}  // namespace

std::vector<LineSetting> ScanOrder() {
  const std::vector<LineSetting> first = {{9600, 0}, {19200, 0}};
  std::vector<LineSetting> order = first;
  for (int baud : gateway::kRs485BaudRates)
    for (int parity : {0, 2, 1}) {
      const LineSetting s{baud, parity};
      if (std::find(first.begin(), first.end(), s) == first.end()) order.push_back(s);
    }
  return order;
}

TryWait ComputedWait(int baud) {
  // The first byte of an answer comes after the request and the gateway's
  // turn-around; the rest of the longest answer and the silence after it
  // follow.
  return {CharsMs(kRequestChars + 1, baud) + kTurnaroundMs + kLatencyMs,
          CharsMs(kLongestAnswerChars, baud) + kSilenceMs + kLatencyMs};
}

TryWait FixedWait(int ms) {
  return {ms, 0};
}

std::vector<ScanResult> Scan(const ScanPlan& plan) {
  std::vector<ScanResult> tcpRows(plan.tcp.size());
  TcpThreads threads;
  for (std::size_t i = 0; i < plan.tcp.size(); ++i)
    threads.Start([&tcpRows, &plan, i] { tcpRows[i] = AskTcp(plan.tcp[i], plan); });
  if (!plan.tcp.empty() && plan.progress) {
    QStringList shown;
    for (const TcpAddress& a : plan.tcp) shown << QStringLiteral("%1:%2").arg(a.host).arg(a.port);
    plan.progress(QStringLiteral("asking %1 ...").arg(shown.join(QStringLiteral(", "))));
  }

  std::vector<ScanResult> rows;
  for (const QString& name : plan.serial) {
    SerialScan scan(name, plan);
    if (plan.progress) plan.progress(QStringLiteral("scanning %1 ...").arg(name));
    for (ScanResult& r : scan.Run()) rows.push_back(std::move(r));
  }
  threads.Wait();
  for (ScanResult& r : tcpRows) rows.push_back(std::move(r));
  return rows;
}

QStringList DevicesPresent(const QList<link::EnumeratedPort>& ports) {
  QStringList adapters;
  for (const link::SerialDevice& d : link::SerialDeviceEntries(ports)) adapters << d.path;
  // The port list leaves out the devices behind COM1 to COM12, which the
  // window names; a scan tries them too.
  QStringList builtIn;
  for (const link::EnumeratedPort& p : ports) {
    const QString path = p.path.trimmed();
    if (!path.isEmpty() && !adapters.contains(path) && !builtIn.contains(path)) builtIn << path;
  }
  // /dev/ttyS2 before /dev/ttyS10.
  std::sort(builtIn.begin(), builtIn.end(), [](const QString& a, const QString& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return builtIn + adapters;
}

}  // namespace kv770::cli
