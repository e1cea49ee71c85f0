// Keyboard editing of the spreadsheet grids, one-operation cell formulas, the clipboard
// exchange and the right-click menu of the worksheet.
#include "workbench/grid_editing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>

#include "core/text_fields.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

using core::ParseNumber;
using core::Real;

namespace {

// A pasted block grows the grid; beyond this many cells it is refused rather than allowed to
// take the window's memory.
constexpr long long kMaxGridCells = 1'000'000;

bool IsCapital(char ch) { return ch >= 'A' && ch <= 'Z'; }

// Lines and the widest line (in cells) of a clipboard text, counted without copying it.
struct BlockSize {
  long long lines = 0;
  long long width = 0;
};

BlockSize MeasureBlock(std::string_view text) {
  BlockSize size;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const auto tabs = static_cast<long long>(std::count(line.begin(), line.end(), '\t'));
    size.width = std::max(size.width, tabs + 1);
    ++size.lines;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return size;
}

// The selection of a grid, ordered and kept to the cells a user may edit.
CellRange EditableSelection(const Grid& g) {
  CellRange s{std::min(g.selLeft, g.selRight), std::min(g.selTop, g.selBottom),
              std::max(g.selLeft, g.selRight), std::max(g.selTop, g.selBottom)};
  s.left = std::max(s.left, g.fixedCols);
  s.top = std::max(s.top, g.fixedRows);
  s.right = std::min(s.right, g.cols - 1);
  s.bottom = std::min(s.bottom, g.rows - 1);
  return s;
}

void FillRange(Grid& g, const CellRange& s, const std::string& text) {
  for (int x = s.left; x <= s.right; ++x)
    for (int y = s.top; y <= s.bottom; ++y) g.SetCell(x, y, text);
}

// a op b in extended precision; a division by zero or an overflow is no result.
bool Apply(char op, Real a, Real b, Real& result) {
  switch (op) {
    case '+':
      result = a + b;
      break;
    case '-':
      result = a - b;
      break;
    case '/':
      result = a / b;
      break;
    default:
      result = a * b;
      break;
  }
  return std::isfinite(result);
}

// The text a formula writes for a op b: six decimals, or "Error!" when an operand is no number
// or the operation has no finite result.
std::string FormulaResult(char op, const std::string& aText, const core::ParsedNumber& b) {
  const core::ParsedNumber a = ParseNumber(aText);
  Real result = 0;
  if (!a.ok() || !b.ok() || !Apply(op, a.value, b.value, result)) return "Error!";
  return core::FormatFixed(result, 8, 6);
}

}  // namespace

bool IsSpreadsheetGrid(std::string_view name) {
  return std::find(kSpreadsheetGrids.begin(), kSpreadsheetGrids.end(), name) !=
         kSpreadsheetGrids.end();
}

FormulaOperation FormulaOperator(std::string_view e) {
  FormulaOperation f;
  for (const char op : {'+', '-', '/'})
    if (e.find(op) != std::string_view::npos) {
      f.op = op;
      break;
    }
  const std::size_t at = e.find(f.op);
  f.position = at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
  const bool anyOperator = e.find_first_of("+-/*") != std::string_view::npos;
  f.calculation = anyOperator && FormulaReferenceCount(e) != 0;
  return f;
}

int FormulaReferenceCount(std::string_view e) {
  std::set<char> capitals;
  for (const char ch : e)
    if (IsCapital(ch)) capitals.insert(ch);
  if (capitals.empty()) return 0;
  // From just after the first occurrence of the alphabetically last capital up to, but not
  // including, the last character.
  const std::size_t m = e.find(*capitals.rbegin()) + 1;
  const std::size_t length = e.size() >= m + 1 ? e.size() - m - 1 : 0;
  std::set<char> after;
  for (const char ch : e.substr(m, length))
    if (IsCapital(ch)) after.insert(ch);
  return static_cast<int>(after.size() + capitals.size());
}

std::string RangeToClipboardText(const core::CellTable& g, const CellRange& range) {
  std::string text;
  for (int y = range.top; y <= range.bottom; ++y) {
    for (int x = range.left; x <= range.right; ++x) {
      if (x > range.left) text += '\t';
      text += g.Cell(x, y);
    }
    text += '\n';
  }
  return text;
}

