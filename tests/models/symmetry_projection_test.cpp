#include "models/symmetry_projection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "crystal/symmetry_classes.h"
#include "texture/orientation.h"

namespace polydec::models {
namespace {

using core::CijklPosition;
using core::CijklVector;
using core::Real;
using core::Tensor2;
using core::Tensor4;

Real& C(CijklVector& v, int i, int j, int k, int l) { return v[CijklPosition(i, j, k, l)]; }

// No two components alike, none zero, no symmetry of any class.
CijklVector Scrambled() {
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = 100 + 13 * ((7 * n) % 23) - 0.25L * n;
  return v;
}

Tensor4 ToTensor(const CijklVector& v) {
  Tensor4 t;
  core::CijklToTensor(v, t);
  return t;
}

// T'_ijkl = R_ia R_jb R_kc R_ld T_abcd.
Tensor4 Rotate(const Tensor4& t, const Tensor2& R) {
  Tensor4 r;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) {
          Real s = 0;
          for (int a = 1; a <= 3; ++a)
            for (int b = 1; b <= 3; ++b)
              for (int c = 1; c <= 3; ++c)
                for (int d = 1; d <= 3; ++d)
                  s += R(i, a) * R(j, b) * R(k, c) * R(l, d) * t(a, b, c, d);
          r(i, j, k, l) = s;
        }
  return r;
}

// Rotation by angle about the unit axis n (Rodrigues).
Tensor2 AxisRotation(Real x, Real y, Real z, Real degrees) {
  const Real len = std::sqrt(x * x + y * y + z * z);
  const Real n[3] = {x / len, y / len, z / len};
  const Real c = std::cos(degrees * core::kDegToRad), s = std::sin(degrees * core::kDegToRad);
  Tensor2 R;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) R(i + 1, j + 1) = (i == j ? c : 0) + (1 - c) * n[i] * n[j];
  R(1, 2) -= s * n[2];
  R(2, 1) += s * n[2];
  R(1, 3) += s * n[1];
  R(3, 1) -= s * n[1];
  R(2, 3) -= s * n[0];
  R(3, 2) += s * n[0];
  return R;
}

// The point-group generators each class form must be invariant under (x1 along the two-fold
// axis of the trigonal class 32; the monoclinic1 axis along x2, the monoclinic2 axis along x3,
// as the classes' operator tables have them).
struct ClassCase {
  int c;
  std::vector<Tensor2> generators;
};
std::vector<ClassCase> ClassCases() {
  const Tensor2 z90 = AxisRotation(0, 0, 1, 90), x90 = AxisRotation(1, 0, 0, 90),
                z120 = AxisRotation(0, 0, 1, 120), x180 = AxisRotation(1, 0, 0, 180),
                y180 = AxisRotation(0, 1, 0, 180), z180 = AxisRotation(0, 0, 1, 180);
  return {{0, {AxisRotation(1, 2, 3, 37), AxisRotation(-2, 1, 0.5L, 71)}},
          {1, {z90, x90}},
          {2, {AxisRotation(0, 0, 1, 37), x180}},
          {3, {z90, x180}},
          {4, {z90}},
          {5, {z120, x180}},
          {6, {z120}},
          {7, {x180, y180, z180}},
          {8, {y180}},
          {9, {z180}},
          {10, {}}};
}

// Rotations of components up to a few hundred: 1e-15 relative covers 81-term extended sums.
constexpr Real kRotationTolerance = 1e-12L;

