#include <gtest/gtest.h>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "hart/units.h"
#include "sim/instruments.h"
#include "sim/sim_thread.h"
#include "support/window_fixture.h"
#include "ui/gateway_window.h"

namespace kv770::ui {
namespace {

QString Repeat(const QString& s, int n) {
  return s.repeated(n);
}

const QString kSevenPreambles = Repeat(QStringLiteral("FF "), 7);

class HartWindowTest : public WindowFixture {
 protected:
  // Nothing built, shown or sent; the request before stays pending.
  void ExpectNothingSent() {
    EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());
    EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
    EXPECT_FALSE(form->timeoutTimer.Enabled());
  }
};

// ---- frames ------------------------------------------------------------------

TEST_F(HartWindowTest, IdentityQueryFrameInBothModes) {
  form->hart.manufacturerId->setText(QStringLiteral("old"));
  form->hart.preambleLength->setText(QStringLiteral("0"));
  form->hart.identityQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("FF 02 80 00 00 82 "));
  EXPECT_TRUE(form->hart.manufacturerId->text().isEmpty());
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kHartIdentityQuery);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kSetting);
  EXPECT_TRUE(form->timeoutTimer.Enabled());
  EXPECT_EQ(form->timeoutTimer.Interval(), 1000);  // HART queries keep the interval
  const std::uint8_t staged[] = {0xFF, 0x02, 0x80, 0x00, 0x00, 0x82};
  EXPECT_TRUE(
      std::equal(std::begin(staged), std::end(staged), form->Cycle.ExchangeBuffer.begin() + 8));

  Pick(form->hart.commandMode, 1);
  form->hart.preambleLength->setText(QStringLiteral("6"));
  form->hart.identityQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), kSevenPreambles + QStringLiteral("02 00 00 00 02 "));
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(HartWindowTest, VariablesQueryBeforeAnyIdentityCarriesAZeroAddress) {
  form->hart.variables[0].value->setText(QStringLiteral("old"));
  form->hart.variablesQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            kSevenPreambles + QStringLiteral("82 80 00 00 00 00 03 00 01 "));
  EXPECT_TRUE(form->hart.variables[0].value->text().isEmpty());
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kHartVariablesQuery);
  Pick(form->hart.commandMode, 1);
  form->hart.variablesQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            kSevenPreambles + QStringLiteral("82 00 00 00 00 00 03 00 81 "));
}

TEST_F(HartWindowTest, PreambleThatCannotFitIsRefusedBeforeAnythingIsSent) {
  form->hart.manualCommand->setText(QStringLiteral("02 80 00 00"));
  for (const char* text : {"-2", "488", "100000", "six"}) {
    form->hart.preambleLength->setText(QString::fromLatin1(text));
    for (QPushButton* b :
         {form->hart.identityQuery, form->hart.variablesQuery, form->hart.manualSend}) {
      messages.shown.clear();
      b->click();
      ExpectNothingSent();
      const QString expected =
          QString::fromLatin1(text) == QStringLiteral("six")
              ? QStringLiteral("'six' is not a valid integer value")
              : QStringLiteral("'%1' is out of range (-1 to 487)").arg(QString::fromLatin1(text));
      EXPECT_EQ(messages.shown, QStringList({expected})) << text;
    }
  }

  // The limits themselves: no preamble at all, and the longest frame that
  // fills the request area to its last byte.
  form->hart.preambleLength->setText(QStringLiteral("-1"));
  form->hart.manualSend->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("02 80 00 00 82 "));
  form->hart.preambleLength->setText(QStringLiteral("487"));
  form->hart.manualCommand->setText(Repeat(QStringLiteral("11 "), 15));
  form->hart.manualSend->click();
  EXPECT_EQ(form->shared.sendBuffer->text().size(), 504 * 3);
  EXPECT_EQ(form->Cycle.ExchangeBuffer[511], 0x11);  // the check byte over fifteen 11s
}

