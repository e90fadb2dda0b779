// The library's tables against the shared reference tables: every row of
// vif-units.tsv and medium.tsv, and the exported names of the .def file.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

#include "TestFiles.h"
#include "mbus/mbus.h"

using namespace mbus_test;

namespace {

struct TsvRow {
  std::string table;
  unsigned code;
  double multiplier;
  std::string unit;
  std::string quantity;
};

std::vector<std::vector<std::string>> ReadTsv(const std::filesystem::path& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (line.back() == '\t') cells.emplace_back();
    rows.push_back(cells);
  }
  return rows;
}

std::vector<TsvRow> VifRows() {
  std::vector<TsvRow> rows;
  for (const auto& c : ReadTsv(SharedDir() / "mbus-tables" / "vif-units.tsv")) {
    if (c.size() < 5) continue;
    rows.push_back(
        {c[0], static_cast<unsigned>(std::stoul(c[1], nullptr, 16)), std::stod(c[2]), c[3], c[4]});
  }
  return rows;
}

// Rows whose multiplier the library corrects, with the value it uses.
bool CorrectedMultiplier(const TsvRow& row, double& multiplier) {
  if (row.table == "fb" && row.code == 0x79) {
    multiplier = 0.01;
    return true;
  }
  if (row.table == "fixed" && row.code >= 0x14 && row.code <= 0x1C) {
    multiplier = std::pow(10.0, row.code - 0x14);
    return true;
  }
  if (row.table == "fixed" && row.code == 0x2F) {
    multiplier = 1e-6;
    return true;
  }
  return false;
}

struct Normalised {
  bool ok = false;
  double multiplier = 0;
  std::string unit, quantity;
};

Normalised Variable(unsigned vif, int vife) {
  mbus_value_information_block vib{};
  vib.vif = static_cast<unsigned char>(vif);
  if (vife >= 0) {
    vib.vife[0] = static_cast<unsigned char>(vife);
    vib.nvife = 1;
  }
  Normalised n;
  char *unit = nullptr, *quantity = nullptr;
  n.ok = mbus_vib_unit_normalize(&vib, 1.0, &unit, &n.multiplier, &quantity) == 0;
  if (n.ok) {
    n.unit = unit;
    n.quantity = quantity;
  }
  return n;
}

// A fixed counter of binary value 1 (status bit 7) yields the multiplier.
Normalised Fixed(unsigned code) {
  unsigned char one[4] = {1, 0, 0, 0};
  Normalised n;
  mbus_record* rec =
      mbus_parse_fixed_record(nullptr, static_cast<char>(0x80), static_cast<char>(code), one);
  if (!rec) return n;
  n.ok = true;
  n.multiplier = rec->value.real_val;
  n.unit = rec->unit;
  n.quantity = rec->quantity;
  mbus_record_free(rec);
  return n;
}

Normalised Lookup(const TsvRow& row) {
  if (row.table == "primary") return Variable(row.code, -1);
  if (row.table == "fd") return Variable(0xFD, static_cast<int>(row.code));
  if (row.table == "fb") return Variable(0xFB, static_cast<int>(row.code));
  return Fixed(row.code);
}

}  // namespace

TEST(MbusTables, EveryVifRowGivesItsMultiplierUnitAndQuantity) {
  const auto rows = VifRows();
  ASSERT_GT(rows.size(), 400u);
  for (const TsvRow& row : rows) {
    SCOPED_TRACE(row.table + " " + std::to_string(row.code));
    const Normalised n = Lookup(row);
    ASSERT_TRUE(n.ok);
    double multiplier = row.multiplier;
    CorrectedMultiplier(row, multiplier);
    EXPECT_NEAR(n.multiplier, multiplier, std::fabs(multiplier) * 1e-5);
    EXPECT_EQ(n.unit, row.unit);
    EXPECT_EQ(n.quantity, row.quantity);
  }
}

TEST(MbusTables, FixedVolumeFlowCodesRunFromMillilitresToHundredCubicMetres) {
  EXPECT_NEAR(Fixed(0x2F).multiplier, 1e-6, 1e-12);
  const Normalised n = Fixed(0x30);
  ASSERT_TRUE(n.ok);
  EXPECT_NEAR(n.multiplier, 1e-5, 1e-11);
  EXPECT_EQ(n.unit, "m^3/h");
  EXPECT_NEAR(Fixed(0x35).multiplier, 1.0, 1e-9);
}

TEST(MbusTables, CodesWithoutRowHaveNoNormalisedUnit) {
  EXPECT_FALSE(Variable(0x7B, -1).ok);
  EXPECT_FALSE(Variable(0x7D, -1).ok);
  EXPECT_FALSE(Fixed(0x00).ok);
}

TEST(MbusTables, EveryMediumRowGivesItsText) {
  std::set<unsigned> listed;
  for (const auto& c : ReadTsv(SharedDir() / "mbus-tables" / "medium.tsv")) {
    ASSERT_EQ(c.size(), 2u);
    const unsigned code = static_cast<unsigned>(std::stoul(c[0], nullptr, 16));
    listed.insert(code);
    EXPECT_EQ(mbus_data_variable_medium_lookup(static_cast<unsigned char>(code)), c[1]) << code;
  }
  EXPECT_EQ(listed.size(), 37u);
  EXPECT_STREQ(mbus_data_variable_medium_lookup(0x22), "Reserved");
  EXPECT_STREQ(mbus_data_variable_medium_lookup(0x3F), "Reserved");
  EXPECT_STREQ(mbus_data_variable_medium_lookup(0x40), "Unknown medium (0x40)");
  EXPECT_STREQ(mbus_data_variable_medium_lookup(0xFF), "Unknown medium (0xff)");
}

TEST(MbusTables, DefFileExportsExactlyTheApiNamesAndTheTextRelease) {
  std::set<std::string> api;
  for (const auto& c : ReadTsv(SharedDir() / "mbus-tables" / "api-names.tsv")) api.insert(c[0]);
  ASSERT_EQ(api.size(), 109u);
  std::set<std::string> exported;
  std::istringstream def(ReadFile(MBUS_DEF_FILE));
  for (std::string line; std::getline(def, line);)
    if (line.rfind("  ", 0) == 0) exported.insert(line.substr(2));
  api.insert("mbus_str_free");
  EXPECT_EQ(exported, api);
}
