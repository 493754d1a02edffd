// SPDX-License-Identifier: GPL-3.0-or-later
// HART through the gateway in a real window, reached from outside: the
// frames on the wire, the refusals, the time-outs, the decoders against
// hand-made replies and a run against the simulated gateway.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <vector>

#include "hart/units.h"
#include "sim/instruments.h"
#include "sim/sim_thread.h"
#include "support/window_fixture.h"

namespace kv770::ui {
namespace {

const QString kSevenPreambles = QStringLiteral("FF ").repeated(7);
const QStringList kIdentity = {"Edit28", "Edit29", "Edit31", "Edit32"};
const QStringList kValues = {"Edit25", "Edit26", "Edit27", "Edit30"};
const QStringList kUnits = {"ComboBox3", "ComboBox31", "ComboBox32", "ComboBox33"};

class HartWindow : public WindowFixture {
 protected:
  // "Edit9=6;ComboBox42#1": a text typed into an edit, an entry chosen in a list.
  void Apply(const QString& steps) {
    for (const QString& step : steps.split(';', Qt::SkipEmptyParts)) {
      const qsizetype typed = step.indexOf('=');
      typed > 0 ? Type(step.left(typed), step.mid(typed + 1))
                : Choose(step.section('#', 0, 0), step.section('#', 1).toInt());
    }
  }
  // Each edit and list in `steps` shows what Apply(steps) would put there.
  void ExpectShown(const QString& steps) const {
    for (const QString& step : steps.split(';', Qt::SkipEmptyParts)) {
      const qsizetype typed = step.indexOf('=');
      if (typed > 0)
        EXPECT_EQ(Edit(step.left(typed))->text(), step.mid(typed + 1)) << step.toStdString();
      else
        EXPECT_EQ(Combo(step.section('#', 0, 0))->currentIndex(), step.section('#', 1).toInt())
            << step.toStdString();
    }
  }
  // What the edits, lists and labels named show.
  QStringList Texts(const QStringList& names) const {
    QStringList texts;
    for (const QString& n : names)
      if (auto* edit = form->findChild<QLineEdit*>(n))
        texts << edit->text();
      else if (auto* label = form->findChild<QLabel*>(n))
        texts << label->text();
      else
        texts << Combo(n)->currentText();
    return texts;
  }
  bool AnyFilled(const QStringList& edits, int ms) const {
    return QTest::qWaitFor([&] { return Texts(edits).join(QString()) != QString(); }, ms);
  }
  bool TimeoutShown(int ms) const {
    return QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, ms);
  }

  // A gateway whose replies the test writes byte by byte.
  void Connect() {
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    peer = ConnectPeer(server);
    ASSERT_TRUE(peer);
  }
  // Writes a reply and waits until the receive area shows it.
  void Answer(const QByteArray& reply) {
    const QString before = ReceiveArea();
    peer->write(reply);
    ASSERT_TRUE(ReplyShown(before));
  }

