// Spacings predicted from the result block's stresses: the worked value, which rows a result
// row reaches, the refusals, and the round trip through the stress evaluation.
#include "stress/strain_calculation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/text_fields.h"
#include "stress/stress_fit.h"
#include "stress/worksheet_cells.h"

namespace polydec::stress {
namespace {

using core::FormatFixed;

const char* const kF[] = {"F11", "F22", "F33", "F23", "F13", "F12"};

// A new worksheet (Fij layout, result row 1 at zero stress) and helpers by column name.
struct Sheet {
  core::CellTable g;
  Sheet() { NewWorksheet(g); }
  void Set(const std::string& col, int row, const std::string& text) {
    g.SetCell(g.ColumnOf(col), row, text);
  }
  const std::string& Cell(const std::string& col, int row) const {
    return g.Cell(g.ColumnOf(col), row);
  }
  // A measurement row with stress factors F11 = -1.2, F22 = F33 = 0.4 and no shear terms.
  void Row(int r, const std::string& label, const std::string& d0 = "2") {
    Set("#", r, label);
    Set("phi", r, "0");
    Set("psi", r, "30");
    g.SetCell(7, r, d0);
    const char* f[] = {"-1.2", "0.4", "0.4", "0", "0", "0"};
    for (int k = 0; k < 6; ++k) Set(kF[k], r, f[k]);
  }
  void Stress(int t, const std::string& label, const std::string& sigXX) {
    Set("##", t, label);
    Set("sig_xx", t, sigXX);
  }
  std::optional<core::InputError> Run(bool useEps0 = false) {
    return CalculateStrain(g, true, useEps0, nullptr);
  }
};

TEST(StrainCalculation, WorkedExampleAndWhichRowsAResultRowReaches) {
  Sheet s;
  s.Row(1, "A");
  s.Row(2, "B");
  s.Row(3, " ");
  s.Stress(1, "A", "100");
  s.Stress(2, " ", "-50");  // a blank label is a label: it meets the rows labelled blank
  ASSERT_FALSE(s.Run());
  // 2 + 1e-6 (-1.2 * 100) 2
  EXPECT_EQ(s.Cell("d_calc", 1), "1.999760");
  EXPECT_EQ(s.Cell("d_calc", 2), "") << "no result row carries the label B";
  EXPECT_EQ(s.Cell("d_calc", 3), "2.000120");
}

TEST(StrainCalculation, TheLaterOfTwoResultRowsWithOneLabelWins) {
  Sheet s;
  s.Row(1, "A");
  s.Stress(1, "A", "100");
  s.Stress(2, "A", "200");
  ASSERT_FALSE(s.Run());
  EXPECT_EQ(s.Cell("d_calc", 1), "1.999520");
}

TEST(StrainCalculation, ResultRowsWithoutAnyStressLeaveTheSpacingsAlone) {
  // The blank rows after the result block carry the blank label of unlabelled measurement
  // rows; zero stress would put d0 into their d_calc.
  Sheet s;
  s.Row(1, " ");
  s.Set("d_calc", 1, "1.234567");
  for (int p = 0; p < 12; ++p) s.g.SetCell(s.g.ColumnOf("sig_xx") + p, 1, " ");
  s.Set("##", 1, " ");
  ASSERT_FALSE(s.Run());
  EXPECT_EQ(s.Cell("d_calc", 1), "1.234567");
}

TEST(StrainCalculation, Eps0IsSubtractedOnlyWhenAskedAndABadCellBecomesZero) {
  const struct Case {
    const char* eps0;
    bool use;
    const char* dCalc;
    const char* eps0After;
  } cases[] = {{"0.0001", true, "1.999560", "0.0001"},
               {"0.0001", false, "1.999760", "0.0001"},
               {"abc", true, "1.999760", "0"},
               {"abc", false, "1.999760", "abc"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.eps0) + (c.use ? " used" : " not used"));
    Sheet s;
    s.Row(1, "A");
    s.Set("eps0", 1, c.eps0);
    s.Stress(1, "A", "100");
    ASSERT_FALSE(s.Run(c.use));
    EXPECT_EQ(s.Cell("d_calc", 1), c.dCalc);
    EXPECT_EQ(s.Cell("eps0", 1), c.eps0After);
  }
}

TEST(StrainCalculation, Refusals) {
  // A missing stress factor anywhere stops everything when the result row has a shear stress
  // sig_xy; a row with unreadable factors is otherwise passed over.
  {
    Sheet s;
    s.Row(1, "A");
    s.Row(2, "A");
    s.Set("F13", 2, "x");
    s.Stress(1, "A", "100");
    const auto e = s.Run();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message, kMissingInputMessage);
    EXPECT_EQ(e->line, 2);
    EXPECT_EQ(e->field, "F13");
    EXPECT_EQ(s.Cell("d_calc", 1), "") << "nothing is calculated";

    s.Set("sig_xy", 1, "-");
    ASSERT_FALSE(s.Run());
    EXPECT_EQ(s.Cell("d_calc", 1), "1.999760");
    EXPECT_EQ(s.Cell("d_calc", 2), "");
  }
  // A row without d0 stops the calculation; rows before it keep their new values.
  {
    Sheet s;
    s.Row(1, "A");
    s.Row(2, "A", "n/a");
    s.Row(3, "A");
    s.Stress(1, "A", "100");
    const auto e = s.Run();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message, kNoD0Message);
    EXPECT_EQ(e->line, 2);
    EXPECT_EQ(s.Cell("d_calc", 1), "1.999760");
    EXPECT_EQ(s.Cell("d_calc", 3), "");
  }
}

