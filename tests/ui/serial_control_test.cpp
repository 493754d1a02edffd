#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "app/demo.h"
#include "sim/sim_thread.h"
#include "support/pty_peer.h"
#include "support/window_fixture.h"
#include "ui/gateway_window.h"
#include "ui/widgets.h"

namespace kv770::ui {
namespace {

using link::TDtrControl;
using link::TParity;
using link::TRtsControl;
using test::PtyPeer;

class SerialControlTest : public WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok());
    WindowFixture::SetUp();
    // The window's own choice, COM4, leads to the test's line.
    form->Comm1.Ports().Set(4, peer.Path());
  }

  // Sends bytes from the gateway's side and waits until the window has
  // shown them.
  void Reply(const QByteArray& bytes) {
    form->shared.receiveBuffer->clear();
    ASSERT_TRUE(peer.Write(bytes));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !form->shared.receiveBuffer->toPlainText().isEmpty(); }, 3000));
  }

  PtyPeer peer;
};

TEST_F(SerialControlTest, Comm1StartsWithItsDesignTimeValues) {
  const link::TComm& c = form->Comm1;
  EXPECT_EQ(c.CommName(), QStringLiteral("COM2"));
  EXPECT_EQ(c.BaudRate(), 9600u);
  EXPECT_EQ(c.ByteSize(), link::TByteSize::_8);
  EXPECT_EQ(c.Parity(), TParity::None);
  EXPECT_EQ(c.StopBits(), link::TStopBits::_1);
  EXPECT_FALSE(c.ParityCheck() || c.Outx_CtsFlow() || c.Outx_DsrFlow() || c.DsrSensitivity());
  EXPECT_EQ(c.DtrControl(), TDtrControl::DtrEnable);
  EXPECT_EQ(c.RtsControl(), TRtsControl::RtsEnable);
  EXPECT_TRUE(c.TxContinueOnXoff());
  EXPECT_TRUE(c.Outx_XonXoffFlow());
  EXPECT_TRUE(c.Inx_XonXoffFlow());
  EXPECT_EQ(c.XonLimit(), 500);
  EXPECT_EQ(c.XoffLimit(), 500);
  EXPECT_EQ(c.XonChar(), 0x11);
  EXPECT_EQ(c.XoffChar(), 0x13);
  EXPECT_EQ(c.ReplacedChar(), 0);
  EXPECT_FALSE(c.ReplaceWhenParityError() || c.IgnoreNullChar());
  EXPECT_EQ(c.ReadIntervalTimeout(), 100u);
  EXPECT_EQ(c.ReadTotalTimeoutMultiplier() + c.ReadTotalTimeoutConstant() +
                c.WriteTotalTimeoutMultiplier() + c.WriteTotalTimeoutConstant(),
            0u);
  EXPECT_FALSE(c.IsOpen());
  EXPECT_FALSE(form->SerialOpen);
}

TEST_F(SerialControlTest, OpenThenCloseWithTheCaptionsOfEach) {
  form->system.serialBaud->setEditText(QStringLiteral("19200"));
  form->system.serialParity->setCurrentIndex(2);
  form->system.openPort->click();
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
  EXPECT_TRUE(form->SerialOpen);
  EXPECT_TRUE(form->Comm1.IsOpen());
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("close"));
  EXPECT_EQ(form->Comm1.CommName(), QStringLiteral("COM4"));  // passed on as shown
  EXPECT_EQ(form->Comm1.BaudRate(), 19200u);
  EXPECT_EQ(form->Comm1.Parity(), TParity::Even);
  EXPECT_FALSE(form->Comm1.Outx_XonXoffFlow());
  EXPECT_FALSE(form->Comm1.Inx_XonXoffFlow());
  const termios t = peer.Settings();
  EXPECT_EQ(cfgetospeed(&t), speed_t{B19200});
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

  form->system.openPort->click();
  EXPECT_FALSE(form->SerialOpen);
  EXPECT_FALSE(form->Comm1.IsOpen());
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("open"));

  form->system.openPort->click();
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("close"));
  EXPECT_TRUE(form->Comm1.IsOpen());
}

