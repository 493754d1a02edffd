// SPDX-License-Identifier: GPL-3.0-or-later
// kv770ctl --completion bash: the shell's completion, made from the table
// of commands (cli/commands.h) that the parsers and --help are made from,
// so that a new command or option completes without anyone writing it in.
#include <QMap>
#include <functional>
#include <span>

#include "cli/commands.h"
#include "cli/ctl.h"
#include "cli/values.h"
#include "gateway/commands.h"
#include "gateway/config.h"

namespace kv770::cli {

namespace {

struct Named {
  QString name;   // "--baud", "-h"
  QString value;  // what the help shows after it; empty for a flag
};

QString Dashed(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The options the parser takes in one place, as AddOptions adds them:
// before the command every option of the run; after it the command's own,
// then those of the run that may follow a command and that the command
// has no option of the same name for.
std::vector<Named> OptionsOf(const Command* c) {
  std::vector<Named> named;
  QStringList own;
  const auto add = [&](const std::vector<OptionHelp>& entries, bool shared) {
    for (const OptionHelp& entry : entries)
      for (const Option& o : entry.options) {
        if (shared && (!entry.afterCommand || own.contains(o.names.first()))) continue;
        for (const QString& name : o.names) named.push_back({Dashed(name), o.value});
        if (!shared) own << o.names;
      }
  };
  if (!c) {
    add(RunOptions(), false);
    return named;
  }
  add(c->options, false);
  add(RunOptions(), true);
  return named;
}

QString Numbers(int from, int to) {
  QStringList n;
  for (int i = from; i <= to; ++i) n << QString::number(i);
  return n.join(QLatin1Char(' '));
}

QString Words(std::span<const std::string_view> names) {
  return Names(names).join(QLatin1Char(' '));
}

// How the value of an option is completed, as a line of bash: by what the
// help shows after it where that says enough ("FILE", "open|close"), else
// from the gateway's own lists.
QString ValueCompletion(const QString& name, const QString& value) {
  if (value == QLatin1String("FILE") || value == QLatin1String("OUT"))
    return QStringLiteral("_kv770ctl_files");
  if (value.startsWith(QLatin1String("DEV"))) return QStringLiteral("_kv770ctl_devices");
  QString words;
  if (value.contains(QLatin1Char('|'))) {
    words = value.split(QLatin1Char('|')).join(QLatin1Char(' '));
  } else if (name == QLatin1String("--parity")) {
    words = Words(gateway::kParityNames);
  } else if (name == QLatin1String("--mode")) {
    words = Words(gateway::kWorkingModeNames);
  } else if (name == QLatin1String("--baud")) {
    QStringList rates;
    for (int rate : gateway::kRs485BaudRates) rates << QString::number(rate);
    words = rates.join(QLatin1Char(' '));
  } else if (name == QLatin1String("--type")) {
    words = Numbers(0, gateway::kInstrumentTypes - 1);
  } else if (name == QLatin1String("--order")) {
    words = Numbers(0, 3);
  } else if (name == QLatin1String("--meters")) {
    words = Numbers(1, gateway::kMeters);
  } else {
    return {};  // the user's own: nothing to offer
  }
  return QStringLiteral("_kv770ctl_words \"%1\"").arg(words);
}

// "system) ... ;;" for the options of each place, the place before the
// command being "", each line indented by `indent`.
QString Cases(const std::function<QString(const std::vector<Named>&)>& body, int indent) {
  const QString margin(indent, QLatin1Char(' '));
  QString text = margin + QStringLiteral("\"\") %1 ;;\n").arg(body(OptionsOf(nullptr)));
  for (const Command& c : Commands())
    text +=
        margin + QStringLiteral("%1) %2 ;;\n").arg(QLatin1String(c.family), body(OptionsOf(&c)));
  return text;
}

QString ValueOptions(const std::vector<Named>& named) {
  QStringList names;
  for (const Named& n : named)
    if (!n.value.isEmpty()) names << n.name;
  return names.isEmpty()
             ? QStringLiteral("return 1")
             : QStringLiteral("case $2 in %1) return 0 ;; esac").arg(names.join(QLatin1Char('|')));
}

QString AllOptions(const std::vector<Named>& named) {
  QStringList names;
  for (const Named& n : named) names << n.name;
  return QStringLiteral("opts=\"%1\"").arg(names.join(QLatin1Char(' ')));
}

// The words after each command, a synopsis a string ("N get"): what
// --help shows, less the command's name.
QString Synopses() {
  QString text;
  for (const Command& c : Commands()) {
    QStringList patterns;
    for (const Synopsis& s : c.synopses) {
      const QString usage = QString::fromUtf8(s.usage);
      patterns << QLatin1Char('\'') +
                      usage.mid(qstrlen(c.family)).trimmed().remove(QLatin1Char('"')) +
                      QLatin1Char('\'');
    }
    text += QStringLiteral("    %1) synopses=(%2) ;;\n")
                .arg(QLatin1String(c.family), patterns.join(QLatin1Char(' ')));
  }
  return text;
}

}  // namespace

QString BashCompletion() {
  // Each option's value completion, the first place that names it
  // deciding (an option means the same wherever it stands).
  QMap<QString, QString> values;
  std::vector<const Command*> places{nullptr};
  for (const Command& c : Commands()) places.push_back(&c);
  for (const Command* c : places)
    for (const Named& n : OptionsOf(c))
      if (!n.value.isEmpty() && !values.contains(n.name))
        values.insert(n.name, ValueCompletion(n.name, n.value));
  QString valueCases;
  for (auto it = values.cbegin(); it != values.cend(); ++it)
    if (!it.value().isEmpty())
      valueCases += QStringLiteral("    %1) %2 ;;\n").arg(it.key(), it.value());
  QStringList families;
  for (const Command& c : Commands()) families << QLatin1String(c.family);

  QString script = QStringLiteral(
      R"bash(# bash completion for kv770ctl                            -*- shell-script -*-
# Made by 'kv770ctl --completion bash' from the program's own table of
# commands and options; edit that table, not this file.

# Serial devices present.
_kv770ctl_devices() {
  local d found=()
  for d in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM* /dev/ttyS*; do
    [[ -e $d ]] && found+=("$d")
  done
  COMPREPLY=($(compgen -W "${found[*]}" -- "$cur"))
}

_kv770ctl_files() {
  if declare -F _filedir >/dev/null; then
    _filedir
  else
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_kv770ctl_words() {
  COMPREPLY+=($(compgen -W "$1" -- "$cur"))
}

# Whether option $2 takes a value, before the command ($1 empty) or after
# command $1.
_kv770ctl_takes_value() {
  case $1 in
@TAKES@  esac
  return 1
}

# Completes the value of option $1.
_kv770ctl_value() {
  case $1 in
@VALUES@    *) COMPREPLY=() ;;
  esac
}

_kv770ctl() {
  local cur prev words cword split=false
  if declare -F _init_completion >/dev/null; then
    _init_completion -s -n : || return
  else
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${words[cword]}
    prev=${words[cword - 1]}
  fi
  COMPREPLY=()

  # The command, the words after it, and whether the word being completed
  # is an option's value.
  local family="" i w value=false
  local -a args=()
  for ((i = 1; i < cword; i++)); do
    w=${words[i]}
    if $value; then
      value=false
      continue
    fi
    case $w in
      --*=*) ;;
      -*) _kv770ctl_takes_value "$family" "$w" && value=true ;;
      *) if [[ -z $family ]]; then family=$w; else args+=("$w"); fi ;;
    esac
  done
  if $value || $split; then
    _kv770ctl_value "$prev"
    return
  fi

