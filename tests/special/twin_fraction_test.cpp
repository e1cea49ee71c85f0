// Twin orientations about a habit plane normal, and the fractions of crystals and of their
// twins in a window of sample directions.
#include "special/twin_fraction.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/linalg.h"
#include "crystal/lattice.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::special {
namespace {

core::CrystalData Hexagonal() {
  core::CrystalData c;
  c.a = c.b = 2.95L;
  c.c = 4.68L;
  c.gamma = 2 * core::kPi / 3;
  c.SYS = polydec::kHexagonal;
  c.AxisSetting = 1;
  crystal::InitCrystal(c);
  return c;
}

TEST(AxisRotationMatrix, IsAProperRotationThatKeepsItsAxis) {
  Tensor1 u{{1, 2, 2}};
  core::NormalizeVector(u);
  for (Real angle : {0.3L, core::kPi / 2, core::kPi}) {
    const Tensor2 M = AxisRotationMatrix(u, angle);
    Tensor1 Mu;
    core::MatVec3x3(M, u, Mu);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(Mu(i), u(i), 1e-18);
    EXPECT_NEAR(core::Determinant3x3(M), 1, 1e-18);
    // The angle between a vector normal to u and its image is the rotation angle.
    const Tensor1 v{{2, -1, 0}};
    Tensor1 Mv;
    core::MatVec3x3(M, v, Mv);
    EXPECT_NEAR(core::VectorAngle(v, Mv), angle, 1e-9);
  }
}

TEST(TwinOrientation, TwiceGivesBackTheOrientation) {
  const core::CrystalData c = Hexagonal();
  const Tensor2 g = texture::EulerToMatrix(0.4L, 1.1L, 2.3L);
  for (const Tensor1& habit : {Tensor1{{-1, 0, 2}}, Tensor1{{1, 0, 1}}, Tensor1{{1, 1, 2}}}) {
    const TwinOrientationResult once = TwinOrientation(c, habit, g);
    const TwinOrientationResult twice = TwinOrientation(c, habit, once.g);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(twice.g.e[k], g.e[k], 1e-17);
    EXPECT_GT(once.angle, 0);
  }
  // A habit plane normal to the crystal z axis turns z onto itself.
  EXPECT_NEAR(TwinOrientation(c, Tensor1{{0, 0, 1}}, g).angle, 0, 1e-9);
}

// A smooth texture that is not symmetric under the twin operations, on the full grid.
core::OrientationsRec TexturedContext() {
  core::OrientationsRec ctx;
  ctx.Cryst = Hexagonal();
  texture::SizeODFArrays(ctx);
  texture::SetODFGridAngles(ctx);
  for (std::size_t i = 0; i < static_cast<std::size_t>(texture::kODFNodeCount); ++i) {
    const Real a1 = ctx.phi1[i] * core::kDegToRad, a = ctx.phi[i] * core::kDegToRad,
               a2 = ctx.phi2[i] * core::kDegToRad;
    ctx.ODF[i] = 1 + 0.8L * std::cos(a) * std::cos(a) + 0.3L * std::cos(a1 + a2) * std::sin(a);
  }
  ctx.ODFNUMP = texture::kODFNodeCount;
  ctx.UseODF = true;
  return ctx;
}

TwinTask Task(const std::string& c1, const std::string& c2, const std::string& c3) {
  const TwinTaskRead r = ReadTwinTask(c1, c2, c3, 1);
  EXPECT_TRUE(r.task.has_value()) << r.error.Describe();
  return r.task.value_or(TwinTask{});
}

TEST(TwinFractions, StartUpRowsShareTheWindowFractionButNotTheTwinFraction) {
  const core::OrientationsRec ctx = TexturedContext();
  const TwinFractionResult a =
      TwinFractions(ctx, Task("0 0, 0 0 2", "-1 0 2, 1 0 1", "0 355 70 90"));
  const TwinFractionResult b =
      TwinFractions(ctx, Task("0 0, 0 0 2", "1 0 1, 1 0 -2", "0 355 70 90"));
  ASSERT_TRUE(a.hasFractions && b.hasFractions);
  EXPECT_EQ(a.fraction, b.fraction);
  EXPECT_GT(a.fraction, 0);
  EXPECT_GT(std::fabs(a.twinFraction - b.twinFraction), 1e-3);
  EXPECT_NE(a.twinAngle, b.twinAngle);
}

TEST(TwinFractions, EmptyWindowAndMissingODF) {
  const core::OrientationsRec ctx = TexturedContext();
  // A task made in code may hold a window without directions; a read one is refused.
  TwinTask reversed = Task("0 0, 0 0 2", "-1 0 2, 1 0 1", "0 355 70 90");
  reversed.window[0] = 355;
  reversed.window[1] = 0;
  const TwinFractionResult r = TwinFractions(ctx, reversed);
  ASSERT_TRUE(r.hasFractions);
  EXPECT_EQ(r.fraction, 0);
  EXPECT_EQ(r.twinFraction, 0);
  EXPECT_GT(r.twinAngle, 0);  // from the habit plane alone

  core::OrientationsRec none;
  none.Cryst = Hexagonal();
  const TwinFractionResult n = TwinFractions(none, reversed);
  EXPECT_FALSE(n.hasFractions);
  EXPECT_NEAR(n.twinAngle, r.twinAngle, 1e-15);
}

TEST(ReadTwinTask, NamesTheCellThatIsNoNumberOrNoPlane) {
  struct Case {
    const char *c1, *c2, *c3;
    int column;
    const char* says;
  };
  for (const Case& c : {Case{"0 x, 0 0 2", "1 0 1, 1 0 -2", "0 355 70 90", 1, "\"x\""},
                        Case{"0 0, 0 0 2", "1 0 1, 1 0", "0 355 70 90", 2, "missing"},
                        Case{"0 0, 0 0 2", "1 0 1, 1 0 -2", "0 355 70", 3, "missing"},
                        Case{"0 0, 0 0 0", "1 0 1, 1 0 -2", "0 355 70 90", 1, "no lattice"},
                        Case{"0 0, 0 0 2", "0 0 0, 1 0 -2", "0 355 70 90", 2, "no lattice"},
                        Case{"0 0, 0 0 2", "1 0 1, 1 0 -2", "355 0 70 90", 3,
                             "the window's phi start 355 lies beyond its end 0"},
                        Case{"0 0, 0 0 2", "1 0 1, 1 0 -2", "0 355 90 70", 3,
                             "the window's psi start 90 lies beyond its end 70"}}) {
    const TwinTaskRead r = ReadTwinTask(c.c1, c.c2, c.c3, 4);
    EXPECT_FALSE(r.task);
    EXPECT_EQ(r.error.line, 4);
    EXPECT_EQ(r.error.column, c.column);
    EXPECT_NE(r.error.message.find(c.says), std::string::npos) << r.error.message;
  }
}

}  // namespace
}  // namespace polydec::special
