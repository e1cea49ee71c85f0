#include "core/voigt.h"

#include <gtest/gtest.h>

namespace polydec::core {
namespace {

TEST(Voigt, RoundTripOfSymmetricTensorIsExact) {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = 1.5L * n - 7;
  Tensor4 t;
  CijklToTensor(v, t);
  CijklVector back{};
  back[0] = 99;
  TensorToCijkl(t, back);
  EXPECT_EQ(back[0], 0);
  for (int n = 1; n <= 21; ++n) EXPECT_EQ(back[n], v[n]) << n;
  Tensor4 again;
  CijklToTensor(back, again);
  EXPECT_EQ(again, t);
}

TEST(Voigt, CompletionFillsEveryPermutation) {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = n;
  Tensor4 t;
  FillTensor(t, -1);
  CijklToTensor(v, t);
  EXPECT_EQ(t(2, 1, 1, 1), 2);
  EXPECT_EQ(t(1, 1, 1, 2), 2);
  EXPECT_EQ(t(1, 1, 2, 1), 2);
  EXPECT_EQ(t(1, 2, 1, 1), 2);
  EXPECT_EQ(t(3, 1, 2, 1), 8);
  for (Real x : t.e) EXPECT_GE(x, 1);  // all 81 entries written
}

TEST(Voigt, IndexOutsideRangeLeavesOutputs) {
  for (int n : {0, 22, -3}) {
    int i = 7, j = 7, k = 7, l = 7;
    CijklIndex(n, i, j, k, l);
    EXPECT_EQ(i + j + k + l, 28);
  }
}

TEST(Voigt, PositionsAgreeWithIndexAndVoigtTable) {
  for (int n = 1; n <= 21; ++n) {
    int i, j, k, l;
    CijklIndex(n, i, j, k, l);
    EXPECT_EQ(CijklPosition(i, j, k, l), n);
    EXPECT_EQ(CijklPosition(l, k, j, i), n);
    const int I = VoigtIndex(i, j), J = VoigtIndex(k, l);
    EXPECT_EQ(VoigtToPosition(I, J), n);
    EXPECT_EQ(VoigtNames[n], "C" + std::to_string(std::min(I, J)) + std::to_string(std::max(I, J)));
  }
  EXPECT_EQ(CijklNames[14], " C1323 ");
}

TEST(Voigt, SymmetryComponentRowsAscend) {
  for (int c = 0; c <= 10; ++c) {
    const auto& row = SymmetryComponents[c];
    const int m = row[0];
    for (int k = 2; k <= m; ++k) EXPECT_LT(row[k - 1], row[k]) << c;
    for (int k = m + 1; k <= 21; ++k) EXPECT_EQ(row[k], 0) << c;
  }
  for (int k = 1; k <= 21; ++k) EXPECT_EQ(SymmetryComponents[10][k], k);
}

TEST(Voigt, SymmetricIdentity) {
  const Tensor4& I = SymIdentityTensor();
  EXPECT_EQ(I(1, 1, 1, 1), 1);
  EXPECT_EQ(I(1, 2, 1, 2), 0.5L);
  EXPECT_EQ(I(1, 2, 2, 1), 0.5L);
  EXPECT_EQ(I(1, 1, 2, 2), 0);
  Tensor4 r;
  ContractTensors(I, I, r);
  EXPECT_EQ(r, I);
}

TEST(Voigt, ArithmeticMayAliasItsInputs) {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = n;
  Tensor4 a;
  CijklToTensor(v, a);
  Tensor4 expected;
  AddTensors(a, a, expected, -0.5L);
  AddTensors(a, a, a, -0.5L);
  EXPECT_EQ(a, expected);
  Tensor4 prod;
  ContractTensors(a, SymIdentityTensor(), prod);
  ContractTensors(a, SymIdentityTensor(), a);
  EXPECT_EQ(a, prod);
  Tensor2 x;
  x(1, 1) = 1;
  x(2, 3) = x(3, 2) = 0.25L;
  Tensor2 r;
  ContractTensor2(a, x, r);
  ContractTensor2(a, x, x);
  EXPECT_EQ(x, r);
}

TEST(Voigt, CopyVectorStopsAtShorterArray) {
  std::array<Real, 5> five{1, 2, 3, 4, 5};
  std::array<Real, 3> three{};
  CopyVector(three, five);
  EXPECT_EQ(three, (std::array<Real, 3>{1, 2, 3}));
  std::array<Real, 5> dst{9, 9, 9, 9, 9};
  CopyVector(dst, three);
  EXPECT_EQ(dst, (std::array<Real, 5>{1, 2, 3, 9, 9}));
}

}  // namespace
}  // namespace polydec::core
