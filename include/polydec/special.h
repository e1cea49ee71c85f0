// Special functions: the single-crystal stiffness in a frame of crystal directions, and for
// body-centred cubic crystals ({110}<111> slip) the rate-sensitive Taylor factor, the largest
// Schmid factors in a self-consistent matrix, the elongation of a grain in single slip, and
// twin fractions from an ODF.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/texture.h"
#include "polydec/types.h"

namespace polydec {

// A sample frame in crystal directions: <u v w> along sample x, [h k l] along sample z (taken
// as a direction too; the two must be perpendicular), turned about the crystal z axis.
struct CrystalFrame {
  std::array<Real, 3> x{1, 0, 0};
  std::array<Real, 3> z{0, 0, 1};
  Real turnDegrees = 0;
  bool transverse = false;  // averaged about sample z (a fibre texture about z)
};

// The phase's single-crystal stiffness (GPa, Voigt notation) in that frame.
Result<Matrix6> StiffnessInFrame(const Phase& phase, const CrystalFrame& frame);

// Bunge Euler angles in degrees.
struct EulerAngles {
  Real phi1 = 0, Phi = 0, phi2 = 0;
};

// The rate-sensitive Taylor factor (rate exponent 65) of a BCC crystal under tension along
// sample x, the strain rate diag(1, -ratio, -(1 - ratio)); the contraction ratio is searched
// for the least factor unless held.
struct TaylorFactor {
  Real factor = 0;
  Real ratio = 0;
};
Result<TaylorFactor> ComputeTaylorFactor(const EulerAngles& orientation,
                                         std::optional<Real> heldRatio = std::nullopt);

// The largest resolved shear stress per unit tension sigma11 and its system (1..12), for the
// grain stress of the Kroener and of the inverse Kroener model, the grain embedded in the
// phase's matrix (E, nu; WithSelfConsistentMatrix makes it the crystal's own aggregate).
struct SchmidFactor {
  Real value = 0;
  int system = 0;
};
struct SchmidFactors {
  SchmidFactor kroener, inverseKroener;
};
Result<SchmidFactors> ComputeSchmidFactors(const Phase& phase, const EulerAngles& orientation);

// Single slip under sigma11 = 1 in steps of shear 0.001 until the strain E11 reaches 0.05.
struct GrainElongation {
  EulerAngles final;
  Real e11 = 0, e22 = 0, e33 = 0;
  int steps = 0;
  bool limitReached = false;  // 0.05 was not reached within the step limit
};
Result<GrainElongation> ComputeGrainElongation(const EulerAngles& orientation);

// A twin task: crystals with the plane normal hkl inside a window of sample directions
// (phi from..to, psi from..to, degrees), twinned on a habit plane (a half turn about its
// normal).
struct TwinTask {
  Miller hkl{};
  std::array<Real, 3> habitPlane{};
  std::array<Real, 3> shearDirection{};
  Real phiFrom = 0, phiTo = 0, psiFrom = 0, psiTo = 0;
};
struct TwinFractions {
  Real twinAngle = 0;     // degrees
  Real fraction = 0;      // volume fraction of the crystals in the window
  Real twinFraction = 0;  // the fraction their twins hold
};
// The texture must hold an ODF of the phase's crystal.
Result<TwinFractions> ComputeTwinFractions(const Texture& texture, const TwinTask& task);

}  // namespace polydec
