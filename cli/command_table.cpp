// SPDX-License-Identifier: GPL-3.0-or-later
// kv770ctl's commands: how each is called, its options and their help.
#include "cli/commands.h"
#include "cli/values.h"
#include "gateway/commands.h"

namespace kv770::cli {

namespace {

bool Never(const QString&) {
  return false;
}
bool Always(const QString&) {
  return true;
}
bool Gets(const QString& verb) {
  return verb == QLatin1String("get");
}
bool Sets(const QString& verb) {
  return verb == QLatin1String("set");
}
bool HartSends(const QString& verb) {
  return verb == QLatin1String("address") || verb == QLatin1String("send") ||
         verb == QLatin1String("scan");
}

Option Value(const char* name, const char* value) {
  return {{QLatin1String(name)}, QLatin1String(value)};
}
Option Flag(const char* name) {
  return {{QLatin1String(name)}, QString()};
}

QString SpaceSeparatedBaudRates() {
  QStringList rates;
  for (int rate : gateway::kRs485BaudRates) rates << QString::number(rate);
  return rates.join(QLatin1Char(' '));
}

}  // namespace

const std::vector<OptionHelp>& RunOptions() {
  static const QByteArray parity = QStringLiteral("serial parity: %1 (none)")
                                       .arg(Text(gateway::NameList(gateway::kParityNames)))
                                       .toUtf8();
  static const std::vector<OptionHelp> options = {
      {{Value("tcp", "HOST[:PORT]")},
       "the gateway's TCP server (port 7000 unless given);\n"
       "scan takes several"},
      {{Value("serial", "DEV|COMn")},
       "a serial port: a path (/dev/ttyUSB0), a name in /dev\n"
       "(ttyUSB0) or COMn (/dev/ttyS(n-1), see --com); scan\n"
       "takes several"},
      {{Value("baud", "N")}, "serial bit rate (9600)"},
      {{Value("parity", "P")}, parity.constData()},
      {{Flag("dtr"), Flag("rts")}, "raise DTR, RTS (both low, as in the window's default)"},
      {{Value("com", "COMn=PATH")}, "where COMn leads; may be repeated"},
      {{Value("timeout", "MS")},
       "how long to wait for each reply (3000; hart scan:\n"
       "each place, 1000; scan: each serial try, as long\n"
       "as a gateway needs at its rate)"},
      {{Value("gap", "MS")}, "silence that ends a TCP reply of unknown\n"
                                     "shape (100)"},
      {{Value("trace", "FILE")},
       "append every request and reply to FILE (time in ms,\n"
       "link, direction, hexadecimal and ASCII)"},
      {{Flag("json")}, "print results as JSON"},
      {{Value("fleet", "FILE")},
       "run the command on every gateway FILE lists, one link\n"
       "a line: \"tcp HOST[:PORT]\" or \"serial DEV [BAUD\n"
       "[PARITY]]\" (# starts a comment); check, backup DIR,\n"
       "restore FILE, system set and meter N set",
       nullptr,
       false},
      {{Value("jobs", "N")},
       "--fleet: gateways served at once (all, at most 16);\n"
       "a serial device serves one at a time",
       nullptr,
       false},
      {{Flag("dry-run")},
       "print set commands instead of sending them (queries\n"
       "needed to complete a partial setting still go out)"},
      {{{{QStringLiteral("h"), QStringLiteral("help")}, QString()}},
       "this text; after a command, that command's part of it"},
      {{{{QStringLiteral("V"), QStringLiteral("v"), QStringLiteral("version")}, QString()}},
       "the version (-v is kept for the scripts that use it)",
       nullptr,
       false},
  };
  return options;
}

namespace {

Command CheckEntry() {
  return {"check", {{"check", "communication check: does the gateway answer?"}},
          {},      0,
          Never,   Always,
          false,   RunCheck};
}

Command SystemEntry() {
  static const QByteArray baud =
      (QStringLiteral("RS-485 bit rate: ") + SpaceSeparatedBaudRates()).toUtf8();
  static const QByteArray parity = Text(gateway::NameList(gateway::kParityNames)).toUtf8();
  static const QByteArray modes = Text(gateway::NameList(gateway::kWorkingModeNames)).toUtf8();
  return {"system",
          {{"system get",
            "RS-485 baud rate and parity, working mode, MODBUS\n"
            "slave address, meter polling interval"},
           {"system set", "write system settings, then read them back:"}},
          {{{Value("baud", "N")}, baud.constData()},
           {{Value("parity", "P")}, parity.constData()},
           {{Value("mode", "M")}, modes.constData()},
           {{Value("address", "N")}, "MODBUS slave address, 0 to 999"},
           {{Value("interval", "N")}, "polling interval in units of 10 ms, 0 to 999"}},
          0,
          Sets,
          Gets,
          true,
          RunSystem};
}

Command MeterEntry() {
  return {"meter",
          {{"meter N get", "the MODBUS mapping of meter N (1 to 8)"},
           {"meter N set", "write settings of meter N, then read them back:"}},
          {{{Value("enable", "open|close")}, "poll the meter or not"},
           {{Value("device-mode", "secondary|master")}, ""},
           {{Value("type", "N")}, "instrument type 0 to 13 (0: custom meter)"},
           {{Value("preambles", "N")}, "preamble bytes the gateway sends, 4 to 9"},
           {{Value("clear-time", "N")}, "buffer clear time in seconds, 0 to 999"},
           {{Value("orders", "C,V1,V2,V3,V4")},
            "byte-order codes of the current (0, 1)\n"
            "and of variables 1 to 4 (0 to 3):\n"
            "0 IEEE 754 FF4 FF3 FF2 FF1\n"
            "1 IEEE 754 FF2 FF1 FF4 FF3\n"
            "2 unsigned FF4 FF3 FF2 FF1\n"
            "3 unsigned FF2 FF1 FF4 FF3"},
           {{Value("coefficients", "A,B,C,D")},
            "coefficients of variables 1 to 4, at most\n"
            "five characters of 0-9 . - each"},
           {{Value("address-bits", "N")}, "3 to 9", "custom meters (type 0) only:"},
           {{Value("variable", "N=CMD,START,LEN")},
            "variable N (1 to 4) from the reply of\n"
            "read command CMD (0 none, 1, 2) at byte\n"
            "START (0 to 99), LEN 4 or 8 bytes;\n"
            "may be repeated"},
           {{Value("read1", "\"BYTES\"")},
            "read-meter command 1, 1 to 14 bytes as\n"
            "two capital hex digits each (\"01 03 00\")"},
           {{Value("read1-enable", "open|close")}, ""},
           {{Value("read2", "\"BYTES\""), Value("read2-enable", "open|close")}, ""}},
          1,
          Sets,
          Gets,
          true,
          RunMeter};
}

Command HartEntry() {
  return {"hart",
          {{"hart address N", "the HART channel (1 to 8) transparent frames reach"},
           {"hart identity", "HART command 0 to polling address 0"},
           {"hart vars",
            "HART command 3 to the instrument's long address;\n"
            "identifies it first unless --id MAN,TYPE,ID is given"},
           {"hart send \"BYTES\"",
            "any HART request from its delimiter on (\"02 80 00\n"
            "00\"); preamble and check byte are added"},
           {"hart scan",
            "the instruments on channels 1 to 8: command 0 at\n"
            "polling address 0, or at each of --addresses; the\n"
            "working mode is left as it was found; each empty\n"
            "place costs 1000 ms, or --timeout"}},
          {{{Value("preambles", "N")}, "HART frames: preamble number (6: seven FF bytes)"},
           {{Flag("secondary")}, "act as secondary master (address bit 7 clear)"},
           {{Value("id", "MAN,TYPE,ID")}, "hart vars: this identity, not command 0's"},
           {{Value("addresses", "LIST")},
            "hart scan: polling addresses 0 to 63 (\"0-15\",\n"
            "\"0,3,5\"; 0)"}},
          0,
          HartSends,
          Never,
          false,
          RunHart};
}

Command ModbusEntry() {
  return {"modbus",
          {{"modbus read",
            "read holding registers (RTU on a serial link,\n"
            "MODBUS TCP on TCP) and decode each 32-bit value in\n"
            "its meter's byte order"}},
          {{{Value("slave", "N")}, "slave address or unit, 0 to 255 (1)"},
           {{Value("start", "N")}, "first register, 0 to 255 (0)"},
           {{Value("count", "N")}, "number of registers, 1 to 125 (10)"},
           {{Value("order", "CODE")},
            "decode every value with this byte order instead\n"
            "of asking the gateway for each meter's"}},
          0,
          Always,
          Never,
          false,
          RunModbus};
}

Command Ieee754Entry() {
  return {"ieee754",
          {{"ieee754 \"BYTES\"",
            "the value of a single-precision bit pattern\n"
            "(\"41 20 00 00\" is 10); needs no gateway"}},
          {},
          0,
          Never,
          Always,
          false,
          RunIeee754};
}

Command BackupEntry() {
  return {"backup",
          {{"backup FILE",
            "system settings and all eight meters into FILE\n"
            "(JSON, described in man kv770ctl); \"-\" prints it"}},
          {},
          0,
          Never,
          Always,
          false,
          RunBackup};
}

Command ScanEntry() {
  Command c{"scan",
            {{"scan",
              "find gateways: every baud rate and parity on each\n"
              "--serial device (every serial device present\n"
              "without one), most used first, and the --tcp\n"
              "addresses many at once; an answer counts when\n"
              "it comes again; prints what answered"}},
            {{{Flag("all")}, "serial: every setting that answers, not only the first"}},
            0,
            Never,
            Never,
            false,
            RunScan};
  c.ownLinks = true;
  return c;
}

Command MonitorEntry() {
  return {"monitor",
          {{"monitor",
            "the live values of every enabled meter (MODBUS RTU\n"
            "mode: its registers in its byte order) or of each\n"
            "instrument (transparent mode: HART command 3), one\n"
            "line per poll, until --count or Ctrl+C"}},
          {{{Value("interval", "MS")},
            "time from one poll to the next (1000); each reply\n"
            "is waited for 1000 to 3000 ms, so a shorter interval\n"
            "polls late rather than losing sound replies"},
           {{Value("count", "N")}, "stop after N polls"},
           {{Value("csv", "FILE")}, "append the values to FILE as CSV, with a header"},
           {{Value("meters", "LIST")}, "only these meters or channels (\"1,3\", \"2-5\")"}},
          0,
          Never,
          Never,
          false,
          RunMonitor};
}

Command RestoreEntry() {
  return {"restore",
          {{"restore FILE",
            "write FILE's settings to a gateway, read them back\n"
            "and list every setting that differs; \"-\" reads\n"
            "standard input"}},
          {},
          0,
          Always,
          Always,
          false,
          RunRestore};
}

Command MapEntry() {
  return {"map",
          {{"map",
            "the holding registers a MODBUS master reads: each\n"
            "enabled meter's values with data type, byte order,\n"
            "coefficient and unit, and the slave address and\n"
            "RS-485 settings; from the gateway or a backup"}},
          {{{Value("from", "FILE")},
            "a backup file instead of the gateway (\"-\" reads\nstandard input)"},
           {{Value("csv", "OUT")}, "write the map to OUT as CSV (\"-\": standard output)"},
           {{Value("pdf", "OUT")}, "write it to OUT as a printable page (PDF)"}},
          0,
          Never,
          Never,
          false,
          RunMap};
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      CheckEntry(),  SystemEntry(),  MeterEntry(), HartEntry(),    ModbusEntry(), Ieee754Entry(),
      BackupEntry(), RestoreEntry(), ScanEntry(),  MonitorEntry(), MapEntry()};
  return commands;
}

const Command* FindCommand(const QString& family) {
  for (const Command& c : Commands())
    if (family == QLatin1String(c.family)) return &c;
  return nullptr;
}

QStringList AddOptions(QCommandLineParser& p, const std::vector<OptionHelp>& entries,
                       const QStringList& taken, bool afterCommand) {
  QStringList added;
  for (const OptionHelp& entry : entries)
    for (const Option& o : entry.options) {
      if (afterCommand && !entry.afterCommand) continue;
      if (taken.contains(o.names.first())) continue;
      p.addOption(o.value.isEmpty() ? QCommandLineOption(o.names, QString())
                                    : QCommandLineOption(o.names, QString(), QStringLiteral("V")));
      added << o.names;
    }
  return added;
}

}  // namespace kv770::cli
