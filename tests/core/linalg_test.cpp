#include "core/linalg.h"

#include <gtest/gtest.h>

#include <cmath>

namespace polydec::core {
namespace {

Tensor2 Diag(Real a, Real b, Real c) {
  Tensor2 t;
  t(1, 1) = a;
  t(2, 2) = b;
  t(3, 3) = c;
  return t;
}

TEST(Linalg, Invert3x3) {
  Tensor2 r;
  Invert3x3(Diag(1, 1, 1), r);
  EXPECT_EQ(r, Diag(1, 1, 1));
  Invert3x3(Diag(2, 4, 8), r);
  EXPECT_EQ(r, Diag(0.5L, 0.25L, 0.125L));
  Tensor2 singular;
  singular(1, 1) = singular(1, 2) = singular(2, 1) = singular(2, 2) = 1;
  singular(3, 3) = 5;
  Tensor2 untouched = Diag(7, 7, 7);
  Invert3x3(singular, untouched);
  EXPECT_EQ(untouched, Diag(7, 7, 7));
}

TEST(Linalg, InvertGeneralMatrixGivesIdentity) {
  Tensor2 a;
  const Real v[9] = {2, -1, 0.5L, 3, 4, -2, 1, 0, 5};
  for (int n = 0; n < 9; ++n) a.e[n] = v[n];
  Tensor2 inv, prod;
  Invert3x3(a, inv);
  MatMul3x3(a, inv, prod);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(prod(i, j), i == j, 1e-17L);
}

TEST(Linalg, PowerConventions) {
  struct Case {
    Real base, exponent, expected;
  };
  for (const Case& c : {Case{-2, 3, -8}, Case{-2, 2, 4}, Case{0, 0, 0}, Case{5, 0, 1},
                        Case{0, 3, 0}, Case{4, 0.5L, 2}, Case{-3, -1, -1.0L / 3}}) {
    EXPECT_NEAR(Power(c.base, c.exponent), c.expected, 1e-17L) << c.base << "^" << c.exponent;
  }
}

TEST(Linalg, ArcCosine) {
  EXPECT_EQ(ArcCosine(0), kPi / 2);
  EXPECT_EQ(ArcCosine(1), 0);
  EXPECT_NEAR(ArcCosine(-1), kPi, 1e-18L);
  EXPECT_NEAR(ArcCosine(0.5L), kPi / 3, 1e-18L);
}

TEST(Linalg, VectorAngle) {
  Tensor1 zero, x, y;
  x(1) = 1;
  y(2) = 3;
  EXPECT_EQ(VectorAngle(zero, x), 0);
  EXPECT_NEAR(VectorAngle(x, y), kPi / 2, 1e-18L);
  EXPECT_EQ(VectorAngle(x, x), 0);
}

TEST(Linalg, RotateTensor2WithIdentityReturnsInput) {
  Tensor2 t;
  for (int n = 0; n < 9; ++n) t.e[n] = n * 1.25L - 3;
  Tensor2 x;
  RotateTensor2(Diag(1, 1, 1), t, x);
  EXPECT_EQ(x, t);
}

TEST(Linalg, GaussJordanPivotsAndInverts) {
  FloatMat a{};
  FloatVec b{};
  a[1][2] = 1;
  a[2][1] = 1;
  b[1] = 2;
  b[2] = 3;
  ASSERT_TRUE(GaussJordan(a, 2, b));
  EXPECT_EQ(b[1], 3);
  EXPECT_EQ(b[2], 2);
  EXPECT_EQ(a[1][1], 0);
  EXPECT_EQ(a[1][2], 1);
  EXPECT_EQ(a[2][1], 1);
  EXPECT_EQ(a[2][2], 0);
}

TEST(Linalg, GaussJordanReportsSingularMatrix) {
  FloatMat a{};
  FloatVec b{};
  a[1][1] = a[1][2] = a[2][1] = a[2][2] = 1;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(GaussJordan(a, 2, b));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Matrix singulaer  at"), std::string::npos);
}

TEST(Linalg, LUSolvesPermutedSystem) {
  // Needs a row exchange at the first column.
  const Real m[3][3] = {{0, 2, 1}, {1, 1, 1}, {4, -1, 3}};
  const Real x[3] = {1.5L, -2, 0.25L};
  FloatMat a{};
  FloatVec b{};
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) {
      a[i][j] = m[i - 1][j - 1];
      b[i] += m[i - 1][j - 1] * x[j - 1];
    }
  }
  IntVec indx{};
  LUDecompose(a, indx, 3);
  EXPECT_EQ(indx[1], 3);
  LUSolve(a, indx, b, 3);
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(b[i], x[i - 1], 1e-17L);
}

TEST(Linalg, ClockAdvances) {
  const Int t0 = ReadClock();
  EXPECT_GE(ReadClock() - t0, 0);
}

}  // namespace
}  // namespace polydec::core
