// SPDX-License-Identifier: GPL-3.0-or-later
// --help, made from the table of commands: an option cannot lack its line.
#include <algorithm>

#include "cli/commands.h"
#include "cli/ctl.h"

namespace kv770::cli {

namespace {

constexpr int kHelpColumn = 24;
constexpr int kOptionIndent = 6;
// The command options' help starts here, or further right after the longest.
constexpr int kOptionHelpColumn = 26;

QString Shown(const OptionHelp& entry) {
  QStringList parts;
  for (const Option& o : entry.options) {
    QStringList names;
    for (const QString& name : o.names)
      names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    parts << names.join(QStringLiteral(", ")) +
                 (o.value.isEmpty() ? QString() : QLatin1Char(' ') + o.value);
  }
  return parts.join(QStringLiteral(", "));
}

// "  item      help", the help's further lines under its first.
QString HelpLines(int indent, const QString& item, const char* help, int column) {
  QString text = QString(indent, QLatin1Char(' ')) + item;
  const QStringList lines = QString::fromUtf8(help).split(QLatin1Char('\n'));
  if (lines.first().isEmpty()) return text + QLatin1Char('\n');
  text = text.leftJustified(column - 1) + QLatin1Char(' ');
  for (qsizetype i = 0; i < lines.size(); ++i)
    text += (i ? QString(column, QLatin1Char(' ')) : QString()) + lines[i] + QLatin1Char('\n');
  return text;
}

QString CommandHelp(const Command& c) {
  QString text;
  for (const Synopsis& s : c.synopses)
    text += HelpLines(2, QLatin1String(s.usage), s.help, kHelpColumn);
  int column = kOptionHelpColumn;
  for (const OptionHelp& o : c.options)
    if (*o.help) column = std::max<int>(column, kOptionIndent + Shown(o).size() + 3);
  for (const OptionHelp& o : c.options) {
    if (o.heading) text += QStringLiteral("    %1\n").arg(QLatin1String(o.heading));
    text += HelpLines(kOptionIndent, Shown(o), o.help, column);
  }
  return text;
}

}  // namespace

QString CommandUsageText(const Command& c) {
  return QStringLiteral("Usage: kv770ctl [LINK] [OPTIONS] %1 [ARGUMENTS] [COMMAND OPTIONS]\n\n")
             .arg(QLatin1String(c.family)) +
         CommandHelp(c) +
         QStringLiteral(
             "\nThe link and the options of every run (--tcp, --serial, --timeout, --trace,\n"
             "--json, --dry-run, ...): kv770ctl --help; everything: man kv770ctl.\n");
}

QString UsageText() {
  QString text = QStringLiteral(
      "Usage: kv770ctl LINK [OPTIONS] COMMAND [ARGUMENTS] [COMMAND OPTIONS]\n\n"
      "Configures and tests a KV770-W HART to MODBUS gateway from the command line:\n"
      "one request, one reply, as the kv770-config window does, for scripts and for\n"
      "commissioning many gateways with the same configuration.\n\n"
      "Link (before the command):\n");
  for (const OptionHelp& o : RunOptions()) text += HelpLines(2, Shown(o), o.help, kHelpColumn);
  text += QStringLiteral("\nCommands:\n");
  for (const Command& c : Commands()) text += CommandHelp(c);
  return text + QStringLiteral(
                    R"usage(
Every value is checked before anything is sent; a refusal names the option
("--address: '1000' is out of range (0 to 999)").

Every HART reply is checked (delimiter, address echo, command, byte count,
check byte) before it is believed.

Exit status: 0 done; 1 the gateway did not answer, refused, gave no valid
reply or did not take a setting, or a file could not be written; 2 bad
usage (an option, a value or a file). With --json a failure is one line
on standard error: {"error": "...", "exit": N}.

Examples:
  kv770ctl --tcp 192.168.0.88 check
  kv770ctl --serial /dev/ttyUSB0 --baud 9600 system set --address 17
  kv770ctl --tcp 192.168.0.88 meter 3 set --type 5 --preambles 6
  kv770ctl --tcp 192.168.0.88 backup plant-a.json
  kv770ctl --tcp 192.168.0.89 restore plant-a.json
  kv770ctl map --from plant-a.json --csv plant-a-map.csv --pdf plant-a-map.pdf

kv770ctl COMMAND --help shows that command alone; man kv770ctl tells more.
)usage");
}

}  // namespace kv770::cli
