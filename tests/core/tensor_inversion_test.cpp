#include "core/tensor_inversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/voigt.h"

namespace polydec::core {
namespace {

using DynMat = std::vector<std::vector<Real>>;

// Tensor from Voigt stiffness entries C_IJ (I <= J) given as {I, J, value}.
struct VoigtEntry {
  int I, J;
  Real value;
};
Tensor4 FromVoigt(std::initializer_list<VoigtEntry> entries) {
  CijklVector v{};
  for (const VoigtEntry& e : entries) v[VoigtToPosition(e.I, e.J)] = e.value;
  Tensor4 t;
  CijklToTensor(v, t);
  return t;
}

Tensor4 Cubic(Real c11, Real c12, Real c44) {
  return FromVoigt({{1, 1, c11},
                    {2, 2, c11},
                    {3, 3, c11},
                    {1, 2, c12},
                    {1, 3, c12},
                    {2, 3, c12},
                    {4, 4, c44},
                    {5, 5, c44},
                    {6, 6, c44}});
}

Tensor4 Hexagonal(Real c11, Real c12, Real c13, Real c33, Real c44) {
  return FromVoigt({{1, 1, c11},
                    {2, 2, c11},
                    {3, 3, c33},
                    {1, 2, c12},
                    {1, 3, c13},
                    {2, 3, c13},
                    {4, 4, c44},
                    {5, 5, c44},
                    {6, 6, (c11 - c12) / 2}});
}

Real MaxAbs(const Tensor4& t) {
  Real m = 0;
  for (Real x : t.e) m = std::max(m, std::abs(x));
  return m;
}

// Largest entry of a - b relative to the largest entry of b.
Real RelativeDifference(const Tensor4& a, const Tensor4& b) {
  Tensor4 d;
  AddTensors(a, b, d, -1);
  return MaxAbs(d) / MaxAbs(b);
}

bool AllFinite(const Tensor4& t) {
  for (Real x : t.e)
    if (!std::isfinite(x)) return false;
  return true;
}

// 80-bit sums over a few dozen products of O(1) relative size: 1e-15 relative leaves room for
// the conditioning of the tensors below while catching any wrong factor or entry.
constexpr Real kTol = 1e-15L;

TEST(InvertTensor, CubicClosedFormValuesAndRoundTrip) {
  const Tensor4 c = Cubic(237, 141, 116);
  Tensor4 s = c;
  InvertTensor(s, 1);
  EXPECT_NEAR(s(1, 1, 1, 1), 0.0075867052023121387L, 1e-18L);
  EXPECT_NEAR(s(1, 1, 2, 2), -0.0028299614643545279L, 1e-18L);
  EXPECT_NEAR(s(1, 2, 1, 2), 0.0021551724137931034L, 1e-18L);
  EXPECT_EQ(s(2, 1, 1, 2), s(1, 2, 1, 2));
  EXPECT_EQ(s(1, 1, 1, 2), 0);
  InvertTensor(s, 1);
  EXPECT_LT(RelativeDifference(s, c), kTol);
}

TEST(InvertTensor, GeneralPathMatchesCubicClosedFormAndVoigtCompliance) {
  const Real c11 = 237, c12 = 141, c44 = 116;
  Tensor4 closed = Cubic(c11, c12, c44);
  InvertTensor(closed, 1);
  Tensor4 general = Cubic(c11, c12, c44);
  InvertTensor(general, 10);
  EXPECT_LT(RelativeDifference(general, closed), kTol);
  // Engineering Voigt compliances of a cubic crystal (Nye 1957).
  const Real s11 = (c11 + c12) / ((c11 - c12) * (c11 + 2 * c12));
  const Real s12 = -c12 / ((c11 - c12) * (c11 + 2 * c12));
  const Real s44 = 1 / c44;
  EXPECT_NEAR(general(1, 1, 1, 1), s11, kTol * s11);
  EXPECT_NEAR(general(1, 1, 2, 2), s12, kTol * s11);
  EXPECT_NEAR(4 * general(2, 3, 2, 3), s44, kTol * s44);
}

TEST(InvertTensor, HexagonalClosedFormMatchesGeneralPath) {
  // Titanium-like constants (GPa).
  const Tensor4 c = Hexagonal(162.4L, 92.0L, 69.0L, 180.7L, 46.7L);
  Tensor4 closed = c;
  InvertTensor(closed, 2);
  Tensor4 general = c;
  InvertTensor(general, 11);
  EXPECT_LT(RelativeDifference(closed, general), kTol);
  Tensor4 product;
  ContractTensors(c, closed, product);
  EXPECT_LT(RelativeDifference(product, SymIdentityTensor()), kTol);
}

TEST(InvertTensor, GeneralPathInvertsTriclinicTensor) {
  // A positive-definite stiffness without any symmetry: diagonally dominant, all 21 entries
  // distinct.
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = 3 + 1.37L * n - 0.11L * n * n;
  for (int I = 1; I <= 6; ++I) v[VoigtToPosition(I, I)] = 150 + 10 * I;
  Tensor4 c;
  CijklToTensor(v, c);
  for (int code : {3, 7, 10, 11}) {
    Tensor4 s = c;
    InvertTensor(s, code);
    Tensor4 left, right;
    ContractTensors(c, s, left);
    ContractTensors(s, c, right);
    EXPECT_LT(RelativeDifference(left, SymIdentityTensor()), kTol) << "code " << code;
    EXPECT_LT(RelativeDifference(right, SymIdentityTensor()), kTol) << "code " << code;
  }
}

TEST(InvertTensor, ZeroNormalDiagonalPassesThroughUnchanged) {
  Tensor4 shearOnly;
  shearOnly(1, 2, 1, 2) = shearOnly(2, 1, 2, 1) = 5;
  for (int code = 0; code <= 11; ++code) {
    Tensor4 zero;
    InvertTensor(zero, code);
    EXPECT_EQ(zero, Tensor4{}) << "code " << code;
    Tensor4 t = shearOnly;
    InvertTensor(t, code);
    EXPECT_EQ(t, shearOnly) << "code " << code;
  }
}

TEST(InvertTensor, SingularSixBySixFallsBackToPseudoInverse) {
  Tensor4 t;
  t(1, 1, 1, 1) = 1;
  InvertTensor(t, 10);
  Tensor4 expected;
  expected(1, 1, 1, 1) = 1;
  Tensor4 d;
  AddTensors(t, expected, d, -1);
  // The SVD of the sparse 81x81 system rounds at the level of 80-bit epsilon.
  EXPECT_LT(MaxAbs(d), 1e-17L);
}

// A closed form whose denominator vanishes hands the tensor to the general path, which finds
// the 6x6 form singular and returns the pseudo-inverse: finite, with T:S:T = T and S:T:S = S.
TEST(InvertTensor, VanishingClosedFormDenominatorsGivePseudoInverse) {
  struct Case {
    const char* name;
    int code;
    Tensor4 c;
  };
  const Case cases[] = {
      {"cubic C11 = C12", 1, Cubic(150, 150, 80)},
      {"cubic C11 = -2 C12", 1, Cubic(200, -100, 80)},
      {"isotropic C1212 = 0", 0, Cubic(200, 100, 0)},
      {"hexagonal C11 = C12", 2, Hexagonal(150, 150, 60, 180, 50)},
      {"hexagonal C2323 = 0", 2, Hexagonal(160, 90, 70, 180, 0)},
      {"hexagonal X = 0", 2, Hexagonal(100, 0, 10, 2, 50)},
  };
  for (const Case& k : cases) {
    Tensor4 s = k.c;
    InvertTensor(s, k.code);
    ASSERT_TRUE(AllFinite(s)) << k.name;
    Tensor4 tst, sts;
    ContractTensors(k.c, s, tst);
    ContractTensors(tst, k.c, tst);
    ContractTensors(s, k.c, sts);
    ContractTensors(sts, s, sts);
    EXPECT_LT(RelativeDifference(tst, k.c), 1e-14L) << k.name;
    EXPECT_LT(RelativeDifference(sts, s), 1e-14L) << k.name;
  }
  // The invertible parts keep their closed-form values.
  Tensor4 s = Cubic(150, 150, 80);
  InvertTensor(s, 1);
  EXPECT_NEAR(s(2, 3, 2, 3), 0.25L / 80, 1e-17L);
  s = Cubic(200, 100, 0);
  InvertTensor(s, 0);
  EXPECT_NEAR(s(1, 1, 1, 1), 300.0L / (400 * 100), 1e-17L);
  EXPECT_NEAR(s(1, 1, 2, 2), -100.0L / (400 * 100), 1e-17L);
  EXPECT_NEAR(s(1, 2, 1, 2), 0, 1e-17L);
}

TEST(InvertTensor, NonFiniteInputTerminates) {
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  const Real inf = std::numeric_limits<Real>::infinity();
  for (Real bad : {nan, inf}) {
    for (int code : {0, 1, 2, 11}) {
      Tensor4 t = Cubic(237, 141, 116);
      t(1, 1, 1, 1) = bad;
      InvertTensor(t, code);
      t = Cubic(0, 0, 0);
      t(1, 1, 1, 1) = 1;
      t(1, 2, 1, 2) = bad;
      InvertTensor(t, code);
    }
    Tensor4 singular;
    singular(1, 1, 1, 1) = 1;
    singular(2, 2, 3, 3) = bad;
    PseudoInvertTensor(singular);
  }
}

TEST(InvertMatrix, PivotingGivesInverseInStartingOrder) {
  // Zero diagonal: every step needs a row and a column exchange.
  const Real a[6][6] = {{0, 2, 0, 1, 0, 0}, {3, 0, 1, 0, 0, 0.5L}, {0, 1, 0, 0, 4, 0},
                        {1, 0, 0, 0, 0, 2}, {0, 0, 5, 0, 0, 1},    {0, 0.5L, 0, 3, 1, 0}};
  FloatMat big{};
  Matrix6Block small{};
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) big[i][j] = small[i][j] = a[i - 1][j - 1];
  ASSERT_TRUE(InvertMatrix(big, 6));
  ASSERT_TRUE(InvertMatrix(small, 6));
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j) {
      EXPECT_EQ(big[i][j], small[i][j]);
      Real p = 0;
      for (int k = 1; k <= 6; ++k) p += a[i - 1][k - 1] * big[k][j];
      EXPECT_NEAR(p, i == j ? 1 : 0, 1e-17L) << i << "," << j;
    }
}

