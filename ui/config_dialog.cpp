// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/config_dialog.h"

#include <QDateTime>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <span>

#include "backup/backup_file.h"
#include "gateway/commands.h"
#include "link/file_output.h"
#include "live/poll_replies.h"
#include "live/register_map.h"
#include "print/register_map_pdf.h"
#include "ui/exchanger.h"
#include "ui/language.h"
#include "ui/tab.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

constexpr qint64 kMaxBackupBytes = 1024 * 1024;
QString BackupFilter() {
  return ConfigDialog::tr("Backups (*.json);;All files (*)");
}

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
          static_cast<std::size_t>(bytes.size())};
}

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One field of the backup as the table shows it: its path as the backup's
// refusals name it ("meters[2].preambles"), its value as text, and the keys
// that lead to it.
struct Field {
  QString path;
  QJsonValue value;
  QVariantList keys;  // QString member names, int array indexes
};

void Flatten(const QJsonValue& value, const QString& path, QVariantList keys,
             std::vector<Field>& out) {
  if (value.isObject()) {
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
      QVariantList inner = keys;
      inner << it.key();
      Flatten(it.value(), backup::MemberPath(path, it.key()), inner, out);
    }
  } else if (value.isArray()) {
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
      QVariantList inner = keys;
      inner << static_cast<int>(i);
      Flatten(array[i], backup::ElementPath(path, static_cast<std::size_t>(i)), inner, out);
    }
  } else {
    out.push_back({path, value, keys});
  }
}

// The settings of `config`, system first, as backup fields.
std::vector<Field> Fields(const gateway::GatewayConfig& config) {
  const QJsonObject json = backup::BackupToJson(config, {}, QDateTime::currentDateTime());
  std::vector<Field> fields;
  for (const char* key : {"system", "meters"})
    Flatten(json.value(QLatin1String(key)), QLatin1String(key), {QLatin1String(key)}, fields);
  return fields;
}

QString Shown(const QJsonValue& value) {
  if (value.isBool()) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
  if (value.isDouble()) return QString::number(value.toInteger());
  if (value.isUndefined()) return ConfigDialog::tr("(none)");
  return value.toString();
}

// `text` typed in place of `old`: a number stays a number where it reads as
// one, a flag a flag; anything else goes to the backup's reader as text,
// which refuses it with the field's name.
QJsonValue Typed(const QJsonValue& old, const QString& text) {
  const QString t = text.trimmed();
  if (old.isBool()) {
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1"))
      return true;
    if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0"))
      return false;
    return t;
  }
  if (old.isDouble()) {
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    return ok ? QJsonValue(n) : QJsonValue(t);
  }
  return t;
}

QJsonValue SetLeaf(const QJsonValue& node, const QVariantList& keys, qsizetype at,
                   const QJsonValue& value) {
  if (at == keys.size()) return value;
  if (keys[at].typeId() == QMetaType::Int) {
    QJsonArray array = node.toArray();
    const int i = keys[at].toInt();
    array[i] = SetLeaf(array[i], keys, at + 1, value);
    return array;
  }
  QJsonObject object = node.toObject();
  const QString key = keys[at].toString();
  object[key] = SetLeaf(object.value(key), keys, at + 1, value);
  return object;
}

QTableWidgetItem* Cell(const QString& text, bool editable) {
  auto* item = new QTableWidgetItem(text);
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (editable) flags |= Qt::ItemIsEditable;
  item->setFlags(flags);
  return item;
}

}  // namespace

