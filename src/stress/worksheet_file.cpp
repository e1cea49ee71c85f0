#include "stress/worksheet_file.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/atomic_file.h"
#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"

namespace polydec::stress {
namespace {

namespace fs = std::filesystem;

// The header "½S2" holds "½" in UTF-8 in memory; the file has it as the Windows-1252 byte.
constexpr char kUtf8HalfLead = '\xC2';
constexpr char kHalf = '\xBD';

constexpr std::array<std::string_view, kWorksheetFijColumns> kFijHeaders = {
    "",       "#",      "h k l",  "phi",    "psi",     "d",      "+/-",  "d0",     "+/-",
    "F11",    "F22",    "F33",    "F23",    "F13",     "F12",    "eps0", "I(ODF)", "d_calc",
    "##",     "sig_xx", "+/-",    "sig_yy", "+/-",     "sig_zz", "+/-",  "sig_yz", "+/-",
    "sig_xz", "+/-",    "sig_xy", "+/-",    "d0_calc", "+/-",    "chisq"};

constexpr std::array<std::string_view, kWorksheetFijColumns> kS1Headers = {
    "",      "#",          "h k l",  "phi",    "psi",    "d",      "+/-",    "d0",      "+/-",
    "S1",    "\xC2\xBDS2", "d_calc", "##",     "sig_xx", "+/-",    "sig_yy", "+/-",     "sig_zz",
    "+/-",   "sig_yz",     "+/-",    "sig_xz", "+/-",    "sig_xy", "+/-",    "d0_calc", "+/-",
    "chisq", "",           "",       "",       "",       "",       ""};

// A cell as the file holds it: never empty, no character that the layout uses as a delimiter.
std::string ToFileText(std::string_view cell) {
  if (cell.empty()) return " ";
  std::string out;
  out.reserve(cell.size());
  for (std::size_t i = 0; i < cell.size(); ++i) {
    const char ch = cell[i];
    if (ch == kUtf8HalfLead && i + 1 < cell.size() && cell[i + 1] == kHalf) {
      out += kHalf;
      ++i;
    } else if (ch == '\t' || ch == '\r' || ch == '\n' || ch == '\0') {
      out += ' ';
    } else {
      out += ch;
    }
  }
  return out;
}

// A lone 0xBD is the Windows-1252 "½"; after 0xC2 it already is the UTF-8 one. Every other
// Windows-1252 byte (a label or a note typed in an old spreadsheet) becomes UTF-8 too.
std::string FromFileText(std::string_view line) { return core::ToUtf8(line); }

// TAB fields 1..cols of a line: each TAB ends one cell, so an empty cell keeps its column (the
// program writes every cell followed by a TAB, an empty one as a blank). Missing fields are
// empty.
std::vector<std::string> SplitTabFields(std::string_view line, int cols) {
  std::vector<std::string> fields;
  fields.reserve(static_cast<std::size_t>(cols));
  std::size_t i = 0;
  while (static_cast<int>(fields.size()) < cols && i < line.size()) {
    const std::size_t begin = i;
    while (i < line.size() && line[i] != '\t') ++i;
    fields.emplace_back(line.substr(begin, i - begin));
    if (i < line.size()) ++i;  // the TAB that ends this cell
  }
  fields.resize(static_cast<std::size_t>(cols));
  return fields;
}

bool AllBlank(const std::vector<std::string>& cells) {
  for (const std::string& cell : cells)
    if (cell.find_first_not_of(" \t") != std::string::npos) return false;
  return true;
}

enum class LineRead { kLine, kEnd, kFail };

// Reads one line at a time (CR LF, LF or CR), bounded in length; a NUL byte means binary data.
class LineReader {
 public:
  LineReader(std::ifstream& in, std::string path)
      : in_(in), source_(*in.rdbuf(), kMaxWorksheetLineLength), path_(std::move(path)) {}

  LineRead Next(std::string& line, std::optional<core::InputError>& error) {
    const core::LineRead got = source_.Next(line);
    if (got == core::LineRead::kEnd) return EndOrFailure(error);
    if (got == core::LineRead::kTooLong) {
      error = core::InputError{path_,
                               source_.Number(),
                               0,
                               {},
                               "line longer than " + std::to_string(kMaxWorksheetLineLength) +
                                   " characters: not a worksheet file"};
      return LineRead::kFail;
    }
    if (line.find('\0') != std::string::npos) {
      error = core::InputError{path_,
                               source_.Number(),
                               0,
                               {},
                               "the line holds a NUL byte: not a worksheet file (binary data?)"};
      return LineRead::kFail;
    }
    return LineRead::kLine;
  }

 private:
  LineRead EndOrFailure(std::optional<core::InputError>& error) {
    if (!in_.bad()) return LineRead::kEnd;
    error = core::InputError{path_, source_.Number() + 1, 0, {}, "the file could not be read"};
    return LineRead::kFail;
  }

