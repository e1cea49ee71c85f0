// Completion of a partially loaded ODF over Euler space. A measured ODF covers only the region
// that crystal and sample symmetry make sufficient; every other orientation is the image of one
// in that region under some C g S (Bunge, 1982), and its value is taken from there.
#include "texture/odf_expansion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <vector>

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
    if (v->size() < kGridLength) v->resize(kGridLength, 0);
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

struct Equivalent {
  bool found = false;
  EulerAnglesRec angles;  // degrees
};

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

Equivalent FindEquivalent(const OrientationsRec& c, const NodeTrig& trig, int i1, int i, int i2,
                          Real b1, Real b2, Real b3) {
  Equivalent e;
  e.found = SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(c.Cryst.SYS),
                                       static_cast<polydec::SampleSymmetry>(c.SYMMETRY),
                                       trig.Matrix(i1, i, i2), b1, b2, b3, kStep, e.angles);
  return e;
}

// Which node of the loaded region each node of the grid is equivalent to depends only on the
// crystal and sample symmetry and on the region, not on the ODF: the search over the operators,
// almost all the work of an expansion, is done once per symmetry pair and region and kept.
// Entries are filled as nodes ask for them, so a load that leaves few nodes empty searches few.
class EquivalentMap {
 public:
  EquivalentMap(int sys, int symmetry, Real b1, Real b2, Real b3)
      : sys_(sys), symmetry_(symmetry), b1_(b1), b2_(b2), b3_(b3),
        known_(kGridLength, 0), entries_(kGridLength) {}
  bool Matches(int sys, int symmetry, Real b1, Real b2, Real b3) const {
    return sys == sys_ && symmetry == symmetry_ && b1 == b1_ && b2 == b2_ && b3 == b3_;
  }
  const Equivalent& Of(const OrientationsRec& c, const NodeTrig& trig, std::size_t n) {
    if (known_[n] == 0) {
      const int i1 = static_cast<int>(n / kStride1), i = static_cast<int>(n % kStride1 / kStrideP);
      const int i2 = static_cast<int>(n % kStrideP);
      entries_[n] = FindEquivalent(c, trig, i1, i, i2, b1_, b2_, b3_);
      known_[n] = 1;
    }
    return entries_[n];
  }
  std::mutex lock;

 private:
  int sys_, symmetry_;
  Real b1_, b2_, b3_;
  std::vector<std::uint8_t> known_;
  std::vector<Equivalent> entries_;
};

// The maps of the last few symmetry pairs and regions in use (about 13 MB each).
std::shared_ptr<EquivalentMap> EquivalentMapFor(int sys, int symmetry, Real b1, Real b2, Real b3) {
  static std::mutex guard;
  static std::list<std::shared_ptr<EquivalentMap>> recent;
  constexpr std::size_t kKept = 4;
  const std::lock_guard<std::mutex> hold(guard);
  for (auto it = recent.begin(); it != recent.end(); ++it)
    if ((*it)->Matches(sys, symmetry, b1, b2, b3)) {
      recent.splice(recent.begin(), recent, it);
      return recent.front();
    }
  recent.push_front(std::make_shared<EquivalentMap>(sys, symmetry, b1, b2, b3));
  if (recent.size() > kKept) recent.pop_back();
  return recent.front();
}

// An equivalent that falls on a node has no rounding error for the tie-break to correct.
bool OnNode(const EulerAnglesRec& e) { return OnGridNode(e, kStep); }

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

void ExpandODF(OrientationsRec& context, int mode, Real b1, Real b2, Real b3) {
  if (mode == kExpandByRules)
    ExpandODFByRules(context, b1, b2, b3);
  else
    ExpandODFByOperators(context, b1, b2, b3);
}

void ExpandODFByOperators(OrientationsRec& c, Real b1, Real b2, Real b3) {
  EnsureGrid(c);
  c.ODFNUMP = kNodes;
  static const NodeTrig trig;
  const std::shared_ptr<EquivalentMap> map =
      EquivalentMapFor(static_cast<int>(c.Cryst.SYS), static_cast<int>(c.SYMMETRY), b1, b2, b3);
  const std::lock_guard<std::mutex> hold(map->lock);
  bool previousEmpty = false;  // node n-1 held 0 before this pass
  Equivalent previous;         // its equivalent, when previousEmpty
  for (int i1 = 0; i1 < kSteps1; ++i1)
    for (int i = 0; i < kStepsP; ++i)
      for (int i2 = 0; i2 < kSteps2; ++i2) {
        const std::size_t n = NodeIndex(i1, i, i2);
        if (c.ODF[n] != 0) {
          previousEmpty = false;
          continue;
        }
        SetNode(c, i1, i, i2, 0);
        const Equivalent current = map->Of(c, trig, n);
        // Without an equivalent in the region the node has no defined value; it stays 0, which
        // the check after loading reports together with the likely wrong sample symmetry.
        if (current.found) {
          const EulerAnglesRec& p = current.angles;
          const int m1 = RoundToInt(p.phi1 / kStep), m = RoundToInt(p.phi / kStep);
          const int m2 = RoundToInt(p.phi2 / kStep);
          if (InsideGrid(m1, m, m2)) c.ODF[n] = c.ODF[NodeIndex(m1, m, m2)];
          if (n >= 1 && c.ODF[n] == c.ODF[n - 1]) {
            const Equivalent q = previousEmpty ? previous : map->Of(c, trig, n - 1);
            if (q.found && !(OnNode(p) && OnNode(q.angles)))
              BreakTie(c, n, p, previousEmpty, q.angles, b1, b2, b3);
          }
        }
        previousEmpty = true;
        previous = current;
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