ConfigDialog::ConfigDialog(Requests& requests, Exchanger& exchanger, QWidget* parent)
    : QDialog(parent), requests_(requests), exchanger_(exchanger) {
  setObjectName("ConfigurationDialog");
  setWindowTitle(tr("Gateway configuration"));
  resize(760, 560);

  auto* buttons = new QHBoxLayout;
  const auto action = [&](const char* name, const QString& caption, void (ConfigDialog::*what)()) {
    QPushButton* button = MakeButton(this, name, caption);
    connect(button, &QPushButton::clicked, this, [this, what] {
      RunShowingErrors(requests_.Messages(), [this, what] { (this->*what)(); });
    });
    buttons->addWidget(button);
    actions_.push_back(button);
  };
  action("ConfigRead", tr("Read from gateway"), &ConfigDialog::Read);
  action("ConfigOpen", tr("Open..."), &ConfigDialog::Open);
  action("ConfigSave", tr("Save..."), &ConfigDialog::Save);
  action("ConfigCompare", tr("Compare with file..."), &ConfigDialog::Compare);
  action("ConfigWrite", tr("Write to gateway..."), &ConfigDialog::Write);
  action("ConfigMap", tr("Register map..."), &ConfigDialog::RegisterMap);
  buttons->addStretch(1);

  progress_ = new QProgressBar(this);
  progress_->setObjectName("ConfigProgress");
  progress_->setAccessibleName(tr("Progress"));
  cancel_ = MakeButton(this, "ConfigCancel", tr("Cancel"));
  connect(cancel_, &QPushButton::clicked, &exchanger_, &Exchanger::Cancel);
  auto* busy = new QHBoxLayout;
  busy->addWidget(progress_, 1);
  busy->addWidget(cancel_);

  origin_ = new QLabel(tr("Nothing read or opened yet."), this);
  origin_->setObjectName("ConfigOrigin");
  table_ = new QTableWidget(this);
  table_->setObjectName("ConfigTable");
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(table_->font()).height() + 8);
  table_->horizontalHeader()->setStretchLastSection(true);
  NameForScreenReaders(table_, tr("Settings"));
  connect(table_, &QTableWidget::cellChanged, this, &ConfigDialog::onCellChanged);
  messages_ = new QPlainTextEdit(this);
  messages_->setObjectName("ConfigMessages");
  messages_->setReadOnly(true);
  messages_->setMaximumHeight(QFontMetrics(messages_->font()).lineSpacing() * 7);
  NameForScreenReaders(messages_, tr("Messages"));
  send_ = MakeButton(this, "ConfigSend", QString());
  send_->hide();
  connect(send_, &QPushButton::clicked, this,
          [this] { RunShowingErrors(requests_.Messages(), [this] { SendWrite(); }); });

  auto* column = new QVBoxLayout(this);
  column->addLayout(buttons);
  column->addLayout(busy);
  column->addWidget(origin_);
  column->addWidget(table_, 1);
  column->addWidget(messages_);
  column->addWidget(send_, 0, Qt::AlignRight);

  connect(&exchanger_, &Exchanger::answered, this, &ConfigDialog::onAnswered);
  connect(&exchanger_, &Exchanger::finished, this, &ConfigDialog::onFinished);
  SetBusy(false);
}

void ConfigDialog::SetBusy(bool busy, int steps) {
  progress_->setVisible(busy);
  cancel_->setVisible(busy);
  progress_->setRange(0, std::max(1, steps));
  progress_->setValue(0);
  for (QPushButton* button : actions_) button->setEnabled(!busy);
  table_->setEnabled(!busy);
  if (busy) send_->hide();
}

void ConfigDialog::Say(const QString& text) {
  messages_->appendPlainText(text);
}

// ---- reading -------------------------------------------------------------------

void ConfigDialog::Read() {
  ReadGateway(Task::kRead);
}

void ConfigDialog::ReadGateway(Task task) {
  requests_.RefuseWhileLive();
  std::vector<Exchanger::Step> steps;
  steps.push_back({QByteArray::fromStdString(gateway::SystemReportQuery()),
                   [](const QByteArray& r) { return live::SystemReportComplete(Span(r)); }});
  for (int meter = 1; meter <= gateway::kMeters; ++meter)
    steps.push_back(
        {QByteArray::fromStdString(gateway::ModbusReportQuery(meter - 1)),
         [meter](const QByteArray& r) { return live::MeterReportComplete(meter, Span(r)); }});
  read_ = {};
  readErrors_.clear();
  answered_ = 0;
  task_ = task;
  SetBusy(true, static_cast<int>(steps.size()));
  if (!exchanger_.Start(std::move(steps))) {
    task_ = Task::kNone;
    SetBusy(false);
  }
}

