// SPDX-License-Identifier: GPL-3.0-or-later
// The gateway's settings in a real window, reached as the user reaches them:
// what each "Set" and query button sends and how its time-out reads, the
// numbers refused, the reports read back into the tabs, and a whole
// configuration written to the simulated gateway and read back.
#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include "cycle/convert.h"
#include "gateway/fields.h"
#include "link/errors.h"
#include "sim/sim_thread.h"
#include "support/pty_peer.h"
#include "support/window_fixture.h"

namespace kv770::ui {
namespace {

constexpr const char* kSettingTimeout = "!";
constexpr const char* kQueryTimeout = "parameter query timeout!";
constexpr const char* kConnectionTimeout = "Connection timeout, please contact";

class GatewaySettings : public WindowFixture {
 protected:
  // "Name=value; Name=value": controls by form name and what they hold
  // (see Reads).
  static std::vector<std::pair<QString, QString>> Pairs(const QString& fields) {
    std::vector<std::pair<QString, QString>> pairs;
    for (const QString& field : fields.split(';', Qt::SkipEmptyParts))
      pairs.emplace_back(field.section('=', 0, 0).trimmed(), field.section('=', 1).trimmed());
    return pairs;
  }
  void FillAll(const QString& fields) const {
    for (const auto& [name, value] : Pairs(fields)) Fill(name, value);
  }
  bool ShowsAll(const QString& fields) const {
    return std::ranges::all_of(Pairs(fields),
                               [&](const auto& f) { return Reads(Shown(f.first), f.second); });
  }
  void ExpectShown(const QString& fields) const {
    for (const auto& [name, value] : Pairs(fields))
      EXPECT_TRUE(Reads(Shown(name), value))
          << name.toStdString() << " shows \"" << Shown(name).toStdString() << '"';
  }
  bool ParsingShown() const { return !Find("GroupBox13")->isHidden(); }
  void EarlierAreas() const {
    Type("Edit8", "earlier request");
    Find<QPlainTextEdit>("Memo10")->setPlainText("earlier reply");
  }

  std::unique_ptr<QTcpSocket> Gateway() {
    EXPECT_TRUE(server.isListening() || server.listen(QHostAddress::LocalHost, 0));
    return ConnectPeer(server);
  }
  // The gateway answers. The reply shows as text; its decoder runs 300 ms
  // later: wait until `decoded` holds, or, where nothing should change,
  // well past that.
  void Answer(QTcpSocket& peer, const QByteArray& reply,
              const std::function<bool()>& decoded = {}) {
    peer.write(reply);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea() == QString::fromLatin1(reply); }, 3000));
    if (decoded)
      ASSERT_TRUE(QTest::qWaitFor(decoded, 3000));
    else
      QTest::qWait(700);
  }

  // The report of a request sent `clock` ago that got no reply within the
  // reply time-out: not yet at 2 s, there by 4 s.
  void ExpectTimeout(const QElapsedTimer& clock, const QString& report) {
    const auto reported = [&] { return !messages.shown.isEmpty(); };
    EXPECT_FALSE(QTest::qWaitFor(reported, static_cast<int>(2000 - clock.elapsed())));
    ASSERT_TRUE(QTest::qWaitFor(reported, static_cast<int>(4000 - clock.elapsed())));
    EXPECT_EQ(messages.shown, QStringList{report});
    EXPECT_EQ(Shown("Label68").toStdString(), report == kSettingTimeout ? "set timeout" : "");
  }

  QTcpServer server;
};

// ---- commands --------------------------------------------------------------

struct Command {
  const char* name;
  const char* fields;  // filled in before
  const char* clicks;  // buttons clicked, labels double-clicked
  const char* sent;
  const char* timeout;          // its report when no reply comes, if any
  const char* shown = nullptr;  // in "Send Buffer:" when not what was sent
  const char* after = "";
};