TEST_F(HartWindowTest, ManualCommandFramesWhatWasTyped) {
  form->hart.manualCommand->setText(QStringLiteral("02 80 00 00"));
  form->hart.manualSend->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), kSevenPreambles + QStringLiteral("02 80 00 00 82 "));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kHartManualCommand);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kSetting);

  QString twenty;
  for (int i = 0; i < 20; ++i)
    twenty += QStringLiteral("%1 ").arg(i, 2, 16, QLatin1Char('0')).toUpper();
  form->hart.manualCommand->setText(twenty);
  form->hart.manualSend->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            kSevenPreambles + twenty.left(45) + QStringLiteral("0F "));
}

TEST_F(HartWindowTest, ManualCommandTypingErrorsSendNothing) {
  struct Case {
    const char* typed;
    const char* message;
  };
  for (Case c :
       {Case{"", "NO SPACK"}, Case{"02 80x00", "NO SPACK"}, Case{"02 8g 00", "Data eeore!"},
        Case{"02 80 0a", "Data eeore!"}, Case{"02 \xC3\xA9\xC3\xA9", "Data eeore!"}}) {
    messages.shown.clear();
    form->hart.manualCommand->setText(QString::fromUtf8(c.typed));
    form->hart.manualSend->click();
    EXPECT_EQ(messages.shown, QStringList({QString::fromLatin1(c.message)})) << c.typed;
    ExpectNothingSent();
  }
  // The typed bytes are judged before the preamble number.
  form->hart.preambleLength->setText(QStringLiteral("x"));
  for (const char* typed : {"02 80x00", "02 80 00 00"}) {
    messages.shown.clear();
    form->hart.manualCommand->setText(QString::fromLatin1(typed));
    form->hart.manualSend->click();
    ExpectNothingSent();
  }
  EXPECT_EQ(messages.shown, QStringList({"'x' is not a valid integer value"}));
}

// ---- gateway HART settings ---------------------------------------------------

TEST_F(HartWindowTest, HartAddressCommandCarriesThePickedAddress) {
  form->hart.addressSet->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("QQS#HCS:0#"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kGatewaySetting);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kSetting);
  EXPECT_EQ(form->timeoutTimer.Interval(), 3000);
  Pick(form->hart.hartAddress, 7);
  form->hart.addressSet->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("QQS#HCS:8#"));
}

TEST_F(HartWindowTest, HartAddressCarriesOverToTheMeterWithoutARequest) {
  Pick(form->hart.hartAddress, 2);
  EXPECT_EQ(form->mapping.meter->currentText(), QStringLiteral("3"));
  QStringList captions;
  for (QLabel* l : {form->mapping.registerLabels[0], form->mapping.registerLabels[1],
                    form->mapping.registerLabels[2], form->mapping.registerLabels[3],
                    form->mapping.registerLabels[4]})
    captions << l->text();
  EXPECT_EQ(captions, QStringList({"40021", "40023", "40025", "40027", "40029"}));
  ExpectNothingSent();

  form->hart.hartAddress->setCurrentIndex(-1);
  emit form->hart.hartAddress->activated(-1);
  EXPECT_EQ(form->mapping.meter->currentIndex(), -1);
  EXPECT_EQ(form->mapping.registerLabels[0]->text(), QStringLiteral("40021"));
}

// ---- custom meter ------------------------------------------------------------

TEST_F(HartWindowTest, ReadMeterCommandsShowTheirBytesInHex) {
  Pick(form->mapping.instrumentType, 0);
  form->parsing.readCommands[0].enable->setCurrentIndex(1);
  form->parsing.readCommands[0].bytes->setText(QStringLiteral("01 03"));
  form->parsing.readCommands[0].set->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            QStringLiteral("51 51 53 23 43 41 4D 44 30 31 3A 31 3C 30 32 2C 01 03 "));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kGatewaySetting);
  EXPECT_EQ(form->timeoutTimer.Interval(), 3000);

  form->mapping.meter->setCurrentIndex(2);
  form->parsing.readCommands[1].enable->setCurrentIndex(0);
  form->parsing.readCommands[1].bytes->setText(Repeat(QStringLiteral("AB "), 15));
  form->parsing.readCommands[1].set->click();
  const QString shown = form->shared.sendBuffer->text();
  EXPECT_EQ(shown.size(), 30 * 3);  // the fifteenth byte is ignored
  EXPECT_TRUE(
      shown.startsWith(QStringLiteral("51 51 53 23 43 41 4D 44 32 32 3A 30 3C 31 34 2C AB ")));

  form->shared.sendBuffer->clear();
  form->Cycle.Pending = PendingCode::kNone;
  form->timeoutTimer.SetEnabled(false);
  form->parsing.readCommands[0].bytes->setText(QStringLiteral("01-03"));
  form->parsing.readCommands[0].set->click();
  EXPECT_EQ(messages.shown, QStringList({"NO SPACK"}));
  ExpectNothingSent();
}