  QTcpServer server;
  std::unique_ptr<QTcpSocket> peer;
};

// ---- frames ------------------------------------------------------------------

// A table case, named in the test's name and in its failures.
template <typename Case>
requires requires(const Case& c) {
  std::string(c.name);
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}
const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

struct FrameCase {
  const char* name;
  const char* steps;
  const char* button;
  QString shown;  // "Send Buffer:": digit pairs, or a gateway command as text
};

class HartFrames : public HartWindow, public ::testing::WithParamInterface<FrameCase> {};

// What "Send Buffer:" shows is what goes to the gateway, byte for byte.
TEST_P(HartFrames, GoOutAsShown) {
  Connect();
  Apply(GetParam().steps);
  Click(GetParam().button);
  const QString shown = GetParam().shown;
  EXPECT_EQ(SendArea(), shown);
  EXPECT_EQ(WindowSent(*peer),
            shown.startsWith("QQS#") ? shown.toLatin1() : QByteArray::fromHex(shown.toLatin1()));
  EXPECT_TRUE(messages.shown.isEmpty());
}

const QString kTwenty = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 ";
const std::string kTypeTwenty = "Edit10=" + kTwenty.toStdString();
const char* const kFormatSteps = "ComboBox17#0;READADR1=5;READADR3=0;READADR5=0;READADR7=0";
const std::string kChosenRows = std::string(kFormatSteps) +
                                ";ComboBox15#5;RADCOM1#1;RADCOM3#0;RADCOM5#0;RADCOM7#0;"
                                "READLG1#0;READLG3#0;READLG5#0;READLG7#0";

INSTANTIATE_TEST_SUITE_P(
    , HartFrames,
    ::testing::ValuesIn(std::vector<FrameCase>{
        {"IdentityQuery", "Edit9=0", "Button7", "FF 02 80 00 00 82 "},
        {"IdentityQueryAsSecondaryMaster", "ComboBox42#1;Edit9=6", "Button7",
         kSevenPreambles + "02 00 00 00 02 "},
        // No identity known yet: the long address is all zero.
        {"VariablesQuery", "", "Button16", kSevenPreambles + "82 80 00 00 00 00 03 00 01 "},
        {"VariablesQueryAsSecondaryMaster", "ComboBox42#1", "Button16",
         kSevenPreambles + "82 00 00 00 00 00 03 00 81 "},
        {"ManualCommand", "Edit10=02 80 00 00", "Button20", kSevenPreambles + "02 80 00 00 82 "},
        {"ManualCommandKeepsFifteenBytes", kTypeTwenty.c_str(), "Button20",
         kSevenPreambles + kTwenty.left(45) + "0F "},
        {"ManualCommandWithoutPreamble", "Edit9=-1;Edit10=02 80 00 00", "Button20",
         "02 80 00 00 82 "},
        // The longest frame fills the request area to its last byte.
        {"ManualCommandFillingTheRequestArea",
         "Edit9=487;Edit10=11 11 11 11 11 11 11 11 11 11 11 11 11 11 11", "Button20",
         QStringLiteral("FF ").repeated(488) + QStringLiteral("11 ").repeated(16)},
        {"HartAddress", "", "Button3", "QQS#HCS:0#"},
        {"HartAddressPicked", "ComboBox30#7", "Button3", "QQS#HCS:8#"},
        {"ReadMeterCommand1", "ComboBox17#0;ComboBox28#1;Edit4=01 03", "Button17",
         "51 51 53 23 43 41 4D 44 30 31 3A 31 3C 30 32 2C 01 03 "},
        // Fourteen bytes at most: the fifteenth is left out.
        {"ReadMeterCommand2",
         "ComboBox41#2;ComboBox29#0;Edit5=AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB", "Button18",
         "51 51 53 23 43 41 4D 44 32 32 3A 30 3C 31 34 2C " + QStringLiteral("AB ").repeated(14)},
        {"ParsingFormatWithTwoDigitStarts", kFormatSteps, "Button12",
         "QQS#MDBS0:2,/05/,/00/,/00/,/00/#"},
        {"ParsingFormatWithChosenRows", kChosenRows.c_str(), "Button12",
         "QQS#MDBS0:8,1050,0000,0000,0000#"},
        // Meters count from one.
        {"ChannelTestOfMeter8", "ComboBox41#7", "Button5", "QQS#MCS:8#"},
        {"ChannelTestOfMeter1", "ComboBox41#0", "Button5", "QQS#MCS:1#"},
    }),
    kCaseName);

// ---- refusals and choices ----------------------------------------------------

// A refused request clears both areas, says why, and sends and arms nothing.
TEST_F(HartWindow, RefusedRequestsSendNothing) {
  Connect();
  struct Refusal {
    QString steps;
    const char* button;
    QString message;
  };
  std::vector<Refusal> refusals;
  // A preamble number that would not leave room for the longest frame.
  for (const char* n : {"-2", "488", "100000"})
    for (const char* b : {"Button7", "Button16", "Button20"})
      refusals.push_back({QStringLiteral("Edit10=02 80 00 00;Edit9=") + n, b,
                          QStringLiteral("'%1' is out of range (-1 to 487)").arg(n)});
  for (const char* b : {"Button7", "Button16", "Button20"})
    refusals.push_back({"Edit9=six", b, "'six' is not a valid integer value"});
  // Typed bytes, judged before the preamble number.
  for (const auto& [typed, message] : {std::pair{"", "NO SPACK"},
                                       {"02 80x00", "NO SPACK"},
                                       {"02 8g 00", "Data eeore!"},
                                       {"02 80 0a", "Data eeore!"},
                                       {"02 \xC3\xA9\xC3\xA9", "Data eeore!"}})
    refusals.push_back(
        {QStringLiteral("Edit9=x;Edit10=") + QString::fromUtf8(typed), "Button20", message});
  refusals.push_back({"Edit10=02 80 00 00", "Button20", "'x' is not a valid integer value"});
  refusals.push_back({"Edit4=01-03", "Button17", "NO SPACK"});
  // A custom meter starts with empty parsing starts; two digits at most.
  refusals.push_back({"ComboBox17#0", "Button12", "'' is not a valid integer value"});
  refusals.push_back({"READADR1=0;READADR3=0;READADR5=100;READADR7=0", "Button12",
                      "'100' is out of range (0 to 99)"});

  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.button + (" " + r.message).toStdString());
    Apply(r.steps);
    Type("Edit8", "earlier request");
    Find<QPlainTextEdit>("Memo10")->setPlainText("earlier reply");
    messages.shown.clear();
    Click(r.button);
    EXPECT_EQ(messages.shown, QStringList{r.message});
    EXPECT_EQ(SendArea(), QString());
    EXPECT_EQ(ReceiveArea(), QString());
  }
  messages.shown.clear();
  EXPECT_FALSE(TimeoutShown(1500)) << messages.shown.join('|').toStdString();
  EXPECT_TRUE(WindowSent(*peer).isEmpty());
}

