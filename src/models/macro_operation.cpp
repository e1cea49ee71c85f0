#include "models/macro_operation.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "core/stiffness_check.h"
#include "core/tensor_inversion.h"
#include "core/voigt.h"
#include "models/macro_stiffness.h"
#include "models/symmetry_projection.h"

namespace polydec::models {

using core::OrientationsRec;
using core::Real;
using core::Tensor4;

namespace {

bool FiniteTensor(const Tensor4& T) {
  for (Real x : T.e)
    if (!std::isfinite(x)) return false;
  return true;
}

MacroStiffnessResult Untextured(OrientationsRec& phase, int code) {
  core::CijklVector a{};
  core::TensorToCijkl(phase.Lr, a);
  MacroStiffnessResult result;
  result.isotropic = CalcIsoMaConst(a, static_cast<polydec::CrystalClass>(phase.Cryst.SYS),
                                    static_cast<polydec::ModelCode>(code));
  core::CijklToTensor(a, phase.L);
  if (result.isotropic.failed)
    result.status = MacroStatus::kSingular;
  else if (!result.isotropic.converged)
    result.status = MacroStatus::kNoConvergence;
  return result;
}

// The phase as the one element of a phase list, for the averages that take one; it goes back
// to the caller when the list ends.
class OnePhaseList {
 public:
  explicit OnePhaseList(OrientationsRec& phase) : phase_(phase) {
    list_.push_back(std::make_unique<OrientationsRec>(std::move(phase)));
  }
  ~OnePhaseList() { phase_ = std::move(*list_[0]); }
  OnePhaseList(const OnePhaseList&) = delete;
  OnePhaseList& operator=(const OnePhaseList&) = delete;
  const core::ORTN_Array& list() const { return list_; }
  const OrientationsRec& phase() const { return *list_[0]; }

