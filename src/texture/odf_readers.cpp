#include "texture/odf_readers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_expansion.h"
#include "texture/odf_grid.h"
#include "texture/odf_values.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::kPi;
using core::ParsedNumber;

namespace {

// ODF values and grain weights beyond this are no texture (a sharp texture reaches some
// thousand times random): sums and integrals of them would leave the range of the numbers
// written to files and to JSON.
constexpr Real kLargestDensity = 1e100L;

constexpr Real kStep = kODFStep;
constexpr int kPoplaRows = 19;    // data lines per section, Phi = r·step
constexpr int kPoplaValues = 19;  // values per line, second angle = c·step
constexpr int kPoplaValueWidth = 4;

// An orientation density integrates to 1 over orientation space: a file of zeros is no texture,
// and every weighted average over it would divide by zero.
constexpr const char* kZeroODFMessage =
    "every value of the ODF is 0: a texture needs orientations of positive density";

std::size_t At(Int n) { return static_cast<std::size_t>(n); }

using core::LineRead;

// Lines of a text file, never held beyond kMaxODFLineLength characters.
class LineSource : public core::LineSource {
 public:
  explicit LineSource(std::streambuf& in) : core::LineSource(in, kMaxODFLineLength) {}
};

bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

// Printable form of a piece of a file for a message: control and non-ASCII bytes as '?', and
// no more than 60 characters.
std::string Shown(std::string_view s) {
  std::string out;
  for (char ch : s.substr(0, 60)) out += (ch >= 32 && ch < 127) ? ch : '?';
  if (s.size() > 60) out += "...";
  return out;
}

std::string TooLongMessage() {
  return "the line is longer than " + std::to_string(kMaxODFLineLength) +
         " characters (is this a text file?)";
}

// Columns first..first+width-1 (counted from 1) of a line; a field ends early at the end of the
// line.
std::string_view Field(std::string_view line, std::size_t first, std::size_t width) {
  if (first - 1 >= line.size()) return {};
  return line.substr(first - 1, width);
}

// A number in a fixed-width field, blanks on either side allowed.
ParsedNumber ParseField(std::string_view field) {
  const std::size_t begin = field.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {0, 1};
  const std::size_t end = field.find_last_not_of(" \t");
  return core::ParseNumber(field.substr(begin, end - begin + 1));
}

std::string Columns(std::size_t first, std::size_t width) {
  return "columns " + std::to_string(first) + "-" + std::to_string(first + width - 1);
}

// Node number of an angle in degrees on an axis of `count` nodes, or empty when the angle lies
// off the grid (checked before any conversion to an integer).
std::optional<Int> AxisNode(Real degrees, Int count) {
  const Real x = degrees / kStep;
  if (!(x >= -1 && x <= count)) return std::nullopt;
  const Int n = static_cast<Int>(std::nearbyint(x));
  if (n < 0 || n >= count) return std::nullopt;
  return n;
}

std::string Number(Real x) { return core::FormatGeneral(x); }

// Angles within this many degrees of a multiple of 5 are that grid angle (the last digits of a
// table written with a few decimals); anything farther belongs to another grid.
constexpr Real kGridTolerance = 1e-3L;

bool OnGrid(Real degrees) {
  const Real x = degrees / kStep;
  return std::fabs(x - std::nearbyint(x)) * kStep <= kGridTolerance;
}

// Angles of a whole table that all lie within one turn in radians, and off the 5-degree grid,
// are radians, not degrees.
constexpr Real kTwoPi = 2 * kPi;
constexpr const char* kRadiansHint = "the angles look like radians; polydec reads degrees";

// Two values for one node: neither can be taken for the other.
std::string TwiceMessage(Real a1, Real a, Real a2, Real first, int firstLine, Real second,
                         int secondLine) {
  return "the node [phi1,Phi,phi2]=[" + Number(a1) + "," + Number(a) + "," + Number(a2) +
         "] is given twice with different values: " + Number(first) + " on line " +
         std::to_string(firstLine) + " and " + Number(second) + " on line " +
         std::to_string(secondLine);
}

std::string Bracket(int i1, int i, int i2) {
  return "[" + std::to_string(i1) + "," + std::to_string(i) + "," + std::to_string(i2) + "]";
}

Int ClampedCount(long long count) {
  return static_cast<Int>(std::min<long long>(count, std::numeric_limits<Int>::max()));
}

class Outcome {
 public:
  Outcome(const std::string& file, OrientationsRec& ctx) : ctx_(ctx) { r_.file = file; }

  ODFReadResult Fail(Int status, int line, std::string message) {
    r_.status = status != 0 ? status : 1;
    r_.line = line;
    r_.message = std::move(message);
    ctx_.error = r_.status;
    return r_;
  }
  ODFReadResult Succeed() {
    r_.status = 0;
    ctx_.error = 0;
    return r_;
  }
  ODFReadResult& result() { return r_; }

