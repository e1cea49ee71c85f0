// A table of text cells, row-major, with a header row 0: the worksheet and the other grids as
// the engine reads and fills them, whichever front end shows them.
#pragma once

#include <string>
#include <vector>

namespace polydec {

struct CellTable {
  int cols = 0;
  int rows = 0;
  std::vector<std::string> cells;  // row-major, rows x cols

  // Keeps the cells that stay inside the new size.
  void Resize(int newCols, int newRows);
  bool Contains(int c, int r) const { return c >= 0 && r >= 0 && c < cols && r < rows; }
  // Out-of-range cells read as empty and are not written.
  const std::string& Cell(int c, int r) const;
  void SetCell(int c, int r, std::string text);
  // The first column whose header (row 0) contains name (case-sensitive), else the last column.
  int ColumnOf(const std::string& name) const;
};

}  // namespace polydec
