// Eshelby tensor S, its inverse W and Hill's polarization tensor P (S = P:L) of an ellipsoidal
// grain embedded in a homogeneous anisotropic matrix, by closed form or by integration over
// the unit sphere, and the refresh of the grain-shape tensors of a calculation context.
#pragma once

#include <string>

#include "core/records.h"
#include "core/types.h"

namespace polydec::models {

// Checks the semi-axes of a grain ellipsoid: each must be a finite number above zero. Returns
// an empty text when they are sound, else a message naming the first offending semi-axis, e.g.
// "Grain shape: the semi-axes must be positive numbers (got a = 0)".
std::string CheckAxes(const core::EllipsoidAxisLength& axes);

// Recomputes S, P, W, Q, M and Mr of the context from its L, Lr, AxisLength, SYMMETRY and
// Cryst.SYS. A spherical grain (a = b = c exactly) uses the class SYMMETRY (the closed form
// for 0), any other grain the orthorhombic class 7, or SYMMETRY where that is monoclinic or
// triclinic (an ellipsoid keeps only the symmetry it shares with the matrix). When CheckAxes
// refuses the semi-axes
// nothing is computed, the context is left exactly as it was and the result is false; the
// caller shows CheckAxes(ctx.AxisLength) to the user.
bool UpdateEshelby(core::OrientationsRec& ctx);
// The part of UpdateEshelby that the averages without an inclusion (Voigt, Reuss, Hill) use:
// the compliances M of L and Mr of Lr.
void UpdateCompliances(core::OrientationsRec& ctx);

// S and P of the ellipsoid with semi-axes `axes` in the matrix of stiffness L. For a sphere
// the independent components of class k are integrated and P is completed by that class
// (k = 0: the closed form, P untouched); a non-spherical grain uses class 7, the ellipsoid's
// own, unless k is a lower class (8, 9, 10), which it keeps. Classes other than 0, 2, 7, 8, 9,
// 10 integrate all 21 components. Refused semi-axes leave S and P untouched.
void EshelbyTensor(const core::Tensor4& L, const core::EllipsoidAxisLength& axes, int k,
                   core::Tensor4& S, core::Tensor4& P);

// Eshelby tensor of a sphere in the isotropic part of L (Eshelby, 1957).
void SphereEshelbyTensor(const core::Tensor4& L, core::Tensor4& S);

// Integrand of P_ijkl over the unit sphere at azimuth phi and polar angle theta (radians):
// sin(theta)/(4 pi) times the (ij)(kl)-symmetrised xi_j xi_l N_ik, N the inverse of the
// acoustic tensor K_pq = L_rpsq xi_r xi_s of xi = (cos phi sin theta / a,
// sin phi sin theta / b, cos theta / c). Indices 1..3. The semi-axes must pass CheckAxes.
core::Real PolarizationIntegrand(const core::EllipsoidAxisLength& axes, int i, int j, int k, int l,
                                 const core::Tensor4& L, core::Real phi, core::Real theta);

}  // namespace polydec::models