 private:
  ODFReadResult r_;
  OrientationsRec& ctx_;
};

// One popla section header, as far as the reader uses it.
struct PoplaHeader {
  bool sectionIsPhi1 = true;  // SODB, SHDB: sections of phi1; CHDB, CODB: sections of phi2
  Real phiStep = 0, phiMax = 0, step2 = 0, max2 = 0, section = 0;
  Int sectionNode = 0;
  std::array<Int, kPoplaRows> rowNode{};       // Phi node of each data line
  std::array<Int, kPoplaValues> columnNode{};  // node of the second angle of each value
};

// Reads and checks a header line; on a problem returns the status and message.
std::optional<std::pair<Int, std::string>> ParsePoplaHeader(std::string_view line, PoplaHeader& h) {
  const std::string type(Field(line, 2, 4));
  if (type == "SODB" || type == "SHDB") {
    h.sectionIsPhi1 = true;
  } else if (type == "CHDB" || type == "CODB") {
    h.sectionIsPhi1 = false;
  } else {
    return std::pair<Int, std::string>{1,
                                       "unknown section type \"" + Shown(type) +
                                           "\" in columns 2-5 (SODB, SHDB, CHDB or CODB expected)"};
  }
  struct NumberField {
    std::size_t first, width;
    const char* name;
    Real* target;
  };
  const NumberField fields[] = {{6, 5, "Phi step", &h.phiStep},
                                {11, 5, "Phi maximum", &h.phiMax},
                                {16, 5, "step of the second angle", &h.step2},
                                {21, 5, "maximum of the second angle", &h.max2},
                                {51, 5, "section angle", &h.section}};
  for (const NumberField& f : fields) {
    const std::string_view text = Field(line, f.first, f.width);
    const ParsedNumber p = ParseField(text);
    if (!p.ok())
      return std::pair<Int, std::string>{p.errorPos, std::string("the ") + f.name + " (" +
                                                         Columns(f.first, f.width) + ") \"" +
                                                         Shown(text) + "\" is not a number"};
    *f.target = p.value;
  }
  if (!(h.phiMax >= 0 && h.phiMax <= 180))
    return std::pair<Int, std::string>{
        1, "the Phi maximum " + Number(h.phiMax) + " lies outside 0..180"};
  if (!(h.max2 >= 0 && h.max2 <= 360))
    return std::pair<Int, std::string>{
        1, "the maximum of the second angle " + Number(h.max2) + " lies outside 0..360"};
  const std::optional<Int> section = AxisNode(h.section, h.sectionIsPhi1 ? kPhi1Nodes : kPhi2Nodes);
  if (!section)
    return std::pair<Int, std::string>{
        1, "the section angle " + Number(h.section) + " lies outside the grid (0..360)"};
  h.sectionNode = *section;
  for (int r = 0; r < kPoplaRows; ++r) {
    const std::optional<Int> node = AxisNode(r * h.phiStep, kPhiNodes);
    if (!node)
      return std::pair<Int, std::string>{1, "with the Phi step " + Number(h.phiStep) +
                                                " the section's rows leave the grid (0..180)"};
    h.rowNode[static_cast<std::size_t>(r)] = *node;
  }
  for (int c = 0; c < kPoplaValues; ++c) {
    const std::optional<Int> node =
        AxisNode(c * h.step2, h.sectionIsPhi1 ? kPhi2Nodes : kPhi1Nodes);
    if (!node)
      return std::pair<Int, std::string>{1, "with the step " + Number(h.step2) +
                                                " of the second angle the section's values "
                                                "leave the grid (0..360)"};
    h.columnNode[static_cast<std::size_t>(c)] = *node;
  }
  // Rounded onto the nodes, a section at 2.5 degrees or a step of 2.5 (or one in radians) would
  // put its values at nodes they were not measured at, several rows onto one node.
  // 19 rows whose Phi step spans no more than a turn in radians are rows in radians.
  const bool radians = h.phiStep > 0 && !OnGrid(h.phiStep) && h.phiStep * (kPoplaRows - 1) <= kTwoPi;
  const auto offGrid = [radians](const char* name, const NumberField& f, Real value) {
    std::string message = std::string("the ") + name + " " + Number(value) + " (" +
                          Columns(f.first, f.width) +
                          ") is not a multiple of 5 degrees: the values would not lie on the "
                          "nodes of the 5-degree grid";
    if (radians) message += std::string("; ") + kRadiansHint;
    return std::pair<Int, std::string>{1, message};
  };
  if (!OnGrid(h.section)) return offGrid("section angle", fields[4], h.section);
  if (!OnGrid(h.phiStep)) return offGrid("Phi step", fields[0], h.phiStep);
  if (!OnGrid(h.step2)) return offGrid("step of the second angle", fields[2], h.step2);
  return std::nullopt;
}

// The words of an MTEX line whose numbers carry a decimal comma ("0 5 10 25,11", also
// separated by semicolons): each comma becomes a point. Empty when the line has no such number
// (its commas, if any, separate numbers); {"?", word} when a word holds two commas between
// digits.
std::vector<std::string> DecimalCommaWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  const auto flush = [&] {
    if (!word.empty()) words.push_back(word);
    word.clear();
  };
  for (char ch : line) {
    if (ch == ' ' || ch == '\t' || ch == ';')
      flush();
    else
      word += ch;
  }
  flush();
  // Fewer words than the four numbers: the commas are what separates them.
  if (words.size() < 4) return {};
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  bool decimalComma = false;
  for (const std::string& w : words)
    for (std::size_t i = 1; i + 1 < w.size(); ++i)
      if (w[i] == ',' && isDigit(w[i - 1]) && isDigit(w[i + 1]) &&
          w.find('.') == std::string::npos)
        decimalComma = true;
  if (!decimalComma) return {};
  for (std::string& w : words) {
    const std::size_t comma = w.find(',');
    if (comma == std::string::npos) continue;
    if (w.find(',', comma + 1) != std::string::npos) return {"?", w};
    w[comma] = '.';
  }
  return words;
}

// The nearest integer of a non-negative x below 2^62, ties to even as nearbyint rounds them; the
// library's rounding of extended precision costs more than the whole parsing of a table line.
Int NearestInteger(Real x) {
  const long long below = static_cast<long long>(x);  // truncation: x >= 0
  const Real rest = x - static_cast<Real>(below);
  if (rest > Real{0.5} || (rest == Real{0.5} && (below & 1) != 0)) return static_cast<Int>(below + 1);
  return static_cast<Int>(below);
}

void SetNode(OrientationsRec& ctx, std::size_t n, Real value, Real a1, Real a, Real a2) {
  ctx.ODF[n] = value;
  ctx.phi1[n] = a1;
  ctx.phi[n] = a;
  ctx.phi2[n] = a2;
}

bool IsPoplaSectionHeader(std::string_view line) {
  const std::string_view type = Field(line, 2, 4);
  return type == "SODB" || type == "SHDB" || type == "CHDB" || type == "CODB" ||
         Field(line, 1, 55).find("PROJ") != std::string_view::npos;
}

