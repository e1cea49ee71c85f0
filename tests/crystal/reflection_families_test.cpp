#include "crystal/reflection_families.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "polydec/dec.h"
#include "polydec/phase.h"

namespace polydec::crystal {
namespace {

CrystalData MakeCell(Real a, Real b, Real c, Real alpha, Real beta, Real gamma, CrystalClass cls) {
  CrystalData C = CellFromDegrees(a, b, c, alpha, beta, gamma);
  C.SYS = cls;
  C.AxisSetting = 1;
  InitCrystal(C);
  return C;
}

struct CellCase {
  const char* name;
  CrystalClass cls;
  std::array<Real, 6> cell;
};

const CellCase kCells[] = {
    {"cubic", kCubic, {2.866L, 2.866L, 2.866L, 90, 90, 90}},
    {"isotropic on a cubic cell", kIsotropicClass, {3.5L, 3.5L, 3.5L, 90, 90, 90}},
    {"hexagonal", kHexagonal, {3.209L, 3.209L, 5.211L, 90, 90, 120}},
    {"tetragonal1", kTetragonal1, {4.5L, 4.5L, 2.9L, 90, 90, 90}},
    {"tetragonal2", kTetragonal2, {4.5L, 4.5L, 2.9L, 90, 90, 90}},
    {"trigonal1", kTrigonal1, {4.759L, 4.759L, 12.991L, 90, 90, 120}},
    {"trigonal2", kTrigonal2, {4.759L, 4.759L, 12.991L, 90, 90, 120}},
    {"orthorhombic", kOrthorhombicClass, {5.1L, 6.3L, 7.4L, 90, 90, 90}},
    {"monoclinic1", kMonoclinic1, {5.1L, 6.3L, 7.4L, 90, 103, 90}},
    {"monoclinic2", kMonoclinic2, {5.1L, 6.3L, 7.4L, 90, 90, 103}},
    {"triclinic", kTriclinicClass, {5.1L, 6.3L, 7.4L, 81, 97, 105}},
};

CrystalData CellOf(const CellCase& c) {
  return MakeCell(c.cell[0], c.cell[1], c.cell[2], c.cell[3], c.cell[4], c.cell[5], c.cls);
}

// The multiplicities of textbook families: the order of the Laue group over the stabiliser of
// the plane normal. The trigonal1 form (C14 with C24 = -C14) keeps the twofold axis along x,
// which the crystal frame puts along a*: the Laue group -31m, where {10-11} has 12 members.
TEST(ReflectionFamilies, MultiplicitiesOfKnownFamilies) {
  struct Case {
    int cell;  // index into kCells
    IntMiller hkl;
    int multiplicity;
  };
  const Case cases[] = {
      {0, {1, 0, 0}, 6},  {0, {1, 1, 0}, 12}, {0, {1, 1, 1}, 8},  {0, {2, 1, 0}, 24},
      {0, {2, 1, 1}, 24}, {0, {3, 2, 1}, 48}, {1, {2, 1, 0}, 24}, {2, {0, 0, 1}, 2},
      {2, {1, 0, 0}, 6},  {2, {1, 0, 1}, 12}, {2, {1, 1, 0}, 6},  {2, {2, 1, 1}, 24},
      {3, {1, 0, 0}, 4},  {3, {0, 0, 1}, 2},  {3, {1, 0, 1}, 8},  {3, {2, 1, 0}, 8},
      {3, {2, 1, 1}, 16}, {4, {2, 1, 0}, 4},  {4, {2, 1, 1}, 8},  {5, {1, 0, 1}, 12},
      {5, {1, 1, 0}, 6},  {5, {2, 1, 1}, 12}, {6, {2, 1, 1}, 6},  {6, {1, 0, 0}, 6},
      {7, {1, 1, 1}, 8},  {7, {1, 0, 0}, 2},  {8, {1, 1, 1}, 4},  {8, {0, 1, 0}, 2},
      {8, {1, 0, 1}, 2},  {9, {1, 1, 1}, 4},  {9, {0, 0, 1}, 2},  {10, {1, 1, 1}, 2},
  };
  for (const Case& c : cases) {
    const CellCase& cell = kCells[c.cell];
    const auto families = ListReflectionFamilies(CellOf(cell), cell.cls, 3);
    bool found = false;
    for (const ReflectionFamily& f : families)
      for (const IntMiller& m : f.members)
        if (m == c.hkl) {
          found = true;
          EXPECT_EQ(f.multiplicity(), c.multiplicity)
              << cell.name << " " << c.hkl[0] << c.hkl[1] << c.hkl[2];
        }
    EXPECT_TRUE(found) << cell.name;
  }
}

// Whatever the class: every reflection of the box sits in exactly one family, the families
// together hold each reflection once (the multiplicities add up to the reflections listed),
// members share their spacing, and the families come in decreasing d.
TEST(ReflectionFamilies, FamiliesPartitionTheReflections) {
  for (const CellCase& cell : kCells) {
    const CrystalData C = CellOf(cell);
    const int n = 3;
    const auto families = ListReflectionFamilies(C, cell.cls, n);
    std::set<IntMiller> all;
    int total = 0;
    Real previous = 1e300L;
    for (const ReflectionFamily& f : families) {
      total += f.multiplicity();
      EXPECT_EQ(f.members.front(), f.hkl) << cell.name;
      const Real d = DSpacing(C, f.hkl[0], f.hkl[1], f.hkl[2]);
      EXPECT_LE(d, previous * (1 + 1e-12L)) << cell.name;
      previous = d;
      for (const IntMiller& m : f.members) {
        EXPECT_TRUE(all.insert(m).second) << cell.name << ": listed twice";
        EXPECT_NEAR(static_cast<double>(DSpacing(C, m[0], m[1], m[2]) / d), 1.0, 1e-13)
            << cell.name;
      }
    }
    EXPECT_EQ(total, static_cast<int>(all.size())) << cell.name;
    const bool fourIndex = UsesMillerBravais(cell.cls);
    for (int h = -n; h <= n; ++h)
      for (int k = -n; k <= n; ++k)
        for (int l = -n; l <= n; ++l) {
          const bool inBox = !(h == 0 && k == 0 && l == 0) && (!fourIndex || std::abs(h + k) <= n);
          if (inBox) {
            EXPECT_EQ(all.count({h, k, l}), 1u) << cell.name << " " << h << k << l;
          }
        }
    if (!fourIndex) {
      EXPECT_EQ(total, (2 * n + 1) * (2 * n + 1) * (2 * n + 1) - 1) << cell.name;
    }
  }
}

// A class whose symmetry the cell does not have merges only what the lattice keeps: a cubic
// class on a tetragonal cell never joins 100 (d = a) and 001 (d = c).
TEST(ReflectionFamilies, CellWithoutTheClassSymmetrySplitsFamilies) {
  const CrystalData C = MakeCell(3, 3, 4, 90, 90, 90, kCubic);
  EXPECT_EQ(LaueIndexOperators(C, kCubic).size(), 16u);
  for (const ReflectionFamily& f : ListReflectionFamilies(C, kCubic, 1))
    if (f.hkl == IntMiller{1, 0, 0}) {
      EXPECT_EQ(f.multiplicity(), 4);
    }
  const CrystalData hexagonal = MakeCell(3, 3, 5, 90, 90, 120, kIsotropicClass);
  EXPECT_EQ(LaueIndexOperators(hexagonal, kIsotropicClass).size(), 24u);
}

// The merging must follow the elastic symmetry in the frame the DECs are computed in: every
// member of a family has the DECs of its representative, for each class, with a stiffness that
// has nothing but the class's own relations (the trigonal C14 and C15, the monoclinic C15 or
// C16 and their partners).
TEST(ReflectionFamilies, MembersShareTheirDecs) {
  for (const CellCase& cell : kCells) {
    Cij21 cij{};
    const int diagonal[] = {0, 15, 20, 18, 11, 6};  // C11, C22, C33, C44, C55, C66
    for (std::size_t i = 0; i < cij.size(); ++i) cij[i] = 4 + static_cast<Real>(i);
    for (int i = 0; i < 6; ++i) cij[static_cast<std::size_t>(diagonal[i])] = i < 3 ? 240 + 9 * i : 70 + 5 * i;
    const polydec::Cell c{cell.cell[0], cell.cell[1], cell.cell[2], cell.cell[3], cell.cell[4], cell.cell[5]};
    const auto phase = MakePhase(cell.name, cell.cls, ApplyClassRules(cij, cell.cls), c, 200, 0.3L);
    ASSERT_TRUE(phase.ok()) << cell.name << ": " << phase.error().Describe();
    for (const ReflectionFamily& f : ListReflectionFamilies(CellOf(cell), cell.cls, 2)) {
      std::vector<Miller> members;
      for (const IntMiller& m : f.members) members.push_back({Real(m[0]), Real(m[1]), Real(m[2])});
      DecOptions options;
      options.model = kReuss;
      const auto decs = ComputeDecs(*phase, members, options);
      ASSERT_TRUE(decs.ok()) << decs.error().Describe();
      for (const Dec& d : *decs) {
        EXPECT_NEAR(static_cast<double>(d.s1), static_cast<double>(decs->front().s1), 1e-12)
            << cell.name << " " << f.hkl[0] << f.hkl[1] << f.hkl[2];
        EXPECT_NEAR(static_cast<double>(d.halfS2), static_cast<double>(decs->front().halfS2), 1e-12)
            << cell.name << " " << d.hkl[0] << d.hkl[1] << d.hkl[2];
      }
    }
  }
}

TEST(ReflectionFamilies, RepresentativesAreTheFamiliarOnes) {
  const CellCase& hex = kCells[2];
  std::set<IntMiller> representatives;
  for (const ReflectionFamily& f : ListReflectionFamilies(CellOf(hex), hex.cls, 2))
    representatives.insert(f.hkl);
  for (const IntMiller& expected : {IntMiller{1, 0, 0}, IntMiller{1, 1, 0}, IntMiller{1, 0, 1},
                                    IntMiller{1, 1, 2}, IntMiller{0, 0, 2}})
    EXPECT_EQ(representatives.count(expected), 1u) << expected[0] << expected[1] << expected[2];
  const CellCase& cubic = kCells[0];
  for (const ReflectionFamily& f : ListReflectionFamilies(CellOf(cubic), cubic.cls, 3))
    EXPECT_TRUE(f.hkl[0] >= f.hkl[1] && f.hkl[1] >= f.hkl[2] && f.hkl[2] >= 0)
        << f.hkl[0] << f.hkl[1] << f.hkl[2];
}

}  // namespace
}  // namespace polydec::crystal
