#include "ui/gateway_window.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "cycle/waits.h"
#include "link/errors.h"
#include "ui/contact.h"
#include "ui/live_tab.h"
#include "ui/pictures.h"
#include "ui/placement.h"
#include "ui/widgets.h"

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
QScrollArea* Scrolling(QWidget* page, const char* name) {
  auto* scroll = new QScrollArea;
  scroll->setObjectName(name);
  scroll->setFrameShape(QFrame::NoFrame);
  // No Tab stop of its own: focusing a control already scrolls it into view.
  scroll->setFocusPolicy(Qt::NoFocus);
  scroll->setWidgetResizable(true);
  scroll->setWidget(page);
  scroll->viewport()->setAutoFillBackground(false);
  page->setAutoFillBackground(false);
  return scroll;
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

}  // namespace

GatewayWindow::GatewayWindow(MessageSink* sink, QWidget* parent)
    : QWidget(parent),
      parseTimer(cycle::kParseDelayMs),
      timeoutTimer(cycle::kFirstTimeoutMs),
      rs485CloseTimer(cycle::kRs485CloseDelayMs) {
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

  auto* title = new QWidget(this);
  BuildTitleArea(title);
  outer->addWidget(title);

  frame.pages = new QTabWidget(this);
  frame.pages->setObjectName("PageControl1");
  // The tab's page (TabSheetN) is the scroll area; the controls are built
  // on the widget it scrolls.
  QWidget* const contents[] = {new QWidget, new QWidget, new QWidget, new QWidget, new QWidget};
  frame.systemPage = Scrolling(contents[0], "TabSheet1");
  frame.transparentPage = Scrolling(contents[1], "TabSheet2");
  frame.modbusPage = Scrolling(contents[2], "TabSheet3");
  frame.wiringPage = Scrolling(contents[3], "TabSheet5");
  frame.livePage = Scrolling(contents[4], "TabSheet6");
  frame.pages->addTab(frame.systemPage, QStringLiteral("System Parameter"));
  frame.pages->addTab(frame.transparentPage, QStringLiteral("Transparent Mode"));
  frame.pages->addTab(frame.modbusPage, QStringLiteral("MODBUS Parameter Configuration"));
  frame.pages->addTab(frame.wiringPage, QStringLiteral("Wiring Diagram"));
  frame.pages->addTab(frame.livePage, QStringLiteral("Live Values"));
  BuildSystemTab(contents[0]);
  BuildTransparentTab(contents[1]);
  BuildModbusTab(contents[2]);
  BuildWiringTab(contents[3]);
  BuildLiveTab(contents[4]);
  frame.pages->setCurrentIndex(0);
  outer->addWidget(frame.pages, 1);

  auto* shared = new QWidget(this);
  BuildSharedArea(shared);
  outer->addWidget(shared);

  setGeometry(kDesignedGeometry);

  ConnectHandlers();
  StartUp();
}

GatewayWindow::~GatewayWindow() {
  // A running session stops before the links and timers it uses are gone.
  if (liveTab_) liveTab_->Close();
}

void GatewayWindow::BuildLiveTab(QWidget* page) {
  liveTab_ = std::make_unique<LiveTab>(*this);
  liveTab_->Build(page);
}

void GatewayWindow::RefuseWhileLive() const {
  if (liveTab_ && liveTab_->Running())
    throw Error(QStringLiteral(
        "Live Values is running: press Stop on the Live Values tab before sending from "
        "another tab."));
}