const Command kCommands[] = {
    {"RS-485", "ComboBox8=57600; ComboBox9=Even", "Button9", "QQS#BA1:62#", kSettingTimeout},
    {"RS-485 unset", "ComboBox8=; ComboBox9=", "Button9", "QQS#BA1://#", kSettingTimeout},
    {"working mode", "ComboBox7=MODBUS_RTU Mode", "Button24", "QQS#MD:1#", kSettingTimeout},
    {"slave address", "Edit14=7", "Button29", "QQS#ADR:007#", kSettingTimeout},
    {"slave address 247", "Edit14=247", "Button29", "QQS#ADR:247#", kSettingTimeout},
    {"polling interval", "Edit6=5", "Button27", "QQS#JTM:005#", kSettingTimeout},
    {"reset", "", "Button30", "QQS#RESET#", kSettingTimeout},
    {"polling set-up",
     "ComboBox41=8; ComboBox6=Close; ComboBox16=Secondary Master Device; "
     "ComboBox17=13)3051AMV; ComboBox34=4; Edit1=0",
     "Button10", "QQS#HART7:0,0,13,4,000#", kSettingTimeout},
    {"byte orders", "FAMOUT1=0; FAMOUT3=0; FAMOUT5=0; FAMOUT7=0; FAMOUT9=3", "Button21",
     "QQS#DFOT0:00003#", kSettingTimeout},
    {"service command 0", "", "Label8", "QQS#YB:00#", kSettingTimeout, ""},
    {"service command 1", "", "Label16", "QQS#YB:01#", kSettingTimeout, ""},
    {"system report", "", "Button23", "QQQ#QX#", kQueryTimeout},
    {"meter report", "ComboBox41=2", "Button31", "QQQ#QQ1#", kQueryTimeout},
    // Outside the request cycle: the query keeps waiting and times out as
    // a query. The inspector's typed text counts, not the list position.
    {"board serial", "PCBSN=123; JIANZHI=5", "Button23 Button60",
     "QQQ#QX#TAVELK#PCBSN:00000123,005#", kQueryTimeout, "TAVELK#PCBSN:00000123,005#"},
    // The coefficients arm no time-out of their own but turn the waiting
    // query's report into the connection's.
    {"coefficients", "", "Button31 Button15", "QQQ#QQ0#QQS#XISH0:1.000,1.000,1.000,1.000#",
     kConnectionTimeout, "QQS#XISH0:1.000,1.000,1.000,1.000#"},
    // With the serial port closed a meter chosen asks nothing.
    {"meter chosen", "Edit1=010; ComboBox41=3", "", "", "", "earlier request",
     "Label19=40001:; Label29=40009:; Edit1=010; ComboBox41=3"},
};

// A window of its own for each command, so that all wait for their
// time-outs together.
class CommandWindow : public GatewaySettings {
 public:
  explicit CommandWindow(const Command& c) : c_(c) {}
  void TestBody() override {}

  void Prepare(QTcpServer& gateway) {
    SetUp();
    peer_ = ConnectPeer(gateway);
    ASSERT_TRUE(peer_);
    EarlierAreas();
    FillAll(c_.fields);
  }
  void Send() const {
    for (const QString& name : QString(c_.clicks).split(' ', Qt::SkipEmptyParts))
      qobject_cast<QPushButton*>(Find(name)) ? Click(name) : DoubleClick(name);
  }
  void ExpectAreas() const {
    EXPECT_EQ(SendArea(), c_.shown ? c_.shown : c_.sent);
    EXPECT_EQ(ReceiveArea(), *c_.clicks ? "" : "earlier reply");
  }
  bool Reported() const { return !messages.shown.isEmpty(); }
  bool Done() const { return Reported() || !*c_.timeout; }
  // The RS-485 setting gives up the serial port, also when TCP carried it.
  bool GivesUpPort() const { return QLatin1String(c_.clicks) == "Button9"; }
  bool PortGivenUp() const { return Find<QPushButton>("Button1")->text() == "open serial"; }
  bool PortGivenUpIfDue() const { return !GivesUpPort() || PortGivenUp(); }

  void ExpectResult() {
    if (*c_.timeout) {
      ASSERT_EQ(messages.shown.size(), 1);
      EXPECT_TRUE(messages.shown[0].startsWith(c_.timeout)) << messages.shown[0].toStdString();
      const std::string_view report = c_.timeout;
      EXPECT_EQ(Shown("Label68").toStdString(), report == kSettingTimeout ? "set timeout"
                                                : report == kQueryTimeout ? ""
                                                                          : "Current");
    } else {
      EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
    }
    EXPECT_EQ(PortGivenUp(), GivesUpPort());
    ExpectShown(c_.after);
    EXPECT_EQ(WindowSent(*peer_), c_.sent);
  }

