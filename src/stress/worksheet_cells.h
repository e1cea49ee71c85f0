// The measurement rows of the worksheet as the stress commands read them from the cells, and
// the stress factors and results as they write them back. The cells are found by their
// header names, so both column layouts (Fij and S1) are served.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "core/input_error.h"
#include "core/types.h"
#include "polydec/types.h"
#include "stress/stress_evaluation.h"
#include "stress/worksheet_file.h"

namespace polydec::stress {

// ---- Stress evaluation ----

// A measurement cell as the stress commands read it: its first word as a number. A decimal
// comma is refused, since "-45,5" would otherwise read as -45 (the comma separates words).
std::optional<Real> MeasurementNumber(const std::string& cell);

struct WorksheetStressRows {
  std::vector<StressMeasurement> rows;  // rows 1..n; empty when row 1 is already incomplete
  std::optional<core::InputError> error;
};

// Rows 1..n: every row must carry its direction, spacings and uncertainties (and its stress
// factors, or s1 and 1/2 s2); the rows end before the first one whose label is no number.
// In the S1 layout the stress factors are those of a quasi-isotropic sample.
WorksheetStressRows ReadStressRows(const core::CellTable& g, bool fij);

// The stresses (MPa) of result row `resultRow`: the values the held components keep. A cell
// is read leniently (its leading number, else 0).
std::array<Real, 6> HeldStresses(const core::CellTable& g, int resultRow);

// Writes the result block (label, stresses and uncertainties, d0, chisq) of data set g into
// result row g + 1, and d_calc into the member rows.
void WriteStressResults(core::CellTable& g, const std::vector<StressSetResult>& sets);

// ---- Stress factors ----

// What a row of the worksheet asks for: the direction (degrees), the reflection, and from the
// "h k l" cell optionally a model code (word 4) and the grain's semi-axes (words 5 to 7).
struct FactorRow {
  int row = 0;
  Real phi = 0, psi = 0;
  std::array<Real, 3> hkl{};
  std::optional<int> code;
  std::array<std::optional<Real>, 3> axes;
};

// The "h k l" cell: the reflection, then optionally a model code (an integer) and the grain's
// semi-axes (numbers), with a name after them that nothing reads. Unbracketed, words 1 to 3
// are h k l and words 4 to 7 the code and the axes, as the program writes the cell. The
// reflection in brackets, "(1 0 -1 1) 2" or "[2 1 1]", is always the reflection, with three
// indices or, for hexagonal and trigonal phases, the four h k i l; the words after the closing
// bracket are the code and the axes. In a hexagonal or trigonal phase an unbracketed cell of
// exactly four numbers whose third is -(h + k) reads both as h k i l and as h k l with a code:
// it is refused, and the message shows the two bracketed forms.
struct ReflectionCell {
  std::array<Real, 3> hkl{};
  std::optional<int> code;
  std::array<std::optional<Real>, 3> axes;
  std::string error;  // why the cell is refused, worded to follow the cell's quoted text
};
ReflectionCell ReadReflectionCell(const std::string& cell, CrystalClass crystalClass);

// The reflection of an "h k l" cell as "h k l", for telling the reflections of a data set
// apart where the phase's class is not known: three indices are tried first, then the four of
// a hexagonal phase in brackets. Empty when neither reads.
std::string ReflectionKey(const std::string& cell);

// What the calculation gives for a row; a non-empty refusal stops the loop at that row.
struct FactorOutcome {
  std::string refusal;  // "... at line r" is appended
  Tensor2 F;            // stress factors (1/GPa), Fij layout
  Real s1 = 0, s2half = 0;  // S1 layout (1/GPa)
  Real intensity = 1;       // I(ODF)
};

struct FactorStop {
  core::InputError error;  // message as shown
  int col = 0, row = 0;    // cell to select
  // progress asked to stop after this row (error then empty): the rows up to it are written.
  bool byCaller = false;
};

// Computes the stress factors (or s1, 1/2 s2) of the rows 1, 2, ... and writes them: the loop
// goes on while the next row's "psi" holds a number. progress(r) runs after each row; false stops
// the loop there. The crystal class decides whether reflections may be written in four indices.
std::optional<FactorStop> FillStressFactors(
    core::CellTable& g, bool fij, CrystalClass crystalClass,
    const std::function<FactorOutcome(const FactorRow&)>& compute,
    const std::function<bool(int row)>& progress);

// ---- Layout ----

// Writes the headers of the Fij or S1 layout and empties the data rows from the first
// stress-factor column on; a worksheet of 28 columns is widened to 34 for the Fij layout.
void NameWorksheetColumns(core::CellTable& g, bool useFij);

// The worksheet at start-up: 34 columns, 400 rows numbered in column 0, blank cells, the Fij
// headers, and zeros for the stresses of the first data set (the values of held components).
void NewWorksheet(core::CellTable& g);

// Stores what a worksheet file gave (its header was found) into the table: the table takes the
// file's column count and grows to the file's row count, switches layout when the file's
// differs from `useFij` (the current one), then receives the rows read. The caller applies the
// flags.
void ApplyWorksheetRead(core::CellTable& g, const WorksheetFileRead& read, bool useFij);

// The table a worksheet file is written from; empty cells become one blank, in the table too.
WorksheetTable WorksheetSaveTable(core::CellTable& g,
                                  const std::array<bool, kWorksheetFlagCount>& flags);

// The refusal of a worksheet cell: its row, its column and the column's header.
core::InputError CellError(const core::CellTable& g, int col, int row, std::string message);

}  // namespace polydec::stress