// The HART address also chooses the meter and its registers, without a
// request; the custom meter type shows and clears the parsing group.
TEST_F(HartWindow, ChoicesFillTheFormAndSendNothing) {
  Connect();
  Choose("ComboBox30", 2);
  EXPECT_EQ(Texts({"ComboBox41", "Label19", "Label24", "Label27", "Label28", "Label29"}),
            QStringList({"3", "40021", "40023", "40025", "40027", "40029"}));
  Choose("ComboBox30", -1);
  EXPECT_EQ(Combo("ComboBox41")->currentIndex(), -1);
  EXPECT_EQ(Texts({"Label19"}), QStringList{"40021"});

  form->show();
  Find<QTabWidget>("PageControl1")->setCurrentWidget(Find("TabSheet3"));
  Apply("Edit4=01 03;READADR1=7;ComboBox15#3");
  Choose("ComboBox17", 4);
  EXPECT_FALSE(Find("GroupBox13")->isVisible());
  EXPECT_EQ(Edit("Edit4")->text(), QStringLiteral("01 03"));  // hidden, not cleared
  Choose("ComboBox17", 0);
  EXPECT_TRUE(Find("GroupBox13")->isVisible());
  ExpectShown("Edit4=;READADR1=;RADCOM1#-1;READLG7#-1;ComboBox28#-1;ComboBox29#-1;ComboBox15#-1");

  EXPECT_EQ(SendArea(), QString());
  EXPECT_FALSE(TimeoutShown(1500));
  EXPECT_TRUE(WindowSent(*peer).isEmpty());
}

// ---- time-outs -----------------------------------------------------------------

// Requests in turn, none answered: each ends in the settings time-out ("!",
// "set timeout" on Label68). Gateway commands wait 3 s; HART frames keep
// the wait the last request left, 1 s before any.
struct TimeoutCase {
  const char* name;
  const char* steps;
  std::vector<std::pair<const char*, int>> requests;  // button, wait in ms
};

