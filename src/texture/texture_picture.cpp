#include "texture/texture_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "texture/odf_grid.h"

namespace polydec::texture {

namespace {

using core::Rgb;

constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0}, kLine{30, 30, 30};
constexpr double kPi = 3.14159265358979323846;

std::string Number(Real v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3Lg", v);
  return buffer;
}

std::string Whole(Real v) { return std::to_string(static_cast<long long>(std::llround(v))); }

// Values at the centres of the pixels of a panel; NaN where the panel shows nothing (outside
// the projection disc).
struct Field {
  int width = 0, height = 0;
  std::vector<double> v;
  double At(int x, int y) const { return v[static_cast<std::size_t>(y) * width + x]; }
};

// The colours of a value on the picture's scale.
class Scale {
 public:
  Scale(Real lo, Real hi, std::vector<Real> levels, bool bands)
      : lo_(static_cast<double>(lo)), hi_(static_cast<double>(hi)), bands_(bands) {
    for (Real l : levels) levels_.push_back(static_cast<double>(l));
  }
  double Fraction(double v) const { return hi_ > lo_ ? (v - lo_) / (hi_ - lo_) : 0.5; }
  Rgb Colour(double v) const {
    if (!bands_) return core::ScaleColour(Fraction(v));
    std::size_t band = 0;
    while (band < levels_.size() && v >= levels_[band]) ++band;
    return core::ScaleColour(levels_.empty() ? 0.5
                                             : static_cast<double>(band) /
                                                   static_cast<double>(levels_.size()));
  }
  // Whether a contour level lies between two values; a value that is the level but for the
  // rounding of the interpolation counts as on it, so a flat region draws no line.
  bool Crosses(double a, double b) const {
    if (!std::isfinite(a) || !std::isfinite(b)) return false;
    const double e = 1e-9 * (std::abs(hi_) + std::abs(lo_) + 1);
    for (double l : levels_)
      if ((a < l - e) != (b < l - e)) return true;
    return false;
  }
  const std::vector<double>& Levels() const { return levels_; }
  double lo() const { return lo_; }
  double hi() const { return hi_; }
  bool bands() const { return bands_; }

 private:
  double lo_, hi_;
  std::vector<double> levels_;
  bool bands_;
};

// Colours the field into the image at (x0, y0) and draws the contour lines where a level passes
// between a pixel and its right or lower neighbour.
void PaintField(core::RasterImage& image, int x0, int y0, const Field& f, const Scale& scale) {
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      const double v = f.At(x, y);
      if (!std::isfinite(v)) continue;
      const bool line = (x + 1 < f.width && scale.Crosses(v, f.At(x + 1, y))) ||
                        (y + 1 < f.height && scale.Crosses(v, f.At(x, y + 1)));
      image.Set(x0 + x, y0 + y, line ? kLine : scale.Colour(v));
    }
}

// The colour bar: the scale from the least value (bottom) to the largest (top), a tick and the
// value at each level, and the ends labelled.
void DrawColourBar(core::Picture& p, int x, int top, int height, const Scale& scale) {
  constexpr int kBarWidth = 22;
  p.texts.push_back({x - 4, top - 30, 2, "m.r.d."});
  for (int j = 0; j < height; ++j) {
    const double v = scale.hi() - (scale.hi() - scale.lo()) * (j + 0.5) / height;
    p.image.FillRect(x, top + j, kBarWidth, 1, scale.Colour(v));
  }
  p.image.FillRect(x - 1, top - 1, kBarWidth + 2, 1, kBlack);
  p.image.FillRect(x - 1, top + height, kBarWidth + 2, 1, kBlack);
  p.image.FillRect(x - 1, top, 1, height, kBlack);
  p.image.FillRect(x + kBarWidth, top, 1, height, kBlack);
  const auto yOf = [&](double v) {
    return top + static_cast<int>(std::lround((1 - scale.Fraction(v)) * (height - 1)));
  };
  std::vector<int> labelled;
  const auto label = [&](double v, const std::string& text, bool force) {
    const int y = yOf(v);
    for (int other : labelled)
      if (!force && std::abs(other - y) < 16) return;
    labelled.push_back(y);
    p.image.FillRect(x + kBarWidth, y, 6, 1, kBlack);
    p.texts.push_back({x + kBarWidth + 10, y - 7, 2, text});
  };
  label(scale.hi(), Number(scale.hi()), true);
  label(scale.lo(), Number(scale.lo()), true);
  for (double l : scale.Levels())
    if (l > scale.lo() && l < scale.hi()) {
      p.image.FillRect(x, yOf(l), kBarWidth, 1, kLine);
      label(l, Number(l), false);
    }
}

void Frame(core::RasterImage& image, int x, int y, int w, int h) {
  image.FillRect(x - 1, y - 1, w + 2, 1, kBlack);
  image.FillRect(x - 1, y + h, w + 2, 1, kBlack);
  image.FillRect(x - 1, y, 1, h, kBlack);
  image.FillRect(x + w, y, 1, h, kBlack);
}

