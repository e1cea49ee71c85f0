// Whether the directions of a data set determine the free parameters of its stress fit. A
// least-squares solver given a design whose columns are (nearly) dependent still returns
// numbers, and with small stated uncertainties they look precise; the evaluation asks this
// first and refuses such a data set instead.
#pragma once

#include <optional>
#include <string>

#include "stress/stress_evaluation.h"

namespace polydec::stress {

// Singular values of the column-normalised design below this fraction of the largest mark a
// parameter combination the directions do not determine at all.
inline constexpr Real kDesignRankTolerance = 1e-7L;
// Largest acceptable ratio of the largest to the smallest singular value of the
// column-normalised design: beyond it the fit would amplify the stated uncertainties by more
// than this factor along some combination of parameters.
inline constexpr Real kDesignConditionLimit = 1e5L;

// The free parameters (stress components, and the strain-free correction with d0 fitted) that
// the rows of `set` cannot separate, as a message that names them and what would determine
// them; nothing when every free parameter is determined. The design is the one of the fit in
// relative strains, each column scaled to unit length so that units do not matter.
std::optional<std::string> UndeterminedParameters(const StressDataSet& set,
                                                  const StressFitOptions& options);

}  // namespace polydec::stress
