// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/gateway_window.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include "base/waits.h"
#include "gateway/commands.h"
#include "link/errors.h"
#include "link/file_output.h"
#include "ui/config_dialog.h"
#include "ui/contact.h"
#include "ui/exchanger.h"
#include "ui/language.h"
#include "ui/live_tab.h"
#include "ui/modbus_tab.h"
#include "ui/pictures.h"
#include "ui/placement.h"
#include "ui/status_line.h"
#include "ui/system_tab.h"
#include "ui/traffic_pane.h"
#include "ui/transparent_tab.h"
#include "ui/widgets.h"
#include "ui/wiring_tab.h"

// The manual lives in a static library; without this its resource
// registration would be dropped by the linker. Must be outside any namespace.
static void RegisterManualResources() {
  Q_INIT_RESOURCE(manual);
}

namespace kv770::ui {

using cycle::RequestCycle;

namespace {

// Qt exposes a plain top-level QWidget as a "filler"; screen readers announce
// a window only for the window role, and then read its title as its name.
QAccessibleInterface* WindowAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String(GatewayWindow::staticMetaObject.className())) return nullptr;
  auto* widget = qobject_cast<QWidget*>(object);
  return widget ? new QAccessibleWidget(widget, QAccessible::Window) : nullptr;
}

// A page inside a scroll area: on a small or highly scaled screen the
// window may be smaller than the page's layout needs, and every control must
// still be reachable. At the designed size the page fits and no bar shows.
// The tab's page is set into it once it is built (SetPage). Until then the
// scroll area asks for less room than a page would; the first page, built
// with the window, asks for as much as any (a scroll area asks for 36 by 24
// lines at most), so the tabs ask for the same room either way.
QScrollArea* Scrolling(const char* name) {
  auto* scroll = new QScrollArea;
  scroll->setObjectName(name);
  scroll->setFrameShape(QFrame::NoFrame);
  // No Tab stop of its own: focusing a control already scrolls it into view.
  scroll->setFocusPolicy(Qt::NoFocus);
  scroll->setWidgetResizable(true);
  scroll->viewport()->setAutoFillBackground(false);
  return scroll;
}

void SetPage(QWidget* scroll, QWidget* page) {
  static_cast<QScrollArea*>(scroll)->setWidget(page);
  page->setAutoFillBackground(false);
}

// The title line asks for one line's width and wraps only when the window
// is narrower than that (a small screen); a plain wrapping QLabel would
// break it at any width to look compact.
class TitleLabel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize sizeHint() const override {
    const QMargins margins = contentsMargins();
    const int width = QFontMetrics(font()).horizontalAdvance(text()) + margins.left() +
                      margins.right() + 2 * margin() + 2;
    return {width, heightForWidth(width)};
  }
};

// Whether the traffic history was shown when the window last closed.
const QString kTrafficShownKey = QStringLiteral("view/trafficHistory");

}  // namespace

GatewayWindow::GatewayWindow(MessageSink* sink, QWidget* parent)
    : QWidget(parent), parseTimer_(waits::kParseDelayMs), timeoutTimer_(waits::kFirstTimeoutMs) {
  static const bool accessibleAsWindow = (QAccessible::installFactory(WindowAccessible), true);
  Q_UNUSED(accessibleAsWindow);
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("KV770-W"));
  SetMessageSink(sink);

  QPalette silver = palette();
  silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  setPalette(silver);
  setAutoFillBackground(true);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(8, 8, 8, 8);
  outer->setSpacing(6);
  BuildMenus();

  auto* title = new QWidget(this);
  BuildTitleArea(title);
  outer->addWidget(title);

  frame_.pages = new QTabWidget(this);
  frame_.pages->setObjectName("PageControl1");
  // The tab's page (TabSheetN) is the scroll area around the tab's widget.
  // Only the first page is built now; the others once the window has been
  // painted (BuildPages), so that it shows as soon as its first page can.
  system_ = new SystemTab(*this, serial_, socket_);
  exchanger_ = new Exchanger(*this, this);
  frame_.systemPage = Scrolling("TabSheet1");
  SetPage(frame_.systemPage, system_);
  frame_.transparentPage = Scrolling("TabSheet2");
  frame_.modbusPage = Scrolling("TabSheet3");
  frame_.wiringPage = Scrolling("TabSheet5");
  frame_.livePage = Scrolling("TabSheet6");
  frame_.pages->addTab(frame_.systemPage, tr("System Parameter"));
  frame_.pages->addTab(frame_.transparentPage, tr("Transparent Mode"));
  frame_.pages->addTab(frame_.modbusPage, tr("MODBUS Parameter Configuration"));
  frame_.pages->addTab(frame_.wiringPage, tr("Wiring Diagram"));
  frame_.pages->addTab(frame_.livePage, tr("Live Values"));
  frame_.pages->setCurrentIndex(0);
  // The traffic history under the tabs, on a splitter the user may drag.
  traffic_ = new TrafficPane;
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName("TabsAndTraffic");
  split->setChildrenCollapsible(false);
  split->addWidget(frame_.pages);
  split->addWidget(traffic_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  outer->addWidget(split, 1);

  auto* shared = new QWidget(this);
  BuildSharedArea(shared);
  outer->addWidget(shared);

  status_ = new StatusLine(this);
  outer->addWidget(status_);
  // The designed size is that of the form; the menu and the status line
  // come on top of it, so that the pages keep their room.
  setGeometry(DesignedGeometry());
  SetTrace(nullptr);
  ShowTrafficHistory(QSettings().value(kTrafficShownKey, false).toBool());

  ConnectHandlers();
  parseTimer_.SetEnabled(false);
  timeoutTimer_.SetEnabled(false);
  ShowStatus();
}

