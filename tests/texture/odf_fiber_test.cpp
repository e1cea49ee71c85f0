// The ODF along a diffraction fibre and its integral, the pole density of a reflection in a
// measurement direction.
#include "texture/odf_fiber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "texture/odf_fixtures.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {
namespace {

using core::kPi;
using texture_test::Matrix3;

// Rotation by `angle` about the unit axis k (Rodrigues).
Matrix3 Rotation(const Real k[3], Real angle) {
  const Real c = std::cos(angle), s = std::sin(angle);
  const Real cross[3][3] = {{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}};
  Matrix3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r.g[i][j] = (i == j ? c : 0) + s * cross[i][j] + (1 - c) * k[i] * k[j];
  return r;
}

Matrix3 Product(const Matrix3& a, const Matrix3& b) {
  Matrix3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r.g[i][j] += a.g[i][k] * b.g[k][j];
  return r;
}

// ∫ f dlamda over the fibre {g : g m = n}, built without the engine: g0 turns m onto n about
// m x n, and the fibre is R_n(lamda) g0. f along it is a trigonometric polynomial of degree
// <= 4 in lamda, for which the trapezoid rule on 64 points is exact.
Real ReferenceFiberIntegral(Real (*f)(const Matrix3&), Real psi, Real phi, Real theta, Real beta) {
  const Real m[3] = {std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi), std::cos(psi)};
  const Real n[3] = {std::cos(beta) * std::sin(theta), std::sin(beta) * std::sin(theta),
                     std::cos(theta)};
  Real axis[3] = {m[1] * n[2] - m[2] * n[1], m[2] * n[0] - m[0] * n[2], m[0] * n[1] - m[1] * n[0]};
  const Real length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  for (Real& x : axis) x /= length;
  const Matrix3 g0 = Rotation(axis, std::acos(m[0] * n[0] + m[1] * n[1] + m[2] * n[2]));
  constexpr int kPoints = 64;
  Real sum = 0;
  for (int k = 0; k < kPoints; ++k) sum += f(Product(Rotation(n, 2 * kPi * k / kPoints), g0));
  return 2 * kPi * sum / kPoints;
}

TEST(FiberIntegral, IsTwoPiWithoutOdfAndForUniformOdf) {
  OrientationsRec none;
  OrientationsRec uniform = texture_test::ExpandedGridOf([](Real, Real, Real) { return 1.0L; });
  for (OrientationsRec* ctx : {&none, &uniform})
    for (int n : {1, 7, 36}) {
      const Real integral = FiberIntegral(*ctx, n, 0.3L, 1.1L, 0.9L, 0.2L);
      // A constant is integrated exactly; only the summation rounds.
      EXPECT_NEAR(integral, 2 * kPi, 1e-15L * 100) << n;
      EXPECT_EQ(ctx->HKLODF.Integral, integral);
    }
  EXPECT_EQ(FiberODFValue(none, 0.3L, 1.1L, 0.9L, 0.2L, 2.0L), 1);
  EXPECT_THROW(FiberIntegral(none, 0, 0, 0, 0, 0), std::invalid_argument);
}

TEST(FiberIntegral, KeepsProfileEntriesItDoesNotWrite) {
  OrientationsRec ctx = texture_test::ExpandedGridOf(texture_test::GeneralTexture);
  ctx.HKLODF.ODF = {42, 43, 44, 45};
  const Real psi = 0.4L, phi = 0.7L, theta = 1.0L, beta = 0.3L;
  const Real integral = FiberIntegral(ctx, 1, psi, phi, theta, beta);
  // With n = 1 the fibre is evaluated at 0, pi and 2pi; only the interior point is stored.
  ASSERT_EQ(ctx.HKLODF.ODF.size(), 2u);
  EXPECT_EQ(ctx.HKLODF.ODF[0], 42);
  const Real middle = FiberODFValue(ctx, psi, phi, theta, beta, kPi);
  EXPECT_EQ(ctx.HKLODF.ODF[1], middle);
  const Real ends = FiberODFValue(ctx, psi, phi, theta, beta, 0) +
                    FiberODFValue(ctx, psi, phi, theta, beta, 2 * kPi);
  EXPECT_NEAR(integral, kPi / 3 * (ends + 4 * middle), 1e-15L * 100);
}

