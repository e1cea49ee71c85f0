// The picture of a directional map: the equal-area disc in colour, a colour scale with its
// values, the low-index lattice directions and the extremes marked. One drawing for the command
// line's PNG and SVG files (core::WritePicture) and the window.
#pragma once

#include <string>
#include <vector>

#include "core/picture.h"
#include "special/directional_moduli.h"

namespace polydec::special {

using core::PictureText;
// The coloured image without the texts, and the title, scale values and direction labels.
using DirectionalPicture = core::Picture;

DirectionalPicture DrawDirectionalMap(const DirectionalMap& map, const std::string& title);

}  // namespace polydec::special
