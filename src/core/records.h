// Records shared by every subsystem: the unit cell, a weighted grain set, a fibre profile
// and the calculation context that every engine operation reads and writes.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/types.h"
#include "polydec/types.h"

namespace polydec::core {

// Sample symmetry codes, as the sample-symmetry box and ODF files imply them.
using polydec::SampleSymmetry;
using enum polydec::SampleSymmetry;

// Unit cell and the lattice derived from it. Angles in radians.
struct CrystalData {
  Real a = 1, b = 1, c = 1;
  Real alpha = kPi / 2, beta = kPi / 2, gamma = kPi / 2;
  Tensor1 ra_vec, rb_vec, rc_vec;  // reciprocal basis in direct-basis components
  Tensor2 BMatrix;                 // Cartesian components of a, b, c (columns)
  Tensor2 g;                       // direct metric tensor
  Tensor2 f;                       // reciprocal metric tensor, g^-1
  polydec::CrystalClass SYS = polydec::kIsotropicClass;  // crystal symmetry class
  Int AxisSetting = 0;             // alignment of the crystal Cartesian frame, 0..2
};

// Weighted grain orientations (Euler angles in radians); the last six columns are sized with
// the first four but carry no data.
struct GrainOrientations {
  DataVector phi1, phi, phi2, weight;
  DataVector Ephi1, Ephi, Ephi2, a, b, c;
};

// ODF values along a diffraction fibre and their integral.
struct HKLODFRec {
  DataVector ODF;
  Real Integral = 0;
};

// The calculation context. Angles in radians, stiffnesses in GPa, compliances in 1/GPa.
struct OrientationsRec {
  PolarAnglesRec CrystPolAngles;   // plane normal of hkl in the crystal frame
  PolarAnglesRec SamplePolAngles;  // measurement direction in the sample frame
  GrainOrientations GOrient;
  Tensor4 L;     // macroscopic (matrix) stiffness
  Tensor4 Lr;    // single-crystal stiffness, crystal frame
  Tensor4 Mr;    // single-crystal compliance
  Tensor4 M;     // macroscopic compliance
  Tensor4 W;     // inverse Eshelby tensor
  Tensor4 S;     // Eshelby tensor of the grain shape
  Tensor4 P;     // polarization tensor, S = P:L
  Tensor4 Q;     // L:(I - S)
  FloatVec a{};  // scratch 21-component vector
  EllipsoidAxisLength AxisLength;
  EulerAngles EllipsoidOrient;
  hklarray hkl;
  Real E = 0, nu = 0, K = 0, G = 0;
  Real s1 = 0, s2 = 0;  // s1 and 1/2 s2 of the reflection
  Real OrientationDistance = 0;
  bool AlwaysUpdateEshelby = false;
  bool UseGrains = false;
  std::string Name;
  CrystalData Cryst;
  std::array<std::string, 4> Reference;  // entries 1..3 used
  polydec::SampleSymmetry SYMMETRY = polydec::kIsotropicSample;  // sample symmetry
  Int IntegralMode = 0;
  Int InvSym = 11;
  Int ndata = 0;
  Int IIntervls = 0;
  Int Iter = 0;
  Int error = 0;
  Int HKLODFNUMP = 0;
  std::array<Real, 5> ODFWeight{};
  Int ODFNUMP = 0;  // number of ODF values held; 0 = no ODF
  DataVector phi1, phi, phi2, ODF, TaylorFactor;
  Int ODFn_phi1 = 0, ODFn_phi = 0, ODFn_phi2 = 0;
  std::array<DataVector, 5> SingleODFs;
  HKLODFRec HKLODF;
  bool UseODF = false;
  Real dphi1 = 0, dphi = 0, dphi2 = 0, maxphi1 = 0, maxphi = 0, maxphi2 = 0;
};

using Orientations = std::unique_ptr<OrientationsRec>;
using ORTN_Array = std::vector<Orientations>;

}  // namespace polydec::core