TEST_F(SerialControlTest, CheckBoxesGovernTheCrossedLines) {
  // "COM_RTS" drives DTR, "COM_DTR" drives RTS.
  form->system.comRts->setChecked(true);
  form->system.comDtr->setChecked(false);
  form->system.openPort->click();
  ASSERT_TRUE(form->Comm1.IsOpen());
  EXPECT_EQ(form->Comm1.DtrControl(), TDtrControl::DtrEnable);
  EXPECT_EQ(form->Comm1.RtsControl(), TRtsControl::RtsDisable);

  // Read only when opening.
  form->system.comDtr->setChecked(true);
  EXPECT_EQ(form->Comm1.RtsControl(), TRtsControl::RtsDisable);

  form->system.openPort->click();
  form->system.comRts->setChecked(false);
  form->system.openPort->click();
  EXPECT_EQ(form->Comm1.DtrControl(), TDtrControl::DtrDisable);
  EXPECT_EQ(form->Comm1.RtsControl(), TRtsControl::RtsEnable);
}

TEST_F(SerialControlTest, FailuresAreShownAndLeaveThePortClosed) {
  form->system.serialBaud->setEditText(QStringLiteral("96OO"));
  form->system.openPort->click();
  EXPECT_EQ(messages.shown, QStringList({"'96OO' is not a valid integer value"}));
  EXPECT_FALSE(form->SerialOpen);
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("Open"));

  messages.shown.clear();
  form->system.serialBaud->setEditText(QStringLiteral("9600"));
  form->Comm1.Ports().Set(10, QStringLiteral("/dev/kv770-no-such-port"));
  form->system.serialPort->setCurrentIndex(9);
  EXPECT_EQ(form->system.serialPort->currentText(), QStringLiteral("COM10"));
  form->system.openPort->click();
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith("Error opening serial port\n/dev/kv770-no-such-port"));
  EXPECT_FALSE(form->SerialOpen);
  EXPECT_FALSE(form->Comm1.IsOpen());
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("Open"));
}

TEST_F(SerialControlTest, TypedDeviceAndTheTooltipThatNamesIt) {
  form->ShowSerialDevice();
  EXPECT_TRUE(form->system.serialPort->isEditable());
  EXPECT_TRUE(form->system.serialPort->toolTip().contains(peer.Path()));
  form->system.serialPort->setCurrentIndex(0);
  EXPECT_TRUE(form->system.serialPort->toolTip().contains("/dev/ttyS0"));

  form->system.serialPort->setEditText(peer.Path());
  EXPECT_TRUE(form->system.serialPort->toolTip().contains(peer.Path()));
  form->system.openPort->click();
  EXPECT_TRUE(form->Comm1.IsOpen()) << messages.shown.join('|').toStdString();
  EXPECT_EQ(form->Comm1.CommName(), peer.Path());
}

TEST_F(SerialControlTest, PortListAppendsTheDevicesPresentEachTimeItOpens) {
  auto* ports = dynamic_cast<SerialPortCombo*>(form->system.serialPort);
  ASSERT_NE(ports, nullptr);
  QList<link::SerialDevice> present = {{"/dev/ttyUSB0", "FTDI FT232R"}, {"/dev/ttyACM1", ""}};
  ports->SetDeviceSource([&] { return present; });

  ports->showPopup();
  ports->hidePopup();
  ASSERT_EQ(ports->count(), 14);
  EXPECT_EQ(ports->itemText(11), QStringLiteral("COM12"));
  EXPECT_EQ(ports->itemText(12), QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(ports->itemData(12, Qt::ToolTipRole).toString(), QStringLiteral("FTDI FT232R"));
  EXPECT_EQ(ports->itemText(13), QStringLiteral("/dev/ttyACM1"));
  EXPECT_EQ(ports->currentText(), QStringLiteral("COM4"));

  ports->setCurrentIndex(12);
  present = {{"/dev/ttyACM1", ""}};  // the FTDI adapter pulled out
  ports->showPopup();
  ports->hidePopup();
  ASSERT_EQ(ports->count(), 13);
  EXPECT_EQ(ports->itemText(12), QStringLiteral("/dev/ttyACM1"));
  EXPECT_EQ(ports->currentText(), QStringLiteral("/dev/ttyUSB0"));  // what the box read stays
}

TEST_F(SerialControlTest, Timer4ClosesThePortAndOpenWorksAgain) {
  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen);
  form->rs485CloseTimer.SetInterval(50);
  form->rs485CloseTimer.SetEnabled(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SerialOpen; }, 2000));
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("open serial"));
  EXPECT_FALSE(form->Comm1.IsOpen());
  EXPECT_FALSE(form->rs485CloseTimer.Enabled());

  form->system.openPort->click();
  EXPECT_TRUE(form->SerialOpen);
  EXPECT_EQ(form->system.openPort->text(), QStringLiteral("close"));
}

