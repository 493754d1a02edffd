// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "live/monitor.h"

namespace kv770::live {
namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line.substr(0, line.size() - 2));  // without "\r\n"
  for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
  if (!line.empty() && line[line.size() - 3] == ',') fields.emplace_back();
  return fields;
}

const std::vector<Column> kColumns{{1, 0, "mA", ""},
                                   {1, 1, "", "2.500"},
                                   {1, 2, "m³/h", "0.100"},
                                   {2, 3, "°C", ""},
                                   {2, 4, "", ""}};

TEST(Csv, HeaderNamesEachColumnWithUnitAndCoefficient) {
  EXPECT_EQ(CsvHeader(kColumns),
            "time,meter 1 current (mA),meter 1 variable 1 (×2.500),"
            "meter 1 variable 2 (m³/h ×0.100),meter 2 variable 3 (°C),meter 2 variable 4\r\n");
}

// Values read back from a row are the samples' (as floats, and whole
// unsigned register values exactly); a gap is an empty field.
TEST(Csv, RowValuesReadBackAsTheSamples) {
  const std::int64_t t = 1'765'216'913'123;  // 2025-12-08T18:01:53.123Z
  const std::vector<Sample> samples{
      {t, 1, 0, static_cast<float>(12.3456789), "mA", Status::kOk},
      {t, 1, 1, 4294967295.0, "", Status::kOk},
      {t, 1, 2, NAN, "m³/h", Status::kNoAnswer},
      {t, 2, 3, static_cast<float>(-1.17549435e-38), "°C", Status::kOk},
      {t, 2, 4, NAN, "", Status::kBadReply},
      {t + 1000, 1, 2, 5.0, "", Status::kOk},  // another poll's: not in this row
  };
  const std::string row = CsvRow(t, kColumns, samples);
  ASSERT_TRUE(row.ends_with("\r\n"));
  const std::vector<std::string> f = Fields(row);
  ASSERT_EQ(f.size(), 6u) << row;
  EXPECT_EQ(f[0], "2025-12-08T18:01:53.123Z");
  EXPECT_EQ(static_cast<float>(std::strtod(f[1].c_str(), nullptr)), samples[0].value);
  EXPECT_EQ(f[2], "4294967295");
  EXPECT_EQ(f[3], "");
  EXPECT_EQ(static_cast<float>(std::strtod(f[4].c_str(), nullptr)), samples[3].value);
  EXPECT_EQ(f[5], "");
}

// One text for the monitor's lines, the window's table and the CSV: a float
// with the fewest digits that read back as it, a whole number in full.
TEST(ValueText, ShortestFloatWholeNumbersInFull) {
  struct Row {
    double value;
    char separator;
    std::string text;
  };
  const Row rows[] = {
      {static_cast<float>(45.052), '.', "45.052"},
      {static_cast<float>(0.1), '.', "0.1"},
      {static_cast<float>(-4.5), ',', "-4,5"},
      {static_cast<float>(1e-5), '.', "1e-05"},
      {static_cast<float>(1e20), '.', "1e+20"},
      {100000.0, '.', "100000"},
      {4294967295.0, '.', "4294967295"},
      {0.1, '.', "0.1"},  // no float: the shortest double
      {NAN, '.', ""},
  };
  for (const Row& row : rows) EXPECT_EQ(ValueText(row.value, row.separator), row.text);
}

}  // namespace
}  // namespace kv770::live
