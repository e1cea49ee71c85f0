#include "core/cell_table.h"

#include <algorithm>
#include <cstddef>

namespace polydec {

namespace {
const std::string kEmpty;
}

void CellTable::Resize(int newCols, int newRows) {
  std::vector<std::string> next(static_cast<std::size_t>(newCols) * newRows);
  for (int r = 0; r < std::min(rows, newRows); ++r)
    for (int c = 0; c < std::min(cols, newCols); ++c)
      next[static_cast<std::size_t>(r) * newCols + c] =
          std::move(cells[static_cast<std::size_t>(r) * cols + c]);
  cells = std::move(next);
  cols = newCols;
  rows = newRows;
}

const std::string& CellTable::Cell(int c, int r) const {
  return Contains(c, r) ? cells[static_cast<std::size_t>(r) * cols + c] : kEmpty;
}

void CellTable::SetCell(int c, int r, std::string text) {
  if (Contains(c, r)) cells[static_cast<std::size_t>(r) * cols + c] = std::move(text);
}

int CellTable::ColumnOf(const std::string& name) const {
  for (int c = 0; c < cols; ++c)
    if (Cell(c, 0).find(name) != std::string::npos) return c;
  return cols - 1;
}

}  // namespace polydec
