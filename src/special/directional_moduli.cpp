#include "special/directional_moduli.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/linalg.h"
#include "crystal/lattice.h"

namespace polydec::special {

namespace {

Real Evaluate(const Tensor4& S, const Tensor1& n, DirectionalQuantity q) {
  return q == DirectionalQuantity::kYoungsModulus ? YoungsModulusAlong(S, n)
                                                  : LinearCompressibilityAlong(S, n);
}

Tensor1 FromAngles(Real polar, Real azimuth) {
  return Tensor1{{std::sin(polar) * std::cos(azimuth), std::sin(polar) * std::sin(azimuth),
                  std::cos(polar)}};
}

// Cartesian components of the lattice direction [u v w], normalised.
Tensor1 LatticeDirection(const core::CrystalData& C, int u, int v, int w) {
  Tensor1 d;
  for (int i = 1; i <= 3; ++i)
    d(i) = C.BMatrix(i, 1) * u + C.BMatrix(i, 2) * v + C.BMatrix(i, 3) * w;
  core::NormalizeVector(d);
  return d;
}

struct Extreme {
  Real value;
  Tensor1 n;
};

// A pattern search on the sphere from n: the angles are stepped while that improves the value
// (sign +1 looks for a maximum, -1 for a minimum), the step halved until it is below 1e-10 rad.
Extreme Refine(const Tensor4& S, DirectionalQuantity q, const Tensor1& start, int sign) {
  Real polar = std::acos(std::clamp<Real>(start(3), -1, 1));
  Real azimuth = std::atan2(start(2), start(1));
  Real best = sign * Evaluate(S, start, q);
  for (Real step = 0.02L; step > 1e-10L;) {
    bool moved = false;
    for (const auto& [dp, da] : {std::pair<Real, Real>{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
      const Real p = polar + dp * step, a = azimuth + da * step;
      const Real v = sign * Evaluate(S, FromAngles(p, a), q);
      if (v > best) {
        best = v;
        polar = p;
        azimuth = a;
        moved = true;
      }
    }
    if (!moved) step /= 2;
  }
  return {sign * best, FromAngles(polar, azimuth)};
}

std::string DirectionLabel(int u, int v, int w) {
  return "[" + std::to_string(u) + " " + std::to_string(v) + " " + std::to_string(w) + "]";
}

}  // namespace

Real YoungsModulusAlong(const Tensor4& S, const Tensor1& n) {
  Real s = 0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) s += n(i) * n(j) * n(k) * n(l) * S(i, j, k, l);
  return 1 / s;
}

Real LinearCompressibilityAlong(const Tensor4& S, const Tensor1& n) {
  Real s = 0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k) s += n(i) * n(j) * S(i, j, k, k);
  return s;
}

Tensor1 UpperHemisphere(const Tensor1& n) {
  return n(3) < -1e-12L ? Tensor1{{-n(1), -n(2), -n(3)}} : n;
}

Tensor1 EqualAreaDirection(Real x, Real y) {
  // Radius r of the disc is sqrt(2) sin(polar/2), scaled so that the equator (polar 90°) is 1.
  const Real r = std::min<Real>(1, std::sqrt(x * x + y * y));
  const Real polar = 2 * std::asin(r / std::sqrt(Real{2}));
  return FromAngles(polar, std::atan2(y, x));
}

void EqualAreaPoint(const Tensor1& n, Real& x, Real& y) {
  const Real polar = std::acos(std::clamp<Real>(n(3), -1, 1));
  const Real r = std::sqrt(Real{2}) * std::sin(polar / 2);
  const Real azimuth = std::atan2(n(2), n(1));
  x = r * std::cos(azimuth);
  y = r * std::sin(azimuth);
}

DirectionalMap MapDirections(const Tensor4& S, const core::CrystalData& C, DirectionalQuantity q,
                             int size) {
  DirectionalMap map;
  map.size = size;
  map.values.assign(static_cast<std::size_t>(size) * size, std::numeric_limits<Real>::quiet_NaN());
  Extreme low{std::numeric_limits<Real>::infinity(), {}};
  Extreme high{-std::numeric_limits<Real>::infinity(), {}};
  // Equivalent directions give values that differ in the last bits: the first of them stays.
  const auto consider = [&](const Tensor1& n, Real v) {
    if (v < low.value - 1e-15L * std::abs(v)) low = {v, n};
    if (v > high.value + 1e-15L * std::abs(v)) high = {v, n};
  };
  for (int row = 0; row < size; ++row)
    for (int col = 0; col < size; ++col) {
      const Real x = (2 * col + 1 - size) / Real(size), y = (size - 2 * row - 1) / Real(size);
      if (x * x + y * y > 1) continue;
      const Tensor1 n = EqualAreaDirection(x, y);
      const Real v = Evaluate(S, n, q);
      map.values[static_cast<std::size_t>(row) * size + col] = v;
      consider(n, v);
    }
  // Counted down, so that of equivalent extremes the direction with positive indices is kept.
  for (int u = 3; u >= -3; --u)
    for (int v = 3; v >= -3; --v)
      for (int w = 3; w >= 0; --w) {
        if (u == 0 && v == 0 && w == 0) continue;
        const Tensor1 n = LatticeDirection(C, u, v, w);
        consider(n, Evaluate(S, n, q));
        // The directions of indices 0 and 1 in the upper hemisphere (one of a pair on the rim).
        const bool unit = std::max({std::abs(u), std::abs(v), w}) == 1;
        const bool upper = n(3) > 1e-12L || (n(3) > -1e-12L && (u > 0 || (u == 0 && v > 0)));
        if (unit && upper) {
          DirectionalMark mark;
          mark.label = DirectionLabel(u, v, w);
          EqualAreaPoint(UpperHemisphere(n), mark.x, mark.y);
          map.marks.push_back(mark);
        }
      }
  // Extremes off the lattice directions: refine from the best point found, keeping the better.
  for (int sign : {1, -1}) {
    Extreme& e = sign > 0 ? high : low;
    const Extreme refined = Refine(S, q, e.n, sign);
    if (sign * (refined.value - e.value) > 1e-15L * std::abs(e.value)) e = refined;
  }
  map.minimum = low.value;
  map.maximum = high.value;
  map.minimumDirection = low.n;
  map.maximumDirection = high.n;
  return map;
}

Real UniversalAnisotropy(const Tensor4& C, const Tensor4& S) {
  // Voigt and Reuss bulk and shear moduli from the 6x6 forms (Voigt notation factors on S).
  const Real cDiag = C(1, 1, 1, 1) + C(2, 2, 2, 2) + C(3, 3, 3, 3);
  const Real cOff = C(1, 1, 2, 2) + C(2, 2, 3, 3) + C(3, 3, 1, 1);
  const Real cShear = C(2, 3, 2, 3) + C(1, 3, 1, 3) + C(1, 2, 1, 2);
  const Real sDiag = S(1, 1, 1, 1) + S(2, 2, 2, 2) + S(3, 3, 3, 3);
  const Real sOff = S(1, 1, 2, 2) + S(2, 2, 3, 3) + S(3, 3, 1, 1);
  const Real sShear = 4 * (S(2, 3, 2, 3) + S(1, 3, 1, 3) + S(1, 2, 1, 2));
  const Real KV = (cDiag + 2 * cOff) / 9, GV = (cDiag - cOff + 3 * cShear) / 15;
  const Real KR = 1 / (sDiag + 2 * sOff), GR = 15 / (4 * sDiag - 4 * sOff + 3 * sShear);
  return 5 * GV / GR + KV / KR - 6;
}

Real ZenerRatio(const Tensor4& C) {
  return 2 * C(2, 3, 2, 3) / (C(1, 1, 1, 1) - C(1, 1, 2, 2));
}

}  // namespace polydec::special
