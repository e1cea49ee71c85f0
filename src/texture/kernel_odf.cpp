// Kernel density estimation of an ODF on the 5-degree grid.
//
// f(g) = sum_i w_i / W * (1/|G|) sum_{C in G} K(omega(g, C g_i)), with omega the rotation angle
// between two orientations and G the crystal's rotations. Two things keep the sum cheap:
// - A kernel of half-width h is below 1e-3 of its peak beyond about 3 h, so each orientation
//   touches only the nodes of a box around it: Phi within omega_c of its own, and phi1, phi2
//   within asin(sin omega_c / sin Phi) (a cap of radius omega_c about the crystal's or the
//   sample's z axis seen from the other frame), all of them near the poles.
// - The rotations about the crystal's z axis (order k) shift phi2 by 360/k degrees, node onto
//   node; the twofold axis along the crystal's x maps (phi1, Phi, phi2) onto (phi1 + 180,
//   180 - Phi, 180 - phi2), node onto node. The sum is taken over the cosets of the z rotations
//   on the nodes phi2 < 360/k (and Phi <= 90 with that twofold axis), and the rest of the grid
//   is copied exactly from there.
#include "texture/kernel_odf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "core/linalg.h"
#include "core/text_fields.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::kPi;
using core::Tensor2;

namespace {

constexpr int kTurn = 72;  // distinct nodes of phi1 and phi2
constexpr int kHalf = 36;  // Phi nodes above 0
constexpr Real kCutoff = 1e-3L;  // kernel values below this fraction of the peak are left out
constexpr double kPiD = 3.14159265358979323846;

// Sine and cosine of the Phi nodes 5 i degrees.
const std::array<double, kHalf + 1> kNodeSine = [] {
  std::array<double, kHalf + 1> a{};
  for (int i = 0; i <= kHalf; ++i) a[static_cast<std::size_t>(i)] = std::sin(i * 5 * kPiD / 180);
  return a;
}();
const std::array<double, kHalf + 1> kNodeCosine = [] {
  std::array<double, kHalf + 1> a{};
  for (int i = 0; i <= kHalf; ++i) a[static_cast<std::size_t>(i)] = std::cos(i * 5 * kPiD / 180);
  return a;
}();

using Quaternion = std::array<double, 4>;

// A unit quaternion of a rotation matrix; only |q1 . q2| = cos(omega / 2) is used, which any
// consistent choice of sign gives.
Quaternion ToQuaternion(const Tensor2& m) {
  const double m11 = static_cast<double>(m(1, 1)), m22 = static_cast<double>(m(2, 2));
  const double m33 = static_cast<double>(m(3, 3));
  const double trace = m11 + m22 + m33;
  Quaternion q{};
  if (trace > 0) {
    const double s = 2 * std::sqrt(trace + 1);
    q = {s / 4, static_cast<double>(m(3, 2) - m(2, 3)) / s,
         static_cast<double>(m(1, 3) - m(3, 1)) / s, static_cast<double>(m(2, 1) - m(1, 2)) / s};
  } else if (m11 > m22 && m11 > m33) {
    const double s = 2 * std::sqrt(1 + m11 - m22 - m33);
    q = {static_cast<double>(m(3, 2) - m(2, 3)) / s, s / 4,
         static_cast<double>(m(1, 2) + m(2, 1)) / s, static_cast<double>(m(1, 3) + m(3, 1)) / s};
  } else if (m22 > m33) {
    const double s = 2 * std::sqrt(1 + m22 - m11 - m33);
    q = {static_cast<double>(m(1, 3) - m(3, 1)) / s, static_cast<double>(m(1, 2) + m(2, 1)) / s,
         s / 4, static_cast<double>(m(2, 3) + m(3, 2)) / s};
  } else {
    const double s = 2 * std::sqrt(1 + m33 - m11 - m22);
    q = {static_cast<double>(m(2, 1) - m(1, 2)) / s, static_cast<double>(m(1, 3) + m(3, 1)) / s,
         static_cast<double>(m(2, 3) + m(3, 2)) / s, s / 4};
  }
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (double& x : q) x /= n;
  return q;
}

// Quaternions of the nodes phi1 = 5 i1, Phi = 5 i, phi2 = 5 i2 (i1, i2 < 72), computed once.
const std::vector<Quaternion>& NodeQuaternions() {
  static const std::vector<Quaternion> nodes = [] {
    std::vector<Quaternion> q(static_cast<std::size_t>(kTurn * (kHalf + 1) * kTurn));
    std::array<Real, kTurn> c{}, s{};
    for (int k = 0; k < kTurn; ++k) {
      c[static_cast<std::size_t>(k)] = std::cos(k * 5 * kPi / 180);
      s[static_cast<std::size_t>(k)] = std::sin(k * 5 * kPi / 180);
    }
    for (int i1 = 0; i1 < kTurn; ++i1)
      for (int i = 0; i <= kHalf; ++i)
        for (int i2 = 0; i2 < kTurn; ++i2) {
          const auto a = static_cast<std::size_t>(i1), b = static_cast<std::size_t>(i);
          const auto d = static_cast<std::size_t>(i2);
          q[static_cast<std::size_t>((i1 * (kHalf + 1) + i) * kTurn + i2)] =
              ToQuaternion(EulerToMatrix(EulerTrig{c[a], s[a], c[b], s[b], c[d], s[d]}));
        }
    return q;
  }();
  return nodes;
}

const Quaternion& NodeQuaternion(int i1, int i, int i2) {
  return NodeQuaternions()[static_cast<std::size_t>((i1 * (kHalf + 1) + i) * kTurn + i2)];
}

int Mod(int a, int m) { return ((a % m) + m) % m; }

bool IsZRotation(const Tensor2& m) { return std::fabs(m(3, 3) - 1) < 1e-9L; }

Tensor2 Transposed(const Tensor2& m) {
  Tensor2 t;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) t(i, j) = m(j, i);
  return t;
}

