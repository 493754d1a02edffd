// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

#include "base/hex_text.h"

namespace kv770::cycle {

// The send and receive areas show bytes as digit pairs, each followed by a
// blank: "01 03 00 00 00 0A C5 CD ".
inline constexpr base::HexLayout kAreaHex{.trailing = true};

// The outstanding request. The numbers are the gateway tool's own: the
// receive dispatch and the time-out report are keyed by them.
enum class PendingCode : std::int32_t {
  kNone = 0,
  kHartIdentityQuery = 100,      // HART command 0: manufacturer, type, id
  kHartVariablesQuery = 103,     // HART command 3: the four dynamic variables
  kHartManualCommand = 104,      // a HART frame typed by the user
  kGatewaySetting = 200,         // any "Set": the gateway acknowledges in text
  kCommunicationCheck = 201,     // proves the gateway answers on this link
  kSystemParametersQuery = 202,  // RS-485, slave address, mode, polling
  kMeterMappingQuery = 301,      // one meter's MODBUS mapping and parsing
  kModbusReadTest = 302,         // a MODBUS read request, RTU or TCP
};

// Which time-out report a request gets.
enum class RequestKind : std::int32_t {
  kNone = 0,
  kConnection = 1,
  kParameterQuery = 2,
  kSetting = 3,
};

// What the receive dispatch does for the pending request.
struct Dispatch {
  bool hex = false;              // show the reply as digit pairs, else as text
  bool startParseTimer = false;  // a decoder runs once the parse delay has passed
  bool resetCode = false;        // plain replies end the request at once
};
Dispatch DispatchFor(PendingCode code);

// What the time-out timer reports for a request kind; nothing for kNone or
// an unknown kind. Queries and settings also put a status text on the window.
struct TimeoutReport {
  bool show = false;
  bool setStatus = false;
  QString status;
  QString message;
};
TimeoutReport TimeoutReportFor(RequestKind kind, const QString& contactPhone);

// The one outstanding request and the buffers every sender and decoder
// share. Lives in the window; touched on the UI thread only.
class RequestCycle {
 public:
  static constexpr int kBufferSize = 916;
  static constexpr int kRequestArea = 8;  // frames are built from here
  static constexpr int kRequestAreaSize = 504;
  static constexpr int kReplyArea = 512;  // replies land here
  static constexpr int kReplyAreaSize = 404;

  PendingCode Pending = PendingCode::kNone;
  RequestKind Kind = RequestKind::kNone;
  std::array<std::uint8_t, kBufferSize> ExchangeBuffer{};
  QByteArray ReplyText;

  // Stores a received block: as many bytes as fit into the reply area (the
  // rest of a long reply is not written anywhere), and the reply text of at
  // most `textCap` bytes (-1: the whole block).
  void StoreReply(const QByteArray& block, int textCap = -1);

  // The reply as its hex form shows it: `count` bytes, taken from the reply
  // area and, beyond its end, from ReplyText (which holds the same bytes),
  // then zeros.
  QByteArray ReplyBytes(int count) const;

  // Byte i of the reply area, 0 beyond it.
  std::uint8_t ReplyByte(int i) const;

  // Writes a request into the request area from offset 8, one byte per
  // character, and returns the bytes to send. A request longer than the
  // area is a builder's fault: it is refused rather than written past it.
  QByteArray Stage(const QByteArray& request);

  void Arm(PendingCode code, RequestKind kind) {
    Pending = code;
    Kind = kind;
  }
};

}  // namespace kv770::cycle
