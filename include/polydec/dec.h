// Diffraction elastic constants s1 and 1/2 s2 of reflections of an untextured polycrystal
// under a grain-interaction model, with spherical or ellipsoidal grains.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/types.h"

namespace polydec {

// Semi-axes of the grain ellipsoid along the sample x, y, z (any unit; only ratios count).
struct GrainShape {
  Real a = 1, b = 1, c = 1;
};

// Default number N of Simpson half-intervals of the fibre averages (2N intervals).
inline constexpr int kDefaultFibreIntervals = 25;

struct DecOptions {
  ModelCode model = kKroener;
  GrainShape grainShape;
  // Cartesian frame of the crystal: 0 "X || a, Y || b*", 1 "X || a*, Y || b", 2 "Y || b*, Z || a".
  int axisSetting = 1;
  int intervals = kDefaultFibreIntervals;  // fibre average of the MVoigt model
  // The measurement direction (phi, psi in degrees): s1 and 1/2 s2 of the grains diffracting
  // along it. Needed where DecDependsOnDirection says so.
  std::optional<std::array<Real, 2>> direction;
};

// True when s1 and 1/2 s2 of the model depend on the measurement direction for this grain
// shape: the self-consistent models embed the grain in the matrix, and an ellipsoid fixed in the
// sample (not a sphere) couples a grain differently for each direction.
bool DecDependsOnDirection(ModelCode model, const GrainShape& shape);

struct Dec {
  Miller hkl{};
  Real d = 0;       // lattice spacing, Angstrom
  Real s1 = 0;      // 1e-6/MPa (= 1/TPa)
  Real halfS2 = 0;  // 1e-6/MPa
};

// The models the untextured DEC path computes: Voigt, MVoigt, Reuss, Hill, Kroener, inverse
// Kroener.
bool DecModelAvailable(ModelCode model);

// s1 and 1/2 s2 of each reflection, in the order given.
Result<std::vector<Dec>> ComputeDecs(const Phase& phase, const std::vector<Miller>& hkl,
                                     const DecOptions& options = {});
Result<Dec> ComputeDec(const Phase& phase, const Miller& hkl, const DecOptions& options = {});

// "voigt", "mvoigt", "reuss", "hill", "kroener", "inverse-kroener".
Result<ModelCode> ParseModel(const std::string& name);
// The display name of a model ("Voigt", "Kroener", ...).
std::string ModelName(ModelCode model);

}  // namespace polydec
