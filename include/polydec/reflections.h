// Choosing reflections: every distinct reflection of a phase up to a largest index, with its
// spacing, Bragg angle, multiplicity, the orientation parameter the DECs depend on, and s1,
// 1/2 s2, the diffraction Young's modulus and Poisson's ratio under each untextured model.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "polydec/dec.h"
#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/types.h"

namespace polydec {

struct ReflectionTableOptions {
  int maxIndex = 4;         // largest |index| (h k i l for hexagonal and trigonal phases)
  Real wavelength = 1.5406;  // Angstrom (Cu K-alpha1)
  GrainShape grainShape;
  int axisSetting = 1;  // Cartesian frame of the crystal, as DecOptions
  // Needed when the grain is not a sphere (DecDependsOnDirection): the measurement direction
  // (phi, psi in degrees) the Kroener constants are for.
  std::optional<std::array<Real, 2>> direction;
};

// The models of the table, in its column order: Voigt, Reuss, Hill, Kroener, inverse Kroener.
inline constexpr std::array<ModelCode, 5> kReflectionTableModels = {kVoigt, kReuss, kHill,
                                                                     kKroener, kInverseKroener};

struct ReflectionModelDec {
  ModelCode model = kVoigt;
  Real s1 = 0, halfS2 = 0;  // 1e-6/MPa
  // The diffraction Young's modulus 1/(s1 + 1/2 s2) (GPa) and Poisson's ratio -s1 E.
  Real E = 0, nu = 0;
};

struct ReflectionRow {
  Miller hkl{};       // the family's representative
  int multiplicity = 0;
  Real d = 0;         // Angstrom
  // 2 theta in degrees; empty when the wavelength exceeds 2d (no Bragg reflection).
  std::optional<Real> twoTheta;
  // 3 Gamma = 3 (n1² n2² + n2² n3² + n3² n1²) of the unit plane normal n in the crystal's
  // Cartesian frame: for a cubic crystal 3 (h²k² + k²l² + l²h²)/(h² + k² + l²)², the variable
  // in which the cubic Reuss 1/2 s2 is a straight line.
  Real gamma3 = 0;
  // The angle between the plane normal and the c axis, degrees in [0, 90]: the variable of
  // hexagonal, trigonal and tetragonal DECs.
  Real angleToC = 0;
  std::array<ReflectionModelDec, kReflectionTableModels.size()> models{};
};

struct ReflectionTable {
  // True when the cubic parameter 3 Gamma orders the DECs (cubic and isotropic phases), false
  // when the angle to c does.
  bool orientationIsGamma = true;
  std::vector<ReflectionRow> rows;  // decreasing d
  // The number of reflections listed with their equivalents: the sum of the multiplicities.
  int reflectionCount = 0;
};

// Every reflection family up to options.maxIndex, merged by the Laue group of the phase's
// crystal class (every lattice plane listed: no systematic absence is assumed).
Result<ReflectionTable> ComputeReflectionTable(const Phase& phase,
                                               const ReflectionTableOptions& options = {});

// The prefix of a model's columns in tables (CSV, data frames): "voigt", "reuss", "hill",
// "kroener", "inverse_kroener".
std::string ReflectionColumnPrefix(ModelCode model);

// "h k l", or "h k i l" for hexagonal and trigonal phases.
std::string MillerText(const Miller& hkl, CrystalClass crystalClass);

}  // namespace polydec