std::vector<std::vector<std::string>> ClipboardBlock(std::string_view text) {
  std::vector<std::vector<std::string>> block;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    std::vector<std::string>& fields = block.emplace_back();
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string_view::npos;
         tab = line.find('\t', from)) {
      fields.emplace_back(line.substr(from, tab - from));
      from = tab + 1;
    }
    fields.emplace_back(line.substr(from));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return block;
}

void MainForm::RegisterGridEditingCommands() {
  Register("Copy1Click", [this] { Copy1Click(); });
  Register("Cut1Click", [this] { Cut1Click(); });
  Register("Paste1Click", [this] { Paste1Click(); });
}

void MainForm::StringGridSelectCell(const std::string& grid, int col, int row) {
  RememberedCellText = form.GridOf(grid).Cell(col, row);
}

void MainForm::StringGridMouseDown(const std::string& grid) {
  // A drag then selects a range instead of opening the cell editor.
  form.GridOf(grid).cellEditing = false;
}

void MainForm::MoveCurrentRow(const std::string& grid, int row) {
  Grid& g = form.GridOf(grid);
  row = std::clamp(row, std::min(g.fixedRows, g.rows - 1), g.rows - 1);
  StringGridSelectCell(grid, g.col, row);
  g.Select(g.col, row);
}

bool MainForm::StringGridKeyDown(const std::string& grid, int key, unsigned modifiers) {
  Grid& g = form.GridOf(grid);
  g.cellEditing = true;
  const CellRange s = EditableSelection(g);
  bool handled = false;
  if ((modifiers & kModCtrl) != 0) {
    switch (key) {
      case kKeyEnter:
        FormulaCommand(grid, s);
        handled = true;
        break;
      case kKeyC:
        StringGridCopyToClipBoard(grid, s.left, s.bottom, s.top, s.right);
        handled = true;
        break;
      case kKeyX:
        StringGridCopyToClipBoard(grid, s.left, s.bottom, s.top, s.right);
        FillRange(g, s, " ");
        handled = true;
        break;
      case kKeyV:
        StringGridPasteFromClipBoard(grid);
        handled = true;
        break;
      default:
        break;
    }
  }
  // A deleted cell holds one blank, the worksheet's empty cell.
  if (key == kKeyDelete) {
    FillRange(g, s, " ");
    handled = true;
  }
  if (handled) FillResultsGrid();
  return handled;
}

void MainForm::StringGridKeyPress(const std::string& grid, char key) {
  const Grid& g = form.GridOf(grid);
  if (key == '\r' && g.row < g.rows - 1) MoveCurrentRow(grid, g.row + 1);
}

void MainForm::FormulaCommand(const std::string& grid, const CellRange& s) {
  Grid& g = form.GridOf(grid);
  const std::string t = g.Cell(g.col, g.row);
  const std::size_t eq = t.find('=');
  if (eq == std::string::npos) return;
  const std::string e = t.substr(eq + 1);
  // The cell that held the formula gets back what it showed before the formula was typed.
  g.SetCell(g.col, g.row, RememberedCellText);
  MoveCurrentRow(grid, g.row < g.rows - 1 ? g.row + 1 : g.row - 1);

  const FormulaOperation f = FormulaOperator(e);
  if (!f.calculation) {
    FillRange(g, s, e);
    return;
  }
  const int n = FormulaReferenceCount(e);
  const std::size_t p = static_cast<std::size_t>(f.position);
  // Column letters A..Z are columns 1..26; the row part runs up to the operator.
  const int c1 = static_cast<unsigned char>(e[0]) - 64;
  const std::string rowPart1 = p >= 2 ? e.substr(1, p - 2) : std::string();
  if (n == 1) {
    const int r1 = core::LeadingInteger(rowPart1);
    const core::ParsedNumber b = ParseNumber(std::string_view(e).substr(p));
    for (int x = s.left; x <= s.right; ++x)
      for (int y = s.top; y <= s.bottom; ++y)
        g.SetCell(x, y, FormulaResult(f.op, g.Cell(c1 + x - s.left, r1 + y - s.top), b));
  } else if (n == 2) {
    const int c2 = p < e.size() ? static_cast<unsigned char>(e[p]) - 64 : -64;
    const std::string rowPart2 = p + 1 < e.size() ? e.substr(p + 1) : std::string();
    const core::ParsedInteger r1 = core::ReadInteger(rowPart1);
    const core::ParsedInteger r2 = r1.ok() ? core::ReadInteger(rowPart2) : r1;
    if (!r1.ok() || !r2.ok()) {
      const std::string& bad = r1.ok() ? rowPart2 : rowPart1;
      services.Message(MessageKind::kError,
                       "The formula =" + e + " names no cell: \"" + bad +
                           "\" is not a row number. Nothing was computed.",
                       Buttons::kOk);
      return;
    }
    for (int x = s.left; x <= s.right; ++x)
      for (int y = s.top; y <= s.bottom; ++y) {
        const core::ParsedNumber b = ParseNumber(g.Cell(c2 + x - s.left, r2.value + y - s.top));
        g.SetCell(x, y, FormulaResult(f.op, g.Cell(c1 + x - s.left, r1.value + y - s.top), b));
      }
  }
}

