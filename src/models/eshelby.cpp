#include "models/eshelby.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "core/integration.h"
#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "core/voigt.h"

namespace polydec::models {

using core::EllipsoidAxisLength;
using core::Real;
using core::Tensor2;
using core::Tensor4;

namespace {

constexpr Real kInvFourPi = 0.079577471545947667885L;
constexpr Real kOneThird = 0.33333333333333333334L;
constexpr Real kTolerance = 1e-5L;
constexpr int kLimit = 50;
constexpr int kMaxComponents = 21;
constexpr int kNodes = 16;
// Bound on the remembered polar-angle halvings (about 7 MB); beyond it the tree starts afresh.
constexpr std::size_t kMaxThetaSegments = 8192;

using ComponentValues = std::array<Real, kMaxComponents>;

// Both evaluations of the integrand (the shared one below and PolarizationIntegrand) take their
// sines and cosines from this one routine, so that no call site can see other bits because the
// compiler merged or split the calls differently there.
[[gnu::noinline]] void SinCos(Real x, Real& s, Real& c) {
  s = std::sin(x);
  c = std::cos(x);
}

// The part of the integrand that depends on the direction only: the scaled direction xi, the
// inverse N of the acoustic (Christoffel) tensor K(xi) and the weight sin(theta)/(4 pi)/4.
// Every component at one direction is formed from these.
struct AcousticNode {
  std::array<Real, 3> xi;
  Tensor2 N;
  Real weight;
};

inline void EvaluateNode(const EllipsoidAxisLength& axes, const Tensor4& L, Real sinPhi,
                         Real cosPhi, Real sinTheta, Real cosTheta, AcousticNode& node) {
  node.xi[0] = cosPhi * sinTheta / axes.a;
  node.xi[1] = sinPhi * sinTheta / axes.b;
  node.xi[2] = cosTheta / axes.c;
  Tensor2 K;
  for (int p = 1; p <= 3; ++p)
    for (int q = 1; q <= 3; ++q) {
      Real sum = 0;
      for (int r = 1; r <= 3; ++r)
        for (int s = 1; s <= 3; ++s) sum += L(r, p, s, q) * node.xi[r - 1] * node.xi[s - 1];
      K(p, q) = sum;
    }
  // A singular K leaves N as Invert3x3 found it: zero, so such a direction adds nothing.
  node.N = Tensor2{};
  core::Invert3x3(K, node.N);
  node.weight = sinTheta * kInvFourPi * 0.25L;
}

// Indices i, j, k, l of one component of P, counted from 0.
struct ComponentIndex {
  int i, j, k, l;
};

inline Real Combine(const AcousticNode& node, const ComponentIndex& c) {
  const auto& x = node.xi;
  const auto& N = node.N.e;
  return node.weight * (x[c.j] * x[c.l] * N[3 * c.i + c.k] + x[c.i] * x[c.l] * N[3 * c.j + c.k] +
                        x[c.j] * x[c.k] * N[3 * c.i + c.l] + x[c.i] * x[c.k] * N[3 * c.j + c.l]);
}

// Adaptive bisection with exactly the decisions of core::AdaptiveGaussLegendre (right halves
// first, at most kLimit examinations), run over a tree of halved intervals whose 16-point
// estimates were computed once for several components. children(seg) returns the index of
// the left half of seg (the right half follows it); estimate(seg) the 16-point estimate of
// the component being integrated. The tree's root has index 0.
template <class Children, class Estimate>
Real AdaptiveOverTree(Children&& children, Estimate&& estimate) {
  std::array<int, kLimit> stack;
  int top = 0, count = 0, current = 0;
  Real I = estimate(0), total = 0;
  for (;;) {
    ++count;
    const int left = children(current);
    const Real il = estimate(left), ir = estimate(left + 1);
    const Real s = il + ir;
    const Real diff = I - s;
    if (std::fabs(kTolerance * s) >= std::fabs(diff) || count == kLimit) {
      total += s;
      if (count != kLimit && top > 0) {
        current = stack[--top];
        I = estimate(current);
        continue;
      }
      break;
    }
    stack[top++] = left;
    current = left + 1;
    I = ir;
  }
  return total;
}

// The nested adaptive sphere integral (outer azimuth over [0, 2 pi], inner polar angle over
// [0, pi]) of several components of P at once. Each component keeps its own adaptive
// decisions at both levels, so its result has the same bits as its own nested integration;
// what is shared is the work: a 16-point estimate of an interval is formed for all components
// still to come in one pass over its nodes, and the expensive inverse acoustic tensor is
// computed once per node. Components are integrated in list order, so an interval first
// needed by component c is evaluated for c and the later ones only.
class SphereQuadrature {
 public:
  SphereQuadrature(const EllipsoidAxisLength& axes, const Tensor4& L,
                   std::span<const ComponentIndex> components)
      : axes_(axes), L_(L), components_(components), n_(static_cast<int>(components.size())) {
    phi_.reserve(128);
    theta_.reserve(256);
    thetaEstimate_.reserve(256);
    thetaStamp_.reserve(256);
    phi_.push_back({0, 2 * core::kPi, -1, {}});
    AddThetaSegment(0, core::kPi);
  }

