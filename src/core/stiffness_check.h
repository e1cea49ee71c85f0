// Whether a stiffness can belong to a stable material: every model inverts the crystal's
// stiffness and builds strain energies from it, so it must be positive definite. The test is
// on the 6 x 6 matrix in Mandel form (shear rows and columns scaled by sqrt 2), whose
// eigenvalues are those of the fourth-rank tensor acting on symmetric strains.
#pragma once

#include <optional>
#include <string>

#include "core/voigt.h"

namespace polydec::core {

// Smallest eigenvalue (in the units of the stiffness) of the Mandel matrix of c.
Real SmallestMandelEigenvalue(const CijklVector& c);

// Empty for a positive definite stiffness; else why not, naming `what` ("the stiffness of
// iron", "--cij") and the smallest eigenvalue in GPa. Non-finite constants are refused too.
std::optional<std::string> StiffnessProblem(const CijklVector& c, const std::string& what);

}  // namespace polydec::core
