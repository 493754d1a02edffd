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
#include "ui/form1.h"

namespace kv770::ui {

void TForm1::ComboBox2Change() {
  // Only enable states change: nothing is opened, closed or dropped.
  const bool tcp = ComboBox2->currentIndex() != 0;
  GroupBox1->setEnabled(!tcp);
  Button1->setEnabled(!tcp);
  GroupBox4->setEnabled(tcp);
  Button8->setEnabled(tcp);
  Button11->setEnabled(tcp);
  Button14->setEnabled(tcp);
}

void TForm1::Button8Click() {
  ClientSocket1.SetAddress(Edit2->text());
  // A port beyond 16 bits would silently reach another port.
  ClientSocket1.SetPort(cycle::StrToIntInRange(Edit34->text(), 0, 65535));
  if (!ClientSocket1.Active()) ClientSocket1.Open();
}

void TForm1::Button11Click() {
  if (ClientSocket1.Active()) ClientSocket1.Close();
  Label146->setText(QStringLiteral("disconnected state"));
}

void TForm1::ClientSocket1Connecting() {
  Label146->setText(QStringLiteral("connecting!"));
}

void TForm1::ClientSocket1Connect() {
  Label146->setText(QStringLiteral("connected"));
}

void TForm1::ClientSocket1Disconnect() {
  Label146->setText(QStringLiteral("already disconnected"));
  ClientSocket1.Close();
}

void TForm1::ClientSocket1Error(int errorCode) {
  // The code is left as it is, so the socket layer reports the error too.
  (void)errorCode;
  Label146->setText(QStringLiteral("connection failed"));
}

void TForm1::Button6Click() {
  const QByteArray request = QByteArray::fromStdString(gateway::CommunicationCheck());
  SendRequest(request, QString::fromLatin1(request), cycle::PendingCode::kCommunicationCheck,
              cycle::RequestKind::kConnection);
}

void TForm1::DecodeCommunicationCheck() {
  Cycle.Pending = cycle::PendingCode::kNone;
  Cycle.Kind = cycle::RequestKind::kNone;
  if (!gateway::AnswersCommunicationCheck(Cycle.ReplyText.toStdString())) return;
  for (QPushButton* button : {Button16, Button21, Button24, Button29, Button27, Button9, Button7,
                              Button10, Button17, Button18, Button12, Button31, Button23})
    button->setEnabled(true);
}

}  // namespace kv770::ui