// What a word of an MTEX header names.
enum class MtexColumn { kPhi1, kPhi, kPhi2, kValue, kOther };
constexpr const char* kMtexColumnNames[] = {"phi1", "Phi", "phi2", "value"};

// A header word in lower case with the Greek phi (φ, ϕ, Φ) and subscript digits spelt out,
// underscores and a unit in brackets ("phi1[deg]", "Phi(deg)") dropped.
std::string NormalHeaderWord(std::string_view w) {
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(w[k]); };
    if (i + 1 < w.size() &&
        ((at(i) == 0xCF && (at(i + 1) == 0x86 || at(i + 1) == 0x95)) ||
         (at(i) == 0xCE && at(i + 1) == 0xA6))) {
      out += "phi";
      ++i;
    } else if (i + 2 < w.size() && at(i) == 0xE2 && at(i + 1) == 0x82 &&
               (at(i + 2) == 0x81 || at(i + 2) == 0x82)) {
      out += at(i + 2) == 0x81 ? '1' : '2';
      i += 2;
    } else if (w[i] == '_') {
      continue;
    } else if (w[i] == '[' || (w[i] == '(' && !out.empty() && out != "f")) {
      break;
    } else {
      out += static_cast<char>(std::tolower(at(i)));
    }
  }
  return out;
}

MtexColumn ClassifyHeaderWord(std::string_view word) {
  const std::string w = NormalHeaderWord(word);
  if (w == "phi1") return MtexColumn::kPhi1;
  if (w == "phi") return MtexColumn::kPhi;
  if (w == "phi2") return MtexColumn::kPhi2;
  for (const char* v : {"value", "values", "intensity", "intensities", "f", "f(g)", "fg", "odf",
                        "odfvalue", "density"})
    if (w == v) return MtexColumn::kValue;
  return MtexColumn::kOther;
}

// Words of a header line: separated by blanks, TABs, commas and semicolons, comment marks
// (%, #, !) in front of the line dropped.
std::vector<std::string> HeaderWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  const auto flush = [&] {
    const std::size_t begin = words.empty() ? word.find_first_not_of("%#!") : 0;
    if (begin != std::string::npos && begin < word.size()) words.push_back(word.substr(begin));
    word.clear();
  };
  for (char ch : line) {
    if (ch == ' ' || ch == '\t' || ch == ',' || ch == ';')
      flush();
    else
      word += ch;
  }
  flush();
  return words;
}

// Where the columns of an MTEX table are, from its header line.
struct MtexHeader {
  bool isHeader = false;
  std::string problem;                 // non-empty: a header whose columns cannot be placed
  std::array<int, 4> column{0, 1, 2, 3};  // 0-based word of phi1, Phi, phi2 and the value
  bool standard() const { return column == std::array<int, 4>{0, 1, 2, 3}; }
};

std::string JoinedWords(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + Shown(w);
  return out;
}

// A header is a line naming phi1, Phi and phi2, as written (anywhere in the line), or as column
// names in any case or spelling when its words are only column names or begin with the three
// angles. Then the words are the columns and each is read by its name; the value is the column
// named as such or else the fourth. A header that names the angles in the usual order after
// other words (a description, "MTEX export: phi1 Phi phi2 value") keeps the usual columns.
MtexHeader ReadMtexHeader(std::string_view line) {
  MtexHeader h;
  const bool written = line.find("phi1") != std::string_view::npos &&
                       line.find("Phi") != std::string_view::npos &&
                       line.find("phi2") != std::string_view::npos;
  const std::vector<std::string> words = HeaderWords(line);
  std::array<std::vector<int>, 4> at;  // word positions of each name
  for (std::size_t k = 0; k < words.size(); ++k) {
    const MtexColumn c = ClassifyHeaderWord(words[k]);
    if (c != MtexColumn::kOther) at[static_cast<std::size_t>(c)].push_back(static_cast<int>(k));
  }
  const bool named = !at[0].empty() && !at[1].empty() && !at[2].empty();
  if (!named) {
    h.isHeader = written;  // the usual columns, as always for such a header
    return h;
  }
  const int p1 = at[0][0], p = at[1][0], p2 = at[2][0];
  const bool namesOnly = at[0].size() + at[1].size() + at[2].size() + at[3].size() == words.size();
  const bool anglesFirst = std::max({p1, p, p2}) == 2;
  // Other spellings amid other words are a comment, not the header.
  h.isHeader = written || namesOnly || anglesFirst;
  if (!h.isHeader) return h;
  const std::string shown = " (header words: " + JoinedWords(words) + ")";
  for (std::size_t c = 0; c < 4; ++c)
    if (at[c].size() > 1) {
      h.problem = std::string("the header names ") + kMtexColumnNames[c] + " " +
                  std::to_string(at[c].size()) + " times" + shown +
                  ": the columns cannot be told apart";
      return h;
    }
  if (namesOnly || anglesFirst) {
    h.column = {p1, p, p2, at[3].empty() ? 3 : at[3][0]};
    return h;
  }
  if (p1 < p && p < p2) return h;
  h.problem = "the header names the angles after other words and not in the order phi1 Phi "
              "phi2" + shown + ": the columns cannot be placed; name the columns alone, e.g. "
              "\"phi1 Phi phi2 value\"";
  return h;
}

// One row of an MTEX table: the angles and the value from the columns the header placed.
struct MtexRow {
  Real v[4] = {0, 0, 0, 0};  // phi1, Phi, phi2, value
  Int status = 0;
  bool offGrid = false;  // the problem is an angle between the nodes, in `column`
  int column = 0;         // 1-based word of that angle
  int name = -1;          // which of phi1, Phi, phi2 it is
  std::string problem;
};

