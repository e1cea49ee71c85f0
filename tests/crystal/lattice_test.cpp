#include "crystal/lattice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/linalg.h"

namespace polydec::crystal {
namespace {

using core::kPi;

// Results pass through a few dozen 80-bit operations and trigonometric functions of angles
// that are not exact in binary; 1e-15 is far above that rounding and far below any fault.
constexpr Real kTol = 1e-15L;

CrystalData Cell(Real a, Real b, Real c, Real alphaDeg, Real betaDeg, Real gammaDeg,
                 int setting = 0) {
  CrystalData C;
  C.a = a;
  C.b = b;
  C.c = c;
  C.alpha = alphaDeg * kPi / 180;
  C.beta = betaDeg * kPi / 180;
  C.gamma = gammaDeg * kPi / 180;
  C.AxisSetting = setting;
  InitCrystal(C);
  return C;
}

CrystalData Iron(int setting) { return Cell(2.866L, 2.866L, 2.866L, 90, 90, 90, setting); }
CrystalData Titanium(int setting) { return Cell(2.95L, 2.95L, 4.68L, 90, 90, 120, setting); }
// No two angles alike and none of them 90 degrees, so no frame coincides with another.
CrystalData Triclinic(int setting) { return Cell(5.1L, 6.3L, 7.4L, 81, 97, 105, setting); }

Real Dot(const Tensor1& u, const Tensor1& v) { return u(1) * v(1) + u(2) * v(2) + u(3) * v(3); }

Tensor1 Apply(const Tensor2& R, const Tensor1& v) {
  Tensor1 r;
  core::MatVec3x3(R, v, r);
  return r;
}

void ExpectVectorNear(const Tensor1& actual, const Tensor1& expected, Real tol) {
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(actual(i), expected(i), tol) << "component " << i;
}

// A Cartesian frame matrix of the cell must reproduce the metric: (R^T R)_ij = a_i · a_j.
void ExpectReproducesMetric(const CrystalData& C, const Tensor2& R) {
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      Real sum = 0;
      for (int k = 1; k <= 3; ++k) sum += R(k, i) * R(k, j);
      EXPECT_NEAR(sum, C.g(i, j), kTol * 100) << "metric entry " << i << j;
    }
  EXPECT_GT(core::Determinant3x3(R), 0) << "frame must be right-handed";
}

TEST(DSpacing, CubicAndHexagonalReflections) {
  const struct {
    CrystalData cell;
    Real h, k, l, d;
  } cases[] = {
      {Iron(0), 2, 1, 1, 2.866L / std::sqrt(6.0L)},         // 1.1700396...
      {Iron(0), 1, 1, 0, 2.866L / std::sqrt(2.0L)},         // 2.0265680...
      {Titanium(0), 1, 0, 0, 2.95L * std::sqrt(3.0L) / 2},  // 2.5547749...
      {Titanium(1), 0, 0, 2, 4.68L / 2},
  };
  for (const auto& t : cases) {
    const Real d = DSpacing(t.cell, t.h, t.k, t.l);
    EXPECT_NEAR(d, t.d, kTol * t.d) << t.h << t.k << t.l;
  }
  EXPECT_NEAR(DSpacing(Iron(1), 2, 1, 1), 1.1700396L, 1e-7L);
  EXPECT_NEAR(DSpacing(Iron(2), 1, 1, 0), 2.0265680L, 1e-7L);
  EXPECT_NEAR(DSpacing(Titanium(2), 1, 0, 0), 2.5547749L, 1e-7L);
}

TEST(DSpacing, ZeroIndicesAndUnsoundCellGiveZero) {
  EXPECT_EQ(DSpacing(Iron(0), 0, 0, 0), 0);
  // Angles that meet in a plane: the metric is singular or indefinite.
  CrystalData flat = Cell(3, 3, 3, 60, 60, 120);
  EXPECT_EQ(DSpacing(flat, 1, 0, 0), 0);
  CrystalData impossible = Cell(3, 3, 3, 30, 30, 90);
  EXPECT_EQ(DSpacing(impossible, 1, 1, 1), 0);
}

TEST(PlaneNormal, CubicCellIsTheSameInEverySetting) {
  for (int setting = 0; setting <= 2; ++setting) {
    SCOPED_TRACE("setting " + std::to_string(setting));
    const CrystalData C = Iron(setting);
    Tensor2 R;
    const Tensor1 n = PlaneNormal(C, 2, 1, 1, &R);
    const Real s6 = std::sqrt(6.0L);
    ExpectVectorNear(n, Tensor1{{2 / s6, 1 / s6, 1 / s6}}, kTol);
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) {
        EXPECT_NEAR(R(i, j), i == j ? 2.866L : 0, kTol * 2.866L) << i << j;
        EXPECT_NEAR(C.BMatrix(i, j), i == j ? 2.866L : 0, kTol * 2.866L) << i << j;
      }
  }
}

