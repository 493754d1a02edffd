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
// Refused before anything is sent, naming the option or argument.

// Exit status 2, the message pointing to the help.
[[noreturn]] void BadUsage(const QString& message);
// Exit status 2 for a file that cannot be read or is too long: the help
// would not tell more.
[[noreturn]] void RefuseFile(const QString& message);

int Integer(const QString& text, int lo, int hi);
// The same, a refusal naming `what` ("--address: '1000' is out of range
// (0 to 999)").
int Integer(const QString& what, const QString& text, int lo, int hi);
// `text` in any case, one of `names` (or of `aliases`, position for
// position); the code is its position.
int Choice(const QString& option, const QString& text, const QStringList& names,
           const QStringList& aliases = {});
// One of the gateway's RS-485 bit rates; a refusal names `what`, if any.
int BaudRate(const QString& what, const QString& text);
// 0 close (off), 1 open (on).
int OnOff(const QString& option, const QString& text);
// "0-15", "0,3,5", "1-2,7": each number once, in order, every one from lo
// to hi; a run that goes backwards is refused naming `option`.
std::vector<int> NumberList(const QString& option, const QString& text, int lo, int hi);
// A comma-separated list of exactly `count` items.
QStringList Items(const QString& option, const QString& text, int count);
// "01 03 00": 1 to `limit` bytes, two capital hexadecimal digits each, a
// blank between them; anything else, a byte too many included, is refused
// naming `what` ("--read1", "hart send").
std::vector<std::uint8_t> HexBytes(const QString& what, const QString& text, int limit);

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
