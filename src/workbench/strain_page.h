// "Calc Strain" and "Load Fij" of the "DEC/Stress/Strain" page, and the per-azimuth evaluation
// that "Calc Stress" shows in the page's memo.
#pragma once

#include <string>
#include <vector>

#include "core/types.h"
#include "stress/stress_evaluation.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

// "Calc Strain": d_calc of the rows from the stresses of the result block.
void StrainBtnClick(MainForm& m);
// "Load Fij": a stress factor file into the worksheet.
void LoadFijClick(MainForm& m);
// Loads a stress factor file into the worksheet (Fij layout); false after its message.
bool LoadFIJFile(MainForm& m, const std::string& fileName);
// The strain-level step after a load. The window's stress-factor record is never filled, so
// this changes nothing.
void FillFij(MainForm& m, core::Real strain);
// The classical per-azimuth evaluation of the rows "Calc Stress" fitted, into the memo.
void ShowPerAzimuth(MainForm& m, const std::vector<stress::StressMeasurement>& rows,
                    bool subtractEps0);

}  // namespace polydec::workbench
