#include "workbench/sin2psi_plot_data.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/text_fields.h"
#include "stress/per_azimuth.h"
#include "stress/stress_evaluation.h"
#include "stress/worksheet_cells.h"

namespace polydec::workbench {

namespace {

// Directions closer than this (degrees) share one azimuth, as in the per-azimuth evaluation.
constexpr Real kSameAzimuth = 1e-6L;
// Points along each branch of a per-azimuth regression line: enough for a smooth curve where
// the ψ-splitting bends it.
constexpr int kCurveSamples = 48;

bool BlankCell(const std::string& cell) {
  return cell.find_first_not_of(" \t") == std::string::npos;
}

// The column whose header holds name, or -1: a layout without it has no such cells (the
// worksheet's own lookup would give the last column instead).
int ColumnNamed(const core::CellTable& g, const std::string& name) {
  const int c = g.ColumnOf(name);
  return g.Cell(c, 0).find(name) == std::string::npos ? -1 : c;
}

Real Radians(Real degrees) { return degrees * core::kPi / 180; }

Real Sin2(Real psiDegrees) {
  const Real s = std::sin(Radians(psiDegrees));
  return s * s;
}

// The rows of the plotted data set that a line joins, in the order of their sin²ψ: a branch
// holds its own rows and those at ψ = 0, where both branches meet.
template <typename Row>
std::vector<const Row*> Branch(const std::vector<Row>& rows, bool positive) {
  std::vector<const Row*> out;
  for (const Row& r : rows)
    if (r.psi == 0 || (r.psi > 0) == positive) out.push_back(&r);
  std::stable_sort(out.begin(), out.end(),
                   [](const Row* a, const Row* b) { return a->sin2psi < b->sin2psi; });
  return out;
}

// A branch has rows of its own (not only those at ψ = 0) when some row's ψ has its sign.
template <typename Row>
bool HasBranch(const std::vector<Row>& rows, bool positive) {
  return std::any_of(rows.begin(), rows.end(), [positive](const Row& r) {
    return positive ? r.psi >= 0 : r.psi < 0;
  });
}

struct RowValues {
  int row = 0;
  Real psi = 0, sin2psi = 0;
  std::optional<Real> dCalcValue;  // d_calc in the plotted quantity
};

std::string RowList(const std::vector<int>& rows) {
  std::string text;
  constexpr std::size_t kShown = 8;
  for (std::size_t k = 0; k < rows.size() && k < kShown; ++k)
    text += (k == 0 ? "" : ", ") + std::to_string(rows[k]);
  if (rows.size() > kShown) text += ", ...";
  return text;
}

void Widen(PlotRange& r, bool& any, Real v) {
  if (!std::isfinite(static_cast<double>(v))) return;
  if (!any) {
    r = {v, v};
    any = true;
    return;
  }
  r.min = std::min(r.min, v);
  r.max = std::max(r.max, v);
}

PlotRange Padded(PlotRange r, bool any) {
  if (!any) return {0, 1};
  const Real span = r.max - r.min;
  // A single value (or values that agree to the last digits) gets a range around it.
  const Real pad = span > 1e-12L * std::max(Real{1}, std::fabs(r.max))
                       ? 0.08L * span
                       : std::max(std::fabs(r.max) * 1e-4L, Real{1e-6L});
  return {r.min - pad, r.max + pad};
}

}  // namespace

Sin2PsiPlotData BuildSin2PsiPlot(const core::CellTable& g, int selectedRow, bool fij,
                                 PlotQuantity quantity, bool subtractEps0) {
  Sin2PsiPlotData plot;
  plot.quantity = quantity;
  const bool strain = quantity == PlotQuantity::kStrain;
  const bool eps0Subtracted = strain && fij && subtractEps0;
  plot.xTitle = "sin²ψ";
  // The worksheet's spacings are in the unit of the wavelength, Ångström by the program's use.
  plot.yTitle = strain ? (eps0Subtracted ? "strain − eps0" : "strain") : "d (Å)";
  // (d − d_calc)/u: short enough for the strip's height, which cut the long form to "(d − …".
  plot.residualTitle = "Δd/u";

  // Columns 1..8 are the same in both layouts; the others are found by their headers.
  constexpr int colLabel = 1, colPhi = 3, colPsi = 4, colD = 5, colSd = 6, colD0 = 7;
  const int colDCalc = ColumnNamed(g, "d_calc");
  const int colEps0 = ColumnNamed(g, "eps0");

  // The measurements end at the first row without a direction.
  int lastRow = 0;
  for (int r = 1; r < g.rows; ++r) {
    if (BlankCell(g.Cell(colPhi, r)) && BlankCell(g.Cell(colPsi, r))) break;
    lastRow = r;
  }
  if (lastRow == 0) {
    plot.note = "The worksheet holds no measurements.";
    return plot;
  }
  plot.selectedRow = selectedRow >= 1 && selectedRow <= lastRow ? selectedRow : 1;
  plot.label = g.Cell(colLabel, plot.selectedRow);

  std::vector<std::vector<RowValues>> rowsOf;  // per azimuth, beside plot.azimuths
  for (int r = 1; r <= lastRow; ++r) {
    if (g.Cell(colLabel, r) != plot.label) continue;
    const auto number = [&g, r](int c) { return stress::MeasurementNumber(g.Cell(c, r)); };
    const auto phi = number(colPhi), psi = number(colPsi), d = number(colD), sd = number(colSd);
    const auto d0 = number(colD0);
    const auto finite = [](const std::optional<Real>& x) {
      return x && std::isfinite(static_cast<double>(*x));
    };
    const bool usable = finite(phi) && finite(psi) && finite(d) && finite(sd) && *sd >= 0 &&
                        (!strain || (finite(d0) && *d0 != 0));
    if (!usable) {
      plot.skippedRows.push_back(r);
      continue;
    }
    Real eps0 = 0;
    if (eps0Subtracted && colEps0 >= 0) {
      // As the stress evaluation reads it: an empty or unreadable eps0 is none.
      const core::ParsedNumber x = core::ParseNumber(core::GetWord(g.Cell(colEps0, r), 1));
      if (x.ok()) eps0 = x.value;
    }
    // d_calc in the plotted quantity: the strain of a spacing is relative to the row's d0.
    const auto shown = [&](Real spacing) { return strain ? (spacing - *d0) / *d0 - eps0 : spacing; };

    const std::string reflection = stress::ReflectionKey(g.Cell(2, r));
    std::size_t k = 0;
    while (k < plot.azimuths.size() &&
           (plot.azimuths[k].reflection != reflection ||
            std::fabs(plot.azimuths[k].phi - *phi) >= kSameAzimuth))
      ++k;
    if (k == plot.azimuths.size()) {
      PlotAzimuth& added = plot.azimuths.emplace_back();
      added.reflection = reflection;
      added.phi = *phi;
      rowsOf.emplace_back();
    }
    PlotAzimuth& a = plot.azimuths[k];
    PlotPoint p;
    p.row = r;
    p.psi = *psi;
    p.sin2psi = Sin2(*psi);
    p.value = shown(*d);
    p.error = strain ? *sd / std::fabs(*d0) : *sd;
    p.positivePsi = *psi >= 0;
    a.points.push_back(p);

    RowValues v{r, *psi, p.sin2psi, std::nullopt};
    if (const auto dCalc = colDCalc >= 0 ? number(colDCalc) : std::nullopt; finite(dCalc)) {
      v.dCalcValue = shown(*dCalc);
      if (*sd > 0) a.residuals.push_back({r, p.sin2psi, (*d - *dCalc) / *sd, p.positivePsi});
    }
    rowsOf[k].push_back(v);
  }

  for (std::size_t k = 0; k < plot.azimuths.size(); ++k) {
    for (const bool positive : {true, false}) {
      if (!HasBranch(rowsOf[k], positive)) continue;
      PlotLine line;
      line.positivePsi = positive;
      for (const RowValues* v : Branch(rowsOf[k], positive))
        if (v->dCalcValue) line.points.push_back({v->sin2psi, *v->dCalcValue});
      if (line.points.size() >= 2) plot.azimuths[k].fitLines.push_back(std::move(line));
    }
  }

  if (!plot.skippedRows.empty())
    plot.note = std::to_string(plot.skippedRows.size()) + " row" +
                (plot.skippedRows.size() == 1 ? "" : "s") + " of data set \"" + plot.label +
                "\" left out (a cell that is no number, a negative uncertainty" +
                (strain ? " or d0 = 0" : "") + "): row " + RowList(plot.skippedRows) + ".";

  if (!strain || plot.azimuths.empty()) return plot;

  // The per-azimuth regression needs the stress factors of the rows (for s1 and 1/2 s2): it
  // is drawn when the stress evaluation could read the worksheet.
  const stress::WorksheetStressRows read = stress::ReadStressRows(g, fij);
  const auto addNote = [&plot](const std::string& text) {
    plot.note += (plot.note.empty() ? "" : " ") + text;
  };
  if (read.error || read.rows.empty()) {
    addNote("No per-azimuth lines: " +
            (read.error ? read.error->message : std::string("the worksheet has no rows")) + ".");
    return plot;
  }
  std::vector<stress::StressDataSet> sets;
  for (stress::StressDataSet& set : stress::GroupDataSets(read.rows))
    if (set.label == plot.label) sets.push_back(std::move(set));
  if (sets.empty()) return plot;
  const std::vector<stress::AzimuthSet> fitted = stress::EvaluatePerAzimuth(sets, subtractEps0);
  for (const stress::AzimuthResult& r : fitted.front().azimuths) {
    auto a = std::find_if(plot.azimuths.begin(), plot.azimuths.end(), [&r](const PlotAzimuth& x) {
      return x.reflection == r.reflection && std::fabs(x.phi - r.phi) < kSameAzimuth;
    });
    if (a == plot.azimuths.end()) continue;
    if (!r.determined) {
      addNote((r.reflection.empty() ? "" : r.reflection + ", ") + "phi " +
              core::FormatGeneral(r.phi) + ": " + r.note + ".");
      continue;
    }
    const Real splitting = r.splitting.value_or(0);
    for (const bool positive : {true, false}) {
      if (!HasBranch(a->points, positive)) continue;
      Real lo = 0, hi = 0;
      bool any = false;
      for (const PlotPoint& p : a->points) {
        if (!(p.psi == 0 || (p.psi > 0) == positive)) continue;
        lo = any ? std::min(lo, p.psi) : p.psi;
        hi = any ? std::max(hi, p.psi) : p.psi;
        any = true;
      }
      // From the tilt nearest ψ = 0 outwards.
      const Real from = positive ? lo : hi, to = positive ? hi : lo;
      PlotLine line;
      line.positivePsi = positive;
      for (int s = 0; s <= kCurveSamples; ++s) {
        const Real psi = Radians(from + (to - from) * s / kCurveSamples);
        const Real x = std::sin(psi) * std::sin(psi);
        line.points.push_back({x, r.intercept + r.slope * x + splitting * std::sin(2 * psi)});
      }
      a->azimuthLines.push_back(std::move(line));
    }
  }
  return plot;
}

PlotRange ValueRange(const Sin2PsiPlotData& plot) {
  PlotRange r;
  bool any = false;
  for (const PlotAzimuth& a : plot.azimuths) {
    for (const PlotPoint& p : a.points) {
      Widen(r, any, p.value - p.error);
      Widen(r, any, p.value + p.error);
    }
    for (const auto* lines : {&a.fitLines, &a.azimuthLines})
      for (const PlotLine& l : *lines)
        for (const PlotXY& xy : l.points) Widen(r, any, xy.y);
  }
  return Padded(r, any);
}

PlotRange ResidualRange(const Sin2PsiPlotData& plot) {
  // Zero always shows: the residuals are judged against it.
  PlotRange r{0, 0};
  bool any = true;
  for (const PlotAzimuth& a : plot.azimuths)
    for (const PlotResidual& p : a.residuals) Widen(r, any, p.value);
  if (r.max - r.min < 2) {
    r.min = std::min(r.min, Real{-1});
    r.max = std::max(r.max, Real{1});
  }
  return Padded(r, any);
}

PlotRange Sin2PsiRange(const Sin2PsiPlotData& plot) {
  Real largest = 0;
  for (const PlotAzimuth& a : plot.azimuths)
    for (const PlotPoint& p : a.points) largest = std::max(largest, p.sin2psi);
  return {0, std::min(Real{1}, std::max(Real{0.1L}, largest + 0.05L))};
}

}  // namespace polydec::workbench
