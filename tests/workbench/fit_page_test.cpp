// The single-crystal constant fit in the window, run headless: loading a fit input into the
// grids, refusing a faulty one without touching them, the fit's cycles with their progress and
// question, the report, and the fits that stop with a reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

using test::ReadFile;

namespace fs = std::filesystem;
using core::Real;

Real Value(const std::string& text) {
  return core::ParseNumber(core::GetWord(text, 1)).value;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Records the step counter of the progress row each time the window is repainted.
class RecordingServices : public HeadlessServices {
 public:
  const Form* form = nullptr;
  std::vector<std::string> iterations;
  void Repaint() override {
    HeadlessServices::Repaint();
    if (form == nullptr) return;
    const Grid& rot = (*form).GridOf("RotationGrid");
    if (rot.Cell(1, 7) == "Iter:") iterations.push_back(rot.Cell(2, 7));
  }
};

class FitPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_fit_page_");
    fs::copy_file(POLYDEC_SOURCE_DIR "/examples/iron-kroener.dec", input());
    window_ =
        std::make_unique<MainForm>(services_, dir_.string(), std::vector<std::string>{"Qyxo"});
    services_.form = &window_->form;
    services_.messages.clear();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string input() const { return (dir_ / "iron.dec").string(); }

  // A copy of the example with one line replaced (counted from 1).
  std::string Variant(const std::string& name, int line, const std::string& text) {
    std::istringstream in(ReadFile(input()));
    std::string out, l;
    for (int n = 1; std::getline(in, l); ++n) out += (n == line ? text : l) + "\n";
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << out;
    return path;
  }

  void Load(const std::string& path) {
    services_.files.push_back(path);
    ASSERT_TRUE(window_->Run("Button2Click"));
  }

  Form& form() { return window_->form; }
  Grid& rot() { return form().GridOf("RotationGrid"); }
  Grid& sheet() { return form().GridOf("StrainGrid"); }

  fs::path dir_;
  RecordingServices services_;
  std::unique_ptr<MainForm> window_;
};

TEST_F(FitPageTest, LoadFillsGridsWorksheetAndRecord) {
  form()["FitSCConstantsBtn"].enabled = false;
  Load(input());
  ASSERT_EQ(services_.dialogs.size(), 1u);
  EXPECT_EQ(services_.dialogs[0].dialog.title,
            "Load a *.DEC input file with measured stress factors to start fitting SC constants");
  EXPECT_EQ(services_.dialogs[0].dialog.filterIndex, 3);
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_TRUE(form()["FitSCConstantsBtn"].enabled);

  const fit::FitRecord& rec = window_->FitRecord;
  EXPECT_EQ(rec.ndata, 12);
  EXPECT_EQ(rec.mfit, 3);
  EXPECT_EQ(window_->CurrentContext.Name, "alpha-Iron (synthetic stress factors, Kroener model)");
  // Stiffness grid: C11 and C44 of the crystal (rows 1..6), C11 of the matrix (rows 8..13).
  EXPECT_EQ(rot().Cell(1, 1), " 260.0");
  EXPECT_EQ(rot().Cell(4, 4), " 100.0");
  EXPECT_EQ(rot().Cell(1, 8), " 275.2");
  // Worksheet rows: h k l, phi, psi, the value and its uncertainty in 10^-6 MPa^-1.
  EXPECT_EQ(sheet().Cell(2, 1), "2 0 0");
  EXPECT_EQ(sheet().Cell(3, 1), "0.0");
  EXPECT_EQ(sheet().Cell(4, 2), "40.0");
  EXPECT_EQ(sheet().Cell(9, 1), "-1.8504");
  EXPECT_EQ(sheet().Cell(10, 1), "0.0200");
  EXPECT_EQ(sheet().Cell(2, 12), "2 2 2");

  // Showing the page again keeps the loaded matrix in rows 8..13.
  form().activePage = "TabSheet3";
  window_->PageControl1Change();
  EXPECT_EQ(rot().Cell(1, 8), " 275.2");
}

