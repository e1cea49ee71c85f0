#include "crystal/reflection_families.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "core/linalg.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"

namespace polydec::crystal {

namespace {

using core::Tensor2;

Tensor2 Matrix(Real a11, Real a12, Real a13, Real a21, Real a22, Real a23, Real a31, Real a32,
               Real a33) {
  return Tensor2{{a11, a12, a13, a21, a22, a23, a31, a32, a33}};
}

Tensor2 TurnAboutZ(int fold) {
  const Real t = 2 * core::kPi / fold;
  return Matrix(std::cos(t), -std::sin(t), 0, std::sin(t), std::cos(t), 0, 0, 0, 1);
}

const Tensor2 kInversion = Matrix(-1, 0, 0, 0, -1, 0, 0, 0, -1);
const Tensor2 kTwofoldX = Matrix(1, 0, 0, 0, -1, 0, 0, 0, -1);
const Tensor2 kTwofoldY = Matrix(-1, 0, 0, 0, 1, 0, 0, 0, -1);
// The threefold axis along the cube diagonal: x -> y -> z -> x.
const Tensor2 kThreefoldDiagonal = Matrix(0, 0, 1, 1, 0, 0, 0, 1, 0);

bool SameMatrix(const Tensor2& a, const Tensor2& b) {
  for (std::size_t i = 0; i < a.e.size(); ++i)
    if (std::abs(a.e[i] - b.e[i]) > 1e-9L) return false;
  return true;
}

// The group the generators span (all finite point groups here, at most 48 elements).
std::vector<Tensor2> Closure(const std::vector<Tensor2>& generators) {
  std::vector<Tensor2> group = {Matrix(1, 0, 0, 0, 1, 0, 0, 0, 1)};
  for (std::size_t n = 0; n < group.size(); ++n)
    for (const Tensor2& g : generators) {
      Tensor2 p;
      core::MatMul3x3(g, group[n], p);
      if (std::none_of(group.begin(), group.end(), [&](const Tensor2& q) { return SameMatrix(p, q); }))
        group.push_back(p);
    }
  return group;
}

// The Laue groups of the elastic forms, in the crystal Cartesian frame: the rotations that
// keep the class's pattern of vanishing and related constants, with the inversion every
// elastic tensor has.
std::vector<std::vector<Tensor2>> CartesianLaueGroups(CrystalClass c) {
  const std::vector<Tensor2> cubic = {TurnAboutZ(4), kThreefoldDiagonal, kInversion};
  const std::vector<Tensor2> hexagonal = {TurnAboutZ(6), kTwofoldX, kInversion};
  switch (c) {
    case kCubic:
      return {Closure(cubic)};
    case kHexagonal:
      return {Closure(hexagonal)};
    case kTetragonal1:
      return {Closure({TurnAboutZ(4), kTwofoldX, kInversion})};
    case kTetragonal2:
      return {Closure({TurnAboutZ(4), kInversion})};
    case kTrigonal1:
      return {Closure({TurnAboutZ(3), kTwofoldX, kInversion})};
    case kTrigonal2:
      return {Closure({TurnAboutZ(3), kInversion})};
    case kOrthorhombicClass:
      return {Closure({kTwofoldX, kTwofoldY, kInversion})};
    case kMonoclinic1:
      return {Closure({kTwofoldY, kInversion})};
    case kMonoclinic2:
      return {Closure({TurnAboutZ(2), kInversion})};
    case kTriclinicClass:
      return {Closure({kInversion})};
    case kIsotropicClass:
      // Every rotation keeps an isotropic tensor: the lattice decides, cubic or hexagonal.
      return {Closure(cubic), Closure(hexagonal)};
  }
  return {Closure({kInversion})};
}

IntMiller Apply(const IndexOperator& m, const IntMiller& h) {
  IntMiller r{};
  for (int i = 0; i < 3; ++i) r[i] = m[i][0] * h[0] + m[i][1] * h[1] + m[i][2] * h[2];
  return r;
}

IndexOperator Product(const IndexOperator& a, const IndexOperator& b) {
  IndexOperator p{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) p[i][j] += a[i][k] * b[k][j];
  return p;
}

int LargestIndex(const IntMiller& h, bool millerBravais) {
  int m = std::max({std::abs(h[0]), std::abs(h[1]), std::abs(h[2])});
  if (millerBravais) m = std::max(m, std::abs(h[0] + h[1]));
  return m;
}

// The representative a reader expects: {110} rather than {2-10}, {211} rather than {-1-1-2}.
bool BetterRepresentative(const IntMiller& a, const IntMiller& b) {
  const int ma = LargestIndex(a, false), mb = LargestIndex(b, false);
  if (ma != mb) return ma < mb;
  const auto negatives = [](const IntMiller& h) {
    return std::count_if(h.begin(), h.end(), [](int x) { return x < 0; });
  };
  if (negatives(a) != negatives(b)) return negatives(a) < negatives(b);
  return a > b;
}

}  // namespace

std::vector<IndexOperator> LaueIndexOperators(const core::CrystalData& C, CrystalClass c) {
  // A Cartesian operation R moves the reciprocal vector B^-T h to R B^-T h, whose indices are
  // B^T R B^-T h (B: the Cartesian components of a, b, c as columns). The lattice has the
  // symmetry when that matrix is an integer one.
  const Tensor2 B = LatticeFrame(C);
  Tensor2 Binv, BinvT, Bt;
  core::Invert3x3(B, Binv);
  core::Transpose3x3(Binv, BinvT);
  core::Transpose3x3(B, Bt);
  std::set<IndexOperator> kept;
  for (const std::vector<Tensor2>& group : CartesianLaueGroups(c))
    for (const Tensor2& R : group) {
      Tensor2 t, m;
      core::MatMul3x3(Bt, R, t);
      core::MatMul3x3(t, BinvT, m);
      IndexOperator op{};
      bool integer = true;
      for (int i = 0; i < 3 && integer; ++i)
        for (int j = 0; j < 3; ++j) {
          const Real v = m(i + 1, j + 1);
          if (!(std::abs(v - std::round(v)) < 1e-6L) || std::abs(v) > 4) {
            integer = false;
            break;
          }
          op[i][j] = static_cast<int>(std::lround(v));
        }
      if (integer) kept.insert(op);
    }
  // The lattice operations of two candidate groups (an isotropic phase) close into one group.
  std::vector<IndexOperator> ops(kept.begin(), kept.end());
  for (std::size_t n = 0; n < ops.size(); ++n)
    for (std::size_t k = 0; k <= n; ++k)
      for (const IndexOperator& p : {Product(ops[n], ops[k]), Product(ops[k], ops[n])})
        if (kept.insert(p).second) ops.push_back(p);
  return ops;
}

std::vector<ReflectionFamily> ListReflectionFamilies(const core::CrystalData& C, CrystalClass c,
                                                     int maxIndex) {
  const std::vector<IndexOperator> ops = LaueIndexOperators(C, c);
  const bool millerBravais = UsesMillerBravais(c);
  std::set<IntMiller> seen;
  std::vector<ReflectionFamily> families;
  for (int h = -maxIndex; h <= maxIndex; ++h)
    for (int k = -maxIndex; k <= maxIndex; ++k)
      for (int l = -maxIndex; l <= maxIndex; ++l) {
        const IntMiller hkl{h, k, l};
        if ((h == 0 && k == 0 && l == 0) || LargestIndex(hkl, millerBravais) > maxIndex ||
            seen.count(hkl) != 0)
          continue;
        std::set<IntMiller> orbit;
        for (const IndexOperator& op : ops) orbit.insert(Apply(op, hkl));
        ReflectionFamily f;
        f.members.assign(orbit.begin(), orbit.end());
        std::sort(f.members.begin(), f.members.end(), BetterRepresentative);
        f.hkl = f.members.front();
        seen.insert(orbit.begin(), orbit.end());
        families.push_back(std::move(f));
      }
  std::vector<Real> spacing;
  for (const ReflectionFamily& f : families) spacing.push_back(DSpacing(C, f.hkl[0], f.hkl[1], f.hkl[2]));
  std::vector<std::size_t> order(families.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (std::abs(spacing[a] - spacing[b]) > 1e-12L * spacing[a]) return spacing[a] > spacing[b];
    return families[a].hkl > families[b].hkl;
  });
  std::vector<ReflectionFamily> sorted;
  for (std::size_t i : order) sorted.push_back(std::move(families[i]));
  return sorted;
}

}  // namespace polydec::crystal