 private:
  const Command& c_;
  std::unique_ptr<QTcpSocket> peer_;
};

TEST_F(GatewaySettings, EachCommandIsShownSentAndTimesOutAsItsKind) {
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  std::vector<std::unique_ptr<CommandWindow>> windows;
  for (const Command& c : kCommands) {
    windows.push_back(std::make_unique<CommandWindow>(c));
    windows.back()->Prepare(server);
  }
  for (const auto& w : windows) w->Send();
  QElapsedTimer clock;
  clock.start();
  const auto each = [&](const std::function<void(CommandWindow&)>& check) {
    for (std::size_t i = 0; i < windows.size(); ++i) {
      SCOPED_TRACE(kCommands[i].name);
      check(*windows[i]);
    }
  };
  each([](CommandWindow& w) { w.ExpectAreas(); });

  const auto any = [&](bool (CommandWindow::*what)() const) {
    return std::ranges::any_of(windows, what);
  };
  // The port is given up 2 s after the RS-485 setting, before the reply
  // time-out of 3 s.
  EXPECT_FALSE(QTest::qWaitFor(
      [&] { return any(&CommandWindow::Reported) || any(&CommandWindow::PortGivenUp); }, 1000));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return std::ranges::all_of(windows, &CommandWindow::PortGivenUpIfDue); }, 1500));
  // Until 2 s have passed, or a report came too early (named below).
  (void)QTest::qWaitFor([&] { return any(&CommandWindow::Reported); },
                        static_cast<int>(2000 - clock.elapsed()));
  each([](CommandWindow& w) { EXPECT_FALSE(w.Reported()) << "before 2 s"; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return std::ranges::all_of(windows, &CommandWindow::Done); },
                              static_cast<int>(4000 - clock.elapsed())));
  QTest::qWait(300);  // a time-out where none belongs would have come with the others
  each([](CommandWindow& w) { w.ExpectResult(); });
}

// The board's identity and the coefficients go out beside the request
// cycle: the query waiting stays the one a late reply is decoded for, and
// neither starts a time-out.
TEST_F(GatewaySettings, BoardSerialAndCoefficientsLeaveTheWaitingQueryAlone) {
  const std::unique_ptr<QTcpSocket> peer = Gateway();
  ASSERT_TRUE(peer);
  Click("Button31");
  Answer(*peer, "QQ0#HART0:1,0,05,6,010#", [&] { return Shown("Edit1") == "010"; });

  EarlierAreas();
  FillAll("PCBSN=123456789; JIANZHI=101");
  Click("Button60");
  EXPECT_EQ(SendArea(), QStringLiteral("TAVELK#PCBSN:123456789,101#"));
  EXPECT_TRUE(ReceiveArea().isEmpty());

  EarlierAreas();
  FillAll("ComboBox41=4; XISHU1=-1.5; XISHU2=2; XISHU3=0.001");
  Click("Button15");
  const QByteArray coefficients("QQS#XISH3:-1.5,2,0.001,1.000#");
  EXPECT_EQ(SendArea(), QString::fromLatin1(coefficients));
  EXPECT_TRUE(ReceiveArea().isEmpty());

  EXPECT_FALSE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3500));
  Answer(*peer, "QQ0#HART0:1,0,05,6,020#", [&] { return Shown("Edit1") == "020"; });
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
  EXPECT_EQ(WindowSent(*peer), "QQQ#QQ0#TAVELK#PCBSN:123456789,101#" + coefficients);
}

// ---- refusals -----------------------------------------------------------------