  void Integrate(ComponentValues& result) {
    EstimatePhi(0, 0);
    for (int c = 0; c < n_; ++c)
      result[c] = AdaptiveOverTree([&](int seg) { return PhiChildren(seg, c); },
                                   [&](int seg) { return phi_[seg].estimate[c]; });
  }

 private:
  struct PhiSegment {
    Real a, b;
    int left;
    ComponentValues estimate;
  };
  // The polar-angle intervals are the same halvings of [0, pi] at every azimuth, so the tree
  // and the sines and cosines of its nodes persist; the estimates belong to the azimuth whose
  // stamp they carry.
  struct ThetaSegment {
    Real h;
    Real a, b;
    int left;
    std::array<Real, kNodes> sinTheta, cosTheta;
  };

  void AddThetaSegment(Real a, Real b) {
    ThetaSegment t{(b - a) / 2, a, b, -1, {}, {}};
    const Real c = (a + b) / 2;
    for (int m = 0; m < kNodes; ++m)
      SinCos(t.h * core::GaussLegendre16Table[m].x + c, t.sinTheta[m], t.cosTheta[m]);
    theta_.push_back(t);
    thetaEstimate_.emplace_back();
    thetaStamp_.push_back(0);
  }

  void EstimateTheta(int seg, int first) {
    const ThetaSegment& t = theta_[seg];
    ComponentValues sum{};
    AcousticNode node;
    for (int m = 0; m < kNodes; ++m) {
      EvaluateNode(axes_, L_, sinPhi_, cosPhi_, t.sinTheta[m], t.cosTheta[m], node);
      const Real w = core::GaussLegendre16Table[m].w;
      for (int c = first; c < n_; ++c) sum[c] += w * Combine(node, components_[c]);
    }
    ComponentValues& estimate = thetaEstimate_[seg];
    for (int c = first; c < n_; ++c) estimate[c] = t.h * sum[c];
    thetaStamp_[seg] = stamp_;
  }

  int ThetaChildren(int seg, int c) {
    if (theta_[seg].left < 0) {
      const Real a = theta_[seg].a, b = theta_[seg].b;
      const Real m = a + (b - a) / 2;
      const int left = static_cast<int>(theta_.size());
      AddThetaSegment(a, m);
      AddThetaSegment(m, b);
      theta_[seg].left = left;
    }
    const int left = theta_[seg].left;
    if (thetaStamp_[left] != stamp_) {
      EstimateTheta(left, c);
      EstimateTheta(left + 1, c);
    }
    return left;
  }

  // Inner integrals at azimuth phi for the components first..n-1.
  void InnerIntegrals(Real phi, int first, ComponentValues& out) {
    if (theta_.size() > kMaxThetaSegments) {
      theta_.clear();
      thetaEstimate_.clear();
      thetaStamp_.clear();
      AddThetaSegment(0, core::kPi);
    }
    ++stamp_;
    SinCos(phi, sinPhi_, cosPhi_);
    EstimateTheta(0, first);
    for (int c = first; c < n_; ++c)
      out[c] = AdaptiveOverTree([&](int seg) { return ThetaChildren(seg, c); },
                                [&](int seg) { return thetaEstimate_[seg][c]; });
  }

  void EstimatePhi(int seg, int first) {
    const Real a = phi_[seg].a, b = phi_[seg].b;
    const Real h = (b - a) / 2, center = (a + b) / 2;
    ComponentValues sum{}, inner{};
    for (int m = 0; m < kNodes; ++m) {
      const core::GaussNode& g = core::GaussLegendre16Table[m];
      InnerIntegrals(h * g.x + center, first, inner);
      for (int c = first; c < n_; ++c) sum[c] += g.w * inner[c];
    }
    for (int c = first; c < n_; ++c) phi_[seg].estimate[c] = h * sum[c];
  }

  int PhiChildren(int seg, int c) {
    if (phi_[seg].left < 0) {
      const Real a = phi_[seg].a, b = phi_[seg].b;
      const Real m = a + (b - a) / 2;
      const int left = static_cast<int>(phi_.size());
      phi_.push_back({a, m, -1, {}});
      phi_.push_back({m, b, -1, {}});
      phi_[seg].left = left;
      EstimatePhi(left, c);
      EstimatePhi(left + 1, c);
    }
    return phi_[seg].left;
  }

