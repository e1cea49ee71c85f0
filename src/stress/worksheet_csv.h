// The worksheet as comma-separated tables for users who plot elsewhere: the measurement rows
// (inputs, d_calc, residuals and sin²ψ), a blank line, then the results of every data set.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/cell_table.h"
#include "stress/stress_evaluation.h"
#include "polydec/worksheet.h"
#include "stress/worksheet_cells.h"

namespace polydec::stress {

// What the commands computed, at full precision, where the cells hold them rounded (a d0
// uncertainty of 5e-7 shows as "0.000000"): the stress factors and d_calc by worksheet row, the
// results of the data sets in the order of the result rows.
struct WorksheetCsvValues {
  std::map<int, polydec::RowFactors> factors;  // as the columns show them (1e-6/MPa)
  std::map<int, Real> dCalc;
  std::vector<StressSetResult> sets;
};

// Cells are written as the worksheet holds them (trimmed), except the values `precise` holds,
// which are written with 17 significant digits; the computed columns are empty where an input
// is missing. Texts with a comma, a quote or a line end are quoted.
std::string WorksheetCsv(const core::CellTable& g, bool fij,
                         const WorksheetCsvValues* precise = nullptr);

}  // namespace polydec::stress