GatewayWindow::~GatewayWindow() {
  // A running session stops before the links and timers it uses are gone,
  // and nothing the links say while they close reaches the tabs.
  if (live_) live_->Close();
  socket_.disconnect();
  serial_.disconnect();
  trace_->OnLine({});
}

QRect GatewayWindow::DesignedGeometry() const {
  QRect designed = kDesignedGeometry;
  const int menu = layout()->menuBar() ? layout()->menuBar()->sizeHint().height() : 0;
  designed.setHeight(designed.height() + menu + status_->sizeHint().height() + layout()->spacing());
  return designed;
}

void GatewayWindow::FitTo(const QRect& available) {
  setGeometry(Placement(DesignedGeometry(), available));
}

int GatewayWindow::TabCount() const {
  return frame_.pages->count();
}

void GatewayWindow::ShowTab(int index) {
  if (index > 0) BuildPages();
  frame_.pages->setCurrentIndex(index);
}

void GatewayWindow::BuildPages() {
  if (pagesBuilt_) return;
  pagesBuilt_ = true;
  // The tabs, then their pages into the scroll areas, as when the window
  // built them all at once.
  transparent_ = new TransparentTab(*this);
  modbus_ = new ModbusTab(*this);
  auto* wiring = new WiringTab;
  live_ = new LiveTab(*this);
  SetPage(frame_.transparentPage, transparent_);
  SetPage(frame_.modbusPage, modbus_);
  SetPage(frame_.wiringPage, wiring);
  SetPage(frame_.livePage, live_);
  KeepTabOrder();
  ConnectPages();
}

// A page set into its scroll area joins the window's Tab order at its end,
// after the controls below the pages (the traffic history, the send and
// receive areas). Those are moved back behind the last page, where they
// were when every page was built with the window.
void GatewayWindow::KeepTabOrder() {
  const auto onLaterPage = [this](const QWidget* w) {
    return frame_.transparentPage->isAncestorOf(w) || frame_.modbusPage->isAncestorOf(w) ||
           frame_.wiringPage->isAncestorOf(w) || frame_.livePage->isAncestorOf(w);
  };
  QList<QWidget*> below;    // the controls below the pages, in Tab order
  QWidget* last = nullptr;  // the last control of the last page
  bool pastPages = false;   // the chain has passed the pages' scroll areas
  for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
    if (w == frame_.livePage) pastPages = true;
    if (!(w->focusPolicy() & Qt::TabFocus)) continue;
    if (onLaterPage(w))
      last = w;
    else if (pastPages)
      below << w;
  }
  for (QWidget* w : below) {
    QWidget::setTabOrder(last, w);
    last = w;
  }
}

void GatewayWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // The first page is on the screen: the others are built as soon as the
  // event loop is back.
  if (!pagesBuilt_ && !pagesQueued_) {
    pagesQueued_ = true;
    QTimer::singleShot(0, this, &GatewayWindow::BuildPages);
  }
}

