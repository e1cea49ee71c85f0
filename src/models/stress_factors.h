// Stress factors of single measurements: for a reflection measured along a direction, the
// grain compliance tensor of the chosen model (averaged along the diffraction fibre, weighted
// by the ODF when the phase has one in use) contracted with the direction, and the fibre
// intensity I(ODF); or, for a quasi-isotropic sample, the reflection's s1 and 1/2 s2.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "core/records.h"
#include "polydec/dec.h"
#include "polydec/macro.h"
#include "texture/odf_fiber.h"

namespace polydec::models {

using core::Real;

// What the stress factors of a phase are computed from, as the window's page holds it.
struct PhaseInputs {
  core::Tensor4 crystal;  // single-crystal stiffness, GPa
  core::Tensor4 matrix;   // stiffness of the surrounding matrix, GPa
  CrystalClass crystalClass = kCubic;
  core::Real cell[6] = {1, 1, 1, 90, 90, 90};  // a, b, c, alpha, beta, gamma (degrees)
  core::EllipsoidAxisLength grainShape;
  SampleSymmetry sampleSymmetry = kIsotropicSample;  // symmetry class of the matrix
  bool fastInversion = true;  // inversion code 10 for the Kroener-type models, else 11
};

// Fills the phase fields of ctx (cell, tensors and their inverses, grain shape and Eshelby
// tensors, inversion code, sample symmetry); the other fields (the ODF, the integration
// intervals, the reflection) stay. Returns an empty text, or why the grain shape is refused
// (ctx then has no Eshelby tensors of that shape).
std::string BuildPhaseContext(const PhaseInputs& in, core::OrientationsRec& ctx);

// The fibre average samples 2N + 1 orientations; the ODF-weighted integral refuses more.
bool FibreIntervalsUsable(int n);
// Why a number of integration intervals is refused.
std::string FibreIntervalsMessage();

// "Model not available (<name>)".
std::string ModelNotAvailableMessage(ModelCode code);

// Default integration intervals N (2N Simpson intervals) on a 5-degree ODF grid. On a sharp
// texture (a Goss component of 9 degrees half width at half maximum, cubic crystal and
// orthorhombic sample) the fibre averages are then within 2e-3 of their converged values
// (relative to the largest stress factor) and the Euler-space averages within 5e-4 of the
// largest stiffness component. The two integrations need different counts: the fibre average
// costs 2N + 1 grain tensors, the Euler-space average (2N + 1)^3.
using polydec::kDefaultEulerIntervals;
using polydec::kDefaultFibreIntervals;
// Euler-space intervals of the texture-weighted Voigt stiffness behind textured Voigt stress
// factors, computed once per calculator whatever the fibre's intervals (for an orthorhombic or
// higher sample symmetry; see DefaultEulerIntervals).
inline constexpr int kTexturedVoigtIntervals = kDefaultEulerIntervals;

// The default Euler-space intervals for a sample symmetry. Without the sample's twofold axes
// (monoclinic, triclinic) the integral runs over twice or four times the range of phi1 with the
// same N, its nodes twice as far apart: on a sharp texture without sample symmetry (a Goss
// component of 9 degrees turned 20 degrees about the sample z axis) N = 12 left the Voigt
// stiffness 4e-3 of its largest component off (the self-consistent one by 1 %); N = 24 is
// within 5e-4, as N = 12 is for the orthorhombic sample.
int DefaultEulerIntervals(SampleSymmetry sampleSymmetry);
// The default for a model: the self-consistent residual integrates with half the intervals (N
// div 2), so Kroener and inverse Kroener take twice the count that makes the averages converge
// (on a rolling texture, orthorhombic sample, N = 12 left the Kroener C22 4e-4 of itself off;
// on the turned Goss component without sample symmetry N = 24 left C11 by 2.4 GPa).
int DefaultEulerIntervals(SampleSymmetry sampleSymmetry, ModelCode model);

// One measurement: reflection, direction in radians, model code, and optionally new grain
// semi-axes (each one given replaces that axis of the phase's grain shape from then on).
struct FactorMeasurement {
  std::array<Real, 3> hkl{};
  Real phi = 0, psi = 0;
  ModelCode code = kKroener;
  std::array<std::optional<Real>, 3> axes;
};

struct MeasurementFactors {
  core::Tensor2 F;          // stress factors (1/GPa), the shear entries are the F_kl themselves
  Real s1 = 0, s2half = 0;  // quasi-isotropic path
  Real intensity = 1;       // pole density I(ODF) in m.r.d. (uniform: 1), 1 without an ODF
};

// One grain of a grains file: reflection, direction (degrees), ellipsoid semi-axes and
// orientation (radians), and the model code.
struct GrainLine {
  Real h = 0, k = 0, l = 0, phi = 0, psi = 0, a = 0, b = 0, c = 0, e1 = 0, e2 = 0, e3 = 0;
  ModelCode code = kVoigt;
};

// Works on its own copy of a phase's calculation context (single-crystal and matrix
// tensors, cell, grain shape and Eshelby tensors, integration intervals, ODF). Measurements
// are computed in order: a grain shape given by one measurement stays for the next ones, as
// the context keeps the last measurement's reflection, direction, axes and Eshelby tensors.
class StressFactorCalculator {
 public:
  // fibre: stress factors by the fibre average (Fij notation); else the quasi-isotropic
  // s1, 1/2 s2 of the reflection (the sample symmetry is then taken as isotropic), for a grain
  // that is not a sphere under the Kroener models those of the measurement's direction.
  StressFactorCalculator(core::OrientationsRec phase, bool fibre);

