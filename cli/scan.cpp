// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/scan.h"
#include "base/waits.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cli/failure.h"
#include "cli/link.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "link/SerialComm.h"
#include "link/block_former.h"
#include "link/errors.h"
#include "link/exchange.h"
#include "link/file_output.h"

namespace kv770::cli {

namespace {

// A character on the RS-485 line: start bit, 8 data bits, parity or not,
// stop bit; counted as 11 so that every parity fits.
constexpr int kBitsPerChar = 11;
// "PPPPPP#VAR#"
constexpr int kRequestChars = 11;
// "QV:" and the firmware text after it, with room to spare.
constexpr int kLongestAnswerChars = 40;
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

// A try's answer counts only when the check, sent again at the same setting,
// is answered again: a gateway answering late at one setting would otherwise
// be credited to the next (the reply comes while the port is opened anew,
// and a pseudo-terminal, ignoring the rate, passes it on intact).

// What one send of the check brought.
struct Heard {
  QByteArray reply;
  QString failure;  // the port failed: the device's scan ends with it
  bool stopped = false;
};

// "cannot open: No such device or address": the component's message
// without its heading and without the device, which the row names.
QString OpenReason(const QString& message, const QString& where) {
  const QString last = message.section(QLatin1Char('\n'), -1);
  const QString prefix = where + QStringLiteral(": ");
  return QStringLiteral("cannot open: %1")
      .arg(last.startsWith(prefix) ? last.mid(prefix.size()) : message.simplified());
}

QString SettingName(const LineSetting& s) {
  return QStringLiteral("%1 %2").arg(s.baud).arg(ParityName(s.parity));
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
    // Whatever the port hands over comes here, during a try or not: what
    // no try is listening for is dropped.
    QObject::connect(&comm_, &link::TComm::OnReceiveData, &scope_,
                     [this](const char* buffer, std::uint16_t length) {
                       heardBytes_ += length;
                       if (onBytes_) onBytes_(buffer, length);
                     });
    QObject::connect(&comm_, &link::TComm::OnRequestHangup, &scope_, [this] {
      hungUp_ = true;
      if (loop_) loop_->quit();
    });
  }

  // The row of a device the scan was stopped before.
  ScanResult Unscanned() const {
    return Row(ScanStatus::Failed, QStringLiteral("not scanned: the scan was stopped"));
  }

  std::vector<ScanResult> Run() {
    std::vector<ScanResult> rows;
    const std::vector<LineSetting> order = ScanOrder();
    const bool fixed = plan_.timeoutMs > 0;
    End end = Pass(order, false, rows);
    bool late = false;
    if (end == End::Complete && rows.empty() && !fixed) {
      // Nobody answered in time. A gateway slower than the first wait
      // answers all the same, into a later try or after the last: listen
      // for that (and let the answers to the last tries go by), and when
      // anything came, try every setting again with the longer wait.
      end = Noted(Settle(waits::kScanLateMs, waits::kScanLateMs + waits::kScanDrainCapMs), rows);
      if (end == End::Complete && heardBytes_ > 0) {
        late = true;
        if (plan_.progress)
          plan_.progress(QStringLiteral("%1: bytes came but no answer to the check; every "
                                        "setting again, waiting %2 ms longer ...")
                             .arg(name_)
                             .arg(waits::kScanLateMs));
        end = Pass(order, true, rows);
      }
    }
    comm_.ClosePort();
    Discard();
    if (end == End::Stopped)
      rows.push_back(Row(ScanStatus::Failed,
                         QStringLiteral("the scan was stopped after %1 tries").arg(tries_)));
    if (rows.empty()) rows.push_back(Row(ScanStatus::Silent, SilentText(order.size(), late)));
    return rows;
  }

 private:
  enum class End { Complete, Failed, Stopped };

  // --timeout's, else as long as a gateway needs at the rate; `late`: on
  // the second pass, longer.
  TryWait WaitAt(const LineSetting& s, bool late) const {
    if (plan_.timeoutMs > 0) return FixedWait(plan_.timeoutMs);
    TryWait w = ComputedWait(s.baud);
    if (late) w.firstByteMs += waits::kScanLateMs;
    return w;
  }

  bool Stopped() const { return plan_.stopped && plan_.stopped(); }

