// The main window's handlers run headless: start-up and settings, the constant boxes and their
// symmetry classes, the material database commands, the "Isotropic" page's DEC and the
// engineering constants of the stiffness grid.
#include "workbench/main_form.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "core/voigt.h"
#include "crystal/symmetry_classes.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"
#include "support/file_helpers.h"

namespace polydec::workbench {
namespace {

using test::ReadFile;
using test::WriteFile;

namespace fs = std::filesystem;
using core::Real;
using core::FormatPadded;

std::string Box(int I, int J) { return "C" + std::to_string(I) + std::to_string(J) + "Edit"; }

// A program folder of its own for every test, holding a copy of the shipped database.
class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_main_form_");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::unique_ptr<MainForm> Make(std::vector<std::string> args = {}) {
    services_.messages.clear();
    return std::make_unique<MainForm>(services_, dir_.string(), std::move(args));
  }

  fs::path db() const { return dir_ / "pfcryst.dat"; }
  fs::path ini() const { return dir_ / "polydec.ini"; }

  fs::path dir_;
  HeadlessServices services_;
};

std::map<std::string, std::string> ConstantTexts(const Form& f) {
  std::map<std::string, std::string> texts;
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J) texts[Box(I, J)] = f.Text(Box(I, J));
  return texts;
}

// Value of a formatted box, for comparisons with a tolerance.
Real Value(const std::string& text) {
  return core::ParseNumber(core::GetWord(text, 1)).value;
}

TEST_F(MainFormTest, RegistersTheHandlersTheWindowNames) {
  auto m = Make();
  for (const char* name : {"CalcDECBtnClick",
                           "C11EditExit",
                           "C12EditExit",
                           "C13EditExit",
                           "C14EditExit",
                           "C15EditExit",
                           "C16EditExit",
                           "C44EditExit",
                           "CrystalSymmetryBoxClick",
                           "CompoundNameBoxClick",
                           "AddDBButtonClick",
                           "CijBulkClick",
                           "BulkToCijBtnClick",
                           "SampleSymmetryChange",
                           "UseODFBtnClick",
                           "IntegIntervalsExit",
                           "CartAxesBoxClick",
                           "ShowHiddenFunctionsClick",
                           "PageControl1Change",
                           "FormClose"})
    EXPECT_TRUE(m->HasCommand(name)) << name;
  // The controls that run these commands name them.
  for (const std::string& control : m->form.Names()) {
    const std::string& command = m->form[control].command;
    if (control.rfind("C", 0) == 0 && command.find("EditExit") != std::string::npos) {
      EXPECT_TRUE(m->HasCommand(command)) << control;
    }
  }
  EXPECT_FALSE(m->Run("NoSuchCommand"));
}

// Start-up without a settings file: the first material of the database, the cubic class, the
// isotropic matrix of its E and nu in rows 8..13 with its engineering constants.
TEST_F(MainFormTest, StartUpWithoutSettingsShowsTheFirstMaterial) {
  auto m = Make();
  const Form& f = m->form;
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(f.Text("CompoundNameBox"), "iron");
  EXPECT_EQ(f.ItemIndex("CompoundNameBox"), 0);
  ASSERT_EQ(f["CompoundNameBox"].items.size(), 10u);
  EXPECT_EQ(f["CompoundNameBox"].items[2], "copper");
  EXPECT_EQ(f.Text("CrystalSymmetryBox"), "cubic");
  EXPECT_EQ(f.Text("C11Edit"), " 237.0000");
  EXPECT_EQ(f.Text("C12Edit"), " 141.0000");
  EXPECT_EQ(f.Text("C14Edit"), "0");  // zero in the cubic class
  EXPECT_EQ(f.Text("YoungEdit"), "212.602971");
  EXPECT_EQ(f.Text("PoissonEdit"), "0.29518018");
  EXPECT_EQ(f.Text("aEdit"), "2.866");
  EXPECT_EQ(f.Text("gammaEdit"), "90");
  ASSERT_EQ(f["ReferenceMemo"].lines.size(), 3u);
  EXPECT_EQ(f["ReferenceMemo"].lines[0].substr(0, 11), " alpha-iron");

  const Grid& g = f.GridOf("RotationGrid");
  EXPECT_EQ(g.Cell(1, 1), " 237.0");
  EXPECT_EQ(g.Cell(4, 4), " 116.0");
  EXPECT_EQ(g.Cell(4, 1), "   0.0");
  const core::CijklVector iso = models::IsotropicStiffness(212.602971L, 0.29518018L);
  EXPECT_EQ(g.Cell(1, 8), FormatPadded(iso[1], 6, 1));
  EXPECT_EQ(g.Cell(2, 8), FormatPadded(iso[4], 6, 1));
  EXPECT_EQ(g.Cell(6, 13), FormatPadded(iso[7], 6, 1));
  // An isotropic stiffness has one Young's modulus and one Poisson's ratio. They are computed
  // from the grid's one-decimal texts, so E is 212.6 to about 0.05 GPa.
  EXPECT_NEAR(static_cast<double>(Value(g.Cell(1, 14))), 212.6, 0.1);
  for (int c = 1; c <= 3; ++c) {
    EXPECT_EQ(g.Cell(c, 14), g.Cell(1, 14)) << c;
    EXPECT_EQ(g.Cell(c, 16), "0.2952") << c;
    EXPECT_EQ(g.Cell(c, 17), "0.2952") << c;
  }
  EXPECT_EQ(g.Cell(0, 14), "E1,E2,E3");
  EXPECT_EQ(g.Cell(0, 17), "nu21,nu31,nu32");
  EXPECT_EQ(g.colWidths[0], 85);

  EXPECT_FALSE(f["Button2"].visible);
  EXPECT_FALSE(f["FitSCConstantsBtn"].visible);
  EXPECT_FALSE(f["VookWittBtn"].visible);
  EXPECT_FALSE(f["MultiPhaseBox"].visible);
  EXPECT_EQ(f["CompoundNameBox"].parent, "SECActions");
  EXPECT_EQ(m->CurrentContext.IIntervls, 25);
  EXPECT_EQ(m->CurrentContext.HKLODFNUMP, 144);
  EXPECT_EQ(f.openDialog.initialDir, "");
  EXPECT_EQ(f.GridOf("TwinFractionGrid").Cell(2, 1), "-1 0 2, 1 0 1");
  EXPECT_EQ(f.GridOf("MultiphaseGrid").Cell(0, 1), "Load material ... ");
}

