// Measurement tables as spreadsheets and scripts write them: one header line naming the columns
// (in any order, any case), then one measurement per line, the cells separated by commas,
// semicolons or TABs. The rows become the measurement columns of the worksheet (label, h k l,
// phi, psi, d and its uncertainty, d0 and its uncertainty); everything else is computed there.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/cell_table.h"
#include "core/input_error.h"
#include "core/types.h"
#include "stress/worksheet_file.h"

namespace polydec::stress {

using core::Real;

// A table holds at most this many bytes, and at most kMaxWorksheetRows measurements; a larger
// file is no measurement table.
inline constexpr std::size_t kMaxMeasurementTableBytes = std::size_t{64} << 20;

// One measurement as the worksheet's columns 1..8 hold it, numbers with a decimal point.
struct MeasurementCells {
  int line = 0;  // line of the file, for messages
  std::string label, hkl, phi, psi, d, dErr, d0, d0Err;
};

struct MeasurementTableRead {
  // The file starts (after blank lines and "#" comment lines) with a header line that names
  // the phi and psi columns; when false the file is no measurement table and nothing else is set.
  bool isTable = false;
  std::vector<MeasurementCells> rows;
  // The table's own header text of what fills worksheet columns 1..8 (label, h k l, phi, psi,
  // d, its uncertainty, d0, its uncertainty; 2theta for d where the table gives 2theta), empty
  // where the table has no such column: a refusal of a worksheet cell can name the table's.
  std::array<std::string, 9> columnNames;
  std::vector<std::string> unreadColumns;  // header text of the columns nothing reads
  std::vector<int> droppedLines;  // rows without d (or 2theta) left out when asked to
  std::optional<core::InputError> error;  // set: the table is refused as a whole
};

// Reads a measurement table from its text. wavelength (Angstrom, or whatever length unit d is
// wanted in) converts 2theta columns to d where the table itself gives no wavelength (neither
// a "wavelength" column nor a "# wavelength: X" comment line). setColumn, when not empty, names
// the column of data-set labels (matched as the header's names are), in place of the usual
// names (set, label, point, sample, ...). A table without a label column whose rows repeat a
// direction (reflection, phi, psi) is refused: those rows belong to several data sets. Rows
// whose d (or 2theta) is empty or NaN (a peak fit that failed) refuse the table, naming them,
// unless skipIncompleteRows drops them (their lines in droppedLines).
MeasurementTableRead ParseMeasurementTable(std::string_view text, const std::string& path,
                                           std::optional<Real> wavelength,
                                           std::string_view setColumn = {},
                                           bool skipIncompleteRows = false);
MeasurementTableRead ReadMeasurementTable(const std::string& path,
                                          std::optional<Real> wavelength,
                                          std::string_view setColumn = {},
                                          bool skipIncompleteRows = false);

// Puts the measurements into rows 1..n of the worksheet (which grows when it has fewer rows).
// Every other data cell is emptied, since stress factors and results of earlier rows mean
// nothing for these; the stresses of the first result row are set to 0, the values held
// components keep, as in a new worksheet.
void ApplyMeasurementTable(core::CellTable& g, const MeasurementTableRead& table, bool useFij);

// What "Load" reads: a measurement table when the file starts with one, else the program's
// own worksheet file.
struct WorksheetLoad {
  bool isTable = false;
  MeasurementTableRead table;  // with isTable
  WorksheetFileRead sheet;     // without
};
WorksheetLoad ReadWorksheetOrTable(const std::string& path, int rowCount,
                                   std::optional<Real> wavelength,
                                   std::string_view setColumn = {},
                                   bool skipIncompleteRows = false);

// Why a worksheet must not be saved over path: the file holds something else (a measurement
// table, a report, any file without a worksheet header), which the save would destroy. Empty
// when path names no file yet, an empty file or a worksheet file.
std::optional<std::string> WorksheetTargetProblem(const std::string& path);

}  // namespace polydec::stress
