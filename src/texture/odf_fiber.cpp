#include "texture/odf_fiber.h"

#include <stdexcept>
#include <string>

#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

Real FiberODFValue(const OrientationsRec& ctx, Real psi, Real phi, Real theta, Real beta,
                   Real lamda) {
  if (ctx.ODFNUMP < 1 || !ctx.UseODF) return 1;
  const core::EulerAnglesRec e = FiberToEuler(psi, phi, theta, beta, lamda);
  return ODFValue(ctx, e.phi1, e.phi, e.phi2);
}

Real FiberIntegral(OrientationsRec& ctx, int n, Real psi, Real phi, Real theta, Real beta) {
  if (n < 1 || n > kMaxFiberIntervals)
    throw std::invalid_argument("FiberIntegral needs n in 1.." +
                                std::to_string(kMaxFiberIntervals) + ", got " + std::to_string(n));
  const int intervals = 2 * n;
  ctx.HKLODF.ODF.resize(static_cast<std::size_t>(intervals));
  const Real h = 2 * core::kPi / intervals;
  Real sumOdd = 0, sumEven = 0;
  Real lamda = 0;
  for (int k = 1; k < intervals; ++k) {
    lamda += h;
    const Real f = FiberODFValue(ctx, psi, phi, theta, beta, lamda);
    if (k % 2 == 1) {
      sumOdd += f;
    } else {
      sumEven += f;
    }
    ctx.HKLODF.ODF[static_cast<std::size_t>(k)] = f;
  }
  const Real f0 = FiberODFValue(ctx, psi, phi, theta, beta, 0);
  const Real fEnd = FiberODFValue(ctx, psi, phi, theta, beta, 2 * core::kPi);
  ctx.HKLODF.Integral = h * (fEnd + f0 + 2 * sumEven + 4 * sumOdd) / 3;
  return ctx.HKLODF.Integral;
}

}  // namespace polydec::texture
