// The worksheet's column layouts and its tab-separated file (*.tsd): a line of eight fix/free
// flags, then one line per worksheet row with every cell followed by a TAB, in Windows-1252
// with CR LF line ends. Works on a plain table; the window applies what was read.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/input_error.h"

namespace polydec::stress {

// Column counts of the two layouts as a file sets them; the worksheet starts with 34.
inline constexpr int kWorksheetFijColumns = 34;
inline constexpr int kWorksheetS1Columns = 28;
inline constexpr int kWorksheetRows = 400;
// A worksheet file or table of more rows than this is refused: each row holds 34 cells, and a
// file of millions of lines is no measurement anybody evaluates in a worksheet.
inline constexpr int kMaxWorksheetRows = 100000;
// sig11box, sig22box, sig33box, sig23box, sig13box, sig12box, d0box, eps0box.
inline constexpr int kWorksheetFlagCount = 8;
// A worksheet line is a few hundred characters; anything this long is no worksheet.
inline constexpr std::size_t kMaxWorksheetLineLength = std::size_t{1} << 20;

inline constexpr const char* kHeaderMissingMessage = "Header line is missing.";

// Header text of a column (0..33) in the Fij or the S1 layout; empty for column 0, for the S1
// layout's columns 28..33 and outside the table.
std::string_view WorksheetHeader(int col, bool useFij);

struct WorksheetTable {
  std::array<bool, kWorksheetFlagCount> flags{};  // true = the box is checked
  int cols = 0;
  std::vector<std::vector<std::string>> rows;  // row 0 is the header row; cols cells each
};

// Writes the flags line, every row and a last line of cols blank cells. The format has no
// empty cell (a run of TABs is one separator), so an empty cell is written as one blank; TAB,
// CR, LF and NUL inside a cell would break the layout and are written as blanks. "½" (UTF-8)
// becomes the byte 0xBD. The file is written beside the target and renamed over it, so that a
// failed save leaves the previous file as it was.
std::optional<core::InputError> WriteWorksheetFile(const std::string& path,
                                                     const WorksheetTable& table);

// What a worksheet file holds, as far as it could be read.
struct WorksheetFileRead {
  bool flagsRead = false;  // line 1 was taken (an empty file counts, with every flag off)
  std::array<bool, kWorksheetFlagCount> flags{};
  bool headerFound = false;  // line 2 contains "F11" or "S1"
  bool fij = false;          // it contains "F11": 34 columns, Fij notation; else 28, S1
  int cols = 0;
  // The lines to store into rows 0, 1, ...: TAB fields 1..cols of each line, missing fields
  // empty. Every line is stored, however many rows the worksheet had before, except a last line
  // of blanks (a saved file ends with one).
  std::vector<std::vector<std::string>> rows;
  // Set when reading stopped early; rows then holds the lines read before the failure.
  std::optional<core::InputError> error;
};

// Reads a worksheet file for a worksheet that has rowCount rows now; a file of more rows is read
// whole and the worksheet grows (ApplyWorksheetRead), since a cut file would give results from
// part of the data and a save would then delete the rest. Accepts CR LF and LF line ends and
// "½" both as the byte 0xBD and in UTF-8; texts come back in UTF-8. A line longer than
// kMaxWorksheetLineLength or holding a NUL byte, and a row beyond kMaxWorksheetRows, end
// reading with an error naming the line.
WorksheetFileRead ReadWorksheetFile(const std::string& path, int rowCount);

}  // namespace polydec::stress
