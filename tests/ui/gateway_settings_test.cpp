#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include <cstring>
#include <memory>
#include <random>

#include "cycle/convert.h"
#include "gateway/fields.h"
#include "link/errors.h"
#include "sim/sim_thread.h"
#include "support/window_fixture.h"
#include "ui/gateway_window.h"
#include "ui/widgets.h"

namespace kv770::ui {
namespace {

class GatewaySettingsTest : public WindowFixture {
 protected:
  // Nothing pending, timeoutTimer stopped at its form interval.
  void Idle() {
    form->Cycle.Arm(PendingCode::kNone, RequestKind::kNone);
    form->timeoutTimer.SetEnabled(false);
    form->timeoutTimer.SetInterval(1000);
    form->rs485CloseTimer.SetEnabled(false);
  }

  QByteArray Staged(int size) const {
    return QByteArray(reinterpret_cast<const char*>(form->Cycle.ExchangeBuffer.data() + 8), size);
  }
};

// A scripted gateway: the test sees every byte the window sends and decides
// what comes back.
class GatewayWireTest : public GatewaySettingsTest {
 protected:
  void SetUp() override {
    GatewaySettingsTest::SetUp();
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    ConnectTo(server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000));
    peer = server.nextPendingConnection();
  }

  void TearDown() override { Idle(); }

  // What reached the gateway since the last look (see SentSince).
  QByteArray Wire() { return SentSince(form->ClientSocket1, *peer); }

  bool NothingSent() { return Wire().isEmpty(); }

  // Answers and waits until the decoder (parseTimer) has run.
  void Answer(const QByteArray& reply) {
    form->Cycle.ReplyText.clear();
    peer->write(reply);
    peer->flush();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->Cycle.ReplyText == reply && !form->parseTimer.Enabled(); }, 3000));
  }

  QTcpServer server;
  QTcpSocket* peer = nullptr;
};

TEST_F(GatewayWireTest, SetButtonsShowAndSendTheCommandTable) {
  struct Case {
    std::function<void()> prepare;
    QPushButton* button;
    QByteArray command;
    PendingCode code;
    RequestKind kind;
  };
  GatewayWindow& f = *form;
  const Case cases[] = {
      {[&] {
         f.system.rs485Baud->setCurrentIndex(6);    // 57600
         f.system.rs485Parity->setCurrentIndex(2);  // even
       },
       f.system.rs485Set, "QQS#BA1:62#", PendingCode::kGatewaySetting, RequestKind::kSetting},
      {[&] {
         f.system.rs485Baud->setCurrentIndex(-1);
         f.system.rs485Parity->setCurrentIndex(-1);
       },
       f.system.rs485Set, "QQS#BA1://#", PendingCode::kGatewaySetting, RequestKind::kSetting},
      {[&] { f.system.workingMode->setCurrentIndex(1); }, f.system.workingModeSet, "QQS#MD:1#",
       PendingCode::kGatewaySetting, RequestKind::kSetting},
      {[&] { f.system.slaveAddress->setText("7"); }, f.system.slaveAddressSet, "QQS#ADR:007#",
       PendingCode::kGatewaySetting, RequestKind::kSetting},
      {[&] { f.system.slaveAddress->setText("247"); }, f.system.slaveAddressSet, "QQS#ADR:247#",
       PendingCode::kGatewaySetting, RequestKind::kSetting},
      {[&] { f.system.pollingInterval->setText("5"); }, f.system.pollingIntervalSet, "QQS#JTM:005#",
       PendingCode::kGatewaySetting, RequestKind::kSetting},
      {[] {}, f.system.parameterReset, "QQS#RESET#", PendingCode::kGatewaySetting,
       RequestKind::kSetting},
      {[&] {
         f.mapping.meter->setCurrentIndex(7);
         f.mapping.enable->setCurrentIndex(0);      // Close
         f.mapping.deviceMode->setCurrentIndex(0);  // Secondary Master Device
         f.mapping.instrumentType->setCurrentIndex(13);
         f.mapping.preambleLength->setCurrentIndex(0);  // 4
         f.mapping.bufferClearTime->setText("0");
       },
       f.mapping.setupSet, "QQS#HART7:0,0,13,4,000#", PendingCode::kGatewaySetting,
       RequestKind::kSetting},
      {[&] {
         f.mapping.meter->setCurrentIndex(0);
         for (QComboBox* c : {f.mapping.byteOrders[0], f.mapping.byteOrders[1],
                              f.mapping.byteOrders[2], f.mapping.byteOrders[3]})
           c->setCurrentIndex(0);
         f.mapping.byteOrders[4]->setCurrentIndex(3);
       },
       f.mapping.byteOrdersSet, "QQS#DFOT0:00003#", PendingCode::kGatewaySetting,
       RequestKind::kSetting},
      {[] {}, f.system.systemQuery, "QQQ#QX#", PendingCode::kSystemParametersQuery,
       RequestKind::kParameterQuery},
      {[&] { f.mapping.meter->setCurrentIndex(1); }, f.mapping.mappingQuery, "QQQ#QQ1#",
       PendingCode::kMeterMappingQuery, RequestKind::kParameterQuery},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command.toStdString());
    Idle();
    form->shared.receiveBuffer->setPlainText("old reply");
    c.prepare();
    c.button->click();
    EXPECT_EQ(form->shared.sendBuffer->text(), QString::fromLatin1(c.command));
    EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().isEmpty());
    EXPECT_EQ(Wire(), c.command);
    EXPECT_EQ(Staged(c.command.size()), c.command);
    EXPECT_EQ(form->Cycle.Pending, c.code);
    EXPECT_EQ(form->Cycle.Kind, c.kind);
    EXPECT_TRUE(form->timeoutTimer.Enabled());
    EXPECT_EQ(form->timeoutTimer.Interval(), 3000);
    // Only the RS-485 setting closes the serial port afterwards, also on TCP.
    EXPECT_EQ(form->rs485CloseTimer.Enabled(), c.button == form->system.rs485Set);
    if (c.button == form->system.rs485Set) {
      EXPECT_EQ(form->rs485CloseTimer.Interval(), 2000);
    }
  }
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(GatewayWireTest, HiddenCommandsGoOutWithoutShowing) {
  Idle();
  form->shared.sendBuffer->setText("before");
  QTest::mouseDClick(form->frame.serviceArea0, Qt::LeftButton);
  EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());
  EXPECT_EQ(Wire(), QByteArray("QQS#YB:00#"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kGatewaySetting);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kSetting);
  EXPECT_TRUE(form->timeoutTimer.Enabled());

  emit form->frame.serviceArea1->doubleClicked();
  EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());
  EXPECT_EQ(Wire(), QByteArray("QQS#YB:01#"));
}

