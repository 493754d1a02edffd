// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever a person types into a box the window turns into a number or a
// byte list: empty text, blanks, lone signs, hexadecimal prefixes, numbers
// too long for 32 bits, characters beyond ASCII. Each is refused with its
// message, nothing reaches the wire, and the request in flight is left as
// it was (its own time-out report still comes); text that does convert goes
// out as the number it stands for.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

#include "hart/frame.h"
#include "support/pty_peer.h"
#include "support/window_fixture.h"

namespace kv770::ui {
namespace {

QString NotAnInteger(const QString& text) {
  return QStringLiteral("'%1' is not a valid integer value").arg(text);
}
QString OutOfRange(const QString& text, int lo, int hi) {
  return QStringLiteral("'%1' is out of range (%2 to %3)").arg(text).arg(lo).arg(hi);
}

// Texts no integer conversion takes.
const QStringList& NotIntegers() {
  static const QStringList texts{
      QString(),  // empty
      QStringLiteral("   "),
      QStringLiteral("+"),
      QStringLiteral("-"),
      QStringLiteral("+-1"),
      QStringLiteral("- 1"),
      QStringLiteral("$"),  // a prefix with no digits
      QStringLiteral("0x"),
      QStringLiteral("0x1G"),
      QStringLiteral("$-1"),
      QStringLiteral("12345678901"),  // eleven digits: beyond 32 bits
      QStringLiteral("-12345678901"),
      QStringLiteral("$100000000"),
      QStringLiteral("2147483648"),
      QStringLiteral("12 "),  // blanks count only in front
      QStringLiteral("1 2"),
      QStringLiteral("1.0"),
      QStringLiteral("1e3"),
      QStringLiteral("\uFF11\uFF12"),  // full-width digits
      QStringLiteral("\u0663"),        // an Arabic-Indic three
      QStringLiteral("\u00A012"),      // a no-break space in front
      QStringLiteral("1\u00B2"),       // a superscript two
      QStringLiteral("\u00E9"),
  };
  return texts;
}

// Texts that convert, to values below any field (the smallest, the
// preamble's, is -1) or far above any field.
const QStringList& Negatives() {
  static const QStringList texts{QStringLiteral("-2"), QStringLiteral(" -7"),
                                 QStringLiteral("$FFFFFFFE"), QStringLiteral("-2147483648")};
  return texts;
}
const QStringList& Huge() {
  static const QStringList texts{QStringLiteral("2147483647"), QStringLiteral("0x7FFFFFFF"),
                                 QStringLiteral("$7FFFFFFF")};
  return texts;
}

// A window connected to a loopback gateway that only listens, with the
// System Parameters query in flight: a refused click must leave it alone,
// so its own time-out report is the one that comes.
class InputFaultTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    wire = ConnectPeer(server);
    ASSERT_TRUE(wire);
    Click("Button23");
    ASSERT_TRUE(QTest::qWaitFor([&] { return wire->bytesAvailable() > 0; }, 3000));
    wire->readAll();
    Type("Edit22", "unchanged");  // the calculator's value
  }

  // Sets `text` with `type`, clicks, and expects exactly `message`.
  void ExpectRefused(const std::function<void(const QString&)>& type, const QString& button,
                     const QString& text, const QString& message) {
    messages.shown.clear();
    type(text);
    Click(button);
    const std::string where = button.toStdString() + " with '" + text.toStdString() + "'";
    EXPECT_EQ(messages.shown, QStringList{message}) << where;
    EXPECT_EQ(Shown("Edit22"), QStringLiteral("unchanged")) << where;
  }

  // Every kind of bad number in `box`, refused by `button`; values that
  // convert but fall outside lo..hi are refused as out of range.
  void ExpectNumbersRefused(const QString& box, const QString& button, int lo, int hi) {
    const auto type = [this, box](const QString& t) { Type(box, t); };
    for (const QString& text : NotIntegers()) ExpectRefused(type, button, text, NotAnInteger(text));
    for (const QString& text : Negatives() + Huge())
      ExpectRefused(type, button, text, OutOfRange(text, lo, hi));
    const QString justAbove = QString::number(hi + 1);
    ExpectRefused(type, button, justAbove, OutOfRange(justAbove, lo, hi));
  }