TEST_F(SerialControlTest, RequestsGoOutOnTheOpenPort) {
  form->system.communicationQuery->click();  // closed: nothing is sent
  form->timeoutTimer.SetEnabled(false);
  form->system.openPort->click();
  form->system.communicationQuery->click();
  EXPECT_EQ(peer.Read(11), QByteArray("PPPPPP#VAR#"));
  form->timeoutTimer.SetEnabled(false);
}

TEST_F(SerialControlTest, LongBlockCapsTheTextButFillsTheReplyArea) {
  form->system.openPort->click();
  for (QPushButton* b : CheckedButtons()) b->setEnabled(false);
  form->Cycle.Arm(PendingCode::kCommunicationCheck, RequestKind::kConnection);
  QByteArray block(300, 'x');
  block.replace(280, 3, "QV:");
  for (int i = 0; i < block.size(); i += 37) block[i] = static_cast<char>('a' + i % 26);
  Reply(block);
  EXPECT_EQ(form->Cycle.ReplyText, block.left(255));
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QString::fromLatin1(block.left(255)));
  for (int i = 0; i < block.size(); ++i)
    ASSERT_EQ(form->Cycle.ReplyByte(i), static_cast<std::uint8_t>(block[i])) << i;
  // The "QV:" beyond the text is not seen.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Cycle.Pending == PendingCode::kNone; }, 2000));
  EXPECT_FALSE(form->system.systemQuery->isEnabled());

  // As hex: 255 pairs. A block as long as the reader makes stays within
  // the reply area.
  form->Cycle.Arm(PendingCode::kHartManualCommand, RequestKind::kConnection);
  QByteArray full(2048, '\x5A');
  full[403] = '\x01';
  full[404] = '\x02';
  Reply(full);
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText().size(), 255 * 3);
  EXPECT_EQ(form->Cycle.ReplyByte(403), 0x01);
  EXPECT_EQ(form->Cycle.ReplyText.size(), 255);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(SerialControlTest, SerialRepliesAreShownWhicheverLinkIsChosen) {
  form->system.openPort->click();
  form->system.linkChoice->setCurrentIndex(1);
  emit form->system.linkChoice->activated(1);
  EXPECT_FALSE(form->system.openPort->isEnabled());
  EXPECT_TRUE(form->Comm1.IsOpen());  // choosing TCP closes nothing
  form->Cycle.Arm(PendingCode::kGatewaySetting, RequestKind::kSetting);
  Reply("OK#");
  EXPECT_EQ(form->shared.receiveBuffer->toPlainText(), QStringLiteral("OK#"));
  EXPECT_EQ(form->Cycle.Pending, PendingCode::kNone);
}

TEST_F(SerialControlTest, CommunicationCheckOverTheSimulatorsSerialLine) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  const QString line = gateway.StartPty();
  ASSERT_FALSE(line.isEmpty());
  form->Comm1.Ports().Set(4, line);
  for (QPushButton* b : CheckedButtons()) b->setEnabled(false);

  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen) << messages.shown.join('|').toStdString();
  form->system.communicationQuery->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->system.systemQuery->isEnabled(); }, 3000));
  EXPECT_TRUE(form->shared.receiveBuffer->toPlainText().contains("QV:"));
  for (QPushButton* b : CheckedButtons()) EXPECT_TRUE(b->isEnabled());
  EXPECT_FALSE(form->timeoutTimer.Enabled());
  QTest::qWait(100);
  EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(SerialControlTest, DemoModeAnswersOnComFour) {
  app::Demo demo;
  ASSERT_TRUE(demo.Start(*form));
  ASSERT_FALSE(demo.SerialPath().isEmpty());
  EXPECT_EQ(form->system.serialPort->currentText(), QStringLiteral("COM4"));
  EXPECT_TRUE(form->system.serialPort->toolTip().contains(demo.SerialPath()));

  form->system.openPort->click();
  ASSERT_TRUE(form->SerialOpen) << messages.shown.join('|').toStdString();
  form->system.communicationQuery->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return form->shared.receiveBuffer->toPlainText().contains("QV:"); }, 3000));
  // The system report comes back over the same line.
  form->system.systemQuery->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return form->shared.receiveBuffer->toPlainText().contains("QX"); }, 3000));
  form->system.openPort->click();
  EXPECT_FALSE(form->Comm1.IsOpen());
}

}  // namespace
}  // namespace kv770::ui
