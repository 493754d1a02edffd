// Random reply blocks at random pending codes through the reply store and
// the receive dispatch's hex form: never a write or read outside the
// exchange buffer, and the hex form always shows exactly the count asked.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cycle/request_cycle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kv770::cycle::RequestCycle cycle;
  if (size < 3) return 0;
  std::int32_t code = 0;
  std::memcpy(&code, data, 2);
  const int cap = data[2] & 1 ? 255 : -1;
  const QByteArray block(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));
  cycle.PendingCode = code;
  const kv770::cycle::Dispatch d = kv770::cycle::DispatchFor(code);
  cycle.StoreReply(block, cap);
  const int count = static_cast<int>(cycle.ReplyText.size());
  if (d.hex && cycle.ReplyHex(count).size() != 3 * count) __builtin_trap();
  for (int i = -2; i < count + 2; ++i) (void)cycle.ReplyByte(i);
  return 0;
}
