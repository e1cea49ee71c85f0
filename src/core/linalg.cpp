#include "core/linalg.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <utility>

namespace polydec::core {

Real VectorNorm(const Tensor1& v) { return std::sqrt(v(1) * v(1) + v(2) * v(2) + v(3) * v(3)); }

void NormalizeVector(Tensor1& v) {
  const Real n = VectorNorm(v);
  for (auto& x : v.e) x /= n;
}

Real VectorAngle(const Tensor1& u, const Tensor1& v) {
  const Real lu = VectorNorm(u);
  const Real lv = VectorNorm(v);
  Real c = 1;
  if (lu != 0 && lv != 0) c = (u(1) * v(1) + u(2) * v(2) + u(3) * v(3)) / lu / lv;
  return std::fabs(c) <= 1 ? ArcCosine(c) : 0;
}

void Transpose3x3(const Tensor2& A, Tensor2& R) {
  const Tensor2 a = A;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) R(i, j) = a(j, i);
}

void MatMul3x3(const Tensor2& A, const Tensor2& B, Tensor2& R) {
  const Tensor2 a = A, b = B;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      Real s = 0;
      for (int k = 1; k <= 3; ++k) s += a(i, k) * b(k, j);
      R(i, j) = s;
    }
}

void MatVec3x3(const Tensor2& A, const Tensor1& v, Tensor1& r) {
  const Tensor1 x = v;
  for (int i = 1; i <= 3; ++i) {
    Real s = 0;
    for (int j = 1; j <= 3; ++j) s += A(i, j) * x(j);
    r(i) = s;
  }
}

void RotateTensor2(const Tensor2& R, const Tensor2& T, Tensor2& X) {
  const Tensor2 r = R, t = T;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      Real s = 0;
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) s += r(i, k) * r(j, l) * t(k, l);
      X(i, j) = s;
    }
}

void HadamardProduct3x3(const Tensor2& A, const Tensor2& B, Tensor2& X) {
  for (int n = 0; n < 9; ++n) X.e[n] = A.e[n] * B.e[n];
}

Real SumOfEntries3x3(const Tensor2& A) {
  Real s = 0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) s += A(i, j);
  return s;
}

Real Determinant3x3(const Tensor2& A) {
  return -A(1, 3) * A(2, 2) * A(3, 1) + A(1, 2) * A(2, 3) * A(3, 1) + A(1, 3) * A(2, 1) * A(3, 2) -
         A(1, 1) * A(2, 3) * A(3, 2) - A(1, 2) * A(2, 1) * A(3, 3) + A(1, 1) * A(2, 2) * A(3, 3);
}

void Invert3x3(const Tensor2& A, Tensor2& R) {
  const Tensor2 a = A;
  const Real det = Determinant3x3(a);
  if (det == 0) return;
  R(1, 1) = (a(2, 2) * a(3, 3) - a(2, 3) * a(3, 2)) / det;
  R(1, 2) = (a(1, 3) * a(3, 2) - a(1, 2) * a(3, 3)) / det;
  R(1, 3) = (a(1, 2) * a(2, 3) - a(1, 3) * a(2, 2)) / det;
  R(2, 1) = (a(2, 3) * a(3, 1) - a(2, 1) * a(3, 3)) / det;
  R(2, 2) = (a(1, 1) * a(3, 3) - a(1, 3) * a(3, 1)) / det;
  R(2, 3) = (a(1, 3) * a(2, 1) - a(1, 1) * a(2, 3)) / det;
  R(3, 1) = (a(2, 1) * a(3, 2) - a(2, 2) * a(3, 1)) / det;
  R(3, 2) = (a(1, 2) * a(3, 1) - a(1, 1) * a(3, 2)) / det;
  R(3, 3) = (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) / det;
}

