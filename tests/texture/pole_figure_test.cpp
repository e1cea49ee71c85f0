// Pole figures from the ODF, their file layouts, and the fibre profile tables.
#include "texture/pole_figure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "core/text_lines.h"
#include "crystal/lattice.h"
#include "texture/odf_fixtures.h"

namespace polydec::texture {
namespace {

using core::kPi;
using texture_test::Matrix3;

// The analytic texture is of degree 4 and ranges over about 2.5: interpolated between 5-degree
// nodes it errs by up to a few parts in a thousand of its pole figure's maximum.
constexpr Real kAnalyticTolerance = 5e-3L;

OrientationsRec CubicContext() {
  OrientationsRec ctx;
  crystal::InitCrystal(ctx.Cryst);
  ctx.Cryst.SYS = polydec::kCubic;
  return ctx;
}

std::vector<std::string> Lines(const std::string& text) { return core::SplitLines(text); }

// Pole density of the plane normal n (crystal frame) in the sample direction m, built without
// the engine: the orientations of the fibre are the matrices G with G m = n, formed from an
// orthonormal frame around m and one around n turned by lamda; f along the fibre is a
// trigonometric polynomial of degree <= 4 in lamda, integrated exactly by 90 trapezoid points.
// The result is averaged over the 24 cubic images of n (one value, f being cubic).
Real ReferencePoleDensity(Real (*f)(const Matrix3&), const Real m[3], const Real n[3]) {
  const auto frame = [](const Real a[3], Real u[3], Real v[3]) {
    const Real t[3] = {std::fabs(a[0]) < 0.9L ? 1.0L : 0.0L, std::fabs(a[0]) < 0.9L ? 0.0L : 1.0L,
                       0};
    u[0] = a[1] * t[2] - a[2] * t[1], u[1] = a[2] * t[0] - a[0] * t[2];
    u[2] = a[0] * t[1] - a[1] * t[0];
    const Real l = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (int i = 0; i < 3; ++i) u[i] /= l;
    v[0] = a[1] * u[2] - a[2] * u[1], v[1] = a[2] * u[0] - a[0] * u[2];
    v[2] = a[0] * u[1] - a[1] * u[0];
  };
  // The 24 proper rotations of the cube: signed permutation matrices of determinant +1.
  const int perms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {1, 0, 2}, {0, 2, 1}, {2, 1, 0}};
  Real total = 0;
  int images = 0;
  Real mu[3], mv[3];
  frame(m, mu, mv);
  for (int p = 0; p < 6; ++p)
    for (int s = 0; s < 8; ++s) {
      const Real sign[3] = {s & 1 ? -1.0L : 1.0L, s & 2 ? -1.0L : 1.0L, s & 4 ? -1.0L : 1.0L};
      const Real parity = p < 3 ? 1 : -1;
      if (sign[0] * sign[1] * sign[2] * parity < 0) continue;
      Real h[3];
      for (int i = 0; i < 3; ++i) h[i] = sign[i] * n[perms[p][i]];
      Real hu[3], hv[3];
      frame(h, hu, hv);
      constexpr int kPoints = 90;
      Real sum = 0;
      for (int k = 0; k < kPoints; ++k) {
        const Real c = std::cos(2 * kPi * k / kPoints), sn = std::sin(2 * kPi * k / kPoints);
        Matrix3 g{};
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j)
            g.g[i][j] = h[i] * m[j] + (c * hu[i] + sn * hv[i]) * mu[j] +
                        (-sn * hu[i] + c * hv[i]) * mv[j];
        sum += f(g);
      }
      total += 2 * kPi * sum / kPoints;
      ++images;
    }
  return total / images;
}

TEST(PoleFigure, OfAUniformOdfIsOneMrdEverywhere) {
  OrientationsRec none = CubicContext();
  OrientationsRec uniform = CubicContext();
  texture_test::PutExpandedGrid(uniform, [](Real, Real, Real) { return 1.0L; });
  for (OrientationsRec* ctx : {&none, &uniform}) {
    const PoleFigureRec pf = ComputePoleFigure(*ctx, 2, 1, 1);
    // Each point is a Simpson sum of ones over [0, 2 pi]: rounding only.
    EXPECT_NEAR(pf.mean, 2 * kPi, 1e-15);
    EXPECT_NEAR(pf.MaxMrd(), 1, 1e-15);
    EXPECT_NEAR(pf.MinMrd(), 1, 1e-15);
    const std::vector<std::string> lines = Lines(PoplaPoleFigureText(pf));
    EXPECT_EQ(lines[0], "pole figure generated from ODF max=1.000 m.r.d");
    for (std::size_t i = 2; i < 2 + 19 * 4; ++i)
      for (int w = 1; w <= 18; ++w) EXPECT_EQ(core::GetWord(lines[i], w), "100") << i;
  }
}

