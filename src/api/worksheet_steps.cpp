#include "api/worksheet_steps.h"

#include "core/types.h"
#include "models/stress_factor_cache.h"

namespace polydec::api {

std::optional<stress::FactorStop> FillWorksheetFactors(
    core::CellTable& g, bool fij, CrystalClass crystalClass,
    models::StressFactorCalculator& calc, ModelCode model,
    const std::function<bool(int row)>& progress, std::map<int, RowFactors>* outcomes) {
  // Rows that repeat a reflection, direction and model (every data set of a table) take the
  // factors computed for the first of them.
  models::StressFactorCache cache(calc);
  const auto compute = [&](const stress::FactorRow& row) {
    models::FactorMeasurement m;
    m.hkl = row.hkl;
    m.phi = row.phi * core::kPi / 180;
    m.psi = row.psi * core::kPi / 180;
    m.code = static_cast<polydec::ModelCode>(row.code.value_or(model));
    m.axes = row.axes;
    models::MeasurementFactors f;
    stress::FactorOutcome out;
    out.refusal = cache.Compute(m, f);
    out.F = f.F;
    out.s1 = f.s1;
    out.s2half = f.s2half;
    out.intensity = f.intensity;
    if (outcomes) {
      // The worksheet's columns: 1e-6/MPa, the shear columns twice the tensor component.
      RowFactors r;
      r.F = {1000 * f.F(1, 1), 1000 * f.F(2, 2), 1000 * f.F(3, 3),
             2000 * f.F(2, 3), 2000 * f.F(1, 3), 2000 * f.F(1, 2)};
      r.s1 = 1000 * f.s1;
      r.halfS2 = 1000 * f.s2half;
      r.intensity = f.intensity;
      (*outcomes)[row.row] = r;
    }
    return out;
  };
  return stress::FillStressFactors(g, fij, crystalClass, compute, progress);
}

}  // namespace polydec::api
