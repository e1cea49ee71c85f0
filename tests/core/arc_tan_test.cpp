#include "core/arc_tan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace polydec::core {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Every quadrant, the axes and signed zeros, ratios at and between table points, tiny and huge
// coordinates, and the values the library must handle (origin, infinities, NaN).
TEST(ArcTan2, AgreesWithLibraryAtSpecialPoints) {
  const double cases[][2] = {{0, 1},           {0, -1},     {-0.0, 1},   {-0.0, -1},   {1, 0},
                             {-1, 0},          {1, -0.0},   {1, 1},      {-1, -1},     {3, 64},
                             {1, 128},         {-5, 128},   {1e-300, 1}, {1, 1e-300},  {1e300, 3},
                             {4e-320, 1e-310}, {kInf, 1},   {1, -kInf},  {kInf, kInf}, {-kInf, 2},
                             {0.0, -0.0},      {-0.0, 0.0}, {0.0, 0.0},  {5, 1e308}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "y = " << c[0] << ", x = " << c[1]);
    const double fast = ArcTan2(c[0], c[1]), library = std::atan2(c[0], c[1]);
    EXPECT_NEAR(fast, library, 2 * std::fabs(library) * std::numeric_limits<double>::epsilon());
    EXPECT_EQ(std::signbit(fast), std::signbit(library));
  }
  EXPECT_TRUE(std::isnan(ArcTan2(std::nan(""), 1)));
  EXPECT_TRUE(std::isnan(ArcTan2(1, std::nan(""))));
}

// Round the circle at radii from 1e-3 to 1e3: within two ulps of the library everywhere.
TEST(ArcTan2, AgreesWithLibraryRoundTheCircle) {
  double worstUlps = 0;
  for (int k = 0; k < 200000; ++k) {
    const double angle = -M_PI + 2 * M_PI * (k + 0.37) / 200000;
    const double r = std::pow(10.0, (k % 7) - 3);
    const double y = r * std::sin(angle), x = r * std::cos(angle);
    const double library = std::atan2(y, x);
    const double ulp = std::nextafter(std::fabs(library), kInf) - std::fabs(library);
    worstUlps = std::fmax(worstUlps, std::fabs(ArcTan2(y, x) - library) / ulp);
  }
  EXPECT_LE(worstUlps, 2);
}

}  // namespace
}  // namespace polydec::core