void ConfigDialog::onAnswered(int index, const QByteArray& reply) {
  if (task_ == Task::kNone) return;
  progress_->setValue(++answered_);
  if (task_ == Task::kWrite) {
    const QString what = send_->property("what").toStringList().value(index);
    Say(QStringLiteral("%1: %2").arg(
        what, reply.isEmpty() ? tr("no answer") : QString::fromLatin1(reply)));
    return;
  }
  const std::string text = reply.toStdString();
  const QString report =
      index == 0 ? tr("the system report") : tr("the report of meter %1").arg(index);
  if (reply.isEmpty()) {
    readErrors_ << tr("no answer to %1").arg(report);
    return;
  }
  try {
    if (index == 0)
      read_.system = gateway::SystemFromReport(text);
    else
      read_.meters[static_cast<std::size_t>(index - 1)] = gateway::MeterFromReport(index, text);
  } catch (const gateway::ReportError& e) {
    readErrors_ << LayerText(Text(e.what()));
  }
}

void ConfigDialog::onFinished(bool cancelled) {
  const Task task = task_;
  task_ = Task::kNone;
  SetBusy(false);
  if (task == Task::kNone) return;
  if (cancelled) {
    Say(tr("Cancelled: nothing shown has changed."));
    return;
  }
  if (task == Task::kWrite) {
    Say(tr("Reading back..."));
    ReadGateway(Task::kReadBack);
    return;
  }
  if (!readErrors_.isEmpty()) {
    for (const QString& error : readErrors_) Say(error);
    requests_.Messages().Show(
        tr("The configuration could not be read: %1").arg(readErrors_.join(tr("; "))));
    return;
  }
  if (task == Task::kRead) {
    config_ = read_;
    // As kv770ctl names its links in a backup: "tcp 10.0.0.5:7000".
    source_ = requests_.LinkDescription();
    if (source_.endsWith(QLatin1String(" connected")))
      source_ = QStringLiteral("tcp ") + source_.chopped(10);
    else if (source_.endsWith(QLatin1String(", open")))
      source_ = QStringLiteral("serial ") + source_.chopped(6);
    ShowConfig(tr("Read from the gateway (%1) at %2")
                   .arg(source_, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
  } else if (task == Task::kCompare) {
    ShowComparison(*fileConfig_, read_);
  } else if (task == Task::kReadBack) {
    const gateway::Lines differences = gateway::Differences(*config_, read_);
    for (const std::string& d : differences) Say(tr("not taken: %1").arg(LayerText(Text(d))));
    if (differences.empty())
      Say(tr("Verified: the gateway reports what was written."));
    else
      requests_.Messages().Show(
          tr("%1 setting(s) did not take; see the messages.").arg(differences.size()));
  }
}

// ---- files -------------------------------------------------------------------------

namespace {

// The backup at `path`; nothing, having said why, when it cannot be read or
// is no backup this program reads.
std::optional<gateway::GatewayConfig> ReadBackup(const QString& path, MessageSink& messages) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    messages.Show(ConfigDialog::tr("Cannot read %1: %2").arg(path, file.errorString()));
    return std::nullopt;
  }
  const QByteArray contents = file.read(kMaxBackupBytes + 1);
  if (contents.size() > kMaxBackupBytes) {
    messages.Show(ConfigDialog::tr("%1: more than %2 bytes; no backup is that long")
                      .arg(path)
                      .arg(kMaxBackupBytes));
    return std::nullopt;
  }
  try {
    return backup::BackupFromJson(contents);
  } catch (const backup::BadFile& bad) {
    messages.Show(QStringLiteral("%1: %2").arg(path, bad.message));
    return std::nullopt;
  }
}

}  // namespace

void ConfigDialog::Open() {
  const QString path =
      requests_.Messages().ChooseFileToOpen(tr("Open configuration"), BackupFilter());
  if (path.isEmpty()) return;
  const std::optional<gateway::GatewayConfig> opened = ReadBackup(path, requests_.Messages());
  if (!opened) return;
  config_ = opened;
  source_ = path;
  ShowConfig(tr("Opened %1").arg(path));
}

void ConfigDialog::Save() {
  if (!config_) {
    requests_.Messages().Show(tr("Read the configuration from the gateway or open a file first."));
    return;
  }
  const QString path =
      requests_.Messages().ChooseFileToSave(tr("Save configuration"), BackupFilter());
  if (path.isEmpty()) return;
  const QJsonObject json = backup::BackupToJson(*config_, source_, QDateTime::currentDateTime());
  // Replaced only by a whole backup: a full disk leaves the old one.
  const QString failed =
      link::WriteWholeFile(path, QJsonDocument(json).toJson(QJsonDocument::Indented));
  if (!failed.isEmpty()) {
    requests_.Messages().Show(tr("Cannot write %1: %2").arg(path, failed));
    return;
  }
  Say(tr("Saved to %1").arg(path));
}

