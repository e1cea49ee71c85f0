#include "models/reflection_dec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "core/tensor_inversion.h"
#include "crystal/lattice.h"
#include "models/untextured_context.h"

namespace polydec::models {
namespace {

using core::CijklVector;
using core::OrientationsRec;
using core::Real;
using core::Tensor1;
using core::Tensor4;

Tensor4 Isotropic(Real c11, Real c12, Real c44) {
  CijklVector v{};
  v[1] = v[16] = v[21] = c11;
  v[4] = v[6] = v[18] = c12;
  v[7] = v[12] = v[19] = c44;
  Tensor4 t;
  core::CijklToTensor(v, t);
  return t;
}

// Isotropic stiffness from Young's modulus and Poisson's ratio.
Tensor4 IsotropicEnu(Real E, Real nu) {
  const Real lambda = E * nu / ((1 + nu) * (1 - 2 * nu));
  const Real mu = E / (2 * (1 + nu));
  return Isotropic(lambda + 2 * mu, lambda, mu);
}

// A context with crystal C, matrix L (isotropic, Poisson ratio nu) and a spherical grain.
OrientationsRec Context(const Tensor4& C, int sys, Real E, Real nu) {
  OrientationsRec ctx;
  ctx.Lr = C;
  ctx.Mr = C;
  core::InvertTensor(ctx.Mr, sys == 0 || sys == 1 || sys == 2 ? sys : 11);
  ctx.L = IsotropicEnu(E, nu);
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, 0);
  // Eshelby tensor of a sphere in an isotropic matrix.
  const Real d = 15 * (1 - nu);
  ctx.S = Isotropic((7 - 5 * nu) / d, (5 * nu - 1) / d, (4 - 5 * nu) / d);
  ctx.W = ctx.S;
  core::InvertTensor(ctx.W, 0);
  ctx.Cryst.a = ctx.Cryst.b = ctx.Cryst.c = 2.866L;
  ctx.Cryst.SYS = static_cast<polydec::CrystalClass>(sys);
  ctx.Cryst.AxisSetting = 1;
  crystal::InitCrystal(ctx.Cryst);
  ctx.hkl(1) = 2;
  ctx.hkl(2) = 1;
  ctx.hkl(3) = 1;
  return ctx;
}

Tensor4 Iron() {
  CijklVector v{};
  v[1] = v[16] = v[21] = 237;
  v[4] = v[6] = v[18] = 141;
  v[7] = v[12] = v[19] = 116;
  Tensor4 t;
  core::CijklToTensor(v, t);
  return t;
}

Tensor4 Triclinic() {
  // Diagonally dominant, hence positive definite, with every component non-zero.
  CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = 3 + (n * 7) % 11;
  v[1] = 240, v[16] = 210, v[21] = 260, v[7] = 80, v[12] = 90, v[19] = 70;
  Tensor4 t;
  core::CijklToTensor(v, t);
  return t;
}

const int kModels[] = {kVoigt, kReuss, kKroener, kInverseKroener, kHill};

Tensor1 Normal(const OrientationsRec& ctx) {
  Tensor1 n;
  const Real phi = ctx.CrystPolAngles.phi, psi = ctx.CrystPolAngles.psi;
  n(1) = std::cos(phi) * std::sin(psi);
  n(2) = std::sin(phi) * std::sin(psi);
  n(3) = std::cos(psi);
  return n;
}

// Tolerance: a few thousand 80-bit roundings of numbers of order 1e-3.
constexpr Real kTol = 1e-15L;

// Grain compliance of the Kroener models with Hill's constraint tensor L* = L:(W - I):
// (C + L*)^-1 : (L + L*) : M, and for the inverse form S : M : (C + L*) : Mr.
Tensor4 FullKroenerTensor(const OrientationsRec& ctx, int code) {
  Tensor4 Lstar, CplusLstar, tmp, out;
  core::AddTensors(ctx.W, core::SymIdentityTensor(), tmp, -1);
  core::ContractTensors(ctx.L, tmp, Lstar);
  core::AddTensors(ctx.Lr, Lstar, CplusLstar, 1);
  if (code == kKroener) {
    Tensor4 LplusLstar;
    core::AddTensors(ctx.L, Lstar, LplusLstar, 1);
    Tensor4 inv = CplusLstar;
    core::InvertTensor(inv, 11);
    core::ContractTensors(inv, LplusLstar, tmp);
    core::ContractTensors(tmp, ctx.M, out);
  } else {
    core::ContractTensors(ctx.S, ctx.M, tmp);
    core::ContractTensors(tmp, CplusLstar, out);
    core::ContractTensors(out, ctx.Mr, out);
  }
  return out;
}

TEST(ReflectionDec, IsotropicCrystalInEqualMatrixGivesItsOwnConstants) {
  const Real E = 210, nu = 0.3L;
  const Tensor4 C = IsotropicEnu(E, nu);
  for (int code : kModels) {
    OrientationsRec ctx = Context(C, 0, E, nu);
    CijklVector t21{};
    ASSERT_TRUE(CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code))) << code;
    EXPECT_NEAR(ctx.s1, -nu / E, kTol) << ModelName(static_cast<polydec::ModelCode>(code));
    EXPECT_NEAR(ctx.s2, (1 + nu) / E, kTol) << ModelName(static_cast<polydec::ModelCode>(code));
  }
}