MtexRow ParseMtexRow(std::string_view line, const MtexHeader& header) {
  MtexRow row;
  const int words = *std::max_element(header.column.begin(), header.column.end()) + 1;
  // Most lines have no comma at all; only those can carry decimal commas.
  const std::vector<std::string> commaWords =
      line.find(',') == std::string_view::npos ? std::vector<std::string>{}
                                               : DecimalCommaWords(line);
  if (!commaWords.empty() && commaWords.front() == "?") {
    row.status = 1;
    row.problem = "\"" + Shown(commaWords[1]) +
                  "\" has more than one comma: neither a number with a decimal comma nor a list";
    return row;
  }
  std::vector<std::string_view> plainWords(At(words));
  if (commaWords.empty()) core::FirstWords(line, plainWords.data(), words);
  const auto word = [&](int k) -> std::string_view {
    if (commaWords.empty()) return plainWords[At(k)];
    return At(k) < commaWords.size() ? std::string_view(commaWords[At(k)]) : std::string_view();
  };
  for (int c = 0; c < 4; ++c) {
    const int k = header.column[At(c)];
    const std::string_view w = word(k);
    if (w.empty()) {
      row.status = 1;
      row.problem = header.standard()
                        ? "the line holds fewer than 4 numbers (phi1, Phi, phi2, value)"
                        : "the line has no word " + std::to_string(k + 1) + ", where the header puts " +
                              kMtexColumnNames[c];
      return row;
    }
    const ParsedNumber p = core::ParseNumber(w);
    if (!p.ok()) {
      row.status = p.errorPos;
      row.problem = "\"" + Shown(w) + "\" (word " + std::to_string(k + 1) + ") is not a number";
      return row;
    }
    row.v[c] = p.value;
  }
  const Real ends[] = {360, 180, 360};
  for (int c = 0; c < 3; ++c)
    if (!(row.v[c] >= 0 && row.v[c] <= ends[c])) {
      row.status = 1;
      row.problem = std::string(kMtexColumnNames[c]) + " = " + Number(row.v[c]) +
                    " lies outside 0.." + Number(ends[c]);
      return row;
    }
  if (row.v[3] < 0) {
    row.status = 1;
    row.problem = "the ODF value " + Number(row.v[3]) + " is negative";
    return row;
  }
  if (!(row.v[3] <= kLargestDensity)) {
    row.status = 1;
    row.problem = "the ODF value " + Shown(word(header.column[At(3)])) + " lies beyond " +
                  Number(kLargestDensity);
    return row;
  }
  // Rounded onto the nodes, an angle between them would put its value at a node it was not
  // measured at.
  for (int c = 0; c < 3; ++c)
    if (!OnGrid(row.v[c])) {
      row.status = 1;
      row.offGrid = true;
      row.column = header.column[At(c)] + 1;
      row.name = c;
      row.problem = std::string(kMtexColumnNames[c]) + " = " + Number(row.v[c]) + " (word " +
                    std::to_string(row.column) +
                    ") is not on the 5-degree grid (0, 5, 10, ... degrees)";
      return row;
    }
  return row;
}

// Why the angles of a table are off the grid, from the rest of the file: all of them within one
// turn (radians: no node but 0, and angles neither on nodes nor halfway), or all halfway
// between nodes (a table of cell centres). largestBefore is the
// largest angle of the rows before the refused one, whose angles are offGrid.
std::string OffGridHint(LineSource& src, const MtexHeader& header, Real largestBefore,
                        bool rowsBefore, const Real offGrid[3]) {
  Real largest = largestBefore;
  bool halfway = !rowsBefore;
  bool gridAngle = largestBefore > 0;  // a node other than 0 degrees: the table is in degrees
  bool between = false;  // an angle neither on a node nor halfway (2.5 degrees is no radian)
  const auto take = [&](const Real v[3]) {
    for (int c = 0; c < 3; ++c) {
      largest = std::max(largest, v[c]);
      const bool half = OnGrid(v[c] + kStep / 2);
      if (!half) halfway = false;
      if (v[c] > kGridTolerance && OnGrid(v[c])) gridAngle = true;
      if (!half && !OnGrid(v[c])) between = true;
    }
  };
  take(offGrid);
  std::string line;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return {};
    if (IsBlank(line)) continue;
    const MtexRow row = ParseMtexRow(line, header);
    if (row.status != 0 && !row.offGrid) return {};
    take(row.v);
  }
  if (largest <= kTwoPi + 1e-6L && between && !gridAngle) return std::string("; ") + kRadiansHint;
  if (halfway)
    return "; all of them lie halfway between the nodes, as in a table of cell centres: "
           "polydec reads the values at the nodes 0, 5, 10, ... degrees";
  return {};
}

bool RestIsBlank(LineSource& src) {
  std::string line;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) return true;
    if (t == LineRead::kTooLong || !IsBlank(line)) return false;
  }
}

}  // namespace

