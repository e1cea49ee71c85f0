#include "stress/stress_fit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace polydec::stress {
namespace {

constexpr Real kDeg = core::kDegToRad;

// Measurements of a known stress in several directions, strains computed exactly.
FitData Synthetic(const std::array<Real, 8>& truth, Real s1, Real s2half, int ma) {
  FitData d;
  for (Real phi : {0, 45, 90, 135, 180, 270})
    for (Real psi : {0, 20, 35, 50, 65}) {
      const Tensor2 T = IsoStressFactors(s1, s2half, phi * kDeg, psi * kDeg);
      const auto f = StressFitBasis(T, 1);
      Real eps = 0;
      for (int k = 1; k <= ma; ++k) eps += truth[k] * f[k];
      d.T.push_back(T);
      d.x.push_back(1);
      d.y.push_back(eps);
      d.s.push_back(1e-5L);
    }
  return d;
}

TEST(StressFit, IsoStressFactorsFollowTheStrainLaw) {
  const Real s1 = -1.25e-6L, s2 = 5.8e-6L;
  const Tensor2 zero = IsoStressFactors(s1, s2, 0, 0);
  EXPECT_EQ(zero(1, 1), s1);
  EXPECT_EQ(zero(2, 2), s1);
  EXPECT_EQ(zero(3, 3), s1 + s2);
  EXPECT_EQ(zero(1, 2), 0);
  EXPECT_NEAR(zero(1, 3), 0, 1e-30L);
  // For any direction: T:sig = s1 tr(sig) + 1/2 s2 n.sig.n with shear entries counted once.
  const Real phi = 33 * kDeg, psi = 51 * kDeg;
  const Tensor2 T = IsoStressFactors(s1, s2, phi, psi);
  const Real n[3] = {std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi), std::cos(psi)};
  const Real sig[3][3] = {{100, 20, -5}, {20, -40, 12}, {-5, 12, 60}};
  Real nsn = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) nsn += n[i] * sig[i][j] * n[j];
  const Real expected = s1 * (100 - 40 + 60) + s2 * nsn;
  const Real got =
      T(1, 1) * 100 + T(2, 2) * -40 + T(3, 3) * 60 + T(2, 3) * 12 + T(1, 3) * -5 + T(1, 2) * 20;
  EXPECT_NEAR(got, expected, 1e-20L);
}

TEST(StressFit, RecoversAKnownStressWithFreeAndFixedComponents) {
  const std::array<Real, 8> truth = {0, 250, -80, 30, 12, -7, 45, 0};
  const FitData d = Synthetic(truth, -1.25e-6L, 5.8e-6L, 6);
  FitWork work;
  std::array<Real, 8> a{};
  std::array<int, 8> ia = {0, 1, 2, 3, 4, 5, 6, 7};
  const Real chisq = SvdFit(d, 6, 6, ia, a, work);
  for (int k = 1; k <= 6; ++k) EXPECT_NEAR(a[k], truth[k], 1e-9L) << k;
  EXPECT_LT(chisq, 1e-20L);
  const FitMatrix cvm = SvdCovariance(work, 6);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_GT(cvm[i][i], 0);
    for (int j = 1; j <= 6; ++j) EXPECT_EQ(cvm[i][j], cvm[j][i]);
  }
  EXPECT_EQ(cvm[7][7], 0);

  // sig33 fixed at a wrong value: the fixed value stays and moves the others.
  std::array<Real, 8> b{};
  b[3] = 0;
  const std::array<int, 8> fixed33 = {0, 1, 2, 4, 5, 6, 3, 7};
  SvdFit(d, 5, 6, fixed33, b, work);
  EXPECT_EQ(b[3], 0);
  EXPECT_GT(std::abs(b[1] - truth[1]), 1);
  b[3] = truth[3];
  SvdFit(d, 5, 6, fixed33, b, work);
  for (int k = 1; k <= 6; ++k) EXPECT_NEAR(b[k], truth[k], 1e-9L) << k;
}

TEST(StressFit, ConstantTermIsFittedWithSpacings) {
  // d = d0 + d0 T:sig, the constant a7 = d0.
  const Real d0 = 1.1702L;
  FitData d;
  const std::array<Real, 8> truth = {0, 300, 100, 0, 0, 0, 0, d0};
  for (Real psi : {0, 18, 27, 33, 39, 45, 52, 60})
    for (Real phi : {0, 90}) {
      const Tensor2 T = IsoStressFactors(-1.27e-6L, 5.8e-6L, phi * kDeg, psi * kDeg);
      const auto f = StressFitBasis(T, d0);
      Real y = 0;
      for (int k = 1; k <= 7; ++k) y += truth[k] * f[k];
      d.T.push_back(T), d.x.push_back(d0), d.y.push_back(y), d.s.push_back(1e-5L);
    }
  FitWork work;
  std::array<Real, 8> a{};
  // sig33 and the shears fixed at 0: with sig33 free, d0 and the hydrostatic stress would be
  // inseparable (both shift d equally in every direction).
  const std::array<int, 8> ia = {0, 1, 2, 7, 3, 4, 5, 6};
  SvdFit(d, 3, 7, ia, a, work);
  EXPECT_NEAR(a[7], d0, 1e-12L);
  EXPECT_NEAR(a[1], 300, 1e-5L);
  EXPECT_NEAR(a[2], 100, 1e-5L);
}

TEST(StressFit, IsotropicFactorsDetermineOnlyTheTrace) {
  // 1/2 s2 = 0: T = s1 I, only sig11 + sig22 + sig33 is determined; the least-norm solution
  // shares it equally and leaves the shears at zero.
  const std::array<Real, 8> truth = {0, 90, 30, 0, 0, 0, 0, 0};
  const FitData d = Synthetic(truth, -1.3e-6L, 0, 6);
  FitWork work;
  std::array<Real, 8> a{};
  const std::array<int, 8> ia = {0, 1, 2, 3, 4, 5, 6, 7};
  SvdFit(d, 6, 6, ia, a, work);
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(a[k], 40, 1e-8L) << k;
  for (int k = 4; k <= 6; ++k) EXPECT_NEAR(a[k], 0, 1e-8L) << k;
}

TEST(StressFit, AllFixedOnlyEvaluatesChiSquare) {
  const std::array<Real, 8> truth = {0, 10, 0, 0, 0, 0, 0, 0};
  const FitData d = Synthetic(truth, -1.3e-6L, 5.8e-6L, 6);
  std::array<Real, 8> a = {0, 11, 0, 0, 0, 0, 0, 0};
  FitWork work;
  const Real chisq = SvdFit(d, 0, 6, {0, 1, 2, 3, 4, 5, 6, 7}, a, work);
  EXPECT_EQ(a[1], 11);
  Real expected = 0;
  for (std::size_t i = 0; i < d.y.size(); ++i) {
    const Real r = (d.y[i] - 11 * d.T[i](1, 1)) / d.s[i];
    expected += r * r;
  }
  EXPECT_NEAR(chisq, expected, expected * 1e-12L);
}

}  // namespace
}  // namespace polydec::stress