TEST_F(GatewayWireTest, BoardSerialAndCoefficientsLeaveThePendingRequestAlone) {
  form->Cycle.Arm(PendingCode::kMeterMappingQuery, RequestKind::kParameterQuery);
  form->timeoutTimer.SetEnabled(false);
  form->Cycle.ExchangeBuffer[8] = 0x5A;
  form->shared.sendBuffer->setText("before");
  form->shared.receiveBuffer->setPlainText("old reply");
  form->system.boardSerial->setText("123");
  form->system.inspector->setEditText("5");  // the text counts, not the list position
  form->system.boardSet->click();
  EXPECT_EQ(Wire(), QByteArray("TAVELK#PCBSN:00000123,005#"));
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("TAVELK#PCBSN:00000123,005#"));
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().isEmpty());
  EXPECT_EQ(form->Cycle.ExchangeBuffer[8], 0x5A);  // not staged
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kMeterMappingQuery);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kParameterQuery);
  EXPECT_FALSE(form->timeoutTimer.Enabled());

  form->system.inspector->setCurrentIndex(8);  // "101"
  form->system.boardSerial->setText("123456789");
  form->system.boardSet->click();
  EXPECT_EQ(Wire(), QByteArray("TAVELK#PCBSN:123456789,101#"));

  form->mapping.meter->setCurrentIndex(3);
  form->mapping.coefficients[0]->setText("-1.5");
  form->mapping.coefficients[1]->setText("2");
  form->mapping.coefficients[2]->setText("0.001");
  form->mapping.coefficients[3]->setText("1.000");
  form->mapping.coefficientsSet->click();
  const QByteArray coefficients("QQS#XISH3:-1.5,2,0.001,1.000#");
  EXPECT_EQ(Wire(), coefficients);
  EXPECT_EQ(form->shared.sendBuffer->text(), QString::fromLatin1(coefficients));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kMeterMappingQuery);
  EXPECT_EQ(form->Cycle.Kind, RequestKind::kConnection);
  EXPECT_FALSE(form->timeoutTimer.Enabled());  // this command never times out
}