// A number that does not fit its three digits is refused before anything
// is staged, armed or sent; both areas are emptied first.
TEST_F(GatewaySettings, NumbersThatDoNotFitTheirFieldAreRefused) {
  const struct {
    const char* edit;
    const char* typed;
    const char* button;
    const char* message;
  } cases[] = {
      {"Edit14", "1000", "Button29", "'1000' is out of range (0 to 999)"},
      {"Edit14", "-1", "Button29", "'-1' is out of range (0 to 999)"},
      {"Edit14", "abc", "Button29", "'abc' is not a valid integer value"},
      {"Edit6", "1000", "Button27", "'1000' is out of range (0 to 999)"},
      {"Edit6", "", "Button27", "'' is not a valid integer value"},
      {"Edit1", "1000", "Button10", "'1000' is out of range (0 to 999)"},
      {"Edit1", "-5", "Button10", "'-5' is out of range (0 to 999)"},
  };
  const auto refuse = [&] {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.message);
      messages.shown.clear();
      EarlierAreas();
      Type(c.edit, c.typed);
      Click(c.button);
      EXPECT_EQ(messages.shown, QStringList{c.message});
      EXPECT_TRUE(SendArea().isEmpty());
      EXPECT_TRUE(ReceiveArea().isEmpty());
    }
    // The board serial empties nothing before it converts.
    messages.shown.clear();
    EarlierAreas();
    Type("PCBSN", "12x");
    Click("Button60");
    EXPECT_EQ(messages.shown, QStringList{"'12x' is not a valid integer value"});
    EXPECT_EQ(SendArea(), QStringLiteral("earlier request"));
    EXPECT_EQ(ReceiveArea(), QStringLiteral("earlier reply"));
    messages.shown.clear();
  };

  // Nothing set the reply time-out yet: a HART frame, which sets none,
  // still times out after the first second.
  refuse();
  Click("Button7");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 2000));
  EXPECT_EQ(messages.shown, QStringList{kSettingTimeout});
  messages.shown.clear();

  // A query waiting keeps its time-out and gets its late reply.
  const std::unique_ptr<QTcpSocket> peer = Gateway();
  ASSERT_TRUE(peer);
  QElapsedTimer clock;
  clock.start();
  Click("Button23");
  refuse();
  ExpectTimeout(clock, kQueryTimeout);
  Answer(*peer, "QX#JTM:123#", [&] { return Shown("Edit6") == "123"; });
  EXPECT_EQ(WindowSent(*peer), "QQQ#QX#");
}

// ---- reports --------------------------------------------------------------------

TEST_F(GatewaySettings, SystemReportFillsTheSystemTab) {
  const std::unique_ptr<QTcpSocket> peer = Gateway();
  ASSERT_TRUE(peer);
  Click("Button23");
  Answer(*peer, "QX#JTM:100,ADR:017,MD:1,BA1:41#", [&] { return Shown("Edit6") == "100"; });
  // The MODBUS test (Edit18) follows the slave address.
  ExpectShown(
      "ComboBox8=19200; ComboBox9=Odd; ComboBox7=MODBUS_RTU Mode; Edit14=017; Edit18=017; "
      "Edit6=100");
  EXPECT_TRUE(messages.shown.isEmpty());

  // The query stays pending: further replies are decoded too, but only
  // behind their marker.
  Answer(*peer, "BA1:30,JTM:005#");
  ExpectShown("ComboBox8=19200; Edit6=100");

  // A bad digit: what came before is kept, the rest is not read.
  Answer(*peer, "QX#BA1:6x,MD:0,ADR:099,JTM:200#", [&] { return !messages.shown.isEmpty(); });
  EXPECT_EQ(messages.shown, QStringList{"'x' is not a valid integer value"});
  ExpectShown("ComboBox8=57600; ComboBox9=Odd; ComboBox7=MODBUS_RTU Mode; Edit14=017; Edit6=100");

  // A digit beyond the list selects nothing.
  Answer(*peer, "QX#BA1:92#", [&] { return Shown("ComboBox8").isEmpty(); });
  ExpectShown("ComboBox8=; ComboBox9=Even");
  EXPECT_EQ(WindowSent(*peer), "QQQ#QX#");
}