TEST_F(FitPageTest, RefusedInputChangesNothing) {
  Load(input());
  const std::vector<std::string> rotation = rot().cells, worksheet = sheet().cells;
  const std::string name = window_->CurrentContext.Name;
  for (const auto& [line, text] :
       std::vector<std::pair<int, std::string>>{{10, "data points   25"},
                                                {4,
                                                 "fit flags     1 0 0 2 0 0 2 0 0 0 0 0 0 0 0 "
                                                 "0 0 0 0 0 0"},
                                                {20, "3 1 0      0    65    4.0680  0"}}) {
    services_.messages.clear();
    Load(Variant("bad.dec", line, text));
    ASSERT_EQ(services_.messages.size(), 1u);
    EXPECT_EQ(services_.messages[0].kind, MessageKind::kWarning);
    EXPECT_NE(services_.messages[0].text.find("line " + std::to_string(line) + ":"),
              std::string::npos)
        << services_.messages[0].text;
    EXPECT_EQ(rot().cells, rotation);
    EXPECT_EQ(sheet().cells, worksheet);
    EXPECT_EQ(window_->CurrentContext.Name, name);
    EXPECT_EQ(window_->FitRecord.ndata, 12);
    EXPECT_EQ(window_->FitRecord.InputFile, input());
  }
  // A cancelled dialog loads nothing and says nothing.
  services_.messages.clear();
  services_.files.push_back(std::nullopt);
  window_->Run("Button2Click");
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(window_->FitRecord.InputFile, input());
}

TEST_F(FitPageTest, FitRunsCyclesAsksAndAppendsItsReport) {
  Load(input());
  rot().SetCell(2, 7, "3");  // three steps per cycle
  services_.answers = {Answer::kYes, Answer::kNo};
  window_->Run("FitSCConstantsBtnClick");

  EXPECT_EQ(services_.iterations, (std::vector<std::string>{"0", "1", "2", "0", "1", "2"}));
  ASSERT_EQ(services_.messages.size(), 2u);
  for (const auto& m : services_.messages) {
    EXPECT_EQ(m.kind, MessageKind::kConfirmation);
    EXPECT_EQ(m.text, "Continue?");
    EXPECT_EQ(m.buttons, Buttons::kYesNo);
  }
  EXPECT_EQ(form().statusPanels[0], "Fitting single crystal constants using " + input());
  EXPECT_EQ(form().statusPanels[1], "Iteration 2 of 3");
  EXPECT_EQ(form().openDialog.title, "");
  EXPECT_EQ(rot().Cell(3, 7), "Chisq:");
  EXPECT_EQ(rot().Cell(5, 7), "alamda:");

  // The fitted constants are back near those the data were made from (231.4, 134.7, 116.4 GPa;
  // the example's uncertainties allow a few GPa).
  const fit::FitRecord& rec = window_->FitRecord;
  EXPECT_NEAR(Value(rot().Cell(1, 1)), 231.4, 4);
  EXPECT_NEAR(Value(rot().Cell(2, 1)), 134.7, 4);
  EXPECT_NEAR(Value(rot().Cell(6, 6)), 116.4, 4);
  EXPECT_EQ(rec.a[16], rec.a[1]);
  EXPECT_EQ(rec.a[21], rec.a[1]);
  // The calculated values of the accepted constants stand beside the measured ones.
  for (int i = 1; i <= rec.ndata; ++i)
    EXPECT_NEAR(Value(sheet().Cell(11, i)), Value(sheet().Cell(9, i)), 0.1) << i;

  const fs::path report = input() + ".res";
  ASSERT_TRUE(fs::exists(report));
  std::string text = ReadFile(report);
  EXPECT_EQ(text.rfind("alpha-Iron (synthetic stress factors, Kroener model)\r\n", 0), 0u);
  EXPECT_EQ(Count(text, "Correlation-Matrix:"), 1);

  services_.answers = {Answer::kNo};
  window_->Run("FitSCConstantsBtnClick");
  text = ReadFile(report);
  EXPECT_EQ(Count(text, "Correlation-Matrix:"), 2);
  EXPECT_FALSE(fs::exists(input() + ".res.tmp"));
}

TEST_F(FitPageTest, FitWithoutInputSaysSo) {
  window_->Run("FitSCConstantsBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("No fit input is loaded"), std::string::npos);
  EXPECT_TRUE(services_.iterations.empty());
}

TEST_F(FitPageTest, FitThatCannotImproveStopsWithoutReport) {
  // C2222 fitted beside C1111: the cubic class ties them, the curvature matrix is singular.
  Load(Variant("tied.dec", 4, "fit flags     1 0 0 2 0 0 3 0 0 0 0 0 0 0 0 4 0 0 0 0 0"));
  ASSERT_TRUE(services_.messages.empty());
  const std::vector<std::string> rotation = rot().cells;
  services_.answers = {Answer::kYes, Answer::kYes, Answer::kYes};
  window_->Run("FitSCConstantsBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].kind, MessageKind::kWarning);
  EXPECT_NE(services_.messages[0].text.find("C2222"), std::string::npos);
  EXPECT_NE(form().statusPanels[1].find("Singular curvature matrix"), std::string::npos);
  EXPECT_EQ(rot().cells, rotation);
  EXPECT_FALSE(fs::exists(dir_ / "tied.dec.res"));
}

}  // namespace
}  // namespace polydec::workbench
