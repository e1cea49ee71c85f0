// The worksheet as comma-separated tables for users who plot elsewhere: the measurement rows
// (inputs, d_calc, residuals and sin²ψ), a blank line, then the results of every data set.
#pragma once

#include <string>

#include "core/cell_table.h"

namespace polydec::stress {

// Cells are written as the worksheet holds them (trimmed); the computed columns are empty
// where an input is missing. Texts with a comma, a quote or a line end are quoted.
std::string WorksheetCsv(const core::CellTable& g, bool fij);

}  // namespace polydec::stress