namespace {

// The popla reader; without expand it stops once the values are on the grid and the region is
// known, before the completion and expansion.
ODFReadResult ReadPopla(const std::string& fileName, OrientationsRec& ctx, bool completeByRules,
                        bool expand) {
  Outcome out(fileName, ctx);
  if (auto problem = core::InputFileProblem(fileName))
    return out.Fail(0, 0, "the file cannot be opened: " + *problem);
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return out.Fail(1, 0, "the file cannot be opened");
  SizeODFArrays(ctx);
  LineSource src(*in.rdbuf());

  long long counter = 0;
  bool anyPositive = false;
  Real last = 0;  // phi1 of the last value stored
  std::vector<int> lineOf;  // line that gave each node its value, 0 for none
  PoplaHeader h;
  std::string title, header, line;
  for (;;) {
    LineRead t = src.Next(title);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    int titleLine = src.Number();
    // Blank lines between sections, or between a title and its header, are skipped; a blank
    // title stays a title when a section header follows it.
    bool ended = false;
    for (;;) {
      t = src.Next(header);
      if (t == LineRead::kEnd) {
        ended = true;
        break;
      }
      if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
      if (IsBlank(header)) continue;
      if (IsBlank(title) && !IsPoplaSectionHeader(header)) {
        title = header;
        titleLine = src.Number();
        continue;
      }
      break;
    }
    if (ended) {
      if (IsBlank(title)) break;
      return out.Fail(1, titleLine + 1,
                      "the file ends after the section title on line " + std::to_string(titleLine));
    }
    const int headerLine = src.Number();
    if (Field(header, 1, 55).find("PROJ") != std::string_view::npos) break;
    if (IsBlank(title) && IsBlank(header) && RestIsBlank(src)) break;
    if (const auto problem = ParsePoplaHeader(header, h))
      return out.Fail(problem->first, headerLine, problem->second);

    // A file that has proved to be a popla file replaces the ODF held: nodes that the file,
    // the boundary completion and the expansion do not write must not keep an older texture.
    if (counter == 0) {
      std::fill(ctx.ODF.begin(), ctx.ODF.end(), Real{0});
      lineOf.assign(At(kODFNodeCount), 0);
    }

    for (int r = 0; r < kPoplaRows; ++r) {
      do t = src.Next(line);
      while (t == LineRead::kLine && IsBlank(line));
      if (t == LineRead::kEnd)
        return out.Fail(1, src.Number() + 1,
                        "the file ends inside the section whose header is on line " +
                            std::to_string(headerLine) + " (19 data lines expected)");
      if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
      const Real Phi = r * h.phiStep;
      for (int c = 0; c < kPoplaValues; ++c) {
        const std::size_t first = 2 + static_cast<std::size_t>(kPoplaValueWidth * c);
        const std::string_view text = Field(line, first, kPoplaValueWidth);
        const ParsedNumber p = ParseField(text);
        const std::string what = "value " + std::to_string(c + 1) + " (" +
                                 Columns(first, kPoplaValueWidth) + ") \"" + Shown(text) + "\"";
        if (!p.ok()) return out.Fail(p.errorPos, src.Number(), what + " is not a number");
        if (p.value < 0) return out.Fail(1, src.Number(), what + " is negative");
        const Real second = c * h.step2;
        const Int rowNode = h.rowNode[static_cast<std::size_t>(r)];
        const Int colNode = h.columnNode[static_cast<std::size_t>(c)];
        const Real a1 = h.sectionIsPhi1 ? h.section : second;
        const Real a2 = h.sectionIsPhi1 ? second : h.section;
        const Int n = h.sectionIsPhi1 ? ODFNodeIndex(h.sectionNode, rowNode, colNode)
                                      : ODFNodeIndex(colNode, rowNode, h.sectionNode);
        // A node given by two sections (a section repeated, or sections of phi1 and of phi2
        // crossing) keeps one value only when both agree.
        if (lineOf[At(n)] != 0 && ctx.ODF[At(n)] != p.value) {
          out.result().column = static_cast<int>(first);
          return out.Fail(1, src.Number(),
                          TwiceMessage(a1, Phi, a2, ctx.ODF[At(n)], lineOf[At(n)], p.value,
                                       src.Number()));
        }
        lineOf[At(n)] = src.Number();
        SetNode(ctx, At(n), p.value, a1, Phi, a2);
        if (p.value > 0) anyPositive = true;
        ++counter;
        last = a1;
      }
    }
    t = src.Next(line);
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (t == LineRead::kEnd) break;
  }
  if (counter == 0) return out.Fail(1, 0, "the file holds no ODF values");
  if (!anyPositive) return out.Fail(1, 0, kZeroODFMessage);
  out.result().valuesRead = counter;

  const Real maxP = h.phiMax, max2 = h.max2, step1 = h.phiStep, step2 = h.step2;
  // The extent of phi1 tells which sample symmetry the data were reduced by.
  if (last >= 80 && last < 95) ctx.SYMMETRY = 7;
  if (last >= 175 && last < 185) ctx.SYMMETRY = 9;
  if (last >= 180) ctx.SYMMETRY = 10;
  ctx.ODFNUMP = ClampedCount(counter);
  SetODFGridAngles(ctx);

  const bool hexagonal = max2 == 60;
  if (hexagonal) {
    // A twofold sample axis Z repeats the section phi1 = 0 at 180 degrees.
    if (last == 175) {
      for (Int i = 0; i <= 18; ++i)
        for (Int j = 0; j <= 12; ++j)
          ctx.ODF[At(ODFNodeIndex(36, i, j))] = ctx.ODF[At(ODFNodeIndex(0, i, j))];
      last = 180;
    }
    ctx.Cryst.SYS = 2;
  } else {
    if (last == 85 && max2 == 90) {
      // The section phi1 = 90 is the image of the loaded region under the symmetries; it is
      // read from the loaded grid directly, since the ODF is not switched on yet. Its Phi = 0
      // nodes are made too: left empty, they lie inside the region the expansion copies from,
      // so they and every node copied from them would stay 0.
      for (Int i = 0; i <= 18; ++i)
        for (Int j = 0; j <= 18; ++j) {
          core::EulerAnglesRec e;
          const Real a = kStep * i, a2 = kStep * j;
          if (!SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(ctx.Cryst.SYS),
                                          static_cast<polydec::SampleSymmetry>(ctx.SYMMETRY), 90, a,
                                          a2, 85, maxP, 90, e))
            return out.Fail(1, 0,
                            "the node [phi1,phi,phi2]=[90," + Number(a) + "," + Number(a2) +
                                "] has no symmetric equivalent within the loaded region; check "
                                "the sample and crystal symmetry");
          SetNode(ctx, At(ODFNodeIndex(18, i, j)), InterpolateODF(ctx, e.phi1, e.phi, e.phi2), 90,
                  a, a2);
        }
      last = 90;
    }
    // Sections at 180 and 360 degrees repeat the section phi1 = 0: the twofold sample axis Z
    // that data up to 175 degrees imply turns phi1 by 180 degrees and leaves Phi and phi2 as
    // they are, and a full turn is the identity.
    const auto copySection = [&](Int target, Real sectionAngle) -> bool {
      for (Int i = 0; i <= 18; ++i)
        for (Int j = 0; j <= 18; ++j) {
          const Real a = i * step1, a2 = j * step2;
          const std::optional<Int> from = ODFGridIndex(0, a, a2);
          if (!from) return false;
          SetNode(ctx, At(ODFNodeIndex(target, i, j)), ctx.ODF[At(*from)], sectionAngle, a, a2);
          ++counter;
        }
      return true;
    };
    if (last == 175 && max2 == 90) {
      if (!copySection(36, 180))
        return out.Fail(1, 0, "the section phi1 = 180 cannot be completed from phi1 = 0");
      last = 180;
    }
    if (last == 355) {
      if (!copySection(72, 360))
        return out.Fail(1, 0, "the section phi1 = 360 cannot be completed from phi1 = 0");
      last = 360;
    }
    ctx.ODFNUMP = ClampedCount(counter);
  }

