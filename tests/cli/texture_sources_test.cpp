// Textures from other sources through the command line: a hexagonal MTEX ODF weights the
// worksheet's stress factors as an independent fibre average of it says, and orientation lists
// (EBSD maps, Euler tables) reach every verb that reads a texture.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "texture/odf_fixtures.h"

namespace polydec::cli_test {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A hexagonal texture that depends only on where the crystal's c axis points in the sample
// (unit vector c): even in c, so the twofold axes normal to c keep it, and free of phi2, so the
// sixfold axis does. It has no sample symmetry beyond the twofold axis Z.
double HexagonalTexture(const std::array<double, 3>& c) {
  return 1 + 1.2 * (c[2] * c[2] - 1.0 / 3) + 0.5 * (c[0] * c[0] - c[1] * c[1]) +
         0.3 * c[0] * c[1];
}

// The MTEX table of that texture over phi1 0..355, Phi 0..90 and phi2 0..phi2End: the c axis
// is the third row of the Bunge matrix, (sin phi1 sin Phi, -cos phi1 sin Phi, cos Phi).
std::string HexagonalTable(int phi2End) {
  std::string text = "phi1 Phi phi2 value\n";
  for (int a1 = 0; a1 <= 355; a1 += 5)
    for (int a = 0; a <= 90; a += 5)
      for (int a2 = 0; a2 <= phi2End; a2 += 5) {
        const double p1 = a1 * kPi / 180, P = a * kPi / 180;
        const std::array<double, 3> c = {std::sin(p1) * std::sin(P), -std::cos(p1) * std::sin(P),
                                         std::cos(P)};
        char value[32];
        std::snprintf(value, sizeof value, "%.10g", HexagonalTexture(c));
        text += std::to_string(a1) + " " + std::to_string(a) + " " + std::to_string(a2) + " " +
                value + "\n";
      }
  return text;
}

using Matrix6 = std::array<std::array<double, 6>, 6>;

Matrix6 Inverse(Matrix6 a) {
  Matrix6 b{};
  for (int i = 0; i < 6; ++i) b[i][i] = 1;
  for (int c = 0; c < 6; ++c) {
    int p = c;
    for (int r = c + 1; r < 6; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    std::swap(a[c], a[p]);
    std::swap(b[c], b[p]);
    const double d = a[c][c];
    for (int k = 0; k < 6; ++k) a[c][k] /= d, b[c][k] /= d;
    for (int r = 0; r < 6; ++r)
      if (r != c) {
        const double f = a[r][c];
        for (int k = 0; k < 6; ++k) a[r][k] -= f * a[c][k], b[r][k] -= f * b[c][k];
      }
  }
  return b;
}

// The Reuss stress factors of a prism reflection (its normal in the basal plane) along the
// direction (phi, psi), by quadrature over the fibre: the grains whose plane normal lies along
// the direction m have their c axis on the great circle normal to m, and a transversely
// isotropic crystal's compliance depends on nothing but that axis. F_ij = <m_k m_l S_klij>
// weighted by the texture, in 1/TPa, the shear entries twice the tensor's.
std::array<double, 6> PrismReussFactors(double phiDeg, double psiDeg) {
  // alpha-titanium, GPa, as the shipped database holds it.
  const double C11 = 162.4, C12 = 92, C13 = 69, C33 = 180.7, C44 = 46.7;
  Matrix6 C{};
  C[0][0] = C[1][1] = C11;
  C[0][1] = C[1][0] = C12;
  C[0][2] = C[2][0] = C[1][2] = C[2][1] = C13;
  C[2][2] = C33;
  C[3][3] = C[4][4] = C44;
  C[5][5] = (C11 - C12) / 2;
  const Matrix6 s = Inverse(C);
  const int voigt[3][3] = {{0, 5, 4}, {5, 1, 3}, {4, 3, 2}};
  const auto S = [&](int i, int j, int k, int l) {
    const int m = voigt[i][j], n = voigt[k][l];
    return s[m][n] * (m < 3 ? 1 : 0.5) * (n < 3 ? 1 : 0.5);
  };
  const double p = phiDeg * kPi / 180, q = psiDeg * kPi / 180;
  const std::array<double, 3> m = {std::cos(p) * std::sin(q), std::sin(p) * std::sin(q),
                                   std::cos(q)};
  const auto cross = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return std::array<double, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0]};
  };
  std::array<double, 3> u = cross(m, std::fabs(m[2]) < 0.9 ? std::array<double, 3>{0, 0, 1}
                                                           : std::array<double, 3>{1, 0, 0});
  const double un = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  for (double& x : u) x /= un;
  const std::array<double, 3> v = cross(m, u);
  double F[3][3] = {};
  double weight = 0;
  constexpr int kSteps = 720;
  for (int n = 0; n < kSteps; ++n) {
    const double lam = 2 * kPi * n / kSteps;
    std::array<double, 3> c{};
    for (int i = 0; i < 3; ++i) c[i] = std::cos(lam) * u[i] + std::sin(lam) * v[i];
    const double f = HexagonalTexture(c);
    // Crystal axes in the sample frame: x along m (in the basal plane), z along c.
    const std::array<double, 3> y = cross(c, m);
    const double R[3][3] = {{m[0], y[0], c[0]}, {m[1], y[1], c[1]}, {m[2], y[2], c[2]}};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        // m_k m_l S_klij with m = R (1, 0, 0): the crystal's S_11cd turned into the sample.
        double sum = 0;
        for (int cc = 0; cc < 3; ++cc)
          for (int d = 0; d < 3; ++d) sum += R[i][cc] * R[j][d] * S(0, 0, cc, d);
        F[i][j] += f * sum;
      }
    weight += f;
  }
  const double k = 1000 / weight;
  return {k * F[0][0], k * F[1][1], k * F[2][2], 2 * k * F[1][2], 2 * k * F[0][2], 2 * k * F[0][1]};
}

