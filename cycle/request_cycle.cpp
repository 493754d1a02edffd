#include "cycle/request_cycle.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kv770::cycle {

QString ByteToHex(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const QChar pair[2] = {QLatin1Char(kDigits[value >> 4]), QLatin1Char(kDigits[value & 0x0F])};
  return QString(pair, 2);
}

QString BytesToHex(const QByteArray& bytes) {
  QString text;
  text.reserve(bytes.size() * 3);
  for (char b : bytes) text += ByteToHex(static_cast<std::uint8_t>(b)) + QLatin1Char(' ');
  return text;
}

Dispatch DispatchFor(std::int32_t pendingCode) {
  switch (pendingCode) {
    case kCommunicationCheck:
    case kSystemReport:
    case kModbusReport:
      return {.hex = false, .startTimer2 = true, .resetCode = false};
    case kHartIdentity:
    case kHartVariables:
      return {.hex = true, .startTimer2 = true, .resetCode = false};
    case kHartManual:
    case kModbusTest:
      return {.hex = true, .startTimer2 = false, .resetCode = false};
    default:
      return {.hex = false, .startTimer2 = false, .resetCode = true};
  }
}

TimeoutReport TimeoutReportFor(std::int32_t requestKind, const QString& contactPhone) {
  switch (requestKind) {
    case kKindConnection:
      return {.show = true,
              .setLabel68 = false,
              .label68 = QString(),
              .message = QStringLiteral("Connection timeout, please contact Velmora Electronics") +
                         contactPhone + QLatin1Char('!')};
    case kKindQuery:
      return {.show = true,
              .setLabel68 = true,
              .label68 = QString(),
              .message = QStringLiteral("parameter query timeout!")};
    case kKindSetting:
      return {.show = true,
              .setLabel68 = true,
              .label68 = QStringLiteral("set timeout"),
              .message = QStringLiteral("!")};
    default:
      return {};
  }
}

void RequestCycle::StoreReply(const QByteArray& block, int textCap) {
  const int stored = std::min<int>(block.size(), kReplyAreaSize);
  if (stored > 0) std::memcpy(ExchangeBuffer.data() + kReplyArea, block.constData(), stored);
  ReplyText = textCap < 0 ? block : block.left(textCap);
}

QByteArray RequestCycle::Stage(const QByteArray& request) {
  if (request.size() > kRequestAreaSize)
    throw std::length_error("request longer than the request area");
  std::memcpy(ExchangeBuffer.data() + kRequestArea, request.constData(), request.size());
  return request;
}

std::uint8_t RequestCycle::ReplyByte(int i) const {
  if (i < 0 || i >= kReplyAreaSize) return 0;
  return ExchangeBuffer[kReplyArea + i];
}

QString RequestCycle::ReplyHex(int count) const {
  QString text;
  text.reserve(count * 3);
  for (int i = 0; i < count; ++i) {
    const std::uint8_t b = i < kReplyAreaSize ? ExchangeBuffer[kReplyArea + i]
                           : i < ReplyText.size() ? static_cast<std::uint8_t>(ReplyText[i])
                                                  : 0;
    text += ByteToHex(b) + QLatin1Char(' ');
  }
  return text;
}

}  // namespace kv770::cycle
