#include "texture/orientation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "core/linalg.h"

namespace polydec::texture {
namespace {

using core::EulerAnglesRec;
using core::kPi;
using core::Tensor1;
using core::Tensor2;

// Products and sums of a few 80-bit terms of magnitude <= 1 round to a few 1e-19.
constexpr Real kMatrixTol = 1e-17L;

Tensor2 Mul(const Tensor2& a, const Tensor2& b) {
  Tensor2 r;
  core::MatMul3x3(a, b, r);
  return r;
}

Tensor2 Transposed(const Tensor2& a) {
  Tensor2 r;
  core::Transpose3x3(a, r);
  return r;
}

Real MaxDifference(const Tensor2& a, const Tensor2& b) {
  Real d = 0;
  for (std::size_t k = 0; k < 9; ++k) d = std::max(d, std::fabs(a.e[k] - b.e[k]));
  return d;
}

Tensor2 Identity() { return Tensor2{{1, 0, 0, 0, 1, 0, 0, 0, 1}}; }

// Passive rotation of the frame about Z by a.
Tensor2 FrameRotationZ(Real a) {
  return Tensor2{{std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1}};
}
Tensor2 FrameRotationX(Real a) {
  return Tensor2{{1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a)}};
}

Tensor1 Apply(const Tensor2& m, const Tensor1& v) {
  Tensor1 r;
  core::MatVec3x3(m, v, r);
  return r;
}

const std::vector<std::array<Real, 3>> kAngles = {
    {0.3L, 0.7L, 1.1L},    {2.5L, 1.9L, 4.0L}, {5.9L, 0.01L, 3.3L}, {1.0L, 3.1L, 0.2L},
    {4.4L, 1.5708L, 6.2L}, {3.2L, 2.2L, 0.0L}, {0.0L, 0.4L, 5.0L},
};

TEST(EulerToMatrix, IsTheBungeProductOfThreeFrameRotations) {
  for (const auto& [p1, P, p2] : kAngles) {
    const Tensor2 g = EulerToMatrix(p1, P, p2);
    const Tensor2 bunge = Mul(FrameRotationZ(p2), Mul(FrameRotationX(P), FrameRotationZ(p1)));
    EXPECT_LT(MaxDifference(g, bunge), kMatrixTol);
    EXPECT_LT(MaxDifference(Mul(g, Transposed(g)), Identity()), kMatrixTol);
    EXPECT_NEAR(core::Determinant3x3(g), 1.0L, kMatrixTol);
    // The sample normal seen from the crystal: (sin phi2 sin Phi, cos phi2 sin Phi, cos Phi).
    const Tensor1 nd = Apply(g, Tensor1{{0, 0, 1}});
    EXPECT_NEAR(nd(1), std::sin(p2) * std::sin(P), kMatrixTol);
    EXPECT_NEAR(nd(2), std::cos(p2) * std::sin(P), kMatrixTol);
    EXPECT_NEAR(nd(3), std::cos(P), kMatrixTol);
    EXPECT_LT(MaxDifference(EulerToInverseMatrix(p1, P, p2), Transposed(g)), kMatrixTol);
  }
  EXPECT_EQ(EulerToMatrix(0, 0, 0), Identity());
  // A quarter turn of the crystal about Z: its X axis lies along sample Y.
  const Tensor2 q = EulerToMatrix(kPi / 2, 0, 0);
  EXPECT_EQ(q(1, 2), 1);
  EXPECT_EQ(q(2, 1), -1);
  EXPECT_EQ(q(3, 3), 1);
  EXPECT_NEAR(q(1, 1), 0, 1e-19L);
  EXPECT_NEAR(q(2, 2), 0, 1e-19L);
}

TEST(QuadrantArcTan, CoversAllQuadrantsAndAxes) {
  struct Case {
    Real x, y, expected;
  };
  const std::vector<Case> cases = {
      {1, 0, 0},         {-1, 0, -kPi},        {0, 0, 0},
      {-0.0L, 0, 0},     {0, 2, kPi / 2},      {0, -2, -kPi / 2},
      {1, 1, kPi / 4},   {-1, 1, 3 * kPi / 4}, {-1, -1, -3 * kPi / 4},
      {1, -1, -kPi / 4},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(QuadrantArcTan(c.x, c.y), c.expected, 1e-18L) << c.x << ", " << c.y;
}

// FastMatrixToEuler of a whole matrix, as extended angles.
EulerAnglesRec Fast(const Tensor2& g) {
  const auto d = [&](int i, int j) { return static_cast<double>(g(i, j)); };
  const EulerAnglesDouble e =
      FastMatrixToEuler({d(1, 1), d(1, 2), d(1, 3), d(2, 3), d(3, 1), d(3, 2), d(3, 3)});
  return {e.phi1, e.phi, e.phi2};
}

// Both conversions: the exact one to a few ulps of the trigonometric round trip, the fast one
// to a few ulps of double.
TEST(MatrixToEuler, InvertsEulerToMatrixIncludingDegenerateCases) {
  struct Case {
    Real p1, P, p2, e1, eP, e2;
  };
  const Real d = kPi / 180;
  const std::vector<Case> cases = {
      {0.3L, 0.7L, 1.1L, 0.3L, 0.7L, 1.1L},
      {2.5L, 1.9L, 4.0L, 2.5L, 1.9L, 4.0L},
      {5.9L, 0.01L, 3.3L, 5.9L, 0.01L, 3.3L},
      {1.0L, 3.1L, 0.2L, 1.0L, 3.1L, 0.2L},
      {0, kPi / 2, 0, 0, kPi / 2, 0},
      {kPi, kPi / 2, kPi, kPi, kPi / 2, kPi},
      // Phi = 0: only phi1 + phi2 is defined.
      {30 * d, 0, 40 * d, 70 * d, 0, 0},
      {300 * d, 0, 100 * d, 40 * d, 0, 0},
      {0, 0, 0, 0, 0, 0},
      // Phi = 180 degrees: only phi1 - phi2 is defined.
      {100 * d, kPi, 40 * d, 60 * d, kPi, 0},
      {40 * d, kPi, 100 * d, 300 * d, kPi, 0},
      // -pi from QuadrantArcTan becomes pi.
      {kPi, 0, 0, kPi, 0, 0},
  };
  for (const bool fast : {false, true})
    for (const Case& c : cases) {
      const Tensor2 g = EulerToMatrix(c.p1, c.P, c.p2);
      const EulerAnglesRec e = fast ? Fast(g) : MatrixToEuler(g);
      const Real tol = fast ? 4e-15L : 1e-15L;
      SCOPED_TRACE(::testing::Message()
                   << (fast ? "fast " : "") << c.p1 << " " << c.P << " " << c.p2);
      EXPECT_NEAR(e.phi1, c.e1, tol);
      EXPECT_NEAR(e.phi, c.eP, tol);
      EXPECT_NEAR(e.phi2, c.e2, tol);
      EXPECT_GE(e.phi1, 0);
      EXPECT_LT(e.phi1, 2 * kPi);
      EXPECT_GE(e.phi2, 0);
      EXPECT_LT(e.phi2, 2 * kPi);
    }
  for (const EulerAnglesRec& id : {MatrixToEuler(Identity()), Fast(Identity())}) {
    EXPECT_EQ(id.phi1, 0);
    EXPECT_EQ(id.phi, 0);
    EXPECT_EQ(id.phi2, 0);
    EXPECT_FALSE(std::signbit(id.phi1) || std::signbit(id.phi) || std::signbit(id.phi2));
  }
}

// Away from the poles the fast angles follow the exact ones over the whole of Euler space.
TEST(FastMatrixToEuler, AgreesWithMatrixToEuler) {
  Real worst = 0;
  for (int i1 = 0; i1 < 37; ++i1)
    for (int i = 1; i < 18; ++i)
      for (int i2 = 0; i2 < 37; ++i2) {
        const Tensor2 g = EulerToMatrix(0.17L * i1 + 0.01L, 0.18L * i, 0.17L * i2 + 0.02L);
        const EulerAnglesRec exact = MatrixToEuler(g), fast = Fast(g);
        for (const Real d : {exact.phi1 - fast.phi1, exact.phi - fast.phi, exact.phi2 - fast.phi2})
          worst = std::fmax(worst, std::fabs(d));
      }
  EXPECT_LT(worst, 4e-15L);
}

TEST(MatrixToEuler, ToleratesRoundingOfProductsNearTheDegenerateAxis) {
  // |g33| a hair above 1 gives Phi = 0 or pi, not NaN.
  Tensor2 up = EulerToMatrix(0.4L, 0, 0);
  up(3, 3) = 1 + 1e-18L;
  Tensor2 down = EulerToMatrix(0.4L, kPi, 0);
  down(3, 3) = -1 - 1e-18L;
  EXPECT_EQ(MatrixToEuler(up).phi, 0);
  EXPECT_NEAR(MatrixToEuler(up).phi1, 0.4L, 1e-15L);
  EXPECT_NEAR(MatrixToEuler(down).phi, kPi, 1e-15L);

  // g33 one ulp below 1 with rounding noise in g13, g23, g31, g32: the rotation about Z must
  // survive rather than be split into two arbitrary angles.
  Tensor2 noisy = EulerToMatrix(0.5L, 0, 0);
  noisy(3, 3) = std::nextafter(Real{1}, Real{0});
  noisy(1, 3) = 2e-19L;
  noisy(2, 3) = -1e-19L;
  noisy(3, 1) = -3e-19L;
  noisy(3, 2) = 1e-19L;
  const EulerAnglesRec e = MatrixToEuler(noisy);
  EXPECT_LT(MaxDifference(EulerToMatrix(e.phi1, e.phi, e.phi2), noisy), 1e-9L);

  // The fast conversion rounds these matrices to double: the same answers.
  EXPECT_EQ(Fast(up).phi, 0);
  EXPECT_NEAR(Fast(up).phi1, 0.4L, 1e-15L);
  EXPECT_NEAR(Fast(down).phi, kPi, 1e-15L);
  const EulerAnglesRec f = Fast(noisy);
  EXPECT_LT(MaxDifference(EulerToMatrix(f.phi1, f.phi, f.phi2), noisy), 1e-9L);
}

struct TableCase {
  const char* name;
  OperatorTable table;
  int size;
};

// Finds m in the table; returns its 1-based position or 0.
int Position(const OperatorTable& t, const Tensor2& m) {
  for (int n = 1; n <= t.Size(); ++n)
    if (MaxDifference(t(n), m) < kMatrixTol) return n;
  return 0;
}

void ExpectGroup(const OperatorTable& t, const std::string& name) {
  EXPECT_EQ(t(1), Identity()) << name;
  for (int a = 1; a <= t.Size(); ++a) {
    EXPECT_LT(MaxDifference(Mul(t(a), Transposed(t(a))), Identity()), kMatrixTol) << name << a;
    EXPECT_NEAR(core::Determinant3x3(t(a)), 1, kMatrixTol) << name << a;
    EXPECT_EQ(Position(t, t(a)), a) << name << ": entry " << a << " repeats";
    for (int b = 1; b <= t.Size(); ++b)
      EXPECT_NE(Position(t, Mul(t(a), t(b))), 0) << name << ": " << a << " * " << b;
  }
}

TEST(SymmetryOperators, EveryTableAndSelectionIsAGroupOfTheStatedOrder) {
  const std::vector<TableCase> tables = {
      {"cubic", CubicOperators(), 24},          {"hexagonal", HexagonalOperators(), 12},
      {"tetragonal", TetragonalOperators(), 8}, {"orthorhombic", OrthorhombicOperators(), 4},
      {"twofold Z", TwofoldZOperators(), 2},    {"twofold Y", TwofoldYOperators(), 2},
  };
  for (const TableCase& c : tables) {
    EXPECT_EQ(c.table.Size(), c.size) << c.name;
    ExpectGroup(c.table, c.name);
  }
  const std::array<int, 11> crystalOrders = {1, 24, 12, 8, 4, 6, 3, 4, 2, 2, 1};
  for (int sys = 0; sys <= 10; ++sys) {
    EXPECT_EQ(CrystalOperators(static_cast<polydec::CrystalClass>(sys)).Size(),
              crystalOrders[static_cast<std::size_t>(sys)]);
    ExpectGroup(CrystalOperators(static_cast<polydec::CrystalClass>(sys)),
                "crystal class " + std::to_string(sys));
  }
  const std::array<int, 11> sampleOrders = {1, 1, 1, 1, 1, 1, 1, 4, 2, 2, 1};
  for (int sym = 0; sym <= 10; ++sym) {
    EXPECT_EQ(SampleOperators(static_cast<polydec::SampleSymmetry>(sym)).Size(),
              sampleOrders[static_cast<std::size_t>(sym)]);
    ExpectGroup(SampleOperators(static_cast<polydec::SampleSymmetry>(sym)),
                "sample symmetry " + std::to_string(sym));
  }
  EXPECT_EQ(SampleOperators(static_cast<polydec::SampleSymmetry>(8))(2), TwofoldYOperators()(2));
  EXPECT_EQ(SampleOperators(static_cast<polydec::SampleSymmetry>(9))(2), TwofoldZOperators()(2));
  EXPECT_EQ(CrystalOperators(static_cast<polydec::CrystalClass>(8))(2), TwofoldYOperators()(2));
  EXPECT_EQ(CrystalOperators(static_cast<polydec::CrystalClass>(9))(2), TwofoldZOperators()(2));
}

TEST(SymmetryOperators, TablesKeepTheirFixedOrder) {
  // Images of (1, 2, 3), entry by entry.
  const std::vector<std::array<int, 3>> cubic = {
      {1, 2, 3},  {-1, 2, -3}, {-1, -2, 3},  {1, -2, -3}, {-2, -1, -3}, {2, -1, 3},
      {2, 1, -3}, {-2, 1, 3},  {2, 3, 1},    {-2, 3, -1}, {-2, -3, 1},  {2, -3, -1},
      {3, 1, 2},  {-3, 1, -2}, {-3, -1, 2},  {3, -1, -2}, {-3, -2, -1}, {3, -2, 1},
      {3, 2, -1}, {-3, 2, 1},  {-1, -3, -2}, {1, -3, 2},  {1, 3, -2},   {-1, 3, 2}};
  const std::vector<std::array<int, 3>> tetragonal = {{1, 2, 3},  {-1, -2, 3}, {2, -1, 3},
                                                      {-2, 1, 3}, {-1, 2, -3}, {1, -2, -3},
                                                      {2, 1, -3}, {-2, -1, -3}};
  const std::vector<std::array<int, 3>> orthorhombic = {
      {1, 2, 3}, {-1, -2, 3}, {1, -2, -3}, {-1, 2, -3}};
  const auto check = [](const OperatorTable& t, const std::vector<std::array<int, 3>>& images) {
    ASSERT_EQ(t.Size(), static_cast<int>(images.size()));
    for (int n = 1; n <= t.Size(); ++n) {
      const Tensor1 r = Apply(t(n), Tensor1{{1, 2, 3}});
      for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(r(i), images[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(i - 1)])
            << "entry " << n;
    }
  };
  check(CubicOperators(), cubic);
  check(TetragonalOperators(), tetragonal);
  check(OrthorhombicOperators(), orthorhombic);

  // Hexagonal: turns about Z by 0, 120, 240, 60, 180, 300 degrees (as frame rotations), then
  // twofold axes normal to Z.
  const std::array<Real, 6> turns = {0, 120, 240, 60, 180, 300};
  const OperatorTable hex = HexagonalOperators();
  for (int n = 1; n <= 6; ++n)
    EXPECT_LT(
        MaxDifference(hex(n), FrameRotationZ(turns[static_cast<std::size_t>(n - 1)] * kPi / 180)),
        kMatrixTol)
        << n;
  for (int n = 7; n <= 12; ++n) {
    EXPECT_EQ(hex(n)(3, 3), -1) << n;
    EXPECT_NEAR(hex(n)(1, 1) + hex(n)(2, 2), 0, kMatrixTol) << n;  // trace -1: a half turn
  }
  EXPECT_EQ(hex(2)(1, 2), std::sqrt(Real{3}) / 2);
}

TEST(SymmetryOperators, IndexOutsideATableIsARangeError) {
  EXPECT_THROW(CubicOperators()(0), std::out_of_range);
  EXPECT_THROW(CubicOperators()(25), std::out_of_range);
  EXPECT_THROW(CrystalOperators(static_cast<polydec::CrystalClass>(4))(5), std::out_of_range);
  EXPECT_THROW(CrystalOperators(static_cast<polydec::CrystalClass>(11)), std::out_of_range);
  EXPECT_THROW(CrystalOperators(static_cast<polydec::CrystalClass>(-1)), std::out_of_range);
  EXPECT_THROW(SampleOperators(static_cast<polydec::SampleSymmetry>(11)), std::out_of_range);
  EXPECT_THROW(HKLPermutation(0, 1, 2, 3), std::out_of_range);
  EXPECT_THROW(HKLPermutation(25, 1, 2, 3), std::out_of_range);
}

TEST(FiberToEuler, BringsThePlaneNormalOntoTheMeasurementDirectionForEveryLamda) {
  struct Case {
    Real psi, phi, theta, beta;
  };
  const std::vector<Case> cases = {
      {0.4L, 1.2L, 0.9L, 0.3L},    {1.3L, 4.0L, 0.2L, 2.8L}, {0, 0.5L, 0.7L, 5.5L},
      {kPi / 2, 3.0L, kPi / 2, 0}, {2.9L, 0, 0, 1.0L},       {0.9L, 2.2L, kPi, 0.4L},
  };
  for (const Case& c : cases) {
    const Tensor1 m{
        {std::cos(c.phi) * std::sin(c.psi), std::sin(c.phi) * std::sin(c.psi), std::cos(c.psi)}};
    const Tensor1 n{{std::cos(c.beta) * std::sin(c.theta), std::sin(c.beta) * std::sin(c.theta),
                     std::cos(c.theta)}};
    Tensor2 previous{};
    for (int k = 0; k < 12; ++k) {
      const Real lamda = k * kPi / 6;
      const EulerAnglesRec e = FiberToEuler(c.psi, c.phi, c.theta, c.beta, lamda);
      const Tensor2 g = EulerToMatrix(e.phi1, e.phi, e.phi2);
      const Tensor1 gm = Apply(g, m);
      for (int i = 1; i <= 3; ++i)
        EXPECT_NEAR(gm(i), n(i), 1e-9L) << "lamda " << lamda << " component " << i;
      // Successive lamda differ by a 30-degree turn: trace of the relative rotation 1 + 2 cos.
      if (k > 0) {
        const Tensor2 r = Mul(g, Transposed(previous));
        EXPECT_NEAR(r(1, 1) + r(2, 2) + r(3, 3), 1 + 2 * std::cos(kPi / 6), 1e-9L);
      }
      previous = g;
    }
  }
}

TEST(FiberToEuler, NormalAndDirectionAlongZGiveARotationAboutZ) {
  const Real phi = 0.7L;
  for (int k = 0; k < 8; ++k) {
    const Real lamda = k * kPi / 4;
    const EulerAnglesRec e = FiberToEuler(0, phi, 0, 0, lamda);
    EXPECT_EQ(e.phi, 0);
    EXPECT_EQ(e.phi2, 0);
    EXPECT_NEAR(e.phi1, std::fmod(lamda + phi + kPi, 2 * kPi), 1e-15L) << lamda;
  }
}

// True when a = C b S for some crystal C and sample S of the given codes.
bool Equivalent(const Tensor2& a, const Tensor2& b, int sys, int sym) {
  for (const Tensor2& C : CrystalOperators(static_cast<polydec::CrystalClass>(sys)).entries)
    for (const Tensor2& S : SampleOperators(static_cast<polydec::SampleSymmetry>(sym)).entries)
      if (MaxDifference(a, Mul(Mul(C, b), S)) < 1e-12L) return true;
  return false;
}

TEST(SymmetryEquivalentInRegion, FindsAnEquivalentInsideTheRegion) {
  struct Case {
    int sys, sym;
    Real b1, b2, b3;
  };
  const std::vector<Case> cases = {
      {1, 7, 90, 90, 90},    {2, 7, 90, 90, 60},     {3, 10, 360, 90, 90},
      {9, 9, 180, 180, 180}, {6, 10, 360, 180, 120}, {7, 7, 90, 90, 180},
  };
  const Real d = kPi / 180;
  for (const Case& c : cases) {
    for (Real p1 = 3; p1 < 360; p1 += 37)
      for (Real P = 1; P <= 180; P += 19)
        for (Real p2 = 2; p2 < 360; p2 += 41) {
          EulerAnglesRec r{-1, -1, -1};
          ASSERT_TRUE(SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(c.sys),
                                                 static_cast<polydec::SampleSymmetry>(c.sym), p1, P,
                                                 p2, c.b1, c.b2, c.b3, r))
              << c.sys << "/" << c.sym << " at " << p1 << " " << P << " " << p2;
          const Real slack = 1e-5L / d;  // the search's tolerance, in degrees
          EXPECT_LE(r.phi1, c.b1 + slack);
          EXPECT_LE(r.phi, c.b2 + slack);
          EXPECT_LE(r.phi2, c.b3 + slack);
          EXPECT_TRUE(Equivalent(EulerToMatrix(r.phi1 * d, r.phi * d, r.phi2 * d),
                                 EulerToMatrix(p1 * d, P * d, p2 * d), c.sys, c.sym))
              << c.sys << "/" << c.sym << " at " << p1 << " " << P << " " << p2;
        }
  }
}

// The search written out plainly: every pair in table order, each product converted; degrees
// converted as x pi / 180 and x 180 / pi.
bool PlainSearch(int sys, int sym, Real p1, Real P, Real p2, Real b1, Real b2, Real b3,
                 EulerAnglesRec& r) {
  const auto rad = [](Real x) { return x * kPi / 180; };
  const Tensor2 g = EulerToMatrix(rad(p1), rad(P), rad(p2));
  for (const Tensor2& S : SampleOperators(static_cast<polydec::SampleSymmetry>(sym)).entries)
    for (const Tensor2& C : CrystalOperators(static_cast<polydec::CrystalClass>(sys)).entries) {
      const EulerAnglesRec e = MatrixToEuler(Mul(Mul(C, g), S));
      if (e.phi1 - 1e-5L <= rad(b1) && e.phi - 1e-5L <= rad(b2) && e.phi2 - 1e-5L <= rad(b3)) {
        r = {e.phi1 * 180 / kPi, e.phi * 180 / kPi, e.phi2 * 180 / kPi};
        return true;
      }
    }
  return false;
}

TEST(SymmetryEquivalentInRegion, AgreesWithThePlainSearchOnGridNodes) {
  // Grid nodes put many equivalents exactly on the region's faces and on Phi = 0 or 180, where
  // a shortcut in the search would show.
  struct Case {
    int sys, sym;
    Real b1, b2, b3;
  };
  const std::vector<Case> cases = {{1, 7, 90, 90, 90},
                                   {2, 7, 90, 90, 60},
                                   {5, 10, 360, 90, 60},
                                   {8, 8, 180, 90, 360},
                                   {1, 0, 360, 180, 90}};
  for (const Case& c : cases)
    for (int p1 = 0; p1 <= 360; p1 += 15)
      for (int P = 0; P <= 180; P += 15)
        for (int p2 = 0; p2 <= 360; p2 += 15) {
          EulerAnglesRec fast{-1, -1, -1}, plain{-1, -1, -1};
          const bool found = SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(c.sys),
                                                        static_cast<polydec::SampleSymmetry>(c.sym),
                                                        p1, P, p2, c.b1, c.b2, c.b3, fast);
          ASSERT_EQ(found, PlainSearch(c.sys, c.sym, p1, P, p2, c.b1, c.b2, c.b3, plain));
          EXPECT_EQ(fast.phi1, plain.phi1)
              << c.sys << "/" << c.sym << " " << p1 << " " << P << " " << p2;
          EXPECT_EQ(fast.phi, plain.phi);
          EXPECT_EQ(fast.phi2, plain.phi2);
        }
}

