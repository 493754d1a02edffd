// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "gateway/config.h"

namespace kv770::print {

// The register map of a gateway (live/register_map.h) as a page to print
// or file: the title, the slave address and RS-485 settings a MODBUS
// master needs, the working mode, when and from what the map was made, the
// table, then what the table leaves out and how to read it. `source` names
// where the configuration came from ("tcp 10.0.0.5:7000", "plant-a.json").

// As rich text (the subset of HTML QTextDocument takes); every text from
// the configuration is escaped.
QString RegisterMapHtml(const gateway::GatewayConfig& config, const QString& source,
                        const QDateTime& made);

// As a PDF on A4, more pages only if the table runs over. Needs a
// QGuiApplication, for the fonts; without one it makes nothing and returns
// an empty array.
QByteArray RegisterMapPdf(const gateway::GatewayConfig& config, const QString& source,
                          const QDateTime& made);

}  // namespace kv770::print
