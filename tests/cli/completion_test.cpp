// SPDX-License-Identifier: GPL-3.0-or-later
// The bash completion the programs print (and the build installs), run
// in bash as the shell runs it on Tab: with bash-completion's helpers where
// they are installed, and without them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "cli/commands.h"
#include "cli/ctl.h"
#include "support/child_process.h"

namespace kv770::test {
namespace {

const QString kBashCompletion = QStringLiteral("/usr/share/bash-completion/bash_completion");

// Sources the script and calls its function as bash does for the words
// typed, the last one being completed; prints the completions a line each.
const char* const kDriver = R"(
script=$1 helpers=$2
shift 2
[ "$helpers" = yes ] && . /usr/share/bash-completion/bash_completion
. "$script"
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
COMP_LINE="$*"
COMP_POINT=${#COMP_LINE}
fn=$(complete -p "$1" | sed 's/.* -F \([^ ]*\) .*/\1/')
"$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}")";

class Completion : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"kv770ctl", "kv770-sim"}) {
      const ChildRun run = RunChild(BuiltProgram(program), {"--completion", "bash"});
      ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
      QFile file(dir.filePath(program));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(run.out.toUtf8());
    }
  }

  // What Tab offers after `words` (the program first), the same with
  // bash-completion's helpers and without.
  QSet<QString> Complete(const QStringList& words) {
    QSet<QString> offered;
    for (const char* helpers : {"no", "yes"}) {
      if (QLatin1String(helpers) == QLatin1String("yes") && !QFile::exists(kBashCompletion))
        continue;
      const ChildRun run = RunChild(
          "/bin/bash",
          QStringList{"-c", kDriver, "bash", dir.filePath(words.first()), helpers} + words);
      EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
      const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
      const QSet<QString> these(lines.begin(), lines.end());
      if (QLatin1String(helpers) == QLatin1String("yes")) {
        EXPECT_EQ(these, offered) << words.join(' ').toStdString();
      }
      offered = these;
    }
    return offered;
  }

  QTemporaryDir dir;
};

QSet<QString> Set(const QStringList& words) {
  return {words.begin(), words.end()};
}

TEST_F(Completion, OffersCommandsWordsOptionsAndValues) {
  QStringList devices;
  for (const char* pattern :
       {"/dev/serial/by-id/*", "/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyS*"}) {
    const QFileInfo where(QString::fromLatin1(pattern));
    QDir d(where.path(), where.fileName(), QDir::Name, QDir::System | QDir::Files);
    for (const QString& name : d.entryList()) devices << d.filePath(name);
  }
  QFile(dir.filePath("backup.json")).open(QIODevice::WriteOnly);
  const QStringList meters = {"1", "2", "3", "4", "5", "6", "7", "8"};
  const struct {
    QStringList typed;
    QStringList offered;
  } cases[] = {
      {{"kv770ctl", "sys"}, {"system"}},
      {{"kv770ctl", "--tcp", "10.0.0.1", "meter", ""}, meters},
      {{"kv770ctl", "meter", "3", ""}, {"get", "set"}},
      {{"kv770ctl", "hart", "address", ""}, meters},
      {{"kv770ctl", "hart", "s"}, {"send", "scan"}},
      {{"kv770ctl", "--par"}, {"--parity"}},
      {{"kv770ctl", "--parity", ""}, {"none", "odd", "even"}},
      {{"kv770ctl", "system", "set", "--mode", ""}, {"transparent", "modbus"}},
      {{"kv770ctl", "meter", "1", "set", "--enable", ""}, {"open", "close"}},
      {{"kv770ctl", "--serial", ""}, devices},
      {{"kv770ctl", "--tcp", "h", "backup", dir.filePath("ba")}, {dir.filePath("backup.json")}},
      {{"kv770-sim", "--ref"}, {"--refuse"}},
      {{"kv770-sim", "--refuse", "XI"}, {"XISH"}},
      {{"kv770-sim", "--baud", "1"}, {"1200", "19200"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Complete(c.typed), Set(c.offered)) << c.typed.join(' ').toStdString();
}

// Every option the parser takes, before the command and after each one,
// is offered there: the script is made from the same table.
TEST_F(Completion, OffersEveryOptionTheParserTakes) {
  QStringList families{QString()};
  for (const cli::Command& c : cli::Commands()) families << QLatin1String(c.family);
  for (const QString& family : families) {
    QStringList wanted;
    for (const QString& name : cli::AcceptedOptions(family))
      wanted << (name.size() == 1 ? "-" : "--") + name;
    QStringList typed{"kv770ctl"};
    if (!family.isEmpty()) typed << family;
    EXPECT_EQ(Complete(typed << "-"), Set(wanted)) << family.toStdString();
  }
}

}  // namespace
}  // namespace kv770::test
