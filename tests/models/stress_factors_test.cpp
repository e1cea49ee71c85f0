// Stress factors of single measurements on a phase context: the Reuss fibre average against the
// quasi-isotropic s1 and 1/2 s2, the grain shape a measurement leaves for the next ones, the
// refusals, and the lines of a grains file.
#include "models/stress_factors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "core/text_fields.h"
#include "crystal/symmetry_classes.h"
#include "core/tensor_inversion.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/macro_stiffness.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"
#include "support/stiffness.h"
#include "texture/odf_fiber.h"
#include "texture/odf_fixtures.h"

namespace polydec::models {
namespace {

using core::Tensor2;

core::Tensor4 ToTensor(const core::CijklVector& v) {
  core::Tensor4 t;
  core::CijklToTensor(v, t);
  return t;
}

core::CijklVector Hexagonal(Real c11, Real c12, Real c13, Real c33, Real c44) {
  core::CijklVector v{};
  v[1] = v[16] = c11;
  v[21] = c33;
  v[4] = c12;
  v[6] = v[18] = c13;
  v[12] = v[19] = c44;
  v[7] = (c11 - c12) / 2;
  return v;
}

struct Phase {
  const char* name;
  core::CijklVector cij;
  int crystalClass;
  Real cell[6];
  std::array<Real, 3> hkl;
};

const Phase kIron{"iron", test::Cubic(231.4L, 134.7L, 116.4L), crystal::kCubic,
                  {2.8665L, 2.8665L, 2.8665L, 90, 90, 90}, {2, 1, 1}};
const Phase kTitanium{"titanium", Hexagonal(162.4L, 92, 69, 180.7L, 46.7L), crystal::kHexagonal,
                      {2.95L, 2.95L, 4.68L, 90, 90, 120}, {1, 0, 3}};

core::OrientationsRec Context(const Phase& p, int intervals = 6) {
  PhaseInputs in;
  in.crystal = ToTensor(p.cij);
  in.matrix = ToTensor(IsotropicStiffness(210, 0.28L));
  in.crystalClass = static_cast<polydec::CrystalClass>(p.crystalClass);
  for (int i = 0; i < 6; ++i) in.cell[i] = p.cell[i];
  core::OrientationsRec ctx;
  ctx.IIntervls = intervals;
  EXPECT_EQ(BuildPhaseContext(in, ctx), "");
  return ctx;
}

FactorMeasurement At(const std::array<Real, 3>& hkl, Real phiDeg, Real psiDeg, int code) {
  FactorMeasurement m;
  m.hkl = hkl;
  m.phi = phiDeg * core::kPi / 180;
  m.psi = psiDeg * core::kPi / 180;
  m.code = static_cast<polydec::ModelCode>(code);
  return m;
}

// Without texture the Reuss grains of a fibre average to F = s1 I + 1/2 s2 m m of the
// reflection's quasi-isotropic constants, for every direction and any crystal: Simpson's rule
// with 2N = 12 intervals integrates the rotated compliance (a trigonometric polynomial of degree
// 4 in the fibre angle) exactly.
TEST(StressFactors, ReussFibreAverageIsQuasiIsotropic) {
  const Real directions[][2] = {{0, 0}, {30, 20}, {90, 45}, {200, 70}, {-45, 60}};
  for (const Phase& p : {kIron, kTitanium}) {
    SCOPED_TRACE(p.name);
    StressFactorCalculator fibre(Context(p), true), quasi(Context(p), false);
    for (const auto& d : directions) {
      const FactorMeasurement m = At(p.hkl, d[0], d[1], kReuss);
      MeasurementFactors f, q;
      ASSERT_EQ(fibre.Compute(m, f), "");
      ASSERT_EQ(quasi.Compute(m, q), "");
      EXPECT_EQ(f.intensity, 1);
      const Real n[4] = {0, std::cos(m.phi) * std::sin(m.psi), std::sin(m.phi) * std::sin(m.psi),
                         std::cos(m.psi)};
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l)
          EXPECT_NEAR(f.F(k, l), (k == l ? q.s1 : 0) + q.s2half * n[k] * n[l], 1e-15L)
              << k << l << " at " << d[0] << ", " << d[1];
    }
  }
}

// Axes given with one measurement stay for the following ones (with their Eshelby tensors).
TEST(StressFactors, GrainShapeStaysForTheNextMeasurements) {
  FactorMeasurement first = At(kIron.hkl, 0, 30, kKroener);
  first.axes = {3, 1, 1};
  const FactorMeasurement second = At(kIron.hkl, 90, 45, kKroener);
  FactorMeasurement secondWithAxes = second;
  secondWithAxes.axes = first.axes;

  MeasurementFactors carried, given, sphere;
  StressFactorCalculator a(Context(kIron), true);
  ASSERT_EQ(a.Compute(first, carried), "");
  ASSERT_EQ(a.Compute(second, carried), "");
  ASSERT_EQ(StressFactorCalculator(Context(kIron), true).Compute(secondWithAxes, given), "");
  ASSERT_EQ(StressFactorCalculator(Context(kIron), true).Compute(second, sphere), "");
  EXPECT_EQ(a.Context().AxisLength.a, 3);
  for (int k = 1; k <= 3; ++k)
    for (int l = 1; l <= 3; ++l) EXPECT_EQ(carried.F(k, l), given.F(k, l)) << k << l;
  EXPECT_GT(std::fabs(carried.F(1, 1) - sphere.F(1, 1)), 1e-6L);
}

// An ellipsoidal grain under Kroener makes s1 and 1/2 s2 depend on the direction: the S1
// notation gives those the Fij notation's factors hold for the same row (read along m: the
// strain per uniaxial stress, F_mm = s1 + 1/2 s2, and per hydrostatic one, tr F = 3 s1 +
// 1/2 s2), and a row of another model between them does not lose the shape.
TEST(StressFactors, AnEllipsoidGivesTheS1OfTheRowsDirection) {
  const Real directions[][2] = {{0, 0}, {0, 60}, {90, 45}};
  FactorMeasurement shaped = At(kIron.hkl, 0, 0, kKroener);
  shaped.axes = {1, 1, 3};
  StressFactorCalculator s1Notation(Context(kIron, 25), false), fij(Context(kIron, 25), true);
  MeasurementFactors a, b;
  ASSERT_EQ(s1Notation.Compute(shaped, a), "");
  ASSERT_EQ(fij.Compute(shaped, b), "");
  ASSERT_EQ(s1Notation.Compute(At(kIron.hkl, 0, 0, kReuss), a), "");
  Real first = 0;
  for (const auto& d : directions) {
    SCOPED_TRACE(::testing::Message() << d[0] << " " << d[1]);
    ASSERT_EQ(s1Notation.Compute(At(kIron.hkl, d[0], d[1], kKroener), a), "");
    ASSERT_EQ(fij.Compute(At(kIron.hkl, d[0], d[1], kKroener), b), "");
    const Real phi = d[0] * core::kPi / 180, psi = d[1] * core::kPi / 180;
    const Real m[3] = {std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi),
                       std::cos(psi)};
    Real along = 0;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) along += b.F(i, j) * m[i - 1] * m[j - 1];
    const Real trace = b.F(1, 1) + b.F(2, 2) + b.F(3, 3);
    EXPECT_NEAR(a.s1, (trace - along) / 2, 1e-12L * std::fabs(along));
    EXPECT_NEAR(a.s2half, (3 * along - trace) / 2, 1e-12L * std::fabs(along));
    if (first == 0) first = a.s2half;
  }
  EXPECT_GT(std::fabs(a.s2half - first), 1e-3L * std::fabs(first));
}