  // Every setting in `order` once, each answer checked by a second check at
  // its setting; a Found row for each confirmed one (the first only, unless
  // --all), a Failed row when the port fails.
  End Pass(const std::vector<LineSetting>& order, bool late, std::vector<ScanResult>& rows) {
    for (const LineSetting& setting : order) {
      const TryWait wait = WaitAt(setting, late);
      ++tries_;
      Heard first = TryAt(setting, wait);
      if (const End e = Ended(first, rows); e != End::Complete) return e;
      if (!Answers(first.reply)) continue;
      // Whatever is still coming for the first check goes by unheard; then
      // the check again, with the same wait.
      if (const End e = Noted(
              Settle(waits::kScanSilenceMs, waits::kScanSilenceMs + waits::kScanDrainCapMs), rows);
          e != End::Complete)
        return e;
      Heard again = Ask(wait);
      if (const End e = Ended(again, rows); e != End::Complete) return e;
      if (!Answers(again.reply)) {
        if (!unconfirmed_.contains(SettingName(setting))) unconfirmed_ << SettingName(setting);
        continue;
      }
      rows.push_back(Row(ScanStatus::Found, AnswerText(again.reply), setting));
      if (!plan_.all) return End::Complete;
    }
    return End::Complete;
  }

  End Ended(const Heard& h, std::vector<ScanResult>& rows) const {
    if (!h.failure.isEmpty()) {
      rows.push_back(Row(ScanStatus::Failed, h.failure));
      return End::Failed;
    }
    return h.stopped ? End::Stopped : End::Complete;
  }
  // A hang-up while listening between tries gets its row too.
  End Noted(End e, std::vector<ScanResult>& rows) const {
    if (e == End::Failed) rows.push_back(Row(ScanStatus::Failed, HangUpText()));
    return e;
  }

  // The port at `setting`, opened anew, and the check sent once.
  Heard TryAt(const LineSetting& setting, const TryWait& wait) {
    // What the port at the setting before handed over and nobody has
    // taken yet is raised here and dropped, with any hang-up it reported:
    // the port opened below has workers of its own, and reports again.
    comm_.ClosePort();
    Discard();
    hungUp_ = false;
    Heard h;
    try {
      // Opening flushes what the device holds from before.
      link::OpenLine(comm_, {name_, static_cast<std::uint32_t>(setting.baud),
                             static_cast<link::TParity>(setting.parity), false, false});
    } catch (const Error& e) {
      h.failure = OpenReason(e.Message(), row_.shown);
      return h;
    }
    // Bytes still on their way from the try before (an adapter holds them
    // a while) arrive now, unheard.
    if (const End e = Settle(waits::kScanSettleMs, waits::kScanSettleMs + waits::kScanDrainCapMs);
        e != End::Complete) {
      h.failure = e == End::Failed ? HangUpText() : QString();
      h.stopped = e == End::Stopped;
      return h;
    }
    return Ask(wait);
  }

  // Sends the check on the open port and collects what comes back: the try
  // ends when nothing has begun to arrive by the first limit, when what
  // came is followed by silence, or when the longest answer would be over.
  Heard Ask(const TryWait& wait) {
    Heard h;
    const QByteArray request = CheckRequest();
    if (!comm_.SendData(request.constData(), static_cast<std::uint16_t>(request.size()))) {
      h.failure = hungUp_ ? HangUpText() : QStringLiteral("the serial port took no request");
      return h;
    }
    // The answer's shape is not trusted here: it is cut where the window
    // would cut it, by the line's silence.
    QEventLoop loop;
    link::Exchange exchange;
    QObject::connect(&exchange, &link::Exchange::ended, &loop,
                     [&](link::ReplyEnd, const QByteArray& reply) {
                       h.reply = reply;
                       loop.quit();
                     });
    onBytes_ = [&](const char* buffer, std::uint16_t length) {
      exchange.Received(QByteArray(buffer, length));
    };
    exchange.Start({{}, wait.firstByteMs, waits::kScanSilenceMs, kMaxAnswerBytes, wait.restMs});
    const End e = Listen(loop);
    onBytes_ = nullptr;
    if (h.reply.isEmpty()) h.reply = exchange.Partial();  // stopped, or hung up, mid-answer
    if (e == End::Failed) h.failure = HangUpText();
    h.stopped = e == End::Stopped;
    return h;
  }

