// The stress-factor and stress-evaluation commands of the "DEC/Stress/Strain" page: "Calc DEC"
// fills the stress factors (or s1, 1/2 s2) of the worksheet rows, "Read grains file " does the
// same for the lines of a text file, and "Calc Stress" fits stresses and d0 to the measured
// lattice spacings of every data set.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/linalg.h"
#include "crystal/lattice.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/reflection_dec.h"
#include "stress/stress_fit.h"
#include "texture/odf_fiber.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

using core::OrientationsRec;
using core::Real;
using core::Tensor2;
using core::Tensor4;
using core::FormatExponent;
using core::FormatFixed;
using core::FormatPadded;
using core::GetWord;
using core::ParseNumber;

namespace {

namespace fs = std::filesystem;

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

// The fibre average samples 2N + 1 orientations; the ODF-weighted integral refuses more.
bool IntervalsUsable(int n) { return n >= 1 && n <= texture::kMaxFiberIntervals; }

const std::string kIntervalsMessage =
    "The number of integration intervals must be a whole number from 1 to " +
    std::to_string(texture::kMaxFiberIntervals) + ".";

// Blank- or TAB-separated tokens of a line read free-format.
std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  std::istringstream in(line);
  std::string t;
  while (in >> t) tokens.push_back(t);
  return tokens;
}

// One grain of a grains file: reflection, measurement direction (degrees), ellipsoid
// semi-axes and orientation, and the model code.
struct GrainLine {
  Real h = 0, k = 0, l = 0, phi = 0, psi = 0, a = 0, b = 0, c = 0, e1 = 0, e2 = 0, e3 = 0;
  int code = 0;
};

bool ParseGrainLine(const std::string& line, GrainLine& g) {
  const std::vector<std::string> t = Tokens(line);
  if (t.size() < 12) return false;
  Real* fields[] = {&g.h, &g.k, &g.l, &g.phi, &g.psi, &g.a, &g.b, &g.c, &g.e1, &g.e2, &g.e3};
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    const core::ParsedNumber x = ParseNumber(t[i]);
    if (!x.ok()) return false;
    *fields[i] = x.value;
  }
  const core::ParsedInteger code = core::ReadInteger(t[11]);
  if (!code.ok()) return false;
  g.code = code.value;
  return true;
}

std::string ModelMessage(int code) {
  return "Model not available (" + models::ModelName(code) + ")";
}

}  // namespace

void MainForm::RegisterStressCommands() {
  Register("FijBtnClick", [this] { FijBtnClick(); });
  Register("GrainsFileBtnClick", [this] { GrainsFileBtnClick(); });
  Register("StressBtnClick", [this] { StressBtnClick(); });
}

bool MainForm::InitElastConst(Tensor4& T, int code, Real phi, Real psi) {
  OrientationsRec& ctx = CurrentContext;
  ctx.SamplePolAngles = {phi, psi};
  IntegIntervalsExit();
  if (!form.Checked("UseFij")) {
    ctx.SYMMETRY = 0;
    core::CijklVector buffer{};
    if (!models::CalcReflectionDEC(ctx, buffer, code)) return false;
    core::CijklToTensor(buffer, T);
    return true;
  }
  if (code != models::kHill) return models::AverageAlongFiber(ctx, T, code);
  // Hill's estimate: the mean of the Voigt and Reuss grain compliances.
  Tensor4 voigt, reuss;
  if (!models::AverageAlongFiber(ctx, voigt, models::kVoigt) ||
      !models::AverageAlongFiber(ctx, reuss, models::kReuss))
    return false;
  for (std::size_t n = 0; n < T.e.size(); ++n) T.e[n] = (voigt.e[n] + reuss.e[n]) / 2;
  return true;
}

