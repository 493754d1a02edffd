// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPen>
#include <QPixmap>
#include <QPointF>
#include <QSize>
#include <cstdint>
#include <deque>
#include <vector>

#include "live/monitor.h"

class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QPainter;
class QLineSeries;
class QValueAxis;

namespace kv770::ui {

// The live tab's chart: one line per meter and quantity over the last
// minutes. Until the polls span kShownMs the time axis spans them, from the
// first to the newest; then it scrolls with the newest poll. A legend (a
// label below the chart) names the lines shown. A value that did not come breaks
// its line: the values on either side of the gap are separate segments of
// the same colour, and no line joins them. The chart keeps its own copy of
// the points of the last kKeepMs (and never more than kMaxPoints per line),
// so hours of polling leave its memory where a few minutes put it.
class LiveChart : public QObject {
  Q_OBJECT

 public:
  static constexpr std::int64_t kShownMs = 5 * 60 * 1000;  // the span shown while scrolling
  // The span while the first polls are closer together than this.
  static constexpr std::int64_t kShortestShownMs = 5 * 1000;
  // A line's stroke in the legend and the table.
  static constexpr QSize kStrokeSize{24, 12};
  static constexpr std::int64_t kKeepMs = 10 * 60 * 1000;  // kept for zooming out
  static constexpr std::size_t kMaxPoints = 4096;          // per line: 10 min at 200 ms, with room
  // A line broken by many gaps shows its newest segments only; each segment
  // is a series of the chart, and a flaky link must not make thousands.
  static constexpr std::size_t kMaxSegments = 32;

  // Draws in `view`, and its legend in `legend`.
  LiveChart(QChartView* view, QLabel* legend);

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
  // A short stroke of the line's pen, colour and dash pattern, as the
  // legend shows it.
  QPixmap Stroke(int column) const;
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

  static QPen Pen(const Line& line);
  static void DrawStroke(QPainter& painter, const QPen& pen, const QRectF& area);
  void ShowLegend();
  void DrawLine(Line& line);
  void ShowRuns(Line& line, const std::vector<QList<QPointF>>& runs);
  void HideLine(Line& line);
  QLineSeries* Segment(Line& line, std::size_t index);
  void FollowTime();
  void FitValues();
  void NameValueAxis();

  QChartView* view_;
  QLabel* legend_;
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
