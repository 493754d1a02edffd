// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/values.h"

#include <algorithm>

#include "base/hex_text.h"
#include "cli/failure.h"
#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/hex_bytes.h"
#include "link/errors.h"

namespace kv770::cli {

void BadUsage(const QString& message) {
  throw Failure{kBadUsage, message, true};
}

void RefuseFile(const QString& message) {
  throw Failure{kBadUsage, message};
}

int Integer(const QString& text, int lo, int hi) {
  return cycle::StrToIntInRange(text, lo, hi);
}

int Integer(const QString& what, const QString& text, int lo, int hi) {
  try {
    return cycle::StrToIntInRange(text, lo, hi);
  } catch (const EConvertError& e) {
    BadUsage(QStringLiteral("%1: %2").arg(what, e.Message()));
  }
}

int Choice(const QString& option, const QString& text, const QStringList& names,
           const QStringList& aliases) {
  const QString lower = text.toLower();
  int index = names.indexOf(lower);
  if (index < 0) index = aliases.indexOf(lower);
  if (index < 0)
    BadUsage(QStringLiteral("--%1: '%2' is not one of %3")
                 .arg(option, text, names.join(QStringLiteral(", "))));
  return index;
}

int BaudRate(const QString& what, const QString& text) {
  bool number = false;
  const int rate = text.toInt(&number);
  if (number && gateway::BaudCode(rate) >= 0) return rate;
  BadUsage((what.isEmpty() ? QString() : what + QStringLiteral(": ")) +
           QStringLiteral("'%1' is not a baud rate of the gateway (%2)")
               .arg(text, Text(gateway::BaudRateList())));
}

std::vector<int> NumberList(const QString& option, const QString& text, int lo, int hi) {
  std::vector<int> numbers;
  for (const QString& item : text.split(QLatin1Char(','))) {
    const qsizetype dash = item.indexOf(QLatin1Char('-'), 1);
    const int first =
        Integer(QStringLiteral("--") + option, dash < 0 ? item : item.left(dash), lo, hi);
    const int last =
        dash < 0 ? first : Integer(QStringLiteral("--") + option, item.mid(dash + 1), lo, hi);
    if (last < first) BadUsage(QStringLiteral("--%1: '%2' runs backwards").arg(option, item));
    for (int n = first; n <= last; ++n) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

int OnOff(const QString& option, const QString& text) {
  return Choice(option, text, {QStringLiteral("close"), QStringLiteral("open")},
                {QStringLiteral("off"), QStringLiteral("on")});
}

QStringList Items(const QString& option, const QString& text, int count) {
  const QStringList items = text.split(QLatin1Char(','));
  if (items.size() != count)
    BadUsage(QStringLiteral("--%1: '%2' is not a list of %3 values separated by commas")
                 .arg(option, text)
                 .arg(count));
  return items;
}

std::vector<std::uint8_t> HexBytes(const QString& what, const QString& text, int limit) {
  // The window's reader stops at `limit` bytes and passes over a lone
  // character at the end; here every character typed must be read, so a
  // list is taken only when it reads back as typed (a last blank aside).
  const gateway::HexBytes parsed =
      gateway::ParseHexBytes(text.toLatin1().toStdString(), static_cast<int>(text.size()));
  const QString again = Text(base::HexText(parsed.bytes));
  const bool whole = parsed.ok() && (text == again || text == again + QLatin1Char(' '));
  if (!whole)
    BadUsage(
        QStringLiteral("%1: '%2' is not bytes in hexadecimal (like \"01 03 00\")").arg(what, text));
  if (static_cast<int>(parsed.bytes.size()) > limit)
    BadUsage(
        QStringLiteral("%1: more than %2 bytes; the gateway takes 1 to %2").arg(what).arg(limit));
  return parsed.bytes;
}

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QStringList Names(std::span<const std::string_view> names) {
  QStringList list;
  for (std::string_view name : names) list << Text(name);
  return list;
}

QStringList Lines(const gateway::Lines& lines) {
  QStringList list;
  for (const std::string& line : lines) list << QString::fromStdString(line);
  return list;
}

QString Shown(const QByteArray& bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      return Text(base::HexText(bytes));
  return QString::fromLatin1(bytes);
}

std::span<const std::uint8_t> Span(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
          static_cast<std::size_t>(bytes.size())};
}

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace kv770::cli
