// Completion of an ODF loaded on part of Euler space over the whole 5-degree grid, either by
// the symmetry operators of crystal and sample or by fixed rules for cubic data on 0..90 deg.
#pragma once

#include "core/records.h"

namespace polydec::texture {

using core::Real;

// Mode value of ExpandODF that selects the completion by rules; any other value selects the
// completion by symmetry operators.
inline constexpr int kExpandByRules = 1;

// Fills the grid of `context` from the loaded region [0, b1] x [0, b2] x [0, b3] (degrees).
void ExpandODF(core::OrientationsRec& context, int mode, Real b1, Real b2, Real b3);
// Fills every node whose value is 0 with the value of its symmetric equivalent in the region
// (Cryst.SYS and SYMMETRY choose the operators); sets ODFNUMP and the bounds to the full grid.
void ExpandODFByOperators(core::OrientationsRec& context, Real b1, Real b2, Real b3);
// Completes boundary sections, then applies the fixed relations for the regions
// (90, 90, 90), (180, 90, 90) and (360, 90, 90); sets SYMMETRY accordingly and ODFNUMP.
void ExpandODFByRules(core::OrientationsRec& context, Real b1, Real b2, Real b3);

}  // namespace polydec::texture
