#include "texture/odf_grid.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/integration.h"
#include "core/large_array.h"
#include "core/linalg.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::kPi;

namespace {

constexpr Real kStep = kODFStep;

std::size_t At(Int n) { return static_cast<std::size_t>(n); }

Real ToDegrees(Real x) { return x * 180 / kPi; }
Real ToRadians(Real x) { return x * kPi / 180; }

// Weight of x between two node angles; nodes that share an angle contribute the lower value.
Real Weight(Real x, Real lower, Real upper) {
  const Real d = upper - lower;
  return d != 0 ? (x - lower) / d : Real{0};
}

// Index of the node at or below q (0 <= q < 73 nodes): trunc(q), converted through double so
// that no x87 rounding-mode switch is needed. The double may round up across a node; the
// exact comparison in extended precision takes it back.
Int NodeBelow(Real q) {
  Int n = static_cast<Int>(static_cast<double>(q));
  if (static_cast<Real>(n) > q) --n;
  return n;
}

// Round to nearest, ties to even, for a value already known to lie well inside the Int range.
// rint rounds as nearbyint does (in the current mode, to nearest by default) but leaves the
// inexact flag set instead of saving and restoring the floating-point environment around the
// x87 rounding, which made nearbyint the largest single cost of reading a full table.
Int RoundHalfEven(Real x) { return static_cast<Int>(std::rint(x)); }

}  // namespace

void SizeODFArrays(OrientationsRec& ctx) {
  for (core::DataVector* v : {&ctx.ODF, &ctx.phi1, &ctx.phi, &ctx.phi2})
    v->resize(At(kODFArrayLength));
}

bool HasODFGrid(const OrientationsRec& ctx) {
  const std::size_t n = At(kODFNodeCount);
  return ctx.ODF.size() >= n && ctx.phi1.size() >= n && ctx.phi.size() >= n && ctx.phi2.size() >= n;
}

