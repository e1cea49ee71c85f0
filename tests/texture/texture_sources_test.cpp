// Textures from orientation lists: one analytic texture given as the regular 5-degree table, as
// an equispaced export and as orientations drawn from it gives one stiffness and one set of
// stress factors; EBSD maps give back the orientations they were made from; the kernel ODF
// peaks at its orientation and keeps the crystal's symmetry; and the table reader refuses
// what it cannot take as weights.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "api/texture_data.h"
#include "core/linalg.h"
#include "odf_fixtures.h"
#include "polydec/macro.h"
#include "polydec/phase.h"
#include "polydec/stress_factors.h"
#include "polydec/texture.h"
#include "texture/kernel_odf.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"
#include "texture/orientation_lists.h"

namespace polydec {
namespace {

namespace tt = texture_test;
using core::kPi;

const std::string kDatabase = std::string(POLYDEC_BIN_DIR) + "/pfcryst.dat";

Real Degrees(Real radians) { return radians * 180 / kPi; }

// The analytic texture of every description below: cubic crystal, no sample symmetry.
Real AnalyticTexture(Real a1, Real a, Real a2) { return tt::CubicTriclinicTexture(a1, a, a2); }

std::string RegularTable() {
  std::string text = "phi1 Phi phi2 value\n";
  for (int a1 = 0; a1 <= 355; a1 += 5)
    for (int a = 0; a <= 90; a += 5)
      for (int a2 = 0; a2 <= 90; a2 += 5)
        text += std::to_string(a1) + " " + std::to_string(a) + " " + std::to_string(a2) + " " +
                tt::Format("%.10Lg", AnalyticTexture(a1, a, a2)) + "\n";
  return text;
}

// The export of an equispaced grid over phi1 0..360, Phi 0..90, phi2 0..90: rows Phi = 2.5,
// 7.5, ... with about 72 sin Phi points in phi1, so that every point stands for one volume.
std::string EquispacedTable() {
  std::string text = "% ODF on an equispaced grid\nphi1 Phi phi2 value\n";
  for (int row = 0; row < 18; ++row) {
    const Real P = 2.5L + 5 * row;
    const int n1 = std::max(1, static_cast<int>(std::lround(72 * std::sin(P * kPi / 180))));
    for (int k = 0; k < n1; ++k)
      for (int j = 0; j < 18; ++j) {
        const Real a1 = (k + 0.5L) * 360 / n1, a2 = 2.5L + 5 * j;
        text += tt::Format("%.4Lf", a1) + " " + tt::Format("%.1Lf", P) + " " +
                tt::Format("%.1Lf", a2) + " " + tt::Format("%.8Lg", AnalyticTexture(a1, P, a2)) +
                "\n";
      }
  }
  return text;
}

// Bunge angles (degrees) of a rotation matrix whose rows are the crystal axes in the sample
// frame, as the fixture's BungeMatrix builds it.
std::array<Real, 3> AnglesOf(const tt::Matrix3& g) {
  const Real P = std::acos(std::clamp(g(3, 3), Real{-1}, Real{1}));
  Real p1 = std::atan2(g(3, 1), -g(3, 2)), p2 = std::atan2(g(1, 3), g(2, 3));
  if (p1 < 0) p1 += 2 * kPi;
  if (p2 < 0) p2 += 2 * kPi;
  return {Degrees(p1), Degrees(P), Degrees(p2)};
}

// Orientations drawn from the texture: uniform rotations (unit quaternions of four normal
// numbers) kept with probability f / bound.
std::vector<std::array<Real, 3>> DrawOrientations(int count, unsigned seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> uniform(0, 1);
  constexpr Real kBound = 6;  // above the texture's maximum
  std::vector<std::array<Real, 3>> out;
  while (static_cast<int>(out.size()) < count) {
    Real q[4];
    Real n = 0;
    for (Real& x : q) {
      x = normal(random);
      n += x * x;
    }
    n = std::sqrt(n);
    const Real w = q[0] / n, x = q[1] / n, y = q[2] / n, z = q[3] / n;
    const tt::Matrix3 g{{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                         {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                         {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
    if (std::fabs(g(3, 3)) > 1 - 1e-12L) continue;
    const Real f = tt::CubicTriclinicTextureOf(g);
    EXPECT_LT(f, kBound);
    if (uniform(random) * kBound < f) out.push_back(AnglesOf(g));
  }
  return out;
}

std::string DrawnTable(const std::vector<std::array<Real, 3>>& orientations) {
  std::string text = "phi1 Phi phi2\n";
  for (const auto& o : orientations)
    text += tt::Format("%.6Lf", o[0]) + " " + tt::Format("%.6Lf", o[1]) + " " +
            tt::Format("%.6Lf", o[2]) + "\n";
  return text;
}

Phase Iron() {
  const Result<Phase> iron = LoadMaterial("iron", kDatabase);
  EXPECT_TRUE(iron) << (iron ? "" : iron.error().Describe());
  return *iron;
}

Texture Load(const std::string& path, TextureFormat format = TextureFormat::kAuto) {
  TextureSource source;
  source.path = path;
  source.format = format;
  const Result<Texture> t = LoadTexture(source);
  EXPECT_TRUE(t) << (t ? "" : t.error().Describe());
  return t ? *t : Texture{};
}

Real LargestEntry(const Matrix6& C) {
  Real m = 0;
  for (const auto& row : C)
    for (Real x : row) m = std::max(m, std::fabs(x));
  return m;
}

TEST(TextureSources, ThreeDescriptionsOfOneTextureAgree) {
  const tt::TempFolder folder;
  const Phase iron = Iron();
  const Texture regular = Load(folder.Write("regular.txt", RegularTable()));
  const Texture equispaced = Load(folder.Write("equispaced.txt", EquispacedTable()));
  const Texture drawn = Load(folder.Write("drawn.txt", DrawnTable(DrawOrientations(20000, 7))));
  EXPECT_EQ(regular.format, TextureFormat::kMtex);
  EXPECT_EQ(equispaced.format, TextureFormat::kOrientations);
  EXPECT_TRUE(equispaced.valuesWereWeights);
  EXPECT_EQ(drawn.format, TextureFormat::kOrientations);
  EXPECT_EQ(drawn.valuesRead, 20000);
  for (const Texture* t : {&equispaced, &drawn}) {
    EXPECT_TRUE(t->grains);
    EXPECT_EQ(t->sampleSymmetry, kTriclinicSample);
  }

  // The Voigt stiffness: the grid by Euler-space quadrature, the lists by their orientations.
  MacroOptions voigt;
  voigt.model = kVoigt;
  const Result<MacroStiffness> reference = ComputeMacroStiffness(iron, regular, voigt);
  ASSERT_TRUE(reference) << reference.error().Describe();
  const Real scale = LargestEntry(reference->C);
  for (const Texture* t : {&equispaced, &drawn}) {
    const Result<MacroStiffness> m = ComputeMacroStiffness(iron, *t, voigt);
    ASSERT_TRUE(m) << m.error().Describe();
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 6; ++j)
        EXPECT_NEAR(m->C[i][j], reference->C[i][j], 0.005L * scale)
            << TextureFormatName(t->format) << " C" << i + 1 << j + 1;
  }

  // Stress factors along fibres need an ODF: the lists' kernel ODFs. A half-width of 5 degrees
  // keeps the kernel's own smoothing of the texture below the agreement asked for.
  const KernelOptions kernel{KernelShape::kDeLaValleePoussin, 5};
  const std::vector<Direction> directions = {{0, 0}, {0, 30}, {0, 60}, {90, 45}, {45, 45}, {30, 70}};
  for (ModelCode model : {kReuss, kVoigt}) {
    StressFactorOptions options;
    options.model = model;
    const auto expected = ComputeStressFactors(iron, {2, 1, 1}, directions, options, &regular);
    ASSERT_TRUE(expected) << expected.error().Describe();
    Real largest = 0;
    for (const StressFactors& s : *expected)
      for (Real f : s.F) largest = std::max(largest, std::fabs(f));
    for (const Texture* list : {&equispaced, &drawn}) {
      const Result<Texture> smooth = KernelTexture(*list, kernel);
      ASSERT_TRUE(smooth) << smooth.error().Describe();
      const auto got = ComputeStressFactors(iron, {2, 1, 1}, directions, options, &*smooth);
      ASSERT_TRUE(got) << got.error().Describe();
      for (std::size_t d = 0; d < directions.size(); ++d)
        for (std::size_t k = 0; k < 6; ++k)
          EXPECT_NEAR((*got)[d].F[k], (*expected)[d].F[k], 0.01L * largest)
              << TextureFormatName(list->format) << " model " << model << " direction " << d
              << " F entry " << k;
    }
  }
}

// An .ang and a .ctf map written from one set of orientations, with points that were not
// indexed and points of a second phase among them.
struct MapCase {
  const char* name;
  TextureFormat format;
  std::string (*write)(const std::vector<std::array<Real, 3>>&);
};

std::string AngText(const std::vector<std::array<Real, 3>>& o) {
  std::string text =
      "# TEM_PIXperUM          1.000000\n# Phase 1\n# MaterialName  \tIron\n# Symmetry 43\n"
      "# Phase 2\n# MaterialName  \tCementite\n# GRID: SqrGrid\n# XSTEP: 0.5\n# YSTEP: 0.5\n"
      "#\n";
  for (std::size_t k = 0; k < o.size(); ++k) {
    const auto r = [](Real deg) { return tt::Format("%.6Lf", deg * kPi / 180); };
    text += r(o[k][0]) + " " + r(o[k][1]) + " " + r(o[k][2]) + " " + std::to_string(k) +
            ".0 0.0 120.0 0.85 1 0.0 1.2\n";
    if (k % 10 == 0) text += "12.56637 12.56637 12.56637 0.0 1.0 20.0 -1.000 0 0.0 0.0\n";
    if (k % 7 == 0) text += "1.0 0.5 0.2 0.0 2.0 90.0 0.70 2 0.0 0.9\n";
  }
  return text;
}

std::string CtfText(const std::vector<std::array<Real, 3>>& o) {
  std::string text =
      "Channel Text File\nPrj\ttest\nJobMode\tGrid\nXCells\t100\nYCells\t1\nXStep\t0.5\n"
      "YStep\t0.5\nPhases\t2\n2.866;2.866;2.866\t90;90;90\tIron\t11\t229\n"
      "5.09;6.74;4.52\t90;90;90\tCementite\t3\t62\n"
      "Phase\tX\tY\tBands\tError\tEuler1\tEuler2\tEuler3\tMAD\tBC\tBS\n";
  for (std::size_t k = 0; k < o.size(); ++k) {
    const auto d = [](Real deg) { return tt::Format("%.4Lf", deg); };
    text += "1\t" + std::to_string(k) + "\t0\t8\t0\t" + d(o[k][0]) + "\t" + d(o[k][1]) + "\t" +
            d(o[k][2]) + "\t0.4\t150\t180\n";
    if (k % 10 == 0) text += "0\t0\t1\t0\t3\t0\t0\t0\t0\t20\t10\n";
    if (k % 7 == 0) text += "2\t0\t2\t7\t0\t10\t20\t30\t0.6\t140\t170\n";
  }
  return text;
}

TEST(TextureSources, EbsdMapsGiveTheirOrientationsBack) {
  const tt::TempFolder folder;
  const std::vector<std::array<Real, 3>> orientations = DrawOrientations(200, 3);
  const MapCase cases[] = {{"map.ang", TextureFormat::kAng, &AngText},
                           {"map.ctf", TextureFormat::kCtf, &CtfText}};
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Write(c.name, c.write(orientations));
    TextureSource source;
    source.path = path;
    // Two phases are indexed: the map is refused until one is chosen, naming them.
    const Result<Texture> open = LoadTexture(source);
    ASSERT_FALSE(open);
    EXPECT_NE(open.error().message.find("1 (Iron), 2 (Cementite)"), std::string::npos)
        << open.error().message;
    source.phase = 1;
    const Result<Texture> t = LoadTexture(source);
    ASSERT_TRUE(t) << t.error().Describe();
    EXPECT_EQ(t->format, c.format);
    EXPECT_TRUE(t->grains);
    EXPECT_EQ(t->valuesRead, static_cast<long long>(orientations.size()));
    EXPECT_EQ(t->skipped, 20 + 29);  // not indexed, and phase 2
    const core::GrainOrientations& g = api::ContextOf(*t).GOrient;
    ASSERT_EQ(g.phi1.size(), orientations.size());
    for (std::size_t k = 0; k < orientations.size(); ++k) {
      EXPECT_NEAR(Degrees(g.phi1[k]), orientations[k][0], 1e-3L) << k;
      EXPECT_NEAR(Degrees(g.phi[k]), orientations[k][1], 1e-3L) << k;
      EXPECT_NEAR(Degrees(g.phi2[k]), orientations[k][2], 1e-3L) << k;
      EXPECT_EQ(g.weight[k], g.weight[0]);
    }
    // Phase 2 alone, and a quality threshold that every point of phase 1 passes while the
    // phase-2 points (lower quality) do not.
    source.phase = 2;
    const Result<Texture> second = LoadTexture(source);
    ASSERT_TRUE(second) << second.error().Describe();
    EXPECT_EQ(second->valuesRead, 29);
    source.minQuality = c.format == TextureFormat::kAng ? 0.8 : 145;
    const Result<Texture> none = LoadTexture(source);
    ASSERT_FALSE(none);
    EXPECT_NE(none.error().message.find("threshold"), std::string::npos);
    source.phase = 1;
    const Result<Texture> kept = LoadTexture(source);
    ASSERT_TRUE(kept) << kept.error().Describe();
    EXPECT_EQ(kept->valuesRead, static_cast<long long>(orientations.size()));
  }
}

// The kernel ODF of one orientation (a grains-file grain): its largest node is the orientation
// itself (or a symmetric equivalent), its mean is 1 m.r.d., and the nodes the symmetry copies
// (Phi > 90, phi2 beyond 90) hold what the direct sum over all 24 equivalents gives there.
TEST(TextureSources, KernelOdfOfOneOrientation) {
  const tt::TempFolder folder;
  const std::string path =
      folder.Write("one.txt", "phi1 Phi phi2 weight\n35 40 20 1\n");
  const Texture list = Load(path);
  ASSERT_EQ(list.format, TextureFormat::kOrientations);
  for (const KernelShape shape : {KernelShape::kDeLaValleePoussin, KernelShape::kGaussian}) {
    const Result<Texture> t = KernelTexture(list, {shape, 10});
    ASSERT_TRUE(t) << t.error().Describe();
    const core::OrientationsRec& ctx = api::ContextOf(*t);
    EXPECT_NEAR(texture::ODFIntegral(ctx, 36) / (8 * kPi * kPi), 1, 1e-9L);
    std::size_t best = 0;
    for (std::size_t n = 0; n < static_cast<std::size_t>(texture::kODFNodeCount); ++n)
      if (ctx.ODF[n] > ctx.ODF[best]) best = n;
    const int i1 = static_cast<int>(best / texture::kODFSectionSize);
    const int i = static_cast<int>(best % texture::kODFSectionSize / texture::kPhi2Nodes);
    const int i2 = static_cast<int>(best % texture::kPhi2Nodes);
    // The peak node is one of the orientation's equivalents: rotation angle 0 from it.
    const core::Tensor2 g = texture::EulerToMatrix(35 * kPi / 180, 40 * kPi / 180, 20 * kPi / 180);
    const core::Tensor2 h =
        texture::EulerToMatrix(i1 * 5 * kPi / 180, i * 5 * kPi / 180, i2 * 5 * kPi / 180);
    Real nearest = 180;
    std::vector<Real> direct;  // kernel sums at the probe nodes below
    // A node beside the orientation, and nodes beside its images under the fourfold axis Z
    // (phi2 + 90), the twofold axis X (phi1 + 180, 180 - Phi, 180 - phi2) and both: the last
    // three are copied from the first part of the grid, not summed.
    const int probes[][3] = {{7, 9, 5}, {43, 27, 31}, {7, 9, 23}, {44, 28, 49}};
    direct.assign(std::size(probes), 0);
    for (const core::Tensor2& C : texture::CubicOperators().entries) {
      core::Tensor2 Cg;
      core::MatMul3x3(C, g, Cg);
      const auto angle = [&](const core::Tensor2& a) {
        Real trace = 0;
        for (int r = 1; r <= 3; ++r)
          for (int s = 1; s <= 3; ++s) trace += a(r, s) * Cg(r, s);
        return Degrees(std::acos(std::clamp((trace - 1) / 2, Real{-1}, Real{1})));
      };
      nearest = std::min(nearest, angle(h));
      for (std::size_t k = 0; k < std::size(probes); ++k) {
        const auto& p = probes[k];
        direct[k] += texture::KernelValue(
            {shape == KernelShape::kGaussian ? texture::KernelShape::kGaussian
                                             : texture::KernelShape::kDeLaValleePoussin,
             10},
            angle(texture::EulerToMatrix(p[0] * 5 * kPi / 180, p[1] * 5 * kPi / 180,
                                         p[2] * 5 * kPi / 180)));
      }
    }
    EXPECT_LT(nearest, 1e-6L) << "peak at node " << i1 << " " << i << " " << i2;
    // Ratios between nodes computed and nodes copied by symmetry, against the direct sums.
    const auto value = [&](const int* p) {
      return ctx.ODF[static_cast<std::size_t>(texture::ODFNodeIndex(p[0], p[1], p[2]))];
    };
    for (std::size_t k = 1; k < std::size(probes); ++k)
      EXPECT_NEAR(value(probes[k]) / value(probes[0]), direct[k] / direct[0],
                  2e-3L * direct[k] / direct[0] + 1e-9L)
          << "probe " << k;
  }
}

// What the table reader refuses, and where.
TEST(TextureSources, OrientationTableRefusals) {
  const tt::TempFolder folder;
  struct Case {
    const char* name;
    std::string text;
    int line;
    const char* says;
  };
  std::string regular = "phi1 Phi phi2 value\n";
  for (int a = 0; a <= 90; a += 5)
    for (int a1 = 0; a1 < 360; a1 += 30) regular += std::to_string(a1) + " " + std::to_string(a) + " 0 1\n";
  const Case cases[] = {
      {"regular grid read as weights", regular, 1, "not equispaced"},
      {"no header", "1 2 3 4\n", 0, "no header line"},
      {"word not a number", "phi1 Phi phi2 weight\n10 20 30 1\n10 x 30 1\n", 3, "not a number"},
      {"Phi beyond 180", "phi1 Phi phi2\n10 20 30\n10 190 30\n", 3, "outside 0..180"},
      {"negative weight", "phi1 Phi phi2 weight\n10 20 30 -1\n", 2, "negative"},
      {"short line", "Phi phi1 phi2 weight\n10 20 30\n", 2, "holds 3 words"},
      {"all weights 0", "phi1 Phi phi2 weight\n10 20 30 0\n", 0, "every value"},
      {"empty", "phi1 Phi phi2 weight\n", 2, "no orientations"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextureSource source;
    source.path = folder.Write("table.txt", c.text);
    source.format = TextureFormat::kOrientations;
    const Result<Texture> t = LoadTexture(source);
    ASSERT_FALSE(t);
    EXPECT_EQ(t.error().line, c.line);
    EXPECT_NE(t.error().message.find(c.says), std::string::npos) << t.error().message;
  }
  // The user's word takes the regular grid's values as weights.
  TextureSource source;
  source.path = folder.Write("regular.txt", regular);
  source.format = TextureFormat::kOrientations;
  source.valuesAreWeights = true;
  EXPECT_TRUE(LoadTexture(source));
}

// Columns in any order, radians by the header or by their range, degrees by the header.
TEST(TextureSources, OrientationTableUnitsAndColumns) {
  const tt::TempFolder folder;
  struct Case {
    const char* text;
    AngleUnits units;
  };
  const Case cases[] = {
      {"phi1 Phi phi2\n0.6108652 0.6981317 0.3490659\n", AngleUnits::kAuto},
      {"weight phi2 Phi phi1\n2 20 40 35\n", AngleUnits::kAuto},
      {"phi1[rad] Phi[rad] phi2[rad]\n0.6108652 0.6981317 0.3490659\n", AngleUnits::kAuto},
      {"phi1 Phi phi2\n35 40 20\n", AngleUnits::kDegrees},
      {"phi1 Phi phi2\n0.6108652 0.6981317 0.3490659\n", AngleUnits::kRadians},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TextureSource source;
    source.path = folder.Write("t.txt", c.text);
    source.angleUnits = c.units;
    const Result<Texture> t = LoadTexture(source);
    ASSERT_TRUE(t) << t.error().Describe();
    const core::GrainOrientations& g = api::ContextOf(*t).GOrient;
    ASSERT_EQ(g.phi1.size(), 1u);
    EXPECT_NEAR(Degrees(g.phi1[0]), 35, 1e-5L);
    EXPECT_NEAR(Degrees(g.phi[0]), 40, 1e-5L);
    EXPECT_NEAR(Degrees(g.phi2[0]), 20, 1e-5L);
  }
}

// What --odf-format auto makes of a file.
TEST(TextureSources, AutomaticFormatByExtensionAndHeader) {
  const tt::TempFolder folder;
  std::string grid = "phi1 Phi phi2 v\n";
  for (int a1 = 0; a1 <= 355; a1 += 5)
    for (int a = 0; a <= 90; a += 5)
      for (int a2 = 0; a2 <= 90; a2 += 5)
        grid += std::to_string(a1) + " " + std::to_string(a) + " " + std::to_string(a2) + " 1\n";
  struct Case {
    const char* name;
    std::string text;
    TextureFormat format;
  };
  const Case cases[] = {
      {"grid.txt", grid, TextureFormat::kMtex},
      {"weights.txt", "phi1 Phi phi2 weight\n0 0 0 1\n", TextureFormat::kOrientations},
      {"angles.txt", "Phi phi2 phi1\n10 20 30\n", TextureFormat::kOrientations},
      {"equispaced.txt", EquispacedTable(), TextureFormat::kOrientations},
      {"map.ang", "# Phase 1\n#\n0.1 0.2 0.3 0 0 100 0.9 1\n", TextureFormat::kAng},
      {"map.txt",
       "Channel Text File\nPhase\tX\tY\tEuler1\tEuler2\tEuler3\n1\t0\t0\t10\t20\t30\n",
       TextureFormat::kCtf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Texture t = Load(folder.Write(c.name, c.text));
    EXPECT_EQ(t.format, c.format);
    EXPECT_EQ(t.grains, c.format != TextureFormat::kMtex);
  }
}

}  // namespace
}  // namespace polydec