bool GaussJordan(FloatMat& a, int n, FloatVec& b) {
  IntVec ipiv{}, indxr{}, indxc{};
  int irow = 0, icol = 0;
  for (int i = 1; i <= n; ++i) {
    Real big = 0;
    for (int j = 1; j <= n; ++j) {
      if (ipiv[j] == 1) continue;
      for (int k = 1; k <= n; ++k) {
        if (ipiv[k] == 0) {
          if (std::fabs(a[j][k]) >= big) {
            big = std::fabs(a[j][k]);
            irow = j;
            icol = k;
          }
        } else if (ipiv[k] > 1) {
          std::cout << "Matrix singulaer  at ipiv[k]=" << k << " !" << std::endl;
          return false;
        }
      }
    }
    if (irow == 0 || icol == 0) return false;  // only NaN entries: nothing could be chosen
    ++ipiv[icol];
    if (irow != icol) {
      std::swap(a[irow], a[icol]);
      std::swap(b[irow], b[icol]);
    }
    indxr[i] = irow;
    indxc[i] = icol;
    if (a[icol][icol] == 0) {
      std::cout << "Matrix singulaer  at icol=" << icol << " !" << std::endl;
      return false;
    }
    const Real pivinv = 1 / a[icol][icol];
    a[icol][icol] = 1;
    for (int l = 1; l <= n; ++l) a[icol][l] *= pivinv;
    b[icol] *= pivinv;
    for (int r = 1; r <= n; ++r) {
      if (r == icol) continue;
      const Real d = a[r][icol];
      a[r][icol] = 0;
      for (int l = 1; l <= n; ++l) a[r][l] -= a[icol][l] * d;
      b[r] -= b[icol] * d;
    }
  }
  for (int l = n; l >= 1; --l) {
    if (indxr[l] != indxc[l])
      for (int k = 1; k <= n; ++k) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
  }
  return true;
}

void LUDecompose(FloatMat& a, IntVec& indx, int n) {
  for (int i = 1; i <= n; ++i) indx[i] = i;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {
      Real s = a[i][j];
      for (int k = 1; k < i; ++k) s -= a[i][k] * a[k][j];
      a[i][j] = s;
    }
    Real big = -1;
    int p = j;
    for (int i = j; i <= n; ++i) {
      Real s = a[i][j];
      for (int k = 1; k < j; ++k) s -= a[i][k] * a[k][j];
      a[i][j] = s;
      if (std::fabs(s) > big) {
        big = std::fabs(s);
        p = i;
      }
    }
    if (p != j) {
      std::swap(a[p], a[j]);
      std::swap(indx[p], indx[j]);
    }
    if (a[j][j] == 0) return;
    for (int i = j + 1; i <= n; ++i) a[i][j] /= a[j][j];
  }
}

void LUSolve(const FloatMat& a, const IntVec& indx, FloatVec& b, int n) {
  FloatVec y{};
  for (int i = 1; i <= n; ++i) y[i] = b[indx[i]];
  for (int i = 1; i <= n; ++i) b[i] = y[i];
  for (int i = 2; i <= n; ++i) {
    Real s = b[i];
    for (int j = 1; j < i; ++j) s -= a[i][j] * b[j];
    b[i] = s;
  }
  if (a[n][n] == 0) return;
  b[n] /= a[n][n];
  for (int i = n - 1; i >= 1; --i) {
    Real s = b[i];
    for (int j = i + 1; j <= n; ++j) s -= a[i][j] * b[j];
    b[i] = s / a[i][i];
  }
}

Real Power(Real base, Real exponent) {
  if (base == 0) return 0;
  if (exponent == 0) return 1;
  if (base < 0 && exponent == std::trunc(exponent)) {
    const Real r = std::exp(exponent * std::log(std::fabs(base)));
    const Real half = exponent / 2;
    return half != std::trunc(half) ? -r : r;
  }
  return std::exp(exponent * std::log(base));
}

Real ArcCosine(Real x) {
  if (x == 0) return kPi / 2;
  const Real t = std::atan(std::sqrt(1 - x * x) / std::fabs(x));
  return x > 0 ? t : kPi - t;
}

Int ReadClock() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<Int>(ms & 0x7fffffff);
}

}  // namespace polydec::core
