#include "core/tensor_inversion.h"

#include <memory>

#include "core/voigt.h"

namespace polydec::core {

namespace {

// Isotropic and cubic tensors: the normal block (C11 - C12 on the deviatoric, C11 + 2 C12 on
// the hydrostatic eigenspace) and the shear entry invert separately. False, with T untouched,
// when either vanishes.
bool InvertCubic(Tensor4& T) {
  const Real c1111 = T(1, 1, 1, 1);
  const Real c1122 = T(1, 1, 2, 2);
  const Real c1212 = T(1, 2, 1, 2);
  const Real d = (c1111 + 2 * c1122) * (c1111 - c1122);
  if (d == 0 || c1212 == 0) return false;
  CijklVector v{};
  const Real s1111 = (c1111 + c1122) / d;
  const Real s1122 = -c1122 / d;
  const Real s1212 = 0.25L / c1212;
  v[1] = v[16] = v[21] = s1111;
  v[4] = v[6] = v[18] = s1122;
  v[7] = v[12] = v[19] = s1212;
  CijklToTensor(v, T);
  return true;
}

// Transversely isotropic tensors about axis 3; the basal shear follows from S1111 - S1122.
// False, with T untouched, when a denominator vanishes.
bool InvertHexagonal(Tensor4& T) {
  const Real c1111 = T(1, 1, 1, 1);
  const Real c1122 = T(1, 1, 2, 2);
  const Real c1133 = T(1, 1, 3, 3);
  const Real c3311 = T(3, 3, 1, 1);
  const Real c3333 = T(3, 3, 3, 3);
  const Real c2323 = T(2, 3, 2, 3);
  const Real x = 2 * (c1111 + c1122) * c3333 - 4 * c1133 * c3311;
  const Real basal = c1111 - c1122;
  const Real d3333 = 0.5L * (c1111 + c1122) * c3333 - c1133 * c3311;
  const Real d1133 = (c1111 + c1122) * c3333 - 2 * c1133 * c3311;
  if (x == 0 || basal == 0 || d3333 == 0 || d1133 == 0 || c2323 == 0) return false;
  CijklVector v{};
  const Real s1111 = c3333 / x + 0.5L / basal;
  const Real s1122 = c3333 / x - 0.5L / basal;
  v[1] = v[16] = s1111;
  v[4] = s1122;
  v[21] = 0.5L * (c1111 + c1122) / d3333;
  v[6] = v[18] = -c1133 / d1133;
  v[12] = v[19] = 0.25L / c2323;
  v[7] = 0.5L * (s1111 - s1122);
  CijklToTensor(v, T);
  return true;
}

void InvertGeneral(Tensor4& T) {
  Matrix6Block m{};
  TensorToMatrix6(T, m);
  if (InvertMatrix(m, 6)) {
    Matrix6ToTensor(m, 2, T);
  } else {
    PseudoInvertTensor(T);
  }
}

}  // namespace

void InvertTensor(Tensor4& T, int code) {
  // Uninitialised or cleared tensors pass through unchanged.
  if (T(1, 1, 1, 1) == 0 && T(2, 2, 2, 2) == 0 && T(3, 3, 3, 3) == 0) return;
  if ((code == 0 || code == 1) && InvertCubic(T)) return;
  if (code == 2 && InvertHexagonal(T)) return;
  InvertGeneral(T);
}

void CompleteMinorSymmetry(Tensor4& T) {
  for (int i = 1; i <= 3; ++i)
    for (int j = i; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = k; l <= 3; ++l) {
          const Real x = T(i, j, k, l);
          T(j, i, k, l) = x;
          T(i, j, l, k) = x;
          T(j, i, l, k) = x;
        }
}

void PseudoInvertTensor(Tensor4& T) {
  // Row (ijkl) states sum_mn T_ijmn S_mnkl = I_ijkl; the unknown S_mnkl sits in column (klmn),
  // so the system is block diagonal with one 9x9 block T_(ij)(mn) per kl.
  const auto a = std::make_unique<FloatMat>();
  const auto v = std::make_unique<FloatMat>();
  FloatVec w{};
  FloatVec b{};
  FloatVec x{};
  const auto pos = [](int p, int q, int r, int s) {
    return 27 * (p - 1) + 9 * (q - 1) + 3 * (r - 1) + s;
  };
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) {
          const int r = pos(i, j, k, l);
          b[r] = 0.5L * (Delta(i, k) * Delta(j, l) + Delta(i, l) * Delta(j, k));
          for (int m = 1; m <= 3; ++m)
            for (int n = 1; n <= 3; ++n) (*a)[r][pos(k, l, m, n)] = T(i, j, m, n);
        }
  SVDecompose(*a, 81, 81, w, *v);
  Real wmax = 0;
  for (int j = 1; j <= 81; ++j)
    if (w[j] > wmax) wmax = w[j];
  // Singular values below this relative level are noise of a rank-deficient tensor.
  for (int j = 1; j <= 81; ++j)
    if (w[j] < 1e-5L * wmax) w[j] = 0;
  SVBackSubstitute(*a, w, *v, 81, 81, b, x);
  for (int k = 1; k <= 3; ++k)
    for (int l = 1; l <= 3; ++l)
      for (int m = 1; m <= 3; ++m)
        for (int n = 1; n <= 3; ++n) T(m, n, k, l) = x[pos(k, l, m, n)];
}

Real Pythag(Real a, Real b) {
  a = std::abs(a);
  b = std::abs(b);
  if (a < b) return b * std::sqrt((a / b) * (a / b) + 1);
  if (a != 0) return a * std::sqrt((b / a) * (b / a) + 1);
  return 0;
}

}  // namespace polydec::core
