// The slip-system runs over orientation grids: the lines of one orientation, parallel runs
// equal to serial ones, cancelling, and where the output lands.
#include "special/orientation_runs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <stdexcept>

#include "core/linalg.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "core/voigt.h"
#include "support/file_helpers.h"
#include "texture/orientation.h"

namespace polydec::special {
namespace {

namespace fs = std::filesystem;

std::string FormatLine(Real a1, Real a, Real a2) {
  return core::FormatGeneral(a1) + " " + core::FormatGeneral(a) + " " + core::FormatGeneral(a2);
}

TEST(OrientationRuns, ParallelLinesEqualSerialLines) {
  const OrientationGrid grid{3, 4, 5};
  RunControl serial;
  serial.threads = 1;
  RunControl parallel;
  parallel.threads = 2;
  const RunResult a = GrainElongationRun(serial, grid);
  const RunResult b = GrainElongationRun(parallel, grid);
  ASSERT_TRUE(a.complete && b.complete);
  ASSERT_EQ(a.lines.size(), 60u);
  EXPECT_EQ(a.lines, b.lines);
  const RunResult t1 = TaylorFactorRun(serial, 0.5L, OrientationGrid{1, 2, 3});
  const RunResult t2 = TaylorFactorRun(parallel, 0.5L, OrientationGrid{1, 2, 3});
  EXPECT_EQ(t1.lines, t2.lines);
  // phi2 runs fastest (the Taylor lines start with the grid angles; the elongation lines with
  // the final orientation).
  EXPECT_EQ(t1.lines[1].substr(0, 17), "    0\t    0\t    5");
  EXPECT_EQ(t1.lines[3].substr(0, 17), "    0\t    5\t    0");
}

TEST(OrientationRuns, AFailingOrientationStopsTheRunAndSaysWhich) {
  RunControl control;
  const RunResult r = RunOrientationGrid(
      OrientationGrid{1, 2, 4},
      [](Real a1, Real a, Real a2) -> std::string {
        if (a == 5 && a2 == 10) throw std::runtime_error("no value");
        return FormatLine(a1, a, a2);
      },
      control);
  EXPECT_FALSE(r.complete);
  EXPECT_LE(r.lines.size(), 6u);
  EXPECT_EQ(r.error, "orientation 0 5 10: no value");
}

TEST(OrientationRuns, ElongationStopsAtFivePercent) {
  for (const auto& [a1, a, a2] : {std::array<Real, 3>{0, 0, 0}, std::array<Real, 3>{15, 40, 80}}) {
    const Elongation e = ElongationOfOrientation(a1, a, a2);
    EXPECT_FALSE(e.limitReached);
    EXPECT_GE(e.e11, 0.05L);
    const std::string line = ElongationLine(e);
    EXPECT_GE(core::ParseNumber(core::GetTabField(line, 4)).value, 1.05L) << line;
  }
}

TEST(OrientationRuns, SchmidLineOfTheCubeOrientation) {
  // An isotropic crystal: both self-consistent models carry the applied stress, so the cube
  // orientation shows the Schmid factor 1/sqrt(6) of system 3.
  core::OrientationsRec ctx;
  core::CijklVector v{};
  v[1] = v[16] = v[21] = 250;
  v[4] = v[6] = v[18] = 100;
  v[7] = v[12] = v[19] = 75;
  core::CijklToTensor(v, ctx.Lr);
  ctx.L = ctx.Lr;
  ctx.M = ctx.Lr;
  core::InvertTensor(ctx.M, 11);
  ctx.W = core::SymIdentityTensor();
  const SchmidFactors f = SchmidFactorsOfOrientation(ctx, 0, 0, 0);
  EXPECT_EQ(SchmidLine(0, 0, 0, f), "    0\t    0\t    0\t 0.408\t3\t 0.408\t3\r\n");
  // A general orientation: the grain stress is turned into crystal axes first, so the factor
  // equals that of the applied stress in crystal axes.
  const SchmidFactors g = SchmidFactorsOfOrientation(ctx, 20, 35, 10);
  const SlipSystemSet set = BCCSlipSystemSet();
  Tensor2 sigma, sigmaC;
  sigma(1, 1) = 1;
  core::RotateTensor2(
      texture::EulerToMatrix(20 * core::kDegToRad, 35 * core::kDegToRad, 10 * core::kDegToRad),
      sigma, sigmaC);
  const LargestShear expected =
      LargestResolvedShear(ResolvedShearStresses(set.SchmidTensors, 12, sigmaC), 12);
  EXPECT_NEAR(g.kroener.value, expected.value, 1e-12);
  EXPECT_EQ(g.kroener.system, expected.system);
  EXPECT_NEAR(g.inverseKroener.value, expected.value, 1e-12);
}

class RunOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("polydec_runs_" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(RunOutput, CancelKeepsTheLinesDoneInAPartialFileAndTheTargetUntouched) {
  const fs::path target = dir_ / kElongationFileName;
  test::WriteFile(target, "old contents\r\n");
  RunControl control;
  int asked = 0;
  control.cancelled = [&asked] { return ++asked >= 1; };
  const RunResult r = GrainElongationRun(control);
  EXPECT_FALSE(r.complete);
  EXPECT_LT(r.lines.size(), static_cast<std::size_t>(kFullGrid.Size()));
  const WriteOutcome w = WriteRunOutput(target.string(), r);
  ASSERT_FALSE(w.error) << *w.error;
  EXPECT_EQ(w.file, PartialPath(target.string()));
  EXPECT_EQ(test::ReadFile(target), "old contents\r\n");
  std::string expected;
  for (const std::string& l : r.lines) expected += l;
  EXPECT_EQ(test::ReadFile(w.file), expected);

  // A complete run replaces the target.
  const RunResult full = GrainElongationRun(RunControl{}, OrientationGrid{1, 1, 2});
  ASSERT_TRUE(full.complete);
  EXPECT_EQ(WriteRunOutput(target.string(), full).file, target.string());
  EXPECT_EQ(test::ReadFile(target), full.lines[0] + full.lines[1]);
}

TEST_F(RunOutput, AFolderInTheWayIsReportedWithItsName) {
  const fs::path target = dir_ / "taken";
  fs::create_directories(target);
  RunResult r;
  r.complete = true;
  r.lines = {"x\r\n"};
  const WriteOutcome w = WriteRunOutput(target.string(), r);
  ASSERT_TRUE(w.error);
  EXPECT_NE(w.error->find("taken"), std::string::npos);
}

}  // namespace
}  // namespace polydec::special
