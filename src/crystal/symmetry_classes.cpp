#include "crystal/symmetry_classes.h"

#include <algorithm>
#include <utility>

namespace polydec::crystal {

using core::CijklVector;
using core::Real;

const std::array<std::string_view, 11> CrystalClassNames = {
    "isotropic", "cubic",        "hexagonal",   "tetragonal1", "tetragonal2", "trigonal1",
    "trigonal2", "orthorhombic", "monoclinic1", "monoclinic2", "triclinic"};

std::optional<CrystalClass> CrystalClassFromName(std::string_view name) {
  for (int c = 0; c < 11; ++c)
    if (CrystalClassNames[c] == name) return static_cast<polydec::CrystalClass>(c);
  return std::nullopt;
}

namespace {

constexpr DerivedConstant Copy(int I, int J, int K, int L) {
  return {I, J, DerivedConstant::kCopy, K, L};
}
constexpr DerivedConstant Negated(int I, int J, int K, int L) {
  return {I, J, DerivedConstant::kNegated, K, L};
}
// C_IJ = (C11 - C12) / 2: the shear modulus a transversely isotropic plane has.
constexpr DerivedConstant HalfDifference(int I, int J) {
  return {I, J, DerivedConstant::kHalfC11MinusC12, 1, 1};
}

// The free constants of each class as Voigt index pairs IJ written as two digits, and how the
// derived ones follow from the free ones (never from another derived one, so one pass sets
// them all).
struct ClassTable {
  std::vector<int> free;
  std::vector<DerivedConstant> derived;
};

const std::array<ClassTable, 11>& Tables() {
  static const std::array<ClassTable, 11> tables = {{
      {{11, 12},
       {Copy(2, 2, 1, 1), Copy(3, 3, 1, 1), Copy(1, 3, 1, 2), Copy(2, 3, 1, 2),
        HalfDifference(6, 6), HalfDifference(4, 4), HalfDifference(5, 5)}},
      {{11, 12, 44},
       {Copy(2, 2, 1, 1), Copy(3, 3, 1, 1), Copy(2, 3, 1, 2), Copy(1, 3, 1, 2), Copy(5, 5, 4, 4),
        Copy(6, 6, 4, 4)}},
      {{11, 12, 13, 33, 44},
       {Copy(2, 2, 1, 1), HalfDifference(6, 6), Copy(2, 3, 1, 3), Copy(5, 5, 4, 4)}},
      {{11, 12, 13, 33, 44, 66}, {Copy(2, 2, 1, 1), Copy(2, 3, 1, 3), Copy(5, 5, 4, 4)}},
      {{11, 12, 13, 16, 33, 44, 66},
       {Copy(2, 2, 1, 1), Copy(2, 3, 1, 3), Copy(5, 5, 4, 4), Negated(2, 6, 1, 6)}},
      {{11, 12, 13, 14, 33, 44},
       {Copy(2, 2, 1, 1), HalfDifference(6, 6), Copy(2, 3, 1, 3), Copy(5, 5, 4, 4),
        Negated(2, 4, 1, 4), Copy(5, 6, 1, 4)}},
      {{11, 12, 13, 14, 15, 33, 44},
       {Copy(2, 2, 1, 1), HalfDifference(6, 6), Copy(2, 3, 1, 3), Copy(5, 5, 4, 4),
        Negated(2, 4, 1, 4), Copy(5, 6, 1, 4), Negated(2, 5, 1, 5), Negated(4, 6, 1, 5)}},
      {{11, 12, 13, 22, 23, 33, 44, 55, 66}, {}},
      {{11, 12, 13, 15, 22, 23, 25, 33, 35, 44, 46, 55, 66}, {}},
      {{11, 12, 13, 16, 22, 23, 26, 33, 36, 44, 45, 55, 66}, {}},
      {{11, 12, 13, 14, 15, 16, 22, 23, 24, 25, 26, 33, 34, 35, 36, 44, 45, 46, 55, 56, 66}, {}},
  }};
  return tables;
}

bool Contains(const std::vector<int>& list, int I, int J) {
  const int key = 10 * std::min(I, J) + std::max(I, J);
  for (int k : list)
    if (k == key) return true;
  return false;
}

}  // namespace

bool DerivedConstant::DependsOn(int K, int L) const {
  if (K > L) std::swap(K, L);
  if (how == kHalfC11MinusC12) return K == 1 && (L == 1 || L == 2);
  return K == fromI && L == fromJ;
}

ConstantRole RoleOf(CrystalClass c, int I, int J) {
  const ClassTable& t = Tables().at(c);
  if (Contains(t.free, I, J)) return ConstantRole::kFree;
  if (I > J) std::swap(I, J);
  for (const DerivedConstant& d : t.derived)
    if (d.I == I && d.J == J) return ConstantRole::kDerived;
  return ConstantRole::kZero;
}

const std::vector<DerivedConstant>& DerivedConstants(CrystalClass c) {
  return Tables().at(c).derived;
}

std::vector<std::string> FreeConstantNames(CrystalClass c) {
  std::vector<std::string> names;
  for (int key : Tables().at(c).free) names.push_back("C" + std::to_string(key));
  return names;
}

void ApplyClassRules(CijklVector& v, CrystalClass c) {
  auto at = [&v](int I, int J) -> Real& { return v[core::VoigtToPosition(I, J)]; };
  const Real half = (at(1, 1) - at(1, 2)) * 0.5L;
  for (const DerivedConstant& d : DerivedConstants(c)) {
    switch (d.how) {
      case DerivedConstant::kCopy: at(d.I, d.J) = at(d.fromI, d.fromJ); break;
      case DerivedConstant::kNegated: at(d.I, d.J) = -at(d.fromI, d.fromJ); break;
      case DerivedConstant::kHalfC11MinusC12: at(d.I, d.J) = half; break;
    }
  }
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J)
      if (RoleOf(c, I, J) == ConstantRole::kZero) at(I, J) = 0;
}

}  // namespace polydec::crystal
