// The uncertainty statement of a stress evaluation as text lines (the window's memo): per
// data set the degrees of freedom, chi-square and its reduced value, the uncertainties from
// the stated d uncertainties, those scaled by sqrt(reduced chi-square), the part from the
// uncertainty of d0, and with d0 fitted the strain-free correction and each reflection's d0.
#pragma once

#include <string>
#include <vector>

#include "stress/stress_evaluation.h"

namespace polydec::stress {

std::vector<std::string> UncertaintyReport(const std::vector<StressSetResult>& sets);

}  // namespace polydec::stress
