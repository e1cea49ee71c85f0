// The ODF, grains and Euler-angle writers: layouts, and files that read back.
#include "texture/odf_writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "core/text_lines.h"
#include "crystal/lattice.h"
#include "texture/odf_fixtures.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"
#include "texture/pole_figure.h"

namespace polydec::texture {
namespace {

using core::GetTabField;
using core::GetWord;
using core::kPi;
using core::ParseNumber;

OrientationsRec Textured() {
  return texture_test::CubicCrystalWith(texture_test::CubicOrthTexture);
}

TEST(ODFLayoutText, LayoutsHoldTheirNodesInOrder) {
  const OrientationsRec ctx = Textured();
  const auto full = core::SplitLines(ODFLayoutText(ctx, ODFLayout::kFull).text);
  ASSERT_EQ(full.size(), 1u + 197173);
  EXPECT_EQ(full[1], "   0.0\t   0.0\t   0.0\t" + core::FormatPadded(ctx.ODF[0], 8, 5));
  EXPECT_EQ(full[2].substr(0, 21), "   0.0\t   0.0\t   5.0\t");
  EXPECT_EQ(full.back().substr(0, 21), " 360.0\t 180.0\t 360.0\t");

  const auto s90 = core::SplitLines(ODFLayoutText(ctx, ODFLayout::kSection90).text);
  const auto s180 = core::SplitLines(ODFLayoutText(ctx, ODFLayout::kSection180).text);
  EXPECT_EQ(s90.size(), 361u);
  EXPECT_EQ(s180.size(), 703u);
  EXPECT_EQ(s90[0].size(), 1u + 19 * 8);
  // Line 20 is the phi2 row of (phi1, Phi) = (5, 0).
  EXPECT_EQ(s90[19].substr(1 + 3 * 8, 8),
            core::FormatPadded(ctx.ODF[static_cast<std::size_t>(ODFNodeIndex(1, 0, 3))], 8, 5));

  const auto cube = core::SplitLines(ODFLayoutText(ctx, ODFLayout::kCubeOrth).text);
  ASSERT_EQ(cube.size(), 6859u);
  // The first candidate is the node itself (identity operators).
  for (const std::string& line : {cube[0], cube[1234], cube[6858]})
    for (int f = 1; f <= 4; ++f) EXPECT_EQ(GetTabField(line, f), GetTabField(line, f + 4)) << line;
}

TEST(ODFLayoutText, LayoutsOfTheExpandedGridRefuseWithoutAnOdf) {
  const OrientationsRec none;
  for (ODFLayout l : {ODFLayout::kSection90, ODFLayout::kSection180, ODFLayout::kCubeOrth}) {
    const ODFTextResult r = ODFLayoutText(none, l);
    EXPECT_EQ(r.error, kNoODFLoadedMessage);
    EXPECT_TRUE(r.text.empty());
  }
  const auto full = core::SplitLines(ODFLayoutText(none, ODFLayout::kFull).text);
  EXPECT_EQ(full.size(), 1u);  // the header alone
}

TEST(ODFLayoutText, FullLayoutLoadsBackToTheSameGrid) {
  const OrientationsRec ctx = Textured();
  texture_test::TempFolder folder;
  const std::string path = folder.File("odf.dat");
  ASSERT_FALSE(WriteTextFile(path, ODFLayoutText(ctx, ODFLayout::kFull).text));
  OrientationsRec back;
  back.Cryst.SYS = polydec::kCubic;
  back.SYMMETRY = polydec::kTriclinicSample;
  const ODFReadResult r = LoadODFMTEX(path, back, false);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(back.ODFNUMP, kODFNodeCount);
  // Values are written with 5 decimals.
  for (std::size_t n = 0; n < static_cast<std::size_t>(kODFNodeCount); n += 97)
    ASSERT_NEAR(back.ODF[n], ctx.ODF[n], 5.1e-6) << n;
}

TEST(GrainsFileText, ReadsBackThroughTheGrainsReader) {
  OrientationsRec ctx;
  ctx.GOrient.phi1 = {0.1L, 6.2L, 3};
  ctx.GOrient.phi = {0.5L, 3.1L, 1};
  ctx.GOrient.phi2 = {1, 0, 2};
  ctx.GOrient.weight = {1.5L, 0.25L, 3};
  const std::string text = GrainsFileText(ctx);
  const auto lines = core::SplitLines(text);
  ASSERT_EQ(lines.size(), 4u + 3);
  EXPECT_EQ(lines[0], "popla style WTS file, random grain orientations #=3, weights taken from ODF");
  EXPECT_EQ(lines[4], "   5.73\t  28.65\t  57.30\t1.5000");
  texture_test::TempFolder folder;
  const std::string path = folder.Write("grains.wts", text);
  OrientationsRec back;
  ASSERT_TRUE(readwtsfile(path, back).ok());
  ASSERT_EQ(back.GOrient.weight.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    // Angles are written with 2 decimals of a degree, weights with 4 decimals.
    EXPECT_NEAR(back.GOrient.phi1[i], ctx.GOrient.phi1[i], 0.0051 * kPi / 180);
    EXPECT_NEAR(back.GOrient.phi[i], ctx.GOrient.phi[i], 0.0051 * kPi / 180);
    EXPECT_NEAR(back.GOrient.phi2[i], ctx.GOrient.phi2[i], 0.0051 * kPi / 180);
    EXPECT_NEAR(back.GOrient.weight[i], ctx.GOrient.weight[i], 5.1e-5);
  }
}

TEST(EulerAnglesText, OneBlockOf145LinesPerDirection) {
  OrientationsRec none;
  crystal::InitCrystal(none.Cryst);
  const auto lines =
      core::SplitLines(EulerAnglesText(none, 2, 1, 1, {{0, 0}, {90, 45}}));
  ASSERT_EQ(lines.size(), 1u + 2 * 146 + 1);
  EXPECT_EQ(lines[0], "  h\t  k\t  l\tphi \tpsi\tphi1\tphi\tphi2\tODF\t");
  EXPECT_TRUE(lines[1].empty());
  EXPECT_TRUE(lines[147].empty());
  EXPECT_EQ(lines[148].substr(0, 26), "  2\t  1\t  1\t 90.00\t 45.00\t");
  for (std::size_t i : {2u, 100u, 146u, 292u}) EXPECT_EQ(GetTabField(lines[i], 9), "   1.00");

  OrientationsRec textured = Textured();
  const auto t = core::SplitLines(EulerAnglesText(textured, 2, 1, 1, {{30, 60}}));
  for (std::size_t i = 2; i < 147; i += 12) {
    const Real a1 = ParseNumber(GetTabField(t[i], 6)).value, a = ParseNumber(GetTabField(t[i], 7)).value;
    const Real a2 = ParseNumber(GetTabField(t[i], 8)).value;
    // The value is the ODF at the angles written (2 decimals of a degree, value 2 decimals).
    EXPECT_NEAR(ParseNumber(GetTabField(t[i], 9)).value,
                ODFValue(textured, a1 * kPi / 180, a * kPi / 180, a2 * kPi / 180), 0.011);
  }
}

}  // namespace
}  // namespace polydec::texture