// Against the pole density of the analytic texture, normalised exactly: a normalised ODF's pole
// figure averages 1 over the hemisphere, so the density is the fibre integral over 2 pi times
// the texture's mean. What remains is the ODF's interpolation between 5-degree nodes.
TEST(PoleFigure, AgreesWithTheFibreIntegralOfTheAnalyticTexture) {
  OrientationsRec ctx = CubicContext();
  texture_test::PutExpandedGrid(ctx, texture_test::CubicOrthTexture);
  for (const auto& hkl : {std::array<Real, 3>{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {2, 1, 1}}) {
    const PoleFigureRec pf = ComputePoleFigure(ctx, hkl[0], hkl[1], hkl[2]);
    const Real len = std::sqrt(hkl[0] * hkl[0] + hkl[1] * hkl[1] + hkl[2] * hkl[2]);
    const Real n[3] = {hkl[0] / len, hkl[1] / len, hkl[2] / len};
    std::vector<std::vector<Real>> ref(kPoleFigureTilts, std::vector<Real>(kPoleFigureAzimuths));
    Real maxRef = 0;
    for (int t = 0; t < kPoleFigureTilts; ++t)
      for (int a = 0; a < kPoleFigureAzimuths; ++a) {
        const Real psi = 5 * t * kPi / 180, phi = 5 * a * kPi / 180;
        const Real m[3] = {std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi),
                           std::cos(psi)};
        ref[t][a] = ReferencePoleDensity(texture_test::CubicOrthTextureOf, m, n) /
                    (2 * kPi * texture_test::kCubicOrthMean);
        maxRef = std::max(maxRef, ref[t][a]);
      }
    for (int t = 0; t < kPoleFigureTilts; ++t)
      for (int a = 0; a < kPoleFigureAzimuths; ++a)
        ASSERT_NEAR(pf.Mrd(t, a), ref[t][a], kAnalyticTolerance * maxRef)
            << hkl[0] << hkl[1] << hkl[2] << " psi " << 5 * t << " phi " << 5 * a;
    EXPECT_NEAR(pf.MaxMrd(), maxRef, kAnalyticTolerance * maxRef);
  }
}

// A sharp texture (a <100> fibre along the sample x axis, 9 degrees half width): each point is
// the fibre integral of the grid's ODF as a fine rule gives it, and the centre of the figure is
// one value whatever its azimuth.
TEST(PoleFigure, OfASharpTextureIsTheFineFibreIntegralOfItsGrid) {
  OrientationsRec ctx = CubicContext();
  texture_test::PutExpandedGrid(ctx, [](Real a1, Real a, Real a2) {
    const Matrix3 g = texture_test::BungeMatrix(a1, a, a2);
    // cos^60 of the angle between a cube axis and the sample x axis: half height at 8.7 deg.
    Real f = 0.2L;
    for (int i = 1; i <= 3; ++i) {
      const Real x = g(i, 1) * g(i, 1);
      f += 20 * std::pow(x, 30);
    }
    return f;
  });
  const PoleFigureRec pf = ComputePoleFigure(ctx, 2, 0, 0);
  const Real theta = ctx.CrystPolAngles.psi, beta = ctx.CrystPolAngles.phi;
  Real worst = 0;
  for (int t = 0; t < kPoleFigureTilts; t += 2)
    for (int a = 0; a < kPoleFigureAzimuths; a += 3) {
      const Real psi = 5 * t * kPi / 180, phi = 5 * a * kPi / 180;
      const Real fine = FiberIntegral(ctx, 4000, psi, phi, theta, beta) / pf.mean;
      worst = std::max(worst, std::fabs(pf.Mrd(t, a) - fine));
    }
  // Simpson's rule with 400 points against 8000, on an ODF interpolated linearly between nodes
  // (a kink every few degrees along the fibre): a few parts in a thousand of the maximum, where
  // the 60 points of a 6-degree step through the 5-degree grid erred by 2 %.
  EXPECT_LT(worst, 4e-3L * pf.MaxMrd());
  for (int a = 1; a < kPoleFigureAzimuths; ++a) EXPECT_EQ(pf.integral[0][a], pf.integral[0][0]);
}