const char* const kFactorNames[] = {"F11", "F22", "F33", "F23", "F13", "F12"};

TEST(TextureSourcesCli, HexagonalOdfWeightsTheWorksheetAsItsFibreAverage) {
  const texture_test::TempFolder folder;
  const double directions[][2] = {{0, 0}, {0, 45}, {90, 60}, {30, 75}, {135, 30}};
  std::string table = "set,hkl,phi,psi,d,d0\n";
  for (const auto& d : directions)
    table += "a,(1 0 -1 0)," + std::to_string(d[0]) + "," + std::to_string(d[1]) + ",1.17,1.17\n";
  const std::string measurements = folder.Write("prism.csv", table);
  // The hexagonal region, the same with the node phi2 = 60 left to the sixfold axis, and the
  // whole turn: one rule completes all three.
  for (const int phi2End : {60, 55, 355}) {
    SCOPED_TRACE("phi2 0.." + std::to_string(phi2End));
    const std::string odf = folder.Write("hex.txt", HexagonalTable(phi2End));
    const CliRun run = RunPolydec({"worksheet", measurements, "--material", "alpha-titanium",
                                   "--model", "reuss", "--odf", odf, "--calc-dec", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json rows = nlohmann::json::parse(run.out)["rows"];
    ASSERT_EQ(rows.size(), std::size(directions));
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::array<double, 6> expected =
          PrismReussFactors(directions[r][0], directions[r][1]);
      double largest = 0;
      for (double x : expected) largest = std::max(largest, std::fabs(x));
      for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(rows[r]["F"][kFactorNames[k]].get<double>(), expected[k], 2e-3 * largest)
            << "row " << r << " " << kFactorNames[k];
    }
  }
  // The same file is no ODF of a cubic material.
  const std::string odf = folder.Write("hex.txt", HexagonalTable(60));
  const CliRun cubic = RunPolydec({"worksheet", measurements, "--material", "iron", "--model",
                                   "reuss", "--odf", odf, "--calc-dec"});
  EXPECT_EQ(cubic.status, 1);
  EXPECT_NE(cubic.err.find("ODF symmetry does not agree"), std::string::npos) << cubic.err;
}

// An .ang map of a few orientations, each repeated with scatter: a sharp texture.
std::string AngMap() {
  std::string text = "# Phase 1\n# MaterialName  \tIron\n# GRID: HexGrid\n# XSTEP: 1\n#\n";
  const double centres[][3] = {{0.5, 0.6, 0.3}, {2.0, 1.1, 1.0}, {4.0, 0.3, 0.8}};
  for (int k = 0; k < 300; ++k) {
    const double* c = centres[k % 3];
    const double e = 0.01 * ((k * 37) % 11 - 5);
    char line[160];
    std::snprintf(line, sizeof line, "%.5f %.5f %.5f %d 0 100 0.9 1 0 1\n", c[0] + e, c[1] - e,
                  c[2] + e, k);
    text += line;
  }
  return text;
}

TEST(TextureSourcesCli, OrientationListsReachEveryTextureVerb) {
  const texture_test::TempFolder folder;
  const std::string map = folder.Write("map.ang", AngMap());
  const std::string measurements = folder.Write(
      "m.csv", "set,hkl,phi,psi,d,d0\na,2 1 1,0,0,1.17,1.17\na,2 1 1,0,45,1.17,1.17\n");
  const std::string odf = folder.File("kernel.txt");

  // The kernel ODF as a file every ODF reader takes: mean 1 m.r.d., the texture's peaks.
  const CliRun made = RunPolydec({"odf", "from-orientations", map, "--halfwidth", "8", "-o", odf});
  ASSERT_EQ(made.status, 0) << made.err;
  const CliRun info = RunPolydec({"odf", "info", odf, "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  const nlohmann::json j = nlohmann::json::parse(info.out);
  EXPECT_NEAR(j["integral"].get<double>() / (8 * kPi * kPi), 1, 1e-3);
  EXPECT_GT(j["max"].get<double>(), 20);
  EXPECT_EQ(j["sample_symmetry"], "triclinic");

  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"stiffness from the map's points", {"cij", "--material", "iron", "--model", "voigt",
                                           "--grains", map}, 0, "orientation list"},
      {"stress factors from the map",
       {"worksheet", measurements, "--material", "iron", "--model", "reuss", "--grains", map,
        "--calc-dec", "--json"}, 0, "F11"},
      {"pole figure of the map", {"polefigure", map, "--hkl", "1 0 0", "--format", "json"}, 0,
       "mrd"},
      {"pole figure of --grains", {"polefigure", "--grains", map, "--hkl", "1 1 0"}, 0, ""},
      {"odf info of the map", {"odf", "info", map}, 0, "list of orientations"},
      {"grains and ODF at once",
       {"worksheet", measurements, "--material", "iron", "--grains", map, "--odf", odf,
        "--calc-dec"}, 1, "cannot be combined"},
      {"an ODF is no orientation list", {"odf", "from-orientations", odf}, 1,
       "not a list of orientations"},
      {"a phase the map lacks", {"odf", "info", map, "--phase", "2"}, 1, "no indexed point"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun run = RunPolydec(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
  }
}

}  // namespace
}  // namespace polydec::cli_test
