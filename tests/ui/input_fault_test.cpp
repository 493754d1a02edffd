// Whatever a person types into a box the window turns into a number or a
// byte list: empty text, blanks, lone signs, hexadecimal prefixes, numbers
// too long for 32 bits, characters beyond ASCII. Each is refused with its
// message, nothing reaches the wire, and the request in flight (code,
// kind, timeoutTimer) is left as it was; text that does convert goes out as the
// number it stands for.
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
#include "ui/gateway_window.h"

namespace kv770::ui {
namespace {

using cycle::RequestCycle;

// A request no sender makes: a refused input must leave it in place.
constexpr auto kUnusedCode = static_cast<PendingCode>(7777);
constexpr auto kUnusedKind = static_cast<RequestKind>(9);

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

// A window connected to a loopback gateway that only listens, with a
// request in flight whose state a refused click must leave alone.
class InputFaultTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    ConnectTo(server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
    wire = server.nextPendingConnection();
  }

  void Prime() {
    messages.shown.clear();
    form->Cycle.Arm(kUnusedCode, kUnusedKind);
    form->timeoutTimer.SetEnabled(false);
    form->timeoutTimer.SetInterval(4321);
    form->calculator.value->setText(QStringLiteral("unchanged"));
    before = form->Cycle.ExchangeBuffer;
  }

  // Sets `text` with `type`, clicks, and expects exactly `message` and no
  // change to the request in flight.
  void ExpectRefused(const std::function<void(const QString&)>& type, QPushButton* button,
                     const QString& text, const QString& message) {
    Prime();
    type(text);
    button->click();
    const std::string where =
        button->objectName().toStdString() + " with '" + text.toStdString() + "'";
    EXPECT_EQ(messages.shown, QStringList{message}) << where;
    EXPECT_EQ(form->Cycle.Pending, kUnusedCode) << where;
    EXPECT_EQ(form->Cycle.Kind, kUnusedKind) << where;
    EXPECT_FALSE(form->timeoutTimer.Enabled()) << where;
    EXPECT_EQ(form->timeoutTimer.Interval(), 4321) << where;
    EXPECT_TRUE(form->Cycle.ExchangeBuffer == before) << where;
    EXPECT_EQ(form->calculator.value->text(), QStringLiteral("unchanged")) << where;
  }

  // Every kind of bad number in `box`, refused by `button`; values that
  // convert but fall outside lo..hi are refused as out of range.
  void ExpectNumbersRefused(QLineEdit* box, QPushButton* button, int lo, int hi) {
    const auto type = [box](const QString& t) { box->setText(t); };
    for (const QString& text : NotIntegers()) ExpectRefused(type, button, text, NotAnInteger(text));
    for (const QString& text : Negatives() + Huge())
      ExpectRefused(type, button, text, OutOfRange(text, lo, hi));
    const QString justAbove = QString::number(hi + 1);
    ExpectRefused(type, button, justAbove, OutOfRange(justAbove, lo, hi));
  }

  // What reached the gateway since the last look (see SentSince).
  QByteArray Wire() { return SentSince(form->ClientSocket1, *wire); }

  // Clicks with `text` and returns what went out.
  QByteArray Sent(QLineEdit* box, const QString& text, QPushButton* button) {
    Wire();
    messages.shown.clear();
    box->setText(text);
    button->click();
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
    QByteArray got;
    const bool arrived = QTest::qWaitFor(
        [&] {
          got += wire->readAll();
          return !got.isEmpty();
        },
        2000);
    EXPECT_TRUE(arrived) << button->objectName().toStdString();
    return got;
  }

  QTcpServer server;
  QTcpSocket* wire = nullptr;
  std::array<std::uint8_t, RequestCycle::kBufferSize> before{};
};

TEST_F(InputFaultTest, SystemSettingsRefuseWhatIsNoThreeDigitNumber) {
  ExpectNumbersRefused(form->system.slaveAddress, form->system.slaveAddressSet, 0, 999);
  ExpectNumbersRefused(form->system.pollingInterval, form->system.pollingIntervalSet, 0, 999);
  EXPECT_TRUE(Wire().isEmpty());
  EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());  // cleared before the number was read

  // Signs, blanks in front and both hexadecimal prefixes are numbers.
  EXPECT_EQ(Sent(form->system.slaveAddress, QStringLiteral(" +17"), form->system.slaveAddressSet),
            "QQS#ADR:017#");
  EXPECT_EQ(Sent(form->system.slaveAddress, QStringLiteral("$11"), form->system.slaveAddressSet),
            "QQS#ADR:017#");
  EXPECT_EQ(
      Sent(form->system.pollingInterval, QStringLiteral("0x3E7"), form->system.pollingIntervalSet),
      "QQS#JTM:999#");
  form->timeoutTimer.SetEnabled(false);
}

TEST_F(InputFaultTest, BoardSerialRefusesWhatIsNoInteger) {
  const auto serial = [this](const QString& t) { form->system.boardSerial->setText(t); };
  const auto inspector = [this](const QString& t) { form->system.inspector->setEditText(t); };
  for (const QString& text : NotIntegers()) {
    ExpectRefused(serial, form->system.boardSet, text, NotAnInteger(text));
    form->system.boardSerial->setText(QStringLiteral("00000000"));
    ExpectRefused(inspector, form->system.boardSet, text, NotAnInteger(text));
    form->system.inspector->setEditText(QStringLiteral("001"));
  }
  EXPECT_TRUE(Wire().isEmpty());
  // Any 32-bit value goes out in full, sign and all.
  EXPECT_EQ(Sent(form->system.boardSerial, QStringLiteral("$FFFFFFFF"), form->system.boardSet),
            "TAVELK#PCBSN:-00000001,001#");
  EXPECT_EQ(Sent(form->system.boardSerial, QStringLiteral("2147483647"), form->system.boardSet),
            "TAVELK#PCBSN:2147483647,001#");
}

TEST_F(InputFaultTest, MeterSettingsRefuseBadClearTimesAndStartAddresses) {
  ExpectNumbersRefused(form->mapping.bufferClearTime, form->mapping.setupSet, 0, 999);
  QLineEdit* const starts[] = {form->parsing.rows[0].start, form->parsing.rows[1].start,
                               form->parsing.rows[2].start, form->parsing.rows[3].start};
  for (QLineEdit* start : starts) start->setText(QStringLiteral("0"));
  for (QLineEdit* start : starts) {
    ExpectNumbersRefused(start, form->parsing.formatSet, 0, 99);
    start->setText(QStringLiteral("0"));
  }
  EXPECT_TRUE(Wire().isEmpty());
  EXPECT_EQ(
      Sent(form->parsing.rows[3].start, QStringLiteral("$63"), form->parsing.formatSet).mid(4, 4),
      "MDBS");
  form->timeoutTimer.SetEnabled(false);
}

TEST_F(InputFaultTest, HartFramesRefuseABadPreambleBeforeBuildingAnything) {
  form->hart.manualCommand->setText(QStringLiteral("00"));
  for (QPushButton* button :
       {form->hart.identityQuery, form->hart.variablesQuery, form->hart.manualSend})
    ExpectNumbersRefused(form->hart.preambleLength, button, hart::kMinPreambleNumber,
                         hart::kMaxPreambleNumber);
  EXPECT_TRUE(Wire().isEmpty());
  // -1 is the smallest: no preamble byte at all.
  const QByteArray frame =
      Sent(form->hart.preambleLength, QStringLiteral("-1"), form->hart.identityQuery);
  EXPECT_EQ(frame.left(1), QByteArray("\x02"));
  form->timeoutTimer.SetEnabled(false);
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
  for (QLineEdit* box : {form->hart.manualCommand, form->parsing.readCommands[0].bytes,
                         form->parsing.readCommands[1].bytes}) {
    QPushButton* button = box == form->hart.manualCommand ? form->hart.manualSend
                          : box == form->parsing.readCommands[0].bytes
                              ? form->parsing.readCommands[0].set
                              : form->parsing.readCommands[1].set;
    const auto type = [box](const QString& t) { box->setText(t); };
    for (const Case& c : cases) ExpectRefused(type, button, c.text, QString::fromLatin1(c.message));
  }
  EXPECT_TRUE(Wire().isEmpty());
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
  const auto type = [this](const QString& t) { form->calculator.hexInput->setText(t); };
  for (const Case& c : cases)
    ExpectRefused(type, form->calculator.calculate, c.text, QString::fromLatin1(c.message));
  EXPECT_TRUE(Wire().isEmpty());
}

