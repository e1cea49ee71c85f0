#include "stress/measurement_table.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <tuple>

#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "stress/worksheet_cells.h"
#include "stress/worksheet_file.h"

namespace polydec::stress {
namespace {

namespace fs = std::filesystem;

enum class Col { kLabel, kHkl, kH, kK, kI, kL, kPhi, kPsi, kD, kDErr, kD0, kD0Err, kTwoTheta,
                 kTwoThetaErr, kWavelength, kCount };

constexpr std::array<std::string_view, static_cast<int>(Col::kCount)> kColNames = {
    "label", "h k l", "h", "k", "i", "l", "phi", "psi", "d", "d uncertainty", "d0",
    "d0 uncertainty", "2theta", "2theta uncertainty", "wavelength"};

// Column names after Normalize(); the common spellings of spreadsheets and lab scripts.
const std::map<std::string, Col>& NameTable() {
  static const std::map<std::string, Col> names = {
      {"#", Col::kLabel},          {"set", Col::kLabel},        {"label", Col::kLabel},
      {"dataset", Col::kLabel},    {"phase", Col::kLabel},      {"sample", Col::kLabel},
      // The names map and scan software gives the point a row belongs to.
      {"point", Col::kLabel},      {"pointid", Col::kLabel},    {"pointno", Col::kLabel},
      {"id", Col::kLabel},         {"position", Col::kLabel},   {"pos", Col::kLabel},
      {"scan", Col::kLabel},       {"scanid", Col::kLabel},     {"scanno", Col::kLabel},
      {"spot", Col::kLabel},       {"location", Col::kLabel},   {"specimen", Col::kLabel},
      {"sampleid", Col::kLabel},   {"measurement", Col::kLabel},
      {"hkl", Col::kHkl},          {"hkil", Col::kHkl},         {"reflection", Col::kHkl},
      {"peak", Col::kHkl},
      {"h", Col::kH},              {"k", Col::kK},              {"i", Col::kI},
      {"l", Col::kL},              {"phi", Col::kPhi},          {"azimuth", Col::kPhi},
      {"psi", Col::kPsi},          {"tilt", Col::kPsi},         {"d", Col::kD},
      {"dspacing", Col::kD},       {"dhkl", Col::kD},           {"derr", Col::kDErr},
      {"derror", Col::kDErr},      {"dunc", Col::kDErr},        {"duncertainty", Col::kDErr},
      {"dsigma", Col::kDErr},      {"sigmad", Col::kDErr},      {"sd", Col::kDErr},
      {"deltad", Col::kDErr},      {"d+/-", Col::kDErr},        {"d0", Col::kD0},
      {"dzero", Col::kD0},         {"d0err", Col::kD0Err},      {"d0error", Col::kD0Err},
      {"d0unc", Col::kD0Err},      {"d0uncertainty", Col::kD0Err}, {"d0sigma", Col::kD0Err},
      {"sigmad0", Col::kD0Err},    {"sd0", Col::kD0Err},        {"deltad0", Col::kD0Err},
      {"d0+/-", Col::kD0Err},      {"2theta", Col::kTwoTheta},  {"2th", Col::kTwoTheta},
      {"tth", Col::kTwoTheta},     {"twotheta", Col::kTwoTheta},
      {"2thetaerr", Col::kTwoThetaErr}, {"2thetaunc", Col::kTwoThetaErr},
      {"2thetauncertainty", Col::kTwoThetaErr}, {"2thetaerror", Col::kTwoThetaErr},
      {"sigma2theta", Col::kTwoThetaErr}, {"wavelength", Col::kWavelength},
      {"lambda", Col::kWavelength}};
  return names;
}

// Names that qualify the column before them: "d, +/-, d0, +/-".
bool IsUncertaintyWord(const std::string& n) {
  return n == "+/-" || n == "err" || n == "error" || n == "unc" || n == "uncertainty" ||
         n == "sigma" || n == "esd";
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// The text without the blanks and TABs around it (a view into s).
std::string_view TrimmedView(std::string_view s) {
  std::size_t first = 0, end = s.size();
  while (first < end && IsBlank(s[first])) ++first;
  while (end > first && IsBlank(s[end - 1])) --end;
  return s.substr(first, end - first);
}

std::string Trim(std::string_view s) { return std::string(TrimmedView(s)); }

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

// A header cell in the form the name table holds: Greek letters spelled out, units in brackets
// ("psi (deg)", "d [Å]") and the characters people put between words left out, lower case.
std::string Normalize(std::string_view cell) {
  std::string s = Trim(cell);
  s = ReplaceAll(s, "\xCF\x86", "phi");    // φ
  s = ReplaceAll(s, "\xCF\x95", "phi");    // ϕ
  s = ReplaceAll(s, "\xCF\x88", "psi");    // ψ
  s = ReplaceAll(s, "\xCE\xB8", "theta");  // θ
  s = ReplaceAll(s, "\xCE\xBB", "lambda"); // λ
  s = ReplaceAll(s, "\xC2\xB1", "+/-");    // ±
  std::string out;
  // "(hkl)" is a name in brackets; "psi (deg)" a name with its unit.
  if (s.size() > 2 && s.front() == '(' && s.back() == ')') s = s.substr(1, s.size() - 2);
  int depth = 0;
  for (char ch : s) {
    if (ch == '(' || ch == '[') {
      ++depth;
      continue;
    }
    if ((ch == ')' || ch == ']') && depth > 0) {
      --depth;
      continue;
    }
    if (depth > 0 || ch == ' ' || ch == '_' || ch == '.' || ch == '\t') continue;
    if (ch == '-' && !out.ends_with("+/")) continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return out;
}

std::vector<std::string> SplitCells(std::string_view line, char sep) {
  RowCells cells;
  cells.Split(line, sep);
  return cells.Strings();
}

bool IsAscii(std::string_view s) {
  for (const char ch : s)
    if (static_cast<unsigned char>(ch) >= 0x80) return false;
  return true;
}

char SeparatorOf(std::string_view line, char stated = '\0') {
  if (stated != '\0') return stated;
  if (line.find('\t') != std::string_view::npos) return '\t';
  if (line.find(';') != std::string_view::npos) return ';';
  if (line.find(',') != std::string_view::npos) return ',';
  return '\0';
}

struct Header {
  char sep = '\0';
  std::array<int, static_cast<int>(Col::kCount)> at;  // cell index, -1 when absent
  std::vector<std::string> cells;                     // the header line's cells, as written
  std::vector<std::string> unknown;                   // names of the columns nothing reads
  std::optional<core::InputError> error;
};

bool IsNumericColumn(Col c) {
  return c == Col::kPhi || c == Col::kPsi || c == Col::kD || c == Col::kDErr || c == Col::kD0 ||
         c == Col::kD0Err || c == Col::kTwoTheta || c == Col::kTwoThetaErr ||
         c == Col::kWavelength;
}

// The header of a measurement table, or nothing when the line names no phi and psi columns.
std::optional<Header> ReadHeader(const std::string& line, int lineNo, const std::string& path,
                                 std::string_view setColumn, char stated) {
  Header h;
  h.at.fill(-1);
  h.sep = SeparatorOf(line, stated);
  if (h.sep == '\0') return std::nullopt;
  const std::vector<std::string> cells = SplitCells(line, h.sep);
  h.cells = cells;
  std::optional<Col> previous;
  int known = 0;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    // The header of the program's own worksheet file (read as such, also without its flags).
    if (Trim(cells[c]) == "F11" || Trim(cells[c]) == "S1") return std::nullopt;
    const std::string name = Normalize(cells[c]);
    std::optional<Col> col;
    if (!setColumn.empty() && name == Normalize(setColumn)) {
      col = Col::kLabel;
    } else if (const auto it = NameTable().find(name); it != NameTable().end()) {
      col = it->second;
      // A column named for the data sets replaces the one the name table would take.
      if (col == Col::kLabel && !setColumn.empty()) col.reset();
    } else if (IsUncertaintyWord(name) && previous) {
      if (*previous == Col::kD) col = Col::kDErr;
      if (*previous == Col::kD0) col = Col::kD0Err;
      if (*previous == Col::kTwoTheta) col = Col::kTwoThetaErr;
    }
    previous = col;
    if (!col) {  // a column the worksheet has no place for (intensity, FWHM, ...)
      if (!Trim(cells[c]).empty()) h.unknown.push_back(Trim(cells[c]));
      continue;
    }
    ++known;
    int& slot = h.at[static_cast<int>(*col)];
    if (slot >= 0 && !h.error)
      h.error = core::InputError{path, lineNo, static_cast<int>(c) + 1, Trim(cells[c]),
                                 "a second column for " +
                                     std::string(kColNames[static_cast<int>(*col)]) +
                                     " (the first is column " + std::to_string(slot + 1) + ")"};
    slot = static_cast<int>(c);
  }
  const bool hasPhi = h.at[static_cast<int>(Col::kPhi)] >= 0;
  const bool hasPsi = h.at[static_cast<int>(Col::kPsi)] >= 0;
  if (hasPhi && hasPsi) return h;
  // A line naming several measurement columns is a table's header, even without both angles:
  // say which one is missing rather than look for another kind of file.
  if (known < 3 || (!hasPhi && !hasPsi)) return std::nullopt;
  std::string message = std::string("the header names no column for ") +
                        (hasPhi ? "psi (the tilt, in degrees)" : "phi (the azimuth, in degrees)");
  if (!hasPsi)
    for (const std::string& name : h.unknown) {
      std::string lower = Normalize(name);
      if (lower.find("sin") != std::string::npos && lower.find("psi") != std::string::npos) {
        message += "; a column of sin\xC2\xB2psi (\"" + name +
                   "\") is not read, since it leaves the sign of psi open: give psi itself";
        break;
      }
    }
  if (!h.error) h.error = core::InputError{path, lineNo, 0, {}, std::move(message)};
  return h;
}

// "# wavelength: 1.5406" (also "=" or a blank, "lambda", a unit after the number).
std::optional<Real> CommentWavelength(const std::string& line) {
  std::string lower;
  for (char ch : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  std::size_t at = lower.find("wavelength");
  std::size_t len = 10;
  if (at == std::string::npos) {
    at = lower.find("lambda");
    len = 6;
  }
  if (at == std::string::npos) return std::nullopt;
  std::string rest = Trim(std::string_view(line).substr(at + len));
  while (!rest.empty() && (rest.front() == ':' || rest.front() == '=' || rest.front() == ' '))
    rest.erase(rest.begin());
  return core::ReadLocaleNumber(rest.substr(0, rest.find_first_of(" \t")));
}

// Enough digits that a spacing computed from 2theta loses nothing the measurement holds.
std::string NumberText(Real x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15Lg", x);
  return buffer;
}

class RowReader {
 public:
  RowReader(const Header& h, const RowCells& cells, int line,
            const std::string& path)
      : h_(h), cells_(cells), line_(line), path_(path) {}

  bool Has(Col c) const { return h_.at[static_cast<int>(c)] >= 0; }

  // The cell, trimmed; empty where the row has no such cell.
  std::string_view View(Col c) const {
    const int at = h_.at[static_cast<int>(c)];
    if (at < 0 || at >= static_cast<int>(cells_.size())) return {};
    return TrimmedView(cells_[static_cast<std::size_t>(at)]);
  }
  std::string Text(Col c) const { return std::string(View(c)); }

  core::InputError Error(Col c, std::string message) const {
    const int at = h_.at[static_cast<int>(c)];
    return core::InputError{path_, line_, at + 1,
                            at >= 0 && at < static_cast<int>(h_.cells.size())
                                ? Trim(h_.cells[static_cast<std::size_t>(at)])
                                : std::string(kColNames[static_cast<int>(c)]),
                            std::move(message)};
  }

  // The cell as a number with a decimal point, its text into *text and its value into *value
  // (either may be null); false when the cell is empty (error set when it may not be) or no
  // number (error set).
  bool Number(Col c, bool required, std::optional<core::InputError>& error, std::string* text,
              Real* value) const {
    const std::string_view cell = View(c);
    if (cell.empty()) {
      if (required && !error) error = Error(c, "the cell is empty; every row needs a value here");
      return false;
    }
    std::string_view number = cell;
    std::string pointed;
    // Where the comma separates no cells it is the decimal separator of the writer's locale.
    if (h_.sep != ',') {
      const auto comma = cell.find(',');
      if (comma != std::string_view::npos &&
          cell.find(',', comma + 1) == std::string_view::npos &&
          cell.find('.') == std::string_view::npos) {
        pointed = cell;
        pointed[comma] = '.';
        number = pointed;
      }
    }
    const core::ParsedNumber x = core::ParseNumber(number);
    if (!x.ok() || !std::isfinite(static_cast<double>(x.value))) {
      if (!error) error = Error(c, "\"" + Text(c) + "\" is not a number");
      return false;
    }
    if (value) *value = x.value;
    if (text) text->assign(number);
    return true;
  }

  std::optional<long> Index(Col c, std::string_view word,
                            std::optional<core::InputError>& error) const {
    const core::ParsedInteger n = core::ReadInteger(word);
    if (!n.ok() || word.empty()) {
      if (!error) error = Error(c, "\"" + std::string(word) + "\" is not an integer Miller index");
      return std::nullopt;
    }
    return n.value;
  }

 private:
  const Header& h_;
  const RowCells& cells_;
  int line_;
  const std::string& path_;
};

// h k l as the worksheet cell holds it, from one "hkl" cell ("2 1 1", "(2 1 1)", "1 0 -1 1")
// or from separate h, k, (i,) l cells. Four indices are h k i l, with i = -(h + k).
std::optional<std::string> ReadHkl(const RowReader& row, std::optional<core::InputError>& error) {
  // Up to four words, and whether there were more; views into the cells (or into `text`).
  std::array<std::string_view, 4> words;
  std::size_t count = 0;
  Col where = Col::kHkl;
  std::string text;
  if (row.Has(Col::kHkl)) {
    text = row.View(Col::kHkl);
    for (char& ch : text)
      if (ch == '(' || ch == ')' || ch == '{' || ch == '}' || ch == '[' || ch == ']' || ch == ',')
        ch = ' ';
    const std::string_view all = text;
    for (std::size_t at = all.find_first_not_of(" \t"); at != std::string_view::npos;) {
      const std::size_t end = all.find_first_of(" \t", at);
      if (count < words.size()) words[count] = all.substr(at, end == std::string_view::npos ? end : end - at);
      ++count;
      at = end == std::string_view::npos ? end : all.find_first_not_of(" \t", end);
    }
    if (count != 3 && count != 4) {
      if (!error)
        error = row.Error(Col::kHkl, "\"" + row.Text(Col::kHkl) +
                                         "\" is no reflection: write the indices separated "
                                         "by blanks, h k l or h k i l");
      return std::nullopt;
    }
  } else {
    for (Col c : {Col::kH, Col::kK, Col::kI, Col::kL}) {
      if (!row.Has(c)) continue;
      words[count++] = row.View(c);
      if (words[count - 1].empty()) {
        if (!error) error = row.Error(c, "the cell is empty; every row needs its index here");
        return std::nullopt;
      }
    }
    where = Col::kH;
  }
  std::array<long, 4> idx{};
  for (std::size_t k = 0; k < count; ++k) {
    const auto n = row.Index(where, words[k], error);
    if (!n) return std::nullopt;
    idx[k] = *n;
  }
  if (count == 4) {
    if (idx[2] != -(idx[0] + idx[1])) {
      if (!error)
        error = row.Error(where, "in h k i l the third index must be -(h + k) = " +
                                     std::to_string(-(idx[0] + idx[1])) + ", not " +
                                     std::to_string(idx[2]));
      return std::nullopt;
    }
    idx[2] = idx[3];
  }
  if (idx[0] == 0 && idx[1] == 0 && idx[2] == 0) {
    if (!error) error = row.Error(where, "0 0 0 is no lattice plane");
    return std::nullopt;
  }
  // "h k l", as std::to_string writes each index.
  char buffer[3 * 21 + 2];
  char* end = buffer;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) *end++ = ' ';
    end = std::to_chars(end, buffer + sizeof buffer, idx[static_cast<std::size_t>(k)]).ptr;
  }
  return std::string(buffer, end);
}

bool IsBlankCells(const RowCells& cells) {
  for (std::size_t k = 0; k < cells.size(); ++k)
    if (!TrimmedView(cells[k]).empty()) return false;
  return true;
}

bool IsDigits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// A row with more cells than the header moves every cell after the extra one into the next
// column: "-18,43" unquoted in a comma-separated file reads as psi -18 and d 43. Spreadsheets
// end rows with empty cells, so those do not count.
std::optional<core::InputError> ExcessCells(const Header& h, const RowCells& cells,
                                            int headerNo, int lineNo,
                                            const std::string& path) {
  std::size_t count = cells.size();
  while (count > 0 && TrimmedView(cells[count - 1]).empty()) --count;
  if (count <= h.cells.size()) return std::nullopt;
  std::string message = "the row has " + std::to_string(count) + " cells, the header (line " +
                        std::to_string(headerNo) + ") " + std::to_string(h.cells.size()) +
                        ": the cells after an extra one would move into the wrong columns";
  // Where a comma is both separator and decimal sign, an integer part followed by a cell of
  // digits is a number split in two. With one cell too many, a split is named only where
  // joining it back gives every number column a number.
  int at = -1;
  std::vector<std::string> splits;
  if (h.sep == ',') {
    std::vector<Col> colOf(cells.size(), Col::kCount);
    for (int c = 0; c < static_cast<int>(Col::kCount); ++c)
      if (h.at[c] >= 0 && h.at[c] < static_cast<int>(colOf.size()))
        colOf[static_cast<std::size_t>(h.at[c])] = static_cast<Col>(c);
    for (std::size_t i = 0; i + 1 < count; ++i) {
      std::string whole = Trim(cells[i]);
      const std::string fraction = Trim(cells[i + 1]);
      std::string_view digits = whole;
      if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
      if (!IsDigits(digits) || !IsDigits(fraction)) continue;
      if (count == h.cells.size() + 1) {
        std::vector<std::string> joined = cells.Strings();
        joined[i] = whole + "." + fraction;
        joined.erase(joined.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        if (!IsNumericColumn(colOf[i])) continue;
        bool reads = true;
        for (int c = 0; c < static_cast<int>(Col::kCount); ++c) {
          const int k = h.at[c];
          if (!IsNumericColumn(static_cast<Col>(c)) || k < 0 ||
              k >= static_cast<int>(joined.size()))
            continue;
          const std::string cell = Trim(joined[static_cast<std::size_t>(k)]);
          if (!cell.empty() && !core::ParseNumber(cell).ok()) reads = false;
        }
        if (!reads) continue;
      }
      if (at < 0) at = static_cast<int>(i);
      splits.push_back(whole + "," + fraction);
    }
  }
  std::string field;
  if (!splits.empty()) {
    std::string named = splits.front();
    for (std::size_t k = 1; k < splits.size(); ++k) named += " or " + splits[k];
    message += "; " + named + (splits.size() == 1 ? " looks" : " look") +
               " like a decimal comma in a comma-separated file: quote the cell or use "
               "semicolons";
    if (at < static_cast<int>(h.cells.size())) field = Trim(h.cells[static_cast<std::size_t>(at)]);
  }
  return core::InputError{path, lineNo, at >= 0 ? at + 1 : static_cast<int>(h.cells.size()) + 1,
                          std::move(field), std::move(message)};
}

}  // namespace

void RowCells::Split(std::string_view line, char sep) {
  views_.clear();
  // Without a quote the cells are the pieces between the separators.
  if (line.find('"') == std::string_view::npos) {
    for (std::size_t at = 0;;) {
      const std::size_t end = line.find(sep, at);
      views_.push_back(line.substr(at, end == std::string_view::npos ? end : end - at));
      if (end == std::string_view::npos) return;
      at = end + 1;
    }
  }
  unquoted_.clear();
  ends_.clear();
  std::size_t start = 0;  // of the cell being read, in unquoted_
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char ch = line[i];
    if (quoted) {
      if (ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        unquoted_ += '"';
        ++i;
      } else if (ch == '"') {
        quoted = false;
      } else {
        unquoted_ += ch;
      }
    } else if (ch == '"' && TrimmedView(std::string_view(unquoted_).substr(start)).empty()) {
      unquoted_.resize(start);
      quoted = true;
    } else if (ch == sep) {
      ends_.push_back(unquoted_.size());
      start = unquoted_.size();
    } else {
      unquoted_ += ch;
    }
  }
  ends_.push_back(unquoted_.size());
  std::size_t begin = 0;
  for (const std::size_t end : ends_) {
    views_.push_back(std::string_view(unquoted_).substr(begin, end - begin));
    begin = end;
  }
}

void RowCells::SplitCopy(std::string line, char sep) {
  converted_ = std::move(line);
  Split(converted_, sep);
}

struct MeasurementTableParser::State {
  std::string path;
  std::optional<Real> wavelength;
  std::string setColumn;
  std::optional<Real> commentWavelength;
  // Excel's first line "sep=;" states the separator.
  char stated = '\0';
  std::optional<Header> header;
  int headerNo = 0;
  std::optional<core::InputError> error;
  bool twoTheta = false;
  std::array<std::string, 9> columnNames;
  std::vector<int> unreadAt;  // cell index of each unread column
  struct Seen {
    int line;
    std::vector<std::string> cells;
  };
  std::map<std::string, Seen> directions;

