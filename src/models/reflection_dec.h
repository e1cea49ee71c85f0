// Diffraction elastic constants s1 and 1/2 s2 of one reflection hkl of an untextured
// polycrystal under a grain-interaction model, from the grain compliance tensor that maps a
// macroscopic stress onto the mean strain of the diffracting grains.
#pragma once

#include <string>

#include "core/records.h"
#include "core/voigt.h"

namespace polydec::models {

// Model codes of the grain-interaction models.
enum ModelCode : int {
  kVoigt = 0,
  kMVoigt = 1,
  kReuss = 2,
  kKroener = 3,
  kInverseKroener = 4,
  kHill = 6,
  kVookWitt = 12,
};

// Display name of a model code ("Voigt", "Kroener", ...), or "model code N" for others.
std::string ModelName(int code);

// True for the codes whose grain compliance tensor the reflection path computes.
bool ReflectionModelAvailable(int code);

// Computes the grain compliance tensor of the model (stored into T21) and s1, 1/2 s2 of the
// reflection ctx.hkl into ctx.s1, ctx.s2. Reads Lr, Mr, L, M, W, hkl and Cryst; sets
// CrystPolAngles, AxisLength (1, 1, 1) and SamplePolAngles (0, 0). MVoigt averages along the
// fibre with ctx.IIntervls intervals (and the ODF when ctx.UseODF is set).
// Returns false, computing nothing beyond the entry step, for a code that selects no model
// here; s1 and s2 are then left as they were.
bool CalcReflectionDEC(core::OrientationsRec& ctx, core::CijklVector& T21, int code);

// Replaces T (major and minor symmetric) by its average over all orientations.
void IsotropicAverage(core::Tensor4& T);

// Voigt's assumption (uniform strain): the compliance of the orientation-averaged stiffness C.
core::Tensor4 VoigtCompliance(const core::Tensor4& C);

// s1 and 1/2 s2 of a grain compliance tensor T for the unit plane normal n.
void DecInvariants(const core::Tensor4& T, const core::Tensor1& n, core::Real& s1,
                   core::Real& halfS2);

}  // namespace polydec::models
