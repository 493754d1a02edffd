// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port in a real window, reached as the user reaches it: the
// device typed into "Serial Port:", "Open" and "close", the line settings
// as the far end of a pseudo-terminal reads them, what goes out and comes
// back on the line, and the port list.
//
// A pty keeps the rate, the stop bits, PARODD and the input flags, but
// always reads 8 data bits and drops PARENB, so even parity looks like
// none; it has no DTR or RTS either, so the crossed "COM_RTS"/"COM_DTR"
// boxes cannot be seen from here.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "app/demo.h"
#include "sim/sim_thread.h"
#include "support/pty_peer.h"
#include "support/window_fixture.h"
#include "ui/widgets.h"

namespace kv770::ui {
namespace {

class SerialControl : public WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Ok());
    WindowFixture::SetUp();
  }
  bool Open() { return OpenSerial(peer.Path()); }
  QString PortButton() const { return Find<QPushButton>("Button1")->text(); }
  // The gateway's side sends `bytes`; true once the receive area shows
  // something new.
  bool Reply(const QByteArray& bytes) {
    const QString before = ReceiveArea();
    return peer.Write(bytes) && ReplyShown(before);
  }
  // Nothing reaches the line within `ms`.
  bool NothingOnTheLine(int ms = 300) { return peer.Read(1, ms).isEmpty(); }

  test::PtyPeer peer;
};

// ---- the line ---------------------------------------------------------------

struct LineCase {
  const char* name;
  const char* baud;    // typed into "Baud:"; nullptr: as the window starts
  const char* parity;  // chosen under "Parity:"
  speed_t speed;
  bool odd;
};

class SerialLine : public SerialControl, public ::testing::WithParamInterface<LineCase> {};

// Whatever the line was set to before, it is rebuilt from the window's
// choices: their rate and parity, one stop bit, no parity check, and no
// flow control of either kind.
TEST_P(SerialLine, TakesTheChosenRateAndParityAndNothingElse) {
  termios before = peer.Settings();
  cfsetispeed(&before, B300);
  cfsetospeed(&before, B300);
  before.c_cflag |= PARODD | CSTOPB | CRTSCTS;
  before.c_iflag |= IXON | IXOFF | INPCK;
  ASSERT_EQ(tcsetattr(peer.Slave(), TCSANOW, &before), 0);
  if (GetParam().baud) {
    Fill("ComboBox11", GetParam().baud);
    Fill("ComboBox10", GetParam().parity);
  }
  ASSERT_TRUE(Open()) << messages.shown.join('|').toStdString();
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();

  const termios t = peer.Settings();
  EXPECT_EQ(cfgetospeed(&t), GetParam().speed);
  EXPECT_EQ(cfgetispeed(&t), GetParam().speed);
  EXPECT_EQ((t.c_cflag & PARODD) != 0, GetParam().odd);
  EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), tcflag_t{0});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), tcflag_t{0});
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SerialLine,
    ::testing::Values(LineCase{"AsTheWindowStarts", nullptr, nullptr, B9600, false},
                      LineCase{"Odd19200", "19200", "Odd", B19200, true},
                      // A rate the list does not offer, typed.
                      LineCase{"Even115200", "115200", "Even", B115200, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Requests reach the line only while the port is open; "close" and "open"
// again as often as the user likes.
TEST_F(SerialControl, RequestsGoOutOnlyWhileThePortIsOpen) {
  Click("Button6");
  EXPECT_TRUE(NothingOnTheLine());
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Open()) << messages.shown.join('|').toStdString();
    Click("Button6");
    EXPECT_EQ(peer.Read(11), QByteArray("PPPPPP#VAR#"));
    Click("Button1");
    EXPECT_EQ(PortButton(), QStringLiteral("open"));
    Click("Button6");
    EXPECT_TRUE(NothingOnTheLine());
  }
}

TEST_F(SerialControl, FailuresAreShownAndLeaveThePortClosed) {
  Fill("ComboBox11", "96OO");
  EXPECT_FALSE(Open());
  EXPECT_EQ(messages.shown, QStringList({"'96OO' is not a valid integer value"}));
  EXPECT_EQ(PortButton(), QStringLiteral("Open"));

  messages.shown.clear();
  Fill("ComboBox11", "9600");
  EXPECT_FALSE(OpenSerial(QStringLiteral("/dev/kv770-no-such-port")));
  ASSERT_EQ(messages.shown.size(), 1);
  EXPECT_TRUE(messages.shown[0].startsWith("Error opening serial port\n/dev/kv770-no-such-port"))
      << messages.shown[0].toStdString();
  EXPECT_EQ(PortButton(), QStringLiteral("Open"));
  Click("Button6");
  EXPECT_TRUE(NothingOnTheLine());

  messages.shown.clear();
  EXPECT_TRUE(Open()) << messages.shown.join('|').toStdString();
}

