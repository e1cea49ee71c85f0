// A pole figure is the density of plane normals h over the sample directions y: the ODF
// integrated along the fibre of orientations that bring h onto y (Bunge, 1982). Normalised by
// its mean over the hemisphere, it is given in multiples of random distribution.
#include "texture/pole_figure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "core/atomic_file.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "texture/odf_fiber.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::FormatPadded;
using core::kPi;

namespace {

constexpr const char* kEol = "\r\n";
constexpr Real kDeg = kPi / 180;

Real Degrees(Real x) { return x / kDeg; }

// The values of a ring written as m.r.d. x 100, rounded to whole numbers.
std::string Value(const PoleFigureRec& pf, int t, int a) {
  return FormatPadded(pf.Mrd(t, a) * 100, 4, 0);
}

}  // namespace

namespace {

// Weight of the ring at tilt t in the mean over the hemisphere: the density taken as linear in
// psi between neighbouring rings and sin psi integrated exactly over each 5-degree interval.
// The weights add up to 1 - cos 90 degrees = 1, so a uniform density is its own mean, and the
// rim at psi = 90 degrees has only the interval on its inner side.
Real RingWeight(int t) {
  const Real h = 5 * kDeg;
  Real w = 0;
  if (t > 0) {  // the interval [a, b] below the ring, the ring at b
    const Real a = (t - 1) * h, b = t * h;
    w += (std::sin(b) - std::sin(a) - h * std::cos(b)) / h;
  }
  if (t < kPoleFigureTilts - 1) {  // the interval [a, b] above the ring, the ring at a
    const Real a = t * h, b = (t + 1) * h;
    w += (h * std::cos(a) + std::sin(a) - std::sin(b)) / h;
  }
  return w;
}

}  // namespace

PoleFigureRec ComputePoleFigure(OrientationsRec& ctx, Real h, Real k, Real l) {
  PoleFigureRec pf;
  pf.h = h, pf.k = k, pf.l = l;
  ctx.hkl(1) = h, ctx.hkl(2) = k, ctx.hkl(3) = l;
  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, h, k, l);
  const Real theta = ctx.CrystPolAngles.psi, beta = ctx.CrystPolAngles.phi;
  pf.integral.assign(kPoleFigureTilts, std::vector<Real>(kPoleFigureAzimuths, 0));
  Real weighted = 0, weights = 0;
  pf.maximum = -1, pf.minimum = 0;
  bool first = true;
  for (int t = 0; t < kPoleFigureTilts; ++t) {
    const Real psi = 5 * t * kDeg;
    Real ring = 0;
    for (int a = 0; a < kPoleFigureAzimuths; ++a) {
      const Real phi = 5 * a * kDeg;
      ctx.SamplePolAngles = {phi, psi};
      // The centre is one sample direction whatever its azimuth: one integral serves it all
      // (the azimuth would only shift the fibre's points against the ODF's grid).
      const Real I = t == 0 && a > 0 ? pf.integral[0][0]
                                     : FiberIntegral(ctx, kPoleFigureFiberIntervals, psi, phi,
                                                     theta, beta);
      pf.integral[static_cast<std::size_t>(t)][static_cast<std::size_t>(a)] = I;
      ring += I;
      if (first || I > pf.maximum) pf.maximum = I;
      if (first || I < pf.minimum) pf.minimum = I;
      first = false;
    }
    const Real w = RingWeight(t);
    weighted += w * ring / kPoleFigureAzimuths;
    weights += w;
  }
  pf.mean = weighted / weights;
  // A texture that vanishes over the whole hemisphere has no density to normalise; the ODF
  // readers never hold one, a grid of zeros typed in a test could.
  if (!(pf.mean > 0) || !std::isfinite(pf.mean))
    throw std::domain_error("the pole figure has no positive mean density");
  return pf;
}

