// SPDX-License-Identifier: GPL-3.0-or-later
// modbus read: holding registers and the values they hold.
#include <QCommandLineParser>
#include <QJsonArray>
#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <optional>

#include "base/hex_text.h"
#include "cli/backup_file.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/values.h"
#include "tools/modbus_frames.h"
#include "tools/register_values.h"

namespace kv770::cli {

namespace {

QString ExceptionName(std::uint8_t code) {
  switch (code) {
    case 1:
      return QStringLiteral("illegal function");
    case 2:
      return QStringLiteral("illegal data address");
    case 3:
      return QStringLiteral("illegal data value");
    case 4:
      return QStringLiteral("slave device failure");
    case 11:
      return QStringLiteral("gateway target device failed to respond");
    default:
      return QStringLiteral("exception");
  }
}

QString OrderName(int code) {
  switch (code) {
    case 1:
      return QStringLiteral("IEEE 754, FF2 FF1 FF4 FF3");
    case 2:
      return QStringLiteral("unsigned, FF4 FF3 FF2 FF1");
    case 3:
      return QStringLiteral("unsigned, FF2 FF1 FF4 FF3");
    default:
      return QStringLiteral("IEEE 754, FF4 FF3 FF2 FF1");
  }
}

// A read of holding registers asks for 1 to 125 of them: the 250 bytes
// of 125 registers are as many as one reply holds.
constexpr int kMaxReadCount = 125;

struct ModbusRead {
  std::uint8_t slave = 1;
  std::uint8_t start = 0;
  std::uint8_t count = 10;
  std::optional<int> order;
};

// The 32-bit values the registers hold, each in its meter's byte order.
QJsonArray SayValues(Session& s, const ModbusRead& m, const std::vector<std::uint8_t>& data,
                     int received) {
  QJsonArray values;
  std::map<int, std::array<int, 5>> orders;  // by meter
  for (int i = 0; i + 1 < received; ++i) {
    const int r = m.start + i;
    const auto [meter, value, first] = tools::PlaceOfRegister(r);
    if (!first) continue;
    if (meter > kMeters) break;
    int order = 0;
    if (m.order) {
      order = *m.order;
    } else {
      if (!orders.count(meter)) orders[meter] = s.ReadMeter(meter).byteOrders;
      order = orders[meter][static_cast<std::size_t>(value)];
    }
    const std::array<std::uint8_t, 4> four{
        data[static_cast<std::size_t>(2 * i)], data[static_cast<std::size_t>(2 * i + 1)],
        data[static_cast<std::size_t>(2 * i + 2)], data[static_cast<std::size_t>(2 * i + 3)]};
    const QString text = QString::fromStdString(tools::RegisterValueText(four, order));
    // The number itself for scripts; a NaN or an infinity, which JSON has
    // no number for, is null beside its text.
    const std::uint32_t pattern = tools::ValuePattern(four, order);
    const double number = tools::IsFloatOrder(order)
                              ? static_cast<double>(std::bit_cast<float>(pattern))
                              : static_cast<double>(pattern);
    const QString name =
        value == 0 ? QStringLiteral("current") : QStringLiteral("variable %1").arg(value);
    if (values.isEmpty()) s.Say(QStringLiteral("values:"));
    s.Say(QStringLiteral("  %1  meter %2 %3  %4  (%5)")
              .arg(tools::kFirstHoldingRegister + r)
              .arg(meter)
              .arg(name, -10)
              .arg(text, OrderName(order)));
    values.append(QJsonObject{
        {QStringLiteral("register"), tools::kFirstHoldingRegister + r},
        {QStringLiteral("meter"), meter},
        {QStringLiteral("quantity"), name},
        {QStringLiteral("byteOrder"), order},
        {QStringLiteral("value"), std::isfinite(number) ? QJsonValue(number) : QJsonValue()},
        {QStringLiteral("text"), text}});
  }
  return values;
}

int ModbusReadCommand(Session& s, const ModbusRead& m, bool serial) {
  const QByteArray frame = serial ? Bytes(tools::RtuReadRequest(m.slave, m.start, m.count))
                                  : Bytes(tools::TcpReadRequest(m.slave, m.start, m.count));
  if (s.dryRun) {
    s.ShowDryRun(
        {{serial ? QStringLiteral("MODBUS RTU read") : QStringLiteral("MODBUS TCP read"), frame}});
    return kDone;
  }
  const auto decode = [serial](const QByteArray& reply) {
    return serial ? tools::DecodeRtuReadReply(Span(reply)) : tools::DecodeTcpReadReply(Span(reply));
  };
  const QByteArray bytes = s.Exchange(frame, [&](const QByteArray& reply) {
    return decode(reply).status != tools::ReadReply::Status::Incomplete;
  });
  const tools::ReadReply reply = decode(bytes);
  if (reply.status == tools::ReadReply::Status::Exception)
    throw Failure{kDeviceFailed, QStringLiteral("the gateway refused the read: exception %1 (%2)")
                                     .arg(reply.exceptionCode)
                                     .arg(ExceptionName(reply.exceptionCode))};
  if (reply.status != tools::ReadReply::Status::Complete)
    throw Failure{
        kDeviceFailed,
        QStringLiteral("the reply is no answer to the read: %1").arg(Text(base::HexText(bytes)))};

  const int received = static_cast<int>(reply.data.size() / 2);
  if (received != m.count)
    s.Note(
        QStringLiteral("asked for %1 registers, the gateway sent %2").arg(m.count).arg(received));
  QJsonArray registers;
  s.Say(QStringLiteral("slave %1, registers %2 to %3:")
            .arg(reply.unit)
            .arg(m.start)
            .arg(m.start + received - 1));
  for (int i = 0; i < received; ++i) {
    const int value = reply.data[static_cast<std::size_t>(2 * i)] << 8 |
                      reply.data[static_cast<std::size_t>(2 * i + 1)];
    registers.append(value);
    s.Say(QStringLiteral("  %1  %2  %3")
              .arg(tools::kFirstHoldingRegister + m.start + i)
              .arg(value, 4, 16, QLatin1Char('0'))
              .arg(value, 5)
              .toUpper());
  }

  const QJsonArray values = SayValues(s, m, reply.data, received);
  s.Result({{QStringLiteral("slave"), reply.unit},
            {QStringLiteral("start"), m.start},
            {QStringLiteral("registers"), registers},
            {QStringLiteral("values"), values}});
  return kDone;
}

}  // namespace

int RunModbus(Session& s, const CommandLine& line) {
  Expect(line.words, 1, QStringLiteral("modbus read [--slave N] [--start N] [--count N]"));
  if (line.verb != QLatin1String("read")) BadUsage(QStringLiteral("usage: kv770ctl modbus read"));
  // One byte each on the wire, as in the window.
  const QCommandLineParser& p = line.options;
  ModbusRead m;
  if (p.isSet("slave"))
    m.slave = static_cast<std::uint8_t>(Integer("--slave", p.value("slave"), 0, 255));
  if (p.isSet("start"))
    m.start = static_cast<std::uint8_t>(Integer("--start", p.value("start"), 0, 255));
  if (p.isSet("count"))
    m.count = static_cast<std::uint8_t>(Integer("--count", p.value("count"), 1, kMaxReadCount));
  if (p.isSet("order")) m.order = Integer("--order", p.value("order"), 0, 3);
  if (!s.link) BadUsage(QStringLiteral("say which link: --tcp HOST[:PORT] or --serial DEV"));
  return ModbusReadCommand(s, m, s.link->IsSerial());
}

}  // namespace kv770::cli
