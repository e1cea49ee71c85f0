#include "models/untextured_context.h"

#include <gtest/gtest.h>

#include "models/reflection_dec.h"

namespace polydec::models {
namespace {

using core::Real;

UntexturedInputs Iron() {
  UntexturedInputs in;
  core::CijklVector& v = in.cij;
  v[1] = v[16] = v[21] = 237;
  v[4] = v[6] = v[18] = 141;
  v[7] = v[12] = v[19] = 116;
  in.crystalClass = static_cast<polydec::CrystalClass>(1);
  in.cell[0] = in.cell[1] = in.cell[2] = 2.866L;
  in.E = 210;
  in.nu = 0.3L;
  return in;
}

TEST(UntexturedContext, MatrixAndSphereFromYoungAndPoisson) {
  core::OrientationsRec ctx;
  ASSERT_EQ(BuildUntexturedContext(Iron(), ctx), "");
  EXPECT_NEAR(ctx.L(1, 1, 1, 1), 282.6923076923076923L, 1e-15L);
  EXPECT_NEAR(ctx.L(1, 1, 2, 2), 121.1538461538461538L, 1e-15L);
  EXPECT_NEAR(ctx.L(1, 2, 1, 2), 80.76923076923076923L, 1e-15L);
  EXPECT_NEAR(ctx.S(1, 1, 1, 1), 5.5L / 10.5L, 1e-18L);
  EXPECT_NEAR(ctx.S(1, 1, 2, 2), 0.5L / 10.5L, 1e-18L);
  EXPECT_NEAR(ctx.S(1, 2, 1, 2), 2.5L / 10.5L, 1e-18L);
  EXPECT_EQ(ctx.Cryst.AxisSetting, 1);
}

TEST(UntexturedContext, IsotropicCrystalEqualToMatrixGivesMatrixConstants) {
  UntexturedInputs in = Iron();
  in.crystalClass = static_cast<polydec::CrystalClass>(0);
  in.cij = IsotropicStiffness(in.E, in.nu);
  core::OrientationsRec ctx;
  ASSERT_EQ(BuildUntexturedContext(in, ctx), "");
  core::CijklVector t21{};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kKroener));
  EXPECT_NEAR(1000 * ctx.s1, -1000 * in.nu / in.E, 1e-14L);
  EXPECT_NEAR(1000 * ctx.s2, 1000 * (1 + in.nu) / in.E, 1e-14L);
}

TEST(UntexturedContext, EllipsoidalGrainIsIntegrated) {
  UntexturedInputs in = Iron();
  in.grainShape = {1, 1, 2};
  core::OrientationsRec ctx;
  ASSERT_EQ(BuildUntexturedContext(in, ctx), "");
  // An elongated grain along z takes less of the load along its axis than a sphere.
  EXPECT_LT(ctx.S(3, 3, 3, 3), 5.5L / 10.5L);
  EXPECT_GT(ctx.S(1, 1, 1, 1), 5.5L / 10.5L);
}

TEST(UntexturedContext, BadInputsAreNamed) {
  struct Case {
    const char* what;
    void (*change)(UntexturedInputs&);
    const char* expected;
  };
  const Case cases[] = {
      {"hkl 000", [](UntexturedInputs& in) { in.hkl[0] = in.hkl[1] = in.hkl[2] = 0; }, "0 0 0"},
      {"nu 0.5", [](UntexturedInputs& in) { in.nu = 0.5L; }, "Poisson"},
      {"E 0", [](UntexturedInputs& in) { in.E = 0; }, "Young"},
      {"grain axis 0", [](UntexturedInputs& in) { in.grainShape.b = 0; }, "semi-axes"},
      {"cell edge", [](UntexturedInputs& in) { in.cell[1] = -1; }, ""},
      {"flat cell", [](UntexturedInputs& in) { in.cell[3] = in.cell[4] = in.cell[5] = 120; }, ""},
  };
  for (const Case& c : cases) {
    UntexturedInputs in = Iron();
    c.change(in);
    core::OrientationsRec ctx;
    const std::string message = BuildUntexturedContext(in, ctx);
    EXPECT_NE(message, "") << c.what;
    EXPECT_NE(message.find(c.expected), std::string::npos) << c.what << ": " << message;
  }
}

}  // namespace
}  // namespace polydec::models
