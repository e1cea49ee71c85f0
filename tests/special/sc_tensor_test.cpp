// The single-crystal stiffness in a frame of two crystal directions, and its average about z.
#include "special/sc_tensor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/voigt.h"
#include "crystal/lattice.h"
#include "support/stiffness.h"

namespace polydec::special {
namespace {

constexpr Real kTol = 1e-12;  // GPa; rounding of 80-bit sums over products of order 1e2

Tensor4 CubicTensor() {
  Tensor4 C;
  core::CijklToTensor(test::Cubic(237, 141, 116), C);
  return C;
}

core::CrystalData CubicCell() {
  core::CrystalData c;
  c.AxisSetting = 1;
  crystal::InitCrystal(c);
  return c;
}

SCTensorInputs Inputs(const Tensor4& C, Real turn, Tensor1 x, Tensor1 z, bool iso = false) {
  SCTensorInputs in;
  in.Lr = C;
  in.cell = CubicCell();
  in.turnDegrees = turn;
  in.xDirection = x;
  in.zDirection = z;
  in.transverselyIsotropic = iso;
  return in;
}

void ExpectTensorsNear(const Tensor4& a, const Tensor4& b, Real tol) {
  for (int i = 0; i < 81; ++i) EXPECT_NEAR(a.e[i], b.e[i], tol) << "entry " << i;
}

TEST(SingleCrystalTensorInFrame, CubicCrystalInCubeFrames) {
  const Tensor4 C = CubicTensor();
  for (Real turn : {0.0L, 90.0L, -180.0L}) {
    const SCTensorResult r = SingleCrystalTensorInFrame(Inputs(C, turn, {{1, 0, 0}}, {{0, 0, 1}}));
    ASSERT_EQ(r.error, "");
    ExpectTensorsNear(r.C, C, kTol);
  }
  // <110> along x: 45 degrees about z.
  const SCTensorResult r = SingleCrystalTensorInFrame(Inputs(C, 0, {{1, 1, 0}}, {{0, 0, 1}}));
  ASSERT_EQ(r.error, "");
  EXPECT_NEAR(r.C(1, 1, 1, 1), (237 + 141 + 2 * 116) / 2.0L, kTol);
  EXPECT_NEAR(r.C(3, 3, 3, 3), 237, kTol);
}

// A triclinic tensor (all 21 constants different) in a general orthonormal frame agrees with
// the literal eightfold sum C'ijkl = sum Ppi Pqj Prk Psl Cpqrs, P the frame's columns.
TEST(SingleCrystalTensorInFrame, TriclinicTensorMatchesAnIndependentRotation) {
  core::CijklVector v{};
  for (int k = 1; k <= 21; ++k) v[static_cast<std::size_t>(k)] = 10 + 7 * k + (k % 4) * 3.5L;
  Tensor4 C;
  core::CijklToTensor(v, C);
  const Real turn = 37;
  const SCTensorResult r = SingleCrystalTensorInFrame(Inputs(C, turn, {{1, 2, -1}}, {{1, 0, 1}}));
  ASSERT_EQ(r.error, "");

  // Frame columns built by hand: x = (1,2,-1)/sqrt6, z = (1,0,1)/sqrt2, y = z x x, each then
  // turned by +turn about the crystal z axis.
  const Real s6 = std::sqrt(6.0L), s2 = std::sqrt(2.0L);
  const Real x[3] = {1 / s6, 2 / s6, -1 / s6}, z[3] = {1 / s2, 0, 1 / s2};
  const Real y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2],
                     z[0] * x[1] - z[1] * x[0]};
  const Real t = turn * core::kDegToRad, c = std::cos(t), s = std::sin(t);
  const Real* axes[3] = {x, y, z};
  Real P[3][3];
  for (int col = 0; col < 3; ++col) {
    P[0][col] = c * axes[col][0] - s * axes[col][1];
    P[1][col] = s * axes[col][0] + c * axes[col][1];
    P[2][col] = axes[col][2];
  }
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) {
          Real sum = 0;
          for (int p = 1; p <= 3; ++p)
            for (int q = 1; q <= 3; ++q)
              for (int rr = 1; rr <= 3; ++rr)
                for (int ss = 1; ss <= 3; ++ss)
                  sum += P[p - 1][i - 1] * P[q - 1][j - 1] * P[rr - 1][k - 1] * P[ss - 1][l - 1] *
                         C(p, q, rr, ss);
          EXPECT_NEAR(r.C(i, j, k, l), sum, kTol) << i << j << k << l;
        }
}

