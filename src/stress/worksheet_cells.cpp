#include "stress/worksheet_cells.h"

#include <algorithm>
#include <cmath>

#include "core/text_fields.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"
#include "stress/stress_fit.h"
#include "stress/worksheet_file.h"

namespace polydec::stress {

using core::FormatExponent;
using core::FormatFixed;
using core::GetWord;
using core::ParseNumber;

namespace {

const char* const kFactorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
const char* const kSigNames[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};

// The whole cell as a number (leading blanks allowed, nothing after the number).
bool CellNumber(const std::string& cell, Real& value) {
  const core::ParsedNumber x = ParseNumber(cell);
  value = x.value;
  return x.ok();
}

// The first word of a cell as a number.
bool FirstWordNumber(const std::string& cell, Real& value) {
  const core::ParsedNumber x = ParseNumber(GetWord(cell, 1));
  value = x.value;
  return x.ok();
}

Real FirstWordValue(const std::string& cell) { return ParseNumber(GetWord(cell, 1)).value; }

// The value of the longest numeric start of the cell's first word ("50abc" gives 50), 0 when
// there is none: cells the evaluation does not check are read the lenient way.
Real LeadingNumber(const std::string& cell) {
  const std::string word = GetWord(cell, 1);
  // A number longer than this is no number a user typed.
  constexpr std::size_t kLongest = 256;
  for (std::size_t n = std::min(word.size(), kLongest); n > 0; --n) {
    const core::ParsedNumber x = ParseNumber(std::string_view(word).substr(0, n));
    if (x.ok()) return x.value;
  }
  return 0;
}

// The first `count` characters of a UTF-8 text (a multi-byte character is never split).
std::string FirstCharacters(const std::string& s, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    if ((byte & 0xC0) != 0x80 && seen++ == count) return s.substr(0, i);
  }
  return s;
}

bool BlankCell(const std::string& cell) { return cell.find_first_not_of(" \t") == std::string::npos; }

// Where a cell stopped a command, for a person: "row 12, psi: \"-45,0\" is not a number".
std::string CellPlace(const core::CellTable& g, int col, int row, const std::string& what) {
  const std::string& cell = g.Cell(col, row);
  std::string text = "row " + std::to_string(row) + ", " + g.Cell(col, 0) + ": ";
  if (BlankCell(cell)) return text + "the cell is empty";
  return text + "\"" + FirstCharacters(cell, 40) + "\" " + what;
}

// Directions beyond a full turn, spacings that are not positive and magnitudes beyond 1e100
// (or nonzero below 1e-100) are typing errors: the fit squares and inverts these values, and
// its results would leave the range of the numbers written to cells and files.
template <typename Value>
std::optional<core::InputError> RangeProblem(const core::CellTable& g, int r,
                                             const std::vector<int>& cols, const Value& value) {
  constexpr Real kLargestAngle = 360, kLargest = 1e100L, kSmallest = 1e-100L;
  for (int c : cols) {
    const Real x = value(c);
    std::string why;
    if (c == 3 || c == 4) {
      if (!(std::fabs(x) <= kLargestAngle)) why = "lies beyond 360 degrees";
    } else if (!(std::fabs(x) <= kLargest) || (x != 0 && std::fabs(x) < kSmallest)) {
      why = "lies outside the magnitudes 1E-100 to 1E100 a measured value can have";
    } else if ((c == 5 && x <= 0) || (c == 7 && x < 0)) {
      why = "is no lattice spacing: a spacing is positive";
    } else if ((c == 6 || c == 8) && x < 0) {
      why = "is no uncertainty: an uncertainty is not negative";
    }
    if (!why.empty())
      return CellError(
          g, c, r,
          "Out of range at line " + std::to_string(r) + " (" + CellPlace(g, c, r, why) + ")");
  }
  return std::nullopt;
}

}  // namespace

std::optional<Real> MeasurementNumber(const std::string& cell) {
  Real value = 0;
  if (!FirstWordNumber(cell, value) || cell.find(',') != std::string::npos) return std::nullopt;
  return value;
}

core::InputError CellError(const core::CellTable& g, int col, int row, std::string message) {
  core::InputError e;
  e.line = row;
  e.column = col;
  e.field = g.Cell(col, 0);
  e.message = std::move(message);
  return e;
}

