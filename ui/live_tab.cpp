// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/live_tab.h"

#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <limits>
#include <span>

#include "base/waits.h"
#include "gateway/commands.h"
#include "link/file_output.h"
#include "ui/language.h"
#include "ui/live_chart.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

constexpr int kMinIntervalMs = waits::kPollIntervalMinMs;
constexpr int kMaxIntervalMs = waits::kPollIntervalMaxMs;
// A reply longer than any the monitor asks for is whole by now, however
// the peer goes on: what came is judged as it is, and memory stays bounded.
constexpr qsizetype kLongestReply = 4096;

enum TableColumn { kMeterCell, kQuantityCell, kValueCell, kUnitCell, kStatusCell, kTimeCell };

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// "1 poll", "3 polls".
QString PollCount(int n) {
  return n == 1 ? LiveTab::tr("1 poll") : LiveTab::tr("%1 polls").arg(n);
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

// The widest texts the table's cells are sized for at first: a value of
// nine digits and a sign, the longest status (its own text, which each
// language sets to its widest status word), the time of day.
const QString kWideValue = QStringLiteral("-12345.6789");
QString WideStatus() {
  return LiveTab::tr("no answer", "the widest of the status words ok, no answer, bad reply");
}
const QString kWideTime = QStringLiteral("00:00:00.000");

}  // namespace

LiveTab::LiveTab(Requests& requests) : Tab(requests) {
  pollTimer_.SetEnabled(false);
  Build(this);
}

LiveTab::~LiveTab() = default;

// ---- the page --------------------------------------------------------------

void LiveTab::Build(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(8, 8, 8, 8);
  BuildControls(page, column);
  c_.status = MakeLabel(page, QString(), "Label150");
  c_.status->setWordWrap(true);
  c_.status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  column->addWidget(c_.status);
  BuildViews(page, column);
  ShowStatus();
  Connect();
}

void LiveTab::BuildControls(QWidget* page, QBoxLayout* layout) {
  LiveControls& c = c_;
  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  c.startStop = MakeButton(page, "Button61", tr("Start"));
  row->addWidget(c.startStop);
  row->addSpacing(8);

  c.interval = new QSpinBox(page);
  c.interval->setObjectName("SpinEdit1");
  c.interval->setRange(kMinIntervalMs, kMaxIntervalMs);
  c.interval->setSingleStep(100);
  c.interval->setValue(1000);
  c.interval->setSuffix(QStringLiteral(" ms"));
  auto* intervalLabel = MakeLabel(page, tr("Interval:"), "Label151");
  intervalLabel->setBuddy(c.interval);
  NameForScreenReaders(c.interval, intervalLabel->text());
  // The box's own edit line is what some tools walk to; it bears the name too.
  if (auto* edit = c.interval->findChild<QLineEdit*>())
    NameForScreenReaders(edit, intervalLabel->text());
  row->addWidget(intervalLabel);
  row->addWidget(c.interval);
  row->addSpacing(8);

  row->addWidget(MakeLabel(page, tr("Meters:"), "Label152"));
  for (int m = 0; m < 8; ++m) {
    auto* box = new QCheckBox(QString::number(m + 1), page);
    box->setObjectName(QStringLiteral("CheckBox%1").arg(11 + m));
    box->setChecked(true);
    NameForScreenReaders(box, tr("Meter %1").arg(m + 1));
    c.meters[static_cast<std::size_t>(m)] = box;
    row->addWidget(box);
  }
  row->addSpacing(8);
  c.pause = new QCheckBox(tr("Pause"), page);
  c.pause->setObjectName("CheckBox19");
  row->addWidget(c.pause);
  c.resetZoom = MakeButton(page, "Button62", tr("Reset zoom"));
  c.saveCsv = MakeButton(page, "Button63", tr("Save CSV"));
  row->addWidget(c.resetZoom);
  row->addWidget(c.saveCsv);
  row->addStretch(1);
  layout->addLayout(row);
}