  const EllipsoidAxisLength& axes_;
  const Tensor4& L_;
  std::span<const ComponentIndex> components_;
  int n_;
  std::vector<PhiSegment> phi_;
  std::vector<ThetaSegment> theta_;
  std::vector<ComponentValues> thetaEstimate_;
  std::vector<unsigned> thetaStamp_;
  unsigned stamp_ = 0;
  Real sinPhi_ = 0, cosPhi_ = 1;
};

// Classes whose independent components are integrated as listed; any other class integrates
// all 21 components, which is exact for every symmetry.
bool HasIntegrationList(int k) { return k == 2 || (k >= 7 && k <= 10); }

// The class of P for an ellipsoid with its axes along x, y, z in a matrix of sample class k:
// the ellipsoid itself is orthorhombic, so a matrix of that class or higher gives class 7; a
// monoclinic or triclinic matrix keeps its own lower class.
int EllipsoidClass(int k) { return k >= 8 && k <= 10 ? k : 7; }

}  // namespace

std::string CheckAxes(const EllipsoidAxisLength& axes) {
  const std::pair<char, Real> semiAxes[] = {{'a', axes.a}, {'b', axes.b}, {'c', axes.c}};
  for (const auto& [name, value] : semiAxes) {
    if (std::isfinite(value) && value > 0) continue;
    std::array<char, 64> text{};
    const auto written = std::to_chars(text.data(), text.data() + text.size(), value);
    return std::string("Grain shape: the semi-axes must be positive numbers (got ") + name + " = " +
           std::string(text.data(), written.ptr) + ")";
  }
  return {};
}

Real PolarizationIntegrand(const EllipsoidAxisLength& axes, int i, int j, int k, int l,
                           const Tensor4& L, Real phi, Real theta) {
  Real sinPhi, cosPhi, sinTheta, cosTheta;
  SinCos(phi, sinPhi, cosPhi);
  SinCos(theta, sinTheta, cosTheta);
  AcousticNode node;
  EvaluateNode(axes, L, sinPhi, cosPhi, sinTheta, cosTheta, node);
  return Combine(node, {i - 1, j - 1, k - 1, l - 1});
}

void SphereEshelbyTensor(const Tensor4& L, Tensor4& S) {
  // Bulk and shear modulus of the isotropic part of L.
  const Real e = (L(1, 1, 1, 1) + L(2, 2, 2, 2) + L(3, 3, 3, 3)) * kOneThird;
  const Real f = (L(1, 1, 2, 2) + L(2, 2, 3, 3) + L(1, 1, 3, 3)) * kOneThird;
  const Real kappa = (2 * f + e) * kOneThird;
  const Real mu = (e - f) * 0.5L;
  const Real alpha = kappa / (4 * mu / 3 + kappa);
  const Real beta = (3 - alpha) / 5;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l)
          S(i, j, k, l) = (beta / 2) * (core::Delta(i, k) * core::Delta(j, l) +
                                        core::Delta(i, l) * core::Delta(j, k)) +
                          ((alpha - beta) / 3) * (core::Delta(i, j) * core::Delta(k, l));
}

void EshelbyTensor(const Tensor4& L, const EllipsoidAxisLength& axes, int k, Tensor4& S,
                   Tensor4& P) {
  if (!CheckAxes(axes).empty()) return;
  const bool sphere = axes.a == axes.b && axes.c == axes.a;
  const int cls = sphere ? k : EllipsoidClass(k);
  if (cls == 0) {
    SphereEshelbyTensor(L, S);
    return;
  }
  const auto& list = core::SymmetryComponents[HasIntegrationList(cls) ? cls : 10];
  const int n = list[0];
  std::array<ComponentIndex, kMaxComponents> components{};
  for (int t = 1; t <= n; ++t) {
    int i = 0, j = 0, kk = 0, l = 0;
    core::CijklIndex(list[t], i, j, kk, l);
    components[t - 1] = {i - 1, j - 1, kk - 1, l - 1};
  }
  ComponentValues values{};
  SphereQuadrature(axes, L, std::span(components.data(), n)).Integrate(values);

  // Components not integrated are set from their partners or vanish for the class (they stay
  // 0); the minor and major symmetries fill the rest.
  core::CijklVector v{};
  for (int t = 1; t <= n; ++t) v[list[t]] = values[t - 1];
  if (cls == 2) {
    const int p1111 = 1, p1122 = 4, p1133 = 6, p1212 = 7, p1313 = 12, p2222 = 16, p2233 = 18,
              p2323 = 19;
    v[p2222] = v[p1111];
    v[p2233] = v[p1133];
    v[p2323] = v[p1313];
    v[p1212] = (v[p1111] - v[p1122]) / 2;
  }
  core::CijklToTensor(v, P);
  core::ContractTensors(P, L, S);
}

void UpdateCompliances(core::OrientationsRec& ctx) {
  ctx.M = ctx.L;
  ctx.Mr = ctx.Lr;
  core::InvertTensor(ctx.M, ctx.SYMMETRY);
  core::InvertTensor(ctx.Mr, ctx.Cryst.SYS);
}

bool UpdateEshelby(core::OrientationsRec& ctx) {
  const EllipsoidAxisLength& axes = ctx.AxisLength;
  if (!CheckAxes(axes).empty()) return false;
  const bool sphere = axes.a == axes.b && axes.c == axes.a;
  const int k = sphere ? ctx.SYMMETRY : EllipsoidClass(ctx.SYMMETRY);
  EshelbyTensor(ctx.L, axes, k, ctx.S, ctx.P);
  ctx.W = ctx.S;
  core::InvertTensor(ctx.W, k);
  UpdateCompliances(ctx);
  Tensor4 complement;
  core::AddTensors(core::SymIdentityTensor(), ctx.S, complement, -1);
  core::ContractTensors(ctx.L, complement, ctx.Q);
  return true;
}

}  // namespace polydec::models
