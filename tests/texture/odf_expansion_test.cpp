#include "texture/odf_expansion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/linalg.h"
#include "texture/orientation.h"

namespace polydec::texture {
namespace {

using core::kPi;
using core::OrientationsRec;
using core::Tensor2;

constexpr int kNodes = 197173;

std::size_t Node(int a1, int a, int a2) {
  return static_cast<std::size_t>(a1 / 5 * 2701 + a / 5 * 73 + a2 / 5);
}

using OdfFunction = std::function<Real(const Tensor2&)>;

Tensor2 Matrix(Real a1, Real a, Real a2) {
  return EulerToMatrix(a1 * kPi / 180, a * kPi / 180, a2 * kPi / 180);
}

// Orientation matrices of all grid nodes, computed once from the 73 distinct node angles.
const Tensor2& NodeMatrix(int a1, int a, int a2) {
  static const std::vector<Tensor2> matrices = [] {
    std::vector<Real> cosine, sine;
    for (int k = 0; k <= 72; ++k) {
      cosine.push_back(std::cos(5 * k * kPi / 180));
      sine.push_back(std::sin(5 * k * kPi / 180));
    }
    std::vector<Tensor2> m(kNodes);
    for (std::size_t i1 = 0; i1 <= 72; ++i1)
      for (std::size_t i = 0; i <= 36; ++i)
        for (std::size_t i2 = 0; i2 <= 72; ++i2)
          m[i1 * 2701 + i * 73 + i2] = EulerToMatrix(
              EulerTrig{cosine[i1], sine[i1], cosine[i], sine[i], cosine[i2], sine[i2]});
    return m;
  }();
  return matrices[Node(a1, a, a2)];
}

// A context whose grid holds f on the nodes of [0, b1] x [0, b2] x [0, b3] (degrees) and 0
// elsewhere, as a reader leaves it before the expansion.
OrientationsRec LoadedContext(int sys, int sym, const OdfFunction& f, int b1, int b2, int b3) {
  OrientationsRec c;
  c.Cryst.SYS = static_cast<polydec::CrystalClass>(sys);
  c.SYMMETRY = static_cast<polydec::SampleSymmetry>(sym);
  c.ODF.assign(kNodes + 1, 0);
  c.phi1.assign(kNodes + 1, 0);
  c.phi.assign(kNodes + 1, 0);
  c.phi2.assign(kNodes + 1, 0);
  for (int a1 = 0; a1 <= b1; a1 += 5)
    for (int a = 0; a <= b2; a += 5)
      for (int a2 = 0; a2 <= b3; a2 += 5) {
        const std::size_t n = Node(a1, a, a2);
        c.ODF[n] = f(NodeMatrix(a1, a, a2));
        c.phi1[n] = a1;
        c.phi[n] = a;
        c.phi2[n] = a2;
      }
  c.ODFn_phi1 = b1 / 5 + 1;
  c.ODFn_phi = b2 / 5 + 1;
  c.ODFn_phi2 = b3 / 5 + 1;
  c.ODFNUMP = c.ODFn_phi1 * c.ODFn_phi * c.ODFn_phi2;
  return c;
}

// A smooth positive function of orientation without any symmetry of its own:
// 1 / (3.5 + <A, g>), with <A, g> the sum of A_ij g_ij (below 3 in magnitude for a rotation).
constexpr Tensor2 kWeights{{0.8L, 0.5L, -0.3L, 0.6L, 0, -0.4L, 0.9L, 0.2L, 0.7L}};

Real Inner(const Tensor2& a, const Tensor2& g) {
  Real sum = 0;
  for (std::size_t k = 0; k < 9; ++k) sum += a.e[k] * g.e[k];
  return sum;
}

Real Generic(const Tensor2& g) { return 1 / (3.5L + Inner(kWeights, g)); }

// The generic function summed over all C g S: invariant under the given symmetries. Since
// <A, C g S> = <C^T A S^T, g>, the sum needs one weight matrix per pair, not a product per call.
OdfFunction Symmetrized(int sys, int sym) {
  std::vector<Tensor2> weights;
  for (const Tensor2& C : CrystalOperators(static_cast<polydec::CrystalClass>(sys)).entries)
    for (const Tensor2& S : SampleOperators(static_cast<polydec::SampleSymmetry>(sym)).entries) {
      Tensor2 w;
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l)
          for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) w(k, l) += C(i, k) * kWeights(i, j) * S(l, j);
      weights.push_back(w);
    }
  return [weights](const Tensor2& g) {
    Real sum = 0;
    for (const Tensor2& w : weights) sum += 1 / (3.5L + Inner(w, g));
    return sum;
  };
}

