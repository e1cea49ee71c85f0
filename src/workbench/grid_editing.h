// The string grids as a small spreadsheet: key codes and modifiers of the grid commands, the
// one-operation cell formulas (=A1*2, =B1+C1), and the TAB-separated text that grids exchange
// with the clipboard. The commands themselves are methods of MainForm (grid_editing.cpp).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/cell_table.h"

namespace polydec::workbench {

// Key codes of the grid commands, as the keyboard layer of the window's original toolkit
// numbered them; a front end maps its own keys onto these.
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyDelete = 46;
inline constexpr int kKeyC = 67;
inline constexpr int kKeyV = 86;
inline constexpr int kKeyX = 88;

// Modifier keys held with a key, as bits.
inline constexpr unsigned kModShift = 1;
inline constexpr unsigned kModCtrl = 2;
inline constexpr unsigned kModAlt = 4;

// The grids edited like a spreadsheet: stiffness constants, worksheet, twin table.
inline constexpr std::array<const char*, 3> kSpreadsheetGrids = {"RotationGrid", "StrainGrid",
                                                                 "TwinFractionGrid"};
bool IsSpreadsheetGrid(std::string_view name);

// The operator of a formula text e (what follows "="): "+" if e holds one, else "-", else "/",
// else "*"; position is its first occurrence counted from 1 (0 when e holds none of them).
// calculation: e holds an operator and names at least one cell.
struct FormulaOperation {
  bool calculation = false;
  char op = '*';
  int position = 0;
};
FormulaOperation FormulaOperator(std::string_view e);

// How many cells e names, as the formula command counts them: 1 for "A1+2", 2 for "A1*B1" and
// "A1*A2", 0 without a capital letter. A formula that names a column later in the alphabet
// first ("B1*A1") counts 3 and computes nothing.
int FormulaReferenceCount(std::string_view e);

// A rectangle of cells, bounds included.
struct CellRange {
  int left = 1, top = 1, right = 1, bottom = 1;
};

// The clipboard text of a range: one line per row, the cells of a row joined by one TAB, each
// line ended by a line feed.
std::string RangeToClipboardText(const core::CellTable& g, const CellRange& range);

// The block a clipboard text describes: its lines (CR LF, LF or CR ends; a last line end adds
// no line) and in each line the texts between TABs. Every TAB ends one cell, so empty cells of
// a spreadsheet's block keep their places: "a\t\tb" is a, an empty cell, b.
std::vector<std::vector<std::string>> ClipboardBlock(std::string_view text);

}  // namespace polydec::workbench
