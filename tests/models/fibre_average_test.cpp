#include "models/fibre_average.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"
#include "texture/odf_fixtures.h"

namespace polydec::models {
namespace {

using core::CijklVector;
using core::Real;
using core::Tensor2;
using core::Tensor4;

constexpr Real kDeg = core::kDegToRad;

UntexturedInputs Phase(int cls) {
  UntexturedInputs in;
  CijklVector& v = in.cij;
  if (cls == 1) {  // ferrite
    v[1] = v[16] = v[21] = 237, v[4] = v[6] = v[18] = 141, v[7] = v[12] = v[19] = 116;
    in.cell[0] = in.cell[1] = in.cell[2] = 2.866L;
  } else {  // alpha-titanium, hexagonal
    v[1] = v[16] = 162.4L, v[4] = 92, v[6] = v[18] = 69, v[21] = 180.7L;
    v[12] = v[19] = 46.7L, v[7] = (162.4L - 92) / 2;
    in.cell[0] = in.cell[1] = 2.951L, in.cell[2] = 4.686L, in.cell[5] = 120;
  }
  in.crystalClass = static_cast<polydec::CrystalClass>(cls);
  in.E = 210;
  in.nu = 0.29L;
  return in;
}

core::OrientationsRec Context(int cls, Real h, Real k, Real l) {
  UntexturedInputs in = Phase(cls);
  in.hkl[0] = h, in.hkl[1] = k, in.hkl[2] = l;
  core::OrientationsRec ctx;
  EXPECT_EQ(BuildUntexturedContext(in, ctx), "");
  ctx.IIntervls = 10;
  return ctx;
}

TEST(FibreAverage, RotateTensor4MatchesTheEightfoldSum) {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = 3 + n * 1.5L;
  Tensor4 X;
  core::CijklToTensor(v, X);
  const Tensor2 A = FibreRotation(Context(1, 2, 1, 1), 0.7L);
  Tensor4 fast;
  RotateTensor4(X, A, fast);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) {
          Real s = 0;
          for (int p = 1; p <= 3; ++p)
            for (int q = 1; q <= 3; ++q)
              for (int r = 1; r <= 3; ++r)
                for (int t = 1; t <= 3; ++t)
                  s += A(i, p) * A(j, q) * A(k, r) * A(l, t) * X(p, q, r, t);
          EXPECT_NEAR(fast(i, j, k, l), s, 1e-15L * 40);
        }
}

TEST(FibreAverage, RotationSendsPlaneNormalOntoMeasurementDirection) {
  core::OrientationsRec ctx = Context(2, 1, 0, 2);
  ctx.SamplePolAngles = {30 * kDeg, 40 * kDeg};
  const Real pc = ctx.CrystPolAngles.phi, sc = ctx.CrystPolAngles.psi;
  const core::Tensor1 n{{std::cos(pc) * std::sin(sc), std::sin(pc) * std::sin(sc), std::cos(sc)}};
  for (Real lamda : {0.0L, 1.0L, 4.0L}) {
    const Tensor2 G = FibreRotation(ctx, lamda);
    core::Tensor1 m;
    core::MatVec3x3(G, n, m);
    EXPECT_NEAR(m(1), std::cos(30 * kDeg) * std::sin(40 * kDeg), 1e-17L);
    EXPECT_NEAR(m(2), std::sin(30 * kDeg) * std::sin(40 * kDeg), 1e-17L);
    EXPECT_NEAR(m(3), std::cos(40 * kDeg), 1e-17L);
  }
}

// Untextured Reuss: the fibre average gives F_kl = s1 d_kl + 1/2 s2 m_k m_l for every direction.
TEST(FibreAverage, UntexturedReussReproducesTheReflectionConstants) {
  struct Case {
    int cls;
    Real h, k, l;
  };
  for (const Case& c : {Case{1, 2, 1, 1}, Case{1, 3, 1, 0}, Case{2, 1, 0, 2}, Case{2, 1, 0, 1}}) {
    core::OrientationsRec ctx = Context(c.cls, c.h, c.k, c.l);
    CijklVector t21{};
    ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kReuss));
    const Real s1 = ctx.s1, s2 = ctx.s2;
    for (Real phi : {0, 35, 90, 200})
      for (Real psi : {0, 25, 60}) {
        ctx.SamplePolAngles = {phi * kDeg, psi * kDeg};
        ctx.IIntervls = 6;
        Tensor4 T;
        ASSERT_TRUE(AverageAlongFiber(ctx, T, kReuss));
        const Tensor2 F = StressFactorMatrix(T, phi * kDeg, psi * kDeg);
        const Real m[3] = {std::cos(phi * kDeg) * std::sin(psi * kDeg),
                           std::sin(phi * kDeg) * std::sin(psi * kDeg), std::cos(psi * kDeg)};
        for (int i = 1; i <= 3; ++i)
          for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(F(i, j), s1 * (i == j) + s2 * m[i - 1] * m[j - 1], 1e-14L)
                << c.h << c.k << c.l << " phi " << phi << " psi " << psi;
      }
  }
}

