// What the Texture page shows of the texture in use: where it came from, its crystal class and
// sample symmetry, the region read, integral, extremes and texture index, with its pole figures
// and ODF sections as pictures the front end puts beside the page's buttons.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/picture.h"
#include "core/records.h"

namespace polydec::workbench {

struct TextureOverview {
  std::vector<std::pair<std::string, std::string>> fields;  // label, value
  core::Picture poleFigures, sections;  // empty images when there is no ODF on the grid
  int revision = 0;  // counts the updates, so a front end redraws after each
};

// The reflections whose pole figures the page shows: {100}, {110}, {111} of a cubic crystal,
// the basal, prism and pyramidal planes of a hexagonal or trigonal one, the three axial planes
// of the others.
std::vector<std::array<core::Real, 3>> OverviewReflections(polydec::CrystalClass crystal);

// The overview of a context: `source` names the file (or the compound), `region` the extent the
// file covered (degrees phi1, Phi, phi2; none: the region of the symmetry). The context is not
// changed (the pole figures are computed on a copy).
TextureOverview MakeTextureOverview(const core::OrientationsRec& ctx, const std::string& source,
                                    const std::optional<std::array<core::Real, 3>>& region);

}  // namespace polydec::workbench