  // Empty on success, else why the measurement is refused (model without a path, refused
  // grain axes).
  std::string Compute(const FactorMeasurement& m, MeasurementFactors& out);

  // Euler-space intervals of the textured Voigt stiffness; 0 (the start) takes
  // DefaultEulerIntervals of the phase's sample symmetry. Takes effect before its first use.
  void SetEulerIntervals(int n) { eulerIntervals_ = n; }

  // A grains-file grain: always the fibre average (Hill as the per-angle mean), with the
  // textured Voigt compliance as in Compute. Empty on success, else why it is refused.
  std::string ComputeGrain(const GrainLine& g, core::Tensor2& F);

  const core::OrientationsRec& Context() const { return ctx_; }
  // Hands the context back with the state the measurements left in it.
  core::OrientationsRec Release() && { return std::move(ctx_); }

 private:
  bool ElasticTensor(ModelCode code, core::Tensor4& T,
                     const texture::FiberSamples* samples = nullptr);
  // The fibre-averaged grain compliance of the model, the Voigt one (and the Voigt half of
  // Hill) from the texture-weighted stiffness when a texture is in use.
  bool FibreTensor(ModelCode code, core::Tensor4& T,
                   const texture::FiberSamples* samples = nullptr);
  // The Voigt grain compliance of a textured phase: every grain has the macroscopic strain,
  // so it is the inverse of the texture-weighted mean stiffness (the Voigt average over the
  // grains of a grains file in use, else over Euler space weighted by the ODF), the same for
  // every reflection and direction; computed at the first use.
  bool TexturedVoigtCompliance(core::Tensor4& T);

  core::OrientationsRec ctx_;
  bool fibre_;
  std::optional<core::Tensor4> texturedVoigt_;
  int eulerIntervals_ = 0;
};

// The stress factors of every grain of a grains file's text, one output line each
// ("...\r\n", tab-separated, the factors in 1e-3/GPa). inPath names the file in messages.
// progress(n) runs after input line n. On a refusal `error` says why and where.
struct GrainsFileResult {
  std::string text;
  std::string error;
};
GrainsFileResult ComputeGrainsFile(const std::string& content, const std::string& inPath,
                                   StressFactorCalculator& calc,
                                   const std::function<void(std::size_t line)>& progress);

}  // namespace polydec::models
