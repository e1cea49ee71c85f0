// The special functions of the window run headless: "Calc SC Tensor" into the stiffness table,
// the twin table, and the slip-system runs with their files, progress and cancel.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "core/text_fields.h"
#include "core/voigt.h"
#include "support/file_helpers.h"
#include "support/stiffness.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;
using core::Real;

Real Value(const std::string& text) { return core::ParseNumber(core::GetWord(text, 1)).value; }

int CountLines(const std::string& text) {
  int n = 0;
  for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
  return n;
}

// A program folder of its own, which is also the current folder the runs write into.
class SpecialPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_special_page_");
    previous_ = fs::current_path();
    fs::current_path(dir_);
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    services_.messages.clear();
    m_->InitRotationGrid(test::Cubic(237, 141, 116), 1);
  }
  void TearDown() override {
    m_.reset();
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  Form& form() { return m_->form; }
  Grid& rot() { return form().GridOf("RotationGrid"); }
  Grid& twins() { return form().GridOf("TwinFractionGrid"); }
  Real Rot(int I, int J, int r0) { return Value(rot().Cell(J, r0 + I - 1)); }

  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
  fs::path dir_, previous_;
};

TEST_F(SpecialPageTest, SCTensorOfTheDefaultFrameAndOfA45DegreeTurn) {
  ASSERT_TRUE(m_->Run("CalcSCTensorBtnClick"));
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) EXPECT_NEAR(Rot(I, J, 8), Rot(I, J, 1), 1e-9) << I << J;
  EXPECT_EQ(m_->CurrentContext.SYMMETRY, 10);
  EXPECT_EQ(form().ItemIndex("SampleSymmetry"), 4);
  EXPECT_FALSE(rot().Cell(1, 14).empty());  // engineering constants follow

  form().SetText("xhkl", "1 1 0");
  ASSERT_TRUE(m_->Run("CalcSCTensorBtnClick"));
  EXPECT_NEAR(Rot(1, 1, 8), (237 + 141 + 2 * 116) / 2.0, 0.05);  // one decimal in the table
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(SpecialPageTest, SCTensorRefusesBadInputAndLeavesTheTable) {
  struct Case {
    const char *box, *text, *says;
  };
  for (const Case& c :
       {Case{"xhkl", "1 x 0", "<uvw> || x-axis"}, Case{"cphi", "", "rotation about z-axis"},
        Case{"zhkl", "1 1 1", "perpendicular"}}) {
    m_->InitRotationGrid(core::CijklVector{}, 8);
    const std::string before = rot().Cell(1, 8);
    services_.messages.clear();
    form().SetText("cphi", "0");
    form().SetText("xhkl", "1 0 0");
    form().SetText("zhkl", "0 0 1");
    form().SetText(c.box, c.text);
    m_->Run("CalcSCTensorBtnClick");
    ASSERT_EQ(services_.messages.size(), 1u) << c.box;
    EXPECT_NE(services_.messages[0].text.find(c.says), std::string::npos)
        << services_.messages[0].text;
    EXPECT_EQ(rot().Cell(1, 8), before);
  }
  rot().SetCell(3, 2, "abc");
  services_.messages.clear();
  m_->Run("CalcSCTensorBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("C23"), std::string::npos);
}

TEST_F(SpecialPageTest, TwinTableWithoutODFShowsTheAnglesAndAsksForAnODF) {
  twins().SetCell(1, 3, "0 0, 1 0 1");
  twins().SetCell(2, 3, "0 0 1, 1 0 0");  // habit plane normal along z: no turn of z
  twins().SetCell(3, 3, "0 355 70 90");
  twins().SetCell(1, 4, "0 0, 0 0 2");
  twins().SetCell(2, 4, "1 0 1, 1 0 q");
  twins().SetCell(3, 4, "0 355 70 90");
  ASSERT_TRUE(m_->Run("CalcTwinFracBtnClick"));
  for (int r = 1; r <= 3; ++r) {
    EXPECT_FALSE(twins().Cell(4, r).empty()) << r;
    EXPECT_EQ(twins().Cell(5, r), "") << r;
    EXPECT_EQ(twins().Cell(6, r), "") << r;
  }
  EXPECT_EQ(Value(twins().Cell(4, 3)), 0);
  EXPECT_EQ(twins().Cell(4, 4), "");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("row 4, column 2"), std::string::npos)
      << services_.messages[0].text;
}

TEST_F(SpecialPageTest, TwinTableEndsAtTheFirstEmptyRowAndSaysThatAnODFIsNeeded) {
  ASSERT_TRUE(m_->Run("CalcTwinFracBtnClick"));
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("need an ODF"), std::string::npos);
  EXPECT_EQ(twins().Cell(4, 3), "");
}

TEST_F(SpecialPageTest, GrainElongationWritesEveryOrientation) {
  ASSERT_TRUE(m_->Run("Button5Click"));
  const std::string text = test::ReadFile(dir_ / "Grainelong111011.dat");
  EXPECT_EQ(CountLines(text), 19 * 19 * 19);
  EXPECT_NE(form().statusPanels[0].find("6859 orientations written"), std::string::npos);
  EXPECT_GT(services_.repaints, 0);
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(SpecialPageTest, SchmidFactorsOfTheSelfConsistentModels) {
  ASSERT_TRUE(m_->Run("SchmidtFactorBtnClick"));
  const std::string text = test::ReadFile(dir_ / "SF_BCC111011_biax_ellip_3_1_1.dat");
  EXPECT_EQ(CountLines(text), 10 * 12 * 10);
  const std::string first = text.substr(0, text.find("\r\n"));
  EXPECT_EQ(core::GetTabField(first, 5), "3");  // cube orientation: system 3 leads
  EXPECT_EQ(core::GetTabField(first, 7), "3");
}

TEST_F(SpecialPageTest, ACancelledTaylorRunLeavesAPartialFileOnly) {
  services_.cancelAfter = 0;
  ASSERT_TRUE(m_->Run("TaylorFactorBtnClick"));
  EXPECT_FALSE(fs::exists(dir_ / "TaylorBCCsig11_111011.dat"));
  EXPECT_TRUE(fs::exists(dir_ / "TaylorBCCsig11_111011.dat.partial"));
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("stopped after"), std::string::npos);
}

}  // namespace
}  // namespace polydec::workbench
