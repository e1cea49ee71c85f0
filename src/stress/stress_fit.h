// Weighted linear least squares for stresses: the stress factors of a quasi-isotropic sample,
// the linear model that relates a measured strain or spacing to the six stress components
// and a constant, and a fit by singular value decomposition in which any parameter can be
// held fixed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "core/types.h"

namespace polydec::stress {

using core::Real;
using core::Tensor2;

// Singular values below this fraction of the largest are cut: the combinations of parameters
// the data cannot determine are left at the least-norm solution.
inline constexpr Real SingularValueTolerance = 1e-7L;

// Stress factors of a quasi-isotropic sample, eps = s1 tr(sig) + 1/2 s2 n.sig.n, with the
// shear entries holding the full coefficient (factor 2 inside). Angles in radians.
Tensor2 IsoStressFactors(Real s1, Real s2half, Real phi, Real psi);

// The seven basis values x T11, x T22, x T33, x T23, x T13, x T12, 1 (index 1..7; 0 unused).
inline std::array<Real, 8> StressFitBasis(const Tensor2& T, Real x) {
  return {0, x * T(1, 1), x * T(2, 2), x * T(3, 3), x * T(2, 3), x * T(1, 3), x * T(1, 2), 1};
}

// The 8 x 8 matrices of a fit (its V, the covariance of its parameters), indexed [i][j] from 1.
using FitMatrix = std::array<std::array<Real, 8>, 8>;

// Whether two numbers are the same bit for bit (0 and -0 differ): the bytes that hold the
// value are compared, 10 of the 16 of an 80-bit extended number.
inline bool SameBits(const Real& a, const Real& b) {
  if constexpr (std::numeric_limits<Real>::digits == 64 && sizeof(Real) >= 10) {
    // The 64-bit significand and the 16 bits of sign and exponent, read as integers.
    std::uint64_t a0 = 0, b0 = 0;
    std::uint16_t a1 = 0, b1 = 0;
    std::memcpy(&a0, &a, 8);
    std::memcpy(&b0, &b, 8);
    std::memcpy(&a1, reinterpret_cast<const char*>(&a) + 8, 2);
    std::memcpy(&b1, reinterpret_cast<const char*>(&b) + 8, 2);
    return a0 == b0 && a1 == b1;
  } else {
    return std::memcmp(&a, &b, sizeof(Real)) == 0;
  }
}

// The design matrix of a fit: rows 0..m of 8 entries, indexed [i][j] from 1, held in one buffer
// that keeps its memory from fit to fit (a map fits thousands of data sets of the same size).
class FitRows {
 public:
  // m + 1 rows of zeros.
  void Reset(int m) {
    rows_ = m + 1;
    data_.assign(static_cast<std::size_t>(rows_) * 8, 0);
  }
  Real* operator[](int i) { return data_.data() + static_cast<std::size_t>(i) * 8; }
  const Real* operator[](int i) const { return data_.data() + static_cast<std::size_t>(i) * 8; }
  // The same rows and entries.
  bool operator==(const FitRows& o) const { return rows_ == o.rows_ && data_ == o.data_; }
  // The same rows and entries, bit for bit.
  bool SameBits(const FitRows& o) const {
    if (rows_ != o.rows_) return false;
    for (std::size_t k = 0; k < data_.size(); ++k)
      if (!stress::SameBits(data_[k], o.data_[k])) return false;
    return true;
  }

 private:
  int rows_ = 0;
  std::vector<Real> data_;
};

struct FitData {
  std::vector<Tensor2> T;  // stress factors per measurement (index 0-based here)
  std::vector<Real> x;     // scale of the stress term (1 for strains, d0 for spacings)
  std::vector<Real> y;     // observation
  std::vector<Real> s;     // its uncertainty, non-zero

  void Clear() {
    T.clear();
    x.clear();
    y.clear();
    s.clear();
  }
};

// The decomposition of the last fit and the buffers it ran in; reusing one keeps a series of
// fits free of allocations. The data sets of a map are measured along the same directions
// with the same uncertainties point after point, so their weighted designs are the same: a fit
// whose design equals the last one, bit for bit, takes its decomposition as it stands (the
// decomposition depends on the design alone, the observations enter only the substitution).
struct FitWork {
  FitRows U;  // u of the decomposition
  FitMatrix V{};
  std::array<Real, 8> w{};  // singular values, those below the tolerance set to 0
  std::vector<Real> b;
  FitRows design, decomposed;  // the design of this fit, and the one U, V, w belong to
  int decomposedColumns = 0;   // its free parameters; 0: none decomposed yet
};

// Fits the free parameters ia[1..mfit] of a[1..ma] (ma = 6 or 7) to the data; the fixed ones
// ia[mfit+1..ma] keep their values and move to the observation side. Returns chi-square.
// With mfit = 0 only chi-square of the given parameters is evaluated.
Real SvdFit(const FitData& data, int mfit, int ma, const std::array<int, 8>& ia,
            std::array<Real, 8>& a, FitWork& work);

// Covariance of the free parameters (positions in the order of ia) from SvdFit's
// decomposition; an 8 x 8 matrix, entries beyond mfit zero.
FitMatrix SvdCovariance(const FitWork& work, int mfit);

}  // namespace polydec::stress
