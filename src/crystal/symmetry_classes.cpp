#include "crystal/symmetry_classes.h"

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

// Free and derived constants per class, as Voigt index pairs IJ written as two digits.
struct ClassTable {
  std::vector<int> free, derived;
};

const std::array<ClassTable, 11>& Tables() {
  static const std::array<ClassTable, 11> tables = {{
      {{11, 12}, {13, 22, 23, 33, 44, 55, 66}},
      {{11, 12, 44}, {13, 22, 23, 33, 55, 66}},
      {{11, 12, 13, 33, 44}, {22, 23, 55, 66}},
      {{11, 12, 13, 33, 44, 66}, {22, 23, 55}},
      {{11, 12, 13, 16, 33, 44, 66}, {22, 23, 26, 55}},
      {{11, 12, 13, 14, 33, 44}, {22, 23, 24, 55, 56, 66}},
      {{11, 12, 13, 14, 15, 33, 44}, {22, 23, 24, 25, 46, 55, 56, 66}},
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

ConstantRole RoleOf(CrystalClass c, int I, int J) {
  const ClassTable& t = Tables().at(c);
  if (Contains(t.free, I, J)) return ConstantRole::kFree;
  if (Contains(t.derived, I, J)) return ConstantRole::kDerived;
  return ConstantRole::kZero;
}

std::vector<std::string> FreeConstantNames(CrystalClass c) {
  std::vector<std::string> names;
  for (int key : Tables().at(c).free) names.push_back("C" + std::to_string(key));
  return names;
}

void ApplyClassRules(CijklVector& v, CrystalClass c) {
  auto at = [&v](int I, int J) -> Real& { return v[core::VoigtToPosition(I, J)]; };
  const Real half = (at(1, 1) - at(1, 2)) * 0.5L;
  switch (c) {
    case 0:
      at(2, 2) = at(3, 3) = at(1, 1);
      at(1, 3) = at(2, 3) = at(1, 2);
      at(4, 4) = at(5, 5) = at(6, 6) = half;
      break;
    case 1:
      at(2, 2) = at(3, 3) = at(1, 1);
      at(1, 3) = at(2, 3) = at(1, 2);
      at(5, 5) = at(6, 6) = at(4, 4);
      break;
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      at(2, 2) = at(1, 1);
      at(2, 3) = at(1, 3);
      at(5, 5) = at(4, 4);
      if (c == 2 || c == 5 || c == 6) at(6, 6) = half;
      if (c == 4) at(2, 6) = -at(1, 6);
      if (c == 5 || c == 6) {
        at(2, 4) = -at(1, 4);
        at(5, 6) = at(1, 4);
      }
      if (c == 6) {
        at(2, 5) = -at(1, 5);
        at(4, 6) = at(2, 5);
      }
      break;
    default:
      break;
  }
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J)
      if (RoleOf(c, I, J) == ConstantRole::kZero) at(I, J) = 0;
}

}  // namespace polydec::crystal
