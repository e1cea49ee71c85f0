// Inversion of fourth-rank tensors with the minor symmetries (T:S = S:T = I), with closed
// forms for isotropic, cubic and hexagonal tensors, a 6x6 Gauss-Jordan path for the rest, and
// a pseudo-inverse from an 81x81 singular value decomposition for singular tensors; also the
// singular value decomposition and its back substitution that the stress fit shares.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/types.h"

namespace polydec::core {

// Replaces T by its inverse. code: crystal/sample class 0..10 or 11 (general path). The
// closed forms of codes 0..2 hand over to the general path when one of their denominators
// vanishes, and the general path to the pseudo-inverse when the 6x6 form is singular.
void InvertTensor(Tensor4& T, int code);

// The 6x6 Voigt block with its bookkeeping row and column 7, indexed from 1 like a FloatMat:
// small enough to live on the stack of every inversion in the orientation averages.
using Matrix6Block = std::array<std::array<Real, 8>, 8>;

namespace detail {
// Representative index pair (i <= j) of the Voigt indices 1..6.
inline constexpr int kVoigtI[7] = {0, 1, 2, 3, 2, 1, 1};
inline constexpr int kVoigtJ[7] = {0, 1, 2, 3, 3, 3, 2};
}  // namespace detail

// M[I][J] := T at the representative pairs of I and J (I, J = 1..6), no factor.
template <class Matrix>
void TensorToMatrix6(const Tensor4& T, Matrix& M) {
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J)
      M[I][J] = T(detail::kVoigtI[I], detail::kVoigtJ[I], detail::kVoigtI[J], detail::kVoigtJ[J]);
}

// Copies each entry with i <= j and k <= l to its minor-symmetric partners; the major
// symmetry is not imposed.
void CompleteMinorSymmetry(Tensor4& T);

// convention 1: no factor; convention 2: the compliance factors 1, 1/2, 1/4 (engineering shear
// strains carry a factor 2 per shear index). All 81 entries of T are written.
template <class Matrix>
void Matrix6ToTensor(const Matrix& M, int convention, Tensor4& T) {
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      Real factor = 1;
      if (convention == 2) factor = (I <= 3 ? 1.0L : 0.5L) * (J <= 3 ? 1.0L : 0.5L);
      T(detail::kVoigtI[I], detail::kVoigtJ[I], detail::kVoigtI[J], detail::kVoigtJ[J]) =
          M[I][J] * factor;
    }
  CompleteMinorSymmetry(T);
}

// Gauss-Jordan exchange with complete pivoting on the n x n block of any matrix indexed
// M[i][j] from 1 (a FloatMat, n <= 81, or a Matrix6Block, n <= 6); row and column n+1 record
// the starting column and row of each line so the pivot exchanges can be undone at the end.
// False when no pivot above 1e-20 remains (the block is then left partly transformed).
template <class Matrix>
bool InvertMatrix(Matrix& M, int n) {
  for (int i = 1; i <= n; ++i) {
    M[i][n + 1] = static_cast<Real>(i);
    M[n + 1][i] = static_cast<Real>(i);
  }
  for (int i = 1; i <= n; ++i) {
    Real best = std::abs(M[i][i]);
    int g = i;
    int h = i;
    for (int j = i; j <= n; ++j)
      for (int k = i; k <= n; ++k)
        if (std::abs(M[j][k]) > best) {
          best = std::abs(M[j][k]);
          g = j;
          h = k;
        }
    if (best <= 1e-20L) return false;
    if (g != i || h != i) {
      for (int j = 1; j <= n + 1; ++j) std::swap(M[j][i], M[j][h]);
      for (int k = 1; k <= n + 1; ++k) std::swap(M[i][k], M[g][k]);
    }
    const Real p = M[i][i];
    for (int j = 1; j <= n; ++j) {
      if (j == i) continue;
      const Real mji = M[j][i];
      for (int k = 1; k <= n; ++k)
        if (k != i) M[j][k] = M[j][k] - mji * M[i][k] / p;
    }
    for (int k = 1; k <= n; ++k)
      if (k != i) M[i][k] = -M[i][k] / p;
    for (int j = 1; j <= n; ++j)
      if (j != i) M[j][i] = M[j][i] / p;
    M[i][i] = 1 / p;
  }
  // The exchanged inverse has its rows in the order of the pivot columns and its columns in
  // the order of the pivot rows.
  for (int i = 1; i < n; ++i) {
    int j = i;
    while (j <= n && M[n + 1][j] != static_cast<Real>(i)) ++j;
    if (j > n) continue;
    for (int k = 1; k <= n; ++k) std::swap(M[i][k], M[j][k]);
    std::swap(M[n + 1][i], M[n + 1][j]);
  }
  for (int i = 1; i < n; ++i) {
    int j = i;
    while (j <= n && M[j][n + 1] != static_cast<Real>(i)) ++j;
    if (j > n) continue;
    for (int k = 1; k <= n; ++k) std::swap(M[k][i], M[k][j]);
    std::swap(M[i][n + 1], M[j][n + 1]);
  }
  return true;
}

