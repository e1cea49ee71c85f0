// The texture verbs of the command line on the example rolling texture: pole figure JSON, an
// ODF written in the full layout that reads back, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace {

using polydec::cli_test::ReadWholeFile;
using polydec::cli_test::RunPolydec;

const std::string kExample = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";

TEST(CliTexture, PoleFigureJsonIsInMultiplesOfRandom) {
  const auto run = RunPolydec({"polefigure", kExample, "--hkl", "1 1 1", "--format", "json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json j = nlohmann::json::parse(run.out);
  ASSERT_EQ(j["mrd"].size(), 19u);
  ASSERT_EQ(j["mrd"][0].size(), 72u);
  EXPECT_EQ(j["psi"].back(), 90);
  EXPECT_EQ(j["phi"].back(), 355);
  // The mean of the densities over the hemisphere is 1 m.r.d.: the rings' means by the
  // trapezoidal rule in cos psi, which the 5-degree rings give to a few parts in a thousand.
  double sum = 0, maximum = 0;
  for (int t = 0; t < 19; ++t) {
    double ring = 0;
    for (int a = 0; a < 72; ++a) {
      const double v = j["mrd"][t][a];
      ring += v / 72;
      maximum = std::max(maximum, v);
    }
    const double below = t > 0 ? std::cos(5 * (t - 1) * M_PI / 180) : 1,
                 above = t < 18 ? std::cos(5 * (t + 1) * M_PI / 180) : 0;
    sum += ring * (below - above) / 2;
  }
  EXPECT_NEAR(sum, 1, 3e-3);
  EXPECT_EQ(j["max"].get<double>(), maximum);

  const auto popla = RunPolydec({"polefigure", kExample, "--hkl", "1 1 1"});
  ASSERT_EQ(popla.status, 0);
  char head[64];
  std::snprintf(head, sizeof head, "max=%.3f m.r.d", maximum);
  EXPECT_NE(popla.out.find(head), std::string::npos) << popla.out.substr(0, 60);
}

TEST(CliTexture, WrittenOdfReadsBackAndBadInputIsRefused) {
  const std::string out = testing::TempDir() + "/polydec_full.odf";
  const auto write = RunPolydec({"odf", "write", kExample, "--layout", "full", "-o", out});
  ASSERT_EQ(write.status, 0) << write.err;
  const auto info = RunPolydec({"odf", "info", out, "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(nlohmann::json::parse(info.out)["nodes"], 197173);
  EXPECT_EQ(ReadWholeFile(out).substr(0, 17), "phi1\tPhi\tphi2\tODF");
  std::remove(out.c_str());

  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"polefigure", kExample, "--hkl", "0 0 0"}, 1, "no lattice plane"},
      {{"polefigure", "/nonexistent.odf", "--hkl", "1 1 1"}, 1, "/nonexistent.odf"},
      {{"odf", "compound", kExample}, 1, "FILE:WEIGHT"},
      {{"odf", "compound", kExample + ":1", kExample + ":-1"}, 1, "add up to 0"},
      {{"odf", "write", kExample, "--layout", "45"}, 2, ""},
      {{"grains", "write", kExample, "--random", "5"}, 2, ""},
  };
  for (const Case& c : cases) {
    const auto run = RunPolydec(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << " " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace
