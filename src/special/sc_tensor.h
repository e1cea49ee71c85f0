// The single-crystal stiffness expressed in a sample frame given by two crystal directions and
// a turn about the crystal z axis, optionally averaged about the sample z axis into a
// transversely isotropic tensor (a fibre texture about z).
#pragma once

#include <string>

#include "core/records.h"

namespace polydec::special {

using core::Real;
using core::Tensor1;
using core::Tensor2;
using core::Tensor4;

// Columns x/|x|, (z x x)/(|x| |z|), z/|z|: the sample axes in crystal Cartesian components. The
// middle column is a unit vector only when x is perpendicular to z.
Tensor2 FrameFromDirections(const Tensor1& x, const Tensor1& z);

// Replaces T by its exact average over all rotations about the z axis. The average of a
// rotated fourth-rank tensor is a trigonometric polynomial of degree 4 in the angle, so the
// mean over 8 equally spaced turns is exact (to rounding).
void AverageAboutZ(Tensor4& T);

struct SCTensorInputs {
  Tensor4 Lr;                     // single-crystal stiffness, crystal Cartesian frame
  core::CrystalData cell;         // set up by InitCrystal
  Real turnDegrees = 0;           // rotation about the crystal z axis
  Tensor1 xDirection{{1, 0, 0}};  // <uvw> along sample x
  Tensor1 zDirection{{0, 0, 1}};  // [hkl] along sample z, taken as a direction as well
  bool transverselyIsotropic = false;
};

// The tensor in the sample frame, or a refusal: a zero direction, or x and z not
// perpendicular (within 1e-6 rad), which would give a frame that is no rotation and a tensor
// that is not the crystal's in any frame.
struct SCTensorResult {
  std::string error;  // empty on success
  Tensor4 C;
};
SCTensorResult SingleCrystalTensorInFrame(const SCTensorInputs& in);

}  // namespace polydec::special
