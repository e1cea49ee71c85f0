// The stress-factor and stress-evaluation commands of the "DEC/Stress/Strain" page, run
// headless: "Calc DEC" on the worksheet, "Read grains file " and "Calc Stress".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "models/eshelby.h"
#include "models/reflection_dec.h"
#include "stress/stress_fit.h"
#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

using test::ReadFile;
using test::WriteFile;

namespace fs = std::filesystem;
using core::Real;
using core::FormatFixed;
using core::FormatPadded;
using core::ParseNumber;

Real Value(const std::string& text) { return ParseNumber(core::GetWord(text, 1)).value; }

// s1 and 1/2 s2 of the reflection path for the context the command left behind.
void ReflectionDec(const core::OrientationsRec& after, Real h, Real k, Real l, int code, Real& s1,
                   Real& s2) {
  core::OrientationsRec ctx;
  CopyContext(after, ctx);
  ctx.hkl(1) = h;
  ctx.hkl(2) = k;
  ctx.hkl(3) = l;
  core::CijklVector t{};
  ASSERT_TRUE(models::CalcReflectionDEC(ctx, t, static_cast<polydec::ModelCode>(code)));
  s1 = ctx.s1;
  s2 = ctx.s2;
}

// A program folder of its own for every test, holding a copy of the shipped database, and a
// window on it with few integration intervals so that the fibre averages stay quick.
class StressPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_stress_page_");
    services_.files.clear();
    services_.answers.clear();
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    form().SetText("IntegIntervals", "6");
    services_.messages.clear();
    services_.dialogs.clear();
    services_.repaints = 0;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // A new program folder and window, for each case of a table.
  void Fresh() {
    TearDown();
    SetUp();
  }

  Form& form() { return m_->form; }
  Grid& sheet() { return form().GridOf("StrainGrid"); }
  int Col(const std::string& name) { return m_->GetStringGridColNum(name); }
  const std::string& Cell(const std::string& col, int row) { return sheet().Cell(Col(col), row); }
  void Set(const std::string& col, int row, const std::string& text) {
    sheet().SetCell(Col(col), row, text);
  }
  void ChooseMaterial(const std::string& name) {
    form().SetText("CompoundNameBox", name);
    m_->Run("CompoundNameBoxClick");
    services_.messages.clear();
  }
  void UseS1Layout() {
    form().SetChecked("UseFij", false);
    m_->Run("UseFijClick");
  }
  void Model(const std::string& button) { form().SetChecked(button, true); }
  // A measurement row for "Calc DEC".
  void Direction(int row, const std::string& hkl, Real phi, Real psi) {
    Set("h k l", row, hkl);
    Set("phi", row, FormatFixed(phi, 9, 3));
    Set("psi", row, FormatFixed(psi, 9, 3));
  }

  fs::path dir_;
  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
};

// Without texture the Reuss grains of a fibre average to the quasi-isotropic stress factors
// F = s1 I + 1/2 s2 m m of the reflection path, for every direction and any crystal; Simpson's
// rule with 2N >= 12 intervals integrates the rotated compliance (a trigonometric polynomial
// of degree 4 in lamda) exactly. Tolerance: the 6 decimals of the written cells.
TEST_F(StressPageTest, ReussFibreAverageGivesQuasiIsotropicStressFactors) {
  struct Case {
    const char* material;
    int h, k, l;
  };
  const Case cases[] = {{"iron", 2, 1, 1}, {"alpha-titanium", 1, 0, 3}};
  const Real directions[][2] = {{0, 0}, {30, 20}, {90, 45}, {200, 70}, {-45, 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.material);
    ChooseMaterial(c.material);
    Model("ReussBtn");
    const std::string hkl =
        std::to_string(c.h) + " " + std::to_string(c.k) + " " + std::to_string(c.l);
    for (int r = 1; r <= 5; ++r) Direction(r, hkl, directions[r - 1][0], directions[r - 1][1]);
    ASSERT_TRUE(m_->Run("FijBtnClick"));
    EXPECT_TRUE(services_.messages.empty());

    Real s1 = 0, s2 = 0;
    ReflectionDec(m_->CurrentContext, c.h, c.k, c.l, models::kReuss, s1, s2);
    for (int r = 1; r <= 5; ++r) {
      const Real phi = directions[r - 1][0] * core::kPi / 180;
      const Real psi = directions[r - 1][1] * core::kPi / 180;
      const Real m[4] = {0, std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi),
                         std::cos(psi)};
      const struct {
        const char* col;
        int k, l;
      } factors[] = {{"F11", 1, 1}, {"F22", 2, 2}, {"F33", 3, 3},
                     {"F23", 2, 3}, {"F13", 1, 3}, {"F12", 1, 2}};
      for (const auto& f : factors) {
        const Real expected =
            (f.k == f.l ? 1000 : 2000) * ((f.k == f.l ? s1 : 0) + s2 * m[f.k] * m[f.l]);
        EXPECT_NEAR(Value(Cell(f.col, r)), expected, 1e-6L) << f.col << " row " << r;
      }
      EXPECT_EQ(Cell("I(ODF)", r), "1.00");
    }
    // Along the sample normal the two in-plane factors are the same number, s1.
    EXPECT_EQ(Cell("F11", 1), Cell("F22", 1));
    EXPECT_NEAR(Value(Cell("F11", 1)), 1000 * s1, 1e-6L);
    EXPECT_NEAR(Value(Cell("F33", 1)) - Value(Cell("F11", 1)), 1000 * s2, 2e-6L);
  }
}

