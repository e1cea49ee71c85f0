// Slip-system plasticity of the BCC crystal: the slip-system table, resolved shear stresses,
// the viscoplastic Taylor factor against the rate-insensitive (linear programming) one, grain
// stresses and single-slip steps.
#include "special/slip_systems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "core/linalg.h"
#include "core/voigt.h"
#include "models/untextured_context.h"
#include "support/stiffness.h"
#include "texture/orientation.h"

namespace polydec::special {
namespace {

using core::kDegToRad;

Tensor2 UnitTension() {
  Tensor2 s;
  s(1, 1) = 1;
  return s;
}

Tensor2 Orientation(Real phi1, Real Phi, Real phi2) {
  return texture::EulerToMatrix(phi1 * kDegToRad, Phi * kDegToRad, phi2 * kDegToRad);
}

TEST(SlipSystemTable, SlipDirectionsLieInTheirPlanesAndTensorsHaveTheirSymmetry) {
  const SlipSystemSet set = BCCSlipSystemSet();
  for (int s = 1; s <= 12; ++s) {
    const SlipSystemRow& r = BCCSlipSystems()[static_cast<std::size_t>(s - 1)];
    EXPECT_NEAR(r.b(1) * r.n(1) + r.b(2) * r.n(2) + r.b(3) * r.n(3), 0, 1e-18) << s;
    EXPECT_NEAR(core::VectorNorm(r.b), 1, 1e-18) << s;
    EXPECT_NEAR(core::VectorNorm(r.n), 1, 1e-18) << s;
    const Tensor2& P = set.SchmidTensors[s];
    const Tensor2& W = set.RotationTensors[s];
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) {
        EXPECT_EQ(P(i, j), P(j, i));
        EXPECT_EQ(W(i, j), -W(j, i));
        // Together they give back the slip dyad b n.
        EXPECT_NEAR(P(i, j) + W(i, j), r.b(i) * r.n(j), 1e-18);
      }
  }
}

TEST(ResolvedShear, UniaxialStressAlongCubeAxis) {
  const SlipSystemSet set = BCCSlipSystemSet();
  const auto tau = ResolvedShearStresses(set.SchmidTensors, 12, UnitTension());
  for (int s = 1; s <= 12; ++s)
    EXPECT_NEAR(std::fabs(tau[s]), s >= 3 && s <= 10 ? 1 / std::sqrt(6.0L) : 0, 1e-18) << s;
  const LargestShear l = LargestResolvedShear(tau, 12);
  EXPECT_NEAR(l.value, 1 / std::sqrt(6.0L), 1e-18);
  EXPECT_EQ(l.system, 3);
  // No stress, no system.
  EXPECT_EQ(
      LargestResolvedShear(ResolvedShearStresses(set.SchmidTensors, 12, Tensor2{}), 12).system, 0);
  // Systems loaded equally by symmetry keep the first, even when rounding of the grain stress
  // makes a later one larger in the last bits; a real difference still wins.
  std::array<Real, 49> noisy = tau;
  noisy[5] = std::fabs(noisy[3]) * (1 + 4 * std::numeric_limits<Real>::epsilon());
  EXPECT_EQ(LargestResolvedShear(noisy, 12).system, 3);
  noisy[5] = std::fabs(noisy[3]) * (1 + 1e-9L);
  EXPECT_EQ(LargestResolvedShear(noisy, 12).system, 5);
}

TEST(ViscoplasticMatrix, MapsAStressOntoTheStrainRateOfItsSlipRates) {
  SlipSystemSet set = BCCSlipSystemSet();
  set.CriticalShearStress[4] = 1.3L;  // one harder system, so the weights differ
  const Vector5 s = {0.3L, -0.7L, 0.2L, -0.4L, 0.9L};
  Tensor2 sigma;
  sigma(1, 1) = s[0];
  sigma(2, 2) = s[1];
  sigma(3, 3) = -s[0] - s[1];
  sigma(2, 3) = sigma(3, 2) = s[2] / 2;
  sigma(1, 3) = sigma(3, 1) = s[3] / 2;
  sigma(1, 2) = sigma(2, 1) = s[4] / 2;
  const auto tau = ResolvedShearStresses(set.SchmidTensors, 12, sigma);
  const Real n = 5;
  std::array<Real, 49> rate{};
  for (int t = 1; t <= 12; ++t) {
    const Real tc = set.CriticalShearStress[t];
    rate[t] = std::pow(std::fabs(tau[t] / tc), n - 1) / std::pow(tc, n) * tau[t];
  }
  const Tensor2 D = SumSlipTensors(set.SchmidTensors, 12, rate);
  const Matrix5 A = ViscoplasticMatrix(set, tau, n);
  const Real d[5] = {D(1, 1), D(2, 2), D(2, 3), D(1, 3), D(1, 2)};
  for (int a = 0; a < 5; ++a) {
    Real As = 0;
    for (int b = 0; b < 5; ++b) As += A[a][b] * s[b];
    EXPECT_NEAR(As, d[a], 1e-15) << a;
  }
}

// The rate-insensitive Taylor factor: the least total slip sum |gamma_s| that produces D. The
// optimum of this linear programme sits at a vertex, five active systems, so trying every
// choice of five systems finds it.
Real MinimumSlip(const Tensor2& Dc) {
  const SlipSystemSet set = BCCSlipSystemSet();
  const Real d[5] = {Dc(1, 1), Dc(2, 2), Dc(2, 3), Dc(1, 3), Dc(1, 2)};
  Real best = INFINITY;
  int pick[5];
  for (pick[0] = 1; pick[0] <= 12; ++pick[0])
    for (pick[1] = pick[0] + 1; pick[1] <= 12; ++pick[1])
      for (pick[2] = pick[1] + 1; pick[2] <= 12; ++pick[2])
        for (pick[3] = pick[2] + 1; pick[3] <= 12; ++pick[3])
          for (pick[4] = pick[3] + 1; pick[4] <= 12; ++pick[4]) {
            Real a[5][6];
            for (int r = 0; r < 5; ++r) {
              for (int c = 0; c < 5; ++c) {
                const Tensor2& P = set.SchmidTensors[pick[c]];
                const Real q[5] = {P(1, 1), P(2, 2), P(2, 3), P(1, 3), P(1, 2)};
                a[r][c] = q[r];
              }
              a[r][5] = d[r];
            }
            bool singular = false;
            for (int k = 0; k < 5 && !singular; ++k) {
              int p = k;
              for (int i = k + 1; i < 5; ++i)
                if (std::fabs(a[i][k]) > std::fabs(a[p][k])) p = i;
              if (std::fabs(a[p][k]) < 1e-9) {
                singular = true;
                break;
              }
              for (int j = 0; j < 6; ++j) std::swap(a[p][j], a[k][j]);
              for (int i = 0; i < 5; ++i) {
                if (i == k) continue;
                const Real f = a[i][k] / a[k][k];
                for (int j = 0; j < 6; ++j) a[i][j] -= f * a[k][j];
              }
            }
            if (singular) continue;
            Real sum = 0;
            for (int k = 0; k < 5; ++k) sum += std::fabs(a[k][5] / a[k][k]);
            best = std::min(best, sum);
          }
  return best;
}

struct TaylorCase {
  const char* name;
  Real phi1, Phi, phi2, ratio;
};

class RateSensitiveTaylor : public ::testing::TestWithParam<TaylorCase> {};

// At n = 65 the viscoplastic stress is close to the Bishop-Hill vertex stress, and the total
// slip rate to the least slip of the rate-insensitive crystal: within 2%.
TEST_P(RateSensitiveTaylor, AgreesWithTheLeastSlipOfLinearProgramming) {
  const TaylorCase& c = GetParam();
  const SlipSystemSet set = BCCSlipSystemSet();
  const Tensor2 g = Orientation(c.phi1, c.Phi, c.phi2);
  const TaylorResult r = TaylorFactorAtRatio(set, g, c.ratio, 0.1L);
  ASSERT_TRUE(r.ok);
  Tensor2 Dc;
  core::RotateTensor2(g, UniaxialStrainRate(c.ratio, 1), Dc);
  const Real lp = MinimumSlip(Dc);
  EXPECT_NEAR(r.factor, lp, 0.02 * lp) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Orientations, RateSensitiveTaylor,
                         ::testing::Values(TaylorCase{"cube, axisymmetric", 0, 0, 0, 0.5L},
                                           TaylorCase{"cube, plane strain", 0, 0, 0, 0.0L},
                                           TaylorCase{"Goss, axisymmetric", 0, 45, 0, 0.5L},
                                           TaylorCase{"Goss, x = 0.8", 0, 45, 0, 0.8L},
                                           TaylorCase{"general 1", 17, 33, 71, 0.5L},
                                           TaylorCase{"general 2", 123, 61, 8, 0.3L},
                                           TaylorCase{"general 3", 250, 142, 299, 0.65L}),
                         [](const ::testing::TestParamInfo<TaylorCase>& p) {
                           return "case" + std::to_string(p.index);
                         });

TEST(RateSensitiveTaylorFactor, RandomTextureUnderAxisymmetricTension) {
  // Uniform random orientations: phi1, phi2 uniform, cos Phi uniform. 300 grains put the
  // standard error of the mean near 0.5%.
  std::mt19937 rng(20261210);
  std::uniform_real_distribution<double> u(0, 1);
  const SlipSystemSet set = BCCSlipSystemSet();
  Real sum = 0;
  const int n = 300;
  for (int k = 0; k < n; ++k) {
    const Real phi1 = 2 * core::kPi * u(rng), Phi = std::acos(1 - 2 * u(rng)),
               phi2 = 2 * core::kPi * u(rng);
    const TaylorResult r =
        TaylorFactorAtRatio(set, texture::EulerToMatrix(phi1, Phi, phi2), 0.5L, 0.1L);
    ASSERT_TRUE(r.ok);
    sum += r.factor;
  }
  EXPECT_NEAR(sum / n, 3.07, 0.02 * 3.07);
}

TEST(RateSensitiveTaylorFactor, ReturnsTheSmallestFactorWithItsOwnRatio) {
  const SlipSystemSet set = BCCSlipSystemSet();
  for (const auto& angles : {std::array<Real, 3>{0, 45, 0}, std::array<Real, 3>{30, 20, 10}}) {
    const Tensor2 g = Orientation(angles[0], angles[1], angles[2]);
    const TaylorResult r = RateSensitiveTaylorFactor(set, g, 0.1L);
    ASSERT_TRUE(r.ok);
    const TaylorResult same = TaylorFactorAtRatio(set, g, r.ratio, 0.1L);
    EXPECT_NEAR(r.factor, same.factor, 1e-12);
    EXPECT_LE(r.factor, TaylorFactorAtRatio(set, g, 0.05L, 0.1L).factor);
    if (r.ratio < 0.99L) {
      EXPECT_LE(r.factor, TaylorFactorAtRatio(set, g, r.ratio + 0.05L, 0.1L).factor);
    }
  }
}

TEST(UniaxialStrainRate, IsTraceless) {
  const Tensor2 D = UniaxialStrainRate(0.3L, 2);
  EXPECT_EQ(D(1, 1), 2);
  EXPECT_EQ(D(2, 2), -0.6L);
  EXPECT_NEAR(D(1, 1) + D(2, 2) + D(3, 3), 0, 1e-18);
}

TEST(GrainStress, CrystalAxesAndSelfConsistentModels) {
  // An isotropic crystal in a matrix of its own stiffness carries the applied stress.
  models::UntexturedInputs in;
  in.cij = test::Cubic(250, 100, 75);  // C44 = (C11 - C12)/2: isotropic
  in.crystalClass = static_cast<polydec::CrystalClass>(1);
  const Real lambda = 100, mu = 75;
  in.E = mu * (3 * lambda + 2 * mu) / (lambda + mu);
  in.nu = lambda / (2 * (lambda + mu));
  core::OrientationsRec ctx;
  ASSERT_EQ(models::BuildUntexturedContext(in, ctx), "");
  const Real a1 = 0.3L, a = 0.9L, a2 = 1.7L;
  Tensor2 sigma = UnitTension();
  sigma(1, 2) = sigma(2, 1) = 0.25L;
  for (int mode : {3, 4}) {
    Tensor2 out;
    ASSERT_TRUE(GrainStress(ctx, mode, sigma, out, a1, a, a2));
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(out.e[k], sigma.e[k], 1e-12) << mode;
  }
  Tensor2 c, expected;
  ASSERT_TRUE(GrainStress(ctx, 2, sigma, c, a1, a, a2));
  core::RotateTensor2(texture::EulerToMatrix(a1, a, a2), sigma, expected);
  EXPECT_EQ(c, expected);
  Tensor2 untouched;
  untouched(1, 1) = 7;
  EXPECT_FALSE(GrainStress(ctx, 5, sigma, untouched, a1, a, a2));
  EXPECT_EQ(untouched(1, 1), 7);
}

TEST(SingleSlipStep, TurnsTheSlipDirectionTowardsTheTensileAxisByAProperRotation) {
  SlipSystemSet set = BCCSlipSystemSet();
  const Tensor2 g = Orientation(10, 30, 20);
  const auto tau = ResolvedShearStresses(set.SchmidTensors, 12, [&] {
    Tensor2 s;
    core::RotateTensor2(g, UnitTension(), s);
    return s;
  }());
  const int active = LargestResolvedShear(tau, 12).system;
  ASSERT_GT(active, 0);
  // Slip direction (in the sense of its shear) in sample axes: b_s = g^T b_c.
  const auto along = [&](const Tensor2& gg) {
    const Tensor1& b = BCCSlipSystems()[static_cast<std::size_t>(active - 1)].b;
    Real x = 0;
    for (int i = 1; i <= 3; ++i) x += gg(i, 1) * b(i);
    return std::fabs(x);
  };
  Tensor2 gNext, E;
  SingleSlipStep(UnitTension(), set, g, gNext, E, 0.01L, 1);
  EXPECT_GT(along(gNext), along(g));
  Tensor2 gT, I;
  core::Transpose3x3(gNext, gT);
  core::MatMul3x3(gNext, gT, I);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(I(i, j), i == j ? 1 : 0, 1e-17);
  EXPECT_NEAR(core::Determinant3x3(gNext), 1, 1e-17);
  EXPECT_GT(E(1, 1), 0);
  EXPECT_NEAR(E(1, 1) + E(2, 2) + E(3, 3), 0, 1e-17);
}

}  // namespace
}  // namespace polydec::special
