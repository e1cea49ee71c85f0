// Compound ODF, symmetric equivalents and texture components.
#include "texture/texture_tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "core/text_lines.h"
#include "crystal/lattice.h"
#include "texture/odf_fixtures.h"
#include "texture/odf_grid.h"

namespace polydec::texture {
namespace {

using core::GetTabField;
using core::ParseNumber;

OrientationsRec Textured() {
  return texture_test::CubicCrystalWith(texture_test::CubicOrthTexture);
}

TEST(CompoundODF, IsTheWeightedMeanOfTheOdfs) {
  OrientationsRec ctx = Textured();
  const core::DataVector a(ctx.ODF.begin(), ctx.ODF.begin() + kODFNodeCount);
  const core::DataVector b(a.size(), 2);
  struct Case {
    std::vector<core::DataVector> odfs;
    std::vector<Real> weights;
    Real (*expected)(Real, Real);
  };
  const Case cases[] = {
      {{a, a}, {1, 3}, [](Real x, Real) { return x; }},
      {{a, b}, {1, 0}, [](Real x, Real) { return x; }},
      {{a, b}, {1, 1}, [](Real x, Real y) { return (x + y) / 2; }},
      {{b, a}, {3, 1}, [](Real y, Real x) { return 0.75L * y + 0.25L * x; }},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(CompoundODF(ctx, c.odfs, c.weights), "");
    for (std::size_t k = 0; k < a.size(); k += 101)
      ASSERT_NEAR(ctx.ODF[k], c.expected(c.odfs[0][k], c.odfs[1][k]), 1e-17);
  }
}

TEST(CompoundODF, RefusesWhatWouldGiveNoOdfAndChangesNothing) {
  OrientationsRec ctx = Textured();
  const core::DataVector before = ctx.ODF;
  const core::DataVector a(before.begin(), before.begin() + kODFNodeCount);
  const core::DataVector shortOne(100, 1);
  EXPECT_NE(CompoundODF(ctx, {a, a}, {1, -1}), "");
  EXPECT_NE(CompoundODF(ctx, {a, shortOne}, {1, 1}), "");
  EXPECT_NE(CompoundODF(ctx, {a}, {NAN}), "");
  EXPECT_NE(CompoundODF(ctx, {}, {}), "");
  OrientationsRec none;
  EXPECT_NE(CompoundODF(none, {a}, {1}), "");
  EXPECT_EQ(ctx.ODF, before);
}

TEST(SymmetryEquivalents, ListOneLinePerOperatorPair) {
  const OrientationsRec none;
  const auto cubicOrth = core::SplitLines(
      SymmetryEquivalentsText(none, static_cast<polydec::CrystalClass>(1),
                              static_cast<polydec::SampleSymmetry>(7), 10, 20, 30));
  ASSERT_EQ(cubicOrth.size(), 96u);
  EXPECT_EQ(cubicOrth[0], "  10.0\t  20.0\t  30.0\t  1.0");
  EXPECT_EQ(core::SplitLines(SymmetryEquivalentsText(none, static_cast<polydec::CrystalClass>(10),
                                                     static_cast<polydec::SampleSymmetry>(10), 10,
                                                     20, 30))
                .size(),
            1u);
  EXPECT_EQ(core::SplitLines(SymmetryEquivalentsText(none, static_cast<polydec::CrystalClass>(2),
                                                     static_cast<polydec::SampleSymmetry>(10), 10,
                                                     20, 30))
                .size(),
            12u);
  EXPECT_EQ(
      core::SplitLines(SymmetryEquivalentsText(none, static_cast<polydec::CrystalClass>(3),
                                               static_cast<polydec::SampleSymmetry>(8), 10, 20, 30))
          .size(),
      16u);

  // Every equivalent of a symmetric texture has the orientation's own value.
  const OrientationsRec ctx = Textured();
  const auto lines = core::SplitLines(
      SymmetryEquivalentsText(ctx, static_cast<polydec::CrystalClass>(1),
                              static_cast<polydec::SampleSymmetry>(7), 10, 20, 30));
  const Real own = ParseNumber(GetTabField(lines[0], 4)).value;
  EXPECT_NEAR(own, texture_test::CubicOrthTexture(10, 20, 30), 0.06);
  // Values are written with one decimal; the interpolation between nodes errs by a few 0.01.
  for (const std::string& line : lines)
    EXPECT_NEAR(ParseNumber(GetTabField(line, 4)).value, own, 0.1 + 0.001) << line;

  const auto hex = core::SplitLines(HexagonalEquivalentsText(none));
  ASSERT_EQ(hex.size(), 12u);
  EXPECT_EQ(hex[0], "255.00\t 90.00\t 90.00\t1.0000");
}

TEST(TextureComponents, FindsTheComponentsAlongTheWholeFibre) {
  OrientationsRec ctx = Textured();
  // The {001} fibre along the sample normal: phi1 + phi2 runs round the cube orientation and
  // passes the rotated cube ("shear") at lamda = 45 degrees.
  const auto lines = core::SplitLines(TextureComponentsText(ctx, 0, 0, 0, 0, 1, 5, 144));
  ASSERT_FALSE(lines.empty());
  bool cubeAtZero = false, shearAt45 = false;
  for (const std::string& line : lines) {
    const Real lamda = ParseNumber(GetTabField(line, 1)).value;
    const std::string name = GetTabField(line, 2);
    EXPECT_EQ(name.size(), 6u);
    if (lamda == 0 && name == "cube  ") cubeAtZero = true;
    if (lamda == 45 && name == "shear ") shearAt45 = true;
  }
  EXPECT_TRUE(cubeAtZero);
  EXPECT_TRUE(shearAt45);
  // A 211 reflection tilted away from every component within a 0.1 degree window: no lines.
  EXPECT_TRUE(TextureComponentsText(ctx, 17, 33, 2, 1, 1, 0.01L, 144).empty());
}

}  // namespace
}  // namespace polydec::texture