TEST(FiberIntegral, FollowsTheFibreOfTheReflection) {
  const OrientationsRec base = texture_test::ExpandedGridOf(texture_test::GeneralTexture);
  Real lo = 0, hi = 0;
  for (int k = 0; k < static_cast<int>(base.ODF.size()) - 1; ++k) {
    lo = k == 0 ? base.ODF[0] : std::min(lo, base.ODF[static_cast<std::size_t>(k)]);
    hi = k == 0 ? base.ODF[0] : std::max(hi, base.ODF[static_cast<std::size_t>(k)]);
  }
  // Simpson's rule is exact for the trigonometric polynomial f along the fibre, and its
  // positive weights add to 2pi, so the interpolated profile can err by 2pi times the
  // interpolation bound at most.
  const Real tolerance = 2 * kPi * texture_test::InterpolationBound(1.05L * (hi - lo));
  struct Case {
    Real psi, phi, theta, beta;
  };
  const Case cases[] = {{0.4L, 0.7L, 1.0L, 0.3L},
                        {1.2L, 2.5L, 0.5L, 1.9L},
                        {2.0L, 4.0L, 2.6L, 5.5L},
                        {0.9L, 5.9L, 1.5708L, 0.7854L}};
  Real previous = 0;
  for (const Case& c : cases) {
    OrientationsRec ctx = base;
    const Real reference =
        ReferenceFiberIntegral(texture_test::GeneralTextureOf, c.psi, c.phi, c.theta, c.beta);
    EXPECT_NEAR(FiberIntegral(ctx, 36, c.psi, c.phi, c.theta, c.beta), reference, tolerance)
        << c.psi << " " << c.phi << " " << c.theta << " " << c.beta;
    // The cases see distinctly different pole densities, so a wrong fibre would show.
    EXPECT_GT(std::fabs(reference - previous), 2 * tolerance);
    previous = reference;
    // Along the fibre the fast angles give the values of the exact ones: they differ by about
    // 1e-15 rad, which moves an interpolated value by that times its slope, at most
    // (hi - lo)/5 per degree.
    Real worst = 0;
    for (int k = 0; k <= 72; ++k) {
      const Real lamda = 2 * kPi * k / 72 + 1e-3L;
      const core::EulerAnglesRec e = FiberToEuler(c.psi, c.phi, c.theta, c.beta, lamda);
      worst = std::fmax(worst, std::fabs(FiberODFValue(ctx, c.psi, c.phi, c.theta, c.beta, lamda) -
                                         ODFValue(ctx, e.phi1, e.phi, e.phi2)));
    }
    EXPECT_LT(worst, 1e-14L * (hi - lo));
  }
}

// The points of the rule are lamda_k = k h accumulated by repeated addition, with 0 and 2pi at
// the ends, whether they come from the shared table or (beyond its size) are computed on the
// way, and in whatever order they are asked for.
TEST(FiberSteps, GiveTheAccumulatedPointsFromTheTableOrComputed) {
  for (const int n : {3, kTabulatedFiberIntervals + 1}) {
    SCOPED_TRACE(n);
    FiberSteps steps(n);
    ASSERT_EQ(steps.Last(), 2 * n);
    EXPECT_EQ(TabulatedFiberSteps(n) != nullptr, n <= kTabulatedFiberIntervals);
    const Real h = 2 * kPi / (2 * n);
    EXPECT_EQ(steps.Step(), h);
    std::vector<Real> lamda(6, 0);
    for (std::size_t k = 1; k < lamda.size(); ++k) lamda[k] = lamda[k - 1] + h;
    for (const int k : {1, 2, 5, 3, 0, 2 * n, 4, 4, 1}) {
      const Real expected = k == 2 * n ? 2 * kPi : lamda[static_cast<std::size_t>(k)];
      const FiberStep& step = steps[k];
      EXPECT_EQ(step.lamda, expected) << k;
      EXPECT_EQ(step.cosLamda, std::cos(expected)) << k;
      EXPECT_EQ(step.sinLamda, std::sin(expected)) << k;
      EXPECT_EQ(step.cosDouble, static_cast<double>(std::cos(expected))) << k;
    }
  }
}

}  // namespace
}  // namespace polydec::texture
