// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "link/serial_devices.h"

namespace kv770::link {
namespace {

QStringList Paths(const QList<SerialDevice>& entries) {
  QStringList paths;
  for (const SerialDevice& e : entries) paths << e.path;
  return paths;
}

TEST(SerialDevicesTest, EntriesFromAnEnumeration) {
  struct Case {
    const char* what;
    QList<EnumeratedPort> ports;
    QStringList paths;
    QStringList tooltips;
  } cases[] = {
      {"ordered by path, numbers as numbers",
       {{"/dev/ttyUSB10", "", "", ""}, {"/dev/ttyACM0", "", "", ""}, {"/dev/ttyUSB2", "", "", ""}},
       {"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10"},
       {"", "", ""}},
      {"a path reported twice is listed once, missing fields taken from the second report",
       {{"/dev/ttyUSB0", "FTDI", "", ""}, {"/dev/ttyUSB0", "Other", "FT232R USB UART", "A10K"}},
       {"/dev/ttyUSB0"},
       {"FTDI FT232R USB UART, serial number A10K"}},
      {"COM1..COM12 already name ttyS0..ttyS11; ttyS12 and odd spellings are listed",
       {{"/dev/ttyS0", "", "", ""},
        {"/dev/ttyS11", "", "", ""},
        {"/dev/ttyS12", "", "", ""},
        {"/dev/ttyS01", "", "", ""},
        {"/dev/ttySX", "", "", ""}},
       {"/dev/ttyS01", "/dev/ttyS12", "/dev/ttySX"},
       {"", "", ""}},
      {"what is known of the adapter, nothing when nothing is",
       {{"/dev/ttyUSB0", "", "CP2102 USB to UART", ""},
        {"/dev/ttyUSB1", "", "", "0001"},
        {"/dev/ttyUSB2", "Prolific", "Prolific", ""},
        {"/dev/ttyUSB3", "", "", ""},
        {"", "Ghost", "", ""}},
       {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3"},
       {"CP2102 USB to UART", "serial number 0001", "Prolific", ""}},
  };
  for (const Case& c : cases) {
    const QList<SerialDevice> entries = SerialDeviceEntries(c.ports);
    EXPECT_EQ(Paths(entries), c.paths) << c.what;
    QStringList tooltips;
    for (const SerialDevice& e : entries) tooltips << e.tooltip;
    EXPECT_EQ(tooltips, c.tooltips) << c.what;
  }
}

TEST(SerialDevicesTest, UnpluggedDeviceIsGoneFromTheNextEnumeration) {
  QList<EnumeratedPort> plugged = {{"/dev/ttyUSB0", "FTDI", "", ""}, {"/dev/ttyACM0", "", "", ""}};
  const PortEnumerator enumerate = [&] { return plugged; };
  ASSERT_EQ(Paths(SerialDevicesPresent(enumerate)), QStringList({"/dev/ttyACM0", "/dev/ttyUSB0"}));
  plugged.removeFirst();
  EXPECT_EQ(Paths(SerialDevicesPresent(enumerate)), QStringList({"/dev/ttyACM0"}));
}

}  // namespace
}  // namespace kv770::link
