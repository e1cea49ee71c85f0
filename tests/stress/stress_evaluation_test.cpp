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

// Tables often give no uncertainty of d (the fit is then unweighted, its uncertainties from
// the scatter) or none of d0 (which does not enter while d0 is fitted; held, its part is left
// out and said). A data set with the uncertainty in some rows only, or without any and no
// scatter to take one from, is refused.
TEST(StressEvaluation, MissingUncertaintiesAreHandledAndSaid) {
  const std::array<Real, 6> sigma{300, -150, 0, 0, 0, 0};
  std::vector<StressMeasurement> rows = OneSet(sigma, 1.17L);
  // A scatter of +/- 2e-5 in d, alternating, so that the residuals have one.
  for (std::size_t k = 0; k < rows.size(); ++k) rows[k].d += (k % 2 ? 2e-5L : -2e-5L);
  const StressEvaluation weighted =
      EvaluateStress(rows, StressFitOptions{}, [](std::size_t) { return kNoHeld; });
  ASSERT_FALSE(weighted.error) << weighted.error->message;
  for (StressMeasurement& m : rows) {
    m.sd = 0;
    m.sdGiven = false;
    m.sd0 = 0;
    m.sd0Given = false;
  }
  const StressEvaluation unweighted =
      EvaluateStress(rows, StressFitOptions{}, [](std::size_t) { return kNoHeld; });
  ASSERT_FALSE(unweighted.error) << unweighted.error->message;
  const StressSetResult& u = unweighted.sets[0];
  const StressSetResult& w = weighted.sets[0];
  EXPECT_TRUE(u.unweighted);
  EXPECT_FALSE(u.d0PartLeftOut);  // d0 was fitted
  EXPECT_EQ(u.chisqReduced, 1);
  for (int p = 0; p < 2; ++p) {
    // Equal weights either way: the same stress, and the scaled uncertainty of the weighted fit.
    EXPECT_NEAR(u.sig[p], w.sig[p], 1e-9L * std::fabs(w.sig[p]));
    EXPECT_NEAR(u.sigErr[p], w.sigErrScaled[p], 1e-9L * w.sigErrScaled[p]);
    EXPECT_EQ(u.sigErrStat[p], u.sigErrScaled[p]);
  }

  // d0 held without its uncertainty: no d0 part, said.
  StressFitOptions held;
  held.d0Fixed = true;
  std::vector<StressMeasurement> noSd0 = OneSet(sigma, 1.17L);
  for (StressMeasurement& m : noSd0) {
    m.sd0 = 0;
    m.sd0Given = false;
  }
  const StressEvaluation fixed = EvaluateStress(noSd0, held, [](std::size_t) { return kNoHeld; });
  ASSERT_FALSE(fixed.error) << fixed.error->message;
  EXPECT_TRUE(fixed.sets[0].d0PartLeftOut);
  EXPECT_EQ(fixed.sets[0].d0Systematic[0], 0);

  struct Refused {
    const char* name;
    std::size_t rowsKept;
    bool someGiven;
    const char* says;
  } refusals[] = {
      {"some rows only", 6, true, "The uncertainty of d is empty at row 1 while row 6"},
      {"no scatter", 3, false, "gives no uncertainty of d and has 3 rows for 3 free parameters"},
  };
  for (const Refused& c : refusals) {
    SCOPED_TRACE(c.name);
    std::vector<StressMeasurement> bad = OneSet(sigma, 1.17L);
    bad.resize(c.rowsKept);
    for (std::size_t k = 0; k + (c.someGiven ? 1 : 0) < bad.size(); ++k) {
      bad[k].sd = 0;
      bad[k].sdGiven = false;
    }
    const StressEvaluation e =
        EvaluateStress(bad, StressFitOptions{}, [](std::size_t) { return kNoHeld; });
    ASSERT_TRUE(e.error);
    EXPECT_NE(e.error->message.find(c.says), std::string::npos) << e.error->message;
  }
}