void LiveTab::BuildViews(QWidget* page, QBoxLayout* layout) {
  LiveControls& c = c_;
  auto* row = new QHBoxLayout;
  c.chart = new QChartView(page);
  c.chart->setObjectName("Chart1");
  c.chart->setMinimumSize(320, 180);
  // The mouse zooms it; the keyboard reads the same values in the table.
  c.chart->setFocusPolicy(Qt::ClickFocus);
  c.chart->setAccessibleName(tr("Chart of the live values"));
  c.chart->setAccessibleDescription(
      tr("Each meter's values over the last minutes; drag a rectangle to zoom in. The legend "
         "below names the lines shown; the table beside it lists the latest values."));
  auto* legend = MakeLabel(page, QString(), "Label153");
  chart_ = new LiveChart(c.chart, legend);
  chart_->setParent(this);
  auto* chartColumn = new QVBoxLayout;
  chartColumn->addWidget(c.chart, 1);
  chartColumn->addWidget(legend);
  row->addLayout(chartColumn, 1);

  c.table = new QTableWidget(0, 6, page);
  c.table->setObjectName("StringGrid1");
  c.table->setHorizontalHeaderLabels(
      {tr("Meter"), tr("Quantity"), tr("Value"), tr("Unit"), tr("Status"), tr("Time")});
  c.table->verticalHeader()->hide();
  c.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  c.table->setSelectionBehavior(QAbstractItemView::SelectRows);
  c.table->setIconSize(LiveChart::kStrokeSize);
  c.table->setMinimumHeight(150);
  NameForScreenReaders(c.table, tr("Latest values"));
  c.table->setAccessibleDescription(
      tr("One row per meter and quantity: value, unit, status and time of the "
         "latest poll. A row's check box shows or hides its line in the chart; the currents "
         "are shown at first."));
  // As wide as its columns, which fit their texts; the chart takes the
  // rest of the row.
  row->addWidget(c.table, 0);
  FitTable();
  layout->addLayout(row, 1);

  ChainTabOrder({c.startStop, c.interval, c.meters[0], c.meters[1], c.meters[2], c.meters[3],
                 c.meters[4], c.meters[5], c.meters[6], c.meters[7], c.pause, c.resetZoom,
                 c.saveCsv, c.table});
}

void LiveTab::Connect() {
  const auto on = [this](auto* sender, auto signal, void (LiveTab::*handler)()) {
    connect(sender, signal, this, [this, handler] {
      RunShowingErrors(requests_.Messages(), [this, handler] { (this->*handler)(); });
    });
  };
  LiveControls& c = c_;
  on(c.startStop, &QPushButton::clicked, &LiveTab::onStartStopClicked);
  on(c.pause, &QCheckBox::toggled, &LiveTab::onPauseToggled);
  on(c.resetZoom, &QPushButton::clicked, &LiveTab::onResetZoomClicked);
  on(c.saveCsv, &QPushButton::clicked, &LiveTab::onSaveCsvClicked);
  on(&pollTimer_, &cycle::FormTimer::OnTimer, &LiveTab::onPollTimer);
  // The exchange's reply is whole, or its wait is over (what came so far
  // is the reply; nothing: a gap).
  connect(&wire_, &link::Exchange::ended, this, [this](link::ReplyEnd, const QByteArray& reply) {
    RunShowingErrors(requests_.Messages(), [this, reply] {
      if (exchange_) Answer(reply);
    });
  });
  // A column made wider (by a value, or by the user's drag) widens the table.
  connect(c.table->horizontalHeader(), &QHeaderView::sectionResized, this,
          &LiveTab::SizeTableToColumns);
  connect(c.table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() == kMeterCell) onTableItemChanged(item->row());
  });
}

// ---- the session -------------------------------------------------------------

void LiveTab::onStartStopClicked() {
  if (running_)
    End();
  else
    Start();
}