void GatewayWindow::SetTrace(link::Trace* trace) {
  trace_->OnLine({});
  trace_ = trace ? trace : &ownTrace_;
  // The pane takes the line on this thread or hands it to the window's.
  trace_->OnLine([pane = traffic_](const QString& line) { pane->Add(line); });
  serial_.SetTrace(trace_);
  socket_.SetTrace(trace_);
}

void GatewayWindow::MapSerialPort(int n, const QString& path) {
  serial_.Ports().Set(n, path);
  system_->ShowSerialDevice();
}

bool GatewayWindow::AssignSerialPort(const QString& assignment, QString* why) {
  const bool assigned = serial_.Ports().Assign(assignment, why);
  system_->ShowSerialDevice();
  return assigned;
}

void GatewayWindow::SetMessageSink(MessageSink* sink) {
  if (sink) {
    sink_ = sink;
    ownedSink_.reset();
  } else {
    ownedSink_ = std::make_unique<BoxMessageSink>(this);
    sink_ = ownedSink_.get();
  }
}

void GatewayWindow::BuildMenus() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName("MainMenu");
  layout()->setMenuBar(bar);
  const auto add = [this](QMenu* menu, const char* name, const QString& text,
                          const QKeySequence& keys, auto handler) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this, [this, handler] { Run([handler] { handler(); }); });
    return action;
  };

  QMenu* file = bar->addMenu(tr("&File"));
  file->setObjectName("FileMenu");
  add(file, "OpenConfigurationAction", tr("&Open configuration..."), QKeySequence::Open,
      [this] { Configuration().Open(); });
  add(file, "SaveConfigurationAction", tr("&Save configuration..."), QKeySequence::Save,
      [this] { Configuration().Save(); });
  add(file, "SaveTrafficAction", tr("Save &traffic..."), {}, [this] { onSaveTraffic(); });
  file->addSeparator();
  add(file, "QuitAction", tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

  QMenu* gateway = bar->addMenu(tr("&Gateway"));
  gateway->setObjectName("GatewayMenu");
  add(gateway, "ReadConfigurationAction", tr("&Read configuration"), QKeySequence(Qt::Key_F5),
      [this] { Configuration().Read(); });
  add(gateway, "CompareConfigurationAction", tr("&Compare with file..."), {},
      [this] { Configuration().Compare(); });
  add(gateway, "WriteConfigurationAction", tr("&Write configuration..."), {},
      [this] { Configuration().Write(); });
  add(gateway, "RegisterMapAction", tr("Register &map..."), {},
      [this] { Configuration().RegisterMap(); });

  QMenu* view = bar->addMenu(tr("&View"));
  view->setObjectName("ViewMenu");
  QAction* traffic = view->addAction(tr("&Traffic history"));
  traffic->setObjectName("TrafficHistoryAction");
  traffic->setCheckable(true);
  connect(traffic, &QAction::toggled, this, [this](bool shown) {
    ShowTrafficHistory(shown);
    QSettings().setValue(kTrafficShownKey, shown);
  });

  QMenu* help = bar->addMenu(tr("&Help"));
  help->setObjectName("HelpMenu");
  add(help, "ManualAction", tr("&Manual"), QKeySequence::HelpContents, [this] { onManual(); });
  add(help, "AboutAction", tr("&About kv770-config"), {}, [this] { onAbout(); });
}

ConfigDialog& GatewayWindow::Configuration() {
  if (!config_) config_ = new ConfigDialog(*this, *exchanger_, this);
  config_->show();
  config_->raise();
  return *config_;
}

void GatewayWindow::ShowTrafficHistory(bool shown) {
  traffic_->setVisible(shown);
  if (auto* action = findChild<QAction*>(QStringLiteral("TrafficHistoryAction"))) {
    const QSignalBlocker quiet(action);
    action->setChecked(shown);
  }
}

void GatewayWindow::onSaveTraffic() {
  const QString path =
      sink_->ChooseFileToSave(tr("Save traffic"), tr("Traces (*.trace *.txt);;All files (*)"));
  if (path.isEmpty()) return;
  const QString why = link::WriteWholeFile(path, traffic_->Text().toUtf8());
  if (!why.isEmpty()) sink_->Show(tr("Cannot write %1: %2").arg(path, why));
}

