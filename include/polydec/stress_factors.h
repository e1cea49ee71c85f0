// Stress factors F_ij of a reflection measured along sample directions (phi, psi): the grain
// compliance of the model averaged along the diffraction fibre, weighted by the texture when one
// is given, contracted with the direction.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "polydec/dec.h"
#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/texture.h"
#include "polydec/types.h"

namespace polydec {

// A measurement direction in the sample frame, degrees.
struct Direction {
  Real phi = 0, psi = 0;
};

struct StressFactorOptions {
  ModelCode model = kKroener;
  GrainShape grainShape;
  int intervals = kDefaultFibreIntervals;
};

// The stress factors of one direction, as the worksheet's columns show them: F11, F22, F33,
// F23, F13, F12 in 1e-6/MPa (the shear entries twice the tensor component), and the fibre's
// pole density I(ODF) (1 without a texture).
struct StressFactors {
  std::array<Real, 6> F{};
  Real intensity = 1;
};

// One entry per direction, in order. progress(n) runs after n directions; false stops.
Result<std::vector<StressFactors>> ComputeStressFactors(
    const Phase& phase, const Miller& hkl, const std::vector<Direction>& directions,
    const StressFactorOptions& options = {}, const Texture* texture = nullptr,
    const std::function<bool(std::size_t done)>& progress = {});

}  // namespace polydec