  ctx.maxphi1 = last;
  ctx.maxphi = maxP;
  ctx.maxphi2 = max2;
  ctx.UseODF = true;
  out.result().region = {last, maxP, max2};
  // The completion by rules sizes its boundary sections by these counts; they describe the
  // region just loaded, not the one of an earlier load.
  ctx.ODFn_phi1 = static_cast<Int>(std::lrint(last / kStep)) + 1;
  ctx.ODFn_phi = static_cast<Int>(std::lrint(maxP / kStep)) + 1;
  ctx.ODFn_phi2 = static_cast<Int>(std::lrint(max2 / kStep)) + 1;
  if (!expand) return out.Succeed();
  ExpandODF(ctx, completeByRules && !hexagonal ? kExpandByRules : 0, last, maxP, max2);
  ctx.maxphi1 = 360;
  ctx.maxphi = 180;
  ctx.maxphi2 = 360;
  ctx.ODFn_phi1 = kPhi1Nodes;
  ctx.ODFn_phi = kPhiNodes;
  ctx.ODFn_phi2 = kPhi2Nodes;
  return out.Succeed();
}

// The MTEX reader; without expand it stops before the expansion, as ReadPopla does.
ODFReadResult LoadMtex(const std::string& fileName, OrientationsRec& ctx, bool completeByRules,
                       ODFQuestions& ask, bool expand) {
  Outcome out(fileName, ctx);
  if (auto problem = core::InputFileProblem(fileName))
    return out.Fail(0, 0, "the file cannot be opened: " + *problem);
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return out.Fail(1, 0, "the file cannot be opened");
  LineSource src(*in.rdbuf());

  std::string line;
  MtexHeader header;
  while (!header.isHeader && src.Number() < 10) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    header = ReadMtexHeader(line);
  }
  if (!header.isHeader)
    return out.Fail(1, 0, "no header line naming phi1, Phi and phi2 within the first 10 lines");
  const int headerLine = src.Number();
  if (!header.problem.empty()) return out.Fail(1, headerLine, header.problem);

  SizeODFArrays(ctx);
  std::fill(ctx.ODF.begin(), ctx.ODF.end(), Real{0});
  std::vector<int> lineOf(At(kODFNodeCount), 0);  // line that gave each node its value, 0: none
  long long count = 0;
  bool anyPositive = false;
  Real l1 = 0, lP = 0, l2 = 0;
  Real largest = 0;  // of the angles read
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    // Blank lines separate blocks in gnuplot-style exports; they hold no node.
    if (IsBlank(line)) continue;

    MtexRow row = ParseMtexRow(line, header);
    const int lineNo = src.Number();
    // One rounding of the whole sum: the angles are grid angles, the sum the node index.
    const Real* v = row.v;
    const Int n = row.problem.empty()
                      ? NearestInteger(v[0] / kStep * kODFSectionSize + v[1] / kStep * kPhi2Nodes +
                                       v[2] / kStep)
                      : 0;
    if (row.problem.empty() && n >= 0 && n < kODFNodeCount && lineOf[At(n)] != 0 &&
        ctx.ODF[At(n)] != v[3]) {
      row.status = 1;
      row.problem = TwiceMessage(std::nearbyint(v[0] / kStep) * kStep,
                                 std::nearbyint(v[1] / kStep) * kStep,
                                 std::nearbyint(v[2] / kStep) * kStep, ctx.ODF[At(n)],
                                 lineOf[At(n)], v[3], lineNo);
    }
    if (!row.problem.empty()) {
      if (row.offGrid) row.problem += OffGridHint(src, header, largest, count > 0, row.v);
      const int answer = ask.Ask(
          "Error reading line " + std::to_string(lineNo) + ": " + line + ". Continue?",
          QuestionButtons::kYesNo);
      if (answer != kAnswerYes) {
        if (row.offGrid) {
          out.result().column = row.column;
          out.result().field = kMtexColumnNames[row.name];
        }
        return out.Fail(row.status, lineNo, row.problem);
      }
      break;
    }

    if (n < 0 || n >= kODFNodeCount) continue;  // unreachable for angles inside the grid
    SetNode(ctx, At(n), v[3], v[0], v[1], v[2]);
    if (v[3] > 0) anyPositive = true;
    lineOf[At(n)] = lineNo;
    l1 = v[0];
    lP = v[1];
    l2 = v[2];
    largest = std::max({largest, l1, lP, l2});
    ++count;
  }
  if (count == 0) return out.Fail(1, headerLine + 1, "no ODF values after the header line");
  if (!anyPositive) return out.Fail(1, 0, kZeroODFMessage);
  out.result().valuesRead = count;
  out.result().region = {l1, lP, l2};
  // A node of the region without a value would silently count as an orientation of zero
  // density, and the expansion would copy that zero over the whole orientation space.
  for (Int i1 = 0; i1 <= static_cast<Int>(std::lrint(l1 / kStep)); ++i1)
    for (Int i = 0; i <= static_cast<Int>(std::lrint(lP / kStep)); ++i)
      for (Int i2 = 0; i2 <= static_cast<Int>(std::lrint(l2 / kStep)); ++i2)
        if (lineOf[At(ODFNodeIndex(i1, i, i2))] == 0)
          return out.Fail(1, 0,
                          "the file gives no value for the node [phi1,Phi,phi2]=" +
                              Bracket(static_cast<int>(i1 * 5), static_cast<int>(i * 5),
                                      static_cast<int>(i2 * 5)) +
                              " of the region it covers (0.." + Number(l1) + ", 0.." +
                              Number(lP) + ", 0.." + Number(l2) + " in steps of 5 degrees)");

  ctx.maxphi1 = l1;
  ctx.maxphi = lP;
  ctx.maxphi2 = l2;
  if (l1 <= 90 && lP <= 90) {
    ctx.SYMMETRY = 7;
  } else if (l1 > 90 && l1 <= 180 && lP <= 90) {
    ctx.SYMMETRY = 8;
  } else if (l1 > 180 && l1 <= 360 && lP <= 90) {
    ctx.SYMMETRY = 10;
  }
  const auto setSteps = [&] {
    ctx.dphi1 = ctx.dphi = ctx.dphi2 = kStep;
    ctx.ODFn_phi1 = static_cast<Int>(std::lrint(l1 / kStep)) + 1;
    ctx.ODFn_phi = static_cast<Int>(std::lrint(lP / kStep)) + 1;
    ctx.ODFn_phi2 = static_cast<Int>(std::lrint(l2 / kStep)) + 1;
  };
  setSteps();
  if (!expand) return out.Succeed();
  if (l1 < 360 || lP < 180 || l2 < 360)
    ExpandODF(ctx, completeByRules ? kExpandByRules : 0, l1, lP, l2);
  ctx.UseODF = true;
  ctx.maxphi1 = 360;
  ctx.maxphi = 180;
  ctx.maxphi2 = 360;
  setSteps();
  ctx.ODFNUMP = kODFNodeCount;
  return out.Succeed();
}

}  // namespace