// The README, which is the manual, as the program carries it.
void GatewayWindow::onManual() {
  auto* manual = findChild<QDialog*>(QStringLiteral("ManualWindow"));
  if (!manual) {
    RegisterManualResources();
    manual = new QDialog(this);
    manual->setObjectName("ManualWindow");
    manual->setWindowTitle(tr("kv770-config manual"));
    manual->resize(820, 640);
    auto* text = new QTextBrowser(manual);
    text->setObjectName("ManualText");
    text->setOpenExternalLinks(true);
    text->setSource(QUrl(QStringLiteral("qrc:/manual/README.md")), QTextDocument::MarkdownResource);
    auto* column = new QVBoxLayout(manual);
    column->addWidget(text);
  }
  manual->show();
  manual->raise();
}

void GatewayWindow::onAbout() {
  sink_->Show(tr("kv770-config %1\n\n"
                 "Configures and tests KV770-W HART to MODBUS gateways.\n\n"
                 "Licence: GNU General Public License, version 3 or later.\n"
                 "Built with Qt %2 (Qt Base, Qt Serial Port, Qt Charts, LGPL-3 / GPL-3) "
                 "and nlohmann-json (MIT).")
                  .arg(QCoreApplication::applicationVersion(), QString::fromLatin1(qVersion())));
}

// ---- the status line --------------------------------------------------------------

namespace {

// What the status line calls the request waited for.
QString RequestName(cycle::PendingCode code) {
  switch (code) {
    case cycle::PendingCode::kHartIdentityQuery:
      return GatewayWindow::tr("the instrument's identity (HART command 0)");
    case cycle::PendingCode::kHartVariablesQuery:
      return GatewayWindow::tr("the dynamic variables (HART command 3)");
    case cycle::PendingCode::kHartManualCommand:
      return GatewayWindow::tr("the reply to the HART command");
    case cycle::PendingCode::kGatewaySetting:
      return GatewayWindow::tr("the gateway to take the setting");
    case cycle::PendingCode::kCommunicationCheck:
      return GatewayWindow::tr("the communication check");
    case cycle::PendingCode::kSystemParametersQuery:
      return GatewayWindow::tr("the system parameters");
    case cycle::PendingCode::kMeterMappingQuery:
      return GatewayWindow::tr("the meter's MODBUS parameters");
    case cycle::PendingCode::kModbusReadTest:
      return GatewayWindow::tr("the MODBUS reply");
    case cycle::PendingCode::kNone:
      break;
  }
  return {};
}

}  // namespace

void GatewayWindow::ShowStatus() {
  status_->ShowLink(system_->LinkShown());
  QString request;
  if (live_ && live_->Running()) {
    request = tr("Live Values is polling");
  } else if (exchanger_->Running()) {
    request = tr("reading or writing the gateway's configuration");
  } else if (timeoutTimer_.Running()) {
    const QString name = RequestName(cycle_.Pending);
    request = tr("waiting for %1, %2 s left")
                  .arg(name.isEmpty() ? tr("an answer") : name)
                  .arg(timeoutTimer_.RemainingMs() / 1000.0, 0, 'f', 1);
  }
  status_->ShowRequest(request);
  status_->ShowLastReply(
      lastReply_.isValid()
          ? tr("last reply %1").arg(lastReply_.toString(QStringLiteral("HH:mm:ss.zzz")))
          : QString());
  // Ticks only while there is something to count down.
  if (timeoutTimer_.Running() && !statusTick_.isActive()) statusTick_.start();
  if (!timeoutTimer_.Running()) statusTick_.stop();
}

