// Writers that hand the texture of a calculation context on: the ODF grid in four layouts, a
// set of grain orientations weighted by the ODF (a "WTS" grains file for polycrystal plasticity
// codes), and the Euler angles of the grains that diffract along measurement directions. Each
// returns the file's text (CR LF line ends); WriteTextFile (pole_figure.h) stores it.
#pragma once

#include <string>
#include <vector>

#include "core/records.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

enum class ODFLayout {
  kFull,       // a header line, then per node of the grid: phi1, Phi, phi2, value (MTEX table)
  kSection90,  // phi1 0..90: one line of 19 phi2 values per (phi1, Phi)
  kSection180, // phi1 0..180, the same
  kCubeOrth,  // nodes of 0..90 with their cubic-orthorhombic equivalents inside 0..90
};

// The ODF grid of the context in a layout. The three layouts that read nodes of the expanded
// grid refuse (an InputError with the message) when no ODF is loaded; the full layout writes
// the ODFNUMP nodes held (none without an ODF).
struct ODFTextResult {
  std::string text;
  std::string error;  // empty on success
};
inline constexpr const char* kNoODFLoadedMessage =
    "No ODF is loaded. Load an ODF first (\"Load ODF\").";
ODFTextResult ODFLayoutText(const OrientationsRec& ctx, ODFLayout layout);

// The grains file of the context's grain set (GOrient, radians): four header lines naming N,
// then "phi1 PHI phi2 weight" in degrees per grain. readwtsfile reads it back.
std::string GrainsFileText(const OrientationsRec& ctx);

// A measurement direction of the worksheet, degrees.
struct MeasurementDirection {
  Real phi = 0, psi = 0;
};
// For each direction, an empty line and 145 lines along the fibre of hkl (lamda 0..360 degrees
// in 2.5-degree steps): h, k, l, phi, psi, the Euler angles and the ODF value (1 without an
// ODF in use); a header line first and an empty line at the end. Sets the context's hkl.
std::string EulerAnglesText(OrientationsRec& ctx, Real h, Real k, Real l,
                            const std::vector<MeasurementDirection>& directions);

}  // namespace polydec::texture