TEST_F(MainFormTest, SettingsFileSelectsTheMaterialAndTheStartDirectory) {
  struct Case {
    std::string ini;
    std::string name;          // shown afterwards
    int index;                 // CompoundNameBox item index afterwards
    std::string c11;           // C11Edit afterwards
    bool startsInFolderOfIni;  // line 1 names an existing folder
  };
  const std::string folder = fs::temp_directory_path().string();
  const Case cases[] = {
      {folder + "\r\nCompoundNameBox 2\r\n", "copper", 2, " 168.4000", true},
      {"\r\nCompoundNameBox 6\n", "alpha-titanium", 6, " 162.4000", false},
      // Only line 1: one selection of item 0.
      {folder, "iron", 0, " 237.0000", true},
      {"/no/such/folder\r\n", "iron", 0, " 237.0000", false},
      // Every line after the first selects, the last one wins.
      {"\r\nCompoundNameBox 1\r\nCompoundNameBox 3\r\n", "aluminium", 3, " 107.3000", false},
      // An index that names no item: nothing selected, the first material stays.
      {"\r\nCompoundNameBox 99\r\n", "", -1, " 237.0000", false},
      {"\r\nCompoundNameBox x\r\n", "iron", 0, " 237.0000", false},
  };
  for (const Case& c : cases) {
    WriteFile(ini(), c.ini);
    auto m = Make();
    SCOPED_TRACE(c.ini);
    EXPECT_EQ(m->form.Text("CompoundNameBox"), c.name);
    EXPECT_EQ(m->form.ItemIndex("CompoundNameBox"), c.index);
    EXPECT_EQ(m->form.Text("C11Edit"), c.c11);
    EXPECT_EQ(m->form.openDialog.initialDir, c.startsInFolderOfIni ? folder : dir_.string());
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_EQ(m->form.statusPanels[0], "NO ODF loaded.");
  }
  // The hexagonal titanium opened its boxes by its class.
  WriteFile(ini(), "\r\nCompoundNameBox 6\r\n");
  auto m = Make();
  EXPECT_EQ(m->form.Text("CrystalSymmetryBox"), "hexagonal");
  EXPECT_TRUE(m->form["C33Edit"].enabled);
  EXPECT_EQ(m->form.Text("gammaEdit"), "120");
}

TEST_F(MainFormTest, SettingsFileThatIsAFolderDoesNotStopStartUp) {
  fs::create_directory(ini());
  auto m = Make();
  EXPECT_EQ(m->form.Text("CompoundNameBox"), "iron");
  EXPECT_TRUE(services_.messages.empty());
  m->FormClose();  // cannot replace a folder: no message, nothing lost
  EXPECT_TRUE(fs::is_directory(ini()));
  EXPECT_TRUE(services_.messages.empty());
}

TEST_F(MainFormTest, SettingsThatAreNoSettingsFileFallBackToTheDefaultsWithANote) {
  struct Case {
    std::string ini;
    std::string note;  // empty: read as settings
    std::string name;
  };
  std::string manyLines = "\r\n";
  for (int k = 0; k < 30000; ++k) manyLines += "1\n";
  manyLines += "2\r\n";
  const Case cases[] = {
      {std::string(70000, 'x'), "larger than", "iron"},
      {std::string("\r\nCompoundNameBox 2\0\r\n", 21), "no text file", "iron"},
      // Each line selects, the last one decides; the database is read for that one only.
      {manyLines, "", "copper"},
  };
  for (const Case& c : cases) {
    WriteFile(ini(), c.ini);
    auto m = Make();
    SCOPED_TRACE(c.note);
    EXPECT_EQ(m->form.Text("CompoundNameBox"), c.name);
    if (c.note.empty()) {
      EXPECT_EQ(m->form.statusPanels[1], "");
    } else {
      EXPECT_NE(m->form.statusPanels[1].find(c.note), std::string::npos)
          << m->form.statusPanels[1];
    }
    EXPECT_TRUE(services_.messages.empty());
  }
}

TEST_F(MainFormTest, WriteIniFileWritesTwoLinesThroughATemporaryFile) {
  auto m = Make();
  m->FormClose();
  EXPECT_EQ(ReadFile(ini()), "\r\nCompoundNameBox 0\r\n");

  auto n = Make();
  n->LastODFDirectory = "/data/odfs";
  n->form.SetItemIndex("CompoundNameBox", 4);
  n->writeIniFile();
  EXPECT_EQ(ReadFile(ini()), "/data/odfs\r\nCompoundNameBox 4\r\n");
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_TRUE(entry.path().filename() == "pfcryst.dat" ||
                entry.path().filename() == "polydec.ini")
        << entry.path();

  // No item selected is written as -1; a folder that is gone is no error.
  n->form.SetItemIndex("CompoundNameBox", -1);
  n->writeIniFile();
  EXPECT_EQ(ReadFile(ini()), "/data/odfs\r\nCompoundNameBox -1\r\n");
  n->programDir = (dir_ / "gone").string();
  n->writeIniFile();
  EXPECT_TRUE(services_.messages.empty());
}

// The folder of the ODFs, remembered in the settings, survives a start that loads no ODF: it is
// read back, offered by the ODF dialog and written again on close.
TEST_F(MainFormTest, TheRememberedFolderIsReadBackAndKept) {
  const fs::path odfs = dir_ / "odfs";
  fs::create_directories(odfs);
  WriteFile(ini(), odfs.string() + "\r\nCompoundNameBox 0\r\n");
  auto m = Make();
  EXPECT_EQ(m->LastODFDirectory, odfs.string());
  m->FormClose();
  EXPECT_EQ(ReadFile(ini()), odfs.string() + "\r\nCompoundNameBox 0\r\n");

  auto n = Make();
  services_.files.push_back(std::nullopt);  // the ODF dialog is cancelled
  n->LoadBtnClick();
  ASSERT_FALSE(services_.dialogs.empty());
  EXPECT_EQ(services_.dialogs.back().dialog.initialDir, odfs.string());
}

TEST_F(MainFormTest, AccessWordShowsTheFittingButtons) {
  struct Case {
    std::vector<std::string> args;
    bool shown;
  };
  for (const Case& c :
       {Case{{"Qyxo"}, true}, Case{{"qyxo"}, false}, Case{{}, false}, Case{{"x", "Qyxo"}, false}}) {
    auto m = Make(c.args);
    EXPECT_EQ(m->form["Button2"].visible, c.shown);
    EXPECT_EQ(m->form["FitSCConstantsBtn"].visible, c.shown);
  }
}

TEST_F(MainFormTest, ShowHiddenFunctionsShowsTheGroupsButNotVookWitt) {
  auto m = Make();
  m->form.SetChecked("ShowHiddenFunctions", true);
  ASSERT_TRUE(m->Run("ShowHiddenFunctionsClick"));
  for (const char* g : {"LoadFijGroupBox", "SpecialFunctionsGroupBox", "SpecialSettingsGroupBox",
                        "MultiPhaseBox"}) {
    EXPECT_TRUE(m->form[g].visible) << g;
    EXPECT_TRUE(m->form[g].enabled) << g;
  }
  EXPECT_TRUE(m->form["TextureGroupBox"].visible);
  EXPECT_FALSE(m->form["VookWittBtn"].visible);
  EXPECT_FALSE(m->form["Button2"].visible);
  m->form.SetChecked("ShowHiddenFunctions", false);
  m->Run("ShowHiddenFunctionsClick");
  EXPECT_FALSE(m->form["SpecialFunctionsGroupBox"].visible);
  EXPECT_FALSE(m->form["SpecialFunctionsGroupBox"].enabled);
}

