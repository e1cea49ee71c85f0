// The whole fit of single-crystal (and matrix) constants as one operation: cycles of
// Levenberg-Marquardt steps from the constants of the fit record, each cycle restarting the
// damping, until the caller stops them, then the closing step that leaves the covariance. The
// window and the command line differ only in how they show the steps and when they stop.
#pragma once

#include <functional>
#include <string>

#include "core/records.h"
#include "fit/fit_record.h"
#include "polydec/types.h"

namespace polydec::fit {

// State after an accepted or refused trial step of a cycle.
struct FitProgress {
  int cycle = 0;  // the running cycle, from 1
  int step = 0;   // the step within the cycle, from 0
  const FitRecord& rec;
};

struct FitCallbacks {
  // After each step (may be empty).
  std::function<void(const FitProgress&)> onStep;
  // After each completed cycle (cycles from 1): true runs another cycle. Without it the fit
  // ends after one cycle.
  std::function<bool(int cycles, const FitRecord& rec)> onCycle;
};

enum class FitStatus {
  kOk,
  kShapeRefused,  // the grain shape gives no Eshelby tensor; nothing was fitted
  kStopped,       // a step failed (the constants stay at the last accepted step, no
                  // covariance), or the data do not determine the fitted constants: no report
};

// Stiffness constants beyond this (GPa) belong to no crystal (diamond's C11 is about 1080 GPa):
// a fit that arrives there has run off towards a minimum of chi-square at infinite stiffness,
// which measured stress factors of zero produce.
inline constexpr core::Real kLargestFittedStiffness = 1e4L;

// Why the fitted constants of rec (after the closing step) are not a result: a constant or its
// uncertainty that is no finite number, or a constant beyond kLargestFittedStiffness; the
// message names them. Empty when the fit is sound.
std::string UndeterminedFitConstants(const FitRecord& rec);

struct FitOutcome {
  FitStatus status = FitStatus::kOk;
  std::string message;  // why the fit did not end normally
  int cycles = 0;       // completed cycles
  // Standard uncertainty of each parameter 1..42 in GPa, 0 for a fixed one. With it rec.covar
  // holds the covariance by parameter number and rec.crl the correlation of the fitted ones.
  core::FloatVec errors{};
};

// Fits the constants rec.a under the model `code`, starting from rec.a as it stands: ctx
// receives Lr and L of rec.a, its crystal set up and the Eshelby tensors of its grain shape;
// rec.MAXITER steps make a cycle. The caller checks the setup first (CheckFitSetup).
FitOutcome FitSingleCrystalConstants(core::OrientationsRec& ctx, FitRecord& rec, ModelCode code,
                                     const FitCallbacks& callbacks);

}  // namespace polydec::fit
