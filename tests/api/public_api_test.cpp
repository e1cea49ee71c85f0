// A program that knows the engine only through its public headers (this target is compiled
// with include/ alone on its path): what a binding or another program needs to compute a DEC,
// the stresses of a measured worksheet and a pole figure. The numbers are those the command
// line prints for the same inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "polydec/anisotropy.h"
#include "polydec/dec.h"
#include "polydec/fit.h"
#include "polydec/macro.h"
#include "polydec/map.h"
#include "polydec/phase.h"
#include "polydec/reflections.h"
#include "polydec/special.h"
#include "polydec/stress_factors.h"
#include "polydec/texture.h"
#include "polydec/worksheet.h"

namespace {

const std::string kSource = POLYDEC_SOURCE_DIR;
const std::string kDatabase = std::string(POLYDEC_BIN_DIR) + "/pfcryst.dat";

// The command line prints 17 significant digits of each number; the same 80-bit arithmetic
// gives them to the last digit of a double.
constexpr double kSame = 1e-14;

TEST(PublicApi, DecOfAReflection) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok()) << iron.error().Describe();
  const auto dec = polydec::ComputeDec(*iron, {2, 1, 1});
  ASSERT_TRUE(dec.ok()) << dec.error().Describe();
  EXPECT_NEAR(static_cast<double>(dec->s1), -1.2628871276131262, kSame);
  EXPECT_NEAR(static_cast<double>(dec->halfS2), 5.715443664027358, kSame);
  EXPECT_NEAR(static_cast<double>(dec->d), 1.1700396004694313, kSame);
}

// Every family of iron to index 4: the Reuss 1/2 s2 lies on the straight line in 3 Gamma of the
// cubic closed form, 1/2 s2 = S11 - S12 - S0 (3 Gamma), S0 = S11 - S12 - S44/2; s1 and 1/2 s2
// give back E_hkl and nu_hkl; the multiplicities add up to the 9³ - 1 reflections of the box.
TEST(PublicApi, ReflectionTableOfIron) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok()) << iron.error().Describe();
  const auto table = polydec::ComputeReflectionTable(*iron);
  ASSERT_TRUE(table.ok()) << table.error().Describe();
  EXPECT_TRUE(table->orientationIsGamma);
  const long double det = (237.0L - 141) * (237.0L + 2 * 141);
  const long double s11 = (237.0L + 141) / det, s12 = -141 / det, s44 = 1 / 116.0L;
  const long double s0 = s11 - s12 - s44 / 2;
  int total = 0;
  for (const polydec::ReflectionRow& row : table->rows) {
    total += row.multiplicity;
    const long double h = row.hkl[0], k = row.hkl[1], l = row.hkl[2];
    const long double q = h * h + k * k + l * l;
    const long double gamma3 = 3 * (h * h * k * k + k * k * l * l + l * l * h * h) / (q * q);
    EXPECT_NEAR(static_cast<double>(row.gamma3), static_cast<double>(gamma3), 1e-15);
    const polydec::ReflectionModelDec& reuss = row.models[1];
    ASSERT_EQ(reuss.model, polydec::kReuss);
    EXPECT_NEAR(static_cast<double>(reuss.halfS2),
                static_cast<double>(1000 * (s11 - s12 - s0 * gamma3)), 1e-12);
    EXPECT_NEAR(static_cast<double>(reuss.s1), static_cast<double>(1000 * (s12 + s0 * gamma3 / 3)),
                1e-12);
    for (const polydec::ReflectionModelDec& m : row.models) {
      EXPECT_NEAR(static_cast<double>(1000 / m.E), static_cast<double>(m.s1 + m.halfS2), 1e-13);
      EXPECT_NEAR(static_cast<double>(m.nu), static_cast<double>(-m.s1 * m.E / 1000), 1e-13);
    }
    EXPECT_NEAR(static_cast<double>(row.d), 2.866 / std::sqrt(static_cast<double>(q)), 1e-13);
    // The Reuss grain has the crystal's own compliance: its E_hkl is the single crystal's
    // Young's modulus along the plane normal, [hkl] in a cubic crystal.
    const auto e = polydec::DirectionalValue(*iron, polydec::DirectionalQuantity::kYoungsModulus,
                                             row.hkl);
    ASSERT_TRUE(e.ok());
    EXPECT_NEAR(static_cast<double>(reuss.E / *e), 1.0, 1e-13);
  }
  EXPECT_EQ(total, 9 * 9 * 9 - 1);
  EXPECT_EQ(table->reflectionCount, total);
  // 2 theta of 110 with Cu K-alpha1; beyond 2d = lambda the reflection has none.
  EXPECT_NEAR(static_cast<double>(*table->rows[1].twoTheta),
              2 * std::asin(1.5406 / (2 * 2.866 / std::sqrt(2.0))) * 180 / M_PI, 1e-12);
  EXPECT_FALSE(table->rows.back().twoTheta.has_value());

  struct Refused {
    int maxIndex;
    double wavelength;
  };
  for (const Refused r : {Refused{0, 1.5}, Refused{21, 1.5}, Refused{4, 0}, Refused{4, -1}}) {
    polydec::ReflectionTableOptions options;
    options.maxIndex = r.maxIndex;
    options.wavelength = r.wavelength;
    EXPECT_FALSE(polydec::ComputeReflectionTable(*iron, options).ok()) << r.maxIndex;
  }
  polydec::ReflectionTableOptions ellipsoid;
  ellipsoid.grainShape = {1, 1, 3};
  const auto refused = polydec::ComputeReflectionTable(*iron, ellipsoid);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.error().message.find("direction"), std::string::npos);
  ellipsoid.direction = std::array<polydec::Real, 2>{0, 90};
  EXPECT_TRUE(polydec::ComputeReflectionTable(*iron, ellipsoid).ok());
}

