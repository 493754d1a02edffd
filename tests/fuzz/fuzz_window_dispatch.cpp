// Random reply blocks at random pending codes through the window's own
// receive dispatch and, where it starts the parse timer, the decoder the code
// selects: the window never crashes, reports a bad number only as a
// message, shows every reply as its text or as exactly one digit pair per
// byte, and leaves every list with a selection it has.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cycle/request_cycle.h"
#include "fuzz_check.h"
#include "ui/gateway_window.h"
#include "ui/message_sink.h"

namespace {

using kv770::cycle::PendingCode;
using kv770::cycle::RequestCycle;
using kv770::ui::GatewayWindow;

class CountingSink : public kv770::ui::MessageSink {
 public:
  void Show(const QString&) override { ++shown; }
  int shown = 0;
};

// The codes the window sets, and one no sender uses.
constexpr std::array<std::int32_t, 10> kCodes{0, 100, 103, 104, 200, 201, 202, 301, 302, 7777};

bool Printable(const QByteArray& bytes) {
  for (char c : bytes)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

GatewayWindow* theForm = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Both stay until the process ends, reachable, as Qt's own caches
  // expect: destroying the application from a static destructor would
  // leave font caches that other statics already dropped.
  new QApplication(*argc, *argv);
  theForm = new GatewayWindow(new CountingSink);
  return 0;
}

// Input: records of a code byte, a flags byte (bit 0: the serial link's
// 255-character cap; the rest the instrument type the window shows), a
// length byte (times two, so blocks longer than the reply area come up)
// and the block.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  GatewayWindow& form = *theForm;
  form.Cycle = RequestCycle{};  // what a decoder reads comes from this input only
  form.HartIdentity = {};
  std::size_t p = 0;
  while (p + 3 <= size) {
    const auto code = static_cast<PendingCode>(kCodes[data[p] % kCodes.size()]);
    const std::uint8_t flags = data[p + 1];
    const std::size_t length = std::min<std::size_t>(2u * data[p + 2], size - p - 3);
    const QByteArray block(reinterpret_cast<const char*>(data + p + 3),
                           static_cast<qsizetype>(length));
    p += 3 + length;

    form.mapping.instrumentType->setCurrentIndex(static_cast<int>(flags >> 1) % 15 - 1);
    form.Cycle.Pending = code;
    const int cap = flags & 1 ? 255 : -1;
    form.Run([&] {
      form.Cycle.StoreReply(block, cap);
      form.ReceiveDispatch(static_cast<int>(form.Cycle.ReplyText.size()));
    });
    const kv770::cycle::Dispatch d = kv770::cycle::DispatchFor(code);
    const QString shown = form.shared.receiveBuffer->toPlainText();
    if (d.hex) {
      FUZZ_CHECK(shown.size() == 3 * form.Cycle.ReplyText.size());
    } else if (Printable(form.Cycle.ReplyText)) {
      // Line breaks and control characters are the text box's to render.
      FUZZ_CHECK(shown == QString::fromLatin1(form.Cycle.ReplyText));
    }
    FUZZ_CHECK(!form.timeoutTimer.Enabled());
    FUZZ_CHECK(form.Cycle.Pending == (d.resetCode ? PendingCode::kNone : code));

    if (form.parseTimer.Enabled()) form.Run([&] { form.onParseTimer(); });
    for (QComboBox* combo : form.findChildren<QComboBox*>())
      FUZZ_CHECK(combo->currentIndex() >= -1 && combo->currentIndex() < combo->count());
  }
  return 0;
}
