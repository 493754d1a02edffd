// SPDX-License-Identifier: GPL-3.0-or-later
// The MODBUS read test and the IEEE 754 calculator in a real window: the
// frames on both links, the refusals, and a read of the simulated gateway.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <bit>
#include <memory>
#include <set>

#include "sim/engine.h"
#include "sim/sim_thread.h"
#include "support/window_fixture.h"
#include "tools/float_text.h"
#include "tools/modbus_frames.h"

namespace kv770::ui {
namespace {

class ModbusTools : public WindowFixture {
 protected:
  // Something in both areas from an earlier request.
  void EarlierAreas() {
    Type("Edit8", "earlier request");
    Find<QPlainTextEdit>("Memo10")->setPlainText("earlier reply");
  }
  void Fields(const char* slave, const char* start, const char* length) {
    Type("Edit18", slave);
    Type("Edit19", start);
    Type("Edit20", length);
  }
  // The MODBUS test is a connection request with the reply time-out: no
  // reply ends in the connection time-out box.
  void ExpectConnectionTimeout() {
    EXPECT_FALSE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 3000));
    EXPECT_TRUE(messages.shown.first().startsWith("Connection timeout"))
        << messages.shown.first().toStdString();
  }
};

// ---- the request ---------------------------------------------------------

TEST_F(ModbusTools, SerialLinkShowsTheRtuFrameAndWaitsForItsReply) {
  EarlierAreas();
  Click("Button4");  // the port is closed: shown and waited for, nothing sent
  EXPECT_EQ(SendArea(), QStringLiteral("01 03 00 00 00 0A C5 CD "));
  EXPECT_TRUE(ReceiveArea().isEmpty());
  EXPECT_TRUE(messages.shown.isEmpty());
  ExpectConnectionTimeout();
}

TEST_F(ModbusTools, EthernetLinkSendsTheTcpFrameAndKeepsTheLastReply) {
  QTcpServer gateway;
  ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost, 0));
  const std::unique_ptr<QTcpSocket> peer = ConnectPeer(gateway);
  ASSERT_TRUE(peer);

  Type("Edit20", "300");
  Click("Button4");  // refused: nothing goes out
  EarlierAreas();
  Fields("247", "$46", "125");
  Click("Button4");
  EXPECT_EQ(SendArea(), QStringLiteral("00 01 00 00 00 06 F7 03 00 46 00 7D "));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("earlier reply"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 12; }, 3000));
  EXPECT_EQ(peer->readAll(), QByteArray::fromHex("000100000006F7030046007D"));
  // Its reply is shown as digit pairs.
  peer->write(QByteArray::fromHex("000100000007F7030441480000"));
  ASSERT_TRUE(ReplyShown(QStringLiteral("earlier reply")));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("00 01 00 00 00 07 F7 03 04 41 48 00 00 "));
}

TEST_F(ModbusTools, TypedOverLinkChoiceCountsAsEthernet) {
  QComboBox* link = Combo("ComboBox2");
  link->setEditable(true);
  link->setEditText(QStringLiteral("typed"));
  Click("Button4");
  EXPECT_EQ(SendArea(), QStringLiteral("00 01 00 00 00 06 01 03 00 00 00 0A "));
}

// A value that does not fit its byte would ask something else (256 is the
// broadcast address, 300 reads 44 registers): refused, nothing sent, and
// the request waiting for its reply stays the one that waits.
TEST_F(ModbusTools, FieldsOutsideOneByteAreRefused) {
  QTcpServer gateway;
  ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost, 0));
  const std::unique_ptr<QTcpSocket> peer = ConnectPeer(gateway);
  ASSERT_TRUE(peer);
  // The System Parameters query waits for its reply.
  Click("Button23");
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() > 0; }, 3000));
  peer->readAll();
  messages.shown.clear();

  const struct {
    const char* edit;
    const char* text;
    const char* message;
  } cases[] = {
      {"Edit18", "256", "'256' is out of range (0 to 255)"},
      {"Edit19", "-1", "'-1' is out of range (0 to 255)"},
      {"Edit20", "300", "'300' is out of range (0 to 255)"},
      {"Edit20", "$100", "'$100' is out of range (0 to 255)"},
      {"Edit19", "ten", "'ten' is not a valid integer value"},
  };
  for (int link : {0, 1}) {
    Choose("ComboBox2", link);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.text) + (link ? " over TCP" : " over serial"));
      Fields("001", "00", "10");
      Type(c.edit, c.text);
      EarlierAreas();
      messages.shown.clear();
      Click("Button4");
      EXPECT_EQ(messages.shown, QStringList{QString::fromLatin1(c.message)});
      // The serial branch has cleared both areas before it reads a field.
      EXPECT_EQ(SendArea(), link ? QStringLiteral("earlier request") : QString());
      EXPECT_EQ(ReceiveArea(), link ? QStringLiteral("earlier reply") : QString());
    }
  }
  // The first bad field is the one reported.
  Fields("999", "0", "x");
  messages.shown.clear();
  Click("Button4");
  EXPECT_EQ(messages.shown, QStringList{QStringLiteral("'999' is out of range (0 to 255)")});
  // The query sent before is still the one whose time-out is reported.
  messages.shown.clear();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.shown.isEmpty(); }, 4000));
  EXPECT_EQ(messages.shown, QStringList{QStringLiteral("parameter query timeout!")});
  EXPECT_TRUE(WindowSent(*peer).isEmpty());
  // The edges of the byte are fine.
  Fields("255", "0", "0");
  Choose("ComboBox2", 0);
  Click("Button4");
  EXPECT_TRUE(SendArea().startsWith(QStringLiteral("FF 03 00 00 00 00 ")));
}

// ---- the calculator --------------------------------------------------------

