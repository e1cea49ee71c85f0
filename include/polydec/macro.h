// Macroscopic stiffness of a polycrystal under a grain-interaction model: averaged over Euler
// space weighted by an ODF (uniform without one), over a weighted grain set, or over a shipped
// random orientation set weighted by the ODF; with its engineering constants.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/texture.h"
#include "polydec/types.h"

namespace polydec {

// Default Simpson half-intervals N of the Euler-space integration (2N per angle) for an
// orthorhombic or higher sample symmetry; without the sample's twofold axes twice as many, and
// twice again for the self-consistent models, whose residual integrates with N div 2.
inline constexpr int kDefaultEulerIntervals = 12;

struct MacroOptions {
  ModelCode model = kVoigt;
  // The sample symmetry imposed on the average; default: the texture's (an ODF's region tells
  // it), none (triclinic) for a grain set, isotropic without a texture.
  std::optional<SampleSymmetry> sampleSymmetry;
  int intervals = 0;  // 0: the default of the sample symmetry and the model
  // Average over this shipped random set of grains (its file) weighted by the texture's ODF
  // instead of over Euler space; 0 for none.
  int randomSetSize = 0;
  std::string randomSetFile;
  // After each self-consistent round (from 1) with its step sum: false stops the rounds and
  // refuses the result. Without one the rounds go on until they settle or fail.
  std::function<bool(int round, Real stepSum)> onRound;
  // Inside each self-consistent round (from 1), before each integration of its residual
  // (evaluation from 1 of `evaluations` per Newton trial; each integrates over Euler space):
  // false stops at once and refuses the result.
  std::function<bool(int round, int evaluation, int evaluations)> onEvaluation;
};

// Young's and shear moduli (GPa) along and about the sample axes, and Poisson's ratios.
struct EngineeringConstants {
  Real E1 = 0, E2 = 0, E3 = 0;
  Real G1 = 0, G2 = 0, G3 = 0;
  Real nu12 = 0, nu13 = 0, nu23 = 0, nu21 = 0, nu31 = 0, nu32 = 0;
};

struct MacroStiffness {
  Matrix6 C{};  // GPa, Voigt rows and columns 1..6 at 0..5
  EngineeringConstants engineering;
  SampleSymmetry sampleSymmetry = kIsotropicSample;  // the one imposed
  int rounds = 0;  // self-consistent rounds run
};

// The engineering constants of a stiffness in a sample of the given symmetry (the constants
// that symmetry makes equal are averaged).
Result<EngineeringConstants> EngineeringConstantsOf(const Matrix6& C, SampleSymmetry symmetry);

// The orthotropic stiffness (GPa) of engineering constants along the sample axes (Lekhnitskii
// 1963); refused when the constants admit no stiffness.
Result<Matrix6> OrthotropicStiffness(const EngineeringConstants& e);

// The models with a macroscopic stiffness: Voigt (and MVoigt), Reuss, Hill, Kroener, inverse
// Kroener.
Result<MacroStiffness> ComputeMacroStiffness(const Phase& phase, const Texture& texture,
                                             const MacroOptions& options);

// The shipped random sets: 228, 666, 1464, 4572, 10416, 19860, 33768, 64890 grains.
std::vector<int> RandomSetSizes();

}  // namespace polydec
