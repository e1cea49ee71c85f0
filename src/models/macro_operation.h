// The macroscopic stiffness of one phase as one operation over every grain-interaction model:
// the untextured aggregate of the single crystal, or the stiffness of a textured polycrystal
// averaged over its weighted grain set or over Euler space weighted by its ODF (uniform without
// one). The window and the command line differ only in how they read the phase, when they stop
// the self-consistent rounds and how they show the outcome.
#pragma once

#include <functional>

#include "core/records.h"
#include "models/aggregate.h"
#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "polydec/types.h"

namespace polydec::models {

enum class MacroTexture {
  // No texture: the closed-form Voigt, Reuss and Hill aggregates and the self-consistent
  // stiffness of spherical grains, all isotropic, from phase.Lr of class phase.Cryst.SYS.
  kUntextured,
  // The phase's orientations: its grain set when phase.UseGrains is set, else Euler space with
  // 2 IIntervls Simpson intervals per angle weighted by its ODF; sample symmetry SYMMETRY.
  kOrientations,
};

enum class MacroStatus {
  kOk,
  kNoWeight,        // the grain set holds no weight (the ODF is 0 at every grain)
  kSingular,        // a self-consistent residual could not be evaluated or its Jacobian is singular
  kDivergence,      // the step sum grew in SelfConsistentWatch::kMaxGrowing rounds in a row
  kNoConvergence,   // the step sum stayed above kAcceptedStepSum too long
  // The converged self-consistent stiffness lies outside the Voigt and Reuss averages of the
  // same orientations (every admissible estimate lies between them): the integration is too
  // coarse for the texture. boundsExcess says by how much.
  kOutsideBounds,
  kStopped,  // the evaluation callback stopped a self-consistent round; phase is left as it was
};

// State after one self-consistent round that neither failed nor was found diverging.
struct MacroRound {
  int round = 0;           // from 1
  core::Real stepSum = 0;  // of the round's last Newton step
  bool converged = false;  // the step sum fell below kAcceptedStepSum
  const core::Tensor4& L;  // the stiffness reached, completed by the sample symmetry
};
// Returns true to run another round, false to keep the stiffness reached. Without a callback
// the rounds go on until they converge (or fail).
using MacroRoundCallback = std::function<bool(const MacroRound&)>;
// Inside self-consistent round `round` (from 1), before each integration of its residual
// (EvaluationCallback): false stops at once with kStopped.
using MacroEvaluationCallback = std::function<bool(int round, int evaluation, int evaluations)>;

struct MacroStiffnessResult {
  MacroStatus status = MacroStatus::kOk;
  // The untextured route: how the self-consistent rounds ended (its stiffness is kept even when
  // they did not settle, so that the caller can show the last values with a warning).
  IsotropicAggregateResult isotropic;
  int rounds = 0;  // self-consistent rounds run on the textured route
  // With kOutsideBounds: the largest eigenvalue, in GPa, by which the stiffness exceeds the
  // Voigt average or falls below the Reuss average (Mandel form).
  core::Real boundsExcess = 0;
};

// Beyond this share of the Voigt average's largest eigenvalue, a self-consistent stiffness
// outside the Voigt-Reuss bounds is refused rather than blamed on rounding.
inline constexpr core::Real kBoundsTolerance = 0.005L;

// The macroscopic stiffness of `phase` under the model `code`.
//  - kUntextured: phase.L receives the aggregate; status kSingular or kNoConvergence for a
//    self-consistent solution that failed or did not settle (isotropic tells which).
//  - kOrientations: codes 0 and 1 Voigt, 2 Reuss, 6 Hill (mean of the two stiffnesses), 3 and
//    4 the self-consistent stiffness (Kroener, inverse Kroener) by rounds of Newton trials
//    starting from phase.L, onRound deciding after each whether to go on; other codes leave
//    the stiffness as it is. On success phase.L holds the stiffness completed by the sample
//    symmetry; the Euler-space Reuss and Hill averages also leave the averaged compliance in
//    phase.M, the self-consistent rounds the Eshelby tensors of the stiffness reached. On a
//    failure phase is left as it was.
MacroStiffnessResult CalcMacroStiffness(core::OrientationsRec& phase, MacroTexture texture,
                                        ModelCode code, const MacroRoundCallback& onRound,
                                        const MacroEvaluationCallback& onEvaluation = {});

}  // namespace polydec::models
