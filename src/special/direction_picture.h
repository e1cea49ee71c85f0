// The picture of a directional map: the equal-area disc in colour, a colour scale with its
// values, the low-index lattice directions and the extremes marked. One drawing for the command
// line's PNG and SVG files and the window.
#pragma once

#include <string>
#include <vector>

#include "core/raster_image.h"
#include "special/directional_moduli.h"

namespace polydec::special {

struct PictureText {
  int x = 0, y = 0;  // top left corner
  int scale = 1;     // pixels per pixel of the 5x7 font
  std::string text;
};

struct DirectionalPicture {
  core::RasterImage image;        // without the texts
  std::vector<PictureText> texts;  // title, scale values, direction labels
};

DirectionalPicture DrawDirectionalMap(const DirectionalMap& map, const std::string& title);

// The picture as PNG (texts drawn in the pixel font) and as SVG (the coloured image embedded,
// the texts and marks as SVG text).
std::string DirectionalPng(const DirectionalPicture& picture);
std::string DirectionalSvg(const DirectionalPicture& picture, const std::string& title);

}  // namespace polydec::special
