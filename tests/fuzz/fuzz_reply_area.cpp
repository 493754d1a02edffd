// SPDX-License-Identifier: GPL-3.0-or-later
// Random blocks, one after the other, through the reply store, at random
// text caps, and requests staged in between: a block lands in the reply
// area only as far as it fits and nowhere else, bytes after a short block
// keep what an earlier one left, the reply text is the block (cut at the
// cap), and the bytes the hex form shows, at any count, are the reply
// area's, then the text's.
#include <QByteArray>
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "cycle/request_cycle.h"
#include "fuzz_check.h"

namespace {

using kv770::cycle::RequestCycle;

void CheckShown(const RequestCycle& cycle, int count) {
  const QByteArray shown = cycle.ReplyBytes(count);
  FUZZ_CHECK(shown.size() == count);
  for (int i = 0; i < count; ++i) {
    const std::uint8_t b = i < RequestCycle::kReplyAreaSize ? cycle.ReplyByte(i)
                           : i < cycle.ReplyText.size()
                               ? static_cast<std::uint8_t>(cycle.ReplyText[i])
                               : 0;
    FUZZ_CHECK(static_cast<std::uint8_t>(shown[i]) == b);
  }
}

}  // namespace

// Input: records of a flags byte (bit 0: a request to stage rather than a
// reply; bit 1: the serial link's 255-character cap), a two-byte length
// (up to 1 KiB, so blocks longer than the area are common) and the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RequestCycle cycle;
  std::size_t p = 0;
  while (p + 3 <= size) {
    const std::uint8_t flags = data[p];
    const std::size_t wanted = (data[p + 1] | data[p + 2] << 8) & 0x3FF;
    const std::size_t length = std::min(wanted, size - p - 3);
    const QByteArray bytes(reinterpret_cast<const char*>(data + p + 3),
                           static_cast<qsizetype>(length));
    p += 3 + length;
    const std::array<std::uint8_t, RequestCycle::kBufferSize> before = cycle.ExchangeBuffer;

    if (flags & 1) {
      try {
        FUZZ_CHECK(cycle.Stage(bytes) == bytes);
        FUZZ_CHECK(bytes.size() <= RequestCycle::kRequestAreaSize);
      } catch (const std::length_error&) {
        FUZZ_CHECK(bytes.size() > RequestCycle::kRequestAreaSize);
        FUZZ_CHECK(cycle.ExchangeBuffer == before);
        continue;
      }
      for (int i = 0; i < RequestCycle::kBufferSize; ++i) {
        const bool staged =
            i >= RequestCycle::kRequestArea && i < RequestCycle::kRequestArea + bytes.size();
        FUZZ_CHECK(cycle.ExchangeBuffer[i] ==
                   (staged ? static_cast<std::uint8_t>(bytes[i - RequestCycle::kRequestArea])
                           : before[i]));
      }
      continue;
    }

    const int cap = flags & 2 ? 255 : -1;
    cycle.StoreReply(bytes, cap);
    FUZZ_CHECK(cycle.ReplyText == (cap < 0 ? bytes : bytes.left(cap)));
    for (int i = 0; i < RequestCycle::kBufferSize; ++i) {
      const int r = i - RequestCycle::kReplyArea;
      const bool written = r >= 0 && r < bytes.size();
      FUZZ_CHECK(cycle.ExchangeBuffer[i] ==
                 (written ? static_cast<std::uint8_t>(bytes[r]) : before[i]));
    }
    for (int i = -2; i < RequestCycle::kReplyAreaSize + 2; ++i) {
      const bool inside = i >= 0 && i < RequestCycle::kReplyAreaSize;
      FUZZ_CHECK(cycle.ReplyByte(i) ==
                 (inside ? cycle.ExchangeBuffer[RequestCycle::kReplyArea + i] : 0));
    }
    // The count each receive handler passes, and one beyond the text.
    CheckShown(cycle, static_cast<int>(cycle.ReplyText.size()));
    CheckShown(cycle, static_cast<int>(std::min<qsizetype>(cycle.ReplyText.size() + 3, 1100)));
  }
  return 0;
}
