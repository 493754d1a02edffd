#include "ui/form1.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include "cycle/waits.h"
#include "link/errors.h"
#include "ui/contact.h"
#include "ui/pictures.h"
#include "ui/widgets.h"

namespace kv770::ui {

using cycle::RequestCycle;

TForm1::TForm1(MessageSink* sink, QWidget* parent)
    : QWidget(parent),
      Timer2(cycle::kParseDelayMs),
      Timer3(cycle::kFirstTimeoutMs),
      Timer4(cycle::kRs485CloseDelayMs) {
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

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName("TabSheet3");
  TabSheet5 = new QWidget;
  TabSheet5->setObjectName("TabSheet5");
  PageControl1->addTab(TabSheet1, QStringLiteral("System Parameter"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Transparent Mode"));
  PageControl1->addTab(TabSheet3, QStringLiteral("MODBUS Parameter Configuration"));
  PageControl1->addTab(TabSheet5, QStringLiteral("Wiring Diagram"));
  BuildSystemTab(TabSheet1);
  BuildTransparentTab(TabSheet2);
  BuildModbusTab(TabSheet3);
  BuildWiringTab(TabSheet5);
  PageControl1->setCurrentIndex(0);
  outer->addWidget(PageControl1, 1);

  auto* shared = new QWidget(this);
  BuildSharedArea(shared);
  outer->addWidget(shared);

  resize(1049, 677);
  move(94, 171);

  ConnectHandlers();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::SetMessageSink(MessageSink* sink) {
  if (sink) {
    sink_ = sink;
    ownedSink_.reset();
  } else {
    ownedSink_ = std::make_unique<BoxMessageSink>(this);
    sink_ = ownedSink_.get();
  }
}

void TForm1::BuildTitleArea(QWidget* area) {
  auto* row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);

  Image1 = new QLabel(area);
  Image1->setObjectName("Image1");
  Image1->setFixedSize(97, 41);
  Image1->setScaledContents(true);  // the logo is stretched to the control
  Image1->setPixmap(QPixmap::fromImage(LogoPicture()));
  Image1->setAccessibleName(QStringLiteral("logo"));
  row->addWidget(Image1);
  row->addStretch(1);

  Label41 = new QLabel(QStringLiteral("KV770-W Parameter Configuration Software"), area);
  Label41->setObjectName("Label41");
  QFont titleFont(QStringLiteral("Segoe UI"));
  titleFont.setBold(true);
  titleFont.setPixelSize(27);
  Label41->setFont(titleFont);
  Label41->setStyleSheet(QStringLiteral("color: black;"));
  row->addWidget(Label41);
  row->addStretch(1);

  // Two captionless, borderless areas: a double-click on either sends one
  // of the gateway's hidden commands. The user sees nothing there.
  Label16 = new ClickLabel(area);
  Label16->setObjectName("Label16");
  Label16->setFixedSize(25, 33);
  row->addWidget(Label16);
  Label8 = new ClickLabel(area);
  Label8->setObjectName("Label8");
  Label8->setFixedSize(17, 33);
  row->addWidget(Label8);

  auto* contact = new QVBoxLayout;
  contact->setSpacing(0);
  QFont contactFont(QStringLiteral("Segoe UI"));
  contactFont.setPixelSize(13);
  QLabel** lines[] = {&ContactLine1, &ContactLine2, &ContactLine3};
  const char* texts[] = {kContactLine1, kContactLine2, kContactLine3};
  for (int i = 0; i < 3; ++i) {
    *lines[i] = new QLabel(QString::fromUtf8(texts[i]), area);
    (*lines[i])->setObjectName(QStringLiteral("ContactLine%1").arg(i + 1));
    (*lines[i])->setFont(contactFont);
    contact->addWidget(*lines[i]);
  }
  row->addLayout(contact);
}

void TForm1::BuildSharedArea(QWidget* area) {
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(8, 0, 40, 0);

  Edit8 = MakeEdit(area, "Edit8");
  Label40 = AddLabelled(grid, 0, 0, QStringLiteral("Send Buffer:"), Edit8);
  Label40->setObjectName("Label40");

  Memo10 = new QPlainTextEdit(area);
  Memo10->setObjectName("Memo10");
  Memo10->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo10->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo10->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo10->setFixedHeight(QFontMetrics(Memo10->font()).lineSpacing() * 2 + 40);
  auto* left = new QVBoxLayout;
  Label60 = new QLabel(QStringLiteral("Receive Buffer:"), area);
  Label60->setObjectName("Label60");
  Label60->setBuddy(Memo10);
  NameForScreenReaders(Memo10, Label60->text());
  Button26 = MakeButton(area, "Button26", QStringLiteral("Clear Buffer"));
  left->addWidget(Label60);
  left->addWidget(Button26);
  left->addStretch(1);
  grid->addLayout(left, 1, 0);
  grid->addWidget(Memo10, 1, 1);
  grid->setColumnStretch(1, 1);
}

void TForm1::ConnectHandlers() {
  On(PageControl1, &QTabWidget::currentChanged, &TForm1::PageControl1Change);
  On(Button26, &QPushButton::clicked, &TForm1::Button26Click);
  On(&Timer2, &cycle::FormTimer::OnTimer, &TForm1::Timer2Timer);
  On(&Timer3, &cycle::FormTimer::OnTimer, &TForm1::Timer3Timer);

  On(system.linkChoice, &QComboBox::activated, &TForm1::onLinkChosen);
  On(system.tcpConnect, &QPushButton::clicked, &TForm1::onConnectClicked);
  On(system.tcpDisconnect, &QPushButton::clicked, &TForm1::onDisconnectClicked);
  On(&ClientSocket1, &link::TClientSocket::OnConnecting, &TForm1::ClientSocket1Connecting);
  On(&ClientSocket1, &link::TClientSocket::OnConnect, &TForm1::ClientSocket1Connect);
  On(&ClientSocket1, &link::TClientSocket::OnDisconnect, &TForm1::ClientSocket1Disconnect);
  On(&ClientSocket1, &link::TClientSocket::OnRead, &TForm1::ClientSocket1Read);
  connect(&ClientSocket1, &link::TClientSocket::OnError, this,
          [this](int* code) { Run([this, code] { ClientSocket1Error(*code); }); });
  connect(&ClientSocket1, &link::TClientSocket::OnSocketException, this,
          [this](const QString& message) { Run([&message] { throw ESocketError(message); }); });

  On(system.communicationQuery, &QPushButton::clicked, &TForm1::onCommunicationQueryClicked);
  ConnectSerialHandlers();
  ConnectGatewayHandlers();
  ConnectHartHandlers();
  ConnectModbusToolHandlers();
}

void TForm1::Run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& e) {
    sink_->Show(e.Message());
  } catch (const std::exception& e) {
    sink_->Show(QString::fromLocal8Bit(e.what()));
  }
}

// ---- start-up -------------------------------------------------------------

void TForm1::FormCreate() {
  system.communicationQuery->setEnabled(true);
  Timer2.SetEnabled(false);
  Timer3.SetEnabled(false);
  Timer4.SetEnabled(false);
  mapping.bufferClearTime->clear();
  for (QComboBox* combo :
       {mapping.enable, parsing.rows[0].command, parsing.rows[1].command, parsing.rows[2].command,
        parsing.rows[3].command, parsing.rows[0].length, parsing.rows[1].length,
        parsing.rows[2].length, parsing.rows[3].length, mapping.byteOrders[0],
        mapping.byteOrders[1], mapping.byteOrders[2], mapping.byteOrders[3], mapping.byteOrders[4]})
    combo->setCurrentIndex(-1);
  system.linkChoice->setCurrentIndex(0);
  for (QLineEdit* edit :
       {parsing.rows[0].start, parsing.rows[1].start, parsing.rows[2].start, parsing.rows[3].start})
    edit->clear();
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

void TForm1::PageControl1Change() {}

// ---- request cycle ----------------------------------------------------------

int TForm1::LinkIndex() const {
  // A text typed over the selection counts as no selection.
  const int index = system.linkChoice->currentIndex();
  if (index >= 0 && system.linkChoice->currentText() != system.linkChoice->itemText(index))
    return -1;
  return index;
}

void TForm1::RouteToLink(const QByteArray& bytes) {
  if (LinkIndex() == 0)
    Comm1.SendData(bytes.constData(), static_cast<std::uint16_t>(bytes.size()));
  else
    ClientSocket1.SendText(bytes);
}

void TForm1::SendRequest(const QByteArray& bytes, const QString& shown, cycle::PendingCode code,
                         cycle::RequestKind kind, int timer3Interval) {
  Edit8->clear();
  Memo10->clear();
  Edit8->setText(shown);
  RouteToLink(bytes);
  Cycle.Arm(code, kind);
  if (timer3Interval > 0) Timer3.SetInterval(timer3Interval);
  Timer3.SetEnabled(true);
}

void TForm1::ClientSocket1Read() {
  QThread::msleep(cycle::kTcpReplyWaitMs);
  Cycle.StoreReply(ClientSocket1.ReceiveText());
  if (LinkIndex() != 1) return;
  ReceiveDispatch(Cycle.ReplyText.size());
}

void TForm1::ReceiveDispatch(int hexCount) {
  const cycle::Dispatch d = cycle::DispatchFor(Cycle.Pending);
  if (d.startParseTimer) Timer2.SetEnabled(true);
  Timer3.SetEnabled(false);
  Memo10->setPlainText(d.hex ? Cycle.ReplyHex(hexCount) : QString::fromLatin1(Cycle.ReplyText));
  if (d.resetCode) Cycle.Pending = cycle::PendingCode::kNone;
}

void TForm1::Timer2Timer() {
  Timer2.SetEnabled(false);
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

void TForm1::Timer3Timer() {
  Timer3.SetEnabled(false);
  const cycle::TimeoutReport report =
      cycle::TimeoutReportFor(Cycle.Kind, QString::fromUtf8(kContactPhone));
  if (!report.show) return;
  if (report.setStatus) mapping.currentLabel->setText(report.status);
  sink_->Show(report.message);
  Timer3.SetEnabled(false);  // a handler run inside the modal box may have armed it
}

void TForm1::Button26Click() {
  Memo10->clear();
}

}  // namespace kv770::ui
