// Elastic constants of an untextured (quasi-isotropic) polycrystal of one phase: the Voigt
// (1928) and Reuss (1929) averages, Hill's (1952) mean of the two, and the self-consistent
// stiffness of spherical grains (Hershey 1954, Kroener 1958), with the engineering constants of
// an isotropic stiffness.
#pragma once

#include "core/records.h"
#include "core/voigt.h"
#include "models/macro_stiffness.h"
#include "polydec/types.h"

namespace polydec::models {

// Bulk, shear and Young's moduli (GPa) and Poisson's ratio of an isotropic stiffness.
struct IsotropicConstants {
  core::Real K = 0, G = 0, E = 0, nu = 0;
};
// K = (C1111 + 2 C1122)/3, G = C1212, E = 9KG/(3K + G), nu = (3K - 2G)/(2(3K + G)).
IsotropicConstants EngineeringConstants(const core::CijklVector& iso);

// Orientation average of the single-crystal stiffness (uniform strain).
core::CijklVector VoigtAggregate(const core::CijklVector& c);
// Inverse of the orientation average of the single-crystal compliance (uniform stress).
core::CijklVector ReussAggregate(const core::CijklVector& c);
// Mean of the Voigt and Reuss stiffnesses: K and G are the means of their bounds.
core::CijklVector HillAggregate(const core::CijklVector& c);

// R = L - <(C + L:W - L)^-1>^-1 : SE, C the single-crystal stiffness Lr of element 0 and <>
// the orientation average. It vanishes when the mean strain of spherical grains in the
// isotropic matrix L equals the macroscopic strain.
core::Tensor4 IsotropicKroenerResidual(const core::Tensor4& L, const core::Tensor4& SE,
                                       const core::Tensor4& W, const core::ORTN_Array& list);

// Rounds of the self-consistent isotropic solution; each refreshes the Eshelby tensor of the
// sphere for the current matrix and runs at most two Newton trials.
inline constexpr int kIsotropicRounds = 10;

struct IsotropicAggregateResult {
  bool converged = true;  // false: the self-consistent rounds ended without settling
  bool failed = false;    // the Newton trials met a singular Jacobian or no finite residual
  int rounds = 0;
};

// Self-consistent isotropic stiffness of spherical grains: on entry a holds the single-crystal
// constants of crystal class crystalClass, on return the aggregate stiffness (isotropic form).
// The rounds stop when a whole round moves the constants by less than kAcceptedStepSum.
IsotropicAggregateResult SelfConsistentAggregate(core::CijklVector& a, CrystalClass crystalClass);

// The aggregate of the model code: 0 and 1 Voigt, 2 Reuss, 6 Hill, every other code the
// self-consistent stiffness. a: single-crystal constants on entry, the aggregate on return.
IsotropicAggregateResult CalcIsoMaConst(core::CijklVector& a, CrystalClass crystalClass,
                                        ModelCode model);

}  // namespace polydec::models