void ConfigDialog::Compare() {
  const QString path =
      requests_.Messages().ChooseFileToOpen(tr("Compare with file"), BackupFilter());
  if (path.isEmpty()) return;
  fileConfig_ = ReadBackup(path, requests_.Messages());
  if (!fileConfig_) return;
  origin_->setText(tr("Comparing %1 with the gateway...").arg(path));
  ReadGateway(Task::kCompare);
}

// ---- writing ---------------------------------------------------------------------

void ConfigDialog::Write() {
  if (!config_) {
    requests_.Messages().Show(tr("Read the configuration from the gateway or open a file first."));
    return;
  }
  const std::vector<gateway::Request> commands = gateway::RestoreCommands(*config_);
  messages_->clear();
  Say(tr("%1 commands will be sent:").arg(commands.size()));
  QStringList whats;
  for (const gateway::Request& c : commands) {
    Say(QStringLiteral("  %1: %2")
            .arg(LayerText(Text(c.what)),
                 QString::fromLatin1(c.bytes.data(), static_cast<qsizetype>(c.bytes.size()))));
    whats << LayerText(Text(c.what));
  }
  if (requests_.LinkIndex() == 0)
    Say(
        tr("The RS-485 settings go last: if they change the line's speed or parity, "
           "the read-back needs the serial port reopened at the new settings."));
  send_->setProperty("what", whats);
  send_->setText(tr("Send %1 commands").arg(commands.size()));
  send_->show();
}

void ConfigDialog::SendWrite() {
  requests_.RefuseWhileLive();
  send_->hide();
  std::vector<Exchanger::Step> steps;
  for (const gateway::Request& c : gateway::RestoreCommands(*config_))
    steps.push_back({QByteArray::fromStdString(c.bytes), [](const QByteArray& r) {
                       return gateway::ShortAnswerWhole(r.toStdString());
                     }});
  answered_ = 0;
  task_ = Task::kWrite;
  SetBusy(true, static_cast<int>(steps.size()));
  if (!exchanger_.Start(std::move(steps))) {
    task_ = Task::kNone;
    SetBusy(false);
  }
}

// ---- the register map -------------------------------------------------------------

void ConfigDialog::RegisterMap() {
  if (!config_) {
    requests_.Messages().Show(tr("Read the configuration from the gateway or open a file first."));
    return;
  }
  const std::vector<live::RegisterRow> rows = live::RegisterMap(*config_);
  filling_ = true;
  table_->clear();
  table_->setColumnCount(7);
  table_->setHorizontalHeaderLabels({tr("Registers"), tr("Meter"), tr("Quantity"), tr("Data type"),
                                     tr("Byte order"), tr("Coefficient"), tr("Unit")});
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const live::RegisterRow& r = rows[static_cast<std::size_t>(i)];
    const QStringList cells = {
        QStringLiteral("%1-%2").arg(r.registerNumber).arg(r.registerNumber + 1),
        QString::number(r.meter),
        LayerText(Text(r.quantity)),
        LayerText(Text(r.dataType)),
        Text(r.byteOrder),
        Text(r.coefficient),
        Text(r.unit)};
    for (int c = 0; c < cells.size(); ++c) table_->setItem(i, c, Cell(cells[c], false));
  }
  table_->resizeColumnsToContents();
  filling_ = false;
  QStringList notes;
  for (const std::string& note : live::RegisterMapNotes(*config_)) notes << LayerText(Text(note));
  origin_->setText(tr("Register map of %1").arg(source_));
  for (const QString& note : notes) Say(note);

  const QString path = requests_.Messages().ChooseFileToSave(
      tr("Export register map"), tr("CSV (*.csv);;PDF (*.pdf);;All files (*)"),
      QStringLiteral("register-map.csv"));
  if (path.isEmpty()) return;
  const bool pdf = path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
  const QByteArray bytes =
      pdf ? print::RegisterMapPdf(*config_, source_, QDateTime::currentDateTime())
          : QByteArray::fromStdString(live::RegisterMapCsv(rows));
  const QString failed =
      bytes.isEmpty() ? tr("the page could not be made") : link::WriteWholeFile(path, bytes);
  if (!failed.isEmpty()) {
    requests_.Messages().Show(tr("Cannot write %1: %2").arg(path, failed));
    return;
  }
  Say(tr("Register map written to %1").arg(path));
}