// A hexagonal table is ordered by the angle to c: 00l at 0, hk0 at 90 degrees.
TEST(PublicApi, ReflectionTableOfMagnesium) {
  const auto mg = polydec::LoadMaterial("magnesium", kDatabase);
  ASSERT_TRUE(mg.ok());
  polydec::ReflectionTableOptions options;
  options.maxIndex = 2;
  const auto table = polydec::ComputeReflectionTable(*mg, options);
  ASSERT_TRUE(table.ok()) << table.error().Describe();
  EXPECT_FALSE(table->orientationIsGamma);
  for (const polydec::ReflectionRow& row : table->rows) {
    const double expected = row.hkl[0] == 0 && row.hkl[1] == 0 ? 0 : row.hkl[2] == 0 ? 90 : -1;
    if (expected >= 0) {
      EXPECT_NEAR(static_cast<double>(row.angleToC), expected, 1e-12);
    }
  }
  EXPECT_EQ(polydec::MillerText(table->rows[1].hkl, mg->crystalClass), "1 0 -1 0");
  EXPECT_EQ(table->rows[1].multiplicity, 6);
}

TEST(PublicApi, StressOfTheExampleWorksheet) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok());
  auto sheet = polydec::LoadWorksheet(kSource + "/examples/ferrite_211_stress.tsd");
  ASSERT_TRUE(sheet.ok()) << sheet.error().Describe();
  polydec::Worksheet w = std::move(sheet).value();
  ASSERT_TRUE(polydec::CalcWorksheetDec(w, *iron, {}).ok());
  const polydec::Status fitted = polydec::CalcWorksheetStress(w);
  ASSERT_TRUE(fitted.ok()) << fitted.error().Describe();
  ASSERT_EQ(w.sets.size(), 1u);
  // The spacings were made from sig_xx = 250 MPa and sig_yy = 80 MPa.
  EXPECT_NEAR(static_cast<double>(w.sets[0].sig[0]), 249.895, 0.005);
  EXPECT_NEAR(static_cast<double>(w.sets[0].sig[1]), 80.055, 0.005);
  EXPECT_NEAR(static_cast<double>(w.sets[0].sigErr[0]), 3.72, 0.005);
}

