// Completion of an ODF loaded on part of Euler space over the whole 5-degree grid, either by
// the symmetry operators of crystal and sample or by fixed rules for cubic data on 0..90 deg.
#pragma once

#include <cstddef>

#include "core/records.h"
#include "core/types.h"
#include "polydec/types.h"

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
// The expansion keeps, for the last few symmetry pairs and regions, which node each node of the
// grid takes its value from. This drops them: the next expansion works its map out anew, as the
// first of a process does (for benchmarks of that first load).
void ForgetEquivalentMaps();

// What ExpandODFByOperators takes for node n (counted as the grid's arrays count, phi2
// fastest) of a grid expanded from the region [0, b1] x [0, b2] x [0, b3] (degrees): whether
// the node has a symmetric equivalent in the region (SymmetryEquivalentInRegion with the 5-degree
// step), whether that lies on a node, the node it rounds to (when inside the grid) and, for an
// equivalent off the nodes, its angles in degrees.
struct NodeEquivalent {
  bool found = false;
  bool onNode = false;
  bool inside = false;
  std::size_t source = 0;
  core::EulerAnglesRec angles;
};
NodeEquivalent EquivalentOfNode(polydec::CrystalClass sys, polydec::SampleSymmetry symmetry,
                                Real b1, Real b2, Real b3, std::size_t n);

// Completes boundary sections, then applies the fixed relations for the regions
// (90, 90, 90), (180, 90, 90) and (360, 90, 90); sets SYMMETRY accordingly and ODFNUMP.
void ExpandODFByRules(core::OrientationsRec& context, Real b1, Real b2, Real b3);

}  // namespace polydec::texture