TEST(InvertMatrix, PivotThreshold) {
  struct Case {
    Real last;
    bool ok;
  };
  for (const Case& k : {Case{0, false}, Case{1e-21L, false}, Case{1e-19L, true}}) {
    Matrix6Block m{};
    for (int i = 1; i <= 5; ++i) m[i][i] = 1;
    m[6][6] = k.last;
    EXPECT_EQ(InvertMatrix(m, 6), k.ok) << k.last;
  }
  FloatMat zero{};
  EXPECT_FALSE(InvertMatrix(zero, 6));
}

TEST(SVDecompose, RectangularMatrixFactorsWithOrthonormalColumns) {
  const int m = 5, n = 3;
  const Real a[5][3] = {{1, 2, 3}, {4, -5, 6}, {7, 8, -9}, {-1, 0.5L, 2}, {3, 3, 1}};
  DynMat u(m + 1, std::vector<Real>(n + 1, 0));
  DynMat v(n + 1, std::vector<Real>(n + 1, 0));
  std::vector<Real> w(n + 1, 0);
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= n; ++j) u[i][j] = a[i - 1][j - 1];
  SVDecompose(u, m, n, w, v);
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= n; ++j) {
      Real r = 0;
      for (int k = 1; k <= n; ++k) r += u[i][k] * w[k] * v[j][k];
      EXPECT_NEAR(r, a[i - 1][j - 1], 1e-16L) << i << "," << j;
    }
  for (int j = 1; j <= n; ++j) {
    EXPECT_GE(w[j], 0);
    for (int k = 1; k <= n; ++k) {
      Real uu = 0, vv = 0;
      for (int i = 1; i <= m; ++i) uu += u[i][j] * u[i][k];
      for (int i = 1; i <= n; ++i) vv += v[i][j] * v[i][k];
      EXPECT_NEAR(uu, j == k ? 1 : 0, 1e-17L);
      EXPECT_NEAR(vv, j == k ? 1 : 0, 1e-17L);
    }
  }
}

