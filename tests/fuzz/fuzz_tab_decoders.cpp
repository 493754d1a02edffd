// SPDX-License-Identifier: GPL-3.0-or-later
// Random reply blocks at random pending codes through the decoders of the
// window's tabs, as the window hands a reply to the tab that waits for it:
// no tab crashes, a bad number is only ever a message, and every list keeps
// a selection it has.
#include <QApplication>
#include <QComboBox>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "cycle/request_cycle.h"
#include "fuzz_check.h"
#include "link/SerialComm.h"
#include "link/tcp_client.h"
#include "ui/message_sink.h"
#include "ui/modbus_tab.h"
#include "ui/system_tab.h"
#include "ui/tab.h"
#include "ui/transparent_tab.h"

namespace {

using kv770::cycle::PendingCode;
using kv770::cycle::RequestCycle;

class CountingSink : public kv770::ui::MessageSink {
 public:
  void Show(const QString&) override { ++shown; }
  QString ChooseFileToSave(const QString&, const QString&, const QString&) override { return {}; }
  QString ChooseFileToOpen(const QString&, const QString&) override { return {}; }
  int shown = 0;
};

// The window's side, with nothing on the wire: the reply is what the
// input puts into the exchange buffer.
class NoLink : public kv770::ui::Requests {
 public:
  void Send(const QByteArray&, const QString&, PendingCode, kv770::cycle::RequestKind,
            int) override {}
  void Route(const QByteArray&) override {}
  void SendSerial(const QByteArray&) override {}
  void Await(PendingCode, kv770::cycle::RequestKind, int) override {}
  void StopTimeout() override {}
  RequestCycle& Cycle() override { return cycle; }
  void ShowSent(const QString&) override {}
  void ClearAreas() override {}
  void ClearReceived() override {}
  kv770::ui::MessageSink& Messages() override { return sink; }
  void RefuseWhileLive() const override {}
  int LinkIndex() const override { return 1; }
  bool SerialOpen() const override { return false; }
  QString LinkDescription() const override { return {}; }
  bool LinkOpen(bool) const override { return false; }
  void Write(bool, const QByteArray&) override {}
  void Idle() override {}

  RequestCycle cycle;
  CountingSink sink;
};

// The codes the window sets, and one no sender uses.
constexpr std::array<std::int32_t, 10> kCodes{0, 100, 103, 104, 200, 201, 202, 301, 302, 7777};

struct Tabs {
  NoLink requests;
  kv770::link::TComm serial;
  kv770::link::TClientSocket socket;
  kv770::ui::SystemTab system{requests, serial, socket};
  kv770::ui::TransparentTab transparent{requests};
  kv770::ui::ModbusTab modbus{requests};
  QComboBox* instrumentType = modbus.findChild<QComboBox*>(QStringLiteral("ComboBox17"));
};

Tabs* tabs = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Both stay until the process ends, reachable, as Qt's own caches
  // expect: destroying the application from a static destructor would
  // leave font caches that other statics already dropped.
  new QApplication(*argc, *argv);
  tabs = new Tabs;
  return 0;
}

// Input: records of a code byte, a flags byte (bit 0: the serial link's
// 255-character cap; the rest the instrument type the MODBUS tab shows), a
// length byte (times two, so blocks longer than the reply area come up)
// and the block.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NoLink& requests = tabs->requests;
  requests.cycle = RequestCycle{};  // what a decoder reads comes from this input only
  std::size_t p = 0;
  while (p + 3 <= size) {
    const auto code = static_cast<PendingCode>(kCodes[data[p] % kCodes.size()]);
    const std::uint8_t flags = data[p + 1];
    const std::size_t length = std::min<std::size_t>(2u * data[p + 2], size - p - 3);
    const QByteArray block(reinterpret_cast<const char*>(data + p + 3),
                           static_cast<qsizetype>(length));
    p += 3 + length;

    tabs->instrumentType->setCurrentIndex(static_cast<int>(flags >> 1) % 15 - 1);
    requests.cycle.StoreReply(block, flags & 1 ? 255 : -1);
    requests.cycle.Pending = code;
    int decoders = 0;
    kv770::ui::RunShowingErrors(requests.sink, [&] {
      for (kv770::ui::Tab* tab : std::initializer_list<kv770::ui::Tab*>{
               &tabs->system, &tabs->transparent, &tabs->modbus})
        if (tab->Decode(code)) ++decoders;
    });
    FUZZ_CHECK(decoders <= 1);
    for (kv770::ui::Tab* tab :
         std::initializer_list<kv770::ui::Tab*>{&tabs->system, &tabs->transparent, &tabs->modbus})
      for (QComboBox* combo : tab->findChildren<QComboBox*>())
        FUZZ_CHECK(combo->currentIndex() >= -1 && combo->currentIndex() < combo->count());
  }
  return 0;
}