TEST_F(MainFormTest, PageChangeMovesTheNameBoxAndShowsTheMatrixStiffness) {
  auto m = Make();
  Grid& g = m->form.GridOf("RotationGrid");
  std::vector<std::string> matrixRows;
  for (int r = 8; r <= 13; ++r)
    for (int c = 1; c <= 6; ++c) matrixRows.push_back(g.Cell(c, r));
  m->form.activePage = "TabSheet3";
  m->Run("PageControl1Change");
  EXPECT_EQ(m->form["CompoundNameBox"].parent, "AnElConstBox");
  std::size_t k = 0;
  for (int r = 8; r <= 13; ++r)
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(g.Cell(c, r), matrixRows[k++]) << c << "," << r;
  m->form.activePage = "TabSheet1";
  m->Run("PageControl1Change");
  EXPECT_EQ(m->form["CompoundNameBox"].parent, "SECActions");
}

// Which boxes each class opens, derives and zeroes.
TEST_F(MainFormTest, CrystalClassTableOpensDerivesAndZeroesTheBoxes) {
  struct Case {
    int code;
    std::vector<std::string> free, derived;
  };
  const Case cases[] = {
      {0, {"C11", "C12"}, {"C13", "C22", "C23", "C33", "C44", "C55", "C66"}},
      {1, {"C11", "C12", "C44"}, {"C13", "C22", "C23", "C33", "C55", "C66"}},
      {2, {"C11", "C12", "C13", "C33", "C44"}, {"C22", "C23", "C55", "C66"}},
      {3, {"C11", "C12", "C13", "C33", "C44", "C66"}, {"C22", "C23", "C55"}},
      {4, {"C11", "C12", "C13", "C16", "C33", "C44", "C66"}, {"C22", "C23", "C26", "C55"}},
      {5, {"C11", "C12", "C13", "C14", "C33", "C44"}, {"C22", "C23", "C24", "C55", "C56", "C66"}},
      {6,
       {"C11", "C12", "C13", "C14", "C15", "C33", "C44"},
       {"C22", "C23", "C24", "C25", "C46", "C55", "C56", "C66"}},
      {7, {"C11", "C12", "C13", "C22", "C23", "C33", "C44", "C55", "C66"}, {}},
      {8,
       {"C11", "C12", "C13", "C15", "C22", "C23", "C25", "C33", "C35", "C44", "C46", "C55", "C66"},
       {}},
      {9,
       {"C11", "C12", "C13", "C16", "C22", "C23", "C26", "C33", "C36", "C44", "C45", "C55", "C66"},
       {}},
  };
  auto m = Make();
  Form& f = m->form;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J) f.SetText(Box(I, J), std::to_string(10 * I + J) + ".5");
    f.SetItemIndex("CrystalSymmetryBox", c.code);
    ASSERT_TRUE(m->Run("CrystalSymmetryBoxClick"));
    EXPECT_EQ(m->CurrentContext.Cryst.SYS, c.code);
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J) {
        const std::string id = "C" + std::to_string(I) + std::to_string(J);
        const Control& box = f[id + "Edit"];
        const bool isFree = std::count(c.free.begin(), c.free.end(), id) > 0;
        const bool isDerived = std::count(c.derived.begin(), c.derived.end(), id) > 0;
        EXPECT_EQ(box.enabled, isFree) << id;
        EXPECT_EQ(box.greyed, !isFree) << id;
        EXPECT_EQ(box.text, isFree || isDerived ? std::to_string(10 * I + J) + ".5" : "0") << id;
      }
  }
  // Triclinic opens every box and keeps every text.
  const auto before = ConstantTexts(f);
  f.SetItemIndex("CrystalSymmetryBox", 10);
  m->Run("CrystalSymmetryBoxClick");
  EXPECT_EQ(ConstantTexts(f), before);
  for (const auto& [name, text] : before) {
    EXPECT_TRUE(f[name].enabled) << name;
    EXPECT_FALSE(f[name].greyed) << name;
  }
}

// Leaving a box (or Enter in it, which runs the same command) updates the dependent boxes of
// the class and nothing else.
TEST_F(MainFormTest, ExitRulesUpdateTheDependentBoxes) {
  struct Case {
    int code;
    std::map<std::string, std::string> typed;
    std::string command;
    std::map<std::string, std::string> changed;
    std::string message;
  };
  const Case cases[] = {
      {1, {{"C44Edit", "100"}}, "C44EditExit", {{"C55Edit", "100"}, {"C66Edit", "100"}}, ""},
      {5, {{"C14Edit", "12.5"}}, "C14EditExit", {{"C24Edit", "-12.50"}, {"C56Edit", "12.5"}}, ""},
      {6, {{"C14Edit", "-2"}}, "C14EditExit", {{"C24Edit", "2.00"}, {"C56Edit", "-2"}}, ""},
      {1, {{"C14Edit", "12.5"}}, "C14EditExit", {}, ""},
      {0,
       {{"C11Edit", "237"}, {"C12Edit", "141"}},
       "C12EditExit",
       {{"C13Edit", "141"},
        {"C23Edit", "141"},
        {"C66Edit", " 48.0000"},
        {"C44Edit", " 48.0000"},
        {"C55Edit", " 48.0000"}},
       ""},
      {0,
       {{"C11Edit", "300"}, {"C12Edit", "101"}},
       "C11EditExit",
       {{"C22Edit", "300"},
        {"C33Edit", "300"},
        {"C66Edit", " 99.5000"},
        {"C44Edit", " 99.5000"},
        {"C55Edit", " 99.5000"}},
       ""},
      {1, {{"C11Edit", "250"}}, "C11EditExit", {{"C22Edit", "250"}, {"C33Edit", "250"}}, ""},
      {2,
       {{"C11Edit", "160"}, {"C12Edit", "90"}},
       "C11EditExit",
       {{"C22Edit", "160"}, {"C66Edit", " 35.0000"}},
       ""},
      {5, {{"C11Edit", "160"}, {"C12Edit", "90"}}, "C12EditExit", {{"C66Edit", " 35.0000"}}, ""},
      {3, {{"C11Edit", "160"}}, "C11EditExit", {{"C22Edit", "160"}}, ""},
      {1, {{"C12Edit", "120"}}, "C12EditExit", {{"C13Edit", "120"}, {"C23Edit", "120"}}, ""},
      {3, {{"C12Edit", "120"}}, "C12EditExit", {}, ""},
      {6, {{"C13Edit", "70"}}, "C13EditExit", {{"C23Edit", "70"}}, ""},
      {7, {{"C13Edit", "70"}}, "C13EditExit", {}, ""},
      {2, {{"C44Edit", "45"}}, "C44EditExit", {{"C55Edit", "45"}}, ""},
      {8, {{"C44Edit", "45"}}, "C44EditExit", {}, ""},
      // The off-diagonal boxes take the decimal comma a user may type.
      {6, {{"C15Edit", "3,5"}}, "C15EditExit", {{"C25Edit", "-3.50"}, {"C46Edit", "-3.50"}}, ""},
      {4, {{"C16Edit", " 7 "}}, "C16EditExit", {{"C26Edit", "-7.00"}}, ""},
      {5, {{"C14Edit", "abc"}}, "C14EditExit", {}, "Not a valid input for C14 !"},
      {6, {{"C15Edit", ""}}, "C15EditExit", {}, "Not a valid input for C15 !"},
      {4, {{"C16Edit", "1,2,3"}}, "C16EditExit", {}, "Not a valid input for C16 !"},
      // Read in every class before the class is tested.
      {7, {{"C16Edit", "x"}}, "C16EditExit", {}, "Not a valid input for C16 !"},
  };
  auto m = Make();
  Form& f = m->form;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " in class " + std::to_string(c.code));
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J) f.SetText(Box(I, J), "1");
    f.SetItemIndex("CrystalSymmetryBox", c.code);
    for (const auto& [box, text] : c.typed) f.SetText(box, text);
    auto expected = ConstantTexts(f);
    for (const auto& [box, text] : c.changed) expected[box] = text;
    services_.messages.clear();
    ASSERT_TRUE(m->Run(c.command));
    EXPECT_EQ(ConstantTexts(f), expected);
    if (c.message.empty()) {
      EXPECT_TRUE(services_.messages.empty());
    } else {
      EXPECT_EQ(services_.Texts(), std::vector<std::string>{c.message});
    }
  }
}