void GatewayWindow::BuildTitleArea(QWidget* area) {
  auto* row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);

  frame_.logo = new QLabel(area);
  frame_.logo->setObjectName("Image1");
  frame_.logo->setFixedSize(97, 41);
  frame_.logo->setScaledContents(true);  // the logo is stretched to the control
  frame_.logo->setPixmap(QPixmap::fromImage(LogoPicture()));
  frame_.logo->setAccessibleName(tr("logo"));
  row->addWidget(frame_.logo);
  row->addStretch(1);

  frame_.title = new TitleLabel(tr("KV770-W Parameter Configuration Software"), area);
  frame_.title->setObjectName("Label41");
  QFont titleFont(QStringLiteral("Segoe UI"));
  titleFont.setBold(true);
  titleFont.setPixelSize(27);
  frame_.title->setFont(titleFont);
  frame_.title->setStyleSheet(QStringLiteral("color: black;"));
  frame_.title->setWordWrap(true);
  row->addWidget(frame_.title);
  row->addStretch(1);

  // Two captionless, borderless areas: a double-click on either sends one
  // of the gateway's hidden commands. The user sees nothing there.
  frame_.serviceArea1 = new ClickLabel(area);
  frame_.serviceArea1->setObjectName("Label16");
  frame_.serviceArea1->setFixedSize(25, 33);
  row->addWidget(frame_.serviceArea1);
  frame_.serviceArea0 = new ClickLabel(area);
  frame_.serviceArea0->setObjectName("Label8");
  frame_.serviceArea0->setFixedSize(17, 33);
  row->addWidget(frame_.serviceArea0);

  auto* contact = new QVBoxLayout;
  contact->setSpacing(0);
  QFont contactFont(QStringLiteral("Segoe UI"));
  contactFont.setPixelSize(13);
  QLabel** lines[] = {&frame_.contactLines[0], &frame_.contactLines[1], &frame_.contactLines[2]};
  const char* texts[] = {kContactLine1, kContactLine2, kContactLine3};
  for (int i = 0; i < 3; ++i) {
    *lines[i] = new QLabel(QString::fromUtf8(texts[i]), area);
    (*lines[i])->setObjectName(QStringLiteral("ContactLine%1").arg(i + 1));
    (*lines[i])->setFont(contactFont);
    contact->addWidget(*lines[i]);
  }
  row->addLayout(contact);
}

void GatewayWindow::BuildSharedArea(QWidget* area) {
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(8, 0, 40, 0);

  shared_.sendBuffer = MakeEdit(area, "Edit8");
  shared_.sendLabel = AddLabelled(grid, 0, 0, tr("Send Buffer:"), shared_.sendBuffer);
  shared_.sendLabel->setObjectName("Label40");

  shared_.receiveBuffer = new QPlainTextEdit(area);
  shared_.receiveBuffer->setObjectName("Memo10");
  shared_.receiveBuffer->setLineWrapMode(QPlainTextEdit::NoWrap);
  shared_.receiveBuffer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  shared_.receiveBuffer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  shared_.receiveBuffer->setFixedHeight(
      QFontMetrics(shared_.receiveBuffer->font()).lineSpacing() * 2 + 40);
  auto* left = new QVBoxLayout;
  shared_.receiveLabel = new QLabel(tr("Receive Buffer:"), area);
  shared_.receiveLabel->setObjectName("Label60");
  shared_.receiveLabel->setBuddy(shared_.receiveBuffer);
  NameForScreenReaders(shared_.receiveBuffer, shared_.receiveLabel->text());
  shared_.clearReceive = MakeButton(area, "Button26", tr("Clear Buffer"));
  left->addWidget(shared_.receiveLabel);
  left->addWidget(shared_.clearReceive);
  left->addStretch(1);
  grid->addLayout(left, 1, 0);
  grid->addWidget(shared_.receiveBuffer, 1, 1);
  grid->setColumnStretch(1, 1);
}

