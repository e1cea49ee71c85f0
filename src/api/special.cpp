#include "polydec/special.h"

#include <cmath>

#include "api/conversions.h"
#include "api/texture_data.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "models/untextured_context.h"
#include "special/orientation_runs.h"
#include "special/sc_tensor.h"
#include "special/twin_fraction.h"

namespace polydec {

namespace {

Status Finite(std::initializer_list<Real> values, const std::string& what) {
  for (Real x : values)
    if (!std::isfinite(x)) return Refusal(what + " is not a finite number for this input");
  return Ok();
}

Status FiniteAngles(const EulerAngles& e) {
  return Finite({e.phi1, e.Phi, e.phi2}, "an Euler angle");
}

core::Tensor1 Vector(const std::array<Real, 3>& v) { return core::Tensor1{{v[0], v[1], v[2]}}; }

}  // namespace

Result<Matrix6> StiffnessInFrame(const Phase& phase, const CrystalFrame& frame) {
  if (Status s = Finite({frame.x[0], frame.x[1], frame.x[2], frame.z[0], frame.z[1], frame.z[2],
                         frame.turnDegrees},
                        "a direction or the turn");
      !s)
    return s.error();
  special::SCTensorInputs in;
  core::CijklToTensor(api::ToCijkl(phase.cij), in.Lr);
  in.cell = api::ToCrystalData(phase.cell);
  in.cell.SYS = phase.crystalClass;
  in.cell.AxisSetting = 1;
  if (const std::string bad = crystal::CheckCell(in.cell); !bad.empty())
    return Refusal("the cell of " + phase.name + ": " + bad);
  crystal::InitCrystal(in.cell);
  in.turnDegrees = frame.turnDegrees;
  in.xDirection = Vector(frame.x);
  in.zDirection = Vector(frame.z);
  in.transverselyIsotropic = frame.transverse;
  const special::SCTensorResult r = special::SingleCrystalTensorInFrame(in);
  if (!r.error.empty()) return Refusal(r.error);
  Matrix6 C{};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      int i = 0, j = 0, k = 0, l = 0;
      core::VoigtPair(I, i, j);
      core::VoigtPair(J, k, l);
      const Real c = r.C(i, j, k, l);
      if (!std::isfinite(c))
        return Refusal("C" + std::to_string(I) + std::to_string(J) +
                       " is not a finite number for this input");
      C[static_cast<std::size_t>(I - 1)][static_cast<std::size_t>(J - 1)] = c;
    }
  return C;
}

Result<TaylorFactor> ComputeTaylorFactor(const EulerAngles& e, std::optional<Real> heldRatio) {
  if (Status s = FiniteAngles(e); !s) return s.error();
  if (heldRatio && !(*heldRatio >= 0 && *heldRatio <= 1))
    return Refusal("the contraction ratio must lie in 0..1");
  const special::TaylorResult r = special::TaylorFactorOfOrientation(e.phi1, e.Phi, e.phi2, heldRatio);
  if (!r.ok)
    return Refusal(
        "the Taylor factor of this orientation is not defined (the slip-rate equations became "
        "singular)");
  if (Status s = Finite({r.factor, r.ratio}, "the Taylor factor"); !s) return s.error();
  return TaylorFactor{r.factor, r.ratio};
}

Result<SchmidFactors> ComputeSchmidFactors(const Phase& phase, const EulerAngles& e) {
  if (Status s = FiniteAngles(e); !s) return s.error();
  core::OrientationsRec ctx;
  if (const std::string problem = models::BuildUntexturedContext(api::UntexturedInputsOf(phase), ctx);
      !problem.empty())
    return Refusal(problem);
  const special::SchmidFactors f = special::SchmidFactorsOfOrientation(ctx, e.phi1, e.Phi, e.phi2);
  if (Status s = Finite({f.kroener.value}, "the Schmid factor (Kroener)"); !s) return s.error();
  if (Status s = Finite({f.inverseKroener.value}, "the Schmid factor (inverse Kroener)"); !s)
    return s.error();
  return SchmidFactors{{f.kroener.value, f.kroener.system},
                       {f.inverseKroener.value, f.inverseKroener.system}};
}

Result<GrainElongation> ComputeGrainElongation(const EulerAngles& e) {
  if (Status s = FiniteAngles(e); !s) return s.error();
  const special::Elongation r = special::ElongationOfOrientation(e.phi1, e.Phi, e.phi2);
  if (Status s = Finite({r.phi1, r.Phi, r.phi2, r.e11, r.e22, r.e33}, "the elongation"); !s)
    return s.error();
  GrainElongation out;
  out.final = {r.phi1, r.Phi, r.phi2};
  out.e11 = r.e11;
  out.e22 = r.e22;
  out.e33 = r.e33;
  out.steps = r.steps;
  out.limitReached = r.limitReached;
  return out;
}

Result<TwinFractions> ComputeTwinFractions(const Texture& texture, const TwinTask& task) {
  const core::OrientationsRec& ctx = api::ContextOf(texture);
  if (texture.nodes < 1 || !special::HasODF(ctx))
    return Refusal("twin fractions are weighted by an ODF; the texture holds none");
  if (Status s = Finite({task.hkl[0], task.hkl[1], task.hkl[2], task.habitPlane[0],
                         task.habitPlane[1], task.habitPlane[2], task.shearDirection[0],
                         task.shearDirection[1], task.shearDirection[2], task.phiFrom, task.phiTo,
                         task.psiFrom, task.psiTo},
                        "a value of the twin task");
      !s)
    return s.error();
  if (task.hkl[0] == 0 && task.hkl[1] == 0 && task.hkl[2] == 0)
    return Refusal("the reflection 0 0 0 has no plane normal");
  if (task.habitPlane[0] == 0 && task.habitPlane[1] == 0 && task.habitPlane[2] == 0)
    return Refusal("the habit plane 0 0 0 has no normal");
  special::TwinTask t;
  t.hkl = core::Tensor1{{task.hkl[0], task.hkl[1], task.hkl[2]}};
  t.habitPlane = Vector(task.habitPlane);
  t.shearDirection = Vector(task.shearDirection);
  t.window[0] = task.phiFrom;
  t.window[1] = task.phiTo;
  t.window[2] = task.psiFrom;
  t.window[3] = task.psiTo;
  const special::TwinFractionResult r = special::TwinFractions(ctx, t);
  if (Status s = Finite({r.twinAngle, r.fraction, r.twinFraction}, "the twin fraction"); !s)
    return s.error();
  return TwinFractions{r.twinAngle, r.fraction, r.twinFraction};
}

}  // namespace polydec
