// An ODF on the 5-degree grid from a set of weighted orientations by kernel density estimation:
// every orientation spreads its weight over its neighbourhood by a bell-shaped function of the
// rotation angle between them, symmetrised by the crystal's rotations, and the sum is scaled to
// a mean of 1 multiple of random distribution.
#pragma once

#include <string>

#include "core/records.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

enum class KernelShape {
  // de la Vallée Poussin: cos^(2 kappa)(omega / 2), kappa from the half-width.
  kDeLaValleePoussin,
  // Gaussian in the rotation angle: exp(-omega^2 / (2 sigma^2)), sigma from the half-width.
  kGaussian,
};

struct KernelSpec {
  KernelShape shape = KernelShape::kDeLaValleePoussin;
  // Rotation angle (degrees) at which the kernel falls to half its peak.
  Real halfwidth = 10;
};

inline constexpr Real kSmallestHalfwidth = 1, kLargestHalfwidth = 90;

// More orientations than this are first gathered into cells of a twentieth of the half-width
// (at most 1 degree) of Euler space, each cell one orientation of their summed weight: the
// error is far below the kernel's width, the cost that of the cells.
inline constexpr std::size_t kGatherAbove = 25000;

// Fills the context's ODF grid from its grain set (GOrient) under the crystal class of
// ctx.Cryst.SYS, and switches the ODF on as a read ODF is switched on, with triclinic sample
// symmetry (a set of orientations implies none). Returns an empty string, or why no ODF can be
// made (no grains, no weight, a half-width outside 1..90 degrees).
std::string FillKernelODF(OrientationsRec& ctx, const KernelSpec& kernel);

// The kernel's value, relative to its peak, at a rotation angle omega (degrees).
Real KernelValue(const KernelSpec& kernel, Real omegaDegrees);

}  // namespace polydec::texture