  bool Has(Col c) const { return header->at[static_cast<int>(c)] >= 0; }
};

MeasurementTableParser::MeasurementTableParser(std::string path, std::optional<Real> wavelength,
                                               std::string_view setColumn)
    : s_(std::make_unique<State>()) {
  s_->path = std::move(path);
  s_->wavelength = wavelength;
  s_->setColumn = std::string(setColumn);
}

MeasurementTableParser::~MeasurementTableParser() = default;

const std::optional<core::InputError>& MeasurementTableParser::HeaderError() const {
  return s_->error;
}
bool MeasurementTableParser::HasLabelColumn() const { return s_->Has(Col::kLabel); }
const std::array<std::string, 9>& MeasurementTableParser::ColumnNames() const {
  return s_->columnNames;
}
const std::vector<std::string>& MeasurementTableParser::UnreadColumns() const {
  return s_->header->unknown;
}
int MeasurementTableParser::HeaderLine() const { return s_->headerNo; }

MeasurementTableParser::HeaderStep MeasurementTableParser::FeedHeaderLine(std::string_view raw,
                                                                          int lineNo) {
  State& st = *s_;
  // Instruments and spreadsheets put lines of their own before the header (a title, the date,
  // the settings), with or without "#": the header is the first line that names the columns,
  // within the first lines of the file. The program's own worksheet file is no table: its
  // header (F11 or S1) ends the search, as does any line of the file before it that is no
  // preamble (its flags line of numbers).
  constexpr int kPreambleLines = 50;
  if (lineNo > kPreambleLines) return HeaderStep::kNoTable;
  if (lineNo == 1 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);  // byte-order mark
  const std::string line = core::ToUtf8(raw);
  const std::string trimmed = Trim(line);
  if (trimmed.empty()) return HeaderStep::kMore;
  if (lineNo == 1 && trimmed.size() == 5 && trimmed.rfind("sep=", 0) == 0) {
    st.stated = trimmed[4];
    return HeaderStep::kMore;
  }
  st.header = ReadHeader(line, lineNo, st.path, st.setColumn, st.stated);
  if (!st.header) {
    for (const std::string& cell : SplitCells(line, '\t'))
      if (Trim(cell) == "F11" || Trim(cell) == "S1") return HeaderStep::kNoTable;
    const bool comment = trimmed.front() == '#';
    // A line of numbers only (the worksheet file's flags, a data line) is no preamble.
    bool numbers = true;
    for (int w = 1; !core::GetWord(trimmed, w).empty(); ++w)
      numbers = numbers && core::ParseNumber(core::GetWord(trimmed, w)).ok();
    if (!comment && numbers) return HeaderStep::kNoTable;
    if (!st.commentWavelength) st.commentWavelength = CommentWavelength(line);
    return HeaderStep::kMore;
  }
  st.headerNo = lineNo;
  const Header& header = *st.header;
  if (header.error) {
    st.error = header.error;
    return HeaderStep::kRefused;
  }
  const auto has = [&](Col c) { return st.Has(c); };
  const auto refuseHeader = [&](std::string message) {
    st.error = core::InputError{st.path, lineNo, 0, {}, std::move(message)};
    return HeaderStep::kRefused;
  };
  if (!st.setColumn.empty() && !has(Col::kLabel))
    return refuseHeader("the header names no column \"" + st.setColumn + "\" for the data sets");
  if (!has(Col::kD) && !has(Col::kTwoTheta))
    return refuseHeader("the header names no column for d (or for 2theta)");
  if (has(Col::kD) && has(Col::kTwoTheta))
    return refuseHeader("the header names both d and 2theta: keep one of them");
  const bool separate = has(Col::kH) || has(Col::kK) || has(Col::kL) || has(Col::kI);
  if (!has(Col::kHkl) && !(has(Col::kH) && has(Col::kK) && has(Col::kL)))
    return refuseHeader("the header names no column for the reflection (hkl, or h, k and l)");
  if (has(Col::kHkl) && separate)
    return refuseHeader("the header names the reflection both as hkl and as separate indices");
  st.twoTheta = has(Col::kTwoTheta);
  const bool twoTheta = st.twoTheta;
  {
    const std::vector<std::string>& names = header.cells;
    const Col sources[9] = {Col::kCount, Col::kLabel, has(Col::kHkl) ? Col::kHkl : Col::kH,
                            Col::kPhi,   Col::kPsi,   twoTheta ? Col::kTwoTheta : Col::kD,
                            twoTheta ? Col::kTwoThetaErr : Col::kDErr, Col::kD0, Col::kD0Err};
    for (int c = 1; c <= 8; ++c) {
      const int at = sources[c] == Col::kCount ? -1 : header.at[static_cast<int>(sources[c])];
      if (at >= 0 && at < static_cast<int>(names.size()))
        st.columnNames[static_cast<std::size_t>(c)] =
            Trim(names[static_cast<std::size_t>(at)]);
    }
    for (std::size_t c = 0; c < names.size(); ++c) {
      bool known = false;
      for (int at : header.at) known |= at == static_cast<int>(c);
      if (!known && !Trim(names[c]).empty()) st.unreadAt.push_back(static_cast<int>(c));
    }
  }
  if (twoTheta && !has(Col::kWavelength)) {
    if (!st.wavelength) st.wavelength = st.commentWavelength;
    if (!st.wavelength)
      return refuseHeader(
          "d is given as 2theta, but no wavelength: add a \"wavelength\" column or a comment "
          "line \"# wavelength: 1.5406\" before the header, or give it with the table");
    if (!(*st.wavelength > 0) || !std::isfinite(static_cast<double>(*st.wavelength)))
      return refuseHeader("the wavelength must be a positive number");
  }
  return HeaderStep::kFound;
}

MeasurementTableParser::RowStep MeasurementTableParser::SplitRow(
    std::string_view raw, int lineNo, RowCells& cells,
    std::optional<core::InputError>& error) const {
  const std::size_t first = raw.find_first_not_of(" \t");
  if (first == std::string_view::npos || raw[first] == '#') return RowStep::kSkip;
  // Plain ASCII is UTF-8 as it stands.
  if (IsAscii(raw))
    cells.Split(raw, s_->header->sep);
  else
    cells.SplitCopy(core::ToUtf8(raw), s_->header->sep);
  if (IsBlankCells(cells)) return RowStep::kSkip;
  if (auto excess = ExcessCells(*s_->header, cells, s_->headerNo, lineNo, s_->path)) {
    error = std::move(excess);
    return RowStep::kError;
  }
  return RowStep::kCells;
}

namespace {

bool NoSpacing(std::string_view text) {
  if (text.size() > 4) return false;  // longer than any of the words below
  std::string cell(text);
  for (char& ch : cell) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return cell.empty() || cell == "nan" || cell == "-nan" || cell == "+nan" || cell == "n/a" ||
         cell == "na" || cell == "-";
}

}  // namespace

MeasurementTableParser::RowStep MeasurementTableParser::ReadRow(
    const RowCells& cells, int lineNo, MeasurementCells& m,
    std::optional<core::InputError>& error) const {
  const State& st = *s_;
  const bool twoTheta = st.twoTheta;
  RowReader row(*st.header, cells, lineNo, st.path);
  if (NoSpacing(row.View(twoTheta ? Col::kTwoTheta : Col::kD))) return RowStep::kNoSpacing;
  m = MeasurementCells{};
  m.line = lineNo;
  if (st.Has(Col::kLabel))
    m.label = row.View(Col::kLabel);
  else
    m.label = "1";
  if (m.label.empty()) {
    error = row.Error(Col::kLabel, "the cell is empty; every row needs its data-set label");
    return RowStep::kError;
  }
  const auto hkl = ReadHkl(row, error);
  if (!hkl) return RowStep::kError;
  m.hkl = *hkl;
  const bool phi = row.Number(Col::kPhi, true, error, &m.phi, &m.phiValue);
  const bool psi = row.Number(Col::kPsi, true, error, &m.psi, &m.psiValue);
  if (!phi || !psi) return RowStep::kError;
  if (twoTheta) {
    Real tth = 0, lambda = st.wavelength.value_or(0);
    if (!row.Number(Col::kTwoTheta, true, error, nullptr, &tth)) return RowStep::kError;
    if (st.Has(Col::kWavelength) && !row.Number(Col::kWavelength, true, error, nullptr, &lambda))
      return RowStep::kError;
    if (!(tth > 0 && tth < 180)) {
      error = row.Error(Col::kTwoTheta, "2theta must lie between 0 and 180 degrees");
      return RowStep::kError;
    }
    if (!(lambda > 0)) {
      error = row.Error(Col::kWavelength, "the wavelength must be a positive number");
      return RowStep::kError;
    }
    const Real theta = tth * core::kPi / 360;
    const Real d = lambda / (2 * std::sin(theta));
    m.d = NumberText(d);
    m.dValue = core::ParseNumber(m.d).value;
    Real tthErr = 0;
    if (st.Has(Col::kTwoThetaErr) && row.Number(Col::kTwoThetaErr, false, error, nullptr, &tthErr)) {
      // dd = d cot(theta) dtheta, with dtheta half the uncertainty of 2theta, in radians.
      m.dErr = NumberText(std::fabs(d / std::tan(theta) * tthErr * core::kPi / 360));
      m.dErrValue = core::ParseNumber(m.dErr).value;
    }
    if (error) return RowStep::kError;
  } else {
    if (!row.Number(Col::kD, true, error, &m.d, &m.dValue)) return RowStep::kError;
  }
  const std::tuple<Col, std::string*, Real*> optional[] = {{Col::kDErr, &m.dErr, &m.dErrValue},
                                                           {Col::kD0, &m.d0, &m.d0Value},
                                                           {Col::kD0Err, &m.d0Err, &m.d0ErrValue}};
  for (const auto& [col, cell, number] : optional) {
    if (!st.Has(col)) continue;
    row.Number(col, false, error, cell, number);
    if (error) return RowStep::kError;
  }
  return RowStep::kRow;
}

std::optional<core::InputError> MeasurementTableParser::RepeatedDirection(
    const MeasurementCells& m, const std::vector<std::string>& cells) {
  // Without a label every row is one data set. Rows that repeat a direction (reflection, phi
  // and psi) are then the measurements of several points or samples, and one fit through them
  // would give a stress of none: the table is refused, naming a column that tells them apart.
  State& st = *s_;
  if (st.Has(Col::kLabel)) return std::nullopt;
  const Header& header = *st.header;
  const std::string key = m.hkl + "|" + m.phi + "|" + m.psi;
  const auto [it, fresh] = st.directions.try_emplace(key, State::Seen{m.line, cells});
  if (fresh) return std::nullopt;
  std::vector<std::string> differing;
  for (std::size_t c = 0; c < header.cells.size(); ++c) {
    bool known = false;
    for (int at : header.at) known |= at == static_cast<int>(c);
    const std::string name = Trim(header.cells[c]);
    const auto cellOf = [c](const std::vector<std::string>& v) {
      return c < v.size() ? Trim(v[c]) : std::string();
    };
    if (!known && !name.empty() && cellOf(cells) != cellOf(it->second.cells))
      differing.push_back("\"" + name + "\"");
  }
  std::string message = "the row repeats the reflection " + m.hkl + ", phi " + m.phi +
                        " and psi " + m.psi + " of line " + std::to_string(it->second.line) +
                        ", and the table has no column of data-set labels: its rows would be "
                        "fitted as one data set. ";
  if (differing.empty()) {
    message += "Add a column (set, point, sample, ...) that names the data set of each row";
  } else {
    std::string names = differing.front();
    for (std::size_t k = 1; k < differing.size(); ++k) names += ", " + differing[k];
    message += "The column" + std::string(differing.size() == 1 ? " " : "s ") + names +
               (differing.size() == 1 ? " tells" : " tell") +
               " the two rows apart: name the one that labels the data sets (--set-column "
               "on the command line), or rename it \"set\"";
  }
  return core::InputError{st.path, m.line, 0, {}, std::move(message)};
}

std::string MeasurementTableParser::LabelOf(const RowCells& cells) const {
  return s_->Has(Col::kLabel) ? RowReader(*s_->header, cells, 0, s_->path).Text(Col::kLabel)
                              : std::string("1");
}

std::vector<std::string> MeasurementTableParser::UnreadCells(const RowCells& cells) const {
  std::vector<std::string> out;
  UnreadCellsInto(cells, out);
  return out;
}

void MeasurementTableParser::UnreadCellsInto(const RowCells& cells,
                                             std::vector<std::string>& out) const {
  out.resize(s_->unreadAt.size());
  for (std::size_t k = 0; k < out.size(); ++k) {
    const int at = s_->unreadAt[k];
    out[k].assign(at < static_cast<int>(cells.size())
                      ? TrimmedView(cells[static_cast<std::size_t>(at)])
                      : std::string_view());
  }
}

core::InputError MeasurementTableParser::IncompleteRowsError(const std::vector<int>& lines) const {
  const State& st = *s_;
  std::string list;
  for (std::size_t k = 0; k < lines.size() && k < 20; ++k)
    list += (k == 0 ? "" : ", ") + std::to_string(lines[k]);
  if (lines.size() > 20) list += ", ...";
  const int at = st.header->at[static_cast<int>(st.twoTheta ? Col::kTwoTheta : Col::kD)];
  return core::InputError{
      st.path, lines.front(), at + 1, Trim(st.header->cells[static_cast<std::size_t>(at)]),
      std::to_string(lines.size()) + (lines.size() == 1 ? " row has" : " rows have") + " no " +
          (st.twoTheta ? "2theta" : "d") + " (empty or NaN: a peak fit that failed?), " +
          (lines.size() == 1 ? "line " : "lines ") + list +
          ": drop them with --skip-incomplete-rows (in the window: \"Skip rows without "
          "d\"), or fill them in"};
}

MeasurementTableRead ParseMeasurementTable(std::string_view text, const std::string& path,
                                           std::optional<Real> wavelength,
                                           std::string_view setColumn, bool skipIncompleteRows) {
  MeasurementTableRead out;
  const std::vector<std::string> lines = core::SplitLines(text);
  MeasurementTableParser parser(path, wavelength, setColumn);
  std::size_t n = 0;
  for (auto step = MeasurementTableParser::HeaderStep::kMore;; ++n) {
    if (n == lines.size()) return out;
    step = parser.FeedHeaderLine(lines[n], static_cast<int>(n) + 1);
    if (step == MeasurementTableParser::HeaderStep::kNoTable) return out;
    if (step == MeasurementTableParser::HeaderStep::kMore) continue;
    out.isTable = true;
    if (step == MeasurementTableParser::HeaderStep::kRefused) {
      out.error = parser.HeaderError();
      return out;
    }
    break;
  }
  out.columnNames = parser.ColumnNames();
  out.unreadColumns = parser.UnreadColumns();

  // Rows whose spacing is empty or NaN: a peak fit that failed. They are dropped when asked,
  // else the table is refused naming them all, so that the user sees every gap at once.
  std::vector<int> incomplete;
  RowCells cells;
  using Step = MeasurementTableParser::RowStep;
  for (++n; n < lines.size(); ++n) {
    const int lineNo = static_cast<int>(n) + 1;
    const Step split = parser.SplitRow(lines[n], lineNo, cells, out.error);
    if (split == Step::kSkip) continue;
    if (split == Step::kError) break;
    // Each measurement becomes a worksheet row of 34 cells: a table beyond the largest
    // worksheet is refused at the first line too many, instead of filling the memory.
    if (out.rows.size() == static_cast<std::size_t>(kMaxWorksheetRows)) {
      out.error = core::InputError{path,
                                   lineNo,
                                   0,
                                   {},
                                   "more than " + std::to_string(kMaxWorksheetRows) +
                                       " measurements, the most a worksheet holds: the first " +
                                       std::to_string(kMaxWorksheetRows) + " (up to line " +
                                       std::to_string(out.rows.back().line) +
                                       ") were read, nothing was loaded; split the table"};
      break;
    }
    MeasurementCells m;
    const Step read = parser.ReadRow(cells, lineNo, m, out.error);
    if (read == Step::kNoSpacing) {
      (skipIncompleteRows ? out.droppedLines : incomplete).push_back(lineNo);
      continue;
    }
    if (read == Step::kError) break;
    if (auto twice = parser.HasLabelColumn() ? std::nullopt
                                             : parser.RepeatedDirection(m, cells.Strings())) {
      out.error = std::move(twice);
      break;
    }
    out.rows.push_back(std::move(m));
  }
  if (!out.error && !incomplete.empty()) out.error = parser.IncompleteRowsError(incomplete);
  if (out.error) {
    out.rows.clear();
    out.droppedLines.clear();
  }
  return out;
}

MeasurementTableRead ReadMeasurementTable(const std::string& path,
                                          std::optional<Real> wavelength,
                                          std::string_view setColumn, bool skipIncompleteRows) {
  MeasurementTableRead out;
  // What is no regular file is no table; the worksheet reader then says what it is.
  if (core::InputFileProblem(path)) return out;
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > kMaxMeasurementTableBytes) return out;
  std::ifstream in(path, std::ios::binary);
  if (!in) return out;
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(size));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.find('\0') != std::string::npos) return out;  // binary data
  return ParseMeasurementTable(text, path, wavelength, setColumn, skipIncompleteRows);
}