TEST(SingleCrystalTensorInFrame, TransverselyIsotropicResultHasFiveConstants) {
  const SCTensorResult r =
      SingleCrystalTensorInFrame(Inputs(CubicTensor(), 10, {{1, -1, 0}}, {{1, 1, 1}}, true));
  ASSERT_EQ(r.error, "");
  const Tensor4& C = r.C;
  EXPECT_NEAR(C(1, 1, 1, 1), C(2, 2, 2, 2), kTol);
  EXPECT_NEAR(C(1, 1, 3, 3), C(2, 2, 3, 3), kTol);
  EXPECT_NEAR(C(1, 3, 1, 3), C(2, 3, 2, 3), kTol);
  EXPECT_NEAR(C(1, 2, 1, 2), (C(1, 1, 1, 1) - C(1, 1, 2, 2)) / 2, kTol);
  for (const auto& e :
       {C(1, 1, 1, 2), C(1, 1, 1, 3), C(1, 1, 2, 3), C(3, 3, 1, 2), C(2, 2, 1, 3), C(3, 3, 2, 3)})
    EXPECT_NEAR(e, 0, kTol);
}

TEST(SingleCrystalTensorInFrame, RefusesFramesThatAreNoRotation) {
  const Tensor4 C = CubicTensor();
  struct Case {
    Tensor1 x, z;
    const char* says;
  };
  for (const Case& c : {Case{{{1, 1, 0}}, {{1, 0, 1}}, "not perpendicular"},
                        Case{{{0, 0, 2}}, {{0, 0, 1}}, "not perpendicular"},
                        Case{{{0, 0, 0}}, {{0, 0, 1}}, "zero vector"},
                        Case{{{1, 0, 0}}, {{0, 0, 0}}, "zero vector"}}) {
    const SCTensorResult r = SingleCrystalTensorInFrame(Inputs(C, 0, c.x, c.z));
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
  }
}

// The average about z against its closed form, on a tensor without any symmetry.
TEST(AverageAboutZ, EqualsTheFixedLinearMap) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  Tensor4 T;
  for (Real& e : T.e) e = u(rng);
  Tensor4 A = T;
  AverageAboutZ(A);
  const auto t = [&T](int i, int j, int k, int l) { return T(i, j, k, l); };
  constexpr Real kEps = 1e-17;
  EXPECT_NEAR(A(1, 1, 1, 1),
              3.0L / 8 * (t(1, 1, 1, 1) + t(2, 2, 2, 2)) +
                  1.0L / 8 *
                      (t(1, 1, 2, 2) + t(2, 2, 1, 1) + t(1, 2, 1, 2) + t(1, 2, 2, 1) +
                       t(2, 1, 1, 2) + t(2, 1, 2, 1)),
              kEps);
  EXPECT_NEAR(A(1, 1, 2, 2),
              1.0L / 8 * (t(1, 1, 1, 1) + t(2, 2, 2, 2)) +
                  3.0L / 8 * (t(1, 1, 2, 2) + t(2, 2, 1, 1)) -
                  1.0L / 8 * (t(1, 2, 1, 2) + t(1, 2, 2, 1) + t(2, 1, 1, 2) + t(2, 1, 2, 1)),
              kEps);
  EXPECT_NEAR(
      A(1, 2, 1, 2),
      1.0L / 8 * (t(1, 1, 1, 1) + t(2, 2, 2, 2)) - 1.0L / 8 * (t(1, 1, 2, 2) + t(2, 2, 1, 1)) +
          3.0L / 8 * (t(1, 2, 1, 2) + t(2, 1, 2, 1)) - 1.0L / 8 * (t(1, 2, 2, 1) + t(2, 1, 1, 2)),
      kEps);
  EXPECT_NEAR(A(1, 1, 3, 3), 0.5L * (t(1, 1, 3, 3) + t(2, 2, 3, 3)), kEps);
  EXPECT_NEAR(A(3, 3, 3, 3), t(3, 3, 3, 3), kEps);
  // Terms with an odd number of in-plane indices average out.
  EXPECT_NEAR(A(1, 1, 1, 3), 0, kEps);
  EXPECT_NEAR(A(1, 3, 3, 3), 0, kEps);
}

}  // namespace
}  // namespace polydec::special