TEST(ReflectionDec, VoigtIsTheSameForEveryReflection) {
  OrientationsRec ctx = Context(Iron(), 1, 212.6L, 0.295L);
  CijklVector t21{};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kVoigt));
  const Real s1 = ctx.s1, s2 = ctx.s2;
  for (const Tensor1& hkl : {Tensor1{{1, 1, 0}}, Tensor1{{3, 1, 0}}, Tensor1{{2, 2, 2}}}) {
    ctx.hkl = hkl;
    ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kVoigt));
    EXPECT_NEAR(ctx.s1, s1, kTol);
    EXPECT_NEAR(ctx.s2, s2, kTol);
  }
}

TEST(ReflectionDec, ReussCubicGivesDirectionalModulus) {
  OrientationsRec ctx = Context(Iron(), 1, 212.6L, 0.295L);
  CijklVector t21{};
  ctx.hkl = Tensor1{{2, 0, 0}};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kReuss));
  EXPECT_NEAR(ctx.s1 + ctx.s2, ctx.Mr(1, 1, 1, 1), kTol);
  EXPECT_NEAR(ctx.s1, ctx.Mr(1, 1, 2, 2), kTol);
  // 1/E(hkl) = S11 - 2 (S11 - S12 - S44/2) Gamma, Gamma = (h²k² + k²l² + l²h²)/(h²+k²+l²)².
  ctx.hkl = Tensor1{{2, 1, 1}};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kReuss));
  const Real S11 = ctx.Mr(1, 1, 1, 1), S12 = ctx.Mr(1, 1, 2, 2), S44 = 4 * ctx.Mr(2, 3, 2, 3);
  const Real gamma = (4.0L + 1 + 4) / 36;
  EXPECT_NEAR(ctx.s1 + ctx.s2, S11 - 2 * (S11 - S12 - S44 / 2) * gamma, kTol);
}

TEST(ReflectionDec, KroenerWithCrystalEqualToMatrixGivesMatrix) {
  const Real E = 200, nu = 0.28L;
  OrientationsRec ctx = Context(IsotropicEnu(E, nu), 0, E, nu);
  CijklVector t21{};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kKroener));
  CijklVector m{};
  core::TensorToCijkl(ctx.M, m);
  for (int n = 1; n <= 21; ++n) EXPECT_NEAR(t21[n], m[n], kTol) << n;
}

TEST(ReflectionDec, KroenerModelsAgreeWithHillConstraintForm) {
  OrientationsRec ctx = Context(Iron(), 1, 212.6L, 0.295L);
  for (int code : {int{kKroener}, int{kInverseKroener}}) {
    CijklVector t21{}, e21{};
    ASSERT_TRUE(CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code)));
    core::TensorToCijkl(FullKroenerTensor(ctx, code), e21);
    for (int n = 1; n <= 21; ++n)
      EXPECT_NEAR(t21[n], e21[n], kTol) << ModelName(static_cast<polydec::ModelCode>(code)) << n;
  }
}

