// Twin fractions from an ODF: the volume fraction of crystals whose plane normal hkl lies in a
// window of sample directions, and the fraction held by the twins of those crystals for a
// given twinning (habit) plane, each twin being the crystal turned by 180 degrees about the
// habit plane normal.
#pragma once

#include <optional>
#include <string>

#include "core/input_error.h"
#include "core/records.h"

namespace polydec::special {

using core::Real;
using core::Tensor1;
using core::Tensor2;

// Rotation by angle x (radians) about the unit axis u, in the matrix form used for orientation
// matrices (v_crystal = g v_sample): M = cos x I + (1 - cos x) u u - sin x [u]x.
Tensor2 AxisRotationMatrix(const Tensor1& u, Real x);

struct TwinOrientationResult {
  Tensor2 g;       // R g, R the half turn about the habit plane normal
  Real angle = 0;  // angle between the crystal z axis and its image under R, radians
};
TwinOrientationResult TwinOrientation(const core::CrystalData& lattice, const Tensor1& habitPlane,
                                      const Tensor2& g);

// One row of the twin table: column 1 "phi psi h k l", column 2 habit plane and shear
// direction (three numbers each), column 3 the window "phi_start phi_end psi_start psi_end"
// (degrees). Words are split at blanks and commas.
struct TwinTask {
  Real phi = 0, psi = 0;
  Tensor1 hkl;
  Tensor1 habitPlane, shearDirection;
  Real window[4] = {0, 0, 0, 0};
};
// The task of one row, or where the first word that is no number stands (line = the row,
// column = the table column, field = its header).
struct TwinTaskRead {
  std::optional<TwinTask> task;
  core::InputError error;
};
TwinTaskRead ReadTwinTask(const std::string& col1, const std::string& col2, const std::string& col3,
                          int row);

struct TwinFractionResult {
  Real twinAngle = 0;         // degrees
  bool hasFractions = false;  // false without an ODF: the fractions are not defined
  Real fraction = 0;          // crystals with hkl in the window
  Real twinFraction = 0;      // their twins
};
// Sums the ODF over the window in 5-degree steps of phi, psi and of the turn about the plane
// normal (0..180 degrees). ctx supplies the lattice (Cryst) and the ODF (UseODF and the grid).
TwinFractionResult TwinFractions(const core::OrientationsRec& ctx, const TwinTask& task);

// True when ctx holds an ODF to weight with.
bool HasODF(const core::OrientationsRec& ctx);

}  // namespace polydec::special
