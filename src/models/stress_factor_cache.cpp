#include "models/stress_factor_cache.h"

namespace polydec::models {

std::string StressFactorCache::Compute(const FactorMeasurement& m, MeasurementFactors& out) {
  for (const auto& axis : m.axes) shapeChanged_ = shapeChanged_ || axis.has_value();
  if (shapeChanged_) {
    ++computed_;
    return calc_.Compute(m, out);
  }
  const Key key{m.hkl[0], m.hkl[1], m.hkl[2], m.phi, m.psi, static_cast<int>(m.code)};
  if (const auto it = entries_.find(key); it != entries_.end()) {
    out = it->second.factors;
    return it->second.refusal;
  }
  ++computed_;
  Entry e;
  e.refusal = calc_.Compute(m, e.factors);
  out = e.factors;
  entries_.emplace(key, e);
  return e.refusal;
}

}  // namespace polydec::models
