#include "polydec/stress_factors.h"

#include <cstdio>
#include <string>

#include "polydec/worksheet.h"

namespace polydec {

// The directions go through the worksheet's own "Calc DEC", so that their factors are the ones
// the window and the command line give for the same rows.
Result<std::vector<StressFactors>> ComputeStressFactors(
    const Phase& phase, const Miller& hkl, const std::vector<Direction>& directions,
    const StressFactorOptions& options, const Texture* texture,
    const std::function<bool(std::size_t)>& progress) {
  std::vector<StressFactors> out;
  if (directions.empty()) return out;
  Worksheet w = NewWorksheet();
  w.crystalClass = phase.crystalClass;
  const int rows = static_cast<int>(directions.size());
  // Row 0 is the header; one row more stays empty and ends the measurement rows.
  if (w.sheet.rows < rows + 2) w.sheet.Resize(w.sheet.cols, rows + 2);
  const int cHkl = w.sheet.ColumnOf("h k l"), cPhi = w.sheet.ColumnOf("phi"),
            cPsi = w.sheet.ColumnOf("psi");
  const auto text = [](Real x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", x);
    return std::string(buf);
  };
  const std::string reflection = "(" + text(hkl[0]) + " " + text(hkl[1]) + " " + text(hkl[2]) + ")";
  for (int r = 0; r < rows; ++r) {
    w.sheet.SetCell(cHkl, r + 1, reflection);
    w.sheet.SetCell(cPhi, r + 1, text(directions[static_cast<std::size_t>(r)].phi));
    w.sheet.SetCell(cPsi, r + 1, text(directions[static_cast<std::size_t>(r)].psi));
  }
  WorksheetDecOptions dec;
  dec.model = options.model;
  dec.grainShape = options.grainShape;
  dec.intervals = options.intervals;
  const Status s = CalcWorksheetDec(w, phase, dec, texture, [&](int row) {
    return !progress || progress(static_cast<std::size_t>(row));
  });
  if (!s) return s.error();
  for (int r = 1; r <= rows; ++r) {
    const auto f = w.factors.find(r);
    if (f == w.factors.end()) return Refusal("no stress factors for direction " + std::to_string(r));
    out.push_back({f->second.F, f->second.intensity});
  }
  return out;
}

}  // namespace polydec
