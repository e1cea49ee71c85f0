#include "stress/strain_calculation.h"

#include <algorithm>
#include <cmath>

#include "core/text_fields.h"
#include "stress/stress_fit.h"
#include "stress/worksheet_cells.h"

namespace polydec::stress {

namespace {

const char* const kFactorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
const char* const kSigNames[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};

bool WordNumber(const std::string& cell, Real& value) {
  const std::string word = core::GetWord(cell, 1);
  const core::ParsedNumber x = core::ParseNumber(word);
  value = x.value;
  return !word.empty() && x.ok() && std::isfinite(static_cast<double>(x.value));
}

// The stress-factor columns of the layout: six F columns, or S1 and 1/2 S2.
std::vector<int> FactorColumns(const core::CellTable& g, bool fij) {
  std::vector<int> cols;
  if (fij) {
    for (const char* name : kFactorNames) cols.push_back(g.ColumnOf(name));
  } else {
    cols = {g.ColumnOf("S1"), g.ColumnOf("\xC2\xBDS2")};
  }
  return cols;
}

// Rows 1..n: the measurement rows go on while the next row's psi holds a number.
int CountMeasurementRows(const core::CellTable& g) {
  const int colPsi = g.ColumnOf("psi");
  int n = 0;
  for (int o = 1; o < g.rows; ++o) {
    n = o;
    Real psi = 0;
    if (!WordNumber(g.Cell(colPsi, o + 1), psi)) break;
  }
  return n;
}

}  // namespace

std::optional<core::InputError> CalculateStrain(
    core::CellTable& g, bool fij, bool useEps0,
    const std::function<void(const StrainProgress&)>& progress, int* written,
    std::vector<std::pair<int, Real>>* values) {
  if (written) *written = 0;
  const int colLabel = g.ColumnOf("#");
  const int colPhi = g.ColumnOf("phi");
  const int colPsi = g.ColumnOf("psi");
  const int colD0 = 7;
  const int colDCalc = g.ColumnOf("d_calc");
  const int colEps0 = g.ColumnOf("eps0");
  const int colResult = g.ColumnOf("##");
  int colSig[6];
  for (int p = 0; p < 6; ++p) colSig[p] = g.ColumnOf(kSigNames[p]);
  const std::vector<int> factorCols = FactorColumns(g, fij);

  const int n = CountMeasurementRows(g);
  // The first stress-factor cell that is no number: any stress calculated with it missing
  // would be a plausible but wrong spacing.
  std::optional<core::InputError> missing;
  for (int o = 1; o <= n && !missing; ++o)
    for (int c : factorCols) {
      Real v = 0;
      if (!WordNumber(g.Cell(c, o), v)) {
        missing = CellError(g, c, o, kMissingInputMessage);
        break;
      }
    }

  for (int t = 1; t < g.rows; ++t) {
    const std::string& label = g.Cell(colResult, t);
    if (label.empty()) break;
    std::array<Real, 6> sig{};
    bool anyStress = false;
    for (int p = 0; p < 6; ++p) {
      Real v = 0;
      if (WordNumber(g.Cell(colSig[p], t), v)) {
        sig[p] = v;
        anyStress = true;
      }
    }
    if (missing) {
      Real v = 0;
      if (WordNumber(g.Cell(colSig[5], t), v)) return missing;
    }
    // A result row with no stress at all (the blank rows after the data sets) gives nothing
    // to calculate; taking it as zero stress would overwrite d_calc with d0.
    if (!anyStress) continue;

    for (int o = 1; o <= n; ++o) {
      if (g.Cell(colLabel, o) != label) continue;
      Real phi = 0, psi = 0;
      bool ok = WordNumber(g.Cell(colPhi, o), phi) && WordNumber(g.Cell(colPsi, o), psi);
      std::vector<Real> f(factorCols.size());
      for (std::size_t k = 0; k < factorCols.size(); ++k)
        ok = WordNumber(g.Cell(factorCols[k], o), f[k]) && ok;
      StrainProgress step;
      step.row = o;
      step.phi = phi * core::kPi / 180;
      step.psi = psi * core::kPi / 180;
      if (!fij) {
        step.s1Layout = true;
        step.s1 = f[0];
        step.s2half = f[1];
      }
      if (ok) {
        Real T[6];
        if (fij) {
          std::copy(f.begin(), f.end(), T);
        } else {
          const core::Tensor2 F = IsoStressFactors(f[0], f[1], step.phi, step.psi);
          T[0] = F(1, 1);
          T[1] = F(2, 2);
          T[2] = F(3, 3);
          T[3] = F(2, 3);
          T[4] = F(1, 3);
          T[5] = F(1, 2);
        }
        Real eps = 0;
        for (int p = 0; p < 6; ++p) eps += T[p] * sig[p];
        Real d0 = 0;
        if (!WordNumber(g.Cell(colD0, o), d0)) return CellError(g, colD0, o, kNoD0Message);
        Real e = 0;
        if (useEps0 && fij && !WordNumber(g.Cell(colEps0, o), e)) {
          e = 0;
          g.SetCell(colEps0, o, "0");
        }
        if (!useEps0 || !fij) e = 0;
        const Real dCalc = d0 + 1e-6L * eps * d0 - e * d0;
        // Stresses or factors far beyond any material give no spacing a cell can hold.
        if (!std::isfinite(static_cast<double>(dCalc)))
          return CellError(g, colDCalc, o,
                           "The spacing of row " + std::to_string(o) +
                               " is not finite: its d0, stress factors or the stresses lie "
                               "beyond what the calculation handles");
        g.SetCell(colDCalc, o, core::FormatFixed(dCalc, 9, 6));
        if (written) ++*written;
        if (values) values->emplace_back(o, dCalc);
      }
      if (progress) progress(step);
    }
  }
  return std::nullopt;
}

StressAssignment ParseStressAssignment(const std::string& text) {
  StressAssignment out;
  const auto refuse = [&out](int word, std::string message) {
    core::InputError e;
    e.column = word;
    e.field = "--stress";
    e.message = std::move(message);
    out.error = e;
    return out;
  };
  // Words are separated by blanks only: the values may carry signs and exponents.
  std::vector<std::string> words;
  std::string word;
  for (char c : text + " ") {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (words.empty()) return refuse(0, "no stress component given");
  for (std::size_t w = 0; w < words.size(); ++w) {
    const int at = static_cast<int>(w) + 1;
    const std::size_t eq = words[w].find('=');
    if (eq == std::string::npos)
      return refuse(at, "\"" + words[w] + "\" is not of the form sig_xx=VALUE");
    const std::string name = words[w].substr(0, eq);
    const auto* it = std::find_if(std::begin(kSigNames), std::end(kSigNames),
                                  [&name](const char* s) { return name == s; });
    if (it == std::end(kSigNames))
      return refuse(at, "unknown stress component \"" + name +
                            "\" (sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy)");
    const std::string value = words[w].substr(eq + 1);
    const core::ParsedNumber x = core::ParseNumber(value);
    if (value.empty() || !x.ok() || !std::isfinite(static_cast<double>(x.value)))
      return refuse(at, "the value of " + name + " (\"" + value + "\") is not a number");
    out.sig[static_cast<std::size_t>(it - std::begin(kSigNames))] = x.value;
  }
  return out;
}

int SetStressOfEveryDataSet(core::CellTable& g, const std::array<Real, 6>& sig) {
  const int colLabel = g.ColumnOf("#");
  const int colResult = g.ColumnOf("##");
  const int n = CountMeasurementRows(g);
  std::vector<std::string> labels;
  for (int o = 1; o <= n; ++o) {
    const std::string& label = g.Cell(colLabel, o);
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(label);
  }
  int t = 1;
  for (const std::string& label : labels) {
    if (t >= g.rows) break;
    g.SetCell(colResult, t, label);
    for (int p = 0; p < 6; ++p) {
      const int c = g.ColumnOf(kSigNames[p]);
      g.SetCell(c, t, core::FormatFixed(sig[static_cast<std::size_t>(p)], 7, 2));
      g.SetCell(c + 1, t, "");
    }
    ++t;
  }
  g.SetCell(colResult, t, "");
  return t - 1;
}

}  // namespace polydec::stress
