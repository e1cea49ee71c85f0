// Completion of a partially loaded ODF over Euler space. A measured ODF covers only the region
// that crystal and sample symmetry make sufficient; every other orientation is the image of one
// in that region under some C g S (Bunge, 1982), and its value is taken from there.
#include "texture/odf_expansion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <unordered_map>
#include <vector>

#include "core/large_array.h"
#include "core/linalg.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::EulerAnglesRec;
using core::kPi;
using core::OrientationsRec;
using core::Tensor2;

namespace {

constexpr int kSteps1 = 73, kStepsP = 37, kSteps2 = 73;
constexpr int kStride1 = kStepsP * kSteps2;  // 2701
constexpr int kStrideP = kSteps2;            // 73
constexpr int kNodes = kSteps1 * kStride1;   // 197173
constexpr std::size_t kGridLength = kNodes + 1;
constexpr Real kStep = 5;

std::size_t NodeIndex(int i1, int i, int i2) {
  return static_cast<std::size_t>(i1 * kStride1 + i * kStrideP + i2);
}

bool InsideGrid(int i1, int i, int i2) {
  return i1 >= 0 && i1 < kSteps1 && i >= 0 && i < kStepsP && i2 >= 0 && i2 < kSteps2;
}

// Round to nearest, ties to even, as the node lookup of the grid does.
int RoundToInt(Real x) { return static_cast<int>(std::lrint(x)); }

// The readers size the arrays; a context that has not been through one gets an empty grid
// rather than writes beyond its arrays.
void EnsureGrid(OrientationsRec& c) {
  for (core::DataVector* v : {&c.ODF, &c.phi1, &c.phi, &c.phi2})
    if (v->size() < kGridLength) v->resize(kGridLength);
}

void SetNode(OrientationsRec& c, int i1, int i, int i2, Real value) {
  const std::size_t n = NodeIndex(i1, i, i2);
  c.ODF[n] = value;
  c.phi1[n] = kStep * i1;
  c.phi[n] = kStep * i;
  c.phi2[n] = kStep * i2;
}

// Nearest-node value at angles in degrees, negative and excess angles wrapped once, each
// index term rounded as a whole.
Real GridValue(const OrientationsRec& c, Real a1, Real a, Real a2) {
  return ODFGridValue(c, a1, a, a2);
}

// Trilinear interpolation between the nodes around (a1, a, a2) (degrees), with the upper ends
// guarded as the ODF lookup guards them. Two things differ from the lookup for consumers:
// the grid is read whatever UseODF says (during a load the ODF is not yet switched on, and the
// completion needs the loaded values, not the neutral 1), and the weights come from the node
// positions, because the recorded angles of nodes not yet filled are still 0.
Real InterpolatedValue(const OrientationsRec& c, Real a1, Real a, Real a2) {
  if (a1 == c.maxphi1) a1 = c.maxphi1 - 1e-5L;
  if (a == c.maxphi) a = c.maxphi - 1e-5L;
  if (a2 == c.maxphi2) a2 = c.maxphi2 - 1e-5L;
  if (a1 >= 360) a1 = 359.9999L;
  if (a >= 180) a = 179.9999L;
  if (a2 >= 360) a2 = 359.9999L;
  const int i1 = std::clamp(static_cast<int>(std::trunc(a1 / kStep)), 0, kSteps1 - 2);
  const int i = std::clamp(static_cast<int>(std::trunc(a / kStep)), 0, kStepsP - 2);
  const int i2 = std::clamp(static_cast<int>(std::trunc(a2 / kStep)), 0, kSteps2 - 2);
  const Real w1 = (a1 - kStep * i1) / kStep, w = (a - kStep * i) / kStep;
  const Real w2 = (a2 - kStep * i2) / kStep;
  std::array<Real, 2> alongPhi{};
  for (int p = 0; p < 2; ++p) {
    std::array<Real, 2> alongPhi2{};
    for (int q = 0; q < 2; ++q) {
      const Real lower = c.ODF[NodeIndex(i1 + p, i + q, i2)];
      const Real upper = c.ODF[NodeIndex(i1 + p, i + q, i2 + 1)];
      alongPhi2[static_cast<std::size_t>(q)] = lower + w2 * (upper - lower);
    }
    alongPhi[static_cast<std::size_t>(p)] = alongPhi2[0] + w * (alongPhi2[1] - alongPhi2[0]);
  }
  return alongPhi[0] + w1 * (alongPhi[1] - alongPhi[0]);
}

// Cosines and sines of the node angles 5 k degrees, k = 0..72, converted as x pi / 180 exactly
// as the search converts degrees, so that node matrices agree to the last bit.
struct NodeTrig {
  std::array<Real, kSteps1> cosine{}, sine{};
  NodeTrig() {
    for (int k = 0; k < kSteps1; ++k) {
      const Real x = kStep * k * kPi / 180;
      cosine[static_cast<std::size_t>(k)] = std::cos(x);
      sine[static_cast<std::size_t>(k)] = std::sin(x);
    }
  }
  Tensor2 Matrix(int i1, int i, int i2) const {
    const auto k1 = static_cast<std::size_t>(i1), k = static_cast<std::size_t>(i);
    const auto k2 = static_cast<std::size_t>(i2);
    return EulerToMatrix(EulerTrig{cosine[k1], sine[k1], cosine[k], sine[k], cosine[k2], sine[k2]});
  }
};

const NodeTrig& Trig() {
  static const NodeTrig trig;
  return trig;
}

struct NodeIndices {
  int i1, i, i2;
};

NodeIndices IndicesOf(std::size_t n) {
  return {static_cast<int>(n / kStride1), static_cast<int>(n % kStride1 / kStrideP),
          static_cast<int>(n % kStrideP)};
}

int Wrap72(int k) { return ((k % 72) + 72) % 72; }

// Angle (degrees) as a multiple of the step in 0..71, or -1 when it lies farther than `slack`
// degrees from every multiple.
int GridStep(double degrees, double slack) {
  const double k = std::round(degrees / 5);
  if (std::fabs(degrees - 5 * k) > slack) return -1;
  return Wrap72(static_cast<int>(k));
}

// A pair of operators (C, S) that both keep the Z axis (rotations about Z, twofold axes normal
// to it) moves Bunge angles by whole steps: phi1 -> s1 phi1 + a1, Phi -> Phi or 180 - Phi,
// phi2 -> s2 phi2 + a2. Such a pair takes every node onto a node, which index arithmetic finds
// without a rotation or an arc tangent.
struct GridAction {
  bool valid = false;
  bool flip = false;
  int sign1 = 1, shift1 = 0, sign2 = 1, shift2 = 0;  // shifts in steps
};

// Radians from angles in degrees as the search converts them.
Real Radians(Real degrees) { return degrees * kPi / 180; }

Real CircularGap(Real a, Real b) {
  const Real d = std::fmod(std::fabs(a - b), 2 * kPi);
  return std::min(d, 2 * kPi - d);
}

// The action of C g S on the angles, read from the pair itself at one orientation away from
// every special angle and confirmed at another; a pair that does not act so is left to the
// search.
GridAction ActionOf(const Tensor2& C, const Tensor2& S) {
  GridAction a;
  if (std::fabs(C(3, 3)) != 1 || std::fabs(S(3, 3)) != 1) return a;
  a.flip = C(3, 3) * S(3, 3) < 0;
  a.sign1 = S(3, 3) > 0 ? 1 : -1;
  a.sign2 = C(3, 3) > 0 ? 1 : -1;
  const auto image = [&](Real x1, Real x, Real x2) {
    Tensor2 Cg, M;
    core::MatMul3x3(C, EulerToMatrix(x1, x, x2), Cg);
    core::MatMul3x3(Cg, S, M);
    return MatrixToEuler(M);
  };
  const core::EulerAnglesRec e = image(0.3L, 0.7L, 1.1L);
  const int s1 = GridStep(static_cast<double>((e.phi1 - a.sign1 * 0.3L) * 180 / kPi), 1e-6);
  const int s2 = GridStep(static_cast<double>((e.phi2 - a.sign2 * 1.1L) * 180 / kPi), 1e-6);
  if (s1 < 0 || s2 < 0) return a;
  a.shift1 = s1, a.shift2 = s2;
  for (const std::array<Real, 3>& x : {std::array<Real, 3>{0.3L, 0.7L, 1.1L}, {0.9L, 2.1L, 4.4L}}) {
    const core::EulerAnglesRec f = image(x[0], x[1], x[2]);
    if (CircularGap(f.phi1, a.sign1 * x[0] + Radians(kStep * s1)) > 1e-9L ||
        std::fabs(f.phi - (a.flip ? kPi - x[1] : x[1])) > 1e-9L ||
        CircularGap(f.phi2, a.sign2 * x[2] + Radians(kStep * s2)) > 1e-9L)
      return a;
  }
  a.valid = true;
  return a;
}

// A set of operator pairs, one bit per pair at its place in the search's order (at most 96
// pairs: 24 crystal by 4 sample operators).
struct PairSet {
  std::array<std::uint64_t, 2> bits{};
  void Add(int p) { bits[static_cast<std::size_t>(p / 64)] |= std::uint64_t{1} << (p % 64); }
  void Remove(int p) { bits[static_cast<std::size_t>(p / 64)] &= ~(std::uint64_t{1} << (p % 64)); }
  PairSet operator&(const PairSet& o) const {
    return {{bits[0] & o.bits[0], bits[1] & o.bits[1]}};
  }
  // The pairs before place p.
  static PairSet Before(int p) {
    PairSet s;
    for (std::size_t w = 0; w < 2; ++w) {
      const int n = std::clamp(p - 64 * static_cast<int>(w), 0, 64);
      s.bits[w] = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    }
    return s;
  }
  // The first pair of the set in the search's order, or `none`.
  int First(int none) const {
    if (bits[0] != 0) return std::countr_zero(bits[0]);
    if (bits[1] != 0) return 64 + std::countr_zero(bits[1]);
    return none;
  }
};

// Which node of the loaded region each node of the grid is equivalent to depends only on the
// crystal and sample symmetry and on the region, not on the ODF; it is found once per symmetry
// pair and region and kept, entries filled as nodes ask for them.
//
// The answer is the search's (SymmetryEquivalentInRegion with the 5-degree step): the first
// equivalent in table order that lies on a node of the region, else the first in the region.
// Running the search for each node costs a rotation and the inverse trigonometry for each of up
// to 96 operator pairs. Instead, the candidates are decided in the search's order, each as
// cheaply as is safe:
// - a pair that keeps the Z axis (GridAction) moves the node onto a node by index arithmetic;
//   whether that node lies in the region is decided on its indices, which is the search's
//   decision because no node of the grid lies within 1e-8 rad of a bound plus its tolerance
//   (checked for the region at hand; otherwise every node is searched). Away from the poles
//   the action and the region act on each angle alone, so the pairs that take a node into the
//   region are the pairs that do so for its phi1, its Phi and its phi2: three tables of sets;
// - any other pair (the threefold axes of the cube) lands on a node only for special nodes:
//   its Phi and phi2, which depend on the node's Phi and phi2 alone, are worked out with a slack
//   of 1e-4 degrees (the search's own is 1e-6), and only a candidate that may lie on a node in
//   the region is decided, by the search's own test (SymmetrySearch::Test);
// - a node none of whose candidates lies on a node in the region is searched as before, unless
//   every pair keeps the Z axis: then it has no equivalent in the region at all.
// The angles of an equivalent on a node are only needed by the tie-break, rarely; they are then
// taken from the search. The test of the map compares it with the search node by node.
class EquivalentMap {
 public:
  // Four bytes a node: the map is written as the grid is, and its pages cost as the grid's do.
  struct Entry {
    std::uint32_t source : 28 = 0;  // the node the equivalent rounds to, when inside
    std::uint32_t found : 1 = 0;
    std::uint32_t onNode : 1 = 0;
    std::uint32_t inside : 1 = 0;  // the equivalent rounds to a node of the grid
    std::uint32_t known : 1 = 0;   // the entry has been worked out
  };

