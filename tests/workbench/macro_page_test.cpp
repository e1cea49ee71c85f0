// The macroscopic elastic constants commands run headless: "Calculate Macro - Constants" and
// "Make Cij isotropic" for untextured aggregates, "Calc Cij (ODF)" over grains and Euler space
// with its self-consistent question loop, and the clicks into the multiphase grid.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;
using core::Real;

Real Value(const std::string& text) {
  return core::ParseNumber(core::GetWord(text, 1)).value;
}

// A program folder of its own for every test, with the shipped database and the smallest
// random orientation set.
class MacroPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_macro_page_", {"random228.wts"});
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    services_.messages.clear();
  }
  void TearDown() override {
    m_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  Form& form() { return m_->form; }
  Grid& rot() { return form().GridOf("RotationGrid"); }
  // Entry C_IJ of the block of RotationGrid that starts at row r0.
  Real Rot(int I, int J, int r0) { return Value(rot().Cell(J, r0 + I - 1)); }
  std::vector<std::string> Block(int r0) {
    std::vector<std::string> cells;
    for (int r = r0; r < r0 + 6; ++r)
      for (int c = 1; c <= 6; ++c) cells.push_back(rot().Cell(c, r));
    return cells;
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  std::vector<std::string> Questions() const {
    std::vector<std::string> q;
    for (const auto& s : services_.messages)
      if (s.kind == MessageKind::kConfirmation) q.push_back(s.text);
    return q;
  }
  std::vector<std::string> Informations() const {
    std::vector<std::string> q;
    for (const auto& s : services_.messages)
      if (s.kind == MessageKind::kInformation) q.push_back(s.text);
    return q;
  }

  fs::path dir_;
  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
};

TEST_F(MacroPageTest, RegistersItsCommands) {
  for (const char* name : {"CalcMaConstBtnClick", "CalcMaConstButtonClick", "IsoTensorClick",
                           "MultiphaseGridMouseDown"})
    EXPECT_TRUE(m_->HasCommand(name)) << name;
}

TEST_F(MacroPageTest, MacroConstantsOfTheModelTheButtonsSelect) {
  // Iron, C11 237, C12 141, C44 116 GPa: K = 173 GPa for every model; G by Voigt
  // (C11 - C12 + 3 C44)/5, by Reuss 5 (C11 - C12) C44 / (4 C44 + 3 (C11 - C12)), by Hill their
  // mean, self-consistently 82.07467 GPa (Hershey 1954).
  struct Case {
    const char* button;
    const char* shear;
  };
  const Case cases[] = {{"VoigtBttn", " 88.80000"},  {"MVoigtBtn", " 88.80000"},
                        {"ReussBtn", " 74.04255"},   {"HillBtn", " 81.42128"},
                        {"KroenerBtn", " 82.07467"}, {"InvKroener", " 82.07467"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    form().SetChecked(c.button, true);
    ASSERT_TRUE(m_->Run("CalcMaConstButtonClick"));
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_EQ(form().Text("ShearEdit"), c.shear);
    EXPECT_EQ(form().Text("BulkEdit"), "173.00000");
    const Real K = 173, G = Value(c.shear);
    EXPECT_NEAR(Value(form().Text("YoungEdit")), 9 * K * G / (3 * K + G), 1e-4);
    EXPECT_NEAR(Value(form().Text("PoissonEdit")), (3 * K - 2 * G) / (2 * (3 * K + G)), 1e-5);
    EXPECT_EQ(form().Text("PoissonEdit").size(), 8u);
    EXPECT_EQ(m_->CurrentContext.SYMMETRY, 0);
    EXPECT_NEAR(m_->CurrentContext.L(1, 2, 1, 2), G, 1e-5);
  }
}

TEST_F(MacroPageTest, IsotropicCrystalShowsItsOwnConstants) {
  const std::pair<const char*, const char*> boxes[] = {
      {"C11Edit", "200"}, {"C22Edit", "200"}, {"C33Edit", "200"},
      {"C12Edit", "100"}, {"C13Edit", "100"}, {"C23Edit", "100"},
      {"C44Edit", "50"},  {"C55Edit", "50"},  {"C66Edit", "50"}};
  for (const auto& [box, text] : boxes) form().SetText(box, text);
  m_->Run("CalcMaConstButtonClick");
  EXPECT_EQ(form().Text("BulkEdit"), "133.33333");
  EXPECT_EQ(form().Text("ShearEdit"), " 50.00000");
  EXPECT_EQ(form().Text("YoungEdit"), "133.33333");
  EXPECT_EQ(form().Text("PoissonEdit"), "0.333333");
}

TEST_F(MacroPageTest, BadConstantEndsTheCommandWithOneMessage) {
  const std::string shear = form().Text("ShearEdit");
  form().SetText("C12Edit", "1x1");
  m_->Run("CalcMaConstButtonClick");
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{"Not a valid input for C12 !"});
  EXPECT_EQ(form().Text("ShearEdit"), shear);
}

TEST_F(MacroPageTest, MakeCijIsotropicKeepsTheCrystalRows) {
  const std::vector<std::string> crystal = Block(1);
  ASSERT_TRUE(m_->Run("IsoTensorClick"));
  EXPECT_EQ(Block(1), crystal);
  // The self-consistent aggregate of iron: C11 = K + 4G/3, C12 = K - 2G/3, C44 = G.
  EXPECT_EQ(rot().Cell(1, 8), " 282.4");
  EXPECT_EQ(rot().Cell(2, 8), " 118.3");
  EXPECT_EQ(rot().Cell(3, 9), " 118.3");
  EXPECT_EQ(rot().Cell(6, 13), "  82.1");
  EXPECT_EQ(rot().Cell(5, 8), "   0.0");
  EXPECT_EQ(rot().Cell(1, 14), rot().Cell(3, 14));
  // Young's modulus 212.60 GPa, computed from the grid's one-decimal rows.
  EXPECT_NEAR(Value(rot().Cell(1, 14)), 212.60, 0.1);
  EXPECT_EQ(rot().Cell(1, 16), rot().Cell(3, 17));
  EXPECT_EQ(m_->CurrentContext.a[1], m_->CurrentContext.L(1, 1, 1, 1));
}

TEST_F(MacroPageTest, VoigtOverTheRandomGrainSetIsNearlyIsotropic) {
  form().SetChecked("VoigtBttn", true);
  form().SetChecked("MaConstUseGrains", true);
  ASSERT_TRUE(m_->Run("CalcMaConstBtnClick"));
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(form().statusPanels[0], " ");
  // Voigt aggregate of iron: C11 = 291.4, C12 = 113.8, C44 = 88.8 GPa; 228 random grains
  // scatter by about 2 GPa, and the isotropic sample class averages the diagonal.
  EXPECT_NEAR(Rot(1, 1, 8), 291.4, 3);
  EXPECT_NEAR(Rot(1, 2, 8), 113.8, 3);
  EXPECT_NEAR(Rot(6, 6, 8), (Rot(1, 1, 8) - Rot(1, 2, 8)) / 2, 0.1);
  EXPECT_EQ(rot().Cell(1, 8), rot().Cell(3, 10));
  EXPECT_EQ(Rot(1, 4, 8), 0);
  EXPECT_NEAR(m_->CurrentContext.L(1, 1, 1, 1), Rot(1, 1, 8), 0.05);
}

TEST_F(MacroPageTest, GrainFilesThatGiveNothingLeaveTheMatrix) {
  form().SetChecked("VoigtBttn", true);
  form().SetChecked("MaConstUseGrains", true);
  const std::vector<std::string> matrix = Block(8);
  struct Case {
    const char* name;
    bool readWts;
    std::optional<std::string> file;  // for the file dialog; nullopt cancels
    bool removeRandomSet;
    bool message;
  };
  const std::string zero =
      WriteFile("zero.wts", "a\r\nb\r\nc\r\nphi1 PHI phi2 weight\r\n10 20 30 0\r\n");
  const std::string broken =
      WriteFile("broken.wts", "a\r\nb\r\nc\r\nphi1 PHI phi2 weight\r\n10 x 30 1\r\n");
  const Case cases[] = {
      {"random set missing", false, std::nullopt, true, true},
      {"dialog cancelled", true, std::nullopt, false, false},
      {"unreadable grains file", true, broken, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    services_.messages.clear();
    form().SetChecked("ReadWtsBox", c.readWts);
    services_.files = {c.file};
    if (c.removeRandomSet) fs::remove(dir_ / "random228.wts");
    m_->Run("CalcMaConstBtnClick");
    EXPECT_EQ(form().statusPanels[0], "Error reading WTS file.");
    EXPECT_EQ(services_.messages.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_NE(services_.messages[0].text.find(".wts"), std::string::npos);
    }
    EXPECT_EQ(Block(8), matrix);
  }
  // A grain set whose weights add up to nothing cannot be averaged.
  services_.messages.clear();
  form().SetChecked("ReadWtsBox", true);
  services_.files = {zero};
  m_->Run("CalcMaConstBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("no weight"), std::string::npos);
  EXPECT_EQ(Block(8), matrix);
}

TEST_F(MacroPageTest, OneGrainFileGivesTheCrystalInAnOrthorhombicSample) {
  form().SetChecked("HillBtn", true);
  form().SetChecked("MaConstUseGrains", true);
  form().SetChecked("ReadWtsBox", true);
  form().SetItemIndex("SampleSymmetry", 2);
  services_.files = {WriteFile("one.wts", "a\r\nb\r\nc\r\nphi1 PHI phi2 weight\r\n0 0 0 1\r\n")};
  m_->Run("CalcMaConstBtnClick");
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(services_.dialogs.at(0).dialog.title,
            "Read a popla style wts file using BUNGE angles.");
  EXPECT_EQ(Block(8), Block(1));
}

TEST_F(MacroPageTest, SelfConsistentRoundsAskUntilNo) {
  // Uniform texture (no ODF), residual integrated with N = 6: the self-consistent matrix of
  // iron to about 0.01 GPa in G and 0.1 GPa in K.
  form().SetText("ODFIntegIntervals", "12");
  services_.answers = {Answer::kYes, Answer::kYes, Answer::kYes,
                       Answer::kYes, Answer::kYes, Answer::kNo};
  ASSERT_TRUE(m_->Run("CalcMaConstBtnClick"));
  const std::vector<std::string> q = Questions();
  ASSERT_EQ(q.size(), 6u);
  for (const std::string& text : q) {
    EXPECT_EQ(text.rfind("Chisq=", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 11), ". Continue?") << text;
  }
  EXPECT_EQ(q.back(), "Chisq=0.00. Continue?");
  EXPECT_TRUE(Informations().empty());
  EXPECT_NEAR(Rot(6, 6, 8), 82.07, 0.06);
  EXPECT_NEAR((Rot(1, 1, 8) + 2 * Rot(1, 2, 8)) / 3, 173, 0.2);
  EXPECT_EQ(form().statusPanels[0], " ");

  // Started again from the grid, which holds the result to one decimal, the first step is small.
  services_.messages.clear();
  services_.answers = {Answer::kNo};
  m_->Run("CalcMaConstBtnClick");
  ASSERT_EQ(Questions().size(), 1u);
  const std::string chisq = Questions()[0].substr(6, Questions()[0].find(". Continue?") - 6);
  EXPECT_TRUE(core::ParseNumber(chisq).ok()) << chisq;
  EXPECT_LT(Value(chisq), 0.5);
}

// A round of the self-consistent stiffness integrates Euler space (unknowns + 1) times per
// Newton trial: Escape stops it at the next integration, and the grid keeps the matrix the
// rounds began with. The box's "auto" takes the count that converges for the sample symmetry
// and the model (the residual integrates with half of it).
TEST_F(MacroPageTest, EscapeStopsARoundAndAutoIntervalsFollowTheSample) {
  const struct {
    int sampleIndex;  // of the "SampleSymmetry" box
    int intervals;
  } cases[] = {{2, 24}, {4, 48}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.intervals);
    services_.messages.clear();
    services_.cancelQueries = 0;
    services_.cancelAfter = 0;  // before the first integration
    form().SetText("ODFIntegIntervals", "auto");
    form().SetItemIndex("SampleSymmetry", c.sampleIndex);
    const std::vector<std::string> before = Block(8);
    ASSERT_TRUE(m_->Run("CalcMaConstBtnClick"));
    EXPECT_EQ(m_->CurrentContext.IIntervls, c.intervals);
    EXPECT_TRUE(Questions().empty());
    EXPECT_EQ(Informations(), std::vector<std::string>{
                                  "Stopped (Escape) in round 1. The matrix stiffness is left "
                                  "unchanged."});
    EXPECT_EQ(Block(8), before);
    EXPECT_EQ(services_.cancelQueries, 1);
  }
}

TEST_F(MacroPageTest, AMatrixThatIsNoStiffnessIsRefusedAndKept) {
  // A matrix of zeros is no stiffness: it is refused before the iteration starts.
  for (int c = 1; c <= 6; ++c)
    for (int r = 8; r <= 13; ++r) rot().SetCell(c, r, "0");
  const std::vector<std::string> matrix = Block(8);
  services_.answers = {Answer::kYes};
  m_->Run("CalcMaConstBtnClick");
  EXPECT_TRUE(Questions().empty());
  ASSERT_EQ(Informations().size(), 1u);
  EXPECT_NE(Informations()[0].find("the matrix constants of the stiffness grid: the stiffness "
                                    "is not positive definite"),
            std::string::npos)
      << Informations()[0];
  for (int k = 0; k < 36; ++k) EXPECT_EQ(Value(Block(8)[k]), Value(matrix[k]));
  EXPECT_EQ(form().statusPanels[0], " ");  // not "Initializing Eshelby tensors..."
}

TEST_F(MacroPageTest, MultiphaseGridClicks) {
  Grid& g = form().GridOf("MultiphaseGrid");
  // Column 0: the material box moves over the cell and its name goes in.
  g.Select(0, 2);
  m_->Run("MultiphaseGridMouseDown");
  EXPECT_EQ(form()["CompoundNameBox"].parent, "MultiPhaseBox");
  EXPECT_EQ(g.Cell(0, 2), form().Text("CompoundNameBox"));

  // Column 1 of row 2 waits for the volume fraction of row 1.
  g.Select(1, 2);
  m_->Run("MultiphaseGridMouseDown");
  EXPECT_TRUE(services_.dialogs.empty());

  // Row 1: the ODF is loaded and its file name shown; a cancelled load changes nothing.
  form().statusPanels[0] = "before";
  g.Select(1, 1);
  services_.files = {std::nullopt};
  m_->Run("MultiphaseGridMouseDown");
  EXPECT_EQ(services_.dialogs.size(), 1u);
  EXPECT_EQ(g.Cell(1, 1), "Load ODF ... ");
  EXPECT_EQ(form().statusPanels[0], "before");

  std::ostringstream odf;
  odf << "phi1 Phi phi2 value\r\n";
  for (int a = 0; a <= 90; a += 5)
    for (int b = 0; b <= 90; b += 5)
      for (int c = 0; c <= 90; c += 5)
        odf << a << " " << b << " " << c << " " << 1 + 0.001 * (a * 400 + b * 20 + c) / 5 << "\r\n";
  const std::string file = WriteFile("texture.odf", odf.str());
  services_.files = {file};
  m_->Run("MultiphaseGridMouseDown");
  EXPECT_EQ(g.Cell(1, 1), "texture.odf");
}

}  // namespace
}  // namespace polydec::workbench