ReflectionCell ReadReflectionCell(const std::string& cell, CrystalClass crystalClass) {
  ReflectionCell out;
  const crystal::BracketedReflection bracketed = crystal::SplitBracketedReflection(cell);
  std::vector<std::string> indices;
  std::string rest;  // the words after the reflection
  if (bracketed.bracketed) {
    if (!bracketed.error.empty()) {
      out.error = "is no reflection: " + bracketed.error;
      return out;
    }
    indices = bracketed.indices;
    rest = bracketed.rest;
  } else {
    for (int i = 1; i <= 3; ++i) {
      const std::string word = GetWord(cell, i);
      if (!ParseNumber(word).ok()) {
        out.error = "is no reflection: write the indices separated by blanks, h k l";
        if (crystal::UsesMillerBravais(crystalClass))
          out.error += ", or the four indices in brackets, (h k i l)";
        return out;
      }
      indices.push_back(word);
    }
    const std::string word4 = GetWord(cell, 4);
    const core::ParsedNumber x[] = {ParseNumber(indices[0]), ParseNumber(indices[1]),
                                    ParseNumber(indices[2]), ParseNumber(word4)};
    // "1 0 -1 1" is the reflection 1 0 -1 1 or the reflection 1 0 -1 with model code 1: in a
    // phase that is indexed both ways no guess is safe.
    if (crystal::UsesMillerBravais(crystalClass) && !word4.empty() && x[3].ok() &&
        GetWord(cell, 5).empty() && x[2].value == -(x[0].value + x[1].value)) {
      const std::string three = crystal::JoinWords(indices);
      out.error = "reads two ways in a hexagonal or trigonal phase: write \"(" + three + " " +
                  word4 + ")\" for the four indices h k i l, or \"(" + three + ") " + word4 +
                  "\" for h k l with the model code " + word4;
      return out;
    }
    for (int w = 4; !GetWord(cell, w).empty(); ++w) rest += " " + GetWord(cell, w);
  }
  const crystal::ReflectionRead read = crystal::ReadMillerWords(indices, crystalClass);
  if (!read.ok()) {
    out.error = "is no reflection: " + read.error;
    return out;
  }
  out.hkl = read.hkl;
  const core::ParsedInteger code = core::ReadInteger(GetWord(rest, 1));
  if (code.ok()) out.code = code.value;
  for (int i = 0; i < 3; ++i) {
    const core::ParsedNumber x = ParseNumber(GetWord(rest, 2 + i));
    if (x.ok()) out.axes[i] = x.value;
  }
  return out;
}

std::string ReflectionKey(const std::string& cell) {
  ReflectionCell read = ReadReflectionCell(cell, crystal::kTriclinicClass);
  if (!read.error.empty()) read = ReadReflectionCell(cell, crystal::kHexagonal);
  if (!read.error.empty()) return {};
  return core::FormatGeneral(read.hkl[0]) + " " + core::FormatGeneral(read.hkl[1]) + " " +
         core::FormatGeneral(read.hkl[2]);
}

WorksheetStressRows ReadStressRows(const core::CellTable& g, bool fij) {
  WorksheetStressRows out;
  const int colLabel = g.ColumnOf("#");
  int factorCols[6];
  for (int n = 0; n < 6; ++n) factorCols[n] = g.ColumnOf(kFactorNames[n]);
  const int colS1 = g.ColumnOf("S1");
  const int colS2 = g.ColumnOf("½S2");
  const int colEps0 = g.ColumnOf("eps0");
  std::vector<int> needed = {3, 4, 5, 6, 7, 8};
  if (fij) {
    needed.insert(needed.end(), std::begin(factorCols), std::end(factorCols));
  } else {
    needed.insert(needed.end(), {colS1, colS2});
  }

  for (int r = 1; r < g.rows; ++r) {
    // The measurements end at the first row without a direction, whatever its label holds.
    if (r > 1 && BlankCell(g.Cell(3, r)) && BlankCell(g.Cell(4, r))) break;
    // The uncertainties of d and d0 may be left empty: tables often have none of d (the fit is
    // then unweighted) or of d0 (which does not enter when d0 is fitted).
    const bool sdGiven = !BlankCell(g.Cell(6, r));
    const bool sd0Given = !BlankCell(g.Cell(8, r));
    std::vector<int> checked;
    for (int c : needed)
      if ((c != 6 || sdGiven) && (c != 8 || sd0Given)) checked.push_back(c);
    for (int c : checked) {
      if (!MeasurementNumber(g.Cell(c, r))) {
        out.rows.clear();
        std::string message = "Fields are missing or have the wrong format at line " +
                              std::to_string(r) + " (" + CellPlace(g, c, r, "is not a number");
        if (c > 8 && BlankCell(g.Cell(c, r)))
          message += "; the stress factors are missing: run \"Calc DEC\" first";
        out.error = CellError(g, c, r, message + ")");
        return out;
      }
    }
    const auto value = [&g, r](int c) { return FirstWordValue(g.Cell(c, r)); };
    if (const auto problem = RangeProblem(g, r, checked, value)) {
      out.rows.clear();
      out.error = *problem;
      return out;
    }
    StressMeasurement m;
    m.label = g.Cell(colLabel, r);
    m.row = r;
    m.reflection = ReflectionKey(g.Cell(2, r));
    m.phi = value(3);
    m.psi = value(4);
    m.d = value(5);
    m.sd = sdGiven ? value(6) : 0;
    m.sdGiven = sdGiven;
    m.d0 = value(7);
    m.sd0 = sd0Given ? value(8) : 0;
    m.sd0Given = sd0Given;
    if (fij) {
      Tensor2& T = m.F;
      T(1, 1) = value(factorCols[0]);
      T(2, 2) = value(factorCols[1]);
      T(3, 3) = value(factorCols[2]);
      T(2, 3) = T(3, 2) = value(factorCols[3]);
      T(1, 3) = T(3, 1) = value(factorCols[4]);
      T(1, 2) = T(2, 1) = value(factorCols[5]);
      Real eps0 = 0;
      m.eps0 = FirstWordNumber(g.Cell(colEps0, r), eps0) ? eps0 : 0;
    } else {
      m.F = IsoStressFactors(value(colS1), value(colS2), m.phi * core::kPi / 180,
                             m.psi * core::kPi / 180);
    }
    out.rows.push_back(std::move(m));
  }
  return out;
}