  // Drops what arrives until the line has been quiet `quietMs`, or for
  // `capMs` at most.
  End Settle(int quietMs, int capMs) {
    QEventLoop loop;
    QTimer quiet;
    QTimer cap;
    for (QTimer* timer : {&quiet, &cap}) {
      timer->setSingleShot(true);
      timer->setTimerType(Qt::PreciseTimer);
      QObject::connect(timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    }
    onBytes_ = [&](const char*, std::uint16_t) { quiet.start(quietMs); };
    quiet.start(quietMs);
    cap.start(capMs);
    const End e = Listen(loop);
    onBytes_ = nullptr;
    return e;
  }

  // Runs `loop` until its timers end it, the line hangs up or the scan is
  // stopped.
  End Listen(QEventLoop& loop) {
    if (hungUp_) return End::Failed;
    if (Stopped()) return End::Stopped;
    QTimer poll;
    if (plan_.stopped) {
      QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (Stopped()) loop.quit();
      });
      poll.start(waits::kStopLookMs);
    }
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    if (hungUp_) return End::Failed;
    return Stopped() ? End::Stopped : End::Complete;
  }

  // Raises, and drops, the events the port has posted so far (no try is
  // listening between tries).
  static void Discard() { QCoreApplication::processEvents(); }

  static QString HangUpText() { return QStringLiteral("the serial line hung up"); }

  QString SilentText(std::size_t settings, bool late) const {
    QString text = QStringLiteral("no gateway answered at any of %1 settings").arg(settings);
    if (heardBytes_ == 0) return text;
    if (late)
      text += QStringLiteral(", even waiting %1 ms longer").arg(waits::kScanLateMs);
    else if (plan_.timeoutMs > 0)
      text += QStringLiteral(" within %1 ms").arg(plan_.timeoutMs);
    text += unconfirmed_.isEmpty()
                ? QStringLiteral("; bytes came, but no answer to the check")
                : QStringLiteral("; bytes came, but an answer at %1 came only once")
                      .arg(unconfirmed_.join(QStringLiteral(", ")));
    text += plan_.timeoutMs > 0 ? QStringLiteral(" (a slower gateway: a longer --timeout)")
                                : QStringLiteral(" (a slower gateway: --timeout MS)");
    return text;
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
  // After comm_, so it goes first, and the handlers above with it.
  QObject scope_;
  std::function<void(const char*, std::uint16_t)> onBytes_;
  QEventLoop* loop_ = nullptr;
  bool hungUp_ = false;
  qint64 heardBytes_ = 0;  // everything the device sent during the scan
  int tries_ = 0;
  QStringList unconfirmed_;
};

// ---- TCP -----------------------------------------------------------------------

// Descriptors: the process's own (standard streams, the main event loop,
// name look-ups) and the serial device open at a time, with room to spare,
// are kept free; each parallel check takes its thread's event loop (one or
// two), its socket and a name look-up's.
constexpr int kOwnDescriptors = 16;
constexpr int kSerialDescriptors = 8;
constexpr int kDescriptorsPerCheck = 4;
// Never more checks at once than this, however many descriptors there are.
constexpr int kMaxParallelChecks = 128;

ScanResult TcpRow(const TcpAddress& address) {
  ScanResult r;
  r.tcp = true;
  r.device = address.host;
  r.port = address.port;
  r.shown = QStringLiteral("%1:%2").arg(address.host).arg(address.port);
  r.status = ScanStatus::Failed;
  return r;
}

QString NotAskedText() {
  return QStringLiteral("not asked: the scan was stopped");
}

// Runs on a thread of the pool, or on the caller's when there is none;
// nothing may leave it but the row.
ScanResult AskTcp(const TcpAddress& address, const ScanPlan& plan) {
  ScanResult r = TcpRow(address);
  // A descriptor for the connection, or the system's reason why there is
  // none: the check cannot start.
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) {
    r.text = QStringLiteral("cannot start the check: %1").arg(link::SystemReason(errno));
    return r;
  }
  ::close(probe);
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

// The descriptors open in this process now.
int OpenDescriptors(rlim_t limit) {
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count - 1;  // the listing's own
  }
  // No /proc, or no descriptor left to read it with: each one asked.
  int count = 0;
  const int highest = static_cast<int>(std::min<rlim_t>(limit, 65536));
  for (int fd = 0; fd < highest; ++fd)
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  return count;
}