void LiveTab::Start() {
  requests_.RefuseWhileLive();  // a configuration read or write owns the link
  LiveControls& c = c_;
  serial_ = requests_.LinkIndex() == 0;  // as the window's senders choose the link
  if (!LinkOpen()) {
    requests_.Messages().Show(
        tr("No link to the gateway is open: open the serial port or connect over "
           "TCP on the System Parameter tab, then press Start."));
    return;
  }
  live::Options options;
  options.serial = serial_;
  options.intervalMs = c.interval->value();
  for (int m = 0; m < 8; ++m)
    if (c.meters[static_cast<std::size_t>(m)]->isChecked()) options.meters.push_back(m + 1);
  if (options.meters.empty()) {
    requests_.Messages().Show(tr("Choose at least one meter to watch, then press Start."));
    return;
  }
  // The session owns the link from here: a request still pending would get
  // no reply, so the request cycle is left idle.
  requests_.Idle();

  monitor_ = std::make_unique<live::Monitor>(options);
  intervalMs_ = options.intervalMs;
  SetColumns({});
  kept_.Clear(0);
  latest_ = {};
  polls_ = silentPolls_ = lastGaps_ = 0;
  ended_.clear();
  notes_.clear();
  hartChannel_ = 0;
  clockStart_ = QDateTime::currentMSecsSinceEpoch();
  clock_.start();
  running_ = true;
  emit runningChanged();
  c.startStop->setText(tr("Stop"));
  SetEditable(false);
  ShowStatus();
  Step();
}

void LiveTab::End(const QString& why) {
  if (!running_) return;
  Halt();
  ended_ = tr("Stopped after %1").arg(PollCount(polls_));
  ended_ += why.isEmpty() ? tr(".") : tr(": %1.").arg(why);
  if (hartChannel_ > 0)
    ended_ += tr(" The gateway's HART address is left at %1: set it again on the Transparent "
                 "Mode tab before asking an instrument there.")
                  .arg(hartChannel_);
  c_.startStop->setText(tr("Start"));
  SetEditable(true);
  ShowStatus();
}

void LiveTab::Close() {
  if (running_) Halt();
}

void LiveTab::Halt() {
  running_ = false;
  emit runningChanged();
  exchange_.reset();
  wire_.Cancel();
  pollTimer_.SetEnabled(false);
  // Idle, as after start-up: nothing pending, neither timer armed.
  requests_.Idle();
}

bool LiveTab::LinkOpen() const {
  return requests_.LinkOpen(serial_);
}

// On a steady clock, counted from the wall clock's time at Start: the polls'
// times are real times, and a clock set meanwhile does not disturb them.
std::int64_t LiveTab::Now() const {
  return clockStart_ + clock_.elapsed();
}

// Runs the monitor as far as it goes now: sends its next exchange, or waits
// for the next poll.
void LiveTab::Step() {
  if (!running_ || exchange_) return;
  std::optional<live::Exchange> next = monitor_->Next(Now());
  Collect();
  if (!running_) return;
  if (!next) {
    const std::int64_t wait = std::max<std::int64_t>(1, monitor_->NextPollAt() - Now());
    pollTimer_.SetEnabled(false);
    pollTimer_.SetInterval(static_cast<int>(std::min<std::int64_t>(wait, kMaxIntervalMs)));
    pollTimer_.SetEnabled(true);
    return;
  }
  if (!LinkOpen()) {
    End(serial_ ? tr("the serial port is closed") : tr("the TCP connection is closed"));
    return;
  }
  exchange_ = std::move(next);
  Send();
}

void LiveTab::Send() {
  const QByteArray bytes(reinterpret_cast<const char*>(exchange_->bytes.data()),
                         static_cast<qsizetype>(exchange_->bytes.size()));
  // Transparent mode reaches each channel by setting the gateway's HART
  // address, and the gateway keeps the last one set.
  for (int k = 0; k < 8; ++k)
    if (bytes.toStdString() == gateway::HartAddressCommand(k)) hartChannel_ = k + 1;
  const auto complete = exchange_->complete;
  wire_.Start({[complete](const QByteArray& r) {
                 return complete(std::span(reinterpret_cast<const std::uint8_t*>(r.constData()),
                                           static_cast<std::size_t>(r.size())));
               },
               std::max(1, exchange_->waitMs), -1, kLongestReply - 1});
  requests_.Write(serial_, bytes);
}

void LiveTab::Received(const QByteArray& bytes) {
  // Bytes between exchanges are a late reply to one already given up.
  if (running_ && exchange_) wire_.Received(bytes);
}

