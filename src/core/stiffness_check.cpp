#include "core/stiffness_check.h"

#include <array>
#include <cmath>

#include "core/text_fields.h"

namespace polydec::core {

namespace {

using Matrix6 = std::array<std::array<Real, 6>, 6>;

Matrix6 MandelMatrix(const CijklVector& c) {
  Matrix6 m{};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      const Real scale = (I > 3 ? std::sqrt(Real{2}) : 1) * (J > 3 ? std::sqrt(Real{2}) : 1);
      m[I - 1][J - 1] = scale * c[VoigtToPosition(I, J)];
    }
  return m;
}

// Cyclic Jacobi rotations until the off-diagonal part vanishes; the diagonal then holds the
// eigenvalues. Six rows converge in a handful of sweeps.
std::array<Real, 6> Eigenvalues(Matrix6 a) {
  for (int sweep = 0; sweep < 100; ++sweep) {
    Real off = 0, scale = 0;
    for (int p = 0; p < 6; ++p)
      for (int q = 0; q < 6; ++q) (p == q ? scale : off) += a[p][q] * a[p][q];
    if (off <= 1e-36L * scale || off == 0) break;
    for (int p = 0; p < 5; ++p)
      for (int q = p + 1; q < 6; ++q) {
        if (a[p][q] == 0) continue;
        const Real theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
        const Real t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const Real cs = 1 / std::sqrt(t * t + 1), sn = t * cs;
        for (int k = 0; k < 6; ++k) {
          const Real akp = a[k][p], akq = a[k][q];
          a[k][p] = cs * akp - sn * akq;
          a[k][q] = sn * akp + cs * akq;
        }
        for (int k = 0; k < 6; ++k) {
          const Real apk = a[p][k], aqk = a[q][k];
          a[p][k] = cs * apk - sn * aqk;
          a[q][k] = sn * apk + cs * aqk;
        }
      }
  }
  std::array<Real, 6> d{};
  for (int k = 0; k < 6; ++k) d[k] = a[k][k];
  return d;
}

}  // namespace

Real SmallestMandelEigenvalue(const CijklVector& c) {
  const std::array<Real, 6> d = Eigenvalues(MandelMatrix(c));
  Real smallest = d[0];
  for (Real x : d) smallest = std::fmin(smallest, x);
  return smallest;
}

std::optional<std::string> StiffnessProblem(const CijklVector& c, const std::string& what) {
  for (int n = 1; n <= 21; ++n)
    if (!std::isfinite(c[n])) return what + ": the stiffness holds a value that is not finite";
  const std::array<Real, 6> d = Eigenvalues(MandelMatrix(c));
  Real smallest = d[0], largest = 0;
  for (Real x : d) {
    smallest = std::fmin(smallest, x);
    largest = std::fmax(largest, std::fabs(x));
  }
  // An eigenvalue within rounding of zero is a material without resistance to some strain.
  if (smallest > 1e-12L * largest) return std::nullopt;
  return what + ": the stiffness is not positive definite (smallest eigenvalue " +
         FormatGeneral(smallest) +
         " GPa), so no stable material has it; check the constants (for a cubic crystal "
         "C11 > |C12|, C11 + 2 C12 > 0 and C44 > 0)";
}

}  // namespace polydec::core