  EquivalentMap(int sys, int symmetry, Real b1, Real b2, Real b3)
      : sys_(sys), symmetry_(symmetry), b1_(b1), b2_(b2), b3_(b3),
        search_(static_cast<polydec::CrystalClass>(sys),
                static_cast<polydec::SampleSymmetry>(symmetry), b1, b2, b3, kStep),
        entries_() {
    entries_.resize(kGridLength);
    PrepareRegion();
    const int crystal = search_.Crystal().Size(), sample = search_.Sample().Size();
    for (int j = 0; j < sample; ++j)
      for (int i = 0; i < crystal; ++i) {
        const Tensor2& S = search_.Sample().entries[static_cast<std::size_t>(j)];
        Pair p;
        p.j = j, p.i = i;
        p.action = ActionOf(search_.Crystal().entries[static_cast<std::size_t>(i)], S);
        // Column 3 of C g S is S33 C (column 3 of g) when S keeps the Z axis: a function of the
        // node's Phi and phi2 only.
        p.screened = !p.action.valid && std::fabs(S(3, 3)) == 1;
        const Tensor2& C = search_.Crystal().entries[static_cast<std::size_t>(i)];
        for (int l = 1; l <= 3; ++l)
          if (std::fabs(C(3, l)) == 1) p.row3Axis = C(3, l) * S(3, 3) > 0 ? l : -l;
        const int position = static_cast<int>(pairs_.size());
        if (p.action.valid) {
          for (int k = 0; k < kSteps1; ++k) {
            const auto u = static_cast<std::size_t>(k);
            p.image1[u] = Wrap72(p.action.sign1 * k + p.action.shift1);
            p.image2[u] = Wrap72(p.action.sign2 * k + p.action.shift2);
            if (p.image1[u] <= top_[0]) intoRegion1_[u].Add(position);
            if (p.image2[u] <= top_[2]) intoRegion2_[u].Add(position);
          }
          for (int k = 1; k < kStepsP - 1; ++k)
            if ((p.action.flip ? kStepsP - 1 - k : k) <= top_[1])
              intoRegionPhi_[static_cast<std::size_t>(k)].Add(position);
        } else {
          others_.push_back(position);
        }
        pairs_.push_back(std::move(p));
      }
    if (pairs_.size() > 128) indexRegion_ = false;
  }
  bool Matches(int sys, int symmetry, Real b1, Real b2, Real b3) const {
    return sys == sys_ && symmetry == symmetry_ && b1 == b1_ && b2 == b2_ && b3 == b3_;
  }
  const Entry& Of(std::size_t n) {
    if (entries_[n].known == 0) {
      entries_[n] = Resolve(n);
      entries_[n].known = 1;
    }
    return entries_[n];
  }
  // The equivalent's angles (degrees), when Of(n).found.
  const EulerAnglesRec& Angles(std::size_t n) {
    auto it = angles_.find(n);
    if (it == angles_.end()) {
      EulerAnglesRec e;
      const NodeIndices k = IndicesOf(n);
      search_.Find(Trig().Matrix(k.i1, k.i, k.i2), e);
      it = angles_.emplace(n, e).first;
    }
    return it->second;
  }
  std::mutex lock;

