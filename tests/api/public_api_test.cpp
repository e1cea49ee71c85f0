// A program that knows the engine only through its public headers (this target is compiled
// with include/ alone on its path): what a binding or another program needs to compute a DEC,
// the stresses of a measured worksheet and a pole figure. The numbers are those the command
// line prints for the same inputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "polydec/dec.h"
#include "polydec/macro.h"
#include "polydec/map.h"
#include "polydec/phase.h"
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
