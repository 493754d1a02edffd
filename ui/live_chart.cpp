// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/live_chart.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "ui/language.h"

namespace kv770::ui {

namespace {

// A colour per meter, eight that stay apart from each other on a white
// chart, and a dash pattern per quantity: the current solid, the variables
// dashed in four ways.
const QColor kMeterColours[] = {{0x1f, 0x77, 0xb4}, {0xff, 0x7f, 0x0e}, {0x2c, 0xa0, 0x2c},
                                {0xd6, 0x27, 0x28}, {0x94, 0x67, 0xbd}, {0x8c, 0x56, 0x4b},
                                {0xe3, 0x77, 0xc2}, {0x17, 0xbe, 0xcf}};
const Qt::PenStyle kQuantityStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                        Qt::DashDotDotLine};

template <typename T, std::size_t N>
const T& Pick(const T (&table)[N], int index) {
  return table[static_cast<std::size_t>(std::max(index, 0)) % N];
}

// Our own changes of the axes, which are not the user zooming.
class OwnChange {
 public:
  explicit OwnChange(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~OwnChange() { flag_ = was_; }

 private:
  bool& flag_;
  bool was_;
};

}  // namespace

LiveChart::LiveChart(QChartView* view, QLabel* legend)
    : view_(view),
      legend_(legend),
      chart_(new QChart),
      timeAxis_(new QDateTimeAxis),
      valueAxis_(new QValueAxis) {
  // The chart's own legend gives each line one row, and cuts the names
  // short once a few lines are shown: the label below wraps instead.
  chart_->legend()->hide();
  legend_->setWordWrap(true);
  legend_->setTextFormat(Qt::RichText);
  ShowLegend();
  chart_->setBackgroundRoundness(0);
  chart_->setMargins(QMargins(4, 4, 4, 4));
  timeAxis_->setFormat(QStringLiteral("HH:mm:ss"));
  timeAxis_->setTickCount(6);
  timeAxis_->setTitleText(tr("Time"));
  valueAxis_->setLabelFormat(QStringLiteral("%.5g"));
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  NameValueAxis();
  {
    OwnChange own(settingRange_);
    const QDateTime now = QDateTime::currentDateTime();
    timeAxis_->setRange(now.addMSecs(-kShownMs), now);
    valueAxis_->setRange(0, 1);
  }
  // Any change of the axes that is not ours is the user's zoom (a rubber
  // band, or the right button zooming out): the chart stops following.
  // The lines are drawn for the span shown: a new span draws them again.
  connect(timeAxis_, &QDateTimeAxis::rangeChanged, this, [this] {
    if (settingRange_) return;
    zoomed_ = true;
    QTimer::singleShot(0, this, &LiveChart::Redraw);
  });
  connect(valueAxis_, &QValueAxis::rangeChanged, this, [this] {
    if (!settingRange_) zoomed_ = true;
  });
  // The view came with a chart of its own, which it lets go of here
  // without deleting it.
  QChart* const unused = view_->chart();
  view_->setChart(chart_);
  delete unused;
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setRubberBand(QChartView::RectangleRubberBand);
}

void LiveChart::SetColumns(const std::vector<live::Column>& columns) {
  OwnChange own(settingRange_);
  chart_->removeAllSeries();
  lines_.clear();
  lines_.resize(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const live::Column& c = columns[i];
    Line& line = lines_[i];
    line.unit = QString::fromStdString(c.unit);
    line.name = QStringLiteral("%1 %2").arg(c.meter).arg(
        LayerText(QString::fromStdString(live::QuantityName(c.quantity))));
    const QString label = LayerText(QString::fromStdString(live::UnitLabel(c)));
    if (!label.isEmpty()) line.name += QStringLiteral(" (%1)").arg(label);
    line.colour = Pick(kMeterColours, c.meter - 1);
    line.style = Pick(kQuantityStyles, c.quantity);
    // The loop currents share a unit and a scale; a variable (a flow, a
    // total in the millions) would squash them flat. The user adds lines.
    line.shown = c.quantity == 0;
  }
  first_ = newest_ = 0;
  NameValueAxis();
  ShowLegend();
}

void LiveChart::Add(std::int64_t timeMs, const std::vector<double>& values) {
  if (first_ == 0) first_ = timeMs;
  newest_ = std::max(newest_, timeMs);
  const double x = static_cast<double>(timeMs);
  const double oldest = static_cast<double>(newest_ - kKeepMs);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    line.points.emplace_back(
        x, i < values.size() ? values[i] : std::numeric_limits<double>::quiet_NaN());
    while (!line.points.empty() &&
           (line.points.front().x() < oldest || line.points.size() > kMaxPoints))
      line.points.pop_front();
  }
}

void LiveChart::Redraw() {
  OwnChange own(settingRange_);
  if (!paused_ && !zoomed_) FollowTime();
  for (Line& line : lines_) {
    if (line.shown)
      DrawLine(line);
    else
      HideLine(line);
  }
  NameValueAxis();
  if (!paused_ && !zoomed_) FitValues();
}