TEST_F(HartWindowTest, ParsingFormatNeedsTwoDigitStartAddresses) {
  Pick(form->mapping.instrumentType, 0);  // custom meter: the format starts empty
  form->parsing.formatSet->click();
  EXPECT_EQ(messages.shown, QStringList({"'' is not a valid integer value"}));
  ExpectNothingSent();

  for (QLineEdit* e : {form->parsing.rows[0].start, form->parsing.rows[1].start,
                       form->parsing.rows[2].start, form->parsing.rows[3].start})
    e->setText(QStringLiteral("0"));
  form->parsing.rows[0].start->setText(QStringLiteral("5"));
  form->parsing.formatSet->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("QQS#MDBS0:2,/05/,/00/,/00/,/00/#"));

  form->parsing.addressBits->setCurrentIndex(5);
  form->parsing.rows[0].command->setCurrentIndex(1);
  for (QComboBox* c :
       {form->parsing.rows[1].command, form->parsing.rows[2].command, form->parsing.rows[3].command,
        form->parsing.rows[0].length, form->parsing.rows[1].length, form->parsing.rows[2].length,
        form->parsing.rows[3].length})
    c->setCurrentIndex(0);
  form->parsing.formatSet->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("QQS#MDBS0:8,1050,0000,0000,0000#"));

  messages.shown.clear();
  form->shared.sendBuffer->clear();
  form->Cycle.Pending = PendingCode::kNone;
  form->timeoutTimer.SetEnabled(false);
  form->parsing.rows[2].start->setText(QStringLiteral("100"));
  form->parsing.formatSet->click();
  EXPECT_EQ(messages.shown, QStringList({"'100' is out of range (0 to 99)"}));
  ExpectNothingSent();
}

TEST_F(HartWindowTest, ChannelTestCountsMetersFromOne) {
  form->mapping.meter->setCurrentIndex(7);
  form->mapping.channelTest->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("QQS#MCS:8#"));
  form->mapping.meter->setCurrentIndex(0);
  form->mapping.channelTest->click();
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("QQS#MCS:1#"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kGatewaySetting);
}

TEST_F(HartWindowTest, CustomMeterTypeShowsAndClearsTheParsingGroup) {
  form->show();
  form->frame.pages->setCurrentWidget(form->frame.modbusPage);
  form->parsing.readCommands[0].bytes->setText(QStringLiteral("01 03"));
  form->parsing.rows[0].start->setText(QStringLiteral("7"));
  form->parsing.addressBits->setCurrentIndex(3);

  Pick(form->mapping.instrumentType, 4);
  EXPECT_FALSE(form->parsing.group->isVisible());
  EXPECT_EQ(form->parsing.readCommands[0].bytes->text(),
            QStringLiteral("01 03"));  // hidden, not cleared

  Pick(form->mapping.instrumentType, 0);
  EXPECT_TRUE(form->parsing.group->isVisible());
  EXPECT_TRUE(form->parsing.readCommands[0].bytes->text().isEmpty());
  EXPECT_TRUE(form->parsing.rows[0].start->text().isEmpty());
  for (QComboBox* c : {form->parsing.rows[0].command, form->parsing.rows[3].length,
                       form->parsing.readCommands[0].enable, form->parsing.readCommands[1].enable,
                       form->parsing.addressBits})
    EXPECT_EQ(c->currentIndex(), -1) << c->objectName().toStdString();
  ExpectNothingSent();
}

// ---- decoders against hand-made replies --------------------------------------

