// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointF>
#include <cstdint>
#include <deque>
#include <vector>

#include "live/monitor.h"

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace kv770::ui {

// The live tab's chart: one line per meter and quantity over the last
// minutes, scrolling with the newest poll once the first minutes have
// filled it. A value that did not come breaks
// its line: the values on either side of the gap are separate segments of
// the same colour, and no line joins them. The chart keeps its own copy of
// the points of the last kKeepMs (and never more than kMaxPoints per line),
// so hours of polling leave its memory where a few minutes put it.
class LiveChart : public QObject {
  Q_OBJECT

 public:
  static constexpr std::int64_t kShownMs = 5 * 60 * 1000;  // the span shown while scrolling
  static constexpr std::int64_t kKeepMs = 10 * 60 * 1000;  // kept for zooming out
  static constexpr std::size_t kMaxPoints = 4096;          // per line: 10 min at 200 ms, with room
  // A line broken by many gaps shows its newest segments only; each segment
  // is a series of the chart, and a flaky link must not make thousands.
  static constexpr std::size_t kMaxSegments = 32;

  explicit LiveChart(QChartView* view);

  // Starts afresh with one line per column; the currents are shown.
  void SetColumns(const std::vector<live::Column>& columns);
  // One poll's values, values[i] for column i; NaN is a gap. Redraw shows
  // what was added since the last redraw (a burst of polls is drawn once).
  void Add(std::int64_t timeMs, const std::vector<double>& values);
  void Redraw();

  // Paused, or zoomed by the user, the axes stay where they are.
  void SetPaused(bool paused);
  bool Zoomed() const { return zoomed_; }
  void ResetZoom();
  void SetLineShown(int column, bool shown);
  bool LineShown(int column) const;

  // The line's colour: its meter's (its quantity sets the dash pattern).
  QColor Colour(int column) const;
  // The points kept, over every line (gaps included), and the segments a
  // shown line is drawn in: for tests and the bench.
  std::size_t PointsKept() const;
  int Segments(int column) const;
  // The time span the horizontal axis shows, ms since the epoch.
  std::int64_t ShownFrom() const;
  std::int64_t ShownTo() const;

 private:
  struct Line {
    QString name;
    QString unit;
    QColor colour;
    Qt::PenStyle style = Qt::SolidLine;
    bool shown = true;
    std::deque<QPointF> points;        // y NaN: a gap
    std::vector<QLineSeries*> series;  // the segments, oldest first; reused
    int segmentsUsed = 0;
  };

  void DrawLine(Line& line);
  void ShowRuns(Line& line, const std::vector<QList<QPointF>>& runs);
  void HideLine(Line& line);
  QLineSeries* Segment(Line& line, std::size_t index);
  void FollowTime();
  void FitValues();
  void NameValueAxis();

  QChartView* view_;
  QChart* chart_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  std::vector<Line> lines_;
  std::int64_t first_ = 0;  // the first poll's time; 0 before it
  std::int64_t newest_ = 0;
  bool paused_ = false;
  bool zoomed_ = false;
  bool settingRange_ = false;  // our own range change, not the user's zoom
};

}  // namespace kv770::ui
