// The default integration intervals on a sharp texture: a Goss component {110}<001> of 9 degrees
// half width at half maximum (the ODF falls to half its peak 9 degrees away from the Goss
// orientation) on a faint uniform background, cubic crystal and orthorhombic sample, on the
// 5-degree grid. Both the fibre averages of the stress factors and the Euler-space Voigt
// stiffness are compared with runs at many more intervals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>
#include <vector>

#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "models/stress_factors.h"
#include "models/untextured_context.h"
#include "support/stiffness.h"
#include "texture/odf_fixtures.h"

namespace polydec::models {
namespace {

using texture_test::Matrix3;

Matrix3 Product(const Matrix3& a, const Matrix3& b) {
  Matrix3 m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) m.g[i][j] += a.g[i][k] * b.g[k][j];
  return m;
}

// The Goss orientation (turned by `turn` degrees about the sample z axis) and its equivalents
// C g S under the 24 proper rotations of the cube and the 4 of the orthorhombic sample (with
// `orthorhombic`, else the identity alone: a texture without sample symmetry).
std::vector<Matrix3> GossEquivalents(Real turn = 0, bool orthorhombic = true) {
  std::vector<Matrix3> crystal;
  const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const auto& p : perms)
    for (int signs = 0; signs < 8; ++signs) {
      Matrix3 m{};
      for (int i = 0; i < 3; ++i) m.g[i][p[i]] = (signs >> i & 1) ? -1 : 1;
      const Real det = m.g[0][0] * (m.g[1][1] * m.g[2][2] - m.g[1][2] * m.g[2][1]) -
                       m.g[0][1] * (m.g[1][0] * m.g[2][2] - m.g[1][2] * m.g[2][0]) +
                       m.g[0][2] * (m.g[1][0] * m.g[2][1] - m.g[1][1] * m.g[2][0]);
      if (det > 0) crystal.push_back(m);
    }
  const Real sample[4][3] = {{1, 1, 1}, {-1, -1, 1}, {1, -1, -1}, {-1, 1, -1}};
  // A turn of the sample by phi1 = turn: g = g(0, 45, 0) g(turn, 0, 0).
  const Matrix3 goss =
      Product(texture_test::BungeMatrix(0, 45, 0), texture_test::BungeMatrix(turn, 0, 0));
  std::vector<Matrix3> out;
  for (const Matrix3& c : crystal)
    for (const auto& s : orthorhombic ? std::span(sample) : std::span(sample).first(1)) {
      Matrix3 S{};
      for (int i = 0; i < 3; ++i) S.g[i][i] = s[i];
      out.push_back(Product(Product(c, goss), S));
    }
  return out;
}

// exp(kappa (cos w - 1)) in the misorientation w from each equivalent, half at w = 9 degrees.
Real ComponentTexture(const std::vector<Matrix3>& equivalents, Real a1, Real a, Real a2) {
  static const Real kappa = std::log(2.0L) / (1 - std::cos(9 * core::kPi / 180));
  const Matrix3 g = texture_test::BungeMatrix(a1, a, a2);
  Real f = 0.002L;
  for (const Matrix3& h : equivalents) {
    Real trace = 0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) trace += g.g[i][j] * h.g[i][j];
    f += std::exp(kappa * ((trace - 1) / 2 - 1));
  }
  return f;
}

Real GossTexture(Real a1, Real a, Real a2) {
  static const std::vector<Matrix3> equivalents = GossEquivalents();
  return ComponentTexture(equivalents, a1, a, a2);
}

// The Goss component turned 20 degrees about the sample z axis, without sample symmetry.
Real TurnedGossTexture(Real a1, Real a, Real a2) {
  static const std::vector<Matrix3> equivalents = GossEquivalents(20, false);
  return ComponentTexture(equivalents, a1, a, a2);
}