 private:
  struct Pair {
    int j = 0, i = 0;
    GridAction action;
    std::array<int, kSteps1> image1{}, image2{};  // phi1 and phi2 steps of the image
    bool screened = false;
    // Row 3 of S33 C when it is a signed axis (+-(l + 1) for axis l), else 0: then the
    // candidate's cos Phi is an entry of the node's column 3, up to its sign.
    int row3Axis = 0;
  };

  // The largest index in the region on each axis, as the search decides for an angle within
  // 1e-8 rad of the node's.
  void PrepareRegion() {
    const std::array<int, 3> last = {kSteps1 - 1, kStepsP - 1, kSteps2 - 1};
    for (int axis = 0; axis < 3; ++axis) {
      int& top = top_[static_cast<std::size_t>(axis)];
      top = -1;
      for (int k = 0; k <= last[static_cast<std::size_t>(axis)]; ++k) {
        const Real d = Radians(kStep * k) - SymmetrySearch::kTolerance - search_.Bound(axis);
        if (std::fabs(d) <= 1e-8L) indexRegion_ = false;
        if (d <= 0) top = k;
      }
    }
  }

  // The pairs that do not keep the Z axis whose candidates may land on a node of the region,
  // for nodes of the given Phi and phi2.
  const PairSet& MayHit(int i, int i2) {
    const auto at = static_cast<std::size_t>(i * kStrideP + i2);
    if (mayHitKnown_[at] == 0) {
      PairSet set;
      // Phi of the column-3 entries of the node taken as cosines (steps; -1 off the grid).
      const NodeTrig& t = Trig();
      const auto k = static_cast<std::size_t>(i), k2 = static_cast<std::size_t>(i2);
      const std::array<Real, 3> g3 = {t.sine[k2] * t.sine[k], t.cosine[k2] * t.sine[k],
                                      t.cosine[k]};
      std::array<int, 3> phiOf{};
      for (std::size_t l = 0; l < 3; ++l)
        phiOf[l] = GridStep(std::acos(std::clamp(static_cast<double>(g3[l]), -1.0, 1.0)) *
                                kDegrees, kSlack);
      for (int q : others_) {
        const Pair& p = pairs_[static_cast<std::size_t>(q)];
        if (p.screened && p.row3Axis != 0) {
          const int base = phiOf[static_cast<std::size_t>(std::abs(p.row3Axis) - 1)];
          if (base < 0) continue;
          const int phi = p.row3Axis > 0 ? base : kStepsP - 1 - base;
          if (phi > top_[1]) continue;
        }
        if (!p.screened || PhiAndPhi2OnGridInRegion(p, i, i2)) set.Add(q);
      }
      mayHit_[at] = set;
      mayHitKnown_[at] = 1;
    }
    return mayHit_[at];
  }