// ---- the table ---------------------------------------------------------------------

void ConfigDialog::ShowConfig(const QString& origin) {
  origin_->setText(origin);
  filling_ = true;
  table_->clear();
  table_->setColumnCount(2);
  table_->setHorizontalHeaderLabels({tr("Setting"), tr("Value")});
  const std::vector<Field> fields = Fields(*config_);
  table_->setRowCount(static_cast<int>(fields.size()));
  for (int row = 0; row < static_cast<int>(fields.size()); ++row) {
    const Field& f = fields[static_cast<std::size_t>(row)];
    QTableWidgetItem* setting = Cell(f.path, false);
    setting->setData(Qt::UserRole, f.keys);
    table_->setItem(row, 0, setting);
    // A meter's number says which meter it is; it is no setting.
    const bool editable = !f.path.endsWith(QLatin1String(".meter"));
    table_->setItem(row, 1, Cell(Shown(f.value), editable));
  }
  table_->resizeColumnToContents(0);
  filling_ = false;
}

void ConfigDialog::ShowComparison(const gateway::GatewayConfig& file,
                                  const gateway::GatewayConfig& gateway) {
  filling_ = true;
  table_->clear();
  table_->setColumnCount(4);
  table_->setHorizontalHeaderLabels({tr("Setting"), tr("File"), tr("Gateway"), tr("Differs")});
  const std::vector<Field> inFile = Fields(file);
  const std::vector<Field> inGateway = Fields(gateway);
  // Both come from one writer, so a path is missing from one side only where
  // a meter is custom on one side and not on the other.
  QStringList paths;
  for (const Field& f : inFile) paths << f.path;
  for (const Field& f : inGateway)
    if (!paths.contains(f.path)) paths << f.path;
  const auto valueAt = [](const std::vector<Field>& fields, const QString& path) {
    for (const Field& f : fields)
      if (f.path == path) return f.value;
    return QJsonValue(QJsonValue::Undefined);
  };
  table_->setRowCount(static_cast<int>(paths.size()));
  int differing = 0;
  for (int row = 0; row < paths.size(); ++row) {
    const QJsonValue a = valueAt(inFile, paths[row]);
    const QJsonValue b = valueAt(inGateway, paths[row]);
    const bool differs = a != b;
    differing += differs ? 1 : 0;
    table_->setItem(row, 0, Cell(paths[row], false));
    table_->setItem(row, 1, Cell(Shown(a), false));
    table_->setItem(row, 2, Cell(Shown(b), false));
    table_->setItem(row, 3, Cell(differs ? tr("differs") : QString(), false));
  }
  table_->resizeColumnToContents(0);
  filling_ = false;
  origin_->setText(tr("%1 setting(s) differ between the file and the gateway").arg(differing));
}

void ConfigDialog::onCellChanged(int row, int column) {
  if (filling_ || column != 1 || !config_ || table_->columnCount() != 2) return;
  const QVariantList keys = table_->item(row, 0)->data(Qt::UserRole).toList();
  QJsonObject json = backup::BackupToJson(*config_, source_, QDateTime::currentDateTime());
  QJsonValue old = json;
  for (const QVariant& key : keys)
    old = key.typeId() == QMetaType::Int ? old.toArray().at(key.toInt())
                                         : old.toObject().value(key.toString());
  json = SetLeaf(json, keys, 0, Typed(old, table_->item(row, 1)->text())).toObject();
  try {
    config_ = backup::BackupFromJson(QJsonDocument(json).toJson());
    const QString edited = tr(", edited");
    origin_->setText(origin_->text().endsWith(edited) ? origin_->text() : origin_->text() + edited);
  } catch (const backup::BadFile& bad) {
    requests_.Messages().Show(tr("Not taken: %1").arg(bad.message));
  }
  // Shown as the model holds it: a refused value goes back, a taken one in
  // its own spelling.
  const QString origin = origin_->text();
  ShowConfig(origin);
}

}  // namespace kv770::ui
