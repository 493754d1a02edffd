#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace kv770::cycle {

// One byte as two upper-case hexadecimal digits ("0A").
QString ByteToHex(std::uint8_t value);
// Bytes as digit pairs, each followed by one blank ("FF 06 ").
QString BytesToHex(const QByteArray& bytes);

// The codes of the outstanding request.
enum PendingCodes : std::int32_t {
  kNone = 0,
  kHartIdentity = 100,
  kHartVariables = 103,
  kHartManual = 104,
  kSetting = 200,
  kCommunicationCheck = 201,
  kSystemReport = 202,
  kModbusReport = 301,
  kModbusTest = 302,
};

// Which time-out report a request gets.
enum RequestKinds : std::int32_t {
  kKindNone = 0,
  kKindConnection = 1,
  kKindQuery = 2,
  kKindSetting = 3,
};

// What the receive dispatch does for the pending code.
struct Dispatch {
  bool hex = false;          // show the reply as digit pairs, else as text
  bool startTimer2 = false;  // a decoder runs 300 ms later
  bool resetCode = false;    // plain replies end the request at once
};
Dispatch DispatchFor(std::int32_t pendingCode);

// What Timer3 reports for a request kind; nothing for kind 0 or unknown.
struct TimeoutReport {
  bool show = false;
  bool setLabel68 = false;
  QString label68;
  QString message;
};
TimeoutReport TimeoutReportFor(std::int32_t requestKind, const QString& contactPhone);

// The one outstanding request and the buffers every sender and decoder
// share. Lives in the window; touched on the UI thread only.
class RequestCycle {
 public:
  static constexpr int kBufferSize = 916;
  static constexpr int kRequestArea = 8;  // frames are built from here
  static constexpr int kRequestAreaSize = 504;
  static constexpr int kReplyArea = 512;  // replies land here
  static constexpr int kReplyAreaSize = 404;

  std::int32_t PendingCode = kNone;
  std::int32_t RequestKind = kKindNone;
  std::array<std::uint8_t, kBufferSize> ExchangeBuffer{};
  QByteArray ReplyText;

  // Stores a received block: as many bytes as fit into the reply area (the
  // rest of a long reply is not written anywhere), and the reply text of at
  // most `textCap` bytes (-1: the whole block).
  void StoreReply(const QByteArray& block, int textCap = -1);

  // The hex form of the reply: `count` bytes, taken from the reply area and,
  // beyond its end, from ReplyText (which holds the same bytes).
  QString ReplyHex(int count) const;

  // Byte i of the reply area, 0 beyond it.
  std::uint8_t ReplyByte(int i) const;

  // Writes a request into the request area from offset 8, one byte per
  // character, and returns the bytes to send. A request longer than the
  // area is a builder's fault: it is refused rather than written past it.
  QByteArray Stage(const QByteArray& request);

  void Arm(std::int32_t code, std::int32_t kind) {
    PendingCode = code;
    RequestKind = kind;
  }
};

}  // namespace kv770::cycle
