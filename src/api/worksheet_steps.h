// The steps of the worksheet workflow that the window's page runs on its own grid and context
// as well as the public API on a Worksheet record: one implementation for both.
#pragma once

#include <functional>
#include <map>
#include <optional>

#include "core/cell_table.h"
#include "models/stress_factors.h"
#include "polydec/worksheet.h"
#include "stress/worksheet_cells.h"

namespace polydec::api {

// "Calc DEC" on the rows of a worksheet grid: each row's stress factors (or s1, 1/2 s2) from
// the calculator, under the row's own model code or `model`. progress(row) runs after each row;
// false stops there (FactorStop::byCaller).
// outcomes (if given) receives what each row got, at full precision.
std::optional<stress::FactorStop> FillWorksheetFactors(
    core::CellTable& g, bool fij, CrystalClass crystalClass,
    models::StressFactorCalculator& calc, ModelCode model,
    const std::function<bool(int row)>& progress, std::map<int, RowFactors>* outcomes);

}  // namespace polydec::api