void LiveTab::onPollTimer() {
  pollTimer_.SetEnabled(false);
  Step();
}

void LiveTab::Answer(const QByteArray& reply) {
  wire_.Cancel();
  exchange_.reset();
  const QByteArray kept = reply;
  monitor_->Reply(std::span(reinterpret_cast<const std::uint8_t*>(kept.constData()),
                            static_cast<std::size_t>(kept.size())),
                  Now());
  Collect();
  if (!running_) return;
  // After a serial exchange that got nothing, the next request waits for
  // the events already queued: a block of the late reply is dropped then,
  // not taken for the next one's reply. (TCP drops what is pending before
  // each request.)
  if (serial_ && kept.isEmpty()) {
    pollTimer_.SetEnabled(false);
    pollTimer_.SetInterval(1);
    pollTimer_.SetEnabled(true);
  } else {
    Step();
  }
}

// The samples of the polls finished, the columns once known, and the end
// of a session whose configuration could not be read.
void LiveTab::Collect() {
  if (columns_.empty() && monitor_->State() == live::Phase::kPolling) {
    SetColumns(monitor_->Columns());
    QStringList notes;
    for (const std::string& note : monitor_->Notes()) notes << LayerText(Text(note));
    notes_ = notes.join(tr("; "));
  }
  TakePolls(monitor_->TakeSamples());
  if (monitor_->State() == live::Phase::kFailed) {
    const QString error = LayerText(Text(monitor_->Error()));
    End(tr("the gateway's configuration could not be read (%1)").arg(error));
    requests_.Messages().Show(
        tr("Live Values: the gateway's configuration could not be read: %1").arg(error));
    return;
  }
  ShowStatus();
}

// ---- polls ---------------------------------------------------------------------

void LiveTab::Feed(const std::vector<live::Sample>& samples) {
  if (columns_.empty()) {
    std::vector<live::Column> columns;
    for (const live::Sample& s : samples) {
      const bool known = std::any_of(columns.begin(), columns.end(), [&](const live::Column& c) {
        return c.meter == s.meter && c.quantity == s.quantity;
      });
      if (!known) columns.push_back({s.meter, s.quantity, s.unit, {}});
    }
    SetColumns(columns);
  }
  TakePolls(samples);
}

void LiveTab::TakePolls(std::vector<live::Sample> samples) {
  if (samples.empty()) return;
  std::size_t first = 0;
  for (std::size_t i = 1; i <= samples.size(); ++i) {
    if (i < samples.size() && samples[i].timeMs == samples[first].timeMs) continue;
    AddPoll(samples[first].timeMs,
            std::vector<live::Sample>(samples.begin() + static_cast<std::ptrdiff_t>(first),
                                      samples.begin() + static_cast<std::ptrdiff_t>(i)));
    first = i;
  }
  ShowLatest();
  chart_->Redraw();
}

void LiveTab::AddPoll(std::int64_t timeMs, const std::vector<live::Sample>& samples) {
  Poll poll;
  poll.timeMs = timeMs;
  poll.values.assign(columns_.size(), std::numeric_limits<double>::quiet_NaN());
  poll.statuses.assign(columns_.size(), live::Status::kNoAnswer);
  for (const live::Sample& s : samples) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].meter != s.meter || columns_[i].quantity != s.quantity) continue;
      poll.statuses[i] = s.status;
      if (s.status == live::Status::kOk) poll.values[i] = s.value;
    }
  }
  lastGaps_ = static_cast<int>(std::count_if(poll.values.begin(), poll.values.end(),
                                             [](double v) { return std::isnan(v); }));
  silentPolls_ = lastGaps_ == static_cast<int>(columns_.size()) ? silentPolls_ + 1 : 0;
  ++polls_;
  chart_->Add(timeMs, poll.values);
  kept_.Add(poll);
  latest_ = std::move(poll);
}