void GatewayWindow::FitTo(const QRect& available) {
  setGeometry(Placement(kDesignedGeometry, available));
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

void GatewayWindow::BuildTitleArea(QWidget* area) {
  auto* row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);

  frame.logo = new QLabel(area);
  frame.logo->setObjectName("Image1");
  frame.logo->setFixedSize(97, 41);
  frame.logo->setScaledContents(true);  // the logo is stretched to the control
  frame.logo->setPixmap(QPixmap::fromImage(LogoPicture()));
  frame.logo->setAccessibleName(QStringLiteral("logo"));
  row->addWidget(frame.logo);
  row->addStretch(1);

  frame.title = new TitleLabel(QStringLiteral("KV770-W Parameter Configuration Software"), area);
  frame.title->setObjectName("Label41");
  QFont titleFont(QStringLiteral("Segoe UI"));
  titleFont.setBold(true);
  titleFont.setPixelSize(27);
  frame.title->setFont(titleFont);
  frame.title->setStyleSheet(QStringLiteral("color: black;"));
  frame.title->setWordWrap(true);
  row->addWidget(frame.title);
  row->addStretch(1);

  // Two captionless, borderless areas: a double-click on either sends one
  // of the gateway's hidden commands. The user sees nothing there.
  frame.serviceArea1 = new ClickLabel(area);
  frame.serviceArea1->setObjectName("Label16");
  frame.serviceArea1->setFixedSize(25, 33);
  row->addWidget(frame.serviceArea1);
  frame.serviceArea0 = new ClickLabel(area);
  frame.serviceArea0->setObjectName("Label8");
  frame.serviceArea0->setFixedSize(17, 33);
  row->addWidget(frame.serviceArea0);

  auto* contact = new QVBoxLayout;
  contact->setSpacing(0);
  QFont contactFont(QStringLiteral("Segoe UI"));
  contactFont.setPixelSize(13);
  QLabel** lines[] = {&frame.contactLines[0], &frame.contactLines[1], &frame.contactLines[2]};
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

  shared.sendBuffer = MakeEdit(area, "Edit8");
  shared.sendLabel = AddLabelled(grid, 0, 0, QStringLiteral("Send Buffer:"), shared.sendBuffer);
  shared.sendLabel->setObjectName("Label40");

  shared.receiveBuffer = new QPlainTextEdit(area);
  shared.receiveBuffer->setObjectName("Memo10");
  shared.receiveBuffer->setLineWrapMode(QPlainTextEdit::NoWrap);
  shared.receiveBuffer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  shared.receiveBuffer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  shared.receiveBuffer->setFixedHeight(
      QFontMetrics(shared.receiveBuffer->font()).lineSpacing() * 2 + 40);
  auto* left = new QVBoxLayout;
  shared.receiveLabel = new QLabel(QStringLiteral("Receive Buffer:"), area);
  shared.receiveLabel->setObjectName("Label60");
  shared.receiveLabel->setBuddy(shared.receiveBuffer);
  NameForScreenReaders(shared.receiveBuffer, shared.receiveLabel->text());
  shared.clearReceive = MakeButton(area, "Button26", QStringLiteral("Clear Buffer"));
  left->addWidget(shared.receiveLabel);
  left->addWidget(shared.clearReceive);
  left->addStretch(1);
  grid->addLayout(left, 1, 0);
  grid->addWidget(shared.receiveBuffer, 1, 1);
  grid->setColumnStretch(1, 1);
}

void GatewayWindow::ConnectHandlers() {
  On(frame.pages, &QTabWidget::currentChanged, &GatewayWindow::onPageChanged);
  On(shared.clearReceive, &QPushButton::clicked, &GatewayWindow::onClearReceiveClicked);
  On(&parseTimer, &cycle::FormTimer::OnTimer, &GatewayWindow::onParseTimer);
  On(&timeoutTimer, &cycle::FormTimer::OnTimer, &GatewayWindow::onTimeoutTimer);

  On(system.linkChoice, &QComboBox::activated, &GatewayWindow::onLinkChosen);
  On(system.tcpConnect, &QPushButton::clicked, &GatewayWindow::onConnectClicked);
  On(system.tcpDisconnect, &QPushButton::clicked, &GatewayWindow::onDisconnectClicked);
  On(&ClientSocket1, &link::TClientSocket::OnConnecting, &GatewayWindow::onSocketConnecting);
  On(&ClientSocket1, &link::TClientSocket::OnConnect, &GatewayWindow::onSocketConnected);
  On(&ClientSocket1, &link::TClientSocket::OnDisconnect, &GatewayWindow::onSocketDisconnected);
  On(&ClientSocket1, &link::TClientSocket::OnRead, &GatewayWindow::onSocketRead);
  connect(&ClientSocket1, &link::TClientSocket::OnError, this,
          [this](int* code) { Run([this, code] { onSocketError(*code); }); });
  connect(&ClientSocket1, &link::TClientSocket::OnSocketException, this,
          [this](const QString& message) { Run([&message] { throw ESocketError(message); }); });

  On(system.communicationQuery, &QPushButton::clicked, &GatewayWindow::onCommunicationQueryClicked);
  ConnectSerialHandlers();
  ConnectGatewayHandlers();
  ConnectHartHandlers();
  ConnectModbusToolHandlers();
}

void GatewayWindow::Run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& e) {
    sink_->Show(e.Message());
  } catch (const std::exception& e) {
    sink_->Show(QString::fromLocal8Bit(e.what()));
  }
}

// ---- start-up -------------------------------------------------------------

