// Single-crystal anisotropy: Young's modulus and the linear compressibility along a crystal
// direction, their map over the directions in an equal-area projection with the extremes, and
// the anisotropy indices of the stiffness.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/records.h"

namespace polydec::special {

using core::Real;
using core::Tensor1;
using core::Tensor4;

// Young's modulus along the unit vector n: 1/(n_i n_j n_k n_l S_ijkl), S the compliance.
Real YoungsModulusAlong(const Tensor4& S, const Tensor1& n);
// The linear compressibility along n, the strain along n per unit hydrostatic pressure:
// n_i n_j S_ijkk.
Real LinearCompressibilityAlong(const Tensor4& S, const Tensor1& n);

// The Lambert azimuthal equal-area projection of the upper hemisphere onto the unit disc (the
// equator on the rim, equal areas of directions cover equal areas of the disc): the direction
// of the point (x, y), x² + y² <= 1, and the point of a direction with n3 >= 0.
Tensor1 EqualAreaDirection(Real x, Real y);
void EqualAreaPoint(const Tensor1& n, Real& x, Real& y);

// n, or -n when n points below the equator (beyond rounding): both quantities are even in n, and
// the map shows the upper hemisphere.
Tensor1 UpperHemisphere(const Tensor1& n);

enum class DirectionalQuantity { kYoungsModulus, kLinearCompressibility };

struct DirectionalMark {
  std::string label;  // "[1 1 0]"
  Real x = 0, y = 0;  // in the equal-area disc
};

struct DirectionalMap {
  int size = 0;  // cells per side of the square around the disc
  // size x size values at the cell centres, row 0 at the top (y = +1), NaN outside the disc.
  std::vector<Real> values;
  Real minimum = 0, maximum = 0;
  Tensor1 minimumDirection, maximumDirection;  // unit vectors, crystal Cartesian frame
  std::vector<DirectionalMark> marks;          // the low-index lattice directions
};

// The quantity over every direction (S the compliance in the Cartesian frame of the cell C,
// whose BMatrix holds the components of a, b, c in that frame, as LatticeFrame gives them). The extremes are searched beyond the grid: the lattice directions of
// indices up to 3 are evaluated exactly and the best cells refined, so a maximum along [111]
// is the value along [111].
DirectionalMap MapDirections(const Tensor4& S, const core::CrystalData& C, DirectionalQuantity q,
                             int size);

// Anisotropy indices of a stiffness C and its compliance S: the universal index
// A_U = 5 G_V/G_R + K_V/K_R - 6 (Ranganathan and Ostoja-Starzewski 2008; 0 for an isotropic
// crystal), and for a cubic one Zener's ratio 2 C44/(C11 - C12).
Real UniversalAnisotropy(const Tensor4& C, const Tensor4& S);
Real ZenerRatio(const Tensor4& C);

}  // namespace polydec::special