void LiveTab::SetColumns(const std::vector<live::Column>& columns) {
  columns_ = columns;
  kept_.Clear(columns.size());
  latest_ = {};
  chart_->SetColumns(columns);
  QTableWidget* table = c_.table;
  const QSignalBlocker quiet(table);  // the rows are ours, not the user's choice
  table->setRowCount(static_cast<int>(columns.size()));
  for (int r = 0; r < table->rowCount(); ++r) {
    const live::Column& c = columns[static_cast<std::size_t>(r)];
    QTableWidgetItem* meter = Cell(QString::number(c.meter));
    meter->setFlags(meter->flags() | Qt::ItemIsUserCheckable);
    meter->setCheckState(chart_->LineShown(r) ? Qt::Checked : Qt::Unchecked);
    meter->setData(Qt::DecorationRole, chart_->Stroke(r));
    meter->setToolTip(
        tr("Ticked: drawn in the chart with this stroke (the meter's colour; the "
           "current solid, the variables dashed)"));
    table->setItem(r, kMeterCell, meter);
    table->setItem(r, kQuantityCell, Cell(LayerText(Text(live::QuantityName(c.quantity)))));
    QTableWidgetItem* value = Cell(QString());
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(r, kValueCell, value);
    table->setItem(r, kUnitCell, Cell(LayerText(Text(live::UnitLabel(c)))));
    table->setItem(r, kStatusCell, Cell(QString()));
    table->setItem(r, kTimeCell, Cell(QString()));
  }
  FitTable();
}

// Each column as wide as its caption and texts, the value, status and time
// columns as wide as their widest usual texts, and the table as wide as its
// columns and a vertical scroll bar: every column is in sight, none cut,
// and no value's width makes the columns move from poll to poll.
void LiveTab::FitTable() {
  QTableWidget* table = c_.table;
  const QSignalBlocker quiet(table);
  const int rows = table->rowCount();
  table->setRowCount(rows + 1);  // a row of the widest texts, measured and removed
  table->setItem(rows, kValueCell, Cell(kWideValue));
  table->setItem(rows, kStatusCell, Cell(WideStatus()));
  table->setItem(rows, kTimeCell, Cell(kWideTime));
  table->resizeColumnsToContents();
  table->setRowCount(rows);
  valueMargin_ =
      table->columnWidth(kValueCell) -
      static_cast<int>(std::ceil(QFontMetricsF(table->font()).horizontalAdvance(kWideValue)));
  SizeTableToColumns();
}

void LiveTab::SizeTableToColumns() {
  QTableWidget* table = c_.table;
  int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
  for (int k = 0; k < table->columnCount(); ++k) width += table->columnWidth(k);
  table->setFixedWidth(width);
}

// The table's rows take the newest poll's values.
void LiveTab::ShowLatest() {
  if (latest_.values.empty()) return;
  const Poll& poll = latest_;
  QTableWidget* table = c_.table;
  const QSignalBlocker quiet(table);
  const QString time =
      QDateTime::fromMSecsSinceEpoch(poll.timeMs).toString(QStringLiteral("HH:mm:ss.zzz"));
  const QFontMetricsF metrics(table->font());
  int valueWidth = table->columnWidth(kValueCell);
  for (int r = 0; r < table->rowCount() && r < static_cast<int>(poll.values.size()); ++r) {
    const std::size_t i = static_cast<std::size_t>(r);
    const QString value = Text(live::ValueText(poll.values[i], DecimalSeparator()));
    table->item(r, kValueCell)->setText(value);
    table->item(r, kStatusCell)->setText(LayerText(Text(live::StatusName(poll.statuses[i]))));
    table->item(r, kTimeCell)->setText(time);
    // The text's own width, rounded up and a pixel more: whole pixels
    // would cut a text whose glyphs add up to a fraction more.
    valueWidth =
        std::max(valueWidth,
                 static_cast<int>(std::ceil(metrics.horizontalAdvance(value))) + 1 + valueMargin_);
  }
  // A value wider than any before widens its column (and the table) for
  // good, rather than showing cut.
  if (valueWidth > table->columnWidth(kValueCell)) table->setColumnWidth(kValueCell, valueWidth);
}