TEST_F(GatewaySettings, ModbusReportFillsTheMappingAndACustomMetersParsing) {
  const std::unique_ptr<QTcpSocket> peer = Gateway();
  ASSERT_TRUE(peer);
  Fill("ComboBox15", "3");
  Click("Button31");
  Answer(*peer,
         "QQ0#HART0:1,0,05,6,010,DFO0:01230,XISH0:1.000,2.500,0.100,9.999,"
         "ZDY0:8,1120,0000,0000,0000,MD:1#",
         [&] { return Shown("Edit1") == "010"; });
  ExpectShown(
      "ComboBox6=Open; ComboBox16=Secondary Master Device; ComboBox17=5)Siemens_MG500; "
      "ComboBox34=6; FAMOUT1=0; FAMOUT3=1; FAMOUT5=2; FAMOUT7=3; FAMOUT9=0; XISHU2=2.500; "
      "XISHU4=9.999");
  // A standard meter: its parsing and the working mode are not read.
  ExpectShown("ComboBox15=3; ComboBox7=Transparent Mode");
  EXPECT_FALSE(ParsingShown());

  Answer(*peer,
         "QQ2#HART2:0,1,00,4,000,ZDY2:8,1120,2051,0000,0991,MD:1,"
         "CAMD21:1,03,01 02 03,CAMD22:0,00,#",
         [&] { return ParsingShown(); });
  ExpectShown(
      "ComboBox17=0)Custom_Meter; ComboBox15=8; RADCOM1=1; READADR1=12; READLG1=4; RADCOM3=2; "
      "READADR3=05; READLG3=8; RADCOM5=0; READADR7=99; ComboBox7=MODBUS_RTU Mode; "
      "ComboBox28=1; Edit4=01 02 03; ComboBox29=0; Edit5=");
  EXPECT_TRUE(messages.shown.isEmpty());

  // Stopped at variable 2: variable 1 is new, the rest keeps its contents.
  Answer(*peer, "QQ2#HART2:0,1,00,7,000,ZDY2:3,2301,", [&] { return !messages.shown.isEmpty(); });
  EXPECT_EQ(messages.shown, QStringList{"'' is not a valid integer value"});
  ExpectShown(
      "ComboBox34=7; ComboBox15=3; RADCOM1=2; READADR1=30; READLG1=8; RADCOM3=2; "
      "Edit4=01 02 03");

  // Numbers beyond a list leave no selection; type 20 counts as not custom.
  Answer(*peer, "QQ2#HART2:3,1,20,3,000#", [&] { return Shown("ComboBox6").isEmpty(); });
  ExpectShown("ComboBox6=; ComboBox17=; ComboBox34=");
  EXPECT_FALSE(ParsingShown());
  EXPECT_EQ(WindowSent(*peer), "QQQ#QQ0#");
}

// With the serial port open, choosing a meter starts its page afresh and
// asks for its report on the serial line, whatever link is chosen.
TEST_F(GatewaySettings, ChoosingAMeterWithThePortOpenAsksOverTheSerialLine) {
  test::PtyPeer line;
  ASSERT_TRUE(line.Ok());
  ASSERT_TRUE(OpenSerial(line.Path())) << messages.shown.join('|').toStdString();
  Choose("ComboBox2", 1);  // TCP chosen and not connected
  ASSERT_EQ(Find<QPushButton>("Button1")->text(), QStringLiteral("close"));
  FillAll(
      "XISHU3=7.000; ComboBox15=3; Edit14=017; ComboBox6=Open; FAMOUT9=1; RADCOM7=1; "
      "ComboBox29=1");

  QElapsedTimer clock;
  clock.start();
  Fill("ComboBox41", "2");
  ExpectShown(
      "Label19=40011; Label24=40013; Label27=40015; Label28=40017; Label29=40019; Edit19=10; "
      "Edit20=10; Edit8=QQQ#QQ1#");
  // Emptied, the system tab's settings too; the rest kept until the report comes.
  ExpectShown(
      "ComboBox6=; ComboBox17=; FAMOUT9=; RADCOM7=; ComboBox29=; ComboBox7=; ComboBox8=; "
      "ComboBox9=; Edit14=; Edit18=; XISHU3=7.000; ComboBox15=3");
  EXPECT_FALSE(ParsingShown());
  EXPECT_EQ(line.Read(8), "QQQ#QQ1#");

  ExpectTimeout(clock, kQueryTimeout);
  EXPECT_TRUE(line.Read(1, 50).isEmpty());
  // The report that comes late is still read as the meter's.
  messages.shown.clear();
  ASSERT_TRUE(
      line.Write("QQ1#HART1:1,0,00,6,010,DFO1:00000,XISH1:1.000,1.000,1.000,1.000,"
                 "ZDY1:8,1120,0000,0000,0000,MD:0#"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown("Edit1") == "010"; }, 3000));
  ExpectShown(
      "ComboBox6=Open; ComboBox17=0)Custom_Meter; XISHU3=1.000; ComboBox15=8; "
      "ComboBox7=Transparent Mode");
  EXPECT_TRUE(ParsingShown());
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

// ---- typing ------------------------------------------------------------------