// The kernel tabulated over t = cos(omega / 2) from its cut-off up to 1.
class KernelTable {
 public:
  explicit KernelTable(const KernelSpec& k) : spec_(k) {
    // The cut-off angle: where the kernel falls to kCutoff of its peak.
    Real omegaCut = 0;
    const Real h = k.halfwidth * kPi / 180;
    if (k.shape == KernelShape::kDeLaValleePoussin) {
      const Real kappa = std::log(Real{0.5}) / (2 * std::log(std::cos(h / 2)));
      omegaCut = 2 * std::acos(std::exp(std::log(kCutoff) / (2 * kappa)));
    } else {
      const Real sigma = h / std::sqrt(2 * std::log(Real{2}));
      omegaCut = sigma * std::sqrt(-2 * std::log(kCutoff));
    }
    omegaCut = std::min(omegaCut, kPi);
    cutDegrees_ = omegaCut * 180 / kPi;
    low_ = static_cast<double>(std::cos(omegaCut / 2));
    values_.resize(kEntries + 2);
    for (int n = 0; n <= kEntries + 1; ++n) {
      const Real t = std::min<Real>(1, low_ + (1 - low_) * n / kEntries);
      values_[static_cast<std::size_t>(n)] =
          static_cast<double>(KernelValue(k, 2 * std::acos(t) * 180 / kPi));
    }
  }
  Real CutDegrees() const { return cutDegrees_; }
  double At(double t) const {
    if (t <= low_) return 0;
    const double x = (t - low_) / (1 - low_) * kEntries;
    const int n = std::min(static_cast<int>(x), kEntries);
    const double f = x - n;
    const auto k = static_cast<std::size_t>(n);
    return values_[k] + f * (values_[k + 1] - values_[k]);
  }

 private:
  static constexpr int kEntries = 8192;
  KernelSpec spec_;
  Real cutDegrees_ = 0;
  double low_ = 0;
  std::vector<double> values_;
};

struct Orientation {
  Tensor2 g;
  double weight = 0;
};

