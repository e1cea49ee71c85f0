#include "fit/constant_fit.h"

#include <cmath>

#include "core/text_fields.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "fit/fit_input.h"
#include "fit/lm_fit.h"
#include "models/eshelby.h"

namespace polydec::fit {

namespace {

core::CijklVector Part(const core::FloatVec& a, int offset) {
  core::CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = a[offset + n];
  return v;
}

}  // namespace

std::string UndeterminedFitConstants(const FitRecord& rec) {
  std::string named;
  for (int j = 1; j <= rec.mfit; ++j) {
    const int p = rec.ia[j];
    const core::Real value = rec.a[p], error = ParameterError(rec, p);
    if (std::isfinite(value) && std::isfinite(error) && std::fabs(value) <= kLargestFittedStiffness)
      continue;
    named += (named.empty() ? "" : ", ") + ParameterName(p) + " = " + core::FormatGeneral(value) +
             " +/- " + core::FormatGeneral(error) + " GPa";
  }
  if (named.empty()) return "";
  return "the measured values do not determine the constants: the fit ran off to " + named +
         ", beyond the " + core::FormatGeneral(kLargestFittedStiffness) +
         " GPa of any crystal (are the measured stress factors zero?); no report was written";
}

FitOutcome FitSingleCrystalConstants(core::OrientationsRec& ctx, FitRecord& rec, ModelCode code,
                                     const FitCallbacks& callbacks) {
  FitOutcome outcome;
  core::CijklToTensor(Part(rec.a, 0), ctx.Lr);
  core::CijklToTensor(Part(rec.a, 21), ctx.L);
  crystal::InitCrystal(ctx.Cryst);
  if (!models::UpdateEshelby(ctx)) {
    outcome.status = FitStatus::kShapeRefused;
    outcome.message = models::CheckAxes(ctx.AxisLength);
    return outcome;
  }

  rec.Steps = 0;
  LMStepResult r;
  for (;;) {
    // A new cycle restarts the damping at 0.001.
    rec.alamda = -1;
    r = LMStep(ctx, rec, code);
    for (int k = 0; r.error == kLMOk;) {
      r = LMStep(ctx, rec, code);
      if (r.error != kLMOk) break;
      if (callbacks.onStep) callbacks.onStep(FitProgress{outcome.cycles + 1, k, rec});
      if (++k >= rec.MAXITER) break;
    }
    if (r.error != kLMOk) break;
    ++outcome.cycles;
    if (!callbacks.onCycle || !callbacks.onCycle(outcome.cycles, rec)) break;
  }
  if (r.error == kLMOk) {
    rec.alamda = 0;
    r = LMStep(ctx, rec, code);
  }
  if (r.error != kLMOk) {
    outcome.status = FitStatus::kStopped;
    outcome.message = r.message;
    return outcome;
  }
  CorrelationMatrix(rec);
  for (int p = 1; p <= kFitParameters; ++p) outcome.errors[p] = ParameterError(rec, p);
  if (std::string why = UndeterminedFitConstants(rec); !why.empty()) {
    outcome.status = FitStatus::kStopped;
    outcome.message = std::move(why);
  }
  return outcome;
}

}  // namespace polydec::fit