void GatewayWindow::ConnectHandlers() {
  const auto on = [this](auto* sender, auto signal, void (GatewayWindow::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Run([this, handler] { (this->*handler)(); }); });
  };
  on(shared_.clearReceive, &QPushButton::clicked, &GatewayWindow::ClearReceived);
  on(&parseTimer_, &cycle::FormTimer::OnTimer, &GatewayWindow::onParseTimer);
  on(&timeoutTimer_, &cycle::FormTimer::OnTimer, &GatewayWindow::onTimeoutTimer);
  on(&socket_, &link::TClientSocket::OnRead, &GatewayWindow::onSocketRead);
  connect(&socket_, &link::TClientSocket::OnSocketException, this,
          [this](const QString& message) { Run([&message] { throw ESocketError(message); }); });
  connect(&serial_, &link::TComm::OnReceiveData, this,
          [this](const char* buffer, std::uint16_t length) {
            Run([this, buffer, length] { onSerialReceived(buffer, length); });
          });
  // Two captionless, borderless areas of the title line: a double-click on
  // either sends one of the gateway's hidden commands.
  connect(frame_.serviceArea0, &ClickLabel::doubleClicked, this,
          [this] { Run([this] { SendServiceCommand(0); }); });
  connect(frame_.serviceArea1, &ClickLabel::doubleClicked, this,
          [this] { Run([this] { SendServiceCommand(1); }); });

  // The status line follows the link, each request and each reply.
  statusTick_.setInterval(100);
  connect(&statusTick_, &QTimer::timeout, this, &GatewayWindow::ShowStatus);
  connect(system_, &SystemTab::linkChanged, this, &GatewayWindow::ShowStatus);
  connect(exchanger_, &Exchanger::runningChanged, this, &GatewayWindow::ShowStatus);

  // What the first tab does that the others show; they are built first
  // when it comes before the window has built them.
  connect(system_, &SystemTab::slaveAddressChanged, this, [this](const QString& text) {
    BuildPages();
    modbus_->SetTestSlave(text);
  });
  connect(system_, &SystemTab::gatewayAnswered, this, [this] {
    BuildPages();
    transparent_->EnableRequests();
    modbus_->EnableRequests();
  });
  // A Live Values session ends with its link (none runs before its page
  // is built).
  connect(system_, &SystemTab::serialClosed, this, [this] {
    if (live_ && live_->OverSerial()) live_->End(tr("the serial port was closed"));
  });
  connect(&socket_, &link::TClientSocket::OnDisconnect, this, [this] {
    if (live_ && live_->Running() && !live_->OverSerial())
      live_->End(tr("the TCP connection closed"));
  });
  // A page is built before it shows.
  connect(frame_.pages, &QTabWidget::currentChanged, this, [this](int index) {
    if (index > 0) BuildPages();
  });
}

void GatewayWindow::ConnectPages() {
  connect(live_, &LiveTab::runningChanged, this, &GatewayWindow::ShowStatus);
  // What one tab does that another shows.
  connect(transparent_, &TransparentTab::hartAddressChosen, modbus_, &ModbusTab::ChooseMeter);
  connect(modbus_, &ModbusTab::meterChosen, system_, &SystemTab::ClearSettings);
  connect(modbus_, &ModbusTab::workingModeReported, system_, &SystemTab::ShowWorkingMode);
}

void GatewayWindow::Run(const std::function<void()>& handler) {
  RunShowingErrors(*sink_, handler);
}

// ---- what the tabs ask for ------------------------------------------------------

void GatewayWindow::RefuseWhileLive() const {
  if (exchanger_->Running())
    throw Error(
        tr("The gateway's configuration is being read or written: wait until it ends, "
           "or press Cancel in the Gateway configuration window."));
  if (live_ && live_->Running())
    throw Error(
        tr("Live Values is running: press Stop on the Live Values tab before sending "
           "from another tab."));
}

int GatewayWindow::LinkIndex() const {
  return system_->LinkIndex();
}

bool GatewayWindow::SerialOpen() const {
  return system_->SerialOpen();
}

QString GatewayWindow::LinkDescription() const {
  return system_->LinkDescription();
}

bool GatewayWindow::LinkOpen(bool serial) const {
  return serial ? system_->SerialOpen() : socket_.Active();
}

void GatewayWindow::Route(const QByteArray& bytes) {
  RefuseWhileLive();
  if (LinkIndex() == 0)
    serial_.SendData(bytes.constData(), static_cast<std::uint16_t>(bytes.size()));
  else
    socket_.SendText(bytes);
}

void GatewayWindow::SendSerial(const QByteArray& bytes) {
  serial_.SendData(bytes.constData(), static_cast<std::uint16_t>(bytes.size()));
}

void GatewayWindow::Write(bool serial, const QByteArray& bytes) {
  if (serial) {
    SendSerial(bytes);
  } else {
    // What is still pending is a late reply to an earlier request.
    socket_.ReceiveText();
    socket_.SendText(bytes);
  }
}

void GatewayWindow::Send(const QByteArray& bytes, const QString& shown, cycle::PendingCode code,
                         cycle::RequestKind kind, int timeoutMs) {
  RefuseWhileLive();
  ClearAreas();
  ShowSent(shown);
  Route(bytes);
  cycle_.Arm(code, kind);
  if (timeoutMs > 0) timeoutTimer_.SetInterval(timeoutMs);
  timeoutTimer_.SetEnabled(true);
  ShowStatus();
}

void GatewayWindow::Await(cycle::PendingCode code, cycle::RequestKind kind, int timeoutMs) {
  cycle_.Arm(code, kind);
  timeoutTimer_.SetInterval(timeoutMs);
  timeoutTimer_.SetEnabled(true);
  ShowStatus();
}

