#include "stress/worksheet_csv.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/text_fields.h"

namespace polydec::stress {

namespace {

std::string Trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::string Quoted(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

bool Number(const std::string& cell, core::Real& x) {
  const std::string w = core::GetWord(cell, 1);
  const core::ParsedNumber p = core::ParseNumber(w);
  x = p.value;
  return !w.empty() && p.ok() && std::isfinite(static_cast<double>(p.value));
}

// Enough digits that the number reads back as the double nearest to it.
std::string Precise(Real x) {
  if (!std::isfinite(static_cast<double>(x))) return {};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17Lg", x);
  return buffer;
}

void AddLine(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k > 0) out += ',';
    out += Quoted(fields[k]);
  }
  out += "\r\n";
}

}  // namespace

std::string WorksheetCsv(const core::CellTable& g, bool fij, const WorksheetCsvValues* precise) {
  std::vector<std::string> inputs = {"#", "h k l", "phi", "psi"};
  const std::vector<std::string> factors =
      fij ? std::vector<std::string>{"F11", "F22", "F33", "F23", "F13", "F12", "eps0", "I(ODF)"}
          : std::vector<std::string>{"S1", "\xC2\xBDS2"};
  std::string out;
  std::vector<std::string> head = {"row",     "label", "hkl",   "phi", "psi",
                                   "sin2psi", "d",     "d_err", "d0",  "d0_err"};
  for (const std::string& f : factors) head.push_back(f == "\xC2\xBDS2" ? "half_S2" : f);
  for (const char* c : {"d_calc", "residual", "residual_per_err"}) head.push_back(c);
  AddLine(out, head);

  const int colPsi = g.ColumnOf("psi");
  for (int r = 1; r < g.rows; ++r) {
    core::Real psi = 0, phi = 0;
    if (!Number(g.Cell(colPsi, r), psi) || !Number(g.Cell(g.ColumnOf("phi"), r), phi)) break;
    std::vector<std::string> f = {std::to_string(r)};
    for (const std::string& c : inputs) f.push_back(Trim(g.Cell(g.ColumnOf(c), r)));
    const core::Real s = std::sin(psi * core::kPi / 180);
    f.push_back(core::FormatPadded(s * s, 1, 8));
    for (int c = 5; c <= 8; ++c) f.push_back(Trim(g.Cell(c, r)));
    const polydec::RowFactors* factor = nullptr;
    if (precise)
      if (const auto it = precise->factors.find(r); it != precise->factors.end())
        factor = &it->second;
    for (const std::string& c : factors) {
      // The cells hold 1e-6/MPa (1000 x 1/GPa), the shear columns with their factor 2.
      std::optional<Real> value;
      if (factor && fij) {
        const char* names[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
        for (std::size_t n = 0; n < 6; ++n)
          if (c == names[n]) value = factor->F[n];
        if (c == "I(ODF)") value = factor->intensity;
      } else if (factor) {
        value = c == "S1" ? factor->s1 : factor->halfS2;
      }
      f.push_back(value ? Precise(*value) : Trim(g.Cell(g.ColumnOf(c), r)));
    }
    std::string dCalcCell = Trim(g.Cell(g.ColumnOf("d_calc"), r));
    if (precise)
      if (const auto it = precise->dCalc.find(r); it != precise->dCalc.end())
        dCalcCell = Precise(it->second);
    f.push_back(dCalcCell);
    core::Real d = 0, sd = 0, dCalc = 0;
    const bool haveD = Number(g.Cell(5, r), d) && Number(dCalcCell, dCalc);
    // A difference or ratio that overflows (cells at the ends of the number range) is left
    // empty rather than written as INF.
    const auto finite = [](core::Real x, int decimals) {
      return std::isfinite(x) ? core::FormatPadded(x, 1, decimals) : std::string();
    };
    f.push_back(haveD ? finite(d - dCalc, 7) : "");
    f.push_back(haveD && Number(g.Cell(6, r), sd) && sd > 0 ? finite((d - dCalc) / sd, 3) : "");
    AddLine(out, f);
  }

  out += "\r\n";
  const std::vector<std::string> sig = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};
  std::vector<std::string> rhead = {"label"};
  for (const std::string& s : sig) {
    rhead.push_back(s);
    rhead.push_back(s + "_err");
  }
  for (const char* c : {"d0", "d0_err", "chisq"}) rhead.push_back(c);
  AddLine(out, rhead);
  const int colLabel = g.ColumnOf("##");
  const int colSig = g.ColumnOf("sig_xx");
  const int colD0 = g.ColumnOf("d0_calc");
  for (int t = 1; t < g.rows; ++t) {
    const std::string label = Trim(g.Cell(colLabel, t));
    if (label.empty()) break;
    std::vector<std::string> f = {label};
    const std::size_t s = static_cast<std::size_t>(t - 1);
    if (precise && s < precise->sets.size()) {
      const StressSetResult& r = precise->sets[s];
      for (int k = 0; k < 6; ++k) {
        f.push_back(Precise(r.sig[static_cast<std::size_t>(k)]));
        f.push_back(Precise(r.sigErr[static_cast<std::size_t>(k)]));
      }
      f.push_back(r.d0Fitted ? Precise(r.d0) : "");
      f.push_back(r.d0Fitted ? Precise(r.d0Err) : "");
      f.push_back(Precise(r.chisq));
      AddLine(out, f);
      continue;
    }
    for (int k = 0; k < 12; ++k) f.push_back(Trim(g.Cell(colSig + k, t)));
    f.push_back(Trim(g.Cell(colD0, t)));
    f.push_back(Trim(g.Cell(colD0 + 1, t)));
    f.push_back(Trim(g.Cell(g.ColumnOf("chisq"), t)));
    AddLine(out, f);
  }
  return out;
}

}  // namespace polydec::stress
