// SPDX-License-Identifier: GPL-3.0-or-later
// kv770ctl map: the register map, checked against what the simulated
// gateway's registers hold, and written to files whole or not at all.
#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <bit>
#include <cmath>
#include <string>

#include "cli/backup_file.h"
#include "gateway/sample_config.h"
#include "sim/engine.h"
#include "sim/sim_thread.h"
#include "support/ctl_run.h"
#include "tools/modbus_frames.h"

namespace kv770::cli {
namespace {

using test::Ctl;
using test::Outcome;

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// Two registers from `address` of `unit`, as a MODBUS TCP master reads
// them; empty on no reply or a refusal.
std::vector<std::uint8_t> ReadPair(QTcpSocket& socket, std::uint8_t unit, int address) {
  const auto request = tools::TcpReadRequest(unit, static_cast<std::uint8_t>(address), 2);
  socket.write(reinterpret_cast<const char*>(request.data()), request.size());
  QByteArray reply;
  for (;;) {
    const auto r = tools::DecodeTcpReadReply(
        {reinterpret_cast<const std::uint8_t*>(reply.constData()), std::size_t(reply.size())});
    if (r.status == tools::ReadReply::Status::Complete) return r.data;
    if (r.status != tools::ReadReply::Status::Incomplete || !socket.waitForReadyRead(3000))
      return {};
    reply += socket.readAll();
  }
}

// Whether the four register bytes hold `value` in a row's data type and
// byte order as the CSV names them; the simulated gateway rounds Uint32
// values and clamps them at 0.
bool Holds(const std::vector<std::uint8_t>& b, const QString& type, const QString& order,
           double value) {
  const std::uint32_t high = b[0] << 8 | b[1], low = b[2] << 8 | b[3];
  const std::uint32_t pattern = order == "FF2 FF1 FF4 FF3" ? low << 16 | high : high << 16 | low;
  if (type == "IEEE 754 float") return std::bit_cast<float>(pattern) == static_cast<float>(value);
  return pattern == (value > 0 ? static_cast<std::uint32_t>(std::llround(value)) : 0u);
}

// The map of a configured gateway, each listed pair read over MODBUS TCP:
// it holds the listed quantity of the listed meter, times the listed
// coefficient, in the listed type and byte order.
TEST(Map, EveryListedRegisterPairHoldsItsQuantity) {
  sim::SimThread sim;
  ASSERT_TRUE(sim.Start());
  const QStringList link{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.Port()), "--gap", "20"};
  for (const QStringList& set : {
           QStringList{"system", "set", "--mode", "modbus", "--address", "17"},
           {"meter", "1", "set", "--orders", "1,2,3,0,1", "--coefficients", "2.5,0.5,-1.5,2",
            "--variable", "1=1,0,4", "--variable", "2=1,4,4", "--variable", "3=2,0,4"},
           {"meter", "2", "set", "--enable", "close"},
           {"meter", "3", "set", "--type", "5", "--orders", "0,3,2,1,0", "--coefficients",
            "1,2,3,0.25"},
       })
    ASSERT_EQ(Ctl(link + set).code, 0) << set.join(' ').toStdString();

  const Outcome map = Ctl(link + QStringList{"map", "--csv", "-"});
  ASSERT_EQ(map.code, 0) << map.err.toStdString();
  QStringList rows = map.out.split("\r\n", Qt::SkipEmptyParts);
  ASSERT_FALSE(rows.isEmpty());
  rows.removeFirst();
  // Meter 1: current and three parsed variables; meter 2 closed; meter 3
  // all five; meters 4 to 8, custom with nothing parsed: their currents.
  EXPECT_EQ(rows.size(), 4 + 5 + 5);

  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, sim.Port());
  ASSERT_TRUE(socket.waitForConnected(3000));
  const sim::Engine instruments;  // the same instruments, by the same clock
  for (const QString& row : rows) {
    const QStringList f = row.split(',');
    ASSERT_EQ(f.size(), 8) << row.toStdString();
    ASSERT_TRUE(f[4] == "IEEE 754 float" || f[4] == "Uint32") << row.toStdString();
    ASSERT_TRUE(f[5] == "FF4 FF3 FF2 FF1" || f[5] == "FF2 FF1 FF4 FF3") << row.toStdString();
    const int meter = f[2].toInt();
    const int variable =
        f[3] == "current" ? 0 : f[3].mid(QStringLiteral("variable ").size()).toInt();
    EXPECT_EQ(f[0].toInt(), 40001 + f[1].toInt());
    const std::int64_t before = sim.NowMs();
    const std::vector<std::uint8_t> bytes = ReadPair(socket, 17, f[1].toInt());
    const std::int64_t after = sim.NowMs();
    ASSERT_EQ(bytes.size(), 4u) << row.toStdString();
    bool found = false;
    for (std::int64_t t = before; t <= after && !found; ++t)
      found = Holds(bytes, f[4], f[5],
                    variable == 0 ? instruments.LoopCurrent(meter, t)
                                  : instruments.Variable(meter, variable, t) * f[6].toDouble());
    EXPECT_TRUE(found) << row.toStdString();
  }
}

// From a backup: the CSV and the PDF are written; a backup that is refused
// writes neither and leaves what was there.
TEST(Map, FromABackupFileWritesWholeFilesOrNone) {
  QTemporaryDir dir;
  const QString backup = dir.filePath("plant.json");
  const QString csv = dir.filePath("map.csv");
  const QString pdf = dir.filePath("map.pdf");
  {
    QFile f(backup);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(
                BackupToJson(gateway::testing::Sample(), "tcp test", QDateTime::currentDateTime()))
                .toJson());
  }
  const Outcome o = Ctl({"map", "--from", backup, "--csv", csv, "--pdf", pdf});
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_EQ(ReadAll(csv),
            "register,PDU address,meter,quantity,data type,byte order,coefficient,unit\r\n"
            "40001,0,1,current,IEEE 754 float,FF2 FF1 FF4 FF3,,mA\r\n"
            "40003,2,1,variable 1,Uint32,FF4 FF3 FF2 FF1,2.500,\r\n");
  EXPECT_TRUE(ReadAll(pdf).startsWith("%PDF-"));

  const QString bad = dir.filePath("bad.json");
  {
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ReadAll(backup).replace("\"slaveAddress\": 17", "\"slaveAddress\": 1000"));
  }
  QFile::remove(pdf);
  const Outcome refused = Ctl({"map", "--from", bad, "--csv", csv, "--pdf", pdf});
  EXPECT_EQ(refused.code, 2);
  EXPECT_TRUE(refused.err.contains("bad.json: system.slaveAddress: '1000' is out of range"))
      << refused.err.toStdString();
  EXPECT_EQ(ReadAll(csv).count("\r\n"), 3);
  EXPECT_FALSE(QFile::exists(pdf));
}

}  // namespace
}  // namespace kv770::cli
