// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "base/waits.h"
#include "cycle/form_timer.h"
#include "cycle/request_cycle.h"
#include "link/SerialComm.h"
#include "link/tcp_client.h"
#include "link/trace.h"
#include "ui/controls.h"
#include "ui/message_sink.h"
#include "ui/tab.h"

namespace kv770::ui {

class ConfigDialog;
class Exchanger;
class LiveTab;
class ModbusTab;
class StatusLine;
class SystemTab;
class TrafficPane;
class TransparentTab;

// The tool's one window (object name "Form1"): the title line, the five
// tabs, and the send and receive areas below them. It owns the link (the
// serial port and the TCP socket), the request cycle and its timers; the
// tabs send through it (Requests) and it hands each reply to the tab that
// waits for it. Every control keeps its form name as objectName
// (docs/controls.md).
class GatewayWindow : public QWidget, private Requests {
  Q_OBJECT

 public:
  explicit GatewayWindow(MessageSink* sink = nullptr, QWidget* parent = nullptr);
  ~GatewayWindow() override;

  // Where and how large the window opens when the screen has room for it.
  // The form's part of it (title, tabs, send and receive areas); the menu
  // and the status line add their height.
  static constexpr QRect kDesignedGeometry{94, 171, 1049, 677};
  QRect DesignedGeometry() const;
  // Moves and, if need be, shrinks the window into `available` (a screen's
  // free area); the pages scroll when the window is smaller than they are.
  void FitTo(const QRect& available);

  void SetMessageSink(MessageSink* sink);
  // The sink every message box of the window goes through.
  MessageSink& Messages() override { return *sink_; }

  // The traffic history under the tabs, shown or hidden for this run; the
  // View menu's choice, which is remembered, is the user's.
  void ShowTrafficHistory(bool shown);

  int TabCount() const;
  // Shows tab `index` (0 the first), built first if need be.
  void ShowTab(int index);
  // Builds the pages not built yet. The window is built with its first
  // page (System Parameter) only and builds the others once it has been
  // painted, or as soon as something needs one of them: a tab shown, a
  // reply, what the first tab does that another shows. Does nothing once
  // they are built.
  void BuildPages();
  // Every block the links send and receive goes to `trace`, which must
  // outlive the window (null: the window's own, for the traffic history).
  void SetTrace(link::Trace* trace);
  // Where a serial port name leads: COMn to `path`, or an assignment
  // "COMn=PATH" (false, with why, when it names no port).
  void MapSerialPort(int n, const QString& path);
  bool AssignSerialPort(const QString& assignment, QString* why);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // ---- Requests ----------------------------------------------------------
  void Send(const QByteArray& bytes, const QString& shown, cycle::PendingCode code,
            cycle::RequestKind kind, int timeoutMs = waits::kReplyTimeoutMs) override;
  void Route(const QByteArray& bytes) override;
  void SendSerial(const QByteArray& bytes) override;
  void Await(cycle::PendingCode code, cycle::RequestKind kind, int timeoutMs) override;
  void StopTimeout() override;
  cycle::RequestCycle& Cycle() override { return cycle_; }
  void ShowSent(const QString& text) override;
  void ClearAreas() override;
  void ClearReceived() override;
  void RefuseWhileLive() const override;
  int LinkIndex() const override;
  bool SerialOpen() const override;
  QString LinkDescription() const override;
  bool LinkOpen(bool serial) const override;
  void Write(bool serial, const QByteArray& bytes) override;
  void Idle() override;

  void BuildMenus();
  void BuildTitleArea(QWidget* area);
  void BuildSharedArea(QWidget* area);
  void ConnectHandlers();
  void ConnectPages();
  void KeepTabOrder();
  void Run(const std::function<void()>& handler);

  void onSocketRead();
  void onSerialReceived(const char* buffer, std::uint16_t length);
  void ReceiveDispatch(int hexCount);
  void onParseTimer();
  void onTimeoutTimer();
  void SendServiceCommand(int n);
  void ShowStatus();
  void onSaveTraffic();
  void onAbout();
  void onManual();
  // The "Gateway configuration" window, made when first asked for.
  ConfigDialog& Configuration();

  std::unique_ptr<MessageSink> ownedSink_;
  MessageSink* sink_ = nullptr;

  // Declared before the links, so it outlives them.
  link::Trace ownTrace_;
  link::Trace* trace_ = &ownTrace_;
  link::TComm serial_;
  link::TClientSocket socket_;
  cycle::RequestCycle cycle_;
  cycle::FormTimer parseTimer_;    // runs the decoder once the parse delay has passed
  cycle::FormTimer timeoutTimer_;  // reports a request that got no answer

  QTimer statusTick_;  // counts the time-out down in the status line
  QDateTime lastReply_;

  FrameControls frame_;    // title line and tabs
  SharedControls shared_;  // send and receive areas
  SystemTab* system_ = nullptr;
  TransparentTab* transparent_ = nullptr;
  ModbusTab* modbus_ = nullptr;
  LiveTab* live_ = nullptr;  // null until BuildPages, as are the two above
  bool pagesBuilt_ = false;
  bool pagesQueued_ = false;  // BuildPages runs once the event loop is back
  Exchanger* exchanger_ = nullptr;
  ConfigDialog* config_ = nullptr;
  TrafficPane* traffic_ = nullptr;
  StatusLine* status_ = nullptr;
};

}  // namespace kv770::ui
