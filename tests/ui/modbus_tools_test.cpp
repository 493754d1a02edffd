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
#include "ui/gateway_window.h"

namespace kv770::ui {
namespace {

class ModbusTools : public WindowFixture {
 protected:
  // Something pending from an earlier request, and something in both areas.
  void EarlierState() {
    form->Cycle.Arm(PendingCode::kSystemParametersQuery, RequestKind::kParameterQuery);
    form->timeoutTimer.SetInterval(1000);
    form->shared.sendBuffer->setText(QStringLiteral("earlier request"));
    form->shared.receiveBuffer->setPlainText(QStringLiteral("earlier reply"));
  }

  void ExpectEarlierCycle() {
    EXPECT_EQ(form->Cycle.Pending, PendingCode::kSystemParametersQuery);
    EXPECT_EQ(form->Cycle.Kind, RequestKind::kParameterQuery);
    EXPECT_FALSE(form->timeoutTimer.Enabled());
    EXPECT_EQ(form->timeoutTimer.Interval(), 1000);
  }

  void ExpectModbusTestPending() {
    EXPECT_EQ(form->Cycle.Pending, PendingCode::kModbusReadTest);
    EXPECT_EQ(form->Cycle.Kind, RequestKind::kConnection);
    EXPECT_TRUE(form->timeoutTimer.Enabled());
    EXPECT_EQ(form->timeoutTimer.Interval(), 3000);
  }
};

// ---- the request ---------------------------------------------------------

TEST_F(ModbusTools, SerialLinkSendsTheRtuFrame) {
  EarlierState();
  form->modbusTest.send->click();  // the port is closed: shown and armed, nothing sent
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("01 03 00 00 00 0A C5 CD "));
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().isEmpty());
  ExpectModbusTestPending();
  const auto& buffer = form->Cycle.ExchangeBuffer;
  EXPECT_EQ(buffer[8], 0x01);
  EXPECT_EQ(buffer[14], 0xC5);
  EXPECT_EQ(buffer[15], 0xCD);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(ModbusTools, EthernetLinkSendsTheTcpFrameAndKeepsTheLastReply) {
  QTcpServer gateway;
  ASSERT_TRUE(gateway.listen(QHostAddress::LocalHost, 0));
  ConnectTo(gateway.serverPort());
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.hasPendingConnections(); }, 3000));
  std::unique_ptr<QTcpSocket> peer(gateway.nextPendingConnection());

  form->modbusTest.length->setText(QStringLiteral("300"));
  form->modbusTest.send->click();  // refused: nothing goes out
  EarlierState();
  form->modbusTest.slaveAddress->setText(QStringLiteral("247"));
  form->modbusTest.startAddress->setText(QStringLiteral("$46"));
  form->modbusTest.length->setText(QStringLiteral("125"));
  form->modbusTest.send->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            QStringLiteral("00 01 00 00 00 06 F7 03 00 46 00 7D "));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("earlier reply"));
  ExpectModbusTestPending();
  ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 12; }, 3000));
  QTest::qWait(50);
  EXPECT_EQ(peer->readAll(), QByteArray::fromHex("000100000006F7030046007D"));
}

TEST_F(ModbusTools, TypedOverLinkChoiceCountsAsEthernet) {
  form->system.linkChoice->setEditable(true);
  form->system.linkChoice->setEditText(QStringLiteral("typed"));
  form->modbusTest.send->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            QStringLiteral("00 01 00 00 00 06 01 03 00 00 00 0A "));
}

// A value that does not fit its byte would ask something else (256 is the
// broadcast address, 300 reads 44 registers): refused, nothing sent.
TEST_F(ModbusTools, FieldsOutsideOneByteAreRefused) {
  struct Case {
    QLineEdit* edit;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {form->modbusTest.slaveAddress, "256", "'256' is out of range (0 to 255)"},
      {form->modbusTest.startAddress, "-1", "'-1' is out of range (0 to 255)"},
      {form->modbusTest.length, "300", "'300' is out of range (0 to 255)"},
      {form->modbusTest.length, "$100", "'$100' is out of range (0 to 255)"},
      {form->modbusTest.startAddress, "ten", "'ten' is not a valid integer value"},
  };
  for (int link : {0, 1}) {
    ChooseLink(link);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.text) + (link ? " over TCP" : " over serial"));
      form->modbusTest.slaveAddress->setText(QStringLiteral("001"));
      form->modbusTest.startAddress->setText(QStringLiteral("00"));
      form->modbusTest.length->setText(QStringLiteral("10"));
      c.edit->setText(QString::fromLatin1(c.text));
      EarlierState();
      messages.shown.clear();
      form->modbusTest.send->click();
      EXPECT_EQ(messages.shown, QStringList{QString::fromLatin1(c.message)});
      ExpectEarlierCycle();
      // The serial branch has cleared both areas before it reads a field.
      EXPECT_EQ(form->shared.sendBuffer->text(),
                link ? QStringLiteral("earlier request") : QString());
      EXPECT_EQ(form->shared.receiveBuffer->toPlainText(),
                link ? QStringLiteral("earlier reply") : QString());
    }
  }
  // The first bad field is the one reported.
  form->modbusTest.slaveAddress->setText(QStringLiteral("999"));
  form->modbusTest.length->setText(QStringLiteral("x"));
  messages.shown.clear();
  form->modbusTest.send->click();
  EXPECT_EQ(messages.shown, QStringList{QStringLiteral("'999' is out of range (0 to 255)")});
  // The edges of the byte are fine.
  form->modbusTest.slaveAddress->setText(QStringLiteral("255"));
  form->modbusTest.startAddress->setText(QStringLiteral("0"));
  form->modbusTest.length->setText(QStringLiteral("0"));
  ChooseLink(0);
  form->modbusTest.send->click();
  EXPECT_TRUE(form->shared.sendBuffer->text().startsWith(QStringLiteral("FF 03 00 00 00 00 ")));
}