  static constexpr double kSlack = 1e-4, kDegrees = 180 / 3.14159265358979323846;

  bool PhiAndPhi2OnGridInRegion(const Pair& p, int i, int i2) const {
    const Tensor2& C = search_.Crystal().entries[static_cast<std::size_t>(p.i)];
    const Real S33 = search_.Sample().entries[static_cast<std::size_t>(p.j)](3, 3);
    const NodeTrig& t = Trig();
    const auto k = static_cast<std::size_t>(i), k2 = static_cast<std::size_t>(i2);
    const std::array<Real, 3> g3 = {t.sine[k2] * t.sine[k], t.cosine[k2] * t.sine[k], t.cosine[k]};
    const auto column3 = [&](int r) {
      return static_cast<double>(S33 * (C(r, 1) * g3[0] + C(r, 2) * g3[1] + C(r, 3) * g3[2]));
    };
    const int phi = GridStep(std::acos(std::clamp(column3(3), -1.0, 1.0)) * kDegrees, kSlack);
    if (phi < 0 || phi > top_[1]) return false;
    if (phi == 0 || phi == kStepsP - 1) return true;  // phi2 is set to 0 at the poles
    const double phi2 = std::atan2(column3(1), column3(2)) * kDegrees;
    const int step2 = GridStep(phi2 < 0 ? phi2 + 360 : phi2, kSlack);
    return step2 >= 0 && step2 <= top_[2];
  }

  // The pair's image of a node at a pole (Phi 0 or 180): there only phi1 + phi2 (phi1 - phi2)
  // is defined, and the search's conversion gives it as phi1 with phi2 = 0.
  bool PoleImageInRegion(const Pair& p, const NodeIndices& k, std::size_t& source) const {
    int h1 = p.image1[static_cast<std::size_t>(k.i1)];
    const int h = p.action.flip ? kStepsP - 1 - k.i : k.i;
    int h2 = p.image2[static_cast<std::size_t>(k.i2)];
    if (h == 0) h1 = Wrap72(h1 + h2), h2 = 0;
    if (h == kStepsP - 1) h1 = Wrap72(h1 - h2), h2 = 0;
    if (h1 > top_[0] || h > top_[1] || h2 > top_[2]) return false;
    source = NodeIndex(h1, h, h2);
    return true;
  }