TEST(PlaneNormal, HexagonalCellFollowsTheSetting) {
  const Real r3 = std::sqrt(3.0L) / 2;
  const struct {
    int setting;
    Real h, k, l;
    Tensor1 normal;
  } cases[] = {
      {0, 1, 0, 0, {{r3, 0.5L, 0}}}, {2, 1, 0, 0, {{r3, 0.5L, 0}}}, {1, 1, 0, 0, {{1, 0, 0}}},
      {0, 0, 1, 0, {{0, 1, 0}}},     {2, 0, 1, 0, {{0, 1, 0}}},     {1, 0, 1, 0, {{0.5L, r3, 0}}},
      {0, 0, 0, 1, {{0, 0, 1}}},     {1, 0, 0, 1, {{0, 0, 1}}},     {2, 0, 0, 1, {{0, 0, 1}}},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE("setting " + std::to_string(t.setting) + " hkl " + std::to_string(int(t.h)) +
                 std::to_string(int(t.k)) + std::to_string(int(t.l)));
    ExpectVectorNear(PlaneNormal(Titanium(t.setting), t.h, t.k, t.l), t.normal, kTol);
  }
}

// The frame of the plane normals and the frame of BMatrix coincide for cells with a unique
// axis b and, for the hexagonal cell, only in setting 0.
TEST(PlaneNormal, FrameMatrixAgreesWithBMatrixWhereTheyShareAFrame) {
  const struct {
    CrystalData cell;
    bool same;
  } cases[] = {
      {Cell(5.1L, 6.3L, 7.4L, 90, 103, 90, 0), true},
      {Cell(5.1L, 6.3L, 7.4L, 90, 103, 90, 1), true},
      {Cell(5.1L, 6.3L, 7.4L, 90, 103, 90, 2), true},
      {Titanium(0), true},
      {Titanium(1), false},
      {Titanium(2), false},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE("setting " + std::to_string(t.cell.AxisSetting) + " gamma " +
                 std::to_string(double(t.cell.gamma)));
    Tensor2 R;
    PlaneNormal(t.cell, 1, 1, 1, &R);
    ExpectReproducesMetric(t.cell, R);
    ExpectReproducesMetric(t.cell, t.cell.BMatrix);
    Real maxDiff = 0;
    for (int i = 0; i < 9; ++i)
      maxDiff = std::fmax(maxDiff, std::fabs(R.e[i] - t.cell.BMatrix.e[i]));
    if (t.same)
      EXPECT_LT(maxDiff, 1e-14L);
    else
      EXPECT_GT(maxDiff, 0.1L);
  }
}

// In a triclinic cell nothing is aligned by accident. The normal must be a unit vector
// perpendicular to lattice vectors lying in the plane, pointing to the side where
// h·u + k·v + l·w > 0, at distance d from the origin for the lattice plane through such a point.
TEST(PlaneNormal, TriclinicNormalIsPerpendicularToThePlane) {
  const Real reflections[][3] = {{1, 0, 0},  {0, 1, 0},  {0, 0, 1}, {1, 2, 3},
                                 {-2, 1, 1}, {3, -1, 2}, {1, 1, 0}};
  for (int setting = 0; setting <= 2; ++setting) {
    const CrystalData C = Triclinic(setting);
    for (const auto& hkl : reflections) {
      const Real h = hkl[0], k = hkl[1], l = hkl[2];
      SCOPED_TRACE("setting " + std::to_string(setting) + " hkl " + std::to_string(int(h)) + " " +
                   std::to_string(int(k)) + " " + std::to_string(int(l)));
      Tensor2 R;
      const Tensor1 n = PlaneNormal(C, h, k, l, &R);
      ExpectReproducesMetric(C, R);
      EXPECT_NEAR(core::VectorNorm(n), 1, kTol);
      // [k,-h,0], [0,l,-k] and [-l,0,h] lie in the plane; at least two of them are nonzero.
      const Tensor1 inPlane[] = {{{k, -h, 0}}, {{0, l, -k}}, {{-l, 0, h}}};
      for (const auto& uvw : inPlane) {
        const Tensor1 r = Apply(R, uvw);
        if (core::VectorNorm(r) == 0) continue;
        EXPECT_NEAR(Dot(n, r) / core::VectorNorm(r), 0, 1e-14L);
      }
      // A lattice point on the first plane from the origin: h·u + k·v + l·w = 1.
      const Real q = h * h + k * k + l * l;
      const Tensor1 onPlane{{h / q, k / q, l / q}};
      EXPECT_NEAR(Dot(n, Apply(R, onPlane)), DSpacing(C, h, k, l), 1e-14L);
    }
  }
}

