#pragma once

#include <QByteArray>
#include <QRect>
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

namespace kv770::ui {

// The tool's one window (object name "Form1"). Its controls sit in one
// struct per tab, named by what each control is; each keeps its form name as
// objectName (docs/controls.md). Design-time values are set where each tab
// is built (ui/*_tab.cpp); StartUp then puts the window into its start-up
// state.
class LiveTab;

class GatewayWindow : public QWidget {
  Q_OBJECT

 public:
  explicit GatewayWindow(MessageSink* sink = nullptr, QWidget* parent = nullptr);
  ~GatewayWindow() override;

  // Where and how large the window opens when the screen has room for it.
  static constexpr QRect kDesignedGeometry{94, 171, 1049, 677};
  // Moves and, if need be, shrinks the window into `available` (a screen's
  // free area); the pages scroll when the window is smaller than they are.
  void FitTo(const QRect& available);

  MessageSink& Messages() { return *sink_; }
  void SetMessageSink(MessageSink* sink);

  FrameControls frame;      // title line, tabs, wiring picture
  SharedControls shared;    // send and receive buffers
  SystemControls system;    // "System Parameter"
  HartControls hart;        // "Transparent Mode"
  MappingControls mapping;  // "MODBUS Parameter Configuration"
  ParsingControls parsing;
  ModbusTestControls modbusTest;
  CalculatorControls calculator;
  LiveControls live;  // "Live Values"

  // ---- non-visual parts --------------------------------------------------
  link::TComm Comm1;
  link::TClientSocket ClientSocket1;
  cycle::FormTimer parseTimer;       // runs the decoder once the parse delay has passed
  cycle::FormTimer timeoutTimer;     // reports a request that got no answer
  cycle::FormTimer rs485CloseTimer;  // closes the serial port after an RS-485 setting
  cycle::RequestCycle Cycle;         // Pending, Kind, ExchangeBuffer, ReplyText

  // ---- live values (live_tab.cpp) ----------------------------------------
  LiveTab& Live() { return *liveTab_; }
  // While Live Values runs it owns the link: every other sender is refused
  // here (an Error the handler's message box shows) before it changes
  // anything.
  void RefuseWhileLive() const;

  // ---- start-up and frame ------------------------------------------------
  void StartUp();
  void onPageChanged();

  // ---- request cycle -----------------------------------------------------
  // The common send step: clear both areas, show `shown`, route `bytes` by
  // the link choice, set code and kind, arm timeoutTimer (interval 0: keep).
  void SendRequest(const QByteArray& bytes, const QString& shown, cycle::PendingCode code,
                   cycle::RequestKind kind, int timeoutInterval = cycle::kReplyTimeoutMs);
  // Step 4 of the send step alone: hand the bytes to the chosen link.
  void RouteToLink(const QByteArray& bytes);
  // Position of system.linkChoice, -1 when its text was typed over.
  int LinkIndex() const;
  void onSocketRead();
  void ReceiveDispatch(int hexCount);
  void onParseTimer();
  void onTimeoutTimer();
  void onClearReceiveClicked();

  // ---- link --------------------------------------------------------------
  void onLinkChosen();
  void onConnectClicked();
  void onDisconnectClicked();
  void onSocketConnecting();
  void onSocketConnected();
  void onSocketDisconnected();
  void onSocketError(int errorCode);

  // ---- communication check -----------------------------------------------
  void onCommunicationQueryClicked();
  void DecodeCommunicationCheck();

  // ---- serial link (serial_control.cpp) ----------------------------------
  bool SerialOpen = false;  // true from a successful "Open" until closed
  void onOpenPortClicked();
  void onRs485CloseTimer();
  void onSerialReceived(const char* buffer, std::uint16_t length);
  void onSerialHangup();
  // The device whose disappearance was told, so it is told once.
  QString goneDevice_;
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
  void onServiceArea0DoubleClicked();
  void onServiceArea1DoubleClicked();
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
  void BuildLiveTab(QWidget* page);
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
  void On(Sender* sender, Signal signal, void (GatewayWindow::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Run([this, handler] { (this->*handler)(); }); });
  }

  std::unique_ptr<MessageSink> ownedSink_;
  MessageSink* sink_ = nullptr;
  std::unique_ptr<LiveTab> liveTab_;
};

}  // namespace kv770::ui
