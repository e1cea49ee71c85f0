#include "stress/per_azimuth.h"

#include <array>
#include <cmath>

#include "core/text_fields.h"

namespace polydec::stress {

namespace {

// Two directions closer than this (degrees) belong to one azimuth: the worksheet holds them
// with a few decimals.
constexpr Real kSameAzimuth = 1e-6L;
// Pivots of the scaled normal matrix below this leave the parameters undetermined.
constexpr Real kSingular = 1e-10L;

struct Point {
  Real eps, err, psi;  // psi in radians
};

// Inverse of the symmetric positive (semi)definite k x k matrix a; false when it is singular.
// The matrix is scaled to unit diagonal first, so that the test does not depend on units.
template <std::size_t K>
bool Invert(std::array<std::array<Real, K>, K> a, std::array<std::array<Real, K>, K>& inv) {
  std::array<Real, K> scale{};
  for (std::size_t i = 0; i < K; ++i) {
    if (!(a[i][i] > 0)) return false;
    scale[i] = 1 / std::sqrt(a[i][i]);
  }
  for (std::size_t i = 0; i < K; ++i)
    for (std::size_t j = 0; j < K; ++j) a[i][j] *= scale[i] * scale[j];
  std::array<std::array<Real, K>, K> b{};
  for (std::size_t i = 0; i < K; ++i) b[i][i] = 1;
  for (std::size_t c = 0; c < K; ++c) {
    std::size_t p = c;
    for (std::size_t r = c + 1; r < K; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    if (std::fabs(a[p][c]) < kSingular) return false;
    std::swap(a[p], a[c]);
    std::swap(b[p], b[c]);
    const Real d = a[c][c];
    for (std::size_t j = 0; j < K; ++j) {
      a[c][j] /= d;
      b[c][j] /= d;
    }
    for (std::size_t r = 0; r < K; ++r) {
      if (r == c) continue;
      const Real f = a[r][c];
      for (std::size_t j = 0; j < K; ++j) {
        a[r][j] -= f * a[c][j];
        b[r][j] -= f * b[c][j];
      }
    }
  }
  for (std::size_t i = 0; i < K; ++i)
    for (std::size_t j = 0; j < K; ++j) inv[i][j] = b[i][j] * scale[i] * scale[j];
  return true;
}

// Weighted least squares of eps on the first K of (1, sin²ψ, sin 2ψ).
template <std::size_t K>
bool Regress(const std::vector<Point>& pts, std::array<Real, K>& x, std::array<Real, K>& err,
             Real& chisq) {
  const auto basis = [](const Point& p) {
    const Real s = std::sin(p.psi);
    return std::array<Real, 3>{1, s * s, std::sin(2 * p.psi)};
  };
  std::array<std::array<Real, K>, K> n{};
  std::array<Real, K> rhs{};
  for (const Point& p : pts) {
    const auto f = basis(p);
    const Real w = 1 / (p.err * p.err);
    for (std::size_t i = 0; i < K; ++i) {
      rhs[i] += w * f[i] * p.eps;
      for (std::size_t j = 0; j < K; ++j) n[i][j] += w * f[i] * f[j];
    }
  }
  std::array<std::array<Real, K>, K> inv{};
  if (!Invert(n, inv)) return false;
  for (std::size_t i = 0; i < K; ++i) {
    x[i] = 0;
    for (std::size_t j = 0; j < K; ++j) x[i] += inv[i][j] * rhs[j];
    err[i] = std::sqrt(inv[i][i]);
  }
  chisq = 0;
  for (const Point& p : pts) {
    const auto f = basis(p);
    Real model = 0;
    for (std::size_t i = 0; i < K; ++i) model += x[i] * f[i];
    chisq += (p.eps - model) * (p.eps - model) / (p.err * p.err);
  }
  return true;
}

// Beyond this a relative change of spacing is no elastic lattice strain.
constexpr Real kLargestStrain = 0.05L;

AzimuthResult EvaluateAzimuth(const std::vector<const StressMeasurement*>& rows,
                              bool subtractEps0) {
  AzimuthResult out;
  out.reflection = rows.front()->reflection;
  out.phi = rows.front()->phi;
  out.points = static_cast<int>(rows.size());
  std::vector<Point> pts;
  Real s1 = 0, s2 = 0;
  for (const StressMeasurement* m : rows) {
    Real a = 0, b = 0;
    if (!QuasiIsotropicConstants(*m, a, b)) {
      out.note = "the stress factors of row " + std::to_string(m->row) + " give no s1 and 1/2 s2";
      return out;
    }
    s1 += a;
    s2 += b;
    if (!(m->d0 > 0) || !(m->sd > 0)) {
      out.note = "row " + std::to_string(m->row) + " has no positive d0 or uncertainty of d";
      return out;
    }
    const Real eps = (m->d - m->d0) / m->d0 - (subtractEps0 ? m->eps0 : 0);
    // The slope over sin²psi is read against the stated d0; a lattice strain of percents is no
    // elastic strain but a d0 of another unit or reflection, and would scale the stress by it.
    if (!(std::fabs(eps) <= kLargestStrain)) {
      out.note = "row " + std::to_string(m->row) + " has (d - d0)/d0 = " +
                 core::FormatGeneral(eps) +
                 ": d and d0 do not belong together (another unit or reflection?)";
      return out;
    }
    pts.push_back({eps, m->sd / m->d0, m->psi * core::kPi / 180});
  }
  out.s1 = s1 / static_cast<Real>(rows.size());
  out.s2half = s2 / static_cast<Real>(rows.size());
  if (!(std::fabs(out.s2half) > 0)) {
    out.note = "1/2 s2 is zero";
    return out;
  }
  // 1/2 s2 is in 1/TPa: a slope of 1e-6 per sin²ψ is 1/(1/2 s2) MPa.
  const Real toMPa = 1e6L / out.s2half;
  std::array<Real, 3> x3{}, e3{};
  if (pts.size() >= 3 && Regress<3>(pts, x3, e3, out.chisq)) {
    out.intercept = x3[0];
    out.interceptErr = e3[0];
    out.slope = x3[1];
    out.slopeErr = e3[1];
    out.splitting = x3[2];
    out.splittingErr = e3[2];
    out.tau = x3[2] * toMPa;
    out.tauErr = e3[2] * std::fabs(toMPa);
  } else {
    std::array<Real, 2> x2{}, e2{};
    if (!Regress<2>(pts, x2, e2, out.chisq)) {
      out.note = "fewer than two different tilts: no slope";
      return out;
    }
    out.intercept = x2[0];
    out.interceptErr = e2[0];
    out.slope = x2[1];
    out.slopeErr = e2[1];
    out.note = "the tilts do not separate sin 2psi from sin^2 psi: no tau";
  }
  out.sigma = out.slope * toMPa;
  out.sigmaErr = out.slopeErr * std::fabs(toMPa);
  // Numbers at the ends of the range (a 1/2 s2 of 1e-300) can overflow: no INF is reported.
  const auto finite = [](Real x) { return std::isfinite(static_cast<double>(x)); };
  if (!finite(out.sigma) || !finite(out.sigmaErr) ||
      (out.tau && (!finite(*out.tau) || !finite(*out.tauErr)))) {
    out.tau.reset();
    out.tauErr.reset();
    out.note = "the regression gives no finite stress (the numbers are out of range)";
    return out;
  }
  out.determined = true;
  return out;
}

std::string Fixed(Real x, int d) { return core::FormatPadded(x, 1, d); }

}  // namespace

bool QuasiIsotropicConstants(const StressMeasurement& m, Real& s1, Real& s2half) {
  const Real phi = m.phi * core::kPi / 180, psi = m.psi * core::kPi / 180;
  const Real n[3] = {std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi), std::cos(psi)};
  // F_ii = s1 + 1/2 s2 x_i with x_i = n_i², sum x_i = 1: least squares in (s1, 1/2 s2).
  Real sx2 = 0, sF = 0, sxF = 0;
  for (int i = 0; i < 3; ++i) {
    const Real x = n[i] * n[i];
    const Real F = m.F(i + 1, i + 1);
    sx2 += x * x;
    sF += F;
    sxF += x * F;
  }
  const Real det = 3 * sx2 - 1;
  if (std::fabs(det) < 1e-9L) return false;
  s2half = (3 * sxF - sF) / det;
  s1 = (sF - s2half) / 3;
  return std::isfinite(static_cast<double>(s1)) && std::isfinite(static_cast<double>(s2half));
}

std::vector<AzimuthSet> EvaluatePerAzimuth(const std::vector<StressDataSet>& sets,
                                           bool subtractEps0) {
  std::vector<AzimuthSet> out;
  for (const StressDataSet& set : sets) {
    AzimuthSet& a = out.emplace_back();
    a.label = set.label;
    std::vector<std::vector<const StressMeasurement*>> groups;
    for (const StressMeasurement& m : set.members) {
      const auto sameGroup = [&m](const std::vector<const StressMeasurement*>& g) {
        return g.front()->reflection == m.reflection &&
               std::fabs(g.front()->phi - m.phi) < kSameAzimuth;
      };
      std::size_t k = 0;
      while (k < groups.size() && !sameGroup(groups[k])) ++k;
      if (k == groups.size()) groups.emplace_back();
      groups[k].push_back(&m);
      a.severalReflections |= m.reflection != set.members.front().reflection;
    }
    for (const auto& g : groups) a.azimuths.push_back(EvaluateAzimuth(g, subtractEps0));
  }
  return out;
}

std::vector<std::string> PerAzimuthLines(const std::vector<AzimuthSet>& sets) {
  std::vector<std::string> lines;
  lines.push_back("sin^2 psi per azimuth (quasi-isotropic s1, 1/2 s2 of the rows):");
  for (const AzimuthSet& s : sets)
    for (const AzimuthResult& r : s.azimuths) {
      std::string line = "set " + s.label +
                         (s.severalReflections ? "  hkl=" + r.reflection : std::string()) +
                         "  phi=" + Fixed(r.phi, 2) + "  n=" + std::to_string(r.points) + ": ";
      if (!r.determined) {
        lines.push_back(line + r.note);
        continue;
      }
      line += "sig_phi-sig_33=" + Fixed(r.sigma, 1) + " +/- " + Fixed(r.sigmaErr, 1) + " MPa";
      if (r.tau)
        line += "  tau_phi=" + Fixed(*r.tau, 1) + " +/- " + Fixed(*r.tauErr, 1) + " MPa";
      else
        line += "  (" + r.note + ")";
      lines.push_back(line);
    }
  return lines;
}

}  // namespace polydec::stress
