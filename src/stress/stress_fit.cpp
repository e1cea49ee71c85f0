#include "stress/stress_fit.h"

#include <cmath>

#include "core/tensor_inversion.h"

namespace polydec::stress {

Tensor2 IsoStressFactors(Real s1, Real s2half, Real phi, Real psi) {
  const Real n1 = std::cos(phi) * std::sin(psi);
  const Real n2 = std::sin(phi) * std::sin(psi);
  const Real n3 = std::cos(psi);
  Tensor2 T;
  T(1, 1) = s1 + s2half * n1 * n1;
  T(2, 2) = s1 + s2half * n2 * n2;
  T(3, 3) = s1 + s2half * n3 * n3;
  T(1, 2) = T(2, 1) = s2half * std::sin(psi) * std::sin(psi) * std::sin(2 * phi);
  T(1, 3) = T(3, 1) = s2half * std::sin(2 * psi) * std::cos(phi);
  T(2, 3) = T(3, 2) = s2half * std::sin(2 * psi) * std::sin(phi);
  return T;
}

namespace {

Real ChiSquare(const FitData& data, int ma, const std::array<Real, 8>& a) {
  Real chisq = 0;
  for (std::size_t i = 0; i < data.y.size(); ++i) {
    const auto f = StressFitBasis(data.T[i], data.x[i]);
    double sum = 0;  // the model sum is accumulated in double, as the fit always did
    for (int k = 1; k <= ma; ++k) sum += static_cast<double>(a[k] * f[k]);
    const Real r = (data.y[i] - sum) / data.s[i];
    chisq += r * r;
  }
  return chisq;
}

}  // namespace

Real SvdFit(const FitData& data, int mfit, int ma, const std::array<int, 8>& ia,
            std::array<Real, 8>& a, FitWork& work) {
  const int ndata = static_cast<int>(data.y.size());
  if (mfit > 0 && ndata > 0) {
    work.design.Reset(ndata);
    work.b.assign(static_cast<std::size_t>(ndata) + 1, 0);
    std::array<Real, 8> z{};
    for (int i = 1; i <= ndata; ++i) {
      const auto f = StressFitBasis(data.T[i - 1], data.x[i - 1]);
      const double r = static_cast<double>(1 / data.s[i - 1]);
      for (int j = 1; j <= mfit; ++j) work.design[i][j] = f[ia[j]] * r;
      Real fixed = 0;
      for (int j = mfit + 1; j <= ma; ++j) fixed += a[ia[j]] * f[ia[j]];
      work.b[i] = (data.y[i - 1] - fixed) * r;
    }
    if (mfit != work.decomposedColumns || !work.design.SameBits(work.decomposed)) {
      work.U = work.design;
      work.V = {};
      work.w = {};
      core::SVDecompose(work.U, ndata, mfit, work.w, work.V);
      double wmax = 0;
      for (int j = 1; j <= mfit; ++j)
        if (work.w[j] > wmax) wmax = static_cast<double>(work.w[j]);
      const Real thresh = SingularValueTolerance * wmax;
      for (int j = 1; j <= mfit; ++j)
        if (work.w[j] < thresh) work.w[j] = 0;
      work.decomposed = work.design;
      work.decomposedColumns = mfit;
    }
    core::SVBackSubstitute(work.U, work.w, work.V, ndata, mfit, work.b, z);
    for (int j = 1; j <= mfit; ++j) a[ia[j]] = z[j];
  }
  return ChiSquare(data, ma, a);
}

FitMatrix SvdCovariance(const FitWork& work, int mfit) {
  FitMatrix cvm{};
  std::array<Real, 8> wti{};
  for (int k = 1; k <= mfit; ++k) wti[k] = work.w[k] != 0 ? 1 / (work.w[k] * work.w[k]) : 0;
  for (int i = 1; i <= mfit; ++i)
    for (int j = 1; j <= i; ++j) {
      Real sum = 0;
      for (int k = 1; k <= mfit; ++k) sum += work.V[i][k] * work.V[j][k] * wti[k];
      cvm[i][j] = cvm[j][i] = sum;
    }
  return cvm;
}

}  // namespace polydec::stress
