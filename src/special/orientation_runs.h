// The slip-system runs over fixed grids of crystal orientations (Taylor factors, Schmid factors,
// grain elongation): one text line per orientation, computed on several threads with the same
// lines as a serial run, with progress and a cancel that stops between orientations, and the
// output written atomically (a cancelled or failed run never leaves a half file under the
// final name).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/records.h"
#include "special/slip_systems.h"

namespace polydec::special {

// The file names the window writes into the current folder.
inline constexpr const char* kTaylorFileName = "TaylorBCCsig11_111011.dat";
inline constexpr const char* kSchmidFileName = "SF_BCC111011_biax_ellip_3_1_1.dat";
inline constexpr const char* kElongationFileName = "Grainelong111011.dat";

// A grid of Bunge angles 0, 5, 10, ... degrees: phi1 outermost, phi2 innermost.
struct OrientationGrid {
  int phi1Count = 19, PhiCount = 19, phi2Count = 19;
  int Size() const { return phi1Count * PhiCount * phi2Count; }
  // Angles in degrees of orientation `index` (0-based, in output order).
  void Angles(int index, Real& phi1, Real& Phi, Real& phi2) const;
};
inline constexpr OrientationGrid kFullGrid{19, 19, 19};    // 0..90 in all three angles
inline constexpr OrientationGrid kSchmidGrid{10, 12, 10};  // 0..45, 0..55, 0..45

struct RunControl {
  int threads = 2;
  // Called on the calling thread now and then with the count of orientations done.
  std::function<void(int done, int total)> progress;
  // Asked on the calling thread; true stops the run between orientations.
  std::function<bool()> cancelled;
};

struct RunResult {
  std::vector<std::string> lines;  // the leading lines computed, in output order, each with CR LF
  bool complete = false;
  int total = 0;
  std::string error;  // why the run stopped early when it was not cancelled
};

// Computes line(phi1, Phi, phi2) (degrees) for every orientation of the grid.
RunResult RunOrientationGrid(const OrientationGrid& grid,
                             const std::function<std::string(Real, Real, Real)>& line,
                             const RunControl& control);

// --- One orientation (angles in degrees) ---

// The rate-sensitive Taylor factor of uniaxial tension along sample 1: the contraction ratio
// searched, or held at `ratio` when given.
TaylorResult TaylorFactorOfOrientation(Real phi1, Real Phi, Real phi2,
                                       std::optional<Real> ratio = std::nullopt);

struct SchmidFactors {
  LargestShear kroener;         // mode 3
  LargestShear inverseKroener;  // mode 4
};
// Largest resolved shear stress and its system under the unit stress sigma11 = 1, for the grain
// stress of the Kroener and the inverse Kroener model (ctx: Lr, L, M, W set up).
SchmidFactors SchmidFactorsOfOrientation(const core::OrientationsRec& ctx, Real phi1, Real Phi,
                                         Real phi2);

inline constexpr int kMaxElongationSteps = 10000;
struct Elongation {
  Real phi1 = 0, Phi = 0, phi2 = 0;  // final orientation, degrees
  Real e11 = 0, e22 = 0, e33 = 0;    // strain reached
  int steps = 0;
  bool limitReached = false;  // the strain never reached 0.05 within kMaxElongationSteps
};
// Single slip under sigma11 = 1 in steps of shear 0.001 until E11 reaches 0.05.
Elongation ElongationOfOrientation(Real phi1, Real Phi, Real phi2);

// --- The lines of the output files ---
std::string TaylorLine(Real phi1, Real Phi, Real phi2, const TaylorResult& r);
std::string SchmidLine(Real phi1, Real Phi, Real phi2, const SchmidFactors& f);
std::string ElongationLine(const Elongation& e);

RunResult TaylorFactorRun(const RunControl& control, std::optional<Real> ratio = std::nullopt,
                          const OrientationGrid& grid = kFullGrid);
RunResult SchmidFactorRun(const core::OrientationsRec& ctx, const RunControl& control,
                          const OrientationGrid& grid = kSchmidGrid);
RunResult GrainElongationRun(const RunControl& control, const OrientationGrid& grid = kFullGrid);

// Writes a complete run to path; an incomplete one to PartialPath(path) (path untouched).
// Returns the file written, or the error (with the file's name).
struct WriteOutcome {
  std::string file;
  std::optional<std::string> error;
};
std::string PartialPath(const std::string& path);
WriteOutcome WriteRunOutput(const std::string& path, const RunResult& result);

}  // namespace polydec::special
