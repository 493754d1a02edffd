#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "cycle/form_timer.h"
#include "cycle/request_cycle.h"
#include "cycle/waits.h"
#include "link/SerialComm.h"
#include "link/tcp_client.h"
#include "ui/controls.h"
#include "ui/message_sink.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace kv770::ui {

class ClickLabel;

// The tool's one window. Controls keep the names they bear in the window so
// that a handler reads like the gateway's operating instructions; design-time
// values are set where each tab is built (ui/*_tab.cpp), FormCreate then puts
// the window into its start-up state.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(MessageSink* sink = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

  MessageSink& Messages() { return *sink_; }
  void SetMessageSink(MessageSink* sink);

  // ---- title area --------------------------------------------------------
  QLabel* Image1 = nullptr;
  QLabel* Label41 = nullptr;
  QLabel* ContactLine1 = nullptr;
  QLabel* ContactLine2 = nullptr;
  QLabel* ContactLine3 = nullptr;
  ClickLabel* Label8 = nullptr;
  ClickLabel* Label16 = nullptr;

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet5 = nullptr;

  // ---- shared send / receive area ---------------------------------------
  QLabel* Label40 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QLabel* Label60 = nullptr;
  QPlainTextEdit* Memo10 = nullptr;
  QPushButton* Button26 = nullptr;

  // ---- "System Parameter" ------------------------------------------------
  SystemControls system;

  // ---- "Transparent Mode" ------------------------------------------------
  HartControls hart;

  // ---- "MODBUS Parameter Configuration" ----------------------------------
  MappingControls mapping;
  ParsingControls parsing;
  ModbusTestControls modbusTest;
  CalculatorControls calculator;

  // ---- "Wiring Diagram" --------------------------------------------------
  QLabel* Image2 = nullptr;

  // ---- non-visual parts --------------------------------------------------
  link::TComm Comm1;
  link::TClientSocket ClientSocket1;
  cycle::FormTimer Timer2;
  cycle::FormTimer Timer3;
  cycle::FormTimer Timer4;
  cycle::RequestCycle Cycle;  // Pending, Kind, ExchangeBuffer, ReplyText

  // ---- start-up and frame ------------------------------------------------
  void FormCreate();
  void PageControl1Change();

  // ---- request cycle -----------------------------------------------------
  // The common send step: clear both areas, show `shown`, route `bytes` by
  // the link choice, set code and kind, arm Timer3 (interval 0: keep).
  void SendRequest(const QByteArray& bytes, const QString& shown, cycle::PendingCode code,
                   cycle::RequestKind kind, int timer3Interval = cycle::kReplyTimeoutMs);
  // Step 4 of the send step alone: hand the bytes to the chosen link.
  void RouteToLink(const QByteArray& bytes);
  // Position of system.linkChoice, -1 when its text was typed over.
  int LinkIndex() const;
  void ClientSocket1Read();
  void ReceiveDispatch(int hexCount);
  void Timer2Timer();
  void Timer3Timer();
  void Button26Click();

  // ---- link --------------------------------------------------------------
  void onLinkChosen();
  void onConnectClicked();
  void onDisconnectClicked();
  void ClientSocket1Connecting();
  void ClientSocket1Connect();
  void ClientSocket1Disconnect();
  void ClientSocket1Error(int errorCode);

  // ---- communication check -----------------------------------------------
  void onCommunicationQueryClicked();
  void DecodeCommunicationCheck();

  // ---- serial link (serial_control.cpp) ----------------------------------
  bool SerialOpen = false;  // true from a successful "Open" until closed
  void onOpenPortClicked();
  void Timer4Timer();
  void Comm1ReceiveData(const char* buffer, std::uint16_t length);
  // system.serialPort's tooltip: the device its name leads to. Call again after
  // changing Comm1.Ports().
  void ShowSerialDevice();

  // ---- gateway configuration (gateway_settings.cpp) ----------------------
  void onRs485SetClicked();
  void onWorkingModeSetClicked();
  void onSlaveAddressSetClicked();
  void onSlaveAddressChanged();
  void onPollingIntervalSetClicked();
  void onParameterResetClicked();
  void Label8DblClick();
  void Label16DblClick();
  void onBoardSetClicked();
  void onMakerProgramClicked();
  void onSystemQueryClicked();
  void DecodeSystemReport();
  void onPollingSetupSetClicked();
  void onByteOrdersSetClicked();
  void onCoefficientsSetClicked();
  void onMeterChosen();
  void onMappingQueryClicked();
  void DecodeModbusReport();

  // ---- HART transparent access (hart_access.cpp) -------------------------
  // The instrument last identified; its long address reaches command 3.
  struct HartIdentityRecord {
    std::uint8_t manufacturer = 0;
    std::uint8_t deviceType = 0;
    std::uint8_t preambles = 0;
    std::uint32_t deviceId = 0;  // 24 bits
  } HartIdentity;
  int HartReplyLength = 0;  // length of the last reply a HART decoder saw
  void onHartAddressSetClicked();
  void onHartAddressChosen();
  void onIdentityQueryClicked();
  void DecodeHartIdentity();
  void onVariablesQueryClicked();
  void DecodeHartVariables();
  void onManualSendClicked();
  void onReadCommand1SetClicked();
  void onReadCommand2SetClicked();
  void onParsingFormatSetClicked();
  void onChannelTestClicked();
  void onInstrumentTypeChosen();
  // The HART frame step: preamble from hart.preambleLength, body, check byte; code `code`.
  void SendHartFrame(const std::vector<std::uint8_t>& body, cycle::PendingCode code);
  // The bytes the last receive put into the reply area (sets HartReplyLength).
  std::span<const std::uint8_t> HartReplyBytes();
  void SendReadMeterCommand(int command, const QLineEdit* bytes, const QComboBox* enable);

  // ---- MODBUS test and IEEE 754 calculator (modbus_tools.cpp) ------------
  void onModbusTestClicked();
  void onCalculateClicked();

  // Run a handler the way the window's message loop does: an exception it
  // raises is shown in a modal box and the loop goes on.
  void Run(const std::function<void()>& handler);

 private:
  void BuildTitleArea(QWidget* area);
  void BuildSharedArea(QWidget* area);
  void BuildSystemTab(QWidget* page);
  void BuildTransparentTab(QWidget* page);
  void BuildModbusTab(QWidget* page);
  void BuildWiringTab(QWidget* page);
  void ConnectHandlers();
  void ConnectSerialHandlers();
  void ConnectGatewayHandlers();
  void ConnectHartHandlers();
  void ConnectModbusToolHandlers();

 protected:
  // The coefficient boxes' key filter (gateway_settings.cpp).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  template <typename Signal, typename Sender>
  void On(Sender* sender, Signal signal, void (TForm1::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Run([this, handler] { (this->*handler)(); }); });
  }

  std::unique_ptr<MessageSink> ownedSink_;
  MessageSink* sink_ = nullptr;
};

}  // namespace kv770::ui
