#include "models/eshelby.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/integration.h"
#include "core/voigt.h"

namespace polydec::models {
namespace {

using core::CijklVector;
using core::EllipsoidAxisLength;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;

// The adaptive sphere integral accepts an interval when two estimates agree to 1e-5
// relative; integrated components of order 0.01..1 are therefore trusted to 1e-5 absolute.
constexpr Real kIntegrationTolerance = 1e-5L;

Tensor4 IsotropicStiffness(Real E, Real nu) {
  const Real mu = E / (2 * (1 + nu));
  const Real lambda = E * nu / ((1 + nu) * (1 - 2 * nu));
  CijklVector v{};
  v[1] = v[16] = v[21] = lambda + 2 * mu;  // 1111, 2222, 3333
  v[4] = v[6] = v[18] = lambda;            // 1122, 1133, 2233
  v[7] = v[12] = v[19] = mu;               // 1212, 1313, 2323
  Tensor4 L;
  core::CijklToTensor(v, L);
  return L;
}

// Olivine (GPa), an orthorhombic matrix with strongly different axes.
Tensor4 OrthorhombicStiffness() {
  CijklVector v{};
  v[1] = 320;     // C11
  v[16] = 197;    // C22
  v[21] = 234;    // C33
  v[4] = 68;      // C12
  v[6] = 71;      // C13
  v[18] = 76;     // C23
  v[19] = 63.7L;  // C44
  v[12] = 77.6L;  // C55
  v[7] = 78.3L;   // C66
  Tensor4 L;
  core::CijklToTensor(v, L);
  return L;
}

OrientationsRec Context(const Tensor4& L, EllipsoidAxisLength axes, int symmetry) {
  OrientationsRec ctx;
  ctx.L = L;
  ctx.Lr = L;
  ctx.Cryst.SYS = symmetry == 0 ? polydec::kIsotropicClass : polydec::kOrthorhombicClass;
  ctx.SYMMETRY = static_cast<polydec::SampleSymmetry>(symmetry);
  ctx.AxisLength = axes;
  return ctx;
}

Real MaxAbsDifference(const Tensor4& a, const Tensor4& b) {
  Real d = 0;
  for (int n = 0; n < 81; ++n) d = std::max(d, std::fabs(a.e[n] - b.e[n]));
  return d;
}

Real DistanceFromIdentity(const Tensor4& A, const Tensor4& B) {
  Tensor4 product;
  core::ContractTensors(A, B, product);
  return MaxAbsDifference(product, core::SymIdentityTensor());
}

// Eshelby tensor of a prolate spheroid (semi-axes 1, 1, alpha > 1 along z) in an isotropic
// matrix, in the closed form of Tandon and Weng (1984).
Tensor4 ProlateSpheroidEshelby(Real alpha, Real nu) {
  const Real a2 = alpha * alpha, d = a2 - 1;
  const Real g = alpha / std::pow(d, 1.5L) * (alpha * std::sqrt(d) - std::acosh(alpha));
  const Real q = 1 / (1 - nu);
  const Real s3333 = q / 2 * (1 - 2 * nu + (3 * a2 - 1) / d - (1 - 2 * nu + 3 * a2 / d) * g);
  const Real s1111 = 3 * q / 8 * a2 / d + q / 4 * (1 - 2 * nu - 9 / (4 * d)) * g;
  const Real s1122 = q / 4 * (a2 / (2 * d) - (1 - 2 * nu + 3 / (4 * d)) * g);
  const Real s1133 = q / 2 * (-a2 / d + 0.5L * (3 * a2 / d - (1 - 2 * nu)) * g);
  const Real s3311 = q / 2 * (2 * nu - 1 - 1 / d + (1 - 2 * nu + 3 / (2 * d)) * g);
  const Real s1212 = q / 4 * (a2 / (2 * d) + (1 - 2 * nu - 3 / (4 * d)) * g);
  const Real s1313 =
      q / 4 * (1 - 2 * nu - (a2 + 1) / d - 0.5L * (1 - 2 * nu - 3 * (a2 + 1) / d) * g);
  // S has the minor symmetries but not the major one, so it is filled entry by entry.
  Tensor4 S;
  auto set = [&S](int i, int j, int k, int l, Real x) {
    S(i, j, k, l) = S(j, i, k, l) = S(i, j, l, k) = S(j, i, l, k) = x;
  };
  set(1, 1, 1, 1, s1111);
  set(2, 2, 2, 2, s1111);
  set(3, 3, 3, 3, s3333);
  set(1, 1, 2, 2, s1122);
  set(2, 2, 1, 1, s1122);
  set(1, 1, 3, 3, s1133);
  set(2, 2, 3, 3, s1133);
  set(3, 3, 1, 1, s3311);
  set(3, 3, 2, 2, s3311);
  set(1, 2, 1, 2, s1212);
  set(1, 3, 1, 3, s1313);
  set(2, 3, 2, 3, s1313);
  return S;
}

TEST(Eshelby, SphereInIsotropicMatrixUsesClosedForm) {
  OrientationsRec ctx = Context(IsotropicStiffness(210, 0.3L), {1, 1, 1}, 0);
  core::FillTensor(ctx.P, 42);
  ASSERT_TRUE(UpdateEshelby(ctx));
  // A handful of 80-bit operations on the Lame constants: 1e-17 absolute.
  EXPECT_NEAR(ctx.S(1, 1, 1, 1), 5.5L / 10.5L, 1e-17L);
  EXPECT_NEAR(ctx.S(3, 3, 3, 3), 5.5L / 10.5L, 1e-17L);
  EXPECT_NEAR(ctx.S(1, 1, 2, 2), 0.5L / 10.5L, 1e-17L);
  EXPECT_NEAR(ctx.S(1, 2, 1, 2), 2.5L / 10.5L, 1e-17L);
  EXPECT_EQ(ctx.S(2, 1, 1, 2), ctx.S(1, 2, 1, 2));
  EXPECT_EQ(ctx.S(1, 1, 1, 2), 0);
  // The closed form yields no polarization tensor; P keeps what it held.
  for (Real x : ctx.P.e) EXPECT_EQ(x, 42);
  // Inverses to the rounding of 80-bit inversions.
  EXPECT_LT(DistanceFromIdentity(ctx.W, ctx.S), 1e-15L);
  EXPECT_LT(DistanceFromIdentity(ctx.M, ctx.L), 1e-15L);
  EXPECT_LT(DistanceFromIdentity(ctx.Mr, ctx.Lr), 1e-15L);
  // Q = L:(I - S): for a sphere in an isotropic matrix Q1111 = L1111 - (L1111 S1111 +
  // 2 L1122 S1122).
  const Tensor4& L = ctx.L;
  const Real q1111 =
      L(1, 1, 1, 1) - (L(1, 1, 1, 1) * ctx.S(1, 1, 1, 1) + 2 * L(1, 1, 2, 2) * ctx.S(2, 2, 1, 1));
  EXPECT_NEAR(ctx.Q(1, 1, 1, 1), q1111, 1e-13L);
}

// A sphere in an isotropic matrix under an anisotropic sample symmetry is integrated; the
// result must reproduce the closed form to the integration tolerance.
TEST(Eshelby, IntegratedSphereAgreesWithClosedForm) {
  const Tensor4 L = IsotropicStiffness(210, 0.3L);
  Tensor4 closed;
  SphereEshelbyTensor(L, closed);
  for (int symmetry : {2, 7, 8, 9, 10}) {
    SCOPED_TRACE(symmetry);
    OrientationsRec ctx = Context(L, {1, 1, 1}, symmetry);
    ASSERT_TRUE(UpdateEshelby(ctx));
    EXPECT_LT(MaxAbsDifference(ctx.S, closed), kIntegrationTolerance);
    EXPECT_LT(DistanceFromIdentity(ctx.W, ctx.S), 1e-14L);
    EXPECT_LT(DistanceFromIdentity(ctx.M, ctx.L), 1e-14L);
    if (symmetry == 2) {
      // Completed from the transversely isotropic partners, not integrated.
      EXPECT_EQ(ctx.P(2, 2, 2, 2), ctx.P(1, 1, 1, 1));
      EXPECT_EQ(ctx.P(2, 2, 3, 3), ctx.P(1, 1, 3, 3));
      EXPECT_EQ(ctx.P(2, 3, 2, 3), ctx.P(1, 3, 1, 3));
      EXPECT_EQ(ctx.P(1, 2, 1, 2), (ctx.P(1, 1, 1, 1) - ctx.P(1, 1, 2, 2)) / 2);
    }
  }
}

// Only the ratios of the semi-axes matter.
TEST(Eshelby, UniformlyScaledSphereGivesSameTensors) {
  const Tensor4 L = OrthorhombicStiffness();
  OrientationsRec unit = Context(L, {1, 1, 1}, 7);
  ASSERT_TRUE(UpdateEshelby(unit));
  for (Real size : {2.0L, 3.0L, 0.1L}) {
    SCOPED_TRACE(static_cast<double>(size));
    OrientationsRec scaled = Context(L, {size, size, size}, 7);
    ASSERT_TRUE(UpdateEshelby(scaled));
    // Rounding of the scaled directions only: 1e-15 of the largest entry.
    EXPECT_LT(MaxAbsDifference(scaled.S, unit.S), 1e-15L);
    EXPECT_LT(MaxAbsDifference(scaled.P, unit.P), 1e-15L * std::fabs(unit.P(1, 1, 1, 1)));
  }
}

// Spheroids in an isotropic matrix against the closed form of Tandon and Weng (1984),
// whatever the sample symmetry says: a non-spherical grain always takes the orthorhombic list.
TEST(Eshelby, SpheroidsAgreeWithAnalyticSolution) {
  const Real nu = 0.3L;
  const Tensor4 L = IsotropicStiffness(210, nu);
  struct Case {
    EllipsoidAxisLength axes;
    Real aspect;
    int longAxis;
  };
  const Case cases[] = {
      {{1, 1, 10}, 10, 3}, {{1, 1, 2}, 2, 3}, {{10, 1, 1}, 10, 1}, {{2, 1, 1}, 2, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<double>(c.axes.a) * 100 + static_cast<double>(c.axes.c));
    OrientationsRec ctx = Context(L, c.axes, 0);
    ASSERT_TRUE(UpdateEshelby(ctx));
    const Tensor4 reference = ProlateSpheroidEshelby(c.aspect, nu);
    // Map the spheroid's axis 3 onto the grain's long axis: x -> z, y -> x, z -> y for a
    // grain along x.
    const int sigma[4] = {0, c.longAxis == 3 ? 1 : 3, c.longAxis == 3 ? 2 : 1,
                          c.longAxis == 3 ? 3 : 2};
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j)
        for (int k = 1; k <= 3; ++k)
          for (int l = 1; l <= 3; ++l)
            EXPECT_NEAR(ctx.S(i, j, k, l), reference(sigma[i], sigma[j], sigma[k], sigma[l]),
                        kIntegrationTolerance)
                << i << j << k << l;
    EXPECT_LT(DistanceFromIdentity(ctx.W, ctx.S), 1e-14L);
  }
  OrientationsRec needle = Context(L, {1, 1, 10}, 0);
  ASSERT_TRUE(UpdateEshelby(needle));
  EXPECT_LT(needle.S(3, 3, 3, 3), 0.05L);
  EXPECT_GT(needle.S(1, 1, 1, 1), 5.5L / 10.5L);
}

// In an orthorhombic matrix a sphere has an orthorhombic P. Integrating all 21 components
// (triclinic sample) must give the same tensors: the nine shared components bit for bit,
// since each keeps its own adaptive decisions, and the others zero to the tolerance.
TEST(Eshelby, AnisotropicMatrixTriclinicListAgreesWithOrthorhombic) {
  const Tensor4 L = OrthorhombicStiffness();
  OrientationsRec ortho = Context(L, {1, 1, 1}, 7);
  OrientationsRec tric = Context(L, {1, 1, 1}, 10);
  ASSERT_TRUE(UpdateEshelby(ortho));
  ASSERT_TRUE(UpdateEshelby(tric));
  const auto& list = core::SymmetryComponents[7];
  const Real scale = std::fabs(ortho.P(1, 1, 1, 1));
  for (int n = 1; n <= 21; ++n) {
    int i, j, k, l;
    core::CijklIndex(n, i, j, k, l);
    const bool orthorhombic = std::find(list.begin() + 1, list.end(), n) != list.end();
    if (orthorhombic)
      EXPECT_EQ(tric.P(i, j, k, l), ortho.P(i, j, k, l)) << n;
    else
      EXPECT_NEAR(tric.P(i, j, k, l), 0, kIntegrationTolerance * scale) << n;
  }
  EXPECT_LT(MaxAbsDifference(tric.S, ortho.S), kIntegrationTolerance);
  EXPECT_LT(DistanceFromIdentity(ortho.W, ortho.S), 1e-14L);
  EXPECT_LT(DistanceFromIdentity(tric.W, tric.S), 1e-14L);
  EXPECT_LT(DistanceFromIdentity(ortho.M, ortho.L), 1e-14L);
  // S = P:L, checked by an explicit contraction.
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) {
          Real s = 0;
          for (int m = 1; m <= 3; ++m)
            for (int n = 1; n <= 3; ++n) s += ortho.P(i, j, m, n) * L(m, n, k, l);
          EXPECT_NEAR(ortho.S(i, j, k, l), s, 1e-15L);
        }
  // The sphere is not isotropic in this matrix: its S differs from the closed form of the
  // isotropic part by far more than the tolerance.
  Tensor4 closed;
  SphereEshelbyTensor(L, closed);
  EXPECT_GT(MaxAbsDifference(ortho.S, closed), 100 * kIntegrationTolerance);
}

