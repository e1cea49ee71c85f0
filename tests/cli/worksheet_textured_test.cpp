// A textured "Calc DEC" run through `polydec worksheet --odf` and through the headless window
// gives the same stress factors and fibre intensities, and the ODF changes them; an ODF of zeros
// is refused.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "core/text_fields.h"
#include "support/file_helpers.h"
#include "texture/odf_fixtures.h"
#include "workbench/main_form.h"

namespace polydec::cli_test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

constexpr int kColumns = 34;
const char* const kFactors[] = {"F11", "F22", "F33", "F23", "F13", "F12"};

// A worksheet file: the flags line, the header (its first cell blank), one line per row with
// every cell closed by a TAB, and a final line of blank cells.
std::string WorksheetText() {
  const char* header[] = {"#",      "h k l",  "phi",     "psi",    "d",      "+/-",    "d0",
                          "+/-",    "F11",    "F22",     "F33",    "F23",    "F13",    "F12",
                          "eps0",   "I(ODF)", "d_calc",  "##",     "sig_xx", "+/-",    "sig_yy",
                          "+/-",    "sig_zz", "+/-",     "sig_yz", "+/-",    "sig_xz", "+/-",
                          "sig_xy", "+/-",    "d0_calc", "+/-",    "chisq"};
  struct Row {
    const char *hkl, *phi, *psi;
  };
  // Two reflections, azimuths where the orthorhombic texture differs, tilts up to 60 degrees.
  const Row rows[] = {{"2 1 1", "0", "0"},     {"2 1 1", "0", "33.21"}, {"2 1 1", "90", "45"},
                      {"1 1 0", "0", "18.43"}, {"1 1 0", "30", "60"},   {"3 1 0", "90", "26.57"}};
  std::string text = "0 0 1 1 1 1 0 0 \r\n \t";
  for (const char* h : header) text += std::string(h) + "\t";
  text += "\r\n";
  int n = 0;
  for (const Row& r : rows) {
    ++n;
    text += std::to_string(n) + "\t1\t" + r.hkl + "\t" + r.phi + "\t" + r.psi +
            "\t1.17\t0.00002\t1.17004\t0.00005\t";
    for (int c = 9; c < kColumns; ++c) text += " \t";
    text += "\r\n";
  }
  for (int c = 0; c < kColumns; ++c) text += " \t";
  return text + "\r\n";
}

class WorksheetTexturedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.File("").empty());
    fs::create_directories(folder_.File("program"));
    fs::copy_file(POLYDEC_SOURCE_DIR "/data/pfcryst.dat", folder_.File("program/pfcryst.dat"));
    sheet_ = folder_.Write("rows.tsd", WorksheetText());
    odf_ = folder_.Write(
        "orth.txt", texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\r\n"));
  }

  // The same steps on the headless window: load the worksheet, load the ODF as an MTEX file and
  // use it (or not), "Calc DEC".
  std::unique_ptr<workbench::MainForm> FormRun(bool withOdf) {
    auto m = std::make_unique<workbench::MainForm>(services_, folder_.File("program"));
    m->form.activePage = "TabSheet3";
    m->PageControl1Change();
    services_.files.push_back(sheet_);
    m->Run("LoadGridDataBtnClick");
    if (withOdf) {
      services_.files.push_back(odf_);
      m->Run("LoadBtnClick");
      m->form.SetChecked("UseODFBtn", true);
      m->Run("UseODFBtnClick");
    }
    m->Run("FijBtnClick");
    return m;
  }

  texture_test::TempFolder folder_;
  std::string sheet_, odf_;
  workbench::HeadlessServices services_;
};

// The JSON numbers are the cell texts read as numbers and rounded to double, so the window's
// cells, read the same way, must give them exactly.
TEST_F(WorksheetTexturedTest, CommandLineAndWindowGiveTheSameTexturedStressFactors) {
  const CliRun run = RunPolydec(
      {"worksheet", sheet_, "--odf", odf_, "--odf-format", "mtex", "--calc-dec", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  const auto& rows = json["rows"];
  ASSERT_EQ(rows.size(), 6u);

  const auto textured = FormRun(true);
  ASSERT_TRUE(textured->CurrentContext.UseODF);
  const auto plain = FormRun(false);
  const workbench::Grid& g = textured->form.GridOf("StrainGrid");
  const workbench::Grid& p = plain->form.GridOf("StrainGrid");
  const auto number = [](const std::string& cell) {
    const core::ParsedNumber x = core::ParseNumber(core::GetWord(cell, 1));
    EXPECT_TRUE(x.ok()) << "\"" << cell << "\"";
    return x.value;
  };

  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int r = static_cast<int>(k) + 1;
    SCOPED_TRACE("row " + std::to_string(r));
    ASSERT_EQ(rows[k]["row"], r);
    bool differs = false;
    for (const char* name : kFactors) {
      const int c = textured->GetStringGridColNum(name);
      ASSERT_FALSE(rows[k]["F"][name].is_null()) << name;
      // The cell holds six decimals; the JSON the full number.
      EXPECT_NEAR(static_cast<double>(number(g.Cell(c, r))), rows[k]["F"][name].get<double>(),
                  5.001e-7)
          << name;
      differs |= number(g.Cell(c, r)) != number(p.Cell(c, r));
    }
    EXPECT_TRUE(differs) << "the ODF left every stress factor of the row unchanged";
    const int cI = textured->GetStringGridColNum("I(ODF)");
    ASSERT_FALSE(rows[k]["I_ODF"].is_null());
    EXPECT_NEAR(static_cast<double>(number(g.Cell(cI, r))), rows[k]["I_ODF"].get<double>(),
                0.005001);
    // Without an ODF the fibre intensity is that of a random texture.
    EXPECT_EQ(number(p.Cell(cI, r)), 1);
  }
}

// An ODF of zeros describes no texture: every command that takes one refuses it, leaves the
// worksheet as it was, and the window does not switch it on.
TEST_F(WorksheetTexturedTest, AnOdfOfZerosIsRefusedEverywhere) {
  const std::string zero = folder_.Write(
      "zero.txt",
      texture_test::MtexText([](core::Real, core::Real, core::Real) { return core::Real{0}; }, 90,
                             90, 90, "\r\n"));
  const std::string message = "every value of the ODF is 0";
  const std::string before = test::ReadFile(sheet_);
  const std::vector<std::vector<std::string>> commands = {
      {"worksheet", sheet_, "--odf", zero, "--calc-dec", "--calc-stress", "-o", sheet_},
      {"cij", "--model", "voigt", "--odf", zero},
      {"polefigure", zero, "--hkl", "1 1 0"},
      {"fibre", zero, "--hkl", "1 1 0"},
      {"odf", "info", zero},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0]);
    const CliRun run = RunPolydec(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr(zero));
    EXPECT_THAT(run.err, HasSubstr(message));
  }
  EXPECT_EQ(test::ReadFile(sheet_), before);

  auto m = std::make_unique<workbench::MainForm>(services_, folder_.File("program"));
  m->form.activePage = "TabSheet3";
  m->PageControl1Change();
  services_.files.push_back(zero);
  m->Run("LoadBtnClick");
  EXPECT_FALSE(m->CurrentContext.UseODF);
  EXPECT_THAT(services_.Texts(), Contains(HasSubstr(message)));
}

}  // namespace
}  // namespace polydec::cli_test
