#include "special/direction_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace polydec::special {

namespace {

using core::Rgb;
using core::ScaleColour;

constexpr int kWidth = 540, kHeight = 430;
constexpr double kCentreX = 205, kCentreY = 225, kRadius = 180;
constexpr int kBarX = 425, kBarTop = 45, kBarHeight = 360, kBarWidth = 20;
constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0};

std::string Number(Real v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4Lg", v);
  return buffer;
}

void Mark(core::RasterImage& image, Real x, Real y, Rgb inner) {
  const double px = kCentreX + static_cast<double>(x) * kRadius;
  const double py = kCentreY - static_cast<double>(y) * kRadius;
  image.FillDisc(px, py, 6, kWhite);
  image.FillDisc(px, py, 4, inner);
}

}  // namespace

DirectionalPicture DrawDirectionalMap(const DirectionalMap& map, const std::string& title) {
  DirectionalPicture p;
  p.image = core::RasterImage(kWidth, kHeight, kWhite);
  const Real span = map.maximum - map.minimum;
  const auto fraction = [&](Real v) {
    return span > 0 ? static_cast<double>((v - map.minimum) / span) : 0.5;
  };
  // The disc: each pixel takes the map cell under it.
  for (int py = 0; py < kHeight; ++py)
    for (int px = 0; px < kWidth; ++px) {
      const double x = (px + 0.5 - kCentreX) / kRadius, y = (kCentreY - py - 0.5) / kRadius;
      const double r = std::sqrt(x * x + y * y);
      if (std::abs(r - 1) * kRadius < 0.8) {
        p.image.Set(px, py, kBlack);
        continue;
      }
      if (r > 1 || map.size <= 0) continue;
      const int col = std::clamp(static_cast<int>((x + 1) / 2 * map.size), 0, map.size - 1);
      const int row = std::clamp(static_cast<int>((1 - y) / 2 * map.size), 0, map.size - 1);
      const Real v = map.values[static_cast<std::size_t>(row) * map.size + col];
      if (std::isfinite(v)) p.image.Set(px, py, ScaleColour(fraction(v)));
    }
  // The colour scale, the largest value on top, five labelled ticks.
  for (int j = 0; j < kBarHeight; ++j)
    p.image.FillRect(kBarX, kBarTop + j, kBarWidth, 1,
                     ScaleColour(1 - (j + 0.5) / kBarHeight));
  for (int t = 0; t <= 4; ++t) {
    const int y = kBarTop + t * (kBarHeight - 1) / 4;
    p.image.FillRect(kBarX + kBarWidth, y, 4, 1, kBlack);
    p.texts.push_back({kBarX + kBarWidth + 7, y - 7, 2, Number(map.maximum - span * t / 4)});
  }
  for (const DirectionalMark& m : map.marks) {
    const int px = static_cast<int>(std::lround(kCentreX + static_cast<double>(m.x) * kRadius));
    const int py = static_cast<int>(std::lround(kCentreY - static_cast<double>(m.y) * kRadius));
    p.image.FillDisc(px, py, 3, kBlack);
    p.texts.push_back({px + 5, py + 4, 1, m.label});
  }
  Real x = 0, y = 0;
  for (const auto& [n, colour] : {std::pair{map.maximumDirection, Rgb{220, 30, 30}},
                                  std::pair{map.minimumDirection, Rgb{30, 60, 220}}}) {
    EqualAreaPoint(UpperHemisphere(n), x, y);
    Mark(p.image, x, y, colour);
  }
  p.texts.push_back({12, 10, 2, title});
  p.texts.push_back({12, kHeight - 16, 1,
                     "min " + Number(map.minimum) + "   max " + Number(map.maximum)});
  return p;
}

}  // namespace polydec::special