ODFReadResult ReadPoplaODF(const std::string& fileName, OrientationsRec& ctx,
                           bool completeByRules) {
  return ReadPopla(fileName, ctx, completeByRules, true);
}

ODFReadResult LoadODFMTEX(const std::string& fileName, OrientationsRec& ctx, bool completeByRules,
                          ODFQuestions& ask) {
  return LoadMtex(fileName, ctx, completeByRules, ask, true);
}

ODFReadResult ReadPoplaODFValues(const std::string& fileName, OrientationsRec& ctx) {
  return ReadPopla(fileName, ctx, false, false);
}

ODFReadResult LoadODFMTEXValues(const std::string& fileName, OrientationsRec& ctx,
                                ODFQuestions& ask) {
  return LoadMtex(fileName, ctx, false, ask, false);
}

ODFReadResult readwtsfile(const std::string& fileName, OrientationsRec& ctx,
                          std::size_t maxGrains) {
  Outcome out(fileName, ctx);
  if (auto problem = core::InputFileProblem(fileName))
    return out.Fail(0, 0, "the file cannot be opened: " + *problem);
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return out.Fail(1, 0, "the file cannot be opened");
  LineSource src(*in.rdbuf());

  core::GrainOrientations g;
  std::array<core::DataVector*, 10> arrays = {&g.phi1, &g.phi,   &g.phi2, &g.weight, &g.Ephi1,
                                              &g.Ephi, &g.Ephi2, &g.a,    &g.b,      &g.c};
  const auto grow = [&](std::size_t length) {
    for (core::DataVector* v : arrays) v->resize(length, 0);
  };
  grow(1000);
  std::size_t count = 0;
  std::string line;
  // The file's layout: four header lines (title, angle convention, symmetry, column names),
  // then the grains. Header lines are never read as grains, whatever their words: a header
  // line of numbers (a popla cell line, say) would otherwise enter the texture as a grain.
  std::vector<std::string> header;
  // A header line that has the shape of the grain lines (as many words, every one a number)
  // says the header is shorter than four lines: the file is refused rather than lose grains.
  const auto grainShaped = [](const std::string& text, int words) {
    int n = 0;
    while (!core::GetWord(text, n + 1).empty()) {
      if (!core::ParseNumber(core::GetWord(text, n + 1)).ok()) return false;
      ++n;
    }
    return words > 0 ? n == words : n >= 4;
  };
  const auto refuseHeader = [&](int words) -> std::optional<ODFReadResult> {
    for (std::size_t k = 0; k < header.size(); ++k)
      if (grainShaped(header[k], words))
        return out.Fail(1, static_cast<int>(k + 1),
                        "line " + std::to_string(k + 1) +
                            " reads as a grain (phi1 Phi phi2 weight), but lines 1 to 4 of a "
                            "grains file are its header (title, angle convention, symmetry, "
                            "column names); give the file its four header lines");
    return std::nullopt;
  };
  bool headerChecked = false;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (src.Number() <= 4) {
      header.push_back(line);
      continue;
    }
    if (IsBlank(line)) continue;
    if (!headerChecked) {
      int words = 0;
      while (!core::GetWord(line, words + 1).empty()) ++words;
      if (const auto refused = refuseHeader(words)) return *refused;
      headerChecked = true;
    }
    Real v[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const std::string word = core::GetWord(line, k + 1);
      if (word.empty())
        return out.Fail(1, src.Number(),
                        "the line holds fewer than 4 numbers (phi1, Phi, phi2, weight)");
      const ParsedNumber p = core::ParseNumber(word);
      if (!p.ok())
        return out.Fail(
            p.errorPos, src.Number(),
            "\"" + Shown(word) + "\" (word " + std::to_string(k + 1) + ") is not a number");
      v[k] = p.value;
    }
    if (v[3] < 0) return out.Fail(1, src.Number(), "the weight " + Number(v[3]) + " is negative");
    if (!(v[3] <= kLargestDensity))
      return out.Fail(1, src.Number(),
                      "the weight " + Shown(core::GetWord(line, 4)) + " lies beyond " +
                          Number(kLargestDensity));
    if (count >= maxGrains)
      return out.Fail(1, src.Number(),
                      "more than " + std::to_string(maxGrains) + " grains in one file");
    g.phi1[count] = v[0] * kPi / 180;
    g.phi[count] = v[1] * kPi / 180;
    g.phi2[count] = v[2] * kPi / 180;
    g.weight[count] = v[3];
    ++count;
    if (count >= g.phi1.size() - 1) grow(g.phi1.size() + 1000);
  }
  if (count == 0) {
    if (const auto refused = refuseHeader(0)) return *refused;
    if (header.size() < 4)
      return out.Fail(1, static_cast<int>(header.size()),
                      "the file ends at line " + std::to_string(header.size()) +
                          ", within the four header lines of a grains file; it holds no grains");
    return out.Fail(1, 0, "the file holds no grains");
  }
  for (core::DataVector* v : {&g.phi1, &g.phi, &g.phi2, &g.weight}) v->resize(count);
  ctx.GOrient = std::move(g);
  out.result().valuesRead = static_cast<long long>(count);
  return out.Succeed();
}