// How many addresses may be asked at once: the descriptors left under
// RLIMIT_NOFILE, less those kept free, shared out; 0 when not even one
// thread of checks can be afforded.
int ParallelChecks(std::size_t addresses, bool serial) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = 1024;
  const rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? rlim_t{1} << 20 : limit.rlim_cur;
  const long long spare = static_cast<long long>(soft) - OpenDescriptors(soft) - kOwnDescriptors -
                          (serial ? kSerialDescriptors : 0);
  const long long checks = std::max(0LL, spare / kDescriptorsPerCheck);
  return static_cast<int>(std::min(
      {checks, static_cast<long long>(kMaxParallelChecks), static_cast<long long>(addresses)}));
}

// The TCP addresses, asked by a pool of threads while the serial devices
// are scanned; a row each, in the order given.
class TcpChecks {
 public:
  explicit TcpChecks(const ScanPlan& plan) : plan_(plan) {
    for (const TcpAddress& a : plan.tcp) {
      rows_.push_back(TcpRow(a));
      rows_.back().text = NotAskedText();
    }
  }
  ~TcpChecks() {
    for (const auto& thread : threads_) {
      thread->quit();
      thread->wait();
    }
  }
  TcpChecks(const TcpChecks&) = delete;
  TcpChecks& operator=(const TcpChecks&) = delete;

  // Starts up to `threads` threads; returns how many run.
  int Start(int threads) {
    for (int i = 0; i < threads; ++i) {
      threads_.emplace_back(QThread::create([this] { Work(); }));
      threads_.back()->start();
    }
    return threads;
  }

  // Waits for the pool; what no thread of it took (none could be started)
  // is asked here, one address after the other. Once the scan is stopped,
  // the checks under way are cut short and no other begins.
  std::vector<ScanResult> Finish() {
    for (const auto& thread : threads_)
      while (!thread->wait(QDeadlineTimer(waits::kStopLookMs)))
        if (Stopped())
          for (const auto& each : threads_) each->quit();  // ends their event loops
    Work();
    return std::move(rows_);
  }

 private:
  bool Stopped() const { return plan_.stopped && plan_.stopped(); }

  void Work() {
    for (;;) {
      const std::size_t i = next_++;
      if (i >= rows_.size()) return;
      if (Stopped()) continue;  // stays "not asked"
      ScanResult r;
      try {
        r = AskTcp(plan_.tcp[i], plan_);
      } catch (...) {
        r = TcpRow(plan_.tcp[i]);
        r.text = QStringLiteral("the check failed");
      }
      if (Stopped() && r.status != ScanStatus::Found) {
        r.status = ScanStatus::Failed;
        r.text = QStringLiteral("the scan was stopped before the answer");
      }
      rows_[i] = std::move(r);
    }
  }

  const ScanPlan& plan_;
  std::vector<ScanResult> rows_;  // each written by the thread that took its index
  std::atomic<std::size_t> next_{0};
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
  return {CharsMs(kRequestChars + 1, baud) + waits::kScanTurnaroundMs + waits::kScanLatencyMs,
          CharsMs(kLongestAnswerChars, baud) + waits::kScanSilenceMs + waits::kScanLatencyMs};
}

TryWait FixedWait(int ms) {
  return {ms, 0};
}

std::vector<ScanResult> Scan(const ScanPlan& plan) {
  TcpChecks tcp(plan);
  if (!plan.tcp.empty()) {
    const int threads = tcp.Start(ParallelChecks(plan.tcp.size(), !plan.serial.isEmpty()));
    if (plan.progress) {
      QStringList shown;
      for (const TcpAddress& a : plan.tcp) shown << QStringLiteral("%1:%2").arg(a.host).arg(a.port);
      const QString what = shown.size() <= 8 ? shown.join(QStringLiteral(", "))
                                             : QStringLiteral("%1 TCP addresses").arg(shown.size());
      const QString how =
          threads == 0 ? QStringLiteral(", one at a time (few descriptors are left)")
          : threads < static_cast<int>(shown.size()) ? QStringLiteral(", %1 at a time").arg(threads)
                                                     : QString();
      plan.progress(QStringLiteral("asking %1%2 ...").arg(what, how));
    }
  }

  std::vector<ScanResult> rows;
  for (const QString& name : plan.serial) {
    SerialScan scan(name, plan);
    if (plan.stopped && plan.stopped()) {
      rows.push_back(scan.Unscanned());
      continue;
    }
    if (plan.progress) plan.progress(QStringLiteral("scanning %1 ...").arg(name));
    for (ScanResult& r : scan.Run()) rows.push_back(std::move(r));
  }
  for (ScanResult& r : tcp.Finish()) rows.push_back(std::move(r));
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