TEST_F(ModbusTools, CalculatorShowsTheValueOrSaysWhatIsWrong) {
  Edit("Edit7")->setText(QStringLiteral("2E DB E6 FF"));
  Click("Button13");
  EXPECT_EQ(Edit("Edit22")->text(), QStringLiteral("1.00000001335143E-10"));
  Edit("Edit7")->setText(QStringLiteral("40 49 0F DB"));
  Click("Button13");
  EXPECT_EQ(Edit("Edit22")->text(), QStringLiteral("3.14159274"));
  EXPECT_TRUE(messages.shown.isEmpty());

  const struct {
    const char* input;
    const char* message;
  } bad[] = {
      {"4120 0000", "input data without spaces"},
      {"41 20 00 00 ", "there are illegal characters, please re-enter!"},
      {"41 20 00 0a", "there are illegal characters, please re-enter!"},
      {"", "there are illegal characters, please re-enter!"},
      {"41 20 \u00C400 00", "input data without spaces"},
      {"41 20 0\u00C4 00", "there are illegal characters, please re-enter!"},
  };
  for (const auto& b : bad) {
    messages.shown.clear();
    Edit("Edit7")->setText(QString::fromUtf8(b.input));
    Click("Button13");
    EXPECT_EQ(messages.shown, QStringList{QString::fromLatin1(b.message)}) << b.input;
    EXPECT_EQ(Edit("Edit7")->text(), QString::fromUtf8(b.input));
    EXPECT_EQ(Edit("Edit22")->text(), QStringLiteral("3.14159274")) << b.input;
  }
  // The calculator sends nothing and arms no time-out.
  EXPECT_FALSE(QTest::qWaitFor([&] { return messages.shown.size() > 1; }, 1200));
}

// ---- against the simulated gateway -----------------------------------------

// The bytes of a hex text "01 AB ..." (each pair followed by a blank).
QByteArray FromHexText(const QString& text) {
  return QByteArray::fromHex(text.toLatin1());
}

bool IsHexText(const QString& text, int bytes) {
  if (text.size() != 3 * bytes) return false;
  for (int i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (i % 3 == 2 ? c != QLatin1Char(' ')
                   : !(c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
      return false;
  }
  return true;
}

TEST_F(ModbusTools, ReadsTheSimulatedGatewayAndTheCalculatorShowsTheValue) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  ASSERT_TRUE(ConnectPort(sim.Port()));

  Click("Button4");
  ASSERT_TRUE(ReplyShown());
  const std::int64_t upto = sinceStart.elapsed() + 1;
  const QString shown = ReceiveArea();
  ASSERT_TRUE(IsHexText(shown, 9 + 20)) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("00 01 00 00 00 17 01 03 14 ")));

  // Four bytes of the reply pasted into the calculator: meter 1's loop current.
  Edit("Edit7")->setText(shown.mid(9 * 3, 11));
  Click("Button13");
  const QByteArray current = FromHexText(Edit("Edit7")->text());
  const auto bits = static_cast<std::uint32_t>(static_cast<std::uint8_t>(current[0])) << 24 |
                    static_cast<std::uint8_t>(current[1]) << 16 |
                    static_cast<std::uint8_t>(current[2]) << 8 |
                    static_cast<std::uint8_t>(current[3]);
  EXPECT_EQ(Edit("Edit22")->text().toStdString(), tools::CalculatorText(bits));
  std::set<float> possible;
  const sim::Engine reference;
  for (std::int64_t t = 0; t <= upto; ++t)
    possible.insert(static_cast<float>(reference.LoopCurrent(1, t)));
  EXPECT_TRUE(possible.contains(std::bit_cast<float>(bits))) << std::bit_cast<float>(bits);

  // A second reply replaces the first (the TCP branch keeps the area until then).
  Type("Edit19", "10");
  Type("Edit20", "2");
  Click("Button4");
  EXPECT_EQ(ReceiveArea(), shown);
  ASSERT_TRUE(ReplyShown(shown));
  const QString second = ReceiveArea();
  ASSERT_TRUE(IsHexText(second, 9 + 4)) << second.toStdString();
  EXPECT_TRUE(second.startsWith(QStringLiteral("00 01 00 00 00 07 01 03 04 ")));
}

TEST_F(ModbusTools, ReadsTheSimulatedGatewayOverTheSerialLine) {
  QElapsedTimer sinceStart;
  sinceStart.start();
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  const QString line = sim.StartPty();
  ASSERT_FALSE(line.isEmpty());
  ASSERT_TRUE(OpenSerial(line)) << messages.shown.join('|').toStdString();

  Type("Edit19", "20");  // meter 3
  Click("Button4");
  ASSERT_TRUE(ReplyShown());
  const std::int64_t upto = sinceStart.elapsed() + 1;
  const QString shown = ReceiveArea();
  ASSERT_TRUE(IsHexText(shown, 3 + 20 + 2)) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("01 03 14 ")));
  const QByteArray reply = FromHexText(shown);
  EXPECT_EQ(tools::Crc16(reply.toStdString()), 0);
  std::set<float> possible;
  const sim::Engine reference;
  for (std::int64_t t = 0; t <= upto; ++t)
    possible.insert(static_cast<float>(reference.Variable(3, 1, t)));
  const auto bits = static_cast<std::uint32_t>(static_cast<std::uint8_t>(reply[7])) << 24 |
                    static_cast<std::uint8_t>(reply[8]) << 16 |
                    static_cast<std::uint8_t>(reply[9]) << 8 | static_cast<std::uint8_t>(reply[10]);
  EXPECT_TRUE(possible.contains(std::bit_cast<float>(bits))) << std::bit_cast<float>(bits);
}

}  // namespace
}  // namespace kv770::ui
