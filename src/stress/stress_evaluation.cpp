#include "stress/stress_evaluation.h"

#include <cmath>
#include <map>

#include "stress/stress_fit.h"

namespace polydec::stress {

namespace {

core::InputError RowError(int row, int column, const std::string& field, std::string message) {
  core::InputError e;
  e.line = row;
  e.column = column;
  e.field = field;
  e.message = std::move(message);
  return e;
}

// Worksheet columns of the uncertainty of d,, d0 and its uncertainty.
constexpr int kColSd = 6, kColD0 = 7, kColSd0 = 8;

}  // namespace

std::vector<StressDataSet> GroupDataSets(const std::vector<StressMeasurement>& rows) {
  std::vector<StressDataSet> sets;
  std::map<std::string, std::size_t> index;
  for (const StressMeasurement& m : rows) {
    const auto [it, added] = index.try_emplace(m.label, sets.size());
    if (added) sets.push_back({m.label, {}});
    sets[it->second].members.push_back(m);
  }
  return sets;
}

std::optional<core::InputError> CheckDataSets(const std::vector<StressDataSet>& sets,
                                              const StressFitOptions& options) {
  const bool d0Fixed = options.d0Fixed;
  int freeCount = d0Fixed ? 0 : 1;
  for (bool held : options.fixed) freeCount += held ? 0 : 1;
  for (const StressDataSet& set : sets) {
    const StressMeasurement* with = nullptr;
    const StressMeasurement* without = nullptr;
    for (const StressMeasurement& m : set.members) {
      const StressMeasurement*& first = m.sdGiven ? with : without;
      if (!first) first = &m;
    }
    if (with && without) {
      const std::string row = std::to_string(without->row);
      return RowError(without->row, kColSd, "+/-",
                      "The uncertainty of d is empty at row " + row + " while row " +
                          std::to_string(with->row) + " of data set \"" + set.label +
                          "\" gives one: give it in every row of a data set, or in none (the "
                          "fit is then unweighted, its uncertainties from the scatter)");
    }
    if (without && static_cast<int>(set.members.size()) <= freeCount)
      return RowError(set.members.front().row, kColSd, "+/-",
                      "Data set \"" + set.label + "\" gives no uncertainty of d and has " +
                          std::to_string(set.members.size()) + " rows for " +
                          std::to_string(freeCount) +
                          " free parameters: without a scatter of the residuals there is no "
                          "uncertainty to give; add rows or the uncertainties of d");
    for (std::size_t k = 1; k <= set.members.size(); ++k) {
      const StressMeasurement& m = set.members[k - 1];
      // The row number is written only into a refusal: most rows pass.
      const auto line = [&m] { return std::to_string(m.row); };
      // Both count worksheet rows, so that the user finds the cell.
      if (m.sd == 0 && m.sdGiven)
        return RowError(m.row, kColSd, "+/-",
                        "D-spacing uncertainty is 0 at cell " + line() +
                            " (row " + line() + ", the \"+/-\" of \"d\")");
      if (d0Fixed && m.sd0 == 0 && m.sd0Given)
        return RowError(m.row, kColSd0, "+/-",
                        "D0 uncertainty is 0 at cell " + line() + " (row " + line() +
                            ", the \"+/-\" of \"d0\")");
      if (m.d0 == 0)
        return RowError(m.row, kColD0, "d0", "D0 is 0 at line " + line() + " (column \"d0\")");
      if (d0Fixed && (m.d0 - m.sd0 == 0 || m.d0 + m.sd0 == 0))
        return RowError(m.row, kColD0, "d0",
                        "D0 plus or minus its uncertainty is 0 at line " + line() +
                            " (columns \"d0\" and \"+/-\")");
    }
  }
  return std::nullopt;
}

std::optional<core::InputError> NonFiniteResult(const StressSetResult& r) {
  const auto finite = [](Real x) { return std::isfinite(static_cast<double>(x)); };
  std::string what;
  static const char* const kSig[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};
  for (int p = 0; p < 6 && what.empty(); ++p)
    if (!finite(r.sig[p]) || !finite(r.sigErr[p]) || !finite(r.sigErrStat[p]) ||
        !finite(r.sigErrScaled[p]) || !finite(r.d0Systematic[p]))
      what = kSig[p];
  if (what.empty() &&
      !(finite(r.d0) && finite(r.d0Err) && finite(r.d0Correction) && finite(r.d0CorrectionErr)))
    what = "d0";
  for (const ReflectionD0& ref : r.reflections)
    if (what.empty() && !(finite(ref.d0) && finite(ref.d0Err))) what = "d0";
  if (what.empty() && !(finite(r.chisq) && finite(r.chisqReduced))) what = "chisq";
  int row = r.rows.empty() ? 0 : r.rows.front();
  for (std::size_t k = 0; k < r.dCalc.size() && what.empty(); ++k)
    if (!finite(r.dCalc[k])) {
      what = "d_calc";
      row = r.rows[k];
    }
  if (what.empty()) return std::nullopt;
  return RowError(row, 0, what,
                  "The fit of data set \"" + r.label + "\" (from row " +
                      std::to_string(r.rows.empty() ? 0 : r.rows.front()) + ") gives no finite " +
                      what +
                      ": its spacings, uncertainties or stress factors lie beyond what "
                      "the fit can weigh; nothing was written");
}

StressSetResult FitDataSet(const StressDataSet& set, const StressFitOptions& options,
                           const std::array<Real, 6>& held) {
  const bool d0Fixed = options.d0Fixed;
  const bool subtractEps0 = options.subtractEps0;
  // Parameters a1..a6 are the stress components in TPa (stress factors in 1/TPa), a7 the
  // relative strain-free correction c common to every row: each row's strain-free spacing is
  // its own d0 times (1 + c), so reflections of different d0 share one unknown. The free ones
  // come first in the order list.
  const int ma = d0Fixed ? 6 : 7;
  std::array<bool, 8> isFree{};
  for (int p = 1; p <= 6; ++p) isFree[p] = !options.fixed[p - 1];
  isFree[7] = !d0Fixed;
  std::array<int, 8> ia{};
  int mfit = 0;
  for (int p = 1; p <= ma; ++p)
    if (isFree[p]) ia[++mfit] = p;
  for (int p = 1, j = mfit; p <= ma; ++p)
    if (!isFree[p]) ia[++j] = p;

  // Observations are relative strains (d - d0) / d0 with uncertainty sd / d0. With d0 fitted
  // the lattice strain is taken from the fitted strain-free spacing d0 (1 + c):
  // d = d0 (1 + c)(1 + F:sigma), which is d = d0 (1 + c) + d0 F:sigma' with sigma' = (1 + c)
  // sigma, linear in c and sigma'. The fit solves for sigma' (the same minimum of chi-square)
  // and divides by 1 + c afterwards; taking sigma' for sigma would scale the stress by the
  // error of the stated d0 (tenfold for a d0 given in nm beside d in Angstrom).
  // The buffers of the fits stay with the thread: a map fits thousands of data sets in turn.
  thread_local FitData data, dataPlus, dataMinus;
  thread_local FitWork work;
  data.Clear();
  dataPlus.Clear();
  dataMinus.Clear();
  const std::size_t rows = set.members.size();
  data.T.reserve(rows);
  data.x.reserve(rows);
  data.y.reserve(rows);
  data.s.reserve(rows);
  // Without uncertainties of d every row weighs the same; the scale of the weights cancels in
  // the uncertainties taken from the scatter.
  const bool unweighted = !set.members.empty() && !set.members.front().sdGiven;
  for (const StressMeasurement& m : set.members) {
    const Real d = subtractEps0 ? m.d - m.eps0 * m.d0 : m.d;
    data.T.push_back(m.F);
    data.x.push_back(1);
    data.y.push_back((d - m.d0) / m.d0);
    data.s.push_back(unweighted ? 1e-6L : m.sd / m.d0);
    if (d0Fixed) {
      const Real up = m.d0 + m.sd0, down = m.d0 - m.sd0;
      dataPlus.y.push_back((d - up) / up);
      dataMinus.y.push_back((d - down) / down);
    }
  }
  std::array<Real, 8> a{};
  for (int p = 1; p <= 6; ++p) a[p] = held[p - 1] * 1e-6L;
  std::array<Real, 8> aPlus = a, aMinus = a;

  if (d0Fixed) {
    dataPlus.T = dataMinus.T = data.T;
    dataPlus.x = dataMinus.x = data.x;
    dataPlus.s = dataMinus.s = data.s;
    SvdFit(dataPlus, mfit, ma, ia, aPlus, work);
    SvdFit(dataMinus, mfit, ma, ia, aMinus, work);
  }
  StressSetResult r;
  r.label = set.label;
  r.chisq = SvdFit(data, mfit, ma, ia, a, work);
  r.dof = static_cast<int>(set.members.size()) - mfit;
  r.chisqReduced = r.dof > 0 ? r.chisq / r.dof : 0;
  const Real scale = r.dof > 0 ? std::sqrt(r.chisqReduced) : 0;
  r.unweighted = unweighted;
  for (const StressMeasurement& m : set.members)
    r.d0PartLeftOut = r.d0PartLeftOut || (d0Fixed && !m.sd0Given);
  const FitMatrix cvm = SvdCovariance(work, mfit);

  std::array<Real, 8> stat{}, systematic{};
  std::array<int, 8> slot{};  // position j of parameter p among the fitted ones, 0 when held
  // The uncertainties of an unweighted fit are those its scatter gives.
  const Real statScale = unweighted ? scale : 1;
  for (int j = 1; j <= ma; ++j) {
    const int p = ia[j];
    systematic[p] = std::fabs(aPlus[p] - aMinus[p]) / 2;
    stat[p] = j <= mfit ? std::sqrt(cvm[j][j]) * statScale : 0;
    if (j <= mfit) slot[p] = j;
  }
  const std::array<Real, 8> fitted = a;  // sigma' and c, the model d_calc follows
  if (!d0Fixed && slot[7] != 0) {
    // sigma = sigma' / (1 + c), its variance by the first-order propagation through both.
    const Real c = a[7], k = 1 / (1 + c);
    const int jc = slot[7];
    for (int p = 1; p <= 6; ++p) {
      if (slot[p] == 0) continue;  // a held component stays what it was held at
      const int jp = slot[p];
      const Real sig = a[p] * k;
      const Real var = statScale * statScale * k * k *
                       (cvm[jp][jp] - 2 * sig * cvm[jp][jc] + sig * sig * cvm[jc][jc]);
      a[p] = sig;
      stat[p] = std::sqrt(std::fmax(var, Real{0}));
    }
  }
  if (unweighted) {
    // The weights' scale was made up: chi-square is the dof the scatter was scaled to.
    r.chisq = r.dof;
    r.chisqReduced = 1;
  }
  for (int p = 1; p <= 6; ++p) {
    r.sig[p - 1] = a[p] * 1e6L;
    r.sigErrStat[p - 1] = stat[p] * 1e6L;
    r.sigErrScaled[p - 1] = stat[p] * (unweighted ? 1 : scale) * 1e6L;
    r.d0Systematic[p - 1] = systematic[p] * 1e6L;
    r.sigErr[p - 1] = std::hypot(stat[p], systematic[p]) * 1e6L;
  }
  r.d0Fitted = !d0Fixed;
  if (r.d0Fitted) {
    r.d0Correction = a[7];
    r.d0CorrectionErr = stat[7];
    for (const StressMeasurement& m : set.members) {
      bool known = false;
      for (const ReflectionD0& ref : r.reflections) known = known || ref.d0Row == m.d0;
      if (!known)
        r.reflections.push_back({m.row, m.d0, m.d0 * (1 + a[7]), std::fabs(m.d0) * stat[7]});
    }
    r.d0 = r.reflections.front().d0;
    r.d0Err = r.reflections.front().d0Err;
  }
  r.rows.reserve(rows);
  r.dCalc.reserve(rows);
  for (const StressMeasurement& m : set.members) {
    const Real e = subtractEps0 ? m.eps0 : 0;
    const auto f = StressFitBasis(m.F, 1);
    Real strain = 0;
    for (int p = 1; p <= 6; ++p) strain += fitted[p] * f[p];
    r.rows.push_back(m.row);
    r.dCalc.push_back(m.d0 * (1 + e + strain + (d0Fixed ? 0 : fitted[7])));
  }
  return r;
}

}  // namespace polydec::stress
