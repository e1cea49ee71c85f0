// Stress factors of a textured polycrystal: the grain compliance tensor of one orientation of
// the diffraction fibre under each grain-interaction model, its average over the rotation
// about the scattering vector (weighted by the ODF when a texture is in use), and its
// contraction with the measurement direction.
#pragma once

#include "core/records.h"
#include "core/voigt.h"
#include "polydec/types.h"
#include "texture/odf_fiber.h"

namespace polydec::models {

// X' = A X A^T on all four indices: X'ijkl = sum Aip Ajq Akr Als Xpqrs.
void RotateTensor4(const core::Tensor4& X, const core::Tensor2& A, core::Tensor4& out);

// The rotation G that takes crystal-frame tensors into the sample frame for the fibre
// orientation lamda of the reflection ctx.CrystPolAngles measured along ctx.SamplePolAngles.
core::Tensor2 FibreRotation(const core::OrientationsRec& ctx, core::Real lamda);

// True for the model codes the fibre average knows (0, 1, 2, 3, 4, 6, 7, 8, 9).
bool FibreModelAvailable(ModelCode code);

// Grain compliance tensor of the model for the fibre orientation lamda, in the sample frame.
// Returns false (out unchanged) for a code without a model. The tensor is kept whole: the
// self-consistent grain compliances lack the major symmetry for crystals of lower than cubic
// symmetry, and folding them onto 21 components would shift their stress factors.
bool GrainModelTensor(const core::OrientationsRec& ctx, core::Tensor4& out, ModelCode code,
                      core::Real lamda);

// Average of GrainModelTensor over lamda in [0, 2 pi]. Without a texture by Simpson's rule
// with 2 IIntervls intervals. With the ODF in use the 2 IIntervls grain tensors are weighted by
// the ODF sampled at least 400 times along the fibre (the grain tensor between its points is
// its trigonometric interpolant) and normalized by the fine rule's pole density; samples of
// the same fibre at those points (FiberSamples with n = IIntervls * K, K = ceil(
// kPoleDensityIntervals / IIntervls)) are used instead of looking the ODF up again. For MVoigt
// (code 1) the averaged stiffness is inverted into a compliance. Returns false for a code
// without a model (out unchanged) or when an ellipsoid axis is refused.
bool AverageAlongFiber(core::OrientationsRec& ctx, core::Tensor4& out, ModelCode code,
                       const texture::FiberSamples* samples = nullptr);

// F_kl = sum_ij T_ijkl m_i m_j for the direction m = (cos phi sin psi, sin phi sin psi, cos psi).
core::Tensor2 StressFactorMatrix(const core::Tensor4& T, core::Real phi, core::Real psi);

}  // namespace polydec::models
