// The reflection table of the "Isotropic" page as texts for a table view, and the points of
// the anisotropy plot (1/2 s2 or E_hkl against 3 Gamma or the angle to c, one series per
// model): the window shows them, the tests read them without a window.
#pragma once

#include <string>
#include <vector>

#include "polydec/reflections.h"

namespace polydec::workbench {

struct ReflectionTableText {
  std::vector<std::string> header;
  // One row per family; numeric columns hold the number's text (the view sorts by its value).
  std::vector<std::vector<std::string>> rows;
};

// hkl, multiplicity, d, 2theta, the orientation parameter, then s1, 1/2 s2, E_hkl, nu_hkl of
// each model: the columns and rounding of the command line's text table, E and nu added.
ReflectionTableText ReflectionTableTexts(const ReflectionTable& table, CrystalClass c);

enum class ReflectionPlotQuantity { kHalfS2, kYoungsModulus };

struct ReflectionPlotSeries {
  std::string model;           // "Voigt", "Reuss", ...
  std::vector<double> x, y;    // one point per family, in table order
};

struct ReflectionPlot {
  std::string xLabel, yLabel;
  std::vector<std::string> labels;  // hkl of each point
  std::vector<ReflectionPlotSeries> series;
};

ReflectionPlot BuildReflectionPlot(const ReflectionTable& table, CrystalClass c,
                                   ReflectionPlotQuantity quantity);

}  // namespace polydec::workbench