// The boxes follow the same class rules as the engine: typing the free constants of any class
// and leaving each box gives the constants the engine derives from them.
TEST_F(MainFormTest, ExitRulesAgreeWithTheEngineClassRules) {
  auto m = Make();
  Form& f = m->form;
  for (int code = 0; code <= 10; ++code) {
    const auto cls = static_cast<polydec::CrystalClass>(code);
    SCOPED_TRACE(std::string(crystal::CrystalClassNames[code]));
    f.SetItemIndex("CrystalSymmetryBox", code);
    ASSERT_TRUE(m->Run("CrystalSymmetryBoxClick"));
    core::CijklVector typed{};
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J)
        if (crystal::RoleOf(cls, I, J) == crystal::ConstantRole::kFree) {
          // Distinct values with two decimals, so a copy and a reformatted number compare equal.
          const double x = 300 - 11.25 * I - 3.5 * J;
          typed[core::VoigtToPosition(I, J)] = x;
          f.SetText(Box(I, J), core::FormatFixed(x, 6, 2));
        }
    for (const char* exit : {"C11EditExit", "C12EditExit", "C13EditExit", "C14EditExit",
                             "C15EditExit", "C16EditExit", "C44EditExit"})
      ASSERT_TRUE(m->Run(exit));
    core::CijklVector rules = typed;
    crystal::ApplyClassRules(rules, cls);
    for (int I = 1; I <= 6; ++I)
      for (int J = I; J <= 6; ++J) {
        if (crystal::RoleOf(cls, I, J) != crystal::ConstantRole::kDerived) continue;
        EXPECT_NEAR(core::ParseNumber(f.Text(Box(I, J))).value,
                    rules[core::VoigtToPosition(I, J)], 1e-9)
            << Box(I, J);
      }
  }
}

// An isotropic crystal whose constants are those of the matrix is the matrix: s1 = -nu/E and
// 1/2 s2 = (1 + nu)/E for every reflection.
TEST_F(MainFormTest, CalcDECOfAnIsotropicCrystalGivesTheIsotropicConstants) {
  auto m = Make();
  Form& f = m->form;
  f.SetItemIndex("CrystalSymmetryBox", 0);
  m->Run("CrystalSymmetryBoxClick");
  const core::CijklVector iso = models::IsotropicStiffness(210, 0.3L);
  f.SetText("C11Edit", FormatPadded(iso[1], 0, 15));
  f.SetText("C12Edit", FormatPadded(iso[4], 0, 15));
  m->Run("C11EditExit");
  m->Run("C12EditExit");
  // The derived shear boxes show 4 decimals; the matrix's own value makes the crystal equal to it.
  for (const char* shear : {"C44Edit", "C55Edit", "C66Edit"})
    f.SetText(shear, FormatPadded(iso[7], 0, 15));
  f.SetText("YoungEdit", "210");
  f.SetText("PoissonEdit", "0.3");
  for (const char* hkl : {"1", "2"}) {
    f.SetText("HEdit", hkl);
    ASSERT_TRUE(m->Run("CalcDECBtnClick"));
    EXPECT_EQ(f.Text("s1Edit"), " -1.428571");
    EXPECT_EQ(f.Text("s2Edit"), "  6.190476");
  }
  EXPECT_TRUE(services_.messages.empty());
  // The matrix and sphere tensors of the build.
  core::CijklVector L;
  core::TensorToCijkl(m->CurrentContext.L, L);
  EXPECT_NEAR(static_cast<double>(L[1]), 282.6923076923077, 1e-9);
  EXPECT_NEAR(static_cast<double>(L[4]), 121.1538461538462, 1e-9);
  EXPECT_NEAR(static_cast<double>(L[7]), 80.76923076923077, 1e-9);
  EXPECT_NEAR(static_cast<double>(m->CurrentContext.S(1, 1, 1, 1)), 0.5238095238095238, 1e-15);
  EXPECT_NEAR(static_cast<double>(m->CurrentContext.S(1, 1, 2, 2)), 0.0476190476190476, 1e-15);
  EXPECT_NEAR(static_cast<double>(m->CurrentContext.S(1, 2, 1, 2)), 0.2380952380952381, 1e-15);
}

