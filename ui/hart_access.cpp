// HART through the gateway: its HART settings, the identity and
// dynamic-variable queries, typed commands and the custom-meter parsing.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <span>

#include "cycle/convert.h"
#include "gateway/commands.h"
#include "gateway/fields.h"
#include "gateway/hex_bytes.h"
#include "hart/frame.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "tools/float_text.h"
#include "tools/register_values.h"
#include "ui/gateway_window.h"
#include "ui/widgets.h"

namespace kv770::ui {

namespace {

QByteArray Bytes(const std::string& command) {
  return QByteArray::fromStdString(command);
}

QByteArray Bytes(const hart::Bytes& frame) {
  return QByteArray(reinterpret_cast<const char*>(frame.data()),
                    static_cast<qsizetype>(frame.size()));
}

// Typed byte lists are read one character per byte; a character beyond
// Latin-1 becomes '?', which is no digit either.
std::string TypedText(const QLineEdit* edit) {
  return edit->text().toLatin1().toStdString();
}

void Clear(std::initializer_list<QLineEdit*> edits) {
  for (QLineEdit* e : edits) e->clear();
}

hart::Identity ToHart(const GatewayWindow::HartIdentityRecord& r) {
  return {.manufacturer = r.manufacturer,
          .deviceType = r.deviceType,
          .preambles = r.preambles,
          .deviceId = r.deviceId};
}

}  // namespace

void GatewayWindow::ConnectHartHandlers() {
  On(hart.addressSet, &QPushButton::clicked, &GatewayWindow::onHartAddressSetClicked);
  On(hart.hartAddress, &QComboBox::activated, &GatewayWindow::onHartAddressChosen);
  On(hart.identityQuery, &QPushButton::clicked, &GatewayWindow::onIdentityQueryClicked);
  On(hart.variablesQuery, &QPushButton::clicked, &GatewayWindow::onVariablesQueryClicked);
  On(hart.manualSend, &QPushButton::clicked, &GatewayWindow::onManualSendClicked);
  On(parsing.readCommands[0].set, &QPushButton::clicked, &GatewayWindow::onReadCommand1SetClicked);
  On(parsing.readCommands[1].set, &QPushButton::clicked, &GatewayWindow::onReadCommand2SetClicked);
  On(parsing.formatSet, &QPushButton::clicked, &GatewayWindow::onParsingFormatSetClicked);
  On(mapping.channelTest, &QPushButton::clicked, &GatewayWindow::onChannelTestClicked);
  On(mapping.instrumentType, &QComboBox::activated, &GatewayWindow::onInstrumentTypeChosen);
}

// ---- the frame step ----------------------------------------------------------

// Preamble, body and check byte into the request area, shown as digit
// pairs and sent; timeoutTimer keeps its interval. A preamble number that would
// not leave room for the longest frame is refused before anything is built.
void GatewayWindow::SendHartFrame(const hart::Bytes& body, cycle::PendingCode code) {
  const int n = cycle::StrToIntInRange(hart.preambleLength->text(), hart::kMinPreambleNumber,
                                       hart::kMaxPreambleNumber);
  const QByteArray frame = Cycle.Stage(Bytes(hart::Frame(n, body)));
  SendRequest(frame, QString::fromStdString(base::HexText(frame, cycle::kAreaHex)), code,
              cycle::RequestKind::kSetting, 0);
}

// The bytes the last receive put into the reply area; what lies beyond
// them is left over from earlier replies.
std::span<const std::uint8_t> GatewayWindow::HartReplyBytes() {
  HartReplyLength = static_cast<int>(Cycle.ReplyText.size());
  const int received = std::min(HartReplyLength, cycle::RequestCycle::kReplyAreaSize);
  return std::span(Cycle.ExchangeBuffer).subspan(cycle::RequestCycle::kReplyArea, received);
}

// ---- top row -----------------------------------------------------------------

void GatewayWindow::onHartAddressSetClicked() {
  const QByteArray bytes =
      Cycle.Stage(Bytes(gateway::HartAddressCommand(hart.hartAddress->currentIndex())));
  SendRequest(bytes, QString::fromLatin1(bytes), cycle::PendingCode::kGatewaySetting,
              cycle::RequestKind::kSetting);
}

void GatewayWindow::onHartAddressChosen() {
  mapping.meter->setCurrentIndex(hart.hartAddress->currentIndex());
  const int k = mapping.meter->currentIndex();
  if (k < 0 || k > 7) return;
  for (int r = 0; r < 5; ++r)
    mapping.registerLabels[r]->setText(
        QString::number(tools::kFirstHoldingRegister + tools::FirstRegister(k + 1, r)));
}

// ---- identity ----------------------------------------------------------------

void GatewayWindow::onIdentityQueryClicked() {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  Clear({hart.manufacturerId, hart.sensorType, hart.preambleCount, hart.sensorSerial});
  SendHartFrame(hart::IdentityRequestBody(hart::MasterBit(hart.commandMode->currentIndex())),
                cycle::PendingCode::kHartIdentityQuery);
}

void GatewayWindow::DecodeHartIdentity() {
  Cycle.Pending = cycle::PendingCode::kNone;
  timeoutTimer.SetEnabled(false);
  const std::optional<hart::Identity> id = hart::DecodeIdentity(HartReplyBytes());
  if (!id) {
    Clear({hart.manufacturerId, hart.sensorType, hart.preambleCount, hart.sensorSerial});
    return;
  }
  HartIdentity = {.manufacturer = id->manufacturer,
                  .deviceType = id->deviceType,
                  .preambles = id->preambles,
                  .deviceId = id->deviceId};
  hart.manufacturerId->setText(QString::number(id->manufacturer));
  hart.sensorType->setText(QString::number(id->deviceType));
  hart.preambleCount->setText(QString::number(id->preambles));
  hart.sensorSerial->setText(QString::number(id->deviceId));
}

// ---- dynamic variables -------------------------------------------------------

void GatewayWindow::onVariablesQueryClicked() {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  for (const HartControls::Variable& v : hart.variables) v.value->clear();
  SendHartFrame(hart::VariablesRequestBody(hart::MasterBit(hart.commandMode->currentIndex()),
                                           ToHart(HartIdentity)),
                cycle::PendingCode::kHartVariablesQuery);
}

void GatewayWindow::DecodeHartVariables() {
  Cycle.Pending = cycle::PendingCode::kNone;
  timeoutTimer.SetEnabled(false);
  const std::vector<hart::DynamicVariable> variables =
      hart::DecodeDynamicVariables(HartReplyBytes());
  const char separator = DecimalSeparator();
  for (std::size_t k = 0; k < variables.size() && k < hart.variables.size(); ++k) {
    const HartControls::Variable& shown = hart.variables[k];
    shown.value->setText(
        QString::fromStdString(tools::HartValueText(variables[k].value, separator)));
    shown.unit->setCurrentIndex(hart::UnitPosition(variables[k].unitCode));
  }
}

// ---- manual command ----------------------------------------------------------

void GatewayWindow::onManualSendClicked() {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  const gateway::HexBytes typed =
      gateway::ParseHexBytes(TypedText(hart.manualCommand), gateway::kManualCommandLimit);
  if (!typed.ok()) {
    Messages().Show(QString::fromLatin1(typed.error));
    return;
  }
  SendHartFrame(typed.bytes, cycle::PendingCode::kHartManualCommand);
}

// ---- custom meter ------------------------------------------------------------

void GatewayWindow::SendReadMeterCommand(int command, const QLineEdit* bytes,
                                         const QComboBox* enable) {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  const gateway::HexBytes typed =
      gateway::ParseHexBytes(TypedText(bytes), gateway::kReadMeterCommandLimit);
  if (!typed.ok()) {
    Messages().Show(QString::fromLatin1(typed.error));
    return;
  }
  const QByteArray staged = Cycle.Stage(Bytes(gateway::ReadMeterCommand(
      mapping.meter->currentIndex(), command, enable->currentIndex(), typed.bytes)));
  // The command carries raw bytes, so it is shown as digit pairs throughout.
  SendRequest(staged, QString::fromStdString(base::HexText(staged, cycle::kAreaHex)),
              cycle::PendingCode::kGatewaySetting, cycle::RequestKind::kSetting);
}

void GatewayWindow::onReadCommand1SetClicked() {
  SendReadMeterCommand(1, parsing.readCommands[0].bytes, parsing.readCommands[0].enable);
}

void GatewayWindow::onReadCommand2SetClicked() {
  SendReadMeterCommand(2, parsing.readCommands[1].bytes, parsing.readCommands[1].enable);
}

void GatewayWindow::onParsingFormatSetClicked() {
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  std::array<gateway::ParsingFormatVariable, 4> variables;
  for (std::size_t v = 0; v < variables.size(); ++v) {
    const ParsingControls::Row& row = parsing.rows[v];
    variables[v].commandPosition = row.command->currentIndex();
    // Two digits carry 0 to 99; a larger start would put another character
    // into the command.
    variables[v].start = cycle::StrToIntInRange(row.start->text(), 0, gateway::kTwoDigitMax);
    variables[v].lengthPosition = row.length->currentIndex();
  }
  const QByteArray bytes = Cycle.Stage(Bytes(gateway::ParsingFormatCommand(
      mapping.meter->currentIndex(), parsing.addressBits->currentIndex(), variables)));
  SendRequest(bytes, QString::fromLatin1(bytes), cycle::PendingCode::kGatewaySetting,
              cycle::RequestKind::kSetting);
}

void GatewayWindow::onChannelTestClicked() {
  const QByteArray bytes =
      Cycle.Stage(Bytes(gateway::ChannelTestCommand(mapping.meter->currentIndex())));
  SendRequest(bytes, QString::fromLatin1(bytes), cycle::PendingCode::kGatewaySetting,
              cycle::RequestKind::kSetting);
}

void GatewayWindow::onInstrumentTypeChosen() {
  if (mapping.instrumentType->currentIndex() != 0) {
    parsing.group->hide();
    return;
  }
  parsing.group->show();
  for (const ParsingControls::ReadCommand& command : parsing.readCommands) command.bytes->clear();
  for (const ParsingControls::Row& row : parsing.rows) row.start->clear();
  for (const ParsingControls::Row& row : parsing.rows) row.command->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing.rows) row.length->setCurrentIndex(-1);
  for (const ParsingControls::ReadCommand& command : parsing.readCommands)
    command.enable->setCurrentIndex(-1);
  parsing.addressBits->setCurrentIndex(-1);
}

}  // namespace kv770::ui