TEST(PoleFigure, FileLayoutsHoldEveryRingOfTheFigure) {
  OrientationsRec ctx = CubicContext();
  texture_test::PutExpandedGrid(ctx, texture_test::CubicOrthTexture);
  const PoleFigureRec pf = ComputePoleFigure(ctx, 1, 1, 0);
  const std::string popla = PoplaPoleFigureText(pf);
  const std::vector<std::string> p = Lines(popla);
  ASSERT_EQ(p.size(), 2u + 19 * 4 + 1);
  EXPECT_EQ(p[1], " 100   5.0 90.0  5.0360.0 1 1 1 2 3  100    0");
  EXPECT_EQ(p[2].size(), 1u + 18 * 4);
  EXPECT_EQ(p[5].size(), 1u + 18 * 4 + 4);
  EXPECT_EQ(p[5].substr(p[5].size() - 4), "   0");
  EXPECT_TRUE(p.back().empty());
  EXPECT_EQ(popla.substr(popla.size() - 4), "\r\n\r\n");
  // Value of ring 10 (psi 45), azimuth 20 (phi 100): group 2, position 3.
  EXPECT_EQ(p[2 + 9 * 4 + 1].substr(1 + 2 * 4, 4), core::FormatPadded(pf.Mrd(9, 20) * 100, 4, 0));

  const std::vector<std::string> h = Lines(HelmingPoleFigureText(pf));
  ASSERT_EQ(h.size(), 19u * 9);
  EXPECT_EQ(h[0].size(), 1u + 10 * 4);
  EXPECT_EQ(h[7].size(), 1u + 2 * 4);
  EXPECT_TRUE(h[8].empty());
  EXPECT_EQ(h[9 + 1].substr(1, 4), core::FormatPadded(pf.Mrd(1, 10) * 100, 4, 0));
}

TEST(FibreProfile, WithoutAnOdfEveryValueIsOneAndTheSumsStayZero) {
  OrientationsRec ctx = CubicContext();
  const std::vector<std::string> all =
      Lines(FibreProfileText(ctx, FibreProfileLayout::kAllPermutations, 0, 0, 1, 0, 0));
  ASSERT_EQ(all.size(), 1u + 145 + 1);
  // The table keeps duplicates: 100 and -100 come four times each among the 24 permutations.
  int plus = 0, minus = 0;
  for (int n = 1; n <= 24; ++n) {
    const std::string f = core::GetTabField(all[0], 4 * n - 3);
    plus += f == " 1 0 0" ? 1 : 0;
    minus += f == "-1 0 0" ? 1 : 0;
  }
  EXPECT_EQ(plus, 4);
  EXPECT_EQ(minus, 4);
  EXPECT_EQ(core::GetTabField(all[1], 1), "   0.00");
  EXPECT_EQ(core::GetTabField(all[2], 1), "   2.50");
  EXPECT_EQ(core::GetTabField(all[145], 1), " 360.00");
  for (std::size_t i = 1; i <= 145; ++i)
    for (int n = 0; n < 24; ++n) ASSERT_EQ(core::GetTabField(all[i], 2 + 4 * n + 3), "   1.00");
  for (int n = 0; n < 24; ++n) EXPECT_EQ(core::GetTabField(all.back(), 1 + 4 * n), "    0.0");

  const std::vector<std::string> cube =
      Lines(FibreProfileText(ctx, FibreProfileLayout::kCubeOrth, 0, 0, 1, 0, 0));
  ASSERT_FALSE(cube.empty());
  for (const std::string& line : cube) {
    for (int f = 1; f <= 3; ++f) EXPECT_LE(core::ParseNumber(core::GetTabField(line, f)).value, 90);
    EXPECT_EQ(core::GetTabField(line, 4), "   1.00");
  }
}

TEST(FibreProfile, ReadsTheOdfFifteenDegreesOnInPhi2) {
  OrientationsRec ctx = CubicContext();
  texture_test::PutExpandedGrid(ctx, [](Real, Real, Real a2) { return 1 + a2 / 100; });
  const std::vector<std::string> all =
      Lines(FibreProfileText(ctx, FibreProfileLayout::kAllPermutations, 0, 30, 2, 1, 1, 8));
  const Real phi2 = core::ParseNumber(core::GetTabField(all[3], 4)).value;
  const Real value = core::ParseNumber(core::GetTabField(all[3], 5)).value;
  ASSERT_LT(phi2 + 15, 360);
  EXPECT_NEAR(value, 1 + (phi2 + 15) / 100, 0.006);
}

}  // namespace
}  // namespace polydec::texture