// Word 4 of "h k l" chooses the model of its row when it is an integer; otherwise the radio
// buttons do (Kroener at start-up). The S1 notation shows s1 and 1/2 s2 of the reflection path.
TEST_F(StressPageTest, ModelWordAndS1Notation) {
  UseS1Layout();
  const struct {
    const char* hkl;
    int code;
  } rows[] = {{"2 1 1 2", models::kReuss},
              {"2 1 1 2.5", models::kKroener},
              {"2 1 1 x", models::kKroener},
              {"2 1 1", models::kKroener},
              {"2 1 1 0", models::kVoigt}};
  for (int r = 1; r <= 5; ++r) Direction(r, rows[r - 1].hkl, 10 * r, 5 * r);
  ASSERT_TRUE(m_->Run("FijBtnClick"));
  EXPECT_TRUE(services_.messages.empty());
  for (int r = 1; r <= 5; ++r) {
    SCOPED_TRACE(rows[r - 1].hkl);
    Real s1 = 0, s2 = 0;
    ReflectionDec(m_->CurrentContext, 2, 1, 1, rows[r - 1].code, s1, s2);
    EXPECT_EQ(Cell("S1", r), FormatFixed(1000 * s1, 9, 6));
    EXPECT_EQ(Cell("½S2", r), FormatFixed(1000 * s2, 9, 6));
  }
  EXPECT_NE(Cell("S1", 1), Cell("S1", 2));
}

// The rows end with the first row whose next row has no number in "psi"; that row is still
// calculated, and every row is shown in the status bar while the work goes on.
TEST_F(StressPageTest, CalcDecStopsAfterTheLastRowWithANextPsi) {
  Model("ReussBtn");
  Direction(1, "1 1 0", 0, 0);
  Direction(2, "1 1 0", 0, 30);
  Direction(3, "2 0 0", 90, 45);
  Set("psi", 4, " ");
  Direction(5, "2 1 1", 0, 10);
  ASSERT_TRUE(m_->Run("FijBtnClick"));
  EXPECT_TRUE(services_.messages.empty());
  for (int r = 1; r <= 3; ++r) EXPECT_FALSE(Cell("F11", r).empty()) << r;
  EXPECT_TRUE(Cell("F11", 4).empty());
  EXPECT_TRUE(Cell("F11", 5).empty());
  EXPECT_GE(services_.repaints, 3);
  const std::string& status = form().statusPanels[0];
  EXPECT_EQ(status.rfind("computation time: ", 0), 0u) << status;
  EXPECT_EQ(status.substr(status.size() - 4), " ms.");
  // The context keeps the last calculated row.
  EXPECT_EQ(m_->CurrentContext.hkl(1), 2);
  EXPECT_EQ(m_->CurrentContext.hkl(2), 0);
}

// Escape stops "Calc DEC" after the row being computed: the rows before keep their new
// factors, the rest are left as they were, and the message says where it stopped.
TEST_F(StressPageTest, EscapeStopsCalcDecAfterARow) {
  Model("ReussBtn");
  Direction(1, "1 1 0", 0, 0);
  Direction(2, "1 1 0", 0, 30);
  Direction(3, "2 0 0", 90, 45);
  Set("F11", 3, "kept");
  services_.cancelAfter = 0;
  ASSERT_TRUE(m_->Run("FijBtnClick"));
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0].text.rfind("Calc DEC stopped (Escape) after row 1:", 0), 0u)
      << services_.messages[0].text;
  EXPECT_FALSE(Cell("F11", 1).empty());
  EXPECT_TRUE(Cell("F11", 2).empty());
  EXPECT_EQ(Cell("F11", 3), "kept");
}

