// The expanded ODF grid of the calculation context: 5-degree nodes over the whole Euler space,
// the node index, lookup by trilinear interpolation and by nearest node, the integral over
// orientation space, and the 96 cubic-orthorhombic equivalents of an orientation.
#pragma once

#include <optional>

#include "core/records.h"

namespace polydec::texture {

using core::Int;
using core::OrientationsRec;
using core::Real;

inline constexpr Int kODFStep = 5;  // degrees between nodes in every angle
inline constexpr Int kPhi1Nodes = 73, kPhiNodes = 37, kPhi2Nodes = 73;
inline constexpr Int kODFSectionSize = kPhiNodes * kPhi2Nodes;      // 2701 nodes per phi1 section
inline constexpr Int kODFNodeCount = kPhi1Nodes * kODFSectionSize;  // 197173
// The arrays hold one spare slot beyond the last node.
inline constexpr Int kODFArrayLength = kODFNodeCount + 1;

// phi2 runs fastest, then Phi, then phi1; both ends 0 and 360 of phi1 and phi2 are nodes.
constexpr Int ODFNodeIndex(Int i1, Int i, Int i2) {
  return i1 * kODFSectionSize + i * kPhi2Nodes + i2;
}

// Gives ODF, phi1, phi, phi2 kODFArrayLength entries: entries already held keep their values,
// added ones are 0.
void SizeODFArrays(OrientationsRec& ctx);
// True when the four arrays hold every node.
bool HasODFGrid(const OrientationsRec& ctx);
// Records the grid angles 5·i1, 5·i, 5·i2 (degrees) of every node; values are not touched.
void SetODFGridAngles(OrientationsRec& ctx);

// ODF value at an orientation (radians): 1 when no ODF is in use, otherwise the trilinear
// interpolation on the expanded grid with the stored node angles. Angles are expected in
// [0, 2pi] x [0, pi] x [0, 2pi] as MatrixToEuler gives them; a negative or NaN angle, or a grid
// that is not set up, throws std::out_of_range.
Real ODFValue(const OrientationsRec& ctx, Real phi1, Real Phi, Real phi2);
// The same lookup for angles held in double, as the fibre paths compute them; passing them in
// registers spares the extended copies that cost as much as the arithmetic there.
Real ODFValueOfDoubles(const OrientationsRec& ctx, double phi1, double Phi, double phi2);

// The interpolation of ODFValue at angles in degrees, without the UseODF gate and without the
// guards at the ends of the loaded region: the readers use it on the grid they are filling,
// before the ODF is switched on and before its region is recorded. Angles at or beyond the
// upper ends of Euler space are taken just below them.
Real InterpolateODF(const OrientationsRec& ctx, Real a1, Real a, Real a2);

// Nearest-node index of angles in degrees, wrapped once into Euler space (a negative angle
// gains a period, an excess one loses it); each term round(a1/5·2701), round(a/5·73),
// round(a2/5) is rounded as a whole, ties to even. Empty when the angles lie outside the grid
// even after the wrap, or are not numbers.
std::optional<Int> ODFGridIndex(Real a1, Real a, Real a2);
// Value of the node of ODFGridIndex (degrees, normally multiples of 5) of the context's grid;
// angles outside the grid throw std::out_of_range.
Real ODFGridValue(const OrientationsRec& ctx, Real a1, Real a, Real a2);

// ∫ f(g) sin Phi dphi1 dPhi dphi2 over the whole Euler space by nested composite Simpson rules
// with 2n intervals on each axis (phi1 outer, phi2 inner). 8π² for f = 1, up to the Simpson
// error of ∫ sin Phi dPhi. With squared, the integral of f², from which the texture index
// J = 8π² ∫f² / (∫f)² follows (1 for a uniform ODF). n < 1 throws std::invalid_argument.
Real ODFIntegral(const OrientationsRec& ctx, int n, bool squared = false);
// ∫f and ∫f² (as ODFIntegral gives each) in one pass over the grid.
struct ODFMoments {
  Real integral = 0, squared = 0;
};
ODFMoments ODFIntegrals(const OrientationsRec& ctx, int n);
// Sums of moments, as the integration rules form them.
ODFMoments operator+(const ODFMoments& x, const ODFMoments& y);
ODFMoments& operator+=(ODFMoments& x, const ODFMoments& y);
ODFMoments operator*(Real c, const ODFMoments& x);
ODFMoments operator*(const ODFMoments& x, Real c);
ODFMoments operator/(const ODFMoments& x, Real c);
// The texture index J = 8π² ∫f² / (∫f)²; 1 when the integral is not positive.
Real TextureIndex(const ODFMoments& m);

// The least and the largest value of the nodes of the expanded grid.
struct ODFValueRange {
  Real minimum = 0, maximum = 0;
};
ODFValueRange ODFRange(const OrientationsRec& ctx);

struct CubeOrthEquivalentRec {
  Real phi1 = 0, phi = 0, phi2 = 0;  // degrees
  Real value = 0;                    // ODFValue at that orientation
};
// The n-th (1..96) equivalent C_i g S_j of an orientation (degrees) under cubic crystal and
// orthorhombic sample symmetry: i = n mod 24 (0 read as 24), j = ceil(n/24). n outside 1..96
// throws std::out_of_range.
CubeOrthEquivalentRec CubeOrthEquivalent(const OrientationsRec& ctx, int n, Real phi1, Real Phi,
                                         Real phi2);

}  // namespace polydec::texture
