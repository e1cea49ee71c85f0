// Stress evaluation of measured lattice spacings: the measurements are grouped into data sets
// by their label, checked, and each data set is fitted for the stress tensor and (optionally)
// the strain-free spacing d0 by weighted linear least squares.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/input_error.h"
#include "core/types.h"
#include "polydec/stress.h"

namespace polydec::stress {

using core::Real;
using core::Tensor2;

// One measured spacing with its stress factors. Angles in degrees; F in the unit of the fit
// (1/TPa, the worksheet's 1e-6/MPa), shear entries holding the full coefficient.
struct StressMeasurement {
  std::string label;  // rows with exactly the same label form one data set
  int row = 0;        // worksheet row, for the messages
  Real phi = 0, psi = 0;
  Real d = 0, sd = 0;    // measured spacing and its uncertainty
  Real d0 = 0, sd0 = 0;  // strain-free spacing and its uncertainty
  Tensor2 F;             // stress factors
  Real eps0 = 0;         // strain-free strain of the row (Fij layout only)
  std::string reflection;  // "h k l" of the row, empty when not known
  // false: the cell was empty. Without sd in every row of a data set the fit is unweighted;
  // without sd0 a held d0 adds no part to the uncertainties.
  bool sdGiven = true, sd0Given = true;
};

// Which of the six components are held, and how d0 and eps0 are treated; the same for every
// data set of one evaluation.
using StressFitOptions = polydec::FitChoice;

// The rows of one data set, in row order.
struct StressDataSet {
  std::string label;
  std::vector<StressMeasurement> members;
};

using polydec::ReflectionD0;
using polydec::StressSetResult;

// Groups the measurements by label (exact text), data sets in the order of their first rows.
std::vector<StressDataSet> GroupDataSets(const std::vector<StressMeasurement>& rows);

// Checks every data set before any fit: a zero uncertainty of d would divide the weights by
// zero, and d0 (or, with d0 fixed, d0 +/- its uncertainty) divides the strain. A data set whose
// rows give the uncertainty of d in some rows and not in others is refused (its weights would
// be half made up), as is one without any that has no more rows than free parameters (no
// scatter to take the uncertainties from).
std::optional<core::InputError> CheckDataSets(const std::vector<StressDataSet>& sets,
                                              const StressFitOptions& options);

// Refuses the first data set whose directions cannot separate the free parameters (see
// UndeterminedParameters); the record points at the set's first row.
std::optional<core::InputError> CheckDetermined(const std::vector<StressDataSet>& sets,
                                                const StressFitOptions& options);

// Fits one data set. held: the values (MPa) the held components keep and the fitted ones start
// from. With d0 fixed the uncertainty of a stress joins the fit's own one and half the spread
// between the fits with d0 + sd0 and d0 - sd0.
StressSetResult FitDataSet(const StressDataSet& set, const StressFitOptions& options,
                           const std::array<Real, 6>& held);

// Refuses a fitted data set any of whose numbers (stresses, uncertainties, d0, chisq, d_calc)
// is not finite in double precision: such a result comes from values beyond what the fit can
// weigh (an uncertainty of 1e-4900, a spacing of 1e400) and must never reach a cell or a file.
std::optional<core::InputError> NonFiniteResult(const StressSetResult& r);

struct StressEvaluation {
  std::vector<StressSetResult> sets;
  std::optional<core::InputError> error;  // set: nothing was fitted
};

// Groups, checks and fits. held(g) gives the held values of data set g (0-based).
template <typename Held>
StressEvaluation EvaluateStress(const std::vector<StressMeasurement>& rows,
                                const StressFitOptions& options, Held&& held) {
  StressEvaluation out;
  const std::vector<StressDataSet> sets = GroupDataSets(rows);
  out.error = CheckDataSets(sets, options);
  if (!out.error) out.error = CheckDetermined(sets, options);
  if (out.error) return out;
  for (std::size_t g = 0; g < sets.size(); ++g) {
    out.sets.push_back(FitDataSet(sets[g], options, held(g)));
    out.error = NonFiniteResult(out.sets.back());
    if (out.error) {
      out.sets.clear();
      return out;
    }
  }
  return out;
}

}  // namespace polydec::stress
