// The sin²ψ plot of the worksheet, without a toolkit: the points are the worksheet's numbers for
// the data set of the selected row, lines come only from rows that hold d_calc, a row whose
// cells are no numbers is left out and counted, and in strain mode the per-azimuth regression
// draws its lines through the points it was fitted to.
#include "workbench/sin2psi_plot_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "core/text_fields.h"
#include "stress/worksheet_cells.h"

namespace polydec::workbench {
namespace {

struct SheetRow {
  std::string label, phi, psi, d, sd, d0, dCalc;
};

// A worksheet of the given layout whose rows 1.. hold the rows given.
core::CellTable Sheet(const std::vector<SheetRow>& rows, bool fij = true) {
  core::CellTable g;
  stress::NewWorksheet(g);
  if (!fij) stress::NameWorksheetColumns(g, false);
  const int colDCalc = g.ColumnOf("d_calc");
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const int r = static_cast<int>(k) + 1;
    const SheetRow& s = rows[k];
    for (const auto& [c, text] : {std::pair<int, std::string>{1, s.label}, {2, "2 1 1"},
                                  {3, s.phi}, {4, s.psi}, {5, s.d}, {6, s.sd}, {7, s.d0},
                                  {8, "0.00005"}, {colDCalc, s.dCalc}})
      g.SetCell(c, r, text);
  }
  return g;
}

Real Number(const std::string& text) { return core::ParseNumber(text).value; }

Real Sin2(Real psiDegrees) {
  const Real s = std::sin(psiDegrees * core::kPi / 180);
  return s * s;
}

// Two data sets; set "A" has two azimuths and both ψ branches, set "B" one azimuth.
const std::vector<SheetRow> kRows = {
    {"A", "0", "0", "1.169562", "0.00002", "1.17004", " "},
    {"A", "0", "30", "1.169900", "0.00002", "1.17004", " "},
    {"B", "0", "20", "2.000100", "0.00004", "2.0", " "},
    {"A", "90", "45", "1.169800", "0.00003", "1.17004", " "},
    {"A", "0", "-30", "1.169950", "0.00002", "1.17004", " "},
    {"A", "90", "-45", "1.169700", "0.00003", "1.17004", " "},
};

TEST(Sin2PsiPlot, PointsAreTheWorksheetsNumbersOfTheSelectedRowsDataSet) {
  const core::CellTable g = Sheet(kRows);
  const Sin2PsiPlotData plot = BuildSin2PsiPlot(g, 4, true, PlotQuantity::kSpacing, false);
  EXPECT_EQ(plot.label, "A");
  EXPECT_EQ(plot.selectedRow, 4);
  EXPECT_TRUE(plot.skippedRows.empty());
  EXPECT_EQ(plot.yTitle, "d (Å)");
  ASSERT_EQ(plot.azimuths.size(), 2u);
  const struct {
    std::size_t azimuth, point;
    int row;
  } expected[] = {{0, 0, 1}, {0, 1, 2}, {0, 2, 5}, {1, 0, 4}, {1, 1, 6}};
  EXPECT_EQ(plot.azimuths[0].phi, 0);
  EXPECT_EQ(plot.azimuths[1].phi, 90);
  EXPECT_EQ(plot.azimuths[0].points.size(), 3u);
  EXPECT_EQ(plot.azimuths[1].points.size(), 2u);
  for (const auto& e : expected) {
    const SheetRow& s = kRows[static_cast<std::size_t>(e.row) - 1];
    const PlotPoint& p = plot.azimuths[e.azimuth].points[e.point];
    SCOPED_TRACE(e.row);
    EXPECT_EQ(p.row, e.row);
    EXPECT_EQ(p.psi, Number(s.psi));
    EXPECT_EQ(p.sin2psi, Sin2(Number(s.psi)));
    EXPECT_EQ(p.value, Number(s.d));
    EXPECT_EQ(p.error, Number(s.sd));
    EXPECT_EQ(p.positivePsi, Number(s.psi) >= 0);
  }
  // Without d_calc there is nothing to join and nothing to compare with.
  for (const PlotAzimuth& a : plot.azimuths) {
    EXPECT_TRUE(a.fitLines.empty());
    EXPECT_TRUE(a.residuals.empty());
    EXPECT_TRUE(a.azimuthLines.empty());
  }

  // Another row selects its own data set; a row outside the measurements the first one's.
  const Sin2PsiPlotData b = BuildSin2PsiPlot(g, 3, true, PlotQuantity::kSpacing, false);
  EXPECT_EQ(b.label, "B");
  ASSERT_EQ(b.azimuths.size(), 1u);
  ASSERT_EQ(b.azimuths[0].points.size(), 1u);
  EXPECT_EQ(b.azimuths[0].points[0].row, 3);
  for (const int outside : {0, 7, 399, 5000, -1})
    EXPECT_EQ(BuildSin2PsiPlot(g, outside, true, PlotQuantity::kSpacing, false).label, "A")
        << outside;
}

// Two reflections measured at the same azimuth are two series: joining their spacings by
// sin²ψ drew a sawtooth between the two lattice spacings.
TEST(Sin2PsiPlot, EachReflectionAtEachAzimuthIsItsOwnSeries) {
  core::CellTable g = Sheet({{"A", "0", "0", "1.169562", "0.00002", "1.17004", " "},
                             {"A", "0", "0", "0.906000", "0.00002", "0.90631", " "},
                             {"A", "0", "30", "1.169900", "0.00002", "1.17004", " "},
                             {"A", "0", "30", "0.906400", "0.00002", "0.90631", " "}});
  g.SetCell(2, 2, "3 1 0");
  g.SetCell(2, 4, "(3 1 0)");
  const Sin2PsiPlotData plot = BuildSin2PsiPlot(g, 1, true, PlotQuantity::kSpacing, false);
  ASSERT_EQ(plot.azimuths.size(), 2u);
  EXPECT_EQ(plot.azimuths[0].reflection, "2 1 1");
  EXPECT_EQ(plot.azimuths[1].reflection, "3 1 0");
  for (const PlotAzimuth& a : plot.azimuths) {
    ASSERT_EQ(a.points.size(), 2u) << a.reflection;
    EXPECT_EQ(a.points[0].value > 1, a.reflection == "2 1 1");
    EXPECT_EQ(a.points[1].value > 1, a.reflection == "2 1 1");
  }
}

TEST(Sin2PsiPlot, AFreshWorksheetHasNothingToPlot) {
  core::CellTable g;
  stress::NewWorksheet(g);
  const Sin2PsiPlotData plot = BuildSin2PsiPlot(g, 1, true, PlotQuantity::kStrain, false);
  EXPECT_TRUE(plot.Empty());
  EXPECT_FALSE(plot.note.empty());
  EXPECT_TRUE(plot.skippedRows.empty());
}

// Rows with a cell that is no number are left out and named, never drawn at 0.
TEST(Sin2PsiPlot, RowsWhoseCellsAreNoNumbersAreLeftOutAndCounted) {
  std::vector<SheetRow> rows = {
      {"1", "0", "0", "1.169562", "0.00002", "1.17004", " "},
      {"1", "0", "18.43", "abc", "0.00002", "1.17004", " "},     // d
      {"1", "0", "26,57", "1.169879", "0.00002", "1.17004", " "},  // decimal comma in psi
      {"1", "0", "33.21", "1.170050", " ", "1.17004", " "},        // empty uncertainty
      {"1", "0", "39.23", "1.170212", "-0.00002", "1.17004", " "},  // negative uncertainty
      {"1", "x", "45", "1.170388", "0.00002", "1.17004", " "},     // phi
      {"1", "0", "50.77", "1.170560", "0.00002", "0", " "},        // d0 = 0: only strain
      {"1", "0", "56.79", "1.170722", "0.00002", "1.17004", " "},
      {"1", "0", "60", "1e4000", "0.00002", "1.17004", " "},  // no finite value on a chart
  };
  const core::CellTable g = Sheet(rows);
  const Sin2PsiPlotData d = BuildSin2PsiPlot(g, 1, true, PlotQuantity::kSpacing, false);
  EXPECT_EQ(d.skippedRows, (std::vector<int>{2, 3, 4, 5, 6, 9}));
  ASSERT_EQ(d.azimuths.size(), 1u);
  std::vector<int> plotted;
  for (const PlotPoint& p : d.azimuths[0].points) {
    plotted.push_back(p.row);
    EXPECT_NE(p.value, 0);
  }
  EXPECT_EQ(plotted, (std::vector<int>{1, 7, 8}));
  EXPECT_NE(d.note.find("6 rows"), std::string::npos) << d.note;
  EXPECT_NE(d.note.find("2, 3, 4, 5, 6, 9"), std::string::npos) << d.note;

  const Sin2PsiPlotData e = BuildSin2PsiPlot(g, 1, true, PlotQuantity::kStrain, false);
  EXPECT_EQ(e.skippedRows, (std::vector<int>{2, 3, 4, 5, 6, 7, 9}));
}

// The fitted d_calc is joined per branch by sin²ψ (the ψ = 0 row in both), and the residual
// of each row holding d_calc is (d - d_calc)/u.
TEST(Sin2PsiPlot, DCalcLinesAndResidualsComeFromTheRowsHoldingDCalc) {
  std::vector<SheetRow> rows = {
      {"1", "0", "45", "1.170388", "0.00002", "1.17004", "1.170400"},
      {"1", "0", "0", "1.169562", "0.00002", "1.17004", "1.169540"},
      {"1", "0", "-45", "1.170300", "0.00002", "1.17004", "1.170320"},
      {"1", "0", "20", "1.169700", "0.00002", "1.17004", " "},  // no d_calc: point only
      {"1", "0", "-20", "1.169720", "0.00002", "1.17004", "1.169730"},
      {"1", "90", "30", "1.169600", "0.00002", "1.17004", "1.169610"},  // alone: no line
  };
  const core::CellTable g = Sheet(rows);
  const Sin2PsiPlotData plot = BuildSin2PsiPlot(g, 1, true, PlotQuantity::kSpacing, false);
  ASSERT_EQ(plot.azimuths.size(), 2u);
  const PlotAzimuth& a = plot.azimuths[0];
  ASSERT_EQ(a.points.size(), 5u);
  ASSERT_EQ(a.fitLines.size(), 2u);
  EXPECT_TRUE(a.fitLines[0].positivePsi);
  EXPECT_FALSE(a.fitLines[1].positivePsi);
  const auto ys = [](const PlotLine& l) {
    std::vector<Real> y;
    for (const PlotXY& p : l.points) y.push_back(p.y);
    return y;
  };
  EXPECT_EQ(ys(a.fitLines[0]), (std::vector<Real>{Number("1.169540"), Number("1.170400")}));
  EXPECT_EQ(ys(a.fitLines[1]),
            (std::vector<Real>{Number("1.169540"), Number("1.169730"), Number("1.170320")}));
  EXPECT_EQ(a.fitLines[1].points[1].x, Sin2(-20));

  ASSERT_EQ(a.residuals.size(), 4u);
  for (const PlotResidual& r : a.residuals) {
    const SheetRow& s = rows[static_cast<std::size_t>(r.row) - 1];
    EXPECT_EQ(r.value, (Number(s.d) - Number(s.dCalc)) / Number(s.sd)) << r.row;
  }
  EXPECT_TRUE(plot.azimuths[1].fitLines.empty());
  EXPECT_EQ(plot.azimuths[1].residuals.size(), 1u);

  // In strain mode the line is the strain of d_calc against the row's d0; residuals stay in d.
  const Sin2PsiPlotData strain = BuildSin2PsiPlot(g, 1, true, PlotQuantity::kStrain, false);
  const Real d0 = Number("1.17004");
  EXPECT_EQ(strain.yTitle, "strain");
  EXPECT_EQ(strain.azimuths[0].points[0].value, (Number("1.170388") - d0) / d0);
  EXPECT_EQ(strain.azimuths[0].points[0].error, Number("0.00002") / d0);
  EXPECT_EQ(strain.azimuths[0].fitLines[0].points[1].y, (Number("1.170400") - d0) / d0);
  EXPECT_EQ(strain.azimuths[0].residuals[0].value, a.residuals[0].value);
}

// Synthetic untextured data of a known stress with shear in the S1 layout: in strain mode each
// azimuth gets one regression line per branch, through the (noise-free) points.
TEST(Sin2PsiPlot, StrainModeDrawsThePerAzimuthRegressionThroughThePoints) {
  const Real s1 = -1.25L, s2half = 5.8L, d0 = 1.17004L;
  const Real sig[6] = {250, -120, 0, 15, -35, 60};  // xx yy zz yz xz xy, MPa
  std::vector<SheetRow> rows;
  for (const Real phi : {0, 90})
    for (const Real psi : {-50, -35, -20, 0, 20, 35, 50}) {
      const Real f = phi * core::kPi / 180, p = psi * core::kPi / 180;
      const Real n[3] = {std::cos(f) * std::sin(p), std::sin(f) * std::sin(p), std::cos(p)};
      const Real strain =
          s1 * (sig[0] + sig[1] + sig[2]) +
          s2half * (n[0] * n[0] * sig[0] + n[1] * n[1] * sig[1] + n[2] * n[2] * sig[2] +
                    2 * n[1] * n[2] * sig[3] + 2 * n[0] * n[2] * sig[4] + 2 * n[0] * n[1] * sig[5]);
      rows.push_back({"1", core::FormatGeneral(phi), core::FormatGeneral(psi),
                      core::FormatGeneral(d0 * (1 + 1e-6L * strain)), "0.00002",
                      core::FormatGeneral(d0), " "});
    }
  core::CellTable g = Sheet(rows, false);
  for (int r = 1; r <= static_cast<int>(rows.size()); ++r) {
    g.SetCell(g.ColumnOf("S1"), r, core::FormatGeneral(s1));
    g.SetCell(g.ColumnOf("½S2"), r, core::FormatGeneral(s2half));
  }
  EXPECT_TRUE(BuildSin2PsiPlot(g, 1, false, PlotQuantity::kSpacing, false).azimuths[0]
                  .azimuthLines.empty());
  const Sin2PsiPlotData plot = BuildSin2PsiPlot(g, 1, false, PlotQuantity::kStrain, false);
  ASSERT_EQ(plot.azimuths.size(), 2u);
  for (const PlotAzimuth& a : plot.azimuths) {
    SCOPED_TRACE(a.phi);
    ASSERT_EQ(a.azimuthLines.size(), 2u);
    for (const PlotLine& line : a.azimuthLines) {
      // The branch's line runs from ψ = 0 to its largest tilt and meets each of its points:
      // the data are exact, so the regression is too (to the digits of the d cells).
      EXPECT_EQ(line.points.front().x, 0);
      EXPECT_NEAR(static_cast<double>(line.points.back().x), static_cast<double>(Sin2(50)),
                  1e-15);
      for (const PlotPoint& p : a.points) {
        if (p.psi != 0 && p.positivePsi != line.positivePsi) continue;
        Real nearest = 1;
        for (const PlotXY& xy : line.points)
          if (std::fabs(xy.x - p.sin2psi) < 1e-12L) nearest = std::fabs(xy.y - p.value);
        if (std::fabs(p.psi) == 50 || p.psi == 0) {
          EXPECT_LT(nearest, 1e-9L) << p.row;  // well inside the 1.7e-5 of a point's error
        }
      }
    }
  }
  EXPECT_EQ(plot.note, "");

  // Without stress factors the regression has no s1 and 1/2 s2: no lines, and the note says why.
  core::CellTable bare = Sheet(rows, true);
  const Sin2PsiPlotData without = BuildSin2PsiPlot(bare, 1, true, PlotQuantity::kStrain, false);
  ASSERT_EQ(without.azimuths.size(), 2u);
  EXPECT_TRUE(without.azimuths[0].azimuthLines.empty());
  EXPECT_NE(without.note.find("No per-azimuth lines"), std::string::npos) << without.note;
}

TEST(Sin2PsiPlot, RangesHoldEveryPointWithItsErrorBarAndZeroResidual) {
  std::vector<SheetRow> rows = {
      {"1", "0", "0", "1.169562", "0.00002", "1.17004", "1.169600"},
      {"1", "0", "45", "1.170388", "0.00010", "1.17004", "1.170300"},
  };
  const Sin2PsiPlotData plot =
      BuildSin2PsiPlot(Sheet(rows), 1, true, PlotQuantity::kSpacing, false);
  const PlotRange v = ValueRange(plot);
  EXPECT_LT(v.min, Number("1.169542"));
  EXPECT_GT(v.max, Number("1.170488"));
  EXPECT_GT(v.min, 1.1694L);  // a margin, not a range that squeezes the points together
  const PlotRange r = ResidualRange(plot);
  EXPECT_LT(r.min, -1.9L);  // (1.169562 - 1.169600)/0.00002 = -1.9
  EXPECT_GT(r.max, 1);
  const PlotRange x = Sin2PsiRange(plot);
  EXPECT_EQ(x.min, 0);
  EXPECT_GT(x.max, 0.5L);
  EXPECT_LE(x.max, 1);
}

}  // namespace
}  // namespace polydec::workbench
