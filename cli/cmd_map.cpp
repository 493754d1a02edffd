// SPDX-License-Identifier: GPL-3.0-or-later
// map: the holding registers a MODBUS master reads, from the gateway's
// configuration or a backup of it.
#include <QCommandLineParser>
#include <QDateTime>
#include <QJsonArray>
#include <algorithm>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "link/file_output.h"
#include "print/register_map_pdf.h"
#include "live/register_map.h"

namespace kv770::cli {

namespace {

struct MapOptions {
  QString from;  // a backup file, "-" standard input; empty: the gateway
  QString csv;   // "-": standard output
  QString pdf;
};

MapOptions Parse(const Session& s, const CommandLine& line) {
  Expect(line.words, 0, QStringLiteral("map [--from FILE] [--csv OUT] [--pdf OUT]"));
  MapOptions o;
  o.from = line.options.value(QStringLiteral("from"));
  o.csv = line.options.value(QStringLiteral("csv"));
  o.pdf = line.options.value(QStringLiteral("pdf"));
  for (const char* name : {"from", "csv", "pdf"})
    if (line.options.isSet(QLatin1String(name)) &&
        line.options.value(QLatin1String(name)).isEmpty())
      BadUsage(QStringLiteral("--%1 needs a file name").arg(QLatin1String(name)));
  if (o.pdf == QLatin1String("-"))
    BadUsage(QStringLiteral("--pdf takes a file: a PDF is no text for standard output"));
  if (o.csv == QLatin1String("-") && s.json)
    BadUsage(QStringLiteral("--csv - and --json would both go to standard output"));
  return o;
}

QString Registers(const live::RegisterRow& r) {
  return QStringLiteral("%1-%2").arg(r.registerNumber).arg(r.registerNumber + 1);
}

// The table for people: a column per field, as wide as its widest entry.
QStringList Table(const std::vector<live::RegisterRow>& rows) {
  std::vector<QStringList> cells{{QStringLiteral("registers"), QStringLiteral("PDU address"),
                                  QStringLiteral("meter"), QStringLiteral("quantity"),
                                  QStringLiteral("data type"), QStringLiteral("byte order"),
                                  QStringLiteral("coefficient"), QStringLiteral("unit")}};
  for (const live::RegisterRow& r : rows)
    cells.push_back({Registers(r), QString::number(r.address), QString::number(r.meter),
                     Text(r.quantity), Text(r.dataType), Text(r.byteOrder), Text(r.coefficient),
                     Text(r.unit)});
  std::vector<qsizetype> widths(cells.front().size(), 0);
  for (const QStringList& row : cells)
    for (qsizetype i = 0; i < row.size(); ++i)
      widths[static_cast<std::size_t>(i)] =
          std::max(widths[static_cast<std::size_t>(i)], row[i].size());
  QStringList lines;
  for (const QStringList& row : cells) {
    QString line;
    for (qsizetype i = 0; i < row.size(); ++i)
      line += row[i].leftJustified(widths[static_cast<std::size_t>(i)] + 2);
    lines << line.trimmed();
  }
  return lines;
}

QJsonObject ToJson(const gateway::GatewayConfig& config,
                   const std::vector<live::RegisterRow>& rows, const QString& source) {
  QJsonArray registers;
  for (const live::RegisterRow& r : rows)
    registers.append(QJsonObject{{QStringLiteral("register"), r.registerNumber},
                                 {QStringLiteral("address"), r.address},
                                 {QStringLiteral("meter"), r.meter},
                                 {QStringLiteral("quantity"), Text(r.quantity)},
                                 {QStringLiteral("dataType"), Text(r.dataType)},
                                 {QStringLiteral("byteOrder"), Text(r.byteOrder)},
                                 {QStringLiteral("coefficient"), Text(r.coefficient)},
                                 {QStringLiteral("unit"), Text(r.unit)}});
  QJsonArray notes;
  for (const std::string& note : live::RegisterMapNotes(config)) notes.append(Text(note));
  const gateway::SystemSettings& s = config.system;
  return {{QStringLiteral("source"), source},
          {QStringLiteral("slaveAddress"), s.slaveAddress},
          {QStringLiteral("baudRate"), s.baudRate},
          {QStringLiteral("parity"), Text(gateway::NameOf(gateway::kParityNames, s.parity))},
          {QStringLiteral("workingMode"),
           Text(gateway::NameOf(gateway::kWorkingModeNames, s.workingMode))},
          {QStringLiteral("registers"), registers},
          {QStringLiteral("notes"), notes}};
}

void Write(const QString& path, const QByteArray& bytes) {
  // Replaced only by a whole file: a full disk leaves the old one.
  const QString failed = link::WriteWholeFile(path, bytes);
  if (!failed.isEmpty())
    throw Failure{kDeviceFailed, QStringLiteral("cannot write %1: %2").arg(path, failed)};
}

}  // namespace

int RunMap(Session& s, const CommandLine& line) {
  const MapOptions o = Parse(s, line);
  s.fileOnStdout = o.csv == QLatin1String("-");
  const gateway::GatewayConfig config =
      o.from.isEmpty() ? ReadConfig(s) : LoadBackup(o.from, s.standardInput);
  // Without --from the configuration came over the link.
  const QString source = o.from == QLatin1String("-") ? QStringLiteral("standard input")
                         : !o.from.isEmpty()          ? o.from
                                                      : s.link->Describe();
  const std::vector<live::RegisterRow> rows = live::RegisterMap(config);

  // Everything is made before anything is written.
  const QByteArray csv = QByteArray::fromStdString(live::RegisterMapCsv(rows));
  QByteArray pdf;
  if (!o.pdf.isEmpty()) {
    pdf = print::RegisterMapPdf(config, source, QDateTime::currentDateTime());
    if (pdf.isEmpty())
      throw Failure{kDeviceFailed, QStringLiteral("cannot make the PDF for %1").arg(o.pdf)};
  }
  QJsonObject result = ToJson(config, rows, source);
  const QString summary =
      QStringLiteral("register map of %1 (%2 values)").arg(source).arg(rows.size());
  if (o.csv == QLatin1String("-")) {
    s.Out() << QString::fromUtf8(csv);
    s.Out().flush();
  } else if (!o.csv.isEmpty()) {
    Write(o.csv, csv);
    s.Say(QStringLiteral("%1 written to %2").arg(summary, o.csv));
    result.insert(QStringLiteral("csv"), o.csv);
  }
  if (!o.pdf.isEmpty()) {
    Write(o.pdf, pdf);
    s.Say(QStringLiteral("%1 written to %2").arg(summary, o.pdf));
    result.insert(QStringLiteral("pdf"), o.pdf);
  }
  if (s.json) {
    s.Print(result);
    return kDone;
  }
  if (!o.csv.isEmpty() || !o.pdf.isEmpty()) return kDone;

  s.Line(QStringLiteral("KV770-W register map"));
  for (const std::string& heading : live::RegisterMapHeading(config.system)) s.Line(Text(heading));
  s.Line(QStringLiteral("from %1").arg(source));
  s.Line(QString());
  for (const QString& row : Table(rows)) s.Line(row);
  s.Line(QString());
  for (const std::string& note : live::RegisterMapNotes(config)) s.Line(Text(note));
  s.Line(QString::fromUtf8(live::kRegisterMapLegend));
  return kDone;
}

}  // namespace kv770::cli
