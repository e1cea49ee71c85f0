// Diffraction elastic constants s1 and 1/2 s2 of one reflection hkl of an untextured
// polycrystal under a grain-interaction model, from the grain compliance tensor that maps a
// macroscopic stress onto the mean strain of the diffracting grains.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/records.h"
#include "core/voigt.h"
#include "polydec/types.h"

namespace polydec::models {

// The model codes, as the radio buttons, worksheet cells, grains files and fit inputs store them.
using polydec::ModelCode;
using enum polydec::ModelCode;

// The names the command line takes for the models of the window's radio buttons: "voigt",
// "mvoigt", "reuss", "hill", "kroener", "inverse-kroener".
std::optional<ModelCode> ModelFromOptionName(std::string_view name);
// Those names in the order above, separated by ", ", for help and error texts.
std::string ModelOptionNames();
// The command-line name of a model code, empty for a code without one.
std::string_view ModelOptionName(ModelCode code);

// Display name of a model code ("Voigt", "Kroener", ...), or "model code N" for others.
std::string ModelName(ModelCode code);

// True for the codes whose grain compliance tensor the reflection path computes.
bool ReflectionModelAvailable(ModelCode code);

// Computes the grain compliance tensor of the model (stored into T21) and s1, 1/2 s2 of the
// reflection ctx.hkl into ctx.s1, ctx.s2. Reads Lr, Mr, L, M, W, hkl and Cryst; sets
// CrystPolAngles, AxisLength (1, 1, 1) and SamplePolAngles (0, 0). MVoigt averages along the
// fibre with ctx.IIntervls intervals (and the ODF when ctx.UseODF is set).
// Returns false, computing nothing beyond the entry step, for a code that selects no model
// here; s1 and s2 are then left as they were.
bool CalcReflectionDEC(core::OrientationsRec& ctx, core::CijklVector& T21, ModelCode code);

// True when s1 and 1/2 s2 of the model depend on the measurement direction for this grain
// shape: the self-consistent models embed the grain in the matrix, and an ellipsoid fixed in
// the sample (not a sphere) couples a grain differently for each direction.
bool DecDependsOnDirection(ModelCode code, const core::EllipsoidAxisLength& axes);

// s1 and 1/2 s2 of the reflection ctx.hkl measured along the sample direction (phi, psi),
// radians: the grain compliance of the model averaged over the grains of the diffraction fibre
// (ellipsoid semi-axes along the sample axes, ctx.IIntervls Simpson half-intervals), read
// through the strain along the direction per unit uniaxial and per unit hydrostatic stress, as
// DecInvariants reads the crystal's. For a sphere it agrees with CalcReflectionDEC. Sets
// CrystPolAngles and SamplePolAngles. False for a code without a model.
bool CalcDirectionalDEC(core::OrientationsRec& ctx, ModelCode code, core::Real phi, core::Real psi,
                        core::Real& s1, core::Real& halfS2);

// Replaces T (major and minor symmetric) by its average over all orientations.
void IsotropicAverage(core::Tensor4& T);

// Voigt's assumption (uniform strain): the compliance of the orientation-averaged stiffness C.
core::Tensor4 VoigtCompliance(const core::Tensor4& C);

// s1 and 1/2 s2 of a grain compliance tensor T for the unit plane normal n.
void DecInvariants(const core::Tensor4& T, const core::Tensor1& n, core::Real& s1,
                   core::Real& halfS2);

}  // namespace polydec::models