// "Calc DEC" with the start-up iron: d and the Kroener constants in the database's matrix (the
// self-consistent aggregate, E = 212.602971 GPa, nu = 0.29518018), compared with the engine run
// on a context built without the window.
TEST_F(MainFormTest, CalcDECWithTheStartUpIronMatchesTheKroenerModel) {
  auto m = Make();
  Form& f = m->form;
  struct Case {
    Real h, k, l;
  };
  for (const Case c : {Case{1, 1, 1}, Case{2, 1, 1}}) {
    f.SetText("HEdit", FormatPadded(c.h, 0, 0));
    f.SetText("KEdit", FormatPadded(c.k, 0, 0));
    f.SetText("LEdit", FormatPadded(c.l, 0, 0));
    ASSERT_TRUE(m->Run("CalcDECBtnClick"));
    EXPECT_TRUE(services_.messages.empty());

    models::UntexturedInputs in;
    in.cij = core::CijklVector{};
    for (int n : {1, 16, 21}) in.cij[n] = 237;
    for (int n : {4, 6, 18}) in.cij[n] = 141;
    for (int n : {7, 12, 19}) in.cij[n] = 116;
    in.crystalClass = static_cast<polydec::CrystalClass>(1);
    for (int i = 0; i < 3; ++i) in.cell[i] = 2.866L;
    in.hkl[0] = c.h;
    in.hkl[1] = c.k;
    in.hkl[2] = c.l;
    in.E = 212.602971L;
    in.nu = 0.29518018L;
    core::OrientationsRec ctx;
    ASSERT_EQ(models::BuildUntexturedContext(in, ctx), "");
    core::CijklVector scratch{};
    ASSERT_TRUE(models::CalcReflectionDEC(ctx, scratch, models::kKroener));

    const Real d = 2.866L / std::sqrt(c.h * c.h + c.k * c.k + c.l * c.l);
    EXPECT_EQ(f.Text("dEdit"), core::FormatFixed(d, 8, 5));
    EXPECT_EQ(f.Text("s1Edit").size(), 10u);
    EXPECT_EQ(f.Text("s2Edit").size(), 10u);
    // The shown values are rounded to 6 decimals; the two builds agree to rounding.
    EXPECT_NEAR(static_cast<double>(Value(f.Text("s1Edit"))), static_cast<double>(ctx.s1 * 1000),
                5.1e-7);
    EXPECT_NEAR(static_cast<double>(Value(f.Text("s2Edit"))), static_cast<double>(ctx.s2 * 1000),
                5.1e-7);
  }
  EXPECT_EQ(f.Text("dEdit"), "1.17004");
  // Iron 211, Kroener: s1 about -1.27, 1/2 s2 about 5.8 (1e-6/MPa).
  EXPECT_NEAR(static_cast<double>(Value(f.Text("s1Edit"))), -1.27, 0.05);
  EXPECT_NEAR(static_cast<double>(Value(f.Text("s2Edit"))), 5.8, 0.1);
  EXPECT_EQ(m->CurrentContext.SYMMETRY, 0);
  EXPECT_EQ(m->CurrentContext.Cryst.AxisSetting, 1);
  EXPECT_EQ(m->CurrentContext.ODFNUMP, 0);
}

// Every message of the builders for its bad input; the build goes on after each.
TEST_F(MainFormTest, BadInputsOfTheIsotropicPageShowTheirMessageAndTheBuildGoesOn) {
  struct Case {
    std::string box, text, message;
  };
  const Case cases[] = {
      {"C11Edit", "x", "Not a valid input for C11 !"},
      {"C12Edit", "1,5", "Not a valid input for C12 !"},
      {"C66Edit", "", "Not a valid input for C66 !"},
      {"HEdit", "h", "Not a valid input for H!"},
      {"KEdit", "1 1", "Not a valid input for K!"},
      {"LEdit", "", "Not a valid input for L!"},
      {"aEdit", "2.866A", "Not a valid input for a!"},
      {"bEdit", "b", "Not a valid input for b!"},
      {"cEdit", "c", "Not a valid input for c!"},
      {"alphaEdit", "90deg", "Not a valid input for alpha!"},
      {"betaEdit", "?", "Not a valid input for beta!"},
      {"gammaEdit", "9O", "Not a valid input for gamma!"},
      {"YoungEdit", "212,6", "Not a valid input for E!"},
      {"PoissonEdit", "0.295 ", "Not a valid input for nu!"},
      {"ShearEdit", "G", "Not a valid input for G!"},
      {"BulkEdit", "K", "Not a valid input for K!"},
  };
  auto m = Make();
  Form& f = m->form;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    const std::string old = f.Text(c.box);
    f.SetText(c.box, c.text);
    f.SetText("dEdit", "");
    f.SetText("s1Edit", "");
    services_.messages.clear();
    ASSERT_TRUE(m->Run("CalcDECBtnClick"));
    EXPECT_EQ(services_.Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(services_.messages[0].kind, MessageKind::kInformation);
    EXPECT_EQ(services_.messages[0].buttons, Buttons::kOk);
    EXPECT_NE(f.Text("dEdit"), "");
    EXPECT_EQ(f.Text("s1Edit").find_first_of("NnIi"), std::string::npos) << f.Text("s1Edit");
    f.SetText(c.box, old);
  }
  // ReadCij stops at the first bad box: one message although a later box is bad too.
  f.SetText("C12Edit", "a");
  f.SetText("C44Edit", "b");
  services_.messages.clear();
  core::FloatVec v{};
  EXPECT_FALSE(m->ReadCij(v));
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{"Not a valid input for C12 !"});
  EXPECT_EQ(v[1], 237);
  EXPECT_EQ(v[7], 0);

  // Grain shape words are read without a message, but an ellipsoid the Eshelby solution
  // refuses is named instead of leaving the shape tensors of an earlier build in place.
  f.SetText("C12Edit", "141");
  f.SetText("C44Edit", "116");
  f.SetItemIndex("SampleSymmetry", 2);
  f.SetText("GrainshapeEdit", "1 zero 1");
  services_.messages.clear();
  m->Run("CalcDECBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].text.rfind("Grain shape", 0), 0u) << services_.messages[0].text;
}

TEST_F(MainFormTest, CalcInitReadsTheGridOrRefillsItFromTheContext) {
  auto m = Make();
  Form& f = m->form;
  Grid& g = f.GridOf("RotationGrid");
  m->ORTNInit();
  EXPECT_EQ(m->CurrentContext.Cryst.AxisSetting, 1);
  f.SetItemIndex("CartAxesBox", 0);
  // A typed stiffness is read; a cleared first cell refills the block from the context.
  g.SetCell(1, 1, "250");
  m->CalcInit();
  EXPECT_EQ(m->CurrentContext.Lr(1, 1, 1, 1), 250);
  EXPECT_EQ(m->CurrentContext.Cryst.AxisSetting, 1);
  EXPECT_EQ(m->CurrentContext.InvSym, 10);
  EXPECT_EQ(m->CurrentContext.hkl(1), 2);
  g.SetCell(1, 1, " ");
  g.SetCell(2, 1, "999");
  m->CalcInit();
  EXPECT_EQ(g.Cell(1, 1), " 250.0");
  EXPECT_EQ(g.Cell(2, 1), " 141.0");
  g.SetCell(1, 8, "");
  g.SetCell(1, 14, "x");
  m->CalcInit();
  EXPECT_NEAR(static_cast<double>(Value(g.Cell(1, 14))), 212.6, 0.1);
  EXPECT_NE(g.Cell(1, 8), "");

  services_.messages.clear();
  f.SetText("alphaEdit", "right");
  m->CalcInit();
  EXPECT_EQ(services_.Texts(), std::vector<std::string>{"Not a valid input for alpha!"});
}

