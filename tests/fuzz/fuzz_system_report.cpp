// SPDX-License-Identifier: GPL-3.0-or-later
// The system report decoder on any reply: it reads only the bytes it was
// given, and what it returns keeps the decoder's promises: nothing without
// the marker, one-character numbers, three-character texts, and nothing
// after the field it stopped on.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "gateway/reports.h"

namespace {

bool Digit(const std::optional<int>& v) {
  return !v || (*v >= 0 && *v <= 9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A view of exactly the input: a read past its end is a read outside
  // the fuzzer's buffer.
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const kv770::gateway::SystemReport r = kv770::gateway::DecodeSystemReport(reply);

  FUZZ_CHECK(r.marker == (reply.find("QX") != std::string_view::npos));
  if (!r.marker) {
    FUZZ_CHECK(!r.baud && !r.parity && !r.workingMode && !r.slaveAddress && !r.pollingInterval &&
               !r.badNumber);
    return 0;
  }
  // A single character converts to a digit or not at all.
  FUZZ_CHECK(Digit(r.baud) && Digit(r.parity) && Digit(r.workingMode));
  FUZZ_CHECK(!r.slaveAddress || r.slaveAddress->size() <= 3);
  FUZZ_CHECK(!r.pollingInterval || r.pollingInterval->size() <= 3);
  if (r.slaveAddress) FUZZ_CHECK(reply.find(*r.slaveAddress) != std::string_view::npos);

  if (r.badNumber) {
    FUZZ_CHECK(r.badNumber->size() <= 1);
    // Decoding stopped: the text fields come after every number.
    FUZZ_CHECK(!r.slaveAddress && !r.pollingInterval);
    if (!r.baud) FUZZ_CHECK(!r.parity && !r.workingMode);
    if (!r.parity) FUZZ_CHECK(!r.workingMode);
  }
  // The first "BA1:" decides; two digits after it are the settings.
  if (const std::size_t k = reply.find("BA1:"); k != std::string_view::npos && k + 5 < size) {
    const char b = reply[k + 4], p = reply[k + 5];
    if (b >= '0' && b <= '9' && p >= '0' && p <= '9')
      FUZZ_CHECK(r.baud == b - '0' && r.parity == p - '0');
  }
  return 0;
}