  // After the refusals: the query's own time-out report came, alone, and
  // nothing reached the gateway.
  void ExpectQueryLeftAlone() {
    messages.shown.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("parameter query timeout!")});
    EXPECT_TRUE(WindowSent(*wire).isEmpty());
    wire->readAll();
  }

  // Clicks with `text` and returns what went out.
  QByteArray Sent(const QString& box, const QString& text, const QString& button) {
    messages.shown.clear();
    Type(box, text);
    Click(button);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
    QByteArray got;
    const bool arrived = QTest::qWaitFor(
        [&] {
          got += wire->readAll();
          return !got.isEmpty();
        },
        2000);
    EXPECT_TRUE(arrived) << button.toStdString();
    return got;
  }

  QTcpServer server;
  std::unique_ptr<QTcpSocket> wire;
};

TEST_F(InputFaultTest, SystemSettingsRefuseWhatIsNoThreeDigitNumber) {
  ExpectNumbersRefused("Edit14", "Button29", 0, 999);
  ExpectNumbersRefused("Edit6", "Button27", 0, 999);
  EXPECT_TRUE(SendArea().isEmpty());  // cleared before the number was read
  ExpectQueryLeftAlone();

  // Signs, blanks in front and both hexadecimal prefixes are numbers.
  EXPECT_EQ(Sent("Edit14", " +17", "Button29"), "QQS#ADR:017#");
  EXPECT_EQ(Sent("Edit14", "$11", "Button29"), "QQS#ADR:017#");
  EXPECT_EQ(Sent("Edit6", "0x3E7", "Button27"), "QQS#JTM:999#");
}

TEST_F(InputFaultTest, BoardSerialRefusesWhatIsNoInteger) {
  const auto serial = [this](const QString& t) { Type("PCBSN", t); };
  const auto inspector = [this](const QString& t) { Combo("JIANZHI")->setEditText(t); };
  for (const QString& text : NotIntegers()) {
    ExpectRefused(serial, "Button60", text, NotAnInteger(text));
    Type("PCBSN", "00000000");
    ExpectRefused(inspector, "Button60", text, NotAnInteger(text));
    Combo("JIANZHI")->setEditText(QStringLiteral("001"));
  }
  ExpectQueryLeftAlone();
  // Any 32-bit value goes out in full, sign and all.
  EXPECT_EQ(Sent("PCBSN", "$FFFFFFFF", "Button60"), "TAVELK#PCBSN:-00000001,001#");
  EXPECT_EQ(Sent("PCBSN", "2147483647", "Button60"), "TAVELK#PCBSN:2147483647,001#");
}

TEST_F(InputFaultTest, MeterSettingsRefuseBadClearTimesAndStartAddresses) {
  ExpectNumbersRefused("Edit1", "Button10", 0, 999);
  const QStringList starts{"READADR1", "READADR3", "READADR5", "READADR7"};
  for (const QString& start : starts) Type(start, "0");
  for (const QString& start : starts) {
    ExpectNumbersRefused(start, "Button12", 0, 99);
    Type(start, "0");
  }
  ExpectQueryLeftAlone();
  EXPECT_EQ(Sent("READADR7", "$63", "Button12").mid(4, 4), "MDBS");
}

TEST_F(InputFaultTest, HartFramesRefuseABadPreambleBeforeBuildingAnything) {
  Type("Edit10", "00");
  for (const char* button : {"Button7", "Button16", "Button20"})
    ExpectNumbersRefused("Edit9", button, hart::kMinPreambleNumber, hart::kMaxPreambleNumber);
  ExpectQueryLeftAlone();
  // -1 is the smallest: no preamble byte at all.
  EXPECT_EQ(Sent("Edit9", "-1", "Button7").left(1), QByteArray("\x02"));
}

TEST_F(InputFaultTest, TypedByteListsRefuseWhatIsNoListOfPairs) {
  struct Case {
    QString text;
    const char* message;
  };
  const char* const noSeparator = "NO SPACK";
  const char* const badDigit = "Data eeore!";
  const Case cases[] = {
      {QString(), noSeparator},
      {QStringLiteral(" "), noSeparator},
      {QStringLiteral("12345678901"), noSeparator},
      {QStringLiteral("02 80x00"), noSeparator},
      {QStringLiteral("   "), badDigit},
      {QStringLiteral("+1"), badDigit},
      {QStringLiteral("-1"), badDigit},
      {QStringLiteral("0x02"), badDigit},
      {QStringLiteral("$02"), badDigit},
      {QStringLiteral("0A 0b"), badDigit},
      {QStringLiteral("02  80"), badDigit},
      {QStringLiteral("\uFF10\uFF12 \uFF18\uFF10"), badDigit},  // full-width digits
      {QStringLiteral("\u00E91"), badDigit},
  };
  // The typed HART command and both read-meter commands, each with its button.
  for (const auto& [box, button] :
       {std::pair{"Edit10", "Button20"}, {"Edit4", "Button17"}, {"Edit5", "Button18"}}) {
    const auto type = [this, box = QString::fromLatin1(box)](const QString& t) { Type(box, t); };
    for (const Case& c : cases) ExpectRefused(type, button, c.text, QString::fromLatin1(c.message));
  }
  ExpectQueryLeftAlone();
}