// Every refusal of "Calc DEC" names the problem, selects the cell and writes nothing for the
// row; rows before it keep what was calculated.
TEST_F(StressPageTest, CalcDecRefusals) {
  const struct Case {
    const char* name;
    bool fij;
    const char* radio;
    int row;  // the row refused; an invalid "psi" below row 1 ends the rows instead
    const char* hkl;
    const char* phi;
    const char* psi;
    std::string message;
    const char* selected;  // column of the selected cell
  } cases[] = {
      {"phi", true, "KroenerBtn", 2, "2 1 1", "x", "10", "Not a valid input!", "phi"},
      {"psi", true, "KroenerBtn", 1, "2 1 1", "0", "10 ", "Not a valid input!", "psi"},
      {"hkl word", true, "KroenerBtn", 2, "2 a 1", "0", "10", "Not a valid input!", "h k l"},
      {"hkl zero", true, "KroenerBtn", 1, "0 0 0", "0", "10", "Not a valid input!", "h k l"},
      {"Vook-Witt word", true, "KroenerBtn", 2, "2 1 1 12", "0", "10",
       "Model not available (Vook-Witt) at line 2", "h k l"},
      {"code 5", true, "KroenerBtn", 2, "2 1 1 5", "0", "10",
       "Model not available (model code 5) at line 2", "h k l"},
      {"Vook-Witt button", true, "VookWittBtn", 2, "2 1 1", "0", "10",
       "Model not available (Vook-Witt) at line 2", "h k l"},
      // Code 7 exists only in the fibre average, not in the s1, 1/2 s2 path.
      {"code 7 in S1 notation", false, "KroenerBtn", 2, "2 1 1 7", "0", "10",
       "Model not available (model code 7) at line 2", "h k l"},
      {"flat grain", true, "KroenerBtn", 2, "2 1 1 3 0 1 1", "0", "10",
       models::CheckAxes({0, 1, 1}) + " at line 2", "h k l"},
      {"negative semi-axis", true, "KroenerBtn", 2, "2 1 1 3 1 -2", "0", "10",
       models::CheckAxes({1, -2, 1}) + " at line 2", "h k l"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    if (!c.fij) UseS1Layout();
    Model(c.radio);
    for (int r = 1; r <= 3; ++r) Direction(r, "2 1 1 2", 0, 10 * r);
    Set("h k l", c.row, c.hkl);
    Set("phi", c.row, c.phi);
    Set("psi", c.row, c.psi);
    ASSERT_TRUE(m_->Run("FijBtnClick"));
    ASSERT_EQ(services_.Texts().size(), 1u);
    EXPECT_THAT(services_.Texts()[0], ::testing::StartsWith(c.message));
    EXPECT_EQ(sheet().col, Col(c.selected));
    EXPECT_EQ(sheet().row, c.row);
    const char* first = c.fij ? "F11" : "S1";
    for (int r = 1; r <= 3; ++r) EXPECT_EQ(Cell(first, r).empty(), r >= c.row) << r;
  }
}

// Constants typed into the stiffness grid that no stable material has (C11 = C12 leaves a
// shear without stiffness) are refused before anything is computed, naming the smallest
// eigenvalue; the same holds for a cell that spans no volume.
TEST_F(StressPageTest, CalcDecRefusesAGridStiffnessOrCellThatCannotBeComputedWith) {
  const struct {
    const char* name;
    int col, row;     // the grid cell typed (rows 1..6 crystal, 8..13 matrix), or the gamma box
    const char* text;  // "C11": the text of the C11 cell
    const char* message;
  } cases[] = {
      {"C11 = C12", 2, 1, "C11", "the single-crystal constants of the stiffness grid: the "
                                 "stiffness is not positive definite (smallest eigenvalue "},
      {"negative C44", 4, 4, "-116.4", "the single-crystal constants of the stiffness grid: "
                                       "the stiffness is not positive definite (smallest "
                                       "eigenvalue -"},
      {"matrix C11 = 0", 1, 8, "0", "the matrix constants of the stiffness grid: the stiffness "
                                    "is not positive definite"},
      {"flat cell", 0, 0, "180", "The lattice parameters are refused: cell angle gamma"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    for (int r = 1; r <= 2; ++r) Direction(r, "2 1 1", 0, 10 * r);
    ASSERT_TRUE(m_->Run("FijBtnClick"));
    ASSERT_TRUE(services_.Texts().empty()) << services_.Texts()[0];
    for (int r = 1; r <= 2; ++r) Set("F11", r, "");
    if (c.row == 0) {
      form().SetText("gammaEdit", c.text);
    } else {
      Grid& grid = form().GridOf("RotationGrid");
      grid.SetCell(c.col, c.row, c.text == std::string("C11") ? grid.Cell(1, 1) : c.text);
    }
    ASSERT_TRUE(m_->Run("FijBtnClick"));
    ASSERT_EQ(services_.Texts().size(), 1u);
    EXPECT_THAT(services_.Texts()[0], ::testing::StartsWith(c.message));
    for (int r = 1; r <= 2; ++r) EXPECT_EQ(Cell("F11", r), "") << r;
  }
}

TEST_F(StressPageTest, CalcDecRefusesIntegrationIntervalsBelowOne) {
  form().SetText("IntegIntervals", "0");
  Direction(1, "2 1 1", 0, 0);
  ASSERT_TRUE(m_->Run("FijBtnClick"));
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("integration intervals"), std::string::npos);
  EXPECT_TRUE(Cell("F11", 1).empty());
}

// Measurements for the stress evaluation: stress factors, spacings from a known stress, and
// their uncertainties.
struct Measurement {
  std::string label;
  Real phi, psi;
  Real sigma[7];  // 1..6: sig_xx, sig_yy, sig_zz, sig_yz, sig_xz, sig_xy in MPa
  Real d0;
};

// Quasi-isotropic stress factors of a ferrite-like reflection (TPa^-1) for typed rows.
core::Tensor2 TypedFactors(Real phi, Real psi) {
  return stress::IsoStressFactors(-1.25L, 5.8L, phi * core::kPi / 180, psi * core::kPi / 180);
}

// d = d0 (1 + F:sigma), the stress factors in TPa^-1 and the stresses in MPa.
Real Spacing(const core::Tensor2& F, const Real* sigma, Real d0) {
  const Real strain = F(1, 1) * sigma[1] + F(2, 2) * sigma[2] + F(3, 3) * sigma[3] +
                      F(2, 3) * sigma[4] + F(1, 3) * sigma[5] + F(1, 2) * sigma[6];
  return d0 * (1 + strain * 1e-6L);
}

class StressFitTest : public StressPageTest {
 protected:
  void Row(int r, const Measurement& m, const char* sd = "0.0001", const char* sd0 = "0.0001") {
    const core::Tensor2 F = TypedFactors(m.phi, m.psi);
    Set("#", r, m.label);
    Set("h k l", r, "2 1 1");
    Set("phi", r, FormatFixed(m.phi, 9, 3));
    Set("psi", r, FormatFixed(m.psi, 9, 3));
    Set("F11", r, FormatFixed(F(1, 1), 18, 15));
    Set("F22", r, FormatFixed(F(2, 2), 18, 15));
    Set("F33", r, FormatFixed(F(3, 3), 18, 15));
    Set("F23", r, FormatFixed(F(2, 3), 18, 15));
    Set("F13", r, FormatFixed(F(1, 3), 18, 15));
    Set("F12", r, FormatFixed(F(1, 2), 18, 15));
    sheet().SetCell(5, r, FormatFixed(Spacing(F, m.sigma, m.d0), 18, 15));
    sheet().SetCell(6, r, sd);
    sheet().SetCell(7, r, FormatFixed(m.d0, 18, 15));
    sheet().SetCell(8, r, sd0);
  }
  std::vector<std::string> Snapshot() { return sheet().cells; }
};

// Spacings made from a known stress with the program's own stress factors of ferrite 211
// ("Calc DEC" with the default Kroener model) give that stress back, with d0 fitted and with
// d0 fixed; d_calc reproduces the spacings.
TEST_F(StressFitTest, KnownStressIsRecovered) {
  for (const bool d0Fixed : {false, true}) {
    SCOPED_TRACE(d0Fixed ? "d0 fixed" : "d0 fitted");
    Fresh();
    const Real d0 = 1.1700343L;
    const Real sigma[7] = {0, 300, -150, 0, 0, 0, 0};
    int r = 0;
    for (const Real phi : {0, 90})
      for (const Real psi : {0, 15, 30, 45, 60}) {
        ++r;
        Direction(r, "2 1 1", phi, psi);
        Set("#", r, "1");
      }
    ASSERT_TRUE(m_->Run("FijBtnClick"));
    std::vector<Real> d(r + 1);
    for (int k = 1; k <= r; ++k) {
      core::Tensor2 F;
      F(1, 1) = Value(Cell("F11", k));
      F(2, 2) = Value(Cell("F22", k));
      F(3, 3) = Value(Cell("F33", k));
      F(2, 3) = Value(Cell("F23", k));
      F(1, 3) = Value(Cell("F13", k));
      F(1, 2) = Value(Cell("F12", k));
      d[k] = Spacing(F, sigma, d0);
      sheet().SetCell(5, k, FormatFixed(d[k], 18, 15));
      sheet().SetCell(6, k, "0.0001");
      sheet().SetCell(7, k, FormatFixed(d0, 18, 15));
      sheet().SetCell(8, k, "0.00001");
    }
    form().SetChecked("d0box", d0Fixed);
    ASSERT_TRUE(m_->Run("StressBtnClick"));
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_EQ(Cell("##", 1), "1");
    EXPECT_EQ(Cell("sig_xx", 1), "300.00");
    EXPECT_EQ(Cell("sig_yy", 1), "-150.00");
    EXPECT_EQ(Cell("sig_zz", 1), "0.00");
    // Exact data: chi-square vanishes up to the rounding of the written spacings.
    EXPECT_LT(Value(Cell("chisq", 1)), 1e-12L);
    if (d0Fixed) {
      EXPECT_EQ(Cell("d0_calc", 1), "");
      EXPECT_EQ(sheet().Cell(Col("d0_calc") + 1, 1), "");
    } else {
      EXPECT_EQ(Cell("d0_calc", 1), FormatFixed(d0, 8, 6));
    }
    for (int k = 1; k <= r; ++k) EXPECT_EQ(Cell("d_calc", k), FormatFixed(d[k], 7, 6)) << k;
    // The result block of rows 2.. belongs to data sets that do not exist.
    EXPECT_TRUE(Cell("sig_xx", 2).empty());
    EXPECT_EQ(sheet().col, Col("##"));
    EXPECT_EQ(sheet().row, 1);
  }
}

// Rows with exactly the same "#" text form a data set, numbered by first appearance; its
// results go to the row of that number, labelled with the first 20 characters of the text.
TEST_F(StressFitTest, DataSetsByLabel) {
  const std::string longA = "1234567890123456789012345";
  const std::string longB = "1234567890123456789012399";
  const std::string cut = longA.substr(0, 20);
  const struct Case {
    const char* name;
    std::vector<std::string> labels;  // rows 1..
    int counted;                      // rows the evaluation takes
    // "##" and "sig_xx" of the result rows; an empty sig_xx is not checked (too few rows).
    std::vector<std::pair<std::string, std::string>> results;
    const char* refusal = "";  // the information message, when the evaluation is refused
  } cases[] = {
      {"interleaved", {"1", "2", "1", "2", "1", "2"}, 6, {{"1", "100.00"}, {"2", "200.00"}}},
      {"trailing blank", {"1", "1 ", "1", "1 ", "1", "1 "}, 6, {{"1", "100.00"}, {"1 ", "200.00"}}},
      {"long labels",
       {longA, longB, longA, longB, longA, longB},
       6,
       {{cut, "100.00"}, {cut, "200.00"}}},
      // Labels may be any text; the rows end at the first row without a direction.
      {"text labels", {"A", "7", "7", "7", "A", "A"}, 6, {{"A", "100.00"}, {"7", "200.00"}}},
  };
  const Real directions[][2] = {{0, 0}, {0, 45}, {90, 45}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    // Each label gets its own stress: 100 MPa times its number along x, -40 times along y.
    std::vector<std::string> seen;
    std::vector<int> members;
    for (std::size_t i = 0; i < c.labels.size(); ++i) {
      const auto it = std::find(seen.begin(), seen.end(), c.labels[i]);
      const std::size_t set = static_cast<std::size_t>(it - seen.begin());
      if (it == seen.end()) {
        seen.push_back(c.labels[i]);
        members.push_back(0);
      }
      const Real g = static_cast<Real>(set + 1);
      const Real* dir = directions[members[set]++ % 3];
      Row(static_cast<int>(i) + 1,
          {c.labels[i], dir[0], dir[1], {0, 100 * g, -40 * g, 0, 0, 0, 0}, 1.17L});
    }
    Set("sig_xx", 3, "keep");
    ASSERT_TRUE(m_->Run("StressBtnClick"));
    if (*c.refusal) {
      EXPECT_EQ(services_.Texts(), std::vector<std::string>{c.refusal});
      EXPECT_TRUE(Cell("d_calc", 1).empty());
      continue;
    }
    EXPECT_TRUE(services_.messages.empty());
    for (std::size_t g = 1; g <= c.results.size(); ++g) {
      const int row = static_cast<int>(g);
      EXPECT_EQ(Cell("##", row), c.results[g - 1].first) << g;
      if (c.results[g - 1].second.empty()) continue;
      EXPECT_EQ(Cell("sig_xx", row), c.results[g - 1].second) << g;
      EXPECT_EQ(Cell("sig_yy", row), FormatFixed(-40.0L * row, 7, 2)) << g;
    }
    EXPECT_EQ(Cell("sig_xx", 3), "keep");
    EXPECT_FALSE(Cell("d_calc", c.counted).empty());
    EXPECT_TRUE(Cell("d_calc", c.counted + 1).empty());
  }
}

// A fixed component takes the value of its result cell in every fit and is written back with
// the uncertainty 0; with everything fixed the fit only evaluates chi-square.
TEST_F(StressFitTest, FixedComponents) {
  const Real directions[][2] = {{0, 0}, {0, 30}, {0, 60}, {90, 30}, {90, 60}};
  for (int r = 1; r <= 5; ++r)
    Row(r, {"1", directions[r - 1][0], directions[r - 1][1], {0, 120, 80, 50, 0, 0, 0}, 1.17L});
  Set("sig_zz", 1, "50");
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  EXPECT_TRUE(services_.messages.empty());
  // The memo states the fit's statistics: 5 rows, sig_xx, sig_yy and d0 fitted.
  const std::vector<std::string>& memo = form()["Memo1"].lines;
  ASSERT_GE(memo.size(), 2u);
  EXPECT_NE(memo[1].find("dof 2"), std::string::npos) << memo[1];
  EXPECT_EQ(Cell("sig_xx", 1), "120.00");
  EXPECT_EQ(Cell("sig_yy", 1), "80.00");
  EXPECT_EQ(Cell("sig_zz", 1), "50.00");
  EXPECT_EQ(sheet().Cell(Col("sig_zz") + 1, 1), "0.00");
  EXPECT_EQ(Cell("sig_yz", 1), "0.00");
  EXPECT_EQ(sheet().Cell(Col("sig_yz") + 1, 1), "0.00");

  // All six fixed and d0 fixed: the given values come back unchanged.
  for (const char* box : {"sig11box", "sig22box", "d0box"}) form().SetChecked(box, true);
  Set("sig_xx", 1, "10");
  Set("sig_yy", 1, "-20");
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  EXPECT_EQ(Cell("sig_xx", 1), "10.00");
  EXPECT_EQ(Cell("sig_yy", 1), "-20.00");
  EXPECT_EQ(Cell("sig_zz", 1), "50.00");
  EXPECT_GT(Value(Cell("chisq", 1)), 0);
}

// Every refusal of "Calc Stress" is reported before the first fit: no cell changes, also not
// those of a data set that comes before the faulty one.
TEST_F(StressFitTest, RefusalsLeaveTheWorksheetUntouched) {
  const struct Case {
    const char* name;
    bool s1Layout;
    bool d0Fixed;
    int row;
    const char* column;  // header of the cell to spoil, or a column number 5..8
    int colIndex;
    const char* text;
    const char* message;
  } cases[] = {
      {"missing d", false, false, 4, nullptr, 5, " ",
       "Fields are missing or have the wrong format at line 4"},
      {"bad factor", false, false, 2, "F12", 0, "x1",
       "Fields are missing or have the wrong format at line 2"},
      {"missing S1", true, false, 3, "S1", 0, " ",
       "Fields are missing or have the wrong format at line 3"},
      // Both count worksheet rows (row 4 is the second member of data set "2").
      {"zero d uncertainty", false, false, 4, nullptr, 6, "0", "D-spacing uncertainty is 0 at cell 4 (row 4, the \"+/-\" of \"d\")"},
      {"zero d0 uncertainty", false, true, 4, nullptr, 8, "0.000", "D0 uncertainty is 0 at cell 4 (row 4, the \"+/-\" of \"d0\")"},
      {"zero d0 fitted", false, false, 4, nullptr, 7, "0", "D0 is 0 at line 4 (column \"d0\")"},
      {"zero d0 fixed", false, true, 4, nullptr, 7, "0", "D0 is 0 at line 4 (column \"d0\")"},
      {"d0 equal to its uncertainty", false, true, 4, nullptr, 8, "1.17",
       "D0 plus or minus its uncertainty is 0 at line 4 (columns \"d0\" and \"+/-\")"},
      // Data set "1" left with phi = 0 alone (the S1 layout builds the factors from the
      // angles): its F22 is s1 in every row, like the d0 term.
      {"undetermined components", true, false, 5, "phi", 0, "0",
       "Data set \"1\": sig_yy and d0 cannot be separated with phi = 0 alone: fix one of them "
       "or add directions"},
  };
  const Real directions[][2] = {{0, 0}, {0, 0}, {0, 45}, {0, 45}, {90, 45}, {90, 45}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    if (c.s1Layout) UseS1Layout();
    form().SetChecked("d0box", c.d0Fixed);
    for (int r = 1; r <= 6; ++r) {
      Row(r, {r % 2 ? "1" : "2",
              directions[r - 1][0],
              directions[r - 1][1],
              {0, 100, 50, 0, 0, 0, 0},
              1.17L});
      if (c.s1Layout) {
        Set("S1", r, "-1.25");
        Set("½S2", r, "5.8");
      }
    }
    if (c.column)
      Set(c.column, c.row, c.text);
    else
      sheet().SetCell(c.colIndex, c.row, c.text);
    const std::vector<std::string> before = Snapshot();
    ASSERT_TRUE(m_->Run("StressBtnClick"));
    // The message of the page, with the row and column added where it names none.
    ASSERT_EQ(services_.Texts().size(), 1u);
    EXPECT_THAT(services_.Texts()[0], ::testing::StartsWith(c.message));
    EXPECT_TRUE(Snapshot() == before);
  }
}

// The S1 notation builds the stress factors of a quasi-isotropic sample from the row's s1 and
// 1/2 s2, and the context keeps the last row's pair.
TEST_F(StressFitTest, S1NotationFit) {
  UseS1Layout();
  const Real directions[][2] = {{0, 0}, {0, 30}, {0, 60}, {90, 30}, {90, 60}};
  for (int r = 1; r <= 5; ++r) {
    Row(r, {"1", directions[r - 1][0], directions[r - 1][1], {0, -200, 75, 0, 0, 0, 0}, 1.17L});
    Set("S1", r, "-1.25");
    Set("½S2", r, "5.8");
  }
  ASSERT_TRUE(m_->Run("StressBtnClick"));
  EXPECT_TRUE(services_.messages.empty());
  EXPECT_EQ(Cell("sig_xx", 1), "-200.00");
  EXPECT_EQ(Cell("sig_yy", 1), "75.00");
  EXPECT_EQ(Cell("d0_calc", 1), "1.170000");
  EXPECT_EQ(m_->CurrentContext.s1, -1.25L);
  EXPECT_EQ(m_->CurrentContext.s2, 5.8L);
}

class GrainsFileTest : public StressPageTest {
 protected:
  fs::path in() const { return dir_ / "grains.txt"; }
  fs::path out() const { return dir_ / "result.txt"; }
  void ChooseFiles(const fs::path& input, const fs::path& output) {
    services_.files = {input.string(), output.string()};
  }
};

// Reuss grains without texture: the file receives the quasi-isotropic stress factors of each
// line (shear factors not doubled) after an echo of the line's inputs.
TEST_F(GrainsFileTest, WritesStressFactorsPerLine) {
  WriteFile(in(), "2 1 1 0 45 1 1 1 0 0 0 2\r\n\r\n1 1 0 90 30 1 1 1 0.5 0 0 2 extra\n");
  ChooseFiles(in(), out());
  ASSERT_TRUE(m_->Run("GrainsFileBtnClick"));
  EXPECT_TRUE(services_.messages.empty());
  ASSERT_EQ(services_.dialogs.size(), 2u);
  EXPECT_EQ(services_.dialogs[0].dialog.title, "Load grains file");
  EXPECT_EQ(services_.dialogs[1].dialog.title, "Save calculation results");
  EXPECT_EQ(form().openDialog.title, "");
  EXPECT_EQ(form().saveDialog.title, "");
  EXPECT_EQ(form().statusPanels[0], "");
  EXPECT_FALSE(fs::exists(out().string() + ".tmp"));

  const std::string text = ReadFile(out());
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  ASSERT_EQ(lines.size(), 2u);
  const struct {
    Real h, k, l, phi, psi;
    std::vector<std::string> echo;
  } expected[] = {
      {2,
       1,
       1,
       0,
       45,
       {" 2", " 1", " 1", "  0.0", " 45.0", "1.000", "1.000", "1.000", "  0.0", "  0.0", "  0.0",
        " 2"}},
      {1,
       1,
       0,
       90,
       30,
       {" 1", " 1", " 0", " 90.0", " 30.0", "1.000", "1.000", "1.000", " 28.6", "  0.0", "  0.0",
        " 2"}},
  };
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    std::vector<std::string> fields;
    for (int f = 1; f <= core::CountTabFields(lines[i]); ++f)
      fields.push_back(core::GetTabField(lines[i], f));
    ASSERT_EQ(fields.size(), 18u);
    EXPECT_NE(lines[i].back(), '\t');
    for (std::size_t f = 0; f < 12; ++f) EXPECT_EQ(fields[f], expected[i].echo[f]) << f;
    Real s1 = 0, s2 = 0;
    const auto& e = expected[i];
    ReflectionDec(m_->CurrentContext, e.h, e.k, e.l, models::kReuss, s1, s2);
    const Real phi = e.phi * core::kPi / 180, psi = e.psi * core::kPi / 180;
    const Real m[4] = {0, std::cos(phi) * std::sin(psi), std::sin(phi) * std::sin(psi),
                       std::cos(psi)};
    const int kl[6][2] = {{1, 1}, {2, 2}, {3, 3}, {2, 3}, {1, 3}, {1, 2}};
    for (int n = 0; n < 6; ++n) {
      const int k = kl[n][0], l = kl[n][1];
      const Real F = (k == l ? s1 : 0) + s2 * m[k] * m[l];
      EXPECT_NEAR(Value(fields[12 + n]), 1000 * F, 1e-6L) << n;
    }
  }
}

