// The link choice, the TCP connection and its status texts, and the
// communication check that proves the gateway answers on the chosen link.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "cycle/convert.h"
#include "gateway/commands.h"
#include "link/errors.h"
#include "ui/gateway_window.h"

namespace kv770::ui {

void GatewayWindow::onLinkChosen() {
  // Only enable states change: nothing is opened, closed or dropped.
  const bool tcp = system.linkChoice->currentIndex() != 0;
  system.serialGroup->setEnabled(!tcp);
  system.openPort->setEnabled(!tcp);
  system.tcpGroup->setEnabled(tcp);
  system.tcpConnect->setEnabled(tcp);
  system.tcpDisconnect->setEnabled(tcp);
  system.makerProgram->setEnabled(tcp);
}

void GatewayWindow::onConnectClicked() {
  ClientSocket1.SetAddress(system.tcpAddress->text());
  // A port beyond 16 bits would silently reach another port.
  ClientSocket1.SetPort(cycle::StrToIntInRange(system.tcpPort->text(), 0, 65535));
  if (!ClientSocket1.Active()) ClientSocket1.Open();
}

void GatewayWindow::onDisconnectClicked() {
  if (ClientSocket1.Active()) ClientSocket1.Close();
  system.tcpStatus->setText(QStringLiteral("disconnected state"));
}

void GatewayWindow::onSocketConnecting() {
  system.tcpStatus->setText(QStringLiteral("connecting!"));
}

void GatewayWindow::onSocketConnected() {
  system.tcpStatus->setText(QStringLiteral("connected"));
}

void GatewayWindow::onSocketDisconnected() {
  system.tcpStatus->setText(QStringLiteral("already disconnected"));
  ClientSocket1.Close();
}

void GatewayWindow::onSocketError(int errorCode) {
  // The code is left as it is, so the socket layer reports the error too.
  (void)errorCode;
  system.tcpStatus->setText(QStringLiteral("connection failed"));
}

void GatewayWindow::onCommunicationQueryClicked() {
  const QByteArray request = QByteArray::fromStdString(gateway::CommunicationCheck());
  SendRequest(request, QString::fromLatin1(request), cycle::PendingCode::kCommunicationCheck,
              cycle::RequestKind::kConnection);
}

void GatewayWindow::DecodeCommunicationCheck() {
  Cycle.Pending = cycle::PendingCode::kNone;
  Cycle.Kind = cycle::RequestKind::kNone;
  if (!gateway::AnswersCommunicationCheck(Cycle.ReplyText.toStdString())) return;
  for (QPushButton* button :
       {hart.variablesQuery, mapping.byteOrdersSet, system.workingModeSet, system.slaveAddressSet,
        system.pollingIntervalSet, system.rs485Set, hart.identityQuery, mapping.setupSet,
        parsing.readCommands[0].set, parsing.readCommands[1].set, parsing.formatSet,
        mapping.mappingQuery, system.systemQuery})
    button->setEnabled(true);
}

}  // namespace kv770::ui
