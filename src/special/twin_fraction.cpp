#include "special/twin_fraction.h"

#include <algorithm>
#include <cmath>

#include "core/linalg.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::special {

Tensor2 AxisRotationMatrix(const Tensor1& u, Real x) {
  const Real c = std::cos(x), s = std::sin(x), t = 1 - c;
  Tensor2 M;
  M(1, 1) = c + t * u(1) * u(1);
  M(2, 2) = c + t * u(2) * u(2);
  M(3, 3) = c + t * u(3) * u(3);
  M(1, 2) = t * u(1) * u(2) + s * u(3);
  M(1, 3) = t * u(1) * u(3) - s * u(2);
  M(2, 1) = t * u(1) * u(2) - s * u(3);
  M(2, 3) = t * u(2) * u(3) + s * u(1);
  M(3, 1) = t * u(1) * u(3) + s * u(2);
  M(3, 2) = t * u(2) * u(3) - s * u(1);
  return M;
}

TwinOrientationResult TwinOrientation(const core::CrystalData& lattice, const Tensor1& habitPlane,
                                      const Tensor2& g) {
  const Tensor1 n = crystal::PlaneNormal(lattice, habitPlane(1), habitPlane(2), habitPlane(3));
  const Tensor2 R = AxisRotationMatrix(n, core::kPi);
  TwinOrientationResult r;
  const Tensor1 z{{0, 0, 1}};
  Tensor1 Rz;
  core::MatVec3x3(R, z, Rz);
  r.angle = core::VectorAngle(z, Rz);
  core::MatMul3x3(R, g, r.g);
  return r;
}

TwinTaskRead ReadTwinTask(const std::string& col1, const std::string& col2, const std::string& col3,
                          int row) {
  TwinTaskRead out;
  static const char* const kHeaders[] = {"(phi,psi),h,k,l", "habit plane, shear dir.", "window"};
  Real values[15];
  const std::string* cols[3] = {&col1, &col2, &col3};
  const int counts[3] = {5, 6, 4};
  int k = 0;
  for (int c = 0; c < 3; ++c) {
    for (int w = 1; w <= counts[c]; ++w) {
      const std::string word = core::GetWord(*cols[c], w);
      const core::ParsedNumber x = core::ParseNumber(word);
      if (!x.ok() || !std::isfinite(x.value)) {
        out.error.line = row;
        out.error.column = c + 1;
        out.error.field = kHeaders[c];
        out.error.message = word.empty() ? "number " + std::to_string(w) + " is missing"
                                         : "\"" + word + "\" is not a number";
        return out;
      }
      values[k++] = x.value;
    }
  }
  const auto isZero = [&](int first) {
    return values[first] == 0 && values[first + 1] == 0 && values[first + 2] == 0;
  };
  if (isZero(2) || isZero(5)) {
    out.error.line = row;
    out.error.column = isZero(2) ? 1 : 2;
    out.error.field = kHeaders[out.error.column - 1];
    out.error.message = isZero(2) ? "h k l = 0 0 0 names no lattice plane"
                                  : "the habit plane 0 0 0 names no lattice plane";
    return out;
  }
  // A window whose start lies beyond its end holds no direction: its fractions would be 0,
  // shown as if measured.
  for (int a = 0; a < 2; ++a)
    if (values[11 + 2 * a] > values[12 + 2 * a]) {
      out.error.line = row;
      out.error.column = 3;
      out.error.field = kHeaders[2];
      const char* name = a == 0 ? "phi" : "psi";
      out.error.message = std::string("the window's ") + name + " start " +
                          core::FormatGeneral(values[11 + 2 * a]) + " lies beyond its end " +
                          core::FormatGeneral(values[12 + 2 * a]) +
                          " (the window is \"phi_start phi_end psi_start psi_end\")";
      return out;
    }
  TwinTask t;
  t.phi = values[0];
  t.psi = values[1];
  t.hkl = Tensor1{{values[2], values[3], values[4]}};
  t.habitPlane = Tensor1{{values[5], values[6], values[7]}};
  t.shearDirection = Tensor1{{values[8], values[9], values[10]}};
  for (int i = 0; i < 4; ++i) t.window[i] = values[11 + i];
  out.task = t;
  return out;
}

bool HasODF(const core::OrientationsRec& ctx) {
  return ctx.UseODF && ctx.ODFNUMP >= 1 && texture::HasODFGrid(ctx);
}

TwinFractionResult TwinFractions(const core::OrientationsRec& ctx, const TwinTask& task) {
  TwinFractionResult r;
  // The twin angle depends on the habit plane alone; it is shown for an empty window too.
  r.twinAngle = TwinOrientation(ctx.Cryst, task.habitPlane, Tensor2{}).angle * core::kRadToDeg;
  if (!HasODF(ctx)) return r;

  Real total = 0;
  const std::size_t held = std::min<std::size_t>(static_cast<std::size_t>(ctx.ODFNUMP),
                                                 std::min(ctx.ODF.size(), ctx.phi.size()));
  for (std::size_t i = 0; i < held; ++i)
    total += std::sin(ctx.phi[i] * core::kDegToRad) * ctx.ODF[i];
  if (!(total > 0) || !std::isfinite(total)) return r;

  // The window is at most one turn of phi and a half turn of psi wide; wider windows would
  // only repeat directions and could not bound the work.
  const Real nPhi = std::nearbyint((task.window[1] - task.window[0]) / 5);
  const Real nPsi = std::nearbyint((task.window[3] - task.window[2]) / 5);
  const int nPhiSteps = static_cast<int>(std::clamp<Real>(nPhi, -1, 72));
  const int nPsiSteps = static_cast<int>(std::clamp<Real>(nPsi, -1, 36));
  const core::PolarAnglesRec c =
      crystal::HKLToPolarAngles(ctx.Cryst, task.hkl(1), task.hkl(2), task.hkl(3));
  Real sum1 = 0, sum2 = 0;
  for (int i = 0; i <= nPhiSteps; ++i) {
    const Real phi = (task.window[0] + 5 * i) * core::kDegToRad;
    for (int j = 0; j <= nPsiSteps; ++j) {
      const Real psi = (task.window[2] + 5 * j) * core::kDegToRad;
      for (int m = 0; m <= 36; ++m) {
        const Real lamda = 5 * m * core::kDegToRad;
        const core::EulerAnglesRec e = texture::FiberToEuler(psi, phi, c.psi, c.phi, lamda);
        sum1 += std::sin(e.phi) * texture::ODFValue(ctx, e.phi1, e.phi, e.phi2);
        const Tensor2 g = texture::EulerToMatrix(e.phi1, e.phi, e.phi2);
        const TwinOrientationResult t = TwinOrientation(ctx.Cryst, task.habitPlane, g);
        const core::EulerAnglesRec et = texture::MatrixToEuler(t.g);
        sum2 += std::sin(et.phi) * texture::ODFValue(ctx, et.phi1, et.phi, et.phi2);
      }
    }
  }
  r.hasFractions = true;
  r.fraction = sum1 / total;
  r.twinFraction = sum2 / total;
  return r;
}

}  // namespace polydec::special