TEST_F(InputFaultTest, CalculatorRefusesWhatIsNoListOfPairsAndTouchesNothing) {
  struct Case {
    QString text;
    const char* message;
  };
  const char* const noSpaces = "input data without spaces";
  const char* const illegal = "there are illegal characters, please re-enter!";
  const Case cases[] = {
      {QString(), illegal},
      {QStringLiteral("   "), illegal},
      {QStringLiteral("+1"), illegal},
      {QStringLiteral("-41"), noSpaces},
      {QStringLiteral("0x41"), noSpaces},
      {QStringLiteral("$41"), noSpaces},
      {QStringLiteral("12345678901"), noSpaces},
      {QStringLiteral("41 2g 00 00"), illegal},
      {QStringLiteral("41 20 00 00 "), illegal},
      {QStringLiteral("\uFF14\uFF11"), illegal},
      {QStringLiteral("4\u00B9"), illegal},
  };
  const auto type = [this](const QString& t) { Type("Edit7", t); };
  for (const Case& c : cases)
    ExpectRefused(type, "Button13", c.text, QString::fromLatin1(c.message));
  ExpectQueryLeftAlone();
}

TEST_F(InputFaultTest, ModbusTestRefusesBadFieldsOnBothLinks) {
  const QStringList fields{"Edit18", "Edit19", "Edit20"};
  Type("Edit18", "1");
  Type("Edit19", "0");
  Type("Edit20", "10");
  for (const QString& box : fields) {
    const QString good = Shown(box);
    ExpectNumbersRefused(box, "Button4", 0, 255);
    Type(box, good);
  }
  ExpectQueryLeftAlone();

  // The serial line: the port is open on a line the test reads.
  test::PtyPeer line;
  ASSERT_TRUE(line.Ok());
  Choose("ComboBox2", 0);
  ASSERT_TRUE(OpenSerial(line.Path())) << messages.shown.join('|').toStdString();
  for (const QString& box : fields) {
    const QString good = Shown(box);
    for (const QString& text : {QStringLiteral("256"), QStringLiteral("-1"), QString(),
                                QStringLiteral("0x"), QStringLiteral("\uFF11")})
      ExpectRefused([this, box](const QString& t) { Type(box, t); }, "Button4", text,
                    text == "256" || text == "-1" ? OutOfRange(text, 0, 255) : NotAnInteger(text));
    Type(box, good);
  }
  EXPECT_TRUE(line.Read(1, 200).isEmpty());
  // A hexadecimal unit is read as its value.
  Type("Edit18", "$F7");
  Click("Button4");
  EXPECT_EQ(line.Read(8).left(2), QByteArray("\xF7\x03", 2));
}

using InputFaultLinkTest = WindowFixture;

TEST_F(InputFaultLinkTest, LinkSettingsRefuseBadNumbersAndOpenNothing) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  Choose("ComboBox2", 1);
  Type("Edit2", "127.0.0.1");
  for (const QString& text : NotIntegers() + Negatives() + Huge()) {
    messages.shown.clear();
    Type("Edit34", text);
    Click("Button8");
    const bool converts = !NotIntegers().contains(text);
    EXPECT_EQ(messages.shown,
              QStringList{converts ? OutOfRange(text, 0, 65535) : NotAnInteger(text)})
        << text.toStdString();
  }
  QTest::qWait(50);
  EXPECT_FALSE(server.hasPendingConnections());
  EXPECT_EQ(Shown("Label146"), QStringLiteral("***"));  // never "connecting!"

  // The serial port's rate: the port stays closed and "Open" stays.
  test::PtyPeer line;
  Choose("ComboBox2", 0);
  Combo("SPREALCOM")->setEditText(line.Path());
  for (const QString& text : NotIntegers()) {
    messages.shown.clear();
    Combo("ComboBox11")->setEditText(text);
    Click("Button1");
    EXPECT_EQ(messages.shown, QStringList{NotAnInteger(text)}) << text.toStdString();
    EXPECT_EQ(Find<QPushButton>("Button1")->text(), QStringLiteral("Open"));
  }
}

}  // namespace
}  // namespace kv770::ui
