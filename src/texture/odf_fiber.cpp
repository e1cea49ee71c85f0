#include "texture/odf_fiber.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "core/linalg.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

FiberPath::FiberPath(Real psi, Real phi, Real theta, Real beta)
    : sample_(EulerToMatrix(phi + core::kPi / 2, psi, 0)),
      cosTheta_(std::cos(theta)),
      sinTheta_(std::sin(theta)),
      cosBeta_(std::cos(core::kPi / 2 - beta)),
      sinBeta_(std::sin(core::kPi / 2 - beta)),
      c_(static_cast<double>(cosTheta_)),
      s_(static_cast<double>(sinTheta_)),
      c2_(static_cast<double>(cosBeta_)),
      s2_(static_cast<double>(sinBeta_)) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a_[i][j] = static_cast<double>(sample_(i + 1, j + 1));
}

core::Tensor2 FiberPath::Matrix(Real cosLamda, Real sinLamda) const {
  const core::Tensor2 crystal =
      EulerToMatrix(EulerTrig{cosLamda, sinLamda, cosTheta_, sinTheta_, cosBeta_, sinBeta_});
  core::Tensor2 g;
  core::MatMul3x3(crystal, sample_, g);
  return g;
}

EulerAnglesDouble FiberPath::Angles(double c1, double s1) const {
  const double c = c_, s = s_, c2 = c2_, s2 = s2_;
  // Rows of the crystal-side matrix (EulerToMatrix), then the entries of its product with the
  // sample-side one that the angles read.
  const double e11 = c1 * c2 - s1 * s2 * c, e12 = s1 * c2 + c1 * s2 * c, e13 = s2 * s;
  const double e21 = -c1 * s2 - s1 * c2 * c, e22 = -s1 * s2 + c1 * c2 * c, e23 = c2 * s;
  const double e31 = s1 * s, e32 = -c1 * s, e33 = c;
  const auto& A = a_;
  return FastMatrixToEuler(AngleEntries{
      e11 * A[0][0] + e12 * A[1][0] + e13 * A[2][0], e11 * A[0][1] + e12 * A[1][1] + e13 * A[2][1],
      e11 * A[0][2] + e12 * A[1][2] + e13 * A[2][2], e21 * A[0][2] + e22 * A[1][2] + e23 * A[2][2],
      e31 * A[0][0] + e32 * A[1][0] + e33 * A[2][0], e31 * A[0][1] + e32 * A[1][1] + e33 * A[2][1],
      e31 * A[0][2] + e32 * A[1][2] + e33 * A[2][2]});
}

Real FiberODFValue(const OrientationsRec& ctx, Real psi, Real phi, Real theta, Real beta,
                   Real lamda) {
  if (ctx.ODFNUMP < 1 || !ctx.UseODF) return 1;
  const FiberStep step = MakeFiberStep(lamda);
  const EulerAnglesDouble e =
      FiberPath(psi, phi, theta, beta).Angles(step.cosDouble, step.sinDouble);
  return ODFValueOfDoubles(ctx, e.phi1, e.phi, e.phi2);
}

std::shared_ptr<const std::vector<FiberStep>> TabulatedFiberSteps(int n) {
  if (n < 1 || n > kTabulatedFiberIntervals) return nullptr;
  // A few recent counts per thread: a worksheet row uses one for the fibre average and one
  // for the pole density.
  struct Entry {
    int n = 0;
    std::shared_ptr<const std::vector<FiberStep>> steps;
  };
  thread_local std::array<Entry, 4> recent;
  for (std::size_t i = 0; i < recent.size(); ++i) {
    if (recent[i].n != n) continue;
    const Entry hit = recent[i];
    for (std::size_t j = i; j > 0; --j) recent[j] = recent[j - 1];
    recent[0] = hit;
    return hit.steps;
  }
  auto steps = std::make_shared<std::vector<FiberStep>>(static_cast<std::size_t>(2 * n + 1));
  const int last = 2 * n;
  const Real h = 2 * core::kPi / last;
  Real lamda = 0;
  for (int k = 1; k < last; ++k) {
    lamda += h;
    (*steps)[static_cast<std::size_t>(k)] = MakeFiberStep(lamda);
  }
  steps->front() = MakeFiberStep(0);
  steps->back() = MakeFiberStep(2 * core::kPi);
  for (std::size_t j = recent.size() - 1; j > 0; --j) recent[j] = recent[j - 1];
  recent[0] = {n, steps};
  return steps;
}

namespace {

void CheckIntervals(int n) {
  if (n < 1 || n > kMaxFiberIntervals)
    throw std::invalid_argument("FiberIntegral needs n in 1.." +
                                std::to_string(kMaxFiberIntervals) + ", got " + std::to_string(n));
}

}  // namespace

FiberSamples SampleFiber(const OrientationsRec& ctx, int n, Real psi, Real phi, Real theta,
                         Real beta) {
  CheckIntervals(n);
  FiberSamples out{psi, phi, theta, beta, n, {}};
  out.values.assign(static_cast<std::size_t>(2 * n + 1), 1);
  if (ctx.ODFNUMP < 1 || !ctx.UseODF) return out;
  FiberSteps steps(n);
  const FiberPath path(psi, phi, theta, beta);
  for (int k = 0; k <= 2 * n; ++k) {
    const FiberStep& step = steps[k];
    const EulerAnglesDouble e = path.Angles(step.cosDouble, step.sinDouble);
    out.values[static_cast<std::size_t>(k)] = ODFValueOfDoubles(ctx, e.phi1, e.phi, e.phi2);
  }
  return out;
}

Real FiberIntegral(OrientationsRec& ctx, const FiberSamples& samples) {
  CheckIntervals(samples.n);
  const int last = 2 * samples.n;
  const Real h = 2 * core::kPi / last;
  ctx.HKLODF.ODF.resize(static_cast<std::size_t>(last));
  Real odd = 0, even = 0;
  for (int k = 1; k < last; ++k) {
    const Real f = samples.values[static_cast<std::size_t>(k)];
    (k % 2 == 1 ? odd : even) += f;
    ctx.HKLODF.ODF[static_cast<std::size_t>(k)] = f;
  }
  ctx.HKLODF.Integral =
      h * (samples.values.back() + samples.values.front() + 2 * even + 4 * odd) / 3;
  return ctx.HKLODF.Integral;
}

Real FiberIntegral(OrientationsRec& ctx, int n, Real psi, Real phi, Real theta, Real beta) {
  return FiberIntegral(ctx, SampleFiber(ctx, n, psi, phi, theta, beta));
}

}  // namespace polydec::texture
