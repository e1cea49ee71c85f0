#include "core/integration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace polydec::core {
namespace {

// A 16-term sum of extended products: a few hundred ulps (1e-19) cover its rounding.
constexpr Real kRuleRounding = 1e-16L;

TEST(GaussLegendre16, TableHoldsPositiveNodesAscendingThenTheirMirrors) {
  for (int k = 0; k < 8; ++k) {
    EXPECT_GT(GaussLegendre16Table[k].x, 0);
    if (k > 0) {
      EXPECT_GT(GaussLegendre16Table[k].x, GaussLegendre16Table[k - 1].x);
    }
    EXPECT_EQ(GaussLegendre16Table[k + 8].x, -GaussLegendre16Table[k].x);
    EXPECT_EQ(GaussLegendre16Table[k + 8].w, GaussLegendre16Table[k].w);
  }
}

// Exactness up to degree 31 on [-1, 1] pins every node and weight to near full extended
// precision; degree 32 is the first the rule misses (by about 7e-10).
TEST(GaussLegendre16, MonomialsUpToDegree31AreExact) {
  for (int k = 0; k <= 32; ++k) {
    auto f = [k](Real x) { return std::pow(x, k); };
    const Real exact = k % 2 == 0 ? Real{2} / (k + 1) : Real{0};
    // Sixteen terms below 0.2 in magnitude, each rounded to about 1e-20.
    const Real err = std::abs(GaussLegendre16(f, -1, 1) - exact);
    if (k <= 31) {
      EXPECT_LT(err, 1e-18L) << "degree " << k;
    } else {
      EXPECT_GT(err, 1e-10L) << "degree " << k;
    }
  }
}

TEST(AdaptiveGaussLegendre, PolynomialIsAcceptedAtFirstExamination) {
  // (x - 0.3)^31 + 5 x^7 - 2 on [-1, 1.5].
  auto f = [](Real x) { return std::pow(x - 0.3L, 31) + 5 * std::pow(x, 7) - 2; };
  auto F = [](Real x) { return std::pow(x - 0.3L, 32) / 32 + 5 * std::pow(x, 8) / 8 - 2 * x; };
  const Real exact = F(1.5L) - F(-1);
  int count = -1;
  const Real result = AdaptiveGaussLegendre(f, -1, 1.5L, 1e-5L, 50, count);
  EXPECT_EQ(count, 1);
  EXPECT_NEAR(result, exact, kRuleRounding * std::abs(exact));
}

TEST(AdaptiveGaussLegendre, ZeroIntegrandIsAcceptedAtOnce) {
  int count = -1;
  EXPECT_EQ(AdaptiveGaussLegendre([](Real) { return Real{0}; }, 0, 3, 1e-5L, 50, count), 0);
  EXPECT_EQ(count, 1);
}

// A Lorentzian of half width 0.01 centred 0.05 above the lower bound; over [0, 1] its integral
// is w (atan(0.95/w) + atan(0.05/w)).
struct Peak {
  Real centre;
  Real operator()(Real x) const {
    const Real u = (x - centre) / 0.01L;
    return 1 / (1 + u * u);
  }
};
const Real kPeakIntegral = 0.01L * (std::atan(95.0L) + std::atan(5.0L));

TEST(AdaptiveGaussLegendre, NarrowPeakDoesNotDependOnTheOrderOfRefinement) {
  // Near the lower bound the peak is reached last (right halves first); its mirror image near
  // the upper bound is reached first. Same interval tree, opposite order of summation.
  const Real eps = 1e-10L;
  int lowCount = 0, highCount = 0;
  const Real low = AdaptiveGaussLegendre(Peak{0.05L}, 0, 1, eps, 500, lowCount);
  const Real high = AdaptiveGaussLegendre(Peak{0.95L}, 0, 1, eps, 500, highCount);
  EXPECT_GT(lowCount, 3);
  EXPECT_LT(lowCount, 500);
  EXPECT_EQ(lowCount, highCount);
  EXPECT_NEAR(low, high, 1e-15L * kPeakIntegral);
  EXPECT_NEAR(low, kPeakIntegral, eps * kPeakIntegral);
}

TEST(AdaptiveGaussLegendre, LimitAddsTheCurrentHalvesAndDropsTheStack) {
  const Peak f{0.05L};
  const Real eps = 1e-10L;
  int count = 0;
  // n = 1: the two-half sum over [a, b], accepted or not.
  EXPECT_EQ(AdaptiveGaussLegendre(f, 0, 1, eps, 1, count),
            GaussLegendre16(f, 0, 0.5L) + GaussLegendre16(f, 0.5L, 1));
  EXPECT_EQ(count, 1);
  // n = 2: [0, 1] fails, [0, 0.5] waits on the stack, [0.5, 1] is examined second and its
  // halves end the integration; the peak in the waiting half never contributes.
  EXPECT_EQ(AdaptiveGaussLegendre(f, 0, 1, eps, 2, count),
            GaussLegendre16(f, 0.5L, 0.75L) + GaussLegendre16(f, 0.75L, 1));
  EXPECT_EQ(count, 2);
}

TEST(AdaptiveGaussLegendre, NonFiniteIntegrandStopsAtTheLimitAndPropagates) {
  auto nan = [](Real) { return std::numeric_limits<Real>::quiet_NaN(); };
  struct Case {
    int limit, expectedCount;
  };
  // A limit below 1 would never be reached by the counter; it acts as 1.
  for (const Case c : {Case{7, 7}, Case{1, 1}, Case{0, 1}, Case{-4, 1}}) {
    int count = 0;
    EXPECT_TRUE(std::isnan(AdaptiveGaussLegendre(nan, 0, 1, 1e-5L, c.limit, count)));
    EXPECT_EQ(count, c.expectedCount) << "limit " << c.limit;
  }
}

TEST(CompositeSimpson, OneIntervalPairIsSimpsonsRule) {
  auto f = [](Real x) { return std::exp(x); };
  const Real simpson = (1 + std::exp(1.0L) + 4 * std::exp(0.5L)) / 6;
  EXPECT_NEAR(CompositeSimpson(f, 0, 1, 1), simpson, 1e-18L);
}

TEST(CompositeSimpson, CubicsAreExactForEveryN) {
  auto f = [](Real x) { return 2 * x * x * x - 3 * x * x + x - 7; };
  auto F = [](Real x) { return x * x * x * x / 2 - x * x * x + x * x / 2 - 7 * x; };
  const Real a = -1.25L, b = 2.5L, exact = F(b) - F(a);
  for (int N : {1, 2, 3, 7, 64, 1000}) {
    // The abscissae accumulate up to 2N roundings of h.
    EXPECT_NEAR(CompositeSimpson(f, a, b, N), exact, 1e-16L * N * std::abs(exact)) << N;
  }
}

TEST(CompositeSimpson, NoIntervalsGiveZero) {
  int calls = 0;
  auto f = [&calls](Real) {
    ++calls;
    return Real{1};
  };
  EXPECT_EQ(CompositeSimpson(f, 0, 1, 0), 0);
  EXPECT_EQ(CompositeSimpson(f, 0, 1, -3), 0);
  EXPECT_EQ(calls, 0);
}

TEST(SphereIntegral, SurfaceElementGivesTheSphereArea) {
  int outerCount = -1;
  const Real area =
      SphereIntegral([](Real, Real theta) { return std::sin(theta); }, 1e-5L, 50, outerCount);
  EXPECT_NEAR(area, 4 * kPi, 1e-15L);
  EXPECT_EQ(outerCount, 1);
}

TEST(SphereIntegral, MomentsOfTheDirectionVector) {
  // Integrals over the unit sphere of products of n = (sin t cos p, sin t sin p, cos t).
  struct Case {
    const char* name;
    Real (*g)(Real, Real);
    Real exact;
  };
  const Case cases[] = {
      {"x^2", [](Real p, Real t) { return std::pow(std::sin(t) * std::cos(p), 2); }, 4 * kPi / 3},
      {"z^4", [](Real, Real t) { return std::pow(std::cos(t), 4); }, 4 * kPi / 5},
      {"x^2 y^2",
       [](Real p, Real t) { return std::pow(std::sin(t), 4) * std::pow(std::sin(2 * p) / 2, 2); },
       4 * kPi / 15},
      {"x^2 z^2 + y",
       [](Real p, Real t) {
         const Real s = std::sin(t), c = std::cos(t);
         return s * s * std::cos(p) * std::cos(p) * c * c + s * std::sin(p);
       },
       4 * kPi / 15},
  };
  const Real eps = 1e-5L;
  for (const Case& c : cases) {
    auto g = [&c](Real p, Real t) { return c.g(p, t) * std::sin(t); };
    EXPECT_NEAR(SphereIntegral(g, eps, 50), c.exact, eps * c.exact) << c.name;
  }
}

}  // namespace
}  // namespace polydec::core
