// SPDX-License-Identifier: GPL-3.0-or-later
#include "cycle/request_cycle.h"

#include <gtest/gtest.h>

#include "cycle/convert.h"
#include "link/errors.h"

namespace kv770::cycle {
namespace {

TEST(ReceiveDispatch, EveryPendingCodeShowsAndHandsOnAsItShould) {
  struct Row {
    PendingCode code;
    bool hex, startParseTimer, resetCode;
  };
  using enum PendingCode;
  const Row rows[] = {
      {kNone, false, false, true},
      {kHartIdentityQuery, true, true, false},
      {kHartVariablesQuery, true, true, false},
      {kHartManualCommand, true, false, false},
      {kGatewaySetting, false, false, true},
      {kCommunicationCheck, false, true, false},
      {kSystemParametersQuery, false, true, false},
      {kMeterMappingQuery, false, true, false},
      {kModbusReadTest, true, false, false},
      {static_cast<PendingCode>(12345), false, false, true},
      {static_cast<PendingCode>(-1), false, false, true},
  };
  for (const Row& row : rows) {
    const Dispatch d = DispatchFor(row.code);
    const auto number = static_cast<int>(row.code);
    EXPECT_EQ(d.hex, row.hex) << number;
    EXPECT_EQ(d.startParseTimer, row.startParseTimer) << number;
    EXPECT_EQ(d.resetCode, row.resetCode) << number;
  }
}

TEST(TimeoutReport, EachKindReportsItsOwnWay) {
  const TimeoutReport connection =
      TimeoutReportFor(RequestKind::kConnection, QStringLiteral("123"));
  EXPECT_TRUE(connection.show);
  EXPECT_FALSE(connection.setStatus);
  EXPECT_EQ(connection.message,
            QStringLiteral("Connection timeout, please contact Velmora Electronics123!"));

  const TimeoutReport query = TimeoutReportFor(RequestKind::kParameterQuery, {});
  EXPECT_TRUE(query.setStatus);
  EXPECT_EQ(query.status, QString());
  EXPECT_EQ(query.message, QStringLiteral("parameter query timeout!"));

  const TimeoutReport setting = TimeoutReportFor(RequestKind::kSetting, {});
  EXPECT_EQ(setting.status, QStringLiteral("set timeout"));
  EXPECT_EQ(setting.message, QStringLiteral("!"));

  EXPECT_FALSE(TimeoutReportFor(RequestKind::kNone, {}).show);
  EXPECT_FALSE(TimeoutReportFor(static_cast<RequestKind>(7), {}).show);
}

TEST(ReplyStore, ZeroBytesStayInTheTextAndShowAsDigits) {
  RequestCycle cycle;
  cycle.StoreReply(QByteArray("A\0B", 3));
  EXPECT_EQ(cycle.ReplyText.size(), 3);
  EXPECT_EQ(cycle.ReplyText.at(1), '\0');
  EXPECT_EQ(cycle.ReplyBytes(3), QByteArray("A\0B", 3));
}

TEST(ReplyStore, LongReplyFillsOnlyTheReplyAreaAndKeepsItsFullText) {
  RequestCycle cycle;
  cycle.ExchangeBuffer.fill(0xEE);
  QByteArray block(1000, '\0');
  for (int i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i & 0xFF);
  cycle.StoreReply(block);

  EXPECT_EQ(cycle.ReplyText, block);
  for (int i = 0; i < RequestCycle::kReplyArea; ++i)
    ASSERT_EQ(cycle.ExchangeBuffer[i], 0xEE) << "request area touched at " << i;
  for (int i = 0; i < RequestCycle::kReplyAreaSize; ++i) ASSERT_EQ(cycle.ReplyByte(i), i & 0xFF);
  EXPECT_EQ(cycle.ReplyByte(RequestCycle::kReplyAreaSize), 0);
  EXPECT_EQ(cycle.ReplyByte(-1), 0);

  // The hex form of a reply longer than the area shows every byte received.
  EXPECT_EQ(cycle.ReplyBytes(block.size()), block);
}

TEST(ReplyStore, TextCapKeepsTheWholeBlockInTheArea) {
  RequestCycle cycle;
  const QByteArray block(300, 'x');
  cycle.StoreReply(block, 255);
  EXPECT_EQ(cycle.ReplyText.size(), 255);
  EXPECT_EQ(cycle.ReplyByte(299), 'x');
}

TEST(ReplyStore, ShorterReplyLeavesTheRestOfTheEarlierOne) {
  RequestCycle cycle;
  cycle.StoreReply("ABCDEF");
  cycle.StoreReply("xy");
  EXPECT_EQ(cycle.ReplyText, QByteArray("xy"));
  EXPECT_EQ(cycle.ReplyByte(2), 'C');
}

TEST(StrToInt, AcceptsWhatThePlatformConversionAccepts) {
  EXPECT_EQ(StrToInt(QStringLiteral("7")), 7);
  EXPECT_EQ(StrToInt(QStringLiteral("  7")), 7);
  EXPECT_EQ(StrToInt(QStringLiteral("-5")), -5);
  EXPECT_EQ(StrToInt(QStringLiteral("+5")), 5);
  EXPECT_EQ(StrToInt(QStringLiteral("007")), 7);
  EXPECT_EQ(StrToInt(QStringLiteral("$1F")), 31);
  EXPECT_EQ(StrToInt(QStringLiteral("0x1f")), 31);
  EXPECT_EQ(StrToInt(QStringLiteral("$FFFFFFFF")), -1);
  EXPECT_EQ(StrToInt(QStringLiteral("2147483647")), 2147483647);
  EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
}

TEST(StrToInt, RefusesEverythingElseWithTheTypedTextInTheMessage) {
  for (const char* text : {"", " ", "7 ", "abc", "1.5", "2147483648", "-2147483649", "12345678901",
                           "$", "0x", "--1", "$100000000", "1e3"}) {
    try {
      StrToInt(QString::fromUtf8(text));
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
  }
  // Digits of other scripts are not decimal digits here.
  EXPECT_THROW(StrToInt(QString::fromUtf8("\u0663")), EConvertError);
  EXPECT_THROW(StrToInt(QString::fromUtf8("\uFF17")), EConvertError);
}

}  // namespace
}  // namespace kv770::cycle
