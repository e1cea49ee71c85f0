// Pictures of a texture drawn without a window toolkit, for the command line's PNG and SVG files
// and the window alike: phi2 = const sections of the ODF (phi1 across, Phi down) and pole figures
// in equal-area projection, each as a smooth colour map of the m.r.d. with contour lines at
// chosen levels, all panels of a picture under one colour scale shown as a bar with its values.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/records.h"
#include "texture/pole_figure.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

// The part of Euler space (degrees: phi1, Phi, phi2) whose sections show every orientation of a
// crystal class under a sample symmetry: phi2 over the crystal's turn about c (90 cubic and
// tetragonal, 60 hexagonal, 120 trigonal, 180 monoclinic and orthorhombic, 360 triclinic),
// Phi to 90 when the crystal or the sample has a twofold axis normal to the sample's Z, else
// to 180, and phi1 to 90 (orthorhombic, transversal, isotropic sample), 180 (monoclinic) or 360.
std::array<Real, 3> SectionRegion(CrystalClass crystal, SampleSymmetry sample);
// phi2 = 0, 5, ..., 90 for a cubic crystal; otherwise the region's phi2 range in six steps.
std::vector<Real> DefaultSections(CrystalClass crystal, SampleSymmetry sample);
// The usual contour steps (0.5, 1, 1.5, 2, 3, 4, 6, 8, 12, ... m.r.d.) between the least and the
// largest value shown.
std::vector<Real> DefaultLevels(Real minimum, Real maximum);

struct ContourStyle {
  std::vector<Real> levels;  // m.r.d., increasing; empty: DefaultLevels
  // Colour by the band between two levels instead of by the value itself.
  bool bands = false;
};

// The sections phi2 = const (degrees, within 0..360) of the context's expanded ODF over the
// region of its crystal class and sample symmetry, coloured from the ODF's least to its largest
// value on the grid. The context must hold an ODF grid.
core::Picture DrawOdfSections(const OrientationsRec& ctx, const std::vector<Real>& phi2,
                              const ContourStyle& style);

// One pole figure of a picture: m.r.d. at tilts 0, 5, ..., 90 (rows) and azimuths 0, 5, ...,
// 355 degrees (columns).
struct PoleFigurePanel {
  std::string title;  // "{1 1 1}"
  std::vector<std::vector<Real>> mrd;
};
// "{h k l}" with the indices as few digits as they need.
std::string PoleFigureTitle(Real h, Real k, Real l);
// The panel of a computed pole figure.
PoleFigurePanel PanelOf(const PoleFigureRec& pf);
// The pole figures side by side, X to the right and Y up, under one colour scale from the least
// to the largest density of them all.
core::Picture DrawPoleFigures(const std::vector<PoleFigurePanel>& figures,
                              const ContourStyle& style);

}  // namespace polydec::texture