void GatewayWindow::StartUp() {
  system.communicationQuery->setEnabled(true);
  parseTimer.SetEnabled(false);
  timeoutTimer.SetEnabled(false);
  rs485CloseTimer.SetEnabled(false);
  mapping.bufferClearTime->clear();
  mapping.enable->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing.rows) row.command->setCurrentIndex(-1);
  for (const ParsingControls::Row& row : parsing.rows) row.length->setCurrentIndex(-1);
  for (QComboBox* combo : mapping.byteOrders) combo->setCurrentIndex(-1);
  system.linkChoice->setCurrentIndex(0);
  for (const ParsingControls::Row& row : parsing.rows) row.start->clear();
  system.serialGroup->setEnabled(true);
  system.openPort->setEnabled(true);
  system.tcpGroup->setEnabled(false);
  system.tcpConnect->setEnabled(false);
  system.tcpDisconnect->setEnabled(false);
  system.makerProgram->setEnabled(false);
  parsing.readCommands[0].enable->setCurrentIndex(-1);
  parsing.readCommands[1].enable->setCurrentIndex(-1);
  parsing.readCommands[0].bytes->clear();
  parsing.readCommands[1].bytes->clear();
}

void GatewayWindow::onPageChanged() {}

// ---- request cycle ----------------------------------------------------------

int GatewayWindow::LinkIndex() const {
  // A text typed over the selection counts as no selection.
  const int index = system.linkChoice->currentIndex();
  if (index >= 0 && system.linkChoice->currentText() != system.linkChoice->itemText(index))
    return -1;
  return index;
}

void GatewayWindow::RouteToLink(const QByteArray& bytes) {
  RefuseWhileLive();
  if (LinkIndex() == 0)
    Comm1.SendData(bytes.constData(), static_cast<std::uint16_t>(bytes.size()));
  else
    ClientSocket1.SendText(bytes);
}

void GatewayWindow::SendRequest(const QByteArray& bytes, const QString& shown,
                                cycle::PendingCode code, cycle::RequestKind kind,
                                int timeoutInterval) {
  RefuseWhileLive();
  shared.sendBuffer->clear();
  shared.receiveBuffer->clear();
  shared.sendBuffer->setText(shown);
  RouteToLink(bytes);
  Cycle.Arm(code, kind);
  if (timeoutInterval > 0) timeoutTimer.SetInterval(timeoutInterval);
  timeoutTimer.SetEnabled(true);
}

void GatewayWindow::onSocketRead() {
  // A live session takes its replies as they come, without the wait below;
  // the request cycle stays idle meanwhile, whichever link it runs on.
  if (liveTab_->Running()) {
    const QByteArray bytes = ClientSocket1.ReceiveText();
    if (!liveTab_->OverSerial()) liveTab_->Received(bytes);
    return;
  }
  QThread::msleep(cycle::kTcpReplyWaitMs);
  Cycle.StoreReply(ClientSocket1.ReceiveText());
  if (LinkIndex() != 1) return;
  ReceiveDispatch(Cycle.ReplyText.size());
}

void GatewayWindow::ReceiveDispatch(int hexCount) {
  const cycle::Dispatch d = cycle::DispatchFor(Cycle.Pending);
  if (d.startParseTimer) parseTimer.SetEnabled(true);
  timeoutTimer.SetEnabled(false);
  shared.receiveBuffer->setPlainText(
      d.hex ? QString::fromStdString(base::HexText(Cycle.ReplyBytes(hexCount), cycle::kAreaHex))
            : QString::fromLatin1(Cycle.ReplyText));
  if (d.resetCode) Cycle.Pending = cycle::PendingCode::kNone;
}

void GatewayWindow::onParseTimer() {
  parseTimer.SetEnabled(false);
  switch (Cycle.Pending) {
    case cycle::PendingCode::kHartIdentityQuery:
      DecodeHartIdentity();
      break;
    case cycle::PendingCode::kCommunicationCheck:
      DecodeCommunicationCheck();
      break;
    case cycle::PendingCode::kHartVariablesQuery:
      DecodeHartVariables();
      break;
    case cycle::PendingCode::kSystemParametersQuery:
      DecodeSystemReport();
      break;
    case cycle::PendingCode::kMeterMappingQuery:
      DecodeModbusReport();
      break;
    default:
      break;
  }
}

void GatewayWindow::onTimeoutTimer() {
  timeoutTimer.SetEnabled(false);
  const cycle::TimeoutReport report =
      cycle::TimeoutReportFor(Cycle.Kind, QString::fromUtf8(kContactPhone));
  if (!report.show) return;
  if (report.setStatus) mapping.currentLabel->setText(report.status);
  sink_->Show(report.message);
  timeoutTimer.SetEnabled(false);  // a handler run inside the modal box may have armed it
}

void GatewayWindow::onClearReceiveClicked() {
  shared.receiveBuffer->clear();
}

}  // namespace kv770::ui