TEST(StrainCalculation, S1LayoutUsesTheQuasiIsotropicFactorsAndReportsEachRow) {
  core::CellTable g;
  NewWorksheet(g);
  NameWorksheetColumns(g, false);
  const Real s1 = -1.25L, s2 = 5.8L, phi = 30, psi = 40;
  g.SetCell(g.ColumnOf("#"), 1, "1");
  g.SetCell(g.ColumnOf("phi"), 1, "30");
  g.SetCell(g.ColumnOf("psi"), 1, "40");
  g.SetCell(7, 1, "1.17");
  g.SetCell(g.ColumnOf("S1"), 1, "-1.25");
  g.SetCell(g.ColumnOf("\xC2\xBDS2"), 1, "5.8");
  const std::array<Real, 6> sig{200, -100, 0, 30, 40, 50};
  for (int p = 0; p < 12; ++p) g.SetCell(g.ColumnOf("sig_xx") + p, 1, " ");
  g.SetCell(g.ColumnOf("##"), 1, "1");
  const char* names[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};
  for (int p = 0; p < 6; ++p) g.SetCell(g.ColumnOf(names[p]), 1, FormatFixed(sig[p], 7, 2));
  std::vector<StrainProgress> seen;
  ASSERT_FALSE(
      CalculateStrain(g, false, true, [&](const StrainProgress& p) { seen.push_back(p); }));
  const core::Tensor2 F = IsoStressFactors(s1, s2, phi * core::kPi / 180, psi * core::kPi / 180);
  const Real eps = F(1, 1) * sig[0] + F(2, 2) * sig[1] + F(3, 3) * sig[2] + F(2, 3) * sig[3] +
                   F(1, 3) * sig[4] + F(1, 2) * sig[5];
  EXPECT_EQ(g.Cell(g.ColumnOf("d_calc"), 1), FormatFixed(1.17L * (1 + 1e-6L * eps), 9, 6));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].s1Layout);
  EXPECT_EQ(seen[0].s1, s1);
  EXPECT_EQ(seen[0].s2half, s2);
  EXPECT_NEAR(seen[0].psi, psi * core::kPi / 180, 1e-15);
}