// Directions that cannot separate the free parameters are refused before anything is fitted,
// with the undetermined parameters named; the classical per-azimuth data set is the usual
// case (at phi = 0, F22 = s1 in every row, just like the strain-free term).
TEST(StressEvaluation, UndeterminedParametersAreRefused) {
  const auto azimuth = [](Real phi, std::initializer_list<Real> psis, int first = 1) {
    std::vector<StressMeasurement> rows;
    int r = first;
    for (Real psi : psis) rows.push_back(Measured(r++, "1", phi, psi, {200, 0, 0, 0, 0, 0}, 1.17L));
    return rows;
  };
  const auto options = [](std::array<bool, 6> fixed, bool d0Fixed) {
    StressFitOptions o;
    o.fixed = fixed;
    o.d0Fixed = d0Fixed;
    return o;
  };
  std::vector<StressMeasurement> nearly = azimuth(0, {0, 20, 30, 40, 50, 60});
  for (std::size_t k = 0; k < nearly.size(); ++k) nearly[k].F(2, 2) *= k % 2 ? 1 + 2e-6L : 1 - 2e-6L;
  const struct Case {
    const char* name;
    std::vector<StressMeasurement> rows;
    StressFitOptions options;
    const char* message;  // empty: accepted
  } cases[] = {
      {"default free components, one azimuth", azimuth(0, {0, 20, 30, 40, 50, 60}),
       StressFitOptions{},
       "Data set \"1\": sig_yy and d0 cannot be separated with phi = 0 alone: fix one of them "
       "or add directions"},
      {"sig_zz and d0 free, one azimuth", azimuth(0, {0, 20, 30, 40, 50, 60}),
       options({false, true, false, true, true, true}, false),
       "Data set \"1\": sig_xx, sig_zz and d0 cannot be separated with phi = 0 alone: fix one "
       "of them or add directions"},
      {"a shear that no row sees", azimuth(0, {0, 20, 40, 60}),
       options({false, true, true, false, true, true}, true),
       "Data set \"1\": sig_yz does not enter any spacing measured with phi = 0 alone: fix it "
       "or add directions"},
      {"fewer directions than free parameters", azimuth(90, {0, 45}),
       options({false, false, false, true, true, true}, false),
       "Data set \"1\": sig_xx, sig_yy, sig_zz and d0 cannot be separated with phi = 90 alone: "
       "fix 2 of them or add directions"},
      {"nearly dependent", nearly, StressFitOptions{},
       "Data set \"1\": sig_yy and d0 are barely determined with phi = 0 alone (condition "
       "number"},
      {"d0 fixed: one azimuth determines sig_xx and sig_yy", azimuth(0, {0, 20, 40, 60}),
       options({false, false, true, true, true, true}, true), ""},
      {"two azimuths with d0 free", OneSet({200, 0, 0, 0, 0, 0}, 1.17L), StressFitOptions{}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StressEvaluation e = EvaluateStress(c.rows, c.options, [](std::size_t) { return kNoHeld; });
    if (std::string(c.message).empty()) {
      EXPECT_FALSE(e.error) << e.error->message;
      continue;
    }
    ASSERT_TRUE(e.error);
    EXPECT_TRUE(e.sets.empty());
    EXPECT_EQ(e.error->message.substr(0, std::string(c.message).size()), c.message)
        << e.error->message;
    EXPECT_EQ(e.error->line, 1);
  }
}

// Two reflections of different d0 with d0 fitted: one relative correction for both, each
// reflection's own d0 reported, the stress recovered — the lattice strain is taken from the
// fitted strain-free spacing, so the stress does not scale with the error of the stated d0:
// a small correction, a d0 stated 1.7 % low, and a d0 written in nm beside d in Angstrom.
TEST(StressEvaluation, SeveralReflectionsShareOneRelativeCorrection) {
  const std::array<Real, 6> sigma{250, -100, 0, 0, 0, 0};
  for (Real correction : {3e-4L, 1 / (1 - 0.017L) - 1, 9.0L}) {
    SCOPED_TRACE(correction);
    std::vector<StressMeasurement> rows;
    int r = 0;
    for (Real d0 : {1.17L, 0.8273L}) {
      for (const auto& dir : kDirections) {
        StressMeasurement m = Measured(++r, "1", dir[0], dir[1], sigma, d0 * (1 + correction));
        if (d0 < 1) {  // a second reflection with other elastic constants
          m.F = IsoStressFactors(-1.6L, 7.1L, dir[0] * core::kPi / 180, dir[1] * core::kPi / 180);
          Real strain = 0;
          const auto f = StressFitBasis(m.F, 1);
          for (int p = 1; p <= 6; ++p) strain += f[p] * sigma[p - 1];
          m.d = d0 * (1 + correction) * (1 + strain * 1e-6L);
        }
        m.d0 = d0;  // the stated d0 misses the common correction
        rows.push_back(m);
      }
    }
    const StressEvaluation e =
        EvaluateStress(rows, StressFitOptions{}, [](std::size_t) { return kNoHeld; });
    ASSERT_FALSE(e.error) << e.error->message;
    const StressSetResult& res = e.sets.at(0);
    EXPECT_NEAR(res.sig[0], 250, 1e-6L);
    EXPECT_NEAR(res.sig[1], -100, 1e-6L);
    EXPECT_NEAR(res.d0Correction, correction, 1e-9L * (1 + correction));
    ASSERT_EQ(res.reflections.size(), 2u);
    EXPECT_EQ(res.reflections[0].row, 1);
    EXPECT_EQ(res.reflections[1].row, 7);
    EXPECT_NEAR(res.reflections[0].d0, 1.17L * (1 + correction), 1e-9L);
    EXPECT_NEAR(res.reflections[1].d0, 0.8273L * (1 + correction), 1e-9L);
    EXPECT_EQ(res.d0, res.reflections[0].d0);
    EXPECT_NEAR(res.reflections[1].d0Err / res.reflections[0].d0Err, 0.8273L / 1.17L, 1e-12L);
    EXPECT_EQ(res.dof, 12 - 3);
    // The fitted spacings are the measured ones (the data hold no noise).
    for (std::size_t i = 0; i < rows.size(); ++i)
      EXPECT_NEAR(res.dCalc[i], rows[i].d, 1e-12L);
  }
}

// The propagated uncertainty of sigma = sigma' / (1 + c) agrees with the spread of fits to
// spacings perturbed by their uncertainties (d0 stated 5 % low).
TEST(StressEvaluation, UncertaintyOfTheStressWithAFittedD0) {
  const std::array<Real, 6> sigma{250, -100, 0, 0, 0, 0};
  const Real correction = 0.05L;
  std::vector<StressMeasurement> rows = OneSet(sigma, 1.17L * (1 + correction));
  for (StressMeasurement& m : rows) m.d0 = 1.17L;
  const auto fit = [](const std::vector<StressMeasurement>& data) {
    const StressEvaluation e =
        EvaluateStress(data, StressFitOptions{}, [](std::size_t) { return kNoHeld; });
    EXPECT_FALSE(e.error);
    return e.sets.at(0);
  };
  const StressSetResult base = fit(rows);
  // Linear propagation by finite differences: the change of sigma_xx per unit change of each
  // spacing, weighted by the spacing's uncertainty.
  Real variance = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::vector<StressMeasurement> moved = rows;
    const Real h = 1e-7L;
    moved[i].d += h;
    const Real derivative = (fit(moved).sig[0] - base.sig[0]) / h;
    variance += derivative * derivative * rows[i].sd * rows[i].sd;
  }
  EXPECT_NEAR(base.sigErrStat[0], std::sqrt(variance), 1e-4L * std::sqrt(variance));
}