WorksheetLoad ReadWorksheetOrTable(const std::string& path, int rowCount,
                                   std::optional<Real> wavelength, std::string_view setColumn,
                                   bool skipIncompleteRows) {
  WorksheetLoad load;
  load.table = ReadMeasurementTable(path, wavelength, setColumn, skipIncompleteRows);
  load.isTable = load.table.isTable;
  if (!load.isTable) load.sheet = ReadWorksheetFile(path, rowCount);
  return load;
}

std::optional<std::string> WorksheetTargetProblem(const std::string& path) {
  std::error_code ec;
  // What is no regular file the writer refuses itself, saying what it is.
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) == 0 || ec) return std::nullopt;
  const WorksheetLoad load = ReadWorksheetOrTable(path, kWorksheetRows, std::nullopt);
  if (load.isTable)
    return std::string(
        "this is a measurement table, not a worksheet file; it is left as it is "
        "(save the worksheet to a file of its own)");
  if (!load.sheet.headerFound)
    return std::string(
        "this file holds no worksheet (no worksheet header); it is left as it is "
        "(save the worksheet to a file of its own)");
  return std::nullopt;
}

void ApplyMeasurementTable(core::CellTable& g, const MeasurementTableRead& table, bool useFij) {
  const int needed = static_cast<int>(table.rows.size()) + 1;
  if (g.rows < needed) {
    const int old = g.rows;
    g.Resize(g.cols, needed);
    for (int r = old; r < g.rows; ++r) g.SetCell(0, r, std::to_string(r));
  }
  NameWorksheetColumns(g, useFij);
  for (int r = 1; r < g.rows; ++r)
    for (int c = 1; c <= 8; ++c) g.SetCell(c, r, "");
  for (std::size_t k = 0; k < table.rows.size(); ++k) {
    const MeasurementCells& m = table.rows[k];
    const int r = static_cast<int>(k) + 1;
    const std::string* cells[] = {&m.label, &m.hkl, &m.phi, &m.psi,
                                  &m.d,     &m.dErr, &m.d0, &m.d0Err};
    for (int c = 1; c <= 8; ++c) g.SetCell(c, r, *cells[c - 1]);
  }
  const int first = g.ColumnOf("sig_xx");
  for (int c = first; c < first + 12 && c < g.cols; ++c) g.SetCell(c, 1, "0");
}

std::string MeasurementColumnOf(std::string_view header) {
  static constexpr std::array<std::string_view, static_cast<int>(Col::kCount)> kKeys = {
      "label", "hkl", "h", "k", "i", "l", "phi", "psi", "d", "d_err", "d0", "d0_err",
      "2theta", "2theta_err", "wavelength"};
  const auto found = NameTable().find(Normalize(header));
  if (found == NameTable().end()) return {};
  return std::string(kKeys[static_cast<std::size_t>(found->second)]);
}

}  // namespace polydec::stress