// An axis-aligned ellipsoid shares only the twofold axis with a monoclinic matrix: its P has
// the components of that class (C15-type about Y, C16-type about Z), which the integration
// over all 21 components confirms, and which an orthorhombic integration would drop.
TEST(Eshelby, EllipsoidInAMonoclinicMatrixKeepsTheMonoclinicComponents) {
  for (const int cls : {8, 9}) {
    SCOPED_TRACE(cls);
    CijklVector v{};
    core::TensorToCijkl(OrthorhombicStiffness(), v);
    const int a = cls == 8 ? 3 : 2;  // C15, C25, C35, C46 about Y; C16, C26, C36, C45 about Z
    const int b = cls == 8 ? 2 : 3;
    v[core::CijklPosition(1, 1, 1, a)] = 25;
    v[core::CijklPosition(1, a, 2, 2)] = -18;
    v[core::CijklPosition(1, a, 3, 3)] = 12;
    v[core::CijklPosition(1, b, 2, 3)] = 9;
    Tensor4 L;
    core::CijklToTensor(v, L);
    OrientationsRec mono = Context(L, {1, 2, 3}, cls);
    OrientationsRec tric = Context(L, {1, 2, 3}, 10);
    ASSERT_TRUE(UpdateEshelby(mono));
    ASSERT_TRUE(UpdateEshelby(tric));
    const auto& list = core::SymmetryComponents[static_cast<std::size_t>(cls)];
    const Real scale = std::fabs(mono.P(1, 1, 1, 1));
    for (int n = 1; n <= 21; ++n) {
      int i, j, k, l;
      core::CijklIndex(n, i, j, k, l);
      if (std::find(list.begin() + 1, list.end(), n) != list.end())
        EXPECT_EQ(tric.P(i, j, k, l), mono.P(i, j, k, l)) << n;
      else
        EXPECT_NEAR(tric.P(i, j, k, l), 0, kIntegrationTolerance * scale) << n;
    }
    EXPECT_GT(std::fabs(mono.P(1, 1, 1, a)), 1000 * kIntegrationTolerance * scale);
    EXPECT_LT(DistanceFromIdentity(mono.W, mono.S), 1e-14L);
  }
}