TEST_F(MainFormTest, ChoosingAMaterialByNameFillsTheWindow) {
  auto m = Make();
  Form& f = m->form;
  const std::string name = "magnesium";
  for (std::size_t n = 1; n < name.size(); ++n) {
    f.SetText("CompoundNameBox", name.substr(0, n));
    ASSERT_TRUE(m->Run("CompoundNameBoxClick"));
    EXPECT_EQ(f.Text("C11Edit"), " 237.0000") << name.substr(0, n);
  }
  f.SetText("CompoundNameBox", name);
  m->Run("CompoundNameBoxClick");
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(f.ItemIndex("CompoundNameBox"), 7);
  EXPECT_EQ(f.Text("CrystalSymmetryBox"), "hexagonal");
  EXPECT_EQ(f.Text("C11Edit"), "  59.4000");
  EXPECT_EQ(f.Text("C33Edit"), "  61.6000");
  EXPECT_EQ(f.Text("cEdit"), "5.211");
  EXPECT_EQ(f.Text("gammaEdit"), "120");
  EXPECT_EQ(f.Text("YoungEdit"), "44.701931");
  EXPECT_EQ(f.Text("PoissonEdit"), "0.28858741");
  EXPECT_EQ(f.Text("ShearEdit"), "17.345324");
  EXPECT_EQ(f.Text("BulkEdit"), "35.240673");
  EXPECT_FALSE(f["C22Edit"].enabled);
  const Grid& g = f.GridOf("RotationGrid");
  EXPECT_EQ(g.Cell(1, 1), "  59.4");
  EXPECT_EQ(g.Cell(3, 3), "  61.6");
  // Rows 8..13 are the isotropic matrix of E and nu, with its engineering constants.
  const core::CijklVector iso = models::IsotropicStiffness(44.701931L, 0.28858741L);
  EXPECT_EQ(g.Cell(1, 8), FormatPadded(iso[1], 6, 1));
  // Computed from the one-decimal texts of rows 8..13.
  EXPECT_NEAR(static_cast<double>(Value(g.Cell(1, 14))), 44.702, 0.2);
  EXPECT_NEAR(static_cast<double>(Value(g.Cell(3, 17))), 0.289, 0.002);
  EXPECT_EQ(m->CurrentContext.Name, "magnesium");
  EXPECT_EQ(m->CurrentContext.Cryst.SYS, 2);
  EXPECT_EQ(f.statusPanels[0], "NO ODF loaded.");

  // Names are compared exactly.
  f.SetText("CompoundNameBox", "Magnesium");
  m->Run("CompoundNameBoxClick");
  EXPECT_EQ(f.ItemIndex("CompoundNameBox"), -1);
  EXPECT_EQ(f.Text("C11Edit"), "  59.4000");
  // The multiphase box lends the name box back.
  f["CompoundNameBox"].parent = "MultiPhaseBox";
  f.SetItemIndex("CompoundNameBox", 1);
  m->Run("CompoundNameBoxClick");
  EXPECT_EQ(f["CompoundNameBox"].parent, "SECActions");
  EXPECT_EQ(f.Text("C11Edit"), " 246.5000");
}

// A material typed into the window is appended and reads back in a new window, constants to
// three decimals and the cell to five.
TEST_F(MainFormTest, AddToDatabaseAppendsAMaterialANewWindowLists) {
  const std::string before = ReadFile(db());
  {
    auto m = Make();
    Form& f = m->form;
    f.SetItemIndex("CrystalSymmetryBox", 2);
    m->Run("CrystalSymmetryBoxClick");
    f.SetText("CompoundNameBox", "testium");
    f.SetText("C11Edit", "123.45678");
    f.SetText("C12Edit", "45.6");
    f.SetText("C13Edit", "33.3333");
    f.SetText("C33Edit", "150");
    f.SetText("C44Edit", "40.1234");
    m->Run("C11EditExit");
    m->Run("C13EditExit");
    m->Run("C44EditExit");
    f.SetText("YoungEdit", "100.5");
    f.SetText("PoissonEdit", "0.31");
    f.SetText("ShearEdit", "38");
    f.SetText("BulkEdit", "90");
    f.SetText("aEdit", "3.123456");
    f.SetText("bEdit", "3.123456");
    f.SetText("cEdit", "5.0");
    f.SetText("alphaEdit", "90");
    f.SetText("betaEdit", "90");
    f.SetText("gammaEdit", "120");
    f["ReferenceMemo"].lines = {"made up", "for a test"};
    ASSERT_TRUE(m->Run("AddDBButtonClick"));
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_EQ(f["CompoundNameBox"].items.back(), "testium");
  }
  const std::string after = ReadFile(db());
  ASSERT_EQ(after.substr(0, before.size()), before);
  const std::string block = after.substr(before.size());
  EXPECT_NE(block.find("#NAME \"testium\"\r\n"), std::string::npos) << block;
  EXPECT_NE(block.find("#CRYST  3.12346  3.12346  5.00000 90.00000 90.00000 120.00000\r\n"),
            std::string::npos)
      << block;
  EXPECT_NE(block.find("#SYM   2\r\n"), std::string::npos);
  EXPECT_NE(block.find("#EPKG 100.500000 0.31000000 90.000000 38.000000\r\n"), std::string::npos)
      << block;
  EXPECT_NE(block.find("#REF1 made up\r\n#REF2 for a test\r\n#REF3 \r\n\r\n"), std::string::npos);

  auto n = Make();
  Form& f = n->form;
  ASSERT_EQ(f["CompoundNameBox"].items.size(), 11u);
  EXPECT_EQ(f["CompoundNameBox"].items[10], "testium");
  f.SetItemIndex("CompoundNameBox", 10);
  n->Run("CompoundNameBoxClick");
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(f.Text("C11Edit"), " 123.4570");
  EXPECT_EQ(f.Text("C22Edit"), " 123.4570");
  EXPECT_EQ(f.Text("C13Edit"), "  33.3330");
  EXPECT_EQ(f.Text("C55Edit"), "  40.1230");
  EXPECT_EQ(f.Text("C66Edit"), "  38.9280");  // (123.45678 - 45.6) / 2, stored to 3 decimals
  EXPECT_EQ(f.Text("aEdit"), "3.12346");
  EXPECT_EQ(f.Text("cEdit"), "5");
  EXPECT_EQ(f.Text("gammaEdit"), "120");
  EXPECT_EQ(f.Text("CrystalSymmetryBox"), "hexagonal");
  EXPECT_EQ(f["ReferenceMemo"].lines[0], " made up");
}

