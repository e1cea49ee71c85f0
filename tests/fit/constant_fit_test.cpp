#include "fit/constant_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "fit/fit_input.h"
#include "fit/lm_fit.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"

namespace polydec::fit {
namespace {

using core::Real;

// The shipped example: twelve F11 of iron from C11 = 231.4, C12 = 134.7, C44 = 116.4 GPa
// (Kroener, noise 0.02e-6/MPa), C11, C12 and C44 fitted from a start 10 to 15 % away.
struct Example {
  core::OrientationsRec ctx;
  FitRecord rec;
};

Example LoadExample() {
  Example e;
  core::InputError error;
  const std::optional<FitInput> in =
      ReadFitInputFile(POLYDEC_SOURCE_DIR "/examples/iron-kroener.dec", error);
  EXPECT_TRUE(in.has_value()) << error.Describe();
  if (in) ApplyFitInput(*in, "iron-kroener.dec", e.ctx, e.rec);
  e.ctx.IIntervls = 10;
  return e;
}

TEST(ConstantFit, CyclesUntilTheCallerStopsThenLeavesErrorsAndCorrelation) {
  Example e = LoadExample();
  FitRecord& rec = e.rec;
  std::vector<std::pair<int, int>> steps;  // (cycle, step)
  std::vector<Real> chisq;
  FitCallbacks callbacks;
  callbacks.onStep = [&](const FitProgress& p) { steps.emplace_back(p.cycle, p.step); };
  callbacks.onCycle = [&](int cycles, const FitRecord& r) {
    chisq.push_back(r.chisq);
    return cycles < 3;
  };
  const FitOutcome outcome = FitSingleCrystalConstants(e.ctx, rec, models::kKroener, callbacks);
  ASSERT_EQ(outcome.status, FitStatus::kOk) << outcome.message;
  EXPECT_EQ(outcome.cycles, 3);
  ASSERT_EQ(chisq.size(), 3u);
  // A step is kept only when it lowers chi-square.
  EXPECT_LE(chisq[1], chisq[0]);
  EXPECT_LE(chisq[2], chisq[1]);
  // Every cycle runs MAXITER steps numbered from 0.
  ASSERT_EQ(steps.size(), static_cast<std::size_t>(3 * rec.MAXITER));
  for (std::size_t n = 0; n < steps.size(); ++n) {
    EXPECT_EQ(steps[n].first, static_cast<int>(n) / rec.MAXITER + 1);
    EXPECT_EQ(steps[n].second, static_cast<int>(n) % rec.MAXITER);
  }

  const std::pair<int, Real> truths[] = {{1, 231.4L}, {4, 134.7L}, {7, 116.4L}};
  for (const auto& [p, truth] : truths) {
    EXPECT_GT(outcome.errors[p], 0) << ParameterName(p);
    EXPECT_EQ(outcome.errors[p], ParameterError(rec, p));
    EXPECT_LE(std::fabs(rec.a[p] - truth), 3 * outcome.errors[p]) << ParameterName(p);
  }
  for (int p : {2, 16, 22, 28}) EXPECT_EQ(outcome.errors[p], 0) << ParameterName(p);
  for (int i = 1; i <= rec.mfit; ++i) {
    EXPECT_NEAR(rec.crl[i][i], 1, 1e-15L);
    for (int j = 1; j <= rec.mfit; ++j) EXPECT_EQ(rec.crl[i][j], rec.crl[j][i]);
  }
}

TEST(ConstantFit, WithoutACycleCallbackOneCycleRuns) {
  Example e = LoadExample();
  const FitOutcome outcome = FitSingleCrystalConstants(e.ctx, e.rec, models::kReuss, {});
  ASSERT_EQ(outcome.status, FitStatus::kOk) << outcome.message;
  EXPECT_EQ(outcome.cycles, 1);
  EXPECT_GT(outcome.errors[1], 0);
}

TEST(ConstantFit, FailuresSayWhyAndLeaveNoErrors) {
  {
    // A grain shape without an Eshelby tensor: nothing is fitted.
    Example e = LoadExample();
    e.ctx.AxisLength = {1, 0, 1};
    const core::FloatVec start = e.rec.a;
    int calls = 0;
    FitCallbacks callbacks;
    callbacks.onStep = [&](const FitProgress&) { ++calls; };
    const FitOutcome outcome = FitSingleCrystalConstants(e.ctx, e.rec, models::kKroener, callbacks);
    EXPECT_EQ(outcome.status, FitStatus::kShapeRefused);
    EXPECT_EQ(outcome.message, models::CheckAxes(e.ctx.AxisLength));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(e.rec.a, start);
  }
  {
    // Under uniform strain the cubic shear does not show in these stress factors on its own:
    // the curvature matrix is singular and there is no covariance.
    Example e = LoadExample();
    const FitOutcome outcome = FitSingleCrystalConstants(e.ctx, e.rec, models::kVoigt, {});
    EXPECT_EQ(outcome.status, FitStatus::kStopped);
    EXPECT_NE(outcome.message.find("Singular curvature matrix"), std::string::npos)
        << outcome.message;
    for (int p = 1; p <= kFitParameters; ++p) EXPECT_EQ(outcome.errors[p], 0);
  }
}

}  // namespace
}  // namespace polydec::fit
