// The numbers and choices every part of the public API shares: the 80-bit real, the crystal
// symmetry classes, the sample symmetries and the grain-interaction models. The codes are the
// ones material files, worksheets, grains files and fit inputs store.
#pragma once

#include <array>
#include <limits>

namespace polydec {

// Every real quantity is x87 extended precision; results that users publish depend on it.
using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64,
              "polydec needs the 80-bit x87 long double (64-bit mantissa)");

// The eleven crystal classes as the user enters elastic constants.
enum CrystalClass : int {
  kIsotropicClass = 0,
  kCubic = 1,
  kHexagonal = 2,
  kTetragonal1 = 3,
  kTetragonal2 = 4,
  kTrigonal1 = 5,
  kTrigonal2 = 6,
  kOrthorhombicClass = 7,
  kMonoclinic1 = 8,
  kMonoclinic2 = 9,
  kTriclinicClass = 10,
};

// Which rotations of the sample leave its texture unchanged. The codes share their numbers with
// the crystal classes whose elastic forms these symmetries leave (isotropic, transversely
// isotropic like hexagonal, orthorhombic, monoclinic with the twofold axis along y or z,
// triclinic).
enum SampleSymmetry : int {
  kIsotropicSample = 0,
  kTransversalSample = 2,
  kOrthorhombicSample = 7,
  kMonoclinicSampleY = 8,
  kMonoclinicSampleZ = 9,
  kTriclinicSample = 10,
};

// The grain-interaction models. 7, 8 and 9 are further forms of the fibre average (the
// self-consistent estimate through the stiffness, the inverse one through the compliance, and
// the plain rotated crystal compliance); 5 and 12 name no model this program computes.
enum ModelCode : int {
  kVoigt = 0,
  kMVoigt = 1,
  kReuss = 2,
  kKroener = 3,
  kInverseKroener = 4,
  kUnassigned5 = 5,
  kHill = 6,
  kKroenerStiffnessForm = 7,
  kInverseKroenerComplianceForm = 8,
  kRotatedCompliance = 9,
  kVookWitt = 12,
};

// A reflection h k l (three Miller indices; hexagonal four-index input is turned into these by
// the readers).
using Miller = std::array<Real, 3>;

}  // namespace polydec