TEST_F(MainFormTest, AddToDatabaseStartsAMissingDatabase) {
  fs::remove(db());
  {
    auto m = Make();
    EXPECT_TRUE(services_.messages.empty());  // no database: the built-in iron, silently
    EXPECT_EQ(m->form["CompoundNameBox"].items, std::vector<std::string>{"iron"});
    EXPECT_EQ(m->form.Text("C11Edit"), " 237.0000");
    EXPECT_EQ(m->form.Text("aEdit"), "2.866");
    m->form.SetText("CompoundNameBox", "my iron");
    ASSERT_TRUE(m->Run("AddDBButtonClick"));
    EXPECT_TRUE(services_.messages.empty());
  }
  ASSERT_TRUE(fs::exists(db()));
  EXPECT_EQ(ReadFile(db()).substr(0, 17), "#NAME \"my iron\"\r\n");
  auto n = Make();
  EXPECT_EQ(n->form["CompoundNameBox"].items, std::vector<std::string>{"my iron"});
  EXPECT_EQ(n->form.Text("C11Edit"), " 237.0000");
}

// A bad field ends the command before anything is written.
TEST_F(MainFormTest, AddToDatabaseRefusesBadFieldsWithTheirMessage) {
  struct Case {
    std::string box, text, message;
  };
  const Case cases[] = {
      {"C23Edit", "x", "Not a valid input for C23 !"},
      {"YoungEdit", "E", "Not a valid input for E!"},
      {"PoissonEdit", "", "Not a valid input for nu!"},
      {"ShearEdit", "8 2", "Not a valid input for G!"},
      {"BulkEdit", "big", "Not a valid input for K!"},
      {"aEdit", "-", "Not a valid input for a!"},
      {"bEdit", "b", "Not a valid input for b!"},
      {"cEdit", "2,866", "Not a valid input for c!"},
      {"alphaEdit", "a", "Not a valid input for alpha!"},
      {"betaEdit", "b", "Not a valid input for beta!"},
      {"gammaEdit", "g", "Not a valid input for gamma!"},
  };
  const std::string before = ReadFile(db());
  auto m = Make();
  Form& f = m->form;
  f.SetText("CompoundNameBox", "bad");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    const std::string old = f.Text(c.box);
    f.SetText(c.box, c.text);
    services_.messages.clear();
    m->Run("AddDBButtonClick");
    EXPECT_EQ(services_.Texts(), std::vector<std::string>{c.message});
    f.SetText(c.box, old);
  }
  EXPECT_EQ(ReadFile(db()), before);
  EXPECT_EQ(f["CompoundNameBox"].items.size(), 10u);
}

TEST_F(MainFormTest, AddToDatabaseReportsADatabaseItCannotWrite) {
  const std::string before = ReadFile(db());
  auto m = Make();
  // A double quote would end the name early when read back; the file refuses it.
  m->form.SetText("CompoundNameBox", "a \"quoted\" name");
  m->Run("AddDBButtonClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find(db().string()), std::string::npos);
  EXPECT_EQ(ReadFile(db()), before);
  EXPECT_EQ(m->form["CompoundNameBox"].items.size(), 10u);

  // A folder where the database should be: told at start-up, and again when adding.
  fs::remove(db());
  fs::create_directory(db());
  auto n = Make();
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find(db().string()), std::string::npos);
  services_.messages.clear();
  n->form.SetText("CompoundNameBox", "x");
  n->Run("AddDBButtonClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find(db().string()), std::string::npos);
}

// A database with a bad line: the built-in iron, and one message naming file and line.
TEST_F(MainFormTest, BadDatabaseAtStartUpUsesTheDefaultMaterialAndSaysWhere) {
  std::string text = ReadFile(db());
  const std::size_t at = text.find("#EPKG 224.627463");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 16, "#EPKG 22x.627463");
  WriteFile(db(), text);
  auto m = Make();
  ASSERT_EQ(services_.messages.size(), 1u);
  const std::string& msg = services_.messages[0].text;
  EXPECT_NE(msg.find(db().string() + ", line 14"), std::string::npos) << msg;
  EXPECT_EQ(m->form["CompoundNameBox"].items, std::vector<std::string>{"iron"});
  EXPECT_EQ(m->form.Text("C11Edit"), " 237.0000");
  EXPECT_EQ(m->form.Text("aEdit"), "2.866");
  EXPECT_EQ(m->form.Text("YoungEdit"), "212.6");
  // Choosing a name re-reads the file quietly; materials before the bad one are still found.
  services_.messages.clear();
  m->form.SetText("CompoundNameBox", "iron");
  m->Run("CompoundNameBoxClick");
  EXPECT_TRUE(services_.messages.empty());
}

// Engineering constants typed in rows 14..17 give an orthotropic stiffness whose engineering
// constants are the typed ones again.
TEST_F(MainFormTest, EngineeringConstantsRoundTripThroughTheStiffness) {
  auto m = Make();
  Form& f = m->form;
  f.SetItemIndex("SampleSymmetry", 2);
  m->Run("SampleSymmetryChange");
  ASSERT_EQ(m->CurrentContext.SYMMETRY, 7);
  Grid& g = f.GridOf("RotationGrid");
  // Reciprocity nu_ij / E_i = nu_ji / E_j holds for the typed values.
  const std::string typed[4][3] = {{"200", "150", "100"},
                                   {"60", "50", "40"},
                                   {"0.3", "0.25", "0.2"},
                                   {"0.225", "0.125", "0.133333333333333333"}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) g.SetCell(c + 1, 14 + r, typed[r][c]);
  ASSERT_TRUE(m->Run("BulkToCijBtnClick"));
  EXPECT_EQ(g.Cell(6, 13), "  60.0");
  EXPECT_EQ(g.Cell(4, 11), "  40.0");
  EXPECT_EQ(g.Cell(4, 8), "   0.0");
  // The grid shows one decimal only, so the way back agrees to that rounding.
  ASSERT_TRUE(m->Run("CijBulkClick"));
  const std::string shown[4][3] = {{"200.00", "150.00", "100.00"},
                                   {" 60.00", " 50.00", " 40.00"},
                                   {"0.3000", "0.2500", "0.2000"},
                                   {"0.2250", "0.1250", "0.1333"}};
  for (int r = 0; r < 4; ++r)
    for (int col = 0; col < 3; ++col)
      EXPECT_NEAR(static_cast<double>(Value(g.Cell(col + 1, 14 + r))),
                  static_cast<double>(Value(shown[r][col])), r == 1 ? 0.006 : (r == 0 ? 0.3 : 2e-3))
          << r << "," << col;

  // Without the one-decimal rounding of the grid the texts agree exactly.
  core::CijklVector exact{};
  const Real E1 = 200, E2 = 150, E3 = 100, n12 = 0.3L, n13 = 0.25L, n23 = 0.2L;
  const Real n21 = n12 * E2 / E1, n31 = n13 * E3 / E1, n32 = n23 * E3 / E2;
  const Real D = 1 / (1 - n12 * n21 - n13 * n31 - n23 * n32 - 2 * n21 * n32 * n13);
  exact[1] = (1 - n23 * n32) * E1 * D;
  exact[16] = (1 - n13 * n31) * E2 * D;
  exact[21] = (1 - n12 * n21) * E3 * D;
  exact[4] = (n31 * n23 + n21) * E1 * D;
  exact[6] = (n21 * n32 + n31) * E1 * D;
  exact[18] = (n12 * n31 + n32) * E2 * D;
  exact[7] = 60;
  exact[12] = 50;
  exact[19] = 40;
  for (int I = 1; I <= 6; ++I)
    for (int J = I; J <= 6; ++J)
      g.SetCell(J, 8 + I - 1, FormatPadded(exact[core::VoigtToPosition(I, J)], 0, 15));
  m->Run("CijBulkClick");
  for (int r = 0; r < 4; ++r)
    for (int col = 0; col < 3; ++col) EXPECT_EQ(g.Cell(col + 1, 14 + r), shown[r][col]);
}

