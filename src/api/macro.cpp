#include "polydec/macro.h"

#include <cmath>

#include "api/conversions.h"
#include "api/texture_data.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "models/macro_operation.h"
#include "models/macro_stiffness.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"
#include "texture/random_grains.h"

namespace polydec {

namespace {

// Why the stiffness could not be found.
std::string FailureText(const models::MacroStiffnessResult& result, int intervals) {
  switch (result.status) {
    case models::MacroStatus::kOutsideBounds:
      return "the self-consistent stiffness lies " + core::FormatFixed(result.boundsExcess, 15, 1) +
             " GPa outside the Voigt and Reuss averages of the same texture, which every "
             "estimate lies between: --intervals " + std::to_string(intervals) +
             " integrates Euler space too coarsely for this texture; use more intervals";
    case models::MacroStatus::kNoWeight:
      return "the grains hold no weight (the ODF is 0 at every grain)";
    case models::MacroStatus::kDivergence:
      return "the self-consistent iteration diverges (its step sum grew in " +
             std::to_string(models::SelfConsistentWatch::kMaxGrowing) + " rounds in a row)";
    case models::MacroStatus::kNoConvergence:
      return "the self-consistent iteration does not converge within " +
             std::to_string(models::SelfConsistentWatch::kMaxRoundsAbove) + " rounds";
    case models::MacroStatus::kStopped:
      return "stopped in round " + std::to_string(result.rounds + 1);
    default:
      return "the self-consistent stiffness could not be found: its residual could not be "
             "evaluated or its Jacobian is singular";
  }
}

}  // namespace

Result<EngineeringConstants> EngineeringConstantsOf(const Matrix6& C, SampleSymmetry symmetry) {
  core::Tensor4 L;
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      int i = 0, j = 0, k = 0, l = 0;
      core::VoigtPair(I, i, j);
      core::VoigtPair(J, k, l);
      const Real c = C[static_cast<std::size_t>(I - 1)][static_cast<std::size_t>(J - 1)];
      L(i, j, k, l) = L(j, i, k, l) = L(i, j, l, k) = L(j, i, l, k) = c;
    }
  const models::EngineeringConstantsRec e = models::MacroEngineeringConstants(L, symmetry);
  for (Real x : {e.E1, e.E2, e.E3, e.G1, e.G2, e.G3, e.nu12, e.nu13, e.nu23, e.nu21, e.nu31,
                 e.nu32})
    if (!std::isfinite(x))
      return Refusal("an engineering constant of the stiffness is not a finite number for this "
                     "input");
  return EngineeringConstants{e.E1,   e.E2,   e.E3,   e.G1,   e.G2,   e.G3,
                              e.nu12, e.nu13, e.nu23, e.nu21, e.nu31, e.nu32};
}

Result<Matrix6> OrthotropicStiffness(const EngineeringConstants& e) {
  const std::optional<core::CijklVector> c = models::OrthotropicStiffness(e, core::CijklVector{});
  if (!c) return Refusal("these engineering constants admit no stiffness");
  Matrix6 m{};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J)
      m[static_cast<std::size_t>(I - 1)][static_cast<std::size_t>(J - 1)] =
          (*c)[core::VoigtToPosition(I, J)];
  return m;
}

std::vector<int> RandomSetSizes() {
  return {texture::kRandomSetSizes.begin(), texture::kRandomSetSizes.end()};
}

Result<MacroStiffness> ComputeMacroStiffness(const Phase& phase, const Texture& texture,
                                             const MacroOptions& o) {
  // The phase's context carries the texture's orientations: the ODF grid or the grain set.
  core::OrientationsRec ctx = api::ContextOf(texture);
  if (const std::string problem =
          models::BuildUntexturedContext(api::UntexturedInputsOf(phase), ctx);
      !problem.empty())
    return Refusal(problem);
  // The phase's builder starts without an ODF; the texture's grid stays in use.
  ctx.ODFNUMP = api::ContextOf(texture).ODFNUMP;

  // A grain set is a list of orientations and states no sample symmetry: averaging it
  // isotropically would replace its texture by a random one.
  SampleSymmetry symmetry = kIsotropicSample;
  if (!texture.path.empty()) symmetry = texture.grains ? kTriclinicSample : texture.sampleSymmetry;
  if (o.sampleSymmetry) symmetry = *o.sampleSymmetry;
  ctx.SYMMETRY = symmetry;

  if (o.randomSetSize != 0) {
    if (texture.grains && texture.nodes < 1)
      return Refusal("a random set is weighted by an ODF, not by grains");
    const texture::ODFReadResult r =
        texture::WeightRandomGrains(ctx, o.randomSetFile, o.randomSetSize);
    if (!r.ok()) return static_cast<const InputError&>(r);
    ctx.UseGrains = true;
  }

  const int intervals =
      o.intervals > 0 ? o.intervals : models::DefaultEulerIntervals(symmetry, o.model);
  ctx.IIntervls = intervals;
  ctx.Iter = 1;
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, symmetry);
  if (const std::string axes = models::CheckAxes(ctx.AxisLength); !axes.empty())
    return Refusal(axes);
  // Only the self-consistent models embed a grain in a matrix; the averages need no Eshelby
  // tensor, whose integration would cost more than the whole average.
  const ModelCode code = o.model;
  if (code == kVoigt || code == kMVoigt || code == kReuss || code == kHill)
    models::UpdateCompliances(ctx);
  else
    models::UpdateEshelby(ctx);

  bool stopped = false;
  const models::MacroStiffnessResult result = models::CalcMacroStiffness(
      ctx, models::MacroTexture::kOrientations, code, [&](const models::MacroRound& round) {
        if (round.converged) return false;
        if (o.onRound && !o.onRound(round.round, round.stepSum)) {
          stopped = true;
          return false;
        }
        return true;
      },
      o.onEvaluation);
  if (stopped) return Refusal("stopped after " + std::to_string(result.rounds) + " rounds");
  if (result.status != models::MacroStatus::kOk) return Refusal(FailureText(result, intervals));

  MacroStiffness out;
  out.sampleSymmetry = symmetry;
  out.rounds = result.rounds;
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      int i = 0, j = 0, k = 0, l = 0;
      core::VoigtPair(I, i, j);
      core::VoigtPair(J, k, l);
      const Real c = ctx.L(i, j, k, l);
      if (!std::isfinite(c))
        return Refusal("C" + std::to_string(I) + std::to_string(J) +
                       " is not a finite number for this input");
      out.C[static_cast<std::size_t>(I - 1)][static_cast<std::size_t>(J - 1)] = c;
    }
  auto e = EngineeringConstantsOf(out.C, symmetry);
  if (!e) return e.error();
  out.engineering = *e;
  return out;
}

}  // namespace polydec
