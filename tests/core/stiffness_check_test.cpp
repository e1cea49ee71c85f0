// The check that a stiffness belongs to a stable material, on the cases users typed: equal
// C11 and C12, all zero, all negative, a shear constant of the wrong sign.
#include "core/stiffness_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/stiffness.h"

namespace polydec::core {
namespace {

TEST(StiffnessCheck, RefusesWhatNoStableMaterialHasAndNamesTheSmallestEigenvalue) {
  struct Case {
    CijklVector c;
    bool accepted;
    Real smallest;  // GPa; the cubic eigenvalues are C11 - C12, C11 + 2 C12 and 2 C44
  };
  const Case cases[] = {
      {test::Cubic(237, 141, 116), true, 96}, {test::Cubic(200, 200, 50), false, 0},
      {test::Cubic(0, 0, 0), false, 0},       {test::Cubic(-200, -100, -50), false, -400},
      {test::Cubic(200, 100, -1), false, -2}, {test::Cubic(200, -120, 50), false, -40},
  };
  for (const Case& c : cases) {
    // Jacobi rotations reach the eigenvalues to the rounding of their sums.
    EXPECT_NEAR(SmallestMandelEigenvalue(c.c), c.smallest, 1e-12L * 600);
    const auto problem = StiffnessProblem(c.c, "--cij");
    EXPECT_EQ(!problem, c.accepted) << c.smallest;
    if (problem) {
      EXPECT_EQ(problem->rfind("--cij: the stiffness is not positive definite", 0), 0u);
    }
  }
  CijklVector nan = test::Cubic(237, 141, 116);
  nan[4] = std::nan("");
  EXPECT_TRUE(StiffnessProblem(nan, "x"));
}

TEST(StiffnessCheck, ShearConstantsCountWithTheirMandelWeight) {
  // C14 = -C24 couples the shear (e11 - e22) to e23: the energy of that pair is the block
  // [C11 - C12, 2 C14; 2 C14, 2 C44] = [200, 2 C14; 2 C14, 120], positive only for C14 below
  // sqrt(6000) = 77.46 GPa. Weighting the shear rows wrongly would move that limit.
  CijklVector c = test::Cubic(300, 100, 60);
  c[VoigtToPosition(1, 4)] = 80;
  c[VoigtToPosition(2, 4)] = -80;
  EXPECT_TRUE(StiffnessProblem(c, "x"));
  c[VoigtToPosition(1, 4)] = 75;
  c[VoigtToPosition(2, 4)] = -75;
  EXPECT_FALSE(StiffnessProblem(c, "x"));
}

}  // namespace
}  // namespace polydec::core