core::OrientationsRec BuildGossPhase() {
  PhaseInputs in;
  core::CijklToTensor(test::Cubic(231.4L, 134.7L, 116.4L), in.crystal);
  core::CijklToTensor(IsotropicStiffness(210, 0.28L), in.matrix);
  in.crystalClass = static_cast<polydec::CrystalClass>(1);
  for (int i = 0; i < 3; ++i) in.cell[i] = 2.8665L;
  in.sampleSymmetry = core::kOrthorhombicSample;
  core::OrientationsRec ctx;
  EXPECT_EQ(BuildPhaseContext(in, ctx), "");
  texture_test::PutExpandedGrid(ctx, GossTexture);
  return ctx;
}

// Filling the grid is the slow part: once per run, copied for each calculator.
core::OrientationsRec GossPhase() {
  static const core::OrientationsRec phase = BuildGossPhase();
  return phase;
}

Real Largest(const core::Tensor4& T) {
  Real m = 0;
  for (Real x : T.e) m = std::max(m, std::fabs(x));
  return m;
}

TEST(DefaultIntervals, VoigtStiffnessOfASharpGossTextureWithinFiveInTenThousand) {
  const core::OrientationsRec ctx = GossPhase();
  core::Tensor4 atDefault = ctx.L, converged = ctx.L;
  ODFAverage(atDefault, ctx, kDefaultEulerIntervals, kStiffnessAverage);
  // N = 24 agrees with N = 72 to 2e-5 of the largest component on this texture.
  ODFAverage(converged, ctx, 24, kStiffnessAverage);
  Real worst = 0;
  for (std::size_t k = 0; k < converged.e.size(); ++k)
    worst = std::max(worst, std::fabs(atDefault.e[k] - converged.e[k]));
  EXPECT_LT(worst, 5e-4L * Largest(converged));
  // The texture matters at this strength: the stiffness is far from isotropic.
  EXPECT_GT(std::fabs(converged(1, 1, 1, 1) - converged(2, 2, 2, 2)), 0.1L * Largest(converged));
}

// Without sample symmetry the integral runs over the whole of Euler space: the default is
// then N = 24 (N = 12 erred by 4e-3 of the largest component on this texture).
TEST(DefaultIntervals, VoigtStiffnessWithoutSampleSymmetryWithinFiveInTenThousand) {
  core::OrientationsRec ctx = GossPhase();
  ctx.SYMMETRY = core::kTriclinicSample;
  texture_test::PutExpandedGrid(ctx, TurnedGossTexture);
  core::Tensor4 atDefault = ctx.L, coarse = ctx.L, converged = ctx.L;
  ODFAverage(atDefault, ctx,
             DefaultEulerIntervals(static_cast<polydec::SampleSymmetry>(ctx.SYMMETRY)),
             kStiffnessAverage);
  ODFAverage(coarse, ctx, kDefaultEulerIntervals, kStiffnessAverage);
  ODFAverage(converged, ctx, 48, kStiffnessAverage);
  Real worst = 0, worstCoarse = 0;
  for (std::size_t k = 0; k < converged.e.size(); ++k) {
    worst = std::max(worst, std::fabs(atDefault.e[k] - converged.e[k]));
    worstCoarse = std::max(worstCoarse, std::fabs(coarse.e[k] - converged.e[k]));
  }
  EXPECT_LT(worst, 5e-4L * Largest(converged));
  EXPECT_GT(worstCoarse, 5e-4L * Largest(converged));
  EXPECT_EQ(DefaultEulerIntervals(core::kOrthorhombicSample), kDefaultEulerIntervals);
}

