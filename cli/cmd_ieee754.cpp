// ieee754 BYTES: the calculator, without a gateway.
#include <QCommandLineParser>

#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "tools/calculator_input.h"
#include "tools/float_text.h"

namespace kv770::cli {

namespace {

int Ieee754(Session& s, const QString& text) {
  std::string chars;
  for (QChar c : text) chars += c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7F';
  const tools::CalculatorInput input = tools::ParseCalculatorInput(chars);
  switch (input.error) {
    case tools::CalculatorInput::Error::NoSeparator:
      BadUsage(QStringLiteral("input data without spaces"));
    case tools::CalculatorInput::Error::IllegalCharacters:
      BadUsage(QStringLiteral("there are illegal characters, please re-enter!"));
    case tools::CalculatorInput::Error::None:
      break;
  }
  const QString value = QString::fromStdString(tools::CalculatorTextUncut(input.Pattern()));
  s.Say(value);
  s.Result(
      {{QStringLiteral("bytes"), Hex(Bytes(input.bytes))},
       {QStringLiteral("pattern"),
        QStringLiteral("0x") +
            QString::number(input.Pattern(), 16).rightJustified(8, QLatin1Char('0')).toUpper()},
       {QStringLiteral("value"), value}});
  return kDone;
}

}  // namespace

int RunIeee754(Session& s, const CommandLine& line) {
  Expect(line.words, 1, QStringLiteral("ieee754 \"41 20 00 00\""));
  return Ieee754(s, line.words[0]);
}

}  // namespace kv770::cli
