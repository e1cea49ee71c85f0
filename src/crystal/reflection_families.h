// The distinct reflections of a phase up to a largest index: every h k l of the box, merged
// into families of reflections that the crystal's Laue group maps onto each other, with their
// multiplicities. Systematic absences belong to the space group, which a phase here does not
// carry, so every lattice plane is listed.
#pragma once

#include <array>
#include <vector>

#include "core/records.h"
#include "polydec/types.h"

namespace polydec::crystal {

using IntMiller = std::array<int, 3>;
// An operation of the Laue group on Miller indices: h' = M h.
using IndexOperator = std::array<std::array<int, 3>, 3>;

// The Laue group of class c acting on the indices of the cell C (C set up by InitCrystal):
// the rotations the class's elastic form keeps (written in the crystal Cartesian frame of
// C.AxisSetting, LatticeFrame), with the inversion, restricted to those that map the lattice onto itself. A
// cell the class does not fit (a hexagonal class on a rhombohedral cell) keeps fewer operations
// and splits families rather than merging planes of different spacing. An isotropic phase
// merges by the symmetry of its lattice.
std::vector<IndexOperator> LaueIndexOperators(const core::CrystalData& C, CrystalClass c);

struct ReflectionFamily {
  IntMiller hkl{};           // the representative: smallest indices, fewest negative ones
  std::vector<IntMiller> members;  // every equivalent reflection, the representative first
  int multiplicity() const { return static_cast<int>(members.size()); }
};

// Every reflection whose largest index magnitude is at most maxIndex (for hexagonal and
// trigonal classes the four Miller-Bravais indices h k i l count), with the equivalents of each,
// merged into families. Families come in the order of decreasing lattice spacing, equal spacings
// by their representatives. maxIndex must be positive.
std::vector<ReflectionFamily> ListReflectionFamilies(const core::CrystalData& C, CrystalClass c,
                                                     int maxIndex);

}  // namespace polydec::crystal
