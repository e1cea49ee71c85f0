// Golden runs of `polydec odf info` on ODF files written at test time from known textures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "texture/odf_fixtures.h"

namespace polydec::cli_test {
namespace {

using ::testing::HasSubstr;
using texture_test::TempFolder;

const TempFolder& Folder() {
  static const TempFolder folder;
  return folder;
}

TEST(CliOdf, PoplaTextReportsRegionSymmetryAndNodes) {
  texture_test::PoplaLayout layout;
  layout.lastSection = 175;
  layout.max2 = 60;
  const std::string file = Folder().Write(
      "hex.odf", texture_test::PoplaText(texture_test::HexagonalTexture, layout, "\r\n"));
  const CliRun run = RunPolydec({"odf", "info", file, "--format", "popla"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("format"));
  EXPECT_THAT(run.out, HasSubstr("popla"));
  EXPECT_THAT(run.out, HasSubstr("monoclinic"));
  EXPECT_THAT(run.out, HasSubstr("phi1 0..180, Phi 0..90, phi2 0..60"));
  EXPECT_THAT(run.out, HasSubstr("197173"));
  EXPECT_THAT(run.out, HasSubstr("values read"));
  EXPECT_THAT(run.out, HasSubstr("integral / 8 pi^2"));
  // Sections 0..175 of 19 x 19 values.
  EXPECT_THAT(run.out, HasSubstr(std::to_string(36 * 361)));
}

TEST(CliOdf, MtexJsonHoldsTheDocumentedKeys) {
  const auto f = texture_test::GeneralTexture;
  const std::string file =
      Folder().Write("full.txt", texture_test::MtexText(f, 360, 180, 360, "\n"));
  const CliRun run = RunPolydec({"odf", "info", file, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  for (const char* key :
       {"format", "sample_symmetry", "region", "nodes", "min", "max", "integral", "warnings"})
    EXPECT_TRUE(j.contains(key)) << key;
  EXPECT_EQ(j["format"], "mtex");
  // Data over the whole space reduce nothing, and the command assumes no sample symmetry.
  EXPECT_EQ(j["sample_symmetry"], "triclinic");
  EXPECT_EQ(j["region"], nlohmann::json::array({360.0, 180.0, 360.0}));
  EXPECT_EQ(j["nodes"], 197173);
  double lo = 1e300, hi = -1e300;
  for (int a1 = 0; a1 <= 360; a1 += 5)
    for (int a = 0; a <= 180; a += 5)
      for (int a2 = 0; a2 <= 360; a2 += 5) {
        lo = std::min(lo, static_cast<double>(f(a1, a, a2)));
        hi = std::max(hi, static_cast<double>(f(a1, a, a2)));
      }
  // The file holds every node with 21 digits; JSON numbers are doubles.
  EXPECT_NEAR(j["min"].get<double>(), lo, 1e-15);
  EXPECT_NEAR(j["max"].get<double>(), hi, 1e-15);
  // 1e-4 relative: the trilinear interpolant's integral, see the grid's integral test.
  const double exact = static_cast<double>(8 * core::kPi * core::kPi * texture_test::kGeneralMean);
  EXPECT_NEAR(j["integral"].get<double>(), exact, 1e-4 * exact);
  EXPECT_TRUE(j["warnings"].is_array());
  EXPECT_TRUE(j["warnings"].empty());
}

// A uniform ODF and the shipped example (values rounded to four digits, a flat background)
// repeat values between neighbouring nodes as a sound ODF does: no warning.
TEST(CliOdf, SoundOdfsGetNoRepeatedValuesWarning) {
  const std::string uniform = Folder().Write(
      "uniform.txt",
      texture_test::MtexText([](core::Real, core::Real, core::Real) { return core::Real{1}; }, 90,
                             90, 90, "\n"));
  for (const std::string& file :
       {uniform, std::string(POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf")}) {
    SCOPED_TRACE(file);
    const CliRun run = RunPolydec({"odf", "info", file, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(nlohmann::json::parse(run.out)["warnings"].empty()) << run.out;
  }
}

TEST(CliOdf, BadFilesEndWithStatusOneAndNameFileAndLine) {
  std::string popla = "title\n" + texture_test::PoplaHeader("SODB", 5, 90, 5, 90, 0) + "\n";
  std::string values;
  for (int c = 0; c < 19; ++c) values += "  10";
  for (int r = 0; r < 19; ++r) popla += (r == 2 ? " x" : " " + values) + "\n";
  struct Case {
    std::string name, text;
    std::vector<std::string> options;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"bad.odf", popla, {"--format", "popla"}, "bad.odf, line 5: value 1 (columns 2-5)"},
      {"bad.txt",
       "phi1 Phi phi2 value\n0 0 0 1\n0 0 5 -1\n",
       {},
       "bad.txt, line 3: the ODF value -1"},
      {"wrong.txt",
       "phi1 Phi phi2 value\n0 0 0 1\n",
       {"--format", "popla"},
       "wrong.txt, line 2: unknown section type"},
      {"missing.txt", "", {"--symmetry", "cubic"}, "the file holds no ODF values"},
  };
  for (const Case& c : cases) {
    const std::string file = Folder().Write(c.name, c.text);
    std::vector<std::string> args = {"odf", "info", file};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun run = RunPolydec(args);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_THAT(run.err, HasSubstr("polydec: error: "));
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.name;
    EXPECT_TRUE(run.out.empty()) << c.name;
  }
  EXPECT_EQ(RunPolydec({"odf", "info", Folder().File("absent.txt")}).status, 1);
  const CliRun unknownClass = RunPolydec({"odf", "info", "x.txt", "--symmetry", "cubical"});
  EXPECT_EQ(unknownClass.status, 1);
  EXPECT_THAT(unknownClass.err, HasSubstr("unknown crystal class"));
  EXPECT_EQ(RunPolydec({"odf", "info", "x.txt", "--format", "xml"}).status, 2);
  EXPECT_EQ(RunPolydec({"odf"}).status, 2);
}

}  // namespace
}  // namespace polydec::cli_test
