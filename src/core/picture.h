// A picture the engine draws without a window toolkit: a raster with its texts kept apart, so
// that PNG gets them in the pixel font and SVG as real text; the colour scale every picture
// shares; and the one writer of pictures, PNG or SVG by the file's extension.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/raster_image.h"

namespace polydec::core {

struct PictureText {
  int x = 0, y = 0;  // top left corner
  int scale = 1;     // pixels per pixel of the 5x7 font
  std::string text;
};

struct Picture {
  RasterImage image;               // without the texts
  std::vector<PictureText> texts;  // titles, scale values, labels
};

// A perceptually ordered scale (after matplotlib's viridis), t in 0..1: dark blue for the least
// value, yellow for the largest.
Rgb ScaleColour(double t);

// The image with the texts drawn into it in the pixel font (black).
RasterImage Flatten(const Picture& picture);
// The picture as PNG (texts in the pixel font) and as SVG (the image embedded, the texts as SVG
// text).
std::string PicturePng(const Picture& picture);
std::string PictureSvg(const Picture& picture, const std::string& title);

// ".png" or ".svg" (lower case) when the path ends in either, in any case; else nullopt.
std::optional<std::string> PictureExtension(const std::string& path);
// Writes the picture as PNG or SVG by the path's extension through the atomic writer, so an
// existing file stays as it was when writing fails. Empty on success, else why, naming the path.
std::optional<std::string> WritePicture(const Picture& picture, const std::string& path,
                                        const std::string& title);

}  // namespace polydec::core
