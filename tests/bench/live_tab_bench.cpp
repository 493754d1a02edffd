// SPDX-License-Identifier: GPL-3.0-or-later
// kv770-live-bench: the Live Values tab's memory over many polls, for
// scripts/bench. Feeds the tab (LiveTab::Feed, no gateway needed) polls of
// eight meters' five values, one a second with a gap now and then: first
// 1,200 (the chart's ten minutes fill up), then 10,000 more, and prints how
// much the resident set grew over those (KiB). The chart keeps ten minutes;
// what grows is the polls kept for "Save CSV" (9 bytes a value, 8 a poll, up to
// LiveTab::kKeptPolls polls).
//
//   monitor_rss_growth_kib N
//   live_polls_kept N
//   live_chart_points N
#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "app/window.h"
#include "live/monitor.h"
#include "ui/live_chart.h"
#include "ui/live_tab.h"

namespace {

long RssKib() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

// `count` polls from poll number `first` on.
std::vector<kv770::live::Sample> Polls(int first, int count) {
  constexpr std::int64_t kStart = 1'700'000'000'000;
  std::vector<kv770::live::Sample> samples;
  for (int p = first; p < first + count; ++p)
    for (int meter = 1; meter <= 8; ++meter)
      for (int q = 0; q <= 4; ++q) {
        const bool gap = (p + meter) % 97 == 0;
        samples.push_back({kStart + p * 1000LL, meter, q,
                           gap ? std::numeric_limits<double>::quiet_NaN() : 4.0 + (p % 160) / 10.0,
                           q == 0 ? "mA" : "m3/h",
                           gap ? kv770::live::Status::kNoAnswer : kv770::live::Status::kOk});
      }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kv770::ui::RecordingMessageSink messages;
  const std::unique_ptr<QWidget> form = kv770::app::MakeWindow(&messages);
  form->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(4);
  form->show();
  // The chart's ten minutes and the table filled first: what is measured
  // is what hours of polling add.
  kv770::ui::LiveTab& live = *form->findChild<kv770::ui::LiveTab*>();
  int poll = 0;
  for (; poll < 1200; poll += 100) {
    live.Feed(Polls(poll, 100));
    app.processEvents();
  }
  const long before = RssKib();
  for (; poll < 1200 + 10000; poll += 100) {
    live.Feed(Polls(poll, 100));
    app.processEvents();
  }
  std::printf("monitor_rss_growth_kib %ld\n", RssKib() - before);
  std::printf("live_polls_kept %zu\nlive_chart_points %zu\n", live.PollsKept(),
              live.Chart().PointsKept());
  return 0;
}
