// The classical sin²ψ evaluation beside the tensor fit: for each azimuth phi of a data set the
// strain is regressed on sin²ψ and sin 2ψ,
//   eps = A + B sin²ψ + C sin 2ψ,
// and with the quasi-isotropic elastic constants s1, 1/2 s2 of the reflection
//   B = 1/2 s2 (sig_phi - sig_33),   C = 1/2 s2 tau_phi,
// where sig_phi = sig_11 cos²phi + sig_12 sin 2phi + sig_22 sin²phi and
// tau_phi = sig_13 cos phi + sig_23 sin phi. It assumes an untextured (quasi-isotropic)
// material, a stress that is homogeneous over the penetration depth, and strains small enough
// for eps = (d - d0)/d0.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/types.h"
#include "stress/stress_evaluation.h"

namespace polydec::stress {

struct AzimuthResult {
  std::string reflection;  // "h k l" of the rows, empty when the rows do not name it
  Real phi = 0;            // degrees, as measured
  int points = 0;
  Real s1 = 0, s2half = 0;  // 1/TPa, from the rows' stress factors
  Real intercept = 0, interceptErr = 0;
  Real slope = 0, slopeErr = 0;                 // B: d eps / d sin²ψ
  std::optional<Real> splitting, splittingErr;  // C: coefficient of sin 2ψ
  Real sigma = 0, sigmaErr = 0;                 // sig_phi - sig_33, MPa
  std::optional<Real> tau, tauErr;              // tau_phi, MPa
  Real chisq = 0;
  bool determined = false;  // false: nothing could be fitted, see note
  std::string note;         // what was not determined, and why
};

struct AzimuthSet {
  std::string label;
  std::vector<AzimuthResult> azimuths;  // in the order of their first rows
  bool severalReflections = false;      // the rows name more than one reflection
};

// The regression of each reflection and phi of each data set; uncertainties from those of d
// (not scaled by the scatter). Reflections are never pooled: each has its own s1, 1/2 s2 and
// d0, and one line through the strains of two would be a stress of neither. A phi with fewer
// than two different tilts determines no slope; with fewer than three (ψ and -ψ count as two)
// there is no splitting (tau stays empty).
std::vector<AzimuthSet> EvaluatePerAzimuth(const std::vector<StressDataSet>& sets,
                                           bool subtractEps0);

// s1 and 1/2 s2 that best give the normal stress factors F11, F22, F33 of one row as
// s1 + 1/2 s2 n_i² (n the measurement direction); exact for quasi-isotropic factors.
bool QuasiIsotropicConstants(const StressMeasurement& m, Real& s1, Real& s2half);

// Lines for the page's memo: one per reflection and phi (the reflection named where a data set
// holds several).
std::vector<std::string> PerAzimuthLines(const std::vector<AzimuthSet>& sets);

}  // namespace polydec::stress
