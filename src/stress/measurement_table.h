// Measurement tables as spreadsheets and scripts write them: one header line naming the columns
// (in any order, any case), then one measurement per line, the cells separated by commas,
// semicolons or TABs. The rows become the measurement columns of the worksheet (label, h k l,
// phi, psi, d and its uncertainty, d0 and its uncertainty); everything else is computed there.
#pragma once

#include <array>
#include <memory>
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
  // The numbers the cells phi .. d0Err read as (0 where the cell is empty), so that a reader
  // that wants numbers need not read the texts again.
  Real phiValue = 0, psiValue = 0, dValue = 0, dErrValue = 0, d0Value = 0, d0ErrValue = 0;
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

// The cells of a row as the parser split them: views into the line, or into text of their own
// where the line was converted to UTF-8 or quotes were taken out. Valid while the line is;
// its memory serves row after row.
class RowCells {
 public:
  std::size_t size() const { return views_.size(); }
  std::string_view operator[](std::size_t k) const { return views_[k]; }
  std::vector<std::string> Strings() const { return {views_.begin(), views_.end()}; }

  // The cells of line split at sep: a cell in double quotes may hold the separator, and ""
  // inside it stands for one quote. The views point into line (which must outlive them)
  // unless quotes were taken out.
  void Split(std::string_view line, char sep);
  // The same, of a line the cells keep a copy of.
  void SplitCopy(std::string line, char sep);

 private:
  std::vector<std::string_view> views_;
  std::string converted_, unquoted_;
  std::vector<std::size_t> ends_;  // where each unquoted cell ends in unquoted_
};

// The reading of a measurement table line by line: the search for the header, the recognition
// of its columns and the reading of one row. The whole-file reader below and the chunked
// reader of long tables (maps, stress/map_table.h) both run on it, so that a table reads the
// same whichever way it is loaded. Lines are handed in as the file holds them (numbered from
// 1, without their line ends; the byte-order mark of the first line is removed here).
class MeasurementTableParser {
 public:
  MeasurementTableParser(std::string path, std::optional<Real> wavelength,
                         std::string_view setColumn);
  ~MeasurementTableParser();
  MeasurementTableParser(const MeasurementTableParser&) = delete;
  MeasurementTableParser& operator=(const MeasurementTableParser&) = delete;

  // One line of the search for the header: kMore asks for the next line; kFound: the header is
  // read and the rows follow; kNoTable: the file is no measurement table (a worksheet file, a
  // line of numbers, no header within the first lines); kRefused: the header is refused, see
  // HeaderError. A file that ends while kMore is no table either.
  enum class HeaderStep { kMore, kFound, kNoTable, kRefused };
  HeaderStep FeedHeaderLine(std::string_view line, int lineNo);
  const std::optional<core::InputError>& HeaderError() const;

  // After kFound: whether a column labels the data sets, the table's names of worksheet
  // columns 1..8 (as MeasurementTableRead::columnNames), the columns nothing reads and the
  // header's line.
  bool HasLabelColumn() const;
  const std::array<std::string, 9>& ColumnNames() const;
  const std::vector<std::string>& UnreadColumns() const;
  int HeaderLine() const;

  enum class RowStep { kSkip, kCells, kRow, kNoSpacing, kError };
  // A line after the header as its cells: kSkip for a blank or comment line, kError for a row
  // with more cells than the header (error says where), else kCells.
  RowStep SplitRow(std::string_view line, int lineNo, RowCells& cells,
                   std::optional<core::InputError>& error) const;
  // The measurement of a row's cells: kRow, kNoSpacing when its d (or 2theta) is empty or NaN
  // (a peak fit that failed), or kError (error names the cell).
  RowStep ReadRow(const RowCells& cells, int lineNo, MeasurementCells& m,
                  std::optional<core::InputError>& error) const;
  // Without a label column every row belongs to one data set: a row that repeats the direction
  // of an earlier one is refused (the rows are those of several points). Remembers the row.
  std::optional<core::InputError> RepeatedDirection(const MeasurementCells& m,
                                                    const std::vector<std::string>& cells);
  // The row's data-set label as its cell holds it (trimmed); "1" without a label column.
  std::string LabelOf(const RowCells& cells) const;
  // The row's cells of the unread columns, trimmed, in the order of UnreadColumns.
  std::vector<std::string> UnreadCells(const RowCells& cells) const;
  // The same into out, whose strings keep their memory.
  void UnreadCellsInto(const RowCells& cells, std::vector<std::string>& out) const;
  // Why a table whose rows `lines` have no d (or 2theta) is refused, naming them.
  core::InputError IncompleteRowsError(const std::vector<int>& lines) const;

 private:
  struct State;
  std::unique_ptr<State> s_;
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

// The column a table reads under a header name (any case and spelling the reader takes, units
// in brackets): "label", "hkl", "h", "k", "i", "l", "phi", "psi", "d", "d_err", "d0",
// "d0_err", "2theta", "2theta_err", "wavelength"; empty for a column nothing reads.
std::string MeasurementColumnOf(std::string_view header);

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
