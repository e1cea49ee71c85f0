// The expanded ODF grid: lookups at and between nodes, the guards at the ends of Euler space,
// nearest-node lookups, the integral over orientation space and the cubic-orthorhombic
// equivalents.
#include "texture/odf_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

#include "core/integration.h"
#include "texture/odf_fixtures.h"

namespace polydec::texture {
namespace {

using core::kPi;
using texture_test::Texture;

Real Rad(Real degrees) { return degrees * kPi / 180; }

// Range of f over the nodes, widened by 5% for the extrema that fall between nodes.
Real RangeOf(const OrientationsRec& ctx) {
  const auto [lo, hi] = std::minmax_element(ctx.ODF.begin(), ctx.ODF.begin() + kODFNodeCount);
  return 1.05L * (*hi - *lo);
}

// A function linear in each angle (degrees): trilinear interpolation reproduces it exactly.
Real Multilinear(Real a1, Real a, Real a2) {
  return 1 + 0.01L * a1 + 0.02L * a + 0.003L * a2 + 1e-4L * a1 * a + 1e-5L * a * a2 +
         2e-5L * a1 * a2 + 1e-7L * a1 * a * a2;
}

TEST(OdfGrid, NodeIndexRunsPhi2FastestAndSizingKeepsValues) {
  EXPECT_EQ(ODFNodeIndex(0, 0, 1), 1);
  EXPECT_EQ(ODFNodeIndex(0, 1, 0), 73);
  EXPECT_EQ(ODFNodeIndex(1, 0, 0), 2701);
  EXPECT_EQ(ODFNodeIndex(72, 36, 72), 197172);

  OrientationsRec ctx;
  ctx.ODF = {3, 4};
  SizeODFArrays(ctx);
  ASSERT_EQ(ctx.ODF.size(), 197174u);
  EXPECT_EQ(ctx.ODF[0], 3);
  EXPECT_EQ(ctx.ODF[1], 4);
  EXPECT_EQ(ctx.ODF[197173], 0);
  EXPECT_TRUE(HasODFGrid(ctx));
}

TEST(OdfValue, IsOneWhenNoOdfIsInUse) {
  OrientationsRec unloaded;  // no arrays at all
  unloaded.UseODF = true;
  OrientationsRec switchedOff = texture_test::ExpandedGridOf([](Real, Real, Real) { return 7.0L; });
  switchedOff.UseODF = false;
  for (const OrientationsRec* ctx : {&unloaded, &switchedOff}) {
    EXPECT_EQ(ODFValue(*ctx, 0, 0, 0), 1);
    EXPECT_EQ(ODFValue(*ctx, 1.2L, 2.3L, 4.5L), 1);
  }
}

TEST(OdfValue, ReturnsNodeValuesAtNodes) {
  const OrientationsRec ctx = texture_test::ExpandedGridOf(texture_test::GeneralTexture);
  for (Int i1 = 0; i1 < 72; i1 += 3)
    for (Int i = 0; i < 36; ++i)
      for (Int i2 = 0; i2 < 72; i2 += 5) {
        const Real node = ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(i1, i, i2))];
        // In degrees the node is hit exactly.
        ASSERT_EQ(InterpolateODF(ctx, 5 * i1, 5 * i, 5 * i2), node) << i1 << " " << i << " " << i2;
        // Through radians the angle may come back one ulp below the node, which moves the
        // value by an ulp-sized fraction of the next difference.
        ASSERT_NEAR(ODFValue(ctx, Rad(5 * i1), Rad(5 * i), Rad(5 * i2)), node, 1e-15L * node);
      }
}