// A gateway whose replies the test writes byte by byte.
class HartScriptedTest : public HartWindowTest {
 protected:
  void SetUp() override {
    HartWindowTest::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    ConnectTo(server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
    peer = server.nextPendingConnection();
  }

  // Sends `bytes` as the reply to the query just clicked and waits for its
  // decoder to have run.
  void ReplyAndDecode(const QByteArray& bytes) {
    ASSERT_TRUE(form->Cycle.Pending == PendingCode::kHartIdentityQuery ||
                form->Cycle.Pending == PendingCode::kHartVariablesQuery);
    peer->write(bytes);
    peer->flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.Pending == PendingCode::kNone; }, 3000));
  }

  QStringList Identity() const {
    return {form->hart.manufacturerId->text(), form->hart.sensorType->text(),
            form->hart.preambleCount->text(), form->hart.sensorSerial->text()};
  }
  QStringList Values() const {
    return {form->hart.variables[0].value->text(), form->hart.variables[1].value->text(),
            form->hart.variables[2].value->text(), form->hart.variables[3].value->text()};
  }
  QStringList Units() const {
    return {
        form->hart.variables[0].unit->currentText(), form->hart.variables[1].unit->currentText(),
        form->hart.variables[2].unit->currentText(), form->hart.variables[3].unit->currentText()};
  }

  QTcpServer server;
  QTcpSocket* peer = nullptr;
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

TEST_F(HartScriptedTest, IdentityFillsTheFieldsAndTheLongAddress) {
  form->hart.identityQuery->click();
  ReplyAndDecode(IdentityReply());
  EXPECT_EQ(Identity(), QStringList({"38", "6", "5", "1193046"}));
  EXPECT_EQ(form->HartReplyLength, IdentityReply().size());
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText().left(12), QStringLiteral("FF FF FF 06 "));

  form->hart.variablesQuery->click();
  EXPECT_EQ(form->shared.sendBuffer->text(),
            kSevenPreambles + QStringLiteral("82 A6 06 12 34 56 03 00 ") +
                QStringLiteral("%1 ")
                    .arg(0x82 ^ 0xA6 ^ 0x06 ^ 0x12 ^ 0x34 ^ 0x56 ^ 0x03, 2, 16, QLatin1Char('0'))
                    .toUpper());
}

TEST_F(HartScriptedTest, ShortIdentityReplyDoesNotReuseAnEarlierOne) {
  form->hart.identityQuery->click();
  ReplyAndDecode(IdentityReply());
  ASSERT_EQ(form->HartIdentity.deviceId, 0x123456u);

  // The same reply cut before its last device-id byte: the reply area
  // still holds that byte from before, but it did not come with this reply.
  QByteArray cut = IdentityReply().left(20);
  cut[10] = 0x11;
  form->hart.identityQuery->click();
  ReplyAndDecode(cut);
  EXPECT_EQ(Identity(), QStringList({"", "", "", ""}));
  EXPECT_EQ(form->HartIdentity.manufacturer, 0x26);
  EXPECT_EQ(form->HartIdentity.deviceId, 0x123456u);

  form->hart.identityQuery->click();
  ReplyAndDecode("QQS#OK#");
  EXPECT_EQ(Identity(), QStringList({"", "", "", ""}));
}

TEST_F(HartScriptedTest, VariablesWithTheirUnitsAsFarAsTheByteCountGoes) {
  form->hart.variablesQuery->click();
  ReplyAndDecode(Command3Reply(26,
                               "2041200000"
                               "ED3F9D70A4"
                               "39BE800000"
                               "3D374E5C19"));
  EXPECT_EQ(Values(), QStringList({"10", "1.2300000", "-0.25", "0.0000122"}));
  EXPECT_EQ(Units(),
            QStringList({QString::fromUtf8("\xE2\x84\x83  "), "MPa    ", "%", "kg        "}));

  // bc = 11: the primary only; the other unit boxes keep their entries.
  form->hart.variablesQuery->click();
  ReplyAndDecode(Command3Reply(11,
                               "3E47F12064"
                               "4B3F800000"));
  EXPECT_EQ(Values(), QStringList({"123456.78", "", "", ""}));
  EXPECT_EQ(Units(), QStringList({"MetTon    ", "MPa    ", "%", "kg        "}));

  // bc = 12 announces one byte of the secondary; what arrived is shown.
  form->hart.variablesQuery->click();
  ReplyAndDecode(Command3Reply(12,
                               "4B41200000"
                               "4D3F800000"));
  EXPECT_EQ(Values(), QStringList({"10", "1", "", ""}));
  EXPECT_EQ(Units(), QStringList({"other", "metTOM_min ", "%", "kg        "}));
}

