// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/register_map_pdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include "live/register_map.h"

namespace kv770::print {

namespace {

constexpr const char* kTitle = "KV770-W register map";

QString Escaped(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped();
}

// "2026-03-14 10:22 UTC+01:00": the local time and how far it is from UTC.
QString DateText(const QDateTime& made) {
  const int offset = made.offsetFromUtc() / 60;
  const int hours = std::abs(offset) / 60;
  const int minutes = std::abs(offset) % 60;
  return made.toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
         QStringLiteral(" UTC%1%2:%3")
             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
             .arg(hours, 2, 10, QLatin1Char('0'))
             .arg(minutes, 2, 10, QLatin1Char('0'));
}

// Data cells keep their text on one line; the headings may wrap.
QString Cell(const QString& text, bool right = false) {
  return QStringLiteral("<td style=\"white-space: nowrap\"%1>%2</td>")
      .arg(right ? QStringLiteral(" align=\"right\"") : QString(), text);
}

}  // namespace

QString RegisterMapHtml(const gateway::GatewayConfig& config, const QString& source,
                        const QDateTime& made) {
  QString html = QStringLiteral("<html><body><h2>%1</h2><p>").arg(QLatin1String(kTitle));
  for (const std::string& line : live::RegisterMapHeading(config.system))
    html += Escaped(line) + QStringLiteral("<br>");
  html += QStringLiteral("date %1<br>from %2</p>").arg(DateText(made), source.toHtmlEscaped());

  html += QStringLiteral(
      "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
      "style=\"border-collapse: collapse\"><thead><tr>"
      "<th>Registers</th><th>PDU address</th><th>Meter</th><th>Quantity</th>"
      "<th>Data type</th><th>Byte order</th><th>Coefficient</th><th>Unit</th>"
      "</tr></thead>");
  for (const live::RegisterRow& r : live::RegisterMap(config))
    html +=
        QStringLiteral("<tr>") +
        Cell(QStringLiteral("%1&ndash;%2").arg(r.registerNumber).arg(r.registerNumber + 1), true) +
        Cell(QString::number(r.address), true) + Cell(QString::number(r.meter), true) +
        Cell(Escaped(r.quantity)) + Cell(Escaped(r.dataType)) + Cell(Escaped(r.byteOrder)) +
        Cell(Escaped(r.coefficient), true) + Cell(Escaped(r.unit)) + QStringLiteral("</tr>");
  html += QStringLiteral("</table>");

  for (const std::string& note : live::RegisterMapNotes(config))
    html += QStringLiteral("<p>") + Escaped(note) + QStringLiteral("</p>");
  html += QStringLiteral("<p>") + Escaped(live::kRegisterMapLegend) + QStringLiteral("</p>");
  return html + QStringLiteral("</body></html>");
}

QByteArray RegisterMapPdf(const gateway::GatewayConfig& config, const QString& source,
                          const QDateTime& made) {
  // Laying out text needs the fonts, which only a GUI application has.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
  QByteArray pdf;
  QBuffer buffer(&pdf);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setTitle(QLatin1String(kTitle));
    writer.setCreator(QStringLiteral("kv770-config"));
    // The table's lines and padding are given in pixels: at 96 per inch
    // they are as thick on paper as on a screen.
    writer.setResolution(96);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
    // Laid out for the page itself: given no page size, QTextDocument
    // would print with 2 cm of margin of its own inside the writer's.
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
    document.setDocumentMargin(0);
    QFont font = document.defaultFont();
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    document.setDefaultFont(font);
    document.setHtml(RegisterMapHtml(config, source, made));
    document.print(&writer);
  }
  return pdf;
}

}  // namespace kv770::print