// The statistics of a fit with scattered spacings: degrees of freedom, reduced chi-square,
// the uncertainties scaled by its root, and with d0 fixed the d0 part beside the statistical
// one.
TEST(StressEvaluation, UncertaintiesAreStatedPartByPart) {
  auto rows = OneSet({120, 80, 0, 0, 0, 0}, 1.17L);
  for (std::size_t k = 0; k < rows.size(); ++k) rows[k].d += (k % 2 ? 3 : -2) * 1e-4L;
  for (const bool d0Fixed : {false, true}) {
    SCOPED_TRACE(d0Fixed);
    StressFitOptions options;
    options.d0Fixed = d0Fixed;
    const StressSetResult r =
        EvaluateStress(rows, options, [](std::size_t) { return kNoHeld; }).sets.at(0);
    EXPECT_EQ(r.dof, d0Fixed ? 4 : 3);
    EXPECT_NEAR(r.chisqReduced, r.chisq / r.dof, 1e-15L * r.chisq);
    EXPECT_GT(r.chisqReduced, 1);  // misfits of 2 to 3 stated uncertainties
    for (int p = 0; p < 2; ++p) {
      EXPECT_NEAR(r.sigErrScaled[p], r.sigErrStat[p] * std::sqrt(r.chisqReduced),
                  1e-12L * r.sigErrScaled[p]);
      EXPECT_NEAR(r.sigErr[p], std::hypot(r.sigErrStat[p], r.d0Systematic[p]),
                  1e-12L * r.sigErr[p]);
      if (d0Fixed) {
        EXPECT_GT(r.d0Systematic[p], 0);
      } else {
        EXPECT_EQ(r.d0Systematic[p], 0);
      }
    }
  }
}

}  // namespace
}  // namespace polydec::stress