std::vector<Real> LevelsOf(const ContourStyle& style, Real lo, Real hi) {
  return style.levels.empty() ? DefaultLevels(lo, hi) : style.levels;
}

}  // namespace

std::array<Real, 3> SectionRegion(CrystalClass crystal, SampleSymmetry sample) {
  Real phi2 = 90;
  bool crystalDiad = true;  // a twofold axis normal to c
  switch (crystal) {
    case kHexagonal:
      phi2 = 60;
      break;
    case kTrigonal1:
      phi2 = 120;
      break;
    case kTrigonal2:
      phi2 = 120;
      crystalDiad = false;
      break;
    case kTetragonal2:
      crystalDiad = false;
      break;
    case kMonoclinic1:
    case kMonoclinic2:
      phi2 = 180;
      crystalDiad = false;
      break;
    case kOrthorhombicClass:
      phi2 = 180;
      break;
    case kTriclinicClass:
      phi2 = 360;
      crystalDiad = false;
      break;
    default:
      break;
  }
  Real phi1 = 360;
  bool sampleDiad = false;
  switch (sample) {
    case kIsotropicSample:
    case kTransversalSample:
    case kOrthorhombicSample:
      phi1 = 90;
      sampleDiad = true;
      break;
    case kMonoclinicSampleY:
    case kMonoclinicSampleZ:
      phi1 = 180;
      break;
    default:
      break;
  }
  return {phi1, crystalDiad || sampleDiad ? Real(90) : Real(180), phi2};
}

std::vector<Real> DefaultSections(CrystalClass crystal, SampleSymmetry sample) {
  const Real range = SectionRegion(crystal, sample)[2];
  const Real step = crystal == kCubic ? 5 : range / 6;
  std::vector<Real> out;
  for (Real a = 0; a <= range + 1e-9L; a += step) out.push_back(a);
  return out;
}

std::vector<Real> DefaultLevels(Real minimum, Real maximum) {
  std::vector<Real> out;
  for (Real l : {0.5L, 1.0L, 1.5L, 2.0L, 3.0L, 4.0L, 6.0L, 8.0L, 12.0L, 16.0L, 24.0L, 32.0L, 48.0L,
                 64.0L, 96.0L, 128.0L, 192.0L, 256.0L})
    if (l > minimum && l < maximum) out.push_back(l);
  return out;
}

core::Picture DrawOdfSections(const OrientationsRec& ctx, const std::vector<Real>& phi2,
                              const ContourStyle& style) {
  const std::array<Real, 3> region =
      SectionRegion(ctx.Cryst.SYS, static_cast<SampleSymmetry>(ctx.SYMMETRY));
  const ODFValueRange range = ODFRange(ctx);
  const Real lo = range.minimum, hi = range.maximum;
  const Scale scale(lo, hi, LevelsOf(style, lo, hi), style.bands);

  // Panels of at most 320 x 160 pixels at one scale for both angles.
  const double perDegree =
      std::min(320.0 / static_cast<double>(region[0]), 160.0 / static_cast<double>(region[1]));
  const int w = static_cast<int>(std::lround(static_cast<double>(region[0]) * perDegree));
  const int h = static_cast<int>(std::lround(static_cast<double>(region[1]) * perDegree));
  const int gapX = 36, gapY = 44, left = 44, top = 64;
  const int n = static_cast<int>(phi2.size());
  const int cols = std::clamp(1000 / (w + gapX), 1, std::max(n, 1));
  const int rows = (n + cols - 1) / cols;
  const int barX = left + cols * (w + gapX) + 10;
  const int width = barX + 110;
  const int height = std::max(top + rows * (h + gapY) + 30, top + 260);

  core::Picture p;
  p.image = core::RasterImage(width, height, kWhite);
  p.texts.push_back({left, 12, 2, "ODF sections phi2 = const, m.r.d."});
  p.texts.push_back({left, 36, 1,
                     "phi1 0.." + Whole(region[0]) + " across, Phi 0.." + Whole(region[1]) +
                         " down (degrees)"});
  for (int k = 0; k < n; ++k) {
    const int x0 = left + (k % cols) * (w + gapX), y0 = top + (k / cols) * (h + gapY) + 18;
    const Real a2 = phi2[static_cast<std::size_t>(k)];
    Field f{w, h, std::vector<double>(static_cast<std::size_t>(w) * h)};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Real a1 = (x + 0.5L) / w * region[0], a = (y + 0.5L) / h * region[1];
        f.v[static_cast<std::size_t>(y) * w + x] =
            static_cast<double>(InterpolateODF(ctx, a1, a, a2));
      }
    PaintField(p.image, x0, y0, f, scale);
    Frame(p.image, x0, y0, w, h);
    p.texts.push_back({x0, y0 - 18, 2, "phi2 = " + Number(a2)});
    p.texts.push_back({x0, y0 + h + 4, 1, "0"});
    const std::string right = Whole(region[0]);
    p.texts.push_back({x0 + w - core::TextWidth(right, 1), y0 + h + 4, 1, right});
    p.texts.push_back({x0 - 8, y0, 1, "0"});
    const std::string bottom = Whole(region[1]);
    p.texts.push_back({x0 - 4 - core::TextWidth(bottom, 1), y0 + h - 7, 1, bottom});
  }
  DrawColourBar(p, barX, top + 18, std::min(320, height - top - 50), scale);
  return p;
}

