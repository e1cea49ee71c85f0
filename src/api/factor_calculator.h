// The stress-factor calculator of a phase as "Calc DEC" sets it up: the constants as given, the
// isotropic matrix of the phase's E and nu, the grain shape, and the texture's orientations
// when one is in use. The worksheet and the map evaluation both build it here, so that a map
// and a worksheet of the same rows get the same factors.
#pragma once

#include <optional>
#include <string>

#include "models/stress_factors.h"
#include "polydec/phase.h"
#include "polydec/texture.h"
#include "polydec/worksheet.h"

namespace polydec::api {

// Sets calc; empty on success, else why the phase, grain shape or intervals are refused.
// fibre: the Fij notation (else the quasi-isotropic s1, 1/2 s2).
std::string BuildFactorCalculator(const Phase& phase, const WorksheetDecOptions& options,
                                  const Texture* texture, bool fibre,
                                  std::optional<models::StressFactorCalculator>& calc);

}  // namespace polydec::api