TEST(CompleteBySymmetry, ResultHasTheClassSymmetryAndIsAFixedPoint) {
  for (const ClassCase& cc : ClassCases()) {
    Tensor4 t = ToTensor(Scrambled());
    CompleteBySymmetry(t, cc.c);
    for (const Tensor2& R : cc.generators) {
      const Tensor4 rotated = Rotate(t, R);
      for (int n = 0; n < 81; ++n)
        ASSERT_NEAR(rotated.e[n], t.e[n], kRotationTolerance) << "class " << cc.c << " entry " << n;
    }
    Tensor4 again = t;
    CompleteBySymmetry(again, cc.c);
    EXPECT_EQ(again, t) << "class " << cc.c;
    CijklVector v{};
    core::TensorToCijkl(t, v);
    for (int p = 1; p <= 21; ++p) {
      CijklVector w = v;
      ProjectOnSymmetry(w, p, cc.c);
      EXPECT_EQ(w, v) << "class " << cc.c << " position " << p;
    }
  }
}

// The class forms agree with the rotations the texture code applies for the same codes: a
// crystal class's operators and the monoclinic and orthorhombic samples' operators leave the
// completed tensor unchanged, so an average over symmetric orientations has the form the
// projection keeps. And for the classes whose entry form names every independent constant,
// the window opens exactly the components the projection keeps.
TEST(CompleteBySymmetry, FormsAgreeWithTheOperatorTablesAndTheEntryForm) {
  struct Case {
    int c;
    texture::OperatorTable operators;
  };
  const Case cases[] = {{1, texture::CrystalOperators(static_cast<polydec::CrystalClass>(1))},
                        {2, texture::CrystalOperators(static_cast<polydec::CrystalClass>(2))},
                        {3, texture::CrystalOperators(static_cast<polydec::CrystalClass>(3))},
                        {4, texture::CrystalOperators(static_cast<polydec::CrystalClass>(4))},
                        {5, texture::CrystalOperators(static_cast<polydec::CrystalClass>(5))},
                        {6, texture::CrystalOperators(static_cast<polydec::CrystalClass>(6))},
                        {7, texture::CrystalOperators(static_cast<polydec::CrystalClass>(7))},
                        {8, texture::CrystalOperators(static_cast<polydec::CrystalClass>(8))},
                        {9, texture::CrystalOperators(static_cast<polydec::CrystalClass>(9))},
                        {7, texture::SampleOperators(static_cast<polydec::SampleSymmetry>(7))},
                        {9, texture::SampleOperators(static_cast<polydec::SampleSymmetry>(9))}};
  for (const Case& cc : cases) {
    Tensor4 t = ToTensor(Scrambled());
    CompleteBySymmetry(t, cc.c);
    for (int n = 1; n <= cc.operators.Size(); ++n) {
      const Tensor4 rotated = Rotate(t, cc.operators(n));
      for (int e = 0; e < 81; ++e)
        ASSERT_NEAR(rotated.e[e], t.e[e], kRotationTolerance)
            << "class " << cc.c << " operator " << n << " entry " << e;
    }
  }
  for (int c = 7; c <= 10; ++c) {
    std::vector<int> open;
    for (const std::string& name :
         crystal::FreeConstantNames(static_cast<polydec::CrystalClass>(c)))
      for (int p = 1; p <= 21; ++p)
        if (core::VoigtNames[static_cast<std::size_t>(p)] == name) open.push_back(p);
    std::sort(open.begin(), open.end());
    const auto& row = core::SymmetryComponents[static_cast<std::size_t>(c)];
    EXPECT_EQ(open, std::vector<int>(row.begin() + 1, row.begin() + 1 + row[0])) << "class " << c;
  }
}