TEST(SVDecompose, NonFiniteMatrixTerminates) {
  for (Real bad : {std::numeric_limits<Real>::quiet_NaN(), std::numeric_limits<Real>::infinity()}) {
    DynMat a(4, std::vector<Real>(4, 1));
    DynMat v(4, std::vector<Real>(4, 0));
    std::vector<Real> w(4, 0);
    a[2][3] = bad;
    SVDecompose(a, 3, 3, w, v);
  }
}

// Straight-line fit y = c1 + c2 t through five points; the third column duplicates the second,
// so once the caller zeroes its negligible singular value the minimum-norm solution shares the
// slope equally between the two.
TEST(SVBackSubstitute, LeastSquaresOfOverdeterminedSystem) {
  const int m = 5;
  const Real t[5] = {0, 1, 2, 3, 4};
  const Real y[5] = {1.1L, 2.9L, 5.2L, 6.8L, 9.1L};
  // Normal equations of the line: slope = Sxy / Sxx, intercept = ybar - slope * tbar.
  Real tbar = 2, ybar = 0, sxy = 0, sxx = 0;
  for (Real yi : y) ybar += yi / 5;
  for (int i = 0; i < 5; ++i) {
    sxy += (t[i] - tbar) * (y[i] - ybar);
    sxx += (t[i] - tbar) * (t[i] - tbar);
  }
  const Real slope = sxy / sxx;
  const Real intercept = ybar - slope * tbar;

  for (int n : {2, 3}) {
    DynMat a(m + 1, std::vector<Real>(n + 1, 0));
    DynMat v(n + 1, std::vector<Real>(n + 1, 0));
    std::vector<Real> w(n + 1, 0), b(m + 1, 0), x(n + 1, 0);
    for (int i = 1; i <= m; ++i) {
      a[i][1] = 1;
      for (int j = 2; j <= n; ++j) a[i][j] = t[i - 1];
      b[i] = y[i - 1];
    }
    SVDecompose(a, m, n, w, v);
    Real wmax = 0;
    for (int j = 1; j <= n; ++j) wmax = std::max(wmax, w[j]);
    for (int j = 1; j <= n; ++j)
      if (w[j] < 1e-5L * wmax) w[j] = 0;
    SVBackSubstitute(a, w, v, m, n, b, x);
    EXPECT_NEAR(x[1], intercept, 1e-16L) << "n = " << n;
    for (int j = 2; j <= n; ++j) EXPECT_NEAR(x[j], slope / (n - 1), 1e-16L) << "n = " << n;
  }
}

TEST(Pythag, AvoidsOverflowAndUnderflow) {
  EXPECT_EQ(Pythag(3, -4), 5);
  EXPECT_EQ(Pythag(0, 0), 0);
  EXPECT_EQ(Pythag(-7, 0), 7);
  EXPECT_NEAR(Pythag(3e3000L, 4e3000L) / 5e3000L, 1, 1e-18L);
  EXPECT_NEAR(Pythag(3e-3000L, 4e-3000L) / 5e-3000L, 1, 1e-18L);
}

}  // namespace
}  // namespace polydec::core
