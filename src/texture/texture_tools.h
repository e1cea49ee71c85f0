// Small tools around the ODF of a calculation context: a weighted compound of several ODFs (a
// multiphase or multi-sample texture), the symmetrically equivalent positions of one
// orientation with their ODF values, and the ideal texture components (cube, Goss, Copper,
// Brass, S, fibre points) that the grains along a diffraction fibre belong to.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/records.h"
#include "polydec/types.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

// The context's ODF := sum of weights[i] · odfs[i] / sum of weights, term by term in order.
// Refuses (returns the reason, leaves the ODF unchanged) when there is no ODF, a weight is not
// finite, the weights sum to zero, or an ODF holds fewer values than the context's ODFNUMP.
std::string CompoundODF(OrientationsRec& ctx, const std::vector<core::DataVector>& odfs,
                        const std::vector<Real>& weights);

// Every equivalent C_i g S_j of the orientation (degrees) under the crystal operators of the
// class code and the sample operators of the sample symmetry code (sample operators outer),
// one line each: the angles in degrees (6:1) and the ODF value (5:1; 1 without an ODF).
// Orthorhombic crystals (code 7) use the four orthorhombic rotations.
std::string SymmetryEquivalentsText(const OrientationsRec& ctx, CrystalClass crystalClass,
                                    SampleSymmetry sample, Real phi1, Real Phi, Real phi2);
// The 12 hexagonal equivalents of the orientation (255, 90, 90) degrees with their ODF values.
std::string HexagonalEquivalentsText(const OrientationsRec& ctx);

struct TextureComponent {
  const char* name;  // at most 6 characters
  Real phi1, phi, phi2;  // degrees
};
extern const std::array<TextureComponent, 16> TextureComponents;

// Which texture components lie within `window` degrees (in each Euler angle, without
// periodicity) of the orientations along the fibres of the 24 signed permutations of hkl in
// the sample direction (phi, psi) in degrees. Every lamda step of the fibre (2 pi / steps) is
// scanned. One line per match: lamda, the name (padded to 6), the equivalent's angles and its
// ODF value; a match that repeats any angle of the line before it for the same component is
// skipped. No header.
std::string TextureComponentsText(OrientationsRec& ctx, Real phi, Real psi, Real h, Real k, Real l,
                                  Real window, int steps);

}  // namespace polydec::texture