// The grains, gathered into small cells of Euler space when they are many.
std::vector<Orientation> Gathered(const core::GrainOrientations& grains, Real halfwidth) {
  const std::size_t n = grains.phi1.size();
  std::vector<Orientation> out;
  if (n <= kGatherAbove) {
    out.reserve(n);
    for (std::size_t k = 0; k < n; ++k)
      if (grains.weight[k] > 0)
        out.push_back({EulerToMatrix(grains.phi1[k], grains.phi[k], grains.phi2[k]),
                       static_cast<double>(grains.weight[k])});
    return out;
  }
  const Real cell = std::min<Real>(1, halfwidth / 20) * kPi / 180;
  std::map<std::int64_t, std::size_t> at;
  for (std::size_t k = 0; k < n; ++k) {
    if (!(grains.weight[k] > 0)) continue;
    const auto index = [&](Real a) { return static_cast<std::int64_t>(std::llround(a / cell)); };
    const std::int64_t key = (index(grains.phi1[k]) * 8192 + index(grains.phi[k])) * 8192 +
                             index(grains.phi2[k]);
    const auto [it, added] = at.emplace(key, out.size());
    if (added)
      out.push_back({EulerToMatrix(grains.phi1[k], grains.phi[k], grains.phi2[k]), 0});
    out[it->second].weight += static_cast<double>(grains.weight[k]);
  }
  return out;
}

}  // namespace

Real KernelValue(const KernelSpec& kernel, Real omegaDegrees) {
  const Real h = kernel.halfwidth * kPi / 180, w = omegaDegrees * kPi / 180;
  if (kernel.shape == KernelShape::kDeLaValleePoussin) {
    const Real kappa = std::log(Real{0.5}) / (2 * std::log(std::cos(h / 2)));
    return std::pow(std::fabs(std::cos(w / 2)), 2 * kappa);
  }
  const Real sigma = h / std::sqrt(2 * std::log(Real{2}));
  return std::exp(-w * w / (2 * sigma * sigma));
}