// Minimum-norm least-squares inverse of a singular tensor from the 81 equations T:S = I.
void PseudoInvertTensor(Tensor4& T);

// sqrt(a^2 + b^2) without destructive overflow or underflow.
Real Pythag(Real a, Real b);

// Singular value decomposition a = u diag(w) v^T of an m x n matrix (Golub & Reinsch 1970, in
// the formulation of Press et al., Numerical Recipes, 2nd ed., svdcmp), u returned in place of
// a. Works on any matrices indexed a[i][j] and vectors w[j] from 1: a FloatMat or a
// std::vector<std::vector<Real>> of m+1 rows of n+1 entries. At most 30 implicit QR sweeps per
// singular value; one that has not converged by then keeps the value reached. The singular
// values are not sorted.
template <class MatrixA, class VectorW, class MatrixV>
void SVDecompose(MatrixA& a, int m, int n, VectorW& w, MatrixV& v) {
  const auto sign = [](Real x, Real y) { return y >= 0 ? std::abs(x) : -std::abs(x); };
  std::vector<Real> rv1(static_cast<std::size_t>(std::max(n, 0)) + 1, 0);
  Real g = 0, scale = 0, anorm = 0;
  Real s = 0, f = 0, h = 0, c = 0, x = 0, y = 0, z = 0;
  int l = 1;
  int nm = 0;

  // Householder reduction to bidiagonal form.
  for (int i = 1; i <= n; ++i) {
    l = i + 1;
    rv1[i] = scale * g;
    g = s = scale = 0;
    if (i <= m) {
      for (int k = i; k <= m; ++k) scale += std::abs(a[k][i]);
      if (scale != 0) {
        for (int k = i; k <= m; ++k) {
          a[k][i] /= scale;
          s += a[k][i] * a[k][i];
        }
        f = a[i][i];
        g = -sign(std::sqrt(s), f);
        h = f * g - s;
        a[i][i] = f - g;
        for (int j = l; j <= n; ++j) {
          s = 0;
          for (int k = i; k <= m; ++k) s += a[k][i] * a[k][j];
          f = s / h;
          for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
        }
        for (int k = i; k <= m; ++k) a[k][i] *= scale;
      }
    }
    w[i] = scale * g;
    g = s = scale = 0;
    if (i <= m && i != n) {
      for (int k = l; k <= n; ++k) scale += std::abs(a[i][k]);
      if (scale != 0) {
        for (int k = l; k <= n; ++k) {
          a[i][k] /= scale;
          s += a[i][k] * a[i][k];
        }
        f = a[i][l];
        g = -sign(std::sqrt(s), f);
        h = f * g - s;
        a[i][l] = f - g;
        for (int k = l; k <= n; ++k) rv1[k] = a[i][k] / h;
        for (int j = l; j <= m; ++j) {
          s = 0;
          for (int k = l; k <= n; ++k) s += a[j][k] * a[i][k];
          for (int k = l; k <= n; ++k) a[j][k] += s * rv1[k];
        }
        for (int k = l; k <= n; ++k) a[i][k] *= scale;
      }
    }
    anorm = std::max(anorm, std::abs(w[i]) + std::abs(rv1[i]));
  }

  // Accumulation of the right-hand transformations.
  for (int i = n; i >= 1; --i) {
    if (i < n) {
      if (g != 0) {
        // Double division avoids a possible underflow.
        for (int j = l; j <= n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
        for (int j = l; j <= n; ++j) {
          s = 0;
          for (int k = l; k <= n; ++k) s += a[i][k] * v[k][j];
          for (int k = l; k <= n; ++k) v[k][j] += s * v[k][i];
        }
      }
      for (int j = l; j <= n; ++j) v[i][j] = v[j][i] = 0;
    }
    v[i][i] = 1;
    g = rv1[i];
    l = i;
  }

  // Accumulation of the left-hand transformations.
  for (int i = std::min(m, n); i >= 1; --i) {
    l = i + 1;
    g = w[i];
    for (int j = l; j <= n; ++j) a[i][j] = 0;
    if (g != 0) {
      g = 1 / g;
      for (int j = l; j <= n; ++j) {
        s = 0;
        for (int k = l; k <= m; ++k) s += a[k][i] * a[k][j];
        f = (s / a[i][i]) * g;
        for (int k = i; k <= m; ++k) a[k][j] += f * a[k][i];
      }
      for (int j = i; j <= m; ++j) a[j][i] *= g;
    } else {
      for (int j = i; j <= m; ++j) a[j][i] = 0;
    }
    a[i][i] += 1;
  }

  // Diagonalization of the bidiagonal form by implicitly shifted QR sweeps.
  for (int k = n; k >= 1; --k) {
    for (int its = 1; its <= 30; ++its) {
      bool flag = true;
      for (l = k; l >= 1; --l) {
        nm = l - 1;
        // rv1[1] is always 0, so the search ends at l = 1 at the latest; stating it keeps
        // index 0 out of reach whatever non-finite values the data hold.
        if (l == 1 || std::abs(rv1[l]) + anorm == anorm) {
          flag = false;
          break;
        }
        if (std::abs(w[nm]) + anorm == anorm) break;
      }
      if (flag) {
        // Cancellation of rv1[l] when w[l-1] is negligible.
        c = 0;
        s = 1;
        for (int i = l; i <= k; ++i) {
          f = s * rv1[i];
          rv1[i] = c * rv1[i];
          if (std::abs(f) + anorm == anorm) break;
          g = w[i];
          h = Pythag(f, g);
          w[i] = h;
          h = 1 / h;
          c = g * h;
          s = -f * h;
          for (int j = 1; j <= m; ++j) {
            y = a[j][nm];
            z = a[j][i];
            a[j][nm] = y * c + z * s;
            a[j][i] = z * c - y * s;
          }
        }
      }
      z = w[k];
      if (l == k) {
        if (z < 0) {
          w[k] = -z;
          for (int j = 1; j <= n; ++j) v[j][k] = -v[j][k];
        }
        break;
      }
      // Shift from the trailing 2x2 minor.
      x = w[l];
      nm = k - 1;
      y = w[nm];
      g = rv1[nm];
      h = rv1[k];
      f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2 * h * y);
      g = Pythag(f, 1);
      f = ((x - z) * (x + z) + h * ((y / (f + sign(g, f))) - h)) / x;
      c = s = 1;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = rv1[i];
        y = w[i];
        h = s * g;
        g = c * g;
        z = Pythag(f, h);
        rv1[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        for (int jj = 1; jj <= n; ++jj) {
          x = v[jj][j];
          z = v[jj][i];
          v[jj][j] = x * c + z * s;
          v[jj][i] = z * c - x * s;
        }
        z = Pythag(f, h);
        w[j] = z;
        if (z != 0) {
          z = 1 / z;
          c = f * z;
          s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        for (int jj = 1; jj <= m; ++jj) {
          y = a[jj][j];
          z = a[jj][i];
          a[jj][j] = y * c + z * s;
          a[jj][i] = z * c - y * s;
        }
      }
      rv1[l] = 0;
      rv1[k] = f;
      w[k] = x;
    }
  }
}

// Least-squares solution x = v diag(1/w) u^T b of the decomposed system; every term whose
// singular value the caller has set to exactly 0 is left out, which gives the minimum-norm
// solution of a rank-deficient system. Same matrix and vector types as SVDecompose.
template <class MatrixU, class VectorW, class MatrixV, class VectorB, class VectorX>
void SVBackSubstitute(const MatrixU& u, const VectorW& w, const MatrixV& v, int m, int n,
                      const VectorB& b, VectorX& x) {
  std::vector<Real> t(static_cast<std::size_t>(std::max(n, 0)) + 1, 0);
  for (int j = 1; j <= n; ++j) {
    Real s = 0;
    if (w[j] != 0) {
      for (int i = 1; i <= m; ++i) s += u[i][j] * b[i];
      s /= w[j];
    }
    t[j] = s;
  }
  for (int j = 1; j <= n; ++j) {
    Real s = 0;
    for (int k = 1; k <= n; ++k) s += v[j][k] * t[k];
    x[j] = s;
  }
}

}  // namespace polydec::core
