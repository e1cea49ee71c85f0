#include "models/aggregate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "core/tensor_inversion.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"
#include "support/stiffness.h"

namespace polydec::models {
namespace {

using core::CijklVector;
using core::Real;
using core::Tensor4;

// The self-consistent rounds stop once a whole round moves the constants by less than 1e-6 GPa
// in sum, so its moduli are good to a few 1e-7 GPa; the direct averages are closed forms, good
// to the rounding of 80-bit sums.
constexpr Real kSelfConsistentTol = 1e-5L;
constexpr Real kClosedFormTol = 1e-12L;

using test::Cubic;

CijklVector Hexagonal(Real c11, Real c12, Real c13, Real c33, Real c44) {
  CijklVector v{};
  v[1] = v[16] = c11;
  v[4] = c12;
  v[6] = v[18] = c13;
  v[21] = c33;
  v[12] = v[19] = c44;
  v[7] = (c11 - c12) / 2;
  return v;
}

IsotropicConstants Of(CijklVector a, int cls, int model) {
  const IsotropicAggregateResult r = CalcIsoMaConst(a, static_cast<polydec::CrystalClass>(cls),
                                                    static_cast<polydec::ModelCode>(model));
  EXPECT_TRUE(r.converged);
  EXPECT_FALSE(r.failed);
  return EngineeringConstants(a);
}

// Shear modulus of the self-consistent cubic aggregate as the positive root of Hershey's cubic
// G^3 + alpha G^2 + beta G + gamma = 0 (Hershey 1954; Kroener 1958), found by bisection between
// the Reuss and Voigt bounds: an evaluation independent of the tensor machinery.
Real HersheyShearModulus(Real c11, Real c12, Real c44) {
  const Real alpha = (5 * c11 + 4 * c12) / 8;
  const Real beta = -c44 * (7 * c11 - 4 * c12) / 8;
  const Real gamma = -c44 * (c11 - c12) * (c11 + 2 * c12) / 8;
  const auto f = [&](Real G) { return ((G + alpha) * G + beta) * G + gamma; };
  Real lo = 5 * (c11 - c12) * c44 / (4 * c44 + 3 * (c11 - c12));
  Real hi = (c11 - c12 + 3 * c44) / 5;
  for (int i = 0; i < 200; ++i) {
    const Real mid = (lo + hi) / 2;
    (f(mid) > 0 ? hi : lo) = mid;
  }
  return lo;
}

TEST(Aggregate, IronMatchesTheClosedFormsOfVoigtReussAndHershey) {
  const CijklVector iron = Cubic(237, 141, 116);
  const IsotropicConstants v = Of(iron, 1, kVoigt);
  const IsotropicConstants r = Of(iron, 1, kReuss);
  const IsotropicConstants h = Of(iron, 1, kHill);
  const IsotropicConstants k = Of(iron, 1, kKroener);
  EXPECT_NEAR(v.G, (237.0L - 141 + 3 * 116) / 5, kClosedFormTol);
  EXPECT_NEAR(r.G, 5 * (237.0L - 141) * 116 / (4 * 116 + 3 * (237.0L - 141)), kClosedFormTol);
  EXPECT_NEAR(h.G, (v.G + r.G) / 2, kClosedFormTol);
  const Real hershey = HersheyShearModulus(237, 141, 116);
  EXPECT_NEAR(hershey, 82.0747L, 1e-4L);
  EXPECT_NEAR(k.G, hershey, kSelfConsistentTol);
  // A cubic crystal has a single bulk modulus: every model gives (C11 + 2 C12)/3.
  for (const IsotropicConstants& c : {v, r, h}) EXPECT_NEAR(c.K, 173, kClosedFormTol * 173);
  EXPECT_NEAR(k.K, 173, kSelfConsistentTol);
  EXPECT_NEAR(k.E, 9 * k.K * k.G / (3 * k.K + k.G), kClosedFormTol * 300);
}

TEST(Aggregate, ModelsAreOrderedByTheirBoundsForCubicAndHexagonalPhases) {
  struct Case {
    const char* name;
    CijklVector c;
    int cls;
  };
  const Case cases[] = {
      {"iron", Cubic(237, 141, 116), 1},
      {"copper", Cubic(168.4L, 121.4L, 75.4L), 1},
      {"aluminium", Cubic(107.3L, 60.9L, 28.3L), 1},
      {"strongly anisotropic cubic", Cubic(100, 80, 60), 1},
      {"alpha-titanium", Hexagonal(162.4L, 92, 69, 180.7L, 46.7L), 2},
      {"magnesium", Hexagonal(59.7L, 26.2L, 21.7L, 61.7L, 16.4L), 2},
      {"zinc", Hexagonal(165, 31.1L, 50, 61.8L, 39.6L), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const IsotropicConstants v = Of(c.c, c.cls, kVoigt);
    const IsotropicConstants r = Of(c.c, c.cls, kReuss);
    const IsotropicConstants h = Of(c.c, c.cls, kHill);
    const IsotropicConstants k = Of(c.c, c.cls, kKroener);
    EXPECT_GT(v.G, h.G);
    EXPECT_GT(h.G, r.G);
    EXPECT_GT(v.E, h.E);
    EXPECT_GT(h.E, r.E);
    EXPECT_GE(v.K, r.K - kClosedFormTol * v.K);
    // The self-consistent estimate lies within the Voigt and Reuss bounds.
    EXPECT_GT(k.G, r.G);
    EXPECT_LT(k.G, v.G);
    EXPECT_GT(k.E, r.E);
    EXPECT_LT(k.E, v.E);
    EXPECT_GE(k.K, r.K - kSelfConsistentTol);
    EXPECT_LE(k.K, v.K + kSelfConsistentTol);
    if (c.cls == 1) {
      EXPECT_NEAR(k.K, v.K, kSelfConsistentTol);
    }
  }
}

TEST(Aggregate, IsotropicCrystalIsItsOwnAggregate) {
  for (int model : {kVoigt, kMVoigt, kReuss, kHill, kKroener, kInverseKroener}) {
    SCOPED_TRACE(model);
    CijklVector a = Cubic(200, 100, 50);
    const IsotropicAggregateResult r = CalcIsoMaConst(a, static_cast<polydec::CrystalClass>(0),
                                                      static_cast<polydec::ModelCode>(model));
    EXPECT_TRUE(r.converged);
    if (model == kKroener) {
      EXPECT_EQ(r.rounds, 1);
    }
    const IsotropicConstants c = EngineeringConstants(a);
    EXPECT_NEAR(c.K, 400.0L / 3, 1e-9L);
    EXPECT_NEAR(c.G, 50, 1e-9L);
    EXPECT_NEAR(c.E, 400.0L / 3, 1e-9L);
    EXPECT_NEAR(c.nu, 1.0L / 3, 1e-12L);
  }
}

TEST(Aggregate, SelfConsistentResultAnnulsTheResidualAndIsIsotropic) {
  // A triclinic crystal: every component takes part.
  CijklVector a{};
  for (int n = 1; n <= 21; ++n) a[n] = 2 + n * 0.7L;
  a[1] = 240, a[16] = 220, a[21] = 260;
  a[4] = 120, a[6] = 110, a[18] = 130;
  a[7] = 70, a[12] = 80, a[19] = 75;
  const CijklVector crystal = a;
  const IsotropicAggregateResult r =
      SelfConsistentAggregate(a, static_cast<polydec::CrystalClass>(10));
  ASSERT_TRUE(r.converged);
  EXPECT_NEAR(a[16], a[1], 1e-12L);
  EXPECT_NEAR(a[21], a[1], 1e-12L);
  EXPECT_NEAR(a[7], (a[1] - a[4]) / 2, 1e-12L);
  for (int p : {2, 3, 5, 8, 9, 10, 11, 13, 14, 15, 17, 20}) EXPECT_EQ(a[p], 0) << p;

  core::ORTN_Array list;
  list.push_back(std::make_unique<core::OrientationsRec>());
  core::OrientationsRec& phase = *list[0];
  core::CijklToTensor(crystal, phase.Lr);
  core::CijklToTensor(a, phase.L);
  phase.SYMMETRY = polydec::kIsotropicSample;
  phase.Cryst.SYS = polydec::kTriclinicClass;
  ASSERT_TRUE(UpdateEshelby(phase));
  const Tensor4 R = IsotropicKroenerResidual(phase.L, phase.S, phase.W, list);
  // Residual in GPa; a settled round leaves it at the size of the last step (1e-6 GPa).
  for (Real x : R.e) EXPECT_LT(std::fabs(x), 1e-5L);
}

TEST(Aggregate, DirectAveragesOfTheClosedFormsForAnyClass) {
  // The Voigt and Reuss averages of a crystal are the closed forms of Hill (1952):
  // 15 G_V = (A - B) + 3 C with A = C11 + C22 + C33, B = C12 + C13 + C23, C = C44 + C55 + C66,
  // and 15 / G_R = 4 (S11 + S22 + S33) - 4 (S12 + S13 + S23) + 3 (S44 + S55 + S66), S in Voigt
  // form (engineering shears).
  const CijklVector ti = Hexagonal(162.4L, 92, 69, 180.7L, 46.7L);
  const IsotropicConstants v = EngineeringConstants(VoigtAggregate(ti));
  const Real A = 162.4L * 2 + 180.7L, B = 92 + 69 * 2, C = 46.7L * 2 + (162.4L - 92) / 2;
  EXPECT_NEAR(v.G, ((A - B) + 3 * C) / 15, kClosedFormTol * 100);
  EXPECT_NEAR(v.K, (A + 2 * B) / 9, kClosedFormTol * 100);

  Tensor4 S;
  core::CijklToTensor(ti, S);
  core::InvertTensor(S, 10);
  const Real s11 = S(1, 1, 1, 1), s33 = S(3, 3, 3, 3), s12 = S(1, 1, 2, 2), s13 = S(1, 1, 3, 3);
  const Real s44 = 4 * S(2, 3, 2, 3), s66 = 4 * S(1, 2, 1, 2);
  const Real gr = 15 / (4 * (2 * s11 + s33) - 4 * (s12 + 2 * s13) + 3 * (2 * s44 + s66));
  const Real kr = 1 / ((2 * s11 + s33) + 2 * (s12 + 2 * s13));
  const IsotropicConstants r = EngineeringConstants(ReussAggregate(ti));
  EXPECT_NEAR(r.G, gr, kClosedFormTol * 100);
  EXPECT_NEAR(r.K, kr, kClosedFormTol * 100);
}

}  // namespace
}  // namespace polydec::models
