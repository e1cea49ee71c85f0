// The measurement rows that "Calc Stress" reads from the worksheet, and how it says which cell
// stops it.
#include "stress/worksheet_cells.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cell_table.h"

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
      {8, " ", "(row 2, S1: the cell is empty; the stress factors are missing: run \"Calc DEC\" "
               "first)"},
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

}  // namespace
}  // namespace polydec::stress
