// Plasticity of a body-centred cubic crystal with its twelve {110}<111> slip systems: Schmid
// and slip-rotation tensors, resolved shear stresses, grain stresses of the self-consistent
// models, the rate-sensitive (viscoplastic) Taylor factor of an imposed strain rate, and one
// step of single slip under a fixed stress.
#pragma once

#include <array>

#include "core/records.h"

namespace polydec::special {

using core::Real;
using core::Tensor1;
using core::Tensor2;

struct SlipSystemRow {
  Tensor1 b;  // unit slip direction
  Tensor1 n;  // unit slip-plane normal
};

// The twelve {110}<111> systems in the order the output files number them (1..12).
const std::array<SlipSystemRow, 12>& BCCSlipSystems();

// The parameters of the slip calculations; arrays are indexed from 1 as the systems are.
struct SlipSystemSet {
  Real RateExponent = 65;  // final rate-sensitivity exponent n
  Real RateConstant = 1;   // c of the slip-rate law
  std::array<Real, 49> CriticalShearStress{};
  std::array<Real, 49> ShearIncrement{};
  Real StrainRateScale = 1;  // D0
  std::array<Tensor2, 49> SchmidTensors{};
  std::array<Tensor2, 49> RotationTensors{};
  int SystemCount = 0;
};

// The set every slip run starts from: n = 65, c = 1, every critical shear stress 1, D0 = 1,
// the Schmid and rotation tensors of the twelve BCC systems.
SlipSystemSet BCCSlipSystemSet();

// P = (b n + n b)/2, the symmetric part of the slip dyad.
Tensor2 SchmidTensor(const Tensor1& b, const Tensor1& n);
// Omega = (b n - n b)/2, the plastic spin of unit slip.
Tensor2 SlipRotationTensor(const Tensor1& b, const Tensor1& n);

// tau_s = sigma : P_s for s = 1..count (entry 0 unused).
std::array<Real, 49> ResolvedShearStresses(const std::array<Tensor2, 49>& tensors, int count,
                                           const Tensor2& sigma);
// Sum of gamma_s X_s over s = 1..count.
Tensor2 SumSlipTensors(const std::array<Tensor2, 49>& tensors, int count,
                       const std::array<Real, 49>& gamma);

// Largest |tau_s| of s = 1..count and its system number; a later system replaces an earlier one
// only when larger by more than rounding (1e-12 relative), so that systems which symmetry
// loads equally keep the first of them whatever the last bits of the grain stress.
// System 0 when every tau_s is 0 (no system is loaded).
struct LargestShear {
  Real value = 0;
  int system = 0;
};
LargestShear LargestResolvedShear(const std::array<Real, 49>& tau, int count);

// Stress in a grain of orientation (phi1, Phi, phi2) (radians) under the applied stress sigma
// (sample axes). mode 2: sigma in crystal axes; mode 3 (Kroener) and 4 (inverse Kroener): the
// self-consistent grain stress C':T:sigma in sample axes, from Lr, L and W of the context.
// Returns false, leaving out unchanged, for any other mode.
bool GrainStress(const core::OrientationsRec& ctx, int mode, const Tensor2& sigma, Tensor2& out,
                 Real phi1, Real Phi, Real phi2);

// diag(D0, -x D0, -(1 - x) D0): uniaxial extension along 1 with the contraction shared between
// 2 and 3 in the ratio x : (1 - x); traceless, as plastic flow conserves volume.
Tensor2 UniaxialStrainRate(Real x, Real D0);

// 5 x 5 matrix of the linearised slip-rate law for the deviatoric stress
// s = (s11, s22, 2 s23, 2 s13, 2 s12) in crystal axes at the resolved shear stresses tau.
using Matrix5 = std::array<std::array<Real, 5>, 5>;
using Vector5 = std::array<Real, 5>;
Matrix5 ViscoplasticMatrix(const SlipSystemSet& set, const std::array<Real, 49>& tau, Real n);

// Total slip rate per unit imposed strain rate under the stress sigmaS (sample axes) of the
// grain g: sum_s |tau_s / tauc_s|^n / D0 (each system slips at c |tau/tauc|^n whatever its sense).
Real TaylorFactorOfStress(const SlipSystemSet& set, const Tensor2& g, const Tensor2& sigmaS);

// The Taylor factor of one imposed strain rate UniaxialStrainRate(x, D0): the viscoplastic
// stress found by continuation of the exponent from 1 in steps of dn up to RateExponent, with
// up to 400 relaxed fixed-point iterations per exponent. Empty when the linear system becomes
// singular or the stress is not finite (the factor is then not defined).
struct TaylorResult {
  bool ok = false;
  Real factor = 0;
  Real ratio = 0;  // contraction ratio x of the factor
};
TaylorResult TaylorFactorAtRatio(const SlipSystemSet& set, const Tensor2& g, Real x, Real dn);

// Searches the contraction ratio x = 0.05, 0.10, ..., 1.00 while the factor does not rise, and
// returns the smallest factor met with the ratio it belongs to.
TaylorResult RateSensitiveTaylorFactor(const SlipSystemSet& set, const Tensor2& g, Real dn);

// One step of slip under the stress sigma (sample axes): only the system or systems of largest
// |tau| slip, each by gamma0 in the sense of its tau. E = c times the step's strain in sample
// axes (diagonal sign flipped so that E11 >= 0); the lattice turns by the step's spin, applied
// as an exact rotation: gNext = g exp(omega), omega the plastic spin in sample axes.
void SingleSlipStep(const Tensor2& sigma, SlipSystemSet& set, const Tensor2& g, Tensor2& gNext,
                    Tensor2& E, Real gamma0, Real c);

// Rotation exp(w) of an antisymmetric w (Rodrigues' formula).
Tensor2 ExponentialOfSpin(const Tensor2& w);

}  // namespace polydec::special
