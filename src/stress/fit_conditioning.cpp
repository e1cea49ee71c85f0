#include "stress/fit_conditioning.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/text_fields.h"
#include "core/tensor_inversion.h"
#include "stress/stress_fit.h"

namespace polydec::stress {

namespace {

const char* const kParameterNames[] = {"", "sig_xx", "sig_yy", "sig_zz", "sig_yz",
                                       "sig_xz", "sig_xy", "d0"};

// "a", "a and b", "a, b and c".
std::string JoinNames(const std::vector<int>& params) {
  std::string s;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (i > 0) s += i + 1 == params.size() ? " and " : ", ";
    s += kParameterNames[params[i]];
  }
  return s;
}

// What the data set offers: one azimuth or one tilt alone is the usual cause.
std::string DirectionsOf(const StressDataSet& set) {
  const auto allSame = [&set](auto get) {
    for (const StressMeasurement& m : set.members)
      if (get(m) != get(set.members.front())) return false;
    return true;
  };
  const StressMeasurement& first = set.members.front();
  if (set.members.size() == 1)
    return "the single direction phi = " + core::FormatGeneral(first.phi) +
           ", psi = " + core::FormatGeneral(first.psi);
  if (allSame([](const StressMeasurement& m) { return m.phi; }))
    return "phi = " + core::FormatGeneral(first.phi) + " alone";
  if (allSame([](const StressMeasurement& m) { return m.psi; }))
    return "psi = " + core::FormatGeneral(first.psi) + " alone";
  return "the directions of this data set";
}

std::string WhatToDo(std::size_t named, int undetermined) {
  if (named == 1) return "fix it or add directions";
  if (undetermined == 1) return "fix one of them or add directions";
  return "fix " + std::to_string(undetermined) + " of them or add directions";
}

}  // namespace

std::optional<std::string> UndeterminedParameters(const StressDataSet& set,
                                                  const StressFitOptions& options) {
  std::array<int, 7> free{};
  int n = 0;
  for (int p = 1; p <= 6; ++p)
    if (!options.fixed[p - 1]) free[n++] = p;
  if (!options.d0Fixed) free[n++] = 7;
  const int m = static_cast<int>(set.members.size());
  if (n == 0 || m == 0) return std::nullopt;

  // The data sets of a map repeat one design point after point: what the design of the data
  // set last found sound was made of (per thread) is remembered, and a data set of the same
  // parameters, stress factors, spacings d0 and uncertainties, bit for bit, has the same design.
  thread_local std::vector<Real> inputs, soundInputs;
  thread_local std::array<int, 7> soundFree{};
  thread_local int soundCount = 0;
  inputs.clear();
  for (const StressMeasurement& r : set.members) {
    inputs.insert(inputs.end(), r.F.e.begin(), r.F.e.end());
    inputs.push_back(r.sd);
    inputs.push_back(r.d0);
  }
  const auto sameInputs = [&] {
    if (n != soundCount || free != soundFree || inputs.size() != soundInputs.size()) return false;
    for (std::size_t k = 0; k < inputs.size(); ++k)
      if (!SameBits(inputs[k], soundInputs[k])) return false;
    return true;
  };
  if (sameInputs()) return std::nullopt;
  const auto rememberSound = [&] {
    soundInputs = inputs;
    soundFree = free;
    soundCount = n;
  };

  // Design in relative strains: row i is weighted by d0_i / sd_i; the strain-free correction
  // enters every row with 1. Different inputs can still give the same design (uncertainties
  // scaled alike in every row): the verdict on the design last found sound is remembered as
  // well, and the same matrix, bit for bit, is sound; the matrices keep their memory from one
  // data set to the next.
  thread_local FitRows a, lastSound;
  thread_local int lastSoundColumns = 0;
  a.Reset(std::max(m, n));
  for (int i = 1; i <= m; ++i) {
    const StressMeasurement& r = set.members[i - 1];
    const auto f = StressFitBasis(r.F, 1);
    const Real weight = r.sd != 0 ? std::fabs(r.d0 / r.sd) : 1;
    for (int j = 1; j <= n; ++j) a[i][j] = f[free[j - 1]] * weight;
  }
  std::vector<int> zeroColumns;
  for (int j = 1; j <= n; ++j) {
    Real norm = 0;
    for (int i = 1; i <= m; ++i) norm += a[i][j] * a[i][j];
    norm = std::sqrt(norm);
    if (norm == 0) {
      zeroColumns.push_back(free[j - 1]);
      continue;
    }
    for (int i = 1; i <= m; ++i) a[i][j] /= norm;
  }
  if (zeroColumns.empty() && n == lastSoundColumns && a == lastSound) {
    rememberSound();
    return std::nullopt;
  }
  const std::string where = DirectionsOf(set);
  const std::string head = "Data set \"" + set.label + "\": ";
  // A component whose stress factors vanish in every row does not enter any spacing.
  if (!zeroColumns.empty())
    return head + JoinNames(zeroColumns) + (zeroColumns.size() == 1 ? " does" : " do") +
           " not enter any spacing measured with " + where + ": " +
           (zeroColumns.size() == 1 ? "fix it or add directions"
                                    : "fix them or add directions");

  // With fewer rows than parameters the decomposition has n - m further zero singular values.
  std::array<Real, 8> w{};
  FitMatrix v{};
  const FitRows design = a;
  core::SVDecompose(a, std::max(m, n), n, w, v);
  Real wmax = 0;
  for (int j = 1; j <= n; ++j) wmax = std::max(wmax, w[j]);
  int weakest = 1;
  for (int j = 1; j <= n; ++j)
    if (w[j] < w[weakest]) weakest = j;

  std::vector<int> nullVectors;
  for (int k = 1; k <= n; ++k)
    if (w[k] <= kDesignRankTolerance * wmax) nullVectors.push_back(k);
  const bool illConditioned = nullVectors.empty() && w[weakest] * kDesignConditionLimit < wmax;
  if (nullVectors.empty() && !illConditioned) {
    lastSound = design;
    lastSoundColumns = n;
    rememberSound();
    return std::nullopt;
  }
  if (illConditioned) nullVectors.push_back(weakest);

  // A parameter belongs to the undetermined combinations when its unit vector has a
  // noticeable projection onto the space they span.
  std::vector<int> involved;
  for (int j = 1; j <= n; ++j) {
    Real projection = 0;
    for (int k : nullVectors) projection += v[j][k] * v[j][k];
    if (std::sqrt(projection) > 1e-2L) involved.push_back(free[j - 1]);
  }
  const int count = static_cast<int>(nullVectors.size());
  std::string text = head + JoinNames(involved);
  if (illConditioned) {
    text += (involved.size() == 1 ? " is" : " are") +
            std::string(" barely determined with ") + where + " (condition number " +
            core::FormatExponent(wmax / w[weakest], 2, 2) + ")";
  } else if (involved.size() == 1) {
    text += " is not determined with " + where;
  } else {
    text += " cannot be separated with " + where;
  }
  return text + ": " + WhatToDo(involved.size(), count);
}

std::optional<core::InputError> CheckDetermined(const std::vector<StressDataSet>& sets,
                                                const StressFitOptions& options) {
  for (const StressDataSet& set : sets) {
    if (auto why = UndeterminedParameters(set, options)) {
      core::InputError e;
      e.line = set.members.front().row;
      e.column = 1;
      e.field = "#";
      e.message = std::move(*why);
      return e;
    }
  }
  return std::nullopt;
}

}  // namespace polydec::stress
