// The ODF along the diffraction fibre of one reflection in one measurement direction, and its
// integral over the rotation about the common axis (the pole density of the reflection).
#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "core/records.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::OrientationsRec;
using core::Real;

// The orientations of one fibre: g(lamda) = E(lamda, theta, pi/2 - beta) E(phi + pi/2, psi, 0),
// the product FiberToEuler forms, from cos and sin of lamda alone (the sample-side rotation
// and the trigonometry of theta and beta do not depend on lamda). Same operations, same bits.
class FiberPath {
 public:
  FiberPath(Real psi, Real phi, Real theta, Real beta);
  core::Tensor2 Matrix(Real cosLamda, Real sinLamda) const;
  // The Bunge angles of Matrix(cosLamda, sinLamda) by FastMatrixToEuler: the seven entries it
  // reads are formed by the same products in double precision (the angles are double anyway).
  EulerAnglesDouble Angles(double cosLamda, double sinLamda) const;

 private:
  core::Tensor2 sample_;
  Real cosTheta_, sinTheta_, cosBeta_, sinBeta_;  // of theta and of pi/2 - beta
  // The same in double for Angles.
  double c_, s_, c2_, s2_, a_[3][3];
};

// ODFValue at FiberToEuler(psi, phi, theta, beta, lamda): sample direction (tilt psi, azimuth
// phi), crystal direction (polar angle theta, azimuth beta), rotation lamda; radians. The
// angles are FiberPath::Angles, as at every point of FiberIntegral and of the fibre averages
// (they agree with FiberToEuler's to about 1e-15 rad).
Real FiberODFValue(const OrientationsRec& ctx, Real psi, Real phi, Real theta, Real beta,
                   Real lamda);

// The points of the Simpson rule over lamda in [0, 2pi] with 2n intervals: lamda_k = k h by
// repeated addition of h = 2pi/(2n) for k = 1..2n-1, lamda_0 = 0, lamda_2n = 2pi.
struct FiberStep {
  Real lamda, cosLamda, sinLamda;
  double cosDouble, sinDouble;  // cosLamda, sinLamda rounded, for FiberPath::Angles
};
inline FiberStep MakeFiberStep(Real lamda) {
  const Real c = std::cos(lamda), s = std::sin(lamda);
  return {lamda, c, s, static_cast<double>(c), static_cast<double>(s)};
}
// Tables of the points for the interval counts in use (they are the same for every fibre, so a
// fibre costs no trigonometry), a few per thread; null for n outside 1..kTabulatedFiberIntervals.
inline constexpr int kTabulatedFiberIntervals = 100'000;
std::shared_ptr<const std::vector<FiberStep>> TabulatedFiberSteps(int n);

// The points of the rule for one n: from the shared table, or (n above the table limit)
// computed as they are asked for; asking for k = 1..2n-1 in order then costs one addition
// each, as the accumulation of lamda needs.
class FiberSteps {
 public:
  explicit FiberSteps(int n)
      : last_(2 * n), h_(2 * core::kPi / (2 * n)), table_(TabulatedFiberSteps(n)) {}
  int Last() const { return last_; }
  Real Step() const { return h_; }
  const FiberStep& operator[](int k) {
    if (table_) return (*table_)[static_cast<std::size_t>(k)];
    if (k <= 0 || k >= last_) {
      scratch_ = MakeFiberStep(k <= 0 ? 0 : 2 * core::kPi);
      return scratch_;
    }
    if (k <= done_) done_ = 0, lamda_ = 0;
    for (; done_ < k; ++done_) lamda_ += h_;
    scratch_ = MakeFiberStep(lamda_);
    return scratch_;
  }

 private:
  int last_;
  Real h_;
  std::shared_ptr<const std::vector<FiberStep>> table_;
  int done_ = 0;
  Real lamda_ = 0;
  FiberStep scratch_{};
};

// ∫ f dlamda over [0, 2π] by the composite Simpson rule with 2n intervals, not divided by 2π
// (2π without an ODF). The profile at lamda = k·h, k = 1..2n-1, goes to HKLODF.ODF[k] (given
// 2n entries, entry 0 not written) and the result to HKLODF.Integral. n outside
// 1..kMaxFiberIntervals throws std::invalid_argument.
inline constexpr int kMaxFiberIntervals = 10'000'000;
Real FiberIntegral(OrientationsRec& ctx, int n, Real psi, Real phi, Real theta, Real beta);

// The interval count of the pole density I(ODF) of a measurement; the textured fibre averages
// sample the ODF at the same 2n points, so that one set of lookups serves both.
inline constexpr int kPoleDensityIntervals = 200;

// The values FiberIntegral sums, at the 2n + 1 points of its rule (1 everywhere without an
// ODF in use), with the fibre they belong to: a fibre average of the same fibre weights its
// grain tensors with them instead of looking the ODF up again.
struct FiberSamples {
  Real psi = 0, phi = 0, theta = 0, beta = 0;
  int n = 0;
  std::vector<Real> values;  // k = 0..2n
  bool Of(Real psi_, Real phi_, Real theta_, Real beta_, int n_) const {
    return n == n_ && psi == psi_ && phi == phi_ && theta == theta_ && beta == beta_;
  }
};
// n outside 1..kMaxFiberIntervals throws std::invalid_argument.
FiberSamples SampleFiber(const OrientationsRec& ctx, int n, Real psi, Real phi, Real theta,
                         Real beta);
// FiberIntegral of the sampled fibre: the same sum of the same values, stored the same way.
Real FiberIntegral(OrientationsRec& ctx, const FiberSamples& samples);

}  // namespace polydec::texture
