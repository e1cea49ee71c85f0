// What the sin²ψ plot of the "DEC/Stress/Strain" page shows, without a toolkit: for the data
// set of the selected worksheet row, per azimuth phi the measured points (d or strain against
// sin²ψ, with their uncertainties and the sign of ψ), the lines of the fitted d_calc, the
// residuals (d - d_calc)/u, and in strain mode the lines of the per-azimuth regression.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "core/types.h"

namespace polydec::workbench {

using core::Real;

enum class PlotQuantity { kSpacing, kStrain };

struct PlotXY {
  Real x = 0, y = 0;
  bool operator==(const PlotXY&) const = default;
};

// One measurement row as plotted; value and error in the plotted quantity.
struct PlotPoint {
  int row = 0;  // worksheet row
  Real psi = 0;  // degrees
  Real sin2psi = 0;
  Real value = 0;  // d, or the strain (d - d0)/d0 (less eps0 when it is subtracted)
  Real error = 0;  // the uncertainty of d, or of the strain (u/d0)
  bool positivePsi = true;  // ψ >= 0: filled marker; ψ < 0: open marker
  bool operator==(const PlotPoint&) const = default;
};

// A line drawn through one branch (ψ >= 0 or ψ < 0) of an azimuth; points in drawing order.
struct PlotLine {
  bool positivePsi = true;
  std::vector<PlotXY> points;
  bool operator==(const PlotLine&) const = default;
};

struct PlotResidual {
  int row = 0;
  Real sin2psi = 0;
  Real value = 0;  // (d - d_calc)/u
  bool positivePsi = true;
  bool operator==(const PlotResidual&) const = default;
};

// The rows of one reflection measured at one azimuth: the points of two reflections are never
// joined, since their spacings and stress factors differ.
struct PlotAzimuth {
  std::string reflection;  // "h k l" of the rows, empty when the cell names none
  Real phi = 0;            // degrees, of the azimuth's first row
  std::vector<PlotPoint> points;  // in row order
  // d_calc of the rows (in the plotted quantity), joined by sin²ψ per branch; rows with ψ = 0
  // belong to both branches. Empty where the rows hold no d_calc.
  std::vector<PlotLine> fitLines;
  // Strain mode: eps = A + B sin²ψ + C sin 2ψ of the per-azimuth regression, sampled over the
  // tilts of each branch. Empty in d mode and where the regression determined nothing.
  std::vector<PlotLine> azimuthLines;
  std::vector<PlotResidual> residuals;  // rows with d_calc and a positive uncertainty
  bool operator==(const PlotAzimuth&) const = default;
};

struct PlotRange {
  Real min = 0, max = 1;
  bool operator==(const PlotRange&) const = default;
};

struct Sin2PsiPlotData {
  PlotQuantity quantity = PlotQuantity::kSpacing;
  std::string label;     // the data set's "#" text; empty when the worksheet has no rows
  int selectedRow = 0;   // the worksheet row whose data set is shown
  std::vector<PlotAzimuth> azimuths;  // in the order of their first rows
  // Rows of the data set left out because a cell needed for the plot is no number (or d0 is
  // 0 in strain mode); they are never plotted with a made-up value.
  std::vector<int> skippedRows;
  std::string note;  // for the user: rows left out, why there are no per-azimuth lines
  std::string xTitle, yTitle, residualTitle;

  bool Empty() const { return azimuths.empty(); }
  bool operator==(const Sin2PsiPlotData&) const = default;
};

// The plot of the data set of worksheet row `selectedRow`; a row outside the measurements
// (the header, or below the last measurement) shows the data set of row 1. The measurements
// and data sets are those of the stress evaluation: rows 1.. up to the first without phi and
// psi, grouped by the exact text of "#".
Sin2PsiPlotData BuildSin2PsiPlot(const core::CellTable& g, int selectedRow, bool fij,
                                 PlotQuantity quantity, bool subtractEps0);

// The y range of the main plot (points with their error bars and every line) and of the
// residual strip, with a margin; a single value gets a range around it.
PlotRange ValueRange(const Sin2PsiPlotData& plot);
PlotRange ResidualRange(const Sin2PsiPlotData& plot);
// The sin²ψ range: from 0 to a little beyond the largest sin²ψ plotted (at most 1).
PlotRange Sin2PsiRange(const Sin2PsiPlotData& plot);

}  // namespace polydec::workbench