  Entry Resolve(std::size_t n) {
    const NodeIndices k = IndicesOf(n);
    if (!indexRegion_) return Searched(n, k);
    const int none = static_cast<int>(pairs_.size());
    const bool pole = k.i == 0 || k.i == kStepsP - 1;
    // The first pair that keeps the Z axis and takes the node into the region.
    int first = none;
    std::size_t source = 0;
    if (pole) {
      for (int q = 0; q < none && first == none; ++q)
        if (pairs_[static_cast<std::size_t>(q)].action.valid &&
            PoleImageInRegion(pairs_[static_cast<std::size_t>(q)], k, source))
          first = q;
    } else {
      first = (intoRegion1_[static_cast<std::size_t>(k.i1)] &
               intoRegionPhi_[static_cast<std::size_t>(k.i)] &
               intoRegion2_[static_cast<std::size_t>(k.i2)])
                  .First(none);
      if (first < none) {
        const Pair& p = pairs_[static_cast<std::size_t>(first)];
        source = NodeIndex(p.image1[static_cast<std::size_t>(k.i1)],
                           p.action.flip ? kStepsP - 1 - k.i : k.i,
                           p.image2[static_cast<std::size_t>(k.i2)]);
      }
    }
    // Other pairs before it in the search's order may land on a node of the region.
    bool haveMatrix = false;
    Tensor2 g;
    PairSet candidates = MayHit(k.i, k.i2) & PairSet::Before(first);
    for (int q = candidates.First(none); q < none; q = candidates.First(none)) {
      candidates.Remove(q);
      const Pair& p = pairs_[static_cast<std::size_t>(q)];
      if (!haveMatrix) g = Trig().Matrix(k.i1, k.i, k.i2), haveMatrix = true;
      const Landing landing = LandingOf(p, g, source);
      if (landing == Landing::kOffOrOutside) continue;
      if (landing == Landing::kNodeInRegion) return OnNodeEntry(source);
      EulerAnglesRec d;
      if (search_.Test(p.j, p.i, g, d) != SymmetrySearch::Candidate::kOnNode) continue;
      angles_.emplace(n, d);
      return Rounded(d, true);
    }
    if (first < none) return OnNodeEntry(source);
    // When every pair keeps the Z axis, every candidate lies on a node, and none in the region.
    if (others_.empty()) return {};
    return Searched(n, k);
  }

  static Entry OnNodeEntry(std::size_t source) {
    Entry e;
    e.found = e.onNode = e.inside = 1;
    e.source = static_cast<std::uint32_t>(source) & 0xFFFFFFF;
    return e;
  }

  enum class Landing { kOffOrOutside, kNodeInRegion, kUnsure };

  // Where the candidate C g S of a pair that does not keep the Z axis lands, from its angles in
  // double precision (errors about 1e-15 rad: the entries that fix the angles are taken as in
  // FastMatrixToEuler, Phi from an arc tangent, well conditioned at the poles too). An angle
  // within 1e-9 degrees of a node angle is one within the search's 1e-6; one farther than 1e-5
  // is not; in between, and about the search's pole test, the search's own test decides.
  Landing LandingOf(const Pair& p, const Tensor2& g, std::size_t& source) const {
    const Tensor2& C = search_.Crystal().entries[static_cast<std::size_t>(p.i)];
    const Tensor2& S = search_.Sample().entries[static_cast<std::size_t>(p.j)];
    std::array<double, 9> cg{}, m{};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int l = 0; l < 3; ++l)
          sum += static_cast<double>(C(r + 1, l + 1)) * static_cast<double>(g(l + 1, c + 1));
        cg[static_cast<std::size_t>(3 * r + c)] = sum;
      }
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int l = 0; l < 3; ++l)
          sum += cg[static_cast<std::size_t>(3 * r + l)] * static_cast<double>(S(l + 1, c + 1));
        m[static_cast<std::size_t>(3 * r + c)] = sum;
      }
    const double phi = std::atan2(std::hypot(m[2], m[5]), m[8]) * kDegrees;
    // The search takes Phi within 1e-6 pi (1.8e-4 degrees) of 0 or 180 as a pole.
    const double fromPole = std::min(phi, 180 - phi);
    if (fromPole > 0.9e-4 && fromPole < 3.6e-4) return Landing::kUnsure;
    double phi1 = 0, phi2 = 0;
    if (fromPole <= 0.9e-4) {
      phi1 = std::atan2(m[1], m[0]) * kDegrees;
    } else {
      phi2 = std::atan2(m[2], m[5]) * kDegrees;
      phi1 = std::atan2(m[6], -m[7]) * kDegrees;
    }
    std::array<int, 3> steps{};
    bool unsure = false;
    const std::array<double, 3> angles = {phi1, phi, phi2};
    for (std::size_t a = 0; a < 3; ++a) {
      const double x = angles[a] < 0 ? angles[a] + 360 : angles[a];
      const double k = std::round(x / 5), gap = std::fabs(x - 5 * k);
      if (gap > 1e-5) return Landing::kOffOrOutside;
      if (gap > 1e-9) unsure = true;
      steps[a] = Wrap72(static_cast<int>(k));
    }
    if (unsure) return Landing::kUnsure;
    if (steps[0] > top_[0] || steps[1] > top_[1] || steps[2] > top_[2])
      return Landing::kOffOrOutside;
    source = NodeIndex(steps[0], steps[1], steps[2]);
    return Landing::kNodeInRegion;
  }

  Entry Searched(std::size_t n, const NodeIndices& k) {
    EulerAnglesRec d;
    if (!search_.Find(Trig().Matrix(k.i1, k.i, k.i2), d)) return {};
    angles_.emplace(n, d);
    return Rounded(d, OnGridNode(d, kStep));
  }

  static Entry Rounded(const EulerAnglesRec& d, bool onNode) {
    Entry e;
    e.found = 1;
    e.onNode = onNode ? 1 : 0;
    const int m1 = RoundToInt(d.phi1 / kStep), m = RoundToInt(d.phi / kStep);
    const int m2 = RoundToInt(d.phi2 / kStep);
    e.inside = InsideGrid(m1, m, m2) ? 1 : 0;
    if (e.inside != 0) e.source = static_cast<std::uint32_t>(NodeIndex(m1, m, m2)) & 0xFFFFFFF;
    return e;
  }

  int sys_, symmetry_;
  Real b1_, b2_, b3_;
  SymmetrySearch search_;
  std::array<int, 3> top_{};
  bool indexRegion_ = true;
  std::vector<Pair> pairs_;
  std::vector<int> others_;  // pairs that do not keep the Z axis, in the search's order
  // The pairs keeping the Z axis that take phi1 (Phi, phi2) of step k into the region.
  std::array<PairSet, kSteps1> intoRegion1_{}, intoRegion2_{};
  std::array<PairSet, kStepsP> intoRegionPhi_{};
  std::vector<PairSet> mayHit_ = std::vector<PairSet>(kStepsP * kSteps2);
  std::vector<std::uint8_t> mayHitKnown_ = std::vector<std::uint8_t>(kStepsP * kSteps2);
  std::vector<Entry, core::LargeBlockAllocator<Entry>> entries_;
  std::unordered_map<std::size_t, EulerAnglesRec> angles_;
};