TEST(FibreAverage, UntexturedModelsAgreeWithTheReflectionPath) {
  // At psi = 0 the fibre average of every model gives F11 = F22 = s1, F33 - F11 = 1/2 s2.
  for (int code : {kVoigt, kReuss, kHill, kKroener, kInverseKroener}) {
    core::OrientationsRec ctx = Context(2, 1, 0, 3);
    CijklVector t21{};
    ASSERT_TRUE(CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code)));
    const Real s1 = ctx.s1, s2 = ctx.s2;
    ctx.SamplePolAngles = {0, 0};
    ctx.IIntervls = 12;
    Tensor4 T;
    ASSERT_TRUE(AverageAlongFiber(ctx, T, static_cast<polydec::ModelCode>(code)));
    const Tensor2 F = StressFactorMatrix(T, 0, 0);
    EXPECT_NEAR(F(1, 1), s1, 1e-9L) << ModelName(static_cast<polydec::ModelCode>(code));
    EXPECT_NEAR(F(2, 2), s1, 1e-9L) << ModelName(static_cast<polydec::ModelCode>(code));
    EXPECT_NEAR(F(3, 3) - F(1, 1), s2, 1e-9L) << ModelName(static_cast<polydec::ModelCode>(code));
  }
}

TEST(FibreAverage, MVoigtAveragesStiffnessOnTheFibreOnly) {
  // An isotropic crystal: nothing to average, MVoigt equals Voigt.
  UntexturedInputs iso = Phase(1);
  iso.crystalClass = static_cast<polydec::CrystalClass>(0);
  iso.cij = IsotropicStiffness(200, 0.3L);
  core::OrientationsRec ctx;
  ASSERT_EQ(BuildUntexturedContext(iso, ctx), "");
  ctx.IIntervls = 10;
  CijklVector t21{};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kMVoigt));
  EXPECT_NEAR(ctx.s1, -0.3L / 200, 1e-17L);
  EXPECT_NEAR(ctx.s2, 1.3L / 200, 1e-17L);
  // Unlike Voigt's, the MVoigt constants of an anisotropic crystal depend on the reflection.
  core::OrientationsRec a = Context(1, 2, 0, 0), b = Context(1, 2, 2, 2);
  ASSERT_TRUE(CalcReflectionDEC(a, t21, kMVoigt));
  ASSERT_TRUE(CalcReflectionDEC(b, t21, kMVoigt));
  EXPECT_TRUE(std::isfinite(a.s2) && std::isfinite(b.s2));
  EXPECT_GT(std::abs(a.s2 - b.s2), 1e-4L);
  EXPECT_LT(a.s1, 0);
}

