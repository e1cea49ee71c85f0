// The measurement rows that "Calc Stress" reads from the worksheet, and how it says which cell
// stops it.
#include "stress/worksheet_cells.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "crystal/symmetry_classes.h"

namespace polydec::stress {
namespace {

using ::testing::HasSubstr;

// Rows of S1-layout cells: label, h k l, phi, psi, d, +/-, d0, +/-, S1, 1/2 S2.
core::CellTable Sheet(const std::vector<std::vector<std::string>>& rows) {
  core::CellTable g;
  NewWorksheet(g);
  NameWorksheetColumns(g, false);
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c)
      g.SetCell(static_cast<int>(c) + 1, static_cast<int>(r) + 1, rows[r][c]);
  return g;
}

TEST(ReadStressRows, TextLabelsKeepTheRowsTogetherUntilARowWithoutDirection) {
  const std::vector<std::string> row = {"A", "2 1 1", "0", "45", "1.17", "1e-5",
                                        "1.17", "1e-4", "-1.25", "5.75"};
  std::vector<std::vector<std::string>> rows(4, row);
  rows[1][0] = "sample 3";
  rows[3][2] = rows[3][3] = " ";  // a label, but no direction: the measurements end here
  rows.push_back(row);            // not read: it lies after the end
  const WorksheetStressRows read = ReadStressRows(Sheet(rows), false);
  ASSERT_FALSE(read.error) << read.error->message;
  ASSERT_EQ(read.rows.size(), 3u);
  EXPECT_EQ(read.rows[1].label, "sample 3");
  EXPECT_EQ(read.rows[2].row, 3);
}

TEST(ReadStressRows, ARefusalNamesTheRowAndTheColumn) {
  const std::vector<std::string> row = {"1", "2 1 1", "0", "45", "1.17", "1e-5",
                                        "1.17", "1e-4", "-1.25", "5.75"};
  struct Case {
    int col;  // 0-based in `row`
    std::string cell, expected;
  } cases[] = {
      {3, "-45,0", "at line 2 (row 2, psi: \"-45,0\" is not a number)"},
      {8, " ",
       "(row 2, S1: the cell is empty; the stress factors are missing: run \"Calc DEC\" "
       "first)"},
      {3, "1e30", "Out of range at line 2 (row 2, psi: \"1e30\" lies beyond 360 degrees)"},
      {4, "0", "(row 2, d: \"0\" is no lattice spacing: a spacing is positive)"},
      {6, "-1.17", "(row 2, d0: \"-1.17\" is no lattice spacing"},
      {5, "1e-4900", "(row 2, +/-: \"1e-4900\" lies outside the magnitudes 1E-100 to 1E100"},
      {9, "1e400", "(row 2, ½S2: \"1e400\" lies outside the magnitudes"},
      {5, "-1e-5", "(row 2, +/-: \"-1e-5\" is no uncertainty: an uncertainty is not negative)"},
      {7, "-1e-4", "(row 2, +/-: \"-1e-4\" is no uncertainty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    std::vector<std::vector<std::string>> rows(2, row);
    rows[1][static_cast<std::size_t>(c.col)] = c.cell;
    const WorksheetStressRows read = ReadStressRows(Sheet(rows), false);
    ASSERT_TRUE(read.error);
    EXPECT_THAT(read.error->message, HasSubstr(c.expected));
    EXPECT_EQ(read.error->line, 2);
    EXPECT_EQ(read.error->column, c.col + 1);
  }
}

// Empty uncertainty cells of d and d0 are read as not given (the fit decides what that means);
// an uncertainty that is there must still be a number.
TEST(ReadStressRows, EmptyUncertaintiesAreNotGiven) {
  const std::vector<std::string> row = {"1", "2 1 1", "0", "45", "1.17", " ",
                                        "1.17", " ", "-1.25", "5.75"};
  const WorksheetStressRows read = ReadStressRows(Sheet({row}), false);
  ASSERT_FALSE(read.error) << read.error->message;
  ASSERT_EQ(read.rows.size(), 1u);
  EXPECT_FALSE(read.rows[0].sdGiven);
  EXPECT_FALSE(read.rows[0].sd0Given);
  EXPECT_EQ(read.rows[0].sd, 0);
  std::vector<std::string> bad = row;
  bad[5] = "x";
  EXPECT_TRUE(ReadStressRows(Sheet({bad}), false).error);
}

// A fitted data set holding a value that is not finite in double precision is refused, naming
// the value and the set's first row; a sound one passes.
TEST(NonFiniteResult, NamesTheFirstValueThatIsNotFinite) {
  StressSetResult r;
  r.label = "A";
  r.rows = {3, 4};
  r.dCalc = {1.17L, 1.17L};
  EXPECT_FALSE(NonFiniteResult(r));
  r.dCalc[1] = 1e400L;  // finite in 80 bits, not in the double of a JSON number
  auto e = NonFiniteResult(r);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 4);
  EXPECT_THAT(e->message, HasSubstr("data set \"A\" (from row 3) gives no finite d_calc"));
  r.chisq = std::numeric_limits<Real>::infinity();
  e = NonFiniteResult(r);
  ASSERT_TRUE(e);
  EXPECT_THAT(e->message, HasSubstr("no finite chisq"));
}

// The "h k l" cell: reflection, then model code and grain axes; brackets make four indices
// unambiguous, and the one text that reads two ways is refused.
TEST(ReadReflectionCell, CellsGiveAReflectionOrARefusal) {
  using crystal::kCubic;
  using crystal::kHexagonal;
  using crystal::kTrigonal1;
  const std::optional<Real> none;
  const struct {
    std::string cell;
    int crystalClass;
    std::array<Real, 3> hkl;
    std::optional<int> code;
    std::optional<Real> axisC;
    std::string error;  // a part of the refusal, else empty
  } cases[] = {
      {"2 1 1", kCubic, {2, 1, 1}, {}, none, ""},
      {"2 1 1 2", kCubic, {2, 1, 1}, 2, none, ""},
      {"2 1 1 x", kCubic, {2, 1, 1}, {}, none, ""},   // no code: the window's model
      {"1 0 -1 1", kCubic, {1, 0, -1}, 1, none, ""},  // no fourth index in a cubic phase
      // As the stress-factor file loader writes it: reflection, code, axes, name.
      {"1 0 -1 3 1 1 2 Ti64", kHexagonal, {1, 0, -1}, 3, 2, ""},
      {"1 0 1 2", kHexagonal, {1, 0, 1}, 2, none, ""},  // 1 is no -(1 + 0): h k l and code
      {"(1 0 -1 1)", kHexagonal, {1, 0, 1}, {}, none, ""},
      {"(1 0 -1 1) 2", kTrigonal1, {1, 0, 1}, 2, none, ""},
      {"[1 0 -1] 1 1 1 3", kHexagonal, {1, 0, -1}, 1, 3, ""},
      {"{2 1 1}", kCubic, {2, 1, 1}, {}, none, ""},
      {"1 0 -1 1",
       kHexagonal,
       {},
       {},
       none,
       "reads two ways in a hexagonal or trigonal phase: write \"(1 0 -1 1)\" for the four "
       "indices h k i l, or \"(1 0 -1) 1\" for h k l with the model code 1"},
      {"(1 0 -1 1)", kCubic, {}, {}, none, "is no reflection: four indices h k i l are for"},
      {"(1 0 0 1) 2", kHexagonal, {}, {}, none, "the third index must be -(h + k) = -1"},
      {"211", kCubic, {}, {}, none, "is no reflection: write the indices separated by blanks"},
      {"1 0", kHexagonal, {}, {}, none, "or the four indices in brackets, (h k i l)"},
      {"0 0 0 2", kCubic, {}, {}, none, "0 0 0 is no lattice plane"},
      {"1e400 1 1", kCubic, {}, {}, none, "beyond the largest index"},
      {"(2 1 1 3", kCubic, {}, {}, none, "the bracket \"(\" is not closed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.cell + "\" in class " + std::to_string(c.crystalClass));
    const ReflectionCell r =
        ReadReflectionCell(c.cell, static_cast<polydec::CrystalClass>(c.crystalClass));
    if (!c.error.empty()) {
      EXPECT_THAT(r.error, HasSubstr(c.error));
      continue;
    }
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.hkl, c.hkl);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.axes[2], c.axisC);
  }
}

// "Calc DEC" stops at the ambiguous cell and selects it; nothing is computed for it.
TEST(FillStressFactors, AnAmbiguousReflectionStopsAtItsCell) {
  core::CellTable g = Sheet({{"1", "(1 0 -1 1)", "0", "0"}, {"1", "1 0 -1 1", "0", "45"}});
  std::vector<std::array<Real, 3>> asked;
  const auto compute = [&asked](const FactorRow& row) {
    asked.push_back(row.hkl);
    return FactorOutcome{};
  };
  const auto stop = FillStressFactors(g, false, crystal::kHexagonal, compute, nullptr);
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->row, 2);
  EXPECT_EQ(stop->col, g.ColumnOf("h k l"));
  EXPECT_THAT(stop->error.message,
              HasSubstr("Not a valid input! (row 2, h k l: \"1 0 -1 1\" reads two ways"));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], (std::array<Real, 3>{1, 0, 1}));
}

}  // namespace
}  // namespace polydec::stress