// The maps of the last few symmetry pairs and regions in use (about 1 MB each).
struct KeptMaps {
  std::mutex guard;
  std::list<std::shared_ptr<EquivalentMap>> recent;
};

KeptMaps& Kept() {
  static KeptMaps kept;
  return kept;
}

std::shared_ptr<EquivalentMap> EquivalentMapFor(int sys, int symmetry, Real b1, Real b2, Real b3) {
  constexpr std::size_t kKept = 4;
  const std::lock_guard<std::mutex> hold(Kept().guard);
  std::list<std::shared_ptr<EquivalentMap>>& recent = Kept().recent;
  for (auto it = recent.begin(); it != recent.end(); ++it)
    if ((*it)->Matches(sys, symmetry, b1, b2, b3)) {
      recent.splice(recent.begin(), recent, it);
      return recent.front();
    }
  recent.push_front(std::make_shared<EquivalentMap>(sys, symmetry, b1, b2, b3));
  if (recent.size() > kKept) recent.pop_back();
  return recent.front();
}

// Two neighbouring empty nodes whose equivalents lie between nodes may round to the same
// source node. When their values come out equal, the node whose equivalent lies farther from
// its source node takes the next node instead, so that the copy does not repeat one value.
void BreakTie(OrientationsRec& c, std::size_t n, const EulerAnglesRec& p, bool previousEmpty,
              const EulerAnglesRec& q, Real b1, Real b2, Real b3) {
  const int p1 = RoundToInt(p.phi1 / kStep), P = RoundToInt(p.phi / kStep);
  const int p2 = RoundToInt(p.phi2 / kStep);
  const int q1 = RoundToInt(q.phi1 / kStep), Q = RoundToInt(q.phi / kStep);
  const int q2 = RoundToInt(q.phi2 / kStep);
  bool shiftCurrent = false;
  int t1 = 0, t = 0, t2 = 0;
  if (std::fabs(p.phi1 - q.phi1) > std::fabs(p.phi - q.phi)) {
    shiftCurrent = std::fabs(p1 * kStep - p.phi1) > std::fabs(q1 * kStep - q.phi1);
    if (shiftCurrent) {
      t1 = p1 + 1, t = P, t2 = p2;
    } else {
      t1 = q1 + 1, t = Q, t2 = q2;
    }
  } else {
    shiftCurrent = std::fabs(P * kStep - p.phi) > std::fabs(Q * kStep - q.phi);
    if (shiftCurrent) {
      t1 = p1, t = P - 1, t2 = p2;
    } else {
      t1 = q1, t = Q + 1, t2 = q2;
    }
  }
  // A loaded value is never replaced, and a value is only ever taken from the loaded region:
  // beyond it a node holds no data yet, or data that were themselves copied.
  if (!shiftCurrent && !previousEmpty) return;
  if (!InsideGrid(t1, t, t2) || kStep * t1 > b1 || kStep * t > b2 || kStep * t2 > b3) return;
  c.ODF[shiftCurrent ? n : n - 1] = c.ODF[NodeIndex(t1, t, t2)];
}

struct Rule {
  int a0, b0, c0;  // first A, B, C (0 or 5 degrees); each runs to 90 unless widened
  int dA, dB, dC;  // offset of the node written from (A, B, C)
  int mirror;      // 0: (A, B, C); 1: (A, 90-B, 90-C); 2: (90-A, B, 90-C); 3: (90-A, 90-B, C)
};