// Invariant under every signed permutation of the rows (cubic crystal) and sign change of
// the columns (orthorhombic sample), but not under exchange of sample axes.
Real CubicOrthorhombic(const Tensor2& g) {
  Real f = 1;
  for (int j = 1; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) f += j * (g(i, j) * g(i, j)) * (g(i, j) * g(i, j));
  return f;
}

// Invariant also under exchange of sample axes (a fourfold sample axis Z among others).
Real CubicTetragonal(const Tensor2& g) {
  Real f = 1;
  for (int j = 1; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) f += (j == 3 ? 3 : 1) * (g(i, j) * g(i, j)) * (g(i, j) * g(i, j));
  return f;
}

// Every node against f at the node's own orientation; recorded angles must be the node's.
void ExpectReproduced(const OrientationsRec& c, const OdfFunction& f, Real relTol,
                      const std::string& label) {
  int failures = 0;
  for (int a1 = 0; a1 <= 360 && failures < 5; a1 += 5)
    for (int a = 0; a <= 180; a += 5)
      for (int a2 = 0; a2 <= 360; a2 += 5) {
        const std::size_t n = Node(a1, a, a2);
        const Real expected = f(NodeMatrix(a1, a, a2));
        if (std::fabs(c.ODF[n] - expected) > relTol * expected || c.phi1[n] != a1 ||
            c.phi[n] != a || c.phi2[n] != a2) {
          ADD_FAILURE() << label << ": node (" << a1 << ", " << a << ", " << a2 << ") holds "
                        << c.ODF[n] << " at (" << c.phi1[n] << ", " << c.phi[n] << ", " << c.phi2[n]
                        << "), expected " << expected;
          if (++failures >= 5) break;
        }
      }
}

// Values at equivalent nodes agree to the rounding of the symmetrized sums.
constexpr Real kSymmetricTol = 1e-15L;

TEST(ExpandODFByOperators, ReproducesASymmetricOdfFromItsRegion) {
  struct Case {
    int sys, sym, b1, b2, b3;
  };
  const std::vector<Case> cases = {
      {2, 10, 360, 90, 60},   // hexagonal crystal, no sample symmetry
      {3, 10, 360, 90, 90},   // tetragonal crystal, no sample symmetry
      {7, 7, 90, 90, 180},    // orthorhombic crystal and sample
      {9, 9, 180, 180, 180},  // monoclinic crystal and sample
  };
  for (const Case& k : cases) {
    const OdfFunction f = Symmetrized(k.sys, k.sym);
    OrientationsRec c = LoadedContext(k.sys, k.sym, f, k.b1, k.b2, k.b3);
    ExpandODF(c, 0, k.b1, k.b2, k.b3);
    const std::string label = std::to_string(k.sys) + "/" + std::to_string(k.sym);
    EXPECT_EQ(c.ODFNUMP, kNodes) << label;
    EXPECT_EQ(c.maxphi1, 360);
    EXPECT_EQ(c.maxphi, 180);
    EXPECT_EQ(c.maxphi2, 360);
    ExpectReproduced(c, f, kSymmetricTol, label);
  }
}