TEST_F(HartScriptedTest, VariablesThatDidNotArriveAreNotShown) {
  const QByteArray full = Command3Reply(26,
                                        "2041200000"
                                        "ED3F9D70A4"
                                        "39BE800000"
                                        "3D374E5C19");
  form->hart.variablesQuery->click();
  ReplyAndDecode(full);

  // The same reply cut inside the tertiary variable: earlier bytes in the
  // reply area must not stand in for the missing ones.
  form->hart.variablesQuery->click();
  ReplyAndDecode(full.left(32));
  EXPECT_EQ(Values(), QStringList({"10", "1.2300000", "", ""}));

  form->hart.variablesQuery->click();
  ReplyAndDecode(full.left(22));
  EXPECT_EQ(Values(), QStringList({"", "", "", ""}));

  form->hart.variablesQuery->click();
  ReplyAndDecode(IdentityReply());  // no FF 86
  EXPECT_EQ(Values(), QStringList({"", "", "", ""}));
}

TEST_F(HartScriptedTest, ValueTextsShowTheWholeNumberWhereACutWouldChangeIt) {
  form->hart.variablesQuery->click();
  ReplyAndDecode(Command3Reply(26,
                               "2035A5167A"
                               "20501502F9"
                               "203DCCCCCD"
                               "20C2F6E979"));
  EXPECT_EQ(Values(),
            QStringList({"1.22999995255668E-6", "10000000000", "0.1000000", "-123.4560"}));
}

TEST_F(HartScriptedTest, ValuesUseTheLocaleDecimalSeparator) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  form->hart.variablesQuery->click();
  ReplyAndDecode(Command3Reply(11, "203F9D70A4"));
  QLocale::setDefault(before);
  EXPECT_EQ(form->hart.variables[0].value->text(), QStringLiteral("1,2300000"));
}

// ---- against the simulated gateway -------------------------------------------

class HartSimulatorTest : public HartWindowTest {
 protected:
  void SetUp() override {
    HartWindowTest::SetUp();
    ASSERT_TRUE(gateway.Start());
    ConnectTo(gateway.Port());
  }

  // Clicks and waits for the reply to be shown.
  void Exchange(QPushButton* button) {
    button->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !form->shared.receiveBuffer->toPlainText().isEmpty(); }, 3000))
        << button->objectName().toStdString();
  }

  sim::SimThread gateway;
};

TEST_F(HartSimulatorTest, IdentityThenLiveVariablesOfTheChosenInstrument) {
  Pick(form->hart.hartAddress, 2);
  Exchange(form->hart.addressSet);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("OK:HCS#"));

  const sim::Instrument& instrument = sim::InstrumentAt(3);
  form->hart.identityQuery->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->hart.manufacturerId->text().isEmpty(); }, 3000));
  EXPECT_EQ(form->hart.manufacturerId->text(), QString::number(instrument.manufacturer));
  EXPECT_EQ(form->hart.sensorType->text(), QString::number(instrument.deviceType));
  EXPECT_EQ(form->hart.preambleCount->text(), QString::number(instrument.preambles));
  EXPECT_EQ(form->hart.sensorSerial->text(), QString::number(instrument.deviceId));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
  EXPECT_FALSE(form->timeoutTimer.Enabled());

  form->hart.variablesQuery->click();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !form->hart.variables[3].value->text().isEmpty(); }, 3000));
  EXPECT_TRUE(
      form->shared.receiveBuffer->toPlainText().startsWith(QStringLiteral("FF FF FF FF FF 86 ")));
  QComboBox* const units[] = {form->hart.variables[0].unit, form->hart.variables[1].unit,
                              form->hart.variables[2].unit, form->hart.variables[3].unit};
  for (int v = 0; v < 4; ++v)
    EXPECT_EQ(units[v]->currentIndex(), hart::UnitPosition(instrument.units[v])) << v;
  const double flow = form->hart.variables[0].value->text().toDouble();
  EXPECT_NEAR(flow, instrument.flow.base, instrument.flow.amplitude * 1.001);
  EXPECT_NEAR(form->hart.variables[1].value->text().toDouble(), instrument.temperature.base,
              instrument.temperature.amplitude * 1.001);
  EXPECT_NEAR(form->hart.variables[2].value->text().toDouble(), instrument.pressure.base,
              instrument.pressure.amplitude * 1.001);
  EXPECT_GE(form->hart.variables[3].value->text().toDouble(), instrument.totalAtStart);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(HartSimulatorTest, ManualCommandShowsTheInstrumentsReplyInHex) {
  form->hart.manualCommand->setText(QStringLiteral("02 80 00 00"));
  Exchange(form->hart.manualSend);
  const sim::Instrument& instrument = sim::InstrumentAt(1);
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().startsWith(
      QStringLiteral("FF FF FF FF FF 06 80 00 0E 00 00 FE %1 ")
          .arg(instrument.manufacturer, 2, 16, QLatin1Char('0'))
          .toUpper()));
  EXPECT_EQ(form->Cycle.Pending,
            PendingCode::kHartManualCommand);  // typed commands are never decoded
  EXPECT_FALSE(form->parseTimer.Enabled());
  EXPECT_FALSE(form->timeoutTimer.Enabled());
}