TEST(StressFactors, Refusals) {
  const struct Case {
    const char* name;
    bool fibre;
    int code;
    std::array<std::optional<Real>, 3> axes;
    std::string message;
  } cases[] = {
      {"no fibre model", true, 5, {}, ModelNotAvailableMessage(static_cast<polydec::ModelCode>(5))},
      {"no quasi-isotropic model",
       false,
       7,
       {},
       ModelNotAvailableMessage(static_cast<polydec::ModelCode>(7))},
      {"negative axis", true, kKroener, {1, -1, 1}, CheckAxes({1, -1, 1})},
      {"zero axis", false, kKroener, {std::nullopt, std::nullopt, 0}, CheckAxes({1, 1, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FactorMeasurement m = At(kIron.hkl, 0, 30, c.code);
    m.axes = c.axes;
    MeasurementFactors f;
    EXPECT_FALSE(c.message.empty());
    EXPECT_EQ(StressFactorCalculator(Context(kIron), c.fibre).Compute(m, f), c.message);
  }
  EXPECT_FALSE(FibreIntervalsUsable(0));
  EXPECT_TRUE(FibreIntervalsUsable(1));
}

// Where the ODF is zero along the whole fibre no grain diffracts: the stress factors are
// refused for every model, not written as zeros; a fibre that meets the texture is computed.
TEST(StressFactors, AFibreWithoutGrainsHasNoStressFactors) {
  core::OrientationsRec ctx = Context(kIron);
  // Only orientations within 10 degrees of the cube orientation (on the grid, not its
  // equivalents): <001> along the sample z axis is met, <111> is not.
  texture_test::PutExpandedGrid(ctx, [](Real a1, Real a, Real a2) -> Real {
    return (a1 <= 10 || a1 >= 350) && a <= 10 && (a2 <= 10 || a2 >= 350) ? 1 : 0;
  });
  StressFactorCalculator calc(ctx, true);
  for (int code : {kVoigt, kReuss, kHill, kKroener}) {
    SCOPED_TRACE(models::ModelName(static_cast<polydec::ModelCode>(code)));
    MeasurementFactors f;
    EXPECT_EQ(calc.Compute(At({0, 0, 2}, 0, 0, code), f), "");
    EXPECT_GT(f.intensity, 0);
    EXPECT_EQ(calc.Compute(At({1, 1, 1}, 0, 0, code), f),
              "The ODF is zero along the whole diffraction fibre of 1 1 1 at phi = 0, psi = 0: "
              "no grain of the texture diffracts there, so there are no stress factors");
  }
}

// I(ODF) is the pole density in multiples of random distribution: a uniform ODF of 1 m.r.d.
// gives 1 (as no ODF does), twice that ODF 2, on every reflection and direction.
TEST(StressFactors, ThePoleDensityIsInMultiplesOfRandom) {
  for (const Real level : {Real{1}, Real{2}}) {
    core::OrientationsRec ctx = Context(kIron);
    texture_test::PutExpandedGrid(ctx, [&](Real, Real, Real) { return level; });
    StressFactorCalculator calc(ctx, true);
    for (const auto& [hkl, psi] :
         {std::pair{std::array<Real, 3>{2, 1, 1}, 0}, std::pair{std::array<Real, 3>{1, 1, 0}, 60}}) {
      MeasurementFactors f;
      ASSERT_EQ(calc.Compute(At(hkl, 30, psi, kReuss), f), "");
      // The fibre rule sums 2n values of the ODF: rounding of long doubles only.
      EXPECT_NEAR(f.intensity, level, 1e-15L * level);
    }
  }
}

TEST(StressFactors, GrainsFile) {
  StressFactorCalculator calc(Context(kIron), true);
  const GrainsFileResult ok =
      ComputeGrainsFile("2 1 1 0 0 1 1 1 0 0 0 2\r\n\r\n2 1 1 90 45 1 1 1 0 0 0 2", "g.grn", calc,
                        nullptr);
  ASSERT_EQ(ok.error, "");
  // The Reuss factors of the two grains, in 1e-3/GPa, after the echo of their inputs.
  MeasurementFactors f;
  StressFactorCalculator reference(Context(kIron), true);
  ASSERT_EQ(reference.Compute(At(kIron.hkl, 90, 45, kReuss), f), "");
  const std::string second = ok.text.substr(ok.text.find("\r\n") + 2);
  EXPECT_EQ(second.substr(0, 14), " 2\t 1\t 1\t 90.0");
  EXPECT_NE(second.find("\t" + core::FormatFixed(1000 * f.F(2, 3), 9, 6) + "\t"),
            std::string::npos);
  EXPECT_EQ(second.substr(second.size() - 2), "\r\n");

  const struct Case {
    const char* content;
    std::string error;
  } cases[] = {
      {"2 1 1 0 0 1 1 1 0 0 0 2\n2 1 x 0 0 1 1 1 0 0 0 2\n",
       "Fields are missing or have the wrong format in g.grn at line 2"},
      {"2 1 1 0 0 1 1 1 0 0 0\n", "Fields are missing or have the wrong format in g.grn at line 1"},
      {"\n2 1 1 0 0 1 1 1 0 0 0 5\n",
       ModelNotAvailableMessage(static_cast<polydec::ModelCode>(5)) + " in g.grn at line 2"},
      {"2 1 1 0 0 1 0 1 0 0 0 2\n", CheckAxes({1, 0, 1}) + " in g.grn at line 1"},
  };
  for (const Case& c : cases) {
    StressFactorCalculator fresh(Context(kIron), true);
    const GrainsFileResult r = ComputeGrainsFile(c.content, "g.grn", fresh, nullptr);
    EXPECT_EQ(r.error, c.error);
  }
}

// In the Voigt model every grain of a textured sample has the macroscopic strain, so the
// stress factors follow from the inverse of the texture-weighted mean stiffness, for every
// reflection alike; Hill takes that as its Voigt half. Without texture nothing changes.
TEST(StressFactors, TexturedVoigtUsesTheTextureWeightedStiffness) {
  core::OrientationsRec ctx = Context(kIron, 7);
  ctx.SYMMETRY = core::kOrthorhombicSample;
  texture_test::PutExpandedGrid(ctx, texture_test::CubicOrthTexture);
  core::Tensor4 stiffness = ctx.L;
  ODFAverage(stiffness, ctx, kTexturedVoigtIntervals, kStiffnessAverage);
  core::Tensor4 compliance = stiffness;
  core::InvertTensor(compliance, core::kOrthorhombicSample);

  StressFactorCalculator textured(ctx, true), untextured(Context(kIron, ctx.IIntervls), true);
  const Real directions[][2] = {{0, 0}, {0, 45}, {90, 30}, {30, 60}};
  for (const std::array<Real, 3>& hkl : {std::array<Real, 3>{2, 1, 1}, {1, 1, 0}}) {
    for (const auto& d : directions) {
      SCOPED_TRACE(::testing::Message() << hkl[0] << hkl[1] << hkl[2] << " at " << d[0] << ", "
                                        << d[1]);
      const FactorMeasurement m = At(hkl, d[0], d[1], kVoigt);
      const Tensor2 expected = StressFactorMatrix(compliance, m.phi, m.psi);
      MeasurementFactors voigt, hill, reuss, plain, plainFibre;
      ASSERT_EQ(textured.Compute(m, voigt), "");
      ASSERT_EQ(textured.Compute(At(hkl, d[0], d[1], kHill), hill), "");
      ASSERT_EQ(textured.Compute(At(hkl, d[0], d[1], kReuss), reuss), "");
      ASSERT_EQ(untextured.Compute(m, plain), "");
      core::OrientationsRec iso = Context(kIron, ctx.IIntervls);
      iso.SamplePolAngles = {m.phi, m.psi};
      core::Tensor4 isoVoigt;
      ASSERT_TRUE(AverageAlongFiber(iso, isoVoigt, kVoigt));
      const Tensor2 untexturedExpected = StressFactorMatrix(isoVoigt, m.phi, m.psi);
      Real differs = 0;
      for (int k = 1; k <= 3; ++k)
        for (int l = 1; l <= 3; ++l) {
          EXPECT_NEAR(voigt.F(k, l), expected(k, l), 1e-14L) << k << l;
          EXPECT_NEAR(hill.F(k, l), (expected(k, l) + reuss.F(k, l)) / 2, 1e-14L) << k << l;
          EXPECT_EQ(plain.F(k, l), untexturedExpected(k, l)) << k << l;
          differs = std::max(differs, std::fabs(voigt.F(k, l) - plain.F(k, l)));
        }
      EXPECT_GT(differs, 1e-5L);  // the texture matters at this strength
    }
  }
}

// A grains file in use as the texture: its grains' Voigt stress factors, on a worksheet row and
// on a line of a grains file alike, are those of the inverse of the weighted mean stiffness of
// those grains (Hill takes it as its Voigt half); three grains far from random show it.
TEST(StressFactors, GrainSetVoigtUsesTheGrainAveragedStiffness) {
  core::OrientationsRec ctx = Context(kIron);
  ctx.SYMMETRY = core::kOrthorhombicSample;
  ctx.UseGrains = true;
  ctx.GOrient.phi1 = {0, 0.3L, 1.1L};
  ctx.GOrient.phi = {core::kPi / 4, 0.5L, 0.2L};
  ctx.GOrient.phi2 = {0, 0.7L, 0.1L};
  ctx.GOrient.weight = {3, 1, 0.5L};
  core::ORTN_Array list;
  list.push_back(std::make_unique<core::OrientationsRec>(ctx));
  core::Tensor4 compliance;
  ASSERT_TRUE(GrainAverageStiffness(compliance, list));
  core::InvertTensor(compliance, core::kOrthorhombicSample);

  StressFactorCalculator calc(ctx, true);
  const GrainsFileResult r =
      ComputeGrainsFile("2 1 1 30 40 1 1 1 0 0 0 0\n2 1 1 30 40 1 1 1 0 0 0 6\n", "g.grn", calc,
                        nullptr);
  ASSERT_EQ(r.error, "");
  const FactorMeasurement m = At({2, 1, 1}, 30, 40, kVoigt);
  const Tensor2 expected = StressFactorMatrix(compliance, m.phi, m.psi);
  MeasurementFactors row, reuss;
  ASSERT_EQ(calc.Compute(m, row), "");
  ASSERT_EQ(calc.Compute(At({2, 1, 1}, 30, 40, kReuss), reuss), "");
  const std::string voigtLine = r.text.substr(0, r.text.find("\r\n"));
  const std::string hillLine =
      r.text.substr(voigtLine.size() + 2, r.text.size() - voigtLine.size() - 4);
  Real differs = 0;
  for (int k = 1; k <= 3; ++k)
    for (int l = k; l <= 3; ++l) {
      EXPECT_NEAR(row.F(k, l), expected(k, l), 1e-14L) << k << l;
      differs = std::max(differs, std::fabs(expected(k, l) - reuss.F(k, l)));
    }
  // The output columns are 1000 F11, F22, F33, F23, F13, F12 (fields 13..18).
  const int pairs[6][2] = {{1, 1}, {2, 2}, {3, 3}, {2, 3}, {1, 3}, {1, 2}};
  for (int c = 0; c < 6; ++c) {
    const int k = pairs[c][0], l = pairs[c][1];
    EXPECT_EQ(core::GetTabField(voigtLine, 13 + c), core::FormatFixed(1000 * expected(k, l), 9, 6))
        << k << l;
    EXPECT_EQ(core::GetTabField(hillLine, 13 + c),
              core::FormatFixed(1000 * (expected(k, l) + reuss.F(k, l)) / 2, 9, 6))
        << k << l;
  }
  EXPECT_GT(differs, 1e-5L);  // the grains are far from random
}

// The Euler-space average behind textured Voigt grows with the cube of its intervals: it keeps
// its own count, so the fibre's largest admissible count does not turn it into a run without end.
TEST(StressFactors, TexturedVoigtKeepsItsEulerSpaceIntervals) {
  core::OrientationsRec ctx = Context(kIron, texture::kMaxFiberIntervals);
  ctx.SYMMETRY = core::kOrthorhombicSample;
  texture_test::PutExpandedGrid(ctx, texture_test::CubicOrthTexture);
  core::OrientationsRec few = ctx;
  few.IIntervls = 3;
  MeasurementFactors huge, small;
  ASSERT_EQ(StressFactorCalculator(ctx, true).Compute(At({2, 1, 1}, 0, 45, kVoigt), huge), "");
  ASSERT_EQ(StressFactorCalculator(few, true).Compute(At({2, 1, 1}, 0, 45, kVoigt), small), "");
  for (int k = 1; k <= 3; ++k)
    for (int l = 1; l <= 3; ++l) EXPECT_EQ(huge.F(k, l), small.F(k, l)) << k << l;
}

}  // namespace
}  // namespace polydec::models
