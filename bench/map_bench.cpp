// The cost of one data set of a map: the worksheet's fit of 21 rows (the {211} reflection at
// three azimuths and seven tilts) for sig_xx, sig_yy, sig_xy and d0, with the check of the
// design that comes before it, and the whole engine path per data set (the table row parsing,
// the shared stress factors and the fit) on a map of 2,000 points, one thread.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "polydec/map.h"
#include "stress/fit_conditioning.h"
#include "stress/stress_evaluation.h"
#include "stress/stress_fit.h"

namespace {

using namespace polydec;

constexpr double kS1 = -1.2628871, kHalfS2 = 5.7154437, kD0 = 1.17004;
const double kPhis[] = {0, 45, 90};

double Tilt(int k) { return std::asin(std::sqrt(0.1 * k)) * 180 / M_PI; }

double Spacing(double phi, double psi, double noise) {
  const double c = std::cos(phi * M_PI / 180), s = std::sin(phi * M_PI / 180);
  const double sphi = 250 * c * c + 80 * s * s + 30 * 2 * s * c;
  const double s2 = std::pow(std::sin(psi * M_PI / 180), 2);
  return kD0 * (1 + 1e-6 * (kS1 * 330 + kHalfS2 * sphi * s2)) + noise;
}

stress::StressFitOptions FreeXxYyXyD0() {
  stress::StressFitOptions o;
  o.fixed = {false, false, true, true, true, false};
  return o;
}

void BM_FitMapPoint(benchmark::State& state) {
  stress::StressDataSet set;
  set.label = "P1";
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0, 2e-5);
  for (double phi : kPhis)
    for (int k = 0; k < 7; ++k) {
      stress::StressMeasurement m;
      m.label = set.label;
      m.row = static_cast<int>(set.members.size()) + 1;
      m.phi = phi;
      m.psi = Tilt(k);
      m.d = Spacing(phi, m.psi, noise(rng));
      m.sd = 2e-5L;
      m.d0 = kD0;
      m.F = stress::IsoStressFactors(kS1, kHalfS2, phi * M_PI / 180, m.psi * M_PI / 180);
      set.members.push_back(m);
    }
  const std::vector<stress::StressDataSet> one{set};
  const stress::StressFitOptions options = FreeXxYyXyD0();
  for (auto _ : state) {
    auto checked = stress::CheckDataSets(one, options);
    if (!checked) checked = stress::CheckDetermined(one, options);
    benchmark::DoNotOptimize(checked);
    StressSetResult r = stress::FitDataSet(one.front(), options, {});
    benchmark::DoNotOptimize(r.sig);
  }
}
BENCHMARK(BM_FitMapPoint);

// The map of 2,000 points through EvaluateMapFile on one thread, per data set.
void BM_MapFilePerPoint(benchmark::State& state) {
  constexpr int kPoints = 2000;
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "polydec_bench_map_2000.csv";
  {
    std::ofstream out(path);
    out << "set,x,y,hkl,phi,psi,d,d_err,d0\n";
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 2e-5);
    char line[160];
    for (int p = 1; p <= kPoints; ++p)
      for (double phi : kPhis)
        for (int k = 0; k < 7; ++k) {
          std::snprintf(line, sizeof line, "P%d,%d,%d,2 1 1,%g,%.6f,%.7f,2e-05,%g\n", p, p % 40,
                        p / 40, phi, Tilt(k), Spacing(phi, Tilt(k), noise(rng)), kD0);
          out << line;
        }
  }
  const auto iron = LoadMaterial("iron", POLYDEC_SOURCE_DIR "/data/pfcryst.dat");
  if (!iron) {
    state.SkipWithError("no material database");
    return;
  }
  MapOptions options;
  options.threads = 1;
  options.fit = FreeXxYyXyD0();
  for (auto _ : state) {
    std::size_t sets = 0;
    const auto r = EvaluateMapFile(path.string(), *iron, options, {}, nullptr,
                                   [&](const MapChunk& c) { sets += c.sets.size(); });
    if (!r || sets != kPoints) state.SkipWithError("the map was not evaluated");
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  std::filesystem::remove(path);
}
BENCHMARK(BM_MapFilePerPoint)->Unit(benchmark::kMillisecond);

}  // namespace
