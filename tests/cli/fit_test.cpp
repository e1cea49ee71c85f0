// Golden runs of `polydec fit` on the shipped example: the constants come back, the report is
// written where asked, and faulty inputs or fits that cannot improve end with status 1 and the
// reason.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"

namespace polydec::cli_test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class CliFit : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("polydec_cli_fit_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    fs::copy_file(POLYDEC_SOURCE_DIR "/examples/iron-kroener.dec", input(),
                  fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string input() const { return (dir_ / "iron.dec").string(); }

  // A copy of the example with line `line` (from 1) replaced.
  std::string Variant(int line, const std::string& text) {
    std::istringstream in(ReadWholeFile(input()));
    std::string out, l;
    for (int n = 1; std::getline(in, l); ++n) out += (n == line ? text : l) + "\n";
    const std::string path = (dir_ / "variant.dec").string();
    std::ofstream(path, std::ios::binary) << out;
    return path;
  }

  fs::path dir_;
};

TEST_F(CliFit, FitsTheExampleBackToItsConstants) {
  const std::string report = (dir_ / "out.res").string();
  const CliRun run = RunPolydec({"fit", input(), "-o", report, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  // The example's values were computed from C11 = 231.4, C12 = 134.7, C44 = 116.4 GPa (Kroener
  // model) with noise of the stated uncertainty: each constant lies within 3 errors.
  const std::pair<const char*, double> truth[] = {{"C11", 231.4}, {"C12", 134.7}, {"C44", 116.4}};
  for (const auto& [name, value] : truth) {
    const double error = j["errors"][name].get<double>();
    EXPECT_GT(error, 0) << name;
    EXPECT_LT(std::abs(j["constants"][name].get<double>() - value), 3 * error) << name;
  }
  EXPECT_EQ(j["model"], "kroener");
  EXPECT_EQ(j["data_points"], 12);
  EXPECT_TRUE(j["converged"].get<bool>());
  EXPECT_GE(j["cycles"].get<int>(), 2);
  EXPECT_GT(j["iterations"].get<int>(), 0);
  EXPECT_GT(j["chisq"].get<double>(), 0);
  EXPECT_EQ(j["report"], report);
  EXPECT_THAT(ReadWholeFile(report), HasSubstr("Correlation-Matrix:"));
  EXPECT_FALSE(fs::exists(input() + ".res"));

  // Text output; the report goes beside the input by default.
  const CliRun text = RunPolydec({"fit", input(), "--cycles", "1"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_THAT(text.out, HasSubstr("Model: Kroener, 12 data points, 3 fitted constants"));
  EXPECT_THAT(text.out, HasSubstr("stopped at the cycle limit (1)"));
  EXPECT_THAT(text.out, HasSubstr("C44 "));
  EXPECT_THAT(text.out, HasSubstr("Report: " + input() + ".res"));
  EXPECT_TRUE(fs::exists(input() + ".res"));
}

// A Windows-1252 material name is converted; a file name whose bytes are no UTF-8 reaches the
// JSON as U+FFFD. Either way the output parses as JSON.
TEST_F(CliFit, JsonIsValidUtf8WhateverTheNamesHold) {
  const std::string input = Variant(1,
                                    "Fer pur \xE9"
                                    "chantillon");
  const std::string report = (dir_ / "r\x96sultat.res").string();
  const CliRun run = RunPolydec({"fit", input, "-o", report, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  nlohmann::json j;
  ASSERT_NO_THROW(j = nlohmann::json::parse(run.out)) << run.out;
  EXPECT_EQ(j["material"], "Fer pur \u00E9chantillon");
  EXPECT_EQ(j["report"], (dir_ / "r\uFFFDsultat.res").string());
  EXPECT_TRUE(fs::exists(report));
}

// A count below the data lines held would fit part of the measurements and report success.
TEST_F(CliFit, RefusedInputNamesFileAndLine) {
  const struct Case {
    const char* count;
    std::string message;
  } cases[] = {
      {"data points   21", ", line 10: 21 data points: the number must be 1..20\n"},
      {"data points   10",
       ", line 24: line 10 announces 10 data points, but the data go on here (2 more data "
       "lines): give the number of all data lines on line 10, or remove the extra ones\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    const std::string bad = Variant(10, c.count);
    const CliRun run = RunPolydec({"fit", bad});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "polydec: error: " + bad + c.message);
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(fs::exists(bad + ".res"));
  }
}

TEST_F(CliFit, FitThatCannotImproveEndsWithItsReason) {
  const std::string tied = Variant(4, "fit flags     1 0 0 2 0 0 3 0 0 0 0 0 0 0 0 4 0 0 0 0 0");
  const CliRun run = RunPolydec({"fit", tied, "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("Singular curvature matrix"));
  EXPECT_THAT(run.err, HasSubstr("C2222"));
  EXPECT_TRUE(run.out.empty());
  EXPECT_FALSE(fs::exists(tied + ".res"));
}

// Measured stress factors of zero ask for a compliance of zero: chi-square falls without end as
// the stiffness grows, and a fit that stops there is no result. It is refused naming the
// constants, and no report is written.
TEST_F(CliFit, AFitThatRunsOffToInfiniteStiffnessIsRefusedNamingTheConstants) {
  std::istringstream in(ReadWholeFile(input()));
  std::string text, l;
  for (int n = 1; std::getline(in, l); ++n) {
    if (n >= 14) {
      // h k l phi psi value uncertainty: the value becomes 0.
      std::istringstream words(l);
      std::string w[7];
      for (std::string& x : w) words >> x;
      l = w[0] + " " + w[1] + " " + w[2] + " " + w[3] + " " + w[4] + " 0 " + w[6];
    }
    text += l + "\n";
  }
  const std::string zeros = (dir_ / "zeros.dec").string();
  std::ofstream(zeros, std::ios::binary) << text;
  const std::string report = (dir_ / "zeros.res").string();
  for (const bool json : {false, true}) {
    std::vector<std::string> args = {"fit", zeros, "-o", report};
    if (json) args.push_back("--json");
    const CliRun run = RunPolydec(args);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_THAT(run.err, HasSubstr("the measured values do not determine the constants"));
    EXPECT_THAT(run.err, HasSubstr("C1111 = "));
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_FALSE(fs::exists(report));
  }
}

TEST_F(CliFit, UnwritableReportIsAnErrorNotASuccess) {
  // The fit itself succeeds; a report that cannot be written must still end with status 1.
  const CliRun run = RunPolydec({"fit", input(), "-o", dir_.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("The fit report was not written:\n" + dir_.string()));
  EXPECT_TRUE(run.out.empty());
}

// Fits run at once into one report file: each report lands, none is lost to another run's
// copy of the file.
TEST_F(CliFit, ConcurrentFitsAppendEveryReport) {
  const std::string report = (dir_ / "rep.res").string();
  constexpr int kRuns = 4;
  std::vector<pid_t> children;
  for (int k = 0; k < kRuns; ++k) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(RunPolydec({"fit", input(), "-o", report}).status);
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string text = ReadWholeFile(report);
  int reports = 0;
  for (std::size_t at = text.find("alpha-Iron"); at != std::string::npos;
       at = text.find("alpha-Iron", at + 1))
    ++reports;
  EXPECT_EQ(reports, kRuns);
}

TEST_F(CliFit, TheReportNeverGoesIntoTheFitInput) {
  const std::string before = ReadWholeFile(input());
  fs::create_symlink(input(), dir_ / "alias.dec");
  for (const std::string& out : {input(), (dir_ / "alias.dec").string()}) {
    const CliRun run = RunPolydec({"fit", input(), "-o", out});
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_THAT(run.err, HasSubstr("is the fit input itself"));
  }
  EXPECT_EQ(ReadWholeFile(input()), before);
}

TEST_F(CliFit, OptionErrors) {
  EXPECT_EQ(RunPolydec({"fit", input(), "--model", "vook-witt"}).status, 1);
  EXPECT_EQ(RunPolydec({"fit", input(), "--cycles", "0"}).status, 2);
  EXPECT_EQ(RunPolydec({"fit"}).status, 2);
  const CliRun missing = RunPolydec({"fit", (dir_ / "none.dec").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("does not exist"));
}

}  // namespace
}  // namespace polydec::cli_test