void MainForm::StringGridCopyToClipBoard(const std::string& grid, int Left, int Bottom, int Top,
                                         int Right) {
  services.SetClipboard(
      RangeToClipboardText(form.GridOf(grid), CellRange{Left, Top, Right, Bottom}));
}

void MainForm::StringGridPasteFromClipBoard(const std::string& grid) {
  Grid& g = form.GridOf(grid);
  const std::string text = services.Clipboard();
  const BlockSize size = MeasureBlock(text);
  if (size.lines == 0) return;
  const int col = std::max(g.col, g.fixedCols);
  const int row = std::max(g.row, g.fixedRows);
  // The columns grow when the block reaches the last column, leaving one spare; the rows when
  // the block does not fit, leaving one spare.
  long long cols = g.cols, rows = g.rows;
  if (col + size.width >= cols) cols = col + size.width + 1;
  if (rows < row + size.lines) rows = row + size.lines + 1;
  if (cols * rows > kMaxGridCells) {
    services.Message(MessageKind::kWarning,
                     "The clipboard holds " + std::to_string(size.lines) + " lines of up to " +
                         std::to_string(size.width) + " cells; pasted at row " +
                         std::to_string(row) + ", column " + std::to_string(col) +
                         " they would need a grid of " + std::to_string(cols) + " columns and " +
                         std::to_string(rows) + " rows, more than the " +
                         std::to_string(kMaxGridCells) +
                         " cells a grid may hold. Nothing was pasted.",
                     Buttons::kOk);
    return;
  }
  if (cols != g.cols || rows != g.rows) {
    // Rows numbered in the first column go on being numbered.
    const int oldRows = g.rows;
    const bool numbered = oldRows > 1 && g.Cell(0, oldRows - 1) == std::to_string(oldRows - 1);
    g.Resize(static_cast<int>(cols), static_cast<int>(rows));
    if (numbered)
      for (int r = oldRows; r < g.rows; ++r) g.SetCell(0, r, std::to_string(r));
  }
  const std::vector<std::vector<std::string>> block = ClipboardBlock(text);
  for (std::size_t i = 0; i < block.size(); ++i)
    for (std::size_t j = 0; j < block[i].size(); ++j)
      g.SetCell(col + static_cast<int>(j), row + static_cast<int>(i), block[i][j]);
}

void MainForm::Copy1Click() {
  const CellRange s = EditableSelection(form.GridOf("StrainGrid"));
  StringGridCopyToClipBoard("StrainGrid", s.left, s.bottom, s.top, s.right);
}

void MainForm::Cut1Click() {
  Grid& g = form.GridOf("StrainGrid");
  const CellRange s = EditableSelection(g);
  StringGridCopyToClipBoard("StrainGrid", s.left, s.bottom, s.top, s.right);
  FillRange(g, s, " ");
}

void MainForm::Paste1Click() { StringGridPasteFromClipBoard("StrainGrid"); }

}  // namespace polydec::workbench
