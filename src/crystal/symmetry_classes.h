// The eleven crystal symmetry classes as the user enters elastic constants: which Voigt
// constants are typed freely, which follow from them, and which vanish.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/voigt.h"
#include "polydec/types.h"

namespace polydec::crystal {

// The crystal classes by their codes, as material files, fit inputs and the class box store them.
using polydec::CrystalClass;
using enum polydec::CrystalClass;

// "isotropic", "cubic", ..., "triclinic" at codes 0..10.
extern const std::array<std::string_view, 11> CrystalClassNames;
std::optional<CrystalClass> CrystalClassFromName(std::string_view name);

enum class ConstantRole { kFree, kDerived, kZero };

// How a derived constant C_IJ (I <= J) follows from the free ones: a copy of C_KL, its
// negative, or (C11 - C12) / 2. K, L are always a free constant of the class.
struct DerivedConstant {
  enum How { kCopy, kNegated, kHalfC11MinusC12 };
  int I, J;
  How how;
  int fromI, fromJ;
  // Whether a change of the free constant C_KL changes this one.
  bool DependsOn(int K, int L) const;
};

// Role of the Voigt constant C_IJ (I, J in 1..6) in class c.
ConstantRole RoleOf(CrystalClass c, int I, int J);
// Voigt names ("C11", ...) of the free constants of class c, in the order C11, C12, ... C66.
std::vector<std::string> FreeConstantNames(CrystalClass c);

// The derived constants of class c with their rules, in the order a form fills its boxes.
const std::vector<DerivedConstant>& DerivedConstants(CrystalClass c);

// Sets the derived constants of class c from the free ones and zeroes the vanishing ones.
void ApplyClassRules(core::CijklVector& v, CrystalClass c);

}  // namespace polydec::crystal