TEST(OdfValue, InterpolatesTrilinearlyAndGuardsTheUpperEnds) {
  const OrientationsRec ctx = texture_test::ExpandedGridOf(Multilinear);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  for (int k = 0; k < 500; ++k) {
    const Real a1 = 360 * u(rng), a = 180 * u(rng), a2 = 360 * u(rng);
    ASSERT_NEAR(ODFValue(ctx, Rad(a1), Rad(a), Rad(a2)), Multilinear(a1, a, a2), 1e-14L)
        << a1 << " " << a << " " << a2;
  }
  // The end of each range is looked up just below it (1e-5 degrees at the region's end, and
  // at 359.9999 / 179.9999 beyond the grid), where both neighbours exist.
  struct Case {
    Real phi1, Phi, phi2;  // radians in
    Real a1, a, a2;        // degrees looked up
  };
  const Case cases[] = {
      {2 * kPi, Rad(40), Rad(70), 360 - 1e-5L, 40, 70},
      {Rad(100), kPi, Rad(20), 100, 180 - 1e-5L, 20},
      {Rad(10), Rad(20), 2 * kPi + 0.01L, 10, 20, 359.9999L},
      {2 * kPi + 0.5L, 3.5L, Rad(30), 359.9999L, 179.9999L, 30},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(ODFValue(ctx, c.phi1, c.Phi, c.phi2), Multilinear(c.a1, c.a, c.a2), 1e-14L)
        << c.a1 << " " << c.a << " " << c.a2;
}

TEST(OdfValue, FollowsSmoothTextureWithinInterpolationError) {
  for (const Texture& f :
       {Texture(texture_test::GeneralTexture), Texture(texture_test::CubicOrthTexture)}) {
    const OrientationsRec ctx = texture_test::ExpandedGridOf(f);
    const Real bound = texture_test::InterpolationBound(RangeOf(ctx));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0, 1);
    Real worst = 0;
    for (int k = 0; k < 3000; ++k) {
      const Real a1 = 360 * u(rng), a = 180 * u(rng), a2 = 360 * u(rng);
      worst = std::max(worst, std::fabs(ODFValue(ctx, Rad(a1), Rad(a), Rad(a2)) - f(a1, a, a2)));
    }
    EXPECT_LT(worst, bound);
    // The interpolation actually follows the function, not merely its mean.
    EXPECT_GT(worst, 0);
  }
}

TEST(OdfValue, RejectsAnglesOutsideEulerSpaceAndMissingGrid) {
  const OrientationsRec ctx = texture_test::ExpandedGridOf(texture_test::GeneralTexture);
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  EXPECT_THROW(ODFValue(ctx, -0.1L, 1, 1), std::out_of_range);
  EXPECT_THROW(ODFValue(ctx, 1, -1e-3L, 1), std::out_of_range);
  EXPECT_THROW(ODFValue(ctx, 1, 1, nan), std::out_of_range);
  OrientationsRec empty;
  empty.ODFNUMP = kODFNodeCount;
  empty.UseODF = true;
  EXPECT_THROW(ODFValue(empty, 1, 1, 1), std::out_of_range);
}

TEST(OdfGridValue, WrapsOnceIntoEulerSpace) {
  OrientationsRec ctx;
  SizeODFArrays(ctx);
  for (std::size_t n = 0; n < ctx.ODF.size(); ++n) ctx.ODF[n] = static_cast<Real>(n);
  struct Case {
    Real a1, a, a2;
    Int i1, i, i2;
  };
  const Case cases[] = {
      {-5, 0, 0, 71, 0, 0},   {0, 185, 0, 0, 1, 0}, {0, 0, -5, 0, 0, 71},
      {365, 0, 0, 1, 0, 0},   {0, -5, 0, 0, 35, 0}, {360, 180, 360, 72, 36, 72},
      {90, 45, 10, 18, 9, 2},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ODFGridValue(ctx, c.a1, c.a, c.a2), ODFNodeIndex(c.i1, c.i, c.i2))
        << c.a1 << " " << c.a << " " << c.a2;
  EXPECT_THROW(ODFGridValue(ctx, -400, 0, 0), std::out_of_range);
  EXPECT_THROW(ODFGridValue(ctx, 0, 400, 0), std::out_of_range);
  EXPECT_THROW(ODFGridValue(ctx, 0, 0, std::numeric_limits<Real>::infinity()), std::out_of_range);
}

// Simpson's rule for ∫ sin Phi dPhi over [0, π] with 2n intervals.
Real SimpsonOfSine(int n) {
  const Real h = kPi / (2 * n);
  Real s = 0;
  for (int k = 1; k < 2 * n; ++k) s += (k % 2 == 1 ? 4 : 2) * std::sin(k * h);
  return h / 3 * s;
}

TEST(OdfIntegral, UniformOdfGivesEightPiSquaredUpToSimpsonError) {
  const OrientationsRec uniform =
      texture_test::ExpandedGridOf([](Real, Real, Real) { return 1.0L; });
  const OrientationsRec none;
  for (const OrientationsRec* ctx : {&uniform, &none}) {
    // The phi1 and phi2 sums are exact for a constant; only the Phi sum errs.
    EXPECT_NEAR(ODFIntegral(*ctx, 1), 4 * kPi * kPi * SimpsonOfSine(1), 1e-15L * 100);
    EXPECT_NEAR(ODFIntegral(*ctx, 10), 4 * kPi * kPi * SimpsonOfSine(10), 1e-15L * 100);
    EXPECT_NEAR(ODFIntegral(*ctx, 1), 82.683L, 5e-4L);
    EXPECT_NEAR(ODFIntegral(*ctx, 10), 78.957L, 5e-4L);
  }
  EXPECT_THROW(ODFIntegral(none, 0), std::invalid_argument);
}

