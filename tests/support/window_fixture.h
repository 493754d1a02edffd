// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "app/window.h"
#include "ui/message_sink.h"

namespace kv770::ui {

// A real window with a recording message sink, and the moves every window
// test makes: choosing a list entry as the user does, connecting over TCP.
class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override { form = app::MakeWindow(&messages); }

  // ---- the window from outside: controls by form name (docs/controls.md),
  // the message sink and the link's peer ----------------------------------

  // The control named `name`; the test fails when there is none of that type.
  template <typename T = QWidget>
  T* Find(const QString& name) const {
    T* found = form->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << "no control " << name.toStdString();
    return found;
  }
  QLineEdit* Edit(const QString& name) const { return Find<QLineEdit>(name); }
  QComboBox* Combo(const QString& name) const { return Find<QComboBox>(name); }
  void Click(const QString& name) const { Find<QPushButton>(name)->click(); }
  void Type(const QString& name, const QString& text) const { Edit(name)->setText(text); }
  // Chooses entry `index` as the user does, so `activated` handlers run.
  void Choose(const QString& name, int index) const {
    QComboBox* combo = Combo(name);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  // What a list, an edit or a label shows: the chosen entry or the text.
  QString Shown(const QString& name) const {
    QWidget* control = Find(name);
    if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    ADD_FAILURE() << name.toStdString() << " shows no text";
    return {};
  }
  // Whether a list entry reads `value`, or begins with it and a blank
  // ("1" for "1 open"); "" is no entry at all.
  static bool Reads(const QString& entry, const QString& value) {
    return entry == value || (!value.isEmpty() && entry.startsWith(value + QLatin1Char(' ')));
  }
  // Types `value` into an edit, or chooses the list entry that Reads it as
  // the user does ("" chooses none); an editable list without such an
  // entry gets `value` typed over it.
  void Fill(const QString& name, const QString& value) const {
    QComboBox* combo = qobject_cast<QComboBox*>(Find(name));
    if (!combo) return Type(name, value);
    int index = -1;
    for (int i = 0; i < combo->count() && !value.isEmpty() && index < 0; ++i)
      if (Reads(combo->itemText(i), value)) index = i;
    if (index < 0 && !value.isEmpty() && combo->isEditable()) return combo->setEditText(value);
    EXPECT_TRUE(value.isEmpty() || index >= 0)
        << name.toStdString() << " has no " << value.toStdString();
    Choose(name, index);
  }
  void DoubleClick(const QString& name) const { QTest::mouseDClick(Find(name), Qt::LeftButton); }
  // "Send Buffer:" and "Receive Buffer:".
  QString SendArea() const { return Edit(QStringLiteral("Edit8"))->text(); }
  QString ReceiveArea() const {
    return Find<QPlainTextEdit>(QStringLiteral("Memo10"))->toPlainText();
  }
  // Waits until the receive area shows something other than `before`.
  bool ReplyShown(const QString& before = {}, int ms = 3000) const {
    return QTest::qWaitFor([&] { return ReceiveArea() != before && !ReceiveArea().isEmpty(); }, ms);
  }

  // "IP Ethernet", 127.0.0.1 and the server's port, "Connect": the
  // connection the server accepted, or null.
  std::unique_ptr<QTcpSocket> ConnectPeer(QTcpServer& server) {
    if (!ConnectPort(server.serverPort()) ||
        !QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000))
      return nullptr;
    return std::unique_ptr<QTcpSocket>(server.nextPendingConnection());
  }
  // The same to a gateway that serves itself (the simulator).
  bool ConnectPort(quint16 port) {
    Choose(QStringLiteral("ComboBox2"), 1);
    Type(QStringLiteral("Edit2"), QStringLiteral("127.0.0.1"));
    Type(QStringLiteral("Edit34"), QString::number(port));
    Click(QStringLiteral("Button8"));
    return Connected();
  }
  // The window heard of its connection: its status line says so.
  bool Connected() const {
    return QTest::qWaitFor(
        [&] {
          return Find<QLabel>(QStringLiteral("Label146"))->text() == QLatin1String("connected");
        },
        3000);
  }

  // "Serial Port:" typed as the device path, then "Open"; true once the
  // button offers to close it again.
  bool OpenSerial(const QString& path) {
    QComboBox* port = Combo(QStringLiteral("SPREALCOM"));
    port->setEditText(path);
    Click(QStringLiteral("Button1"));
    return Find<QPushButton>(QStringLiteral("Button1"))->text() == QLatin1String("close");
  }

  // What the window sent to `peer` since the last look, over TCP. A MODBUS
  // test ("MODBUS Comm Test") of slave 247 goes out behind it as a marker,
  // and TCP keeps the order: everything before the marker is what the
  // window sent, with no wait that guesses how long "nothing more" takes.
  // The marker leaves its request pending and its frame in "Send Buffer:",
  // so look last.
  QByteArray WindowSent(QTcpSocket& peer) {
    static const QByteArray marker = QByteArray::fromHex("000100000006F7030000000A");
    for (const auto& [name, text] : {std::pair{"Edit18", "247"}, {"Edit19", "0"}, {"Edit20", "10"}})
      Type(QLatin1String(name), QLatin1String(text));
    Click(QStringLiteral("Button4"));
    QByteArray got;
    const bool arrived = QTest::qWaitFor(
        [&] {
          got += peer.readAll();
          return got.endsWith(marker);
        },
        3000);
    EXPECT_TRUE(arrived) << got.toHex(' ').toStdString();
    got.chop(marker.size());
    return got;
  }

  // The "Set" and query buttons a positive communication check enables,
  // "HART Command Query" to "System Parameters".
  static QStringList CheckEnables() {
    return {"Button16", "Button21", "Button24", "Button29", "Button27", "Button9", "Button7",
            "Button10", "Button17", "Button18", "Button12", "Button31", "Button23"};
  }
  // Those of the controls `names` that are enabled.
  QStringList EnabledOf(const QStringList& names) const {
    QStringList enabled;
    for (const QString& name : names)
      if (Find(name)->isEnabled()) enabled << name;
    return enabled;
  }
  void SetEnabled(const QStringList& names, bool enabled) const {
    for (const QString& name : names) Find(name)->setEnabled(enabled);
  }

  RecordingMessageSink messages;
  std::unique_ptr<QWidget> form;
};

}  // namespace kv770::ui