// The stresses the evaluation writes (d0 held, no eps0) give back its d_calc to within the
// rounding of the stresses to two decimals.
TEST(StrainCalculation, ReproducesTheSpacingsOfTheStressEvaluation) {
  Sheet s;
  const std::array<Real, 6> sigma{312.345L, -87.654L, 0, 0, 21.5L, -40.25L};
  const Real d0 = 1.17004L;
  int r = 0;
  for (Real phi : {0, 45, 90, 135})
    for (Real psi : {-50, -30, 0, 30, 50}) {
      ++r;
      const core::Tensor2 F =
          IsoStressFactors(-1.25L, 5.8L, phi * core::kPi / 180, psi * core::kPi / 180);
      const Real f[] = {F(1, 1), F(2, 2), F(3, 3), F(2, 3), F(1, 3), F(1, 2)};
      Real eps = 0;
      for (int p = 0; p < 6; ++p) eps += f[p] * sigma[p];
      // A little scatter so that the fit is no exact identity.
      const Real d = d0 * (1 + 1e-6L * eps) + 2e-6L * ((r % 3) - 1);
      s.Set("#", r, "1");
      s.Set("phi", r, FormatFixed(phi, 5, 1));
      s.Set("psi", r, FormatFixed(psi, 5, 1));
      s.Set("d", r, FormatFixed(d, 9, 7));
      s.g.SetCell(6, r, "0.00002");
      s.g.SetCell(7, r, FormatFixed(d0, 8, 5));
      s.g.SetCell(8, r, "0.00005");
      for (int p = 0; p < 6; ++p) s.Set(kF[p], r, FormatFixed(f[p], 9, 6));
    }
  const WorksheetStressRows rows = ReadStressRows(s.g, true);
  ASSERT_FALSE(rows.error);
  StressFitOptions options;
  options.fixed = {false, false, true, true, false, false};
  options.d0Fixed = true;
  const StressEvaluation e =
      EvaluateStress(rows.rows, options, [](std::size_t) { return std::array<Real, 6>{}; });
  ASSERT_FALSE(e.error);
  WriteStressResults(s.g, e.sets);
  std::vector<Real> fitted;
  for (int k = 1; k <= r; ++k) {
    fitted.push_back(core::ParseNumber(s.Cell("d_calc", k)).value);
    s.Set("d_calc", k, " ");
  }
  ASSERT_FALSE(s.Run());
  // 0.005 MPa in a stress moves d by at most d0 * 1e-6 * 0.005 * sum |F| < 1e-8, below the
  // six decimals of the cells: one unit of the last decimal covers the rounding of both.
  for (int k = 1; k <= r; ++k)
    EXPECT_NEAR(core::ParseNumber(s.Cell("d_calc", k)).value, fitted[k - 1], 1.01e-6) << k;
}

TEST(StrainCalculation, StressAssignments) {
  const StressAssignment ok = ParseStressAssignment("  sig_xx=100 sig_xy=-2.5e1 ");
  ASSERT_FALSE(ok.error);
  EXPECT_EQ(ok.sig, (std::array<Real, 6>{100, 0, 0, 0, 0, -25}));
  const struct Case {
    const char* text;
    int word;
  } bad[] = {{"", 0},        {"sig_xx=100 sig_ab=1", 2}, {"sig_xx", 1},
             {"sig_yy=", 1}, {"sig_yy=1x", 1},           {"sig_zz=nan", 1}};
  for (const Case& c : bad) {
    SCOPED_TRACE(c.text);
    const StressAssignment a = ParseStressAssignment(c.text);
    ASSERT_TRUE(a.error);
    EXPECT_EQ(a.error->column, c.word);
  }
}

TEST(StrainCalculation, GivenStressGoesToEveryDataSetAndEndsTheResultBlock) {
  Sheet s;
  s.Row(1, "A");
  s.Row(2, "B");
  s.Row(3, "A");
  s.Set("##", 3, "old");
  s.Set("sig_xx", 3, "999");
  EXPECT_EQ(SetStressOfEveryDataSet(s.g, {100, 0, 0, 0, 0, 0}), 2);
  EXPECT_EQ(s.Cell("##", 1), "A");
  EXPECT_EQ(s.Cell("##", 2), "B");
  EXPECT_EQ(s.Cell("##", 3), "");
  ASSERT_FALSE(s.Run());
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(s.Cell("d_calc", r), "1.999760") << r;
}

}  // namespace
}  // namespace polydec::stress