// Changing the setting rotates the Cartesian frame, so the angles between the normal and the
// cell edges, and the d-spacing, do not change.
TEST(PlaneNormal, TriclinicSettingsDifferByARotationOnly) {
  const Real h = 1, k = -2, l = 3;
  Real reference[4] = {};
  for (int setting = 0; setting <= 2; ++setting) {
    const CrystalData C = Triclinic(setting);
    Tensor2 R;
    const Tensor1 n = PlaneNormal(C, h, k, l, &R);
    Real values[4];
    const Tensor1 edges[] = {{{1, 0, 0}}, {{0, 1, 0}}, {{0, 0, 1}}};
    for (int i = 0; i < 3; ++i) {
      const Tensor1 r = Apply(R, edges[i]);
      values[i] = Dot(n, r) / core::VectorNorm(r);
    }
    values[3] = DSpacing(C, h, k, l);
    for (int i = 0; i < 4; ++i) {
      if (setting == 0)
        reference[i] = values[i];
      else
        EXPECT_NEAR(values[i], reference[i], 1e-14L) << "setting " << setting << " value " << i;
    }
  }
}

// The defining alignments of each setting, checked where nothing else would expose a swap.
TEST(PlaneNormal, TriclinicFramesHaveTheirDefiningAxes) {
  Tensor2 R;
  // Setting 0: a along X, b* along Y.
  PlaneNormal(Triclinic(0), 1, 0, 0, &R);
  EXPECT_GT(R(1, 1), 0);
  EXPECT_NEAR(R(2, 1), 0, 1e-15L);
  EXPECT_NEAR(R(3, 1), 0, 1e-15L);
  ExpectVectorNear(PlaneNormal(Triclinic(0), 0, 1, 0), Tensor1{{0, 1, 0}}, kTol);
  // Setting 1: a* along X, b along Y.
  ExpectVectorNear(PlaneNormal(Triclinic(1), 1, 0, 0, &R), Tensor1{{1, 0, 0}}, kTol);
  EXPECT_NEAR(R(1, 2), 0, 1e-15L);
  EXPECT_GT(R(2, 2), 0);
  EXPECT_NEAR(R(3, 2), 0, 1e-15L);
  // Setting 2: b* along Y, c along Z.
  ExpectVectorNear(PlaneNormal(Triclinic(2), 0, 1, 0, &R), Tensor1{{0, 1, 0}}, kTol);
  EXPECT_NEAR(R(1, 3), 0, 1e-15L);
  EXPECT_NEAR(R(2, 3), 0, 1e-15L);
  EXPECT_GT(R(3, 3), 0);
}

TEST(PlaneNormal, NoPlaneGivesTheZeroVectorNotNaN) {
  Tensor2 R;
  const Tensor1 none = PlaneNormal(Iron(1), 0, 0, 0, &R);
  EXPECT_EQ(none, Tensor1{});
  EXPECT_NEAR(R(1, 1), 2.866L, 1e-15L) << "the frame itself is still defined";

  const CrystalData unsound[] = {Cell(3, 3, 3, 60, 60, 120), Cell(3, 3, 3, 30, 30, 90),
                                 Cell(0, 3, 3, 90, 90, 90), Cell(3, 3, 3, 90, 0, 90)};
  for (const auto& C : unsound) {
    const Tensor1 n = PlaneNormal(C, 1, 1, 1, &R);
    EXPECT_EQ(n, Tensor1{});
    EXPECT_EQ(R, Tensor2{});
    const auto angles = HKLToPolarAngles(C, 1, 1, 1);
    EXPECT_FALSE(std::isnan(angles.phi) || std::isnan(angles.psi));
  }
}

TEST(HKLToPolarAngles, AzimuthAndPolarAngle) {
  const struct {
    CrystalData cell;
    Real h, k, l;
    Real azimuthDeg, polarDeg;
  } cases[] = {
      {Titanium(0), 0, 0, 1, 0, 0},  // normal along crystal Z
      {Titanium(2), 0, 0, 1, 0, 0},
      {Iron(0), 1, -1, 0, -45, 90},
      {Iron(1), -1, 1, 0, 135, 90},
      {Iron(0), 1, 1, 1, 45, std::acos(1 / std::sqrt(3.0L)) * 180 / kPi},
      {Titanium(1), 0, 1, 0, 60, 90},
  };
  for (const auto& t : cases) {
    const auto angles = HKLToPolarAngles(t.cell, t.h, t.k, t.l);
    EXPECT_NEAR(angles.phi * 180 / kPi, t.azimuthDeg, 1e-12L) << t.h << t.k << t.l;
    EXPECT_NEAR(angles.psi * 180 / kPi, t.polarDeg, 1e-12L) << t.h << t.k << t.l;
  }
}