void MainForm::FijBtnClick() {
  OrientationsRec& ctx = CurrentContext;
  form.statusPanels[1] = "";
  services.Repaint();
  CalcInit();
  ctx.hkl(1) = ctx.hkl(2) = ctx.hkl(3) = -1;
  IntegIntervalsExit();
  if (!IntervalsUsable(ctx.IIntervls)) {
    services.Inform(kIntervalsMessage);
    return;
  }
  ctx.OrientationDistance = ParseNumber(form.Text("OrientationDistEdit")).value;
  const core::Int start = core::ReadClock();

  Grid& g = form.GridOf("StrainGrid");
  const bool fij = form.Checked("UseFij");
  const int colPhi = GetStringGridColNum("phi");
  const int colPsi = GetStringGridColNum("psi");
  const int colHkl = GetStringGridColNum("h k l");
  const char* factorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
  const int factorRows[] = {1, 2, 3, 2, 1, 1};
  const int factorCols[] = {1, 2, 3, 3, 3, 2};
  const auto stop = [&](const std::string& text, int col, int row) {
    services.Inform(text);
    g.Select(col, row);
  };

  BusyScope busy(services);
  for (int r = 1; r < g.rows; ++r) {
    Real phi = 0, psi = 0;
    if (!CellNumber(g.Cell(colPhi, r), phi)) return stop("Not a valid input!", colPhi, r);
    if (!CellNumber(g.Cell(colPsi, r), psi)) return stop("Not a valid input!", colPsi, r);
    const Real phiS = phi * core::kPi / 180, psiS = psi * core::kPi / 180;
    ctx.SamplePolAngles = {phiS, psiS};

    const std::string& hklCell = g.Cell(colHkl, r);
    for (int i = 1; i <= 3; ++i) {
      const core::ParsedNumber x = ParseNumber(GetWord(hklCell, i));
      if (!x.ok()) return stop("Not a valid input!", colHkl, r);
      ctx.hkl(i) = x.value;
    }
    // 0 0 0 is no lattice plane: its normal, and so every stress factor, would be arbitrary.
    if (ctx.hkl(1) == 0 && ctx.hkl(2) == 0 && ctx.hkl(3) == 0)
      return stop("Not a valid input!", colHkl, r);
    const core::ParsedInteger word4 = core::ReadInteger(GetWord(hklCell, 4));
    const int code = word4.ok() ? word4.value : FCode();
    const bool available =
        fij ? models::FibreModelAvailable(code) : models::ReflectionModelAvailable(code);
    if (!available) return stop(ModelMessage(code) + " at line " + std::to_string(r), colHkl, r);

    // Words 5 to 7 give the grain its own ellipsoid; a refused shape stops before any tensor
    // is built from it.
    bool shapeGiven = false, cGiven = false;
    Real* axes[] = {&ctx.AxisLength.a, &ctx.AxisLength.b, &ctx.AxisLength.c};
    for (int i = 0; i < 3; ++i) {
      const core::ParsedNumber x = ParseNumber(GetWord(hklCell, 5 + i));
      if (!x.ok()) continue;
      *axes[i] = x.value;
      shapeGiven = true;
      if (i == 2) cGiven = true;
    }
    if (shapeGiven) {
      const std::string refused = models::CheckAxes(ctx.AxisLength);
      if (!refused.empty()) return stop(refused + " at line " + std::to_string(r), colHkl, r);
    }
    if (cGiven) models::UpdateEshelby(ctx);

    ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, ctx.hkl(1), ctx.hkl(2), ctx.hkl(3));
    const Real intensity =
        ctx.UseODF && ctx.ODFNUMP >= 1
            ? texture::FiberIntegral(ctx, 200, psiS, phiS, ctx.CrystPolAngles.psi,
                                     ctx.CrystPolAngles.phi)
            : 1;

    Tensor4 T;
    if (!InitElastConst(T, code, phiS, psiS))
      return stop(ModelMessage(code) + " at line " + std::to_string(r), colHkl, r);
    if (fij) {
      const Tensor2 F = models::StressFactorMatrix(T, phiS, psiS);
      // Each shear component occurs once in the strain law, so its column carries both
      // symmetric terms.
      for (int n = 0; n < 6; ++n) {
        const Real scale = n < 3 ? 1000 : 2000;
        g.SetCell(GetStringGridColNum(factorNames[n]), r,
                  FormatFixed(scale * F(factorRows[n], factorCols[n]), 9, 6));
      }
    } else {
      g.SetCell(GetStringGridColNum("S1"), r, FormatFixed(1000 * ctx.s1, 9, 6));
      g.SetCell(GetStringGridColNum("½S2"), r, FormatFixed(1000 * ctx.s2, 9, 6));
    }
    Real nextPsi = 0;
    const bool more = CellNumber(g.Cell(colPsi, r + 1), nextPsi);
    if (fij) g.SetCell(GetStringGridColNum("I(ODF)"), r, FormatFixed(intensity, 6, 2));
    form.statusPanels[0] =
        "Calculating Fij for " + hklCell + "at (" + g.Cell(colPhi, r) + g.Cell(colPsi, r) + ")";
    services.Repaint();
    if (!more) break;
  }
  form.statusPanels[0] = "computation time: " + std::to_string(core::ReadClock() - start) + " ms.";
}

