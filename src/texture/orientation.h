// Orientation conventions of the texture subsystem: Bunge Euler angles and their rotation
// matrices, the fibre of one reflection in one measurement direction, the fixed tables of
// crystal and sample symmetry rotations, and the search for a symmetric equivalent in a region.
#pragma once

#include <array>
#include <span>

#include "core/types.h"
#include "polydec/types.h"

namespace polydec::texture {

using core::Real;

// Orientation matrix g of the Bunge angles (radians): v_crystal = g v_sample; its rows are the
// crystal axes in the sample frame.
core::Tensor2 EulerToMatrix(Real phi1, Real Phi, Real phi2);
// The same matrix from the cosines and sines of the three angles, for callers that build many
// matrices from few distinct angles (a grid of orientations).
struct EulerTrig {
  Real c1 = 1, s1 = 0, c = 1, s = 0, c2 = 1, s2 = 0;
};
core::Tensor2 EulerToMatrix(const EulerTrig& t);
// g^-1 (crystal to sample), by the general 3x3 inverse.
core::Tensor2 EulerToInverseMatrix(Real phi1, Real Phi, Real phi2);
// Angle of the vector (x, y) in (-pi, pi], except that the negative x axis gives -pi.
Real QuadrantArcTan(Real x, Real y);
// Bunge angles (radians) of an orientation matrix: phi1, phi2 in [0, 2pi), Phi in [0, pi].
// When Phi is 0 or pi (to 1e-6 relative) only phi1 +- phi2 is defined; it is returned as phi1
// with phi2 = 0.
core::EulerAnglesRec MatrixToEuler(const core::Tensor2& g);
// The angles of MatrixToEuler at a fraction of its cost, for the loops over thousands of
// orientations along fibres: the entries that fix the angles are taken in double precision and
// the arc tangents are the double ones, Phi = atan2(sqrt(g13^2 + g23^2), g33), phi2 =
// atan2(g13, g23), phi1 = atan2(g31, -g32) (near the poles phi1 = atan2(g12, g11)). The angles
// agree with MatrixToEuler's to about 1e-15 rad; the pole rule and the clean-up are the same.
struct AngleEntries {
  double g11, g12, g13, g23, g31, g32, g33;
};
struct EulerAnglesDouble {
  double phi1, phi, phi2;
};
EulerAnglesDouble FastMatrixToEuler(const AngleEntries& g);
// The orientation that brings the crystal direction (polar angle theta, azimuth beta) onto the
// sample direction (tilt psi, azimuth phi), turned by lamda about that common axis. Radians.
core::EulerAnglesRec FiberToEuler(Real psi, Real phi, Real theta, Real beta, Real lamda);

// A fixed table of rotations counted from 1; its order is part of the file formats that list
// equivalents, so it never changes.
struct OperatorTable {
  std::span<const core::Tensor2> entries;
  int Size() const { return static_cast<int>(entries.size()); }
  // Entry n in 1..Size(); any other n throws std::out_of_range.
  const core::Tensor2& operator()(int n) const;
};

OperatorTable CubicOperators();         // 24 proper rotations of the cube
OperatorTable HexagonalOperators();     // 12: six about Z, then six twofold axes normal to Z
OperatorTable TetragonalOperators();    // 8: four about Z, then four twofold axes normal to Z
OperatorTable OrthorhombicOperators();  // 4: identity and the twofold axes Z, X, Y
OperatorTable TwofoldZOperators();      // 2
OperatorTable TwofoldYOperators();      // 2

// Crystal symmetry C (acting from the left, g' = C g) of a crystal class code 0..10
// (CrystalData.SYS); other codes throw std::out_of_range.
OperatorTable CrystalOperators(CrystalClass sys);
// Sample symmetry S (acting from the right, g' = g S) of a sample symmetry code 0..10
// (OrientationsRec.SYMMETRY); other codes throw std::out_of_range.
OperatorTable SampleOperators(SampleSymmetry symmetry);

// Looks for the first equivalent C_i g S_j (sample operators outer, crystal operators inner,
// both in table order) whose angles lie within [0, b1] x [0, b2] x [0, b3] (all in degrees,
// with a tolerance of 1e-5 rad). Returns true and writes it to `result` when one is found;
// otherwise returns false and leaves `result` unchanged.
bool SymmetryEquivalentInRegion(CrystalClass sys, SampleSymmetry symmetry, Real phi1, Real Phi,
                                Real phi2, Real b1, Real b2, Real b3, core::EulerAnglesRec& result);

// The same search for the orientation given by its matrix.
bool SymmetryEquivalentInRegion(CrystalClass sys, SampleSymmetry symmetry, const core::Tensor2& g,
                                Real b1, Real b2, Real b3, core::EulerAnglesRec& result);
// Whether the angles (degrees) are multiples of `step` degrees to 1e-6 degrees: far below the
// grid, far above the rounding of the conversions that produce them.
bool OnGridNode(const core::EulerAnglesRec& e, Real step);

// The same search, preferring an equivalent on a node of the `step` grid (OnGridNode) to the
// first one found: a node of the grid has, among its equivalents in the
// region, nodes whose values are exactly its own, while the first equivalent in table order can
// lie between nodes (the threefold axes of a cube turn node orientations off the grid).
// step <= 0: the first equivalent, as above.
bool SymmetryEquivalentInRegion(CrystalClass sys, SampleSymmetry symmetry, const core::Tensor2& g,
                                Real b1, Real b2, Real b3, Real step, core::EulerAnglesRec& result);

// The search above prepared once for a symmetry pair, a region and a step, for callers that
// search many orientations or look at single candidates of it. Find gives exactly what
// SymmetryEquivalentInRegion gives; Test is its look at one candidate, so that a caller who
// skips candidates it knows cannot matter still decides the others as the search does.
class SymmetrySearch {
 public:
  SymmetrySearch(CrystalClass sys, SampleSymmetry symmetry, Real b1, Real b2, Real b3, Real step);
  const OperatorTable& Crystal() const { return crystal_; }
  const OperatorTable& Sample() const { return sample_; }
  // The region's bounds in radians, as the test compares them, and its tolerance.
  Real Bound(int axis) const { return bounds_[static_cast<std::size_t>(axis)]; }
  static constexpr Real kTolerance = 1e-5L;

  enum class Candidate { kOutside, kInRegion, kOnNode };
  // Candidate C_i g S_j, i and j counted from 0 in table order; when it lies in the region its
  // angles (degrees) are written to `degrees`, and kOnNode says they lie on a node of the step.
  Candidate Test(int j, int i, const core::Tensor2& g, core::EulerAnglesRec& degrees) const;
  bool Find(const core::Tensor2& g, core::EulerAnglesRec& result) const;

 private:
  // An upper bound on an angle in [0, 2pi) as a test on (cos, sin) times a positive length.
  struct SectorBound {
    bool active = false;
    Real sine = 0, cosine = 1;
    explicit SectorBound(Real bound);
    bool MayHold(Real x, Real y) const;
  };
  bool MayHold(const core::Tensor2& C, const core::Tensor2& g, const core::Tensor2& S) const;

  OperatorTable crystal_, sample_;
  std::array<Real, 3> bounds_;
  Real step_;
  SectorBound phi1_, phi2_;
  bool phiActive_;
  Real minimumG33_;
};

// The n-th (1..24) signed arrangement of h, k, l; other n throw std::out_of_range.
core::Tensor1 HKLPermutation(int n, Real h, Real k, Real l);

}  // namespace polydec::texture
