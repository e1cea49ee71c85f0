// The classical per-azimuth evaluation: a known stress with shear comes back for every phi
// within the uncertainties, and azimuths that cannot determine a slope or a splitting say so.
#include "stress/per_azimuth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "stress/stress_fit.h"

namespace polydec::stress {
namespace {

const Real kS1 = -1.25L, kS2 = 5.8L, kD0 = 1.17004L;

// sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy (MPa): biaxial with shear.
const std::array<Real, 6> kSigma{250, -120, 0, 15, -35, 60};

StressMeasurement Row(int row, Real phi, Real psi, Real noise, Real sd = 2e-5L) {
  StressMeasurement m;
  m.label = "1";
  m.row = row;
  m.phi = phi;
  m.psi = psi;
  m.F = IsoStressFactors(kS1, kS2, phi * core::kPi / 180, psi * core::kPi / 180);
  const Real eps = m.F(1, 1) * kSigma[0] + m.F(2, 2) * kSigma[1] + m.F(3, 3) * kSigma[2] +
                   m.F(2, 3) * kSigma[3] + m.F(1, 3) * kSigma[4] + m.F(1, 2) * kSigma[5];
  m.d = kD0 * (1 + 1e-6L * eps) + noise;
  m.sd = sd;
  m.d0 = kD0;
  m.sd0 = 5e-5L;
  return m;
}

TEST(PerAzimuth, KnownStressWithShearComesBackForEveryPhi) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0, 2e-5);
  std::vector<StressMeasurement> rows;
  const Real phis[] = {0, 45, 90, 180};
  int r = 0;
  for (Real phi : phis)
    for (Real psi : {-60, -45, -30, -15, 0, 15, 30, 45, 60})
      rows.push_back(Row(++r, phi, psi, noise(rng)));
  const auto sets = EvaluatePerAzimuth(GroupDataSets(rows), false);
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_EQ(sets[0].azimuths.size(), 4u);
  int outside2 = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    const AzimuthResult& a = sets[0].azimuths[k];
    const Real p = phis[k] * core::kPi / 180;
    SCOPED_TRACE(phis[k]);
    const Real sigPhi = kSigma[0] * std::cos(p) * std::cos(p) + kSigma[5] * std::sin(2 * p) +
                        kSigma[1] * std::sin(p) * std::sin(p);
    const Real tau = kSigma[4] * std::cos(p) + kSigma[3] * std::sin(p);
    ASSERT_TRUE(a.determined) << a.note;
    ASSERT_TRUE(a.tau);
    EXPECT_EQ(a.points, 9);
    EXPECT_NEAR(a.s1, kS1, 1e-12L);
    EXPECT_NEAR(a.s2half, kS2, 1e-12L);
    // The uncertainties are those of the noise put in: within three of them, and only
    // occasionally beyond two.
    EXPECT_GT(a.sigmaErr, 1);
    EXPECT_LT(a.sigmaErr, 50);
    EXPECT_NEAR(a.sigma, sigPhi - kSigma[2], 3 * a.sigmaErr);
    EXPECT_NEAR(*a.tau, tau, 3 * *a.tauErr);
    outside2 += std::fabs(a.sigma - sigPhi) > 2 * a.sigmaErr;
    outside2 += std::fabs(*a.tau - tau) > 2 * *a.tauErr;
  }
  EXPECT_LE(outside2, 2);

  // Without noise the values are exact.
  rows.clear();
  for (Real psi : {-45, 0, 20, 45}) rows.push_back(Row(++r, 90, psi, 0));
  const AzimuthResult exact = EvaluatePerAzimuth(GroupDataSets(rows), false)[0].azimuths[0];
  EXPECT_NEAR(exact.sigma, kSigma[1], 1e-6L);
  EXPECT_NEAR(*exact.tau, kSigma[3], 1e-6L);
  EXPECT_LT(exact.chisq, 1e-12L);
}

