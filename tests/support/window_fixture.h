#pragma once

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "ui/gateway_window.h"

namespace kv770::ui {

// What arrived at `peer` from `client` since the last look. A marker goes
// out on the same connection behind the window's bytes; TCP keeps the
// order, so everything before the marker is all the window sent, with no
// wait that guesses how long "nothing more" takes.
inline QByteArray SentSince(link::TClientSocket& client, QTcpSocket& peer) {
  static const QByteArray marker("<test marker>");
  client.SendText(marker);
  QByteArray got;
  const bool arrived = QTest::qWaitFor(
      [&] {
        got += peer.readAll();
        return got.endsWith(marker);
      },
      3000);
  EXPECT_TRUE(arrived) << got.toStdString();
  got.chop(marker.size());
  return got;
}

using cycle::PendingCode;
using cycle::RequestKind;

// A real window with a recording message sink, and the moves every window
// test makes: choosing a list entry as the user does, connecting over TCP.
class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override { form = std::make_unique<GatewayWindow>(&messages); }

  // Chooses an entry the way the user does, so `activated` handlers run.
  static void Pick(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  void ChooseLink(int index) { Pick(form->system.linkChoice, index); }

  // Chooses "IP Ethernet" and connects to 127.0.0.1:port.
  void ConnectTo(quint16 port) {
    ChooseLink(1);
    form->system.tcpAddress->setText(QStringLiteral("127.0.0.1"));
    form->system.tcpPort->setText(QString::number(port));
    form->system.tcpConnect->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ClientSocket1.Active(); }, 3000));
  }

  // The buttons a positive communication check enables.
  QList<QPushButton*> CheckedButtons() const {
    return {form->hart.variablesQuery,         form->mapping.byteOrdersSet,
            form->system.workingModeSet,       form->system.slaveAddressSet,
            form->system.pollingIntervalSet,   form->system.rs485Set,
            form->hart.identityQuery,          form->mapping.setupSet,
            form->parsing.readCommands[0].set, form->parsing.readCommands[1].set,
            form->parsing.formatSet,           form->mapping.mappingQuery,
            form->system.systemQuery};
  }

  RecordingMessageSink messages;
  std::unique_ptr<GatewayWindow> form;
};

}  // namespace kv770::ui
