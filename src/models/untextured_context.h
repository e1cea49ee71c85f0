// Building the calculation context of an untextured polycrystal from plain inputs: the
// single-crystal constants, the cell and reflection, an isotropic matrix given by Young's
// modulus and Poisson's ratio, and the grain shape. The window's "Isotropic" page and the
// command line both build their contexts here.
#pragma once

#include <string>

#include "core/records.h"
#include "core/voigt.h"
#include "polydec/types.h"

namespace polydec::models {

// Isotropic stiffness from E and nu: c11 = (1 - nu) E / (1 - 2 nu) / (1 + nu),
// c12 = nu E / (1 - 2 nu) / (1 + nu), c44 = (c11 - c12) / 2.
core::CijklVector IsotropicStiffness(core::Real E, core::Real nu);

// Eshelby tensor of a sphere in an isotropic matrix of Poisson's ratio nu.
core::Tensor4 SphereEshelbyFromNu(core::Real nu);

struct UntexturedInputs {
  core::CijklVector cij{};                     // single-crystal stiffness, GPa, 21-component order
  CrystalClass crystalClass = kCubic;
  core::Real cell[6] = {1, 1, 1, 90, 90, 90};  // a, b, c, alpha, beta, gamma (degrees)
  int axisSetting = 1;                         // Cartesian frame of the crystal, 0..2
  core::Real hkl[3] = {2, 1, 1};
  core::Real E = 0, nu = 0;  // isotropic matrix
  core::EllipsoidAxisLength grainShape;
  SampleSymmetry sampleSymmetry = kIsotropicSample;  // symmetry class of the matrix
};

// Checks the inputs and fills ctx: Lr, Mr, cell and frame, hkl and its polar angles, L and M
// from E and nu, and the grain-shape tensors (closed form for a sphere in an isotropic
// sample, otherwise integrated). Returns an empty text, or a message naming what is wrong
// (then ctx is not to be used).
std::string BuildUntexturedContext(const UntexturedInputs& in, core::OrientationsRec& ctx);

// The sample-symmetry class whose component list and completion rules cover a matrix of
// crystal class c when its Eshelby tensor is integrated: 0 isotropic, 2 hexagonal, 7 for the
// cubic, tetragonal1 and orthorhombic forms, 8 for monoclinic1 (C15, C25, C35, C46), 9 for
// tetragonal2 and monoclinic2 (C16, C26, C36, C45), 10 for the trigonal forms and triclinic.
SampleSymmetry MatrixSymmetryClass(CrystalClass c);

}  // namespace polydec::models
