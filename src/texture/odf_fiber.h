// The ODF along the diffraction fibre of one reflection in one measurement direction, and its
// integral over the rotation about the common axis (the pole density of the reflection).
#pragma once

#include "core/records.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

// ODFValue at FiberToEuler(psi, phi, theta, beta, lamda): sample direction (tilt psi, azimuth
// phi), crystal direction (polar angle theta, azimuth beta), rotation lamda; radians.
Real FiberODFValue(const OrientationsRec& ctx, Real psi, Real phi, Real theta, Real beta,
                   Real lamda);

// ∫ f dlamda over [0, 2π] by the composite Simpson rule with 2n intervals, not divided by 2π
// (2π without an ODF). The profile at lamda = k·h, k = 1..2n-1, goes to HKLODF.ODF[k] (given
// 2n entries, entry 0 not written) and the result to HKLODF.Integral. n outside
// 1..kMaxFiberIntervals throws std::invalid_argument.
inline constexpr int kMaxFiberIntervals = 10'000'000;
Real FiberIntegral(OrientationsRec& ctx, int n, Real psi, Real phi, Real theta, Real beta);

}  // namespace polydec::texture
