// `polydec map` with the real binary: one line per data set with the carried columns, a refused
// data set named in its line and in the exit status while the others are written, the same
// bytes with one thread or two, and Ctrl-C keeping the finished lines in RESULTS.partial.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_cli.h"
#include "support/file_helpers.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;

fs::path Folder() {
  const fs::path dir = fs::temp_directory_path() / "polydec_cli_map_test";
  fs::create_directories(dir);
  return dir;
}

// Points P1..Pn at x = k, y = 2k, the 211 reflection at phi 0 and 90 and four tilts; the point
// named `phi0Only` is measured at phi = 0 alone (sig_yy undetermined there).
std::string MapTable(int points, int phi0Only = 0) {
  std::string text = "set,x,y,hkl,phi,psi,d,d_err,d0\n";
  for (int p = 1; p <= points; ++p)
    for (int phi : {0, 90}) {
      if (p == phi0Only && phi == 90) continue;
      for (int psi : {0, 20, 35, 50}) {
        const double s2 = std::pow(std::sin(psi * M_PI / 180), 2);
        const double sphi = phi == 0 ? 100.0 + p % 50 : -40.0;
        const double d = 1.17004 * (1 + 1e-6 * (-1.26 * (60.0 + p % 50) + 5.72 * sphi * s2)) +
                         1e-6 * std::sin(p * 3.0 + psi);
        char line[200];
        std::snprintf(line, sizeof line, "P%d,%d,%d,2 1 1,%d,%d,%.8f,2e-5,1.17004\n", p, p, 2 * p,
                      phi, psi, d);
        text += line;
      }
    }
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(CliMap, ARefusedDataSetIsNamedInItsLineAndTheExitStatusTheOthersAreWritten) {
  const fs::path table = Folder() / "refused.csv";
  polydec::test::WriteFile(table, MapTable(5, 3));
  const fs::path out = Folder() / "refused_results.csv";
  fs::remove(out);
  const CliRun run = RunPolydec({"map", table.string(), "--material", "iron", "-o", out.string()});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("data set \"P3\""), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(out.string() + ".partial"));
  const std::vector<std::string> lines = Lines(polydec::test::ReadFile(out));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].rfind("label,x,y,sig_xx,sig_xx_err,sig_xx_err_scaled,sig_yy,", 0), 0u);
  EXPECT_NE(lines[0].find(",d0,d0_err,d0_correction,d0_correction_err,chisq,dof,rows,status"),
            std::string::npos);
  for (int p = 1; p <= 5; ++p) {
    const std::string& line = lines[static_cast<std::size_t>(p)];
    EXPECT_EQ(line.rfind("P" + std::to_string(p) + "," + std::to_string(p) + "," +
                            std::to_string(2 * p) + ",", 0),
              0u)
        << line;
    if (p == 3) {
      EXPECT_NE(line.find("refused: "), std::string::npos) << line;
      EXPECT_NE(line.find("sig_yy"), std::string::npos) << line;
    } else {
      EXPECT_EQ(line.substr(line.size() - 3), ",ok") << line;
    }
  }

  // The same as JSON lines.
  const fs::path jsonOut = Folder() / "refused_results.jsonl";
  const CliRun json = RunPolydec(
      {"map", table.string(), "--material", "iron", "--json-lines", "-o", jsonOut.string()});
  EXPECT_EQ(json.status, 3);
  const std::vector<std::string> objects = Lines(polydec::test::ReadFile(jsonOut));
  ASSERT_EQ(objects.size(), 5u);
  for (std::size_t k = 0; k < objects.size(); ++k) {
    const nlohmann::json j = nlohmann::json::parse(objects[k]);
    EXPECT_EQ(j["label"], "P" + std::to_string(k + 1));
    EXPECT_EQ(j["columns"]["y"], std::to_string(2 * (k + 1)));
    EXPECT_EQ(j.contains("sig"), k != 2);
    EXPECT_EQ(j["status"].get<std::string>().rfind(k == 2 ? "refused" : "ok", 0), 0u);
  }
}

TEST(CliMap, OneThreadOrTwoWriteTheSameBytesAndBadTablesAreInputErrors) {
  const fs::path table = Folder() / "threads.csv";
  polydec::test::WriteFile(table, MapTable(300));
  std::string results[2];
  for (int t = 1; t <= 2; ++t) {
    const fs::path out = Folder() / ("threads_" + std::to_string(t) + ".csv");
    const CliRun run = RunPolydec({"map", table.string(), "--material", "iron", "--free",
                                   "sig_xx sig_yy d0", "--threads", std::to_string(t), "--chunk",
                                   t == 1 ? "512" : "7", "-o", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    results[t - 1] = polydec::test::ReadFile(out);
  }
  EXPECT_EQ(Lines(results[0]).size(), 301u);
  EXPECT_EQ(results[0], results[1]);

  const fs::path worksheet = fs::path(POLYDEC_SOURCE_DIR) / "examples/ferrite_211_stress.tsd";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"map", (Folder() / "missing.csv").string(), "-o", "x.csv"},
        std::vector<std::string>{"map", worksheet.string(), "-o",
                                 (Folder() / "sheet.csv").string()}}) {
    const CliRun run = RunPolydec(args);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("polydec: error: "), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(Folder() / "sheet.csv"));
  EXPECT_FALSE(fs::exists(Folder() / "sheet.csv.partial"));
}

TEST(CliMap, CtrlCKeepsTheFinishedLinesInThePartialFileAndWritesNoResults) {
  const fs::path table = Folder() / "long.csv";
  polydec::test::WriteFile(table, MapTable(20000));
  const fs::path out = Folder() / "long_results.csv";
  const std::string partial = out.string() + ".partial";
  fs::remove(out);
  fs::remove(partial);
  const pid_t pid = StartPolydec({"map", table.string(), "--material", "iron", "--threads", "1",
                                  "--chunk", "1", "-o", out.string()});
  ASSERT_GE(pid, 0);
  // Wait for the first finished lines, then interrupt as a terminal's Ctrl-C does.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline &&
         (!fs::exists(partial) || Lines(polydec::test::ReadFile(partial)).size() < 20))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_FALSE(fs::exists(out));
  const std::string kept = polydec::test::ReadFile(partial);
  const std::vector<std::string> lines = Lines(kept);
  ASSERT_GE(lines.size(), 20u);
  EXPECT_LT(lines.size(), 20001u);
  EXPECT_EQ(kept.back(), '\n');  // no half-written line
  for (std::size_t k = 1; k < lines.size(); ++k)
    EXPECT_EQ(lines[k].rfind("P" + std::to_string(k) + ",", 0), 0u) << lines[k];
  // Nothing the atomic writer began is left beside the results.
  for (const auto& entry : fs::directory_iterator(Folder()))
    EXPECT_EQ(entry.path().filename().string().rfind(".long_results.csv", 0), std::string::npos)
        << entry.path();
}

}  // namespace
}  // namespace polydec::cli_test