TEST(ExpandODFByOperators, CubicDataOnTheQuarterBlockFillTheWholeGrid) {
  // Values in steps of 0.25, as files hold them rounded: neighbouring nodes often agree, which
  // is what sets off the tie-break between neighbours.
  const auto stepped = [](const Tensor2& g) { return std::round(4 * CubicOrthorhombic(g)) / 4; };
  OrientationsRec c = LoadedContext(1, 7, stepped, 90, 90, 90);
  const core::DataVector loaded = c.ODF;
  ExpandODFByOperators(c, 90, 90, 90);
  int zeros = 0;
  for (int n = 0; n < kNodes; ++n) zeros += c.ODF[static_cast<std::size_t>(n)] == 0;
  EXPECT_EQ(zeros, 0);
  for (int a1 = 0; a1 <= 90; a1 += 5)
    for (int a = 0; a <= 90; a += 5)
      for (int a2 = 0; a2 <= 90; a2 += 5)
        ASSERT_EQ(c.ODF[Node(a1, a, a2)], loaded[Node(a1, a, a2)]) << a1 << " " << a << " " << a2;
  // Every node has equivalents on nodes of the block (the fourfold and twofold axes of the cube
  // and the sample's twofold axes move nodes onto nodes); the threefold axes turn nodes off the
  // grid, and an equivalent there must not stand in for the exact one: every node holds the
  // value of its own orientation (to one step where the rounding of the stepped values falls
  // differently for two equivalent matrices).
  int failures = 0;
  for (int a1 = 0; a1 <= 360 && failures < 5; a1 += 5)
    for (int a = 0; a <= 180; a += 5)
      for (int a2 = 0; a2 <= 360; a2 += 5) {
        const Real expected = stepped(NodeMatrix(a1, a, a2));
        const Real value = c.ODF[Node(a1, a, a2)];
        if (std::fabs(value - expected) > 0.25L + 1e-12L && ++failures < 5)
          ADD_FAILURE() << a1 << " " << a << " " << a2 << ": " << value << " vs " << expected;
      }
  const OdfFunction smooth = CubicOrthorhombic;
  OrientationsRec d = LoadedContext(1, 7, smooth, 90, 90, 90);
  ExpandODFByOperators(d, 90, 90, 90);
  ExpectReproduced(d, smooth, 1e-12L, "cubic/orthorhombic from 0..90");
}

TEST(ExpandODFByOperators, FirstEquivalentInTableOrderWinsAndLoadedValuesStay) {
  // Monoclinic crystal (phi2 + 180) and sample (phi1 + 180), region phi2 <= 180, data that
  // ignore the symmetry: node (200, 30, 200) has the equivalents (200, 30, 20) (crystal
  // operator, found first) and (20, 30, 20) (both operators).
  OrientationsRec c = LoadedContext(9, 9, Generic, 360, 180, 180);
  const std::size_t kept = Node(100, 40, 300);
  c.ODF[kept] = 12.5L;
  ExpandODF(c, 2, 360, 180, 180);
  EXPECT_EQ(c.ODF[Node(200, 30, 200)], c.ODF[Node(200, 30, 20)]);
  EXPECT_NE(c.ODF[Node(200, 30, 200)], c.ODF[Node(20, 30, 20)]);
  EXPECT_EQ(c.ODF[kept], 12.5L);
  EXPECT_EQ(c.ODF[Node(20, 30, 20)], Generic(Matrix(20, 30, 20)));
}

TEST(ExpandODFByOperators, NodesWithoutAnEquivalentInTheRegionStayEmpty) {
  // No symmetry at all, but data only on a quarter block: nothing outside can be derived.
  OrientationsRec c = LoadedContext(10, 10, Generic, 90, 90, 90);
  ExpandODFByOperators(c, 90, 90, 90);
  EXPECT_EQ(c.ODF[Node(95, 0, 0)], 0);
  EXPECT_EQ(c.ODF[Node(200, 100, 300)], 0);
  EXPECT_EQ(c.ODF[Node(90, 90, 90)], Generic(Matrix(90, 90, 90)));
  EXPECT_EQ(c.ODFNUMP, kNodes);
}

