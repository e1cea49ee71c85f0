// Restores the form a crystal symmetry class imposes on an elastic tensor after components
// were changed one at a time (self-consistent Newton steps, constant fits).
#pragma once

#include "core/voigt.h"

namespace polydec::models {

// Applies the equalities that a change of position p (1..21) triggers for class c (0..10),
// then zeroes the components that vanish for the class.
void ProjectOnSymmetry(core::CijklVector& v, int p, int c);
// Projection of a whole tensor onto the class form (group members become their means).
void CompleteBySymmetry(core::Tensor4& T, int c);

}  // namespace polydec::models
