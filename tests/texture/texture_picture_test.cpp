// The texture's numbers and pictures: the texture index, maximum and minimum of ODFs whose
// moments are known; the region the sections cover for each symmetry; the sections and pole
// figures drawn with the scale, the axes and the contour lines where the values put them; and
// the refusals of the public API.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "api/texture_data.h"
#include "core/picture.h"
#include "odf_fixtures.h"
#include "polydec/texture.h"
#include "texture/texture_picture.h"

namespace polydec {
namespace {

namespace tt = texture_test;
namespace fs = std::filesystem;
using core::kPi;

// A texture record around an ODF given on the expanded grid of a cubic crystal.
Texture TextureOf(const tt::Texture& f, SampleSymmetry sample = kOrthorhombicSample) {
  auto data = std::make_shared<api::TextureData>();
  data->ctx = tt::CubicCrystalWith(f);
  data->ctx.SYMMETRY = sample;
  Texture t;
  t.crystalClass = kCubic;
  t.sampleSymmetry = sample;
  t.nodes = texture::kODFNodeCount;
  t.data = std::move(data);
  return t;
}

// 1 + a cos Phi = 1 + a g33: mean 1 and, as <g33^2> = 1/3 over the rotations, mean square
// 1 + a^2/3; scaled by s the texture index stays 1 + a^2/3.
tt::Texture Tilted(Real a, Real s) {
  return [a, s](Real, Real Phi, Real) { return s * (1 + a * std::cos(Phi * kPi / 180)); };
}

TEST(TextureNumbers, IndexMaximumAndMinimumOfKnownOdfs) {
  struct Case {
    const char* name;
    tt::Texture f;
    Real index, maximum, minimum;
  };
  const Case cases[] = {
      {"uniform", [](Real, Real, Real) { return Real(1); }, 1, 1, 1},
      {"1 + 0.9 cos Phi", Tilted(0.9L, 1), 1 + 0.81L / 3, 1.9L, 0.1L},
      // popla files hold m.r.d. x 100: the index does not depend on the scale.
      {"100 (1 + 0.9 cos Phi)", Tilted(0.9L, 100), 1 + 0.81L / 3, 190, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto stats = TextureStats(TextureOf(c.f));
    ASSERT_TRUE(stats) << stats.error().Describe();
    // Linear interpolation between the 5-degree nodes is off by up to h^2/8 |f''| ~ 1e-3.
    EXPECT_NEAR(static_cast<double>(stats->textureIndex), static_cast<double>(c.index), 1e-3);
    EXPECT_NEAR(static_cast<double>(stats->maximum), static_cast<double>(c.maximum), 1e-12);
    EXPECT_NEAR(static_cast<double>(stats->minimum), static_cast<double>(c.minimum), 1e-12);
  }
}

TEST(TexturePictures, SectionRegionFollowsTheSymmetries) {
  struct Case {
    CrystalClass crystal;
    SampleSymmetry sample;
    std::array<Real, 3> region;
  };
  const Case cases[] = {
      {kCubic, kOrthorhombicSample, {90, 90, 90}},
      {kCubic, kTriclinicSample, {360, 90, 90}},
      {kHexagonal, kOrthorhombicSample, {90, 90, 60}},
      {kTrigonal2, kMonoclinicSampleZ, {180, 180, 120}},
      {kMonoclinic1, kOrthorhombicSample, {90, 90, 180}},
      {kTriclinicClass, kTriclinicSample, {360, 180, 360}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(texture::SectionRegion(c.crystal, c.sample), c.region)
        << c.crystal << " " << c.sample;
  EXPECT_EQ(texture::DefaultSections(kCubic, kOrthorhombicSample).size(), 19u);
  EXPECT_EQ(texture::DefaultSections(kHexagonal, kOrthorhombicSample),
            (std::vector<Real>{0, 10, 20, 30, 40, 50, 60}));
  EXPECT_EQ(texture::DefaultLevels(0.2L, 5), (std::vector<Real>{0.5, 1, 1.5, 2, 3, 4}));
}

int Distance(core::Rgb a, core::Rgb b) {
  return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

core::Rgb Pixel(const core::Picture& p, int x, int y) {
  return p.image.pixels[static_cast<std::size_t>(y) * p.image.width + x];
}

// The top left corner of the panel whose title is `title`: the panel starts 18 pixels below it.
std::pair<int, int> PanelOf(const core::Picture& p, const std::string& title) {
  for (const core::PictureText& t : p.texts)
    if (t.text == title) return {t.x, t.y + 18};
  ADD_FAILURE() << "no panel " << title;
  return {0, 0};
}

// A texture that depends on Phi alone draws rows of one colour: the largest value at Phi = 0 on
// top, the contour line of 1.45 m.r.d. where cos Phi = 0.5, two thirds of the way down to 90.
TEST(TexturePictures, SectionsPutPhiDownAndTheContourWhereTheValueIs) {
  const Texture t = TextureOf(Tilted(0.9L, 1));
  const core::OrientationsRec& ctx = api::ContextOf(t);
  const core::Picture p = texture::DrawOdfSections(ctx, {0, 45}, {{1.45L}, false});
  const auto [x0, y0] = PanelOf(p, "phi2 = 45");
  PanelOf(p, "phi2 = 0");
  const int h = 160, w = 160;  // 90 x 90 degrees at the largest scale
  EXPECT_LT(Distance(Pixel(p, x0 + w / 2, y0), core::ScaleColour(1)), 12);
  EXPECT_GT(Distance(Pixel(p, x0 + w / 2, y0 + h - 1), core::ScaleColour(1)), 200);
  int lineRow = -1;
  for (int y = 0; y < h && lineRow < 0; ++y)
    if (Distance(Pixel(p, x0 + w / 2, y0 + y), {30, 30, 30}) == 0) lineRow = y;
  EXPECT_NEAR(lineRow, h * 60.0 / 90, 1.5);
  for (int x = 0; x < w; ++x)
    EXPECT_EQ(Distance(Pixel(p, x0 + x, y0 + 20), Pixel(p, x0, y0 + 20)), 0) << x;
}

// A pole figure dense at phi = 0 and thin at phi = 180 shows its bright side to the right (X),
// and a uniform one a single colour over the whole disc.
TEST(TexturePictures, PoleFigureHasXToTheRightAndOneScaleForAll) {
  texture::PoleFigurePanel sided{"{1 0 0}", {}}, uniform{"{1 1 1}", {}};
  for (int t = 0; t < 19; ++t) {
    sided.mrd.emplace_back();
    uniform.mrd.emplace_back(72, Real(1));
    for (int a = 0; a < 72; ++a)
      sided.mrd.back().push_back(1 + 0.8L * std::sin(5 * t * kPi / 180) *
                                         std::cos(5 * a * kPi / 180));
  }
  const core::Picture p = texture::DrawPoleFigures({sided, uniform}, {});
  const int r = 130, top = 70, left = 30, gap = 56;
  const int cy = top + r;
  const core::Rgb right = Pixel(p, left + 2 * r - 6, cy - 3), leftSide = Pixel(p, left + 6, cy - 3);
  EXPECT_LT(Distance(right, core::ScaleColour(1)), 40);
  EXPECT_LT(Distance(leftSide, core::ScaleColour(0)), 40);
  // The uniform figure sits on the same scale: 1 m.r.d. is its middle.
  const int ux = left + 2 * r + gap;
  const core::Rgb middle = core::ScaleColour(0.5);
  for (const auto& [dx, dy] : {std::pair{r, r - 40}, std::pair{r + 50, r}, std::pair{r - 70, r + 20}})
    EXPECT_LT(Distance(Pixel(p, ux + dx, top + dy), middle), 6) << dx << " " << dy;
}

std::string TempName(const std::string& stem) {
  return (fs::temp_directory_path() /
          ("polydec_texture_picture_" + std::to_string(::getpid()) + "_" + stem))
      .string();
}

TEST(TexturePictures, ApiWritesPicturesAndRefusesWhatIsWrong) {
  const Texture t = TextureOf(Tilted(0.5L, 1));
  const std::string png = TempName("sections.png"), svg = TempName("sections.SVG");
  ASSERT_TRUE(WriteOdfSections(t, png));
  std::FILE* in = std::fopen(png.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  char head[8] = {};
  EXPECT_EQ(std::fread(head, 1, 8, in), 8u);
  std::fclose(in);
  EXPECT_EQ(std::string(head + 1, 3), "PNG");
  TexturePictureOptions some;
  some.phi2 = {0, 30};
  ASSERT_TRUE(WriteOdfSections(t, svg, some));
  EXPECT_TRUE(fs::file_size(svg) > 0);
  const auto picture = DrawOdfSections(t, some);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->rgb.size(), 3u * picture->width * picture->height);
  fs::remove(png);
  fs::remove(svg);

  struct Case {
    const char* name;
    TexturePictureOptions options;
    std::string path, field, message;
  };
  TexturePictureOptions far, negative;
  far.phi2 = {0, 400};
  negative.levels = {1, -2};
  const Case cases[] = {
      {"section outside Euler space", far, TempName("a.png"), "phi2", "400"},
      {"negative level", negative, TempName("b.png"), "levels", "-2"},
      {"unknown extension", {}, TempName("c.jpg"), "", "\".jpg\""},
      {"folder that is not there", {}, TempName("none/d.png"), "", "none/d.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Status s = WriteOdfSections(t, c.path, c.options);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().field, c.field);
    EXPECT_NE(s.error().message.find(c.message), std::string::npos) << s.error().message;
    EXPECT_FALSE(fs::exists(c.path));
  }
  const auto none = LoadTexture(TextureSource{});
  ASSERT_TRUE(none);
  EXPECT_FALSE(DrawOdfSections(*none));
  EXPECT_FALSE(DrawPoleFigures({}));
}

}  // namespace
}  // namespace polydec