// No "NAN" or "INF" reaches a cell: a stiffness without inverse leaves the constants blank, and
// engineering constants without a stiffness leave the stiffness rows alone.
TEST_F(MainFormTest, EngineeringConstantsWithoutAValueStayOutOfTheGrid) {
  auto m = Make();
  Grid& g = m->form.GridOf("RotationGrid");
  for (int r = 8; r <= 13; ++r)
    for (int c = 1; c <= 6; ++c) g.SetCell(c, r, "0");
  m->Run("CijBulkClick");
  for (int r = 14; r <= 17; ++r)
    for (int c = 1; c <= 3; ++c)
      EXPECT_EQ(g.Cell(c, r).find_first_of("NI"), std::string::npos) << g.Cell(c, r);

  auto n = Make();
  Grid& h = n->form.GridOf("RotationGrid");
  std::vector<std::string> stiffness;
  for (int r = 8; r <= 13; ++r)
    for (int c = 1; c <= 6; ++c) stiffness.push_back(h.Cell(c, r));
  // nu12 nu21 = 1: the compliance has no inverse (D's denominator is 0).
  h.SetCell(1, 16, "1");
  h.SetCell(2, 16, "0");
  h.SetCell(3, 16, "0");
  h.SetCell(1, 17, "1");
  h.SetCell(2, 17, "0");
  h.SetCell(3, 17, "0");
  n->Run("BulkToCijBtnClick");
  std::size_t k = 0;
  for (int r = 8; r <= 13; ++r)
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(h.Cell(c, r), stiffness[k++]);
}

TEST_F(MainFormTest, NonFiniteDECLeavesTheBoxesEmpty) {
  auto m = Make();
  m->form.SetText("PoissonEdit", "0.5");  // an incompressible matrix has no finite stiffness
  m->Run("CalcDECBtnClick");
  EXPECT_EQ(m->form.Text("s1Edit").find_first_of("NI"), std::string::npos);
  EXPECT_EQ(m->form.Text("s2Edit").find_first_of("NI"), std::string::npos);
}

TEST_F(MainFormTest, ModelCodeAndSampleSymmetryFollowTheControls) {
  auto m = Make();
  Form& f = m->form;
  const std::pair<const char*, int> models[] = {
      {"KroenerBtn", 3}, {"InvKroener", 4}, {"ReussBtn", 2},    {"MVoigtBtn", 1},
      {"VoigtBttn", 0},  {"HillBtn", 6},    {"VookWittBtn", 12}};
  EXPECT_EQ(m->FCode(), 3);
  for (const auto& [button, code] : models) {
    f.SetChecked(button, true);
    EXPECT_EQ(m->FCode(), code) << button;
  }

  const int codes[] = {0, 2, 7, 9, 10};
  for (int i = 0; i < 5; ++i) {
    f.SetItemIndex("SampleSymmetry", i);
    ASSERT_TRUE(m->Run("SampleSymmetryChange"));
    EXPECT_EQ(m->CurrentContext.SYMMETRY, codes[i]);
    f.SetItemIndex("SampleSymmetry", 0);
    m->SetListIndexfromSS();
    EXPECT_EQ(f.ItemIndex("SampleSymmetry"), i);
  }
  m->CurrentContext.SYMMETRY = static_cast<polydec::SampleSymmetry>(5);
  m->SetListIndexfromSS();
  EXPECT_EQ(f.ItemIndex("SampleSymmetry"), 4);
}

TEST_F(MainFormTest, FieldHandlersSetTheirContextFields) {
  auto m = Make();
  Form& f = m->form;
  struct IntervalCase {
    std::string text;
    int value;
  };
  for (const IntervalCase& c :
       {IntervalCase{"16", 16}, IntervalCase{" 8", 8}, IntervalCase{"abc", 20},
        IntervalCase{"12x", 20}, IntervalCase{"", 20}}) {
    f.SetText("IntegIntervals", c.text);
    ASSERT_TRUE(m->Run("IntegIntervalsExit"));
    EXPECT_EQ(m->CurrentContext.IIntervls, c.value) << c.text;
  }
  f.SetItemIndex("CartAxesBox", 2);
  m->Run("CartAxesBoxClick");
  EXPECT_EQ(m->CurrentContext.Cryst.AxisSetting, 2);

  f.SetChecked("UseFij", false);
  f.SetChecked("UseODFBtn", true);
  m->Run("UseODFBtnClick");
  EXPECT_TRUE(m->CurrentContext.UseODF);
  EXPECT_TRUE(f.Checked("UseFij"));
  EXPECT_FALSE(f["UseFij"].enabled);
  f.SetChecked("UseODFBtn", false);
  m->Run("UseODFBtnClick");
  EXPECT_FALSE(m->CurrentContext.UseODF);
  EXPECT_TRUE(f["UseFij"].enabled);
}

TEST(CopyContext, LeavesTheODFBehindUnlessAsked) {
  core::OrientationsRec src, dst;
  src.Name = "x";
  src.E = 5;
  src.ODFNUMP = 3;
  src.ODF = {1, 2, 3};
  src.phi1 = src.phi = src.phi2 = {0, 0, 0};
  src.ODFn_phi1 = 3;
  src.error = 7;
  src.GOrient.phi1 = {1};
  CopyContext(src, dst);
  EXPECT_EQ(dst.Name, "x");
  EXPECT_EQ(dst.E, 5);
  EXPECT_TRUE(dst.ODF.empty());
  EXPECT_EQ(dst.ODFn_phi1, 0);
  EXPECT_EQ(dst.error, 0);
  EXPECT_TRUE(dst.GOrient.phi1.empty());
  // The count of ODF values never claims values the destination does not hold.
  EXPECT_EQ(dst.ODFNUMP, 0);
  CopyContextWithODF(src, dst);
  EXPECT_EQ(dst.ODFNUMP, 3);
  EXPECT_EQ(dst.ODF, src.ODF);
  EXPECT_EQ(dst.ODFn_phi1, 3);
  EXPECT_TRUE(dst.GOrient.phi1.empty());
}

}  // namespace
}  // namespace polydec::workbench
