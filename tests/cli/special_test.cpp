// The special-function verbs: sctensor, twins, taylor, schmid and elongation, run as a user
// would, with their JSON, files and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "cli/run_cli.h"
#include "support/file_helpers.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class SpecialCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("polydec_special_cli_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(SpecialCliTest, SCTensorTurnsTheCrystalAndRefusesAFrameThatIsNoRotation) {
  const CliRun r = RunPolydec({"sctensor", "--cij", "C11=237 C12=141 C44=116", "--symmetry",
                               "cubic", "--x", "1 1 0", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(r.out);
  EXPECT_NEAR(j["C"][0][0].get<double>(), (237 + 141 + 2 * 116) / 2.0, 1e-12);
  EXPECT_NEAR(j["C"][2][2].get<double>(), 237, 1e-12);
  EXPECT_EQ(j["E"].size(), 3u);

  const CliRun bad = RunPolydec({"sctensor", "--x", "1 1 0", "--z", "1 1 1"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("not perpendicular"), std::string::npos) << bad.err;
  EXPECT_TRUE(bad.out.empty());
}

// The directional map of iron: the extremes are the closed forms 1/S11 along <100> and
// 1/(S11 - 2 S0/3) along <111>, the picture is a PNG or an SVG by its name, and the text
// names the anisotropy indices.
TEST_F(SpecialCliTest, SCTensorPlotsYoungsModulus) {
  const double det = (237.0 - 141) * (237.0 + 2 * 141);
  const double s11 = (237.0 + 141) / det, s12 = -141 / det, s0 = s11 - s12 - 1 / 116.0 / 2;
  const std::string png = (dir_ / "E.png").string(), svg = (dir_ / "E.svg").string();
  const CliRun r = RunPolydec({"sctensor", "--material", "iron", "--plot", "young", "-o", png, "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(r.out);
  EXPECT_NEAR(j["minimum"]["value"].get<double>(), 1 / s11, 1e-10);
  EXPECT_NEAR(j["maximum"]["value"].get<double>(), 1 / (s11 - 2 * s0 / 3), 1e-10);
  EXPECT_EQ(j["maximum"]["lattice"], "[1 1 1]");
  EXPECT_NEAR(j["zener"].get<double>(), 2 * 116.0 / (237 - 141), 1e-14);
  EXPECT_EQ(ReadWholeFile(png).substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));

  const CliRun text = RunPolydec({"sctensor", "--material", "iron", "--plot", "compressibility", "-o", svg});
  ASSERT_EQ(text.status, 0) << text.err;
  for (const char* expected : {"Linear compressibility", "minimum", "maximum", "Zener ratio", "universal anisotropy"})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
  const std::string picture = ReadWholeFile(svg);
  EXPECT_NE(picture.find("<svg"), std::string::npos);
  EXPECT_NE(picture.find("data:image/png;base64,"), std::string::npos);

  struct Refused {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Refused refused[] = {
      {{"sctensor", "--plot", "young"}, 2, "-o"},
      {{"sctensor", "--plot", "shear", "-o", png}, 1, "shear"},
      {{"sctensor", "--plot", "young", "-o", (dir_ / "E.jpg").string()}, 1, ".png or .svg"},
      {{"sctensor", "--plot", "young", "-o", (dir_ / "missing" / "E.png").string()}, 1, "missing"},
  };
  for (const Refused& c : refused) {
    const CliRun bad = RunPolydec(c.args);
    EXPECT_EQ(bad.status, c.status) << c.message << ": " << bad.err;
    EXPECT_NE(bad.err.find(c.message), std::string::npos) << bad.err;
  }
}

TEST_F(SpecialCliTest, OneOrientationOfEachSlipVerb) {
  const CliRun t = RunPolydec({"taylor", "--euler", "0 0 0", "--ratio", "0.5", "--json"});
  ASSERT_EQ(t.status, 0) << t.err;
  const json tj = json::parse(t.out);
  EXPECT_EQ(tj["ratio"].get<double>(), 0.5);
  // Cube orientation in axisymmetric tension: eight systems at Schmid factor 1/sqrt(6) share
  // the strain, the least slip is sqrt(6) per unit strain.
  EXPECT_NEAR(tj["taylor"].get<double>(), std::sqrt(6.0), 0.02 * std::sqrt(6.0));

  const CliRun s = RunPolydec({"schmid", "--euler", "0 0 0", "--json"});
  ASSERT_EQ(s.status, 0) << s.err;
  const json sj = json::parse(s.out);
  EXPECT_EQ(sj["kroener"]["system"].get<int>(), 3);
  EXPECT_EQ(sj["inverse_kroener"]["system"].get<int>(), 3);

  const CliRun e = RunPolydec({"elongation", "--euler", "10 30 20", "--json"});
  ASSERT_EQ(e.status, 0) << e.err;
  const json ej = json::parse(e.out);
  EXPECT_GE(ej["stretch"][0].get<double>(), 1.05);
  EXPECT_FALSE(ej["step_limit_reached"].get<bool>());

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"taylor", "--euler", "0 0", "--json"},
        std::vector<std::string>{"taylor", "--euler", "0 0 0", "--ratio", "1.5"}}) {
    const CliRun b = RunPolydec(args);
    EXPECT_EQ(b.status, 1) << args[2];
    EXPECT_TRUE(b.out.empty());
  }
}

TEST_F(SpecialCliTest, ElongationGridGoesToTheNamedFile) {
  const fs::path out = dir_ / "elong.dat";
  const CliRun r = RunPolydec({"elongation", "-o", out.string(), "--threads", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = test::ReadFile(out);
  std::size_t lines = 0;
  for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
    ++lines;
  EXPECT_EQ(lines, 19u * 19u * 19u);
  EXPECT_FALSE(fs::exists(out.string() + ".partial"));
  EXPECT_NE(r.out.find("6859 orientations written"), std::string::npos);
}

TEST_F(SpecialCliTest, TwinTableErrorsNameFileLineAndColumn) {
  const fs::path table = dir_ / "twins.txt";
  test::WriteFile(table,
                  "(phi,psi),h,k,l\thabit plane, shear dir.\twindow\r\n"
                  "0 0, 0 0 2\t-1 0 2, 1 0 1\t0 355 70 90\r\n"
                  "0 0, 0 0 2\t1 0 1, 1 0 -2\t0 355 x 90\r\n");
  const CliRun r =
      RunPolydec({"twins", "--odf", (dir_ / "none.odf").string(), "--table", table.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 3, column 3"), std::string::npos) << r.err;

  test::WriteFile(table, "0 0, 0 0 2\t-1 0 2, 1 0 1\t0 355 70 90\r\n");
  const CliRun missing =
      RunPolydec({"twins", "--odf", (dir_ / "none.odf").string(), "--table", table.string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.odf"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace polydec::cli_test