// The shared evaluation must give exactly the bits of integrating every listed component on
// its own with the nested adaptive rule and the plain integrand.
TEST(Eshelby, SharedEvaluationEqualsComponentwiseIntegration) {
  struct Case {
    Tensor4 L;
    EllipsoidAxisLength axes;
    int symmetry;
  };
  const Case cases[] = {{OrthorhombicStiffness(), {1, 2, 3}, 7},
                        {IsotropicStiffness(210, 0.3L), {1, 1, 10}, 0},
                        {OrthorhombicStiffness(), {1, 1, 1}, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symmetry);
    Tensor4 S, P;
    const bool sphere = c.axes.a == c.axes.b && c.axes.a == c.axes.c;
    const int cls = sphere ? c.symmetry : 7;
    EshelbyTensor(c.L, c.axes, cls, S, P);
    const auto& list = core::SymmetryComponents[cls];
    for (int t = 1; t <= list[0]; ++t) {
      int i, j, k, l;
      core::CijklIndex(list[t], i, j, k, l);
      int outerCount = 0;
      const Real reference = core::SphereIntegral(
          [&](Real phi, Real theta) {
            return PolarizationIntegrand(c.axes, i, j, k, l, c.L, phi, theta);
          },
          1e-5L, 50, outerCount);
      EXPECT_EQ(P(i, j, k, l), reference) << i << j << k << l;
    }
  }
}