std::array<Real, 6> HeldStresses(const core::CellTable& g, int resultRow) {
  std::array<Real, 6> held{};
  for (int p = 0; p < 6; ++p) held[p] = LeadingNumber(g.Cell(g.ColumnOf(kSigNames[p]), resultRow));
  return held;
}

void WriteStressResults(core::CellTable& g, const std::vector<StressSetResult>& sets) {
  const int colSig = g.ColumnOf("sig_xx");
  const int colD0Calc = g.ColumnOf("d0_calc");
  const int colChisq = g.ColumnOf("chisq");
  const int colDCalc = g.ColumnOf("d_calc");
  for (std::size_t s = 0; s < sets.size(); ++s) {
    const StressSetResult& r = sets[s];
    const int resultRow = static_cast<int>(s) + 1;
    g.SetCell(colSig - 1, resultRow, FirstCharacters(r.label, 20));
    for (int p = 0; p < 6; ++p) {
      g.SetCell(colSig + 2 * p, resultRow, FormatFixed(r.sig[p], 7, 2));
      g.SetCell(colSig + 2 * p + 1, resultRow, FormatFixed(r.sigErr[p], 7, 2));
    }
    g.SetCell(colChisq, resultRow, FormatExponent(r.chisq, 3, 2));
    g.SetCell(colD0Calc, resultRow, r.d0Fitted ? FormatFixed(r.d0, 8, 6) : "");
    g.SetCell(colD0Calc + 1, resultRow, r.d0Fitted ? FormatFixed(r.d0Err, 8, 6) : "");
    for (std::size_t k = 0; k < r.rows.size(); ++k)
      g.SetCell(colDCalc, r.rows[k], FormatFixed(r.dCalc[k], 7, 6));
  }
}

