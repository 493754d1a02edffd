// SPDX-License-Identifier: GPL-3.0-or-later
// ieee754 BYTES: the calculator, without a gateway.
#include <QCommandLineParser>
#include <bit>
#include <cmath>

#include "base/hex_text.h"
#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "tools/calculator_input.h"
#include "tools/float_text.h"

namespace kv770::cli {

namespace {

int Ieee754(Session& s, const QString& text) {
  const tools::CalculatorInput input =
      tools::ParseCalculatorInput(tools::CalculatorChars(std::u16string_view(
          reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()))));
  if (input.error != tools::CalculatorInput::Error::None)
    BadUsage(QStringLiteral("ieee754: '%1' is not four bytes in hexadecimal (like \"41 20 00 00\")")
                 .arg(text));
  const QString value = QString::fromStdString(tools::CalculatorTextUncut(input.Pattern()));
  const double number = std::bit_cast<float>(input.Pattern());
  s.Say(value);
  // JSON has no number for a NaN or an infinity: null, with the text beside.
  s.Result(
      {{QStringLiteral("bytes"), Text(base::HexText(input.bytes))},
       {QStringLiteral("pattern"),
        QStringLiteral("0x") +
            QString::number(input.Pattern(), 16).rightJustified(8, QLatin1Char('0')).toUpper()},
       {QStringLiteral("value"), std::isfinite(number) ? QJsonValue(number) : QJsonValue()},
       {QStringLiteral("text"), value}});
  return kDone;
}

}  // namespace

int RunIeee754(Session& s, const CommandLine& line) {
  Expect(line.words, 1, QStringLiteral("ieee754 \"41 20 00 00\""));
  return Ieee754(s, line.words[0]);
}

}  // namespace kv770::cli
