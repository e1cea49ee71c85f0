// A picture the engine drew (a directional survey, ODF sections, pole figures) handed to a
// program that shows it: RGB pixels, row by row.
#pragma once

#include <vector>

namespace polydec {

struct RgbPicture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // 3 bytes per pixel, row by row from the top
};

}  // namespace polydec