std::optional<FactorStop> FillStressFactors(
    core::CellTable& g, bool fij, CrystalClass crystalClass,
    const std::function<FactorOutcome(const FactorRow&)>& compute,
    const std::function<bool(int row)>& progress) {
  const int colPhi = g.ColumnOf("phi");
  const int colPsi = g.ColumnOf("psi");
  const int colHkl = g.ColumnOf("h k l");
  const int factorRows[] = {1, 2, 3, 2, 1, 1};
  const int factorCols[] = {1, 2, 3, 3, 3, 2};
  const auto stop = [&g](const std::string& text, int col, int row) {
    return FactorStop{CellError(g, col, row, text), col, row};
  };

  for (int r = 1; r < g.rows; ++r) {
    FactorRow q;
    q.row = r;
    const auto invalid = [&](int col, const std::string& what) {
      return stop("Not a valid input! (" + CellPlace(g, col, r, what) + ")", col, r);
    };
    if (!CellNumber(g.Cell(colPhi, r), q.phi)) return invalid(colPhi, "is not a number");
    if (!CellNumber(g.Cell(colPsi, r), q.psi)) return invalid(colPsi, "is not a number");
    const ReflectionCell reflection = ReadReflectionCell(g.Cell(colHkl, r), crystalClass);
    if (!reflection.error.empty()) return invalid(colHkl, reflection.error);
    q.hkl = reflection.hkl;
    q.code = reflection.code;
    q.axes = reflection.axes;

    const FactorOutcome f = compute(q);
    if (!f.refusal.empty()) return stop(f.refusal + " at line " + std::to_string(r), colHkl, r);
    bool finite = std::isfinite(static_cast<double>(f.s1)) &&
                  std::isfinite(static_cast<double>(f.s2half)) &&
                  std::isfinite(static_cast<double>(f.intensity));
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) finite = finite && std::isfinite(static_cast<double>(f.F(i, j)));
    if (!finite)
      return stop("The stress factors of line " + std::to_string(r) +
                      " are not finite: the grain shape or the constants lie beyond what the "
                      "models handle",
                  colHkl, r);
    if (fij) {
      // Each shear component occurs once in the strain law, so its column carries both
      // symmetric terms.
      for (int n = 0; n < 6; ++n) {
        const Real scale = n < 3 ? 1000 : 2000;
        g.SetCell(g.ColumnOf(kFactorNames[n]), r,
                  FormatFixed(scale * f.F(factorRows[n], factorCols[n]), 9, 6));
      }
    } else {
      g.SetCell(g.ColumnOf("S1"), r, FormatFixed(1000 * f.s1, 9, 6));
      g.SetCell(g.ColumnOf("½S2"), r, FormatFixed(1000 * f.s2half, 9, 6));
    }
    Real nextPsi = 0;
    const bool more = CellNumber(g.Cell(colPsi, r + 1), nextPsi);
    if (fij) g.SetCell(g.ColumnOf("I(ODF)"), r, FormatFixed(f.intensity, 6, 2));
    if (progress && !progress(r)) {
      FactorStop stopped;
      stopped.row = r;
      stopped.byCaller = true;
      return stopped;
    }
    if (!more) break;
  }
  return std::nullopt;
}

void NameWorksheetColumns(core::CellTable& g, bool useFij) {
  // A worksheet loaded in the S1 layout has 28 columns; the Fij headers need all 34.
  if (useFij && g.cols < kWorksheetFijColumns) g.Resize(kWorksheetFijColumns, g.rows);
  for (int c = 1; c < kWorksheetFijColumns; ++c)
    g.SetCell(c, 0, std::string(WorksheetHeader(c, useFij)));
  // Stress factors and results of one notation mean nothing in the other.
  const int first = g.ColumnOf(useFij ? "F11" : "S1");
  for (int r = 1; r < g.rows; ++r)
    for (int c = first; c < g.cols; ++c) g.SetCell(c, r, "");
}

void NewWorksheet(core::CellTable& g) {
  g.Resize(kWorksheetFijColumns, kWorksheetRows);
  g.SetCell(0, 0, "");
  for (int r = 1; r < g.rows; ++r) {
    g.SetCell(0, r, std::to_string(r));
    for (int c = 1; c < g.cols; ++c) g.SetCell(c, r, " ");
  }
  NameWorksheetColumns(g, true);
  const int first = g.ColumnOf("sig_xx");
  for (int c = first; c < first + 12; ++c) g.SetCell(c, 1, "0");
}

void ApplyWorksheetRead(core::CellTable& g, const WorksheetFileRead& read, bool useFij) {
  // The worksheet grows to hold every row of the file, its new rows numbered and blank.
  const int oldRows = g.rows;
  g.Resize(read.cols, std::max(g.rows, static_cast<int>(read.rows.size())));
  for (int r = oldRows; r < g.rows; ++r) {
    g.SetCell(0, r, std::to_string(r));
    for (int c = 1; c < g.cols; ++c) g.SetCell(c, r, " ");
  }
  if (read.fij != useFij) NameWorksheetColumns(g, read.fij);
  for (std::size_t r = 0; r < read.rows.size(); ++r)
    for (int c = 0; c < g.cols; ++c)
      g.SetCell(c, static_cast<int>(r), read.rows[r][static_cast<std::size_t>(c)]);
}

WorksheetTable WorksheetSaveTable(core::CellTable& g,
                                  const std::array<bool, kWorksheetFlagCount>& flags) {
  WorksheetTable table;
  table.flags = flags;
  table.cols = g.cols;
  table.rows.reserve(static_cast<std::size_t>(g.rows));
  for (int r = 0; r < g.rows; ++r) {
    std::vector<std::string>& row = table.rows.emplace_back();
    row.reserve(static_cast<std::size_t>(g.cols));
    for (int c = 0; c < g.cols; ++c) {
      if (g.Cell(c, r).empty()) g.SetCell(c, r, " ");
      row.push_back(g.Cell(c, r));
    }
  }
  return table;
}

}  // namespace polydec::stress