TEST(ProjectOnSymmetry, CubicGroupsBecomeTheirMeans) {
  CijklVector v{};
  C(v, 1, 1, 1, 1) = 240;
  C(v, 2, 2, 2, 2) = 230;
  C(v, 3, 3, 3, 3) = 250;
  C(v, 1, 1, 2, 2) = C(v, 1, 1, 3, 3) = C(v, 2, 2, 3, 3) = 140;
  C(v, 1, 2, 1, 2) = 115;
  C(v, 1, 3, 1, 3) = 116;
  C(v, 2, 3, 2, 3) = 117;
  C(v, 1, 1, 2, 3) = 9;
  for (const int p : {CijklPosition(1, 1, 1, 1), CijklPosition(1, 1, 2, 2),
                      CijklPosition(1, 1, 3, 3), CijklPosition(1, 2, 1, 2)}) {
    CijklVector w = v;
    ProjectOnSymmetry(w, p, 1);
    EXPECT_EQ(C(w, 1, 1, 1, 1), 240);
    EXPECT_EQ(C(w, 2, 2, 2, 2), 240);
    EXPECT_EQ(C(w, 3, 3, 3, 3), 240);
    EXPECT_EQ(C(w, 2, 2, 3, 3), 140);
    EXPECT_EQ(C(w, 1, 2, 1, 2), 116);
    EXPECT_EQ(C(w, 2, 3, 2, 3), 116);
    EXPECT_EQ(C(w, 1, 1, 2, 3), 0);
  }
  // A change of C2222 triggers no equality; only the vanishing components are cleared.
  CijklVector w = v;
  ProjectOnSymmetry(w, CijklPosition(2, 2, 2, 2), 1);
  EXPECT_EQ(C(w, 2, 2, 2, 2), 230);
  EXPECT_EQ(C(w, 1, 1, 2, 3), 0);
}

TEST(ProjectOnSymmetry, IsotropicAndHexagonalShearFollowsTheStoredMeans) {
  CijklVector v{};
  C(v, 1, 1, 1, 1) = 200;
  C(v, 2, 2, 2, 2) = 210;
  C(v, 3, 3, 3, 3) = 190;
  C(v, 1, 1, 2, 2) = 100;
  C(v, 1, 1, 3, 3) = 80;
  C(v, 2, 2, 3, 3) = 90;
  C(v, 1, 2, 1, 2) = C(v, 1, 3, 1, 3) = 40;
  C(v, 2, 3, 2, 3) = 50;

  CijklVector hex = v;
  ProjectOnSymmetry(hex, CijklPosition(1, 1, 2, 2), 2);
  EXPECT_EQ(C(hex, 1, 1, 1, 1), 205);
  EXPECT_EQ(C(hex, 2, 2, 2, 2), 205);
  EXPECT_EQ(C(hex, 3, 3, 3, 3), 190);
  EXPECT_EQ(C(hex, 1, 1, 3, 3), 85);
  EXPECT_EQ(C(hex, 2, 2, 3, 3), 85);
  EXPECT_EQ(C(hex, 1, 3, 1, 3), 45);
  EXPECT_EQ(C(hex, 1, 2, 1, 2), 52.5L);  // (205 - 100)/2

  CijklVector iso = v;
  ProjectOnSymmetry(iso, CijklPosition(1, 2, 1, 2), 0);
  EXPECT_EQ(C(iso, 3, 3, 3, 3), 200);
  EXPECT_EQ(C(iso, 1, 1, 2, 2), 90);
  for (const int p :
       {CijklPosition(1, 2, 1, 2), CijklPosition(1, 3, 1, 3), CijklPosition(2, 3, 2, 3)})
    EXPECT_EQ(iso[p], 55);  // (200 - 90)/2
}