TEST(SymmetryEquivalentInRegion, TakesTheFirstPairInTableOrderOrReportsNone) {
  // Monoclinic crystal (twofold Z: phi2 + 180) and sample (twofold Z: phi1 + 180). With
  // sample operators outer, (200, 30, 20) comes before (20, 30, 20) and (20, 30, 200).
  EulerAnglesRec r;
  ASSERT_TRUE(SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(9),
                                         static_cast<polydec::SampleSymmetry>(9), 200, 30, 200, 360,
                                         180, 180, r));
  EXPECT_NEAR(r.phi1, 200, 1e-12L);
  EXPECT_NEAR(r.phi, 30, 1e-12L);
  EXPECT_NEAR(r.phi2, 20, 1e-12L);
  ASSERT_TRUE(SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(9),
                                         static_cast<polydec::SampleSymmetry>(9), 200, 30, 200, 180,
                                         180, 360, r));
  EXPECT_NEAR(r.phi1, 20, 1e-12L);
  EXPECT_NEAR(r.phi2, 200, 1e-12L);

  const EulerAnglesRec before{1, 2, 3};
  r = before;
  EXPECT_FALSE(SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(10),
                                          static_cast<polydec::SampleSymmetry>(10), 200, 30, 200,
                                          90, 90, 90, r));
  EXPECT_EQ(r.phi1, before.phi1);
  EXPECT_EQ(r.phi, before.phi);
  EXPECT_EQ(r.phi2, before.phi2);
}

TEST(HKLPermutation, ListsTheThreeArrangementsWithAllSigns) {
  const std::vector<std::array<int, 3>> expected = {
      {1, 2, 3},   {-1, 2, 3},   {1, -2, 3},  {1, 2, -3},   {1, -2, -3}, {-1, 2, -3},
      {-1, -2, 3}, {-1, -2, -3}, {2, 3, 1},   {-2, 3, 1},   {2, -3, 1},  {2, 3, -1},
      {-2, -3, 1}, {-2, 3, -1},  {2, -3, -1}, {-2, -3, -1}, {2, 1, 3},   {-2, 1, 3},
      {2, -1, 3},  {2, 1, -3},   {-2, -1, 3}, {-2, 1, -3},  {2, -1, -3}, {-2, -1, -3}};
  for (int n = 1; n <= 24; ++n) {
    const Tensor1 r = HKLPermutation(n, 1, 2, 3);
    for (int i = 1; i <= 3; ++i)
      EXPECT_EQ(r(i), expected[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(i - 1)])
          << "n = " << n;
  }
}

}  // namespace
}  // namespace polydec::texture
