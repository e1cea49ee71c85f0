// `polydec taylor`: rate-sensitive Taylor factors of a BCC crystal ({110}<111> slip, exponent
// 65) under tension along sample x, for one orientation or the 19 x 19 x 19 grid of 0..90
// degrees; the lateral contraction ratio is searched for the least factor or held fixed.
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "common.h"
#include "polydec/special.h"
#include "core/text_fields.h"
#include "slip_run.h"

namespace polydec::cli {

namespace {

struct TaylorOptions {
  SlipRunOptions run;
  std::optional<double> ratio;
};

void RunTaylor(const TaylorOptions& o) {
  std::optional<core::Real> ratio;
  if (o.ratio) {
    if (!(*o.ratio >= 0 && *o.ratio <= 1))
      throw Failure("--ratio: the contraction ratio must lie in 0..1");
    ratio = *o.ratio;
  }
  if (o.run.euler.empty()) {
    RunGridToFile("Taylor factors", o.run, [ratio](const special::RunControl& c) {
      return special::TaylorFactorRun(c, ratio);
    });
    return;
  }
  core::Real a1, a, a2;
  ReadEuler(o.run.euler, a1, a, a2);
  const TaylorFactor r = Take(ComputeTaylorFactor({a1, a, a2}, ratio));
  if (o.run.json) {
    const nlohmann::json out = {{"euler", {JsonNumber(a1), JsonNumber(a), JsonNumber(a2)}},
                                {"taylor", JsonNumber(r.factor)},
                                {"ratio", JsonNumber(r.ratio)}};
    std::cout << JsonOutput(out);
    return;
  }
  std::cout << "Euler angles [deg]  " << o.run.euler << "\nTaylor factor       "
            << core::FormatPadded(r.factor, 9, 7) << "\ncontraction ratio   "
            << core::FormatPadded(r.ratio, 5, 3) << (ratio ? " (held)" : " (searched)") << "\n";
}

}  // namespace

void AddTaylorCommand(CLI::App& app) {
  auto o = std::make_shared<TaylorOptions>();
  auto* cmd = app.add_subcommand(
      "taylor", "Rate-sensitive Taylor factors of a BCC crystal under tension along x");
  o->run.AddTo(cmd, special::kTaylorFileName);
  cmd->add_option("--ratio", o->ratio,
                  "Hold the lateral contraction ratio x (strain rate diag(1, -x, x - 1)); 0.5 is "
                  "axisymmetric tension. Default: searched in steps of 0.05");
  cmd->callback([o] { RunTaylor(*o); });
}

}  // namespace polydec::cli