TEST(ProjectOnSymmetry, OffDiagonalPartnersFollowTheChangedComponent) {
  struct Case {
    const char* name;
    int c;
    CijklVector (*change)(CijklVector);  // sets the changed component, returns the vector
    int p;
    std::vector<std::pair<int, Real>> expected;
  };
  const int p1112 = CijklPosition(1, 1, 1, 2), p1113 = CijklPosition(1, 1, 1, 3),
            p1123 = CijklPosition(1, 1, 2, 3), p1223 = CijklPosition(1, 2, 2, 3);
  const Case cases[] = {
      {"tetragonal2 C16",
       4,
       [](CijklVector v) {
         C(v, 1, 1, 1, 2) = 7;
         return v;
       },
       p1112,
       {{CijklPosition(1, 2, 2, 2), -7}}},
      {"trigonal2 C15",
       6,
       [](CijklVector v) {
         C(v, 1, 1, 1, 3) = 3;
         return v;
       },
       p1113,
       {{CijklPosition(1, 3, 2, 2), -3}, {p1223, -3}}},
      {"trigonal1 C14",
       5,
       [](CijklVector v) {
         C(v, 1, 1, 2, 3) = 4;
         return v;
       },
       p1123,
       {{CijklPosition(2, 2, 2, 3), -4}, {CijklPosition(1, 2, 1, 3), 4}}},
      {"trigonal2 C14",
       6,
       [](CijklVector v) {
         C(v, 1, 1, 2, 3) = -5;
         return v;
       },
       p1123,
       {{CijklPosition(2, 2, 2, 3), 5}, {CijklPosition(1, 2, 1, 3), -5}}},
      {"trigonal2 C46",
       6,
       [](CijklVector v) {
         C(v, 1, 2, 2, 3) = 6;
         return v;
       },
       p1223,
       {{CijklPosition(1, 3, 2, 2), 6}}},
  };
  for (const Case& c : cases) {
    CijklVector v = c.change(CijklVector{});
    ProjectOnSymmetry(v, c.p, c.c);
    for (const auto& [position, value] : c.expected) EXPECT_EQ(v[position], value) << c.name;
  }
}

TEST(CompleteBySymmetry, Trigonal2TiesC15AndC14Partners) {
  Tensor4 t = ToTensor(Scrambled());
  CompleteBySymmetry(t, 6);
  EXPECT_NE(t(1, 1, 1, 3), 0);
  EXPECT_NE(t(1, 1, 2, 3), 0);
  EXPECT_EQ(t(1, 3, 2, 2), -t(1, 1, 1, 3));
  EXPECT_EQ(t(1, 2, 2, 3), -t(1, 1, 1, 3));
  EXPECT_EQ(t(2, 2, 2, 3), -t(1, 1, 2, 3));
  EXPECT_EQ(t(1, 2, 1, 3), t(1, 1, 2, 3));
}

TEST(CompleteBySymmetry, MonoclinicClassesKeepTheComponentsEvenInTheirAxisIndex) {
  const CijklVector input = Scrambled();
  struct Case {
    int c;
    std::vector<int> kept, cleared;
  };
  const Case cases[] = {
      // monoclinic1, twofold Y: C15, C46, C25, C35 stay.
      {8,
       {CijklPosition(1, 1, 1, 3), CijklPosition(1, 2, 2, 3), CijklPosition(1, 3, 2, 2),
        CijklPosition(1, 3, 3, 3)},
       {CijklPosition(1, 2, 1, 3), CijklPosition(1, 1, 1, 2)}},
      // monoclinic2 and the monoclinic sample, twofold Z: C16, C26, C36, C45 stay.
      {9,
       {CijklPosition(1, 1, 1, 2), CijklPosition(1, 2, 2, 2), CijklPosition(1, 2, 3, 3),
        CijklPosition(1, 3, 2, 3)},
       {CijklPosition(1, 2, 1, 3), CijklPosition(1, 1, 1, 3)}},
  };
  for (const Case& c : cases) {
    Tensor4 t = ToTensor(input);
    CompleteBySymmetry(t, c.c);
    CijklVector v{};
    core::TensorToCijkl(t, v);
    for (const int p : c.kept) EXPECT_EQ(v[p], input[p]) << "class " << c.c << " position " << p;
    for (const int p : c.cleared) EXPECT_EQ(v[p], 0) << "class " << c.c << " position " << p;
  }
}

TEST(SymmetryProjection, TriclinicChangesNothing) {
  const CijklVector input = Scrambled();
  for (int p = 1; p <= 21; ++p) {
    CijklVector v = input;
    ProjectOnSymmetry(v, p, 10);
    EXPECT_EQ(v, input) << p;
  }
  const Tensor4 t = ToTensor(input);
  Tensor4 completed = t;
  CompleteBySymmetry(completed, 10);
  EXPECT_EQ(completed, t);
}

}  // namespace
}  // namespace polydec::models