std::string FillKernelODF(OrientationsRec& ctx, const KernelSpec& kernel) {
  if (!(kernel.halfwidth >= kSmallestHalfwidth && kernel.halfwidth <= kLargestHalfwidth))
    return "the kernel half-width " + core::FormatGeneral(kernel.halfwidth) +
           " lies outside 1..90 degrees";
  const std::vector<Orientation> grains = Gathered(ctx.GOrient, kernel.halfwidth);
  if (grains.empty()) return "no orientation of positive weight to make an ODF from";

  const OperatorTable ops = CrystalOperators(static_cast<CrystalClass>(ctx.Cryst.SYS));
  int zOrder = 0;
  for (const Tensor2& C : ops.entries) zOrder += IsZRotation(C) ? 1 : 0;
  std::vector<Tensor2> cosets;
  for (const Tensor2& C : ops.entries) {
    bool fresh = true;
    for (const Tensor2& h : cosets) {
      Tensor2 m;
      core::MatMul3x3(C, Transposed(h), m);
      if (IsZRotation(m)) fresh = false;
    }
    if (fresh) cosets.push_back(C);
  }
  bool xTwofold = false;
  for (const Tensor2& C : ops.entries)
    xTwofold = xTwofold || (std::fabs(C(1, 1) - 1) < 1e-9L && std::fabs(C(2, 2) + 1) < 1e-9L &&
                            std::fabs(C(3, 3) + 1) < 1e-9L);
  const int period = kTurn / std::max(zOrder, 1);  // phi2 nodes of one z period
  const int phiTop = xTwofold ? kHalf / 2 : kHalf;

  const KernelTable table(kernel);
  const Real cut = table.CutDegrees();
  std::vector<double> sum(static_cast<std::size_t>(kTurn * (phiTop + 1) * period), 0.0);
  const auto cell = [&](int i1, int i, int r) -> double& {
    return sum[static_cast<std::size_t>((i1 * (phiTop + 1) + i) * period + r)];
  };
  double total = 0;
  for (const Orientation& o : grains) {
    total += o.weight;
    for (const Tensor2& h : cosets) {
      Tensor2 m;
      core::MatMul3x3(h, o.g, m);
      const Quaternion q = ToQuaternion(m);
      const core::EulerAnglesRec e = MatrixToEuler(m);
      const Real p1 = e.phi1 * 180 / kPi, P = e.phi * 180 / kPi, p2 = e.phi2 * 180 / kPi;
      const int iLow = std::max(0, static_cast<int>(std::ceil((P - cut) / 5)));
      const int iHigh = std::min(phiTop, static_cast<int>(std::floor((P + cut) / 5)));
      if (iLow > iHigh) continue;
      const double cosCut = std::cos(static_cast<double>(cut) * kPiD / 180);
      const double cosP = std::cos(static_cast<double>(P) * kPiD / 180);
      const double sinP = std::sin(static_cast<double>(P) * kPiD / 180);
      for (int i = iLow; i <= iHigh; ++i) {
        // Nodes of this row within the cut: the azimuth of the crystal's z axis in the sample
        // frame (phi1) and of the sample's z axis in the crystal frame (phi2) differ from the
        // centre's by at most acos((cos w - cos T cos P) / (sin T sin P)), T the row's Phi.
        const double sinT = kNodeSine[static_cast<std::size_t>(i)];
        const double cosT = kNodeCosine[static_cast<std::size_t>(i)];
        double spread = 180;
        if (sinT * sinP > 1e-12) {
          const double x = (cosCut - cosT * cosP) / (sinT * sinP);
          if (x >= 1) continue;
          if (x > -1) spread = std::acos(x) * 180 / kPiD + 1e-9;
        }
        int a1 = static_cast<int>(std::ceil((static_cast<double>(p1) - spread) / 5));
        int b1 = static_cast<int>(std::floor((static_cast<double>(p1) + spread) / 5));
        int a2 = static_cast<int>(std::ceil((static_cast<double>(p2) - spread) / 5));
        int b2 = static_cast<int>(std::floor((static_cast<double>(p2) + spread) / 5));
        if (b1 - a1 + 1 >= kTurn) a1 = 0, b1 = kTurn - 1;
        if (b2 - a2 + 1 >= kTurn) a2 = 0, b2 = kTurn - 1;
        for (int j1 = a1; j1 <= b1; ++j1) {
          const int i1 = Mod(j1, kTurn);
          for (int j2 = a2; j2 <= b2; ++j2) {
            const int i2 = Mod(j2, kTurn);
            const Quaternion& n = NodeQuaternion(i1, i, i2);
            const double t =
                std::fabs(n[0] * q[0] + n[1] * q[1] + n[2] * q[2] + n[3] * q[3]);
            const double k = table.At(t);
            if (k > 0) cell(i1, i, i2 % period) += o.weight * k;
          }
        }
      }
    }
  }
  if (!(total > 0)) return "no orientation of positive weight to make an ODF from";

  SizeODFArrays(ctx);
  SetODFGridAngles(ctx);
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 0; i < kPhiNodes; ++i)
      for (int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        int s1 = i1 % kTurn, s = i, s2 = i2 % kTurn;
        if (s > phiTop) {
          s1 = (s1 + kHalf) % kTurn;
          s = kHalf - s;
          s2 = Mod(kHalf - s2, kTurn);
        }
        ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(i1, i, i2))] = cell(s1, s, s2 % period);
      }
  ctx.maxphi1 = 360;
  ctx.maxphi = 180;
  ctx.maxphi2 = 360;
  ctx.dphi1 = ctx.dphi = ctx.dphi2 = 5;
  ctx.ODFn_phi1 = kPhi1Nodes;
  ctx.ODFn_phi = kPhiNodes;
  ctx.ODFn_phi2 = kPhi2Nodes;
  ctx.ODFNUMP = kODFNodeCount;
  ctx.SYMMETRY = polydec::kTriclinicSample;
  ctx.UseODF = true;
  // Mean 1 m.r.d. over Euler space, by the grid's own integral.
  const Real integral = ODFIntegral(ctx, 36);
  if (!(integral > 0)) return "the kernel sum is zero on every node";
  const Real scale = 8 * kPi * kPi / integral;
  for (core::Int n = 0; n < kODFNodeCount; ++n) ctx.ODF[static_cast<std::size_t>(n)] *= scale;
  return {};
}

}  // namespace polydec::texture
