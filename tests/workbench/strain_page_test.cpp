// "Calc Strain" and "Load Fij" of the "DEC/Stress/Strain" page, run headless: what the handlers
// add to the engine (boxes, context, status bar, dialogs, messages).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "core/text_fields.h"
#include "stress/sff_file.h"
#include "stress/strain_calculation.h"
#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;

class StrainPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_strain_page_");
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    services_.messages.clear();
    services_.dialogs.clear();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Form& form() { return m_->form; }
  Grid& sheet() { return form().GridOf("StrainGrid"); }
  std::string Cell(const std::string& col, int row) {
    return sheet().Cell(sheet().ColumnOf(col), row);
  }
  void Set(const std::string& col, int row, const std::string& text) {
    sheet().SetCell(sheet().ColumnOf(col), row, text);
  }
  void UseS1Layout() {
    form().SetChecked("UseFij", false);
    m_->Run("UseFijClick");
  }

  fs::path dir_;
  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
};

TEST_F(StrainPageTest, CalcStrainWritesDCalcAndLeavesTheRowInTheContext) {
  UseS1Layout();
  Set("#", 1, "1");
  Set("phi", 1, "90");
  Set("psi", 1, "45");
  sheet().SetCell(7, 1, "1.17");
  Set("S1", 1, "-1.25");
  Set("\xC2\xBDS2", 1, "5.8");
  Set("##", 1, "1");
  Set("sig_yy", 1, "100");
  m_->Run("StrainBtnClick");
  EXPECT_TRUE(services_.messages.empty());
  // eps = (s1 + 1/2 s2 sin^2 psi) sig_yy = (-1.25 + 2.9) 100 = 165e-6
  EXPECT_EQ(Cell("d_calc", 1), "1.170193");
  EXPECT_EQ(m_->CurrentContext.s1, -1.25L);
  EXPECT_EQ(m_->CurrentContext.s2, 5.8L);
  EXPECT_NEAR(m_->CurrentContext.SamplePolAngles.phi, core::kPi / 2, 1e-15);
  EXPECT_EQ(form().statusPanels[1], "");

  sheet().SetCell(7, 1, "none");
  m_->Run("StrainBtnClick");
  ASSERT_EQ(services_.Texts(), std::vector<std::string>{stress::kNoD0Message});
}

TEST_F(StrainPageTest, CalcStressShowsEachAzimuthInTheMemo) {
  UseS1Layout();
  // sig_xx = 200 MPa with s1 = -1.25, 1/2 s2 = 5.8 per TPa; d0 = 1.
  int r = 0;
  for (const char* phi : {"0", "90"})
    for (const char* psi : {"-45", "0", "30", "45"}) {
      ++r;
      const core::Real p = core::ParseNumber(phi).value * core::kPi / 180;
      const core::Real t = core::ParseNumber(psi).value * core::kPi / 180;
      const core::Real n1 = std::cos(p) * std::sin(t);
      const core::Real eps = (-1.25L + 5.8L * n1 * n1) * 200e-6L;
      Set("#", r, "1");
      Set("phi", r, phi);
      Set("psi", r, psi);
      Set("d", r, core::FormatPadded(1 + eps, 1, 8));
      sheet().SetCell(6, r, "0.00001");
      sheet().SetCell(7, r, "1");
      sheet().SetCell(8, r, "0.00005");
      Set("S1", r, "-1.25");
      Set("\xC2\xBDS2", r, "5.8");
    }
  m_->Run("StressBtnClick");
  ASSERT_TRUE(services_.messages.empty()) << services_.messages.front().text;
  // The memo holds the uncertainty report of the data set first, then the azimuths.
  const std::vector<std::string>& all = form()["Memo1"].lines;
  ASSERT_GE(all.size(), 3u);
  const std::vector<std::string> memo(all.end() - 3, all.end());
  EXPECT_NE(memo[1].find("phi=0.00  n=4: sig_phi-sig_33=200.0"), std::string::npos) << memo[1];
  EXPECT_NE(memo[2].find("phi=90.00  n=4: sig_phi-sig_33="), std::string::npos) << memo[2];
  EXPECT_NE(memo[2].find("tau_phi="), std::string::npos) << memo[2];
}

TEST_F(StrainPageTest, LoadFijSwitchesToTheFijLayoutAndLoads) {
  const fs::path file = dir_ / "two.sff";
  test::WriteFile(file,
                  "odfs a.odf\nlevels 1\nouter 1\ninner 2\nlabels L\nheadings\n"
                  "0 10 -1 0.4 0.4 0 0 0 0\n0 20 -1.1 0.4 0.4 0 0 0 0\n");
  UseS1Layout();
  form().SetText("czhkl", "1 1 0");
  form().SetText("GrainshapeEdit", "1 1 2");

  // Cancel at the question: nothing happens.
  m_->Run("LoadFijClick");
  EXPECT_TRUE(services_.dialogs.empty());
  EXPECT_FALSE(form().Checked("UseFij"));

  services_.answers.push_back(Answer::kOk);
  services_.files.push_back(file.string());
  m_->Run("LoadFijClick");
  EXPECT_TRUE(form().Checked("UseFij"));
  ASSERT_EQ(services_.dialogs.size(), 1u);
  EXPECT_EQ(services_.dialogs[0].dialog.title, "Load a Stress Factor File.");
  EXPECT_EQ(form().openDialog.title, "");
  EXPECT_EQ(sheet().rows, 4);
  EXPECT_EQ(Cell("h k l", 2), "1 1 0 " + std::to_string(m_->FCode()) + " 1 1 2 a.odf");
  EXPECT_EQ(Cell("F11", 2), "-1.1");
  EXPECT_EQ(form().statusPanels[0], "Stress Factors loaded: " + file.string());

  // A bad count: the warning, and no "loaded" in the status bar.
  test::WriteFile(file, "odfs a\nlevels two\nouter 1\ninner 1\nlabels L\nheadings\n");
  form().statusPanels[0] = "";
  services_.messages.clear();
  services_.answers.push_back(Answer::kOk);
  services_.files.push_back(file.string());
  m_->Run("LoadFijClick");
  ASSERT_EQ(services_.messages.size(), 2u);
  EXPECT_EQ(services_.messages[1].kind, MessageKind::kWarning);
  EXPECT_NE(services_.messages[1].text.find(stress::kSffCountMessage), std::string::npos);
  EXPECT_EQ(form().statusPanels[0], "");
  EXPECT_EQ(sheet().rows, 4);
}

}  // namespace
}  // namespace polydec::workbench