// A line that cannot be used ends the command with the file and line named; the output file
// as it was before stays untouched and no temporary file remains.
TEST_F(GrainsFileTest, RefusedLines) {
  const struct {
    const char* line2;
    std::string message;
  } cases[] = {
      {"1 1 0 90 abc 1 1 1 0 0 0 2", "Fields are missing or have the wrong format"},
      {"1 1 0 90 30 1 1 1 0 0 0", "Fields are missing or have the wrong format"},
      {"1 1 0 90 30 1 1 1 0 0 0 2.5", "Fields are missing or have the wrong format"},
      {"1 1 0 90 30 1 1 1 0 0 0 12", "Model not available (Vook-Witt)"},
      {"1 1 0 90 30 1 0 1 0 0 0 2", models::CheckAxes({1, 0, 1})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line2);
    Fresh();
    WriteFile(in(), std::string("2 1 1 0 45 1 1 1 0 0 0 2\n") + c.line2 + "\n");
    WriteFile(out(), "previous results\r\n");
    ChooseFiles(in(), out());
    ASSERT_TRUE(m_->Run("GrainsFileBtnClick"));
    EXPECT_EQ(services_.Texts(),
              std::vector<std::string>{c.message + " in " + in().string() + " at line 2"});
    EXPECT_EQ(ReadFile(out()), "previous results\r\n");
    EXPECT_FALSE(fs::exists(out().string() + ".tmp"));
    EXPECT_EQ(form().openDialog.title, "");
  }
}

TEST_F(GrainsFileTest, CancelledDialogsDoNothing) {
  WriteFile(in(), "2 1 1 0 45 1 1 1 0 0 0 2\n");
  for (const bool cancelOpen : {true, false}) {
    services_.files.clear();
    if (cancelOpen) {
      services_.files.push_back(std::nullopt);
    } else {
      services_.files.push_back(in().string());
      services_.files.push_back(std::nullopt);
    }
    ASSERT_TRUE(m_->Run("GrainsFileBtnClick"));
    EXPECT_TRUE(services_.messages.empty());
    EXPECT_FALSE(fs::exists(out()));
    EXPECT_EQ(form().openDialog.title, "");
    EXPECT_EQ(form().saveDialog.title, "");
  }
}

}  // namespace
}  // namespace polydec::workbench