TEST_F(GatewayWireTest, NumbersThatDoNotFitTheirFieldAreRefused) {
  struct Case {
    QLineEdit* edit;
    const char* typed;
    QPushButton* button;
    const char* message;
  };
  GatewayWindow& f = *form;
  const Case cases[] = {
      {f.system.slaveAddress, "1000", f.system.slaveAddressSet,
       "'1000' is out of range (0 to 999)"},
      {f.system.slaveAddress, "-1", f.system.slaveAddressSet, "'-1' is out of range (0 to 999)"},
      {f.system.slaveAddress, "abc", f.system.slaveAddressSet,
       "'abc' is not a valid integer value"},
      {f.system.pollingInterval, "1000", f.system.pollingIntervalSet,
       "'1000' is out of range (0 to 999)"},
      {f.system.pollingInterval, "", f.system.pollingIntervalSet,
       "'' is not a valid integer value"},
      {f.mapping.bufferClearTime, "1000", f.mapping.setupSet, "'1000' is out of range (0 to 999)"},
      {f.mapping.bufferClearTime, "-5", f.mapping.setupSet, "'-5' is out of range (0 to 999)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    messages.shown.clear();
    form->Cycle.Arm(PendingCode::kSystemParametersQuery, RequestKind::kParameterQuery);
    form->timeoutTimer.SetEnabled(false);
    form->timeoutTimer.SetInterval(1000);
    form->shared.sendBuffer->setText("before");
    form->shared.receiveBuffer->setPlainText("before");
    c.edit->setText(QString::fromLatin1(c.typed));
    c.button->click();
    EXPECT_EQ(messages.shown, QStringList{QString::fromLatin1(c.message)});
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(form->Cycle.Pending, PendingCode::kSystemParametersQuery);
    EXPECT_EQ(form->Cycle.Kind, RequestKind::kParameterQuery);
    EXPECT_FALSE(form->timeoutTimer.Enabled());
    EXPECT_EQ(form->timeoutTimer.Interval(), 1000);
    EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());
    EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().isEmpty());
  }

  // The board serial clears nothing before it converts.
  messages.shown.clear();
  form->shared.sendBuffer->setText("before");
  form->system.boardSerial->setText("12x");
  form->system.boardSet->click();
  EXPECT_EQ(messages.shown, QStringList{"'12x' is not a valid integer value"});
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("before"));
  EXPECT_TRUE(NothingSent());
}

TEST_F(GatewayWireTest, SystemReportFillsTheSystemTab) {
  form->system.systemQuery->click();
  Wire();
  Answer("QX#JTM:100,ADR:017,MD:1,BA1:41#");
  EXPECT_EQ(form->system.rs485Baud->currentText(), QStringLiteral("19200"));
  EXPECT_EQ(form->system.rs485Parity->currentText(), QStringLiteral("Odd"));
  EXPECT_EQ(form->system.workingMode->currentText(), QStringLiteral("MODBUS_RTU Mode"));
  EXPECT_EQ(form->system.slaveAddress->text(), QStringLiteral("017"));
  EXPECT_EQ(form->modbusTest.slaveAddress->text(),
            QStringLiteral("017"));  // the MODBUS test follows
  EXPECT_EQ(form->system.pollingInterval->text(), QStringLiteral("100"));
  EXPECT_TRUE(messages.shown.isEmpty());
  EXPECT_EQ(form->Cycle.Pending,
            PendingCode::kSystemParametersQuery);  // a further reply is decoded too

  // Without the marker nothing changes.
  Answer("BA1:30,JTM:005#");
  EXPECT_EQ(form->system.rs485Baud->currentIndex(), 4);
  EXPECT_EQ(form->system.pollingInterval->text(), QStringLiteral("100"));

  // A bad digit: what came before is kept, the rest is not read.
  Answer("QX#BA1:6x,MD:0,ADR:099,JTM:200#");
  EXPECT_EQ(messages.shown, QStringList{"'x' is not a valid integer value"});
  EXPECT_EQ(form->system.rs485Baud->currentText(), QStringLiteral("57600"));
  EXPECT_EQ(form->system.rs485Parity->currentText(), QStringLiteral("Odd"));
  EXPECT_EQ(form->system.workingMode->currentIndex(), 1);
  EXPECT_EQ(form->system.slaveAddress->text(), QStringLiteral("017"));

  // A digit beyond the list selects nothing.
  Answer("QX#BA1:92#");
  EXPECT_EQ(form->system.rs485Baud->currentIndex(), -1);
  EXPECT_EQ(form->system.rs485Parity->currentIndex(), 2);
}

