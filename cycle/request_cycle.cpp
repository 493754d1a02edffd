// SPDX-License-Identifier: GPL-3.0-or-later
#include "cycle/request_cycle.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kv770::cycle {

Dispatch DispatchFor(PendingCode code) {
  switch (code) {
    case PendingCode::kCommunicationCheck:
    case PendingCode::kSystemParametersQuery:
    case PendingCode::kMeterMappingQuery:
      return {.hex = false, .startParseTimer = true, .resetCode = false};
    case PendingCode::kHartIdentityQuery:
    case PendingCode::kHartVariablesQuery:
      return {.hex = true, .startParseTimer = true, .resetCode = false};
    case PendingCode::kHartManualCommand:
    case PendingCode::kModbusReadTest:
      return {.hex = true, .startParseTimer = false, .resetCode = false};
    default:
      return {.hex = false, .startParseTimer = false, .resetCode = true};
  }
}

TimeoutReport TimeoutReportFor(RequestKind kind, const QString& contactPhone) {
  switch (kind) {
    case RequestKind::kConnection:
      return {.show = true,
              .setStatus = false,
              .status = QString(),
              .message = QStringLiteral("Connection timeout, please contact Velmora Electronics") +
                         contactPhone + QLatin1Char('!')};
    case RequestKind::kParameterQuery:
      return {.show = true,
              .setStatus = true,
              .status = QString(),
              .message = QStringLiteral("parameter query timeout!")};
    case RequestKind::kSetting:
      return {.show = true,
              .setStatus = true,
              .status = QStringLiteral("set timeout"),
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

QByteArray RequestCycle::ReplyBytes(int count) const {
  QByteArray bytes(std::max(count, 0), '\0');
  for (int i = 0; i < count; ++i) {
    bytes[i] = i < kReplyAreaSize     ? static_cast<char>(ExchangeBuffer[kReplyArea + i])
               : i < ReplyText.size() ? ReplyText[i]
                                      : '\0';
  }
  return bytes;
}

}  // namespace kv770::cycle