// The expansion finds each node's equivalent by index arithmetic where the operators allow it
// and by the search elsewhere; every answer it takes must be the search's, node by node.
TEST(EquivalentOfNode, IsTheSearchsAnswerAtEveryNode) {
  // Every node of the common case, every fifth of the others (the search takes a second for
  // all of them).
  struct Case {
    int sys, sym;
    Real b1, b2, b3;
    const char* what;
    int stride = 5;
  };
  const std::vector<Case> cases = {
      {1, 7, 90, 90, 90, "cubic, orthorhombic sample, the usual block", 1},
      {1, 10, 360, 90, 90, "cubic, no sample symmetry"},
      {1, 7, 90, 55, 90, "cubic block cut at Phi = 55: nodes whose equivalents lie off the grid"},
      {1, 7, 87.5L, 90, 90, "a bound between nodes"},
      {1, 7, 90, 90 + 1e-5L * 180 / kPi, 90, "a bound at a node plus the tolerance"},
      {2, 10, 360, 90, 60, "hexagonal, sixfold axis"},
      {2, 7, 90, 90, 60, "hexagonal, orthorhombic sample"},
      {5, 7, 90, 90, 120, "trigonal"},
      {3, 9, 180, 90, 90, "tetragonal, twofold sample axis Z"},
      {8, 8, 360, 90, 180, "monoclinic Y, twofold sample axis Y"},
      {10, 10, 90, 90, 90, "triclinic: most nodes have no equivalent"},
  };
  for (const Case& k : cases) {
    const auto sys = static_cast<polydec::CrystalClass>(k.sys);
    const auto sym = static_cast<polydec::SampleSymmetry>(k.sym);
    int failures = 0;
    for (int a1 = 0; a1 <= 360 && failures < 5; a1 += 5)
      for (int a = 0; a <= 180; a += 5)
        for (int a2 = 0; a2 <= 360; a2 += 5) {
          if (Node(a1, a, a2) % static_cast<std::size_t>(k.stride) != 0) continue;
          core::EulerAnglesRec want;
          const bool found =
              SymmetryEquivalentInRegion(sys, sym, NodeMatrix(a1, a, a2), k.b1, k.b2, k.b3, 5, want);
          const NodeEquivalent got = EquivalentOfNode(sys, sym, k.b1, k.b2, k.b3, Node(a1, a, a2));
          const int m1 = static_cast<int>(std::lrint(want.phi1 / 5));
          const int m = static_cast<int>(std::lrint(want.phi / 5));
          const int m2 = static_cast<int>(std::lrint(want.phi2 / 5));
          const bool same =
              got.found == found &&
              (!found || (got.onNode == OnGridNode(want, 5) && got.inside &&
                          got.source == Node(5 * m1, 5 * m, 5 * m2) &&
                          (got.onNode || (got.angles.phi1 == want.phi1 &&
                                          got.angles.phi == want.phi &&
                                          got.angles.phi2 == want.phi2))));
          if (!same && ++failures <= 5)
            ADD_FAILURE() << k.what << ": node " << a1 << " " << a << " " << a2 << ": found "
                          << got.found << " (search " << found << "), source " << got.source
                          << " (search " << want.phi1 << " " << want.phi << " " << want.phi2
                          << ")";
        }
  }
}

TEST(ExpandODFByRules, LargerBlocksFollowExactlyFromTheirRelations) {
  // Sample symmetry twofold Z (phi1 up to 180) and none (phi1 up to 360): only the crystal
  // relations and the half-turn of the sample are used, so every node is exact.
  struct Case {
    int b1, symmetry;
  };
  for (const Case& k : {Case{180, 9}, Case{360, 10}}) {
    OrientationsRec c = LoadedContext(1, 0, CubicOrthorhombic, k.b1, 90, 90);
    ExpandODF(c, kExpandByRules, k.b1, 90, 90);
    EXPECT_EQ(c.SYMMETRY, k.symmetry);
    EXPECT_EQ(c.ODFNUMP, kNodes);
    ExpectReproduced(c, CubicOrthorhombic, kSymmetricTol, "b1 = " + std::to_string(k.b1));
  }
}