// ---- the port list ---------------------------------------------------------------

TEST_F(SerialControl, TooltipNamesTheDeviceThePortLeadsTo) {
  QComboBox* ports = Combo("SPREALCOM");
  ports->setCurrentIndex(0);  // COM1
  EXPECT_TRUE(ports->toolTip().contains("/dev/ttyS0")) << ports->toolTip().toStdString();
  ports->setEditText(peer.Path());
  EXPECT_TRUE(ports->toolTip().contains(peer.Path())) << ports->toolTip().toStdString();
}

TEST_F(SerialControl, PortListAppendsTheDevicesPresentEachTimeItOpens) {
  auto* ports = dynamic_cast<SerialPortCombo*>(Combo("SPREALCOM"));
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

// ---- replies ---------------------------------------------------------------------

// A serial block's text is cut at 255 characters: a "QV:" beyond it does
// not pass the communication check. As digit pairs it is 255 of them, also
// for the longest block the reader makes.
TEST_F(SerialControl, LongBlocksShowTheirFirst255Bytes) {
  ASSERT_TRUE(Open());
  SetEnabled(CheckEnables(), false);
  Click("Button6");
  ASSERT_EQ(peer.Read(11), QByteArray("PPPPPP#VAR#"));
  QByteArray block(300, 'x');
  block.replace(280, 3, "QV:");
  for (int i = 0; i < block.size(); i += 37) block[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(Reply(block));
  EXPECT_EQ(ReceiveArea(), QString::fromLatin1(block.left(255)));
  EXPECT_FALSE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 800));

  Type("Edit10", "02 80 00 00");
  Click("Button20");
  EXPECT_FALSE(peer.Read(64, 300).isEmpty());
  ASSERT_TRUE(Reply(QByteArray(2048, '\x5A')));
  EXPECT_EQ(ReceiveArea(), QString("5A ").repeated(255));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

TEST_F(SerialControl, SerialRepliesAreShownWhicheverLinkIsChosen) {
  ASSERT_TRUE(Open());
  Choose("ComboBox2", 1);
  EXPECT_FALSE(Find("Button1")->isEnabled());
  EXPECT_EQ(PortButton(), QStringLiteral("close"));  // choosing TCP closes nothing
  ASSERT_TRUE(Reply("OK#"));
  EXPECT_EQ(ReceiveArea(), QStringLiteral("OK#"));
}

// ---- against the simulated gateway ----------------------------------------------

// The check passes on the serial line, and its answer ends its time-out.
TEST_F(SerialControl, CommunicationCheckOverTheSimulatorsSerialLine) {
  sim::SimThread gateway;
  ASSERT_TRUE(gateway.Start());
  const QString line = gateway.StartPty();
  ASSERT_FALSE(line.isEmpty());
  ASSERT_TRUE(OpenSerial(line)) << messages.shown.join('|').toStdString();
  SetEnabled(CheckEnables(), false);

  QElapsedTimer clock;
  clock.start();
  Click("Button6");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Find("Button23")->isEnabled(); }, 3000));
  EXPECT_TRUE(ReceiveArea().contains("QV:"));
  EXPECT_EQ(EnabledOf(CheckEnables()), CheckEnables());
  QTest::qWait(std::max(0, 3500 - static_cast<int>(clock.elapsed())));
  EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join('|').toStdString();
}

TEST_F(SerialControl, DemoModeAnswersOnComFour) {
  app::Demo demo;
  ASSERT_TRUE(demo.Start(*form));
  ASSERT_FALSE(demo.SerialPath().isEmpty());
  EXPECT_EQ(Shown("SPREALCOM"), QStringLiteral("COM4"));
  EXPECT_TRUE(Combo("SPREALCOM")->toolTip().contains(demo.SerialPath()));

  Click("Button1");
  ASSERT_EQ(PortButton(), QStringLiteral("close")) << messages.shown.join('|').toStdString();
  Click("Button6");
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea().contains("QV:"); }, 3000));
  // The system report comes back over the same line.
  Click("Button23");
  ASSERT_TRUE(QTest::qWaitFor([&] { return ReceiveArea().contains("QX"); }, 3000));
}

}  // namespace
}  // namespace kv770::ui
