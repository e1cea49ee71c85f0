// The macroscopic stiffness of the example rolling texture: a self-consistent stiffness must lie
// between the Voigt and Reuss averages of the same texture; where a too coarse integration puts
// it outside, the run is refused instead of printing it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

const std::string kExample = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";

nlohmann::json Stiffness(const std::string& model, const std::string& intervals) {
  const CliRun r = RunPolydec({"cij", "--material", "iron", "--model", model, "--odf", kExample,
                               "--intervals", intervals, "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.status == 0 ? nlohmann::json::parse(r.out)["C"] : nlohmann::json();
}

TEST(CliCij, SelfConsistentStiffnessBetweenTheBoundsOrRefused) {
  for (const std::string model : {"kroener", "inverse-kroener"}) {
    SCOPED_TRACE(model);
    const CliRun coarse = RunPolydec({"cij", "--material", "iron", "--model", model, "--odf",
                                      kExample, "--intervals", "4"});
    EXPECT_EQ(coarse.status, 1);
    EXPECT_NE(coarse.err.find("outside the Voigt and Reuss averages"), std::string::npos)
        << coarse.err;
    EXPECT_NE(coarse.err.find("--intervals 4"), std::string::npos) << coarse.err;
    EXPECT_TRUE(coarse.out.empty()) << coarse.out;

    const nlohmann::json sc = Stiffness(model, "10"), voigt = Stiffness("voigt", "10"),
                         reuss = Stiffness("reuss", "10");
    ASSERT_FALSE(sc.is_null());
    for (int i = 0; i < 6; ++i) {
      EXPECT_LT(sc[i][i].get<double>(), voigt[i][i].get<double>()) << i;
      EXPECT_GT(sc[i][i].get<double>(), reuss[i][i].get<double>()) << i;
    }
  }
}

}  // namespace
}  // namespace polydec::cli_test
