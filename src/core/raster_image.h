// A small RGB raster for pictures the engine draws without a window toolkit (the command line
// links none): pixels, filled rectangles and discs, a 5x7 pixel font, and the image encoded as
// PNG (uncompressed "stored" deflate blocks, which every reader accepts) or embedded in SVG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace polydec::core {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

struct RasterImage {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;  // row by row from the top

  RasterImage() = default;
  RasterImage(int w, int h, Rgb background);
  // Pixels outside the image are ignored.
  void Set(int x, int y, Rgb colour);
  void FillRect(int x, int y, int w, int h, Rgb colour);
  void FillDisc(double cx, double cy, double radius, Rgb colour);
  // Text in the 5x7 font at `scale` pixels per font pixel, its top left corner at (x, y).
  // Characters outside the font's set (digits, ". , : - + = / ( ) [ ] { }" and most letters)
  // stay blank.
  void DrawText(int x, int y, const std::string& text, int scale, Rgb colour);
};

// The width in pixels of text drawn at that scale.
int TextWidth(const std::string& text, int scale);

// The PNG file of the image (8-bit RGB).
std::string EncodePng(const RasterImage& image);
// Standard base64 of bytes, for images embedded in SVG.
std::string Base64(const std::string& bytes);
// Text escaped for XML content and attributes.
std::string XmlEscape(const std::string& text);

}  // namespace polydec::core
