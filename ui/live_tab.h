// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "cycle/form_timer.h"
#include "link/exchange.h"
#include "live/monitor.h"
#include "ui/controls.h"
#include "ui/tab.h"

class QBoxLayout;
class QWidget;

namespace kv770::ui {

class LiveChart;

// "Live Values": the gateway's values polled at an interval, drawn as a
// chart and listed as a table of the latest ones, and saved as CSV.
//
// While a session runs it owns the link: it sends each exchange of the
// monitor (live/monitor.h) itself, the window hands it every byte that
// arrives (before the receive handlers' waits, which are not for it), and
// the window's other senders are refused. Its two timers are the only ones
// that run meanwhile; the request cycle stays idle, and is left idle when
// the session ends (Stop, the link closing, the window closing).
class LiveTab : public Tab {
  Q_OBJECT

 public:
  // The polls kept for "Save CSV": the newest ones of the session, at most
  // this many (24 h at 1 s, 4.8 h at the shortest interval); older ones are
  // dropped as new ones come.
  static constexpr std::size_t kKeptPolls = 86400;

  explicit LiveTab(Requests& requests);
  ~LiveTab() override;

  bool Running() const { return running_; }
  // Running over the serial line (else over TCP).
  bool OverSerial() const { return serial_; }
  // Bytes that came on the session's link.
  void Received(const QByteArray& bytes);
  // Ends a running session, saying why in the status line ("the serial
  // port was closed"; empty: the user stopped it). Nothing happens when
  // none runs.
  void End(const QString& why = {});
  // Ends it without a word: the window is closing.
  void Close();

  // Shows samples as if polled: each run of samples with one time is a
  // poll. Columns come from the samples when no session set them. For the
  // bench, which feeds many without a gateway.
  void Feed(const std::vector<live::Sample>& samples);

  int Polls() const { return polls_; }
  std::size_t PollsKept() const { return kept_.times.size(); }
  const LiveChart& Chart() const { return *chart_; }

 signals:
  // A session started or ended.
  void runningChanged();

 private:
  void onStartStopClicked();
  void onPauseToggled();
  void onResetZoomClicked();
  void onSaveCsvClicked();
  void onTableItemChanged(int row);

  // One poll: a value (NaN for a gap) and a status per column.
  struct Poll {
    std::int64_t timeMs = 0;
    std::vector<double> values;
    std::vector<live::Status> statuses;
  };
  // The polls kept for the CSV, oldest first, each poll's values one after
  // the other: nothing allocated per poll, at most kKeptPolls.
  struct KeptPolls {
    std::size_t width = 0;  // values per poll
    std::deque<std::int64_t> times;
    std::deque<double> values;
    std::deque<std::uint8_t> statuses;
    void Clear(std::size_t columns);
    void Add(const Poll& poll);
    Poll At(std::size_t index) const;
  };

  void Build(QWidget* page);
  void BuildControls(QWidget* page, QBoxLayout* layout);
  void BuildViews(QWidget* page, QBoxLayout* layout);
  void Connect();
  void Start();
  void Stop(const QString& why);
  void Halt();
  bool LinkOpen() const;
  void Send();
  std::int64_t Now() const;
  void Step();
  void onPollTimer();
  void Answer(const QByteArray& reply);
  void Collect();
  void TakePolls(std::vector<live::Sample> samples);
  void AddPoll(std::int64_t timeMs, const std::vector<live::Sample>& samples);
  void SetColumns(const std::vector<live::Column>& columns);
  void ShowLatest();
  void FitTable();
  void SizeTableToColumns();
  void ShowStatus();
  void SetEditable(bool editable);
  QByteArray Csv() const;

  LiveControls c_;
  LiveChart* chart_ = nullptr;
  std::unique_ptr<live::Monitor> monitor_;
  bool running_ = false;
  bool serial_ = false;
  int intervalMs_ = 1000;
  QElapsedTimer clock_;
  std::int64_t clockStart_ = 0;  // ms since the epoch when clock_ started

  std::optional<live::Exchange> exchange_;  // sent, its reply not yet complete
  link::Exchange wire_;                     // the exchange's reply, until whole or late
  cycle::FormTimer pollTimer_;              // the next poll is due

  std::vector<live::Column> columns_;
  Poll latest_;  // the newest poll, in the table
  KeptPolls kept_;
  int polls_ = 0;
  int silentPolls_ = 0;  // polls in a row without a single value
  int lastGaps_ = 0;     // values missing in the newest poll
  int valueMargin_ = 0;  // the value column's width beyond its text's
  QString ended_;        // why the last session ended
  QString notes_;        // what the monitor left out
  int hartChannel_ = 0;  // the HART address the session set last, 1..8; 0: none
};

}  // namespace kv770::ui