void MainForm::GrainsFileBtnClick() {
  struct ClearTitles {
    Form& f;
    ~ClearTitles() {
      f.openDialog.title.clear();
      f.saveDialog.title.clear();
    }
  } clearTitles{form};
  form.openDialog.title = "Load grains file";
  form.saveDialog.title = "Save calculation results";
  if (!services.ExecuteOpen(form.openDialog)) return;
  const std::string inPath = form.openDialog.fileName;
  if (!services.ExecuteSave(form.saveDialog)) return;
  const std::string outPath = form.saveDialog.fileName;

  // The whole input is read first, so that the output may even replace the input file.
  std::ifstream in(inPath, std::ios::binary);
  if (!in) {
    services.Inform("The grains file " + inPath + " cannot be opened.");
    return;
  }
  std::ostringstream content;
  content << in.rdbuf();
  in.close();
  std::vector<std::string> lines;
  {
    std::istringstream text(content.str());
    std::string line;
    while (std::getline(text, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }

  // Results go to a file beside the chosen one, which replaces it only when complete.
  const fs::path target(outPath);
  const fs::path temporary = target.string() + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  if (!out) {
    services.Inform("The file " + outPath + " cannot be written.");
    return;
  }
  const auto discard = [&](const std::string& text) {
    out.close();
    std::error_code ec;
    fs::remove(temporary, ec);
    form.statusPanels[0] = "";
    services.Inform(text);
  };

  OrientationsRec& ctx = CurrentContext;
  CalcInit();
  IntegIntervalsExit();
  if (!IntervalsUsable(ctx.IIntervls)) return discard(kIntervalsMessage);

  BusyScope busy(services);
  for (std::size_t n = 1; n <= lines.size(); ++n) {
    const std::string& line = lines[n - 1];
    if (Tokens(line).empty()) continue;
    const std::string where = " in " + inPath + " at line " + std::to_string(n);
    GrainLine gl;
    if (!ParseGrainLine(line, gl))
      return discard("Fields are missing or have the wrong format" + where);
    if (!models::FibreModelAvailable(gl.code)) return discard(ModelMessage(gl.code) + where);
    ctx.hkl(1) = gl.h;
    ctx.hkl(2) = gl.k;
    ctx.hkl(3) = gl.l;
    ctx.AxisLength = {gl.a, gl.b, gl.c};
    ctx.EllipsoidOrient = {gl.e1, gl.e2, gl.e3};
    if (!models::UpdateEshelby(ctx)) return discard(models::CheckAxes(ctx.AxisLength) + where);
    const Real phiS = gl.phi * core::kPi / 180, psiS = gl.psi * core::kPi / 180;
    ctx.SamplePolAngles = {phiS, psiS};
    ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, gl.h, gl.k, gl.l);
    Tensor4 T;
    models::AverageAlongFiber(ctx, T, gl.code);
    const Tensor2 F = models::StressFactorMatrix(T, phiS, psiS);

    std::string code = std::to_string(gl.code);
    if (code.size() < 2) code.insert(0, 2 - code.size(), ' ');
    const Real toDeg = 180 / core::kPi;
    const std::string fields[] = {
        FormatPadded(gl.h, 2, 0),          FormatPadded(gl.k, 2, 0),
        FormatPadded(gl.l, 2, 0),          FormatPadded(gl.phi, 5, 1),
        FormatPadded(gl.psi, 5, 1),        FormatPadded(gl.a, 5, 3),
        FormatPadded(gl.b, 5, 3),          FormatPadded(gl.c, 5, 3),
        FormatPadded(gl.e1 * toDeg, 5, 1), FormatPadded(gl.e2 * toDeg, 5, 1),
        FormatPadded(gl.e3 * toDeg, 5, 1), code,
        FormatFixed(1000 * F(1, 1), 9, 6), FormatFixed(1000 * F(2, 2), 9, 6),
        FormatFixed(1000 * F(3, 3), 9, 6), FormatFixed(1000 * F(2, 3), 9, 6),
        FormatFixed(1000 * F(1, 3), 9, 6), FormatFixed(1000 * F(1, 2), 9, 6)};
    std::string text;
    for (const std::string& f : fields) text += (text.empty() ? "" : "\t") + f;
    out << text << "\r\n";
    form.statusPanels[0] = "Calculating Fij for line " + std::to_string(n);
    services.Repaint();
  }
  out.close();
  std::error_code ec;
  if (!out) {
    fs::remove(temporary, ec);
  } else {
    fs::rename(temporary, target, ec);
    if (ec) fs::remove(temporary, ec);
  }
  form.statusPanels[0] = "";
  if (!out || ec) services.Inform("The file " + outPath + " cannot be written.");
}

void MainForm::StressBtnClick() {
  Grid& g = form.GridOf("StrainGrid");
  const bool fij = form.Checked("UseFij");
  const int colLabel = GetStringGridColNum("#");
  const char* factorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};
  int factorCols[6];
  for (int n = 0; n < 6; ++n) factorCols[n] = GetStringGridColNum(factorNames[n]);
  const int colS1 = GetStringGridColNum("S1");
  const int colS2 = GetStringGridColNum("½S2");

  // Rows 1..n: every row must carry its direction, spacings and uncertainties (and its stress
  // factors or diffraction elastic constants); the rows end before the first one whose label
  // is no number.
  int n = 0;
  for (int r = 1; r < g.rows; ++r) {
    std::vector<int> needed = {3, 4, 5, 6, 7, 8};
    if (fij) {
      needed.insert(needed.end(), std::begin(factorCols), std::end(factorCols));
    } else {
      needed.insert(needed.end(), {colS1, colS2});
    }
    for (int c : needed) {
      Real value = 0;
      if (!FirstWordNumber(g.Cell(c, r), value)) {
        services.Inform("Fields are missing or have the wrong format at line " + std::to_string(r));
        return;
      }
    }
    n = r;
    Real label = 0;
    if (!FirstWordNumber(g.Cell(colLabel, r + 1), label)) break;
  }
  if (n == 0) return;

  // Data sets: rows with exactly the same label, in the order of their first rows.
  std::vector<std::vector<int>> sets;
  {
    std::map<std::string, std::size_t> index;
    for (int r = 1; r <= n; ++r) {
      const auto [it, added] = index.try_emplace(g.Cell(colLabel, r), sets.size());
      if (added) sets.emplace_back();
      sets[it->second].push_back(r);
    }
  }

  struct Member {
    int row = 0;
    Real d = 0, sd = 0, d0 = 0, sd0 = 0, eps0 = 0;
    Tensor2 T;
  };
  const auto value = [&g](int c, int r) { return ParseNumber(GetWord(g.Cell(c, r), 1)).value; };
  const bool d0Fixed = form.Checked("d0box");
  const bool subtractEps0 = form.Checked("eps0box");
  const int colEps0 = GetStringGridColNum("eps0");
  std::vector<std::vector<Member>> members(sets.size());

  // Every data set is checked before the first fit, so that a refused row leaves the worksheet
  // as it was. A zero uncertainty would divide by zero in the weights, and d0 scales the
  // stress term (with d0 fixed it divides the strain and its two shifted copies).
  for (std::size_t s = 0; s < sets.size(); ++s) {
    for (std::size_t k = 1; k <= sets[s].size(); ++k) {
      Member m;
      m.row = sets[s][k - 1];
      const int r = m.row;
      const std::string line = std::to_string(r);
      m.d = value(5, r);
      m.sd = value(6, r);
      if (m.sd == 0) {
        services.Inform("D-spacing uncertainty is 0 at cell " + std::to_string(k));
        return;
      }
      m.d0 = value(7, r);
      m.sd0 = value(8, r);
      if (d0Fixed && m.sd0 == 0) {
        services.Inform("D0 uncertainty is 0 at cell " + line);
        return;
      }
      if (m.d0 == 0) {
        services.Inform("D0 is 0 at line " + line + " (column \"d0\")");
        return;
      }
      if (d0Fixed && (m.d0 - m.sd0 == 0 || m.d0 + m.sd0 == 0)) {
        services.Inform("D0 plus or minus its uncertainty is 0 at line " + line +
                        " (columns \"d0\" and \"+/-\")");
        return;
      }
      const Real phi = value(3, r) * core::kPi / 180, psi = value(4, r) * core::kPi / 180;
      if (fij) {
        Tensor2& T = m.T;
        T(1, 1) = value(factorCols[0], r);
        T(2, 2) = value(factorCols[1], r);
        T(3, 3) = value(factorCols[2], r);
        T(2, 3) = T(3, 2) = value(factorCols[3], r);
        T(1, 3) = T(3, 1) = value(factorCols[4], r);
        T(1, 2) = T(2, 1) = value(factorCols[5], r);
        Real eps0 = 0;
        m.eps0 = FirstWordNumber(g.Cell(colEps0, r), eps0) ? eps0 : 0;
      } else {
        const Real s1 = value(colS1, r), s2half = value(colS2, r);
        m.T = stress::IsoStressFactors(s1, s2half, phi, psi);
        CurrentContext.s1 = s1;
        CurrentContext.s2 = s2half;
      }
      members[s].push_back(m);
    }
  }

  // Parameters a1..a6 are the stress components (in TPa, matching stress factors in TPa^-1),
  // a7 the strain-free spacing; the free ones come first in the order list.
  const char* boxes[] = {"sig11box", "sig22box", "sig33box", "sig23box", "sig13box", "sig12box"};
  const int ma = d0Fixed ? 6 : 7;
  std::array<bool, 8> isFree{};
  for (int p = 1; p <= 6; ++p) isFree[p] = !form.Checked(boxes[p - 1]);
  isFree[7] = !d0Fixed;
  std::array<int, 8> ia{};
  int mfit = 0;
  for (int p = 1; p <= ma; ++p)
    if (isFree[p]) ia[++mfit] = p;
  for (int p = 1, j = mfit; p <= ma; ++p)
    if (!isFree[p]) ia[++j] = p;

  const int colSig = GetStringGridColNum("sig_xx");
  const char* sigNames[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};
  const int colD0Calc = GetStringGridColNum("d0_calc");
  const int colChisq = GetStringGridColNum("chisq");
  const int colDCalc = GetStringGridColNum("d_calc");

  for (std::size_t s = 0; s < sets.size(); ++s) {
    const int resultRow = static_cast<int>(s) + 1;
    const std::vector<Member>& set = members[s];
    stress::FitData data, dataPlus, dataMinus;
    for (const Member& m : set) {
      const Real d = subtractEps0 ? m.d - m.eps0 * m.d0 : m.d;
      data.T.push_back(m.T);
      if (d0Fixed) {
        data.x.push_back(1);
        data.y.push_back((d - m.d0) / m.d0);
        data.s.push_back(m.sd / m.d0);
        const Real up = m.d0 + m.sd0, down = m.d0 - m.sd0;
        dataPlus.y.push_back((d - up) / up);
        dataMinus.y.push_back((d - down) / down);
      } else {
        data.x.push_back(m.d0);
        data.y.push_back(d);
        data.s.push_back(m.sd);
      }
    }
    std::array<Real, 8> a{};
    for (int p = 1; p <= 6; ++p)
      a[p] = LeadingNumber(g.Cell(GetStringGridColNum(sigNames[p - 1]), resultRow)) * 1e-6L;
    if (!d0Fixed) a[7] = set.front().d0;
    std::array<Real, 8> aPlus = a, aMinus = a;

    stress::FitWork work;
    Real chisq = 0;
    if (d0Fixed) {
      dataPlus.T = dataMinus.T = data.T;
      dataPlus.x = dataMinus.x = data.x;
      dataPlus.s = dataMinus.s = data.s;
      stress::SvdFit(dataPlus, mfit, ma, ia, aPlus, work);
      stress::SvdFit(dataMinus, mfit, ma, ia, aMinus, work);
    }
    chisq = stress::SvdFit(data, mfit, ma, ia, a, work);
    const stress::FitMatrix cvm = stress::SvdCovariance(work, mfit);

    // The uncertainty joins the statistical one of the fit and, with d0 fixed, half the spread
    // of the stresses between d0 + sd0 and d0 - sd0.
    std::array<Real, 8> u{};
    for (int j = 1; j <= ma; ++j) {
      const int p = ia[j];
      const Real half = (aPlus[p] - aMinus[p]) / 2;
      u[p] = std::sqrt(half * half + (j <= mfit ? cvm[j][j] : 0));
      if (p <= 6) u[p] *= 1e6L;
    }

    g.SetCell(colSig - 1, resultRow, FirstCharacters(g.Cell(colLabel, set.front().row), 20));
    for (int p = 1; p <= 6; ++p) {
      g.SetCell(colSig + 2 * (p - 1), resultRow, FormatFixed(a[p] * 1e6L, 7, 2));
      g.SetCell(colSig + 2 * (p - 1) + 1, resultRow, FormatFixed(u[p], 7, 2));
    }
    g.SetCell(colChisq, resultRow, FormatExponent(chisq, 3, 2));
    if (d0Fixed) {
      g.SetCell(colD0Calc, resultRow, "");
      g.SetCell(colD0Calc + 1, resultRow, "");
    } else {
      g.SetCell(colD0Calc, resultRow, FormatFixed(a[7], 8, 6));
      g.SetCell(colD0Calc + 1, resultRow, FormatFixed(u[7], 8, 6));
    }

    for (const Member& m : set) {
      const Real e = subtractEps0 ? m.eps0 : 0;
      const auto f = stress::StressFitBasis(m.T, d0Fixed ? 1 : a[7]);
      Real strain = 0;
      for (int p = 1; p <= 6; ++p) strain += a[p] * f[p];
      const Real dCalc = d0Fixed ? m.d0 * (1 + e + strain) : strain + a[7] + e * m.d0;
      g.SetCell(colDCalc, m.row, FormatFixed(dCalc, 7, 6));
    }
  }
  g.Select(colSig - 1, 1);
}

}  // namespace polydec::workbench
