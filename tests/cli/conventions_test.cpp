// SPDX-License-Identifier: GPL-3.0-or-later
// The conventions every program keeps, checked by running them as a user
// does: usage errors exit 2 pointing to the help, options of the other
// kind of link are refused by name, --json failures are one JSON object.
// Nothing listens on 127.0.0.1:1, so a run that reached the link would
// exit 1 "cannot connect": an exit status of 2 there means nothing was
// sent.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "support/child_process.h"

namespace kv770::test {
namespace {

struct Convention {
  const char* name;
  const char* program;
  QStringList arguments;
  int exit;
  QString err = {};  // what standard error holds; with jsonError, what "error" holds
  QString out = {};  // what standard output holds
  bool jsonError = false;
  QString notOut = {};  // what standard output must not hold
};

const QStringList kClosed = {"--tcp", "127.0.0.1:1"};

class Conventions : public ::testing::TestWithParam<Convention> {};

TEST_P(Conventions, Hold) {
  const Convention& c = GetParam();
  // No display: kv770-config must refuse its options before opening one.
  const ChildRun run = RunChild(BuiltProgram(QLatin1String(c.program)), c.arguments, {},
                                {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="});
  EXPECT_EQ(run.exitCode, c.exit) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains(c.out)) << run.out.toStdString();
  if (!c.notOut.isEmpty()) {
    EXPECT_FALSE(run.out.contains(c.notOut)) << run.out.toStdString();
  }
  if (!c.jsonError) {
    EXPECT_TRUE(run.err.contains(c.err)) << run.err.toStdString();
    return;
  }
  // One object on one line, and nothing else.
  ASSERT_TRUE(run.err.endsWith('\n'));
  EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
  QJsonParseError error{};
  const QJsonObject o = QJsonDocument::fromJson(run.err.toUtf8(), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << run.err.toStdString();
  EXPECT_EQ(o.keys(), (QStringList{"error", "exit"}));
  EXPECT_EQ(o["exit"], c.exit);
  EXPECT_TRUE(o["error"].toString().contains(c.err)) << run.err.toStdString();
}

const Convention kConventions[] = {
    // Usage errors: exit status 2, the help named.
    {"CtlUnknownOption",
     "kv770ctl",
     {"--bogus"},
     2,
     "Unknown option 'bogus' (see kv770ctl --help)"},
    {"CtlUnknownCommand", "kv770ctl", {"frobnicate"}, 2, "(see kv770ctl --help)"},
    {"CtlNoCommand", "kv770ctl", {}, 2, "no command given (see kv770ctl --help)"},
    {"CtlBadValue", "kv770ctl", kClosed + QStringList{"system", "set", "--address", "1000"}, 2,
     "--address: '1000' is out of range (0 to 999) (see kv770ctl system --help)"},
    {"SimUnknownOption", "kv770-sim", {"--bogus"}, 2, "(see kv770-sim --help)"},
    {"SimBadValue", "kv770-sim", {"--port", "70000"}, 2, "(see kv770-sim --help)"},
    {"WindowUnknownOption", "kv770-config", {"--bogus"}, 2, "(see kv770-config --help)"},
    // An option of the other kind of link, before the command or after it.
    {"TcpWithBaud", "kv770ctl", kClosed + QStringList{"--baud", "19200", "check"}, 2, "--baud"},
    {"TcpWithParity", "kv770ctl", kClosed + QStringList{"check", "--parity", "odd"}, 2, "--parity"},
    {"TcpWithDtr", "kv770ctl", kClosed + QStringList{"check", "--dtr"}, 2, "--dtr"},
    {"SerialWithGap",
     "kv770ctl",
     {"--serial", "/dev/null", "--gap", "20", "check"},
     2,
     "--gap: a setting of a TCP link"},
    // A MODBUS read asks for 1 to 125 registers.
    {"ModbusCountTooMany", "kv770ctl", kClosed + QStringList{"modbus", "read", "--count", "126"}, 2,
     "--count: '126' is out of range (1 to 125)"},
    {"ModbusCountNone", "kv770ctl", kClosed + QStringList{"modbus", "read", "--count", "0"}, 2,
     "--count"},
    // The command line's own words.
    {"Ieee754Words",
     "kv770ctl",
     {"ieee754", "41 2"},
     2,
     "ieee754: '41 2' is not four bytes in hexadecimal (like \"41 20 00 00\")"},
    // --json: a failure as one object, numbers as numbers; text without it.
    {"JsonDeviceFailure", "kv770ctl", kClosed + QStringList{"--json", "check"}, 1,
     "cannot connect to 127.0.0.1:1", "", true},
    {"JsonUsageFailure", "kv770ctl", {"ieee754", "41 2", "--json"}, 2, "ieee754: '41 2'", "", true},
    {"TextFailure", "kv770ctl", kClosed + QStringList{"check"}, 1, "kv770ctl: cannot connect"},
    {"JsonNumber", "kv770ctl", {"--json", "ieee754", "41 20 00 00"}, 0, "", "\"value\": 10\n"},
    // Help and version.
    {"CommandHelp",
     "kv770ctl",
     {"system", "--help"},
     0,
     "",
     "  system set ",
     false,
     "  meter N get"},
    {"HelpBeforeCommand",
     "kv770ctl",
     {"--help", "meter"},
     0,
     "",
     "  meter N set ",
     false,
     "  system get"},
    {"HelpPointsToTheManual", "kv770ctl", {"--help"}, 0, "", "man kv770ctl", false, "docs/"},
    {"CtlVersionV", "kv770ctl", {"-V"}, 0, "", "kv770ctl "},
    {"CtlVersionLowerV", "kv770ctl", {"-v"}, 0, "", "kv770ctl "},
    {"SimVersionV", "kv770-sim", {"-V"}, 0, "", "kv770-sim "},
};

INSTANTIATE_TEST_SUITE_P(Programs, Conventions, ::testing::ValuesIn(kConventions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kv770::test
