// The macroscopic stiffness of the example rolling texture: a self-consistent stiffness must lie
// between the Voigt and Reuss averages of the same texture; where a too coarse integration puts
// it outside, the run is refused instead of printing it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

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

// An MTEX table of the whole orientation space assumes no sample symmetry: by default none is
// imposed (an isotropic default averaged a strong texture away).
TEST(CliCij, AWholeSpaceTableKeepsItsTexture) {
  std::random_device rd;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("polydec_cij_full_" + std::to_string(rd()));
  {
    std::ofstream out(file);
    out << "phi1 Phi phi2 ODF\n";
    for (int i1 = 0; i1 <= 72; ++i1)
      for (int i = 0; i <= 36; ++i)
        for (int i2 = 0; i2 <= 72; ++i2) {
          // A bump at (0, 45, 0) on a weak background.
          const double d1 = std::sin(5 * i1 * M_PI / 360), d = (5 * i - 45) / 20.0,
                       d2 = std::sin(5 * i2 * M_PI / 360);
          out << 5 * i1 << " " << 5 * i << " " << 5 * i2 << " "
              << 0.2 + 20 * std::exp(-(d1 * d1 + d2 * d2) * 30 - d * d) << "\n";
        }
  }
  const CliRun text =
      RunPolydec({"cij", "--material", "iron", "--model", "voigt", "--odf", file.string()});
  const CliRun r = RunPolydec({"cij", "--material", "iron", "--model", "voigt", "--odf",
                               file.string(), "--json"});
  // Over the whole of Euler space the default integration has twice the intervals.
  const CliRun n24 = RunPolydec({"cij", "--material", "iron", "--model", "voigt", "--odf",
                                 file.string(), "--intervals", "24", "--json"});
  std::filesystem::remove(file);
  EXPECT_EQ(r.out, n24.out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(text.out.find("sample symmetry triclinic"), std::string::npos) << text.out;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_GT(std::fabs(j["C"][1][1].get<double>() - j["C"][2][2].get<double>()), 0.1);
}

// A grains file is an orientation set that states no sample symmetry: by default none is
// imposed on it (an isotropic default replaced the rolling texture of its grains by a random
// one), and the isotropic average is there when asked for.
TEST(CliCij, AGrainsFileKeepsItsTexture) {
  std::random_device rd;
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("polydec_cij_grains_" + std::to_string(rd()));
  const CliRun written = RunPolydec(
      {"grains", "write", kExample, "--random", "1464", "-o", file.string()});
  ASSERT_EQ(written.status, 0) << written.err;
  const auto stiffness = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {"cij",     "--material", "nickel", "--model", "voigt",
                                     "--grains", file.string(), "--json"};
    args.insert(args.end(), more.begin(), more.end());
    const CliRun r = RunPolydec(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? nlohmann::json::parse(r.out)["C"] : nlohmann::json();
  };
  const nlohmann::json byDefault = stiffness({}),
                       triclinic = stiffness({"--sample-symmetry", "triclinic"}),
                       isotropic = stiffness({"--sample-symmetry", "isotropic"});
  const CliRun text =
      RunPolydec({"cij", "--material", "nickel", "--model", "voigt", "--grains", file.string()});
  std::filesystem::remove(file);
  ASSERT_FALSE(byDefault.is_null() || triclinic.is_null() || isotropic.is_null());
  EXPECT_EQ(byDefault, triclinic);
  EXPECT_NE(text.out.find("sample symmetry triclinic"), std::string::npos) << text.out;
  // The rolling texture makes the stiffness anisotropic by GPa; the isotropic average is not.
  EXPECT_GT(std::fabs(byDefault[0][0].get<double>() - isotropic[0][0].get<double>()), 1);
  EXPECT_NEAR(isotropic[0][0].get<double>(), isotropic[2][2].get<double>(), 1e-9);
}

// The self-consistent rounds at many intervals take minutes, one integration of a round
// seconds: the first Ctrl-C (even one that comes while the ODF is still being read) stops at
// the next integration with exit status 130, and a second one ends the process at once.
TEST(CliCij, CtrlCStopsTheSelfConsistentRounds) {
  for (const bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "two Ctrl-C" : "one Ctrl-C");
    const std::string err = (std::filesystem::temp_directory_path() /
                             (std::to_string(::getpid()) + "_polydec_cij_interrupt.txt"))
                                .string();
    const pid_t pid = StartPolydec({"cij", "--material", "iron", "--model", "kroener", "--odf",
                                    kExample, "--intervals", "60"},
                                   err);
    ASSERT_GE(pid, 0);
    const auto said = [&] {
      std::ifstream in(err);
      return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(pid, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline &&
           said().find("Ctrl-C again") == std::string::npos)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(said().find("press Ctrl-C again to quit at once"), std::string::npos) << said();
    if (twice) kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (twice) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << said();
      EXPECT_NE(said().find("the self-consistent rounds stopped (Ctrl-C)"), std::string::npos)
          << said();
    }
    std::filesystem::remove(err);
  }
}

}  // namespace
}  // namespace polydec::cli_test