TEST(ExpandODFByRules, QuarterBlockOfCubicOrthorhombicData) {
  OrientationsRec c = LoadedContext(1, 0, CubicOrthorhombic, 90, 90, 90);
  c.ODF[Node(0, 60, 90)] = 999;  // disagrees with its equivalent (0, 60, 0)
  ExpandODFByRules(c, 90, 90, 90);
  EXPECT_EQ(c.SYMMETRY, 7);
  EXPECT_EQ(c.ODFNUMP, kNodes);
  struct Pair {
    int written[3], source[3];
  };
  const std::vector<Pair> rules = {
      {{0, 0, 95}, {0, 0, 5}},  {{0, 95, 0}, {0, 85, 90}}, {{95, 0, 0}, {85, 0, 90}},
      {{185, 0, 0}, {5, 0, 0}}, {{0, 60, 95}, {0, 60, 5}}, {{275, 95, 185}, {85, 85, 5}},
  };
  for (const Pair& p : rules)
    EXPECT_EQ(c.ODF[Node(p.written[0], p.written[1], p.written[2])],
              c.ODF[Node(p.source[0], p.source[1], p.source[2])])
        << p.written[0] << " " << p.written[1] << " " << p.written[2];
  // Beyond the fundamental zone's Phi boundary the node phi2 = 90 takes the value of the
  // equivalent of (0, 60, 0) inside the zone, interpolated; its angles stay its own.
  EXPECT_NEAR(c.ODF[Node(0, 60, 90)], CubicOrthorhombic(Matrix(0, 60, 90)), 0.05L);
  EXPECT_EQ(c.phi2[Node(0, 60, 90)], 90);
  // Elsewhere the completion follows f; the interpolated nodes deviate by the curvature of f
  // over a 5-degree cell.
  ExpectReproduced(c, CubicOrthorhombic, 0.05L, "quarter block");
}

TEST(ExpandODFByRules, MissingEndSectionsAreMadeFirst) {
  // The section phi1 = 90 is taken from phi1 = 0 through a fourfold sample axis Z, so the data
  // here have one.
  OrientationsRec c = LoadedContext(1, 0, CubicTetragonal, 85, 90, 90);
  for (int a = 0; a <= 90; a += 5)
    for (int a2 = 0; a2 <= 90; a2 += 5) c.ODF[Node(90, a, a2)] = 0;
  ExpandODFByRules(c, 85, 90, 90);
  EXPECT_EQ(c.SYMMETRY, 7);
  // phi1 = 90 comes from phi1 = 0 with phi2 mirrored, then the quarter-block rules run.
  EXPECT_EQ(c.ODF[Node(90, 20, 30)], c.ODF[Node(0, 20, 60)]);
  EXPECT_EQ(c.ODF[Node(90, 50, 0)], c.ODF[Node(0, 50, 90)]);
  EXPECT_EQ(c.ODF[Node(95, 0, 0)], c.ODF[Node(85, 0, 90)]);
  ExpectReproduced(c, CubicTetragonal, 0.05L, "phi1 up to 85");

  OrientationsRec d = LoadedContext(1, 0, Generic, 90, 90, 355);
  ExpandODFByRules(d, 90, 90, 355);
  for (int a1 = 0; a1 <= 90; a1 += 5)
    for (int a = 0; a <= 90; a += 5) {
      EXPECT_EQ(d.ODF[Node(a1, a, 360)], d.ODF[Node(a1, a, 0)]);
      EXPECT_EQ(d.phi2[Node(a1, a, 360)], 360);
    }
  EXPECT_EQ(d.ODF[Node(95, 0, 0)], 0);  // no region relations for these bounds
  EXPECT_EQ(d.ODFNUMP, kNodes);
}

TEST(ExpandODFByRules, StaleNodeCountsStayInsideTheGrid) {
  OrientationsRec c = LoadedContext(1, 0, CubicOrthorhombic, 85, 90, 90);
  c.ODFn_phi1 = 500;
  c.ODFn_phi = 500;
  c.ODFn_phi2 = 500;
  ExpandODFByRules(c, 85, 90, 355);
  EXPECT_EQ(c.ODF.size(), static_cast<std::size_t>(kNodes + 1));
  EXPECT_EQ(c.ODF[Node(90, 20, 30)], c.ODF[Node(0, 20, 60)]);
}

}  // namespace
}  // namespace polydec::texture
