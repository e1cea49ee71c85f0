// Stress evaluation: stresses (and the strain-free spacing d0 where it is free) fitted by
// weighted least squares to measured lattice spacings, one fit per data set.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/types.h"

namespace polydec {

// The strain-free spacing of one reflection of a data set (the rows sharing one d0 value) as
// the fit of the common relative correction gives it.
struct ReflectionD0 {
  int row = 0;             // first member row with this d0
  Real d0Row = 0;          // the d0 the rows state
  Real d0 = 0, d0Err = 0;  // d0Row (1 + correction) and its uncertainty
};

// The fit of one data set. Components in the order xx, yy, zz, yz, xz, xy.
struct StressSetResult {
  std::string label;
  std::array<Real, 6> sig{};  // MPa
  // MPa; 0 for a held component. With d0 fixed the statistical and the d0 part joined in
  // quadrature, otherwise the statistical part alone.
  std::array<Real, 6> sigErr{};
  std::array<Real, 6> sigErrStat{};    // from the stated uncertainties of d alone
  std::array<Real, 6> sigErrScaled{};  // sigErrStat times sqrt(chisqReduced)
  std::array<Real, 6> d0Systematic{};  // half the spread of the fits with d0 -/+ sd0
  bool d0Fitted = false;
  Real d0 = 0, d0Err = 0;  // only with d0Fitted: the first reflection's
  // Only with d0Fitted: the relative correction c common to all rows, d0 = d0_row (1 + c).
  Real d0Correction = 0, d0CorrectionErr = 0;
  std::vector<ReflectionD0> reflections;  // only with d0Fitted, in order of first rows
  Real chisq = 0;
  int dof = 0;            // rows minus fitted parameters
  Real chisqReduced = 0;  // chisq / dof; 0 without degrees of freedom
  std::vector<int> rows;    // member rows (worksheet rows, from 1)
  std::vector<Real> dCalc;  // recalculated spacing of each member row
  // No row gave an uncertainty of d: the rows were weighted equally and every uncertainty is
  // taken from the scatter of the residuals (sigErrStat = sigErrScaled, chisqReduced = 1).
  bool unweighted = false;
  // d0 was held and a row gave no uncertainty of it: the d0 part (d0Systematic) is left out.
  bool d0PartLeftOut = false;
};

// Which parameters a fit holds: sig_xx .. sig_xy (in the order above) and d0, and whether the
// strain-free strain eps0 of each row is subtracted.
struct FitChoice {
  std::array<bool, 6> fixed{false, false, true, true, true, true};
  bool d0Fixed = false;
  bool subtractEps0 = false;
};
// "sig_xx sig_yy d0": the named parameters are free, the others held.
Result<FitChoice> ParseFreeParameters(const std::string& list);

}  // namespace polydec
