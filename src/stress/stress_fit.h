// Weighted linear least squares for stresses: the stress factors of a quasi-isotropic sample,
// the linear model that relates a measured strain or spacing to the six stress components
// and a constant, and a fit by singular value decomposition in which any parameter can be
// held fixed.
#pragma once

#include <array>
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
std::array<Real, 8> StressFitBasis(const Tensor2& T, Real x);

// Run-time sized matrix indexed [i][j] from 1.
using FitMatrix = std::vector<std::vector<Real>>;

struct FitData {
  std::vector<Tensor2> T;  // stress factors per measurement (index 0-based here)
  std::vector<Real> x;     // scale of the stress term (1 for strains, d0 for spacings)
  std::vector<Real> y;     // observation
  std::vector<Real> s;     // its uncertainty, non-zero
};

struct FitWork {
  FitMatrix U, V;
  std::vector<Real> w;
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
