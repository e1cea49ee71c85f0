// Quadrature: the 16-point Gauss-Legendre rule, adaptive bisection built on it, and the
// nested adaptive integral over the unit sphere used for Eshelby tensors.
#pragma once

#include <array>
#include <vector>

#include "core/types.h"

namespace polydec::core {

struct GaussNode {
  Real x, w;
};
// Entries 0..7: the positive nodes in increasing order with their weights; entries 8..15 the
// same nodes negated, in the same order. Summation follows this order.
extern const std::array<GaussNode, 16> GaussLegendre16Table;

template <class F>
Real GaussLegendre16(F&& f, Real a, Real b) {
  const Real h = (b - a) / 2, c = (a + b) / 2;
  Real s = 0;
  for (const GaussNode& node : GaussLegendre16Table) s += node.w * f(h * node.x + c);
  return h * s;
}

// Adaptive bisection, right halves refined first; stops after `limit` examinations.
// `count` receives the number of examinations made.
template <class F>
Real AdaptiveGaussLegendre(F&& f, Real a, Real b, Real eps, int limit, int& count) {
  struct Interval {
    Real a, b, I;
  };
  std::vector<Interval> stack;
  Interval cur{a, b, GaussLegendre16(f, a, b)};
  Real total = 0;
  count = 0;
  for (;;) {
    ++count;
    const Real m = cur.a + (cur.b - cur.a) / 2;
    const Real il = GaussLegendre16(f, cur.a, m);
    const Real ir = GaussLegendre16(f, m, cur.b);
    const Real s = il + ir;
    const Real diff = cur.I - s;
    if ((eps * s < 0 ? -(eps * s) : eps * s) >= (diff < 0 ? -diff : diff) || count == limit) {
      total += s;
      if (count != limit && !stack.empty()) {
        cur = stack.back();
        stack.pop_back();
        continue;
      }
      break;
    }
    stack.push_back({cur.a, m, il});
    cur = {m, cur.b, ir};
  }
  return total;
}

template <class F>
Real AdaptiveGaussLegendre(F&& f, Real a, Real b, Real eps, int limit) {
  int count = 0;
  return AdaptiveGaussLegendre(f, a, b, eps, limit, count);
}

// Integral over phi in [0, 2 pi] (outer) and theta in [0, pi] (inner) of g(phi, theta), both
// levels adaptive with the same tolerance and limit. outerCount receives the outer
// examinations.
template <class G>
Real SphereIntegral(G&& g, Real eps, int limit, int& outerCount) {
  auto outer = [&](Real phi) {
    return AdaptiveGaussLegendre([&](Real theta) { return g(phi, theta); }, 0, kPi, eps,
                                 limit);
  };
  return AdaptiveGaussLegendre(outer, 0, 2 * kPi, eps, limit, outerCount);
}

}  // namespace polydec::core
