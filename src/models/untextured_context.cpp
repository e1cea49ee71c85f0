#include "models/untextured_context.h"

#include <cmath>

#include "core/tensor_inversion.h"
#include "crystal/lattice.h"
#include "models/eshelby.h"

namespace polydec::models {

using core::CijklVector;
using core::Real;

CijklVector IsotropicStiffness(Real E, Real nu) {
  const Real c11 = (1 - nu) * E / (1 - 2 * nu) / (1 + nu);
  const Real c12 = nu * E / (1 - 2 * nu) / (1 + nu);
  const Real c44 = (c11 - c12) * 0.5L;
  CijklVector v{};
  v[1] = v[16] = v[21] = c11;
  v[4] = v[6] = v[18] = c12;
  v[7] = v[12] = v[19] = c44;
  return v;
}

core::Tensor4 SphereEshelbyFromNu(Real nu) {
  CijklVector v{};
  v[1] = v[16] = v[21] = (7 - 5 * nu) / 15 / (1 - nu);
  v[4] = v[6] = v[18] = (5 * nu - 1) / 15 / (1 - nu);
  v[7] = v[12] = v[19] = (4 - 5 * nu) / 15 / (1 - nu);
  core::Tensor4 s;
  core::CijklToTensor(v, s);
  return s;
}

std::string BuildUntexturedContext(const UntexturedInputs& in, core::OrientationsRec& ctx) {
  if (in.crystalClass < 0 || in.crystalClass > 10) return "crystal class must be 0..10";
  if (in.axisSetting < 0 || in.axisSetting > 2) return "axis setting must be 0, 1 or 2";
  if (in.hkl[0] == 0 && in.hkl[1] == 0 && in.hkl[2] == 0)
    return "the reflection h k l must not be 0 0 0";
  for (Real x : in.hkl)
    if (!std::isfinite(x)) return "the reflection h k l must be finite numbers";
  // A matrix with nu outside (-1, 0.5) has no positive definite isotropic stiffness.
  if (!(in.E > 0) || !std::isfinite(in.E)) return "the matrix Young's modulus E must be positive";
  if (!(in.nu > -1 && in.nu < 0.5L))
    return "the matrix Poisson's ratio nu must lie between -1 and 0.5";
  const std::string shape = CheckAxes(in.grainShape);
  if (!shape.empty()) return shape;

  core::CijklToTensor(in.cij, ctx.Lr);
  crystal::SetCellFromDegrees(ctx.Cryst, in.cell[0], in.cell[1], in.cell[2], in.cell[3],
                              in.cell[4], in.cell[5]);
  ctx.Cryst.SYS = in.crystalClass;
  const std::string cell = crystal::CheckCell(ctx.Cryst);
  if (!cell.empty()) return cell;
  crystal::InitCrystal(ctx.Cryst);
  ctx.Cryst.AxisSetting = in.axisSetting;
  ctx.hkl(1) = in.hkl[0];
  ctx.hkl(2) = in.hkl[1];
  ctx.hkl(3) = in.hkl[2];

  ctx.Mr = ctx.Lr;
  core::InvertTensor(ctx.Mr, ctx.Cryst.SYS);
  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, in.hkl[0], in.hkl[1], in.hkl[2]);
  ctx.SYMMETRY = in.sampleSymmetry;
  ctx.E = in.E;
  ctx.nu = in.nu;
  core::CijklToTensor(IsotropicStiffness(in.E, in.nu), ctx.L);
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, ctx.SYMMETRY);
  ctx.AxisLength = in.grainShape;
  const auto& ax = in.grainShape;
  const bool sphere = ax.a == ax.b && ax.c == ax.a;
  if (sphere && ctx.SYMMETRY == 0) {
    ctx.S = SphereEshelbyFromNu(in.nu);
    ctx.W = ctx.S;
    core::InvertTensor(ctx.W, 0);
  } else {
    UpdateEshelby(ctx);
  }
  ctx.ODFNUMP = 0;
  return {};
}

SampleSymmetry MatrixSymmetryClass(CrystalClass c) {
  switch (c) {
    case kIsotropicClass:
      return kIsotropicSample;
    case kHexagonal:
      return kTransversalSample;
    case kCubic:
    case kTetragonal1:
    case kOrthorhombicClass:
      return kOrthorhombicSample;
    case kMonoclinic1:
      return kMonoclinicSampleY;
    case kTetragonal2:
    case kMonoclinic2:
      return kMonoclinicSampleZ;
    default:
      return kTriclinicSample;
  }
}

}  // namespace polydec::models