// The line's runs of values between gaps, each drawn as one segment, over
// the span shown (and a point beyond either end, so a line reaches the
// edge). Where a pixel's width of time holds several values, its lowest
// and highest stand for them all: drawing costs the same at any interval,
// and no peak is lost.
void LiveChart::DrawLine(Line& line) {
  const double from = static_cast<double>(ShownFrom());
  const double to = static_cast<double>(ShownTo());
  const double pixelMs = (to - from) / std::max(100.0, chart_->plotArea().width());
  const auto byTime = [](const QPointF& p, double x) { return p.x() < x; };
  auto begin = std::lower_bound(line.points.begin(), line.points.end(), from, byTime);
  auto end = std::lower_bound(begin, line.points.end(), std::nextafter(to, to + 1), byTime);
  if (begin != line.points.begin()) --begin;
  if (end != line.points.end()) ++end;

  std::vector<QList<QPointF>> runs(1);
  std::optional<QPointF> low, high;  // of the pixel being gathered
  double pixel = std::numeric_limits<double>::quiet_NaN();
  const auto flush = [&] {
    if (!low) return;
    const bool same = low->x() == high->x() && low->y() == high->y();
    if (low->x() <= high->x()) {
      runs.back().append(*low);
      if (!same) runs.back().append(*high);
    } else {
      runs.back().append(*high);
      runs.back().append(*low);
    }
    low.reset();
    high.reset();
  };
  for (auto p = begin; p != end; ++p) {
    if (std::isnan(p->y())) {
      flush();
      if (!runs.back().isEmpty()) runs.emplace_back();
      continue;
    }
    const double at = pixelMs > 0 ? std::floor((p->x() - from) / pixelMs) : p->x();
    if (at != pixel) flush();
    pixel = at;
    if (!low || p->y() < low->y()) low = *p;
    if (!high || p->y() > high->y()) high = *p;
  }
  flush();
  if (runs.back().isEmpty()) runs.pop_back();
  if (runs.size() > kMaxSegments) runs.erase(runs.begin(), runs.end() - kMaxSegments);
  ShowRuns(line, runs);
}

void LiveChart::ShowRuns(Line& line, const std::vector<QList<QPointF>>& runs) {
  for (std::size_t k = 0; k < runs.size(); ++k) {
    QLineSeries* segment = Segment(line, k);
    segment->replace(runs[k]);
    // A value alone between two gaps has no line to show it: a dot does.
    const bool dot = runs[k].size() == 1;
    if (segment->pointsVisible() != dot) segment->setPointsVisible(dot);
    if (!segment->isVisible()) segment->setVisible(true);
  }
  const std::size_t used = line.segmentsUsed;
  line.segmentsUsed = static_cast<int>(runs.size());
  for (std::size_t k = runs.size(); k < used; ++k) {
    line.series[k]->clear();
    line.series[k]->setVisible(false);
  }
}

// A hidden line's segments hold no points: a line not looked at costs
// nothing to draw.
void LiveChart::HideLine(Line& line) {
  for (std::size_t k = 0; k < static_cast<std::size_t>(line.segmentsUsed); ++k) {
    line.series[k]->clear();
    line.series[k]->setVisible(false);
  }
  line.segmentsUsed = 0;
}

QLineSeries* LiveChart::Segment(Line& line, std::size_t index) {
  while (line.series.size() <= index) {
    auto* series = new QLineSeries;
    series->setName(line.name);
    series->setPen(Pen(line));
    series->setColor(line.colour);
    chart_->addSeries(series);
    series->attachAxis(timeAxis_);
    series->attachAxis(valueAxis_);
    line.series.push_back(series);
  }
  return line.series[index];
}

void LiveChart::FollowTime() {
  OwnChange own(settingRange_);
  std::int64_t from = 0, to = 0;
  if (newest_ == 0) {  // nothing polled yet: the span up to now
    to = QDateTime::currentMSecsSinceEpoch();
    from = to - kShownMs;
  } else if (newest_ - first_ < kShownMs) {
    // The first minutes span the axis from the first poll to the newest,
    // widening as they come: the first points are not crowded at the left
    // of a span still empty.
    from = first_;
    to = std::max(newest_, first_ + kShortestShownMs);
  } else {  // then the span scrolls with the newest poll
    to = newest_;
    from = to - kShownMs;
  }
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
}

// The value axis spans the values shown in the time span, with a margin.
void LiveChart::FitValues() {
  OwnChange own(settingRange_);
  const double from = static_cast<double>(ShownFrom());
  const double to = static_cast<double>(ShownTo());
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const Line& line : lines_) {
    if (!line.shown) continue;
    for (const QPointF& p : line.points) {
      if (p.x() < from || p.x() > to || std::isnan(p.y())) continue;
      low = std::min(low, p.y());
      high = std::max(high, p.y());
    }
  }
  if (low > high) return;  // nothing shown: the axis stays
  const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.05, 1.0);
  valueAxis_->setRange(low - margin, high + margin);
  valueAxis_->applyNiceNumbers();
}