TEST(PublicApi, PoleFigureOfTheExampleOdf) {
  polydec::TextureSource source;
  source.path = kSource + "/examples/rolling_cubic.odf";
  const auto texture = polydec::LoadTexture(source);
  ASSERT_TRUE(texture.ok()) << texture.error().Describe();
  const auto pf = polydec::ComputePoleFigure(*texture, {1, 1, 1});
  ASSERT_TRUE(pf.ok()) << pf.error().Describe();
  EXPECT_EQ(pf->mrd.size(), 19u);
  EXPECT_EQ(pf->mrd[0].size(), 72u);
  EXPECT_NEAR(static_cast<double>(pf->maximum), 2.2982904567298643, kSame);
  EXPECT_NEAR(static_cast<double>(pf->minimum), 0.5991782427411743, kSame);
}

// Stress factors of an untextured phase along a direction are the quasi-isotropic ones:
// F11 = s1 + 1/2 s2 sin^2 psi cos^2 phi, F33 = s1 + 1/2 s2 cos^2 psi, so at psi = 0 the
// F33 column is s1 + 1/2 s2 of the DEC of the same reflection and model.
TEST(PublicApi, StressFactorsAgreeWithTheDecAtPsiZero) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok());
  polydec::StressFactorOptions options;
  options.model = polydec::kReuss;
  const auto f = polydec::ComputeStressFactors(*iron, {2, 1, 1}, {{0, 0}, {90, 45}}, options);
  ASSERT_TRUE(f.ok()) << f.error().Describe();
  ASSERT_EQ(f->size(), 2u);
  polydec::DecOptions dec;
  dec.model = polydec::kReuss;
  const auto d = polydec::ComputeDec(*iron, {2, 1, 1}, dec);
  ASSERT_TRUE(d.ok());
  EXPECT_NEAR(static_cast<double>((*f)[0].F[2]), static_cast<double>(d->s1 + d->halfS2), 1e-9);
  EXPECT_NEAR(static_cast<double>((*f)[0].F[0]), static_cast<double>(d->s1), 1e-9);
}

// Typing the engineering constants of a stiffness back gives that stiffness: the two directions
// of the window's engineering-constant rows are inverse to each other for an orthotropic sample.
TEST(PublicApi, EngineeringConstantsGiveTheirStiffnessBack) {
  polydec::Matrix6 C{};
  const double c[6][6] = {{268.9, 123.5, 126.6, 0, 0, 0}, {123.5, 274.5, 121.0, 0, 0, 0},
                          {126.6, 121.0, 271.4, 0, 0, 0}, {0, 0, 0, 71.5, 0, 0},
                          {0, 0, 0, 0, 77.2, 0},          {0, 0, 0, 0, 0, 74.0}};
  for (std::size_t i = 0; i < 6; ++i)
    for (std::size_t j = 0; j < 6; ++j) C[i][j] = c[i][j];
  const auto e = polydec::EngineeringConstantsOf(C, polydec::kOrthorhombicSample);
  ASSERT_TRUE(e.ok()) << e.error().Describe();
  const auto back = polydec::OrthotropicStiffness(*e);
  ASSERT_TRUE(back.ok()) << back.error().Describe();
  for (std::size_t i = 0; i < 6; ++i)
    for (std::size_t j = 0; j < 6; ++j)
      EXPECT_NEAR(static_cast<double>((*back)[i][j]), c[i][j], 1e-9) << i << " " << j;
  // nu12 nu21 = 1 with the other ratios 0: the compliance is singular.
  polydec::EngineeringConstants singular{200, 200, 200, 80, 80, 80, 1, 0, 0, 1, 0, 0};
  EXPECT_FALSE(polydec::OrthotropicStiffness(singular).ok());
}