// Relations between the 90-degree blocks of Euler space that cubic crystal symmetry (fourfold
// axis Z: phi2 + 90; twofold axes normal to Z: Phi -> 180 - Phi) and orthorhombic sample
// symmetry imply, each block written from the loaded block 0..90 deg.
constexpr std::array<Rule, 31> kRules = {{
    {0, 0, 5, 0, 0, 90, 0},     {0, 0, 5, 0, 0, 180, 0},    {0, 0, 5, 0, 0, 270, 0},
    {0, 5, 0, 0, 90, 0, 1},     {0, 5, 5, 0, 90, 90, 1},    {0, 5, 5, 0, 90, 180, 1},
    {0, 5, 5, 0, 90, 270, 1},   {5, 0, 0, 90, 0, 0, 2},     {5, 0, 5, 90, 0, 90, 2},
    {5, 0, 5, 90, 0, 180, 2},   {5, 0, 5, 90, 0, 270, 2},   {5, 5, 0, 90, 90, 0, 3},
    {5, 5, 5, 90, 90, 90, 3},   {5, 5, 5, 90, 90, 180, 3},  {5, 5, 5, 90, 90, 270, 3},
    {5, 0, 0, 180, 0, 0, 0},    {5, 0, 5, 180, 0, 90, 0},   {5, 0, 5, 180, 0, 180, 0},
    {5, 0, 5, 180, 0, 270, 0},  {5, 5, 0, 180, 90, 0, 1},   {5, 5, 5, 180, 90, 90, 1},
    {5, 5, 5, 180, 90, 180, 1}, {5, 5, 5, 180, 90, 270, 1}, {5, 0, 0, 270, 0, 0, 2},
    {5, 0, 5, 270, 0, 90, 2},   {5, 0, 5, 270, 0, 180, 2},  {5, 0, 5, 270, 0, 270, 2},
    {5, 5, 0, 270, 90, 0, 3},   {5, 5, 5, 270, 90, 90, 3},  {5, 5, 5, 270, 90, 180, 3},
    {5, 5, 5, 270, 90, 270, 3},
}};

// Applies rules first..last (1-based) with A running from its row's start (or aStart when
// given) to aEnd degrees.
void ApplyRules(OrientationsRec& c, int first, int last, int aEnd, int aStart = -1) {
  for (int r = first; r <= last; ++r) {
    const Rule& rule = kRules[static_cast<std::size_t>(r - 1)];
    for (int A = aStart >= 0 ? aStart : rule.a0; A <= aEnd; A += 5)
      for (int B = rule.b0; B <= 90; B += 5)
        for (int C = rule.c0; C <= 90; C += 5) {
          const bool mirrorA = rule.mirror >= 2;
          const bool mirrorB = rule.mirror == 1 || rule.mirror == 3;
          const bool mirrorC = rule.mirror == 1 || rule.mirror == 2;
          const Real value =
              GridValue(c, mirrorA ? 90 - A : A, mirrorB ? 90 - B : B, mirrorC ? 90 - C : C);
          SetNode(c, (A + rule.dA) / 5, (B + rule.dB) / 5, (C + rule.dC) / 5, value);
        }
  }
}

// Upper Phi of the cubic fundamental zone over phi2 (degrees): the boundary where the [001]
// pole leaves the standard triangle towards [101] or [011].
Real FundamentalZonePhi(Real x) {
  const Real d = x <= 45 ? x : 90 - x;
  return std::atan(1 / std::cos(d * kPi / 180)) * 180 / kPi;
}

// The n-th (1..96) cubic-orthorhombic equivalent C_i g S_j in degrees, with its interpolated
// value.
Real CubeOrthEquivalentValue(const OrientationsRec& c, int n, const Tensor2& g, EulerAnglesRec& e) {
  const int i = n % 24 == 0 ? 24 : n % 24;
  const int j = (n + 23) / 24;
  Tensor2 Cg, M;
  core::MatMul3x3(CubicOperators()(i), g, Cg);
  core::MatMul3x3(Cg, OrthorhombicOperators()(j), M);
  const EulerAnglesRec r = MatrixToEuler(M);
  e = {r.phi1 * 180 / kPi, r.phi * 180 / kPi, r.phi2 * 180 / kPi};
  return InterpolatedValue(c, e.phi1, e.phi, e.phi2);
}

// The block 0..90 deg holds three copies of the cubic-orthorhombic fundamental zone (Phi up to
// the boundary above). For a node (phi1, Phi, phi2) beyond it, the value of its equivalent
// inside the zone is written to the node phi2 + 90; the rules rewrite those nodes afterwards
// except the ones at phi2 = 90.
void FundamentalZoneStep(OrientationsRec& c) {
  for (int phi1 = 0; phi1 <= 90; phi1 += 5)
    for (int Phi = 55; Phi <= 90; Phi += 5)
      for (int phi2 = 0; phi2 <= 90; phi2 += 5) {
        const int t1 = phi1 / 5, t = Phi / 5, t2 = (phi2 + 90) / 5;
        const std::size_t target = NodeIndex(t1, t, t2);
        // The node keeps angles that match its place in the grid, which the interpolation uses.
        SetNode(c, t1, t, t2, c.ODF[target]);
        if (Phi <= FundamentalZonePhi(phi2)) continue;
        const Tensor2 g = EulerToMatrix(phi1 * kPi / 180, Phi * kPi / 180, phi2 * kPi / 180);
        for (int n = 1; n <= 96; ++n) {
          EulerAnglesRec e;
          const Real v = CubeOrthEquivalentValue(c, n, g, e);
          if (e.phi1 <= 90 && e.phi <= FundamentalZonePhi(e.phi2) && e.phi2 <= 90) {
            c.ODF[target] = v;
            break;
          }
        }
      }
}

}  // namespace

void ForgetEquivalentMaps() {
  const std::lock_guard<std::mutex> hold(Kept().guard);
  Kept().recent.clear();
}