// ---- the calculator --------------------------------------------------------

TEST_F(ModbusTools, CalculatorShowsTheValueOrSaysWhatIsWrong) {
  form->calculator.hexInput->setText(QStringLiteral("2E DB E6 FF"));
  form->calculator.calculate->click();
  EXPECT_EQ(form->calculator.value->text(), QStringLiteral("1.00000001335143E-10"));
  form->calculator.hexInput->setText(QStringLiteral("40 49 0F DB"));
  form->calculator.calculate->click();
  EXPECT_EQ(form->calculator.value->text(), QStringLiteral("3.14159274"));
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
    form->calculator.hexInput->setText(QString::fromUtf8(b.input));
    form->calculator.calculate->click();
    EXPECT_EQ(messages.shown, QStringList{QString::fromLatin1(b.message)}) << b.input;
    EXPECT_EQ(form->calculator.hexInput->text(), QString::fromUtf8(b.input));
    EXPECT_EQ(form->calculator.value->text(), QStringLiteral("3.14159274")) << b.input;
  }
  // The calculator sends nothing and leaves the request cycle alone.
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
  EXPECT_FALSE(form->timeoutTimer.Enabled());
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
  ConnectTo(sim.Port());

  form->modbusTest.send->click();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !form->shared.receiveBuffer->toPlainText().isEmpty(); }, 3000));
  const std::int64_t upto = sinceStart.elapsed() + 1;
  const QString shown = form->shared.receiveBuffer->toPlainText();
  ASSERT_TRUE(IsHexText(shown, 9 + 20)) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("00 01 00 00 00 17 01 03 14 ")));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kModbusReadTest);
  EXPECT_FALSE(form->timeoutTimer.Enabled());

  // Four bytes of the reply pasted into the calculator: meter 1's loop current.
  form->calculator.hexInput->setText(shown.mid(9 * 3, 11));
  form->calculator.calculate->click();
  const QByteArray current = FromHexText(form->calculator.hexInput->text());
  const auto bits = static_cast<std::uint32_t>(static_cast<std::uint8_t>(current[0])) << 24 |
                    static_cast<std::uint8_t>(current[1]) << 16 |
                    static_cast<std::uint8_t>(current[2]) << 8 |
                    static_cast<std::uint8_t>(current[3]);
  EXPECT_EQ(form->calculator.value->text().toStdString(), tools::CalculatorText(bits));
  std::set<float> possible;
  const sim::Engine reference;
  for (std::int64_t t = 0; t <= upto; ++t)
    possible.insert(static_cast<float>(reference.LoopCurrent(1, t)));
  EXPECT_TRUE(possible.contains(std::bit_cast<float>(bits))) << std::bit_cast<float>(bits);

  // A second reply replaces the first (the TCP branch keeps the area until then).
  form->modbusTest.startAddress->setText(QStringLiteral("10"));
  form->modbusTest.length->setText(QStringLiteral("2"));
  form->modbusTest.send->click();
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), shown);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return form->shared.receiveBuffer->toPlainText() != shown; }, 3000));
  const QString second = form->shared.receiveBuffer->toPlainText();
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
  form->Comm1.Ports().Set(4, line);  // the window's COM4
  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen) << messages.shown.join('|').toStdString();

  form->modbusTest.startAddress->setText(QStringLiteral("20"));  // meter 3
  form->modbusTest.send->click();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !form->shared.receiveBuffer->toPlainText().isEmpty(); }, 3000));
  const std::int64_t upto = sinceStart.elapsed() + 1;
  const QString shown = form->shared.receiveBuffer->toPlainText();
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