TEST(PublicApi, SingleCrystalFitOfTheExample) {
  const std::string file = kSource + "/examples/iron-kroener.dec";
  const auto fit = polydec::FitSingleCrystalFile(file);
  ASSERT_TRUE(fit.ok()) << fit.error().Describe();
  ASSERT_EQ(fit->constants.size(), 3u);
  EXPECT_EQ(fit->constants[0].name, "C11");
  EXPECT_NEAR(static_cast<double>(fit->constants[0].value), 229.9259061147344, 1e-10);
  EXPECT_NEAR(static_cast<double>(fit->constants[2].value), 115.88452041307006, 1e-10);
  ASSERT_TRUE(fit->constants[1].error);
  EXPECT_NEAR(static_cast<double>(*fit->constants[1].error), 2.490820001076247, 1e-10);
  EXPECT_NEAR(static_cast<double>(fit->chisq), 11.881084067442568, 1e-9);
  EXPECT_EQ(fit->cycles, 2);
  EXPECT_TRUE(fit->converged);
  EXPECT_EQ(fit->calc.size(), 12u);

  // The same fit from the record the file reads into: one unit for every value.
  auto input = polydec::ReadFitInput(file);
  ASSERT_TRUE(input.ok()) << input.error().Describe();
  EXPECT_EQ(input->fitted, (std::vector<int>{1, 4, 7}));
  EXPECT_NEAR(static_cast<double>(input->measurements[0].value), -1.8504, 1e-12);
  EXPECT_NEAR(static_cast<double>(input->measurements[0].sigma), 0.02, 1e-12);
  const auto again = polydec::FitSingleCrystal(*input);
  ASSERT_TRUE(again.ok()) << again.error().Describe();
  EXPECT_NEAR(static_cast<double>(again->constants[0].value),
              static_cast<double>(fit->constants[0].value), 1e-8);

  // A measured value near zero stays in 1e-6/MPa (the file's rule of units by magnitude would
  // read it in 1/MPa, a million times larger).
  auto nearZero = *input;
  nearZero.measurements[0].value = 0.005;
  int steps = 0;
  polydec::SingleCrystalFitOptions options;
  options.maxCycles = 1;
  options.onStep = [&](const polydec::FitStep& s) {
    ++steps;
    EXPECT_EQ(s.calc.size(), 12u);
  };
  const auto near = polydec::FitSingleCrystal(nearZero, options);
  ASSERT_TRUE(near.ok()) << near.error().Describe();
  EXPECT_GT(steps, 0);
  EXPECT_LT(near->chisq, 1e5);

  struct Bad {
    const char* what;
    void (*spoil)(polydec::SingleCrystalFitInput&);
    const char* says;
  };
  const Bad bad[] = {
      {"no data", [](polydec::SingleCrystalFitInput& in) { in.measurements.clear(); }, "1 to 20"},
      {"zero sigma", [](polydec::SingleCrystalFitInput& in) { in.measurements[3].sigma = 0; },
       "measurement 4"},
      {"parameter 43", [](polydec::SingleCrystalFitInput& in) { in.fitted.push_back(43); }, "43"},
      {"twice", [](polydec::SingleCrystalFitInput& in) { in.fitted.push_back(1); }, "twice"},
      {"hkl 000", [](polydec::SingleCrystalFitInput& in) { in.measurements[0].hkl = {0, 0, 0}; },
       "0 0 0"},
      {"nothing fitted", [](polydec::SingleCrystalFitInput& in) { in.fitted.clear(); }, ""},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    auto spoiled = *input;
    b.spoil(spoiled);
    const auto r = polydec::FitSingleCrystal(spoiled);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find(b.says), std::string::npos) << r.error().message;
  }
}