void SetODFGridAngles(OrientationsRec& ctx) {
  if (!HasODFGrid(ctx)) SizeODFArrays(ctx);
  for (Int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (Int i = 0; i < kPhiNodes; ++i)
      for (Int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        const std::size_t n = At(ODFNodeIndex(i1, i, i2));
        ctx.phi1[n] = kStep * i1;
        ctx.phi[n] = kStep * i;
        ctx.phi2[n] = kStep * i2;
      }
}

namespace {

// InterpolateODF for angles already checked (not negative, not NaN) on a grid that is set up.
[[gnu::always_inline]] inline Real Interpolate(const OrientationsRec& ctx, Real a1, Real a,
                                               Real a2) {
  if (a1 >= 360) a1 = 359.9999L;
  if (a >= 180) a = 179.9999L;
  if (a2 >= 360) a2 = 359.9999L;
  // The angles now lie in [0, 360) x [0, 180) x [0, 360), so the lower nodes are at most
  // 71, 35, 71 and their upper neighbours exist.
  const Int i1 = NodeBelow(a1 / kStep);
  const Int i = NodeBelow(a / kStep);
  const Int i2 = NodeBelow(a2 / kStep);
  const Real* odf = ctx.ODF.data();
  const Real* angle1 = ctx.phi1.data();
  const Real* angle = ctx.phi.data();
  const Real* angle2 = ctx.phi2.data();
  // Written out rather than looped: intermediate values then stay in registers.
  const auto alongPhi2 = [&](Int n1, Int n) __attribute__((always_inline)) {
    const std::size_t L = At(ODFNodeIndex(n1, n, i2)), U = L + 1;
    return odf[L] + Weight(a2, angle2[L], angle2[U]) * (odf[U] - odf[L]);
  };
  const auto alongPhi = [&](Int n1) __attribute__((always_inline)) {
    const Real lower = alongPhi2(n1, i), upper = alongPhi2(n1, i + 1);
    const Real w = Weight(a, angle[At(ODFNodeIndex(n1, i, i2 + 1))],
                          angle[At(ODFNodeIndex(n1, i + 1, i2 + 1))]);
    return lower + w * (upper - lower);
  };
  const Real lower = alongPhi(i1), upper = alongPhi(i1 + 1);
  const Real w = Weight(a1, angle1[At(ODFNodeIndex(i1, i + 1, i2 + 1))],
                        angle1[At(ODFNodeIndex(i1 + 1, i + 1, i2 + 1))]);
  return lower + w * (upper - lower);
}

}  // namespace

Real InterpolateODF(const OrientationsRec& ctx, Real a1, Real a, Real a2) {
  if (!(a1 >= 0 && a >= 0 && a2 >= 0))
    throw std::out_of_range("ODF lookup at negative or undefined Euler angles");
  if (!HasODFGrid(ctx)) throw std::out_of_range("ODF lookup on a grid that is not set up");
  return Interpolate(ctx, a1, a, a2);
}

namespace {

[[gnu::always_inline]] inline Real Lookup(const OrientationsRec& ctx, Real phi1, Real Phi,
                                          Real phi2) {
  if (ctx.ODFNUMP < 1 || !ctx.UseODF) return 1;
  Real a1 = ToDegrees(phi1), a = ToDegrees(Phi), a2 = ToDegrees(phi2);
  if (!(a1 >= 0 && a >= 0 && a2 >= 0))
    throw std::out_of_range("ODF lookup at negative or undefined Euler angles");
  // The upper end of the loaded region is looked up just inside it, where the interpolation
  // has both neighbours; a region bound of 0 must not push an angle below the grid.
  if (a1 == ctx.maxphi1) a1 = std::fmax(ctx.maxphi1 - 1e-5L, Real{0});
  if (a == ctx.maxphi) a = std::fmax(ctx.maxphi - 1e-5L, Real{0});
  if (a2 == ctx.maxphi2) a2 = std::fmax(ctx.maxphi2 - 1e-5L, Real{0});
  if (!HasODFGrid(ctx)) throw std::out_of_range("ODF lookup on a grid that is not set up");
  return Interpolate(ctx, a1, a, a2);
}

}  // namespace

Real ODFValue(const OrientationsRec& ctx, Real phi1, Real Phi, Real phi2) {
  return Lookup(ctx, phi1, Phi, phi2);
}

Real ODFValueOfDoubles(const OrientationsRec& ctx, double phi1, double Phi, double phi2) {
  return Lookup(ctx, phi1, Phi, phi2);
}

std::optional<Int> ODFGridIndex(Real a1, Real a, Real a2) {
  if (a1 < 0) a1 += 360;
  if (a < 0) a += 180;
  if (a2 < 0) a2 += 360;
  if (a1 > 360) a1 -= 360;
  if (a > 180) a -= 180;
  if (a2 > 360) a2 -= 360;
  // Beyond these the rounded terms leave the grid (and, far beyond, the integer range).
  if (!(a1 >= 0 && a1 <= 360 && a >= 0 && a <= 180 && a2 >= 0 && a2 <= 360)) return std::nullopt;
  const Int index = RoundHalfEven(a1 / kStep * kODFSectionSize) +
                    RoundHalfEven(a / kStep * kPhi2Nodes) + RoundHalfEven(a2 / kStep);
  if (index < 0 || index >= kODFNodeCount) return std::nullopt;
  return index;
}

Real ODFGridValue(const OrientationsRec& ctx, Real a1, Real a, Real a2) {
  const std::optional<Int> index = ODFGridIndex(a1, a, a2);
  if (!index || ctx.ODF.size() <= At(*index)) throw std::out_of_range("ODF node outside the grid");
  return ctx.ODF[At(*index)];
}

namespace {

// Whether every node records its own grid angles 5 i1, 5 i, 5 i2, as the readers and the
// expansion leave them: then the interpolation's weights depend on each angle alone.
bool RegularGridAngles(const OrientationsRec& ctx) {
  for (Int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (Int i = 0; i < kPhiNodes; ++i)
      for (Int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        const std::size_t n = At(ODFNodeIndex(i1, i, i2));
        if (ctx.phi1[n] != kStep * i1 || ctx.phi[n] != kStep * i || ctx.phi2[n] != kStep * i2)
          return false;
      }
  return true;
}

// One angle of a point of the integral as Lookup and Interpolate treat it on a regular grid:
// the node below and the weight towards the next.
struct AxisPlace {
  Real x = 0;  // radians
  Int node = 0;
  Real weight = 0;
};

// The points of one Simpson rule in the order the rule evaluates them, placed on an axis whose
// loaded region ends at maxAngle and whose lookup clamps at `top` from `end` on (degrees).
// False when a point is negative or not a number: the lookup refuses those.
bool PlaceRule(Real b, int n, Real maxAngle, Real top, Real end, std::vector<AxisPlace>& out) {
  bool ok = true;
  core::CompositeSimpson(
      [&](Real x) {
        Real a = ToDegrees(x);
        ok = ok && a >= 0;
        if (a == maxAngle) a = std::fmax(maxAngle - 1e-5L, Real{0});
        if (a >= end) a = top;
        const Int node = NodeBelow(a / kStep);
        out.push_back({x, node, Weight(a, kStep * node, kStep * (node + 1))});
        return Real{0};
      },
      0, b, n);
  return ok;
}

// Interpolate at placed angles, with its arithmetic in its order.
Real PlacedValue(const Real* odf, const AxisPlace& p1, const AxisPlace& p, const AxisPlace& p2) {
  const auto alongPhi2 = [&](Int n1, Int n) {
    const std::size_t L = At(ODFNodeIndex(n1, n, p2.node)), U = L + 1;
    return odf[L] + p2.weight * (odf[U] - odf[L]);
  };
  const auto alongPhi = [&](Int n1) {
    const Real lower = alongPhi2(n1, p.node), upper = alongPhi2(n1, p.node + 1);
    return lower + p.weight * (upper - lower);
  };
  const Real lower = alongPhi(p1.node), upper = alongPhi(p1.node + 1);
  return lower + p1.weight * (upper - lower);
}


// The integrals of f and of f² side by side on a regular grid (see ODFIntegral), or nothing
// when the grid is not regular.
std::optional<ODFMoments> PlacedIntegrals(const OrientationsRec& ctx, int n) {
  // The rules evaluate their points in the same order every time, so each axis is placed on
  // the grid once instead of at each of the (2n + 1)^3 points; the sums are the same, bit for
  // bit, as those of ODFValue at every point.
  std::vector<AxisPlace> at1, at, at2;
  if (!(ctx.ODFNUMP >= 1 && ctx.UseODF && HasODFGrid(ctx) &&
        PlaceRule(2 * kPi, n, ctx.maxphi1, 359.9999L, 360, at1) &&
        PlaceRule(kPi, n, ctx.maxphi, 179.9999L, 180, at) &&
        PlaceRule(2 * kPi, n, ctx.maxphi2, 359.9999L, 360, at2) && RegularGridAngles(ctx)))
    return std::nullopt;
  const Real* odf = ctx.ODF.data();
  std::size_t k1 = 0;
  return core::CompositeSimpson(
      [&](Real) {
        const AxisPlace& p1 = at1[k1++];
        std::size_t k = 0;
        return core::CompositeSimpson(
            [&](Real) {
              const AxisPlace& p = at[k++];
              std::size_t k2 = 0;
              return std::sin(p.x) * core::CompositeSimpson(
                                         [&](Real) {
                                           const Real f = PlacedValue(odf, p1, p, at2[k2++]);
                                           return ODFMoments{f, f * f};
                                         },
                                         0, 2 * kPi, n);
            },
            0, kPi, n);
      },
      0, 2 * kPi, n);
}

}  // namespace

ODFMoments operator+(const ODFMoments& x, const ODFMoments& y) {
  return {x.integral + y.integral, x.squared + y.squared};
}
ODFMoments& operator+=(ODFMoments& x, const ODFMoments& y) { return x = x + y; }
ODFMoments operator*(Real c, const ODFMoments& x) { return {c * x.integral, c * x.squared}; }
ODFMoments operator*(const ODFMoments& x, Real c) { return {x.integral * c, x.squared * c}; }
ODFMoments operator/(const ODFMoments& x, Real c) { return {x.integral / c, x.squared / c}; }

ODFMoments ODFIntegrals(const OrientationsRec& ctx, int n) {
  if (n < 1) throw std::invalid_argument("ODFIntegral needs n >= 1, got " + std::to_string(n));
  if (const std::optional<ODFMoments> placed = PlacedIntegrals(ctx, n)) return *placed;
  return {ODFIntegral(ctx, n, false), ODFIntegral(ctx, n, true)};
}

Real ODFIntegral(const OrientationsRec& ctx, int n, bool squared) {
  if (n < 1) throw std::invalid_argument("ODFIntegral needs n >= 1, got " + std::to_string(n));
  if (const std::optional<ODFMoments> placed = PlacedIntegrals(ctx, n))
    return squared ? placed->squared : placed->integral;
  // The volume element of Bunge angles is sin Phi dphi1 dPhi dphi2; it enters between the
  // inner (phi2) and middle (Phi) sums.
  return core::CompositeSimpson(
      [&](Real phi1) {
        return core::CompositeSimpson(
            [&](Real Phi) {
              return std::sin(Phi) *
                     core::CompositeSimpson(
                         [&](Real phi2) {
                           const Real f = ODFValue(ctx, phi1, Phi, phi2);
                           return squared ? f * f : f;
                         },
                         0, 2 * kPi, n);
            },
            0, kPi, n);
      },
      0, 2 * kPi, n);
}

Real TextureIndex(const ODFMoments& m) {
  if (!(m.integral > 0)) return 1;
  return 8 * kPi * kPi * m.squared / (m.integral * m.integral);
}

ODFValueRange ODFRange(const OrientationsRec& ctx) {
  ODFValueRange r{ctx.ODF[0], ctx.ODF[0]};
  for (Int n = 0; n < kODFNodeCount; ++n) {
    r.minimum = std::min(r.minimum, ctx.ODF[static_cast<std::size_t>(n)]);
    r.maximum = std::max(r.maximum, ctx.ODF[static_cast<std::size_t>(n)]);
  }
  return r;
}

CubeOrthEquivalentRec CubeOrthEquivalent(const OrientationsRec& ctx, int n, Real phi1, Real Phi,
                                         Real phi2) {
  if (n < 1 || n > 96)
    throw std::out_of_range("cubic-orthorhombic equivalent " + std::to_string(n) +
                            " outside 1..96");
  const int i = n % 24 == 0 ? 24 : n % 24;
  const int j = (n + 23) / 24;
  const core::Tensor2 g = EulerToMatrix(ToRadians(phi1), ToRadians(Phi), ToRadians(phi2));
  core::Tensor2 Cg, M;
  core::MatMul3x3(CubicOperators()(i), g, Cg);
  core::MatMul3x3(Cg, OrthorhombicOperators()(j), M);
  const core::EulerAnglesRec e = MatrixToEuler(M);
  return {ToDegrees(e.phi1), ToDegrees(e.phi), ToDegrees(e.phi2),
          ODFValue(ctx, e.phi1, e.phi, e.phi2)};
}

}  // namespace polydec::texture