TEST_F(HartSimulatorTest, CustomMeterSettingsReadBackUnchanged) {
  form->mapping.meter->setCurrentIndex(1);
  Pick(form->mapping.instrumentType, 0);
  form->parsing.readCommands[0].enable->setCurrentIndex(1);
  form->parsing.readCommands[0].bytes->setText(QStringLiteral("01 03 00 2A"));
  Exchange(form->parsing.readCommands[0].set);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("OK:CAMD#"));
  form->parsing.readCommands[1].enable->setCurrentIndex(0);
  form->parsing.readCommands[1].bytes->setText(QStringLiteral("82 A6 06 12 34 56 03 00"));
  Exchange(form->parsing.readCommands[1].set);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("OK:CAMD#"));

  form->parsing.addressBits->setCurrentIndex(2);
  QComboBox* const commands[] = {form->parsing.rows[0].command, form->parsing.rows[1].command,
                                 form->parsing.rows[2].command, form->parsing.rows[3].command};
  QLineEdit* const starts[] = {form->parsing.rows[0].start, form->parsing.rows[1].start,
                               form->parsing.rows[2].start, form->parsing.rows[3].start};
  QComboBox* const lengths[] = {form->parsing.rows[0].length, form->parsing.rows[1].length,
                                form->parsing.rows[2].length, form->parsing.rows[3].length};
  const int command[] = {1, 2, 0, 1};
  const char* start[] = {"05", "12", "00", "99"};
  const int length[] = {0, 1, 0, 1};
  for (int v = 0; v < 4; ++v) {
    commands[v]->setCurrentIndex(command[v]);
    starts[v]->setText(QString::fromLatin1(start[v]));
    lengths[v]->setCurrentIndex(length[v]);
  }
  Exchange(form->parsing.formatSet);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("OK:MDBS#"));

  Pick(form->mapping.instrumentType, 0);  // clears everything the report is to fill
  form->mapping.mappingQuery->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !form->parsing.readCommands[1].bytes->text().isEmpty(); }, 3000));
  EXPECT_EQ(form->parsing.readCommands[0].bytes->text(), QStringLiteral("01 03 00 2A"));
  EXPECT_EQ(form->parsing.readCommands[0].enable->currentIndex(), 1);
  EXPECT_EQ(form->parsing.readCommands[1].bytes->text(), QStringLiteral("82 A6 06 12 34 56 03 00"));
  EXPECT_EQ(form->parsing.readCommands[1].enable->currentIndex(), 0);
  EXPECT_EQ(form->parsing.addressBits->currentIndex(), 2);
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(commands[v]->currentIndex(), command[v]) << v;
    EXPECT_EQ(starts[v]->text(), QString::fromLatin1(start[v])) << v;
    EXPECT_EQ(lengths[v]->currentIndex(), length[v]) << v;
  }
  EXPECT_TRUE(messages.shown.isEmpty());
}

}  // namespace
}  // namespace kv770::ui