TEST(PublicApi, SpecialFunctions) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok()) << iron.error().Describe();

  // The crystal's own frame gives its stiffness; x along <110> turns C11 into (C11+C12)/2+C44.
  const auto own = polydec::StiffnessInFrame(*iron, {});
  ASSERT_TRUE(own.ok()) << own.error().Describe();
  EXPECT_NEAR(static_cast<double>((*own)[0][0]), static_cast<double>(iron->cij[0]), 1e-9);
  polydec::CrystalFrame diagonal;
  diagonal.x = {1, 1, 0};
  const auto turned = polydec::StiffnessInFrame(*iron, diagonal);
  ASSERT_TRUE(turned.ok()) << turned.error().Describe();
  EXPECT_NEAR(static_cast<double>((*turned)[0][0]), 305.0, 1e-9);
  diagonal.z = {1, 0, 0};
  EXPECT_FALSE(polydec::StiffnessInFrame(*iron, diagonal).ok()) << "x and z not perpendicular";

  const auto taylor = polydec::ComputeTaylorFactor({10, 20, 30});
  ASSERT_TRUE(taylor.ok()) << taylor.error().Describe();
  EXPECT_NEAR(static_cast<double>(taylor->factor), 2.737554504544284, kSame);
  EXPECT_NEAR(static_cast<double>(taylor->ratio), 0.05, kSame);
  EXPECT_FALSE(polydec::ComputeTaylorFactor({10, 20, 30}, 1.5).ok());

  const auto schmid = polydec::ComputeSchmidFactors(*iron, {10, 20, 30});
  ASSERT_TRUE(schmid.ok()) << schmid.error().Describe();
  EXPECT_NEAR(static_cast<double>(schmid->kroener.value), 0.42976845304014677, kSame);
  EXPECT_EQ(schmid->inverseKroener.system, 7);

  // Twin fractions are weighted by an ODF: a texture without one is refused, not counted as 0.
  EXPECT_FALSE(polydec::ComputeTwinFractions(polydec::Texture{}, {}).ok());
}

// A map table through the map evaluation: the example table is one data set, and its stresses
// are those of the worksheet walk-through (the factors at full precision, not as cells).
TEST(PublicApi, MapOfTheExampleTable) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok());
  std::vector<polydec::MapSetResult> sets;
  const auto summary = polydec::EvaluateMapFile(
      kSource + "/examples/ferrite_211_stress.csv", *iron, {}, {}, nullptr,
      [&](const polydec::MapChunk& chunk) {
        sets.insert(sets.end(), chunk.sets.begin(), chunk.sets.end());
      });
  ASSERT_TRUE(summary.ok()) << summary.error().Describe();
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_TRUE(sets[0].fit.has_value());
  EXPECT_EQ(sets[0].label, "ferrite");
  EXPECT_NEAR(static_cast<double>(sets[0].fit->sig[0]), 249.90, 0.01);
  EXPECT_NEAR(static_cast<double>(sets[0].fit->sig[1]), 80.06, 0.01);
}

// What a user can get wrong comes back as the error record, never as an exception.
// A self-consistent round integrates Euler space once per unknown and once more per Newton
// trial; a caller can stop inside it (a round at many intervals takes minutes), and the stop
// arrives as a refusal, not as a stiffness.
TEST(PublicApi, SelfConsistentStiffnessStopsInsideARound) {
  const auto iron = polydec::LoadMaterial("iron", kDatabase);
  ASSERT_TRUE(iron.ok()) << iron.error().Describe();
  polydec::MacroOptions options;
  options.model = polydec::kKroener;
  options.intervals = 4;
  std::vector<int> seen;
  options.onEvaluation = [&seen](int round, int evaluation, int evaluations) {
    EXPECT_EQ(round, 1);
    EXPECT_EQ(evaluations, 10);  // an orthorhombic sample: nine unknowns
    seen.push_back(evaluation);
    return evaluation < 3;
  };
  polydec::TextureSource rolling;
  rolling.path = kSource + "/examples/rolling_cubic.odf";
  const auto texture = polydec::LoadTexture(rolling);
  ASSERT_TRUE(texture.ok()) << texture.error().Describe();
  const auto stopped = polydec::ComputeMacroStiffness(*iron, *texture, options);
  ASSERT_FALSE(stopped.ok());
  EXPECT_EQ(stopped.error().message, "stopped in round 1");
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(PublicApi, RefusalsAreRecords) {
  const auto unknown = polydec::LoadMaterial("unobtainium", kDatabase);
  ASSERT_FALSE(unknown.ok());
  EXPECT_NE(unknown.error().message.find("unobtainium"), std::string::npos);
  polydec::TextureSource source;
  source.path = kSource + "/examples/ferrite_211_stress.csv";
  source.format = polydec::TextureFormat::kMtex;
  const auto texture = polydec::LoadTexture(source);
  ASSERT_FALSE(texture.ok());
  EXPECT_FALSE(texture.error().Describe().empty());
  EXPECT_THROW((void)texture.value(), polydec::BadResultAccess);
}

}  // namespace