TEST_F(GatewayWireTest, ModbusReportOfAStandardMeterHidesTheCustomGroup) {
  form->parsing.addressBits->setCurrentIndex(0);
  form->mapping.mappingQuery->click();
  Wire();
  Answer(
      "QQ0#HART0:1,0,05,6,010,DFO0:01230,XISH0:1.000,2.500,0.100,9.999,"
      "ZDY0:8,1120,0000,0000,0000,MD:1#");
  EXPECT_EQ(form->mapping.enable->currentText(), QStringLiteral("Open"));
  EXPECT_EQ(form->mapping.deviceMode->currentText(), QStringLiteral("Secondary Master Device"));
  EXPECT_EQ(form->mapping.instrumentType->currentText(), QStringLiteral("5)Siemens_MG500"));
  EXPECT_EQ(form->mapping.preambleLength->currentText(), QStringLiteral("6"));
  EXPECT_EQ(form->mapping.bufferClearTime->text(), QStringLiteral("010"));
  EXPECT_EQ(form->mapping.byteOrders[0]->currentIndex(), 0);
  EXPECT_EQ(form->mapping.byteOrders[1]->currentIndex(), 1);
  EXPECT_EQ(form->mapping.byteOrders[2]->currentIndex(), 2);
  EXPECT_EQ(form->mapping.byteOrders[3]->currentIndex(), 3);
  EXPECT_EQ(form->mapping.byteOrders[4]->currentIndex(), 0);
  EXPECT_EQ(form->mapping.coefficients[1]->text(), QStringLiteral("2.500"));
  EXPECT_EQ(form->mapping.coefficients[3]->text(), QStringLiteral("9.999"));
  EXPECT_TRUE(form->parsing.group->isHidden());
  EXPECT_EQ(form->parsing.addressBits->currentIndex(), 0);  // ignored for this type
  EXPECT_EQ(form->system.workingMode->currentIndex(), 0);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(GatewayWireTest, ModbusReportOfACustomMeterFillsTheParsing) {
  form->parsing.group->hide();
  form->mapping.mappingQuery->click();
  Wire();
  Answer(
      "QQ2#HART2:0,1,00,4,000,ZDY2:8,1120,2051,0000,0991,MD:1,"
      "CAMD21:1,03,01 02 03,CAMD22:0,00,#");
  EXPECT_FALSE(form->parsing.group->isHidden());
  EXPECT_EQ(form->mapping.instrumentType->currentIndex(), 0);
  EXPECT_EQ(form->parsing.addressBits->currentText(), QStringLiteral("8"));
  EXPECT_EQ(form->parsing.rows[0].command->currentText(), QStringLiteral("1 Command 1"));
  EXPECT_EQ(form->parsing.rows[0].start->text(), QStringLiteral("12"));
  EXPECT_EQ(form->parsing.rows[0].length->currentText(), QStringLiteral("4 byte"));
  EXPECT_EQ(form->parsing.rows[1].command->currentText(), QStringLiteral("2 Command 2"));
  EXPECT_EQ(form->parsing.rows[1].start->text(), QStringLiteral("05"));
  EXPECT_EQ(form->parsing.rows[1].length->currentText(), QStringLiteral("8 byte"));
  EXPECT_EQ(form->parsing.rows[2].command->currentText(), QStringLiteral("0 Not analytic"));
  EXPECT_EQ(form->parsing.rows[3].start->text(), QStringLiteral("99"));
  EXPECT_EQ(form->system.workingMode->currentText(), QStringLiteral("MODBUS_RTU Mode"));
  EXPECT_EQ(form->parsing.readCommands[0].enable->currentText(), QStringLiteral("1 open"));
  EXPECT_EQ(form->parsing.readCommands[0].bytes->text(), QStringLiteral("01 02 03"));
  EXPECT_EQ(form->parsing.readCommands[1].enable->currentText(), QStringLiteral("0 close"));
  EXPECT_TRUE(form->parsing.readCommands[1].bytes->text().isEmpty());

  // Stopped at variable 2: variable 1 is new, the rest keeps its contents.
  Answer("QQ2#HART2:0,1,00,7,000,ZDY2:3,2301,");
  EXPECT_EQ(messages.shown, QStringList{"'' is not a valid integer value"});
  EXPECT_EQ(form->mapping.preambleLength->currentText(), QStringLiteral("7"));
  EXPECT_EQ(form->parsing.addressBits->currentText(), QStringLiteral("3"));
  EXPECT_EQ(form->parsing.rows[0].command->currentIndex(), 2);
  EXPECT_EQ(form->parsing.rows[0].start->text(), QStringLiteral("30"));
  EXPECT_EQ(form->parsing.rows[0].length->currentIndex(), 1);
  EXPECT_EQ(form->parsing.rows[1].command->currentIndex(), 2);
  EXPECT_EQ(form->parsing.readCommands[0].bytes->text(), QStringLiteral("01 02 03"));

  // Numbers beyond a list leave no selection; type 20 counts as not custom.
  Answer("QQ2#HART2:3,1,20,3,000#");
  EXPECT_EQ(form->mapping.enable->currentIndex(), -1);
  EXPECT_EQ(form->mapping.instrumentType->currentIndex(), -1);
  EXPECT_EQ(form->mapping.preambleLength->currentIndex(), -1);
  EXPECT_TRUE(form->parsing.group->isHidden());
}

TEST_F(GatewayWireTest, ChangingTheMeterWithThePortClosedSendsNothing) {
  ASSERT_FALSE(form->SerialOpen);
  Idle();
  form->shared.sendBuffer->setText("before");
  form->mapping.bufferClearTime->setText("010");
  Pick(form->mapping.meter, 2);
  EXPECT_TRUE(NothingSent());
  EXPECT_EQ(form->mapping.meter->currentIndex(), 2);
  EXPECT_EQ(form->mapping.registerLabels[0]->text(), QStringLiteral("40001:"));
  EXPECT_EQ(form->mapping.registerLabels[4]->text(), QStringLiteral("40009:"));
  EXPECT_EQ(form->shared.sendBuffer->text(), QStringLiteral("before"));
  EXPECT_EQ(form->mapping.bufferClearTime->text(), QStringLiteral("010"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
  EXPECT_FALSE(form->timeoutTimer.Enabled());
}

TEST_F(GatewaySettingsTest, SlaveAddressFollowsIntoTheModbusTest) {
  form->system.slaveAddress->clear();
  EXPECT_TRUE(form->modbusTest.slaveAddress->text().isEmpty());
  QTest::keyClicks(form->system.slaveAddress, "24");
  EXPECT_EQ(form->modbusTest.slaveAddress->text(), QStringLiteral("24"));
  QTest::keyClick(form->system.slaveAddress, '7');
  EXPECT_EQ(form->modbusTest.slaveAddress->text(), QStringLiteral("247"));
}

TEST_F(GatewaySettingsTest, CoefficientBoxesTakeFiveCharactersOfANumber) {
  QLineEdit* box = form->mapping.coefficients[1];
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
  form->mapping.coefficients[0]->setText("abcdefg");
  EXPECT_EQ(form->mapping.coefficients[0]->text(), QStringLiteral("abcdefg"));
}

TEST_F(GatewaySettingsTest, ExternalProgramIsOpenedOnlyWhenItIsThere) {
  // Stands in for the desktop: any object with a slot taking the URL will
  // do, and a text browser has one (setSource) and says when it ran.
  QTextBrowser desktop;
  QList<QUrl> opened;
  QObject::connect(&desktop, &QTextBrowser::sourceChanged,
                   [&opened](const QUrl& url) { opened.append(url); });
  QDesktopServices::setUrlHandler("file", &desktop, "setSource");
  const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("LORIX6.EXE");
  QFile::remove(path);

  Pick(form->system.linkChoice, 1);
  form->system.makerProgram->click();
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_TRUE(messages.shown.isEmpty());

  QFile program(path);
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  program.write("MZ");
  program.close();
  form->system.makerProgram->click();
  EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(path)});
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
  EXPECT_TRUE(form->shared.sendBuffer->text().isEmpty());

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

// Against the simulated gateway, over either link.
class GatewaySimulatorTest : public GatewaySettingsTest {
 protected:
  void SetUp() override {
    GatewaySettingsTest::SetUp();
    ASSERT_TRUE(gateway.Start());
  }

  void OpenSerial() {
    if (line.isEmpty()) line = gateway.StartPty();
    ASSERT_FALSE(line.isEmpty());
    form->Comm1.Ports().Set(4, line);  // the window's COM4
    Pick(form->system.linkChoice, 0);
    form->system.openPort->click();
    ASSERT_TRUE(form->SerialOpen) << messages.shown.join('|').toStdString();
  }

  // A set command and its acknowledgement.
  void Set(QPushButton* button) {
    button->click();
    ASSERT_EQ(form->Cycle.Pending, PendingCode::kGatewaySetting)
        << button->objectName().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.Pending == PendingCode::kNone; }, 3000));
    EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().startsWith("OK:"))
        << form->shared.receiveBuffer->toPlainText().toStdString();
  }

  // Waits until a report query's reply has been decoded.
  void AwaitReport() {
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return !form->shared.receiveBuffer->toPlainText().isEmpty() &&
                 !form->parseTimer.Enabled();
        },
        3000));
  }

  void Query(QPushButton* button) {
    button->click();
    AwaitReport();
  }

  // Everything written comes back in the reports, and the parameter reset
  // brings the factory values back.
  void RoundTrip(bool serial);

  sim::SimThread gateway;
  QString line;
};

