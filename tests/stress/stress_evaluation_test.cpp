// Grouping, checks and fits of the stress evaluation at full precision: spacings made from a
// known stress give it back, held components keep their values, and the uncertainty of a
// fixed d0 widens the stress uncertainties.
#include "stress/stress_evaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "stress/stress_fit.h"

namespace polydec::stress {
namespace {

const Real kDirections[][2] = {{0, 0}, {0, 30}, {0, 60}, {90, 30}, {90, 60}, {45, 45}};

// A measurement of a ferrite-like reflection (s1 = -1.25, 1/2 s2 = 5.8 per TPa) under the
// stress sigma (MPa): d = d0 (1 + eps0 + F:sigma).
StressMeasurement Measured(int row, const std::string& label, Real phi, Real psi,
                           const std::array<Real, 6>& sigma, Real d0, Real eps0 = 0) {
  StressMeasurement m;
  m.label = label;
  m.row = row;
  m.phi = phi;
  m.psi = psi;
  m.F = IsoStressFactors(-1.25L, 5.8L, phi * core::kPi / 180, psi * core::kPi / 180);
  const Real strain = m.F(1, 1) * sigma[0] + m.F(2, 2) * sigma[1] + m.F(3, 3) * sigma[2] +
                      m.F(2, 3) * sigma[3] + m.F(1, 3) * sigma[4] + m.F(1, 2) * sigma[5];
  m.d = d0 * (1 + eps0 + strain * 1e-6L);
  m.sd = 1e-4L;
  m.d0 = d0;
  m.sd0 = 1e-5L;
  m.eps0 = eps0;
  return m;
}

std::vector<StressMeasurement> OneSet(const std::array<Real, 6>& sigma, Real d0, Real eps0 = 0) {
  std::vector<StressMeasurement> rows;
  int r = 0;
  for (const auto& dir : kDirections)
    rows.push_back(Measured(++r, "1", dir[0], dir[1], sigma, d0, eps0));
  return rows;
}

const std::array<Real, 6> kNoHeld{};

TEST(StressEvaluation, KnownStressIsRecovered) {
  const std::array<Real, 6> sigma{300, -150, 0, 0, 0, 0};
  const Real d0 = 1.1700343L;
  const struct Case {
    const char* name;
    bool d0Fixed, subtractEps0;
    Real eps0;
  } cases[] = {{"d0 fitted", false, false, 0},
               {"d0 fixed", true, false, 0},
               {"d0 fixed, eps0 subtracted", true, true, 2e-4L},
               {"d0 fitted, eps0 subtracted", false, true, 2e-4L}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StressFitOptions options;
    options.d0Fixed = c.d0Fixed;
    options.subtractEps0 = c.subtractEps0;
    const auto rows = OneSet(sigma, d0, c.eps0);
    const StressEvaluation e = EvaluateStress(rows, options, [](std::size_t) { return kNoHeld; });
    ASSERT_FALSE(e.error);
    ASSERT_EQ(e.sets.size(), 1u);
    const StressSetResult& r = e.sets[0];
    EXPECT_NEAR(r.sig[0], 300, 1e-7L);
    EXPECT_NEAR(r.sig[1], -150, 1e-7L);
    for (int p = 2; p < 6; ++p) {
      EXPECT_EQ(r.sig[p], 0) << p;
      EXPECT_EQ(r.sigErr[p], 0) << p;
    }
    EXPECT_GT(r.sigErr[0], 0);
    EXPECT_LT(r.chisq, 1e-12L);
    EXPECT_EQ(r.d0Fitted, !c.d0Fixed);
    if (!c.d0Fixed) {
      EXPECT_NEAR(r.d0, d0, 1e-12L);
    }
    ASSERT_EQ(r.dCalc.size(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
      EXPECT_EQ(r.rows[k], rows[k].row);
      EXPECT_NEAR(r.dCalc[k], rows[k].d, 1e-12L) << k;
    }
  }
}

// eps0 left in the spacings reads as a hydrostatic stress when it is not subtracted.
TEST(StressEvaluation, UnsubtractedEps0ShiftsTheStress) {
  StressFitOptions options;
  options.d0Fixed = true;
  const auto rows = OneSet({300, -150, 0, 0, 0, 0}, 1.17L, 2e-4L);
  const StressEvaluation e = EvaluateStress(rows, options, [](std::size_t) { return kNoHeld; });
  ASSERT_FALSE(e.error);
  EXPECT_GT(std::fabs(e.sets[0].sig[0] - 300), 1);
}

TEST(StressEvaluation, DataSetsAreExactLabelsInOrderOfFirstRow) {
  const struct Case {
    std::vector<std::string> labels;
    std::vector<std::vector<int>> sets;  // member rows
  } cases[] = {
      {{"1", "2", "1", "2", "1"}, {{1, 3, 5}, {2, 4}}},
      {{"1", "1 ", "1"}, {{1, 3}, {2}}},  // a trailing blank makes another label
      {{"B", "A", "B"}, {{1, 3}, {2}}},
  };
  for (const Case& c : cases) {
    std::vector<StressMeasurement> rows;
    for (std::size_t k = 0; k < c.labels.size(); ++k)
      rows.push_back(Measured(static_cast<int>(k) + 1, c.labels[k], 0, 0, {}, 1.17L));
    const std::vector<StressDataSet> sets = GroupDataSets(rows);
    ASSERT_EQ(sets.size(), c.sets.size());
    for (std::size_t g = 0; g < sets.size(); ++g) {
      std::vector<int> members;
      for (const auto& m : sets[g].members) members.push_back(m.row);
      EXPECT_EQ(members, c.sets[g]) << g;
      EXPECT_EQ(sets[g].label, sets[g].members.front().label);
    }
  }
}

// A held component keeps its value in the fit and has no uncertainty; with everything held
// only chi-square is evaluated.
TEST(StressEvaluation, HeldComponentsKeepTheirValues) {
  const auto rows = OneSet({120, 80, 50, 0, 0, 0}, 1.17L);
  StressFitOptions options;  // sig_zz .. sig_xy held
  const std::array<Real, 6> held{0, 0, 50, 0, 0, 0};
  StressEvaluation e = EvaluateStress(rows, options, [&](std::size_t) { return held; });
  ASSERT_FALSE(e.error);
  EXPECT_NEAR(e.sets[0].sig[0], 120, 1e-7L);
  EXPECT_NEAR(e.sets[0].sig[1], 80, 1e-7L);
  EXPECT_NEAR(e.sets[0].sig[2], 50, 1e-12L);
  EXPECT_EQ(e.sets[0].sigErr[2], 0);

  options.fixed.fill(true);
  options.d0Fixed = true;
  const std::array<Real, 6> given{10, -20, 50, 0, 0, 0};
  e = EvaluateStress(rows, options, [&](std::size_t) { return given; });
  ASSERT_FALSE(e.error);
  for (int p = 0; p < 6; ++p) {
    EXPECT_NEAR(e.sets[0].sig[p], given[p], 1e-12L) << p;
    EXPECT_EQ(e.sets[0].sigErr[p], 0) << p;
  }
  // chi-square of the given stresses: the misfit of every row in units of its uncertainty.
  Real chisq = 0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Real misfit = (rows[k].d - e.sets[0].dCalc[k]) / rows[k].sd;
    chisq += misfit * misfit;
  }
  EXPECT_NEAR(e.sets[0].chisq, chisq, 1e-9L * chisq);
}

// The uncertainty of a stress with d0 fixed joins the statistical one and half the spread
// between the fits with d0 + sd0 and d0 - sd0.
TEST(StressEvaluation, D0UncertaintyWidensStressUncertainty) {
  StressFitOptions options;
  options.d0Fixed = true;
  auto rows = OneSet({120, 80, 0, 0, 0, 0}, 1.17L);
  for (auto& m : rows) m.sd = 1e-7L;
  const auto fit = [&](Real shift, Real sd0) {
    std::vector<StressMeasurement> shifted = rows;
    for (auto& m : shifted) {
      m.d0 += shift;
      m.sd0 = sd0;
    }
    return EvaluateStress(shifted, options, [](std::size_t) { return kNoHeld; }).sets.at(0);
  };
  const Real sd0 = 1e-3L;
  const StressSetResult narrow = fit(0, 1e-12L), wide = fit(0, sd0);
  const StressSetResult up = fit(sd0, 1e-12L), down = fit(-sd0, 1e-12L);
  EXPECT_NEAR(narrow.sig[0], wide.sig[0], 1e-9L);
  const Real half = (up.sig[0] - down.sig[0]) / 2;
  EXPECT_GT(std::fabs(half), 10 * narrow.sigErr[0]);
  EXPECT_NEAR(wide.sigErr[0], std::sqrt(half * half + narrow.sigErr[0] * narrow.sigErr[0]),
              1e-9L * wide.sigErr[0]);
}

TEST(StressEvaluation, RefusalsNameRowAndColumn) {
  const struct Case {
    const char* name;
    bool d0Fixed;
    Real sd, d0, sd0;
    int column;
    const char* message;
  } cases[] = {
      // The uncertainty message counts the member within its data set (row 4 is the second of
      // data set "2").
      {"zero d uncertainty", false, 0, 1.17L, 1e-5L, 6,
       "D-spacing uncertainty is 0 at cell 4 (row 4, the \"+/-\" of \"d\")"},
      {"zero d0 uncertainty, d0 fixed", true, 1e-4L, 1.17L, 0, 8,
       "D0 uncertainty is 0 at cell 4 (row 4, the \"+/-\" of \"d0\")"},
      {"zero d0", false, 1e-4L, 0, 1e-5L, 7, "D0 is 0 at line 4 (column \"d0\")"},
      {"d0 equal to its uncertainty", true, 1e-4L, 1.17L, 1.17L, 7,
       "D0 plus or minus its uncertainty is 0 at line 4 (columns \"d0\" and \"+/-\")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<StressMeasurement> rows;
    for (int r = 1; r <= 6; ++r)
      rows.push_back(Measured(r, r % 2 ? "1" : "2", kDirections[r - 1][0], kDirections[r - 1][1],
                              {100, 50, 0, 0, 0, 0}, 1.17L));
    rows[3].sd = c.sd;
    rows[3].d0 = c.d0;
    rows[3].sd0 = c.sd0;
    StressFitOptions options;
    options.d0Fixed = c.d0Fixed;
    const StressEvaluation e = EvaluateStress(rows, options, [](std::size_t) { return kNoHeld; });
    ASSERT_TRUE(e.error);
    EXPECT_TRUE(e.sets.empty());
    EXPECT_EQ(e.error->message, c.message);
    EXPECT_EQ(e.error->line, 4);
    EXPECT_EQ(e.error->column, c.column);
  }
  // A zero d0 uncertainty is no problem while d0 is fitted.
  std::vector<StressMeasurement> rows = OneSet({100, 50, 0, 0, 0, 0}, 1.17L);
  rows[2].sd0 = 0;
  EXPECT_FALSE(EvaluateStress(rows, StressFitOptions{}, [](std::size_t) { return kNoHeld; }).error);
}

}  // namespace
}  // namespace polydec::stress
