// The Levenberg-Marquardt fit of single-crystal constants: synthetic stress factors computed by
// the models themselves from known constants are fitted back, the uncertainties mean what they
// say, the symmetry form holds after every step, and fits that cannot improve end with a
// reason instead of going round.
#include "fit/lm_fit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/tensor_inversion.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "fit/fit_input.h"
#include "core/text_fields.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/reflection_dec.h"
#include "models/symmetry_projection.h"
#include "models/untextured_context.h"
#include "support/stiffness.h"

namespace polydec::fit {
namespace {

using core::CijklVector;
using core::OrientationsRec;
using core::Real;

using test::Cubic;

CijklVector Hexagonal(Real c11, Real c12, Real c13, Real c33, Real c44) {
  CijklVector v{};
  v[1] = v[16] = c11;
  v[4] = c12;
  v[6] = v[18] = c13;
  v[21] = c33;
  v[12] = v[19] = c44;
  v[7] = (c11 - c12) / 2;
  return v;
}

struct Phase {
  const char* name;
  int sys;
  Real cell[6];
  CijklVector truth;
  Real E, nu;  // isotropic matrix
  std::vector<std::array<Real, 3>> reflections;
  std::vector<std::array<Real, 2>> directions;  // phi, psi in degrees
  std::vector<int> fitted;                      // parameter numbers in fit order
};

Phase Iron() {
  return {"iron",
          1,
          {2.8665L, 2.8665L, 2.8665L, 90, 90, 90},
          Cubic(231.4L, 134.7L, 116.4L),
          210,
          0.29L,
          {{2, 0, 0}, {3, 1, 0}, {4, 2, 0}, {1, 1, 0}, {2, 2, 2}},
          {{0, 0}, {0, 35}, {0, 55}, {30, 75}},
          {1, 4, 7}};
}

// The surrounding matrix fitted instead of the crystal: its two isotropic constants.
Phase IronMatrix() {
  Phase p = Iron();
  p.fitted = {22, 25};
  return p;
}

Phase Titanium() {
  return {"titanium",
          2,
          {2.9506L, 2.9506L, 4.6835L, 90, 90, 120},
          Hexagonal(162.4L, 92, 69, 180.7L, 46.7L),
          116,
          0.32L,
          {{1, 0, 0},
           {0, 0, 2},
           {1, 0, 1},
           {1, 0, 2},
           {1, 1, 0},
           {1, 0, 3},
           {1, 1, 2},
           {2, 0, 1},
           {0, 0, 4},
           {1, 0, 4}},
          {{0, 0}, {0, 60}},
          {1, 4, 6, 12, 21}};
}

// A calculation context and a fit record holding measured values that the model itself
// computed from the true constants, with Gaussian noise of standard deviation `noise` (in
// GPa^-1; the uncertainty given to the fit is the same, or 2e-5 for noise-free data).
struct Synthetic {
  OrientationsRec ctx;
  std::unique_ptr<FitRecord> rec = std::make_unique<FitRecord>();
};

// sample = 2 makes the matrix transversely isotropic (C3333 5 % up): its Eshelby tensor is
// integrated and every model value is a fibre average of grain tensors.
std::unique_ptr<Synthetic> MakeSynthetic(const Phase& phase, int code, Real noise, int sample = 0,
                                         std::uint64_t seed = 7) {
  auto s = std::make_unique<Synthetic>();
  OrientationsRec& ctx = s->ctx;
  FitRecord& rec = *s->rec;
  core::CrystalData& c = ctx.Cryst;
  c.a = phase.cell[0];
  c.b = phase.cell[1];
  c.c = phase.cell[2];
  c.alpha = phase.cell[3] * core::kDegToRad;
  c.beta = phase.cell[4] * core::kDegToRad;
  c.gamma = phase.cell[5] * core::kDegToRad;
  c.SYS = static_cast<polydec::CrystalClass>(phase.sys);
  c.AxisSetting = 1;
  crystal::InitCrystal(c);
  ctx.SYMMETRY = static_cast<polydec::SampleSymmetry>(sample);
  ctx.IIntervls = 10;
  ctx.AxisLength = {1, 1, 1};
  core::CijklToTensor(phase.truth, ctx.Lr);
  CijklVector matrix = models::IsotropicStiffness(phase.E, phase.nu);
  if (sample == 2) matrix[21] *= 1.05L;
  core::CijklToTensor(matrix, ctx.L);
  models::UpdateEshelby(ctx);

  for (int n = 1; n <= 21; ++n) {
    rec.a[n] = phase.truth[n];
    rec.a[21 + n] = matrix[n];
  }
  for (const auto& hkl : phase.reflections)
    for (const auto& dir : phase.directions) {
      const int i = ++rec.ndata;
      rec.hkl[i] = core::Tensor1{{hkl[0], hkl[1], hkl[2]}};
      rec.phi[i] = dir[0] * core::kDegToRad;
      rec.psi[i] = dir[1] * core::kDegToRad;
      rec.sig[i] = noise > 0 ? noise : 2e-5L;
    }
  std::mt19937_64 engine(seed);
  const auto uniform = [&engine] {
    return (static_cast<Real>(engine() >> 11) + 0.5L) / static_cast<Real>(std::uint64_t{1} << 53);
  };
  core::FloatVec dyda{};
  for (int i = 1; i <= rec.ndata; ++i) {
    const Real y =
        EvaluateFitPoint(i, ctx, rec, static_cast<polydec::ModelCode>(code), rec.a, dyda);
    // Box-Muller: a standard normal deviate from two uniform ones.
    const Real gauss = std::sqrt(-2 * std::log(uniform())) * std::cos(2 * core::kPi * uniform());
    rec.z[i] = y + noise * gauss;
  }
  for (std::size_t j = 0; j < phase.fitted.size(); ++j) rec.ia[j + 1] = phase.fitted[j];
  rec.mfit = static_cast<int>(phase.fitted.size());
  rec.MAXITER = 5;
  return s;
}

// Starting constants off by 10-20 %, one factor per fitted constant, in the class forms.
void StartOff(const OrientationsRec& ctx, FitRecord& rec) {
  const Real factors[] = {1.15L, 0.87L, 1.2L, 0.9L, 1.12L};
  for (int j = 1; j <= rec.mfit; ++j) rec.a[rec.ia[j]] *= factors[(j - 1) % 5];
  CijklVector crystal{}, matrix{};
  for (int n = 1; n <= 21; ++n) {
    crystal[n] = rec.a[n];
    matrix[n] = rec.a[21 + n];
  }
  for (int p = 1; p <= 21; ++p) {
    models::ProjectOnSymmetry(crystal, p, ctx.Cryst.SYS);
    models::ProjectOnSymmetry(matrix, p, ctx.SYMMETRY);
  }
  for (int n = 1; n <= 21; ++n) {
    rec.a[n] = crystal[n];
    rec.a[21 + n] = matrix[n];
  }
}

// Cycles of MAXITER steps as the fit command runs them, until a cycle lowers chi-square by
// less than a part in 10^9, then the closing step. `afterStep` sees the record after each step.
LMStepResult RunFit(OrientationsRec& ctx, FitRecord& rec, int code, int maxCycles = 8,
                    const std::function<void(const FitRecord&)>& afterStep = {}) {
  Real previous = -1;
  for (int cycle = 0; cycle < maxCycles; ++cycle) {
    rec.alamda = -1;
    for (int k = 0; k <= rec.MAXITER; ++k) {
      const LMStepResult r = LMStep(ctx, rec, static_cast<polydec::ModelCode>(code));
      if (r.error != kLMOk) return r;
      if (afterStep) afterStep(rec);
    }
    if (previous >= 0 && previous - rec.chisq <= 1e-9L * previous) break;
    previous = rec.chisq;
  }
  rec.alamda = 0;
  return LMStep(ctx, rec, static_cast<polydec::ModelCode>(code));
}

struct RecoveryCase {
  const char* label;
  Phase (*phase)();
  int code;
  Real noise;  // GPa^-1; 0 for exact data
  int sample = 0;
};

class SyntheticRecovery : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(SyntheticRecovery, FitsBackTheKnownConstantsWithinTheirErrors) {
  const RecoveryCase& t = GetParam();
  const Phase phase = t.phase();
  auto s = MakeSynthetic(phase, t.code, t.noise, t.sample);
  FitRecord& rec = *s->rec;
  const core::FloatVec truths = rec.a;
  StartOff(s->ctx, rec);

