#include "special/orientation_runs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/atomic_file.h"
#include "core/linalg.h"
#include "core/text_fields.h"
#include "texture/orientation.h"

namespace polydec::special {

using core::FormatPadded;
using core::kDegToRad;

namespace {

Tensor2 UnitTension() {
  Tensor2 s;
  s(1, 1) = 1;
  return s;
}

// The grid angle k * 5 degrees in radians, as k * 5 / 180 * pi.
Real GridRadians(Real degrees) { return degrees / 180 * core::kPi; }

std::string Angles(Real phi1, Real Phi, Real phi2) {
  return FormatPadded(phi1, 5, 0) + "\t" + FormatPadded(Phi, 5, 0) + "\t" +
         FormatPadded(phi2, 5, 0);
}

}  // namespace

void OrientationGrid::Angles(int index, Real& phi1, Real& Phi, Real& phi2) const {
  const int k2 = index % phi2Count;
  const int k = (index / phi2Count) % PhiCount;
  const int k1 = index / (phi2Count * PhiCount);
  phi1 = 5 * k1;
  Phi = 5 * k;
  phi2 = 5 * k2;
}

RunResult RunOrientationGrid(const OrientationGrid& grid,
                             const std::function<std::string(Real, Real, Real)>& line,
                             const RunControl& control) {
  RunResult result;
  const int total = grid.Size();
  result.total = total;
  std::vector<std::string> lines(static_cast<std::size_t>(total));
  std::vector<char> done(static_cast<std::size_t>(total), 0);
  std::atomic<int> next{0};
  std::atomic<int> finished{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable wake;

  // Each orientation is independent and computed alone, so the lines do not depend on which
  // thread computes them or in which order.
  const auto work = [&] {
    for (;;) {
      if (stop.load()) return;
      const int i = next.fetch_add(1);
      if (i >= total) return;
      Real phi1, Phi, phi2;
      grid.Angles(i, phi1, Phi, phi2);
      try {
        lines[static_cast<std::size_t>(i)] = line(phi1, Phi, phi2);
      } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(mutex);
        if (result.error.empty())
          result.error = "orientation " + FormatPadded(phi1, 1, 0) + " " + FormatPadded(Phi, 1, 0) +
                         " " + FormatPadded(phi2, 1, 0) + ": " + e.what();
        stop.store(true);
        wake.notify_one();
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        done[static_cast<std::size_t>(i)] = 1;
      }
      finished.fetch_add(1);
      wake.notify_one();
    }
  };

  const int threads = std::clamp(control.threads, 1, 64);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(work);
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (finished.load() < total && !stop.load()) {
      wake.wait_for(lock, std::chrono::milliseconds(100));
      lock.unlock();
      if (control.progress) control.progress(finished.load(), total);
      if (control.cancelled && control.cancelled()) stop.store(true);
      lock.lock();
    }
  }
  for (std::thread& t : pool) t.join();

  int prefix = 0;
  while (prefix < total && done[static_cast<std::size_t>(prefix)]) ++prefix;
  lines.resize(static_cast<std::size_t>(prefix));
  result.lines = std::move(lines);
  result.complete = prefix == total;
  if (control.progress) control.progress(prefix, total);
  return result;
}

TaylorResult TaylorFactorOfOrientation(Real phi1, Real Phi, Real phi2, std::optional<Real> ratio) {
  const SlipSystemSet set = BCCSlipSystemSet();
  const Tensor2 g = texture::EulerToMatrix(GridRadians(phi1), GridRadians(Phi), GridRadians(phi2));
  constexpr Real kExponentStep = 0.1L;
  if (ratio) return TaylorFactorAtRatio(set, g, *ratio, kExponentStep);
  return RateSensitiveTaylorFactor(set, g, kExponentStep);
}

SchmidFactors SchmidFactorsOfOrientation(const core::OrientationsRec& ctx, Real phi1, Real Phi,
                                         Real phi2) {
  const SlipSystemSet set = BCCSlipSystemSet();
  const Real a1 = GridRadians(phi1), a = GridRadians(Phi), a2 = GridRadians(phi2);
  const Tensor2 g = texture::EulerToMatrix(a1, a, a2);
  SchmidFactors f;
  for (int mode : {3, 4}) {
    Tensor2 sigmaG, sigmaC;
    GrainStress(ctx, mode, UnitTension(), sigmaG, a1, a, a2);
    // The grain stress is in sample axes, the Schmid tensors in crystal axes.
    core::RotateTensor2(g, sigmaG, sigmaC);
    const LargestShear l =
        LargestResolvedShear(ResolvedShearStresses(set.SchmidTensors, 12, sigmaC), 12);
    (mode == 3 ? f.kroener : f.inverseKroener) = l;
  }
  return f;
}