// The ODF weights along the fibre are normalized by the pole density of the same fibre: where
// the grain tensor does not change along the fibre (an isotropic crystal) or the weights do
// not (a uniform ODF), the textured average is the untextured one; for an anisotropic crystal
// in a real texture it is not.
TEST(FibreAverage, OdfWeightsAreNormalizedByThePoleDensityOfTheFibre) {
  UntexturedInputs iso = Phase(1);
  iso.crystalClass = static_cast<polydec::CrystalClass>(0);
  iso.cij = IsotropicStiffness(200, 0.3L);
  iso.hkl[0] = 2, iso.hkl[1] = 1, iso.hkl[2] = 1;
  core::OrientationsRec isotropic;
  ASSERT_EQ(BuildUntexturedContext(iso, isotropic), "");
  isotropic.IIntervls = 10;
  struct Case {
    const char* name;
    core::OrientationsRec ctx;
    Real (*odf)(Real, Real, Real);
    bool same;
  };
  const Case cases[] = {
      {"isotropic crystal, textured", isotropic, texture_test::GeneralTexture, true},
      {"ferrite, uniform ODF", Context(1, 2, 1, 1), [](Real, Real, Real) { return 3.0L; }, true},
      {"ferrite, textured", Context(1, 2, 1, 1), texture_test::GeneralTexture, false},
  };
  for (const Case& c : cases)
    for (int code : {kVoigt, kReuss, kKroener}) {
      SCOPED_TRACE(::testing::Message()
                   << c.name << ", " << ModelName(static_cast<polydec::ModelCode>(code)));
      core::OrientationsRec plain = c.ctx, textured = c.ctx;
      plain.SamplePolAngles = textured.SamplePolAngles = {35 * kDeg, 50 * kDeg};
      texture_test::PutExpandedGrid(textured, c.odf);
      Tensor4 a, b;
      ASSERT_TRUE(AverageAlongFiber(plain, a, static_cast<polydec::ModelCode>(code)));
      ASSERT_TRUE(AverageAlongFiber(textured, b, static_cast<polydec::ModelCode>(code)));
      const Real F = StressFactorMatrix(a, 35 * kDeg, 50 * kDeg)(3, 3);
      const Real G = StressFactorMatrix(b, 35 * kDeg, 50 * kDeg)(3, 3);
      if (c.same || code == kVoigt) {
        // Rounding of the weighted sums (80-bit) and of the model's inversions.
        EXPECT_NEAR(G, F, 1e-14L * std::fabs(F));
      } else {
        EXPECT_GT(std::fabs(G - F), 1e-4L * std::fabs(F));
      }
    }
}

// The pole density's ODF samples weight the average of their own fibre only: samples of the
// same fibre give the average that looks the ODF up itself, samples of another direction or
// reflection, or at another count, are not used.
TEST(FibreAverage, OdfSamplesWeightOnlyTheirOwnFibre) {
  core::OrientationsRec ctx = Context(1, 2, 1, 1);
  texture_test::PutExpandedGrid(ctx, texture_test::GeneralTexture);
  ctx.SamplePolAngles = {35 * kDeg, 50 * kDeg};
  const auto samplesOf = [&](Real phi, Real psi, int n) {
    return texture::SampleFiber(ctx, n, psi, phi, ctx.CrystPolAngles.psi, ctx.CrystPolAngles.phi);
  };
  const texture::FiberSamples other = samplesOf(35 * kDeg, 60 * kDeg, 200);
  ASSERT_EQ(other.values.size(), 401u);
  struct Case {
    const char* name;
    texture::FiberSamples samples;
  };
  texture::FiberSamples wrongReflection = samplesOf(35 * kDeg, 50 * kDeg, 200);
  wrongReflection.theta += 0.1L;
  wrongReflection.values = other.values;
  texture::FiberSamples wrongDirection = other;
  texture::FiberSamples wrongCount = samplesOf(35 * kDeg, 50 * kDeg, 100);
  const Case cases[] = {
      {"another direction", wrongDirection},
      {"another reflection", wrongReflection},
      {"another count", wrongCount},
      {"its own fibre", samplesOf(35 * kDeg, 50 * kDeg, 200)},
  };
  for (int code : {kReuss, kKroener}) {
    Tensor4 looked;
    ASSERT_TRUE(AverageAlongFiber(ctx, looked, static_cast<polydec::ModelCode>(code)));
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message()
                   << c.name << ", " << ModelName(static_cast<polydec::ModelCode>(code)));
      Tensor4 given;
      ASSERT_TRUE(AverageAlongFiber(ctx, given, static_cast<polydec::ModelCode>(code), &c.samples));
      EXPECT_EQ(given.e, looked.e);
    }
  }
}

TEST(FibreAverage, UnknownCodesAndNoIntervals) {
  core::OrientationsRec ctx = Context(1, 2, 1, 1);
  Tensor4 out;
  out(1, 1, 1, 1) = 42;
  for (int code : {5, 12, 10, -1}) {
    EXPECT_FALSE(AverageAlongFiber(ctx, out, static_cast<polydec::ModelCode>(code)));
    EXPECT_FALSE(GrainModelTensor(ctx, out, static_cast<polydec::ModelCode>(code), 0));
  }
  EXPECT_EQ(out(1, 1, 1, 1), 42);
  ctx.IIntervls = 0;  // no intervals: the average leaves out as it was
  ASSERT_TRUE(AverageAlongFiber(ctx, out, kReuss));
  EXPECT_EQ(out(1, 1, 1, 1), 42);
}

}  // namespace
}  // namespace polydec::models