void LiveTab::ShowStatus() {
  QString text;
  if (!running_) {
    text = ended_.isEmpty() ? tr("Open a link on the System Parameter tab, then "
                                 "press Start to poll the gateway's values.")
                            : ended_;
  } else if (monitor_->State() == live::Phase::kReadingConfiguration) {
    text = tr("Reading the gateway's configuration...");
  } else if (monitor_->State() == live::Phase::kIdentifying) {
    text = tr("Identifying the instruments...");
  } else {
    text = tr("Polling every %1 ms: %2.").arg(intervalMs_).arg(PollCount(polls_));
    if (silentPolls_ > 0)
      text += tr(" The gateway did not answer: no values for %1.").arg(PollCount(silentPolls_));
    else if (lastGaps_ > 0)
      text += tr(" %1 of %2 values missing in the last poll.").arg(lastGaps_).arg(columns_.size());
    if (!notes_.isEmpty()) text += tr(" Left out: %1.").arg(notes_);
  }
  c_.status->setText(text);
}

void LiveTab::SetEditable(bool editable) {
  c_.interval->setEnabled(editable);
  for (QCheckBox* box : c_.meters) box->setEnabled(editable);
}

void LiveTab::KeptPolls::Clear(std::size_t columns) {
  width = columns;
  times.clear();
  values.clear();
  statuses.clear();
}

void LiveTab::KeptPolls::Add(const Poll& poll) {
  if (poll.values.size() != width || poll.statuses.size() != width) return;
  times.push_back(poll.timeMs);
  values.insert(values.end(), poll.values.begin(), poll.values.end());
  for (live::Status status : poll.statuses) statuses.push_back(static_cast<std::uint8_t>(status));
  if (times.size() <= kKeptPolls) return;
  times.pop_front();
  values.erase(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(width));
  statuses.erase(statuses.begin(), statuses.begin() + static_cast<std::ptrdiff_t>(width));
}

LiveTab::Poll LiveTab::KeptPolls::At(std::size_t index) const {
  Poll poll;
  poll.timeMs = times[index];
  const auto first = static_cast<std::ptrdiff_t>(index * width);
  const auto last = first + static_cast<std::ptrdiff_t>(width);
  poll.values.assign(values.begin() + first, values.begin() + last);
  for (auto s = statuses.begin() + first; s != statuses.begin() + last; ++s)
    poll.statuses.push_back(static_cast<live::Status>(*s));
  return poll;
}

// ---- chart and CSV ----------------------------------------------------------------

void LiveTab::onPauseToggled() {
  chart_->SetPaused(c_.pause->isChecked());
}

void LiveTab::onResetZoomClicked() {
  chart_->ResetZoom();
}

void LiveTab::onTableItemChanged(int row) {
  const QTableWidgetItem* item = c_.table->item(row, kMeterCell);
  if (item) chart_->SetLineShown(row, item->checkState() == Qt::Checked);
}

void LiveTab::onSaveCsvClicked() {
  if (kept_.times.empty() || columns_.empty()) {
    requests_.Messages().Show(
        tr("There are no values to save yet: press Start and let a poll come."));
    return;
  }
  const QString path = requests_.Messages().ChooseFileToSave(
      tr("Save CSV"), tr("CSV files (*.csv);;All files (*)"),
      QStringLiteral("live-values-%1.csv")
          .arg(QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss")));
  if (path.isEmpty()) return;  // cancelled
  const QString reason = link::WriteWholeFile(path, Csv());
  if (!reason.isEmpty())
    requests_.Messages().Show(tr("The values could not be saved to %1: %2").arg(path, reason));
}

QByteArray LiveTab::Csv() const {
  std::string text = live::CsvHeader(columns_);
  std::vector<live::Sample> samples(columns_.size());
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    samples[i].meter = columns_[i].meter;
    samples[i].quantity = columns_[i].quantity;
    samples[i].unit = columns_[i].unit;
  }
  for (std::size_t k = 0; k < kept_.times.size(); ++k) {
    const Poll poll = kept_.At(k);
    for (std::size_t i = 0; i < samples.size() && i < poll.values.size(); ++i) {
      samples[i].timeMs = poll.timeMs;
      samples[i].value = poll.values[i];
      samples[i].status = poll.statuses[i];
    }
    text += live::CsvRow(poll.timeMs, columns_, samples);
  }
  return QByteArray::fromStdString(text);
}

}  // namespace kv770::ui