// Two reflections in one data set at the same azimuth, each with its own s1, 1/2 s2 and d0:
// each reflection is its own regression and gives the stress exactly; one line through both
// (a mean s1, 1/2 s2 and the strains of two d0) gave a stress of neither.
TEST(PerAzimuth, ReflectionsOfOneDataSetAreNeverPooled) {
  struct Reflection {
    const char* hkl;
    Real s1, s2, d0;
  };
  const Reflection reflections[] = {{"2 1 1", -1.25L, 5.8L, 1.17004L},
                                    {"3 1 0", -1.55L, 6.7L, 0.90631L}};
  const Real sigmaXX = 300;
  std::vector<StressMeasurement> rows;
  int r = 0;
  for (Real psi : {Real{0}, 18.43L, 26.57L, 33.21L, 39.23L, Real{45}})
    for (const Reflection& x : reflections) {
      StressMeasurement m;
      m.label = "1";
      m.row = ++r;
      m.reflection = x.hkl;
      m.psi = psi;
      m.F = IsoStressFactors(x.s1, x.s2, 0, psi * core::kPi / 180);
      m.d0 = x.d0;
      m.d = x.d0 * (1 + 1e-6L * m.F(1, 1) * sigmaXX);
      m.sd = 1e-5L;
      m.sd0 = 5e-5L;
      rows.push_back(m);
    }
  const std::vector<AzimuthSet> sets = EvaluatePerAzimuth(GroupDataSets(rows), false);
  ASSERT_EQ(sets[0].azimuths.size(), 2u);
  EXPECT_TRUE(sets[0].severalReflections);
  for (std::size_t k = 0; k < 2; ++k) {
    const AzimuthResult& a = sets[0].azimuths[k];
    SCOPED_TRACE(reflections[k].hkl);
    ASSERT_TRUE(a.determined) << a.note;
    EXPECT_EQ(a.reflection, reflections[k].hkl);
    EXPECT_EQ(a.points, 6);
    EXPECT_NEAR(a.s2half, reflections[k].s2, 1e-12L);
    // Exact strains: rounding of the regression only.
    EXPECT_NEAR(a.sigma, sigmaXX, 1e-6L);
    EXPECT_LT(a.chisq, 1e-12L);
  }
  const std::vector<std::string> lines = PerAzimuthLines(sets);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[1].find("hkl=2 1 1  phi=0.00"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("hkl=3 1 0  phi=0.00"), std::string::npos) << lines[2];
}

TEST(PerAzimuth, WhatTooFewTiltsCannotDetermine) {
  {
    // One tilt: no slope.
    const auto a = EvaluatePerAzimuth(GroupDataSets({Row(1, 0, 30, 0), Row(2, 0, 30, 0)}), false)[0]
                       .azimuths[0];
    EXPECT_FALSE(a.determined);
    EXPECT_NE(a.note.find("no slope"), std::string::npos);
  }
  {
    // Two tilts: the slope, but sin 2psi cannot be told from sin^2 psi.
    const auto a =
        EvaluatePerAzimuth(GroupDataSets({Row(1, 0, 0, 0), Row(2, 0, 40, 0), Row(3, 0, 40, 0)}),
                           false)[0]
            .azimuths[0];
    ASSERT_TRUE(a.determined);
    EXPECT_FALSE(a.tau);
    EXPECT_NE(a.note.find("no tau"), std::string::npos);
  }
  {
    // A zero uncertainty would weight a point infinitely.
    const auto a =
        EvaluatePerAzimuth(GroupDataSets({Row(1, 0, 0, 0), Row(2, 0, 40, 0, 0)}), false)[0]
            .azimuths[0];
    EXPECT_FALSE(a.determined);
    EXPECT_NE(a.note.find("row 2"), std::string::npos);
  }
  {
    // A d0 in nm beside d in Angstrom: the slope would give ten times the stress.
    std::vector<StressMeasurement> rows = {Row(1, 0, 0, 0), Row(2, 0, 40, 0), Row(3, 0, 60, 0)};
    for (StressMeasurement& m : rows) m.d0 /= 10;
    const auto a = EvaluatePerAzimuth(GroupDataSets(rows), false)[0].azimuths[0];
    EXPECT_FALSE(a.determined);
    EXPECT_NE(a.note.find("row 1 has (d - d0)/d0 = 8.99"), std::string::npos) << a.note;
    EXPECT_NE(a.note.find("do not belong together"), std::string::npos) << a.note;
  }
}

}  // namespace
}  // namespace polydec::stress
