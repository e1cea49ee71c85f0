#include "models/macro_stiffness.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/tensor_inversion.h"
#include "models/aggregate.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/reflection_dec.h"
#include "models/untextured_context.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"
#include "texture/random_grains.h"
#include "support/stiffness.h"

namespace polydec::models {
namespace {

using core::CijklVector;
using core::OrientationsRec;
using core::Real;
using core::Tensor4;

constexpr Real kDeg = core::kDegToRad;
// Positions that vanish for an orthotropic tensor.
constexpr int kOffOrthotropic[] = {2, 3, 5, 8, 9, 10, 11, 13, 14, 15, 17, 20};

using test::Cubic;

const CijklVector kIron = Cubic(237, 141, 116);

CijklVector Titanium() {
  CijklVector v{};
  v[1] = v[16] = 162.4L, v[4] = 92, v[6] = v[18] = 69, v[21] = 180.7L;
  v[12] = v[19] = 46.7L, v[7] = (162.4L - 92) / 2;
  return v;
}

CijklVector ToVector(const Tensor4& T) {
  CijklVector v{};
  core::TensorToCijkl(T, v);
  return v;
}

Real MaxOffOrthotropic(const CijklVector& v) {
  Real m = 0;
  for (int p : kOffOrthotropic) m = std::max(m, std::fabs(v[p]));
  return m;
}

// A phase list of one phase: crystal constants c of class cls in an isotropic matrix of
// E = 200 GPa, nu = 0.3 (not the aggregate of c), spherical grains, sample symmetry `symmetry`.
core::ORTN_Array Phase(const CijklVector& c, int cls, int symmetry) {
  auto phase = std::make_unique<OrientationsRec>();
  core::CijklToTensor(c, phase->Lr);
  core::CijklToTensor(IsotropicStiffness(200, 0.3L), phase->L);
  phase->Cryst.SYS = static_cast<polydec::CrystalClass>(cls);
  phase->SYMMETRY = static_cast<polydec::SampleSymmetry>(symmetry);
  phase->Iter = 1;
  phase->IIntervls = 6;
  EXPECT_TRUE(UpdateEshelby(*phase));
  core::ORTN_Array list;
  list.push_back(std::move(phase));
  return list;
}

void AddGrain(OrientationsRec& phase, Real phi1, Real Phi, Real phi2, Real weight) {
  phase.GOrient.phi1.push_back(phi1);
  phase.GOrient.phi.push_back(Phi);
  phase.GOrient.phi2.push_back(phi2);
  phase.GOrient.weight.push_back(weight);
  phase.UseGrains = true;
}

void UseRandomSet(OrientationsRec& phase, int n) {
  const texture::ODFReadResult r =
      texture::WeightRandomGrains(phase, texture::RandomOrientationFile(POLYDEC_BIN_DIR, n), n);
  ASSERT_TRUE(r.ok()) << r.Describe();
  phase.UseGrains = true;
}

// An ODF on the full grid from a function of the orientation matrix g.
template <class F>
void SetODF(OrientationsRec& ctx, F&& f) {
  texture::SizeODFArrays(ctx);
  texture::SetODFGridAngles(ctx);
  for (int n = 0; n < texture::kODFNodeCount; ++n)
    ctx.ODF[n] =
        f(texture::EulerToMatrix(ctx.phi1[n] * kDeg, ctx.phi[n] * kDeg, ctx.phi2[n] * kDeg));
  ctx.ODFNUMP = texture::kODFNodeCount;
  ctx.UseODF = true;
  ctx.maxphi1 = 360, ctx.maxphi = 180, ctx.maxphi2 = 360;
}

// A texture of cubic crystals that prefers <100> along sample x over <100> along y: invariant
// under the cubic crystal operators (they permute and flip the rows of g) and the orthorhombic
// sample operators (they flip columns), positive (between 0.06 and 1.94).
Real XCubeTexture(const core::Tensor2& g) {
  Real x = 0, y = 0;
  for (int i = 1; i <= 3; ++i) {
    x += std::pow(g(i, 1), 4);
    y += std::pow(g(i, 2), 4);
  }
  return 1 + 1.4L * (x - y);
}

// Runs self-consistent rounds as a caller does until the step sum is accepted.
NewtonResult Converge(Tensor4& L, core::ORTN_Array& list, int code) {
  NewtonResult r;
  for (int round = 0; round < 30; ++round) {
    r = SolveSelfConsistent(L, list, 1, static_cast<polydec::ModelCode>(code));
    if (r.failed || r.stepSum < kAcceptedStepSum) break;
  }
  return r;
}

TEST(MacroStiffness, IsotropicCrystalIsReturnedByEveryModelAndRoute) {
  // Voigt and Reuss are exact up to rounding; the self-consistent models stop within 1e-6 GPa.
  const CijklVector iso = Cubic(200, 100, 50);
  for (bool grains : {true, false}) {
    for (int code : {kVoigt, kReuss, kKroener, kInverseKroener}) {
      SCOPED_TRACE(std::string(grains ? "grains " : "ODF ") +
                   ModelName(static_cast<polydec::ModelCode>(code)));
      const bool selfConsistent = code == kKroener || code == kInverseKroener;
      core::ORTN_Array list = Phase(iso, 0, selfConsistent ? 0 : 7);
      if (grains) UseRandomSet(*list[0], 228);
      Tensor4 L = list[0]->L;
      if (code == kVoigt && grains) {
        ASSERT_TRUE(GrainAverageStiffness(L, list));
      }
      if (code == kReuss && grains) {
        ASSERT_TRUE(GrainAverageCompliance(L, list));
      }
      if (code == kVoigt && !grains) ODFAverage(L, *list[0], 3, kStiffnessAverage);
      if (code == kReuss && !grains) {
        ODFAverage(L, *list[0], 3, kComplianceAverage);
        core::InvertTensor(L, 7);
      }
      if (selfConsistent) {
        const NewtonResult r = Converge(L, list, code);
        ASSERT_FALSE(r.failed);
      }
      const CijklVector v = ToVector(L);
      const Real tol = selfConsistent ? 1e-5L : 1e-9L;
      for (int p = 1; p <= 21; ++p) EXPECT_NEAR(v[p], iso[p], tol) << p;
    }
  }
}

TEST(MacroStiffness, SingleGrainGivesTheRotatedCrystal) {
  struct Case {
    const char* name;
    CijklVector c;
    int cls;
    Real phi1, Phi, phi2;
    // Expected C1111, C2222, C3333 of the sample frame.
    Real c11, c22, c33;
  };
  const Real ti11 = 162.4L, ti33 = 180.7L;
  const Case cases[] = {
      {"iron at the origin", kIron, 1, 0, 0, 0, 237, 237, 237},
      {"iron turned about z", kIron, 1, 90 * kDeg, 0, 0, 237, 237, 237},
      {"titanium at the origin", Titanium(), 2, 0, 0, 0, ti11, ti11, ti33},
      // Phi = 90 degrees turns the crystal c axis onto the sample y axis.
      {"titanium c axis along y", Titanium(), 2, 0, 90 * kDeg, 0, ti11, ti33, ti11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    core::ORTN_Array list = Phase(c.c, c.cls, 7);
    AddGrain(*list[0], c.phi1, c.Phi, c.phi2, 1);
    Tensor4 voigt, reuss;
    ASSERT_TRUE(GrainAverageStiffness(voigt, list));
    ASSERT_TRUE(GrainAverageCompliance(reuss, list));
    const CijklVector v = ToVector(voigt), r = ToVector(reuss);
    // One grain: the Voigt and Reuss averages are the same tensor, to rounding.
    for (int p = 1; p <= 21; ++p) EXPECT_NEAR(v[p], r[p], 1e-10L) << p;
    EXPECT_NEAR(v[1], c.c11, 1e-10L);
    EXPECT_NEAR(v[16], c.c22, 1e-10L);
    EXPECT_NEAR(v[21], c.c33, 1e-10L);
    EXPECT_LT(MaxOffOrthotropic(v), 1e-10L);
  }
}

TEST(MacroStiffness, UniformTextureGivesTheIsotropicAverages) {
  // Triclinic sample symmetry: all 21 components are integrated, so isotropy is a result. With
  // N = 10 the Simpson rule integrates the degree-4 orientation dependence to about 1e-5
  // relative; the rotation of a tensor leaves no orthotropic residue beyond rounding.
  core::ORTN_Array list = Phase(kIron, 1, 10);
  Tensor4 voigt, reuss;
  ODFAverage(voigt, *list[0], 10, kStiffnessAverage);
  ODFAverage(reuss, *list[0], 10, kComplianceAverage);
  core::InvertTensor(reuss, 10);
  const CijklVector v = ToVector(voigt), r = ToVector(reuss);
  const CijklVector isoV = VoigtAggregate(kIron), isoR = ReussAggregate(kIron);
  for (int p = 1; p <= 21; ++p) {
    EXPECT_NEAR(v[p], isoV[p], 0.01L) << p;
    EXPECT_NEAR(r[p], isoR[p], 0.01L) << p;
  }
  EXPECT_NEAR(v[16], v[1], 1e-12L);
  EXPECT_NEAR(v[21], v[1], 0.01L);
  EXPECT_LT(MaxOffOrthotropic(v), 1e-12L);
}

TEST(MacroStiffness, RandomGrainSetIsNearlyIsotropic) {
  // The shipped sets are random: the mean of n grains scatters by about sigma/sqrt(n), sigma of
  // C'1111 of iron being about 25 GPa: 0.4 GPa for n = 4572.
  core::ORTN_Array list = Phase(kIron, 1, 10);
  UseRandomSet(*list[0], 4572);
  Tensor4 T;
  ASSERT_TRUE(GrainAverageStiffness(T, list));
  const CijklVector v = ToVector(T);
  const CijklVector iso = VoigtAggregate(kIron);
  for (int p : {1, 16, 21}) EXPECT_NEAR(v[p], iso[1], 2) << p;
  for (int p : {4, 6, 18}) EXPECT_NEAR(v[p], iso[4], 2) << p;
  for (int p : {7, 12, 19}) EXPECT_NEAR(v[p], iso[7], 2) << p;
  EXPECT_LT(MaxOffOrthotropic(v), 2);
}

TEST(MacroStiffness, OrthorhombicTextureGivesOrthotropicStiffness) {
  core::ORTN_Array list = Phase(kIron, 1, 10);
  OrientationsRec& phase = *list[0];
  SetODF(phase, XCubeTexture);
  Tensor4 T;
  ODFAverage(T, phase, 6, kStiffnessAverage);
  const CijklVector v = ToVector(T);
  // <100>, the soft direction of iron, gathers along x.
  EXPECT_LT(v[1], v[16] - 5);
  EXPECT_LT(MaxOffOrthotropic(v), 1e-9L * v[1]);
  // With the orthorhombic class only the nine orthotropic components are integrated, over the
  // half turn of phi1 that the sample's half turn about z leaves them unchanged by: the same
  // integral, its points twice as dense in phi1, so the two agree to the quadrature error of
  // the coarser rule on the interpolated 5-degree grid (about 4e-4 here).
  phase.SYMMETRY = polydec::kOrthorhombicSample;
  Tensor4 T7;
  ODFAverage(T7, phase, 6, kStiffnessAverage);
  const CijklVector v7 = ToVector(T7);
  for (int p = 1; p <= 21; ++p) EXPECT_NEAR(v7[p], v[p], 1e-3L * v[1]) << p;
  // At many more intervals both rules reach the same integral.
  Tensor4 fine7, fine10 = T;
  ODFAverage(fine7, phase, 24, kStiffnessAverage);
  phase.SYMMETRY = polydec::kTriclinicSample;
  ODFAverage(fine10, phase, 24, kStiffnessAverage);
  for (int p = 1; p <= 21; ++p)
    EXPECT_NEAR(ToVector(fine7)[p], ToVector(fine10)[p], 5e-5L * v[1]) << p;
  phase.SYMMETRY = polydec::kOrthorhombicSample;

  // The random set weighted by the same ODF shows the same texture, within its scatter.
  UseRandomSet(phase, 4572);
  Tensor4 G;
  ASSERT_TRUE(GrainAverageStiffness(G, list));
  const CijklVector g = ToVector(G);
  EXPECT_NEAR(g[16] - g[1], v[16] - v[1], 1);
}

TEST(MacroStiffness, SelfConsistentStiffnessOfUniformTextureIsHersheys) {
  // Hershey (1954): G = 82.0747 GPa for iron; K = (C11 + 2 C12)/3 = 173 GPa. The residual of the
  // ODF route is integrated with N = IIntervls div 2 = 6, whose error moves G by about 0.01 and
  // K by about 0.1 GPa. Kroener and inverse Kroener have the same root for an untextured
  // aggregate.
  for (int code : {kKroener, kInverseKroener}) {
    SCOPED_TRACE(ModelName(static_cast<polydec::ModelCode>(code)));
    core::ORTN_Array list = Phase(kIron, 1, 0);
    list[0]->IIntervls = 12;
    Tensor4 L = list[0]->L;
    const NewtonResult r = Converge(L, list, code);
    ASSERT_FALSE(r.failed);
    const CijklVector v = ToVector(L);
    EXPECT_NEAR(v[7], 82.0747L, 0.02L);
    EXPECT_NEAR((v[1] + 2 * v[4]) / 3, 173, 0.15L);
    EXPECT_NEAR(v[7], (v[1] - v[4]) / 2, 1e-12L);

    // Started from its own result, the residual is already below tolerance: no step is taken.
    const NewtonResult again =
        SolveSelfConsistent(L, list, 1, static_cast<polydec::ModelCode>(code));
    EXPECT_EQ(again.trials, 0);
    EXPECT_EQ(again.stepSum, 0);
    EXPECT_LE(again.residualSum, kNewtonTolerance);
  }
  // The grain route over the 228 random grains lands near it, within the set's scatter.
  core::ORTN_Array list = Phase(kIron, 1, 0);
  UseRandomSet(*list[0], 228);
  Tensor4 L = list[0]->L;
  ASSERT_FALSE(Converge(L, list, kKroener).failed);
  EXPECT_NEAR(ToVector(L)[7], 82.0747L, 1);
  EXPECT_EQ(list[0]->a, ToVector(L));
}

TEST(MacroStiffness, SelfConsistentOrthotropicTextureInOrthorhombicSample) {
  // Nine unknowns, grain shapes integrated for the orthorhombic matrix at every residual: the
  // result keeps the orthotropic form and the texture's sense.
  core::ORTN_Array list = Phase(kIron, 1, 7);
  SetODF(*list[0], XCubeTexture);
  list[0]->IIntervls = 10;
  Tensor4 L = list[0]->L;
  const NewtonResult r = Converge(L, list, kKroener);
  ASSERT_FALSE(r.failed);
  EXPECT_LT(r.stepSum, kAcceptedStepSum);
  const CijklVector v = ToVector(L);
  EXPECT_LT(v[1], v[16] - 5);
  EXPECT_EQ(MaxOffOrthotropic(v), 0);
  EXPECT_GT(v[7], 74);  // between the Reuss and Voigt shear moduli of the untextured aggregate
  EXPECT_LT(v[7], 89);
}

// The self-consistent integrand holds the matrix and its Eshelby tensor as well as the grain:
// a matrix that a half turn about z changes (the first trial of a typed, rotated stiffness)
// must not be integrated over half of phi1 even where the sample class would allow it. The
// orthorhombic average then equals the triclinic one at the orthorhombic positions.
TEST(MacroStiffness, SelfConsistentIntegrandOfATurnedMatrixIsNotFolded) {
  core::ORTN_Array list = Phase(kIron, 1, core::kOrthorhombicSample);
  OrientationsRec& ctx = *list[0];
  SetODF(ctx, XCubeTexture);
  core::Tensor2 R;  // 30 degrees about x
  R(1, 1) = 1;
  R(2, 2) = R(3, 3) = std::cos(30 * kDeg);
  R(2, 3) = -std::sin(30 * kDeg);
  R(3, 2) = std::sin(30 * kDeg);
  Tensor4 cubic;
  core::CijklToTensor(Cubic(300, 100, 60), cubic);
  RotateTensor4(cubic, R, ctx.L);
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, 10);
  ctx.SYMMETRY = core::kTriclinicSample;
  ASSERT_TRUE(UpdateEshelby(ctx));
  OrientationsRec triclinic = ctx, orthorhombic = ctx;
  orthorhombic.SYMMETRY = core::kOrthorhombicSample;
  for (int mode : {kKroenerIntegrand, kInverseKroenerIntegrand}) {
    SCOPED_TRACE(mode);
    Tensor4 a = ctx.L, b = ctx.L;
    ODFAverage(a, triclinic, 4, mode);
    ODFAverage(b, orthorhombic, 4, mode);
    const CijklVector va = ToVector(a), vb = ToVector(b);
    Real largest = 0;
    for (Real x : va) largest = std::max(largest, std::fabs(x));
    for (int p : {1, 4, 6, 7, 12, 16, 18, 19, 21})
      EXPECT_NEAR(vb[p], va[p], 1e-12L * largest) << "position " << p;
  }
}

TEST(MacroStiffness, IterZeroStillRunsOneTrial) {
  core::ORTN_Array list = Phase(kIron, 1, 0);
  list[0]->Iter = 0;
  Tensor4 L = list[0]->L;
  const NewtonResult r = SolveSelfConsistent(L, list, 1, kKroener);
  EXPECT_EQ(r.trials, 1);
  EXPECT_GT(r.stepSum, 0);
}

TEST(MacroStiffness, NothingToAverageIsRefused) {
  struct Case {
    const char* name;
    std::vector<Real> weights;
  };
  const Case cases[] = {{"no grains", {}}, {"zero weights", {0, 0}}, {"negative sum", {1, -2}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    core::ORTN_Array list = Phase(kIron, 1, 0);
    list[0]->UseGrains = true;
    for (Real w : c.weights) AddGrain(*list[0], 0, 0, 0, w);
    Tensor4 out;
    out(1, 1, 1, 1) = 42;
    const Tensor4 before = out;
    EXPECT_FALSE(GrainAverageStiffness(out, list));
    EXPECT_FALSE(GrainAverageCompliance(out, list));
    EXPECT_EQ(out, before);
    Tensor4 R;
    EXPECT_FALSE(KroenerResidual(list[0]->L, list, R));
    Tensor4 L = list[0]->L;
    const Tensor4 start = L;
    EXPECT_TRUE(SolveSelfConsistent(L, list, 3, kKroener).failed);
    EXPECT_EQ(L, start);
  }
}

TEST(MacroStiffness, TooFewIntervalsComputeNothing) {
  core::ORTN_Array list = Phase(kIron, 1, 0);
  Tensor4 out;
  out(1, 1, 1, 1) = 42;
  const Tensor4 before = out;
  ODFAverage(out, *list[0], 0, kStiffnessAverage);
  EXPECT_EQ(out, before);
  // IIntervls 1 gives N = 0 for the residual: it stays 0 and Newton stops at once.
  list[0]->IIntervls = 1;
  Tensor4 L = list[0]->L;
  const Tensor4 start = L;
  const NewtonResult r = SolveSelfConsistent(L, list, 5, kKroener);
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.trials, 0);
  EXPECT_EQ(L, start);
}

TEST(MacroStiffness, NewtonTrialsReachTheRootWithoutDrift) {
  // A residual linear in L with its root at an isotropic target: the finite differences are
  // exact, so two trials land on the root to rounding. Restoring only the perturbed unknown
  // after a difference would leave its class partners shifted by 2h/9, about 0.06 GPa here.
  CijklVector target = Cubic(280, 120, 80);
  Tensor4 Target;
  core::CijklToTensor(target, Target);
  const ResidualFunction linear = [&](const Tensor4& T, Tensor4& R) {
    core::AddTensors(T, Target, R, -1);
    return true;
  };
  CijklVector x = Cubic(250, 100, 75);
  const NewtonResult r =
      NewtonTrials(x, {1, 4}, static_cast<polydec::SampleSymmetry>(0), 3, linear);
  EXPECT_FALSE(r.failed);
  for (int p = 1; p <= 21; ++p) EXPECT_NEAR(x[p], target[p], 1e-9L) << p;

  struct Bad {
    const char* name;
    ResidualFunction residual;
  };
  const Bad bad[] = {
      {"singular Jacobian",
       [](const Tensor4&, Tensor4& R) {
         R = Tensor4{};
         R(1, 1, 1, 1) = 1;
         return true;
       }},
      {"not a number",
       [](const Tensor4&, Tensor4& R) {
         R = Tensor4{};
         R(1, 1, 1, 1) = std::numeric_limits<Real>::quiet_NaN();
         return true;
       }},
      {"not evaluated", [](const Tensor4&, Tensor4&) { return false; }},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    CijklVector y = Cubic(250, 100, 75);
    const NewtonResult f =
        NewtonTrials(y, {1, 4, 7}, static_cast<polydec::SampleSymmetry>(1), 3, b.residual);
    EXPECT_TRUE(f.failed);
    EXPECT_EQ(y, Cubic(250, 100, 75));
  }
}

TEST(MacroStiffness, WatchStopsStalledAndDivergentIterations) {
  using V = SelfConsistentWatch::Verdict;
  struct Case {
    const char* name;
    std::vector<Real> steps;
    V last;
  };
  std::vector<Real> stalled(50, 1e-3L);
  std::vector<Real> almostStalled(49, 1e-3L);
  const Case cases[] = {
      {"converges", {10, 1, 1e-3L, 1e-8L}, V::kConverged},
      {"stays above for 50 rounds", stalled, V::kNoConvergence},
      {"49 rounds above", almostStalled, V::kGoOn},
      {"grows 5 rounds in a row", {1, 2, 3, 4, 5, 6}, V::kDivergence},
      {"grows 4 rounds in a row", {1, 2, 3, 4, 5}, V::kGoOn},
      {"growth interrupted", {1, 2, 3, 4, 5, 4, 5, 6}, V::kGoOn},
      {"not a number", {1, std::numeric_limits<Real>::quiet_NaN()}, V::kDivergence},
      {"converged, then a small step again", {1e-8L, 1e-3L}, V::kGoOn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SelfConsistentWatch watch;
    V v = V::kGoOn;
    for (Real s : c.steps) v = watch.Next(s);
    EXPECT_EQ(v, c.last);
  }
}

TEST(MacroStiffness, RandomGrainsAreWeightedByTheODF) {
  // The shipped set: 228 grains after 4 header lines, weight 1 without an ODF, the ODF value
  // at the grain with one.
  OrientationsRec ctx;
  const std::string shipped = texture::RandomOrientationFile(POLYDEC_BIN_DIR, 228);
  ASSERT_TRUE(texture::WeightRandomGrains(ctx, shipped, 228).ok());
  ASSERT_EQ(ctx.GOrient.weight.size(), 228u);
  for (Real w : ctx.GOrient.weight) EXPECT_EQ(w, 1);
  SetODF(ctx, XCubeTexture);
  ASSERT_TRUE(texture::WeightRandomGrains(ctx, shipped, 100).ok());
  ASSERT_EQ(ctx.GOrient.phi1.size(), 100u);
  const core::GrainOrientations& g = ctx.GOrient;
  for (std::size_t i = 0; i < 100; ++i)
    EXPECT_EQ(g.weight[i], texture::ODFValue(ctx, g.phi1[i], g.phi[i], g.phi2[i]));

  // Files that cannot give the grains asked for leave the grain set as it was.
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / (std::to_string(::getpid()) + "_polydec_random_grains_test");
  fs::create_directories(dir);
  const std::string header = "h\r\nh\r\nh\r\nphi1 PHI phi2 weight\r\n";
  struct Case {
    const char* name;
    std::string text;  // empty: no file
    int n;
  };
  const Case cases[] = {
      {"missing file", "", 3},
      {"too few grains", header + "10 20 30 1\r\n20 30 40 1\r\n", 3},
      {"angle outside the grid", header + "-10 20 30 1\r\n20 30 40 1\r\n", 2},
      {"no grains asked for", header + "10 20 30 1\r\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "grains.wts";
    fs::remove(file);
    if (!c.text.empty()) std::ofstream(file, std::ios::binary) << c.text;
    const core::GrainOrientations before = ctx.GOrient;
    const texture::ODFReadResult r = texture::WeightRandomGrains(ctx, file.string(), c.n);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.Describe().find("grains.wts"), std::string::npos) << r.Describe();
    EXPECT_EQ(ctx.GOrient.phi1, before.phi1);
    EXPECT_EQ(ctx.GOrient.weight, before.weight);
  }
  fs::remove_all(dir);
}

TEST(MacroStiffness, EngineeringConstantsOfIsotropicAndOrthotropicStiffness) {
  Tensor4 C;
  core::CijklToTensor(IsotropicStiffness(210, 0.3L), C);
  const EngineeringConstantsRec e =
      MacroEngineeringConstants(C, static_cast<polydec::SampleSymmetry>(0));
  for (Real E : {e.E1, e.E2, e.E3}) EXPECT_NEAR(E, 210, 1e-10L);
  for (Real G : {e.G1, e.G2, e.G3}) EXPECT_NEAR(G, 210 / 2.6L, 1e-10L);
  for (Real nu : {e.nu12, e.nu13, e.nu23, e.nu21, e.nu31, e.nu32}) EXPECT_NEAR(nu, 0.3L, 1e-12L);

  core::CijklToTensor(Titanium(), C);
  const EngineeringConstantsRec t =
      MacroEngineeringConstants(C, static_cast<polydec::SampleSymmetry>(7));
  // Reciprocity of an orthotropic compliance: nu_ij / E_i = nu_ji / E_j.
  EXPECT_NEAR(t.nu13 / t.E1, t.nu31 / t.E3, 1e-15L);
  EXPECT_NEAR(t.E1, t.E2, 1e-10L);
  EXPECT_GT(t.E3, t.E1);
}

}  // namespace
}  // namespace polydec::models