TEST(DirectionToCartesian, LengthsAndAnglesOfTheLattice) {
  for (int setting = 0; setting <= 2; ++setting) {
    const CrystalData C = Triclinic(setting);
    ExpectReproducesMetric(C, C.BMatrix);
    const Tensor1 u{{1, -2, 3}}, v{{2, 1, -1}};
    const Tensor1 x = DirectionToCartesian(C, u(1), u(2), u(3));
    const Tensor1 y = DirectionToCartesian(C, v(1), v(2), v(3));
    EXPECT_NEAR(core::VectorNorm(x), LatticeLength(C, u), 1e-14L);
    EXPECT_NEAR(Dot(x, y), LatticeDot(C, u, v), 1e-13L);
  }
  // Setting 0: a along X, b in the X-Y plane; settings 1 and 2: c along Z.
  const CrystalData C0 = Triclinic(0);
  EXPECT_NEAR(C0.BMatrix(2, 1), 0, 1e-15L);
  EXPECT_NEAR(C0.BMatrix(3, 1), 0, 1e-15L);
  EXPECT_NEAR(C0.BMatrix(3, 2), 0, 1e-15L);
  for (int setting = 1; setting <= 2; ++setting) {
    const CrystalData C = Triclinic(setting);
    EXPECT_NEAR(C.BMatrix(1, 3), 0, 1e-15L);
    EXPECT_NEAR(C.BMatrix(2, 3), 0, 1e-15L);
    EXPECT_NEAR(C.BMatrix(3, 3), 7.4L, 1e-15L);
  }
}

// u × v is perpendicular to both factors and its length is |u||v| sin of their angle.
TEST(LatticeCross, PerpendicularWithTheRightLength) {
  const CrystalData C = Triclinic(0);
  const Tensor1 u{{1, 2, 0}}, v{{0, -1, 3}};
  const Tensor1 w = LatticeCross(C, u, v);
  EXPECT_NEAR(LatticeDot(C, w, u), 0, 1e-12L);
  EXPECT_NEAR(LatticeDot(C, w, v), 0, 1e-12L);
  const Real lu = LatticeLength(C, u), lv = LatticeLength(C, v), uv = LatticeDot(C, u, v);
  EXPECT_NEAR(LatticeLength(C, w), std::sqrt(lu * lu * lv * lv - uv * uv), 1e-12L);
  // Right-handed: a × b points to the side of c.
  EXPECT_GT(LatticeDot(C, LatticeCross(C, {{1, 0, 0}}, {{0, 1, 0}}), {{0, 0, 1}}), 0);
  EXPECT_NEAR(CellVolume(C), core::Determinant3x3(C.BMatrix), 1e-12L);
}

TEST(CheckCell, NamesTheFault) {
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  const Real inf = std::numeric_limits<Real>::infinity();
  const struct {
    Real a, b, c, alpha, beta, gamma;
    const char* fault;  // empty: sound
  } cases[] = {
      {2.866L, 2.866L, 2.866L, 90, 90, 90, ""},
      {2.95L, 2.95L, 4.68L, 90, 90, 120, ""},
      {5.1L, 6.3L, 7.4L, 81, 97, 105, ""},
      {3, 3, 3, 90, 90, 179.9L, ""},
      {3, 3, 3, 20, 20, 39.9L, ""},
      {0, 3, 3, 90, 90, 90, "edge a"},
      {3, -1, 3, 90, 90, 90, "edge b"},
      {3, 3, nan, 90, 90, 90, "edge c"},
      {3, 3, inf, 90, 90, 90, "edge c"},
      {3, 3, 3, 0, 90, 90, "angle alpha"},
      {3, 3, 3, 90, 180, 90, "angle beta"},
      {3, 3, 3, 90, 90, -30, "angle gamma"},
      {3, 3, 3, 90, 90, 200, "angle gamma"},
      {3, 3, 3, 60, 60, 120, "span no volume"},    // angles meet in a plane
      {3, 3, 3, 30, 30, 90, "span no volume"},     // gamma > alpha + beta
      {3, 3, 3, 120, 120, 130, "span no volume"},  // sum above 360
  };
  for (const auto& t : cases) {
    const std::string message = CheckCell(Cell(t.a, t.b, t.c, t.alpha, t.beta, t.gamma));
    SCOPED_TRACE(std::to_string(double(t.a)) + " " + std::to_string(double(t.b)) + " " +
                 std::to_string(double(t.c)) + " " + std::to_string(double(t.alpha)) + " " +
                 std::to_string(double(t.beta)) + " " + std::to_string(double(t.gamma)));
    if (std::string(t.fault).empty())
      EXPECT_EQ(message, "");
    else
      EXPECT_THAT(message, ::testing::HasSubstr(t.fault));
  }
}

}  // namespace
}  // namespace polydec::crystal