NodeEquivalent EquivalentOfNode(polydec::CrystalClass sys, polydec::SampleSymmetry symmetry,
                                Real b1, Real b2, Real b3, std::size_t n) {
  const std::shared_ptr<EquivalentMap> map =
      EquivalentMapFor(static_cast<int>(sys), static_cast<int>(symmetry), b1, b2, b3);
  const std::lock_guard<std::mutex> hold(map->lock);
  const EquivalentMap::Entry& e = map->Of(n);
  NodeEquivalent r;
  r.found = e.found;
  r.onNode = e.onNode;
  r.inside = e.inside;
  r.source = static_cast<std::size_t>(e.source);
  if (e.found && !e.onNode) r.angles = map->Angles(n);
  return r;
}

void ExpandODF(OrientationsRec& context, int mode, Real b1, Real b2, Real b3) {
  if (mode == kExpandByRules)
    ExpandODFByRules(context, b1, b2, b3);
  else
    ExpandODFByOperators(context, b1, b2, b3);
}

void ExpandODFByOperators(OrientationsRec& c, Real b1, Real b2, Real b3) {
  EnsureGrid(c);
  c.ODFNUMP = kNodes;
  const std::shared_ptr<EquivalentMap> map =
      EquivalentMapFor(static_cast<int>(c.Cryst.SYS), static_cast<int>(c.SYMMETRY), b1, b2, b3);
  const std::lock_guard<std::mutex> hold(map->lock);
  bool previousEmpty = false;  // node n-1 held 0 before this pass
  for (int i1 = 0; i1 < kSteps1; ++i1)
    for (int i = 0; i < kStepsP; ++i)
      for (int i2 = 0; i2 < kSteps2; ++i2) {
        const std::size_t n = NodeIndex(i1, i, i2);
        if (c.ODF[n] != 0) {
          previousEmpty = false;
          continue;
        }
        SetNode(c, i1, i, i2, 0);
        const EquivalentMap::Entry current = map->Of(n);
        // Without an equivalent in the region the node has no defined value; it stays 0, which
        // the check after loading reports together with the likely wrong sample symmetry.
        if (current.found) {
          if (current.inside) c.ODF[n] = c.ODF[static_cast<std::size_t>(current.source)];
          if (n >= 1 && c.ODF[n] == c.ODF[n - 1]) {
            const EquivalentMap::Entry q = map->Of(n - 1);
            if (q.found && !(current.onNode && q.onNode))
              BreakTie(c, n, map->Angles(n), previousEmpty, map->Angles(n - 1), b1, b2, b3);
          }
        }
        previousEmpty = true;
      }
  c.maxphi1 = 360;
  c.maxphi = 180;
  c.maxphi2 = 360;
}

void ExpandODFByRules(OrientationsRec& c, Real b1, Real b2, Real b3) {
  EnsureGrid(c);
  // Counts left from an earlier load may exceed this grid; the sections stay inside it.
  const int count1 = std::clamp(static_cast<int>(c.ODFn_phi1), 0, kSteps1);
  const int countP = std::clamp(static_cast<int>(c.ODFn_phi), 0, kStepsP);
  const int count2 = std::clamp(static_cast<int>(c.ODFn_phi2), 0, kSteps2);

  // A missing last phi1 section is taken from phi1 = 0: for 90 and 180 degrees with phi2
  // mirrored about 45 degrees (the phi1 = 0 section of cubic data with orthorhombic sample
  // symmetry has that mirror), for 360 degrees unchanged (a full turn).
  const auto phi1Section = [&](int target, bool mirror) {
    for (int P = 0; P < countP; ++P)
      for (int q = 0; q < count2; ++q)
        SetNode(c, target, P, q, GridValue(c, 0, kStep * P, mirror ? 90 - kStep * q : kStep * q));
  };
  const auto phi2Section = [&](int target) {
    for (int p = 0; p < count1; ++p)
      for (int P = 0; P < countP; ++P)
        SetNode(c, p, P, target, GridValue(c, kStep * p, kStep * P, 0));
  };
  if (b1 == 85) {
    phi1Section(18, true);
    b1 = 90;
  }
  if (b1 == 175) {
    phi1Section(36, true);
    b1 = 180;
  }
  if (b1 == 355) {
    phi1Section(72, false);
    b1 = 360;
  }
  if (b3 == 85) {
    phi2Section(18);
    b3 = 90;
  }
  if (b3 == 355) {
    phi2Section(72);
    b3 = 360;
  }
  c.ODFNUMP = RoundToInt((b1 / 5 + 1) * (b2 / 5 + 1) * (b3 / 5 + 1));

  if (b2 == 90 && b3 == 90) {
    if (b1 == 90) {
      c.SYMMETRY = polydec::kOrthorhombicSample;
      FundamentalZoneStep(c);
      ApplyRules(c, 1, 31, 90);
    } else if (b1 == 180) {
      c.SYMMETRY = polydec::kMonoclinicSampleZ;
      ApplyRules(c, 1, 7, 180, 0);
      ApplyRules(c, 16, 23, 180, 5);
    } else if (b1 == 360) {
      c.SYMMETRY = polydec::kTriclinicSample;
      ApplyRules(c, 1, 7, 360, 0);
    }
  }
  c.ODFNUMP = kNodes;
}

}  // namespace polydec::texture