// The self-consistent residual integrates with half the phase's count (N div 2): the default
// of the Kroener models is twice that of the averages, so that their residual is integrated as
// finely as the converged averages are (N = 12 for this orthorhombic sample). At the averages'
// own default the residual's N = 6 erred by more than the tolerance on this texture.
TEST(DefaultIntervals, KroenerResidualOfASharpGossTextureWithinFiveInTenThousand) {
  const auto residual = [](int intervals) {
    core::ORTN_Array list;
    list.push_back(std::make_unique<core::OrientationsRec>(GossPhase()));
    list[0]->IIntervls = intervals;
    // The trial stiffness: the isotropic matrix the rounds start from, far from the root.
    const core::Tensor4 L = list[0]->L;
    core::Tensor4 R;
    EXPECT_TRUE(KroenerResidual(L, list, R));
    return R;
  };
  const int atDefault = DefaultEulerIntervals(core::kOrthorhombicSample, kKroener);
  EXPECT_EQ(atDefault, 2 * kDefaultEulerIntervals);
  const core::Tensor4 fine = residual(2 * atDefault), def = residual(atDefault),
                      coarse = residual(kDefaultEulerIntervals);
  Real worst = 0, worstCoarse = 0;
  for (std::size_t k = 0; k < fine.e.size(); ++k) {
    worst = std::max(worst, std::fabs(def.e[k] - fine.e[k]));
    worstCoarse = std::max(worstCoarse, std::fabs(coarse.e[k] - fine.e[k]));
  }
  // The residual is a compliance; its error over the matrix compliance is about the relative
  // error of the stiffness it leads to (2.9e-4 at the default, 8.5e-3 at half of it).
  const Real compliance = Largest(GossPhase().M);
  EXPECT_LT(worst, 5e-4L * compliance);
  EXPECT_GT(worstCoarse, 5e-4L * compliance);
  EXPECT_EQ(DefaultEulerIntervals(core::kTriclinicSample, kInverseKroener),
            4 * kDefaultEulerIntervals);
  EXPECT_EQ(DefaultEulerIntervals(core::kTriclinicSample, kReuss), 2 * kDefaultEulerIntervals);
}

TEST(DefaultIntervals, StressFactorsOfASharpGossTextureWithinTwoInAThousand) {
  const std::array<Real, 3> reflections[] = {{2, 0, 0}, {2, 1, 1}, {2, 2, 0}, {3, 1, 0}, {2, 2, 2}};
  const Real directions[][2] = {{0, 0}, {0, 20}, {0, 45}, {0, 70}, {30, 30}, {90, 45}, {45, 60}};
  for (int code : {kReuss, kHill, kKroener, kInverseKroener}) {
    core::OrientationsRec atDefault = GossPhase(), converged = GossPhase();
    atDefault.IIntervls = kDefaultFibreIntervals;
    // 800 ODF points along the fibre, twice the default's (agrees with 2000 to 1e-5 of the
    // largest factor).
    converged.IIntervls = 400;
    StressFactorCalculator a(std::move(atDefault), true), b(std::move(converged), true);
    for (const auto& hkl : reflections)
      for (const auto& d : directions) {
        SCOPED_TRACE(::testing::Message()
                     << models::ModelName(static_cast<polydec::ModelCode>(code)) << " " << hkl[0]
                     << hkl[1] << hkl[2] << " at " << d[0] << ", " << d[1]);
        FactorMeasurement m;
        m.hkl = hkl;
        m.phi = d[0] * core::kPi / 180;
        m.psi = d[1] * core::kPi / 180;
        m.code = static_cast<polydec::ModelCode>(code);
        MeasurementFactors fa, fb;
        ASSERT_EQ(a.Compute(m, fa), "");
        ASSERT_EQ(b.Compute(m, fb), "");
        Real largest = 0, worst = 0;
        for (int i = 1; i <= 3; ++i)
          for (int j = 1; j <= 3; ++j) {
            largest = std::max(largest, std::fabs(fb.F(i, j)));
            worst = std::max(worst, std::fabs(fa.F(i, j) - fb.F(i, j)));
          }
        EXPECT_LT(worst, 2e-3L * largest);
      }
  }
}

}  // namespace
}  // namespace polydec::models
