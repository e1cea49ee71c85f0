// `polydec worksheet` with spacings calculated from stresses, the per-azimuth evaluation in its
// JSON, comma-separated tables and stress factor files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>
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
namespace fs = std::filesystem;

const std::string kExample = std::string(POLYDEC_SOURCE_DIR) + "/examples/ferrite_211_stress.tsd";

TEST(CliWorksheetStrain, CalcStrainReproducesTheEvaluationAndPerPhiIsReported) {
  // d0 held: the evaluation's d_calc then uses the rows' d0 as the strain calculation does.
  const CliRun fit = RunPolydec(
      {"worksheet", kExample, "--calc-dec", "--free", "sig_xx sig_yy", "--calc-stress", "--json"});
  ASSERT_EQ(fit.status, 0) << fit.err;
  const CliRun both = RunPolydec({"worksheet", kExample, "--calc-dec", "--free", "sig_xx sig_yy",
                                  "--calc-stress", "--calc-strain", "--json"});
  ASSERT_EQ(both.status, 0) << both.err;
  const auto a = nlohmann::json::parse(fit.out), b = nlohmann::json::parse(both.out);
  ASSERT_EQ(a["rows"].size(), b["rows"].size());
  for (std::size_t k = 0; k < a["rows"].size(); ++k)
    EXPECT_NEAR(a["rows"][k]["d_calc"].get<double>(), b["rows"][k]["d_calc"].get<double>(), 1.01e-6)
        << k;

  // The example was made from sig_xx = 250 MPa, sig_yy = 80 MPa: at phi = 0 and 90 the
  // classical slopes give them back, and there is no shear.
  const auto& perPhi = a["datasets"][0]["per_phi"];
  ASSERT_EQ(perPhi.size(), 2u);
  const double expected[] = {250, 80};
  for (int k = 0; k < 2; ++k) {
    const auto& p = perPhi[k];
    EXPECT_EQ(p["phi"].get<double>(), 90.0 * k);
    EXPECT_EQ(p["n"], 8);
    EXPECT_NEAR(p["sig_phi_minus_sig33"].get<double>(), expected[k],
                4 * p["sig_phi_minus_sig33_err"].get<double>());
    ASSERT_FALSE(p["tau_phi"].is_null());
    EXPECT_NEAR(p["tau_phi"].get<double>(), 0, 4 * p["tau_phi_err"].get<double>());
  }
}