TEST(Eshelby, RefusedSemiAxesLeaveContextUntouched) {
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  const Real inf = std::numeric_limits<Real>::infinity();
  struct Case {
    EllipsoidAxisLength axes;
    const char* message;
  };
  const Case cases[] = {
      {{0, 1, 1}, "Grain shape: the semi-axes must be positive numbers (got a = 0)"},
      {{0, 0, 0}, "Grain shape: the semi-axes must be positive numbers (got a = 0)"},
      {{1, -2.5L, 1}, "Grain shape: the semi-axes must be positive numbers (got b = -2.5)"},
      {{1, 1, -0.0L}, "Grain shape: the semi-axes must be positive numbers (got c = -0)"},
      {{1, 1, nan}, "Grain shape: the semi-axes must be positive numbers (got c = nan)"},
      {{inf, 1, 1}, "Grain shape: the semi-axes must be positive numbers (got a = inf)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(CheckAxes(c.axes), c.message);
    OrientationsRec ctx = Context(IsotropicStiffness(210, 0.3L), c.axes, 7);
    for (Tensor4* t : {&ctx.S, &ctx.P, &ctx.W, &ctx.Q, &ctx.M, &ctx.Mr}) core::FillTensor(*t, 7);
    EXPECT_FALSE(UpdateEshelby(ctx));
    for (const Tensor4* t : {&ctx.S, &ctx.P, &ctx.W, &ctx.Q, &ctx.M, &ctx.Mr})
      for (Real x : t->e) ASSERT_EQ(x, 7);
    Tensor4 S, P;
    core::FillTensor(S, 5);
    core::FillTensor(P, 5);
    EshelbyTensor(ctx.L, c.axes, 0, S, P);
    for (Real x : S.e) ASSERT_EQ(x, 5);
    for (Real x : P.e) ASSERT_EQ(x, 5);
  }
  EXPECT_EQ(CheckAxes({1e-3L, 1, 1e3L}), "");
}

}  // namespace
}  // namespace polydec::models
