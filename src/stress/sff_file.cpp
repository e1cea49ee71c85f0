#include "stress/sff_file.h"

#include <cmath>
#include <fstream>
#include <optional>

#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"

namespace polydec::stress {

namespace {

// A data line holds nine words per level; a line longer than this is no such file.
constexpr std::size_t kMaxSffLineLength = 1 << 20;

const char* const kCountNames[] = {"number of strain levels", "number of outer direction steps",
                                   "number of inner direction steps"};

const char* const kDataNames[] = {"phi", "psi", "F11", "F22", "F33", "F23", "F13", "F12", "eps0"};

// Directions beyond a full turn and stress factors or strains beyond this magnitude are no
// measurement: the fit squares them, and they would reach the cells and files as "INF".
constexpr core::Real kLargestAngle = 360;
constexpr core::Real kLargestValue = 1e100L;

struct WordProblem {
  int column = 0;  // the word, from 1
  std::string message;
};

// The nine words of every level on a data line are numbers within range; the first that is not
// is named with its word number.
std::optional<WordProblem> CheckDataWords(const std::string& data, int levels) {
  for (int i = 1; i <= levels; ++i)
    for (int k = 0; k < 9; ++k) {
      const int w = 9 * (i - 1) + k + 1;
      const std::string word = core::GetWord(data, w);
      const std::string what = std::string(kDataNames[k]) + " of level " + std::to_string(i);
      // A short line leaves the cells of its missing words empty, as a short row of the
      // worksheet has them; the words it has must be measurements.
      if (word.empty()) return std::nullopt;
      const core::ParsedNumber x = core::ParseNumber(word);
      if (!x.ok()) return WordProblem{w, what + " (\"" + word + "\") is not a number"};
      const core::Real limit = k < 2 ? kLargestAngle : kLargestValue;
      if (!(std::fabs(x.value) <= limit))
        return WordProblem{w, what + " (" + word + ") lies beyond " +
                                  (k < 2 ? std::string("360 degrees") : std::string("1E100"))};
    }
  return std::nullopt;
}

}  // namespace

SffLoad LoadStressFactorFile(const std::string& path, core::CellTable& g,
                             const std::string& reflection) {
  SffLoad out;
  const auto fail = [&](int line, int column, std::string message) {
    out.error = core::InputError{path, line, column, {}, std::move(message)};
    return out;
  };
  if (auto problem = core::InputFileProblem(path)) return fail(0, 0, std::move(*problem));
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(0, 0, "the file cannot be opened");
  core::LineSource source(*in.rdbuf(), kMaxSffLineLength);

  // Lines 1 .. 6 first: nothing is changed before the counts are known to be sound.
  std::vector<std::string> head;
  std::string line;
  while (head.size() < 6) {
    const core::LineRead r = source.Next(line);
    if (r == core::LineRead::kTooLong)
      return fail(source.Number(), 0, "the line is longer than any stress factor file has");
    if (r == core::LineRead::kEnd) {
      if (head.size() < 4)
        return fail(static_cast<int>(head.size()) + 1, 0,
                    std::string(kSffCountMessage) + " The file ends before the counts.");
      return fail(static_cast<int>(head.size()) + 1, 0,
                  "the file ends before line " + std::to_string(head.size() + 1) +
                      " (labels of the levels and the column headings); nothing was loaded");
    }
    head.push_back(core::ToUtf8(line));
  }
  int counts[3];
  for (int k = 0; k < 3; ++k) {
    const std::string word = core::GetWord(head[static_cast<std::size_t>(k) + 1], 2);
    const core::ParsedInteger x = core::ReadInteger(word);
    if (word.empty() || !x.ok() || x.value < 1 || x.value > kMaxSffRows)
      return fail(k + 2, 2,
                  std::string(kSffCountMessage) + " The " + kCountNames[k] + " (\"" + word +
                      "\") is not a positive integer; nothing was loaded.");
    counts[k] = static_cast<int>(x.value);
  }
  const long long perLevel = static_cast<long long>(counts[1]) * counts[2];
  const long long total = perLevel * counts[0];
  if (total > kMaxSffRows)
    return fail(2, 2,
                std::string(kSffCountMessage) + " The counts announce " + std::to_string(total) +
                    " worksheet rows, more than the " + std::to_string(kMaxSffRows) +
                    " a worksheet holds; nothing was loaded.");
  out.levels = counts[0];
  out.outer = counts[1];
  out.inner = counts[2];
  const int N = static_cast<int>(perLevel);

  g.Resize(g.cols, static_cast<int>(total) + 2);
  out.sheetChanged = true;
  // The spare row after the data rows would otherwise keep a measurement of the worksheet
  // before, and the evaluations would take it as one more row of the last level.
  for (int c = 0; c < g.cols; ++c) g.SetCell(c, static_cast<int>(total) + 1, " ");
  for (int r = 1; r <= total; ++r) g.SetCell(0, r, std::to_string(r));
  const int colLabel = g.ColumnOf("#");
  for (int i = 1; i <= out.levels; ++i)
    for (int r = (i - 1) * N + 1; r <= i * N; ++r)
      g.SetCell(colLabel, r, core::GetWord(head[4], i + 1));

  const int colHkl = g.ColumnOf("h k l");
  const int colPhi = g.ColumnOf("phi");
  const int colPsi = g.ColumnOf("psi");
  const int colF = g.ColumnOf("F11");
  const int colEps0 = g.ColumnOf("eps0");
  for (int p = 0; p < N; ++p) {
    const core::LineRead r = source.Next(line);
    const auto which = [&] {
      if (p == 0) return std::string("no direction was filled");
      return "of each level only the first " + std::to_string(p) + " of " + std::to_string(N) +
             " rows were filled (level 1: rows 1 to " + std::to_string(p) + ")";
    };
    if (r != core::LineRead::kLine) {
      const int at = 7 + p;
      return fail(at, 0,
                  (r == core::LineRead::kTooLong
                       ? std::string("the line is longer than any stress factor file has")
                       : "the file ends before data line " + std::to_string(p + 1) + " of " +
                             std::to_string(N)) +
                      "; " + which() + ", the other rows are as they were");
    }
    const std::string data = core::ToUtf8(line);
    if (const auto bad = CheckDataWords(data, out.levels))
      return fail(7 + p, bad->column,
                  bad->message + "; " + which() + ", the other rows are as they were");
    for (int i = 1; i <= out.levels; ++i) {
      const int row = (i - 1) * N + p + 1;
      const int w = 9 * (i - 1);
      g.SetCell(colHkl, row, reflection + " " + core::GetWord(head[0], i + 1));
      g.SetCell(colPhi, row, core::GetWord(data, w + 1));
      g.SetCell(colPsi, row, core::GetWord(data, w + 2));
      for (int k = 0; k < 6; ++k) g.SetCell(colF + k, row, core::GetWord(data, w + 3 + k));
      g.SetCell(colEps0, row, core::GetWord(data, w + 9));
    }
    out.linesPlaced = p + 1;
  }
  return out;
}

bool FillFij(const FijDataRec& record, core::Real, core::CellTable&) {
  if (record.Empty()) return false;
  return false;
}

}  // namespace polydec::stress