// "Value (mA)" while every line shown has that unit, else "Value".
void LiveChart::NameValueAxis() {
  QString unit;
  bool one = true;
  for (const Line& line : lines_) {
    if (!line.shown) continue;
    if (unit.isEmpty()) unit = line.unit;
    one = one && line.unit == unit;
  }
  valueAxis_->setTitleText(one && !unit.isEmpty() ? tr("Value (%1)").arg(unit) : tr("Value"));
}

void LiveChart::SetPaused(bool paused) {
  paused_ = paused;
  if (!paused_ && !zoomed_) Redraw();
}

void LiveChart::ResetZoom() {
  {
    OwnChange own(settingRange_);
    chart_->zoomReset();
  }
  zoomed_ = false;
  Redraw();
}

void LiveChart::SetLineShown(int column, bool shown) {
  if (column < 0 || column >= static_cast<int>(lines_.size())) return;
  lines_[static_cast<std::size_t>(column)].shown = shown;
  ShowLegend();
  Redraw();
}

// A stroke and the name of each line shown, side by side, wrapping into
// rows as the width asks: eight or forty lines stay legible. Each entry is
// one picture of its stroke and name, so that a row never ends between the
// two. Screen readers get the names.
void LiveChart::ShowLegend() {
  const QFont font = legend_->font();
  const QFontMetrics metrics(font);
  const qreal ratio = legend_->devicePixelRatioF();
  constexpr int kGap = 4;
  QStringList entries, names;
  for (const Line& line : lines_) {
    if (!line.shown) continue;
    const QSize size(kStrokeSize.width() + kGap + metrics.horizontalAdvance(line.name),
                     std::max(kStrokeSize.height(), metrics.height()));
    QPixmap entry(size * ratio);
    entry.setDevicePixelRatio(ratio);
    entry.fill(Qt::transparent);
    {
      QPainter painter(&entry);
      DrawStroke(painter, Pen(line),
                 QRectF(QPointF(0, 0), QSizeF(kStrokeSize.width(), size.height())));
      painter.setFont(font);
      painter.setPen(legend_->palette().color(QPalette::WindowText));
      painter.drawText(QRect(kStrokeSize.width() + kGap, 0, size.width(), size.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, line.name);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    entry.toImage().save(&buffer, "PNG");
    entries << QStringLiteral("<img src=\"data:image/png;base64,%1\" width=\"%2\" height=\"%3\">")
                   .arg(QString::fromLatin1(png.toBase64()))
                   .arg(size.width())
                   .arg(size.height());
    names << line.name;
  }
  legend_->setText(entries.join(QStringLiteral("&nbsp;&nbsp;&nbsp; ")));
  legend_->setAccessibleName(names.isEmpty() ? tr("Legend: no line shown")
                                             : tr("Legend: %1").arg(names.join(tr(", "))));
  legend_->setVisible(!names.isEmpty());
}

bool LiveChart::LineShown(int column) const {
  return column >= 0 && column < static_cast<int>(lines_.size()) &&
         lines_[static_cast<std::size_t>(column)].shown;
}

QColor LiveChart::Colour(int column) const {
  if (column < 0 || column >= static_cast<int>(lines_.size())) return {};
  return lines_[static_cast<std::size_t>(column)].colour;
}

QPixmap LiveChart::Stroke(int column) const {
  QPixmap stroke(kStrokeSize);
  stroke.fill(Qt::transparent);
  if (column < 0 || column >= static_cast<int>(lines_.size())) return stroke;
  QPainter painter(&stroke);
  DrawStroke(painter, Pen(lines_[static_cast<std::size_t>(column)]), QRectF(stroke.rect()));
  return stroke;
}

// Across the middle of `area`.
void LiveChart::DrawStroke(QPainter& painter, const QPen& pen, const QRectF& area) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(pen);
  const double middle = area.center().y();
  painter.drawLine(QPointF(area.left() + 1, middle), QPointF(area.right() - 1, middle));
  painter.restore();
}

QPen LiveChart::Pen(const Line& line) {
  QPen pen(line.colour);
  pen.setWidthF(2);
  pen.setStyle(line.style);
  return pen;
}

std::size_t LiveChart::PointsKept() const {
  std::size_t n = 0;
  for (const Line& line : lines_) n += line.points.size();
  return n;
}

int LiveChart::Segments(int column) const {
  if (column < 0 || column >= static_cast<int>(lines_.size())) return 0;
  return lines_[static_cast<std::size_t>(column)].segmentsUsed;
}

std::int64_t LiveChart::ShownFrom() const {
  return timeAxis_->min().toMSecsSinceEpoch();
}

std::int64_t LiveChart::ShownTo() const {
  return timeAxis_->max().toMSecsSinceEpoch();
}

}  // namespace kv770::ui
