#include "texture/odf_fiber.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "core/linalg.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

Real FiberODFValue(const OrientationsRec& ctx, Real psi, Real phi, Real theta, Real beta,
                   Real lamda) {
  if (ctx.ODFNUMP < 1 || !ctx.UseODF) return 1;
  const core::EulerAnglesRec e = FiberToEuler(psi, phi, theta, beta, lamda);
  return ODFValue(ctx, e.phi1, e.phi, e.phi2);
}

namespace {

// FiberToEuler along one fibre: the sample-side rotation and the trigonometry of theta and
// beta do not depend on lamda, so only cos and sin of lamda are evaluated per point. The
// operations are those of FiberToEuler, and so are the angles, to the last bit.
class FiberPath {
 public:
  FiberPath(Real psi, Real phi, Real theta, Real beta)
      : A_(EulerToMatrix(phi + core::kPi / 2, psi, 0)),
        trig_{1,
              0,
              std::cos(theta),
              std::sin(theta),
              std::cos(core::kPi / 2 - beta),
              std::sin(core::kPi / 2 - beta)} {}

  core::EulerAnglesRec At(Real lamda) const {
    EulerTrig t = trig_;
    t.c1 = std::cos(lamda);
    t.s1 = std::sin(lamda);
    core::Tensor2 G;
    core::MatMul3x3(EulerToMatrix(t), A_, G);
    return MatrixToEuler(G);
  }

 private:
  core::Tensor2 A_;
  EulerTrig trig_;
};

}  // namespace

Real FiberIntegral(OrientationsRec& ctx, int n, Real psi, Real phi, Real theta, Real beta) {
  if (n < 1 || n > kMaxFiberIntervals)
    throw std::invalid_argument("FiberIntegral needs n in 1.." +
                                std::to_string(kMaxFiberIntervals) + ", got " + std::to_string(n));
  const int intervals = 2 * n;
  ctx.HKLODF.ODF.resize(static_cast<std::size_t>(intervals));
  const bool useODF = ctx.ODFNUMP >= 1 && ctx.UseODF;
  const FiberPath path(psi, phi, theta, beta);
  const auto value = [&](Real lamda) -> Real {
    if (!useODF) return 1;
    const core::EulerAnglesRec e = path.At(lamda);
    return ODFValue(ctx, e.phi1, e.phi, e.phi2);
  };
  const Real h = 2 * core::kPi / intervals;
  Real sumOdd = 0, sumEven = 0;
  Real lamda = 0;
  for (int k = 1; k < intervals; ++k) {
    lamda += h;
    const Real f = value(lamda);
    if (k % 2 == 1) {
      sumOdd += f;
    } else {
      sumEven += f;
    }
    ctx.HKLODF.ODF[static_cast<std::size_t>(k)] = f;
  }
  const Real f0 = value(0);
  const Real fEnd = value(2 * core::kPi);
  ctx.HKLODF.Integral = h * (fEnd + f0 + 2 * sumEven + 4 * sumOdd) / 3;
  return ctx.HKLODF.Integral;
}

}  // namespace polydec::texture