TEST(ReflectionDec, HillLiesHalfwayBetweenVoigtAndReuss) {
  OrientationsRec ctx = Context(Iron(), 1, 212.6L, 0.295L);
  CijklVector t21{};
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kVoigt));
  const Real v1 = ctx.s1, v2 = ctx.s2;
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kReuss));
  const Real r1 = ctx.s1, r2 = ctx.s2;
  ASSERT_TRUE(CalcReflectionDEC(ctx, t21, kHill));
  EXPECT_NEAR(ctx.s1, (v1 + r1) / 2, kTol);
  EXPECT_NEAR(ctx.s2, (v2 + r2) / 2, kTol);
}

TEST(ReflectionDec, InvariantsHoldForEveryModelOnTriclinicCrystal) {
  OrientationsRec ctx = Context(Triclinic(), 10, 190, 0.3L);
  ctx.Cryst.a = 5.1L, ctx.Cryst.b = 6.3L, ctx.Cryst.c = 7.2L;
  ctx.Cryst.alpha = 81 * core::kDegToRad, ctx.Cryst.beta = 97 * core::kDegToRad;
  ctx.Cryst.gamma = 104 * core::kDegToRad;
  crystal::InitCrystal(ctx.Cryst);
  ctx.hkl = Tensor1{{1, -2, 3}};
  for (int code : kModels) {
    CijklVector t21{};
    ASSERT_TRUE(CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code))) << code;
    ASSERT_TRUE(std::isfinite(ctx.s1) && std::isfinite(ctx.s2))
        << ModelName(static_cast<polydec::ModelCode>(code));
    // The self-consistent grain compliance lacks the major symmetry for a triclinic crystal,
    // so its full form is rebuilt from Hill's constraint tensor instead of from T21.
    Tensor4 T;
    core::CijklToTensor(t21, T);
    if (code == kKroener || code == kInverseKroener) T = FullKroenerTensor(ctx, code);
    const Tensor1 n = Normal(ctx);
    Real uniaxial = 0, hydrostatic = 0;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j)
        for (int k = 1; k <= 3; ++k) {
          hydrostatic += n(i) * n(j) * T(i, j, k, k);
          for (int l = 1; l <= 3; ++l) uniaxial += n(i) * n(j) * n(k) * n(l) * T(i, j, k, l);
        }
    EXPECT_NEAR(ctx.s1 + ctx.s2, uniaxial, kTol)
        << ModelName(static_cast<polydec::ModelCode>(code));
    EXPECT_NEAR(3 * ctx.s1 + ctx.s2, hydrostatic, kTol)
        << ModelName(static_cast<polydec::ModelCode>(code));
  }
}

TEST(ReflectionDec, CodesWithoutModelComputeNothing) {
  OrientationsRec ctx = Context(Iron(), 1, 212.6L, 0.295L);
  for (int code : {5, int{kVookWitt}, 7, -1, 99}) {
    ctx.s1 = 17;
    ctx.s2 = 19;
    CijklVector t21{};
    EXPECT_FALSE(CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code))) << code;
    EXPECT_EQ(ctx.s1, 17);
    EXPECT_EQ(ctx.s2, 19);
    EXPECT_EQ(t21[1], ctx.Mr(1, 1, 1, 1));  // the single-crystal compliance
  }
}

TEST(ReflectionDec, IsotropicAverageOfIsotropicTensorIsItself) {
  Tensor4 t = Isotropic(300, 120, 90);
  const Tensor4 before = t;
  IsotropicAverage(t);
  for (int n = 0; n < 81; ++n) EXPECT_NEAR(t.e[n], before.e[n], 1e-16L);
  // The average keeps the two rotation invariants T_iijj and T_ijij.
  Tensor4 c = Triclinic();
  Tensor4 avg = c;
  IsotropicAverage(avg);
  Real iijj = 0, ijij = 0, avgIijj = 0, avgIjij = 0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      iijj += c(i, i, j, j), ijij += c(i, j, i, j);
      avgIijj += avg(i, i, j, j), avgIjij += avg(i, j, i, j);
    }
  EXPECT_NEAR(avgIijj, iijj, 1e-13L);
  EXPECT_NEAR(avgIjij, ijij, 1e-13L);
}