void GatewaySimulatorTest::RoundTrip(bool serial) {
  GatewayWindow& f = *form;
  if (serial) {
    OpenSerial();
  } else {
    ConnectTo(gateway.Port());
  }

  // The RS-485 setting gives up the serial line 2 s later, on either link.
  Pick(f.system.rs485Baud, 5);    // 38400
  Pick(f.system.rs485Parity, 2);  // even
  Set(f.system.rs485Set);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.rs485CloseTimer.Enabled(); }, 3000));
  EXPECT_FALSE(f.SerialOpen);
  if (serial) OpenSerial();

  Pick(f.system.workingMode, 1);
  Set(f.system.workingModeSet);
  f.system.slaveAddress->setText("017");
  Set(f.system.slaveAddressSet);
  f.system.pollingInterval->setText("100");
  Set(f.system.pollingIntervalSet);

  // Meter 3. With the port open, choosing it asks for its report at once.
  Pick(f.mapping.meter, 2);
  if (serial) {
    EXPECT_EQ(f.shared.sendBuffer->text(), QStringLiteral("QQQ#QQ2#"));
    AwaitReport();
    EXPECT_EQ(f.mapping.bufferClearTime->text(), QStringLiteral("010"));  // the factory mapping
  }
  Pick(f.mapping.enable, 1);
  Pick(f.mapping.deviceMode, 1);
  Pick(f.mapping.instrumentType, 0);
  Pick(f.mapping.preambleLength, 3);  // 7 preambles
  f.mapping.bufferClearTime->setText("020");
  Set(f.mapping.setupSet);
  const int orders[] = {1, 3, 2, 0, 1};
  QComboBox* const orderBoxes[] = {f.mapping.byteOrders[0], f.mapping.byteOrders[1],
                                   f.mapping.byteOrders[2], f.mapping.byteOrders[3],
                                   f.mapping.byteOrders[4]};
  for (int i = 0; i < 5; ++i) Pick(orderBoxes[i], orders[i]);
  Set(f.mapping.byteOrdersSet);
  const QString coefficients[] = {"0.500", "-2.00", "3.000", "4.250"};
  QLineEdit* const coefficientBoxes[] = {f.mapping.coefficients[0], f.mapping.coefficients[1],
                                         f.mapping.coefficients[2], f.mapping.coefficients[3]};
  for (int i = 0; i < 4; ++i) {
    coefficientBoxes[i]->clear();
    QTest::keyClicks(coefficientBoxes[i], coefficients[i]);
  }
  f.mapping.coefficientsSet->click();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return f.shared.receiveBuffer->toPlainText() == "OK:XISH#"; }, 3000));

  // The custom meter's parsing and read-meter commands.
  Pick(f.parsing.addressBits, 0);  // 3 address bits
  QComboBox* const commandBoxes[] = {f.parsing.rows[0].command, f.parsing.rows[1].command,
                                     f.parsing.rows[2].command, f.parsing.rows[3].command};
  QLineEdit* const startBoxes[] = {f.parsing.rows[0].start, f.parsing.rows[1].start,
                                   f.parsing.rows[2].start, f.parsing.rows[3].start};
  QComboBox* const lengthBoxes[] = {f.parsing.rows[0].length, f.parsing.rows[1].length,
                                    f.parsing.rows[2].length, f.parsing.rows[3].length};
  const int commands[] = {1, 2, 0, 1};
  const QString starts[] = {"12", "05", "00", "99"};
  const int lengths[] = {0, 1, 0, 1};
  for (int v = 0; v < 4; ++v) {
    Pick(commandBoxes[v], commands[v]);
    startBoxes[v]->setText(starts[v]);
    Pick(lengthBoxes[v], lengths[v]);
  }
  Set(f.parsing.formatSet);
  Pick(f.parsing.readCommands[0].enable, 1);
  f.parsing.readCommands[0].bytes->setText("01 AB 03");
  Set(f.parsing.readCommands[0].set);
  Pick(f.parsing.readCommands[1].enable, 0);
  f.parsing.readCommands[1].bytes->setText("FF");
  Set(f.parsing.readCommands[1].set);

  // Forget everything the window shows, then read it back.
  for (QComboBox* c : {f.system.rs485Baud, f.system.rs485Parity, f.system.workingMode,
                       f.mapping.enable, f.mapping.deviceMode, f.mapping.preambleLength,
                       f.mapping.byteOrders[0], f.mapping.byteOrders[1], f.mapping.byteOrders[2],
                       f.mapping.byteOrders[3], f.mapping.byteOrders[4]})
    c->setCurrentIndex(-1);
  f.mapping.instrumentType->setCurrentIndex(4);
  for (QLineEdit* e : {f.system.slaveAddress, f.system.pollingInterval, f.mapping.bufferClearTime,
                       f.mapping.coefficients[0], f.mapping.coefficients[1],
                       f.mapping.coefficients[2], f.mapping.coefficients[3]})
    e->clear();
  f.parsing.group->hide();
  for (int v = 0; v < 4; ++v) {
    commandBoxes[v]->setCurrentIndex(-1);
    startBoxes[v]->clear();
    lengthBoxes[v]->setCurrentIndex(-1);
  }
  for (QComboBox* c :
       {f.parsing.addressBits, f.parsing.readCommands[0].enable, f.parsing.readCommands[1].enable})
    c->setCurrentIndex(-1);
  f.parsing.readCommands[0].bytes->clear();
  f.parsing.readCommands[1].bytes->clear();

  Query(f.system.systemQuery);
  EXPECT_EQ(f.system.rs485Baud->currentText(), QStringLiteral("38400"));
  EXPECT_EQ(f.system.rs485Parity->currentText(), QStringLiteral("Even"));
  EXPECT_EQ(f.system.workingMode->currentIndex(), 1);
  EXPECT_EQ(f.system.slaveAddress->text(), QStringLiteral("017"));
  EXPECT_EQ(f.modbusTest.slaveAddress->text(), QStringLiteral("017"));
  EXPECT_EQ(f.system.pollingInterval->text(), QStringLiteral("100"));

  f.system.workingMode->setCurrentIndex(-1);
  Query(f.mapping.mappingQuery);
  EXPECT_EQ(f.mapping.enable->currentText(), QStringLiteral("Open"));
  EXPECT_EQ(f.mapping.deviceMode->currentText(), QStringLiteral("Master Device"));
  EXPECT_EQ(f.mapping.instrumentType->currentIndex(), 0);
  EXPECT_EQ(f.mapping.preambleLength->currentText(), QStringLiteral("7"));
  EXPECT_EQ(f.mapping.bufferClearTime->text(), QStringLiteral("020"));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(orderBoxes[i]->currentIndex(), orders[i]) << i;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(coefficientBoxes[i]->text(), coefficients[i]) << i;
  // A custom meter: its parsing group shows what was written.
  EXPECT_FALSE(f.parsing.group->isHidden());
  EXPECT_EQ(f.system.workingMode->currentIndex(), 1);
  EXPECT_EQ(f.parsing.addressBits->currentText(), QStringLiteral("3"));
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(commandBoxes[v]->currentIndex(), commands[v]) << v;
    EXPECT_EQ(startBoxes[v]->text(), starts[v]) << v;
    EXPECT_EQ(lengthBoxes[v]->currentIndex(), lengths[v]) << v;
  }
  EXPECT_EQ(f.parsing.readCommands[0].enable->currentIndex(), 1);
  EXPECT_EQ(f.parsing.readCommands[0].bytes->text(), QStringLiteral("01 AB 03"));
  EXPECT_EQ(f.parsing.readCommands[1].enable->currentIndex(), 0);
  EXPECT_EQ(f.parsing.readCommands[1].bytes->text(), QStringLiteral("FF"));

  // Another meter was not touched.
  f.mapping.meter->setCurrentIndex(3);
  Query(f.mapping.mappingQuery);
  EXPECT_EQ(f.mapping.bufferClearTime->text(), QStringLiteral("010"));
  EXPECT_EQ(f.mapping.coefficients[1]->text(), QStringLiteral("1.000"));

  Set(f.system.parameterReset);
  Query(f.system.systemQuery);
  EXPECT_EQ(f.system.rs485Baud->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(f.system.rs485Parity->currentText(), QStringLiteral("None"));
  EXPECT_EQ(f.system.workingMode->currentIndex(), 0);
  EXPECT_EQ(f.system.slaveAddress->text(), QStringLiteral("001"));
  EXPECT_EQ(f.system.pollingInterval->text(), QStringLiteral("050"));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('\n').toStdString();
  f.timeoutTimer.SetEnabled(false);
}