TEST(CliWorksheetStrain, GivenStressAndCommaSeparatedTables) {
  const fs::path csv = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_worksheet_strain.csv");
  fs::remove(csv);
  const CliRun run = RunPolydec({"worksheet", kExample, "--calc-dec", "--calc-strain", "--stress",
                                 "sig_xx=250 sig_yy=80", "--csv", csv.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  // The example's spacings carry a noise of at most 1e-5 around these stresses.
  const std::string text = ReadWholeFile(csv.string());
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_THAT(line, HasSubstr("row,label,hkl,phi,psi,sin2psi,d,d_err,d0,d0_err,F11"));
  EXPECT_THAT(line, HasSubstr("d_calc,residual,residual_per_err"));
  int rows = 0;
  while (std::getline(lines, line) && line != "\r") {
    ++rows;
    const std::size_t last = line.rfind(',');
    const std::size_t before = line.rfind(',', last - 1);
    const double residual = std::stod(line.substr(before + 1, last - before - 1));
    EXPECT_LT(std::abs(residual), 2e-5) << line;
  }
  EXPECT_EQ(rows, static_cast<int>(j["rows"].size()));
  std::getline(lines, line);
  EXPECT_THAT(line, HasSubstr("label,sig_xx,sig_xx_err"));
  std::getline(lines, line);
  EXPECT_THAT(line, HasSubstr("1,250.00,"));
  EXPECT_THAT(text, HasSubstr("\r\n2,1,2 1 1,0.0,18.43,0.0999"));
  fs::remove(csv);
}

// The tables of --csv hold what the run computed at the precision of --json: the d0
// uncertainty of the example (5e-6) was written as the cell rounds it, "0.000005".
TEST(CliWorksheetStrain, CommaSeparatedTablesHoldFullPrecision) {
  const fs::path csv = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_worksheet_precise.csv");
  fs::remove(csv);
  const CliRun run = RunPolydec(
      {"worksheet", kExample, "--calc-dec", "--calc-stress", "--csv", csv.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto set = nlohmann::json::parse(run.out)["datasets"][0];
  const std::string text = ReadWholeFile(csv.string());
  fs::remove(csv);
  const std::size_t results = text.find("\r\n\r\n");
  ASSERT_NE(results, std::string::npos);
  std::istringstream lines(text.substr(results + 4));
  std::string head, values;
  std::getline(lines, head);
  std::getline(lines, values);
  std::vector<std::string> cells;
  std::istringstream split(values);
  for (std::string cell; std::getline(split, cell, ',');) cells.push_back(cell);
  ASSERT_EQ(cells.size(), 16u) << values;
  // label, 6 x (sig, err), d0, d0_err, chisq
  EXPECT_DOUBLE_EQ(std::stod(cells[1]), set["sig"]["xx"].get<double>());
  EXPECT_DOUBLE_EQ(std::stod(cells[2]), set["sig_err"]["xx"].get<double>());
  EXPECT_DOUBLE_EQ(std::stod(cells[13]), set["d0"].get<double>());
  EXPECT_DOUBLE_EQ(std::stod(cells[14]), set["d0_err"].get<double>());
  EXPECT_GT(cells[14].size(), 12u) << cells[14];
}

// The spacings of --calc-strain reach the JSON at full precision, not as the worksheet cells
// round them (to 1e-6, a strain error of about 1e-6 that a fit of them turns into a fraction
// of an MPa).
TEST(CliWorksheetStrain, CalculatedSpacingsAreWrittenAtFullPrecision) {
  const CliRun run = RunPolydec({"worksheet", kExample, "--calc-dec", "--calc-strain", "--stress",
                                 "sig_xx=250 sig_yy=80", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  int unrounded = 0;
  for (const auto& row : j["rows"]) {
    const double F11 = row["F"]["F11"].get<double>(), F22 = row["F"]["F22"].get<double>();
    const double d0 = 1.17004;  // every row of the example
    const double expected = d0 * (1 + 1e-6 * (250 * F11 + 80 * F22));
    // The calculation reads the stress factors from their cells (6 decimals): 2e-10 at most.
    EXPECT_NEAR(row["d_calc"].get<double>(), expected, 1e-9) << row["row"];
    const double scaled = row["d_calc"].get<double>() * 1e6;
    unrounded += std::fabs(scaled - std::round(scaled)) > 1e-3;
  }
  EXPECT_GT(unrounded, 0);
}

TEST(CliWorksheetStrain, StressFactorFileFillsTheRows) {
  const fs::path sff = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_two_levels.sff");
  std::ofstream(sff, std::ios::binary)
      << "odfs a.odf b.odf\nlevels 2\nouter 1\ninner 2\nlabels L1 L2\nheadings\n"
         "0 10 -1.1 0.4 0.4 0 0 0 0 0 10 -2.1 0.4 0.4 0 0 0 0\n"
         "0 20 -1.2 0.4 0.4 0 0 0 0 0 20 -2.2 0.4 0.4 0 0 0 0\n";
  const CliRun run =
      RunPolydec({"worksheet", kExample, "--sff", sff.string(), "--hkl", "1 1 0", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  ASSERT_EQ(j["rows"].size(), 4u);
  EXPECT_EQ(j["rows"][3]["F"]["F11"].get<double>(), -2.2);
  EXPECT_EQ(j["rows"][1]["hkl"], "1 1 0");

  std::ofstream(sff, std::ios::binary) << "odfs a\nlevels 1\nouter 2\ninner 2\nlabels L\nh\n"
                                          "0 10 -1 0 0 0 0 0 0\n";
  const CliRun shortFile = RunPolydec({"worksheet", kExample, "--sff", sff.string()});
  EXPECT_EQ(shortFile.status, 1);
  EXPECT_THAT(shortFile.err, HasSubstr("line 8"));
  EXPECT_THAT(shortFile.err, HasSubstr("first 1 of 4 rows"));
  fs::remove(sff);
}

TEST(CliWorksheetStrain, Refusals) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"worksheet", kExample, "--calc-dec", "--calc-strain"}, "no result row gives a stress"},
      {{"worksheet", kExample, "--calc-strain", "--stress", "sig_xx=1"}, "Missing input data!"},
      {{"worksheet", kExample, "--calc-dec", "--calc-strain", "--stress", "tau=3"},
       "unknown stress component"},
      {{"worksheet", kExample, "--sff", "/nonexistent.sff"}, "does not exist"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunPolydec(c.args);
    EXPECT_EQ(run.status, 1) << c.message << "\n" << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message));
  }
}

}  // namespace
}  // namespace polydec::cli_test
