// The stress factors of a phase computed once per distinct measurement. A map measures the same
// few directions at thousands of points, and a worksheet of many data sets repeats its
// reflections and tilts in every set: the fibre average behind each factor costs far more than
// the fit that uses it, and the same inputs give the same factors.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "models/stress_factors.h"

namespace polydec::models {

// Remembers what a calculator gave for each (reflection, direction, model) it was asked. The
// phase, matrix, grain shape and texture are those of the calculator, fixed for its life. A
// measurement that gives the grain its own semi-axes changes the calculator's shape for the
// measurements after it: from then on nothing is taken from or put into the cache.
class StressFactorCache {
 public:
  explicit StressFactorCache(StressFactorCalculator& calc) : calc_(calc) {}

  // As StressFactorCalculator::Compute; a refusal is remembered as well.
  std::string Compute(const FactorMeasurement& m, MeasurementFactors& out);

  std::size_t Computed() const { return computed_; }  // calls that ran the calculator
  std::size_t Size() const { return entries_.size(); }

 private:
  using Key = std::tuple<Real, Real, Real, Real, Real, int>;
  struct Entry {
    std::string refusal;
    MeasurementFactors factors;
  };
  StressFactorCalculator& calc_;
  std::map<Key, Entry> entries_;
  bool shapeChanged_ = false;
  std::size_t computed_ = 0;
};

}  // namespace polydec::models