// Measured along a sample direction, the grains of the fibre averaged: for a sphere every
// direction gives the reflection's own s1 and 1/2 s2 (the grain tensor is a trigonometric
// polynomial of degree 4 along the fibre, which Simpson's rule on 2N = 12 points integrates
// exactly), on a triclinic crystal as on iron; an ellipsoid fixed in the sample makes the
// Kroener constants depend on the direction, the averages without a matrix do not.
TEST(ReflectionDec, DirectionalConstantsOfASphereAreTheReflections) {
  const std::pair<Real, Real> directions[] = {{0, 0}, {30, 45}, {90, 70}, {200, 90}};
  for (const auto& [C, sys] : {std::pair{Iron(), 1}, std::pair{Triclinic(), 10}}) {
    for (int code : kModels) {
      SCOPED_TRACE(ModelName(static_cast<polydec::ModelCode>(code)));
      OrientationsRec ctx = Context(C, sys, 212.6L, 0.295L);
      ctx.IIntervls = 6;
      CijklVector t21{};
      ASSERT_TRUE(CalcReflectionDEC(ctx, t21, static_cast<polydec::ModelCode>(code)));
      const Real s1 = ctx.s1, halfS2 = ctx.s2;
      for (const auto& [phi, psi] : directions) {
        Real d1 = 0, d2 = 0;
        ASSERT_TRUE(CalcDirectionalDEC(ctx, static_cast<polydec::ModelCode>(code),
                                       phi * core::kPi / 180, psi * core::kPi / 180, d1, d2));
        EXPECT_NEAR(d1, s1, 1e-12L * std::fabs(halfS2)) << phi << " " << psi;
        EXPECT_NEAR(d2, halfS2, 1e-12L * std::fabs(halfS2)) << phi << " " << psi;
      }
    }
  }
}

TEST(ReflectionDec, AnEllipsoidMakesOnlyTheKroenerConstantsDirectional) {
  UntexturedInputs in;
  core::TensorToCijkl(Iron(), in.cij);
  in.crystalClass = static_cast<polydec::CrystalClass>(1);
  for (Real& a : in.cell) a = 2.866L;
  in.cell[3] = in.cell[4] = in.cell[5] = 90;
  in.E = 212.6L;
  in.nu = 0.295L;
  in.grainShape = {1, 1, 3};
  OrientationsRec ctx;
  ASSERT_EQ(BuildUntexturedContext(in, ctx), "");
  ctx.IIntervls = 25;
  for (int code : kModels) {
    SCOPED_TRACE(ModelName(static_cast<polydec::ModelCode>(code)));
    Real s1z = 0, h2z = 0, s1x = 0, h2x = 0;
    ASSERT_TRUE(CalcDirectionalDEC(ctx, static_cast<polydec::ModelCode>(code), 0, 0, s1z, h2z));
    ASSERT_TRUE(
        CalcDirectionalDEC(ctx, static_cast<polydec::ModelCode>(code), 0, core::kPi / 2, s1x, h2x));
    const bool directional =
        DecDependsOnDirection(static_cast<polydec::ModelCode>(code), in.grainShape);
    EXPECT_EQ(directional, code == kKroener || code == kInverseKroener);
    if (directional)
      EXPECT_GT(std::fabs(h2z - h2x), 1e-2L * std::fabs(h2z));
    else
      EXPECT_NEAR(h2z, h2x, 1e-6L * std::fabs(h2z));
  }
  EXPECT_FALSE(DecDependsOnDirection(kKroener, {2, 2, 2}));
}

}  // namespace
}  // namespace polydec::models