  std::ifstream& in_;
  core::LineSource source_;
  std::string path_;
};

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec) && !ec;
}

std::string ErrnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

}  // namespace

std::string_view WorksheetHeader(int col, bool useFij) {
  if (col < 0 || col >= kWorksheetFijColumns) return {};
  return useFij ? kFijHeaders[static_cast<std::size_t>(col)]
                : kS1Headers[static_cast<std::size_t>(col)];
}

std::optional<core::InputError> WriteWorksheetFile(const std::string& path,
                                                   const WorksheetTable& table) {
  auto failure = [&](std::string message) {
    return std::optional<core::InputError>(core::InputError{path, 0, 0, {}, std::move(message)});
  };
  if (IsFolder(path)) return failure("this is a folder, not a file");

  std::string text;
  for (bool flag : table.flags) text += flag ? "1 " : "0 ";
  text += "\r\n";
  for (const std::vector<std::string>& row : table.rows) {
    for (int c = 0; c < table.cols; ++c) {
      const std::size_t k = static_cast<std::size_t>(c);
      text += ToFileText(k < row.size() ? std::string_view(row[k]) : std::string_view());
      text += '\t';
    }
    text += "\r\n";
  }
  for (int c = 0; c < table.cols; ++c) text += " \t";
  text += "\r\n";
  // Only a completely written file replaces the old one.
  if (auto why = core::WriteFileAtomically(path, text))
    return failure(*why + "; the previous file is unchanged");
  return std::nullopt;
}

WorksheetFileRead ReadWorksheetFile(const std::string& path, int rowCount) {
  WorksheetFileRead r;
  auto failure = [&](std::string message) {
    r.error = core::InputError{path, 0, 0, {}, std::move(message)};
    return r;
  };
  if (auto problem = core::InputFileProblem(path)) return failure(std::move(*problem));
  std::ifstream in(path, std::ios::binary);
  if (!in) return failure("the file cannot be opened for reading (" + ErrnoText(errno) + ")");

  LineReader reader(in, path);
  std::string line;
  LineRead got = reader.Next(line, r.error);
  if (got == LineRead::kFail) return r;
  r.flagsRead = true;
  std::string current = FromFileText(line);
  const bool headerFirst = current.find('\t') != std::string::npos &&
                           current.find("phi") != std::string::npos &&
                           (current.find("F11") != std::string::npos ||
                            current.find("S1") != std::string::npos);
  if (headerFirst) {
    // A worksheet without its flags line (written by a script): the boxes as at start-up.
    r.flags = {false, false, true, true, true, true, false, false};
  } else {
    for (int k = 0; k < kWorksheetFlagCount; ++k)
      r.flags[static_cast<std::size_t>(k)] = core::GetWord(line, k + 1) == "1";
    got = reader.Next(line, r.error);
    if (got == LineRead::kFail) return r;
    current = FromFileText(line);
  }
  r.fij = current.find("F11") != std::string::npos;
  r.headerFound = r.fij || current.find("S1") != std::string::npos;
  if (!r.headerFound) return r;
  r.cols = r.fij ? kWorksheetFijColumns : kWorksheetS1Columns;

  r.rows.reserve(static_cast<std::size_t>(std::max(rowCount, 1)));
  r.rows.push_back(SplitTabFields(current, r.cols));
  // Row 0 is the header; one line beyond the largest worksheet may be the closing blank line.
  const std::size_t mostLines = static_cast<std::size_t>(kMaxWorksheetRows) + 2;
  bool tooMany = false;
  for (;;) {
    got = reader.Next(line, r.error);
    if (got != LineRead::kLine) break;
    if (r.rows.size() == mostLines) {
      tooMany = true;
      break;
    }
    r.rows.push_back(SplitTabFields(FromFileText(line), r.cols));
  }
  // A saved worksheet ends with a line of blank cells that belongs to no row; a last line that
  // holds anything is a measurement and is kept.
  if (got == LineRead::kEnd && r.rows.size() > 1 && AllBlank(r.rows.back())) r.rows.pop_back();
  if (tooMany || r.rows.size() > static_cast<std::size_t>(kMaxWorksheetRows) + 1) {
    r.rows.resize(static_cast<std::size_t>(kMaxWorksheetRows) + 1);
    r.error = core::InputError{path,
                               headerFirst ? kMaxWorksheetRows + 2 : kMaxWorksheetRows + 3,
                               0,
                               {},
                               "the file has more than " + std::to_string(kMaxWorksheetRows) +
                                   " rows, the most a worksheet holds; rows 1 to " +
                                   std::to_string(kMaxWorksheetRows) + " were read"};
  }
  return r;
}

}  // namespace polydec::stress
