// Golden runs of the subcommands for macroscopic elastic constants (aggregate, cij, dec with the
// self-consistent matrix) and of the build tool that writes the random orientation sets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Closed forms and the self-consistent iteration agree to far better than this; the iteration
// stops once a round moves the constants by less than 1e-6 GPa.
constexpr double kTol = 1e-5;

// Hershey's (1954) cubic for the self-consistent shear modulus of a cubic aggregate, solved by
// bisection between the Reuss and Voigt bounds.
double HersheyShearModulus(double c11, double c12, double c44) {
  const double alpha = (5 * c11 + 4 * c12) / 8;
  const double beta = -c44 * (7 * c11 - 4 * c12) / 8;
  const double gamma = -c44 * (c11 - c12) * (c11 + 2 * c12) / 8;
  double lo = 5 * (c11 - c12) * c44 / (4 * c44 + 3 * (c11 - c12));
  double hi = (c11 - c12 + 3 * c44) / 5;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (((mid + alpha) * mid + beta) * mid + gamma > 0 ? hi : lo) = mid;
  }
  return lo;
}

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("polydec_cli_aggregate_" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return (path_ / name).string();
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

nlohmann::json Json(const std::vector<std::string>& args) {
  const CliRun run = RunPolydec(args);
  EXPECT_EQ(run.status, 0) << run.err;
  return run.status == 0 ? nlohmann::json::parse(run.out) : nlohmann::json{};
}

TEST(CliAggregate, IronUnderEveryModel) {
  const auto j = Json({"aggregate", "--material", "iron", "--json"});
  const auto& m = j["models"];
  const double gv = (237.0 - 141 + 3 * 116) / 5;
  const double gr = 5 * (237.0 - 141) * 116 / (4 * 116 + 3 * (237.0 - 141));
  const double shear[] = {gv, gr, (gv + gr) / 2, HersheyShearModulus(237, 141, 116)};
  const char* keys[] = {"voigt", "reuss", "hill", "kroener"};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(keys[k]);
    const auto& c = m[keys[k]];
    const double K = c["K"], G = c["G"], E = c["E"], nu = c["nu"];
    EXPECT_NEAR(G, shear[k], kTol);
    EXPECT_NEAR(K, 173, kTol);
    EXPECT_NEAR(E, 9 * K * G / (3 * K + G), 1e-9);
    EXPECT_NEAR(nu, (3 * K - 2 * G) / (2 * (3 * K + G)), 1e-12);
  }
  const CliRun text = RunPolydec({"aggregate"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_THAT(text.out, HasSubstr("Material: iron (cubic)"));
  EXPECT_THAT(text.out, HasSubstr("Kroener   212.60297  0.295180   82.07467  173.00000"));
}

TEST(CliAggregate, DecUsesTheSelfConsistentMatrix) {
  const auto agg = Json({"aggregate", "--json"});
  const double E = agg["models"]["kroener"]["E"], nu = agg["models"]["kroener"]["nu"];
  std::ostringstream matrix;
  matrix.precision(17);
  matrix << E << " " << nu;
  const auto a = Json({"dec", "--hkl", "2 1 1", "--matrix-self-consistent", "--json"});
  const auto b = Json({"dec", "--hkl", "2 1 1", "--matrix", matrix.str(), "--json"});
  EXPECT_NEAR(a["rows"][0]["s1"].get<double>(), b["rows"][0]["s1"].get<double>(), 1e-12);
  EXPECT_NEAR(a["rows"][0]["half_s2"].get<double>(), b["rows"][0]["half_s2"].get<double>(), 1e-12);
  const CliRun both =
      RunPolydec({"dec", "--hkl", "2 1 1", "--matrix-self-consistent", "--matrix", "200 0.3"});
  EXPECT_EQ(both.status, 2);
}

// Row-major 6x6 stiffness of the JSON output.
double C(const nlohmann::json& j, int I, int J) { return j["C"][I - 1][J - 1].get<double>(); }

double MaxOffOrthotropic(const nlohmann::json& j) {
  double m = 0;
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J)
      if ((I <= 3) != (J <= 3) || (I > 3 && J > 3 && I != J))
        m = std::max(m, std::fabs(C(j, I, J)));
  return m;
}

TEST(CliCij, UniformTextureRandomGrainsAndOneGrain) {
  // Uniform texture, every component integrated: the Voigt average of iron, C11 = 291.4,
  // C12 = 113.8, C44 = 88.8 GPa, to the Simpson error of N = 10 (about 0.005 GPa).
  const auto u = Json({"cij", "--model", "voigt", "--sample-symmetry", "triclinic", "--json"});
  EXPECT_NEAR(C(u, 1, 1), 291.4, 0.01);
  EXPECT_NEAR(C(u, 2, 2), 291.4, 0.01);
  EXPECT_NEAR(C(u, 1, 2), 113.8, 0.01);
  EXPECT_NEAR(C(u, 6, 6), 88.8, 0.01);
  EXPECT_LT(MaxOffOrthotropic(u), 1e-12);
  ASSERT_EQ(u["E"].size(), 3u);
  ASSERT_EQ(u["G"].size(), 3u);
  for (const char* key : {"12", "13", "23", "21", "31", "32"})
    EXPECT_NEAR(u["nu"][key].get<double>(), 113.8 / (291.4 + 113.8), 1e-4) << key;

  // Self-consistent over the 228 random grains: near Hershey's 82.07 GPa within the set's
  // scatter, in the isotropic form of the sample class.
  const auto k = Json({"cij", "--model", "kroener", "--random", "228", "--json"});
  EXPECT_NEAR(C(k, 4, 4), 82.07, 1);
  EXPECT_EQ(C(k, 1, 1), C(k, 3, 3));
  EXPECT_NEAR(C(k, 4, 4), (C(k, 1, 1) - C(k, 1, 2)) / 2, 1e-9);

  // One grain at the origin in an orthorhombic sample: Reuss gives the crystal back.
  TempDir dir;
  const std::string one =
      dir.Write("one.wts", "a\r\nb\r\nc\r\nphi1 PHI phi2 weight\r\n0 0 0 1\r\n");
  const auto r = Json(
      {"cij", "--model", "reuss", "--grains", one, "--sample-symmetry", "orthorhombic", "--json"});
  EXPECT_NEAR(C(r, 1, 1), 237, 1e-9);
  EXPECT_NEAR(C(r, 1, 2), 141, 1e-9);
  EXPECT_NEAR(C(r, 4, 4), 116, 1e-9);
}

TEST(CliCij, OrthorhombicODFGivesOrthotropicStiffness) {
  // An MTEX table over the orthorhombic region: copper-like grains with <100> preferred along x
  // (a cubic- and orthorhombic-invariant function of the orientation matrix g).
  std::ostringstream odf;
  odf << "phi1 Phi phi2 value\n";
  const double d = 3.14159265358979323846 / 180;
  for (int a = 0; a <= 90; a += 5)
    for (int b = 0; b <= 90; b += 5)
      for (int c = 0; c <= 90; c += 5) {
        const double c1 = std::cos(a * d), s1 = std::sin(a * d), cP = std::cos(b * d),
                     sP = std::sin(b * d), c2 = std::cos(c * d), s2 = std::sin(c * d);
        const double g[3][2] = {{c1 * c2 - s1 * s2 * cP, s1 * c2 + c1 * s2 * cP},
                                {-c1 * s2 - s1 * c2 * cP, -s1 * s2 + c1 * c2 * cP},
                                {s1 * sP, -c1 * sP}};
        double x = 0, y = 0;
        for (const auto& row : g) x += std::pow(row[0], 4), y += std::pow(row[1], 4);
        odf << a << " " << b << " " << c << " " << 1 + 1.4 * (x - y) << "\n";
      }
  TempDir dir;
  const std::string file = dir.Write("texture.txt", odf.str());
  const CliRun run = RunPolydec({"cij", "--model", "voigt", "--odf", file, "--intervals", "6"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("sample symmetry orthorhombic"));
  const auto j = Json({"cij", "--model", "voigt", "--odf", file, "--intervals", "6", "--json"});
  // <100>, the soft direction of iron, gathers along x.
  EXPECT_LT(C(j, 1, 1), C(j, 2, 2) - 5);
  EXPECT_LT(j["E"][0].get<double>(), j["E"][1].get<double>());
  EXPECT_EQ(MaxOffOrthotropic(j), 0);
}

TEST(CliCij, BadInputsAreNamed) {
  TempDir dir;
  const std::string broken =
      dir.Write("broken.wts", "a\r\nb\r\nc\r\nphi1 PHI phi2 weight\r\n10 x 30 1\r\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"cij", "--model", "voigt", "--random", "100"}, 1, "228"},
      {{"cij", "--model", "voigt", "--random", "228", "--grains", broken}, 1, "--grains"},
      {{"cij", "--model", "voigt", "--grains", broken}, 1, "broken.wts, line 5"},
      {{"cij", "--model", "voigt", "--grains", (dir.path() / "none.wts").string()}, 1, "none.wts"},
      {{"cij", "--model", "vook-witt"}, 1, "unknown model"},
      {{"cij", "--model", "voigt", "--sample-symmetry", "cubic"}, 1, "sample symmetry"},
      {{"cij"}, 2, "--model"},
      {{"cij", "--model", "voigt", "--intervals", "0"}, 2, "--intervals"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunPolydec(c.args);
    EXPECT_EQ(run.status, c.status) << c.args.back() << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

TEST(RandomOrientationSets, AreTheSameOnEveryBuild) {
  const std::string tool = POLYDEC_BIN_DIR "/../tools/make_random_orientations";
  const std::vector<std::string> sizes = {"228",   "666",   "1464",  "4572",
                                          "10416", "19860", "33768", "64890"};
  TempDir first, second;
  for (const TempDir* dir : {&first, &second}) {
    std::vector<std::string> args = {dir->path().string()};
    args.insert(args.end(), sizes.begin(), sizes.end());
    const CliRun run = RunPolydec(args, tool);
    ASSERT_EQ(run.status, 0) << run.err;
  }
  for (const std::string& n : sizes) {
    SCOPED_TRACE(n);
    const std::string name = "random" + n + ".wts";
    const std::string a = ReadWholeFile((first.path() / name).string());
    EXPECT_EQ(a, ReadWholeFile((second.path() / name).string()));
    EXPECT_EQ(a, ReadWholeFile(POLYDEC_BIN_DIR "/" + name));
    // Four header lines and one CR LF line per grain.
    std::size_t lines = 0;
    for (std::size_t p = a.find("\r\n"); p != std::string::npos; p = a.find("\r\n", p + 2)) ++lines;
    EXPECT_EQ(lines, 4 + std::stoul(n));
    EXPECT_THAT(a, HasSubstr("random grain orientations #=" + n));
  }
  EXPECT_EQ(RunPolydec({first.path().string(), "12x"}, tool).status, 2);
}

}  // namespace
}  // namespace polydec::cli_test
