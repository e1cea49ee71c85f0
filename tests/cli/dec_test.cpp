// Golden runs of the subcommands that compute diffraction elastic constants and Eshelby
// tensors and list the material database.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

using ::testing::HasSubstr;

// JSON numbers are doubles; the 80-bit results agree with closed forms to far better than this.
constexpr double kTol = 1e-12;

// Reuss constants of a cubic crystal: with the orientation factor
// G = (h²k² + k²l² + l²h²)/(h² + k² + l²)², s1 = S12 + S0·G and 1/2 s2 = S11 - S12 - 3·S0·G,
// S0 = S11 - S12 - S44/2 (in 1e-6/MPa for Cij in GPa).
void ReussCubic(double c11, double c12, double c44, double g, double& s1, double& halfS2) {
  const double det = (c11 - c12) * (c11 + 2 * c12);
  const double s11 = (c11 + c12) / det, s12 = -c12 / det, s44 = 1 / c44;
  const double s0 = s11 - s12 - s44 / 2;
  s1 = 1000 * (s12 + s0 * g);
  halfS2 = 1000 * (s11 - s12 - 3 * s0 * g);
}

TEST(CliDec, ReussIronMatchesClosedForm) {
  const CliRun run =
      RunPolydec({"dec", "--material", "iron", "--hkl", "2 1 1", "--model", "reuss"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("1e-6/MPa"));
  EXPECT_THAT(run.out, HasSubstr("-1.303381"));
  EXPECT_THAT(run.out, HasSubstr("5.836925"));

  const CliRun json =
      RunPolydec({"dec", "--hkl", "2 1 1", "--hkl", "3 1 0", "--model", "reuss", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  EXPECT_EQ(j["model"], "reuss");
  EXPECT_EQ(j["unit"], "1e-6/MPa");
  ASSERT_EQ(j["rows"].size(), 2u);
  const double gammas[] = {9.0 / 36, 9.0 / 100};
  for (int r = 0; r < 2; ++r) {
    double s1, halfS2;
    ReussCubic(237, 141, 116, gammas[r], s1, halfS2);
    const auto& row = j["rows"][r];
    EXPECT_NEAR(row["s1"].get<double>(), s1, kTol);
    EXPECT_NEAR(row["half_s2"].get<double>(), halfS2, kTol);
    EXPECT_EQ(row["hkl"].size(), 3u);
    EXPECT_GT(row["d"].get<double>(), 0);
  }
}

// Every family of iron to index 4 from --all --json: the Reuss line in 3 Gamma, the
// multiplicities adding up to the 9³ - 1 reflections of the box, every model present; the CSV
// carries the same numbers, the text the table for people.
TEST(CliDec, AllReflectionsOfIron) {
  const CliRun run = RunPolydec({"dec", "--material", "iron", "--all", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["orientation_parameter"], "gamma3");
  int total = 0;
  for (const auto& row : j["rows"]) {
    total += row["multiplicity"].get<int>();
    double s1, halfS2;
    ReussCubic(237, 141, 116, row["gamma3"].get<double>() / 3, s1, halfS2);
    EXPECT_NEAR(row["models"]["reuss"]["half_s2"].get<double>(), halfS2, kTol) << row["hkl"];
    EXPECT_NEAR(row["models"]["reuss"]["s1"].get<double>(), s1, kTol) << row["hkl"];
    for (const char* model : {"voigt", "reuss", "hill", "kroener", "inverse-kroener"})
      EXPECT_TRUE(row["models"][model].contains("E")) << model;
  }
  EXPECT_EQ(total, 9 * 9 * 9 - 1);
  EXPECT_EQ(j["reflection_count"].get<int>(), total);
  EXPECT_TRUE(j["rows"].back()["two_theta"].is_null());

  const CliRun csv = RunPolydec({"dec", "--material", "iron", "--all", "--max-index", "2", "--csv"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::istringstream lines(csv.out);
  std::string header, first;
  std::getline(lines, header);
  std::getline(lines, first);
  EXPECT_EQ(header.rfind("hkl,h,k,l,multiplicity,d,two_theta,gamma3,angle_to_c,voigt_s1,", 0), 0u);
  EXPECT_EQ(first.rfind("1 0 0,1,0,0,6,2.866", 0), 0u) << first;
  EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1 + 9);  // {100} .. {222}

  const CliRun text = RunPolydec({"dec", "--material", "magnesium", "--all", "--max-index", "1"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_THAT(text.out, HasSubstr("angle(c)"));
  EXPECT_THAT(text.out, HasSubstr("1 0 -1 1"));
  EXPECT_THAT(text.out, HasSubstr("inverse Kroener"));

  struct Refused {
    std::vector<std::string> args;
    int status;
  };
  const Refused refused[] = {
      {{"dec", "--all", "--hkl", "1 1 0"}, 2},
      {{"dec"}, 2},
      {{"dec", "--hkl", "1 1 0", "--csv"}, 2},
      {{"dec", "--all", "--max-index", "0"}, 2},
      {{"dec", "--all", "--wavelength", "-1"}, 1},
      {{"dec", "--all", "--grain-shape", "1 1 3"}, 1},
  };
  for (const Refused& r : refused) {
    const CliRun bad = RunPolydec(r.args);
    EXPECT_EQ(bad.status, r.status) << bad.err;
    EXPECT_TRUE(bad.out.empty()) << bad.out;
  }
}

TEST(CliDec, EveryModelWorksForTriclinicCrystal) {
  std::string cij;
  const char* names[] = {"C11", "C12", "C13", "C14", "C15", "C16", "C22",
                         "C23", "C24", "C25", "C26", "C33", "C34", "C35",
                         "C36", "C44", "C45", "C46", "C55", "C56", "C66"};
  for (int n = 0; n < 21; ++n) {
    const std::string name = names[n];
    const bool diagonal = name[1] == name[2];
    const double value = diagonal ? (name[1] <= '3' ? 230 + 10 * (name[1] - '1') : 80) : 3 + n;
    cij += name + "=" + std::to_string(value) + " ";
  }
  for (const char* model : {"voigt", "mvoigt", "reuss", "hill", "kroener", "inverse-kroener"}) {
    const CliRun run = RunPolydec({"dec", "--cij", cij, "--symmetry", "triclinic", "--cell",
                                   "5.1 6.3 7.2 81 97 104", "--hkl", "1 -2 3", "--model", model,
                                   "--matrix", "200 0.3", "--json"});
    ASSERT_EQ(run.status, 0) << model << ": " << run.err;
    const auto row = nlohmann::json::parse(run.out)["rows"][0];
    EXPECT_TRUE(std::isfinite(row["s1"].get<double>())) << model;
    EXPECT_LT(row["s1"].get<double>(), 0) << model;
    EXPECT_GT(row["half_s2"].get<double>(), 0) << model;
  }
}

// An ellipsoid fixed in the sample makes the Kroener constants depend on the measurement
// direction: without --direction the run is refused (one pair of numbers would belong to no
// measurement), with it the output says which direction the numbers are for.
TEST(CliDec, EllipsoidalGrainChangesKroenerConstants) {
  auto halfS2 = [](const std::string& shape, const std::string& direction) {
    std::vector<std::string> args = {"dec", "--hkl", "2 0 0", "--grain-shape", shape, "--json"};
    if (!direction.empty()) args.insert(args.end(), {"--direction", direction});
    const CliRun run = RunPolydec(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.status == 0 ? nlohmann::json::parse(run.out)["rows"][0]["half_s2"].get<double>()
                           : 0.0;
  };
  const double sphere = halfS2("1 1 1", "");
  EXPECT_NEAR(halfS2("2 2 2", ""), sphere, kTol);
  EXPECT_NEAR(halfS2("1 1 1", "30 60"), sphere, kTol);
  const double along = halfS2("1 1 3", "0 0"), across = halfS2("1 1 3", "0 90");
  EXPECT_GT(std::abs(along - sphere), 1e-3);
  EXPECT_GT(std::abs(along - across), 1e-3);

  const CliRun refused = RunPolydec({"dec", "--hkl", "2 0 0", "--grain-shape", "1 1 3"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr("--direction"));
  EXPECT_TRUE(refused.out.empty()) << refused.out;
  const CliRun text = RunPolydec(
      {"dec", "--hkl", "2 0 0", "--grain-shape", "1 1 3", "--direction", "0 90"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_THAT(text.out, HasSubstr("phi = 0, psi = 90"));
  // The averages without a matrix are the same in every direction and need none.
  EXPECT_EQ(RunPolydec({"dec", "--hkl", "2 0 0", "--grain-shape", "1 1 3", "--model", "reuss"})
                .status,
            0);
}

TEST(CliDec, HexagonalReflectionsTakeFourIndicesAndNamesAnyCase) {
  const CliRun three = RunPolydec({"dec", "--material", "magnesium", "--hkl", "1 0 1", "--json"});
  const CliRun four =
      RunPolydec({"dec", "--material", "Magnesium", "--hkl", "1 0 -1 1", "--json"});
  ASSERT_EQ(three.status, 0) << three.err;
  ASSERT_EQ(four.status, 0) << four.err;
  EXPECT_EQ(four.out, three.out);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } refused[] = {
      {{"dec", "--material", "magnesium", "--hkl", "1 0 0 1"}, "-(h + k) = -1, not 0"},
      {{"dec", "--material", "iron", "--hkl", "1 0 -1 1"}, "this phase is cubic: write h k l"},
  };
  for (const auto& c : refused) {
    const CliRun run = RunPolydec(c.args);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message));
  }
}

TEST(CliDec, BadInputEndsWithStatusOneAndNamesTheProblem) {
  const std::string bad =
      (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_bad_materials.dat")).string();
  {
    std::ofstream out(bad, std::ios::binary);
    out << "#NAME \"x\"\r\n#CIJKL 1 2 3\r\n";
  }
  // A link to itself: the system cannot even tell what the path is.
  const std::string loop =
      (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_link_loop.dat")).string();
  std::remove(loop.c_str());
  std::filesystem::create_symlink(loop, loop);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"dec", "--hkl", "1 1 1", "--model", "vook-witt"}, "unknown model"},
      {{"dec", "--hkl", "0 0 0"}, "0 0 0"},
      {{"dec", "--hkl", "1 1"}, "--hkl"},
      {{"dec", "--hkl", "1 1 x"}, "not a number"},
      {{"dec", "--hkl", "1 1 1", "--grain-shape", "1 0 1"}, "semi-axes"},
      {{"dec", "--hkl", "1 1 1", "--cij", "C11=237 C12=141"}, "needs C44"},
      {{"dec", "--hkl", "1 1 1", "--cij", "C11=237 C12=141 C44=116 C22=3"}, "C22"},
      {{"dec", "--hkl", "1 1 1", "--symmetry", "hexagonal"}, "needs --cij"},
      {{"dec", "--hkl", "1 1 1", "--material", "unobtainium"}, "unobtainium"},
      {{"dec", "--hkl", "1 1 1", "--cell", "2.866 2.866 2.866 90 90"}, "6 numbers"},
      {{"dec", "--hkl", "1 1 1", "--matrix", "210 0.5"}, "Poisson"},
      {{"dec", "--hkl", "1 1 1", "--matrix", "-210 0.3"}, "Young's modulus E must be positive"},
      {{"dec", "--hkl", "1 1 1", "--cij", "C11=200 C12=200 C44=50"}, "not positive definite"},
      {{"dec", "--hkl", "1 1 1", "--cij", "C11=0 C12=0 C44=0"}, "not positive definite"},
      {{"dec", "--hkl", "1 1 1", "--cij", "C11=-237 C12=-141 C44=-116"}, "smallest eigenvalue"},
      {{"dec", "--hkl", "1 1 1", "--database", loop}, "symbolic links"},
      {{"dec", "--hkl", "1 1 1", "--database", bad}, "line 2"},
      {{"dec", "--hkl", "1 1 1", "--database", "/nonexistent/pfcryst.dat"}, "does not exist"},
      {{"eshelby", "--matrix-cij", "C11=282 C12=121", "--axes", "1 -1 1"}, "semi-axes"},
      {{"materials", "--database", bad}, "line 2"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunPolydec(c.args);
    EXPECT_EQ(run.status, 1) << c.args[0] << " " << c.args.back() << "\n" << run.err;
    EXPECT_THAT(run.err, HasSubstr("polydec: error: "));
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.args.back();
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("nan")));
  }
  std::remove(bad.c_str());
  std::remove(loop.c_str());
}

TEST(CliMaterials, ListsTheShippedDatabase) {
  const CliRun run = RunPolydec({"materials", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  ASSERT_GE(j["materials"].size(), 9u);
  const auto& iron = j["materials"][0];
  EXPECT_EQ(iron["name"], "iron");
  EXPECT_EQ(iron["symmetry"], "cubic");
  EXPECT_EQ(iron["cij"]["C44"], 116);
  EXPECT_EQ(iron["cell"].size(), 6u);
  for (const char* key : {"E", "nu", "K", "G"}) EXPECT_TRUE(iron.contains(key)) << key;
  const CliRun text = RunPolydec({"materials"});
  EXPECT_THAT(text.out, HasSubstr("C11=237 C12=141 C44=116"));
}

// Kroener's reflection constants of every database phase are those of the self-consistent
// model: they agree with a run that embeds the grains in the self-consistent aggregate.
TEST(CliMaterials, DatabaseMatrixIsTheSelfConsistentAggregate) {
  const CliRun list = RunPolydec({"materials", "--json"});
  ASSERT_EQ(list.status, 0) << list.err;
  for (const auto& material : nlohmann::json::parse(list.out)["materials"]) {
    const std::string name = material["name"];
    SCOPED_TRACE(name);
    std::vector<std::string> args = {"dec",     "--material", name,     "--model", "kroener",
                                     "--hkl",   "1 0 0",      "--hkl",  "1 1 1",   "--hkl",
                                     "1 0 3",   "--json"};
    const CliRun database = RunPolydec(args);
    args.push_back("--matrix-self-consistent");
    const CliRun selfConsistent = RunPolydec(args);
    ASSERT_EQ(database.status, 0) << database.err;
    ASSERT_EQ(selfConsistent.status, 0) << selfConsistent.err;
    const auto a = nlohmann::json::parse(database.out)["rows"];
    const auto b = nlohmann::json::parse(selfConsistent.out)["rows"];
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t r = 0; r < a.size(); ++r)
      for (const char* key : {"s1", "half_s2"}) {
        const double x = a[r][key], y = b[r][key];
        EXPECT_NEAR(x, y, 1e-5 * std::fabs(y)) << key << " of row " << r;
      }
  }
}

TEST(CliEshelby, SphereInIsotropicMatrixGivesClosedForm) {
  // E = 210 GPa, nu = 0.3: C11 = 282.69..., C12 = 121.15...
  const double nu = 0.3, e = 210;
  const double c11 = (1 - nu) * e / (1 - 2 * nu) / (1 + nu), c12 = nu * e / (1 - 2 * nu) / (1 + nu);
  const CliRun run =
      RunPolydec({"eshelby", "--matrix-cij",
                  "C11=" + std::to_string(c11) + " C12=" + std::to_string(c12), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto s = nlohmann::json::parse(run.out)["S"];
  ASSERT_EQ(s.size(), 6u);
  EXPECT_NEAR(s[0][0].get<double>(), 5.5 / 10.5, 1e-6);  // to_string keeps 6 decimals of Cij
  EXPECT_NEAR(s[0][1].get<double>(), 0.5 / 10.5, 1e-6);
  EXPECT_NEAR(s[5][5].get<double>(), 2.5 / 10.5, 1e-6);

  // A needle along z carries almost no strain along its axis.
  const CliRun needle = RunPolydec(
      {"eshelby", "--matrix-cij", "C11=282.69 C12=121.15", "--axes", "1 1 10", "--json"});
  ASSERT_EQ(needle.status, 0) << needle.err;
  const auto n = nlohmann::json::parse(needle.out)["S"];
  EXPECT_LT(n[2][2].get<double>(), 0.05);
  EXPECT_GT(n[0][0].get<double>(), 5.5 / 10.5);
}

}  // namespace
}  // namespace polydec::cli_test