 private:
  OrientationsRec& phase_;
  core::ORTN_Array list_;
};

// Voigt (codes 0, 1), Reuss (2) and Hill (6): the averaged stiffness into L.
MacroStatus Averages(OrientationsRec& phase, int code, Tensor4& L) {
  const bool wantVoigt = code != kReuss, wantReuss = code == kReuss || code == kHill;
  const int symmetry = phase.SYMMETRY;
  Tensor4 voigt = phase.L, reuss = phase.L;
  if (phase.UseGrains) {
    const OnePhaseList one(phase);
    if (wantReuss && !GrainAverageCompliance(reuss, one.list())) return MacroStatus::kNoWeight;
    if (wantVoigt && !GrainAverageStiffness(voigt, one.list())) return MacroStatus::kNoWeight;
  } else {
    if (wantReuss) {
      Tensor4 compliance = phase.M;
      ODFAverage(compliance, phase, phase.IIntervls, kComplianceAverage);
      phase.M = compliance;
      reuss = compliance;
      core::InvertTensor(reuss, symmetry);
    }
    if (wantVoigt) ODFAverage(voigt, phase, phase.IIntervls, kStiffnessAverage);
  }
  if (code == kHill) {
    core::AddTensors(reuss, voigt, L, 1);
    core::ScaleTensor(L, 0.5L);
  } else {
    L = wantVoigt ? voigt : reuss;
  }
  return MacroStatus::kOk;
}

// Kroener (3) and inverse Kroener (4): rounds of Newton trials on a copy of the phase, which
// replaces the phase only when the rounds end without a failure.
MacroStatus SelfConsistent(OrientationsRec& phase, int code, const MacroRoundCallback& onRound,
                           const MacroEvaluationCallback& onEvaluation,
                           int& rounds, bool& converged) {
  const int symmetry = phase.SYMMETRY;
  core::ORTN_Array list;
  list.push_back(std::make_unique<OrientationsRec>(phase));
  Tensor4 T = phase.L;
  SelfConsistentWatch watch;
  for (;;) {
    EvaluationCallback inRound;
    if (onEvaluation)
      inRound = [&](int evaluation, int evaluations) {
        return onEvaluation(rounds + 1, evaluation, evaluations);
      };
    const NewtonResult r =
        SolveSelfConsistent(T, list, 1, static_cast<polydec::ModelCode>(code), inRound);
    if (r.stopped) return MacroStatus::kStopped;
    ++rounds;
    if (r.failed || !FiniteTensor(T)) return MacroStatus::kSingular;
    CompleteBySymmetry(T, symmetry);
    const SelfConsistentWatch::Verdict verdict = watch.Next(r.stepSum);
    if (verdict == SelfConsistentWatch::Verdict::kDivergence) return MacroStatus::kDivergence;
    if (verdict == SelfConsistentWatch::Verdict::kNoConvergence)
      return MacroStatus::kNoConvergence;
    const MacroRound round{rounds, r.stepSum, verdict == SelfConsistentWatch::Verdict::kConverged,
                           T};
    converged = round.converged;
    if (onRound ? !onRound(round) : round.converged) break;
  }
  phase = std::move(*list[0]);
  phase.L = T;
  return MacroStatus::kOk;
}

Real LargestMandelEigenvalue(const Tensor4& T) {
  Tensor4 negative = T;
  core::ScaleTensor(negative, -1);
  core::CijklVector v{};
  core::TensorToCijkl(negative, v);
  return -core::SmallestMandelEigenvalue(v);
}

// The largest amount (GPa) by which L lies above the Voigt or below the Reuss average of the
// orientations of `scratch` (the phase before the rounds; the averages change its compliance),
// measured by the smallest eigenvalues of V - L and L - R, and the largest eigenvalue of V, the
// scale.
struct Excess {
  Real amount = 0, scale = 0;
};
Excess BoundsExcess(OrientationsRec& scratch, const Tensor4& L) {
  const int symmetry = scratch.SYMMETRY;
  Tensor4 V, R;
  if (Averages(scratch, kVoigt, V) != MacroStatus::kOk ||
      Averages(scratch, kReuss, R) != MacroStatus::kOk)
    return {};
  CompleteBySymmetry(V, symmetry);
  CompleteBySymmetry(R, symmetry);
  Tensor4 above, below;
  core::AddTensors(V, L, above, -1);
  core::AddTensors(L, R, below, -1);
  core::CijklVector a{}, b{};
  core::TensorToCijkl(above, a);
  core::TensorToCijkl(below, b);
  const Real lowest =
      std::min(core::SmallestMandelEigenvalue(a), core::SmallestMandelEigenvalue(b));
  return {std::max<Real>(0, -lowest), LargestMandelEigenvalue(V)};
}

}  // namespace

MacroStiffnessResult CalcMacroStiffness(OrientationsRec& phase, MacroTexture texture,
                                        ModelCode code, const MacroRoundCallback& onRound,
                                        const MacroEvaluationCallback& onEvaluation) {
  if (texture == MacroTexture::kUntextured) return Untextured(phase, code);
  MacroStiffnessResult result;
  Tensor4 L = phase.L;
  if (code == kVoigt || code == kMVoigt || code == kReuss || code == kHill) {
    const Tensor4 compliance = phase.M;
    result.status = Averages(phase, code, L);
    if (result.status != MacroStatus::kOk) {
      phase.M = compliance;
      return result;
    }
    phase.L = L;
  } else if (code == kKroener || code == kInverseKroener) {
    OrientationsRec original = phase;
    bool converged = false;
    result.status = SelfConsistent(phase, code, onRound, onEvaluation, result.rounds, converged);
    if (result.status != MacroStatus::kOk) return result;
    // A converged root of a coarsely integrated residual can lie far from the aggregate's
    // stiffness while looking like any other result; the bounds that every estimate obeys
    // tell it. Rounds the user stopped early are shown as what they are.
    if (converged) {
      Tensor4 reached = phase.L;
      CompleteBySymmetry(reached, phase.SYMMETRY);
      // The averages change only the compliance of the phase they are given.
      const Tensor4 compliance = original.M;
      const Excess excess = BoundsExcess(original, reached);
      original.M = compliance;
      if (excess.amount > kBoundsTolerance * excess.scale) {
        phase = original;
        result.status = MacroStatus::kOutsideBounds;
        result.boundsExcess = excess.amount;
        return result;
      }
    }
  }
  CompleteBySymmetry(phase.L, phase.SYMMETRY);
  return result;
}

}  // namespace polydec::models
