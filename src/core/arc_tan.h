// The angle of a point in double precision, fast: the loops along diffraction fibres turn
// three matrix entries into angles at every point, and the library's arc tangent costs more
// there than the rest of the point together.
#pragma once

#include <cmath>
#include <limits>

namespace polydec::core {

namespace arc_tan_detail {

inline constexpr int kSteps = 64;
// atan(j/64), j = 0..64, rounded to double.
// clang-format off
inline constexpr double kTable[kSteps + 1] = {
    0, 0.015623728620476831, 0.031239833430268277, 0.046840712915969654,
    0.06241880999595735, 0.077966633831542301, 0.09347678115858947, 0.10894195698986579,
    0.12435499454676144, 0.13970887428916365, 0.15499674192394097, 0.17021192528547441,
    0.18534794999569476, 0.20039855382587851, 0.21535769969773805, 0.23021958727684372,
    0.24497866312686414, 0.25962962940825751, 0.27416745111965879, 0.28858736189407741,
    0.30288486837497142, 0.31705575320914703, 0.3310960767041321, 0.34500217720710513,
    0.35877067027057225, 0.3723984466767542, 0.38588266939807375, 0.39922076957525254,
    0.41241044159738732, 0.42544963737004227, 0.43833655985795783, 0.4510696559885235,
    0.46364760900080609, 0.47606933032276122, 0.48833395105640554, 0.50044081314729416,
    0.51238946031073773, 0.52417962878291324, 0.5358112379604637, 0.54728438098743692,
    0.55859931534356244, 0.56975645348297843, 0.58075635356767041, 0.59159971033511138,
    0.60228734613496415, 0.61282020216524136, 0.6231993299340659, 0.63342588296914459,
    0.64350110879328437, 0.65342634118076193, 0.66320299270609329, 0.67283254759376321,
    0.68231655487474807, 0.69165662185319987, 0.70085440788445019, 0.70991161846352491,
    0.71882999962162453, 0.72761133262651068, 0.7362574289814281, 0.74477012571607515,
    0.75315128096219441, 0.76140276980557842, 0.7695264804056583, 0.77752431037334779,
    0.78539816339744828,
};
// clang-format on

// atan(p/q) for 0 <= p <= q, q > 0 finite. With c = j/64 the nearest table point, atan(p/q) =
// atan(c) + atan(u), u = (p - cq)/(q + cp), |u| <= 1/128; the series of atan(u) to u^7 leaves
// less than u^9/9 < 1e-19.
inline double OfRatio(double p, double q, double ratio) {
  const int j = static_cast<int>(ratio * kSteps + 0.5);
  const double c = j * (1.0 / kSteps);  // exact
  const double u = (p - c * q) / (q + c * p);
  const double u2 = u * u;
  return kTable[j] + (u + (u * u2) * (-1.0 / 3 + u2 * (1.0 / 5 - u2 * (1.0 / 7))));
}

}  // namespace arc_tan_detail

// The angle of the point (x, y) in [-pi, pi] as std::atan2 gives it, to within about an ulp,
// at a third of its cost. The origin, infinities and NaN go to the library, which knows their
// conventions.
inline double ArcTan2(double y, double x) {
  constexpr double kHalfPi = 1.5707963267948966, kPiDouble = 3.1415926535897931;
  const double ax = std::fabs(x), ay = std::fabs(y);
  const bool steep = ay > ax;
  const double p = steep ? ax : ay, q = steep ? ay : ax;
  const double ratio = p / q;
  // The ratio is NaN at the origin and for NaN or two infinite coordinates.
  if (!(ratio <= 1 && q <= std::numeric_limits<double>::max())) return std::atan2(y, x);
  double a = arc_tan_detail::OfRatio(p, q, ratio);
  if (steep) a = kHalfPi - a;
  if (std::signbit(x)) a = kPiDouble - a;
  return std::signbit(y) ? -a : a;
}

}  // namespace polydec::core