TEST_F(GatewaySimulatorTest, WholeConfigurationRoundTripsOverTcp) {
  RoundTrip(false);
}

TEST_F(GatewaySimulatorTest, WholeConfigurationRoundTripsOverTheSerialLine) {
  RoundTrip(true);
}

TEST_F(GatewaySimulatorTest, ChoosingAMeterWithThePortOpenAsksOverTheSerialLine) {
  OpenSerial();
  GatewayWindow& f = *form;
  Pick(f.system.linkChoice, 1);  // TCP chosen and not connected: the query still goes out
  ASSERT_TRUE(f.SerialOpen);
  f.mapping.coefficients[2]->setText("7.000");
  f.parsing.addressBits->setCurrentIndex(0);
  f.system.slaveAddress->setText("017");
  Idle();

  Pick(f.mapping.meter, 1);
  EXPECT_EQ(f.mapping.registerLabels[0]->text(), QStringLiteral("40011"));
  EXPECT_EQ(f.mapping.registerLabels[1]->text(), QStringLiteral("40013"));
  EXPECT_EQ(f.mapping.registerLabels[2]->text(), QStringLiteral("40015"));
  EXPECT_EQ(f.mapping.registerLabels[3]->text(), QStringLiteral("40017"));
  EXPECT_EQ(f.mapping.registerLabels[4]->text(), QStringLiteral("40019"));
  EXPECT_EQ(f.modbusTest.startAddress->text(), QStringLiteral("10"));
  EXPECT_EQ(f.modbusTest.length->text(), QStringLiteral("10"));
  EXPECT_EQ(f.shared.sendBuffer->text(), QStringLiteral("QQQ#QQ1#"));
  EXPECT_EQ(Staged(8), QByteArray("QQQ#QQ1#"));
  EXPECT_EQ(f.Cycle.Pending, PendingCode::kMeterMappingQuery);
  EXPECT_EQ(f.Cycle.Kind, RequestKind::kParameterQuery);
  EXPECT_TRUE(f.timeoutTimer.Enabled());
  EXPECT_EQ(f.timeoutTimer.Interval(), 3000);
  // The page starts afresh, the system tab's settings too.
  for (QComboBox* c : {f.mapping.enable, f.mapping.instrumentType, f.mapping.byteOrders[4],
                       f.parsing.rows[3].command, f.parsing.readCommands[1].enable,
                       f.system.workingMode, f.system.rs485Baud, f.system.rs485Parity})
    EXPECT_EQ(c->currentIndex(), -1) << c->objectName().toStdString();
  EXPECT_TRUE(f.system.slaveAddress->text().isEmpty());
  EXPECT_TRUE(f.modbusTest.slaveAddress->text().isEmpty());
  EXPECT_TRUE(f.parsing.group->isHidden());
  EXPECT_EQ(f.mapping.coefficients[2]->text(),
            QStringLiteral("7.000"));  // kept until the report comes
  EXPECT_EQ(f.parsing.addressBits->currentIndex(), 0);

  // The gateway's answer arrives on the serial line and is decoded.
  AwaitReport();
  EXPECT_EQ(f.mapping.enable->currentText(), QStringLiteral("Open"));
  EXPECT_EQ(f.mapping.instrumentType->currentIndex(), 0);
  EXPECT_EQ(f.mapping.bufferClearTime->text(), QStringLiteral("010"));
  EXPECT_EQ(f.mapping.coefficients[2]->text(), QStringLiteral("1.000"));
  EXPECT_FALSE(f.parsing.group->isHidden());
  EXPECT_EQ(f.parsing.addressBits->currentText(), QStringLiteral("8"));
  EXPECT_EQ(f.system.workingMode->currentIndex(), 0);
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('\n').toStdString();
  f.timeoutTimer.SetEnabled(false);
}

}  // namespace
}  // namespace kv770::ui