TEST_F(InputFaultTest, ModbusTestRefusesBadFieldsOnBothLinks) {
  form->modbusTest.slaveAddress->setText(QStringLiteral("1"));
  form->modbusTest.startAddress->setText(QStringLiteral("0"));
  form->modbusTest.length->setText(QStringLiteral("10"));
  for (QLineEdit* box :
       {form->modbusTest.slaveAddress, form->modbusTest.startAddress, form->modbusTest.length}) {
    const QString good = box->text();
    ExpectNumbersRefused(box, form->modbusTest.send, 0, 255);
    box->setText(good);
  }
  EXPECT_TRUE(Wire().isEmpty());

  // The serial line: the port is open on a line the test reads.
  test::PtyPeer line;
  ASSERT_TRUE(line.Ok());
  form->Comm1.Ports().Set(4, line.Path());
  ChooseLink(0);
  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen);
  for (QLineEdit* box :
       {form->modbusTest.slaveAddress, form->modbusTest.startAddress, form->modbusTest.length}) {
    const QString good = box->text();
    for (const QString& text : {QStringLiteral("256"), QStringLiteral("-1"), QString(),
                                QStringLiteral("0x"), QStringLiteral("\uFF11")})
      ExpectRefused([box](const QString& t) { box->setText(t); }, form->modbusTest.send, text,
                    text == "256" || text == "-1" ? OutOfRange(text, 0, 255) : NotAnInteger(text));
    box->setText(good);
  }
  EXPECT_TRUE(line.Read(1, 200).isEmpty());
  // A hexadecimal unit is read as its value.
  form->modbusTest.slaveAddress->setText(QStringLiteral("$F7"));
  form->modbusTest.send->click();
  EXPECT_EQ(line.Read(8).left(2), QByteArray("\xF7\x03", 2));
  form->timeoutTimer.SetEnabled(false);
}

TEST(InputFaultStandaloneTest, LinkSettingsRefuseBadNumbersAndOpenNothing) {
  RecordingMessageSink messages;
  GatewayWindow form(&messages);
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  form.system.linkChoice->setCurrentIndex(1);
  emit form.system.linkChoice->activated(1);
  form.system.tcpAddress->setText(QStringLiteral("127.0.0.1"));
  for (const QString& text : NotIntegers() + Negatives() + Huge()) {
    messages.shown.clear();
    form.system.tcpPort->setText(text);
    form.system.tcpConnect->click();
    const bool converts = !NotIntegers().contains(text);
    EXPECT_EQ(messages.shown,
              QStringList{converts ? OutOfRange(text, 0, 65535) : NotAnInteger(text)})
        << text.toStdString();
    EXPECT_FALSE(form.ClientSocket1.Connecting() || form.ClientSocket1.Active());
  }
  QTest::qWait(50);
  EXPECT_FALSE(server.hasPendingConnections());

  // The serial port's rate: the port stays closed and "Open" stays.
  test::PtyPeer line;
  form.Comm1.Ports().Set(4, line.Path());
  form.system.linkChoice->setCurrentIndex(0);
  emit form.system.linkChoice->activated(0);
  for (const QString& text : NotIntegers()) {
    messages.shown.clear();
    form.system.serialBaud->setEditText(text);
    form.system.openPort->click();
    EXPECT_EQ(messages.shown, QStringList{NotAnInteger(text)}) << text.toStdString();
    EXPECT_FALSE(form.SerialOpen);
    EXPECT_FALSE(form.Comm1.IsOpen());
    EXPECT_EQ(form.system.openPort->text(), QStringLiteral("Open"));
  }
}

}  // namespace
}  // namespace kv770::ui