TEST_F(GatewaySettings, SlaveAddressFollowsIntoTheModbusTest) {
  Edit("Edit14")->clear();
  EXPECT_TRUE(Shown("Edit18").isEmpty());
  QTest::keyClicks(Edit("Edit14"), "24");
  EXPECT_EQ(Shown("Edit18"), QStringLiteral("24"));
  QTest::keyClick(Edit("Edit14"), '7');
  EXPECT_EQ(Shown("Edit18"), QStringLiteral("247"));
}

TEST_F(GatewaySettings, CoefficientBoxesTakeFiveCharactersOfANumber) {
  QLineEdit* box = Edit("XISHU2");
  box->clear();
  QTest::keyClicks(box, "12.3456");
  EXPECT_EQ(box->text(), QStringLiteral("12.34"));
  QTest::keyClick(box, Qt::Key_Backspace);  // still works at five characters
  EXPECT_EQ(box->text(), QStringLiteral("12.3"));
  QTest::keyClicks(box, "x");
  EXPECT_EQ(box->text(), QStringLiteral("12.3"));

  box->clear();
  QTest::keyClicks(box, "a-1,5 .5e");  // letters and separators at any length
  EXPECT_EQ(box->text(), QStringLiteral("-15.5"));

  // Moving around still works; pasting would bypass the filter.
  box->setText("1.000");
  QTest::keyClick(box, Qt::Key_Home);
  QTest::keyClick(box, Qt::Key_Delete);
  EXPECT_EQ(box->text(), QStringLiteral(".000"));
  QApplication::clipboard()->setText("abcdefgh");
  QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(box->text(), QStringLiteral(".000"));
  // A drop and the context menu's Paste insert past the filter: what it
  // would have refused is taken out again (a '#' would end the command).
  box->insert("1#QQS-7");
  EXPECT_EQ(box->text(), QStringLiteral("1-7.0"));

  // The other boxes keep what they have; only typed keys are filtered.
  Type("XISHU1", "abcdefg");
  EXPECT_EQ(Shown("XISHU1"), QStringLiteral("abcdefg"));
}

TEST_F(GatewaySettings, ExternalProgramIsOpenedOnlyWhenItIsThere) {
  // Stands in for the desktop: any object with a slot taking the URL will
  // do, and a text browser has one (setSource) and says when it ran.
  QTextBrowser desktop;
  QList<QUrl> opened;
  QObject::connect(&desktop, &QTextBrowser::sourceChanged,
                   [&opened](const QUrl& url) { opened.append(url); });
  QDesktopServices::setUrlHandler("file", &desktop, "setSource");
  const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("LORIX6.EXE");
  QFile::remove(path);

  Choose("ComboBox2", 1);
  Click("Button14");
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_TRUE(messages.shown.isEmpty());

  QFile program(path);
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  program.write("MZ");
  program.close();
  Click("Button14");
  EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(path)});
  EXPECT_TRUE(SendArea().isEmpty());  // nothing goes to the gateway

  QFile::remove(path);
  QDesktopServices::unsetUrlHandler("file");
}

// Report numbers go through the same conversion as typed numbers, so a bad
// report field gives the same message a bad typed number would.
TEST(ReportNumbers, ConvertLikeTypedNumbers) {
  std::mt19937 random(770);
  const char alphabet[] = " +-$0x9aFf:/#";
  std::uniform_int_distribution<int> length(0, 4);
  std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
  for (int round = 0; round < 20000; ++round) {
    std::string text(static_cast<std::size_t>(length(random)), ' ');
    for (char& c : text) c = alphabet[pick(random)];
    std::optional<int> typed;
    try {
      typed = cycle::StrToInt(QString::fromLatin1(text));
    } catch (const EConvertError&) {
    }
    EXPECT_EQ(gateway::ToInteger(text), typed) << '"' << text << '"';
  }
}

// ---- against the simulated gateway ---------------------------------------------

class GatewaySimulator : public GatewaySettings {
 protected:
  void SetUp() override {
    GatewaySettings::SetUp();
    ASSERT_TRUE(gateway.Start());
  }

