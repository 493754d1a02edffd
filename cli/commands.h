// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <vector>

#include "cli/session.h"

namespace kv770::cli {

// kv770ctl's commands as one table: each family's name, how it is called,
// its options with their help, and the function that runs it. The parsers
// and --help are both made from it, so an option cannot lack its help.

// One option of the parser; several names are one option ("-h, --help").
struct Option {
  QStringList names;
  QString value;  // what the help shows after it ("N"); empty for a flag
};

// One line of --help and the options it describes ("--dtr, --rts").
struct OptionHelp {
  std::vector<Option> options;
  const char* help;               // lines after the first start at the help column
  const char* heading = nullptr;  // a line of its own above it
  bool afterCommand = true;       // also accepted after the command
};

// "system set": write system settings, then read them back.
struct Synopsis {
  const char* usage;
  const char* help;
};

// The options of the run, from before the command or after it, where the
// command has no option of the same name.
class RunValues {
 public:
  RunValues(const QCommandLineParser& before, const QCommandLineParser& after, QStringList shared)
      : before_(before), after_(after), shared_(std::move(shared)) {}
  bool isSet(const QString& name) const {
    return before_.isSet(name) || (shared_.contains(name) && after_.isSet(name));
  }
  QString value(const QString& name) const {
    return shared_.contains(name) && after_.isSet(name) ? after_.value(name) : before_.value(name);
  }
  QStringList values(const QString& name) const {
    return before_.values(name) + (shared_.contains(name) ? after_.values(name) : QStringList());
  }

 private:
  const QCommandLineParser& before_;
  const QCommandLineParser& after_;
  QStringList shared_;
};

// What the command line gave a command.
struct CommandLine {
  const QCommandLineParser& options;  // the command's own and those after it
  QStringList words;                  // the command's arguments
  QString verb;
  QStringList given;     // the command's own options that were given
  const RunValues& run;  // the link's and the run's options
};

struct Command {
  const char* family;
  std::vector<Synopsis> synopses;
  std::vector<OptionHelp> options;
  int verbWord = 0;  // which argument names the verb ("meter N set": 1)
  // Whether `verb` sends set commands, so that --dry-run applies.
  bool (*sends)(const QString& verb) = nullptr;
  // Whether `verb` takes none of the command's options; `verbInLabel`
  // names the verb in the refusal.
  bool (*bare)(const QString& verb) = nullptr;
  bool verbInLabel = false;
  int (*run)(Session& s, const CommandLine& line) = nullptr;
  // The command makes its own links from the run's --serial and --tcp
  // (scan takes several of each); the run opens none for it.
  bool ownLinks = false;
};

// The options of the link and the run, before the command or after it.
const std::vector<OptionHelp>& RunOptions();
const std::vector<Command>& Commands();
// Null for a family that does not exist.
const Command* FindCommand(const QString& family);

// The parser of the command and what follows it: the command's options and
// those of the run it leaves free (`shared`). Returns the names it takes.
QStringList SetUpCommand(QCommandLineParser& p, const Command& c, QStringList* shared);

// Adds `entries`' options to `p`, leaving out the names in `taken` and,
// for a parser of what follows the command, those that may not follow it;
// returns the names it added.
QStringList AddOptions(QCommandLineParser& p, const std::vector<OptionHelp>& entries,
                       const QStringList& taken = {}, bool afterCommand = false);

// ---- the command families (cli/cmd_*.cpp) ----------------------------------------------

int RunCheck(Session& s, const CommandLine& line);
int RunSystem(Session& s, const CommandLine& line);
int RunMeter(Session& s, const CommandLine& line);
int RunHart(Session& s, const CommandLine& line);
int RunModbus(Session& s, const CommandLine& line);
int RunIeee754(Session& s, const CommandLine& line);
int RunBackup(Session& s, const CommandLine& line);
int RunRestore(Session& s, const CommandLine& line);
int RunScan(Session& s, const CommandLine& line);
int RunMonitor(Session& s, const CommandLine& line);
int RunMap(Session& s, const CommandLine& line);

// The communication check; a backup starts with it.
int Check(Session& s);
// The gateway's whole configuration: its system report and each meter's.
gateway::GatewayConfig ReadConfig(Session& s);
// The configuration a backup file holds, or standard input for "-"
// (`standardInput` when it has been read already); a file that cannot be
// read or is no sound backup throws Failure(kBadUsage) naming it.
gateway::GatewayConfig LoadBackup(const QString& path, const QByteArray* standardInput);

// "usage: kv770ctl USAGE" unless `words` holds `count` arguments.
void Expect(const QStringList& words, qsizetype count, const QString& usage);

}  // namespace kv770::cli
