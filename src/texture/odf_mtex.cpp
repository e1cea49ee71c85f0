// The MTEX generic-table reader: a header line naming the angle columns, then one node a line.
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/input_file.h"
#include "core/large_array.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_grid.h"
#include "texture/odf_read_support.h"
#include "texture/odf_readers.h"

namespace polydec::texture {

using namespace read_support;

namespace {

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


// What a word of an MTEX header names.
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

}  // namespace

namespace read_support {

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

}  // namespace read_support

namespace {

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
  // The usual four or five columns without an allocation for each of 197,173 lines.
  std::array<std::string_view, 8> fewWords;
  std::vector<std::string_view> manyWords;
  std::string_view* plainWords = fewWords.data();
  if (At(words) > fewWords.size()) {
    manyWords.resize(At(words));
    plainWords = manyWords.data();
  }
  if (commaWords.empty()) core::FirstWords(line, plainWords, words);
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

}  // namespace

ODFReadResult ReadMtexValues(const std::string& fileName, OrientationsRec& ctx,
                             UnreadLines unread) {
  Outcome out(fileName, ctx);
  std::ifstream in;
  if (auto failed = OpenInput(fileName, out, in)) return *failed;
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
  // Line that gave each node its value, 0: none.
  std::vector<int, core::LargeBlockAllocator<int>> lineOf(At(kODFNodeCount));
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
      out.result().unreadLine = ODFUnreadLine{lineNo, line};
      if (unread == UnreadLines::kRefuse) {
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
  ctx.Cryst.SYS = ClassShownByRegion(l2, static_cast<polydec::CrystalClass>(ctx.Cryst.SYS));
  if (l1 <= 90 && lP <= 90) {
    ctx.SYMMETRY = polydec::kOrthorhombicSample;
  } else if (l1 > 90 && l1 <= 180 && lP <= 90) {
    ctx.SYMMETRY = polydec::kMonoclinicSampleY;
  } else if (l1 > 180 && l1 <= 360 && lP <= 90) {
    ctx.SYMMETRY = polydec::kTriclinicSample;
  }
  // The completion by rules sizes its boundary sections by these counts.
  ctx.dphi1 = ctx.dphi = ctx.dphi2 = kStep;
  ctx.ODFn_phi1 = static_cast<Int>(std::lrint(l1 / kStep)) + 1;
  ctx.ODFn_phi = static_cast<Int>(std::lrint(lP / kStep)) + 1;
  ctx.ODFn_phi2 = static_cast<Int>(std::lrint(l2 / kStep)) + 1;
  return out.Succeed();
}

}  // namespace polydec::texture
