#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <regex>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kIron = "2.866 2.866 2.866 90 90 90";
const std::string kTitanium = "2.95 2.95 4.68 90 90 120";

// JSON numbers are doubles: 1e-14 leaves room for the last bits of the 80-bit results.
constexpr double kTol = 1e-14;

TEST(CliLattice, TextShowsSpacingNormalAndAngles) {
  const CliRun run = RunPolydec({"lattice", "--cell", kIron, "--hkl", "2 1 1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(run.out, HasSubstr("1.17003960"));
  EXPECT_THAT(run.out, HasSubstr("0.81649658"));  // 2/sqrt(6)
  EXPECT_THAT(run.out, HasSubstr("Å"));
  EXPECT_THAT(run.out, HasSubstr("deg"));
  // Six aligned lines: every value ends in the same column.
  std::vector<std::size_t> ends;
  std::size_t start = 0;
  for (std::size_t nl; (nl = run.out.find('\n', start)) != std::string::npos; start = nl + 1) {
    const std::string line = run.out.substr(start, nl - start);
    std::size_t width = 0;
    for (const char ch : line) width += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    ends.push_back(width);
  }
  ASSERT_EQ(ends.size(), 6u) << run.out;
  for (const std::size_t end : ends) EXPECT_EQ(end, ends[0]) << run.out;
}

TEST(CliLattice, JsonHasTheDocumentedKeysAndValues) {
  const CliRun run = RunPolydec({"lattice", "--cell", kIron, "--hkl", "2 1 1", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_THAT(keys, ::testing::UnorderedElementsAre("d", "normal", "azimuth", "polar"));

  const double s6 = std::sqrt(6.0);
  EXPECT_NEAR(json["d"].get<double>(), 2.866 / s6, kTol);
  ASSERT_EQ(json["normal"].size(), 3u);
  EXPECT_NEAR(json["normal"][0].get<double>(), 2 / s6, kTol);
  EXPECT_NEAR(json["normal"][1].get<double>(), 1 / s6, kTol);
  EXPECT_NEAR(json["normal"][2].get<double>(), 1 / s6, kTol);
  const double deg = 180 / std::numbers::pi;
  EXPECT_NEAR(json["azimuth"].get<double>(), std::atan2(1.0, 2.0) * deg, 1e-12);
  EXPECT_NEAR(json["polar"].get<double>(), std::acos(1 / s6) * deg, 1e-12);
}

// Four indices name the same plane as three: the outputs agree to the byte, in every verb that
// takes a reflection.
TEST(CliLattice, FourIndicesOfAHexagonalPhaseGiveTheSameAnswerAsThree) {
  const struct {
    std::vector<std::string> head;
    std::string three, four;
  } cases[] = {
      {{"lattice", "--cell", kTitanium}, "1 0 1", "1 0 -1 1"},
      {{"lattice", "--cell", kTitanium}, "1 0 1", "(1 0 -1 1)"},
      {{"lattice", "--cell", "2.95 2.95 4.68 90 90 90", "--symmetry", "trigonal1"},
       "1 1 2",
       "[1 1 -2 2]"},
      {{"polefigure", "--symmetry", "hexagonal", "--cell", kTitanium, "--format", "json"},
       "1 0 2",
       "1 0 -1 2"},
      {{"fibre", "--symmetry", "trigonal2", "--cell", kTitanium, "--steps", "12"},
       "1 1 0",
       "1 1 -2 0"},
      {{"odf", "components", "--symmetry", "hexagonal", "--cell", kTitanium}, "0 1 1", "0 1 -1 1"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.head[0] + " --hkl \"" + t.four + "\"");
    std::vector<std::string> three = t.head, four = t.head;
    three.insert(three.end(), {"--hkl", t.three});
    four.insert(four.end(), {"--hkl", t.four});
    const CliRun a = RunPolydec(three), b = RunPolydec(four);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(a.out, b.out);
  }
  // A cubic phase has no fourth index: the text is refused, not read as something else.
  const CliRun cubic =
      RunPolydec({"polefigure", "--symmetry", "cubic", "--format", "json", "--hkl", "1 0 -1 1"});
  EXPECT_EQ(cubic.status, 1);
  EXPECT_THAT(cubic.err, HasSubstr("this phase is cubic: write h k l"));
  EXPECT_EQ(cubic.out, "");
}

// The hexagonal (100) normal lies along X only in the frame with X along a*, the default.
TEST(CliLattice, AxisSettingChoosesTheFrame) {
  const struct {
    std::vector<std::string> axes;
    double x, y, azimuth;
  } cases[] = {
      {{}, 1, 0, 0},
      {{"--axes", "1"}, 1, 0, 0},
      {{"--axes", "0"}, std::sqrt(3.0) / 2, 0.5, 30},
      {{"--axes", "2"}, std::sqrt(3.0) / 2, 0.5, 30},
  };
  for (const auto& t : cases) {
    std::vector<std::string> args{"lattice", "--cell", kTitanium, "--hkl", "1 0 0", "--json"};
    args.insert(args.end(), t.axes.begin(), t.axes.end());
    const CliRun run = RunPolydec(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    SCOPED_TRACE(run.out);
    EXPECT_NEAR(json["d"].get<double>(), 2.95 * std::sqrt(3.0) / 2, kTol);
    EXPECT_NEAR(json["normal"][0].get<double>(), t.x, kTol);
    EXPECT_NEAR(json["normal"][1].get<double>(), t.y, kTol);
    EXPECT_NEAR(json["normal"][2].get<double>(), 0, kTol);
    EXPECT_NEAR(json["azimuth"].get<double>(), t.azimuth, 1e-12);
    EXPECT_NEAR(json["polar"].get<double>(), 90, 1e-12);
  }
}

TEST(CliLattice, BadInputExitsWithStatusOneAndNamesTheProblem) {
  const struct {
    std::string cell, hkl, problem;
  } cases[] = {
      {"2.866 2.866 2.866 90 90", "2 1 1", "expected 6 numbers, got 5"},
      {"2.866 abc 2.866 90 90 90", "2 1 1", "\"abc\" is not a number"},
      {"2,866 2.866 2.866 90 90 90", "2 1 1", "expected 6 numbers"},
      {kIron, "2 x 1", "--hkl \"2 x 1\": the index \"x\" is not a number"},
      {kIron, "2 1", "--hkl \"2 1\": 2 indices given"},
      {kIron, "0 0 0", "0 0 0 is no lattice plane"},
      {kIron, "1e400 0 1", "the index 1e400 is beyond the largest index 1000"},
      {kIron, "1 0 -1 1", "four indices h k i l need a hexagonal cell"},
      {"3.21 3.21 5.21 90 90 120", "1 0 0 1", "the third index must be -(h + k) = -1, not 0"},
      {"3.21 3.21 5.21 90 90 120", "(1 0 -1 1", "the bracket \"(\" is not closed"},
      {"0 2.866 2.866 90 90 90", "1 1 0", "edge a must be a positive"},
      {"2.866 2.866 -2.866 90 90 90", "1 1 0", "edge c must be a positive"},
      {"2.866 2.866 2.866 0 90 90", "1 1 0", "angle alpha must lie between 0 and 180"},
      {"2.866 2.866 2.866 90 90 180", "1 1 0", "angle gamma must lie between 0 and 180"},
      {"3 3 3 60 60 120", "1 1 0", "span no volume"},
      {"1e400 2.866 2.866 90 90 90", "1 1 0",
       "edge a must be a positive length from 1E-30 to "
       "1E30 (it is 1E400)"},
      {"3 3 3 30 30 90", "1 1 0", "span no volume"},
  };
  for (const auto& t : cases) {
    for (const bool json : {false, true}) {
      std::vector<std::string> args{"lattice", "--cell", t.cell, "--hkl", t.hkl};
      if (json) args.push_back("--json");
      const CliRun run = RunPolydec(args);
      SCOPED_TRACE("--cell \"" + t.cell + "\" --hkl \"" + t.hkl + "\"" + (json ? " --json" : ""));
      EXPECT_EQ(run.status, 1);
      EXPECT_THAT(run.err, StartsWith("polydec: error: "));
      EXPECT_THAT(run.err, HasSubstr(t.problem));
      EXPECT_EQ(run.out, "");
      EXPECT_THAT(run.err, Not(HasSubstr("nan")));
    }
  }
}

TEST(CliLattice, UsageErrorsExitWithStatusTwo) {
  const std::vector<std::string> cases[] = {
      {"lattice", "--cell", kIron, "--hkl", "2 1 1", "--frobnicate"},
      {"lattice", "--cell", kIron},
      {"lattice", "--hkl", "2 1 1"},
      {"lattice", "--cell", kIron, "--hkl", "2 1 1", "--axes", "3"},
      {"no-such-command"},
      {},
  };
  for (const auto& args : cases) {
    const CliRun run = RunPolydec(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr("--help"));
  }
}

TEST(CliMain, HelpListsTheSubcommands) {
  const CliRun run = RunPolydec({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, HasSubstr("lattice"));
  EXPECT_THAT(run.out, HasSubstr("version"));

  const CliRun lattice = RunPolydec({"lattice", "--help"});
  EXPECT_EQ(lattice.status, 0);
  EXPECT_THAT(lattice.out, HasSubstr("--cell"));
  EXPECT_THAT(lattice.out, HasSubstr("--axes"));
}

TEST(CliMain, VersionPrintsTheVersion) {
  const CliRun run = RunPolydec({"version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(std::regex_match(run.out, std::regex("polydec [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << run.out;
}

}  // namespace
}  // namespace polydec::cli_test