class HartTimeouts : public HartWindow, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(HartTimeouts, SettingTimeoutAfterTheWaitInForce) {
  Apply(GetParam().steps);
  for (const auto& [button, wait] : GetParam().requests) {
    SCOPED_TRACE(button);
    messages.shown.clear();
    Find<QLabel>("Label68")->setText("Current");
    Click(button);
    EXPECT_FALSE(TimeoutShown(wait == 1000 ? 300 : 2000));
    ASSERT_TRUE(TimeoutShown(wait == 1000 ? 1900 : 2500));
    EXPECT_EQ(messages.shown, QStringList{"!"});
    EXPECT_EQ(Find<QLabel>("Label68")->text(), QStringLiteral("set timeout"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    , HartTimeouts,
    ::testing::ValuesIn(std::vector<TimeoutCase>{
        {"HartFramesFirst",
         "Edit10=02 80 00 00",
         {{"Button7", 1000}, {"Button16", 1000}, {"Button20", 1000}}},
        {"HartFrameAfterGatewayCommand", "", {{"Button3", 3000}, {"Button7", 3000}}},
        {"ReadMeterCommand", "Edit4=01 03", {{"Button17", 3000}}},
    }),
    kCaseName);

// ---- decoders against hand-made replies --------------------------------------

class HartReplies : public HartWindow {
 protected:
  void SetUp() override {
    HartWindow::SetUp();
    Connect();
  }
};

QByteArray IdentityReply() {
  return QByteArray::fromHex("FFFFFF0680000E0000FE260605050101080012345604");
}

// Command 3 reply after five preamble bytes, loop current 12 mA; `vars`
// holds unit code and value bytes as hex, ten digits a variable.
QByteArray Command3Reply(int bc, const QByteArray& vars) {
  QByteArray reply = QByteArray::fromHex("FFFFFFFFFF86A6061234560300000041400000");
  reply[12] = static_cast<char>(bc);
  reply += QByteArray::fromHex(vars);
  char check = 0;
  for (int k = 5; k < reply.size(); ++k) check ^= reply[k];
  return reply + check;
}

// The command 3 frame to the instrument IdentityReply() names.
const QString kVariablesToIdentified =
    kSevenPreambles + "82 A6 06 12 34 56 03 00 " +
    QStringLiteral("%1 ")
        .arg(0x82 ^ 0xA6 ^ 0x06 ^ 0x12 ^ 0x34 ^ 0x56 ^ 0x03, 2, 16, QLatin1Char('0'))
        .toUpper();

TEST_F(HartReplies, IdentityFillsTheFieldsAndTheLongAddress) {
  Click("Button7");
  Answer(IdentityReply());
  EXPECT_EQ(ReceiveArea(),
            QStringLiteral("FF FF FF 06 80 00 0E 00 00 FE 26 06 05 05 01 01 08 00 12 34 56 04 "));
  ASSERT_TRUE(AnyFilled(kIdentity, 3000));
  EXPECT_EQ(Texts(kIdentity), QStringList({"38", "6", "5", "1193046"}));
  // The query is over: no time-out, and a later block is plain text.
  Answer("QQS#OK#");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("QQS#OK#"));
  EXPECT_FALSE(TimeoutShown(500));

  Click("Button16");
  EXPECT_EQ(SendArea(), kVariablesToIdentified);
  EXPECT_EQ(WindowSent(*peer),
            QByteArray::fromHex(
                (kSevenPreambles + "02 80 00 00 82 " + kVariablesToIdentified).toLatin1()));
}

TEST_F(HartReplies, ShortIdentityReplyDoesNotReuseAnEarlierOne) {
  Click("Button7");
  Answer(IdentityReply());
  ASSERT_TRUE(AnyFilled(kIdentity, 3000));

  // The same reply cut before its last device-id byte: the reply area
  // still holds that byte from before, but it did not come with this reply.
  QByteArray cut = IdentityReply().left(20);
  cut[10] = 0x11;
  Click("Button7");
  Answer(cut);
  EXPECT_FALSE(AnyFilled(kIdentity, 1000)) << Texts(kIdentity).join('|').toStdString();

  Click("Button7");
  Answer("QQS#OK#");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("51 51 53 23 4F 4B 23 "));
  EXPECT_FALSE(AnyFilled(kIdentity, 1000));
  // The instrument remembered is still the one of the whole reply.
  Click("Button16");
  EXPECT_EQ(SendArea(), kVariablesToIdentified);
}

TEST_F(HartReplies, VariablesWithTheirUnitsAsFarAsTheByteCountGoes) {
  Click("Button16");
  Answer(Command3Reply(26,
                       "2041200000"
                       "ED3F9D70A4"
                       "39BE800000"
                       "3D374E5C19"));
  ASSERT_TRUE(AnyFilled(kValues, 3000));
  EXPECT_EQ(Texts(kValues), QStringList({"10", "1.2300000", "-0.25", "0.0000122"}));
  EXPECT_EQ(Texts(kUnits),
            QStringList({QString::fromUtf8("\xE2\x84\x83  "), "MPa    ", "%", "kg        "}));

  // bc = 11: the primary only; the other unit boxes keep their entries.
  Click("Button16");
  Answer(Command3Reply(11,
                       "3E47F12064"
                       "4B3F800000"));
  ASSERT_TRUE(AnyFilled(kValues, 3000));
  EXPECT_EQ(Texts(kValues), QStringList({"123456.78", "", "", ""}));
  EXPECT_EQ(Texts(kUnits), QStringList({"MetTon    ", "MPa    ", "%", "kg        "}));

  // bc = 12 announces one byte of the secondary; what arrived is shown.
  Click("Button16");
  Answer(Command3Reply(12,
                       "4B41200000"
                       "4D3F800000"));
  ASSERT_TRUE(AnyFilled(kValues, 3000));
  EXPECT_EQ(Texts(kValues), QStringList({"10", "1", "", ""}));
  EXPECT_EQ(Texts(kUnits), QStringList({"other", "metTOM_min ", "%", "kg        "}));
}

TEST_F(HartReplies, VariablesThatDidNotArriveAreNotShown) {
  const QByteArray full = Command3Reply(26,
                                        "2041200000"
                                        "ED3F9D70A4"
                                        "39BE800000"
                                        "3D374E5C19");
  Click("Button16");
  Answer(full);
  ASSERT_TRUE(AnyFilled(kValues, 3000));

  // The same reply cut inside the tertiary variable: earlier bytes in the
  // reply area must not stand in for the missing ones.
  Click("Button16");
  Answer(full.left(32));
  ASSERT_TRUE(AnyFilled(kValues, 3000));
  EXPECT_EQ(Texts(kValues), QStringList({"10", "1.2300000", "", ""}));

  Click("Button16");
  Answer(full.left(22));
  EXPECT_FALSE(AnyFilled(kValues, 1000));

  Click("Button16");
  Answer(IdentityReply());  // no FF 86
  EXPECT_FALSE(AnyFilled(kValues, 1000));
}

TEST_F(HartReplies, ValueTextsShowTheWholeNumberWhereACutWouldChangeIt) {
  Click("Button16");
  Answer(Command3Reply(26,
                       "2035A5167A"
                       "20501502F9"
                       "203DCCCCCD"
                       "20C2F6E979"));
  ASSERT_TRUE(AnyFilled(kValues, 3000));
  EXPECT_EQ(Texts(kValues),
            QStringList({"1.22999995255668E-6", "10000000000", "0.1000000", "-123.4560"}));
}

TEST_F(HartReplies, ValuesUseTheLocaleDecimalSeparator) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Click("Button16");
  Answer(Command3Reply(11, "203F9D70A4"));
  const bool filled = AnyFilled(kValues, 3000);
  QLocale::setDefault(before);
  ASSERT_TRUE(filled);
  EXPECT_EQ(Edit("Edit25")->text(), QStringLiteral("1,2300000"));
}

