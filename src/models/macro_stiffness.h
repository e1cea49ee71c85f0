// Macroscopic stiffness of a textured polycrystal: the Voigt and Reuss averages over a weighted
// grain set or over Euler space weighted by the ODF, and the self-consistent stiffness (Kroener
// 1958 and its inverse, the mean-stress form) as the root of a residual tensor, found by Newton's
// method with a finite-difference Jacobian.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "core/records.h"
#include "polydec/macro.h"
#include "core/voigt.h"

namespace polydec::models {

// Newton tolerances on the residual sum and on the step sum.
inline constexpr core::Real kNewtonTolerance = 1e-10L;
// A round of Newton trials whose step sum stays below this accepts the stiffness.
inline constexpr core::Real kAcceptedStepSum = 1e-6L;

// Integrands of ODFAverage.
enum ODFAverageMode : int {
  kStiffnessAverage = 0,         // C' (1 acts the same)
  kComplianceAverage = 2,        // S'
  kKroenerIntegrand = 3,         // Y^-1 : (C' - L) : M
  kInverseKroenerIntegrand = 4,  // (C' - L) - C' : Y^-1 : (C' - L)
};

// X' = sum g_pi g_qj g_rk g_sl X_pqrs: a crystal-frame tensor in the sample frame for the grain
// of Bunge angles (radians).
core::Tensor4 RotateToSample(const core::Tensor4& X, core::Real phi1, core::Real Phi,
                             core::Real phi2);

// Voigt average of the rotated single-crystal stiffness over the weighted grain sets of the
// phase list, completed by the sample symmetry of element 0. False (out unchanged) when a
// phase's grain set is empty or its weights do not add up to a positive number.
bool GrainAverageStiffness(core::Tensor4& out, const core::ORTN_Array& list);
// Reuss average: the weighted mean of the rotated compliances, inverted into a stiffness.
bool GrainAverageCompliance(core::Tensor4& out, const core::ORTN_Array& list);

// How many periods of the Euler-space integrand lie in phi1 (sample side: 2 when every
// independent component of the sample class is unchanged by a half turn about z) and in phi2
// (crystal side: the largest n of 6, 4, 3, 2 whose n-fold turn about the crystal z axis leaves
// X unchanged to 1e-12 relative).
struct OrientationFolds {
  int sample = 1, crystal = 1;
};
OrientationFolds EulerSpaceFolds(const core::Tensor4& X, SampleSymmetry symmetry);

// Texture-weighted mean (1/I_f) integral f X sin Phi over Euler space by nested Simpson rules
// with 2N intervals on each axis, X by mode (Y = (C' - L) + L:W of ctx). One period of the
// integrand in phi1 and in phi2 (EulerSpaceFolds; for the self-consistent integrands the half
// turn in phi1 only when L, M and W are unchanged by it) carries the 2N intervals, with the ODF
// summed over the whole period at each point, so a sharp texture needs that many times fewer
// points.
// Only the independent components of ctx.SYMMETRY are integrated; the others follow from the
// class. N < 1 leaves out unchanged.
void ODFAverage(core::Tensor4& out, const core::OrientationsRec& ctx, int N, int mode);

// Residuals whose roots are the self-consistent stiffnesses: the mean grain strain equals the
// macroscopic strain (Kroener) or the mean grain stress equals the macroscopic stress (inverse
// Kroener). The grain route (UseGrains of element 0) sums over the grain sets, the ODF route
// integrates with N = IIntervls div 2. Both refresh the Eshelby tensors of the phases for the
// trial L. False when a grain shape is refused or a grain set holds no weight.
bool KroenerResidual(const core::Tensor4& L, core::ORTN_Array& list, core::Tensor4& R);
bool InverseKroenerResidual(const core::Tensor4& L, core::ORTN_Array& list, core::Tensor4& R);

// Outcome of Newton trials or rounds.
struct NewtonResult {
  core::Real stepSum = 0;      // sum |p| of the last step taken; 0 when none was taken
  core::Real residualSum = 0;  // sum |F| over the unknowns at the last evaluation
  int trials = 0;
  // The residual could not be evaluated, was not finite, or the Jacobian was singular: x is
  // left as before the failed trial.
  bool failed = false;
  // The evaluation callback asked to stop (failed is then set too, x left as before the trial).
  bool stopped = false;
};

// Asked before each evaluation of a self-consistent residual with its number in the Newton
// trial (1 .. unknowns + 1) and that count; false stops the trials at once. One evaluation
// integrates over Euler space, a round runs unknowns + 1 of them per trial.
using EvaluationCallback = std::function<bool(int evaluation, int evaluations)>;

// Residual of a trial stiffness, false when it cannot be evaluated.
using ResidualFunction = std::function<bool(const core::Tensor4&, core::Tensor4&)>;

// Newton trials on the unknowns (positions of x) with the symmetry class `symmetry`: at least
// one, at most maxTrials. x is first brought into the class form; each finite-difference
// column perturbs one unknown by h = |0.001 x1|, restores the class form and restores x whole.
// Stops when the residual sum or the step sum is at most kNewtonTolerance.
NewtonResult NewtonTrials(core::CijklVector& x, const std::vector<int>& unknowns,
                          SampleSymmetry symmetry, int maxTrials, const ResidualFunction& residual);

// Up to `rounds` rounds of Newton trials (Iter of element 0 each) on the independent
// components of element 0's sample symmetry, code 3 Kroener or 4 inverse Kroener; stops early
// when a round's step sum is below kAcceptedStepSum. L receives the stiffness reached, and so
// do element 0's L and a.
NewtonResult SolveSelfConsistent(core::Tensor4& L, core::ORTN_Array& list, int rounds,
                                 ModelCode code, const EvaluationCallback& onEvaluation = {});

// Engineering constants of a macroscopic stiffness C of sample symmetry `symmetry`: Young's
// moduli along the sample axes, the shear constants C1212, C1313, C2323 and the Poisson's ratios
// nu_kj = -eps_jj / eps_kk under a uniaxial stress along k.
using EngineeringConstantsRec = polydec::EngineeringConstants;
EngineeringConstantsRec MacroEngineeringConstants(const core::Tensor4& C, SampleSymmetry symmetry);

// The orthotropic stiffness of given engineering constants (Lekhnitskii 1963): C11, C22, C33,
// C12, C13, C23 from the Young's moduli and Poisson's ratios, C44 = G3, C55 = G2, C66 = G1 (the
// shear constants as MacroEngineeringConstants gives them); the other components are left as
// they are in c. Empty when the constants admit no stiffness (the determinant of the compliance
// vanishes).
std::optional<core::CijklVector> OrthotropicStiffness(const EngineeringConstantsRec& e,
                                                      core::CijklVector c);

// Watches the step sums of successive self-consistent rounds and says when the rounds have to
// stop on their own: a divergent or stalled iteration must not depend on the user to end it.
class SelfConsistentWatch {
 public:
  static constexpr int kMaxRoundsAbove = 50;  // rounds in a row with a step sum above threshold
  static constexpr int kMaxGrowing = 5;       // rounds in a row with a growing step sum
  enum class Verdict { kConverged, kGoOn, kNoConvergence, kDivergence };
  Verdict Next(core::Real stepSum);

 private:
  int roundsAbove_ = 0;
  int growing_ = 0;
  bool first_ = true;
  core::Real last_ = 0;
};

}  // namespace polydec::models
