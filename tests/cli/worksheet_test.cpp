// Golden runs of `polydec worksheet` on the shipped ferrite example: the page's commands run
// headless exactly as the buttons do.
#include <gmock/gmock.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>
#include <string>

#include "cli/run_cli.h"
#include "support/file_helpers.h"

namespace polydec::cli_test {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

const std::string kExample = std::string(POLYDEC_SOURCE_DIR) + "/examples/ferrite_211_stress.tsd";
const std::string kTable = std::string(POLYDEC_SOURCE_DIR) + "/examples/ferrite_211_stress.csv";

TEST(CliWorksheet, ExampleGivesItsKnownStress) {
  // The example's spacings were made from sig_xx = 250 MPa, sig_yy = 80 MPa with the Kroener
  // stress factors of the default iron and a noise of at most 1e-5 A.
  const CliRun run = RunPolydec({"worksheet", kExample, "--calc-dec", "--calc-stress", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  ASSERT_EQ(j["rows"].size(), 16u);
  const auto& row = j["rows"][0];
  for (const char* key : {"row", "hkl", "phi", "psi", "F", "I_ODF", "d_calc"})
    EXPECT_TRUE(row.contains(key)) << key;
  // psi = 0: F11 = F22 = s1 and F33 - F11 = 1/2 s2 of the Kroener 211 reflection in the
  // database's matrix, the self-consistent aggregate of iron (as `dec` gives them).
  EXPECT_NEAR(row["F"]["F11"].get<double>(), -1.262887, 1e-6);
  EXPECT_NEAR(row["F"]["F33"].get<double>() - row["F"]["F11"].get<double>(), 5.715444, 2e-6);
  ASSERT_EQ(j["datasets"].size(), 1u);
  const auto& set = j["datasets"][0];
  const double sxx = set["sig"]["xx"], syy = set["sig"]["yy"];
  const double exx = set["sig_err"]["xx"], eyy = set["sig_err"]["yy"];
  EXPECT_NEAR(sxx, 250, 3 * exx);
  EXPECT_NEAR(syy, 80, 3 * eyy);
  EXPECT_EQ(set["sig"]["zz"], 0);
  EXPECT_EQ(set["sig_err"]["zz"], 0);
  EXPECT_NEAR(set["d0"].get<double>(), 1.17004, 3 * set["d0_err"].get<double>() + 1e-6);
  // The statistics beside the cells: 16 rows, 3 fitted parameters.
  EXPECT_EQ(set["dof"], 13);
  EXPECT_NEAR(set["chisq_reduced"].get<double>(), set["chisq"].get<double>() / 13, 1e-3);
  EXPECT_NEAR(set["sig_err_scaled"]["xx"].get<double>(),
              set["sig_err_stat"]["xx"].get<double>() *
                  std::sqrt(set["chisq_reduced"].get<double>()),
              1e-6);
  EXPECT_EQ(set["d0_systematic"]["xx"], 0);
  ASSERT_EQ(set["reflections"].size(), 1u);
  EXPECT_NEAR(set["reflections"][0]["d0"].get<double>(), set["d0"].get<double>(), 1e-6);
}

// Without a texture the worksheet's stress factors are those of the quasi-isotropic s1 and
// 1/2 s2 that `dec` gives: F = s1 I + 1/2 s2 m m in every direction m, in both notations, for
// the self-consistent models in the material's matrix and in a given one. (The worksheet once
// rounded the matrix of E and nu to 0.1 GPa; no longer isotropic, it moved the factors by
// 3e-4 and made F22 drift with psi.)
TEST(CliWorksheet, UntexturedFactorsAreTheDecsOfTheReflection) {
  struct Case {
    std::string material, hkl, model;
    std::vector<std::string> matrix;
  } cases[] = {{"iron", "2 1 1", "kroener", {}},
               {"austenitic steel", "2 0 0", "kroener", {}},
               {"iron", "3 1 0", "inverse-kroener", {}},
               {"iron", "2 1 1", "kroener", {"--matrix", "200 0.3"}},
               {"austenitic steel", "2 2 0", "inverse-kroener", {"--matrix", "195.5 0.28"}}};
  const fs::path folder = fs::temp_directory_path() / ("polydec_dec_agree_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.material + " " + c.hkl + " " + c.model);
    std::vector<std::string> dec = {"dec", "--material", c.material, "--hkl", c.hkl,
                                    "--model", c.model, "--json"};
    dec.insert(dec.end(), c.matrix.begin(), c.matrix.end());
    const CliRun d = RunPolydec(dec);
    ASSERT_EQ(d.status, 0) << d.err;
    const auto decRow = nlohmann::json::parse(d.out)["rows"][0];
    const double s1 = decRow["s1"], h2 = decRow["half_s2"];

    const fs::path table = folder / "t.csv";
    std::string text = "set,hkl,phi,psi,d,d_err,d0,d0_err\n";
    const double directions[][2] = {{0, 0}, {0, 30}, {0, 60}, {90, 45}, {30, -50}};
    for (const auto& dir : directions)
      text += "A," + c.hkl + "," + std::to_string(dir[0]) + "," + std::to_string(dir[1]) +
              ",1.17,2e-5,1.17,5e-5\n";
    test::WriteFile(table, text);
    for (const std::string notation : {"fij", "s1"}) {
      SCOPED_TRACE(notation);
      std::vector<std::string> ws = {"worksheet", table.string(), "--calc-dec", "--material",
                                     c.material, "--model", c.model, "--notation", notation,
                                     "--json"};
      ws.insert(ws.end(), c.matrix.begin(), c.matrix.end());
      const CliRun w = RunPolydec(ws);
      ASSERT_EQ(w.status, 0) << w.err;
      const auto rows = nlohmann::json::parse(w.out)["rows"];
      ASSERT_EQ(rows.size(), 5u);
      for (std::size_t k = 0; k < 5; ++k) {
        const double phi = directions[k][0] * M_PI / 180, psi = directions[k][1] * M_PI / 180;
        if (notation == "s1") {
          EXPECT_NEAR(rows[k]["S1"].get<double>(), s1, 1e-7 * std::fabs(h2));
          EXPECT_NEAR(rows[k]["half_S2"].get<double>(), h2, 1e-7 * std::fabs(h2));
          continue;
        }
        const double m[3] = {std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi),
                             std::cos(psi)};
        // The shear columns hold 2 F_ij.
        const std::pair<const char*, double> expected[] = {
            {"F11", s1 + h2 * m[0] * m[0]}, {"F22", s1 + h2 * m[1] * m[1]},
            {"F33", s1 + h2 * m[2] * m[2]}, {"F23", 2 * h2 * m[1] * m[2]},
            {"F13", 2 * h2 * m[0] * m[2]},  {"F12", 2 * h2 * m[0] * m[1]}};
        for (const auto& [name, value] : expected)
          EXPECT_NEAR(rows[k]["F"][name].get<double>(), value, 1e-7 * std::fabs(h2))
              << name << " row " << k + 1;
      }
    }
  }
  fs::remove_all(folder);
}

// The matrix the grains were embedded in is named, and --matrix-self-consistent takes the
// self-consistent aggregate of the crystal as `dec` does.
TEST(CliWorksheet, NamesTheMatrixItUsed) {
  const CliRun given = RunPolydec({"worksheet", kExample, "--calc-dec", "--matrix", "205 0.29"});
  ASSERT_EQ(given.status, 0) << given.err;
  EXPECT_THAT(given.out, HasSubstr("Matrix: E = 205 GPa, nu = 0.29 (--matrix)"));
  const CliRun sc = RunPolydec({"worksheet", kExample, "--calc-dec", "--matrix-self-consistent"});
  ASSERT_EQ(sc.status, 0) << sc.err;
  EXPECT_THAT(sc.out, HasSubstr("(self-consistent aggregate of the crystal)"));
  const CliRun both = RunPolydec(
      {"worksheet", kExample, "--matrix", "205 0.29", "--matrix-self-consistent"});
  EXPECT_EQ(both.status, 2);
}

TEST(CliWorksheet, TheExampleTableGivesTheStressOfTheExampleWorksheetWithEveryRowsResidual) {
  const CliRun sheet = RunPolydec({"worksheet", kExample, "--calc-dec", "--calc-stress", "--json"});
  const CliRun table = RunPolydec({"worksheet", kTable, "--calc-dec", "--calc-stress", "--json"});
  ASSERT_EQ(sheet.status, 0) << sheet.err;
  ASSERT_EQ(table.status, 0) << table.err;
  const auto a = nlohmann::json::parse(sheet.out), b = nlohmann::json::parse(table.out);
  ASSERT_EQ(b["rows"].size(), 16u);
  ASSERT_EQ(b["datasets"].size(), 1u);
  EXPECT_EQ(b["datasets"][0]["label"], "ferrite");
  for (const char* key : {"sig", "sig_err", "d0", "d0_err", "chisq"})
    EXPECT_EQ(b["datasets"][0][key], a["datasets"][0][key]) << key;
  // Full precision: the stress is no two-decimal figure, and each row carries its residual.
  const double sxx = b["datasets"][0]["sig"]["xx"];
  EXPECT_GT(std::abs(sxx * 100 - std::round(sxx * 100)), 1e-6);
  for (const auto& row : b["rows"]) {
    const double d = row["d"], dCalc = row["d_calc"], psi = row["psi"];
    EXPECT_DOUBLE_EQ(row["residual"].get<double>(), (d - dCalc) / 0.00002);
    EXPECT_NEAR(row["sin2psi"].get<double>(), std::pow(std::sin(psi * M_PI / 180), 2), 1e-15);
  }
}

TEST(CliWorksheet, ATableCellThatIsNoNumberIsRefusedWithLineAndColumn) {
  const fs::path bad = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_bad_table.csv");
  test::WriteFile(bad, "phi;psi;hkl;2theta\n0;0;2 1 1;156,1\n0;-45,0;2 1 1;x156\n");
  const CliRun run = RunPolydec({"worksheet", bad.string(), "--wavelength", "2.29"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr(bad.string() + ", line 3, column 4 (2theta): \"x156\" is not a number"));
  fs::remove(bad);
}

TEST(CliWorksheet, CommandsRunInTheGivenOrderAndOutputReloads) {
  const fs::path out = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_worksheet_out.tsd");
  fs::remove(out);
  // Calc Stress before Calc DEC finds no stress factors yet.
  const CliRun early = RunPolydec({"worksheet", kExample, "--calc-stress", "--calc-dec"});
  EXPECT_EQ(early.status, 1);
  EXPECT_THAT(early.err, HasSubstr("Fields are missing or have the wrong format at line 1"));
  EXPECT_THAT(early.err, HasSubstr("run \"Calc DEC\" first (--calc-dec)"));

  const CliRun run = RunPolydec({"worksheet", kExample, "--calc-dec", "--model", "reuss",
                                 "--calc-stress", "-o", out.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(fs::exists(out));
  // The saved worksheet holds the Reuss stress factors and the results: loading it alone
  // prints the same block (as the cells show it; the JSON of the run itself has the numbers
  // at full precision).
  const CliRun shown = RunPolydec(
      {"worksheet", kExample, "--calc-dec", "--model", "reuss", "--calc-stress"});
  const CliRun again = RunPolydec({"worksheet", out.string()});
  ASSERT_EQ(again.status, 0) << again.err;
  // The line naming the matrix belongs to the run that computed the stress factors.
  std::string shownBlock = shown.out;
  shownBlock.erase(std::min(shownBlock.find("\nMatrix:"), shownBlock.size()));
  EXPECT_EQ(again.out, shownBlock);
  EXPECT_NE(nlohmann::json::parse(run.out)["rows"][0]["F"]["F11"].get<double>(), -1.262342);
  fs::remove(out);
}

// The rows end at the first row whose phi and psi are both empty; measurements below it are not
// used, and the command line says so (the example without a warning, with its row 6 emptied one).
TEST(CliWorksheet, MeasurementsBelowAnEmptyRowAreNamedAsUnused) {
  const CliRun whole = RunPolydec({"worksheet", kExample, "--calc-dec"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(whole.err, "");

  std::istringstream in(ReadWholeFile(kExample));
  std::string text, line;
  int n = 0;
  while (std::getline(in, line)) {
    // Line 1 holds the flags, line 2 the header, line 3 + k row k+1: empty row 6's phi and psi.
    if (++n == 8) {
      std::vector<std::string> cells;
      std::istringstream fields(line);
      std::string cell;
      while (std::getline(fields, cell, '\t')) cells.push_back(cell);
      cells[3] = cells[4] = " ";
      line.clear();
      for (std::size_t k = 0; k < cells.size(); ++k) line += (k ? "\t" : "") + cells[k];
    }
    text += line + "\n";
  }
  const fs::path gap = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_worksheet_gap.tsd");
  std::ofstream(gap, std::ios::binary) << text;
  const CliRun run = RunPolydec({"worksheet", gap.string(), "--calc-dec"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err,
              HasSubstr("the measurement rows end at row 6, whose phi and psi are both empty; "));
  EXPECT_THAT(run.err,
              HasSubstr("below it hold measurements that are not used (the first is row 7)"));
  fs::remove(gap);
}

// A worksheet longer than the 400 rows of a new one is used whole, and saving it over itself
// keeps every row: a cut read would evaluate part of the data and the save delete the rest.
TEST(CliWorksheet, AWorksheetOfMoreThanFourHundredRowsIsUsedAndSavedWhole) {
  std::istringstream in(ReadWholeFile(kExample));
  std::string line, text;
  std::vector<std::string> data;
  for (int n = 1; std::getline(in, line); ++n) {
    if (n <= 2)
      text += line + "\n";
    else if (line.find_first_not_of(" \t\r") != std::string::npos)
      data.push_back(line.substr(line.find('\t')));  // without the row number
  }
  ASSERT_FALSE(data.empty());
  constexpr int kRows = 450;
  for (int r = 1; r <= kRows; ++r) text += std::to_string(r) + data[(r - 1) % data.size()] + "\n";
  const fs::path big = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_worksheet_450.tsd");
  std::ofstream(big, std::ios::binary) << text;

  const CliRun run =
      RunPolydec({"worksheet", big.string(), "--calc-dec", "--json", "-o", big.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = nlohmann::json::parse(run.out)["rows"];
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  EXPECT_EQ(rows.back()["row"], kRows);
  // Saved: flags, header, every row with its stress factors, the closing line.
  std::istringstream saved(ReadWholeFile(big.string()));
  std::vector<std::string> lines;
  while (std::getline(saved, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kRows) + 3);
  EXPECT_EQ(lines[kRows + 1].substr(0, 4), "450\t");
  const CliRun again = RunPolydec({"worksheet", big.string(), "--json"});
  ASSERT_EQ(again.status, 0) << again.err;
  fs::remove(big);
}

TEST(CliWorksheet, BadInputEndsWithStatusOne) {
  const fs::path zero = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_zero_uncertainty.tsd");
  {
    std::ifstream in(kExample, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = text.find("0.00002");
    text.replace(at, 7, "0.00000");
    std::ofstream(zero, std::ios::binary) << text;
  }
  // The classical per-azimuth data set: phi = 0 alone cannot separate sig_yy from d0.
  const fs::path azimuth = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_one_azimuth.tsd");
  {
    std::ifstream in(kExample, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto at = text.find("\t90.0\t"); at != std::string::npos; at = text.find("\t90.0\t"))
      text.replace(at, 6, "\t0.0\t");
    std::ofstream(azimuth, std::ios::binary) << text;
  }
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"worksheet", "/nonexistent.tsd"}, "does not exist"},
      {{"worksheet", kExample, "--free", "sig_xx tau"}, "tau"},
      {{"worksheet", kExample, "--model", "vook-witt"}, "unknown model"},
      {{"worksheet", kExample, "--grain-shape", "1 0 1", "--calc-dec"}, "semi-axes"},
      {{"worksheet", zero.string(), "--calc-dec", "--calc-stress"}, "uncertainty is 0"},
      {{"worksheet", kExample, "--odf", "/nonexistent.odf"}, "does not exist"},
      {{"worksheet", azimuth.string(), "--calc-dec", "--calc-stress"},
       "sig_yy and d0 "},
  };
  for (const Case& c : cases) {
    const CliRun run = RunPolydec(c.args);
    EXPECT_EQ(run.status, 1) << c.message << "\n" << run.err;
    EXPECT_THAT(run.err, HasSubstr("polydec: error: "));
    EXPECT_THAT(run.err, HasSubstr(c.message));
  }
  fs::remove(zero);
  fs::remove(azimuth);
}

// A table refused for its form, and a refusal of a worksheet cell that came from a table: both
// name the table's own line and column, not the worksheet row.
TEST(CliWorksheet, TableRefusalsNameTheTablesLineAndColumn) {
  const std::string table = test::ReadFile(kTable);
  const fs::path in = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_table_place.csv");
  const std::string f = in.string();
  const struct {
    std::string from, to, message;
  } cases[] = {
      // Unquoted, the decimal comma splits psi in two and every later cell moves one column on.
      {"0.0,33.21,1.170050,0.00002", "0.0,33,21,1.170050,0.00002",
       f + ", line 6, column 4 (psi): the row has 9 cells, the header (line 2) 8: the cells "
           "after an extra one would move into the wrong columns; 33,21 looks like a decimal "
           "comma in a comma-separated file: quote the cell or use semicolons"},
      // An uncertainty of d in some rows only: the weights would be half made up.
      {"0.0,33.21,1.170050,0.00002", "0.0,33.21,1.170050,",
       "The uncertainty of d is empty at row 4 while row 1 of data set \"ferrite\" gives one: "
       "give it in every row of a data set, or in none (the fit is then unweighted, its "
       "uncertainties from the scatter); in " + f + " that is line 6, column \"d_err\""},
      {"set,hkl,phi,psi,d,d_err,d0,d0_err", "set,hkl,phi,sin2psi,d,d_err,d0,d0_err",
       f + ", line 2: the header names no column for psi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    std::string text = table;
    ASSERT_NE(text.find(c.from), std::string::npos);
    text.replace(text.find(c.from), c.from.size(), c.to);
    test::WriteFile(in, text);
    const CliRun run = RunPolydec({"worksheet", f, "--calc-dec", "--calc-stress"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_TRUE(run.out.empty());
  }
  // A table without the column says whose uncertainty is missing.
  test::WriteFile(in, "phi;psi;hkl;d;\xCE\x94" "d;d0;d0 err\n0;0;2 1 1;1,17;2e-5;1,17;1e-4\n");
  const CliRun run = RunPolydec({"worksheet", f, "--calc-dec", "--calc-stress"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("in " + f + " that is line 2, which has no column for the "
                                 "uncertainty of d (columns not read: \"\xCE\x94" "d\")"));
  fs::remove(in);
}

// A table without uncertainties (usual where d0 is fitted and the peak fit gave none): the
// fit is unweighted, its uncertainties from the scatter, and the run says so; with d0 held the
// missing part of d0 is said as well.
TEST(CliWorksheet, ATableWithoutUncertaintiesIsFittedAndSaysHow) {
  std::istringstream in(test::ReadFile(kTable));
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::istringstream split(line);
    for (std::string cell; std::getline(split, cell, ',');) cells.push_back(cell);
    // set, hkl, phi, psi, d, d_err, d0, d0_err: keep all but the two uncertainties.
    text += cells[0] + "," + cells[1] + "," + cells[2] + "," + cells[3] + "," + cells[4] + "," +
            cells[6] + "\n";
  }
  const fs::path table = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_no_uncertainties.csv");
  test::WriteFile(table, text);
  const CliRun fitted =
      RunPolydec({"worksheet", table.string(), "--calc-dec", "--calc-stress", "--json"});
  ASSERT_EQ(fitted.status, 0) << fitted.err;
  EXPECT_THAT(fitted.err, HasSubstr("gives no uncertainties of d: the fit is unweighted"));
  const auto set = nlohmann::json::parse(fitted.out)["datasets"][0];
  EXPECT_EQ(set["unweighted"], true);
  EXPECT_NEAR(set["sig"]["xx"].get<double>(), 250, 3 * set["sig_err"]["xx"].get<double>());
  EXPECT_EQ(set["sig_err"]["xx"], set["sig_err_scaled"]["xx"]);

  const CliRun held = RunPolydec({"worksheet", table.string(), "--calc-dec", "--calc-stress",
                                  "--free", "sig_xx sig_yy", "--json"});
  fs::remove(table);
  ASSERT_EQ(held.status, 0) << held.err;
  EXPECT_THAT(held.err, HasSubstr("holds d0 fixed without its uncertainty"));
  EXPECT_EQ(nlohmann::json::parse(held.out)["datasets"][0]["d0_part_left_out"], true);
}

// Values that overflow the fit (an uncertainty of 1e-4900, a spacing of 1e400, a psi of 1e30)
// are refused at their cell; no "INF" or "NAN" reaches the output or a file.
TEST(CliWorksheet, ValuesBeyondTheRangeOfTheFitAreRefusedAtTheirCell) {
  const std::string table = test::ReadFile(kTable);
  const std::string row = "0.0,33.21,1.170050,0.00002";  // data row 4
  ASSERT_NE(table.find(row), std::string::npos);
  const struct {
    std::string row, message;
  } cases[] = {
      {"0.0,33.21,1.170050,1e-4900", "Out of range at line 4 (row 4, +/-: "},
      {"0.0,1e30,1.170050,0.00002", "Out of range at line 4 (row 4, psi: "},
      {"0.0,33.21,-1.170050,0.00002", "Out of range at line 4 (row 4, d: "},
      // Beyond double range already the table refuses it, at its line and column.
      {"0.0,33.21,1e400,0.00002", "polydec_cli_range.csv, line 6, column 5 (d): \"1e400\""},
  };
  const fs::path in = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_range.csv");
  const fs::path out = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_cli_range.tsd");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    std::string text = table;
    text.replace(text.find(row), row.size(), c.row);
    test::WriteFile(in, text);
    fs::remove(out);
    for (const bool json : {false, true}) {
      std::vector<std::string> args = {"worksheet",     in.string(), "--calc-dec",
                                       "--calc-stress", "-o",        out.string()};
      if (json) args.push_back("--json");
      const CliRun run = RunPolydec(args);
      EXPECT_EQ(run.status, 1);
      EXPECT_THAT(run.err, HasSubstr(c.message));
      for (const std::string& shown : {run.out, run.err}) {
        EXPECT_THAT(shown, ::testing::Not(HasSubstr("INF")));
        EXPECT_THAT(shown, ::testing::Not(HasSubstr("NAN")));
        EXPECT_THAT(shown, ::testing::Not(HasSubstr("nan")));
      }
      EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_EQ(test::ReadFile(in), text);
  }
  fs::remove(in);
}

}  // namespace
}  // namespace polydec::cli_test