// A typed command's reply is shown, never decoded, and the request stays
// open: a later block is its reply too.
TEST_F(HartReplies, ManualCommandReplyIsShownNotDecoded) {
  Type("Edit10", "02 80 00 00");
  Click("Button20");
  Answer(IdentityReply());
  EXPECT_EQ(ReceiveArea(),
            QStringLiteral("FF FF FF 06 80 00 0E 00 00 FE 26 06 05 05 01 01 08 00 12 34 56 04 "));
  Answer("QQS#OK#");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("51 51 53 23 4F 4B 23 "));
  EXPECT_FALSE(AnyFilled(kIdentity, 1000));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

// ---- against the simulated gateway -------------------------------------------

class HartSimulator : public HartWindow {
 protected:
  void SetUp() override {
    HartWindow::SetUp();
    ASSERT_TRUE(gateway.Start());
    ASSERT_TRUE(ConnectPort(gateway.Port()));
  }
  // Clicks and waits for the reply to be shown.
  void Exchange(const char* button) {
    Click(button);
    ASSERT_TRUE(ReplyShown()) << button;
  }

  sim::SimThread gateway;
};

TEST_F(HartSimulator, IdentityThenLiveVariablesOfTheChosenInstrument) {
  Choose("ComboBox30", 2);
  Exchange("Button3");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK:HCS#"));
  Exchange("Button5");  // the channel test of the meter chosen with it
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK:MCS#"));

  const sim::Instrument& instrument = sim::InstrumentAt(3);
  Click("Button7");
  ASSERT_TRUE(AnyFilled(kIdentity, 3000));
  EXPECT_EQ(
      Texts(kIdentity),
      QStringList({QString::number(instrument.manufacturer), QString::number(instrument.deviceType),
                   QString::number(instrument.preambles), QString::number(instrument.deviceId)}));

  Click("Button16");
  ASSERT_TRUE(AnyFilled(kValues, 3000));
  EXPECT_TRUE(ReceiveArea().startsWith(QStringLiteral("FF FF FF FF FF 86 ")));
  for (int v = 0; v < 4; ++v)
    EXPECT_EQ(Combo(kUnits[v])->currentIndex(), hart::UnitPosition(instrument.units[v])) << v;
  const QStringList values = Texts(kValues);
  EXPECT_NEAR(values[0].toDouble(), instrument.flow.base, instrument.flow.amplitude * 1.001);
  EXPECT_NEAR(values[1].toDouble(), instrument.temperature.base,
              instrument.temperature.amplitude * 1.001);
  EXPECT_NEAR(values[2].toDouble(), instrument.pressure.base,
              instrument.pressure.amplitude * 1.001);
  EXPECT_GE(values[3].toDouble(), instrument.totalAtStart);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(HartSimulator, ManualCommandShowsTheInstrumentsReplyInHex) {
  Type("Edit10", "02 80 00 00");
  Exchange("Button20");
  EXPECT_TRUE(
      ReceiveArea().startsWith(QStringLiteral("FF FF FF FF FF 06 80 00 0E 00 00 FE %1 ")
                                   .arg(sim::InstrumentAt(1).manufacturer, 2, 16, QLatin1Char('0'))
                                   .toUpper()))
      << ReceiveArea().toStdString();
}

TEST_F(HartSimulator, CustomMeterSettingsReadBackUnchanged) {
  Apply("ComboBox41#1;ComboBox17#0;ComboBox28#1;Edit4=01 03 00 2A");
  Exchange("Button17");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK:CAMD#"));
  Apply("ComboBox29#0;Edit5=82 A6 06 12 34 56 03 00");
  Exchange("Button18");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK:CAMD#"));

  const QString format =
      "ComboBox15#2;RADCOM1#1;READADR1=05;READLG1#0;RADCOM3#2;READADR3=12;READLG3#1;"
      "RADCOM5#0;READADR5=00;READLG5#0;RADCOM7#1;READADR7=99;READLG7#1";
  Apply(format);
  Exchange("Button12");
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK:MDBS#"));

  Choose("ComboBox17", 0);  // clears everything the report is to fill
  Click("Button31");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Edit("Edit5")->text().isEmpty(); }, 3000));
  ExpectShown("ComboBox28#1;Edit4=01 03 00 2A;ComboBox29#0;Edit5=82 A6 06 12 34 56 03 00;" +
              format);
  EXPECT_TRUE(messages.shown.isEmpty());
}

}  // namespace
}  // namespace kv770::ui