TEST(OdfIntegral, MatchesIntegralOfTheTexture) {
  struct Case {
    Texture f;
    Real mean;
  };
  const Case cases[] = {{texture_test::CubicOrthTexture, texture_test::kCubicOrthMean},
                        {texture_test::GeneralTexture, texture_test::kGeneralMean}};
  for (const Case& c : cases) {
    const OrientationsRec ctx = texture_test::ExpandedGridOf(c.f);
    // 1e-4 relative: the integral of the trilinear interpolant differs from that of f by the
    // mean interpolation error, which cancels over the periods of phi1 and phi2 and leaves
    // about h²/12 · ∫ f_ΦΦ from Phi, some 1e-5 of the integral for these textures (Simpson's
    // rule on 72 intervals adds far less). A wrong volume element or step errs by far more.
    const Real exact = 8 * kPi * kPi * c.mean;
    EXPECT_NEAR(ODFIntegral(ctx, 36), exact, 1e-4L * exact);
  }
}

// The integral places each axis of the rules on the grid once; its sums must be those of the
// rules over ODFValue at every point, to the bit, wherever the points fall and whatever the
// guards at the region's ends do.
TEST(OdfIntegral, IsTheNestedRulesOverOdfValueToTheBit) {
  const auto reference = [](const OrientationsRec& ctx, int n, int power) {
    return core::CompositeSimpson(
        [&](Real phi1) {
          return core::CompositeSimpson(
              [&](Real Phi) {
                return std::sin(Phi) * core::CompositeSimpson(
                                           [&](Real phi2) {
                                             const Real f = ODFValue(ctx, phi1, Phi, phi2);
                                             return power == 2 ? f * f : f;
                                           },
                                           0, 2 * kPi, n);
              },
              0, kPi, n);
        },
        0, 2 * kPi, n);
  };
  const OrientationsRec full = texture_test::ExpandedGridOf(texture_test::GeneralTexture);
  OrientationsRec region = full;  // bounds of a loaded region: the lookup steps inside them
  region.maxphi1 = 90;
  region.maxphi = 90;
  region.maxphi2 = 60;
  OrientationsRec moved = full;  // one node records an angle off its place
  moved.phi2[static_cast<std::size_t>(ODFNodeIndex(3, 4, 5))] = 25.5L;
  for (const OrientationsRec* ctx : {&full, static_cast<const OrientationsRec*>(&region),
                                     static_cast<const OrientationsRec*>(&moved)})
    for (int n : {36, 7}) {
      // The two moments taken in one pass are each the rule over that moment alone.
      const ODFMoments both = ODFIntegrals(*ctx, n);
      EXPECT_EQ(ODFIntegral(*ctx, n), reference(*ctx, n, 1)) << n;
      EXPECT_EQ(both.integral, reference(*ctx, n, 1)) << n;
      EXPECT_EQ(both.squared, reference(*ctx, n, 2)) << n;
      EXPECT_EQ(ODFIntegral(*ctx, n, true), both.squared) << n;
    }
}

TEST(CubeOrthEquivalent, EnumeratesCrystalOperatorsInsideSampleOperators) {
  const OrientationsRec ctx = texture_test::ExpandedGridOf(texture_test::CubicOrthTexture);
  const Real a1 = 37, a = 52, a2 = 21;
  const CubeOrthEquivalentRec first = CubeOrthEquivalent(ctx, 1, a1, a, a2);
  EXPECT_NEAR(first.phi1, a1, 1e-12L);
  EXPECT_NEAR(first.phi, a, 1e-12L);
  EXPECT_NEAR(first.phi2, a2, 1e-12L);
  EXPECT_NEAR(first.value, ODFValue(ctx, Rad(a1), Rad(a), Rad(a2)), 1e-15L * 10);
  // n = 25 pairs the identity crystal operator with the twofold sample axis Z: phi1 + 180.
  const CubeOrthEquivalentRec z = CubeOrthEquivalent(ctx, 25, a1, a, a2);
  EXPECT_NEAR(z.phi1, a1 + 180, 1e-12L);
  EXPECT_NEAR(z.phi, a, 1e-12L);
  EXPECT_NEAR(z.phi2, a2, 1e-12L);
  // Every equivalent of a texture with this symmetry carries its value, up to interpolation.
  const Real bound = texture_test::InterpolationBound(RangeOf(ctx));
  for (int n = 1; n <= 96; ++n)
    EXPECT_NEAR(CubeOrthEquivalent(ctx, n, a1, a, a2).value,
                texture_test::CubicOrthTexture(a1, a, a2), bound)
        << n;
  EXPECT_THROW(CubeOrthEquivalent(ctx, 0, a1, a, a2), std::out_of_range);
  EXPECT_THROW(CubeOrthEquivalent(ctx, 97, a1, a, a2), std::out_of_range);
}

}  // namespace
}  // namespace polydec::texture