Elongation ElongationOfOrientation(Real phi1, Real Phi, Real phi2) {
  SlipSystemSet set = BCCSlipSystemSet();
  Tensor2 g = texture::EulerToMatrix(GridRadians(phi1), GridRadians(Phi), GridRadians(phi2));
  Tensor2 E;
  Elongation e;
  int c = 0;
  do {
    ++c;
    Tensor2 gNext;
    SingleSlipStep(UnitTension(), set, g, gNext, E, 0.001L, c);
    g = gNext;
  } while (E(1, 1) < 0.05L && E(1, 1) >= 0 && c < kMaxElongationSteps);
  e.steps = c;
  e.limitReached = !(E(1, 1) >= 0.05L);
  const core::EulerAnglesRec a = texture::MatrixToEuler(g);
  e.phi1 = a.phi1 * core::kRadToDeg;
  e.Phi = a.phi * core::kRadToDeg;
  e.phi2 = a.phi2 * core::kRadToDeg;
  e.e11 = E(1, 1);
  e.e22 = E(2, 2);
  e.e33 = E(3, 3);
  return e;
}

std::string TaylorLine(Real phi1, Real Phi, Real phi2, const TaylorResult& r) {
  if (!r.ok)
    return Angles(phi1, Phi, phi2) + "\tundefined (the slip-rate equations became singular)\r\n";
  return Angles(phi1, Phi, phi2) + "\t" + FormatPadded(r.factor, 9, 7) + "\t" +
         FormatPadded(r.ratio, 5, 3) + "\r\n";
}

std::string SchmidLine(Real phi1, Real Phi, Real phi2, const SchmidFactors& f) {
  return Angles(phi1, Phi, phi2) + "\t" + FormatPadded(f.kroener.value, 6, 3) + "\t" +
         std::to_string(f.kroener.system) + "\t" + FormatPadded(f.inverseKroener.value, 6, 3) +
         "\t" + std::to_string(f.inverseKroener.system) + "\r\n";
}

std::string ElongationLine(const Elongation& e) {
  std::string s = Angles(e.phi1, e.Phi, e.phi2) + "\t" + FormatPadded(1 + e.e11, 5, 3) + "\t" +
                  FormatPadded(1 + e.e22, 5, 3) + "\t" + FormatPadded(1 + e.e33, 5, 3);
  if (e.limitReached)
    s += "\tstopped after " + std::to_string(kMaxElongationSteps) + " steps below 5% strain";
  return s + "\r\n";
}

RunResult TaylorFactorRun(const RunControl& control, std::optional<Real> ratio,
                          const OrientationGrid& grid) {
  return RunOrientationGrid(
      grid,
      [ratio](Real a1, Real a, Real a2) {
        return TaylorLine(a1, a, a2, TaylorFactorOfOrientation(a1, a, a2, ratio));
      },
      control);
}

RunResult SchmidFactorRun(const core::OrientationsRec& ctx, const RunControl& control,
                          const OrientationGrid& grid) {
  return RunOrientationGrid(
      grid,
      [&ctx](Real a1, Real a, Real a2) {
        return SchmidLine(a1, a, a2, SchmidFactorsOfOrientation(ctx, a1, a, a2));
      },
      control);
}

RunResult GrainElongationRun(const RunControl& control, const OrientationGrid& grid) {
  return RunOrientationGrid(
      grid,
      [](Real a1, Real a, Real a2) { return ElongationLine(ElongationOfOrientation(a1, a, a2)); },
      control);
}

std::string PartialPath(const std::string& path) { return path + ".partial"; }

WriteOutcome WriteRunOutput(const std::string& path, const RunResult& result) {
  WriteOutcome out;
  out.file = result.complete ? path : PartialPath(path);
  std::string content;
  for (const std::string& l : result.lines) content += l;
  if (auto error = core::WriteFileAtomically(out.file, content))
    out.error = out.file + ": " + *error;
  return out;
}

}  // namespace polydec::special