std::string PoplaPoleFigureText(const PoleFigureRec& pf) {
  std::string out = "pole figure generated from ODF max=" + core::FormatFixed(pf.MaxMrd(), 6, 3) +
                    " m.r.d" + kEol;
  out += std::string(" 100   5.0") + FormatPadded(90, 5, 1) + "  5.0" + FormatPadded(360, 5, 1) +
         " 1 1 1 2 3  100    0" + kEol;
  for (int t = 0; t < kPoleFigureTilts; ++t)
    for (int g = 0; g < 4; ++g) {
      out += ' ';
      for (int a = 18 * g; a < 18 * g + 18; ++a) out += Value(pf, t, a);
      if (g == 3) out += "   0";
      out += kEol;
    }
  out += kEol;
  return out;
}

std::string HelmingPoleFigureText(const PoleFigureRec& pf) {
  std::string out;
  for (int t = 0; t < kPoleFigureTilts; ++t) {
    for (int line = 0; line < 8; ++line) {
      out += ' ';
      const int first = 10 * line, last = std::min(first + 10, kPoleFigureAzimuths);
      for (int a = first; a < last; ++a) out += Value(pf, t, a);
      out += kEol;
    }
    out += kEol;
  }
  return out;
}

std::string FibreProfileText(OrientationsRec& ctx, FibreProfileLayout layout, Real phi, Real psi,
                             Real h, Real k, Real l, int steps) {
  if (steps < 1) throw std::invalid_argument("a fibre profile needs at least one lamda step");
  ctx.hkl(1) = h, ctx.hkl(2) = k, ctx.hkl(3) = l;
  const bool useODF = ctx.UseODF;
  const Real psiRad = psi * kDeg, phiRad = phi * kDeg;
  std::string out;
  std::array<Real, 24> sums{};
  std::array<core::PolarAnglesRec, 24> normals{};
  for (int n = 1; n <= 24; ++n) {
    const core::Tensor1 p = HKLPermutation(n, h, k, l);
    normals[static_cast<std::size_t>(n - 1)] = crystal::HKLToPolarAngles(ctx.Cryst, p(1), p(2), p(3));
    if (layout == FibreProfileLayout::kAllPermutations)
      out += FormatPadded(p(1), 2, 0) + FormatPadded(p(2), 2, 0) + FormatPadded(p(3), 2, 0) +
             "\t \t \t \t";
  }
  if (layout == FibreProfileLayout::kAllPermutations) out += kEol;
  for (int v = 0; v <= steps; ++v) {
    const Real lamda = 2 * kPi * v / steps;
    if (layout == FibreProfileLayout::kAllPermutations)
      out += FormatPadded(Degrees(lamda), 7, 2) + "\t";
    for (int n = 0; n < 24; ++n) {
      const core::PolarAnglesRec& c = normals[static_cast<std::size_t>(n)];
      const core::EulerAnglesRec e = FiberToEuler(psiRad, phiRad, c.psi, c.phi, lamda);
      Real value = 1;
      if (useODF) {
        // The 15-degree turn of phi2 is part of this file's layout: other programs read its
        // values with that offset.
        value = ODFValue(ctx, e.phi1, e.phi, e.phi2 + kPi / 12);
        sums[static_cast<std::size_t>(n)] += value;
      }
      const std::string group = FormatPadded(Degrees(e.phi1), 7, 2) + "\t" +
                                FormatPadded(Degrees(e.phi), 7, 2) + "\t" +
                                FormatPadded(Degrees(e.phi2), 7, 2) + "\t" +
                                FormatPadded(value, 7, 2) + "\t";
      if (layout == FibreProfileLayout::kAllPermutations) {
        out += group;
      } else if (e.phi1 <= kPi / 2 && e.phi <= kPi / 2 && e.phi2 <= kPi / 2) {
        out += group + kEol;
      }
    }
    if (layout == FibreProfileLayout::kAllPermutations) out += kEol;
  }
  if (layout == FibreProfileLayout::kAllPermutations) {
    for (Real s : sums) out += FormatPadded(s, 7, 1) + "\t \t \t \t";
    out += kEol;
  }
  return out;
}

std::optional<std::string> WriteTextFile(const std::string& path, const std::string& text) {
  return core::WriteFileAtomically(path, text);
}

}  // namespace polydec::texture
