// The ODF paths a user waits on: loading a full MTEX table, the interpolated ODF value that every
// orientation average calls, and the pole density along the fibre of a reflection.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "../tests/texture/odf_fixtures.h"
#include "crystal/lattice.h"
#include "texture/odf_expansion.h"
#include "texture/odf_fiber.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"
#include "texture/orientation.h"
#include "texture/pole_figure.h"

namespace {

using namespace polydec;
using core::OrientationsRec;
using core::Real;

// Stops the check of the loaded ODF at its first question, as a user who has seen enough.
// The load command as the window runs it: read, finish, then the check's walk up to its first
// finding (answered No to All).
texture::ODFLoadResult LoadAndCheck(const std::string& file, OrientationsRec& ctx) {
  texture::ODFLoadResult r = texture::LoadODF(file, texture::ODFFileKind::kMTEX, false, ctx);
  if (r.loaded) texture::VisitODFFindings(ctx, [](const texture::ODFFinding&) { return false; });
  return r;
}

const texture_test::TempFolder& Folder() {
  static const texture_test::TempFolder folder;
  return folder;
}

// The whole Euler space at 5 degrees: 197,173 data lines, values of 21 significant digits.
const std::string& FullMtexFile() {
  static const std::string file = Folder().Write(
      "full.txt", texture_test::MtexText(texture_test::GeneralTexture, 360, 180, 360, "\n"));
  return file;
}

const OrientationsRec& LoadedContext() {
  static const OrientationsRec ctx = [] {
    OrientationsRec c;
    c.Cryst.SYS = polydec::kCubic;
    LoadAndCheck(FullMtexFile(), c);
    return c;
  }();
  return ctx;
}

// Budget: under 0.5 s.
void BM_LoadODF_FullMtex(benchmark::State& state) {
  const std::string& file = FullMtexFile();
  for (auto _ : state) {
    OrientationsRec ctx;
    ctx.Cryst.SYS = polydec::kCubic;
    const texture::ODFLoadResult r = LoadAndCheck(file, ctx);
    if (!r.read.ok() || r.read.valuesRead != texture::kODFNodeCount) {
      state.SkipWithError(("MTEX file not read: " + r.read.Describe()).c_str());
      break;
    }
    benchmark::DoNotOptimize(ctx.ODF.data());
  }
}
BENCHMARK(BM_LoadODF_FullMtex)->Unit(benchmark::kMillisecond);

// The block 0..90 degrees of a cubic ODF with orthorhombic sample symmetry (6,859 lines),
// expanded over Euler space by the symmetry operators. The map from each node to its
// equivalent in the block is the same for every such file; after the first load it is reused.
// Budget: under 50 ms, the first load of a process (argument 2) included.
void BM_LoadODF_CubicOrth90(benchmark::State& state) {
  static const std::string file = Folder().Write(
      "cubic90.txt", texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\n"));
  // The first load of the process searches the equivalents and fills the map.
  {
    OrientationsRec first;
    first.Cryst.SYS = polydec::kCubic;
    LoadAndCheck(file, first);
  }
  // Argument 1: into the same context each time, as the window loads into its context;
  // argument 0: into a fresh context, whose 16 MB of arrays are allocated and zeroed anew;
  // argument 2: the same with the map worked out anew, as the first load of a process does.
  const bool reuse = state.range(0) == 1, first = state.range(0) == 2;
  OrientationsRec kept;
  for (auto _ : state) {
    if (first) texture::ForgetEquivalentMaps();
    OrientationsRec fresh;
    OrientationsRec& ctx = reuse ? kept : fresh;
    ctx.Cryst.SYS = polydec::kCubic;
    const texture::ODFLoadResult r = LoadAndCheck(file, ctx);
    if (!r.read.ok() || ctx.ODFNUMP != texture::kODFNodeCount) {
      state.SkipWithError(("MTEX file not read: " + r.read.Describe()).c_str());
      break;
    }
    benchmark::DoNotOptimize(ctx.ODF.data());
  }
}
BENCHMARK(BM_LoadODF_CubicOrth90)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Budget: under 100 ns per call. Random orientations, so that the nodes touched do not stay
// in the cache from one call to the next.
void BM_ODFValue(benchmark::State& state) {
  const OrientationsRec& ctx = LoadedContext();
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> u(0, 1);
  constexpr std::size_t kPoints = 4096;
  std::vector<Real> a1(kPoints), a(kPoints), a2(kPoints);
  for (std::size_t k = 0; k < kPoints; ++k) {
    a1[k] = 2 * core::kPi * u(random);
    a[k] = core::kPi * u(random);
    a2[k] = 2 * core::kPi * u(random);
  }
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(texture::ODFValue(ctx, a1[k], a[k], a2[k]));
    k = (k + 1) % kPoints;
  }
}
BENCHMARK(BM_ODFValue)->Unit(benchmark::kNanosecond);

// The same calls in the order the averages make them: successive points along diffraction
// fibres, whose neighbouring nodes are mostly still in the cache.
void BM_ODFValue_AlongFibres(benchmark::State& state) {
  const OrientationsRec& ctx = LoadedContext();
  std::vector<core::EulerAnglesRec> points;
  for (int f = 0; f < 16; ++f)
    for (int k = 0; k < 256; ++k)
      points.push_back(texture::FiberToEuler(0.1L * f, 0.37L * f, 0.2L + 0.15L * f, 0.4L * f,
                                             2 * core::kPi * k / 256));
  std::size_t k = 0;
  for (auto _ : state) {
    const core::EulerAnglesRec& e = points[k];
    benchmark::DoNotOptimize(texture::ODFValue(ctx, e.phi1, e.phi, e.phi2));
    k = (k + 1) % points.size();
  }
}
BENCHMARK(BM_ODFValue_AlongFibres)->Unit(benchmark::kNanosecond);

// Budget: under 50 µs for 200 half-intervals; the argument is n, the rule using 2n intervals.
void BM_FiberIntegral(benchmark::State& state) {
  OrientationsRec ctx = LoadedContext();
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(texture::FiberIntegral(ctx, n, 0.3L, 1.1L, 0.9L, 0.2L));
}
BENCHMARK(BM_FiberIntegral)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

// A pole figure of 19 x 72 points, each a fibre integral of 61 ODF lookups. Budget: 20 ms.
void BM_PoleFigure(benchmark::State& state) {
  OrientationsRec ctx = LoadedContext();
  crystal::InitCrystal(ctx.Cryst);
  for (auto _ : state) benchmark::DoNotOptimize(texture::ComputePoleFigure(ctx, 1, 1, 1).mean);
}
BENCHMARK(BM_PoleFigure)->Unit(benchmark::kMillisecond);

}  // namespace
