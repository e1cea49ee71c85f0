// Single-crystal anisotropy: Young's modulus and the linear compressibility along crystal
// directions, their map over all directions (equal-area projection of the upper hemisphere,
// both quantities being even in the direction) with the extremes, the anisotropy indices, and
// the map as a PNG or SVG picture.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/picture.h"
#include "polydec/phase.h"
#include "polydec/types.h"

namespace polydec {

// Young's modulus E(n) = 1/(n n : S : n n) in GPa, or the linear compressibility
// beta(n) = n n : S : 1, the strain along n per unit pressure, in 1/TPa (= 1e-6/MPa).
enum class DirectionalQuantity { kYoungsModulus, kLinearCompressibility };

// "young", "compressibility".
Result<DirectionalQuantity> ParseDirectionalQuantity(const std::string& name);

// The quantity along the lattice direction [u v w] (axisSetting: the crystal's Cartesian frame,
// as DecOptions; the value does not depend on it).
Result<Real> DirectionalValue(const Phase& phase, DirectionalQuantity quantity,
                              const std::array<Real, 3>& uvw, int axisSetting = 1);

struct DirectionalLabel {
  std::string label;  // "[1 1 0]"
  Real x = 0, y = 0;  // position in the unit disc of the projection
};

struct DirectionalExtreme {
  Real value = 0;
  std::array<Real, 3> direction{};  // unit vector, crystal Cartesian frame, upper hemisphere
  // The lattice direction [u v w] (indices up to 6) it lies along, "" when none within 0.01°.
  std::string lattice;
};

struct DirectionalSurvey {
  DirectionalQuantity quantity = DirectionalQuantity::kYoungsModulus;
  std::string unit;  // "GPa" or "1/TPa"
  // size x size values over the square around the projection disc, row 0 at the top, NaN
  // outside the disc.
  int size = 0;
  std::vector<Real> values;
  DirectionalExtreme minimum, maximum;
  std::vector<DirectionalLabel> marks;  // lattice directions of indices -1, 0, 1
  // A_U = 5 G_V/G_R + K_V/K_R - 6, zero for an isotropic crystal; Zener's 2 C44/(C11 - C12)
  // for a cubic one.
  Real universalAnisotropy = 0;
  std::optional<Real> zenerRatio;
};

struct SurveyOptions {
  int size = 181;  // cells per side of the map, 11..1001
  int axisSetting = 1;
};

Result<DirectionalSurvey> SurveyDirections(const Phase& phase, DirectionalQuantity quantity,
                                           const SurveyOptions& options = {});

// The picture of a survey: the disc in colour with a colour scale, the low-index directions and
// the extremes (red: maximum, blue: minimum) marked.
RgbPicture DrawDirectionalSurvey(const DirectionalSurvey& survey);
// Writes the picture as PNG or SVG, chosen by the file's extension (.png, .svg); through the
// program's atomic writer, so an existing file stays as it was when writing fails.
Status WriteDirectionalPicture(const DirectionalSurvey& survey, const std::string& path);

}  // namespace polydec
