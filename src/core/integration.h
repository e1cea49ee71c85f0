// Quadrature: the 16-point Gauss-Legendre rule, adaptive bisection built on it, the nested
// adaptive integral over the unit sphere used for Eshelby tensors, and composite Simpson.
#pragma once

#include <array>
#include <cmath>
#include <type_traits>
#include <vector>

#include "core/types.h"

namespace polydec::core {

struct GaussNode {
  Real x, w;
};
// Entries 0..7: the positive nodes in increasing order with their weights; entries 8..15 the
// same nodes negated, in the same order. Summation follows this order.
extern const std::array<GaussNode, 16> GaussLegendre16Table;

// Exact for polynomials of degree <= 31 on [a, b].
template <class F>
Real GaussLegendre16(F&& f, Real a, Real b) {
  const Real h = (b - a) / 2, c = (a + b) / 2;
  Real s = 0;
  for (const GaussNode& node : GaussLegendre16Table) s += node.w * f(h * node.x + c);
  return h * s;
}

// Adaptive bisection: an interval is accepted when the sum of the rule on its two halves
// agrees with the rule on the whole to |eps * s|; otherwise its left half waits on a stack and
// the right half is refined first. After `limit` examinations the current two-half sum is
// added and the intervals still waiting are dropped, so the work is bounded whatever the
// integrand (a non-finite value never passes the test and propagates into the result). A limit
// below 1 acts as 1. `count` receives the number of examinations made.
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
    const bool atLimit = count >= limit;
    if (std::abs(eps * s) >= std::abs(cur.I - s) || atLimit) {
      total += s;
      if (atLimit || stack.empty()) break;
      cur = stack.back();
      stack.pop_back();
      continue;
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
// levels adaptive with the same tolerance and limit; every outer node runs a complete inner
// integration. The surface element sin(theta) is the integrand's business. outerCount
// receives the outer examinations.
template <class G>
Real SphereIntegral(G&& g, Real eps, int limit, int& outerCount) {
  auto outer = [&](Real phi) {
    return AdaptiveGaussLegendre([&](Real theta) -> Real { return g(phi, theta); }, 0, kPi, eps,
                                 limit);
  };
  return AdaptiveGaussLegendre(outer, 0, 2 * kPi, eps, limit, outerCount);
}

template <class G>
Real SphereIntegral(G&& g, Real eps, int limit) {
  int outerCount = 0;
  return SphereIntegral(g, eps, limit, outerCount);
}

// Composite Simpson rule on 2N equal subintervals. The fibre and Euler-space averages write
// this rule inline with weights of their own; this is the reference order of operations they
// share: abscissae advanced by repeated addition of h, odd and even sums from 0, then the end
// points. N < 1 returns 0 - callers that must produce no result for N < 1 check it themselves.
// An f that returns a number is summed as Real; one that returns a record with +, and * and /
// by a Real (several integrands side by side) is summed component by component in the same
// order, so each component equals the rule over that component alone.
template <class F>
auto CompositeSimpson(F&& f, Real a, Real b, int N) {
  using Value = std::decay_t<decltype(f(a))>;
  using Sum = std::conditional_t<std::is_arithmetic_v<Value>, Real, Value>;
  if (N < 1) return Sum{};
  const long long intervals = 2LL * N;
  const Real h = (b - a) / static_cast<Real>(intervals);
  Sum sOdd{}, sEven{};
  Real x = a;
  for (long long k = 1; k < intervals; ++k) {
    x += h;
    if (k % 2 == 1) {
      sOdd += f(x);
    } else {
      sEven += f(x);
    }
  }
  const Sum fa = f(a);
  const Sum fb = f(b);
  return (fa + fb + 2 * sEven + 4 * sOdd) * h / 3;
}

}  // namespace polydec::core
