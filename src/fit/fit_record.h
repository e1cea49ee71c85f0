// The record of a single-crystal constant fit: parameters, the fitted subset, the
// Levenberg-Marquardt work matrices and the measured data.
#pragma once

namespace polydec::fit {

struct FitRecord {};

}  // namespace polydec::fit