  if [[ $cur == -* ]]; then
    local opts=""
    case $family in
@OPTIONS@    esac
    _kv770ctl_words "$opts"
    return
  fi
  if [[ -z $family ]]; then
    _kv770ctl_words "@FAMILIES@"
    return
  fi

  # The command's words, place by place: a lower-case word as it stands,
  # N a meter or HART channel (1 to @METERS@), FILE a file; the others are
  # the user's.
  local -a synopses=() t
  case $family in
@SYNOPSES@  esac
  local s k n=${#args[@]} match files=false numbers=false candidates=""
  for s in "${synopses[@]}"; do
    read -ra t <<<"$s"
    ((n < ${#t[@]})) || continue
    match=true
    for ((k = 0; k < n; k++)); do
      if [[ ${t[k]} == [[:lower:]]* && ${t[k]} != "${args[k]}" ]]; then
        match=false
        break
      fi
    done
    $match || continue
    case ${t[n]} in
      N) numbers=true ;;
      FILE) files=true ;;
      [[:lower:]]*) [[ " $candidates " == *" ${t[n]} "* ]] || candidates+=" ${t[n]}" ;;
    esac
  done
  $numbers && candidates+=" @NUMBERS@"
  $files && _kv770ctl_files
  _kv770ctl_words "$candidates"
}
complete -F _kv770ctl kv770ctl
)bash");
  script.replace(QLatin1String("@TAKES@"), Cases(ValueOptions, 4));
  script.replace(QLatin1String("@OPTIONS@"), Cases(AllOptions, 6));
  script.replace(QLatin1String("@VALUES@"), valueCases);
  script.replace(QLatin1String("@FAMILIES@"), families.join(QLatin1Char(' ')));
  script.replace(QLatin1String("@SYNOPSES@"), Synopses());
  script.replace(QLatin1String("@METERS@"), QString::number(gateway::kMeters));
  script.replace(QLatin1String("@NUMBERS@"), Numbers(1, gateway::kMeters));
  return script;
}

}  // namespace kv770::cli
