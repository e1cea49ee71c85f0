// Pole figures computed from the ODF (the pole density of one reflection over the sample
// hemisphere, as fibre integrals) and the fibre profile ("lamda-ODF") tables, with the file
// layouts other texture programs read: popla and Helming pole figures, fibre profile files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/records.h"
#include "texture/odf_fiber.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

// 19 tilts psi = 0, 5, ..., 90 degrees and 72 azimuths phi = 0, 5, ..., 355 degrees.
inline constexpr int kPoleFigureTilts = 19;
inline constexpr int kPoleFigureAzimuths = 72;
// Simpson half-intervals of each fibre integral of a pole figure: those of the pole density of
// a measurement (0.9-degree steps), fine against the ODF's 5-degree grid.
inline constexpr int kPoleFigureFiberIntervals = kPoleDensityIntervals;

struct PoleFigureRec {
  Real h = 0, k = 0, l = 0;
  // Fibre integrals (radians; 2 pi for a random texture) by tilt, then azimuth.
  std::vector<std::vector<Real>> integral;
  // Mean of the integrals over the hemisphere (each ring's mean, the rings weighted by the
  // exact integral of sin psi with the density linear in psi between them), so that
  // integral / mean is the pole density in multiples of random distribution (m.r.d.).
  Real mean = 0;
  Real maximum = 0, minimum = 0;  // of the integrals
  Real Mrd(int tilt, int azimuth) const {
    return integral[static_cast<std::size_t>(tilt)][static_cast<std::size_t>(azimuth)] / mean;
  }
  Real MaxMrd() const { return maximum / mean; }
  Real MinMrd() const { return minimum / mean; }
};

// The pole figure of the reflection hkl (the plane normal of the context's crystal) from the
// context's ODF (a random texture when none is in use). Leaves the context's hkl, CrystPolAngles,
// SamplePolAngles and fibre profile as the last integral set them.
PoleFigureRec ComputePoleFigure(OrientationsRec& ctx, Real h, Real k, Real l);

// The popla layout: a header with the maximum in m.r.d., a format line, then per tilt four
// groups of 18 values (m.r.d. x 100, rounded), the fourth ending with "   0"; one empty line at
// the end. Lines end in CR LF.
std::string PoplaPoleFigureText(const PoleFigureRec& pf);
// The Helming layout: per tilt 7 lines of 10 values and one of 2 (m.r.d. x 100), then an empty
// line; no header.
std::string HelmingPoleFigureText(const PoleFigureRec& pf);

enum class FibreProfileLayout {
  kAllPermutations,  // lamda, then the 24 signed permutations of hkl; sums at the end
  kCubeOrth,         // one line per (lamda, permutation) inside 0..90 degrees
};
// Number of lamda steps (2.5 degrees for the standard 144).
inline constexpr int kFibreSteps = 144;

// The ODF along the fibres of the 24 signed permutations of hkl in the sample direction (phi,
// psi) in degrees, lamda from 0 to 360 degrees in `steps` steps. The value is looked up at phi2
// + 15 degrees (the angles written are without that offset); without an ODF in use every value
// is 1 and the sums stay 0. steps < 1 throws std::invalid_argument.
std::string FibreProfileText(OrientationsRec& ctx, FibreProfileLayout layout, Real phi, Real psi,
                             Real h, Real k, Real l, int steps = kFibreSteps);

// Writes text through the atomic writer. Empty on success, else why it failed.
std::optional<std::string> WriteTextFile(const std::string& path, const std::string& text);

}  // namespace polydec::texture
