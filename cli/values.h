// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "gateway/config.h"

namespace kv770::cli {

// ---- values typed by the user ------------------------------------------------------------
// Refused with the window's own words, before anything is sent.

[[noreturn]] void BadUsage(const QString& message);

int Integer(const QString& text, int lo, int hi);
// `text` in any case, one of `names` (or of `aliases`, position for
// position); the code is its position.
int Choice(const QString& option, const QString& text, const QStringList& names,
           const QStringList& aliases = {});
// One of the gateway's RS-485 bit rates.
int BaudRate(const QString& text);
// 0 close (off), 1 open (on).
int OnOff(const QString& option, const QString& text);
// "0-15", "0,3,5", "1-2,7": each number once, in order, every one from lo
// to hi; a run that goes backwards is refused naming `option`.
std::vector<int> NumberList(const QString& option, const QString& text, int lo, int hi);
// A comma-separated list of exactly `count` items.
QStringList Items(const QString& option, const QString& text, int count);
std::vector<std::uint8_t> HexBytes(const QString& text, int limit);

// ---- texts of the gateway's model ---------------------------------------------------------

QString Text(std::string_view utf8);
QStringList Names(std::span<const std::string_view> names);
QStringList Lines(const gateway::Lines& lines);

// ---- showing bytes -----------------------------------------------------------------------

// Text as it stands when it is all printable, else digit pairs.
QString Shown(const QByteArray& bytes);
std::span<const std::uint8_t> Span(const QByteArray& bytes);
std::string_view View(const QByteArray& bytes);

template <typename Container>
QByteArray Bytes(const Container& c) {
  return QByteArray(reinterpret_cast<const char*>(c.data()), static_cast<qsizetype>(c.size()));
}

}  // namespace kv770::cli
