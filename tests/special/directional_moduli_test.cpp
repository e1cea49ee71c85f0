#include "special/directional_moduli.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/raster_image.h"
#include "core/tensor_inversion.h"
#include "crystal/lattice.h"
#include "polydec/anisotropy.h"
#include "support/stiffness.h"

namespace polydec::special {
namespace {

// Cubic compliances from C11, C12, C44 (GPa): S11, S12 and the Voigt S44 (1/GPa).
struct CubicCompliance {
  Real s11, s12, s44;
};
CubicCompliance CubicOf(Real c11, Real c12, Real c44) {
  const Real det = (c11 - c12) * (c11 + 2 * c12);
  return {(c11 + c12) / det, -c12 / det, 1 / c44};
}

Phase Iron() {
  auto iron = MakePhase("iron", kCubic, ApplyClassRules(Cij21{237, 0, 0, 141, 0, 141, 116, 0, 0, 0, 0, 116, 0, 0, 0, 237, 0, 141, 116, 0, 237}, kCubic),
                        Cell{2.866L, 2.866L, 2.866L, 90, 90, 90}, 210, 0.3L);
  EXPECT_TRUE(iron.ok());
  return *iron;
}

// For a cubic crystal 1/E(n) = S11 - 2 S0 (n1²n2² + n2²n3² + n3²n1²), S0 = S11 - S12 - S44/2:
// 1/S11 along <100>, 1/(S11 - S0/2) along <110>, 1/(S11 - 2 S0/3) along <111>. The map's
// extremes are the <111> and <100> values (iron: C44 > (C11 - C12)/2, stiffest along <111>).
TEST(DirectionalModuli, CubicYoungsModulusHasItsClosedForms) {
  const CubicCompliance s = CubicOf(237, 141, 116);
  const Real s0 = s.s11 - s.s12 - s.s44 / 2;
  const Phase iron = Iron();
  struct Case {
    std::array<Real, 3> uvw;
    Real expected;
  };
  const Case cases[] = {{{1, 0, 0}, 1 / s.s11},           {{0, 0, 1}, 1 / s.s11},
                        {{1, 1, 0}, 1 / (s.s11 - s0 / 2)}, {{0, -1, 1}, 1 / (s.s11 - s0 / 2)},
                        {{1, 1, 1}, 1 / (s.s11 - 2 * s0 / 3)}, {{-1, 1, 1}, 1 / (s.s11 - 2 * s0 / 3)}};
  for (const Case& c : cases) {
    const auto e = DirectionalValue(iron, polydec::DirectionalQuantity::kYoungsModulus, c.uvw);
    ASSERT_TRUE(e.ok()) << e.error().Describe();
    // 80-bit sums of a few dozen products: far below 1e-12 relative.
    EXPECT_NEAR(static_cast<double>(*e / c.expected), 1.0, 1e-12)
        << c.uvw[0] << c.uvw[1] << c.uvw[2];
  }
  const auto survey = SurveyDirections(iron, polydec::DirectionalQuantity::kYoungsModulus);
  ASSERT_TRUE(survey.ok()) << survey.error().Describe();
  EXPECT_NEAR(static_cast<double>(survey->maximum.value * (s.s11 - 2 * s0 / 3)), 1.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(survey->minimum.value * s.s11), 1.0, 1e-12);
  EXPECT_EQ(survey->maximum.lattice, "[1 1 1]");
  EXPECT_EQ(survey->minimum.lattice, "[0 0 1]");
  ASSERT_TRUE(survey->zenerRatio.has_value());
  EXPECT_NEAR(static_cast<double>(*survey->zenerRatio), 2.0 * 116 / (237 - 141), 1e-15);
  // Every value of the map lies between the extremes.
  for (Real v : survey->values)
    if (std::isfinite(v)) {
      EXPECT_GE(v, survey->minimum.value * (1 - 1e-15L));
      EXPECT_LE(v, survey->maximum.value * (1 + 1e-15L));
    }
}

// The linear compressibility of a cubic crystal is S11 + 2 S12 in every direction, and an
// isotropic stiffness has no anisotropy: A_U = 0, max = min.
TEST(DirectionalModuli, IsotropicCasesAreFlat) {
  const CubicCompliance s = CubicOf(237, 141, 116);
  const auto beta = SurveyDirections(Iron(), polydec::DirectionalQuantity::kLinearCompressibility);
  ASSERT_TRUE(beta.ok());
  EXPECT_NEAR(static_cast<double>(beta->minimum.value), static_cast<double>(1000 * (s.s11 + 2 * s.s12)), 1e-12);
  EXPECT_NEAR(static_cast<double>(beta->maximum.value), static_cast<double>(1000 * (s.s11 + 2 * s.s12)), 1e-12);
  EXPECT_EQ(beta->unit, "1/TPa");

  Cij21 iso{};
  iso[0] = 250;
  iso[3] = 100;
  auto phase = MakePhase("iso", kIsotropicClass, ApplyClassRules(iso, kIsotropicClass),
                         Cell{3, 3, 3, 90, 90, 90}, 200, 0.3L);
  ASSERT_TRUE(phase.ok()) << phase.error().Describe();
  const auto e = SurveyDirections(*phase, polydec::DirectionalQuantity::kYoungsModulus);
  ASSERT_TRUE(e.ok());
  EXPECT_NEAR(static_cast<double>(e->universalAnisotropy), 0.0, 1e-14);
  EXPECT_NEAR(static_cast<double>(e->maximum.value / e->minimum.value), 1.0, 1e-15);
  EXPECT_FALSE(e->zenerRatio.has_value());
}

// The universal index of a cubic crystal, from its Voigt and Reuss moduli in closed form.
TEST(DirectionalModuli, UniversalAnisotropyOfACubicCrystal) {
  Tensor4 C, S;
  core::CijklToTensor(test::Cubic(237, 141, 116), C);
  S = C;
  core::InvertTensor(S, 1);
  const Real gV = (237 - 141 + 3 * 116) / 5.0L;
  const Real gR = 5 * (237 - 141) * 116 / (4 * 116 + 3 * (237 - 141.0L));
  EXPECT_NEAR(static_cast<double>(UniversalAnisotropy(C, S)), static_cast<double>(5 * gV / gR - 5), 1e-13);
}

// Equal areas: the directions within polar angle t fill the disc out to r with
// r² = 1 - cos t, the share of the hemisphere they cover; the projection inverts.
TEST(DirectionalModuli, EqualAreaProjectionKeepsAreasAndInverts) {
  for (Real x : {-0.9L, -0.3L, 0.0L, 0.25L, 0.7L})
    for (Real y : {-0.4L, 0.0L, 0.3L, 0.6L}) {
      if (x * x + y * y > 1) continue;
      const Tensor1 n = EqualAreaDirection(x, y);
      EXPECT_NEAR(static_cast<double>(n(1) * n(1) + n(2) * n(2) + n(3) * n(3)), 1.0, 1e-15);
      EXPECT_NEAR(static_cast<double>(x * x + y * y), static_cast<double>(1 - n(3)), 1e-15);
      Real bx = 0, by = 0;
      EqualAreaPoint(n, bx, by);
      EXPECT_NEAR(static_cast<double>(bx), static_cast<double>(x), 1e-15);
      EXPECT_NEAR(static_cast<double>(by), static_cast<double>(y), 1e-15);
    }
}

std::uint32_t BigEndian(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// The PNG is read back by hand: chunk lengths, the stored deflate blocks that hold the rows
// with their filter bytes, the Adler-32 of the rows and the CRC of the end chunk (a constant).
// An image larger than one stored block (65535 bytes) checks the block chaining.
TEST(RasterImage, PngHoldsThePixels) {
  core::RasterImage image(150, 160, {10, 20, 30});
  image.Set(0, 0, {255, 0, 0});
  image.Set(149, 159, {0, 255, 0});
  const std::string png = core::EncodePng(image);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
  ASSERT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(BigEndian(png, 16), 150u);
  EXPECT_EQ(BigEndian(png, 20), 160u);
  const std::size_t idat = 8 + 12 + 13;
  ASSERT_EQ(png.substr(idat + 4, 4), "IDAT");
  const std::string z = png.substr(idat + 8, BigEndian(png, idat));
  std::string raw;
  std::size_t at = 2;
  for (bool last = false; !last;) {
    last = (z[at] & 1) != 0;
    const std::size_t n = static_cast<unsigned char>(z[at + 1]) | static_cast<unsigned char>(z[at + 2]) << 8;
    const std::size_t complement = static_cast<unsigned char>(z[at + 3]) | static_cast<unsigned char>(z[at + 4]) << 8;
    ASSERT_EQ(n ^ complement, 0xFFFFu);
    raw += z.substr(at + 5, n);
    at += 5 + n;
  }
  ASSERT_EQ(raw.size(), 160u * (1 + 3 * 150));
  EXPECT_EQ(raw.substr(0, 4), std::string("\0\xff\0\0", 4));
  EXPECT_EQ(raw.substr(raw.size() - 3), std::string("\0\xff\0", 3));
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(BigEndian(z, at), b << 16 | a);
  const std::string end = png.substr(png.size() - 12);
  EXPECT_EQ(end.substr(4, 4), "IEND");
  EXPECT_EQ(BigEndian(end, 8), 0xAE426082u);
  EXPECT_EQ(core::Base64("polydec"), "cG9seWRlYw==");
  EXPECT_EQ(core::Base64("pol"), "cG9s");
}

}  // namespace
}  // namespace polydec::special