std::string ODFFindingQuestion(const ODFFinding& f) {
  const std::string where = Bracket(f.i1, f.i, f.i2);
  if (f.kind == ODFFindingKind::kZero)
    return "ODF has zero intensity for [phi1,phi,phi2]=" + where +
           ". Check sample symmetry. Exit now?";
  return "ODF has equal intensities for [phi1,phi,phi2]=" + where +
         " and the preceeding value. Check sample symmetry. Exit now? Click No (to all) to "
         "continue (recommended).";
}

namespace {

// Calls visit(finding) for every finding in node order until it returns false. Nodes the
// arrays do not hold count as 0.
template <class Visit>
void ForEachFinding(const OrientationsRec& ctx, Visit&& visit) {
  const auto value = [&](std::size_t n) { return n < ctx.ODF.size() ? ctx.ODF[n] : Real{0}; };
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 0; i < kPhiNodes; ++i)
      for (int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        const std::size_t n = At(ODFNodeIndex(i1, i, i2));
        if (value(n) == 0 && !visit(ODFFinding{ODFFindingKind::kZero, i1, i, i2})) return;
        if (n >= 1 && value(n) == value(n - 1) &&
            !visit(ODFFinding{ODFFindingKind::kEqual, i1, i, i2}))
          return;
      }
}

}  // namespace

ODFCheckSummary ScanODF(const OrientationsRec& ctx, std::size_t maxListed) {
  ODFCheckSummary s;
  ForEachFinding(ctx, [&](const ODFFinding& f) {
    const bool zero = f.kind == ODFFindingKind::kZero;
    (zero ? s.zeroNodes : s.equalNodes) += 1;
    std::optional<ODFFinding>& first = zero ? s.firstZero : s.firstEqual;
    if (!first) first = f;
    if (s.listed.size() < maxListed) s.listed.push_back(f);
    return true;
  });
  return s;
}

ODFRepeatSummary ScanODFForCopiedValues(const OrientationsRec& ctx) {
  ODFRepeatSummary out;
  const auto value = [&](int i1, int i, int i2) {
    const std::size_t n = At(ODFNodeIndex(i1, i, i2));
    return n < ctx.ODF.size() ? ctx.ODF[n] : Real{0};
  };
  Real lo = value(0, 0, 0), hi = lo;
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 0; i < kPhiNodes; ++i)
      for (int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        lo = std::min(lo, value(i1, i, i2));
        hi = std::max(hi, value(i1, i, i2));
      }
  const Real step = (hi - lo) / 100;
  if (!(step > 0)) return out;
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 1; i + 1 < kPhiNodes; ++i)
      for (int i2 = 2; i2 + 1 < kPhi2Nodes; ++i2) {
        if (value(i1, i, i2) != value(i1, i, i2 - 1)) continue;
        const Real before = value(i1, i, i2 - 1) - value(i1, i, i2 - 2);
        const Real after = value(i1, i, i2 + 1) - value(i1, i, i2);
        if (before * after > 0 && std::fabs(before) > step && std::fabs(after) > step) {
          ++out.nodes;
          if (!out.first) out.first = ODFFinding{ODFFindingKind::kEqual, i1, i, i2};
        }
      }
  return out;
}

int CheckODF(OrientationsRec& ctx, ODFQuestions& ask) {
  // A grid that is not set up is not declared complete.
  if (HasODFGrid(ctx)) ctx.ODFNUMP = kODFNodeCount;
  int answer = kAnswerNone;
  ForEachFinding(ctx, [&](const ODFFinding& f) {
    answer = ask.Ask(ODFFindingQuestion(f), QuestionButtons::kYesNoNoToAll);
    return answer != kAnswerYes && answer != kAnswerNoToAll;
  });
  return answer;
}

ODFLoadResult LoadODF(const std::string& fileName, ODFFileKind kind, bool completeByRules,
                      OrientationsRec& ctx, ODFQuestions& ask) {
  ODFLoadResult r;
  switch (kind) {
    case ODFFileKind::kPopla:
      r.read = ReadPoplaODF(fileName, ctx, completeByRules);
      break;
    case ODFFileKind::kMTEX:
      r.read = LoadODFMTEX(fileName, ctx, completeByRules, ask);
      break;
    case ODFFileKind::kGrains:
      r.read = readwtsfile(fileName, ctx);
      if (r.read.ok()) ctx.UseGrains = true;
      break;
  }
  // A failed read is reported as such; questions about the half-read grid would only delay
  // that report.
  if (kind != ODFFileKind::kGrains && r.read.ok()) {
    r.checkAnswer = CheckODF(ctx, ask);
    if (r.checkAnswer == kAnswerYes) {
      r.stoppedByUser = true;
      return r;
    }
  }
  if (ctx.error == 0) ctx.TaylorFactor.resize(At(std::max<Int>(ctx.ODFNUMP, 0)));
  if (ctx.error != 0 || ctx.ODFNUMP == 0) {
    ctx.UseODF = false;
    return r;
  }
  r.loaded = true;
  return r;
}

}  // namespace polydec::texture
