// `polydec elongation`: single slip of a BCC crystal under tension along sample x in shear steps
// of 0.001 until 5% strain; the final orientation and the stretch ratios.
#include <iostream>
#include <nlohmann/json.hpp>

#include "common.h"
#include "polydec/special.h"
#include "core/text_fields.h"
#include "slip_run.h"

namespace polydec::cli {

namespace {

void RunElongation(const SlipRunOptions& o) {
  if (o.euler.empty()) {
    RunGridToFile("Grain elongation", o,
                  [](const special::RunControl& c) { return special::GrainElongationRun(c); });
    return;
  }
  core::Real a1, a, a2;
  ReadEuler(o.euler, a1, a, a2);
  const GrainElongation e = Take(ComputeGrainElongation({a1, a, a2}));
  if (o.json) {
    const nlohmann::json out = {
        {"euler", {JsonNumber(a1), JsonNumber(a), JsonNumber(a2)}},
        {"final_euler", {JsonNumber(e.final.phi1), JsonNumber(e.final.Phi), JsonNumber(e.final.phi2)}},
        {"stretch", {JsonNumber(1 + e.e11), JsonNumber(1 + e.e22), JsonNumber(1 + e.e33)}},
        {"steps", e.steps},
        {"step_limit_reached", e.limitReached}};
    std::cout << JsonOutput(out);
    return;
  }
  const auto p = [](core::Real x, int d) { return core::FormatPadded(x, 10, d); };
  std::cout << "Euler angles [deg]        " << o.euler << "\nfinal Euler angles [deg]  "
            << p(e.final.phi1, 3) << p(e.final.Phi, 3) << p(e.final.phi2, 3) << "\nstretch 1+E11 1+E22 1+E33 "
            << p(1 + e.e11, 5) << p(1 + e.e22, 5) << p(1 + e.e33, 5)
            << "\nsteps                     " << e.steps
            << (e.limitReached ? " (limit reached below 5% strain)" : "") << "\n";
}

}  // namespace

void AddElongationCommand(CLI::App& app) {
  auto o = std::make_shared<SlipRunOptions>();
  auto* cmd = app.add_subcommand(
      "elongation", "Grain elongation of a BCC crystal by single slip under tension along x");
  o->AddTo(cmd, special::kElongationFileName);
  cmd->callback([o] { RunElongation(*o); });
}

}  // namespace polydec::cli