void GatewayWindow::StopTimeout() {
  timeoutTimer_.SetEnabled(false);
  ShowStatus();
}

void GatewayWindow::Idle() {
  cycle_.Arm(cycle::PendingCode::kNone, cycle::RequestKind::kNone);
  parseTimer_.SetEnabled(false);
  timeoutTimer_.SetEnabled(false);
}

void GatewayWindow::ShowSent(const QString& text) {
  shared_.sendBuffer->setText(text);
}

void GatewayWindow::ClearAreas() {
  shared_.sendBuffer->clear();
  shared_.receiveBuffer->clear();
}

void GatewayWindow::ClearReceived() {
  shared_.receiveBuffer->clear();
}

// Service commands: they go out without showing in the send buffer.
void GatewayWindow::SendServiceCommand(int n) {
  const QByteArray bytes = cycle_.Stage(QByteArray::fromStdString(gateway::HiddenCommand(n)));
  Send(bytes, QString(), cycle::PendingCode::kGatewaySetting, cycle::RequestKind::kSetting);
}

// ---- replies ----------------------------------------------------------------------

void GatewayWindow::onSocketRead() {
  // A live session takes its replies as they come, without the wait below;
  // the request cycle stays idle meanwhile, whichever link it runs on.
  if (live_ && live_->Running()) {
    const QByteArray bytes = socket_.ReceiveText();
    if (!live_->OverSerial()) live_->Received(bytes);
    return;
  }
  if (exchanger_->Running()) {
    const QByteArray bytes = socket_.ReceiveText();
    if (!exchanger_->OverSerial()) exchanger_->Received(bytes);
    return;
  }
  QThread::msleep(waits::kTcpReplyWaitMs);
  cycle_.StoreReply(socket_.ReceiveText());
  if (LinkIndex() != 1) return;
  ReceiveDispatch(cycle_.ReplyText.size());
}

void GatewayWindow::onSerialReceived(const char* buffer, std::uint16_t length) {
  if (live_ && live_->Running()) {
    if (live_->OverSerial()) live_->Received(QByteArray(buffer, length));
    return;
  }
  if (exchanger_->Running()) {
    if (exchanger_->OverSerial()) exchanger_->Received(QByteArray(buffer, length));
    return;
  }
  QThread::msleep(waits::kSerialReplyWaitMs);
  // The block is the component's and gone after this call: keep a copy.
  // The reply area takes what fits; the text at most 255 characters.
  constexpr int kSerialTextCap = 255;
  cycle_.StoreReply(QByteArray(buffer, length), kSerialTextCap);
  ReceiveDispatch(static_cast<int>(cycle_.ReplyText.size()));
}

void GatewayWindow::ReceiveDispatch(int hexCount) {
  const cycle::Dispatch d = cycle::DispatchFor(cycle_.Pending);
  if (d.startParseTimer) parseTimer_.SetEnabled(true);
  timeoutTimer_.SetEnabled(false);
  shared_.receiveBuffer->setPlainText(
      d.hex ? QString::fromStdString(base::HexText(cycle_.ReplyBytes(hexCount), cycle::kAreaHex))
            : QString::fromLatin1(cycle_.ReplyText));
  if (d.resetCode) cycle_.Pending = cycle::PendingCode::kNone;
  lastReply_ = QDateTime::currentDateTime();
  ShowStatus();
}

// The decoder of the pending request runs on the tab that sent it.
void GatewayWindow::onParseTimer() {
  parseTimer_.SetEnabled(false);
  BuildPages();
  const cycle::PendingCode code = cycle_.Pending;
  for (Tab* tab : std::initializer_list<Tab*>{system_, transparent_, modbus_})
    if (tab->Decode(code)) return;
}

void GatewayWindow::onTimeoutTimer() {
  timeoutTimer_.SetEnabled(false);
  ShowStatus();
  const cycle::TimeoutReport report =
      cycle::TimeoutReportFor(cycle_.Kind, QString::fromUtf8(kContactPhone));
  if (!report.show) return;
  if (report.setStatus) {
    BuildPages();
    modbus_->ShowStatus(LayerText(report.status));
  }
  sink_->Show(LayerText(report.message));
  timeoutTimer_.SetEnabled(false);  // a handler run inside the modal box may have armed it
}

}  // namespace kv770::ui