  int steps = 0;
  const LMStepResult r = RunFit(s->ctx, rec, t.code, 8, [&](const FitRecord& f) {
    ++steps;
    // Every step leaves the constants in the form of the crystal class.
    CijklVector v{};
    for (int n = 1; n <= 21; ++n) v[n] = f.a[n];
    CijklVector projected = v;
    for (int p = 1; p <= 21; ++p) models::ProjectOnSymmetry(projected, p, phase.sys);
    for (int n = 1; n <= 21; ++n) ASSERT_EQ(v[n], projected[n]) << "component " << n;
  });
  ASSERT_EQ(r.error, kLMOk) << r.message;
  EXPECT_GT(steps, 0);

  const int dof = rec.ndata - rec.mfit;
  for (int j = 1; j <= rec.mfit; ++j) {
    const int p = rec.ia[j];
    const Real error = ParameterError(rec, p);
    const Real truth = truths[p];
    EXPECT_GT(error, 0) << ParameterName(p);
    if (t.noise > 0) {
      // Three standard deviations: with the fixed noise every constant lies inside.
      EXPECT_LE(std::fabs(rec.a[p] - truth), 3 * error)
          << ParameterName(p) << " " << static_cast<double>(rec.a[p]);
      EXPECT_LT(error, 0.1L * truth) << ParameterName(p);
    } else {
      // Exact data: the minimum is the truth, to the convergence of the cycles.
      EXPECT_NEAR(rec.a[p], truth, 1e-6L * truth) << ParameterName(p);
    }
  }
  if (t.noise > 0) {
    // Noise of the stated size gives chi-square near the degrees of freedom (99 % band).
    EXPECT_GT(rec.chisq / dof, 0.25L);
    EXPECT_LT(rec.chisq / dof, 2.5L);
  }
  CorrelationMatrix(rec);
  for (int i = 1; i <= rec.mfit; ++i) {
    EXPECT_NEAR(rec.crl[i][i], 1, 1e-15L);
    for (int j = 1; j <= rec.mfit; ++j) {
      EXPECT_EQ(rec.crl[i][j], rec.crl[j][i]);
      EXPECT_LE(std::fabs(rec.crl[i][j]), 1 + 1e-15L);
    }
  }
  for (int p = 1; p <= kFitParameters; ++p)
    for (int q = 1; q <= kFitParameters; ++q) ASSERT_EQ(rec.covar[p][q], rec.covar[q][p]);
}

INSTANTIATE_TEST_SUITE_P(
    Models, SyntheticRecovery,
    ::testing::Values(RecoveryCase{"CubicReuss", Iron, models::kReuss, 2e-5L},
                      RecoveryCase{"CubicKroener", Iron, models::kKroener, 2e-5L},
                      RecoveryCase{"CubicKroenerExact", Iron, models::kKroener, 0},
                      RecoveryCase{"HexagonalReuss", Titanium, models::kReuss, 4e-5L},
                      RecoveryCase{"HexagonalKroener", Titanium, models::kKroener, 4e-5L},
                      RecoveryCase{"HexagonalKroenerExact", Titanium, models::kKroener, 0},
                      // Fibre averages: an anisotropic matrix, and a model that needs them.
                      RecoveryCase{"CubicKroenerTransverseMatrix", Iron, models::kKroener, 2e-5L,
                                   2},
                      RecoveryCase{"HexagonalMVoigt", Titanium, models::kMVoigt, 4e-5L},
                      RecoveryCase{"MatrixOfCubicKroener", IronMatrix, models::kKroener, 2e-5L}),
    [](const auto& p) { return std::string(p.param.label); });

// The uncertainty of a single fitted constant is the change that raises chi-square by one.
// The cubic C1212 stands for three tied shears, so a step of its component moves the constant
// by a third; the reported error must be that of the constant, not of the step variable.
TEST(LMFit, ErrorOfATiedConstantRaisesChiSquareByOne) {
  Phase phase = Iron();
  phase.fitted = {7};
  auto s = MakeSynthetic(phase, models::kReuss, 2e-5L);
  FitRecord& rec = *s->rec;
  ASSERT_EQ(RunFit(s->ctx, rec, models::kReuss).error, kLMOk);
  const Real sigma = ParameterError(rec, 7);
  const Real best = rec.chisq;

  core::FloatVec v = rec.a;
  v[7] = v[12] = v[19] = rec.a[7] + sigma;
  core::FloatMat alpha;
  core::FloatVec beta;
  Real moved = 0;
  LMCoefficients(s->ctx, rec, models::kReuss, v, alpha, beta, moved);
  // The model is nearly linear over one standard deviation: 2 % covers the curvature.
  EXPECT_NEAR(moved - best, 1, 0.02L);
}

// The stress factor is that of the measured direction: for a Reuss grain in an untextured
// sample F11 = s1 + 1/2 s2 m1^2 with m1 = cos(phi) sin(psi) and the DEC of the reflection.
TEST(LMFit, EvaluateFitPointGivesF11OfTheMeasuredDirection) {
  Phase phase = Titanium();
  phase.reflections = {{1, 0, 3}};
  phase.directions = {{30, 50}, {70, 20}};
  auto s = MakeSynthetic(phase, models::kReuss, 0);
  OrientationsRec ref = s->ctx;
  ref.hkl = core::Tensor1{{1, 0, 3}};
  CijklVector t21{};
  ASSERT_TRUE(models::CalcReflectionDEC(ref, t21, models::kReuss));
  const FitRecord& rec = *s->rec;
  for (int i = 1; i <= 2; ++i) {
    const Real m1 = std::cos(rec.phi[i]) * std::sin(rec.psi[i]);
    // Simpson's rule integrates the fibre average of a rotated tensor exactly: rounding only.
    EXPECT_NEAR(rec.z[i], ref.s1 + ref.s2 * m1 * m1, 1e-15L * std::fabs(ref.s2)) << i;
  }
}

// The fit evaluates an untextured sample with an isotropic matrix and spherical grains through
// the reflection's s1 and 1/2 s2; the fibre average of the grain tensors must give the same F11.
TEST(LMFit, UntexturedStressFactorEqualsTheFibreAverage) {
  Phase phase = Titanium();
  phase.reflections = {{1, 0, 3}, {1, 1, 2}};
  phase.directions = {{30, 50}, {-70, 20}};
  for (int code : {models::kReuss, models::kKroener, models::kInverseKroener, models::kHill}) {
    auto s = MakeSynthetic(phase, code, 0);
    const FitRecord& rec = *s->rec;
    for (int i = 1; i <= rec.ndata; ++i) {
      OrientationsRec ref = s->ctx;
      ref.InvSym = 10;
      ref.hkl = rec.hkl[i];
      ref.CrystPolAngles = crystal::HKLToPolarAngles(ref.Cryst, ref.hkl(1), ref.hkl(2), ref.hkl(3));
      ref.SamplePolAngles = {rec.phi[i], rec.psi[i]};
      core::Tensor4 T;
      ASSERT_TRUE(models::AverageAlongFiber(ref, T, static_cast<polydec::ModelCode>(code)));
      const Real f11 = models::StressFactorMatrix(T, rec.phi[i], rec.psi[i])(1, 1);
      // Rounding of the 21 summed fibre tensors and of the inversions.
      EXPECT_NEAR(rec.z[i], f11, 1e-14L * std::fabs(f11))
          << models::ModelName(static_cast<polydec::ModelCode>(code)) << " " << i;
    }
  }
}

// The derivatives leave the context with the tensors of the parameters, and the parameters in
// the symmetry form.
TEST(LMFit, EvaluateFitPointRestoresTheContext) {
  Phase phase = Iron();
  phase.fitted = {1, 4, 7, 22};
  auto s = MakeSynthetic(phase, models::kKroener, 0);
  FitRecord& rec = *s->rec;
  rec.a[16] += 3;  // not cubic: the evaluation restores the form
  core::FloatVec dyda{};
  // Point 6 is 310: a reflection whose stress factors depend on all three cubic constants.
  EvaluateFitPoint(6, s->ctx, rec, models::kKroener, rec.a, dyda);
  EXPECT_EQ(rec.a[1], rec.a[16]);
  EXPECT_EQ(rec.a[16], rec.a[21]);
  core::Tensor4 Lr, L;
  core::CijklToTensor(rec.a, Lr);
  CijklVector m{};
  for (int n = 1; n <= 21; ++n) m[n] = rec.a[21 + n];
  core::CijklToTensor(m, L);
  EXPECT_EQ(s->ctx.Lr, Lr);
  EXPECT_EQ(s->ctx.L, L);
  for (int p : phase.fitted) EXPECT_TRUE(std::isfinite(dyda[p]) && dyda[p] != 0) << p;
}

// A step that raises chi-square is refused: the parameters stay, the damping grows tenfold and
// chi-square keeps the accepted value.
TEST(LMFit, RejectedStepKeepsParameters) {
  const Phase phase = Iron();
  auto s = MakeSynthetic(phase, models::kReuss, 2e-5L);
  FitRecord& rec = *s->rec;
  StartOff(s->ctx, rec);
  rec.alamda = -1;
  ASSERT_EQ(LMStep(s->ctx, rec, models::kReuss).error, kLMOk);
  const core::FloatVec before = rec.a;
  const Real chisq = rec.chisq, alamda = rec.alamda;
  // A gradient a thousand times too long sends the trial far past the minimum.
  for (int j = 1; j <= rec.mfit; ++j) rec.beta[j] *= 1000;
  ASSERT_EQ(LMStep(s->ctx, rec, models::kReuss).error, kLMOk);
  EXPECT_EQ(rec.a, before);
  EXPECT_EQ(rec.alamda, alamda * 10);
  EXPECT_EQ(rec.chisq, chisq);
  core::Tensor4 Lr;
  core::CijklToTensor(before, Lr);
  EXPECT_EQ(s->ctx.Lr, Lr);
}

struct StopCase {
  const char* label;
  std::vector<int> fitted;
  int code;
  int error;
  const char* words;  // expected in the message
};

class FitThatCannotImprove : public ::testing::TestWithParam<StopCase> {};

TEST_P(FitThatCannotImprove, EndsWithAReason) {
  const StopCase& t = GetParam();
  Phase phase = Iron();
  phase.fitted = {1};
  auto s = MakeSynthetic(phase, models::kReuss, 2e-5L);
  FitRecord& rec = *s->rec;
  rec.mfit = static_cast<int>(t.fitted.size());
  for (std::size_t j = 0; j < t.fitted.size(); ++j) rec.ia[j + 1] = t.fitted[j];
  const core::FloatVec before = rec.a;
  const LMStepResult r = RunFit(s->ctx, rec, t.code);
  EXPECT_EQ(r.error, t.error) << r.message;
  EXPECT_NE(r.message.find(t.words), std::string::npos) << r.message;
  EXPECT_EQ(rec.a, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitThatCannotImprove,
    ::testing::Values(
        // The cubic class ties C2222 to C1111: the two cannot be told apart.
        StopCase{"TiedPair",
                 {1, 16},
                 models::kReuss,
                 kLMSingular,
                 "do not determine C2222 independently"},
        // The Reuss model does not use the matrix.
        StopCase{
            "UnusedMatrix", {1, 22}, models::kReuss, kLMSingular, "do not depend on matrix C1111"},
        // The cubic class clears C1112.
        StopCase{
            "VanishingComponent", {1, 2}, models::kKroener, kLMSingular, "do not depend on C1112"},
        StopCase{"AllFixed", {}, models::kReuss, kLMNothingToFit, "No constant"},
        // A position given twice leaves a gap: the list does not name every parameter once.
        StopCase{"RepeatedParameter",
                 {1, 1, 7},
                 models::kReuss,
                 kLMImproperPermutation2,
                 "Improper permutation in ia (2)."},
        StopCase{"UnknownParameter",
                 {1, 4, 43},
                 models::kReuss,
                 kLMImproperPermutation2,
                 "Improper permutation in ia (2)."}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(LMFit, CheckFitSetupNamesWhatIsMissing) {
  const Phase phase = Iron();
  auto s = MakeSynthetic(phase, models::kKroener, 2e-5L);
  FitRecord& rec = *s->rec;
  EXPECT_EQ(CheckFitSetup(s->ctx, rec, models::kKroener), "");
  EXPECT_NE(CheckFitSetup(s->ctx, rec, models::kVookWitt).find("Vook-Witt"), std::string::npos);
  s->ctx.IIntervls = 0;
  EXPECT_NE(CheckFitSetup(s->ctx, rec, models::kKroener).find("integration intervals"),
            std::string::npos);
  EXPECT_EQ(CheckFitSetup(s->ctx, rec, models::kVoigt), "");
  s->ctx.IIntervls = 10;
  rec.sig[3] = 0;
  EXPECT_NE(CheckFitSetup(s->ctx, rec, models::kKroener).find("Data point 3"), std::string::npos);
  rec.sig[3] = 1e-5L;
  rec.mfit = 0;
  EXPECT_NE(CheckFitSetup(s->ctx, rec, models::kKroener).find("nothing to fit"), std::string::npos);
  rec.mfit = 21;
  EXPECT_NE(CheckFitSetup(s->ctx, rec, models::kKroener).find("21 constants cannot be fitted"),
            std::string::npos);
  FitRecord empty;
  EXPECT_NE(CheckFitSetup(s->ctx, empty, models::kKroener).find("No fit input"), std::string::npos);
}

TEST(LMFit, SortCovarianceSpreadsOverParameterNumbers) {
  auto rec = std::make_unique<FitRecord>();
  core::FloatMat& c = rec->covar;
  // Fit order (4, 1, 7): a symmetric 3x3 covariance.
  const Real m[4][4] = {{0, 0, 0, 0}, {0, 4, 1, 2}, {0, 1, 9, 3}, {0, 2, 3, 16}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) c[i][j] = m[i][j];
  c[5][5] = 99;  // work entries beyond the fitted block are cleared
  rec->ia[1] = 4;
  rec->ia[2] = 1;
  rec->ia[3] = 7;
  SortCovariance(c, 8, rec->ia, 3);
  EXPECT_EQ(c[4][4], 4);
  EXPECT_EQ(c[1][1], 9);
  EXPECT_EQ(c[7][7], 16);
  EXPECT_EQ(c[1][4], 1);
  EXPECT_EQ(c[4][7], 2);
  EXPECT_EQ(c[1][7], 3);
  for (int i = 1; i <= 8; ++i)
    for (int j = 1; j <= 8; ++j) {
      EXPECT_EQ(c[i][j], c[j][i]);
      const bool fitted = (i == 1 || i == 4 || i == 7) && (j == 1 || j == 4 || j == 7);
      if (!fitted) {
        EXPECT_EQ(c[i][j], 0) << i << " " << j;
      }
    }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

TEST(LMFit, ReportShowsConstantsErrorsDataAndMatrices) {
  const Phase phase = Iron();
  auto s = MakeSynthetic(phase, models::kReuss, 2e-5L);
  FitRecord& rec = *s->rec;
  s->ctx.Name = "iron";
  StartOff(s->ctx, rec);
  ASSERT_EQ(RunFit(s->ctx, rec, models::kReuss).error, kLMOk);
  const std::string text = FitReportText(s->ctx, rec);
  const std::vector<std::string> lines = Lines(text);
  const std::size_t nd = static_cast<std::size_t>(rec.ndata);
  ASSERT_EQ(lines.size(), 6 + nd + 8 + 4 + 4);
  EXPECT_EQ(lines[0], "iron");
  EXPECT_EQ(lines[1].substr(0, 16), " C1111 \t C1112 \t");
  EXPECT_EQ(lines[2].substr(0, 6), core::FormatPadded(rec.a[1], 5, 1) + "\t");
  // 21 fields of 7 characters: C1111 carries its error, C1112 is fixed.
  ASSERT_EQ(lines[3].size(), 21u * 7);
  EXPECT_EQ(lines[3].substr(0, 7), core::FormatPadded(ParameterError(rec, 1), 7, 1));
  EXPECT_EQ(lines[3].substr(7, 7), " 0.0   ");
  EXPECT_EQ(lines[4], "Calculated and measured values (in GPa^-1)");
  EXPECT_EQ(lines[6].substr(0, 10), " 2\t 0\t 0\t\t");
  const std::string& chi = lines[6 + nd];
  ASSERT_EQ(chi.substr(0, 8), "Chisq : ");
  EXPECT_EQ(chi.size(), 8u + 23);
  EXPECT_NEAR(core::ParseNumber(chi.substr(8)).value, rec.chisq, 1e-14L * rec.chisq);
  EXPECT_EQ(lines[7 + nd].substr(0, 16), "Reduced Chisq : ");
  EXPECT_EQ(lines[8 + nd], "Macro-Constants : ");
  EXPECT_EQ(lines[11 + nd].size(), 21u * 7);
  EXPECT_EQ(lines[11 + nd].substr(0, 7), "   0.0 ");
  EXPECT_EQ(lines[12 + nd].substr(0, 5), "En = ");
  EXPECT_EQ(lines[13 + nd].substr(0, 6), "nu1 = ");
  EXPECT_EQ(lines[14 + nd], "Correlation-Matrix:");
  EXPECT_EQ(lines[15 + nd].substr(0, 6), " 1.00 ");
  EXPECT_EQ(lines[18 + nd], "Covariance-Matrix (GPa^2): C1111 C1122 C1212");
  // The covariance shown is symmetric and its diagonal gives the errors.
  const auto entry = [&](int i, int j) {
    return core::ParseNumber(
               core::GetWord(lines[18 + nd + static_cast<std::size_t>(i)], j))
        .value;
  };
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(entry(i, j), entry(j, i));
  EXPECT_NEAR(std::sqrt(entry(1, 1)), ParameterError(rec, 1), 1e-5L * ParameterError(rec, 1));
}

TEST(LMFit, ReducedChiSquareIsZeroWithoutDegreesOfFreedom) {
  Phase phase = Iron();
  phase.reflections = {{2, 0, 0}, {1, 1, 1}};
  phase.directions = {{0, 0}, {0, 60}};
  auto s = MakeSynthetic(phase, models::kReuss, 2e-5L);
  FitRecord& rec = *s->rec;
  rec.ndata = 3;  // three constants, three values
  ASSERT_EQ(RunFit(s->ctx, rec, models::kReuss, 2).error, kLMOk);
  const std::string text = FitReportText(s->ctx, rec);
  EXPECT_NE(text.find("\r\nReduced Chisq : 0\r\n"), std::string::npos);
}

TEST(LMFit, ReportsAreAppendedThroughATemporaryFile) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("polydec_lm_fit_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "a.dec.res").string();
  std::string error;
  ASSERT_TRUE(AppendFitReport(path, "first\r\n", error)) << error;
  ASSERT_TRUE(AppendFitReport(path, "second\r\n", error)) << error;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "first\r\nsecond\r\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  // A folder in place of the file: nothing is written, and the reason is given.
  EXPECT_FALSE(AppendFitReport(dir.string(), "x", error));
  EXPECT_NE(error.find(dir.string()), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace polydec::fit
