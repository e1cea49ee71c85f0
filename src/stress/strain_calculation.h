// The forward counterpart of the stress evaluation: from the stresses of the worksheet's result
// block and each measurement row's stress factors and d0, the lattice spacing d_calc the row
// should show. Serves the window's "Calc Strain" and `polydec worksheet --calc-strain`.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/cell_table.h"
#include "core/input_error.h"
#include "core/types.h"

namespace polydec::stress {

using core::Real;

inline constexpr const char* kMissingInputMessage = "Missing input data!";
inline constexpr const char* kNoD0Message = "Cannot calculate strain without d0!";

// What the calculation reports for every measurement row it handles: the row, its direction
// (radians) and, in the S1 layout, the row's s1 and 1/2 s2 (cell values).
struct StrainProgress {
  int row = 0;
  Real phi = 0, psi = 0;
  bool s1Layout = false;
  Real s1 = 0, s2half = 0;
};

// Writes d_calc = d0 (1 + 1e-6 eps) - e d0 into the rows of each result row's data set, with
// eps = sum of stress factor times stress (each shear component once, its factor holding both
// symmetric terms) and e the row's eps0 when useEps0 (a non-numeric eps0 cell becomes "0").
// Result rows are handled in order until the first empty label; a result row without any
// numeric stress is no stress and is passed over. A refusal names the cell; d_calc cells
// written before it stay. written (if given) counts the d_calc cells written; values (if
// given) receives each written row with its d_calc before the cell's rounding.
std::optional<core::InputError> CalculateStrain(
    core::CellTable& g, bool fij, bool useEps0,
    const std::function<void(const StrainProgress&)>& progress, int* written = nullptr,
    std::vector<std::pair<int, Real>>* values = nullptr);

// Stress components named as in the result block ("sig_xx=100 sig_yy=-50"); components not
// named are 0. Empty with error set when a word is no such assignment.
struct StressAssignment {
  std::array<Real, 6> sig{};
  std::optional<core::InputError> error;
};
StressAssignment ParseStressAssignment(const std::string& text);

// Writes the given stress into result rows 1..k, one per data set (the labels of the
// measurement rows 1..n, in the order of their first rows), and empties the label of result
// row k + 1 so that the result block ends there. Returns k.
int SetStressOfEveryDataSet(core::CellTable& g, const std::array<Real, 6>& sig);

}  // namespace polydec::stress