std::string PoleFigureTitle(Real h, Real k, Real l) {
  return "{" + Number(h) + " " + Number(k) + " " + Number(l) + "}";
}

PoleFigurePanel PanelOf(const PoleFigureRec& pf) {
  PoleFigurePanel panel;
  panel.title = PoleFigureTitle(pf.h, pf.k, pf.l);
  for (int t = 0; t < kPoleFigureTilts; ++t) {
    panel.mrd.emplace_back();
    for (int a = 0; a < kPoleFigureAzimuths; ++a) panel.mrd.back().push_back(pf.Mrd(t, a));
  }
  return panel;
}

core::Picture DrawPoleFigures(const std::vector<PoleFigurePanel>& figures,
                              const ContourStyle& style) {
  Real lo = 0, hi = 0;
  bool first = true;
  for (const PoleFigurePanel& f : figures)
    for (const auto& row : f.mrd)
      for (Real v : row) {
        lo = first ? v : std::min(lo, v);
        hi = first ? v : std::max(hi, v);
        first = false;
      }
  const Scale scale(lo, hi, LevelsOf(style, lo, hi), style.bands);

  constexpr int kRadius = 130;
  const int size = 2 * kRadius, gap = 56, left = 30, top = 70;
  const int n = static_cast<int>(figures.size());
  const int barX = left + n * (size + gap) + 10;
  const int width = barX + 110, height = top + size + 70;
  core::Picture p;
  p.image = core::RasterImage(width, height, kWhite);
  p.texts.push_back({left, 12, 2, "Pole figures, equal-area projection, m.r.d."});
  for (int k = 0; k < n; ++k) {
    const PoleFigurePanel& pf = figures[static_cast<std::size_t>(k)];
    const int x0 = left + k * (size + gap), y0 = top;
    Field f{size, size, std::vector<double>(static_cast<std::size_t>(size) * size, NAN)};
    const int tilts = static_cast<int>(pf.mrd.size());
    Real fmax = -HUGE_VALL, fmin = HUGE_VALL;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const double dx = (x + 0.5 - kRadius) / kRadius, dy = (kRadius - y - 0.5) / kRadius;
        const double r = std::sqrt(dx * dx + dy * dy);
        if (r > 1 || tilts < 2) continue;
        // Equal area: r = sqrt(2) sin(psi / 2) reaches 1 at psi = 90 degrees.
        const double psi = 2 * std::asin(std::min(1.0, r / std::sqrt(2.0))) * 180 / kPi;
        double phi = std::atan2(dy, dx) * 180 / kPi;
        if (phi < 0) phi += 360;
        const double t = std::min(psi / 5, tilts - 1.000001), a = phi / 5;
        const int t0 = static_cast<int>(t), a0 = static_cast<int>(a);
        const double ft = t - t0, fa = a - a0;
        const auto& r0 = pf.mrd[static_cast<std::size_t>(t0)];
        const auto& r1 = pf.mrd[static_cast<std::size_t>(t0 + 1)];
        const int azimuths = static_cast<int>(r0.size());
        const auto at = [&](const std::vector<Real>& row, int i) {
          return static_cast<double>(row[static_cast<std::size_t>(i % azimuths)]);
        };
        f.v[static_cast<std::size_t>(y) * size + x] =
            (1 - ft) * ((1 - fa) * at(r0, a0) + fa * at(r0, a0 + 1)) +
            ft * ((1 - fa) * at(r1, a0) + fa * at(r1, a0 + 1));
      }
    for (const auto& row : pf.mrd)
      for (Real v : row) {
        fmax = std::max(fmax, v);
        fmin = std::min(fmin, v);
      }
    PaintField(p.image, x0, y0, f, scale);
    // The rim and the sample axes.
    for (int s = 0; s < 2000; ++s) {
      const double a = 2 * kPi * s / 2000;
      p.image.Set(x0 + static_cast<int>(std::lround(kRadius + kRadius * std::cos(a) - 0.5)),
                  y0 + static_cast<int>(std::lround(kRadius - kRadius * std::sin(a) - 0.5)),
                  kBlack);
    }
    p.image.FillRect(x0 + kRadius - 4, y0 + kRadius, 9, 1, kBlack);
    p.image.FillRect(x0 + kRadius, y0 + kRadius - 4, 1, 9, kBlack);
    p.texts.push_back({x0 + size + 5, y0 + kRadius - 7, 2, "X"});
    p.texts.push_back({x0 + kRadius - 5, y0 - 18, 2, "Y"});
    p.texts.push_back({x0, y0 - 30, 2, pf.title});
    p.texts.push_back({x0, y0 + size + 10, 2, "max = " + Number(fmax)});
    p.texts.push_back({x0, y0 + size + 30, 2, "min = " + Number(fmin)});
  }
  DrawColourBar(p, barX, top, size, scale);
  return p;
}

}  // namespace polydec::texture