  void OpenLine() {
    if (line.isEmpty()) line = gateway.StartPty();
    ASSERT_FALSE(line.isEmpty());
    ASSERT_TRUE(OpenSerial(line)) << messages.shown.join('|').toStdString();
  }
  // A set command and its acknowledgement.
  void Set(const char* button, const QString& fields = {}) {
    FillAll(fields);
    Click(button);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea().startsWith("OK:"); }, 3000))
        << button << ": " << ReceiveArea().toStdString();
  }
  // A report query, until its reply is decoded into `expected`.
  void Query(const char* button, const QString& expected) {
    Click(button);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ShowsAll(expected); }, 3000)) << button;
    ExpectShown(expected);
  }

  // Everything written comes back in the reports, and the parameter reset
  // brings the factory values back.
  void RoundTrip(bool serial);

  sim::SimThread gateway;
  QString line;
};

void GatewaySimulator::RoundTrip(bool serial) {
  if (serial) {
    OpenLine();
  } else {
    ASSERT_TRUE(ConnectPort(gateway.Port()));
  }
  // The RS-485 setting gives up the serial line 2 s later, on either link.
  const QString rs485 = "ComboBox8=38400; ComboBox9=Even;";
  Set("Button9", rs485);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Find<QPushButton>("Button1")->text() == QLatin1String("open serial"); }, 3000));
  if (serial) OpenLine();
  const QString system = "ComboBox7=MODBUS_RTU Mode; Edit14=017; Edit6=100;";
  for (const char* button : {"Button24", "Button29", "Button27"}) Set(button, system);

  // Meter 3. With the port open, choosing it asks for its report at once.
  Fill("ComboBox41", "3");
  if (serial) {
    EXPECT_EQ(SendArea(), QStringLiteral("QQQ#QQ2#"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Shown("Edit1") == "010"; }, 3000));  // factory
  }
  const QString setup =
      "ComboBox6=Open; ComboBox16=Master Device; ComboBox17=0)Custom_Meter; ComboBox34=7; "
      "Edit1=020;";
  Set("Button10", setup);
  const QString orders = "FAMOUT1=1; FAMOUT3=3; FAMOUT5=2; FAMOUT7=0; FAMOUT9=1;";
  Set("Button21", orders);
  const QString coefficients = "XISHU1=0.500; XISHU2=-2.00; XISHU3=3.000; XISHU4=4.250;";
  for (const auto& [name, value] : Pairs(coefficients)) {
    Edit(name)->clear();
    QTest::keyClicks(Edit(name), value);
  }
  Click("Button15");
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea() == "OK:XISH#"; }, 3000));

  // The custom meter's parsing and read-meter commands.
  const QString format =
      "ComboBox15=3; RADCOM1=1; READADR1=12; READLG1=4; RADCOM3=2; READADR3=05; READLG3=8; "
      "RADCOM5=0; READADR5=00; READLG5=4; RADCOM7=1; READADR7=99; READLG7=8;";
  Set("Button12", format);
  const QString read1 = "ComboBox28=1; Edit4=01 AB 03;";
  const QString read2 = "ComboBox29=0; Edit5=FF;";
  Set("Button17", read1);
  Set("Button18", read2);

  // Forget everything the window shows, then read it back.
  const QString mapping = setup + orders + coefficients + format + read1 + read2;
  for (const auto& [name, value] : Pairs(rs485 + system + mapping)) {
    if (auto* combo = qobject_cast<QComboBox*>(Find(name)))
      combo->setCurrentIndex(-1);
    else
      Edit(name)->clear();
  }
  Combo("ComboBox17")->setCurrentIndex(4);
  Find("GroupBox13")->hide();

  Query("Button23", rs485 + system + "Edit18=017");
  Combo("ComboBox7")->setCurrentIndex(-1);
  Query("Button31", mapping + "ComboBox7=MODBUS_RTU Mode");  // a custom meter's carries the mode
  EXPECT_TRUE(ParsingShown());

  // Another meter was not touched.
  Combo("ComboBox41")->setCurrentIndex(3);
  Query("Button31", "Edit1=010; XISHU2=1.000");

  Set("Button30");
  Query("Button23",
        "ComboBox8=9600; ComboBox9=None; ComboBox7=Transparent Mode; Edit14=001; Edit6=050");
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('\n').toStdString();
}

TEST_F(GatewaySimulator, WholeConfigurationRoundTripsOverTcp) {
  RoundTrip(false);
}

TEST_F(GatewaySimulator, WholeConfigurationRoundTripsOverTheSerialLine) {
  RoundTrip(true);
}

}  // namespace
}  // namespace kv770::ui
